// The arithmetic of the HUD target marks and the target overlay icons: icon ids by standing, the
// bracket frames, the lead marker's length helper, the border point, frame size, fade and
// bar cells of the overlay icons, the category limits of the icon list and the flash timer.
// Called by the target overlay step and its tests; holds no state and never touches a scene.
#pragma once

#include <cstdint>

struct OverlayIcon;

// The standing a mark is coloured by.
enum class MarkStanding : int32_t { kNeutral = 0, kHostile = 1, kOwn = 2 };

// Slot roles of the 40 target marks.
constexpr int kMarkCrosshair = 0;
constexpr int kMarkLead = 3;
constexpr int kMarkTargetArrow0 = 8;
constexpr int kMarkTargetArrow1 = 9;
constexpr int kMarkTile0 = 26;
constexpr int kMarkBracketLeft = 29;
constexpr int kMarkBracketRight = 30;
constexpr int kMarkWarning = 31;
constexpr int kMarkDockingGuide = 32;
constexpr int kMarkTurret = 33;
constexpr int kMarkObjectArrow0 = 34;
constexpr int kMarkObjectArrow1 = 35;

// The crosshair's three forms.
enum class CrosshairForm : int32_t { kTurretless = 0, kApplication = 1, kPlain = 2 };
int32_t CrosshairIcon(CrosshairForm form, MarkStanding standing);
// Lead marker: 394.. out of range, 397.. in range.
int32_t LeadMarkerIcon(bool inRange, MarkStanding standing);
// The crosshair form of a cockpit: turret-less flight for the main view of a ship with flag bit
// 19, else the application's form while its flag is set, else the plain one.
CrosshairForm ChooseCrosshairForm(int32_t cockpitNumber, int32_t monitorNumber, uint32_t shipFlags,
                                  bool applicationFlag);
// The lead marker's icon from the firing-range answer (0 out of range, 1.. in range, 3 blinks
// while bit 1 of the HUD mask is set); advances the 16.16 blink phase by the frame time.
int32_t LeadMarkerStep(int32_t rangeAnswer, uint32_t hudMask, MarkStanding standing, int32_t frameMs,
                       uint32_t* blinkPhase);
int32_t BracketBase(MarkStanding standing);
int32_t TurretMarkIcon(MarkStanding standing);
// Direction arrow of the tracked target (497 when it is also the current sector object).
int32_t TargetArrowIcon(MarkStanding standing, bool isCurrentObject);
constexpr int32_t kObjectArrowIcon = 497;
constexpr int32_t kWarningAlertIcon = 392;
constexpr int32_t kWarningApproachIcon = 393;

// Bracket animation frame (0..4) while acquiring, e = ms since the start of the tracking.
int32_t AcquireBracketFrame(int64_t elapsedMs);

// Length of an integer 3-vector rounded to the nearest integer.
int32_t RoundedVectorLength(const int32_t v[3]);
// Scales v in place to `length`, each component truncated toward zero; a zero vector stays.
void ScaleVectorToLength(int32_t v[3], int32_t length);

// The warning mark's two-second cycle. `elapsedMs` is clock - start taken unsigned. Answers the
// icon (-1 hidden) and whether the cycle starts again (start = clock).
struct WarningMark {
  int32_t icon;
  bool restart;
};
WarningMark WarningMarkStep(bool alert, bool approach, uint32_t elapsedMs);

// Overlay icon list categories and their limits.
constexpr int kOverlayCategoryCount = 15;
constexpr int32_t kOverlayCategoryGlobalsBase = 102;
int32_t OverlayCategoryDefaultLimit(int category);
// The limit of a category, read from the Globals on the first call (and after a reload).
int32_t OverlayCategoryLimit(int category);
// Reads the limits from the Globals again (a new universe, or a test).
void ReloadOverlayCategoryLimits();
// Flash timer step of an object: starts at 1000 when `flashBit` is set and the timer is 0, else
// counts down by the frame time and stops at 0.
int32_t FlashTimerStep(int32_t timer, bool flashBit, int32_t frameMs);

// Drawing.
struct BorderPoint {
  int32_t x;
  int32_t y;
};
// Border point of the direction (dx, dy) on the rectangle of half sizes bw, bh, the side chosen
// by the view extents ax, ay.
BorderPoint OverlayBorderPoint(int32_t dx, int32_t dy, double ax, double ay, int32_t bw, int32_t bh);
// Direction of an aim point: (0, 65536) near the view axis, else (x, y) scaled to 65536.
BorderPoint OverlayDirection(int32_t x, int32_t y);
// Frame half size from the raw size d, kept within 10..70.
int32_t OverlayFrameHalfSize(int32_t d);
// Fade word from the range value (0 near, 255 falling to 80 far).
int32_t OverlayFade(int32_t rangeValue);
// Texture cell of a bar of `steps` pixels.
struct BarCellPos {
  int32_t x;
  int32_t y;
};
BarCellPos BarCell(int32_t steps, int32_t value, int32_t max, int32_t base);
// Border arrow icon by colour state s (0..3) and kind k (0..3).
int32_t OverlayEdgeIcon(int s, int k);
// Frame corner j (0..3): offset and icon for (s, k).
struct FrameCorner {
  int32_t dx;
  int32_t dy;
  int32_t icon;
};
FrameCorner OverlayFrameCorner(int j, int s, int k);
// Comparator of two overlay icons by edge angle: 1, -1 or 0.
int CompareIconAngle(const OverlayIcon* a, const OverlayIcon* b);
