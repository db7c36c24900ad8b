// The universe guard and the deferred free of objects that scripts release. While a frame step,
// a release pass or a script command runs, somebody may hold pointers into the object lists, so
// an object freed by a script is only marked, made unreachable by id and queued; the queue is
// emptied when the outermost guard ends. Called by the frame step, the command dispatcher, the
// game loop and the object-life commands.
#pragma once

#include <cstdint>

struct SpaceObject;

void UniverseGuardEnter();
// Ends one hold; the outermost end frees every queued object (itself under the guard).
void UniverseGuardLeave();
int32_t UniverseGuardDepth();

// Frees the object at once when no guard is held; otherwise marks it removed, drops what refers
// to it, takes its id out of the id hash and queues it. An object already queued stays queued once,
// and one whose resources are being released meanwhile is left to that release.
void FreeObjectForScript(SpaceObject* object);
int32_t QueuedObjectCount();
bool ObjectIsQueuedForFree(const SpaceObject* object);
// Takes an object whose resources are released by other means out of the queue.
void DropQueuedObject(SpaceObject* object);

// Holds the guard for a scope.
struct UniverseGuardScope {
  UniverseGuardScope() { UniverseGuardEnter(); }
  ~UniverseGuardScope() { UniverseGuardLeave(); }
  UniverseGuardScope(const UniverseGuardScope&) = delete;
  UniverseGuardScope& operator=(const UniverseGuardScope&) = delete;
};
