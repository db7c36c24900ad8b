// Object symbols drawn into textures: the symbol with its stem, dock mark and icon, the flags of
// an object's symbol, the heading arrow and the dotted ellipse. Called by the INS_ symbol natives,
// the radar and the navigation map. It leaves every bound check to the texture drawing layer
// (icons centred near an edge, the dot's right neighbour): it never touches pixels itself.
#include "frontend/hud/object_symbols.h"

#include <algorithm>

#include "core/fixed_math.h"
#include "core/system_block.h"
#include "frontend/cockpit/cockpit.h"
#include "frontend/hud/gui_master.h"
#include "frontend/hud/icon_types.h"
#include "scene/body_names.h"
#include "scene/engine_records.h"
#include "scene/engine_state.h"
#include "scene/texture_drawing.h"
#include "universe/type_access.h"
#include "universe/universe.h"

const char kGuiMasterTexture[] = "effects/menugfx/gui_master";

namespace {

// Icons of the stem and of the dock and factory marks.
constexpr int32_t kStemTileHighlighted = 464, kStemTileRace10 = 467, kStemTile = 461;
constexpr int32_t kStemFootHighlighted = 470, kStemFootRace10 = 471, kStemFoot = 469;
constexpr int32_t kMarkHighlighted = 529, kMarkOwnSteady = 528, kMarkOwn = 530;

// The stem leaves this many rows free above and below the symbol.
constexpr int32_t kStemGapBelow = 6, kStemGapAbove = 5;

constexpr uint32_t kWhite = 0xFFFFFFFF;
constexpr int32_t kClip = 1;

constexpr int32_t kDockClass = 5, kFactoryClass = 6, kShipClass = 7, kMissileClass = 10;
constexpr uint16_t kRace10 = 10;
constexpr int32_t kFlaggedMissileShipTypes[] = {271, 319, 320, 321};
constexpr uint32_t kBlinkPeriod = 2000, kBlinkOffUntil = 1000;

constexpr uint32_t Bit(int n) { return 1u << n; }

// Copies the icon from the gui_master texture with its top left at (x, y), `rows` rows of it.
void BlitIcon(int32_t source, int32_t texture, const IconRecord& icon, int32_t x, int32_t y, int32_t rows) {
  B3D_TexBltBlockAlpha(source, texture, icon.x, icon.y, x, y, icon.width, rows, kWhite, kClip);
}

// Centred on (x, y): script points and file sizes may be anything, so the corner saturates.
int32_t Corner(int32_t centre, int32_t size) { return SaturateToInt32(int64_t{centre} - size / 2); }

void BlitIconCentred(int32_t source, int32_t texture, const IconRecord& icon, int32_t x, int32_t y) {
  BlitIcon(source, texture, icon, Corner(x, icon.width), Corner(y, icon.height), icon.height);
}

// The rows the stem covers, first to last, cut to the texture; false when no row is left.
bool StemRows(int32_t groundY, int32_t y, int32_t height, int32_t* first, int32_t* last) {
  int64_t from = 0, to = 0;
  if (groundY >= int64_t{y} + kStemGapBelow) from = int64_t{y} + kStemGapBelow, to = groundY;
  else if (groundY < int64_t{y} - (kStemGapAbove - 1)) from = groundY, to = int64_t{y} - kStemGapAbove;
  else return false;
  if (from < 0) from = 0;
  if (to > int64_t{height} - 1) to = int64_t{height} - 1;
  if (to < from) return false;
  *first = static_cast<int32_t>(from);
  *last = static_cast<int32_t>(to);
  return true;
}

// Draws the stem; false when one of its icons is missing, which ends the whole symbol.
bool DrawStem(int32_t source, int32_t texture, int32_t x, int32_t groundY, int32_t first, int32_t last,
              uint32_t flags) {
  const bool highlighted = flags & kSymbolChoice2, race10 = flags & kSymbolRace10;
  const IconRecord* tile = B3D_GetIconData(
      kGuiIconSet, highlighted ? kStemTileHighlighted : race10 ? kStemTileRace10 : kStemTile);
  const IconRecord* foot = B3D_GetIconData(
      kGuiIconSet, highlighted ? kStemFootHighlighted : race10 ? kStemFootRace10 : kStemFoot);
  if (!tile || !foot) return false;
  // A tile of no height would never get down the stem.
  if (tile->height > 0) {
    for (int64_t row = first; row <= last; row += tile->height) {
      const int64_t rows = std::min<int64_t>(tile->height, last - row + 1);
      BlitIcon(source, texture, *tile, Corner(x, tile->width), static_cast<int32_t>(row), static_cast<int32_t>(rows));
    }
  }
  BlitIconCentred(source, texture, *foot, x, groundY);
  return true;
}

// The dock or factory mark's icon, 0 for none.
int32_t DockMark(int32_t objClass, uint32_t flags) {
  if ((flags & kSymbolNoDockMark) || (objClass != kDockClass && objClass != kFactoryClass)) return 0;
  const bool blink = flags & kSymbolBlink;
  if ((flags & kSymbolChoice2) || ((flags & kSymbolRace10) && (flags & kSymbolFlagBit26) && !blink))
    return kMarkHighlighted;
  if (!(flags & kSymbolRace10)) return 0;
  return (flags & kSymbolFlagBit15) && !blink ? kMarkOwnSteady : kMarkOwn;
}

bool IsFlaggedMissile(const SpaceObject* o) {
  if (!(o->flags & Bit(24))) return false;
  if (o->objClass == kMissileClass) return true;
  if (o->objClass != kShipClass) return false;
  for (int32_t type : kFlaggedMissileShipTypes)
    if (o->subtype == type) return true;
  return false;
}

bool IsActiveShip(const GuiMaster* master, const SpaceObject* o) {
  if (!master || (o->flags & Bit(1))) return false;
  const CockpitRecord* c = CockpitFromHandle(master, master->activeControlCockpit);
  return c && c->refObject == o;
}

// (a x b + 0x8000) >> 16 in 64 bits.
int32_t FixedRound(int64_t a, int64_t b) { return SaturateToInt32((a * b + 0x8000) >> 16); }

// Sets the dot and the pixel right of it.
void Dot(int32_t texture, int64_t x, int64_t y, uint32_t colour) {
  const int32_t px = SaturateToInt32(x), py = SaturateToInt32(y);
  TexSetPixel(texture, px, py, colour);
  TexSetPixel(texture, SaturateToInt32(int64_t{px} + 1), py, colour);
}

}  // namespace

