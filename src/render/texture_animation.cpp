// Texture animations: reads the "Animations" definitions, creates, advances, steps, saves and
// loads the per-surface states. Called by the start-up type loading, the scene engine's instances
// and cameras, the natives and the save game. Never reads a definition, frame or byte it does not
// have; the movie streams are reached only through the hooks the movie layer registers.
#include "render/texture_animation.h"

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string>

#include "core/byte_order.h"
#include "core/data_reader.h"
#include "core/file_object.h"
#include "core/fixed_math.h"
#include "core/memory.h"
#include "core/system_block.h"
#include "core/type_files.h"
#include "render/material_table.h"
#include "render/texture_table.h"

TextureAnimation* gTextureAnimations = nullptr;
int16_t gTextureAnimationCount = 0;

namespace {

constexpr const char* kAnimationsFile = "Animations";
constexpr uint32_t kAnimMemFlags = MemCategoryFlags(kMemCatMaterial);
constexpr float kFullTurn = 6.2831855f;
// Frames one definition may carry; a larger count is a broken file.
constexpr int32_t kMaxFrames = 65535;
constexpr size_t kMaxNameBytes = 255;

const DataKeyword kAnimTypes[] = {
    {"TAT_LOOP", TAT_LOOP},
    {"TAT_PINGPONG", TAT_PINGPONG},
    {"TAT_ONESHOT", TAT_ONESHOT},
    {"TAT_MOVIE", TAT_MOVIE},
    {"TAT_TAGLOOP", TAT_TAGLOOP},
    {"TAT_TAGPINGPONG", TAT_TAGPINGPONG},
    {"TAT_TAGONESHOT", TAT_TAGONESHOT},
    {"TAT_TAGCOLLECTION", TAT_TAGCOLLECTION},
    {"TAT_TAGONESHOT_REINIT", TAT_TAGONESHOT_REINIT},
    {"TAT_SINGLESTEP", TAT_SINGLESTEP},
    {"TAT_TAGSINGLESTEP", TAT_TAGSINGLESTEP},
    {"TAT_TAGARRAYSINGLESTEP", TAT_TAGARRAYSINGLESTEP},
    {"", 0},
};
const DataKeyword kDefinitionFlags[] = {{"NULL", 0}, {"TADF_COORDS", TADF_COORDS}, {"", 0}};
const DataKeyword kFrameFlags[] = {{"NULL", 0}, {"TATF_REINITLOOP", TATF_REINITLOOP}, {"TATF_COORDS", TATF_COORDS}, {"", 0}};

MediaStreamHooks gMediaHooks{};

int32_t Now() { return gSystem ? static_cast<int32_t>(gSystem->gameTime) : 0; }

void* AllocRetry(size_t bytes, uint32_t flags) {
  void* p = MemAlloc(bytes, flags);
  if (!p) {
    CallLowMemoryHandler();
    p = MemAlloc(bytes, flags);
  }
  return p;
}

bool HasFullFrames(const TextureAnimation& a) {
  return a.frameCount > 0 && a.frames.full && a.type != TAT_TAGCOLLECTION && a.type != TAT_TAGSINGLESTEP;
}

size_t FrameBytes(int32_t type) {
  if (type == TAT_TAGCOLLECTION) return sizeof(TexAnimTagFrame);
  if (type == TAT_TAGSINGLESTEP) return sizeof(int32_t);
  return sizeof(TexAnimFrame);
}

// The definition of a non-immediate state, or null when its index has none.
const TextureAnimation* DefinitionOf(const TexAnimState& s) {
  if (s.flags & kTexAnimImmediate) return nullptr;
  if (!gTextureAnimations || s.anim < 0 || s.anim >= gTextureAnimationCount) return nullptr;
  return &gTextureAnimations[s.anim];
}

int32_t FrameDuration(const TexAnimFrame& f) { return f.duration < 0 ? 0 : f.duration; }

void FrameOffset(UvTransform* uv, const TexAnimFrame& f) {
  if (f.flags & TATF_COORDS) {
    UvTransformInit(uv, f.offsetU, f.offsetV);
  } else {
    UvTransformInit(uv, 0, 0);
  }
}

// 16.16 words wrap as the hardware would; loaded states may hold any values.
int32_t Wrap(int64_t v) { return static_cast<int32_t>(static_cast<uint32_t>(static_cast<uint64_t>(v))); }

int32_t MulDiv(int64_t a, int64_t b, int64_t c) {
  return c == 0 ? 0 : Wrap(static_cast<int64_t>(static_cast<__int128>(a) * b / c));
}

void ToMatrix(const UvTransform& t, FixedMatrix* m) {
  std::memset(m, 0, sizeof *m);
  for (int j = 0; j < 3; ++j) m->m[0][j] = t.row0[j], m->m[1][j] = t.row1[j], m->m[2][j] = t.row2[j];
}

void FromMatrix(const FixedMatrix& m, UvTransform* t) {
  std::memset(t, 0, sizeof *t);
  for (int j = 0; j < 3; ++j) t->row0[j] = m.m[0][j], t->row1[j] = m.m[1][j], t->row2[j] = m.m[2][j];
}

void Multiply(UvTransform* out, const UvTransform& a, const UvTransform& b) {
  FixedMatrix ma;
  FixedMatrix mb;
  FixedMatrix r;
  ToMatrix(a, &ma);
  ToMatrix(b, &mb);
  MatrixMultiply(&r, &ma, &mb);
  FromMatrix(r, out);
}

uint16_t ReadTextureName(DataReader* reader) {
  const std::string name = ReadString(reader);
  if (reader->error) return 0;
  return static_cast<uint16_t>(FindTextureByName(name.c_str(), 0));
}

void ReadFrames(DataReader* reader, TextureAnimation& a) {
  const int32_t count = ReadInt(reader);
  if (reader->error || count <= 0) return;
  // Every frame takes at least one byte of input, so a count beyond what is left is a broken file.
  const bool tooMany = count > kMaxFrames || (reader->limit && count > reader->limit - reader->cursor);
  if (tooMany) {
    reader->error = 1;
    return;
  }
  const size_t bytes = FrameBytes(a.type) * static_cast<size_t>(count);
  void* frames = AllocRetry(bytes, kAnimMemFlags);
  if (!frames) {
    reader->error = 1;
    return;
  }
  std::memset(frames, 0, bytes);
  a.frames.full = static_cast<TexAnimFrame*>(frames);
  a.frameCount = count;
  for (int32_t i = 0; i < count && !reader->error; ++i) {
    if (a.type == TAT_TAGCOLLECTION) {
      TexAnimTagFrame& f = a.frames.tag[i];
      f.values[0] = static_cast<int16_t>(ReadTextureName(reader));
      for (int k = 1; k < 7; ++k) f.values[k] = static_cast<int16_t>(ReadInt(reader));
    } else if (a.type == TAT_TAGSINGLESTEP) {
      a.frames.ids[i] = ReadTextureName(reader);
    } else {
      TexAnimFrame& f = a.frames.full[i];
      f.flags = ReadShortEnum(reader, kFrameFlags);
      f.texture = ReadTextureName(reader);
      const int32_t duration = ReadInt(reader);
      f.duration = static_cast<int16_t>(duration < 0 ? 0 : duration > INT16_MAX ? INT16_MAX : duration);
      if (f.flags & TATF_COORDS) {
        f.offsetU = ReadFixed(reader);
        f.offsetV = ReadFixed(reader);
      }
      a.duration = (a.duration < 0 ? 0 : a.duration) + f.duration;
    }
  }
}

void ReadDefinition(DataReader* reader, TextureAnimation& a) {
  a.type = ReadEnum(kAnimTypes, reader);
  a.flags = ReadShortEnum(reader, kDefinitionFlags);
  a.firstTexture = ReadTextureName(reader);
  a.lastTexture = ReadTextureName(reader);
  a.duration = -1;
  if (a.flags & TADF_COORDS) {
    a.startU = ReadFixed(reader);
    a.startV = ReadFixed(reader);
    a.endU = ReadFixed(reader);
    a.endV = ReadFixed(reader);
  }
  if (a.type == TAT_MOVIE) {
    a.movieStream = ReadInt(reader);
    for (int32_t& p : a.movieParams) p = ReadInt(reader);
    return;
  }
  ReadFrames(reader, a);
  if (reader->error) {
    // Cut short: never advanced by time.
    if (a.duration < 0) a.duration = 0;
    return;
  }
  // The closing duration; the end of the input counts as 0, and a negative one as 0.
  const int32_t closing = ReadInt(reader);
  if (a.duration == -1) a.duration = closing < 0 ? 0 : closing;
}

// t milliseconds into the period: the frame of a full-frame definition.
int32_t FindFrame(const TextureAnimation& a, int32_t t, bool backwards) {
  int64_t sum = 0;
  if (!backwards) {
    for (int32_t i = 0; i < a.frameCount; ++i) {
      sum += FrameDuration(a.frames.full[i]);
      if (sum >= t) return i;
    }
    return a.frameCount - 1;
  }
  for (int32_t i = a.frameCount - 1; i >= 0; --i) {
    sum += FrameDuration(a.frames.full[i]);
    if (sum >= t) return i;
  }
  return 0;
}

void UpdateImmediate(TexAnimState& s, int32_t now) {
  const int32_t p = s.period;
  const int64_t spin = std::llabs(static_cast<int64_t>(s.spinPeriod));
  if (p != 0 && now < s.cycleStart) s.cycleStart = now;
  if (spin != 0 && now < s.spinStart) s.spinStart = now;
  if (p > 0 && static_cast<int64_t>(now) >= static_cast<int64_t>(s.cycleStart) + p) {
    s.cycleStart = Wrap(s.cycleStart + (static_cast<int64_t>(now) - s.cycleStart) / p * p);
  }
  if (spin != 0 && static_cast<int64_t>(now) >= static_cast<int64_t>(s.spinStart) + spin) {
    s.spinStart = Wrap(s.spinStart + (static_cast<int64_t>(now) - s.spinStart) / spin * spin);
  }
  const int64_t intoPeriod = static_cast<int64_t>(now) - s.cycleStart;
  if (spin != 0) {
    const float turn = static_cast<float>(static_cast<int64_t>(now) - s.spinStart) / static_cast<float>(spin);
    const float angle = turn * (s.spinPeriod < 0 ? -1.0f : 1.0f) * kFullTurn;
    int32_t du = 0;
    int32_t dv = 0;
    if (p != 0) {
      du = MulDiv(static_cast<int64_t>(s.uvEnd[0]) - s.uvStart[0], intoPeriod, p);
      dv = MulDiv(static_cast<int64_t>(s.uvEnd[1]) - s.uvStart[1], intoPeriod, p);
    }
    UvTransform toCentre;
    UvTransform rotation;
    UvTransform back;
    UvTransformInit(&toCentre, Wrap(-static_cast<int64_t>(s.spinCentre[0])), Wrap(-static_cast<int64_t>(s.spinCentre[1])));
    UvTransformRotation(&rotation, angle);
    UvTransformInit(&back, Wrap(static_cast<int64_t>(s.spinCentre[0]) + du), Wrap(static_cast<int64_t>(s.spinCentre[1]) + dv));
    UvTransform turned;
    Multiply(&turned, toCentre, rotation);
    Multiply(&s.uv, turned, back);
  } else if (p != 0) {
    UvTransformInit(&s.uv, Wrap(s.uvStart[0] + int64_t{MulDiv(static_cast<int64_t>(s.uvEnd[0]) - s.uvStart[0], intoPeriod, p)}),
                    Wrap(s.uvStart[1] + int64_t{MulDiv(static_cast<int64_t>(s.uvEnd[1]) - s.uvStart[1], intoPeriod, p)}));
  }
}

// Reports an end once: true on the call that reaches it.
bool ReportEnd(TexAnimState& s) {
  if (s.flags & kTexAnimEndReported) return false;
  s.flags |= kTexAnimEndReported;
  return true;
}

bool UpdateFrameByFrame(TexAnimState& s, const TextureAnimation& a, int32_t now) {
  if (!HasFullFrames(a) || s.frame < 0 || s.frame >= a.frameCount) return false;
  const int32_t f = s.frame;
  const TexAnimFrame& current = a.frames.full[f];
  if (static_cast<int64_t>(FrameDuration(current)) + s.elapsedFrames >= static_cast<int64_t>(now) - s.cycleStart) {
    return false;
  }
  if ((s.flags & kTexAnimRestartAtReinit) && (current.flags & TATF_REINITLOOP)) {
    s.frame = 0;
    s.flags &= ~(kTexAnimRestartAtReinit | kTexAnimEndReported);
  } else if (f + 1 >= a.frameCount) {
    return ReportEnd(s);
  } else {
    if (current.flags & TATF_REINITLOOP) {
      s.flags |= kTexAnimReinitPassed;
      s.reinitTime = now;
    }
    s.frame = f + 1;
  }
  s.elapsedFrames = Wrap(int64_t{s.elapsedFrames} + FrameDuration(current));
  const TexAnimFrame& next = a.frames.full[s.frame];
  s.texture = next.texture;
  FrameOffset(&s.uv, next);
  return false;
}

bool UpdateTimed(TexAnimState& s, const TextureAnimation& a, int32_t now) {
  const int64_t d = a.duration;
  if (now < s.cycleStart) s.cycleStart = now;
  if (static_cast<int64_t>(now) >= s.cycleStart + d) {
    const int64_t k = (static_cast<int64_t>(now) - s.cycleStart - d) / d;
    switch (a.type) {
      case TAT_LOOP:
      case TAT_TAGLOOP:
        s.cycleStart = static_cast<int32_t>(s.cycleStart + d + k * d);
        break;
      case TAT_PINGPONG:
      case TAT_TAGPINGPONG:
        s.cycleStart = static_cast<int32_t>(s.cycleStart + d + k * d);
        if (k % 2 == 0) s.flags ^= kTexAnimBackwards;
        break;
      default:
        if (a.type == TAT_TAGONESHOT && HasFullFrames(a)) {
          s.frame = a.frameCount - 1;
          s.texture = a.frames.full[s.frame].texture;
          FrameOffset(&s.uv, a.frames.full[s.frame]);
        } else {
          s.frame = std::abs(a.lastTexture - a.firstTexture);
          s.texture = a.lastTexture;
          UvTransformInit(&s.uv, a.endU, a.endV);
        }
        return ReportEnd(s);
    }
  }
  const int64_t t = static_cast<int64_t>(now) - s.cycleStart;
  const bool backwards = s.flags & kTexAnimBackwards;
  if (HasFullFrames(a) && a.type != TAT_TAGCOLLECTION) {
    s.frame = FindFrame(a, static_cast<int32_t>(t), backwards);
    s.texture = a.frames.full[s.frame].texture;
    FrameOffset(&s.uv, a.frames.full[s.frame]);
    return false;
  }
  // A texture range: the frame counts steps away from where the playback starts, in either
  // direction, so it is never negative.
  const int32_t from = backwards ? a.lastTexture : a.firstTexture;
  const int32_t to = backwards ? a.firstTexture : a.lastTexture;
  s.frame = MulDiv(std::abs(to - from) + 1, t, d);
  s.texture = static_cast<uint16_t>(to >= from ? from + s.frame : from - s.frame);
  if (a.flags & TADF_COORDS) {
    if (!backwards) {
      UvTransformInit(&s.uv, MulDiv(static_cast<int64_t>(a.endU) - a.startU, t, d),
                      MulDiv(static_cast<int64_t>(a.endV) - a.startV, t, d));
    } else {
      UvTransformInit(&s.uv, MulDiv(static_cast<int64_t>(a.startU) - a.endU, t, d),
                      MulDiv(static_cast<int64_t>(a.startV) - a.endV, t, d));
    }
  }
  return false;
}

bool IsSteppedKind(int32_t type) {
  return type == TAT_SINGLESTEP || type == TAT_TAGSINGLESTEP || type == TAT_TAGARRAYSINGLESTEP;
}

// The movie definition of a state whose strip has more than one texture, or null.
const TextureAnimation* MovieStrip(const TexAnimState& s) {
  const TextureAnimation* a = DefinitionOf(s);
  return a && a->type == TAT_MOVIE && a->firstTexture != a->lastTexture ? a : nullptr;
}

int32_t Reciprocal(int32_t x) { return x == 0 ? 0 : static_cast<int32_t>((int64_t{1} << 32) / x); }

}  // namespace

