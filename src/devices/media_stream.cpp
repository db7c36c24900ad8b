// Media streams (see media_stream.h): the file search and kind rules of the open, the start, run,
// stop and per-frame update, position, volume and rate, the frame copy into 32-bit textures and
// the sound ring. Called by the movie module. It reaches files, sound and textures only through
// the backend table, so it holds no library handle of its own.
//
// Timing: a frame is copied when the stream position passes its time. The position follows the
// sound played when the stream has sound (the bytes the play cursor passed since the start), else
// the clock since the stream last ran, scaled by its rate.
//
// The sound ring: streams of kind 0x40 feed it block by block with the start and end positions
// cut out of the blocks that straddle them; other streams with sound feed it whole blocks and end
// by position. Either way the ring drains before the sound counts as ended.
#include "devices/media_stream.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <new>
#include <string>

#include "core/memory.h"
#include "core/system_block.h"
#include "platform/audio_stream.h"
#include "platform/os.h"

namespace {

// The ring holds this much sound.
constexpr uint32_t kRingMilliseconds = 1000;
constexpr int32_t kSilence = -10000;
constexpr int32_t kMaxVolume = 255;

// ---- The real backend -------------------------------------------------------------------------

void* RealOpen(const char* path, uint32_t parts, uint32_t rate) { return MediaDecoderOpen(path, parts, rate); }
uint32_t RealParts(void* d) { return MediaDecoderParts(static_cast<MediaDecoder*>(d)); }
bool RealSeek(void* d, int32_t ms) { return MediaDecoderSeek(static_cast<MediaDecoder*>(d), ms); }
MediaReadResult RealNextAudio(void* d, MediaAudioBlock* b) { return MediaDecoderNextAudio(static_cast<MediaDecoder*>(d), b); }
MediaReadResult RealNextFrame(void* d, int64_t due, MediaVideoFrame* f) {
  return MediaDecoderNextFrame(static_cast<MediaDecoder*>(d), due, f);
}
void RealClose(void* d) { MediaDecoderClose(static_cast<MediaDecoder*>(d)); }
uint32_t RealAudioRate() {
  const uint32_t rate = AudioOutIsOpen() ? AudioOutGetPrimaryFormat().rate : 0;
  return rate ? rate : kMediaDefaultAudioRate;
}
void* RealCreateRing(uint32_t rate, uint32_t bytes) {
  AudioOutStream* stream = nullptr;
  AudioOutResult result = AudioOutCreateStream(rate, bytes, &stream);
  // One more try after freeing memory, as every sound creation does.
  if (result == kAudioOutOutOfMemory) {
    CallLowMemoryHandler();
    result = AudioOutCreateStream(rate, bytes, &stream);
  }
  return result == kAudioOutOk ? stream : nullptr;
}
void RealReleaseRing(void* r) { AudioOutReleaseStream(static_cast<AudioOutStream*>(r)); }
bool RealLockRing(void* r, uint32_t offset, uint32_t bytes, void** a, uint32_t* an, void** b, uint32_t* bn) {
  return AudioOutStreamLock(static_cast<AudioOutStream*>(r), offset, bytes, a, an, b, bn);
}
bool RealUnlockRing(void* r) { return AudioOutStreamUnlock(static_cast<AudioOutStream*>(r)); }
bool RealPlayRing(void* r) { return AudioOutStreamPlay(static_cast<AudioOutStream*>(r)); }
bool RealStopRing(void* r) { return AudioOutStreamStop(static_cast<AudioOutStream*>(r)); }
bool RealSetRingPosition(void* r, uint32_t offset) {
  return AudioOutStreamSetPosition(static_cast<AudioOutStream*>(r), offset);
}
bool RealRingPosition(void* r, uint32_t* play, uint32_t* write) {
  return AudioOutStreamGetPosition(static_cast<AudioOutStream*>(r), play, write);
}
bool RealSetRingVolume(void* r, int32_t volume) { return AudioOutStreamSetVolume(static_cast<AudioOutStream*>(r), volume); }
bool RealSetRingFrequency(void* r, uint32_t frequency) {
  return AudioOutStreamSetFrequency(static_cast<AudioOutStream*>(r), frequency);
}
uint32_t RealNowMs() {
  uint64_t ticks = 0;
  uint64_t frequency = 0;
  if (!OsReadCounter(&ticks) || !OsCounterFrequency(&frequency) || frequency == 0) return 0;
  return static_cast<uint32_t>(ticks / frequency * 1000 + ticks % frequency * 1000 / frequency);
}

constexpr MediaStreamBackend kRealBackend = {
    RealOpen,          RealParts,           RealSeek,         RealNextAudio,     RealNextFrame,
    RealClose,         RealAudioRate,       RealCreateRing,   RealReleaseRing,   RealLockRing,
    RealUnlockRing,    RealPlayRing,        RealStopRing,     RealSetRingPosition, RealRingPosition,
    RealSetRingVolume, RealSetRingFrequency, LockTextureTexels, UnlockTextureTexels, RealNowMs,
};

MediaStreamBackend gBackend = kRealBackend;

// ---- Helpers ----------------------------------------------------------------------------------

int32_t VolumeToMillibels(int32_t volume) {
  volume = std::clamp(volume, 0, kMaxVolume);
  return volume == 0 ? kSilence : volume * 5000 / 256 - 5000;
}

uint32_t Align(const MediaStream* s, uint64_t bytes) {
  const uint32_t align = s->sample.blockAlign ? s->sample.blockAlign : kMediaAudioBlockAlign;
  return static_cast<uint32_t>(bytes - bytes % align);
}

int64_t BytesToTime(const MediaStream* s, int64_t bytes) {
  if (s->ringRate == 0) return 0;
  return bytes / kMediaAudioBlockAlign * kMediaTimeUnitsPerSecond / s->ringRate;
}

// The stream time in 100-ns units.
int64_t StreamTime(const MediaStream* s) {
  if (s->ring && !s->audioEnded && s->writtenBytes > 0) return s->audioBaseTime + BytesToTime(s, s->playedBytes);
  int64_t ms = s->clockBase;
  if (s->running && !s->paused) {
    const uint32_t elapsed = gBackend.nowMs() - s->runStartMs;
    ms += static_cast<int64_t>(elapsed) * s->rate / kMediaNormalRate;
  }
  // Before any sound is written the stream stands where it was started or stopped.
  if (s->ring && !s->audioEnded) return static_cast<int64_t>(s->clockBase) * kMediaTimeUnitsPerMs;
  return ms * kMediaTimeUnitsPerMs;
}

void ResetRing(MediaStream* s) {
  s->bufferState = kMediaBufferIdle;
  s->feedState = kMediaFeedWanted;
  s->writeOffset = 0;
  s->drainCount = 0;
  s->lastPlay = 0;
  s->writtenBytes = 0;
  s->playedBytes = 0;
  s->audioEnded = 0;
}

// Copies bytes into the ring at the write offset (both regions of a wrapping lock); null data
// writes silence.
bool WriteRing(MediaStream* s, uint32_t offset, const uint8_t* data, uint32_t bytes) {
  void* first = nullptr;
  void* second = nullptr;
  uint32_t firstBytes = 0;
  uint32_t secondBytes = 0;
  if (bytes > s->ringSize || !gBackend.lockRing(s->ring, offset, bytes, &first, &firstBytes, &second, &secondBytes))
    return false;
  // Never more than asked for, whatever the lock hands back.
  firstBytes = std::min(firstBytes, bytes);
  secondBytes = std::min(secondBytes, bytes - firstBytes);
  if (data) {
    std::memcpy(first, data, firstBytes);
    if (second && secondBytes) std::memcpy(second, data + firstBytes, secondBytes);
  } else {
    std::memset(first, 0, firstBytes);
    if (second && secondBytes) std::memset(second, 0, secondBytes);
  }
  return gBackend.unlockRing(s->ring);
}

// No more sound will come: let the ring play out what it holds. A stream with its own buffer
// ends with its sound, so it pauses too.
void EndFeed(MediaStream* s, uint32_t play) {
  s->feedState = kMediaFeedEnded;
  if (s->kind & kMediaKindOwnBuffer) s->paused = 1;
  s->bufferState = kMediaBufferDraining;
  s->drainCount = (s->writeOffset + s->ringSize - play) % s->ringSize;
}

// Writes the ready block (step 4). Answers false on a failure.
bool WriteSample(MediaStream* s, uint32_t play, bool trim) {
  const uint32_t bytes = s->sample.bytes;
  const int64_t sampleStart = s->sample.startTime / kMediaTimeUnitsPerMs;
  const int64_t sampleEnd = s->sample.endTime / kMediaTimeUnitsPerMs;
  const int64_t span = sampleEnd - sampleStart;
  uint32_t from = 0;
  uint32_t to = bytes;
  // Only a sample with a length can be cut; byte counts times milliseconds need 64 bits.
  if (trim && span > 0) {
    if (sampleStart < s->startPosition) {
      from = Align(s, std::min<uint64_t>(bytes, static_cast<uint64_t>(bytes) * (s->startPosition - sampleStart) / span));
    }
    if (s->endPosition > 0 && s->endPosition < sampleEnd) {
      const int64_t keep = std::max<int64_t>(0, s->endPosition - sampleStart);
      to = Align(s, std::min<uint64_t>(bytes, static_cast<uint64_t>(bytes) * keep / span));
    }
  }
  s->feedState = kMediaFeedWanted;
  if (to > from) {
    const uint32_t length = to - from;
    if (!WriteRing(s, s->writeOffset, s->sample.data + from, length)) return false;
    if (s->writtenBytes == 0) {
      s->audioBaseTime = s->sample.startTime + BytesToTime(s, from);
    }
    s->writtenBytes += length;
    s->writeOffset = (s->writeOffset + length) % s->ringSize;
    if (s->bufferState == kMediaBufferIdle) {
      if (!gBackend.playRing(s->ring)) return false;
      s->bufferState = kMediaBufferPlaying;
    }
  }
  if (trim && s->endPosition > 0 && s->endPosition <= sampleEnd) EndFeed(s, play);
  return true;
}

void Fetch(MediaStream* s, uint32_t play) {
  const MediaReadResult result = gBackend.nextAudio(s->decoder, &s->sample);
  if (result == kMediaReadEnd) {
    s->sample = MediaAudioBlock{};
    EndFeed(s, play);
  } else {
    s->feedState = result == kMediaReadOk && s->sample.bytes > 0 ? kMediaFeedReady : kMediaFeedFilling;
  }
}

// One frame of the sound ring. 0 on a failure, 2 when the ring has played out, else 1.
int32_t StepRing(MediaStream* s, bool trim) {
  if (s->bufferState == kMediaBufferIdle && s->feedState == kMediaFeedWanted) {
    gBackend.stopRing(s->ring);
    s->writeOffset = 0;
    s->drainCount = 0;
    s->lastPlay = 0;
    gBackend.setRingPosition(s->ring, 0);
  }
  uint32_t play = 0;
  uint32_t hardwareWrite = 0;
  if (!gBackend.ringPosition(s->ring, &play, &hardwareWrite)) return kMediaUpdateFailed;
  play %= s->ringSize;
  hardwareWrite %= s->ringSize;
  if (s->bufferState != kMediaBufferIdle) {
    const uint32_t moved = (play + s->ringSize - s->lastPlay) % s->ringSize;
    s->playedBytes = std::min(s->playedBytes + moved, s->writtenBytes);
  }
  s->lastPlay = play;
  if (s->feedState == kMediaFeedFilling) Fetch(s, play);
  if (s->feedState == kMediaFeedReady) {
    const uint32_t free = (s->ringSize - s->writeOffset + play) % s->ringSize;
    if (s->bufferState == kMediaBufferIdle || free > s->sample.bytes) {
      if (!WriteSample(s, play, trim)) return kMediaUpdateFailed;
    }
  }
  if (s->feedState == kMediaFeedWanted) Fetch(s, play);
  if (s->bufferState == kMediaBufferDraining) {
    const uint32_t left = (s->writeOffset + s->ringSize - play) % s->ringSize;
    if (left == 0 || left > s->drainCount) {
      // The play cursor has passed the last data.
      gBackend.stopRing(s->ring);
      s->bufferState = kMediaBufferIdle;
      s->writeOffset = 0;
      s->playedBytes = s->writtenBytes;
      return kMediaUpdateEnded;
    }
    s->drainCount = left;
    // Silence ahead of the data, so the ring does not play old sound before it stops.
    const uint32_t free = (play + s->ringSize - s->writeOffset) % s->ringSize;
    const uint32_t room = (play + s->ringSize - hardwareWrite) % s->ringSize;
    if (free < room && free > 0 && !WriteRing(s, s->writeOffset, nullptr, free)) return kMediaUpdateFailed;
  }
  return kMediaUpdateGoesOn;
}

void ReleaseParts(MediaStream* s) {
  if (s->ring) gBackend.releaseRing(s->ring);
  if (s->decoder) gBackend.close(s->decoder);
  s->ring = nullptr;
  s->decoder = nullptr;
}

// ---- Frame copy -------------------------------------------------------------------------------

// Where a 16-bit pixel's component lands: its mask and the shift that puts the mask's top bit on
// bit 7. A zero mask has no top bit and gives 0.
struct Component {
  uint32_t mask;
  int shift;  // > 0: right
};

Component ComponentOf(uint32_t mask) {
  mask &= 0xFFFF;
  for (int bit = 15; bit >= 0; --bit) {
    if (mask & (1u << bit)) return Component{mask, bit - 7};
  }
  return Component{0, 0};
}

uint8_t Take(uint32_t pixel, Component c) {
  const uint32_t v = pixel & c.mask;
  return static_cast<uint8_t>((c.shift >= 0 ? v >> c.shift : v << -c.shift) & 0xFF);
}

struct Rgb {
  uint32_t b, g, r;
};

}  // namespace