void DrawSymbol(const GuiMaster* master, int32_t texture, int32_t objClass, int32_t subtype, int32_t x,
                int32_t groundY, int32_t y, uint32_t flags) {
  if (!master) return;
  const int32_t width = B3D_TexGetWidth(texture), height = B3D_TexGetHeight(texture);
  const int32_t iconId = GetObjectIconId(master->iconTypes, objClass, subtype, flags);
  const IconRecord* icon = B3D_GetIconData(kGuiIconSet, iconId);
  const int32_t source = B3D_GetTextureID(kGuiMasterTexture, 0);

  int32_t first = 0, last = 0;
  if ((flags & kSymbolStem) && x >= 0 && x < width && StemRows(groundY, y, height, &first, &last) &&
      !DrawStem(source, texture, x, groundY, first, last, flags))
    return;
  if (const int32_t mark = DockMark(objClass, flags)) {
    if (const IconRecord* m = B3D_GetIconData(kGuiIconSet, mark)) BlitIconCentred(source, texture, *m, x, y);
  }
  if (icon) BlitIconCentred(source, texture, *icon, x, y);
}

bool SymbolBlinkPhase() { return gSystem && gSystem->realTime % kBlinkPeriod > kBlinkOffUntil; }

uint32_t ObjectSymbolFlags(const GuiMaster* master, const SpaceObject* object, bool choice2, bool choice1, bool stem) {
  uint32_t flags = (choice2 ? kSymbolChoice2 : 0) | (choice1 ? kSymbolChoice1 : 0);
  struct Copy {
    uint32_t from, to;
  };
  constexpr Copy kFirstWord[] = {{Bit(15), kSymbolFlagBit15}, {Bit(26), kSymbolFlagBit26}, {Bit(3), kSymbolFlagBit3}};
  constexpr Copy kSecondWord[] = {
      {Bit(12), kSymbolSecondBit12}, {Bit(13), kSymbolSecondBit13}, {Bit(24), kSymbolSecondBit24}};
  for (const Copy& c : kFirstWord)
    if (object->flags & c.from) flags |= c.to;
  for (const Copy& c : kSecondWord)
    if (object->flags2 & c.from) flags |= c.to;
  if (object->owner == kRace10) {
    flags |= kSymbolRace10;
    if (IsActiveShip(master, object)) flags |= kSymbolActiveShip;
  }
  if (SymbolBlinkPhase()) flags |= kSymbolBlink;
  if (stem) flags |= kSymbolStem | kSymbolNoDockMark;
  if (IsFlaggedMissile(object)) flags |= kSymbolFlaggedMissile;
  return flags;
}

