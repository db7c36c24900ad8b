// The placement, player and docking commands of the `SA_` module (267, 268, 271 to 274, 276, 282,
// 287, 315 to 317, 319 to 331, 335, 336, 340 to 346, 366, 368): distances from a ship's
// components, the object's instance and ring side, placing and turning objects from script pose
// arrays (a position of 3, a pose of 6 with angles, of 9 with a forward direction) and converting
// poses between frames, the player's landing, camera objects, ship speed limits, factory
// connections, carriers that release ships, and the dock ports of stations and carriers. The
// dispatcher calls them through the family rows below; all answer at once except a carrier's
// decoupling, which may leave the task waiting on the carrier.
//
// Pose arrays come from scripts unchecked: a missing element reads 0, and an argument that is no
// array makes the command do nothing and answer its failure value. Arrays the script passes in
// to be filled are written element by element and never grow, so a short one keeps fewer values.
#include <cstdint>

#include "core/fixed_math.h"
#include "scene/camera_records.h"
#include "scene/engine_state.h"
#include "scene/instance_records.h"
#include "script/containers.h"
#include "script/tasks.h"
#include "simulation/commands/sa_call.h"
#include "simulation/order_modes.h"
#include "simulation/simulation_services.h"
#include "universe/dock_ports.h"
#include "universe/dock_slot_placement.h"
#include "universe/factory_connections.h"
#include "universe/object_detail.h"
#include "universe/object_math.h"
#include "universe/object_placement.h"
#include "universe/object_queries.h"
#include "universe/object_spawns.h"
#include "universe/universe.h"
#include "universe/universe_registry.h"

