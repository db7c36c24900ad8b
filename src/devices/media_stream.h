// Media streams: one opened music, voice or movie file that plays from a start position to an
// optional end position, feeds its sound to a streaming ring of the audio layer and copies its
// video frames into the owner's texture. The movie module owns every stream through its movie
// records and drives it once a frame with UpdateMediaStream. The stream never decides what plays:
// it never loops, never tells an owner anything and never frees a texture.
#pragma once

#include <cstdint>

#include "platform/media_decoder.h"
#include "render/texture_lock.h"

struct DisplaySurface;

// Kind flags.
constexpr uint32_t kMediaKindNoAudio = 0x8;
constexpr uint32_t kMediaKindAudioOnly = 0x10;  // implies kMediaKindOwnBuffer
constexpr uint32_t kMediaKindFixedRate = 0x20;
constexpr uint32_t kMediaKindOwnBuffer = 0x40;
constexpr uint32_t kMediaKindMusic = 0x80;
constexpr uint32_t kMediaKindVoice = 0x100;

// States of the sound ring and of the feed into it.
constexpr int32_t kMediaBufferIdle = 1;
constexpr int32_t kMediaBufferPlaying = 2;
constexpr int32_t kMediaBufferDraining = 4;
constexpr int32_t kMediaFeedWanted = 1;
constexpr int32_t kMediaFeedFilling = 2;
constexpr int32_t kMediaFeedReady = 4;
constexpr int32_t kMediaFeedEnded = 8;

// Answers of UpdateMediaStream.
constexpr int32_t kMediaUpdateFailed = 0;
constexpr int32_t kMediaUpdateGoesOn = 1;
constexpr int32_t kMediaUpdateEnded = 2;

// Rates are in 1/100000 of normal speed.
constexpr int32_t kMediaNormalRate = 100000;

// What a stream works through: the decoder, the sound ring, the texture lock and the clock.
// The real one uses the platform's decoder and audio layer; tests put fakes in.
struct MediaStreamBackend {
  void* (*open)(const char* path, uint32_t parts, uint32_t audioRate);
  uint32_t (*parts)(void* decoder);
  bool (*seek)(void* decoder, int32_t ms);
  MediaReadResult (*nextAudio)(void* decoder, MediaAudioBlock* block);
  MediaReadResult (*nextFrame)(void* decoder, int64_t due, MediaVideoFrame* frame);
  void (*close)(void* decoder);
  uint32_t (*audioRate)();
  void* (*createRing)(uint32_t rate, uint32_t bytes);
  void (*releaseRing)(void* ring);
  bool (*lockRing)(void* ring, uint32_t offset, uint32_t bytes, void** first, uint32_t* firstBytes, void** second,
                   uint32_t* secondBytes);
  bool (*unlockRing)(void* ring);
  bool (*playRing)(void* ring);
  bool (*stopRing)(void* ring);
  bool (*setRingPosition)(void* ring, uint32_t offset);
  bool (*ringPosition)(void* ring, uint32_t* play, uint32_t* write);
  bool (*setRingVolume)(void* ring, int32_t volume);
  bool (*setRingFrequency)(void* ring, uint32_t frequency);
  bool (*lockTexture)(DisplaySurface* image, TextureTexels* texels);
  void (*unlockTexture)(DisplaySurface* image);
  uint32_t (*nowMs)();
};
// Null puts the real backend back.
void SetMediaStreamBackend(const MediaStreamBackend* backend);
// The real backend, for callers that replace only some of its entries.
const MediaStreamBackend* MediaStreamSystemBackend();

struct MediaStream {
  int32_t id;
  uint32_t kind;
  int32_t endPosition;  // ms; -1 plays to the end
  int32_t hasVideo;
  int32_t finished;     // stopped before its end
  int32_t startPosition;
  DisplaySurface* texture;  // where frames go; the owner sets it before each update
  void* decoder;
  // Playing.
  int32_t running;
  int32_t paused;       // the end position was reached
  int32_t rate;
  uint32_t runStartMs;  // the clock when the stream last ran
  int32_t clockBase;    // the position then, in ms
  int32_t videoEnded;
  int32_t audioEnded;
  int32_t volume;       // hundredths of a decibel
  // The sound ring.
  void* ring;
  uint32_t ringSize;
  uint32_t ringRate;
  int32_t bufferState;
  int32_t feedState;
  uint32_t writeOffset;
  uint32_t drainCount;
  MediaAudioBlock sample;
  // What the position follows when the stream has sound.
  uint32_t lastPlay;
  int64_t writtenBytes;
  int64_t playedBytes;
  int64_t audioBaseTime;  // 100 ns: the time of the first byte written since the start
};

// The file search of OpenMediaStream, without opening anything: the path of the first file found
// for the id, or false.
bool FindMediaFile(int32_t id, char* path, uint32_t pathSize);
MediaStream* OpenMediaStream(int32_t id, uint32_t kind);
int32_t StartMediaStream(MediaStream* stream, int32_t start);
int32_t RunMediaStream(MediaStream* stream);
int32_t StopMediaStream(MediaStream* stream);
int32_t UpdateMediaStream(MediaStream* stream);
int32_t GetMediaStreamPosition(MediaStream* stream);
int32_t SetMediaStreamVolume(MediaStream* stream, int32_t volume);
int32_t SetMediaStreamRate(MediaStream* stream, int32_t rate);
void ReleaseMediaStream(MediaStream* stream);

// Copies one video frame into 32-bit texels (see the frame copy rules in media_stream.cpp);
// false when the texels are not 32-bit or the frame is not 16- or 32-bit.
bool CopyMediaFrame(const MediaVideoFrame* frame, const TextureTexels* texels);
