// The object classes' type-file names, the built-in type rows of the camera class and class 21,
// the type tables themselves, and the keyword tables of the type files with their two lookups.
// The type-file loader and writers and the type accessors call it. It never reads a file and
// never allocates: the tables are filled and freed by the loader.
#include "universe/object_classes.h"

#include <cstring>

ObjectTypeTable gObjectTypeTables[kObjectClassCount] = {};

const char* const kObjectClassFiles[kObjectClassCount] = {
    "TBullets", nullptr, "TBackgrounds", "TSuns", "TPlanets", "TDocks", "TFactories", "TShips",
    "TLaser", "TShields", "TMissiles", "TWareE", "TWareN", "TWareB", "TWareF", "TWareM",
    "TWareT", "TAsteroids", "TGates", nullptr, "TSpecial", nullptr, nullptr, nullptr,
    nullptr, "TCockpits", nullptr, nullptr, "TDebris", "TDocksWrecks", "TFactoriesWrecks", "TShipsWrecks",
};

namespace {

// The camera's default row: its model and its turn rates of 0.45, 0.45 and 0.35.
constexpr int32_t kCameraBody = 174;
constexpr int32_t kCameraTurnRates[3] = {29491, 29491, 22937};

bool IsTableEnd(const DataKeyword* pair) { return pair->name == nullptr || pair->name[0] == 0; }

}  // namespace

bool FillBuiltInTypeRow(uint16_t objClass, ObjectTypeRecord* row) {
  if (!row) return false;
  if (objClass == kClassCamera) {
    *row = ObjectTypeRecord{};
    row->bodyId = kCameraBody;
    for (int i = 0; i < 3; ++i) row->turnRate[i] = kCameraTurnRates[i];
    row->group = -1;
    return true;
  }
  if (objClass == kClass21) {
    *row = ObjectTypeRecord{};
    row->bodyId = -1;
    row->altBodyId = -1;
    row->group = 0;  // the row's own subtype
    row->nameTextId = -1;
    row->tailValue[2] = row->tailValue[3] = row->tailValue[4] = 1;
    return true;
  }
  return false;
}

void DeriveBulletImpactValues(BulletType* bullet, int32_t subtype) {
  if (!bullet) return;
  const uint32_t f = bullet->flags;
  int32_t* v = bullet->impactValue;
  v[0] = (f & 0x2000) ? 1000 : 0;
  v[1] = (f & 0x200) ? 50 : 0;
  v[2] = (f & 0x200) ? 1000 : 0;
  v[3] = (f & 0x400) ? bullet->energy : 0;  // energy per shot
  v[4] = (f & 0x800) ? bullet->energy : 0;
  v[5] = (f & 0x800) ? 1000 : 0;
  v[6] = (f & 0x1000) ? subtype : -1;
  v[7] = (f & 0x1000) ? 8 : 0;
}

uint32_t MissileMaskUpToGroup(int32_t maxGroup) {
  if (maxGroup < 0) return 0;
  if (maxGroup >= 31) return 0xFFFFFFFFu;
  return (1u << (maxGroup + 1)) - 1;
}

int32_t BackgroundListCount(int32_t count, int32_t capacity) {
  return count >= 1 && count <= capacity ? count : capacity;
}

const char* KeywordName(const DataKeyword* table, int32_t value) {
  if (!table) return nullptr;
  for (const DataKeyword* pair = table; !IsTableEnd(pair); ++pair) {
    if (pair->value == value) return pair->name;
  }
  return nullptr;
}

bool KeywordValue(const DataKeyword* table, const char* name, int32_t* value) {
  if (!table || !name) return false;
  for (const DataKeyword* pair = table; !IsTableEnd(pair); ++pair) {
    if (std::strcmp(pair->name, name) == 0) {
      if (value) *value = pair->value;
      return true;
    }
  }
  return false;
}

// ---------------------------------------------------------------------------------------------
// The keyword tables, names and values exactly as the type files store them.

