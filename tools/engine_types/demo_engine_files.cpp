// The demo's engine type files and cut (see demo_engine_files.h). Values are chosen so the text
// form reads back exactly: fixed values are multiples of 1/64.
#include "engine_types/demo_engine_files.h"

#include "scene/engine_types.h"

namespace typetool {

namespace {

constexpr int32_t kOne = 0x10000;

Fields BodyData() {
  return {Int(3),
          Int(1), Int(-2), Int(-2), Int(7), Str("v\\00001"),
          Int(2), Int(-2), Int(0), Int(3), Str("v\\00002"),
          Int(10005), Int(4), Int(5), Int(6), Str("v\\10005")};
}

Fields CutData() { return {Int(2), Int(1), Str("cut\\00001"), Int(2), Str("cut\\00002")}; }

Fields LightTypes() {
  return {Int(2),
          Int(1), Int(2), Int(255), Int(200), Int(100), Int(1), Int(5000), Int(7), Int(8000),
          Int(124), Int(3), Int(10), Int(20), Int(30), Int(0), Int(-1), Int(0), Int(2500)};
}

Fields ParticleKind(uint32_t flags, const char* texture, int32_t seed, bool allNamed) {
  Fields f = {Flags(flags, kParticleKindFlagNames), Str(texture)};
  for (int i = 0; i < 4; ++i) f.push_back(Fixed(kOne / 4 * (i + 1)));
  f.push_back(Fixed(kOne * 2));
  f.push_back(Fixed(kOne / 2));
  for (int i = 0; i < 3; ++i) f.push_back(Fixed(kOne / 8 * (i + seed)));
  for (int i = 0; i < 5; ++i) f.push_back(Int(100 * (i + seed)));
  if (allNamed) {
    f.insert(f.end(), {Tag(2), Int(250), Tag(3), Fixed(kOne * 3), Tag(4), Fixed(kOne / 64), Tag(5), Int(400),
                       Tag(6), Int(600), Tag(7), Fixed(-kOne), Tag(8), Fixed(kOne * 5 / 2)});
  } else {
    f.insert(f.end(), {Tag(7), Fixed(kOne / 2)});
  }
  return f;
}

Fields Particles3() {
  Fields f = {Int(2), Int(3), Int(2), Key("NULL", 0)};
  for (const Field& x : ParticleKind(1 | 2, "effects\\spark", 1, true)) f.push_back(x);
  for (const Field& x : ParticleKind(0, "NULL", 2, false)) f.push_back(x);
  f.insert(f.end(), {Int(99), Int(0), Key("NULL", 0)});
  return f;
}

Fields Lensflares() {
  return {Int(2),
          Int(2),
          Str("6"), Fixed(kOne), Int(8), Int(12), Int(0),
          Str("7"), Fixed(kOne * 2 / 5), Int(3), Int(5), Int(5),
          Int(0)};
}

// Instances of a dummy body are never drawn: the dummy id is one no demo body uses (body 5 is the
// scene stretch's planet).
Fields BodyDummies() { return {Int(2), Str("v\\00002"), Str("9")}; }

Fields IconData() {
  return {Key("ICONTYPE_HUD", 3), Str("effects\\icons"), Int(256), Int(128), Int(3),
          Key("ICON_LSR_IRE1", 1), Key("NULL", 0), Int(0), Int(0), Int(16), Int(16),
          Key("ICON_TRG_STATION_ORANGE", 498), Key("NULL", 0), Int(16), Int(0), Int(32), Int(32),
          Key("ICON_QM_BUTTON", 1000), Key("NULL", 0), Int(48), Int(0), Int(8), Int(8),
          Int(12), Str("NULL"), Int(1), Int(1), Int(1),
          Key("ICON_MENU_ATTACK", 2), Key("NULL", 0), Int(1), Int(2), Int(3), Int(4),
          // The HUD's marks: crosshairs and the first frame of the target brackets in every
          // standing, on the icon sheet mkimages writes.
          Key("ICONTYPE_GUI", 0), Str("effects\\menugfx\\gui_master"), Int(64), Int(64), Int(12),
          Key("ICON_TCROSS_NORMAL_BLUE", 389), Key("NULL", 0), Int(0), Int(0), Int(32), Int(32),
          Key("ICON_TCROSS_NORMAL_RED", 390), Key("NULL", 0), Int(0), Int(0), Int(32), Int(32),
          Key("ICON_TCROSS_NORMAL_GREEN", 391), Key("NULL", 0), Int(0), Int(0), Int(32), Int(32),
          Key("ICON_TCROSS_SCREEN_CENTER_BLUE", 499), Key("NULL", 0), Int(0), Int(0), Int(32), Int(32),
          Key("ICON_TCROSS_SCREEN_CENTER_RED", 500), Key("NULL", 0), Int(0), Int(0), Int(32), Int(32),
          Key("ICON_TCROSS_SCREEN_CENTER_GREEN", 501), Key("NULL", 0), Int(0), Int(0), Int(32), Int(32),
          Key("ICON_TANIM_BLUE_L_1", 400), Key("NULL", 0), Int(32), Int(0), Int(16), Int(32),
          Key("ICON_TANIM_BLUE_R_1", 401), Key("NULL", 0), Int(48), Int(0), Int(16), Int(32),
          Key("ICON_TANIM_RED_L_1", 410), Key("NULL", 0), Int(32), Int(0), Int(16), Int(32),
          Key("ICON_TANIM_RED_R_1", 411), Key("NULL", 0), Int(48), Int(0), Int(16), Int(32),
          Key("ICON_TANIM_GREEN_L_1", 420), Key("NULL", 0), Int(32), Int(0), Int(16), Int(32),
          Key("ICON_TANIM_GREEN_R_1", 421), Key("NULL", 0), Int(48), Int(0), Int(16), Int(32)};
}

Fields Skins() {
  return {Int(2),
          Int(7), Str("hull red"), Int(2), Str("effects\\hull"), Str("effects\\hull_red"), Str("NULL"), Str("5"),
          Int(8), Str(""), Int(0)};
}

}  // namespace

std::vector<TypeFile> DemoTypeFiles() {
  return {
      {"BodyData", BodyData()},
      {"CutData", CutData()},
      {"LightTypes", LightTypes()},
      {"Particles3", Particles3(), kParticleFieldTable, kParticleFieldCount},
      {"Lensflares", Lensflares()},
      {"BodyDummies", BodyDummies()},
      {"IconData", IconData()},
      {"Skins", Skins()},
  };
}

CutContent DemoCut() {
  CutContent cut;
  cut.version = 6;
  CutPathPlan cube;
  cube.serial = 1;
  cube.body = "1";
  cube.mask = 0x6000;
  cube.f = 0;
  cube.flags = 0x200 | 0x2 | 0x4;
  cube.name = "cube";
  cube.notes = {{0, "event start"}, {1000, "camera 2"}, {2000, ""}};
  cube.constraints = {{2, kOne / 2}};
  cube.blockKind = 3;
  cube.blocks = {{{0, 0, 1000, {0, 0, 0}, 1000},
                  {1000, 0, 0, {kOne / 4, 0, 0}, 1000},
                  {0, 0, -1000, {kOne / 2, 0, 0}, 1000},
                  {-1000, 0, 0, {kOne * 3 / 4, 0, 0}, 0}}};
  CutPathPlan fin;
  fin.serial = 2;
  fin.body = "2";
  fin.flags = 0x1 | 0x100;
  fin.blockKind = 1;
  fin.blocks = {{{0, 500, 0, {0, 0, 0}, 2000}, {0, -500, 0, {0, kOne / 8, 0}, 0}}, {{10, 20, 30, {0, 0, kOne / 16}, 0}}};
  cut.paths = {cube, fin};
  return cut;
}

}  // namespace typetool
