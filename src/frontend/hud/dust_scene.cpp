// The space-dust scene: 512 stardust particles and one light made once, the larger dust parts
// made, hidden and recycled each frame as the sector's background type asks, and the dust camera
// kept inside the repeating dust cube with the dust stretched along the direction of flight.
// Called by the INS_ dust natives and the cockpit step; the scene and its camera belong to the
// scripts, which free them.
#include "frontend/hud/dust_scene.h"

#include <algorithm>
#include <cstdlib>

#include "core/fixed_math.h"
#include "core/memory.h"
#include "frontend/hud/gui_master.h"
#include "frontend/hud/hud_step.h"
#include "render/device_lights.h"
#include "scene/body_cache.h"
#include "scene/body_records.h"
#include "scene/camera_records.h"
#include "scene/engine_state.h"
#include "scene/instance.h"
#include "scene/instance_tree.h"
#include "scene/lights.h"
#include "scene/pass_gathering.h"
#include "scene/scene_records.h"
#include "universe/object_classes.h"
#include "universe/type_access.h"
#include "universe/universe.h"

namespace {

// Members made by InitDustScene carry the stardust mark; the light is one of them.
constexpr uint32_t kStardustMark = kInstStreak;
constexpr uint32_t kStardustFlags = kStardustMark | kInstFaceCamera;
constexpr uint32_t kDustLightFlags = kStardustMark | kInstPointLight | kInstFaceCamera;
constexpr uint32_t kDustPartFlag = kInstRollToView;
// The scene engine's mark on a wrapped member that has faded out of the dust cube.
constexpr uint32_t kFadedOut = 0x40000;
// The body flag a dust part's body gets.
constexpr uint32_t kBodyDustPart = 0x20;
// The wrap camera follows the motion with streaks.
constexpr uint32_t kDustCameraFlag = kCameraStreaks;

constexpr int kStardustCount = 512;
constexpr int kDustBodyIndex = 6;  // "environments/others/dust" among the menu bodies
constexpr int32_t kDustCube = 0x80000;
constexpr int32_t kDustCubeMask = kDustCube - 1;
constexpr int32_t kLightFirstParam = 0x10000;
constexpr int32_t kLightSecondParam = 0xA0000;
constexpr int32_t kDustLightRange = 1000000;
constexpr int32_t kRandRange = 32768;
constexpr int32_t kPartSizeFactor = 4;

// Stretch from 1.0 at this speed and below to the far factors at kStretchFullSpeed and above.
constexpr int32_t kStretchStartSpeed = 100;
constexpr int32_t kStretchFullSpeed = 100000;
constexpr int32_t kCrossFactorFull = 0x3333;   // 0.2
constexpr int32_t kAlongFactorFull = 0x140000;  // 20.0
constexpr int32_t kLeastStretchComponent = 100;

constexpr int kDustRateCount = kBackgroundPartCapacity;
constexpr int kLatticeRows = 16;
// Lattice points in 1/0x10000 of the cube side.
constexpr int32_t kLattice[kLatticeRows][3] = {
    {0, 0, 0},
    {0x8000, 0x8000, 0},
    {0x8000, 0, 0x8000},
    {0, 0x8000, 0x8000},
    {0x8000, 0x8000, 0x8000},
    {0, 0, 0x8000},
    {0, 0x8000, 0},
    {0x8000, 0, 0},
    {0x4000, 0x4000, 0x4000},
    {0xC000, 0xC000, 0x4000},
    {0xC000, 0x4000, 0xC000},
    {0x4000, 0xC000, 0xC000},
    {0xC000, 0xC000, 0xC000},
    {0x4000, 0x4000, 0xC000},
    {0x4000, 0xC000, 0x4000},
    {0xC000, 0x4000, 0x4000},
};

// Cumulative weights of the 8 dust bodies, each rate's share of 0x10000. A negative rate weighs
// nothing: it would make shares beyond one cube side and sums that no word holds.
struct DustShares {
  int64_t running[kDustRateCount];
  int64_t total;
};

DustShares MakeShares(const BackgroundType& type) {
  DustShares shares{};
  int64_t total = 0;
  for (int32_t rate : type.values8) total += rate > 0 ? rate : 0;
  int64_t sum = 0;
  for (int i = 0; i < kDustRateCount; ++i) {
    const int64_t rate = type.values8[i] > 0 ? type.values8[i] : 0;
    if (total > 0) sum += rate * 0x10000 / total;
    shares.running[i] = sum;
  }
  shares.total = sum;
  return shares;
}

// A dust body picked by weight; -1 when none can be had (no weights, a negative id, or a body
// that cannot be loaded).
int32_t DrawDustBody(const BackgroundType& type, const DustShares& shares) {
  const int64_t r = int64_t{GameRand()} * shares.total / 0x8000;
  for (int i = 0; i < kDustRateCount; ++i) {
    if (shares.running[i] <= r) continue;
    const int32_t id = type.dustParts[i];
    return IsBodyAvailable(id) ? id : -1;
  }
  return -1;
}

void PrepareDustPart(InstanceRecord* part, int32_t bodyId) {
  B3D_InstSetBody(part, bodyId);
  if (BodyRecord* body = B3D_FindBody(bodyId)) body->flags |= kBodyDustPart;
  B3D_InstSetSize(part, SaturateToInt32(int64_t{part->size} * kPartSizeFactor));
  part->flags |= kDustPartFlag;
  const int32_t degrees = GameRand() * 360 / kRandRange;
  B3D_InstSetRot(part, 0, 0, degrees * 65536 / 360);
}

void SetHidden(InstanceRecord* member, bool hidden) {
  member->flags = hidden ? (member->flags | kInstInvisible) : (member->flags & ~kInstInvisible);
}

// Shows the stardust and dust parts the type asks for, recycles faded parts and makes the missing
// ones on the lattice.
void UpdateDustMembers(SceneRecord* scene, const BackgroundType& type) {
  for (int k = 0; k < 3; ++k) scene->values[k] = type.values4[kBackgroundStardustFirst + k];
  const DustShares shares = MakeShares(type);
  const int64_t shownStardust = int64_t{type.values4[kBackgroundStardustDensity]} * kStardustCount / 100;
  const int32_t partCount = type.values7[kBackgroundDustInstances];

  int64_t stardust = 0;
  int32_t parts = 0;
  for (ListNode* node = ListFirst(&scene->members); node; node = ListNext(node)) {
    InstanceRecord* member = InstanceOfNode(node);
    if (member->flags & kStardustMark) {
      SetHidden(member, stardust++ >= shownStardust);
      continue;
    }
    const bool surplus = parts++ >= partCount;
    SetHidden(member, surplus);
    if (surplus || !(member->flags2 & kFadedOut)) continue;
    const int32_t bodyId = DrawDustBody(type, shares);
    if (bodyId < 0) continue;
    // The new body shows from the next frame on, faded as the old one was.
    const int32_t fade = member->alphaOverride;
    PrepareDustPart(member, bodyId);
    SetHidden(member, true);
    member->alphaOverride = fade;
  }

  // The body is drawn before the instance is made, so a type without dust bodies makes nothing.
  for (int32_t k = parts; k < partCount; ++k) {
    const int32_t bodyId = DrawDustBody(type, shares);
    if (bodyId < 0) continue;
    InstanceRecord* part = B3D_InstAlloc();
    if (!part) break;
    const int32_t* at = kLattice[k % kLatticeRows];
    B3D_InstSetPos(part, at[0] * 8, at[1] * 8, at[2] * 8);
    PrepareDustPart(part, bodyId);
    AddInstanceToScene(part, scene);
  }
}

// The dust camera moves as the sector camera does, inside one cube of the repeating dust.
void FollowSectorCamera(CameraRecord* dust, const CameraRecord* sector) {
  const FixedVector& v = sector->instance.velocity;
  dust->instance.velocity = v;
  dust->cameraFlags |= kDustCameraFlag;

  const uint64_t squares = static_cast<uint64_t>(int64_t{v.x} * v.x) + static_cast<uint64_t>(int64_t{v.y} * v.y) +
                           static_cast<uint64_t>(int64_t{v.z} * v.z);
  const uint32_t length = IntSqrt64(squares);
  const int32_t speed = length > INT32_MAX ? INT32_MAX : static_cast<int32_t>(length);
  const int32_t across = LinearInterpolate(speed, kStretchStartSpeed, kStretchFullSpeed, kFixedOne, kCrossFactorFull);
  dust->factors[0] = dust->factors[1] = across;
  dust->factors[2] = LinearInterpolate(speed, kStretchStartSpeed, kStretchFullSpeed, kFixedOne, kAlongFactorFull);

  const int64_t largest = std::max({std::llabs(v.x), std::llabs(v.y), std::llabs(v.z)});
  if (largest < kLeastStretchComponent) {
    MatrixSetIdentity(&dust->scaleOrientation);
  } else {
    uint32_t yaw = 0, pitch = 0;
    AnglesFromVector(&v, &yaw, &pitch);
    MatrixFromAngles(&dust->scaleOrientation, yaw, pitch, 0);
  }

  dust->instance.matrix = sector->instance.matrix;
  const FixedVector& at = sector->instance.position;
  B3D_InstSetPos(&dust->instance, at.x & kDustCubeMask, at.y & kDustCubeMask, at.z & kDustCubeMask);
}

}  // namespace