const DataKeyword kShipGroupNames[] = {
    {"SG_SH_TL", 0}, {"SG_SH_TS", 1}, {"SG_SH_M0", 2}, {"SG_SH_M1", 3}, {"SG_SH_M2", 4}, {"SG_SH_M3", 5},
    {"SG_SH_M4", 6}, {"SG_SH_M5", 7}, {"SG_SH_TL_P", 8}, {"SG_SH_TS_P", 9}, {"SG_SH_GO", 10}, {"SG_SH_M6", 11},
    {"SG_SH_TP", 12}, {"SG_SH_M7", 13}, {"SG_SH_TM", 14}, {"SG_SH_M8", 15}, {"NULL", 0}, {"", 0},
};

const DataKeyword kFactoryGroupNames[] = {
    {"SG_FAC_SHIP", 0}, {"SG_FAC_TECH", 1}, {"SG_FAC_BIO", 2}, {"SG_FAC_FOOD", 3}, {"SG_FAC_POWER", 4},
    {"SG_FAC_MINE", 5}, {"SG_FAC_STORAGE", 6}, {"SG_FAC_COMPLEX", 7}, {"SG_FAC_CCKIT", 8}, {"NULL", 0}, {"", 0},
};

const DataKeyword kDockGroupNames[] = {
    {"SG_DOCK_TRADE", 0}, {"SG_DOCK_SELLAN", 1}, {"SG_DOCK_PIRATES", 2}, {"SG_DOCK_EQUIP", 3},
    {"SG_DOCK_HQ", 4}, {"SG_DOCK_ZHUUL", 5}, {"NULL", 0}, {"", 0},
};

const DataKeyword kLaserGroupNames[] = {
    {"SG_LASER_IRE", 0}, {"SG_LASER_PAC", 1}, {"SG_LASER_MASS", 2}, {"SG_LASER_MORVAI_LIGHT", 3},
    {"SG_LASER_WEMMER_LIGHT", 4}, {"SG_LASER_OLUDRIC_LIGHT", 5}, {"SG_LASER_HEPT", 6},
    {"SG_LASER_TESSIK_LIGHT", 7}, {"SG_LASER_PBE", 8}, {"SG_LASER_PIRATE_LIGHT", 9},
    {"SG_LASER_VELMAR_LIGHT", 10}, {"SG_LASER_CIG", 11}, {"SG_LASER_TESSIK_MEDIUM", 12},
    {"SG_LASER_GRASK_MEDIUM", 13}, {"SG_LASER_VELMAR_MEDIUM", 14}, {"SG_LASER_WEMMER_AF", 15},
    {"SG_LASER_MORVAI_AF", 16}, {"SG_LASER_GRASK_AF", 17}, {"SG_LASER_OLUDRIC_AF", 18},
    {"SG_LASER_VELMAR_AF", 19}, {"SG_LASER_PPC", 20}, {"SG_LASER_TESSIK_HEAVY", 21},
    {"SG_LASER_WEMMER_HEAVY", 22}, {"SG_LASER_PIRATE_HEAVY", 23}, {"SG_LASER_VELMAR_HEAVY", 24},
    {"SG_LASER_MORVAI_BEAM", 25}, {"SG_LASER_OLUDRIC_BEAM", 26}, {"SG_LASER_VELMAR_BEAM", 27},
    {"SG_LASER_SPECIAL", 28}, {"SG_LASER_UNKNOWN1", 29}, {"SG_LASER_UNKNOWN2", 30}, {"SG_LASER_KYON", 31},
    {"NULL", 0}, {"", 0},
};

const DataKeyword kMissileGroupNames[] = {
    {"SG_MISSILE_LIGHT", 0}, {"SG_MISSILE_MEDIUM", 1}, {"SG_MISSILE_HEAVY", 2}, {"SG_MISSILE_TR_LIGHT", 3},
    {"SG_MISSILE_TR_MEDIUM", 4}, {"SG_MISSILE_TR_HEAVY", 5}, {"SG_MISSILE_ZHUUL", 6}, {"SG_MISSILE_BOMBER", 7},
    {"SG_MISSILE_TORP_CAPITAL", 8}, {"SG_MISSILE_AF_CAPITAL", 9}, {"SG_MISSILE_TR_BOMBER", 10},
    {"SG_MISSILE_TR_TORP_CAPITAL", 11}, {"SG_MISSILE_TR_AF_CAPITAL", 12}, {"SG_MISSILE_BOARDINGPOD", 13},
    {"SG_MISSILE_DMBF", 14}, {"NULL", 0}, {"", 0},
};