const DataKeyword* const kTexAnimTypeNames = kAnimTypes;
const DataKeyword* const kTexAnimDefinitionFlagNames = kDefinitionFlags;
const DataKeyword* const kTexAnimFrameFlagNames = kFrameFlags;

void TexAnimSetMediaHooks(const MediaStreamHooks* hooks) { gMediaHooks = hooks ? *hooks : MediaStreamHooks{}; }

void MediaStreamClaim(int32_t streamId, int32_t owner, const int32_t params[6], int32_t flags) {
  (void)flags;
  const MediaStreamHooks& h = gMediaHooks;
  if (!h.find || !h.open || !h.connect || !h.play) return;
  uint32_t streamFlags = 0;
  int32_t holder = 0;
  if (!h.find(streamId, &streamFlags, &holder)) {
    h.open(streamId, 0);
    if (!h.find(streamId, &streamFlags, &holder)) return;
  }
  h.connect(streamId, owner);
  h.play(streamId, params);
}

void MediaStreamRelease(int32_t streamId, int32_t owner) {
  const MediaStreamHooks& h = gMediaHooks;
  if (!h.find || !h.stop || !h.disconnect) return;
  uint32_t streamFlags = 0;
  int32_t holder = 0;
  if (h.find(streamId, &streamFlags, &holder) && (streamFlags & kMediaStreamOwned) && holder == owner) h.stop(streamId);
  h.disconnect(streamId, owner);
}

