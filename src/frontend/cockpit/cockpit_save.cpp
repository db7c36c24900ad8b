// The "INS " save section: the GUI master's saved settings, then one "ICOC" block per cockpit
// with its target references, then "/INS". Called by the save container, which builds a fresh
// GUI master before reading. Writer and reader walk each record through one serialiser, so they
// always agree on the fields and their order. Reading never builds a cockpit before the bytes of
// its fixed part are there, never gives an engine record that a cockpit owns (its scene, main
// camera, lights and slot instances) to a second owner, and frees a cockpit whose block fails.
#include <cstring>
#include <string>
#include <unordered_set>

#include "core/byte_order.h"
#include "core/file_object.h"
#include "core/memory.h"
#include "frontend/cockpit/cockpit.h"
#include "frontend/cockpit/cockpit_slots.h"
#include "frontend/frontend.h"
#include "frontend/hud/gui_master.h"
#include "scene/camera_records.h"
#include "scene/engine_natives.h"
#include "scene/engine_state.h"
#include "scene/instance_records.h"
#include "scene/instance_tree.h"
#include "scene/scene_records.h"
#include "universe/universe.h"
#include "universe/universe_registry.h"

namespace {

constexpr char kSectionTag[] = "INS ";
constexpr char kSectionEndTag[] = "/INS";
constexpr char kCockpitTag[] = "ICOC";
constexpr char kCockpitEndTag[] = "/ICO";
constexpr size_t kTagSize = 4;
constexpr uint32_t kRecordVersion = 1;

// A record's bytes in memory: written there and then to the file in one piece, or read from the
// file whole and then taken apart, so a short file never leaves half a record behind.
struct Cursor {
  explicit Cursor(bool forReading) : reading(forReading) {}
  bool reading;
  std::string bytes;
  size_t pos = 0;
  bool ok = true;
  // Handles of the instances, cameras and scenes this read gave to a cockpit: each has one owner.
  std::unordered_set<uint32_t>* claimedInstances = nullptr;
  std::unordered_set<uint32_t>* claimedScenes = nullptr;
  uint32_t targetRefCount = 0;  // read from the fixed part; the entries follow it
};

void Put(Cursor* c, const unsigned char* data, size_t n) { c->bytes.append(reinterpret_cast<const char*>(data), n); }

bool Take(Cursor* c, unsigned char* data, size_t n) {
  if (!c->ok || c->bytes.size() - c->pos < n) return c->ok = false;
  std::memcpy(data, c->bytes.data() + c->pos, n);
  c->pos += n;
  return true;
}

uint32_t WordField(Cursor* c, uint32_t value) {
  unsigned char b[4];
  if (!c->reading) {
    StoreBE32(b, value);
    Put(c, b, 4);
    return value;
  }
  return Take(c, b, 4) ? LoadBE32(b) : 0;
}

uint16_t HalfField(Cursor* c, uint16_t value) {
  unsigned char b[2];
  if (!c->reading) {
    StoreBE16(b, value);
    Put(c, b, 2);
    return value;
  }
  return Take(c, b, 2) ? LoadBE16(b) : 0;
}

void U32(Cursor* c, uint32_t* field) { *field = WordField(c, *field); }
void U32(Cursor* c, int32_t* field) { *field = static_cast<int32_t>(WordField(c, static_cast<uint32_t>(*field))); }
void U32s(Cursor* c, int32_t* fields, int n) {
  for (int i = 0; i < n; ++i) U32(c, &fields[i]);
}
void U16(Cursor* c, uint16_t* field) { *field = HalfField(c, *field); }

// A flag as a 16-bit 0 or 1, read back as whether it is non-zero.
template <typename Flag>
void B16(Cursor* c, Flag* field) {
  const uint16_t word = HalfField(c, *field != 0 ? 1 : 0);
  if (c->reading) *field = word != 0 ? 1 : 0;
}

// Objects go by id; a read id that names nothing is no object.
void ObjectRef(Cursor* c, SpaceObject** field, bool sector) {
  const uint32_t id = WordField(c, *field ? (*field)->id : 0);
  if (!c->reading) return;
  if (id == 0) *field = nullptr;
  else *field = sector ? FindSectorById(id) : FindObjectByIdGlobal(id);
}

void SceneRef(Cursor* c, SceneRecord** field) {
  const uint32_t handle = WordField(c, *field ? (*field)->handle : 0);
  if (!c->reading) return;
  SceneRecord* scene = GetSceneByHandle(handle);
  if (scene && !c->claimedScenes->insert(handle).second) scene = nullptr;
  *field = scene;
}

void MarkHeld(InstanceRecord* instance) {
  if (instance) instance->flags2 |= kInst2LoadKeep80;
}

// An owned camera is freed with its cockpit, so a handle a second record claims reads as none.
void CameraRef(Cursor* c, CameraRecord** field, bool owned) {
  const uint32_t handle = WordField(c, *field ? (*field)->instance.handle : 0);
  if (!c->reading) return;
  CameraRecord* camera = GetCameraByHandle(handle);
  if (camera && owned && !c->claimedInstances->insert(handle).second) camera = nullptr;
  if (camera) MarkHeld(&camera->instance);
  *field = camera;
}

// A transient instance goes out as none. An owned instance replaces the one the cockpit's
// initialiser made, which nobody else knows and is freed here; a camera never stands in a slot.
void InstanceRef(Cursor* c, InstanceRecord** field, bool owned) {
  const InstanceRecord* current = *field;
  const uint32_t handle =
      WordField(c, current && !(current->flags2 & kInst2NotSaved) ? current->handle : 0);
  if (!c->reading) return;
  InstanceRecord* instance = GetInstanceByHandle(handle);
  if (instance && owned && ((instance->flags & kInstCamera) || !c->claimedInstances->insert(handle).second))
    instance = nullptr;
  MarkHeld(instance);
  if (owned && *field && *field != instance) FreeInstance(*field);
  *field = instance;
}

void SerializeCockpitTargetRef(Cursor* c, CockpitSlot* slot) {
  B16(c, &slot->visible);
  InstanceRef(c, &slot->instance, true);
  U32(c, &slot->bodyId);
  U32(c, &slot->extra);
}

// The GUI master's saved fields; the font is opened again by the reader.
void SerializeInstrumentRecord(Cursor* c, GuiMaster* master) {
  if (WordField(c, kRecordVersion) != kRecordVersion) c->ok = false;
  U32(c, &master->alertLevel);
  U32(c, &master->alertPending);
  U32(c, &master->timeWarpFactor);
  B16(c, &master->unitDisplay);
  U32(c, &master->activeControlCockpit);
  U32(c, &master->font);
  B16(c, &master->drawRadar);
  B16(c, &master->overlayBrackets);
  InstanceRef(c, &master->sidebarInstance, false);
  U32(c, &master->alertFlags);
  U32(c, &master->focus);
}

void SerializeCockpitState(Cursor* c, CockpitRecord* k) {
  if (WordField(c, kRecordVersion) != kRecordVersion) c->ok = false;
  U32(c, &k->handle);
  SceneRef(c, &k->scene);
  CameraRef(c, &k->camera, true);
  ObjectRef(c, &k->refObject, false);
  ObjectRef(c, &k->cockpitRefObject, false);
  for (InstanceRecord*& light : k->instances) InstanceRef(c, &light, true);
  ObjectRef(c, &k->sectorSpace, true);
  CameraRef(c, &k->sectorCamera, false);
  CameraRef(c, &k->galaxyCamera, false);
  CameraRef(c, &k->dustCamera, false);
  U32s(c, k->viewAngle, 3);
  U32s(c, k->viewAngleSpeed, 3);
  U32s(c, k->viewAngleTarget, 3);
  B16(c, &k->noDecay);
  for (auto& row : k->viewMatrix.m) U32s(c, row, 3);
  B16(c, &k->viewLocked);
  U32s(c, k->viewPos, 3);
  U32(c, &k->viewMode);
  U32s(c, k->viewCameraOffset, 3);
  U32(c, &k->viewConnectMode);
  U32(c, &k->viewStart);
  U32(c, &k->orbitAngle);
  U32(c, &k->orbitFlags);
  U32(c, &k->cockpitNumber);
  U32(c, &k->monitorNumber);
  ObjectRef(c, &k->trackObject, false);
  U16(c, &k->trackMode);
  B16(c, &k->trackFlag);
  U32(c, &k->trackStart);
  ObjectRef(c, &k->enemyObject, false);
  U16(c, &k->blinkHalf);
  U32(c, &k->blinkWord);
  U32(c, &k->shakeUntil);
  U32(c, &k->shakeStrength);
  U32(c, &k->shake2Until);
  // The radar mode takes the two bytes a flag would, holding its value, so mode 2 survives.
  const uint16_t radarMode = HalfField(c, static_cast<uint16_t>(k->radarMode));
  if (c->reading) k->radarMode = radarMode;
  U32(c, &k->radarRange);
  U32(c, &k->radarTarget);
  for (uint32_t& flag : k->threeFlags) B16(c, &flag);
  U16(c, &k->currentMissile);
  U16(c, &k->missileHalf);
  U32s(c, k->missileWords, 2);
  U32(c, &k->fieldOfView);
  B16(c, &k->draw2D);
  U32(c, &k->zoomFactor);
  U32(c, &k->zoomFrom);
  U32(c, &k->zoomTo);
  U32(c, &k->zoomStart);
  U32(c, &k->viewFlags);
  B16(c, &k->gridOn);
  SerializeCockpitTargetRef(c, &k->grid);
  // The entries are made by the block reader once their bytes are there.
  c->targetRefCount = WordField(c, k->targetRefCount);
  B16(c, &k->cockpitBodyOn);
  B16(c, &k->radarBodyOn);
  B16(c, &k->displayBodyOn);
  U32(c, &k->swayWord);
  U32s(c, k->shakeAngles, 3);
  U32s(c, k->viewOffsetVector, 3);
  U32s(c, k->prevRates, 3);
  U32(c, &k->prevSpeed);
  U32(c, &k->prevAccel);
  U32(c, &k->interiorCut);
  U32(c, &k->radar.word);
  B16(c, &k->radar.flag);
  for (CockpitSlot* slot : k->radar.refs) SerializeCockpitTargetRef(c, slot);
  B16(c, &k->cameraMessage.shown);
  SerializeCockpitTargetRef(c, &k->cameraMessage.slot);
  B16(c, &k->overlay.enabled);
  U32s(c, k->overlay.words, 5);
  for (CockpitSlot& slot : k->overlay.slots) SerializeCockpitTargetRef(c, &slot);
  if (c->reading) k->overlay.leadX = k->overlay.leadY = -1;
  B16(c, &k->elements.flag);
  for (CockpitSlot& slot : k->elements.slots) SerializeCockpitTargetRef(c, &slot);
  U32s(c, k->messages.words, 3);
  for (CockpitSlot& slot : k->messages.slots) SerializeCockpitTargetRef(c, &slot);
  U32s(c, k->navMap.words, 2);
  for (CockpitSlot& slot : k->navMap.slots) SerializeCockpitTargetRef(c, &slot);
}

// The byte size of a cockpit's fixed part, measured once by writing the fields of a new record.
size_t CockpitStateSize() {
  static const size_t size = [] {
    static CockpitRecord empty{};
    for (int i = 0; i < kRadarSlotCount; ++i) empty.radar.refs[i] = &empty.radar.slots[i];
    Cursor c(false);
    SerializeCockpitState(&c, &empty);
    return c.bytes.size();
  }();
  return size;
}

constexpr size_t kInstrumentRecordSize = 42;
constexpr size_t kTargetRefSize = 14;

bool WriteTag(FileObject* file, const char* tag) { return FileWriteBytes(file, tag, kTagSize) == kTagSize; }

bool ReadTag(FileObject* file, const char* tag) {
  char got[kTagSize];
  return FileReadBytes(file, got, kTagSize) == kTagSize && std::memcmp(got, tag, kTagSize) == 0;
}

// Appends n bytes of the file to the cursor; false when the file holds fewer.
bool ReadInto(FileObject* file, Cursor* c, size_t n) {
  const size_t at = c->bytes.size();
  c->bytes.resize(at + n);
  if (FileReadBytes(file, c->bytes.data() + at, n) == n) return true;
  c->bytes.resize(at);
  return false;
}

bool WriteCockpitRecord(FileObject* file, CockpitRecord* cockpit) {
  Cursor c(false);
  c.bytes.append(kCockpitTag, kTagSize);
  SerializeCockpitState(&c, cockpit);
  for (uint32_t i = 0; i < cockpit->targetRefCount; ++i) {
    CockpitSlot* slot = cockpit->targetRefs ? cockpit->targetRefs[i] : nullptr;
    WordField(&c, slot ? 1 : 0);
    if (slot) SerializeCockpitTargetRef(&c, slot);
  }
  c.bytes.append(kCockpitEndTag, kTagSize);
  return FileWriteBytes(file, c.bytes.data(), c.bytes.size()) == c.bytes.size();
}

// The target references as saved, up to "/ICO": every entry is in memory before the list is
// made, so its count cannot ask for more than the file holds.
bool ReadTargetRefBytes(FileObject* file, uint32_t count, Cursor* refs) {
  for (uint32_t i = 0; i < count; ++i) {
    if (!ReadInto(file, refs, 4)) return false;
    if (LoadBE32(reinterpret_cast<const unsigned char*>(refs->bytes.data()) + refs->bytes.size() - 4) != 0 &&
        !ReadInto(file, refs, kTargetRefSize)) {
      return false;
    }
  }
  return ReadTag(file, kCockpitEndTag);
}

bool MakeTargetRefs(Cursor* refs, CockpitRecord* cockpit, uint32_t count) {
  if (count == 0) return true;
  if (!AllocSlotRefs(cockpit, count)) return false;
  for (uint32_t i = 0; i < count; ++i) {
    if (WordField(refs, 0) == 0) continue;
    auto* slot = static_cast<CockpitSlot*>(MemCalloc(sizeof(CockpitSlot)));
    if (!slot) return false;
    CockpitSlotInit(slot);
    cockpit->targetRefs[i] = slot;
    SerializeCockpitTargetRef(refs, slot);
  }
  return refs->ok;
}

// What the initialiser made belongs to the new cockpit already: no reference may name it.
void ClaimOwnRecords(CockpitRecord* k, std::unordered_set<uint32_t>* instances, std::unordered_set<uint32_t>* scenes) {
  const auto claim = [instances](const InstanceRecord* instance) {
    if (instance) instances->insert(instance->handle);
  };
  claim(k->grid.instance);
  for (const CockpitSlot& slot : k->radar.slots) claim(slot.instance);
  claim(k->cameraMessage.slot.instance);
  for (const CockpitSlot& slot : k->overlay.slots) claim(slot.instance);
  for (const CockpitSlot& slot : k->elements.slots) claim(slot.instance);
  for (const CockpitSlot& slot : k->messages.slots) claim(slot.instance);
  for (const CockpitSlot& slot : k->navMap.slots) claim(slot.instance);
  claim(k->tooltip.instance);
  if (k->tooltip.camera) claim(&k->tooltip.camera->instance);
  if (k->tooltip.scene) scenes->insert(k->tooltip.scene->handle);
}

// One "ICOC" block into a new cockpit; null when the block is short or wrong (nothing is left).
CockpitRecord* ReadCockpitRecord(FileObject* file, std::unordered_set<uint32_t>* instances,
                                 std::unordered_set<uint32_t>* scenes) {
  Cursor state(true);
  if (!ReadTag(file, kCockpitTag) || !ReadInto(file, &state, CockpitStateSize())) return nullptr;
  auto* cockpit = static_cast<CockpitRecord*>(MemCalloc(sizeof(CockpitRecord)));
  if (!cockpit) return nullptr;
  CockpitInit(cockpit);
  ClaimOwnRecords(cockpit, instances, scenes);
  state.claimedInstances = instances;
  state.claimedScenes = scenes;
  SerializeCockpitState(&state, cockpit);
  Cursor refs(true);
  refs.claimedInstances = instances;
  refs.claimedScenes = scenes;
  const bool ok = state.ok && ReadTargetRefBytes(file, state.targetRefCount, &refs) &&
                  MakeTargetRefs(&refs, cockpit, state.targetRefCount);
  if (ok) return cockpit;
  DeleteCockpitSubRecord(cockpit, 1);
  return nullptr;
}

}  // namespace

