// The demo's universe type files (see demo_universe_types.h). Fixed values are multiples of 1/64
// so the text form reads back exactly; bodies and cuts are the demo's own.
#include "engine_types/demo_universe_types.h"

#include <string>

#include "scene/engine_types.h"
#include "universe/effect_definitions.h"
#include "universe/object_classes.h"

namespace typetool {

namespace {

constexpr int32_t kOne = 0x10000;
constexpr const char* kCube = "v\\00001";
constexpr const char* kTwoPart = "v\\00002";
constexpr const char* kDemoCut = "cut\\00001";

void Append(Fields* to, const Fields& more) { to->insert(to->end(), more.begin(), more.end()); }

Fields Ints(std::initializer_list<int32_t> values) {
  Fields f;
  for (int32_t v : values) f.push_back(Int(v));
  return f;
}

Fields Globals() {
  return {Int(2), Key("SG_MAX_DISTANCE_COMM", 96), Int(20000), Key("SG_CURSORSTEERING_MAXFIREANGLE", 95), Int(45)};
}

Fields Flight() {
  Fields f = {Int(1)};
  for (int row = 0; row < kFlightViewRowsPerGroup; ++row) {
    // The first row's angles hold a three-quarter turn, which the table keeps as -1/4.
    Append(&f, {Fixed(row == 0 ? kOne * 3 / 4 : kOne / 8 * row), Fixed(-kOne / 16), Fixed(kOne / 64 * row), Int(row)});
  }
  return f;
}

Fields Videos() { return {Int(1), Int(5), Int(0), Int(7), Int(-1), Int(1), Int(2), Int(3), Int(4), Int(5), Int(6), Int(7)}; }

Fields VideoLists() { return {Int(2), Int(2), Int(5), Int(6), Int(0)}; }

Fields Dummies() {
  return {Key("SDTYPE_ANIMATED", 0), Int(1),
          Str(kTwoPart), Flags(224, kDummyFlagNames), Int(1), Key("ANIMATEDSTATUS_NORMAL", 0), Str(kDemoCut),
          Key("SDTYPE_GUN", kDummyKindGun), Int(1),
          Str(kTwoPart), Flags(2, kDummyFlagNames), Int(1), Key("GUNSTATUS_INITIAL", 0), Str("0"),
          Int(1), Str(kCube), Flags(1, kGunPartFlagNames)};
}

Fields Bodies() { return {Key("SBTYPE_TURRET", 5), Int(1), Str(kTwoPart), Key("SBTYPE_CONTAINER", 8), Int(0)}; }

Fields Components() {
  return {Key("SCTYPE_LASER", 0), Int(1), Str(kCube), Short(1),
          Flags(1, kComponentPointFlagNames), Fixed(kOne), Fixed(0), Fixed(-kOne / 2), Fixed(0), Fixed(0), Fixed(kOne),
          Key("SCTYPE_DOCKING", kComponentKindDocking), Int(1), Str(kTwoPart), Short(1),
          Flags(0, kComponentPointFlagNames), Fixed(0), Fixed(kOne / 4), Fixed(-kOne)};
}

Fields Matches() {
  return {Key("SMTYPE_MINE", 0), Flags(kMatchFlagCutMatch, kMatchFlagNames), Int(1), Str(kCube), Str(kTwoPart), Str(kDemoCut)};
}

Fields WareLists() { return {Int(1), Int(2), Str("LASER_DEMO"), Str("SHIP_DEMO")}; }

// The class's own fields of the demo row.
Fields ClassFields(int32_t objClass) {
  switch (objClass) {
    case kClassBullet: {
      Fields f = Ints({40, 0, 3, 2000, 900, 0x440, 255, 128, 0});  // 0x40: uses ammunition
      Append(&f, {Fixed(kOne / 2), Fixed(kOne / 4), Fixed(kOne)});
      Append(&f, Ints({1, 2, 3, 0, 4, 100, 0, 0}));
      Append(&f, Ints({0, 0, 0, 40, 0, 0, -1, 0, 5, 6}));
      return f;
    }
    case kClassBackground: {
      Fields f = {Str("demo"), Int(2), Int(1), Int(1)};
      Append(&f, Ints({1, 2, 3, 4, 5, 6, 7, 8, 10, 20, 30, 40, 50, 1, 2, 60, 70, 80, 90}));
      return f;
    }
    case kClassSun: return {Str(kDemoCut), Int(12)};
    case kClassPlanet: {
      Fields f = Ints({200, 180, 160});
      f.push_back(Str("0"));
      for (int i = 0; i < kPlanetPartCapacity; ++i) Append(&f, {Str(i == 0 ? kCube : "-1"), Int(i)});
      return f;
    }
    case kClassDock:
    case kClassFactory: {
      Fields f = {Int(100), Fixed(kOne * 2), Fixed(-kOne * 2), Int(0), Str("0")};
      Append(&f, Ints({0, 3, 4, 5, 0}));
      if (objClass == kClassFactory) f.push_back(Fixed(kOne * 3 / 2));
      f.push_back(objClass == kClassFactory ? Key("ICON_TRG_ST_FARM", 198) : Key("ICON_TRG_ST_TRADING", 196));
      return f;
    }
    case kClassShip: {
      Fields f = Ints({300, 600, 101, 4, 7, 2, 0, 0, 0});
      Append(&f, {Str("0"), Str("0"), Int(3), Int(2), Int(5000), Fixed(kOne / 16), Int(0), Int(0), Int(1)});
      Append(&f, Ints({0, 0, 0, 0, 0, 9}));
      for (int pair = 0; pair < 6; ++pair) Append(&f, {Int(0), Int(pair + 10)});
      Append(&f, Ints({12000, 3, 1, 4000, 6, 7, 8, 25, 27}));
      f.push_back(Key("OBJ_SHIP_M3", 2023));
      Append(&f, {Int(2), Int(1), Int(0), Str(kCube), Int(0), Int(2), Int(-1), Str(kTwoPart), Int(0)});
      Append(&f, {Int(1), Int(1), Int(2), Int(1), Int(1), Int(1), Int(2), Str(kCube), Int(0), Str("-1"), Int(-1)});
      return f;
    }
    case kClassLaser: return {Int(0), Int(0), Int(0), Int(10), Fixed(kOne / 2), Key("ICON_LSR_IRE1", 1)};
    case kClassShield: return {Int(0), Int(5000), Int(1), Fixed(kOne / 4)};
    case kClassMissile: {
      Fields f = Ints({500, 800, 11, 12, 0, 3000, 200, 6000, 2, 1, 13, 0, 0, 14, 15, 16, 64, 500});
      Append(&f, {Key("ICON_MISSILE_MOSQUITO", 45), Str("0")});
      return f;
    }
    case kClassAsteroid: return {Str("0"), Int(1), Int(2), Str("0")};
    case kClassGate:
    case kClassSpecial: return {Str("0")};
    case kClassCockpit: return {Str("0"), Int(7)};
    case kClassDebris: return {Str("0"), Int(30), Str(kCube), Str("0")};
    case kClassDockWreck:
    case kClassFactoryWreck:
    case kClassShipWreck: return {Str("0"), Int(40), Str(kTwoPart)};
    default: return {};
  }
}

Fields Group(int32_t objClass) {
  switch (objClass) {
    case kClassShip: return {Key("SG_SH_M3", 5)};
    case kClassFactory: return {Key("SG_FAC_TECH", 1)};
    case kClassDock: return {Key("SG_DOCK_EQUIP", 3)};
    case kClassLaser: return {Key("SG_LASER_PAC", 1)};
    case kClassMissile: return {Key("SG_MISSILE_HEAVY", 2)};
    default: return {Int(objClass % 3)};
  }
}

std::string TypeIdOf(int32_t objClass) {
  if (objClass == kClassShip) return "SHIP_DEMO";
  if (objClass == kClassLaser) return "LASER_DEMO";
  return std::string(kObjectClassFiles[objClass]).substr(1) + "_DEMO";
}

}  // namespace

std::vector<TypeFile> DemoUniverseAuxFiles() {
  return {
      {"Globals", Globals()}, {"Flight", Flight()},   {"Videos", Videos()},           {"VideoLists", VideoLists()},
      {"Dummies", Dummies()}, {"Bodies", Bodies()},   {"Components", Components()}, {"Matches", Matches()},
      {"WareLists", WareLists()},
  };
}

TypeFile DemoEffectsFile() {
  const DataKeyword* row = kEffectRowFlagNames;
  const DataKeyword* inst = kEffectInstanceFlagNames;
  const DataKeyword* entry = kEffectEntryFlagNames;
  Fields f = {Int(1)};
  // Row 1: an engine glow that grows with speed and flickers.
  Append(&f, {Int(1), Int(1), Flags(0, row), Int(0), Fixed(0), Flags(EEDF_SPEEDDEPENDENT, entry), Flags(I3DF_2D, inst),
              Str(kCube), Fixed(kOne / 4), Fixed(kOne), Int(0), Fixed(kOne / 8), Int(0), Int(0), Int(-100), Int(0),
              Int(0), Fixed(kOne / 2), Int(0)});
  // Row 2: an explosion: a timed light, the demo cut and a break-up.
  Append(&f, {Int(2), Int(3), Flags(EDF_REINIT, row), Int(500), Fixed(kOne / 2)});
  Append(&f, {Flags(EEDF_LIGHT | EEDF_TIMEOUT | EEDF_GROWANDSHRINK, entry), Flags(0, inst), Str("1"), Fixed(kOne),
              Fixed(kOne * 2), Int(800), Fixed(0), Int(0), Int(0), Int(0), Int(0), Int(0), Fixed(0), Int(0)});
  Append(&f, {Flags(EEDF_CUT | EEDF_RELATIVESIZE, entry), Flags(0, inst), Str(kDemoCut), Fixed(kOne), Fixed(kOne),
              Int(0), Fixed(0), Fixed(kOne / 2), Fixed(0), Fixed(-kOne / 4), Int(0), Int(0), Fixed(0), Int(100)});
  Append(&f, {Flags(EEDF_BREAKUP, entry), Flags(0, inst), Str("0"), Fixed(0), Fixed(0), Int(0), Fixed(0), Int(0),
              Int(0), Int(0), Int(0), Int(0), Fixed(0), Int(300)});
  // Row 3: propagation over the hull, starting row 1 at each step.
  Append(&f, {Int(3), Int(1), Flags(0, row), Int(0), Fixed(0), Flags(EEDF_PROPAGATE, entry), Flags(0, inst), Int(1),
              Int(2), Int(5), Int(100), Int(400), Int(3), Int(50), Fixed(kOne / 4), Int(0)});
  f.push_back(Int(-1));
  return {"effects", f};
}

std::vector<TypeFile> DemoUniverseClassFiles() {
  std::vector<TypeFile> files;
  for (int32_t objClass = 0; objClass < kObjectClassCount; ++objClass) {
    if (!kObjectClassFiles[objClass]) continue;
    Fields f = {Int(kDemoClassFileVersion), Int(1), Str(objClass == kClassBackground ? "-1" : kCube), Str("-1"),
                Fixed(kOne / 4), Fixed(kOne / 4), Fixed(kOne / 8)};
    Append(&f, Group(objClass));
    f.push_back(Int(1000 + objClass));
    Append(&f, ClassFields(objClass));
    Append(&f, Ints({1, 2, 3, 4, 2, 6, 7, 8, 0}));
    f.push_back(Str(TypeIdOf(objClass)));
    files.push_back({kObjectClassFiles[objClass], f});
  }
  return files;
}

}  // namespace typetool
