// The least form of the 3D scene engine's save section until it is built: an empty but
// well-formed "B3D " save section, and the collision fit buffers' release. Called by the save
// container and the shutdown; never loads a body.
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

void FreeCollisionFitBuffers() {}

int32_t SaveEngineState(FileObject* file) {
  return FileWriteBytes(file, "B3D ", 4) == 4 && FileWriteBytes(file, "/B3D", 4) == 4;
}

int32_t LoadEngineState(FileObject* file) { return ReadTag(file, "B3D ") && ReadTag(file, "/B3D"); }