void SetMediaStreamBackend(const MediaStreamBackend* backend) { gBackend = backend ? *backend : kRealBackend; }

const MediaStreamBackend* MediaStreamSystemBackend() { return &kRealBackend; }

bool CopyMediaFrame(const MediaVideoFrame* frame, const TextureTexels* texels) {
  if (!frame || !texels || !frame->pixels || !texels->bits || texels->bitsPerPixel != 32) return false;
  if (frame->bitsPerPixel != 16 && frame->bitsPerPixel != 32) return false;
  const int32_t sw = frame->width;
  const int32_t sh = frame->height;
  const int32_t tw = texels->width;
  const int32_t th = texels->height;
  const int32_t bytes = frame->bitsPerPixel / 8;
  if (sw <= 0 || sh <= 0 || tw <= 0 || th <= 0 || frame->pitch < sw * bytes || texels->pitch < tw * 4) return false;
  const bool wide = frame->bitsPerPixel == 32;
  const Component red = ComponentOf(frame->masks[0]);
  const Component green = ComponentOf(frame->masks[1]);
  const Component blue = ComponentOf(frame->masks[2]);
  auto source = [&](int32_t x, int32_t y) -> Rgb {
    const uint8_t* p = frame->pixels + static_cast<ptrdiff_t>(y) * frame->pitch + x * bytes;
    if (wide) return Rgb{p[0], p[1], p[2]};
    const uint32_t pixel = p[0] | (p[1] << 8);
    return Rgb{Take(pixel, blue), Take(pixel, green), Take(pixel, red)};
  };
  auto put = [&](int32_t x, int32_t y, Rgb c) {
    uint8_t* t = texels->bits + static_cast<ptrdiff_t>(y) * texels->pitch + x * 4;
    t[0] = static_cast<uint8_t>(c.b), t[1] = static_cast<uint8_t>(c.g), t[2] = static_cast<uint8_t>(c.r), t[3] = 0xFF;
  };
  // The widths choose the copy; every copy is clipped to both the frame and the texture.
  if (tw == 2 * sw) {
    const int32_t rows = std::min(th, 2 * sh);
    for (int32_t y = 0; y < rows; ++y)
      for (int32_t x = 0; x < tw; ++x) put(x, y, source(x / 2, y / 2));
  } else if (sw == 2 * tw) {
    const int32_t rows = std::min(th, sh / 2);
    for (int32_t y = 0; y < rows; ++y) {
      for (int32_t x = 0; x < tw; ++x) {
        const Rgb a = source(2 * x, 2 * y), b = source(2 * x + 1, 2 * y);
        const Rgb c = source(2 * x, 2 * y + 1), d = source(2 * x + 1, 2 * y + 1);
        put(x, y, Rgb{(a.b + b.b + c.b + d.b) >> 2, (a.g + b.g + c.g + d.g) >> 2, (a.r + b.r + c.r + d.r) >> 2});
      }
    }
  } else {
    // A shorter 32-bit frame sits in the middle rows; a 16-bit one starts at the top.
    const int32_t top = wide && sh < th ? (th - sh) / 2 : 0;
    const int32_t rows = std::min(sh, th - top);
    const int32_t cols = std::min(sw, tw);
    for (int32_t y = 0; y < rows; ++y)
      for (int32_t x = 0; x < cols; ++x) put(x, top + y, source(x, y));
  }
  return true;
}