const DataKeyword kShipScriptClassNames[] = {
    {"OBJ_SHIP_M0", 2020}, {"OBJ_SHIP_M1", 2021}, {"OBJ_SHIP_M2", 2022}, {"OBJ_SHIP_M3", 2023},
    {"OBJ_SHIP_M4", 2024}, {"OBJ_SHIP_M5", 2025}, {"OBJ_SHIP_M6", 2026}, {"OBJ_SHIP_M7", 2027},
    {"OBJ_SHIP_M8", 2142}, {"OBJ_SHIP_TP", 2030}, {"OBJ_SHIP_TS", 2031}, {"OBJ_SHIP_TL", 2032},
    {"OBJ_SHIP_TM", 2141}, {"OBJ_SHIP_TS_PIRATE", 2035}, {"OBJ_SHIP_TL_PIRATE", 2036},
    {"OBJ_SHIP_SELLAN", 2039}, {"OBJ_SHIP_UFO", 2068}, {"OBJ_SHIP_ASTRONAUT", 2064}, {"OBJ_SATELLITE", 2065},
    {"OBJ_SATELLITE2", 2080}, {"OBJ_BEACON", 2060}, {"OBJ_JUMPBEACON", 2062}, {"OBJ_MINE", 2066},
    {"OBJ_MINE2", 2143}, {"OBJ_MINE3", 2144}, {"OBJ_MINETR", 2145}, {"OBJ_ORBITALLASER", 2011},
    {"OBJ_FIGHTDRONE", 2067}, {"OBJ_FIGHTDRONE2", 2146}, {"OBJ_FIGHTDRONEUSC", 2147},
    {"OBJ_FREIGHTDRONE", 2092}, {"OBJ_SPACEFLY", 2070}, {"OBJ_SHIP_ZHUULCLUSTER", 2131}, {"NULL", 0}, {"", 0},
};

