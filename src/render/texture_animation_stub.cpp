// The least form of the texture animations: states are created and freed (counted in the
// renderer's memory category) but never advanced, and movie strips are not placed. Called by the
// scene engine's instances.
#include "core/memory.h"
#include "render/texture_animation.h"

namespace {

constexpr uint32_t kRendererMemFlags = MemCategoryFlags(kMemCatMaterial);

}  // namespace

TexAnimState* TexAnimCreateRecords(int32_t n, const int32_t* ids, const int32_t* uvStarts, const int32_t* uvEnds,
                                   const int32_t* periods, const int32_t* centres, const int32_t* spinPeriods) {
  if (n < 1) return nullptr;
  auto* states = static_cast<TexAnimState*>(MemAlloc(sizeof(TexAnimState) * static_cast<size_t>(n), kRendererMemFlags));
  if (!states) return nullptr;
  for (int32_t i = 0; i < n; ++i) {
    TexAnimState& s = states[i];
    if (ids) {
      s.anim = ids[i];
      if (ids[i] < 0) s.flags |= kTexAnimImmediate;
    }
    if (uvStarts) s.uvStart[0] = uvStarts[2 * i], s.uvStart[1] = uvStarts[2 * i + 1];
    if (uvEnds) s.uvEnd[0] = uvEnds[2 * i], s.uvEnd[1] = uvEnds[2 * i + 1];
    if (periods) s.period = periods[i];
    if (centres) s.spinCentre[0] = centres[2 * i], s.spinCentre[1] = centres[2 * i + 1];
    if (spinPeriods) s.spinPeriod = spinPeriods[i];
    s.uv.row0[0] = s.uv.row1[1] = s.uv.row2[2] = 0x10000;
  }
  return states;
}

void TexAnimFreeRecords(int32_t n, TexAnimState* states) {
  if (!states || n < 1) return;
  MemFree(states, sizeof(TexAnimState) * static_cast<size_t>(n), kRendererMemFlags);
}

void InstTexAnimRecompute(int32_t, TexAnimState*, int32_t) {}
void InstTexAnimRebase(int32_t, TexAnimState*, int32_t, int32_t) {}