bool FindMediaFile(int32_t id, char* path, uint32_t pathSize) {
  if (!path || pathSize == 0) return false;
  char number[32];
  std::snprintf(number, sizeof number, "%05d.dat", id);
  const char* movieTemplate = gSystem && gSystem->product && gSystem->product->movieTemplate
                                  ? gSystem->product->movieTemplate
                                  : kProductRecord.movieTemplate;
  char candidates[3][kOsMaxPath];
  // The template comes from the product record, never from outside: "%s" is its one field.
  std::snprintf(candidates[0], kOsMaxPath, movieTemplate, number);
  std::snprintf(candidates[1], kOsMaxPath, "soundtrack\\%05d.mp3", id);
  std::snprintf(candidates[2], kOsMaxPath, "soundtrack\\%05d.wma", id);
  for (const char* candidate : candidates) {
    OsFileInfo info{};
    if (!OsStatPath(candidate, &info) || info.isDirectory) continue;
    std::string resolved;
    if (!OsResolvePath(candidate, &resolved) || resolved.size() + 1 > pathSize) continue;
    std::memcpy(path, resolved.c_str(), resolved.size() + 1);
    return true;
  }
  return false;
}

MediaStream* OpenMediaStream(int32_t id, uint32_t kind) {
  if (kind & kMediaKindAudioOnly) kind |= kMediaKindOwnBuffer;
  char path[kOsMaxPath];
  if (!FindMediaFile(id, path, sizeof path)) return nullptr;
  auto* s = new (std::nothrow) MediaStream{};
  if (!s) return nullptr;
  s->id = id;
  s->endPosition = -1;
  s->rate = kMediaNormalRate;
  s->volume = 0;
  uint32_t parts = 0;
  if (!(kind & kMediaKindAudioOnly)) parts |= kMediaPartVideo;
  if (!(kind & kMediaKindNoAudio)) {
    // Sound needs a ring to play through; without one the stream is silent.
    s->ringRate = gBackend.audioRate();
    s->ringSize = s->ringRate * kMediaAudioBlockAlign * kRingMilliseconds / 1000;
    s->ring = s->ringSize ? gBackend.createRing(s->ringRate, s->ringSize) : nullptr;
    if (s->ring) {
      parts |= kMediaPartAudio;
    } else {
      kind |= kMediaKindNoAudio;
    }
  }
  s->decoder = gBackend.open(path, parts, s->ringRate);
  if (!s->decoder) {
    ReleaseParts(s);
    delete s;
    return nullptr;
  }
  const uint32_t found = gBackend.parts(s->decoder);
  if ((parts & kMediaPartAudio) && !(found & kMediaPartAudio)) {
    gBackend.releaseRing(s->ring);
    s->ring = nullptr;
    kind |= kMediaKindNoAudio;
  }
  s->hasVideo = (parts & found & kMediaPartVideo) ? 1 : 0;
  s->kind = kind;
  ResetRing(s);
  return s;
}

