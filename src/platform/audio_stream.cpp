// Streaming buffers over OpenAL Soft (see audio_stream.h): one source per stream with a queue of
// a few chunk buffers cut from the ring. A chunk never crosses the ring's end, so the bytes a
// processed chunk held tell exactly how far the play cursor moved. A source that ran dry while
// the game was busy is started again at the next service, as a looping ring would go on.
#include "platform/audio_stream.h"

#include <AL/al.h>

#include <algorithm>
#include <cmath>
#include <deque>
#include <new>
#include <vector>

namespace {

// Chunks handed over ahead of the play cursor, and the length of one.
constexpr int kQueuedChunks = 4;
constexpr uint32_t kChunksPerSecond = 100;

}  // namespace

struct AudioOutStream {
  AudioOutStream* next;
  ALuint source;
  ALuint buffers[kQueuedChunks];
  std::vector<ALuint> idle;
  std::deque<uint32_t> queued;  // bytes of each chunk in the source's queue, oldest first
  std::vector<uint8_t> ring;
  uint32_t rate;
  uint32_t size;
  uint32_t chunk;
  uint32_t playBase;  // ring offset where the oldest queued chunk starts
  uint32_t queuedEnd;
  bool playing;
};

namespace {

AudioOutStream* gStreams = nullptr;

uint32_t Offset(const AudioOutStream* s) {
  if (s->queued.empty()) return s->playBase;
  // The library counts from the first chunk still queued, which may already have played out.
  ALint offset = 0;
  alGetSourcei(s->source, AL_BYTE_OFFSET, &offset);
  uint32_t within = static_cast<uint32_t>(std::max(offset, 0));
  uint32_t total = 0;
  for (uint32_t bytes : s->queued) total += bytes;
  within = std::min(within, total);
  return (s->playBase + within - within % kAudioOutStreamBlockAlign) % s->size;
}

void Unqueue(AudioOutStream* s, ALint count) {
  for (ALint k = 0; k < count && !s->queued.empty(); ++k) {
    ALuint buffer = 0;
    alSourceUnqueueBuffers(s->source, 1, &buffer);
    s->idle.push_back(buffer);
    s->playBase = (s->playBase + s->queued.front()) % s->size;
    s->queued.pop_front();
  }
}

// Hands the library what has played and the next chunks of the ring.
void Service(AudioOutStream* s) {
  if (!s->playing) return;
  ALint processed = 0;
  alGetSourcei(s->source, AL_BUFFERS_PROCESSED, &processed);
  Unqueue(s, processed);
  while (!s->idle.empty()) {
    const uint32_t n = std::min(s->chunk, s->size - s->queuedEnd);
    const ALuint buffer = s->idle.back();
    s->idle.pop_back();
    alBufferData(buffer, AL_FORMAT_STEREO16, s->ring.data() + s->queuedEnd, static_cast<ALsizei>(n),
                 static_cast<ALsizei>(s->rate));
    alSourceQueueBuffers(s->source, 1, &buffer);
    s->queued.push_back(n);
    s->queuedEnd = (s->queuedEnd + n) % s->size;
  }
  ALint state = 0;
  alGetSourcei(s->source, AL_SOURCE_STATE, &state);
  if (state != AL_PLAYING) alSourcePlay(s->source);
}

void Halt(AudioOutStream* s) {
  const uint32_t at = Offset(s);
  alSourceStop(s->source);
  ALint processed = 0;
  alGetSourcei(s->source, AL_BUFFERS_PROCESSED, &processed);
  Unqueue(s, processed);
  s->playBase = at;
  s->queuedEnd = at;
  s->playing = false;
}

}  // namespace

