// Object symbols: the small pictures maps, radar displays and menus draw for space objects into
// textures (an icon of the icon type table, an optional stem down to a ground line and a mark for
// docks and factories), the symbol flags worked out from an object, the heading arrow of an
// object and the dotted ellipse of the radar. Called by the INS_ symbol natives, the radar and
// the navigation map. Everything is drawn through the texture drawing operations, which clip
// each pixel and block to the texture; nothing here reads a pixel.
#pragma once

#include <cstdint>

struct GuiMaster;
struct SpaceObject;

// Symbol flag bits.
constexpr uint32_t kSymbolChoice1 = 0x1;
constexpr uint32_t kSymbolChoice2 = 0x2;  // highlighted stem and dock mark
constexpr uint32_t kSymbolFlagBit3 = 0x4;
constexpr uint32_t kSymbolRace10 = 0x8;
constexpr uint32_t kSymbolFlaggedMissile = 0x80;
constexpr uint32_t kSymbolFlagBit26 = 0x100;
constexpr uint32_t kSymbolFlagBit15 = 0x200;
constexpr uint32_t kSymbolBlink = 0x800;
constexpr uint32_t kSymbolStem = 0x1000;
constexpr uint32_t kSymbolActiveShip = 0x2000;
constexpr uint32_t kSymbolSecondBit12 = 0x4000;
constexpr uint32_t kSymbolSecondBit13 = 0x8000;
constexpr uint32_t kSymbolSecondBit24 = 0x10000;
constexpr uint32_t kSymbolNoDockMark = 0x40000;

// The icon set of IconData whose icons lie in the gui_master texture.
constexpr int32_t kGuiIconSet = 0;
extern const char kGuiMasterTexture[];  // "effects/menugfx/gui_master"

// Draws one symbol of class and subtype centred on (x, y) of the texture; with kSymbolStem a stem
// runs between the symbol and the ground line groundY.
void DrawSymbol(const GuiMaster* master, int32_t texture, int32_t objClass, int32_t subtype, int32_t x,
                int32_t groundY, int32_t y, uint32_t flags);
// The symbol flags of a space object, starting from the two caller choices; with `stem` the stem
// is drawn and the dock mark left out.
uint32_t ObjectSymbolFlags(const GuiMaster* master, const SpaceObject* object, bool choice2, bool choice1, bool stem);
void DrawObjectSymbolFor(const SpaceObject* object, int32_t texture, int32_t x, int32_t groundY, int32_t y,
                         bool choice2, bool choice1, bool stem);
// True in the second half of every two seconds of the real-time clock.
bool SymbolBlinkPhase();

// The object's heading as an arrow of eight lines around (x, y), seen from above after turning
// by `angle` about the vertical axis; 10 pixels stand for one unit.
void DrawObjectHeadingArrow(const SpaceObject* object, int32_t texture, int32_t x, int32_t y, int32_t angle);

// A dotted ellipse about the texture's centre: radius width x scale across and half of
// height x scale down (scale 16.16); each dot is two pixels wide.
void DrawDottedEllipse(int32_t texture, int32_t width, int32_t height, int32_t scale, uint32_t colour);
