// What the damage model and the sector motion pass call outside themselves, reached through one
// table: the scene engine's instance contact tests, the shot and threat tests, how far a ship is
// in docking, the object effects
// and the hangar placement of the universe model, and the cockpit, force-feedback and input
// services of the layers above the simulation, which the application registers at start-up (null:
// nothing happens, as while no cockpit or input device exists). Tests put recorders in the table.
// Read by damage.cpp, sector_motion.cpp, object_update.cpp, order_modes.cpp, turrets.cpp and the
// commands; never holds state of its own.
#pragma once

#include <cstdint>

#include "core/fixed_math.h"

struct InstanceRecord;
struct SpaceObject;

// The HUD's alert flag word and its pending alert level.
struct AlertWords {
  uint32_t* flags;
  int32_t* pending;
};

// The current cockpit as the turrets see it: the object it belongs to, the component it views
// (0 or more: a turret view), its view mode, its live view angles (yaw, pitch, roll), the view
// angles it keeps, and the flag that asks for those to be refreshed. Pointers may be null.
struct TurretCockpitView {
  const SpaceObject* refObject;
  int32_t cockpitNumber;
  uint32_t viewMode;
  int32_t* viewAngles;
  int32_t* storedViewAngles;
  uint32_t* refreshFlag;
};

struct SimulationServices {
  int32_t (*instCollideWith)(InstanceRecord* a, InstanceRecord* b, int32_t sizeA, int32_t sizeB);
  bool (*instCollide)(InstanceRecord* a, InstanceRecord* b, int32_t sizeA, int32_t sizeB);
  // Whether the mover, swept to the new position, touches the target.
  bool (*instSweepCollide)(InstanceRecord* mover, const FixedVector* newPosition, InstanceRecord* target, bool forced);
  SpaceObject* (*findShotTarget)(SpaceObject* shot);
  void (*recordCollisionThreat)(SpaceObject* ship, SpaceObject* obstacle, int32_t distance);
  int32_t (*dockingProximity)(SpaceObject* ship, SpaceObject* container, int32_t distance);
  void (*showCollisionEffect)(SpaceObject* object, SpaceObject* other);
  void (*playHitSound)(SpaceObject* object, SpaceObject* attacker);
  int32_t (*createObjectExplosion)(SpaceObject* object, SpaceObject* killer, int32_t flags);
  void (*playExplosionSound)(SpaceObject* object);
  void (*spawnScatteredObjects)(SpaceObject* bullet);
  void (*decoupleMissile)(SpaceObject* missile, int32_t cut);
  SpaceObject* (*launchMissile)(SpaceObject* ship, SpaceObject* target, int32_t turret, int32_t subtype,
                                uint32_t launchFlags, int32_t shotNo);
  // Starts the effects of an effect row on the object; true when one started.
  bool (*startObjectEffect)(int32_t kind, int32_t row, SpaceObject* object);
  // The layers above.
  void (*cockpitSetPercentDisplay)(int32_t value, const SpaceObject* object);
  // Whether a cockpit shows the object from inside (its first mode bit).
  bool (*cockpitShowsFromInside)(const SpaceObject* object);
  bool (*forceFeedbackPlay)(int32_t direction);
  // A bank sound without position (module and handle 0: no owner; a negative volume takes the
  // entry's).
  int32_t (*playSound)(int32_t module, int32_t handle, int32_t soundId, int32_t volume);
  // The HUD's alert words the incoming-missile alarm drives; both null while no HUD exists.
  AlertWords (*alertWords)();
  // The object the current cockpit view follows, or null.
  const SpaceObject* (*cockpitFollowedObject)();
  // A script set the player's desired speed: the throttle stops steering it until moved again.
  void (*playerDesiredSpeedSet)();
  // The target of the current cockpit when its reference object is the ship and it views this
  // turret; null otherwise.
  SpaceObject* (*cockpitTurretTarget)(const SpaceObject* ship, int32_t turret);
  // Cursor aiming of the current cockpit for the ship's turret: false when it does not apply
  // (switched off, another ship or turret); else true with the cockpit's target when the cursor
  // lies in its overlay, or the object under the cursor, or null.
  bool (*cockpitCursorTarget)(const SpaceObject* ship, int32_t turret, SpaceObject** target);
  // The cursor point unprojected at the given depth into world space; false without a camera.
  bool (*cockpitUnprojectCursor)(int32_t depth, FixedVector* out);
  // Puts a ship into a container's hangar (the universe's placement): its answer decides what the
  // hangar-start command tells its script.
  int32_t (*startInHangar)(SpaceObject* ship, SpaceObject* container, int32_t slot);
  // The current cockpit; false while there is none.
  bool (*currentCockpitView)(TurretCockpitView* out);
  // The viewer node of the current cockpit: its world position and forward axis (16.16); false
  // while there is no cockpit.
  bool (*currentCockpitViewer)(FixedVector* position, FixedVector* forward);
};

extern SimulationServices gSimulationServices;
// The real services below the simulation and none of the layers above.
SimulationServices DefaultSimulationServices();