bool WriteCockpitChunk(FileObject* file) {
  GuiMaster* master = gGuiMaster;
  if (!master) return false;
  Cursor head(false);
  head.bytes.append(kSectionTag, kTagSize);
  SerializeInstrumentRecord(&head, master);
  WordField(&head, HashCount(master->cockpits));
  if (FileWriteBytes(file, head.bytes.data(), head.bytes.size()) != head.bytes.size()) return false;
  const HashTable* table = master->cockpits;
  for (uint32_t key = HashNextKey(table, 0); key != 0; key = HashNextKey(table, key)) {
    auto* cockpit = reinterpret_cast<CockpitRecord*>(HashGet(table, key));
    if (!cockpit || !WriteCockpitRecord(file, cockpit)) return false;
  }
  return WriteTag(file, kSectionEndTag);
}

bool ReadCockpitChunk(FileObject* file) {
  GuiMaster* master = gGuiMaster;
  if (!master || !master->cockpits) return false;
  Cursor head(true);
  if (!ReadTag(file, kSectionTag) || !ReadInto(file, &head, kInstrumentRecordSize)) return false;
  // Taken apart on a copy: a record of another version leaves the master as it was.
  GuiMaster read = *master;
  SerializeInstrumentRecord(&head, &read);
  if (!head.ok) return false;
  *master = read;
  master->font = B3D_OpenFont(kHudFontName, kHudFontSize, kHudFontArgs[0], kHudFontArgs[1], kHudFontArgs[2]);
  uint32_t count = 0;
  {
    Cursor word(true);
    if (!ReadInto(file, &word, 4)) return false;
    count = WordField(&word, 0);
  }
  std::unordered_set<uint32_t> instances, scenes;
  for (uint32_t i = 0; i < count; ++i) {
    CockpitRecord* cockpit = ReadCockpitRecord(file, &instances, &scenes);
    if (!cockpit) return false;
    // A handle the table holds already would drop the earlier cockpit on the floor.
    if (cockpit->handle == 0 || HashLookup(master->cockpits, cockpit->handle) ||
        !HashInsert(master->cockpits, cockpit->handle, reinterpret_cast<HashValue>(cockpit))) {
      DeleteCockpitSubRecord(cockpit, 1);
      return false;
    }
  }
  return ReadTag(file, kSectionEndTag);
}
