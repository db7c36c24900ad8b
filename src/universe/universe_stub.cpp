// The least form of the universe model that the application core needs until the universe is
// built: an empty object list, effects with nothing in them, and an empty but
// well-formed universe save section. Called by the game main, the game loop, the
// save container and the shutdown; never creates an object.
#include "universe/universe.h"

#include "core/file_object.h"
#include "scene/instance_tree.h"
#include "universe/object_lifecycle.h"

UniverseBlock* gUniverse = nullptr;

namespace {

bool WriteEmptySection(FileObject* file, const char* tag, const char* endTag) {
  return FileWriteBytes(file, tag, 4) == 4 && FileWriteBytes(file, endTag, 4) == 4;
}

bool ReadTag(FileObject* file, const char* tag) {
  char got[4];
  return FileRead(file, got, 1, 4) == 4 && got[0] == tag[0] && got[1] == tag[1] && got[2] == tag[2] &&
         got[3] == tag[3];
}

}  // namespace

void ContainerFreeRemovedObjects(SpaceObject*) {}
void RebuildObjectTreeCollision(SpaceObject*) {}
void ApplyTypeSoundToObjectTree(SpaceObject*) {}


bool WriteSector(FileObject* file) { return WriteEmptySection(file, "SECT", "/SEC"); }
bool ReadUniverse(FileObject* file) { return ReadTag(file, "SECT") && ReadTag(file, "/SEC"); }