bool MediaStreamState(int32_t streamId, uint32_t* flags, int32_t* owner) {
  *flags = 0;
  *owner = 0;
  return gMediaHooks.find && gMediaHooks.find(streamId, flags, owner);
}

void UvTransformInit(UvTransform* t, int32_t u, int32_t v) { UvTransformInitAt(t, kFixedOne, u, v, kFixedOne); }

void UvTransformInitAt(UvTransform* t, int32_t su, int32_t u, int32_t v, int32_t sv) {
  std::memset(t, 0, sizeof *t);
  t->row0[0] = su;
  t->row1[1] = sv;
  t->row2[0] = u;
  t->row2[1] = v;
  t->row2[2] = kFixedOne;
}

void UvTransformScale(UvTransform* t, int32_t su, int32_t sv) { UvTransformInitAt(t, su, 0, 0, sv); }

void UvTransformRotation(UvTransform* t, float angle) {
  const int32_t c = static_cast<int32_t>(std::cos(angle) * 65536.0f);
  const int32_t s = static_cast<int32_t>(std::sin(angle) * 65536.0f);
  UvTransformInit(t, 0, 0);
  t->row0[0] = c;
  t->row0[1] = -s;
  t->row1[0] = s;
  t->row1[1] = c;
}

void PreloadAnimationTextures(int32_t anim, uint32_t flags) {
  if (!gTextureAnimations || anim < 0 || anim >= gTextureAnimationCount) return;
  const TextureAnimation& a = gTextureAnimations[anim];
  auto preload = [&flags](int32_t id) {
    if (id <= 0) return;
    if (flags == 0 && gMaterialTable && id < gMaterialCount) flags = gMaterialTable[id].flags;
    SetTextureFlags(id, flags);
    TextureGetLoaded(id);
  };
  preload(a.firstTexture);
  preload(a.lastTexture);
  for (int32_t i = 0; i < a.frameCount && a.frames.full; ++i) {
    if (a.type == TAT_TAGCOLLECTION) {
      preload(a.frames.tag[i].values[0]);
    } else if (a.type == TAT_TAGSINGLESTEP) {
      preload(a.frames.ids[i]);
    } else {
      preload(a.frames.full[i].texture);
    }
  }
}