const DataKeyword kGlobalsSettingNames[] = {
    {"SG_MAXSTRAFEFACTOR_SMALLSHIP", 1}, {"SG_MAXSTRAFEFACTOR_BIGSHIP", 2}, {"SG_MAXGLIDESPEED", 3},
    {"SG_SCANNER_RANGE_SHIP", 4}, {"SG_SCANNER_RANGE_SHIP_UPGRADE2", 5}, {"SG_SCANNER_RANGE_SHIP_UPGRADE3", 6},
    {"SG_SCANNER_RANGE_SATELLITE", 7}, {"SG_SCANNER_RANGE_SATELLITE2", 8}, {"SG_SCANNER_RANGE_STATION", 9},
    {"SG_SCANNER_RANGE_ORBITALLASER", 10}, {"SG_SCANNER_RANGE_FREIGHTSCANNER", 11},
    {"SG_SCANNER_RANGE_SO_NEBULA", 12}, {"SG_AVRSPEED", 13}, {"SG_HUE_ZEROPOS_MORVAI", 14},
    {"SG_HUEMODIFIER_MIN_MORVAI", 15}, {"SG_HUEMODIFIER_MAX_MORVAI", 16}, {"SG_SATMODIFIER_SPECIAL_MORVAI", 17},
    {"SG_SATMODIFIER_DEFAULT_MORVAI", 18}, {"SG_HUE_ZEROPOS_TESSIK", 19}, {"SG_HUEMODIFIER_MIN_TESSIK", 20},
    {"SG_HUEMODIFIER_MAX_TESSIK", 21}, {"SG_SATMODIFIER_SPECIAL_TESSIK", 22},
    {"SG_SATMODIFIER_DEFAULT_TESSIK", 23}, {"SG_HUE_ZEROPOS_GRASK", 24}, {"SG_HUEMODIFIER_MIN_GRASK", 25},
    {"SG_HUEMODIFIER_MAX_GRASK", 26}, {"SG_SATMODIFIER_SPECIAL_GRASK", 27},
    {"SG_SATMODIFIER_DEFAULT_GRASK", 28}, {"SG_HUE_ZEROPOS_OLUDRIC", 29}, {"SG_HUEMODIFIER_MIN_OLUDRIC", 30},
    {"SG_HUEMODIFIER_MAX_OLUDRIC", 31}, {"SG_SATMODIFIER_SPECIAL_OLUDRIC", 32},
    {"SG_SATMODIFIER_DEFAULT_OLUDRIC", 33}, {"SG_HUE_ZEROPOS_WEMMER", 34}, {"SG_HUEMODIFIER_MIN_WEMMER", 35},
    {"SG_HUEMODIFIER_MAX_WEMMER", 36}, {"SG_SATMODIFIER_SPECIAL_WEMMER", 37},
    {"SG_SATMODIFIER_DEFAULT_WEMMER", 38}, {"SG_HUE_ZEROPOS_DRAVON", 39}, {"SG_HUEMODIFIER_MIN_DRAVON", 40},
    {"SG_HUEMODIFIER_MAX_DRAVON", 41}, {"SG_SATMODIFIER_SPECIAL_DRAVON", 42},
    {"SG_SATMODIFIER_DEFAULT_DRAVON", 43}, {"SG_HUE_ZEROPOS_ZHUUL", 44}, {"SG_HUEMODIFIER_MIN_ZHUUL", 45},
    {"SG_HUEMODIFIER_MAX_ZHUUL", 46}, {"SG_SATMODIFIER_SPECIAL_ZHUUL", 47},
    {"SG_SATMODIFIER_DEFAULT_ZHUUL", 48}, {"SG_HUE_ZEROPOS_PIRATE", 49}, {"SG_HUEMODIFIER_MIN_PIRATE", 50},
    {"SG_HUEMODIFIER_MAX_PIRATE", 51}, {"SG_SATMODIFIER_SPECIAL_PIRATE", 52},
    {"SG_SATMODIFIER_DEFAULT_PIRATE", 53}, {"SG_HUE_ZEROPOS_SELLAN", 54}, {"SG_HUEMODIFIER_MIN_SELLAN", 55},
    {"SG_HUEMODIFIER_MAX_SELLAN", 56}, {"SG_SATMODIFIER_SPECIAL_SELLAN", 57},
    {"SG_SATMODIFIER_DEFAULT_SELLAN", 58}, {"SG_HUE_ZEROPOS_VELMAR", 59}, {"SG_HUEMODIFIER_MIN_VELMAR", 60},
    {"SG_HUEMODIFIER_MAX_VELMAR", 61}, {"SG_SATMODIFIER_SPECIAL_VELMAR", 62},
    {"SG_SATMODIFIER_DEFAULT_VELMAR", 63}, {"SG_HUE_ZEROPOS_IRROW", 64}, {"SG_HUEMODIFIER_MIN_IRROW", 65},
    {"SG_HUEMODIFIER_MAX_IRROW", 66}, {"SG_SATMODIFIER_SPECIAL_IRROW", 67},
    {"SG_SATMODIFIER_DEFAULT_IRROW", 68}, {"SG_MM_METHOD", 69}, {"SG_MM_YIELD_TYPE", 70},
    {"SG_MM_YIELD_MULTIPLIER", 71}, {"SG_MM_YIELD_DIVISOR", 72}, {"SG_MM_YIELD_ZERO", 73},
    {"SG_MM_RELVALUE_TYPE", 74}, {"SG_MM_RELVALUE_BASE", 75}, {"SG_MM_EMPTY_MULTIPLIER", 76},
    {"SG_MM_EMPTY_DIVISOR", 77}, {"SG_MM_EMPTY_PERCENTAGE", 78}, {"SG_MM_FIXED_MINIMUM", 79},
    {"SG_MM_RANDOM_MINIMUM", 80}, {"SG_MM_RANDOM_RANGE", 81}, {"SG_MM_BULLET_ENERGY", 82},
    {"SG_MM_DESTRUCTION_RANGE", 83}, {"SG_DETAILVISIBLE_MINDIST", 84}, {"SG_MISSION_QUOTA_TRADE", 85},
    {"SG_MISSION_QUOTA_FIGHT", 86}, {"SG_MISSION_QUOTA_BUILD", 87}, {"SG_MISSION_QUOTA_THINK", 88},
    {"SG_MIN_FOV", 89}, {"SG_MAX_FOV", 90}, {"SG_GATE_REALIGNMENT_LINK", 91}, {"SG_GATE_REALIGNMENT_WAIT", 92},
    {"SG_GATE_REALIGNMENT_ENERGY", 93}, {"SG_CURSORSTEERING_DAMPING", 94},
    {"SG_CURSORSTEERING_MAXFIREANGLE", 95}, {"SG_MAX_DISTANCE_COMM", 96}, {"SG_MAX_DISTANCE_BEAMING", 97},
    {"SG_MAX_VERTEXDIST_DOCKCOMPUTER", 98}, {"SG_MAX_DISTANCE_BUILDCOMPLEX", 99}, {"SG_MAXHULL_CONTAINER", 100},
    {"SG_MAXHULL_BOARDINGPOD", 101}, {"SG_TRACKER_NUM_SHIP", 102}, {"SG_TRACKER_NUM_PLSHIP", 103},
    {"SG_TRACKER_NUM_ENEMYSHIP", 104}, {"SG_TRACKER_NUM_HUGESHIP", 105}, {"SG_TRACKER_NUM_HUGEPLSHIP", 106},
    {"SG_TRACKER_NUM_HUGEENEMYSHIP", 107}, {"SG_TRACKER_NUM_STATION", 108}, {"SG_TRACKER_NUM_MINES", 109},
    {"SG_TRACKER_NUM_BEACON", 110}, {"SG_TRACKER_NUM_CONTAINER", 111}, {"SG_TRACKER_NUM_INMISSILE", 112},
    {"SG_TRACKER_NUM_CIVILIAN", 113}, {"SG_TRACKER_NUM_GATES", 114}, {"SG_TRACKER_NUM_ASTEROIDS", 115},
    {"SG_TRACKER_NUM_OTHER", 116}, {"SG_DOCK_STORAGE_FACTOR", 117}, {"SG_HUB_STORAGE_FACTOR", 118}, {"NULL", 0},
    {"", 0},
};

