#include "support/fake_movies.h"

#include <unistd.h>

#include <cstdio>

namespace {

int gToken;

void* Open(const char*, uint32_t, uint32_t) { return &gToken; }
uint32_t Parts(void*) { return kMediaPartVideo | kMediaPartAudio; }
bool Seek(void*, int32_t) { return true; }
MediaReadResult Pending(void*, MediaAudioBlock*) { return kMediaReadPending; }
MediaReadResult NoFrame(void*, int64_t, MediaVideoFrame*) { return kMediaReadPending; }
void Close(void*) {}
uint32_t Rate() { return 1000; }
void* CreateRing(uint32_t, uint32_t) { return &gToken; }
void ReleaseRing(void*) {}
bool Done(void*) { return true; }
bool SetVolume(void*, int32_t) { return true; }
uint32_t Now() { return 1000; }

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
  backend_ = *MediaStreamSystemBackend();
  backend_.open = Open;
  backend_.parts = Parts;
  backend_.seek = Seek;
  backend_.nextAudio = Pending;
  backend_.nextFrame = NoFrame;
  backend_.close = Close;
  backend_.audioRate = Rate;
  backend_.createRing = CreateRing;
  backend_.releaseRing = ReleaseRing;
  backend_.stopRing = Done;
  backend_.playRing = Done;
  backend_.setRingVolume = SetVolume;
  backend_.nowMs = Now;
  SetMediaStreamBackend(&backend_);
}

FakeMovies::~FakeMovies() {
  SetMediaStreamBackend(nullptr);
  if (!previous_.empty() && chdir(previous_.c_str()) != 0) std::perror("chdir");
}

void FakeMovies::WriteVoiceInfo(int32_t language, const std::string& xml) const {
  dir_.Write("mov/" + Number(language) + ".xml", xml);
}
