// The least form of the 3D scene engine's frame and save section until they are built: frames
// that draw nothing and an empty but well-formed "B3D " save section. Called by the game loop and
// the save container; never loads a body.
#include "scene/scene.h"

#include "render/material_table.h"
#include "render/render.h"
#include "render/texture_table.h"
#include "render/texture_animation.h"

#include "core/file_object.h"
#include "core/hash_table.h"
#include "core/memory.h"
#include "scene/cut_files.h"
#include "scene/engine_state.h"
#include "scene/engine_types.h"

namespace {

bool ReadTag(FileObject* file, const char* tag) {
  char got[4];
  return FileRead(file, got, 1, 4) == 4 && got[0] == tag[0] && got[1] == tag[1] && got[2] == tag[2] &&
         got[3] == tag[3];
}

}  // namespace

void UpdateEngine3DFrame() {
  // A frame opens with every texture the software drawing left locked given back to the device.
  TexturesUnlockAll();
}
void FreeCollisionFitBuffers() {}

int32_t SaveEngineState(FileObject* file) {
  return FileWriteBytes(file, "B3D ", 4) == 4 && FileWriteBytes(file, "/B3D", 4) == 4;
}

int32_t LoadEngineState(FileObject* file) { return ReadTag(file, "B3D ") && ReadTag(file, "/B3D"); }
