// A cockpit world for the target marks and the overlay icons: a ship in a sector seen from a
// cockpit on an 800 x 600 screen (a 4:3 view of extents 1.0 and 0.75, a right-angled field of
// view, so 400 and 300 pixels each side of the centre), a sector camera at the origin looking
// along +z, the gui_master icon set with every icon id 300..700 at texture x = its id (so a slot's
// texture window tells which icon it shows), and the HUD info the scripts answer held in `mask_`.
#pragma once

#include <string>
#include <vector>

#include "frontend/cockpit/cockpit_slots.h"
#include "frontend/cockpit_world.h"
#include "frontend/hud/hud_step.h"
#include "frontend/hud/object_symbols.h"
#include "frontend/hud/target_overlay.h"
#include "render/texture_animation.h"
#include "scene/camera_records.h"
#include "scene/engine_records.h"
#include "scene/scene_cameras.h"
#include "script/value.h"
#include "universe/object_classes.h"

class OverlayWorld : public CockpitWorld {
 protected:
  static constexpr int32_t kFirstIcon = 300;
  static constexpr int32_t kLastIcon = 700;

  void SetUp() override {
    CockpitWorld::SetUp();
    savedWidth_ = gSystem->screenWidth;
    savedHeight_ = gSystem->screenHeight;
    gSystem->screenWidth = 800;
    gSystem->screenHeight = 600;
    sector_ = Object(1, kClassSector);
    ship_ = Object(2, kClassShip, sector_);
    ship_->owner = 3;
    cockpit_ = NewCockpit();
    ASSERT_NE(cockpit_, nullptr);
    cockpit_->cockpitRefObject = ship_;
    cockpit_->flags = 1;
    cockpit_->monitorNumber = 0;  // the main monitor, which has the overlay icons
    cockpit_->fieldOfView = 16384;
    ASSERT_NE(cockpit_->camera, nullptr);
    cockpit_->camera->aspectWidth = 0x10000;
    cockpit_->camera->aspectHeight = 0xC000;
    camera_ = B3D_CameraAlloc();
    ASSERT_NE(camera_, nullptr);
    cockpit_->sectorCamera = camera_;
    for (int32_t id = kFirstIcon; id <= kLastIcon; ++id) icons_.push_back(IconRecord{id, 0, id, 0, 20, 20});
    UseIcons();
    savedOutputs_ = gHudOutputs;
    gHudOutputs.query = Answer;
    mask_ = 0;
    queries_ = 0;
    savedLost_ = gNotifyTargetLost;
    gNotifyTargetLost = Lost;
    lost_.clear();
  }

  void TearDown() override {
    gNotifyTargetLost = savedLost_;
    gHudOutputs = savedOutputs_;
    gEngine3D->iconTables[kGuiIconSet] = IconSet{};
    cockpit_->sectorCamera = nullptr;
    B3D_CameraFree(camera_);
    gSystem->screenWidth = savedWidth_;
    gSystem->screenHeight = savedHeight_;
    CockpitWorld::TearDown();
  }

  void UseIcons() {
    IconSet& set = gEngine3D->iconTables[kGuiIconSet];
    set.textureId = 1;
    set.textureWidth = 65536;
    set.textureHeight = 65536;
    set.iconCount = static_cast<int32_t>(icons_.size());
    set.icons = icons_.data();
  }
  // Gives icon `id` its own size.
  void SizeIcon(int32_t id, int32_t w, int32_t h) {
    icons_[static_cast<size_t>(id - kFirstIcon)].width = w;
    icons_[static_cast<size_t>(id - kFirstIcon)].height = h;
  }

  // The icon a slot shows, -1 while it is hidden.
  static int32_t Shown(const CockpitSlot& slot) {
    if (!slot.visible || !slot.instance || !slot.instance->texAnims) return -1;
    return slot.instance->texAnims[0].uv.row2[0];
  }
  static const UvTransform& Window(const CockpitSlot& slot) { return slot.instance->texAnims[0].uv; }
  static int32_t X(const CockpitSlot& slot) { return slot.instance->position.x; }
  static int32_t Y(const CockpitSlot& slot) { return slot.instance->position.y; }
  static int32_t Z(const CockpitSlot& slot) { return slot.instance->position.z; }

  // A ship of `owner` whose instance was last seen at (x, y, z) from the sector camera.
  SpaceObject* Seen(uint32_t id, uint16_t objClass, int32_t x, int32_t y, int32_t z, uint16_t owner = 3) {
    SpaceObject* o = Object(id, objClass, sector_, x, y, z);
    o->owner = owner;
    if (o->instance) o->instance->cameraPos = FixedVector{x, y, z, 0};
    return o;
  }

  static bool Answer(int32_t objectId, const char* name, int32_t, int32_t argCount, const int32_t*,
                     ScriptValue* answer) {
    if (std::string(name) != "GetHUDInfo") return false;
    ++queries_;
    EXPECT_EQ(objectId, 150);
    EXPECT_EQ(argCount, 1);
    SetValueInt(answer, mask_);
    return true;
  }
  static void Lost(uint32_t shipId) { lost_.push_back(shipId); }

  SpaceObject* sector_ = nullptr;
  SpaceObject* ship_ = nullptr;
  CockpitRecord* cockpit_ = nullptr;
  CameraRecord* camera_ = nullptr;
  std::vector<IconRecord> icons_;
  HudOutputs savedOutputs_{};
  void (*savedLost_)(uint32_t) = nullptr;
  int16_t savedWidth_ = 0, savedHeight_ = 0;
  static inline int32_t mask_ = 0;
  static inline int queries_ = 0;
  static inline std::vector<uint32_t> lost_;
};
