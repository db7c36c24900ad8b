// The automatic quality control: once per frame, after the 3D frame, the quality level moves by
// steps of 5 toward what the measured frame rate allows. Frames are averaged in fours; six
// evaluations beyond a threshold in a row, or one beyond it by a fifth, make one step. Called by
// the game loop only.
#include "core/system_block.h"
#include "frontend/frontend.h"
#include "frontend/location.h"

QualityControl gQualityControl{};

namespace {

constexpr uint32_t kFullQuality = 100;
constexpr uint32_t kQualityStep = 5;
constexpr uint16_t kSamplesPerEvaluation = 3;
constexpr uint16_t kEvaluationsPerStep = 4;  // a counter above this makes the step
constexpr uint32_t kUnitSpeed = 0x10000;

}  // namespace

void AutoAdjustQuality() {
  SystemBlock* s = gSystem;
  if (!s) return;
  QualityControl& q = gQualityControl;
  double t = s->frameStep;
  if (s->timeScale > kUnitSpeed) t = static_cast<double>((static_cast<int64_t>(s->frameStep) * 65536) / s->timeScale);
  if (q.samples != 0) t = (t + q.runningFrameTime) * 0.5;
  q.runningFrameTime = t;
  if (!(s->d3dFlags & kD3DAutoQuality)) {
    s->qualityLevel = kFullQuality;
    return;
  }
  if (q.samples < kSamplesPerEvaluation) {
    ++q.samples;
    return;
  }
  q.samples = 0;
  // A frame step of 0 is an unmeasurably fast frame.
  const double fps = t > 0.0 ? 1000.0 / t : 1.0e9;
  const double upper = s->upperQualityFps;
  const double lower = s->lowerQualityFps;
  if (fps > upper) {
    q.lowers = 0;
    const uint16_t c = fps > 1.2 * upper ? kEvaluationsPerStep + 1 : q.raises;
    q.raises = static_cast<uint16_t>(c + 1);
    if (c > kEvaluationsPerStep && s->qualityLevel < kFullQuality) {
      s->qualityLevel = s->qualityLevel + kQualityStep > kFullQuality ? kFullQuality : s->qualityLevel + kQualityStep;
      q.raises = 0;
    }
  } else if (fps < lower) {
    q.raises = 0;
    const uint16_t c = fps < lower - lower * 0.2 ? kEvaluationsPerStep + 1 : q.lowers;
    q.lowers = static_cast<uint16_t>(c + 1);
    if (c > kEvaluationsPerStep && s->qualityLevel > 0) {
      s->qualityLevel = s->qualityLevel < kQualityStep ? 0 : s->qualityLevel - kQualityStep;
      q.lowers = 0;
    }
  }
}
