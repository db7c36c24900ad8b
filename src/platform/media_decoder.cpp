// The media decoder over the system's decoding library (see media_decoder.h): the library's own
// demultiplexers and decoders for whatever a file holds, a resampler to 16-bit stereo at the
// audio layer's rate and a scaler to 32-bit frames. Packets are read on demand: asking for one
// part reads until that part has something, keeping what the other part decodes meanwhile in a
// short queue; when that queue is full the answer is "pending", so neither part can make the
// other grow without bound. Every size and count a file gives is checked before it is used.
#include "platform/media_decoder.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
#include <libavutil/imgutils.h>
#include <libavutil/mathematics.h>
#include <libavutil/opt.h>
#include <libswresample/swresample.h>
#include <libswscale/swscale.h>
}

#include <algorithm>
#include <cmath>
#include <cstring>
#include <deque>
#include <new>
#include <vector>

namespace {

// What one call may read before it answers "pending".
constexpr int kPacketsPerCall = 256;
// Decoded data kept for the part nobody asked for yet: containers may put many video frames
// ahead of the first sound, so the frames are bounded by count and by their bytes.
constexpr size_t kMaxQueuedFrames = 64;
constexpr size_t kMaxQueuedFrameBytes = 16u << 20;
constexpr size_t kMaxQueuedAudioBlocks = 64;
// Audio chunks hold at most this many sample frames; a block joins chunks up to that length (and
// at most one chunk more), so a ring of a second always takes one.
constexpr int kMaxBlockFrames = 4096;
// Frames larger than this are refused.
constexpr int kMaxFrameSide = 2048;
constexpr int kMaxChannels = 16;
constexpr int kIoBufferBytes = 32768;

struct AudioChunk {
  std::vector<uint8_t> bytes;
  int64_t start;
};

struct VideoEntry {
  AVFrame* frame;
  int64_t time;
};

struct MemorySource {
  const uint8_t* data;
  size_t size;
  size_t position;
};

int ReadMemory(void* opaque, uint8_t* buffer, int size) {
  auto* source = static_cast<MemorySource*>(opaque);
  const size_t left = source->size - source->position;
  if (left == 0) return AVERROR_EOF;
  const size_t n = std::min(left, static_cast<size_t>(size));
  std::memcpy(buffer, source->data + source->position, n);
  source->position += n;
  return static_cast<int>(n);
}

int64_t SeekMemory(void* opaque, int64_t offset, int whence) {
  auto* source = static_cast<MemorySource*>(opaque);
  if (whence & AVSEEK_SIZE) return static_cast<int64_t>(source->size);
  int64_t base = 0;
  switch (whence & ~AVSEEK_FORCE) {
    case SEEK_SET: base = 0; break;
    case SEEK_CUR: base = static_cast<int64_t>(source->position); break;
    case SEEK_END: base = static_cast<int64_t>(source->size); break;
    default: return -1;
  }
  if (offset > static_cast<int64_t>(source->size) || offset < -static_cast<int64_t>(source->size)) return -1;
  const int64_t target = base + offset;
  if (target < 0 || target > static_cast<int64_t>(source->size)) return -1;
  source->position = static_cast<size_t>(target);
  return target;
}

}  // namespace

struct MediaDecoder {
  AVFormatContext* format = nullptr;
  AVIOContext* io = nullptr;
  MemorySource memory{};
  int audioIndex = -1;
  int videoIndex = -1;
  AVCodecContext* audio = nullptr;
  AVCodecContext* video = nullptr;
  SwrContext* resampler = nullptr;
  int resamplerRate = 0;
  int resamplerFormat = -1;
  int resamplerChannels = 0;
  SwsContext* scaler = nullptr;
  AVPacket* packet = nullptr;
  AVFrame* frame = nullptr;
  uint32_t rate = kMediaDefaultAudioRate;
  uint32_t parts = 0;
  int64_t startOffset = 0;   // the file's first time, 100 ns
  int64_t frameDuration = 0; // 100 ns, 0 when unknown
  int64_t skipBefore = 0;
  int64_t nextAudioTime = 0;
  int64_t lastVideoTime = -1;
  bool endOfFile = false;
  bool drained = false;
  std::deque<AudioChunk> audioQueue;
  std::deque<VideoEntry> videoQueue;
  size_t videoQueueBytes = 0;
  std::vector<uint8_t> audioOut;
  std::vector<uint8_t> converted;
  std::vector<uint8_t> pixels;
};