void FreeTextureAnimations() {
  if (!gTextureAnimations) {
    gTextureAnimationCount = 0;
    return;
  }
  for (int32_t i = 0; i < gTextureAnimationCount; ++i) {
    TextureAnimation& a = gTextureAnimations[i];
    if (a.frames.full && a.frameCount > 0) {
      MemFree(a.frames.full, FrameBytes(a.type) * static_cast<size_t>(a.frameCount), kAnimMemFlags);
    }
  }
  MemFree(gTextureAnimations, sizeof(TextureAnimation) * static_cast<size_t>(gTextureAnimationCount), kAnimMemFlags);
  gTextureAnimations = nullptr;
  gTextureAnimationCount = 0;
}

void ReadTextureAnimationSection(DataReader* reader) {
  FreeTextureAnimations();
  const int32_t count = ReadInt(reader);
  if (reader->error || count <= 0 || count > INT16_MAX) return;
  const size_t bytes = sizeof(TextureAnimation) * static_cast<size_t>(count);
  gTextureAnimations = static_cast<TextureAnimation*>(AllocRetry(bytes, kAnimMemFlags));
  if (!gTextureAnimations) return;
  std::memset(gTextureAnimations, 0, bytes);
  gTextureAnimationCount = static_cast<int16_t>(count);
  // A broken definition ends the reading; the definitions after it stay zero and never animate.
  for (int32_t i = 0; i < count && !reader->error; ++i) {
    ReadDefinition(reader, gTextureAnimations[i]);
  }
}

