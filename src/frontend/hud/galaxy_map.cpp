// The galaxy map's build, refresh and clear, and the layout cut's path lookups the map natives
// share. Called by the INS_ map natives. The map's tables hold instance handles: anything the
// scripts freed meanwhile (the scene, a model) is passed over, never freed again. Every sector
// state, gate target and path id from the scripts or the grid is checked before it picks a body.
#include "frontend/hud/galaxy_map.h"

#include <cstdio>

#include "core/fixed_math.h"
#include "core/memory.h"
#include "frontend/cockpit/cockpit.h"
#include "frontend/hud/gui_master.h"
#include "render/d3d_context.h"
#include "scene/body_cache.h"
#include "scene/camera_records.h"
#include "scene/cut_files.h"
#include "scene/engine_records.h"
#include "scene/engine_state.h"
#include "scene/instance.h"
#include "scene/instance_records.h"
#include "scene/instance_tree.h"
#include "scene/scene.h"
#include "scene/scene_records.h"
#include "scene/takes_jobs.h"
#include "script/script_calls.h"
#include "universe/galaxy_grid.h"

namespace {

constexpr int32_t kMapColumns = kGalaxyRows;  // the map's x
constexpr int32_t kMapRows = kGalaxyColumns;  // the map's y
constexpr int32_t kSectors = kGalaxyCells;
constexpr int32_t kScriptObject = 150;
constexpr int32_t kResultKindInt = 1;
constexpr char kLookBodyPattern[] = "effects/menugfx/galaxy_map_sector_%d";

struct MapTables {
  uint32_t sectors[kSectors];
  uint32_t second[kSectors];
  uint32_t gates[kSectors][kGalaxyMapGates];
  bool built;
};
MapTables gMap{};

int32_t Sector(int32_t x, int32_t y) { return x * kMapRows + y; }
bool OnGrid(int32_t x, int32_t y) { return x >= 0 && x < kMapColumns && y >= 0 && y < kMapRows; }

int32_t AskSectorState(int32_t x, int32_t y) {
  const int32_t args[] = {x, y};
  return AskMapScripts("GetMapSectorState", 2, args);
}
int32_t AskGateState(int32_t x, int32_t y, int32_t gate) {
  const int32_t args[] = {x, y, gate};
  return AskMapScripts("GetMapGateState", 3, args);
}
void TellSectorName(int32_t x, int32_t y, int32_t screenX, int32_t screenY) {
  CallScriptFunction(gCockpitModule, 0, kScriptObject, "WriteGalaxyMapSectorName", kResultKindInt, 4, x, y, screenX,
                     screenY);
}

int32_t LookBody(int32_t look) {
  char name[64];
  std::snprintf(name, sizeof name, kLookBodyPattern, look);
  return B3D_GetBodyID(name);
}

// A new map instance of the body, named, playing path `number` and a root of the scene; its
// handle, 0 when none could be made.
uint32_t MakeMapInstance(SceneRecord* scene, CutRecord* cut, int32_t number, int32_t body, const char* name) {
  InstanceRecord* instance = B3D_InstAlloc();
  if (!instance) return 0;
  instance->flags |= kGalaxyMapInstanceFlag;
  B3D_InstSetBody(instance, body);
  FreeString(instance->name);
  instance->name = DuplicateString(name);
  StartInstancePath(instance, cut, number);
  AddInstanceToScene(instance, scene);
  return instance->handle;
}

void BuildSector(SceneRecord* scene, CutRecord* cut, int32_t x, int32_t y) {
  const int32_t sector = Sector(x, y);
  gMap.second[sector] = 0;
  if (!gGalaxyMapScripts.sectorState || !gGalaxyMapScripts.sectorState(x, y)) return;
  char name[64];
  int32_t number = -1;
  if (FindCutPath(cut, GalaxySectorPathId(x, y), &number)) {
    std::snprintf(name, sizeof name, "Sector %d-%d", x, y);
    gMap.sectors[sector] = MakeMapInstance(scene, cut, number, LookBody(0), name);
  }
  if (!gGalaxyGrid) return;
  const GalaxyCell& cell = gGalaxyGrid->cells[sector];
  for (int32_t d = 0; d < kGalaxyMapGates; ++d) {
    if (!gGalaxyMapScripts.gateState || !gGalaxyMapScripts.gateState(x, y, d)) continue;
    const GalaxyGate& gate = cell.gates[d];
    if (gate.toSlot < 0) continue;
    const int32_t tx = static_cast<int8_t>(gate.toRow), ty = static_cast<int8_t>(gate.toColumn);
    if (!FindCutPath(cut, GalaxyGatePathId(x, y, tx, ty), &number)) continue;
    std::snprintf(name, sizeof name, "Connect %d-%d -> %d-%d", x, y, tx, ty);
    gMap.gates[sector][d] = MakeMapInstance(scene, cut, number, kGalaxyMapGateBody, name);
  }
}

// Half the camera's viewport in pixels of the display.
void HalfViewport(const CameraRecord* camera, int64_t* halfWidth, int64_t* halfHeight) {
  const DisplayModeRecord* mode = gEngine3D ? gEngine3D->screenMode : nullptr;
  const int64_t width = mode ? mode->width : 0, height = mode ? mode->height : 0;
  *halfWidth = ((int64_t{camera->viewRight} - camera->viewLeft) * width >> 16) / 2;
  *halfHeight = ((int64_t{camera->viewBottom} - camera->viewTop) * height >> 16) / 2;
}

// The screen point of a map point seen by the camera; false when it lies outside the camera's
// view cone.
bool ProjectMapPoint(const CameraRecord* camera, const FixedVector& point, int32_t* screenX, int32_t* screenY) {
  FixedVector eye{}, offset{}, local{};
  FixedMatrix frame{};
  GetInstanceAbsPos(&camera->instance, &eye);
  GetInstanceAbsMatrix(&camera->instance, &frame);
  SubVector(&offset, &eye, &point);
  MatrixTransposeMulVector(&local, &frame, &offset);
  const int64_t lx = local.x, ly = local.y, lz = local.z;
  if ((lx < 0 ? -lx : lx) >= lz || (ly < 0 ? -ly : ly) >= lz) return false;
  int64_t halfWidth = 0, halfHeight = 0;
  HalfViewport(camera, &halfWidth, &halfHeight);
  // Inside the cone |x| and |y| are below z, so the screen point stays within the viewport.
  *screenX = static_cast<int32_t>(halfWidth + lx * halfWidth / lz);
  *screenY = static_cast<int32_t>(halfHeight - ly * halfHeight / lz);
  return true;
}

const CameraRecord* FirstCamera(SceneRecord* scene) {
  ListNode* first = ListFirst(&scene->cameras);
  return first ? ListRecord<CameraRecord>(first) : nullptr;
}

// Announces the sector's label when its point lies inside the camera's view cone.
void AnnounceLabel(const CutRecord* cut, const CameraRecord* camera, InstanceRecord* model, int32_t x, int32_t y) {
  FixedVector point{};
  if (!PathMapPosition(FindCutPath(cut, GalaxyLabelPathId(x, y)), &point)) GetInstanceAbsPos(model, &point);
  int32_t screenX = 0, screenY = 0;
  if (!ProjectMapPoint(camera, point, &screenX, &screenY)) return;
  if (gGalaxyMapScripts.writeSectorName) gGalaxyMapScripts.writeSectorName(x, y, screenX, screenY);
}

void Refresh(SceneRecord* scene, const CutRecord* cut) {
  const CameraRecord* camera = FirstCamera(scene);
  for (int32_t x = 0; x < kMapColumns; ++x) {
    for (int32_t y = 0; y < kMapRows; ++y) {
      InstanceRecord* model = GalaxyMapSectorModel(x, y);
      if (!model) continue;
      const int32_t state = gGalaxyMapScripts.sectorState ? gGalaxyMapScripts.sectorState(x, y) : 0;
      // A state without a look leaves the model as it is, as state 0 does.
      if (state >= 1 && state <= kGalaxyMapLooks) B3D_InstSetBody(model, LookBody(state - 1));
      if (camera) AnnounceLabel(cut, camera, model, x, y);
    }
  }
}

void FreeHandle(uint32_t* handle) {
  if (InstanceRecord* instance = GetInstanceByHandle(*handle)) FreeInstance(instance);
  *handle = 0;
}

}  // namespace