int32_t StartMediaStream(MediaStream* s, int32_t start) {
  if (!s || start < 0 || !gBackend.seek(s->decoder, start)) return 0;
  s->startPosition = start;
  s->clockBase = start;
  s->runStartMs = gBackend.nowMs();
  s->paused = 0;
  s->videoEnded = 0;
  s->finished = 0;
  if (s->ring) {
    gBackend.stopRing(s->ring);
    ResetRing(s);
  }
  return 1;
}

int32_t RunMediaStream(MediaStream* s) {
  if (!s) return 0;
  if (!s->running) {
    s->running = 1;
    s->runStartMs = gBackend.nowMs();
  }
  return 1;
}

int32_t StopMediaStream(MediaStream* s) {
  if (!s) return 0;
  if (s->running) {
    s->clockBase = static_cast<int32_t>(StreamTime(s) / kMediaTimeUnitsPerMs);
    s->running = 0;
  }
  if (s->ring) {
    if (!gBackend.stopRing(s->ring)) return 0;
    // What was fed is dropped: the stream goes on only after a new start.
    ResetRing(s);
    if (s->kind & kMediaKindOwnBuffer) s->finished = 1;
  }
  return 1;
}

int32_t UpdateMediaStream(MediaStream* s) {
  if (!s || !s->running || !s->decoder) return kMediaUpdateFailed;
  const bool ownBuffer = (s->kind & kMediaKindOwnBuffer) != 0;
  if (s->ring && !s->audioEnded) {
    const int32_t result = StepRing(s, ownBuffer);
    if (result == kMediaUpdateFailed) return kMediaUpdateFailed;
    if (result == kMediaUpdateEnded) {
      // Video that runs on past the sound follows the clock from where the sound ended.
      s->clockBase = static_cast<int32_t>(StreamTime(s) / kMediaTimeUnitsPerMs);
      s->runStartMs = gBackend.nowMs();
      s->audioEnded = 1;
      if (ownBuffer) return kMediaUpdateEnded;
    }
  }
  const int64_t now = StreamTime(s);
  if (s->hasVideo && !s->videoEnded && !s->paused) {
    MediaVideoFrame frame{};
    const MediaReadResult result = gBackend.nextFrame(s->decoder, now, &frame);
    if (result == kMediaReadFailed) return kMediaUpdateFailed;
    if (result == kMediaReadEnd) s->videoEnded = 1;
    if (result == kMediaReadOk && s->texture) {
      TextureTexels texels{};
      if (gBackend.lockTexture(s->texture, &texels)) {
        CopyMediaFrame(&frame, &texels);
        gBackend.unlockTexture(s->texture);
      }
    }
  }
  if (s->endPosition > 0 && now >= static_cast<int64_t>(s->endPosition) * kMediaTimeUnitsPerMs) return kMediaUpdateEnded;
  const bool soundDone = !s->ring || s->audioEnded;
  const bool videoDone = !s->hasVideo || s->videoEnded;
  return soundDone && videoDone ? kMediaUpdateEnded : kMediaUpdateGoesOn;
}