void ReadTextureAnimations() {
  DataReader* reader = OpenTypeFile(kAnimationsFile, nullptr, 0);
  if (!reader) return;
  ReadTextureAnimationSection(reader);
  DataReaderClose(reader);
  MemFree(reader, sizeof(DataReader), 0);
}

TexAnimState* TexAnimCreateRecords(int32_t n, const int32_t* ids, const int32_t* uvStarts, const int32_t* uvEnds,
                                   const int32_t* periods, const int32_t* centres, const int32_t* spinPeriods) {
  if (n < 1) return nullptr;
  const size_t bytes = sizeof(TexAnimState) * static_cast<size_t>(n);
  auto* states = static_cast<TexAnimState*>(AllocRetry(bytes, kAnimMemFlags));
  if (!states) return nullptr;
  std::memset(states, 0, bytes);
  const int32_t now = Now();
  for (int32_t i = 0; i < n; ++i) {
    TexAnimState& s = states[i];
    s.cycleStart = now;
    s.spinStart = now;
    if (ids) s.anim = ids[i];
    if (s.anim < 0) {
      s.flags |= kTexAnimImmediate;
      if (uvStarts) s.uvStart[0] = uvStarts[2 * i], s.uvStart[1] = uvStarts[2 * i + 1];
      if (uvEnds) s.uvEnd[0] = uvEnds[2 * i], s.uvEnd[1] = uvEnds[2 * i + 1];
      if (periods) s.period = periods[i];
      if (centres) s.spinCentre[0] = centres[2 * i], s.spinCentre[1] = centres[2 * i + 1];
      if (spinPeriods) s.spinPeriod = spinPeriods[i];
      UvTransformInit(&s.uv, s.uvStart[0], s.uvStart[1]);
      s.texture = static_cast<uint16_t>(-static_cast<int64_t>(s.anim));
      continue;
    }
    const TextureAnimation* a = DefinitionOf(s);
    if (!a) {
      UvTransformInit(&s.uv, 0, 0);
    } else if (HasFullFrames(*a)) {
      UvTransformInit(&s.uv, a->frames.full[0].offsetU, a->frames.full[0].offsetV);
      s.texture = a->frames.full[0].texture;
    } else {
      UvTransformInit(&s.uv, a->startU, a->startV);
      s.texture = a->firstTexture;
    }
  }
  return states;
}

