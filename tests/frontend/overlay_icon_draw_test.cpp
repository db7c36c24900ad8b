// The overlay icons on screen: frame form for objects in view (half sizes kept in 10..70, corner
// and type icon placement), border form with its arrow for the rest (the point on the border, the
// near-axis direction), drawing order by border angle, fade by range, flash jitter, bars, the
// mission mark, the overlay scene's life and the picking of the icon under a screen point.
#include <cmath>
#include <set>

#include "core/memory.h"
#include "frontend/cockpit/cockpit_views.h"
#include "frontend/hud/target_marks.h"
#include "frontend/overlay_world.h"
#include "scene/instance.h"
#include "scene/instance_records.h"
#include "scene/scene_records.h"
#include "universe/object_queries.h"
#include "universe/universe_registry.h"

namespace {

class OverlayIconDrawTest : public OverlayWorld {
 protected:
  void SetUp() override {
    OverlayWorld::SetUp();
    cockpit_->flags = 3;
  }

  // Puts the objects into the cockpit's contact list with their range values.
  void Contacts(const std::vector<std::pair<SpaceObject*, int32_t>>& contacts) {
    CockpitArray& a = cockpit_->scannerObjects;
    MemFreeIfSet(a.begin);
    const size_t n = contacts.size();
    auto* items = static_cast<ScannerEntry*>(MemRealloc(nullptr, 0, (n ? n : 1) * sizeof(ScannerEntry), kMemUncounted));
    for (size_t i = 0; i < n; ++i) items[i] = ScannerEntry{contacts[i].first, contacts[i].second};
    a.begin = items;
    a.end = items + n;
    a.capacity = items + (n ? n : 1);
  }
  void Offer(SpaceObject* o, uint16_t value) {
    CockpitArray& a = cockpit_->missionOffers;
    MemFreeIfSet(a.begin);
    auto* items = static_cast<MissionOffer*>(MemRealloc(nullptr, 0, sizeof(MissionOffer), kMemUncounted));
    items[0] = MissionOffer{o, value};
    a.begin = items;
    a.end = a.capacity = items + 1;
  }
  void Build() { UpdateOverlayScene(&cockpit_->overlay); }
  OverlayIconList* List() const { return cockpit_->overlay.icons; }
  OverlayIcon* IconOf(const SpaceObject* o) const {
    for (int32_t i = 0; List() && i < List()->used; ++i)
      if (List()->begin[i]->object == o) return List()->begin[i];
    return nullptr;
  }
};

TEST_F(OverlayIconDrawTest, SlotIconsComeFromTheGuiIconSetAsScreenSpaceMarks) {
  CockpitSlot& slot = cockpit_->overlay.slots[5];
  ShowSlotIcon(386, 7, &slot, cockpit_->scene, 12, -34);
  ASSERT_NE(slot.instance->texAnims, nullptr);
  EXPECT_EQ(Window(slot).row2[0], 386);  // the icon's place in the set's texture
  EXPECT_EQ(Window(slot).row0[0], 20);   // and its width
  // The renderer draws an instance in pixels from the view's centre by its second flag word.
  EXPECT_NE(slot.instance->flags2 & kInst2ScreenSpace, 0u);
  EXPECT_EQ(X(slot), 12);
  EXPECT_EQ(Y(slot), -34);
  // The overlay icons' slots are screen-space marks that are never saved.
  OverlayIcon* icon = OverlayIconCreate();
  EXPECT_EQ(icon->large[0].instance->flags2 & (kInst2ScreenSpace | kInst2NotSaved), kInst2ScreenSpace | kInst2NotSaved);
  OverlayIconDestroy(icon);
}

TEST_F(OverlayIconDrawTest, FrameHalfSizeFollowsRadiusOverDepthWithinItsLimits) {
  struct Case {
    int32_t radius;
    int32_t half;
  };
  // 400 pixels a side at depth 4000: the raw half size is radius / 10.
  const Case kCases[] = {{400, 40}, {200, 25}, {50, 13}, {0, 10}, {1000, 70}, {700, 70}, {390, 39}};
  for (const Case& c : kCases) {
    SpaceObject* o = Seen(300 + static_cast<uint32_t>(&c - kCases), kClassShip, 0, 0, 4000);
    o->radius = c.radius;
    Contacts({{o, 1000}});
    Build();
    OverlayIcon* icon = IconOf(o);
    ASSERT_NE(icon, nullptr);
    // The corners stand at (-d, -d), (d, -d), (d, d), (-d, d) around the centre.
    EXPECT_EQ(X(icon->large[0]), -c.half) << c.radius;
    EXPECT_EQ(Y(icon->large[0]), -c.half) << c.radius;
    EXPECT_EQ(X(icon->large[2]), c.half) << c.radius;
    EXPECT_EQ(Y(icon->large[3]), c.half) << c.radius;
    EXPECT_EQ(Shown(icon->large[0]), 350) << c.radius;  // neutral, not tracked
    EXPECT_EQ(Shown(icon->large[1]), 351);
    EXPECT_EQ(Shown(icon->large[2]), 355);
    EXPECT_EQ(Shown(icon->large[3]), 354);
    for (const CockpitSlot& slot : icon->small) EXPECT_FALSE(slot.visible);
    EXPECT_NE(icon->large[0].instance->flags2 & kSlotScreenMark, 0u);
  }
}

TEST_F(OverlayIconDrawTest, ObjectsOutsideTheViewGetAnArrowOnTheBorder) {
  struct Case {
    int32_t x, y, z;
    int32_t edgeX, edgeY;
  };
  // bw = 400 - 21, bh = 300 - 21.
  const Case kCases[] = {
      {50, -50, 5000, 0, -279},    // near the axis: straight up, though in view
      {0, 0, -5000, 0, -279},      // behind and on the axis
      {5000, 0, 1000, 379, 0},     // far right
      {-5000, 0, 1000, -379, 0},   // far left
      {0, -9000, 1000, 0, 279},    // far below
      {3000, 3000, -100, 279, -279},  // behind, up and right: the corner's side by the extents
  };
  for (const Case& c : kCases) {
    SpaceObject* o = Seen(300 + static_cast<uint32_t>(&c - kCases), kClassShip, c.x, c.y, c.z);
    Contacts({{o, 1000}});
    Build();
    OverlayIcon* icon = IconOf(o);
    ASSERT_NE(icon, nullptr);
    EXPECT_EQ(icon->edgeX, c.edgeX) << (&c - kCases);
    EXPECT_EQ(icon->edgeY, c.edgeY) << (&c - kCases);
    const bool border = c.z <= 100 || std::abs(c.x) * 1.0 / c.z > 0.9 || std::abs(c.y) * 1.0 / c.z > 0.9 * 0.75;
    if (!border) continue;
    EXPECT_EQ(Shown(icon->small[0]), 346) << (&c - kCases);
    EXPECT_EQ(X(icon->small[0]), c.edgeX);
    EXPECT_EQ(Y(icon->small[0]), c.edgeY);
    EXPECT_EQ(Z(icon->small[0]), 120 + 100);
    EXPECT_EQ(Z(icon->small[1]), 120 + 90);
    for (const CockpitSlot& slot : icon->large) EXPECT_FALSE(slot.visible);
  }
}

TEST_F(OverlayIconDrawTest, IconsAreDrawnInAscendingBorderAngleEachLayerFurtherBack) {
  SpaceObject* up = Seen(300, kClassShip, 0, 9000, 1000);
  SpaceObject* right = Seen(301, kClassShip, 9000, 0, 1000);
  SpaceObject* down = Seen(302, kClassShip, 0, -9000, 1000);
  SpaceObject* left = Seen(303, kClassShip, -9000, 500, 1000);
  Contacts({{up, 10}, {right, 20}, {down, 30}, {left, 40}});
  Build();
  ASSERT_EQ(List()->used, 4);
  for (int32_t i = 1; i < 4; ++i) EXPECT_LE(List()->begin[i - 1]->edgeAngle, List()->begin[i]->edgeAngle);
  // atan2 of the border point: left-up (-pi), up (-pi/2), right (0), down (pi/2).
  EXPECT_EQ(List()->begin[0]->object, left);
  EXPECT_EQ(List()->begin[1]->object, up);
  EXPECT_EQ(List()->begin[2]->object, right);
  EXPECT_EQ(List()->begin[3]->object, down);
  for (int32_t i = 0; i < 4; ++i) EXPECT_EQ(Z(List()->begin[i]->small[0]), (i + 1) * 120 + 100);

  // The tracked target lies in front of all.
  cockpit_->trackObject = down;
  cockpit_->trackMode = kTrackObject;
  Build();
  EXPECT_EQ(Z(IconOf(down)->small[0]), 100);
  EXPECT_EQ(Shown(IconOf(down)->small[0]), 382);
}

TEST_F(OverlayIconDrawTest, FarObjectsFadeWithTheirRange) {
  struct Case {
    int32_t range;
    int32_t fade;
  };
  const Case kCases[] = {{1000, 0},        {10000000, 0},  {10000001, 255}, {15000000, 167},
                         {20000000, 80},   {90000000, 80}};
  for (const Case& c : kCases) {
    SpaceObject* o = Seen(300 + static_cast<uint32_t>(&c - kCases), kClassShip, 0, 0, 4000);
    o->radius = 400;
    Contacts({{o, c.range}});
    Build();
    OverlayIcon* icon = IconOf(o);
    ASSERT_NE(icon, nullptr);
    for (int j = 0; j < 4; ++j) EXPECT_EQ(icon->large[j].instance->fadeValue, c.fade) << c.range;
  }
  // The tracked target, the current object and stations never fade.
  SpaceObject* dock = Seen(400, kClassDock, 0, 0, 4000);
  SpaceObject* target = Seen(401, kClassShip, 0, 0, 4000);
  cockpit_->trackObject = target;
  Contacts({{dock, 30000000}, {target, 30000000}});
  Build();
  EXPECT_EQ(IconOf(dock)->large[0].instance->fadeValue, 0);
  EXPECT_EQ(IconOf(target)->large[0].instance->fadeValue, 0);
}

TEST_F(OverlayIconDrawTest, AFlashingIconMovesByAtMostOnePixel) {
  SpaceObject* o = Seen(300, kClassShip, 0, 0, 4000);
  o->radius = 400;
  o->flags2 = 1u << 19;
  Contacts({{o, 1000}});
  std::set<int32_t> xs, ys;
  for (int frame = 0; frame < 40; ++frame) {
    Build();
    OverlayIcon* icon = IconOf(o);
    ASSERT_NE(icon, nullptr);
    xs.insert(X(icon->large[0]) + 40);
    ys.insert(Y(icon->large[0]) + 40);
  }
  EXPECT_GT(o->flashTimer, 0);
  EXPECT_EQ(*xs.begin() >= -1 && *xs.rbegin() <= 1, true);
  EXPECT_EQ(*ys.begin() >= -1 && *ys.rbegin() <= 1, true);
  EXPECT_GT(xs.size() + ys.size(), 2u);  // it does move
}

TEST_F(OverlayIconDrawTest, BarsShowShieldAndHullForShipsThatMatter) {
  ObjSetRelation(2, ship_, -1);
  SpaceObject* hostile = Seen(300, kClassShip, 0, 0, 4000, 2);
  SpaceObject* neutral = Seen(301, kClassShip, 0, 0, 4000, 3);
  hostile->radius = neutral->radius = 400;
  hostile->hull = 500;  // above a maximum of 0: the cell stays at the bar's end
  hostile->flags |= 1u << 30;
  Contacts({{hostile, 1000}, {neutral, 2000}});
  Build();
  const OverlayIcon* h = IconOf(hostile);
  const OverlayIcon* n = IconOf(neutral);
  ASSERT_TRUE(h && n);
  EXPECT_TRUE(h->large[5].visible);
  EXPECT_TRUE(h->large[6].visible);
  EXPECT_FALSE(n->large[5].visible);
  // Bar length 2d + 7 = 87; the hull with a maximum of 0 is level 0: the first cell, row 4.
  EXPECT_EQ(Window(h->large[6]).row0[0], 87);
  EXPECT_EQ(Window(h->large[6]).row2[0], BarCell(87, 500, 0, 4).x);
  EXPECT_EQ(Window(h->large[6]).row2[1], 4);
  EXPECT_EQ(Y(h->large[5]), -40 - 9);
  EXPECT_EQ(Y(h->large[6]), -40 - 9 + 3);
  // With bars the type icon sits six pixels higher.
  EXPECT_EQ(Y(h->large[4]) + 6, Y(n->large[4]));
  EXPECT_EQ(X(h->large[4]), -40);
}

TEST_F(OverlayIconDrawTest, MissionMarkShowsTheOfferBesideTheTypeIcon) {
  SpaceObject* o = Seen(300, kClassShip, 0, 0, 4000);
  o->radius = 400;
  Offer(o, 2);
  Contacts({{o, 1000}});
  Build();
  const CockpitSlot& mark = IconOf(o)->large[7];
  ASSERT_TRUE(mark.visible);
  EXPECT_EQ(mark.bodyId, gGuiMaster->menuBodies[1]);
  EXPECT_EQ(Z(mark), Z(IconOf(o)->large[4]));
  EXPECT_EQ(MissionOfferValue(cockpit_, o), 2);
  EXPECT_EQ(MissionOfferValue(cockpit_, ship_), -1);
  // Without the mark in the panel table its width counts as 10: a frame of 10 keeps the mark.
  const int32_t y = Y(mark);
  o->radius = 0;
  Build();
  EXPECT_EQ(Y(IconOf(o)->large[7]), y + (40 - 10));
  EXPECT_EQ(IconOf(o)->large[7].instance->texAnims, nullptr);  // no panel table: no texture window
  // A frame narrower than the mark (30 pixels) takes the small mark, 3 pixels higher.
  std::vector<IconRecord> panel = {{86, 0, 1086, 0, 30, 12}, {91, 0, 1091, 0, 12, 12}};
  gEngine3D->iconTables[1] = IconSet{1, 65536, 65536, 2, panel.data()};
  o->radius = 200;  // half size 25
  Build();
  EXPECT_EQ(Window(IconOf(o)->large[7]).row2[0], 1091);
  EXPECT_EQ(Y(IconOf(o)->large[7]), y + (40 - 25) - 3);
  o->radius = 400;
  Build();
  EXPECT_EQ(Window(IconOf(o)->large[7]).row2[0], 1086);
  gEngine3D->iconTables[1] = IconSet{};
}

TEST_F(OverlayIconDrawTest, OverlaySceneIsMadeOnceAndFollowsTheCockpit) {
  SpaceObject* o = Seen(300, kClassShip, 0, 0, 4000);
  Contacts({{o, 1000}});
  cockpit_->monitorNumber = 1;
  Build();
  EXPECT_EQ(List(), nullptr);
  cockpit_->monitorNumber = 0;
  Build();
  ASSERT_NE(List(), nullptr);
  OverlayIconList* list = List();
  EXPECT_EQ(list->used, 1);
  EXPECT_EQ(list->camera->aspectWidth, 0x10000);
  EXPECT_EQ(list->camera->aspectHeight, 0xC000);
  EXPECT_EQ((list->scene->flags & kSceneEnabled) != 0, (cockpit_->scene->flags & kSceneEnabled) != 0);

  // The main camera's viewport moves: the overlay camera follows.
  cockpit_->camera->viewRight = 0x8000;
  Build();
  EXPECT_EQ(List(), list);
  EXPECT_EQ(list->camera->viewRight, 0x8000);

  // A sector that forbids the overlay, or flags without it, empty the list.
  auto* sector = static_cast<SectorObject*>(sector_);
  cockpit_->sectorSpace = sector;
  sector->flags2 |= 0x8000;
  Build();
  EXPECT_EQ(list->used, 0);
  sector->flags2 = 0;
  Build();
  EXPECT_EQ(list->used, 1);
  cockpit_->flags = 4;
  Build();
  EXPECT_EQ(list->used, 0);
  cockpit_->sectorSpace = nullptr;
}

TEST_F(OverlayIconDrawTest, WithoutViewExtentsNothingIsPlacedButTheListStays) {
  SpaceObject* o = Seen(300, kClassShip, 0, 0, 4000);
  Contacts({{o, 1000}});
  Build();
  ASSERT_TRUE(IconOf(o)->large[0].visible);
  for (auto size : {std::pair<int16_t, int16_t>{0, 600}, {800, 0}}) {
    gSystem->screenWidth = size.first;
    gSystem->screenHeight = size.second;
    Build();
    EXPECT_EQ(List()->used, 1);
    for (const CockpitSlot& slot : IconOf(o)->large) EXPECT_FALSE(slot.visible);
    EXPECT_EQ(INS_CockpitGetObjectByTargetOverlayIconPos(cockpit_, 400, 300), nullptr);
  }
  gSystem->screenWidth = 800;
  gSystem->screenHeight = 600;
  cockpit_->camera->aspectWidth = 0;  // and no display to fall back on
  Build();
  for (const CockpitSlot& slot : IconOf(o)->large) EXPECT_FALSE(slot.visible);
}

TEST_F(OverlayIconDrawTest, PickingFindsTheIconUnderThePoint) {
  SpaceObject* front = Seen(300, kClassShip, 0, 0, 4000);
  SpaceObject* aside = Seen(301, kClassShip, 2000, 0, 4000);  // 200 pixels right of the centre
  SpaceObject* behind = Seen(302, kClassShip, 0, 0, -4000);   // an arrow at the top border
  front->radius = aside->radius = 400;
  Contacts({{front, 1000}, {aside, 2000}, {behind, 3000}});
  Build();
  struct Case {
    int32_t x, y;  // screen pixels; the view's centre is (400, 300)
    SpaceObject* object;
  };
  const Case kCases[] = {
      {400, 300, front},  {440, 340, front},  {441, 300, nullptr}, {600, 300, aside},
      {560, 260, aside},  {400, 21, behind},  {410, 31, behind},   {400, 50, nullptr},
  };
  for (const Case& c : kCases)
    EXPECT_EQ(INS_CockpitGetObjectByTargetOverlayIconPos(cockpit_, c.x, c.y), c.object) << c.x << "," << c.y;

  int32_t menu[5] = {};
  ASSERT_TRUE(INS_CockpitGetMenuPosByTargetOverlayIconPos(cockpit_, 600, 300, menu));
  EXPECT_EQ(menu[0], 301);
  EXPECT_EQ(menu[1], 560);
  EXPECT_EQ(menu[2], 260);
  EXPECT_EQ(menu[3], 640);
  EXPECT_EQ(menu[4], 340);
  EXPECT_FALSE(INS_CockpitGetMenuPosByTargetOverlayIconPos(cockpit_, 5, 5, menu));

  // Where two icons overlap the tracked target's wins.
  SpaceObject* twin = Seen(303, kClassShip, 0, 0, 4000);
  twin->radius = 400;
  cockpit_->trackObject = twin;
  Contacts({{front, 1000}, {twin, 1000}});
  Build();
  EXPECT_EQ(INS_CockpitGetObjectByTargetOverlayIconPos(cockpit_, 400, 300), twin);

  // Through the native: the object id, or 0.
  EXPECT_EQ(Call(98, {static_cast<int32_t>(cockpit_->handle), 400, 300}), 303);
  EXPECT_EQ(Call(98, {static_cast<int32_t>(cockpit_->handle), 5, 5}), 0);
  EXPECT_EQ(Call(99, {static_cast<int32_t>(cockpit_->handle), 400, 300}), -1);
  EXPECT_EQ(ArrayAnswer(), (std::vector<int32_t>{303, 360, 260, 440, 340}));
}

TEST_F(OverlayIconDrawTest, TheCursorAimTakesThePickedIcon) {
  SpaceObject* o = Seen(300, kClassShip, 2000, 0, 4000);
  o->radius = 400;
  Contacts({{o, 1000}});
  Build();
  cockpit_->sectorSpace = sector_;
  EXPECT_EQ(INS_CockpitGetCursorAim(cockpit_, 600, 300, true), o);
  cockpit_->sectorSpace = nullptr;
}

}  // namespace