void InitDustScene(SceneRecord* scene) {
  if (!scene) return;
  if (InstanceRecord* light = B3D_LightAlloc()) {
    for (int16_t& word : light->lightColor) word = 0;
    light->flags |= kDustLightFlags;
    B3D_InstSetPos(light, 0, 0, 0);
    B3D_InstSetRot(light, 0, 0, 0);
    light->words31[0] = kLightFirstParam;
    light->words31[1] = kLightSecondParam;
    light->words31[2] = 0;
    light->lightRange = kDustLightRange;
    if (light->deviceLight) LightGetD3DLight(light);
    AddInstanceToScene(light, scene);
  }
  const int32_t dustBody = gGuiMaster ? gGuiMaster->menuBodies[kDustBodyIndex] : 0;
  for (int i = 0; i < kStardustCount; ++i) {
    InstanceRecord* particle = B3D_InstAlloc();
    if (!particle) continue;
    const auto x = static_cast<int32_t>(int64_t{GameRand()} * kDustCube / kRandRange);
    const auto y = static_cast<int32_t>(int64_t{GameRand()} * kDustCube / kRandRange);
    const auto z = static_cast<int32_t>(int64_t{GameRand()} * kDustCube / kRandRange);
    B3D_InstSetPos(particle, x, y, z);
    // A missing dust body is id 0: the particle stays without one.
    if (dustBody > 0) B3D_InstSetBody(particle, dustBody);
    particle->flags |= kStardustFlags;
    B3D_InstSetRot(particle, 0, 0, 0);
    AddInstanceToScene(particle, scene);
  }
  scene->values[0] = 255;
  scene->values[1] = 0;
  scene->values[2] = 0;
}

void UpdateDustScene(SpaceObject* sector, CameraRecord* dustCamera, CameraRecord* sectorCamera) {
  if (!dustCamera || !sectorCamera) return;
  const BackgroundType* type = SectorBackground(sector);
  if (type && dustCamera->instance.scene) UpdateDustMembers(dustCamera->instance.scene, *type);
  FollowSectorCamera(dustCamera, sectorCamera);
}
