#include "support/fake_movies.h"

#include <unistd.h>

#include <cstdio>

#include "support/silent_media.h"

namespace {

std::string Number(int32_t id) {
  char text[16];
  std::snprintf(text, sizeof text, "%05d", id);
  return text;
}

}  // namespace

FakeMovies::FakeMovies(std::initializer_list<int32_t> ids) {
  char here[4096];
  if (getcwd(here, sizeof here)) previous_ = here;
  for (const int32_t id : ids) dir_.Write("mov/" + Number(id) + ".dat", "clip");
  if (chdir(dir_.path().c_str()) != 0) return;
  SetMediaStreamBackend(SilentMediaBackend());
}

FakeMovies::~FakeMovies() {
  SetMediaStreamBackend(nullptr);
  if (!previous_.empty() && chdir(previous_.c_str()) != 0) std::perror("chdir");
}

void FakeMovies::WriteVoiceInfo(int32_t language, const std::string& xml) const {
  dir_.Write("mov/" + Number(language) + ".xml", xml);
}