void TexAnimFreeRecords(int32_t n, TexAnimState* states) {
  if (!states || n < 1) return;
  MemFree(states, sizeof(TexAnimState) * static_cast<size_t>(n), kAnimMemFlags);
}

void TexAnimValue(TexAnimState* state) {
  TexAnimState& s = *state;
  if (s.flags & kTexAnimImmediate) {
    s.texture = static_cast<uint16_t>(-static_cast<int64_t>(s.anim));
    return;
  }
  const TextureAnimation* a = DefinitionOf(s);
  if (!a) {
    s.texture = 0;
    return;
  }
  if (a->frameCount > 0 && a->frames.full) {
    if (s.frame < 0 || s.frame >= a->frameCount) {
      s.texture = 0;
    } else if (a->type == TAT_TAGCOLLECTION) {
      s.texture = static_cast<uint16_t>(a->frames.tag[s.frame].values[0]);
    } else if (a->type == TAT_TAGSINGLESTEP) {
      s.texture = static_cast<uint16_t>(a->frames.ids[s.frame]);
    } else {
      s.texture = a->frames.full[s.frame].texture;
    }
    return;
  }
  const bool backwards = s.flags & kTexAnimBackwards;
  const int32_t from = backwards ? a->lastTexture : a->firstTexture;
  const int32_t to = backwards ? a->firstTexture : a->lastTexture;
  s.texture = static_cast<uint16_t>(to >= from ? int64_t{from} + s.frame : int64_t{from} - s.frame);
}