AudioOutResult AudioOutCreateStream(uint32_t rate, uint32_t bytes, AudioOutStream** stream) {
  if (!stream) return kAudioOutFailed;
  *stream = nullptr;
  const uint32_t size = bytes - bytes % kAudioOutStreamBlockAlign;
  if (!AudioOutIsOpen() || rate < kAudioOutMinFrequency || rate > kAudioOutMaxFrequency || size == 0)
    return kAudioOutFailed;
  auto* s = new (std::nothrow) AudioOutStream{};
  if (!s) return kAudioOutOutOfMemory;
  try {
    s->ring.assign(size, 0);
  } catch (const std::bad_alloc&) {
    delete s;
    return kAudioOutOutOfMemory;
  }
  alGetError();
  alGenSources(1, &s->source);
  if (alGetError() != AL_NO_ERROR) {
    delete s;
    return kAudioOutFailed;
  }
  alGenBuffers(kQueuedChunks, s->buffers);
  if (alGetError() != AL_NO_ERROR) {
    alDeleteSources(1, &s->source);
    delete s;
    return kAudioOutFailed;
  }
  s->idle.assign(s->buffers, s->buffers + kQueuedChunks);
  // The stream plays beside the listener, unaffected by 3D settings.
  alSourcei(s->source, AL_SOURCE_RELATIVE, AL_TRUE);
  alSource3f(s->source, AL_POSITION, 0.0f, 0.0f, 0.0f);
  alSourcef(s->source, AL_ROLLOFF_FACTOR, 0.0f);
  s->rate = rate;
  s->size = size;
  const uint32_t chunk = rate * kAudioOutStreamBlockAlign / kChunksPerSecond;
  s->chunk = std::max(kAudioOutStreamBlockAlign, std::min(chunk, size / kQueuedChunks) / kAudioOutStreamBlockAlign *
                                                     kAudioOutStreamBlockAlign);
  s->next = gStreams;
  gStreams = s;
  *stream = s;
  return kAudioOutOk;
}

void AudioOutReleaseStream(AudioOutStream* stream) {
  if (!stream) return;
  for (AudioOutStream** link = &gStreams; *link; link = &(*link)->next) {
    if (*link != stream) continue;
    *link = stream->next;
    break;
  }
  alSourceStop(stream->source);
  alSourcei(stream->source, AL_BUFFER, 0);
  alDeleteSources(1, &stream->source);
  alDeleteBuffers(kQueuedChunks, stream->buffers);
  delete stream;
}

void AudioOutReleaseStreams() {
  while (gStreams) AudioOutReleaseStream(gStreams);
}

uint32_t AudioOutStreamSize(const AudioOutStream* stream) { return stream ? stream->size : 0; }

bool AudioOutStreamLock(AudioOutStream* stream, uint32_t offset, uint32_t bytes, void** first, uint32_t* firstBytes,
                        void** second, uint32_t* secondBytes) {
  if (!stream || !first || !firstBytes || !second || !secondBytes || offset >= stream->size || bytes > stream->size)
    return false;
  const uint32_t head = std::min(bytes, stream->size - offset);
  *first = stream->ring.data() + offset;
  *firstBytes = head;
  *second = bytes > head ? stream->ring.data() : nullptr;
  *secondBytes = bytes - head;
  return true;
}

bool AudioOutStreamUnlock(AudioOutStream* stream) { return stream != nullptr; }

bool AudioOutStreamPlay(AudioOutStream* stream) {
  if (!stream) return false;
  if (stream->playing) return true;
  stream->playing = true;
  stream->queuedEnd = stream->playBase;
  Service(stream);
  return true;
}

bool AudioOutStreamStop(AudioOutStream* stream) {
  if (!stream) return false;
  if (stream->playing) Halt(stream);
  return true;
}

bool AudioOutStreamIsPlaying(const AudioOutStream* stream) { return stream && stream->playing; }

bool AudioOutStreamSetPosition(AudioOutStream* stream, uint32_t offset) {
  if (!stream || offset >= stream->size) return false;
  const bool playing = stream->playing;
  if (playing) Halt(stream);
  stream->playBase = stream->queuedEnd = offset - offset % kAudioOutStreamBlockAlign;
  if (playing) AudioOutStreamPlay(stream);
  return true;
}

bool AudioOutStreamGetPosition(AudioOutStream* stream, uint32_t* play, uint32_t* write) {
  if (!stream) return false;
  Service(stream);
  if (play) *play = Offset(stream);
  if (write) *write = stream->playing ? stream->queuedEnd : Offset(stream);
  return true;
}

bool AudioOutStreamSetVolume(AudioOutStream* stream, int32_t volume) {
  if (!stream || volume > 0) return false;
  const float gain = volume <= kAudioOutSilence ? 0.0f : static_cast<float>(std::pow(10.0, volume / 2000.0));
  alSourcef(stream->source, AL_GAIN, gain);
  return true;
}

bool AudioOutStreamSetFrequency(AudioOutStream* stream, uint32_t frequency) {
  if (!stream || frequency < kAudioOutMinFrequency || frequency > kAudioOutMaxFrequency) return false;
  alSourcef(stream->source, AL_PITCH, static_cast<float>(frequency) / static_cast<float>(stream->rate));
  return true;
}