void DrawObjectSymbolFor(const SpaceObject* object, int32_t texture, int32_t x, int32_t groundY, int32_t y,
                         bool choice2, bool choice1, bool stem) {
  if (!object || !gGuiMaster) return;
  DrawSymbol(gGuiMaster, texture, object->objClass, object->subtype, x, groundY, y,
             ObjectSymbolFlags(gGuiMaster, object, choice2, choice1, stem));
}

void DrawObjectHeadingArrow(const SpaceObject* object, int32_t texture, int32_t x, int32_t y, int32_t angle) {
  if (!object) return;
  constexpr int32_t kTip = kFixedOne, kBase = -52429, kHalfWidth = 13107, kHalfLength = 26214;  // 1.0, -0.8, 0.2, 0.4
  const FixedVector kPoints[5] = {{0, 0, kTip, 0},
                                  {0, kHalfWidth, kBase, 0},
                                  {kHalfLength, 0, kBase, 0},
                                  {0, -kHalfWidth, kBase, 0},
                                  {-kHalfLength, 0, kBase, 0}};
  const FixedMatrix* world = GetObjectRotationMatrix(object);
  FixedMatrix turn;
  MatrixFromAngles(&turn, 0, static_cast<uint32_t>(-int64_t{angle}), 0);
  int32_t px[5], py[5];
  for (int i = 0; i < 5; ++i) {
    FixedVector p = kPoints[i], turned;
    if (world) MatrixMulVector(&p, world, &kPoints[i]);
    MatrixMulVector(&turned, &turn, &p);
    px[i] = SaturateToInt32(int64_t{x} + FixedRound(turned.x, 10));
    py[i] = SaturateToInt32(int64_t{y} - FixedRound(turned.z, 10));
  }
  for (int i = 1; i <= 4; ++i) B3D_TexLine(texture, px[0], py[0], px[i], py[i], kWhite);
  for (int i = 1; i <= 4; ++i) {
    const int next = i % 4 + 1;
    B3D_TexLine(texture, px[i], py[i], px[next], py[next], kWhite);
  }
}

void DrawDottedEllipse(int32_t texture, int32_t width, int32_t height, int32_t scale, uint32_t colour) {
  const int64_t cx = width / 2, cy = height / 2;
  const int64_t a = FixedRound(width, scale), b = FixedRound(height, scale) / 2;
  Dot(texture, cx + a, cy, colour);
  Dot(texture, cx - a, cy, colour);
  Dot(texture, cx, cy + b, colour);
  Dot(texture, cx, cy - b, colour);
  constexpr int32_t kCos45 = 46340, kSin22 = 25080, kCos22 = 60548;
  const int64_t a45 = FixedRound(a, kCos45), b45 = FixedRound(b, kCos45);
  if (a45 < 3 && b45 < 3) return;
  for (int sx = -1; sx <= 1; sx += 2)
    for (int sy = -1; sy <= 1; sy += 2) Dot(texture, cx + sx * a45, cy + sy * b45, colour);
  const int64_t aSin = FixedRound(a, kSin22), bSin = FixedRound(b, kSin22);
  if (aSin < 3 && bSin < 3) return;
  const int64_t aCos = FixedRound(a, kCos22), bCos = FixedRound(b, kCos22);
  for (int sx = -1; sx <= 1; sx += 2) {
    for (int sy = -1; sy <= 1; sy += 2) {
      Dot(texture, cx + sx * aSin, cy + sy * bCos, colour);
      Dot(texture, cx + sx * aCos, cy + sy * bSin, colour);
    }
  }
}