const DataKeyword kDummyKindNames[] = {
    {"SDTYPE_ANIMATED", 0}, {"SDTYPE_DOCK", 1}, {"SDTYPE_DOORWAY", 2}, {"SDTYPE_GUN", 3},
    {"SDTYPE_CONNECTION", 4}, {"NULL", 0}, {"", 0},
};

const DataKeyword kDummyFlagNames[] = {
    {"ANIMATEDF_DOCKPORT_TL", 1}, {"ANIMATEDF_DOCKPORT_TS", 2}, {"ANIMATEDF_DOCKPORT_M0", 4},
    {"ANIMATEDF_DOCKPORT_M1", 8}, {"ANIMATEDF_DOCKPORT_M2", 16}, {"ANIMATEDF_DOCKPORT_M3", 32},
    {"ANIMATEDF_DOCKPORT_M4", 64}, {"ANIMATEDF_DOCKPORT_M5", 128}, {"ANIMATEDF_DOCKPORT_TL_P", 256},
    {"ANIMATEDF_DOCKPORT_TS_P", 512}, {"ANIMATEDF_DOCKPORT_GO", 1024}, {"ANIMATEDF_DOCKPORT_M6", 2048},
    {"ANIMATEDF_DOCKPORT_TP", 4096}, {"ANIMATEDF_DOCKPORT_M7", 8192}, {"ANIMATEDF_DOCKPORT_TM", 16384},
    {"ANIMATEDF_DOCKPORT_M8", 32768}, {"ANIMATEDF_DOCKPORT_FIGHTER", 224},
    {"ANIMATEDF_DOCKPORT_TRANSPORT", 5634}, {"ANIMATEDF_DOCKPORT_LITTLESHIP", 5858},
    {"ANIMATEDF_DOCKPORT_HUGESHIP", 8473}, {"ANIMATEDF_DOCKPORT_BIGSHIP", 59673},
    {"ANIMATEDF_DOCKPORT_STANDARD", 57058}, {"ANIMATEDF_DOCKPORT_UDREV", 65536},
    {"ANIMATEDF_DOCKPORT_UDFWD", 131072}, {"ANIMATEDF_DOCKPORT_STARTONLY", 262144},
    {"ANIMATEDF_DOCKPORT_LANDONLY", 524288}, {"ANIMATEDF_DOCKPORT_HANGAR", 1048576},
    {"ANIMATEDF_DOCKPORT_QUICKLAUNCH", 2097152}, {"ANIMATEDF_DOCKPORT_UDDOWN", 4194304},
    {"ANIMATEDF_DOCKPORT_BELOW30", 8388608}, {"ANIMATEDF_DOCKPORT_BELOW60", 16777216},
    {"ANIMATEDF_DOCKPORT_UDBACK", 33554432}, {"ANIMATEDF_DOCKPORT_FWDPUSH", 67108864}, {"DWF_OUTERDOCK", 1},
    {"DWF_INNERDOCK", 2}, {"DWF_PLATFORM", 4}, {"DWF_CARRIER", 8}, {"GUNF_FIXED", 1}, {"GUNF_ROTATE", 2},
    {"NULL", 0}, {"", 0},
};