namespace {

int64_t ToUnits(int64_t value, AVRational base) {
  return av_rescale_q(value, base, AVRational{1, static_cast<int>(kMediaTimeUnitsPerSecond)});
}

size_t FrameBytes(const AVFrame* f) {
  size_t bytes = 0;
  for (int k = 0; k < AV_NUM_DATA_POINTERS && f->buf[k]; ++k) bytes += f->buf[k]->size;
  return bytes;
}

void ClearQueues(MediaDecoder* d) {
  d->audioQueue.clear();
  for (VideoEntry& e : d->videoQueue) av_frame_free(&e.frame);
  d->videoQueue.clear();
  d->videoQueueBytes = 0;
}

VideoEntry PopFrame(MediaDecoder* d) {
  VideoEntry entry = d->videoQueue.front();
  d->videoQueue.pop_front();
  d->videoQueueBytes -= std::min(d->videoQueueBytes, FrameBytes(entry.frame));
  return entry;
}

AVCodecContext* OpenCodec(AVStream* stream) {
  const AVCodec* codec = avcodec_find_decoder(stream->codecpar->codec_id);
  if (!codec) return nullptr;
  AVCodecContext* context = avcodec_alloc_context3(codec);
  if (!context) return nullptr;
  // One thread: decoding runs on the game thread in small steps and stays reproducible.
  context->thread_count = 1;
  // No picture larger than a frame may be: the decoder refuses it before allocating.
  context->max_pixels = static_cast<int64_t>(kMaxFrameSide) * kMaxFrameSide;
  if (avcodec_parameters_to_context(context, stream->codecpar) < 0 || avcodec_open2(context, codec, nullptr) < 0) {
    avcodec_free_context(&context);
    return nullptr;
  }
  context->pkt_timebase = stream->time_base;
  return context;
}

bool BuildResampler(MediaDecoder* d, const AVFrame* f) {
  const int channels = f->ch_layout.nb_channels;
  if (f->sample_rate <= 0 || channels <= 0 || channels > kMaxChannels) return false;
  if (d->resampler && d->resamplerRate == f->sample_rate && d->resamplerFormat == f->format &&
      d->resamplerChannels == channels)
    return true;
  swr_free(&d->resampler);
  AVChannelLayout in{};
  if (f->ch_layout.order == AV_CHANNEL_ORDER_NATIVE) {
    av_channel_layout_copy(&in, &f->ch_layout);
  } else {
    av_channel_layout_default(&in, channels);
  }
  AVChannelLayout out{};
  av_channel_layout_default(&out, kMediaAudioChannels);
  const int result = swr_alloc_set_opts2(&d->resampler, &out, AV_SAMPLE_FMT_S16, static_cast<int>(d->rate), &in,
                                         static_cast<AVSampleFormat>(f->format), f->sample_rate, 0, nullptr);
  av_channel_layout_uninit(&in);
  av_channel_layout_uninit(&out);
  if (result < 0 || swr_init(d->resampler) < 0) {
    swr_free(&d->resampler);
    return false;
  }
  d->resamplerRate = f->sample_rate;
  d->resamplerFormat = f->format;
  d->resamplerChannels = channels;
  return true;
}

int64_t BlockDuration(const MediaDecoder* d, size_t bytes) {
  return static_cast<int64_t>(bytes / kMediaAudioBlockAlign) * kMediaTimeUnitsPerSecond / d->rate;
}

void QueueAudio(MediaDecoder* d, const AVFrame* f) {
  if (f->nb_samples <= 0 || !BuildResampler(d, f)) return;
  const int capacity = swr_get_out_samples(d->resampler, f->nb_samples);
  if (capacity <= 0) return;
  d->converted.resize(static_cast<size_t>(capacity) * kMediaAudioBlockAlign);
  uint8_t* out = d->converted.data();
  const int made = swr_convert(d->resampler, &out, capacity, const_cast<const uint8_t**>(f->extended_data), f->nb_samples);
  if (made <= 0) return;
  AVStream* stream = d->format->streams[d->audioIndex];
  if (f->best_effort_timestamp != AV_NOPTS_VALUE) {
    // The resampler holds back a few samples; what comes out now started that much earlier.
    const int64_t delay = swr_get_delay(d->resampler, d->rate) * kMediaTimeUnitsPerSecond / d->rate;
    const int64_t time = ToUnits(f->best_effort_timestamp, stream->time_base) - d->startOffset - delay;
    // Small jitter is ignored so the blocks join without gaps.
    if (std::llabs(time - d->nextAudioTime) > kMediaTimeUnitsPerSecond / 20) d->nextAudioTime = time;
  }
  const size_t total = static_cast<size_t>(made) * kMediaAudioBlockAlign;
  for (size_t at = 0; at < total;) {
    const size_t n = std::min(total - at, static_cast<size_t>(kMaxBlockFrames) * kMediaAudioBlockAlign);
    AudioChunk chunk{std::vector<uint8_t>(d->converted.begin() + static_cast<ptrdiff_t>(at),
                                          d->converted.begin() + static_cast<ptrdiff_t>(at + n)),
                     d->nextAudioTime};
    d->nextAudioTime += BlockDuration(d, n);
    at += n;
    if (chunk.start + BlockDuration(d, n) <= d->skipBefore) continue;
    d->audioQueue.push_back(std::move(chunk));
  }
}

void QueueVideo(MediaDecoder* d, AVFrame* f) {
  if (f->width <= 0 || f->height <= 0 || f->width > kMaxFrameSide || f->height > kMaxFrameSide) return;
  AVStream* stream = d->format->streams[d->videoIndex];
  int64_t time = 0;
  if (f->best_effort_timestamp != AV_NOPTS_VALUE) {
    time = ToUnits(f->best_effort_timestamp, stream->time_base) - d->startOffset;
  } else if (d->lastVideoTime >= 0) {
    // The decoder's last frames at the end may come without a time: they follow the one before.
    time = d->lastVideoTime + d->frameDuration;
  }
  d->lastVideoTime = time;
  if (time + std::max<int64_t>(d->frameDuration, 1) <= d->skipBefore) return;
  AVFrame* copy = av_frame_alloc();
  if (!copy) return;
  av_frame_move_ref(copy, f);
  d->videoQueueBytes += FrameBytes(copy);
  d->videoQueue.push_back(VideoEntry{copy, time});
}

// Sends one packet (null: the end) to a decoder and keeps all it gives back.
void Decode(MediaDecoder* d, AVCodecContext* codec, const AVPacket* packet) {
  if (avcodec_send_packet(codec, packet) < 0 && packet) return;  // a damaged packet is skipped
  while (avcodec_receive_frame(codec, d->frame) == 0) {
    if (codec == d->audio) {
      QueueAudio(d, d->frame);
    } else {
      QueueVideo(d, d->frame);
    }
    av_frame_unref(d->frame);
  }
}

MediaReadResult Pump(MediaDecoder* d, uint32_t part) {
  for (int n = 0; n < kPacketsPerCall; ++n) {
    if (part == kMediaPartAudio && !d->audioQueue.empty()) return kMediaReadOk;
    if (part == kMediaPartVideo && !d->videoQueue.empty()) return kMediaReadOk;
    if (d->drained) return kMediaReadEnd;
    if (part == kMediaPartAudio &&
        (d->videoQueue.size() >= kMaxQueuedFrames || d->videoQueueBytes >= kMaxQueuedFrameBytes))
      return kMediaReadPending;
    if (part == kMediaPartVideo && d->audioQueue.size() >= kMaxQueuedAudioBlocks) return kMediaReadPending;
    if (d->endOfFile) {
      if (d->audio) Decode(d, d->audio, nullptr);
      if (d->video) Decode(d, d->video, nullptr);
      d->drained = true;
      continue;
    }
    const int result = av_read_frame(d->format, d->packet);
    if (result == AVERROR(EAGAIN)) return kMediaReadPending;
    if (result < 0) {
      d->endOfFile = true;
      continue;
    }
    if (d->packet->stream_index == d->audioIndex && d->audio) {
      Decode(d, d->audio, d->packet);
    } else if (d->packet->stream_index == d->videoIndex && d->video) {
      Decode(d, d->video, d->packet);
    }
    av_packet_unref(d->packet);
  }
  return kMediaReadPending;
}

// The library reports damaged data on stderr; a damaged file is answered by our results instead.
void Quiet() { av_log_set_level(AV_LOG_QUIET); }

MediaDecoder* Finish(MediaDecoder* d, uint32_t parts, uint32_t audioRate) {
  d->rate = audioRate ? audioRate : kMediaDefaultAudioRate;
  if (avformat_find_stream_info(d->format, nullptr) < 0) {
    MediaDecoderClose(d);
    return nullptr;
  }
  if (parts & kMediaPartAudio) d->audioIndex = av_find_best_stream(d->format, AVMEDIA_TYPE_AUDIO, -1, -1, nullptr, 0);
  if (parts & kMediaPartVideo) d->videoIndex = av_find_best_stream(d->format, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
  // A stream the library found but cannot decode fails the open.
  if (d->audioIndex >= 0) {
    d->audio = OpenCodec(d->format->streams[d->audioIndex]);
    if (!d->audio) return MediaDecoderClose(d), nullptr;
    d->parts |= kMediaPartAudio;
  }
  if (d->videoIndex >= 0) {
    AVStream* stream = d->format->streams[d->videoIndex];
    // A still picture attached to a sound file is no video.
    if (stream->disposition & AV_DISPOSITION_ATTACHED_PIC) {
      d->videoIndex = -1;
    } else {
      d->video = OpenCodec(stream);
      if (!d->video) return MediaDecoderClose(d), nullptr;
      d->parts |= kMediaPartVideo;
      const AVRational fps = stream->avg_frame_rate.num > 0 ? stream->avg_frame_rate : stream->r_frame_rate;
      if (fps.num > 0 && fps.den > 0) d->frameDuration = av_rescale(kMediaTimeUnitsPerSecond, fps.den, fps.num);
    }
  }
  if (d->format->start_time != AV_NOPTS_VALUE && d->format->start_time > 0)
    d->startOffset = ToUnits(d->format->start_time, AV_TIME_BASE_Q);
  d->packet = av_packet_alloc();
  d->frame = av_frame_alloc();
  if (!d->packet || !d->frame) return MediaDecoderClose(d), nullptr;
  return d;
}

}  // namespace

MediaDecoder* MediaDecoderOpen(const char* path, uint32_t parts, uint32_t audioRate) {
  if (!path) return nullptr;
  Quiet();
  auto* d = new (std::nothrow) MediaDecoder;
  if (!d) return nullptr;
  if (avformat_open_input(&d->format, path, nullptr, nullptr) < 0) {
    delete d;
    return nullptr;
  }
  return Finish(d, parts, audioRate);
}

MediaDecoder* MediaDecoderOpenMemory(const uint8_t* data, size_t size, uint32_t parts, uint32_t audioRate,
                                     const char* formats) {
  if (!data && size) return nullptr;
  Quiet();
  auto* d = new (std::nothrow) MediaDecoder;
  if (!d) return nullptr;
  d->memory = MemorySource{data, size, 0};
  auto* buffer = static_cast<uint8_t*>(av_malloc(kIoBufferBytes));
  d->format = avformat_alloc_context();
  if (buffer && d->format) d->io = avio_alloc_context(buffer, kIoBufferBytes, 0, &d->memory, ReadMemory, nullptr, SeekMemory);
  if (!d->io) {
    if (buffer) av_free(buffer);
    avformat_free_context(d->format);
    delete d;
    return nullptr;
  }
  d->format->pb = d->io;
  d->format->flags |= AVFMT_FLAG_CUSTOM_IO;
  AVDictionary* options = nullptr;
  if (formats) av_dict_set(&options, "format_whitelist", formats, 0);
  const int opened = avformat_open_input(&d->format, nullptr, nullptr, &options);
  av_dict_free(&options);
  if (opened < 0) {
    // The library frees the context on failure, never our reader.
    d->format = nullptr;
    MediaDecoderClose(d);
    return nullptr;
  }
  return Finish(d, parts, audioRate);
}

void MediaDecoderClose(MediaDecoder* d) {
  if (!d) return;
  ClearQueues(d);
  avcodec_free_context(&d->audio);
  avcodec_free_context(&d->video);
  swr_free(&d->resampler);
  sws_freeContext(d->scaler);
  av_packet_free(&d->packet);
  av_frame_free(&d->frame);
  avformat_close_input(&d->format);
  if (d->io) {
    av_freep(&d->io->buffer);
    avio_context_free(&d->io);
  }
  delete d;
}

uint32_t MediaDecoderParts(const MediaDecoder* d) { return d ? d->parts : 0; }

uint32_t MediaDecoderAudioRate(const MediaDecoder* d) { return d ? d->rate : 0; }

bool MediaDecoderSeek(MediaDecoder* d, int32_t ms) {
  if (!d || ms < 0) return false;
  int64_t target = av_rescale(ms, AV_TIME_BASE, 1000);
  if (d->format->start_time != AV_NOPTS_VALUE && d->format->start_time > 0) target += d->format->start_time;
  if (avformat_seek_file(d->format, -1, INT64_MIN, target, target, 0) < 0) return false;
  if (d->audio) avcodec_flush_buffers(d->audio);
  if (d->video) avcodec_flush_buffers(d->video);
  // The resampler starts over too, so no sound from before the seek comes out after it.
  swr_free(&d->resampler);
  ClearQueues(d);
  d->endOfFile = false;
  d->drained = false;
  d->skipBefore = static_cast<int64_t>(ms) * kMediaTimeUnitsPerMs;
  d->nextAudioTime = d->skipBefore;
  d->lastVideoTime = -1;
  return true;
}

MediaReadResult MediaDecoderNextAudio(MediaDecoder* d, MediaAudioBlock* block) {
  if (!d || !block || !d->audio) return kMediaReadFailed;
  const MediaReadResult result = Pump(d, kMediaPartAudio);
  if (result != kMediaReadOk) return result;
  AudioChunk& first = d->audioQueue.front();
  d->audioOut.swap(first.bytes);
  const int64_t start = first.start;
  d->audioQueue.pop_front();
  // Codec frames are short; joined into blocks of a good length, one block a game frame keeps
  // well ahead of what plays. Only chunks that follow on without a gap are joined.
  constexpr size_t kWanted = static_cast<size_t>(kMaxBlockFrames) * kMediaAudioBlockAlign;
  while (d->audioOut.size() < kWanted) {
    if (d->audioQueue.empty() && Pump(d, kMediaPartAudio) != kMediaReadOk) break;
    const AudioChunk& next = d->audioQueue.front();
    // Durations are rounded to 100 ns, so joined chunks may differ from the sum by a few units.
    if (std::llabs(next.start - (start + BlockDuration(d, d->audioOut.size()))) > kMediaTimeUnitsPerMs) break;
    d->audioOut.insert(d->audioOut.end(), next.bytes.begin(), next.bytes.end());
    d->audioQueue.pop_front();
  }
  block->data = d->audioOut.data();
  block->bytes = static_cast<uint32_t>(d->audioOut.size());
  block->blockAlign = kMediaAudioBlockAlign;
  block->startTime = start;
  block->endTime = start + BlockDuration(d, d->audioOut.size());
  return kMediaReadOk;
}

MediaReadResult MediaDecoderNextFrame(MediaDecoder* d, int64_t due, MediaVideoFrame* frame) {
  if (!d || !frame || !d->video) return kMediaReadFailed;
  MediaReadResult result = Pump(d, kMediaPartVideo);
  if (result != kMediaReadOk) return result;
  if (d->videoQueue.front().time > due) return kMediaReadPending;
  VideoEntry entry = PopFrame(d);
  // A late caller gets the newest due frame; the ones it missed are dropped.
  while (true) {
    if (d->videoQueue.empty() && Pump(d, kMediaPartVideo) != kMediaReadOk) break;
    if (d->videoQueue.front().time > due) break;
    av_frame_free(&entry.frame);
    entry = PopFrame(d);
  }
  AVFrame* f = entry.frame;
  d->scaler = sws_getCachedContext(d->scaler, f->width, f->height, static_cast<AVPixelFormat>(f->format), f->width,
                                   f->height, AV_PIX_FMT_BGRA, SWS_POINT, nullptr, nullptr, nullptr);
  const int pitch = f->width * 4;
  bool ok = d->scaler != nullptr;
  if (ok) {
    d->pixels.assign(static_cast<size_t>(pitch) * static_cast<size_t>(f->height), 0);
    uint8_t* planes[4] = {d->pixels.data(), nullptr, nullptr, nullptr};
    int pitches[4] = {pitch, 0, 0, 0};
    ok = sws_scale(d->scaler, f->data, f->linesize, 0, f->height, planes, pitches) == f->height;
  }
  if (ok) {
    *frame = MediaVideoFrame{d->pixels.data(), f->width, f->height, pitch, 32, {0xFF0000, 0x00FF00, 0x0000FF}, entry.time};
  }
  av_frame_free(&entry.frame);
  return ok ? kMediaReadOk : kMediaReadFailed;
}

// ---------------------------------------------------------------------------------------------
// Test media.

namespace {

struct Output {
  AVFormatContext* format = nullptr;
  AVCodecContext* video = nullptr;
  AVCodecContext* audio = nullptr;
  AVStream* videoStream = nullptr;
  AVStream* audioStream = nullptr;
  AVFrame* frame = nullptr;
  AVPacket* packet = nullptr;
  SwsContext* scaler = nullptr;
};

void CloseOutput(Output* o) {
  avcodec_free_context(&o->video);
  avcodec_free_context(&o->audio);
  av_frame_free(&o->frame);
  av_packet_free(&o->packet);
  sws_freeContext(o->scaler);
  if (o->format) {
    if (o->format->pb) avio_closep(&o->format->pb);
    avformat_free_context(o->format);
  }
}

bool WritePackets(Output* o, AVCodecContext* codec, AVStream* stream, const AVFrame* frame) {
  if (avcodec_send_frame(codec, frame) < 0) return false;
  while (true) {
    const int r = avcodec_receive_packet(codec, o->packet);
    if (r == AVERROR(EAGAIN) || r == AVERROR_EOF) return true;
    if (r < 0) return false;
    av_packet_rescale_ts(o->packet, codec->time_base, stream->time_base);
    o->packet->stream_index = stream->index;
    if (av_interleaved_write_frame(o->format, o->packet) < 0) return false;
  }
}

AVSampleFormat PickSampleFormat(const AVCodec* codec) {
  const AVSampleFormat wanted[] = {AV_SAMPLE_FMT_S16, AV_SAMPLE_FMT_S16P, AV_SAMPLE_FMT_FLTP, AV_SAMPLE_FMT_FLT};
  for (AVSampleFormat w : wanted) {
    for (const AVSampleFormat* f = codec->sample_fmts; f && *f != AV_SAMPLE_FMT_NONE; ++f)
      if (*f == w) return w;
  }
  return AV_SAMPLE_FMT_NONE;
}

bool FillTone(AVFrame* frame, int64_t firstSample, int rate, int hz) {
  if (av_frame_make_writable(frame) < 0) return false;
  const auto format = static_cast<AVSampleFormat>(frame->format);
  for (int i = 0; i < frame->nb_samples; ++i) {
    const double v = 0.5 * std::sin(2.0 * M_PI * hz * static_cast<double>(firstSample + i) / rate);
    const auto s = static_cast<int16_t>(std::lrint(v * 32767.0));
    for (int c = 0; c < kMediaAudioChannels; ++c) {
      switch (format) {
        case AV_SAMPLE_FMT_S16: reinterpret_cast<int16_t*>(frame->data[0])[i * kMediaAudioChannels + c] = s; break;
        case AV_SAMPLE_FMT_S16P: reinterpret_cast<int16_t*>(frame->data[c])[i] = s; break;
        case AV_SAMPLE_FMT_FLT: reinterpret_cast<float*>(frame->data[0])[i * kMediaAudioChannels + c] = float(v); break;
        case AV_SAMPLE_FMT_FLTP: reinterpret_cast<float*>(frame->data[c])[i] = float(v); break;
        default: return false;
      }
    }
  }
  return true;
}

}  // namespace

bool MediaWriteClip(const char* path, const MediaClipRecipe* recipe) {
  if (!path || !recipe || recipe->durationMs <= 0) return false;
  Quiet();
  const bool hasVideo = recipe->width > 0 && recipe->height > 0;
  const bool hasAudio = recipe->toneHz > 0;
  if (!hasVideo && !hasAudio) return false;
  if (hasVideo && (recipe->framesPerSecond <= 0 || !recipe->colours || recipe->colourCount <= 0)) return false;
  Output o;
  bool ok = avformat_alloc_output_context2(&o.format, nullptr, hasVideo ? "mpeg" : "mp3", path) >= 0;
  o.frame = av_frame_alloc();
  o.packet = av_packet_alloc();
  ok = ok && o.frame && o.packet;
  const int rate = kMediaDefaultAudioRate;
  if (ok && hasVideo) {
    const AVCodec* codec = avcodec_find_encoder(AV_CODEC_ID_MPEG1VIDEO);
    ok = codec && (o.video = avcodec_alloc_context3(codec)) && (o.videoStream = avformat_new_stream(o.format, nullptr));
    if (ok) {
      o.video->width = recipe->width;
      o.video->height = recipe->height;
      o.video->time_base = AVRational{1, recipe->framesPerSecond};
      o.video->framerate = AVRational{recipe->framesPerSecond, 1};
      o.video->pix_fmt = AV_PIX_FMT_YUV420P;
      o.video->gop_size = 12;
      o.video->bit_rate = 800000;
      o.video->thread_count = 1;
      ok = avcodec_open2(o.video, codec, nullptr) >= 0 &&
           avcodec_parameters_from_context(o.videoStream->codecpar, o.video) >= 0;
      o.videoStream->time_base = o.video->time_base;
    }
  }
  if (ok && hasAudio) {
    const AVCodec* codec = avcodec_find_encoder(hasVideo ? AV_CODEC_ID_MP2 : AV_CODEC_ID_MP3);
    ok = codec && (o.audio = avcodec_alloc_context3(codec)) && (o.audioStream = avformat_new_stream(o.format, nullptr));
    if (ok) {
      o.audio->sample_fmt = PickSampleFormat(codec);
      o.audio->sample_rate = rate;
      av_channel_layout_default(&o.audio->ch_layout, kMediaAudioChannels);
      o.audio->bit_rate = 128000;
      o.audio->time_base = AVRational{1, rate};
      ok = o.audio->sample_fmt != AV_SAMPLE_FMT_NONE && avcodec_open2(o.audio, codec, nullptr) >= 0 &&
           avcodec_parameters_from_context(o.audioStream->codecpar, o.audio) >= 0;
      o.audioStream->time_base = o.audio->time_base;
    }
  }
  ok = ok && avio_open(&o.format->pb, path, AVIO_FLAG_WRITE) >= 0 && avformat_write_header(o.format, nullptr) >= 0;
  if (!ok) {
    CloseOutput(&o);
    return false;
  }
  const int64_t frames = hasVideo ? int64_t(recipe->durationMs) * recipe->framesPerSecond / 1000 : 0;
  const int64_t samples = hasAudio ? int64_t(recipe->durationMs) * rate / 1000 : 0;
  int64_t frameIndex = 0;
  int64_t sampleIndex = 0;
  std::vector<uint8_t> bgra(hasVideo ? size_t(recipe->width) * size_t(recipe->height) * 4 : 0);
  while (ok && (frameIndex < frames || sampleIndex < samples)) {
    // Whichever part lies behind in time is written next, so the muxer interleaves them.
    const bool videoNext = frameIndex < frames &&
                           (sampleIndex >= samples || frameIndex * 1000 / recipe->framesPerSecond <= sampleIndex * 1000 / rate);
    av_frame_unref(o.frame);
    if (videoNext) {
      const uint32_t colour = recipe->colours[frameIndex % recipe->colourCount];
      for (size_t p = 0; p < bgra.size(); p += 4) {
        bgra[p] = uint8_t(colour), bgra[p + 1] = uint8_t(colour >> 8), bgra[p + 2] = uint8_t(colour >> 16), bgra[p + 3] = 0xFF;
      }
      o.frame->format = AV_PIX_FMT_YUV420P;
      o.frame->width = recipe->width;
      o.frame->height = recipe->height;
      ok = av_frame_get_buffer(o.frame, 0) >= 0;
      o.scaler = sws_getCachedContext(o.scaler, recipe->width, recipe->height, AV_PIX_FMT_BGRA, recipe->width, recipe->height,
                                      AV_PIX_FMT_YUV420P, SWS_POINT, nullptr, nullptr, nullptr);
      if (ok && o.scaler) {
        const uint8_t* in[4] = {bgra.data(), nullptr, nullptr, nullptr};
        const int inPitch[4] = {recipe->width * 4, 0, 0, 0};
        sws_scale(o.scaler, in, inPitch, 0, recipe->height, o.frame->data, o.frame->linesize);
      }
      o.frame->pts = frameIndex++;
      ok = ok && o.scaler && WritePackets(&o, o.video, o.videoStream, o.frame);
    } else {
      const int n = o.audio->frame_size > 0 ? o.audio->frame_size : 1152;
      o.frame->format = o.audio->sample_fmt;
      o.frame->sample_rate = rate;
      o.frame->nb_samples = n;
      av_channel_layout_copy(&o.frame->ch_layout, &o.audio->ch_layout);
      ok = av_frame_get_buffer(o.frame, 0) >= 0 && FillTone(o.frame, sampleIndex, rate, recipe->toneHz);
      o.frame->pts = sampleIndex;
      sampleIndex += n;
      ok = ok && WritePackets(&o, o.audio, o.audioStream, o.frame);
    }
  }
  if (ok && o.video) ok = WritePackets(&o, o.video, o.videoStream, nullptr);
  if (ok && o.audio) ok = WritePackets(&o, o.audio, o.audioStream, nullptr);
  ok = ok && av_write_trailer(o.format) >= 0;
  CloseOutput(&o);
  return ok;
}
