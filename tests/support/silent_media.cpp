// The silent media backend (see silent_media.h): the system backend with every decoding and
// playing call replaced by one that answers at once.
#include "silent_media.h"

namespace {

int gToken;

void* Open(const char*, uint32_t, uint32_t) { return &gToken; }
uint32_t Parts(void*) { return kMediaPartVideo | kMediaPartAudio; }
bool Seek(void*, int32_t) { return true; }
MediaReadResult NoAudio(void*, MediaAudioBlock*) { return kMediaReadPending; }
MediaReadResult NoFrame(void*, int64_t, MediaVideoFrame*) { return kMediaReadPending; }
void Close(void*) {}
uint32_t Rate() { return 1000; }
void* CreateRing(uint32_t, uint32_t) { return &gToken; }
void ReleaseRing(void*) {}
bool Done(void*) { return true; }
bool SetVolume(void*, int32_t) { return true; }
uint32_t Now() { return 1000; }

}  // namespace

const MediaStreamBackend* SilentMediaBackend() {
  static const MediaStreamBackend backend = [] {
    MediaStreamBackend b = *MediaStreamSystemBackend();
    b.open = Open;
    b.parts = Parts;
    b.seek = Seek;
    b.nextAudio = NoAudio;
    b.nextFrame = NoFrame;
    b.close = Close;
    b.audioRate = Rate;
    b.createRing = CreateRing;
    b.releaseRing = ReleaseRing;
    b.stopRing = Done;
    b.playRing = Done;
    b.setRingVolume = SetVolume;
    b.nowMs = Now;
    return b;
  }();
  return &backend;
}