int32_t GetMediaStreamPosition(MediaStream* s) {
  if (!s) return 0;
  // Streams of fixed rate report their stream time; the others their seeking position. Both
  // follow the same clock here.
  return static_cast<int32_t>(StreamTime(s) / kMediaTimeUnitsPerMs);
}

int32_t SetMediaStreamVolume(MediaStream* s, int32_t volume) {
  if (!s || (s->kind & kMediaKindNoAudio) || !s->ring) return 0;
  s->volume = VolumeToMillibels(volume);
  return gBackend.setRingVolume(s->ring, s->volume) ? 1 : 0;
}

int32_t SetMediaStreamRate(MediaStream* s, int32_t rate) {
  if (!s || (s->kind & kMediaKindFixedRate) || rate <= 0) return 0;
  // The sound plays faster or slower; the position, following the sound, keeps pace with it.
  if (s->ring) {
    const uint64_t frequency = static_cast<uint64_t>(s->ringRate) * static_cast<uint64_t>(rate) / kMediaNormalRate;
    if (frequency > UINT32_MAX || !gBackend.setRingFrequency(s->ring, static_cast<uint32_t>(frequency))) return 0;
  }
  if (s->running) {
    s->clockBase = static_cast<int32_t>(StreamTime(s) / kMediaTimeUnitsPerMs);
    s->runStartMs = gBackend.nowMs();
  }
  s->rate = rate;
  return 1;
}

void ReleaseMediaStream(MediaStream* s) {
  if (!s) return;
  if (s->ring) gBackend.stopRing(s->ring);
  s->running = 0;
  ReleaseParts(s);
  delete s;
}