namespace {

constexpr uint32_t kObjFlagPlayerControl = 1u << 18;
// Ship components a script may measure from: 0 to 6.
constexpr uint32_t kLastComponent = 6;
// How long a landing may take before the order gives up on a ship that never came near.
constexpr uint32_t kPlayerLandMs = 60000;
// A dock port in front of the player's view (cosine at least 0.8) counts as ten times nearer.
constexpr int32_t kViewConeCosine = 52428;
constexpr int32_t kViewConeBonus = 10;

template <typename Ext>
Ext* ExtOfClass(SpaceObject* o, uint16_t objClass) {
  return o && o->objClass == objClass ? static_cast<Ext*>(o->ext) : nullptr;
}

int32_t WrapAddInt(int32_t a, int32_t b) { return static_cast<int32_t>(static_cast<uint32_t>(a) + static_cast<uint32_t>(b)); }

// ---- Distances and the object's instance ------------------------------------------------------

// Components are compared without sign, so a negative one is out of range too.
template <auto Measure>
void ComponentDistance(SACall* call) {
  const SpaceObject* ship = SAArgObject(call, 0);
  const auto component = static_cast<uint32_t>(SAArgInt(call, 1));
  const SpaceObject* other = SAArgObject(call, 2);
  if (!ship || component > kLastComponent) return SAAnswerInt(call, 0);
  SAAnswerInt(call, Measure(static_cast<int32_t>(component), ship, other));
}

void GetInst3D(SACall* call) {
  const SpaceObject* object = SAArgObject(call, 0);
  SAAnswerInt(call, object && object->instance ? static_cast<int32_t>(object->instance->handle) : 0);
}

void CheckRing(SACall* call) { SAAnswerInt(call, ObjFrontOrBack(SAArgObject(call, 0), SAArgObject(call, 1))); }

// The angles are taken from the matrix and the matrix is rebuilt from them, so the two agree
// again after the matrix drifted.
void RecalculateRot(SACall* call) {
  SpaceObject* object = SAArgObject(call, 0);
  if (object && object->instance) {
    FixedMatrix& m = object->instance->matrix;
    MatrixToAngles(&m, &object->angles[0], &object->angles[1], &object->angles[2]);
    MatrixFromAngles(&m, static_cast<uint32_t>(object->angles[0]), static_cast<uint32_t>(object->angles[1]),
                     static_cast<uint32_t>(object->angles[2]));
  }
  SAAnswerInt(call, 0);
}

// ---- The player -------------------------------------------------------------------------------

// A container starts a landing watch on it; none (or an id without object) ends any landing.
void SetPlayerLand(SACall* call) {
  SpaceObject* ship = SAArgObject(call, 0);
  ShipExt* ext = ShipExtOrNull(ship);
  if (!ext) return SAAnswerInt(call, 0);
  SpaceObject* container = SAArgObject(call, 1);
  const uint32_t now = SimulationNow();
  if (container) {
    ShipSetOrderMode(ship, OM_PLAYER_LAND);
    ext->commandObject = container;
    ext->thinkDue = now + kPlayerLandMs;
    ext->dockSlot = SAArgInt(call, 2);
  } else {
    ShipSetOrderMode(ship, OM_NONE);
    ext->commandObject = nullptr;
    ext->thinkDue = now;
    ext->dockSlot = -1;
  }
  SAAnswerInt(call, 0);
}

// A ship under the player's control is measured as the crow flies, others by the largest axis.
void IsInApproach(SACall* call) {
  SpaceObject* ship = SAArgObject(call, 0);
  SpaceObject* container = SAArgObject(call, 1);
  if (!ship || !container) return SAAnswerInt(call, 0);
  const int32_t d = (ship->flags & kObjFlagPlayerControl) ? ObjectDistance(ship, container)
                                                           : ObjectMaxNormDistance(ship, container);
  SAAnswerInt(call, ObjDockingProximity(ship, container, d));
}

void LandAllObjectsInHangar(SACall* call) {
  if (SpaceObject* container = SAArgObject(call, 0)) ContainerEndShipApproaches(container);
  SAAnswerInt(call, 0);
}

void IsSafePos(SACall* call) {
  const SpaceObject* object = SAArgObject(call, 0);
  const bool free = object && SectorIsPlaceFree(object, SAArgInt(call, 1), SAArgInt(call, 2), SAArgInt(call, 3),
                                                SAArgInt(call, 4));
  SAAnswerInt(call, free ? 1 : 0);
}

void SetFlightMode(SACall* call) {
  SpaceObject* ship = SAArgObject(call, 0);
  if (ShipExtOrNull(ship)) ShipSelectViewpoint(ship, SAArgInt(call, 1), SAArgInt(call, 2) != 0, false);
  SAAnswerInt(call, 0);
}

// ---- Cameras, destinations and speed limits ---------------------------------------------------

template <int kWord>
void SetCameraWord(SACall* call) {
  if (auto* camera = ExtOfClass<CameraExt>(SAArgObject(call, 0), kClassCamera)) {
    camera->words[kWord] = static_cast<uint32_t>(SAArgInt(call, 1));
  }
  SAAnswerInt(call, 0);
}

void GetDesiredDistance(SACall* call) {
  const auto* camera = ExtOfClass<CameraExt>(SAArgObject(call, 0), kClassCamera);
  SAAnswerInt(call, camera ? static_cast<int32_t>(camera->words[kCameraKeepDistanceWord]) : 0);
}

// An unknown handle leaves the camera object without an engine camera.
void SetCameraB3DCamera(SACall* call) {
  if (auto* camera = ExtOfClass<CameraExt>(SAArgObject(call, 0), kClassCamera)) {
    CameraRecord* engineCamera = GetCameraByHandle(static_cast<uint32_t>(SAArgInt(call, 1)));
    camera->sceneInstance = engineCamera ? &engineCamera->instance : nullptr;
  }
  SAAnswerInt(call, 0);
}

void SetDestination(SACall* call) {
  SpaceObject* object = SAArgObject(call, 0);
  SpaceObject* target = SAArgObject(call, 1);
  if (object && object->ext) {
    switch (object->objClass) {
      case kClassCamera: static_cast<CameraExt*>(object->ext)->followedObject = target; break;
      case kClassMissile: static_cast<MissileExt*>(object->ext)->target = target; break;
      case kClassShip: static_cast<ShipExt*>(object->ext)->commandObject = target; break;
      default: break;
    }
  }
  SAAnswerInt(call, 0);
}

template <auto Field>
void SetShipWord(SACall* call) {
  if (ShipExt* ext = ShipExtOrNull(SAArgObject(call, 0))) ext->*Field = SAArgInt(call, 1);
  SAAnswerInt(call, 0);
}

// ---- Poses ------------------------------------------------------------------------------------

// The position of a pose array; false when the argument is no array.
bool ArgPosition(const SACall* call, int32_t i, FixedVector* out) {
  int32_t v[3];
  const bool ok = SAArgInts(call, i, v, 3);
  *out = {v[0], v[1], v[2], 0};
  return ok;
}

// Pose arrays of 9 (position, angles, forward direction); the placement is ObjSetPosition or
// ObjPlaceAtFreeSpot, then the object is turned by angles (a pose of 6) or along the direction.
enum class Placing { kExact, kFreeSpot };
enum class Turning { kAngles, kDirection };

template <Placing kPlacing, Turning kTurning>
void SetPose(SACall* call) {
  SpaceObject* object = SAArgObject(call, 0);
  int32_t pose[9];
  if (!object || !SAArgInts(call, 1, pose, kTurning == Turning::kAngles ? 6 : 9)) return SAAnswerInt(call, 0);
  if (kPlacing == Placing::kExact) {
    ObjSetPosition(object, pose[0], pose[1], pose[2]);
  } else {
    ObjPlaceAtFreeSpot(pose[0], pose[1], pose[2], object);
  }
  if (kTurning == Turning::kAngles) {
    ObjSetAngles(object, pose[3], pose[4], pose[5]);
  } else {
    ObjFaceDirection(object, pose[6], pose[7], pose[8]);
  }
  SAAnswerInt(call, 0);
}

// Writes the object's pose into the script's own array: position and angles, and with a
// direction also the forward row of the instance matrix.
template <bool kWithDirection>
void GetPose(SACall* call) {
  const SpaceObject* object = SAArgObject(call, 0);
  ScriptValue* array = SAArgValue(call, 1);
  if (object && object->instance && array && array->type == kValueArray) {
    const InstanceRecord* inst = object->instance;
    const int32_t values[9] = {inst->position.x,  inst->position.y,  inst->position.z,
                               object->angles[0], object->angles[1], object->angles[2],
                               inst->matrix.m[2][0], inst->matrix.m[2][1], inst->matrix.m[2][2]};
    const int32_t count = kWithDirection ? 9 : 6;
    for (int32_t k = 0; k < count; ++k) ArrayWriteInt(array, k, values[k]);
  }
  SAAnswerInt(call, 0);
}

// base position + base rotation x local position, the rows of the rotation being the base's
// axes: a local offset becomes a world one.
FixedVector LocalToWorld(const int32_t base[6], const FixedVector& local, FixedMatrix* rotation) {
  MatrixFromAngles(rotation, static_cast<uint32_t>(base[3]), static_cast<uint32_t>(base[4]),
                   static_cast<uint32_t>(base[5]));
  FixedVector turned;
  MatrixMulVector(&turned, rotation, &local);
  return {WrapAddInt(base[0], turned.x), WrapAddInt(base[1], turned.y), WrapAddInt(base[2], turned.z), 0};
}

void TransformPosAndRot(SACall* call) {
  int32_t local[6], base[6];
  if (!SAArgInts(call, 0, local, 6) || !SAArgInts(call, 1, base, 6)) return SAAnswerInt(call, 0);
  FixedMatrix baseRotation, localRotation, world;
  const FixedVector position = LocalToWorld(base, {local[0], local[1], local[2], 0}, &baseRotation);
  MatrixFromAngles(&localRotation, static_cast<uint32_t>(local[3]), static_cast<uint32_t>(local[4]),
                   static_cast<uint32_t>(local[5]));
  // The local axes expressed in the base's frame, then taken to the world.
  MatrixMultiply(&world, &localRotation, &baseRotation);
  int32_t pose[6] = {position.x, position.y, position.z, 0, 0, 0};
  MatrixToAngles(&world, &pose[3], &pose[4], &pose[5]);
  SAAnswerIntArray(call, pose, 6);
}

void GetRelativePos(SACall* call) {
  int32_t base[6];
  FixedVector local;
  if (!SAArgInts(call, 0, base, 6) || !ArgPosition(call, 1, &local)) return SAAnswerInt(call, 0);
  FixedMatrix rotation;
  const FixedVector position = LocalToWorld(base, local, &rotation);
  const int32_t values[3] = {position.x, position.y, position.z};
  SAAnswerIntArray(call, values, 3);
}

void GetAbsPosRot(SACall* call) {
  const SpaceObject* object = SAArgObject(call, 0);
  if (!object || !object->instance) return SAAnswerInt(call, 0);
  const InstanceRecord* inst = object->instance;
  int32_t pose[6] = {inst->world.x, inst->world.y, inst->world.z, 0, 0, 0};
  MatrixToAngles(&inst->worldMatrix, &pose[3], &pose[4], &pose[5]);
  SAAnswerIntArray(call, pose, 6);
}

// ---- Factories and carriers -------------------------------------------------------------------

void CreateFactoryConnectionsCommand(SACall* call) {
  SpaceObject* base = SAArgObject(call, 0);
  if (!base) return SAAnswerInt(call, 0);
  ScriptValue result{};
  CreateFactoryConnections(base, SAArgValue(call, 1), &result);
  if (call->task) ReturnValue(call->task, call->engine, &result);
  ReleaseValue(&result);
}

// The break-up is asked for even without a carrier: the scripts still hear of every ship it
// would have released. Only a carrier whose cut runs keeps the task until it ends.
void DecoupleShips(SACall* call) {
  SpaceObject* carrier = SAArgObject(call, 0);
  const bool running = ObjDecoupleShip(carrier, SAArgInt(call, 1), SAArgInt(call, 2), SAArgInt(call, 3));
  if (carrier && running) return SAWaitOn(call, carrier);
  SAAnswerInt(call, 0);
}

// ---- Dock ports -------------------------------------------------------------------------------

void SetShipAtDockPort(SACall* call) {
  SpaceObject* carrier = SAArgObject(call, 0);
  if (!carrier) return SAAnswerInt(call, 0);
  SAAnswerInt(call, PlaceShipAtDockSlot(carrier, SAArgInt(call, 1), SAArgObject(call, 2),
                                        static_cast<uint32_t>(SAArgInt(call, 3))));
}

void StartDockPortAnim(SACall* call) {
  if (SpaceObject* object = SAArgObject(call, 0)) {
    ObjReserveDockSlot(SAArgInt(call, 1), object, SAArgInt(call, 2), SAArgInt(call, 3));
  }
  SAAnswerInt(call, 0);
}

void GetDockPortPosInst(SACall* call) {
  SpaceObject* object = SAArgObject(call, 0);
  const InstanceRecord* entry = object ? ObjPickEntryForGroup(object, SAArgInt(call, 1), SAArgInt(call, 2)) : nullptr;
  SAAnswerInt(call, entry ? static_cast<int32_t>(entry->handle) : 0);
}

void GetDockPortRendezvousPos(SACall* call) {
  SpaceObject* container = SAArgObject(call, 0);
  FixedVector at{};
  if (!container || !DockSlotApproach(SAArgInt(call, 1), container, SAArgObject(call, 2), -1, &at, 0, 0)) {
    return SAAnswerInt(call, 0);
  }
  const int32_t values[3] = {at.x, at.y, at.z};
  SAAnswerIntArray(call, values, 3);
}

// Where the player looks from and along, while the player's ship has a cockpit to look from.
struct Viewer {
  bool present;
  FixedVector position;
  FixedVector forward;
};

Viewer ViewerFor(const SpaceObject* ship) {
  Viewer viewer{};
  if (ship == GetPlayerObject() && gSimulationServices.currentCockpitViewer) {
    viewer.present = gSimulationServices.currentCockpitViewer(&viewer.position, &viewer.forward);
  }
  return viewer;
}

// The distance of a port from the ship, measured from its entry node, or from its approach
// point; false for a port the ship cannot use.
using PortDistance = bool (*)(SpaceObject* container, int32_t slot, SpaceObject* ship, const Viewer& viewer,
                              int32_t* d);

bool EntryDistance(SpaceObject* container, int32_t slot, SpaceObject* ship, const Viewer& viewer, int32_t* d) {
  const InstanceRecord* entry = ObjPickEntryForShipType(container, slot, ship->subtype);
  if (!entry) return false;
  const FixedVector at = InstancePositionOf(ship);
  *d = GetDistance(&entry->world, &at);
  if (viewer.present) {
    FixedVector toEntry = VecSub(entry->world, viewer.position);
    NormalizeVector(&toEntry);
    if (FixDot3(&toEntry, &viewer.forward) >= kViewConeCosine) *d /= kViewConeBonus;
  }
  return true;
}

bool ApproachDistance(SpaceObject* container, int32_t slot, SpaceObject* ship, const Viewer&, int32_t* d) {
  FixedVector point{};
  if (!DockSlotApproach(slot, container, ship, -1, &point, 0, 0)) return false;
  const FixedVector at = InstancePositionOf(ship);
  *d = GetDistance(&point, &at);
  return true;
}

// The slot of the array nearest to the ship; an earlier slot keeps a tie.
template <PortDistance Measure, bool kWeighView>
void FindNearestDockPort(SACall* call) {
  SpaceObject* container = SAArgObject(call, 0);
  ScriptValue* slots = SAArgValue(call, 1);
  SpaceObject* ship = SAArgObject(call, 2);
  if (!container || !ship || !slots || slots->type != kValueArray) return SAAnswerInt(call, -1);
  const Viewer viewer = kWeighView ? ViewerFor(ship) : Viewer{};
  int32_t best = -1;
  int32_t bestDistance = 0;
  const int32_t count = GetArraySize(slots);
  for (int32_t k = 0; k < count; ++k) {
    const ScriptValue* element = ArrayElementPtr(slots, k);
    const int32_t slot = element && ValueIsNumber(element) ? element->i : 0;
    int32_t d = 0;
    if (!Measure(container, slot, ship, viewer, &d)) continue;
    if (best < 0 || d < bestDistance) {
      best = slot;
      bestDistance = d;
    }
  }
  SAAnswerInt(call, best);
}

}  // namespace