bool TexAnimUpdate(int32_t n, TexAnimState* states) {
  bool ended = false;
  for (int32_t i = 0; i < n && states; ++i) {
    TexAnimState& s = states[i];
    const int32_t now = Now();
    if (s.flags & kTexAnimImmediate) {
      UpdateImmediate(s, now);
      continue;
    }
    const TextureAnimation* a = DefinitionOf(s);
    if (!a || IsSteppedKind(a->type) || a->duration == 0) continue;
    if (a->type == TAT_MOVIE) {
      if (s.anim > 0 && s.movieStarted == 0) {
        MediaStreamClaim(a->movieStream, s.texture, a->movieParams, 0);
        s.movieStarted = a->movieStream;
      }
      continue;
    }
    if (a->duration < 0) continue;
    if (a->type == TAT_TAGONESHOT_REINIT) {
      ended |= UpdateFrameByFrame(s, *a, now);
    } else {
      ended |= UpdateTimed(s, *a, now);
    }
  }
  return ended;
}

int32_t TexAnimFindRecord(int32_t id, int32_t n, TexAnimState* states, int32_t index) {
  for (int32_t i = 0; i < n && states; ++i) {
    TexAnimState& s = states[i];
    if (s.anim != id) continue;
    const TextureAnimation* a = DefinitionOf(s);
    if (!a || !IsSteppedKind(a->type)) return 0;
    const int32_t last = a->type == TAT_SINGLESTEP ? a->lastTexture - a->firstTexture : a->frameCount - 1;
    s.frame = index < 0 || index > last ? 0 : index;
    if (a->type == TAT_SINGLESTEP) {
      s.texture = static_cast<uint16_t>(a->firstTexture + s.frame);
    } else if (a->frameCount <= 0 || !a->frames.full) {
      s.texture = 0;  // no frames to show
    } else if (a->type == TAT_TAGSINGLESTEP) {
      s.texture = static_cast<uint16_t>(a->frames.ids[s.frame]);
    } else {
      s.texture = a->frames.full[s.frame].texture;
      FrameOffset(&s.uv, a->frames.full[s.frame]);
    }
    return s.texture;
  }
  return 0;
}

void InstTexAnimRecompute(int32_t n, TexAnimState* states, int32_t cell) {
  for (int32_t i = 0; i < n && states; ++i) {
    TexAnimState& s = states[i];
    const TextureAnimation* a = MovieStrip(s);
    if (!a) continue;
    s.flags &= ~kTexAnimBackwards;
    TexAnimValue(&s);
    if (cell == 0) {
      UvTransformInit(&s.uv, 0, 0);
      continue;
    }
    const int64_t ru = Reciprocal(a->startU);
    const int64_t rv = Reciprocal(a->startV);
    const int64_t q = ru == 0 ? 0 : (static_cast<int64_t>(cell) - 1) / ru;
    const int64_t m = ru == 0 ? 0 : (static_cast<int64_t>(cell) - 1) % ru;
    UvTransform scale;
    UvTransform move;
    UvTransformScale(&scale, Reciprocal(static_cast<int32_t>(ru)), Reciprocal(static_cast<int32_t>(rv)));
    UvTransformInit(&move, ru == 0 ? 0 : static_cast<int32_t>((m << 32) / ru),
                    rv == 0 ? 0 : static_cast<int32_t>((q << 32) / rv));
    Multiply(&s.uv, scale, move);
  }
}

void InstTexAnimRebase(int32_t n, TexAnimState* states, int32_t cell, int32_t cellCount) {
  for (int32_t i = 0; i < n && states; ++i) {
    TexAnimState& s = states[i];
    if (!MovieStrip(s)) continue;
    s.flags |= kTexAnimBackwards;
    TexAnimValue(&s);
    if (cell <= 0 || cellCount <= 0) {
      UvTransformInit(&s.uv, 0, 0);
      continue;
    }
    const int32_t columns = static_cast<int32_t>(IntSqrt(static_cast<uint32_t>(cellCount)));
    const int32_t rows = columns == 0 ? 0 : cellCount / columns;
    const int32_t column = columns == 0 ? 0 : (cell - 1) % columns;
    const int32_t row = columns == 0 ? 0 : (cell - 1) / columns;
    UvTransform scale;
    UvTransform move;
    UvTransformScale(&scale, columns ? kFixedOne / columns : 0, rows ? kFixedOne / rows : 0);
    UvTransformInit(&move, columns ? Wrap(int64_t{column} * kFixedOne / columns) : 0,
                    rows ? Wrap(int64_t{row} * kFixedOne / rows) : 0);
    Multiply(&s.uv, scale, move);
  }
}

