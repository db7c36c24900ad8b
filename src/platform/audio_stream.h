// Streaming buffers of the audio output layer: a ring of 16-bit stereo sound that plays round and
// round while its owner writes ahead of the play cursor, as media streams feed their sound. The
// ring is handed to the library in short chunks; the play cursor comes from the chunks played and
// the library's offset inside the current one, the write cursor is the end of what was handed
// over (writing between the two changes nothing that plays). Called by the media streams of the
// devices layer; every call that reads a cursor also hands the library its next chunks, so the
// owner calls in once a frame. Closing the device releases every stream.
#pragma once

#include <cstdint>

#include "platform/audio_device.h"

struct AudioOutStream;

// Bytes of one sample frame of a stream.
constexpr uint32_t kAudioOutStreamBlockAlign = 4;

// A silent ring of `bytes` (rounded down to whole frames) at `rate`; fails without an open device.
AudioOutResult AudioOutCreateStream(uint32_t rate, uint32_t bytes, AudioOutStream** stream);
void AudioOutReleaseStream(AudioOutStream* stream);
// Every stream, when the device closes.
void AudioOutReleaseStreams();
uint32_t AudioOutStreamSize(const AudioOutStream* stream);
// The ring from `offset` for `bytes`, as one or two regions (the second is null when the range
// does not wrap). Unlock after writing.
bool AudioOutStreamLock(AudioOutStream* stream, uint32_t offset, uint32_t bytes, void** first, uint32_t* firstBytes,
                        void** second, uint32_t* secondBytes);
bool AudioOutStreamUnlock(AudioOutStream* stream);
// Plays the ring round and round from the play cursor.
bool AudioOutStreamPlay(AudioOutStream* stream);
// Stops; the play cursor stays where it was.
bool AudioOutStreamStop(AudioOutStream* stream);
bool AudioOutStreamIsPlaying(const AudioOutStream* stream);
bool AudioOutStreamSetPosition(AudioOutStream* stream, uint32_t offset);
bool AudioOutStreamGetPosition(AudioOutStream* stream, uint32_t* play, uint32_t* write);
bool AudioOutStreamSetVolume(AudioOutStream* stream, int32_t volume);
// Plays the ring as if its sound were at `frequency` (Hz) instead of its own rate: faster or
// slower and higher or lower. False outside the frequencies buffers accept.
bool AudioOutStreamSetFrequency(AudioOutStream* stream, uint32_t frequency);
