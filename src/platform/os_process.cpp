// Process-wide services of the os layer: scheduling priority, exit, the headless switch, the
// user's name and documents folder. Called by the entry, shutdown and the path helpers; never
// decides game behaviour, only reports what the system allows.
#include "platform/os.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <pwd.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Nice values standing in for the idle, normal and high priority classes.
constexpr int kNiceIdle = 19;
constexpr int kNiceNormal = 0;
constexpr int kNiceHigh = -5;

OsPriorityHook gPriorityHook = nullptr;
bool gHeadlessForced = false;  // else the environment decides

}  // namespace

bool OsSetProcessPriority(OsPriority priority) {
  if (gPriorityHook) return gPriorityHook(priority);
  int nice = kNiceNormal;
  if (priority == kOsPriorityIdle) nice = kNiceIdle;
  if (priority == kOsPriorityHigh) nice = kNiceHigh;
  // Raising the priority is refused without rights; the process then runs on as it was.
  return setpriority(PRIO_PROCESS, 0, nice) == 0;
}

OsPriority OsGetProcessPriority() {
  errno = 0;
  int nice = getpriority(PRIO_PROCESS, 0);
  if (errno != 0) return kOsPriorityNormal;
  if (nice >= kNiceIdle) return kOsPriorityIdle;
  if (nice <= kNiceHigh) return kOsPriorityHigh;
  return kOsPriorityNormal;
}

void OsSetPriorityHook(OsPriorityHook hook) { gPriorityHook = hook; }

void OsExitProcess(int status) {
  fflush(nullptr);
  std::exit(status);
}

bool OsIsHeadless() {
  if (gHeadlessForced) return true;
  const char* value = std::getenv("KORVANE_HEADLESS");
  return value && std::strcmp(value, "1") == 0;
}

void OsSetHeadless(bool headless) { gHeadlessForced = headless; }

bool OsGetUserName(std::string* out) {
  struct passwd entry;
  struct passwd* found = nullptr;
  char buffer[4096];
  if (getpwuid_r(getuid(), &entry, buffer, sizeof buffer, &found) == 0 && found &&
      found->pw_name && found->pw_name[0]) {
    *out = found->pw_name;
    return true;
  }
  const char* name = std::getenv("USER");
  if (!name || !name[0]) name = std::getenv("LOGNAME");
  if (!name || !name[0]) return false;
  *out = name;
  return true;
}

bool OsGetDocumentsFolder(std::string* out) {
  std::string folder;
  const char* xdg = std::getenv("XDG_DOCUMENTS_DIR");
  const char* home = std::getenv("HOME");
  if (xdg && xdg[0]) {
    folder = xdg;
  } else if (home && home[0]) {
    folder = home;
    if (folder.back() != '/') folder += '/';
    folder += "Documents";
  } else {
    return false;
  }
  while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
  // The documents folder always exists where the game comes from; a fresh home may lack it.
  struct stat status;
  if (stat(folder.c_str(), &status) != 0) {
    if (mkdir(folder.c_str(), 0755) != 0 && errno != EEXIST) return false;
    if (stat(folder.c_str(), &status) != 0) return false;
  }
  if (!S_ISDIR(status.st_mode)) return false;
  *out = folder;
  return true;
}