GalaxyMapScripts gGalaxyMapScripts = {AskSectorState, AskGateState, TellSectorName};

const PathRecord* FindCutPath(const CutRecord* cut, int32_t id, int32_t* number) {
  if (number) *number = -1;
  if (!cut || !cut->paths) return nullptr;
  for (int32_t n = 0; n < cut->pathCount; ++n) {
    if (cut->paths[n].serial != id) continue;
    if (number) *number = n;
    return &cut->paths[n];
  }
  return nullptr;
}

bool PathMapPosition(const PathRecord* path, FixedVector* out) {
  if (!path || path->positions.count <= 0 || !path->positions.keys) return false;
  *out = path->positions.keys[0].position;
  return true;
}

int32_t AskMapScripts(const char* name, int32_t argCount, const int32_t* args) {
  if (!gGuiMaster) return 0;
  switch (argCount) {
    case 2: CallScriptFunctionRet(gCockpitModule, 0, kScriptObject, name, kResultKindInt, 2, args[0], args[1]); break;
    case 3:
      CallScriptFunctionRet(gCockpitModule, 0, kScriptObject, name, kResultKindInt, 3, args[0], args[1], args[2]);
      break;
    default: return 0;
  }
  const ScriptValue& answer = gGuiMaster->moduleResult;
  return answer.type == kValueInt ? answer.i : 0;
}

