// The target overlay of a cockpit: its per-frame step (tracking and the 40 target-body marks), the
// overlay icon list with its placing and drawing, and the cores that the cockpit and overlay
// natives and the cursor aim call: switching the marks, the object and the menu position of the
// overlay icon under a screen point, and the walk of the tracking through the icons. Built in
// target_overlay.cpp (list and tracking), target_overlay_step.cpp (marks) and
// overlay_icon_draw.cpp (icons on screen).
#pragma once

#include <cstdint>

struct CockpitRecord;
struct OverlayIconList;
struct SpaceObject;
struct TargetOverlay;

// Off hides the 40 marks and clears the overlay's icons.
void EnableTargetBodies(TargetOverlay* overlay, int32_t on);
// Null when no icon lies under (x, y), pixels.
SpaceObject* INS_CockpitGetObjectByTargetOverlayIconPos(const CockpitRecord* cockpit, int32_t x, int32_t y);
// The menu position of the overlay icon under (x, y): five integers, the object's id and the
// icon's left, top, right and bottom in the point's pixels; false when no icon lies there.
bool INS_CockpitGetMenuPosByTargetOverlayIconPos(const CockpitRecord* cockpit, int32_t x, int32_t y,
                                                 int32_t menuPos[5]);
// Moves the tracking to the previous (direction below 1) or next icon; filter 1 takes hostile
// objects only, 2 those of race 10, anything else every object.
void TrackOverlayIcon(OverlayIconList* list, int32_t direction, int32_t filter);

// The overlay icon list's category (0..14) of a contact, or kOverlayNoIcon for an object that
// never gets an icon (a linked factory, a missile aimed at another object).
constexpr int32_t kOverlayNoIcon = -1;
int32_t OverlayIconCategory(const SpaceObject* object, const SpaceObject* ship);
// One contact of the cockpit's contact list: an object and the range value paired with it.
struct OverlayContact {
  SpaceObject* object;
  int32_t range;
};
// Rebuilds the icon records of the list from the contacts, in their order, each category up to
// its limit (the tracked target and the current object always get a record, beyond the limit
// with visible 0), and steps each listed object's flash timer. Icons past the new count are
// hidden. Answers the new count.
int32_t RebuildOverlayIconList(OverlayIconList* list, const OverlayContact* contacts, int32_t count, int32_t frameMs);

// The standing of the tracked target as the marks colour it.
struct TrackedTarget {
  SpaceObject* target;
  bool hostile;
  bool own;
  bool current;  // the target is the cockpit's current sector object
};
// True when the cockpit's marks run this frame: the overlay is enabled and the cockpit's ship is
// a ship directly inside a sector.
bool TargetOverlayRuns(const TargetOverlay* overlay);
// One frame of the cockpit's target tracking: the automatic search in the cursor and enemy modes
// (after a second, or when the clock went back), the lock after a second of acquiring, and the
// loss of a vanished target, after which the search runs again in the same frame.
TrackedTarget RunTargetTracking(CockpitRecord* cockpit);
// Raised with the ship's object id when the tracked target vanished. Tests replace it.
extern void (*gNotifyTargetLost)(uint32_t shipId);

// The per-frame step of one cockpit's target overlay: tracking, marks and icons.
void UpdateTargetOverlay(TargetOverlay* overlay);

// ---------------------------------------------------------------------------------------------
// Placing and drawing (target_overlay_step.cpp, overlay_icon_draw.cpp).

struct CockpitSlot;
struct InstanceRecord;

// Creates the cockpit's overlay icon list on first use (main monitor only), then rebuilds and
// draws it while the cockpit's flags ask for the overlay and the sector does not forbid it, else
// empties it.
void UpdateOverlayScene(TargetOverlay* overlay);
// Rebuilds the icon list from the cockpit's contact list and places every icon: a frame around
// an object in view, an arrow on the view's border for one outside it.
void BuildOverlayIcons(OverlayIconList* list);
// Shows icon0 and icon1 on two slots of the overlay scene with the gui_master body; a negative
// icon hides its slot.
void ShowIconPair(OverlayIconList* list, CockpitSlot* slots, int32_t icon0, int32_t icon1);
// The value the cockpit's mission offers pair with the object, -1 when it has none.
int32_t MissionOfferValue(const CockpitRecord* cockpit, const SpaceObject* object);

// The view the overlay maps onto: the projection extents (ax, ay), the half sizes in pixels and
// the view scale 1 / tan(half the field of view). False when an extent is 0 or less: nothing can
// be placed then.
struct OverlayView {
  double ax, ay;
  int32_t hw, hh;
  double v;
};
bool OverlayViewOf(const CockpitRecord* cockpit, OverlayView* view);

// The slot helpers of the marks: the slot's instance, made when it has none; its orientation set
// from the angles (0, 0, 0); its three position words (each only when it has an instance).
InstanceRecord* SlotInstance(CockpitSlot* slot);
void ResetSlotOrientation(CockpitSlot* slot);
void SetSlotPosition(CockpitSlot* slot, int32_t x, int32_t y, int32_t z);

// Marks besides the aim marks.
constexpr int kMarkHiddenFirst = 14;  // 14..16 are only ever hidden
constexpr int kMarkHiddenLast = 16;
constexpr int32_t kDockGuideTurnMs = 2000;
// The docking guide's turn about its axis at the clock, a 16-bit angle.
int32_t DockGuideAngle(uint32_t clock);

// A direction arrow pair toward the view-space point (x, y, z), e the half height of the arrows'
// rectangle of half width 5000: P (the projection onto depth 5000, or the rectangle's border point
// in the direction of (x, y)), the two arrows at P / 2 and P / 3 with their visibility, and the
// 16-bit angle of P / 2.
struct ArrowPlacement {
  int32_t px, py;
  bool showHalf, showThird;
  int32_t angle;
};
ArrowPlacement DirectionArrowPoint(int32_t x, int32_t y, int32_t z, int32_t e);
// A 16-bit angle of (x, y) from the arctangent of the smaller over the larger coordinate.
int32_t VectorAngle16(int32_t x, int32_t y);