bool SaveTexAnimStates(int32_t n, FileObject* file, const TexAnimState* states) {
  for (int32_t i = 0; i < n && states; ++i) {
    const TexAnimState& s = states[i];
    const int32_t words[25] = {s.anim,        s.cycleStart,  s.spinStart,     static_cast<int32_t>(s.flags),
                               s.elapsedFrames, s.reinitTime, s.movieStarted,  s.uvStart[0],
                               s.uvStart[1],  s.uvEnd[0],    s.uvEnd[1],      s.period,
                               s.spinCentre[0], s.spinCentre[1], s.spinPeriod, s.frame,
                               s.uv.row0[0],  s.uv.row0[1],  s.uv.row0[2],    s.uv.row1[0],
                               s.uv.row1[1],  s.uv.row1[2],  s.uv.row2[0],    s.uv.row2[1],
                               s.uv.row2[2]};
    unsigned char record[kTexAnimRecordBytes];
    for (int w = 0; w < 25; ++w) StoreBE32(record + 4 * w, static_cast<uint32_t>(words[w]));
    if (FileWriteBytes(file, record, sizeof record) != sizeof record) return false;
    if (!(s.flags & kTexAnimImmediate)) continue;
    const char* name = s.anim == 0 ? nullptr : TextureNameOf(static_cast<int32_t>(-static_cast<int64_t>(s.anim)));
    const size_t length = name ? std::strlen(name) : 0;
    // One length byte cannot hold a longer name; writing it cut short would load another texture.
    if (length > kMaxNameBytes) return false;
    const unsigned char lengthByte = static_cast<unsigned char>(length);
    if (FileWriteBytes(file, &lengthByte, 1) != 1) return false;
    if (length && FileWriteBytes(file, name, length) != length) return false;
  }
  return true;
}

TexAnimState* LoadTexAnimStates(int32_t n, FileObject* file) {
  if (n < 1) return nullptr;
  const size_t bytes = sizeof(TexAnimState) * static_cast<size_t>(n);
  auto* states = static_cast<TexAnimState*>(AllocRetry(bytes, kAnimMemFlags));
  if (!states) return nullptr;
  std::memset(states, 0, bytes);
  for (int32_t i = 0; i < n; ++i) {
    unsigned char record[kTexAnimRecordBytes];
    bool good = FileReadBytes(file, record, sizeof record) == sizeof record;
    int32_t w[25] = {};
    for (int k = 0; good && k < 25; ++k) w[k] = static_cast<int32_t>(LoadBE32(record + 4 * k));
    TexAnimState& s = states[i];
    s.anim = w[0], s.cycleStart = w[1], s.spinStart = w[2], s.flags = static_cast<uint32_t>(w[3]);
    s.elapsedFrames = w[4], s.reinitTime = w[5], s.movieStarted = w[6];
    s.uvStart[0] = w[7], s.uvStart[1] = w[8], s.uvEnd[0] = w[9], s.uvEnd[1] = w[10], s.period = w[11];
    s.spinCentre[0] = w[12], s.spinCentre[1] = w[13], s.spinPeriod = w[14], s.frame = w[15];
    std::memcpy(s.uv.row0, &w[16], 3 * sizeof(int32_t));
    std::memcpy(s.uv.row1, &w[19], 3 * sizeof(int32_t));
    std::memcpy(s.uv.row2, &w[22], 3 * sizeof(int32_t));
    if (good && (s.flags & kTexAnimImmediate)) {
      unsigned char length = 0;
      char name[kMaxNameBytes + 1] = {};
      good = FileReadBytes(file, &length, 1) == 1 && FileReadBytes(file, name, length) == length;
      if (good && length) s.anim = -static_cast<int32_t>(FindTextureByName(name, 0));
    } else if (good) {
      // A definition state needs its definition; the zeroed default (0) always loads.
      good = s.anim == 0 || (s.anim > 0 && s.anim < gTextureAnimationCount);
    }
    if (!good) {
      TexAnimFreeRecords(n, states);
      return nullptr;
    }
    TexAnimValue(&s);
  }
  return states;
}