bool BuildGalaxyMap(SceneRecord* scene) {
  if (!scene) return false;
  CutRecord* cut = J3D_LoadCut(kGalaxyMapCut);
  if (!cut) return false;
  if (!gMap.built) {
    for (int32_t x = 0; x < kMapColumns; ++x)
      for (int32_t y = 0; y < kMapRows; ++y) BuildSector(scene, cut, x, y);
    gMap.built = true;
  }
  Refresh(scene, cut);
  return true;
}

void ClearGalaxyMap() {
  for (int32_t s = 0; s < kSectors; ++s) {
    FreeHandle(&gMap.sectors[s]);
    FreeHandle(&gMap.second[s]);
    for (uint32_t& gate : gMap.gates[s]) FreeHandle(&gate);
  }
  gMap.built = false;
}

bool GalaxyMapBuilt() { return gMap.built; }

bool GalaxyMapFindSector(SceneRecord* scene, int32_t screenX, int32_t screenY, int32_t* x, int32_t* y) {
  const CameraRecord* camera = scene && gMap.built ? FirstCamera(scene) : nullptr;
  if (!camera) return false;
  int64_t best = int64_t{kGalaxyMapPickRadius} * kGalaxyMapPickRadius + 1;
  for (int32_t column = 0; column < kMapColumns; ++column) {
    for (int32_t row = 0; row < kMapRows; ++row) {
      InstanceRecord* model = GalaxyMapSectorModel(column, row);
      FixedVector at{};
      int32_t sx = 0, sy = 0;
      if (!model) continue;
      GetInstanceAbsPos(model, &at);
      if (!ProjectMapPoint(camera, at, &sx, &sy)) continue;
      const int64_t dx = int64_t{sx} - screenX, dy = int64_t{sy} - screenY;
      // The first of equally near sectors is kept.
      if (dx * dx + dy * dy < best) {
        best = dx * dx + dy * dy;
        *x = column;
        *y = row;
      }
    }
  }
  return best <= int64_t{kGalaxyMapPickRadius} * kGalaxyMapPickRadius;
}

InstanceRecord* GalaxyMapSectorModel(int32_t x, int32_t y) {
  return OnGrid(x, y) ? GetInstanceByHandle(gMap.sectors[Sector(x, y)]) : nullptr;
}

InstanceRecord* GalaxyMapGateModel(int32_t x, int32_t y, int32_t gate) {
  if (!OnGrid(x, y) || gate < 0 || gate >= kGalaxyMapGates) return nullptr;
  return GetInstanceByHandle(gMap.gates[Sector(x, y)][gate]);
}