extern const SACommandRow kPlacementCommands[36] = {
    {267, ComponentDistance<ShipComponentDistance>},
    {268, ComponentDistance<ShipComponentChebyshevDistance>},
    {271, GetInst3D},
    {272, CheckRing},
    {273, RecalculateRot},
    {274, SetPlayerLand},
    {276, IsInApproach},
    {282, LandAllObjectsInHangar},
    {287, IsSafePos},
    {315, SetCameraWord<kCameraKeepDistanceWord>},
    {316, GetDesiredDistance},
    {317, SetDestination},
    {319, SetCameraWord<kCameraConnectModeWord>},
    {320, SetCameraB3DCamera},
    {321, SetShipWord<&ShipExt::race10SpeedLimit>},
    {322, SetShipWord<&ShipExt::maxSpeedOverride>},
    {323, SetShipWord<&ShipExt::valueOverride>},
    {324, SetPose<Placing::kExact, Turning::kDirection>},
    {325, SetPose<Placing::kFreeSpot, Turning::kDirection>},
    {326, GetPose<true>},
    {327, SetPose<Placing::kExact, Turning::kAngles>},
    {328, SetPose<Placing::kFreeSpot, Turning::kAngles>},
    {329, GetPose<false>},
    {330, TransformPosAndRot},
    {331, GetRelativePos},
    {335, CreateFactoryConnectionsCommand},
    {336, DecoupleShips},
    {340, SetShipAtDockPort},
    {341, StartDockPortAnim},
    {342, GetDockPortPosInst},
    {343, GetDockPortRendezvousPos},
    {344, FindNearestDockPort<EntryDistance, true>},
    {345, FindNearestDockPort<ApproachDistance, false>},
    {346, SetShipWord<&ShipExt::dockSlot>},
    {366, GetAbsPosRot},
    {368, SetFlightMode},
};
