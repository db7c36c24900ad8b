// The scene stretch's cut (see demo_engine_files.h): the take's camera circles the station at
// the scene's centre, looking at it all the way round, and a white flare light stands far off.
#include <cmath>

#include "engine_types/demo_engine_files.h"

namespace typetool {

namespace {

constexpr int32_t kOne = 0x10000;
// Path body ids with a meaning of their own: the take's camera, and a lens-flare light whose
// three decimal digits are its colour in ninths.
constexpr const char* kCameraBody = "-1";
constexpr const char* kWhiteFlareLight = "2999";

}  // namespace

CutContent DemoSceneCut() {
  CutContent cut;
  cut.version = 6;
  CutPathPlan camera;
  camera.serial = 1;
  camera.body = kCameraBody;
  camera.name = "orbit";
  camera.blockKind = 1;
  // Nine keys half a second apart, an eighth of a turn each: at angle t the camera stands at
  // (R sin t, h, -R cos t) and turns by t about the vertical, pitched down towards the centre.
  constexpr double kRadius = 2200, kHeight = 500;
  const int32_t pitch = -static_cast<int32_t>(std::lround(std::atan2(kHeight, kRadius) / (2 * M_PI) * kOne));
  std::vector<CutKey> keys;
  for (int k = 0; k <= 8; ++k) {
    const double t = 2 * M_PI * k / 8;
    keys.push_back({static_cast<int32_t>(std::lround(kRadius * std::sin(t))), static_cast<int32_t>(kHeight),
                    static_cast<int32_t>(std::lround(-kRadius * std::cos(t))),
                    {kOne / 8 * k, pitch, 0},
                    k < 8 ? 500 : 0});
  }
  camera.blocks = {keys};
  CutPathPlan flare;
  flare.serial = 2;
  flare.body = kWhiteFlareLight;
  flare.name = "sun";
  flare.blockKind = 1;
  flare.blocks = {{{1500, 1500, -8000, {0, 0, 0}, 4000}, {1500, 1500, -8000, {0, 0, 0}, 0}}};
  cut.paths = {camera, flare};
  return cut;
}

}  // namespace typetool