const DataKeyword kDummyStatusNames[] = {
    {"ANIMATEDSTATUS_NORMAL", 0}, {"DOORSTATUS_OPENING", 0}, {"DOORSTATUS_CLOSING", 1}, {"DOORSTATUS_OPEN", 2},
    {"DOORSTATUS_CLOSED", 3}, {"GUNSTATUS_INITIAL", 0}, {"GUNSTATUS_FIRING", 1}, {"NULL", 0}, {"", 0},
};

const DataKeyword kGunPartFlagNames[] = {
    {"GUNPARTF_ROTATEALPHA", 1}, {"GUNPARTF_ROTATEBETA", 2}, {"GUNPARTF_ROTATEGAMMA", 4}, {"NULL", 0}, {"", 0},
};

const DataKeyword kBodyListKindNames[] = {
    {"SBTYPE_2D", 0}, {"SBTYPE_2D2", 1}, {"SBTYPE_2DY", 2}, {"SBTYPE_LOGO", 3}, {"SBTYPE_FC", 4},
    {"SBTYPE_TURRET", 5}, {"SBTYPE_JET", 6}, {"SBTYPE_RADAR", 7}, {"SBTYPE_CONTAINER", 8},
    {"SBTYPE_DISPLAY", 9}, {"SBTYPE_DOCKPOINT", 10}, {"SBTYPE_FACECAMERA", 11}, {"SBTYPE_SMALLJET", 12},
    {"NULL", 0}, {"", 0},
};

const DataKeyword kComponentKindNames[] = {
    {"SCTYPE_LASER", 0}, {"SCTYPE_COCKPIT", 1}, {"SCTYPE_DOCKING", 2}, {"NULL", 0}, {"", 0},
};

const DataKeyword kComponentPointFlagNames[] = {
    {"LASERF_ROTATE", 1}, {"NULL", 0}, {"", 0},
};

const DataKeyword kMatchKindNames[] = {
    {"SMTYPE_MINE", 0}, {"NULL", 0}, {"", 0},
};

const DataKeyword kMatchFlagNames[] = {
    {"MATCHF_CUT1", 1}, {"MATCHF_CUT2", 2}, {"MATCHF_CUTMATCH", 4}, {"NULL", 0}, {"", 0},
};
