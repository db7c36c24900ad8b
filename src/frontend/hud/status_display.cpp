// The status texture's read-outs and the laser alerts (see status_display.h). Pure rules over the
// values the display step hands in; all texts go through bounded formatting.
#include "frontend/hud/status_display.h"

#include <cstdio>
#include <cstring>

#include "script/text_database.h"

namespace {

constexpr int32_t kUnitPage = 35;
constexpr int32_t kMetreText = 967;
constexpr int32_t kKilometreText = 966;
constexpr int32_t kSeparatorText = 4285;
constexpr int32_t kUnitsPerMetre = 500;

// A text the database does not hold reads as its not-found marker; the read-out leaves it out.
const char* TextOrEmpty(int32_t id) {
  const char* text = ReadText(kUnitPage, id);
  return text && std::strcmp(text, kTextNotFound) != 0 ? text : "";
}

// (max x fraction + 0.5) in 16.16, in 64 bits so a large max cannot wrap.
int64_t FractionOf(int32_t max, int64_t fraction) {
  return (static_cast<int64_t>(max) * fraction + 0x8000) >> 16;
}

void FormatRaw(char* out, size_t size, int32_t d) {
  if (d >= 100000000) {
    std::snprintf(out, size, "%d M", d / 1000000);
  } else if (d >= 10000000) {
    std::snprintf(out, size, "%3.1f M", d * 0.000001);
  } else if (d >= 1000000) {
    std::snprintf(out, size, "%1.3f M", d * 0.000001);
  } else if (d >= 100000) {
    std::snprintf(out, size, "%3.1f K", d * 0.001);
  } else if (d >= 10001) {
    std::snprintf(out, size, "%2.2f K", d * 0.001);
  } else if (d >= 1001) {
    std::snprintf(out, size, "%1.3f K", d * 0.001);
  } else {
    std::snprintf(out, size, "%d", d);
  }
}

void FormatMetres(char* out, size_t size, int32_t d, const DistanceUnits& units) {
  const int32_t m = d / kUnitsPerMetre;
  if (m < 1000) {
    std::snprintf(out, size, "%d %s", m, units.metre);
  } else if (m < 10000) {
    std::snprintf(out, size, "%d%s%02d%s", m / 1000, units.separator, (m % 1000) / 10, units.kilometre);
  } else if (m < 100000) {
    std::snprintf(out, size, "%d%s%d%s", m / 1000, units.separator, (m % 1000) / 100, units.kilometre);
  } else {
    std::snprintf(out, size, "%d%s", m / 1000, units.kilometre);
  }
}

}  // namespace

DistanceUnits ReadDistanceUnits() {
  return {TextOrEmpty(kMetreText), TextOrEmpty(kKilometreText), TextOrEmpty(kSeparatorText)};
}

void FormatDistanceText(char* out, size_t size, int32_t d, bool rawUnits, const DistanceUnits& units) {
  if (!out || size == 0) return;
  if (rawUnits) {
    FormatRaw(out, size, d);
  } else {
    FormatMetres(out, size, d, units);
  }
}

bool LaserLowStep(uint32_t* laserLowFlag, int32_t energy, int32_t max) {
  if (*laserLowFlag == 0) {
    if (energy < FractionOf(max, 6553)) {
      *laserLowFlag = 1;
      return true;
    }
    return false;
  }
  if (energy > FractionOf(max, 19660)) *laserLowFlag = 0;
  return false;
}

const char* LaserRangeStep(uint32_t* inRangeFlag, bool inRange, bool hostile, uint16_t trackMode) {
  const bool announce = hostile && trackMode == 3;
  if (inRange && *inRangeFlag == 0) {
    *inRangeFlag = 1;
    return announce ? kNotifyIntoLaserRange : nullptr;
  }
  if (!inRange && *inRangeFlag == 1) {
    *inRangeFlag = 0;
    return announce ? kNotifyOutofLaserRange : nullptr;
  }
  return nullptr;
}
