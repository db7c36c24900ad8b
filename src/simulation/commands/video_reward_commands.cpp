// The video, timer, client data and reward commands of the `SA_` module (277, 306, 350, 351,
// 353 to 356, 369): scripts show videos on special objects and sectors through the "Videos" rows,
// read the game timer, keep a flags word of their own on the universe and compute mission
// rewards. The dispatcher calls them through the family rows below. Nothing here opens a media
// stream itself: streams are claimed and released through the universe's media row helpers.
#include <cmath>
#include <cstdint>

#include "core/memory.h"
#include "core/system_block.h"
#include "scene/instance.h"
#include "simulation/commands/sa_call.h"
#include "universe/carried_objects.h"
#include "universe/object_classes.h"
#include "universe/object_takes.h"
#include "universe/type_loader.h"
#include "universe/universe.h"
#include "universe/universe_registry.h"

namespace {

// Set while a screen shows something chosen by the sector's pass; a new channel clears it.
constexpr uint32_t kObjFlag2ScreenAssigned = 1u << 22;
constexpr int32_t kVideoRowWords = 7;  // stream handle and six parameters

// The value handed to the screen's media instances for a channel: the channel + 1 for a fixed
// channel, an element + 1 of channel list -1 - channel for a negative one, else 0. An empty list
// passes 0 rather than reading an element it does not have.
int32_t ChannelValue(int32_t channel) {
  if (channel > 0) return channel + 1;
  if (channel == 0) return 0;
  const int64_t list = -1 - int64_t{channel};
  if (!gVideoListTable.lists || list >= gVideoListTable.count) return 0;
  const WordList& channels = gVideoListTable.lists[list];
  if (channels.count <= 0 || !channels.values) return 0;
  return channels.values[RandomBelow(channels.count)] + 1;
}

void SetVideoChannelCommand(SACall* call) {
  SpaceObject* object = SAArgObject(call, 0);
  if (!object || object->objClass != kClassSpecial || !object->ext) return SAAnswerInt(call, 0);
  auto* ext = static_cast<SpecialExt*>(object->ext);
  const int32_t channel = SAArgInt(call, 1);
  ext->screenId = channel;
  const int32_t value = ChannelValue(channel);
  if (object->instance) InstSubtreeCallAttached(object->instance, value);
  ext->shownId = 0;
  object->flags2 &= ~kObjFlag2ScreenAssigned;
  SAAnswerInt(call, 0);
}

void GetTimerCommand(SACall* call) {
  SAAnswerInt(call, SAArgInt(call, 0) == 0 && gSystem ? static_cast<int32_t>(gSystem->gameTime) : 0);
}

void SetClientDataFlagsCommand(SACall* call) {
  if (call->universe) call->universe->clientDataFlags = static_cast<uint32_t>(SAArgInt(call, 0));
  SAAnswerInt(call, 0);
}

void GetClientDataFlagsCommand(SACall* call) {
  SAAnswerInt(call, call->universe ? static_cast<int32_t>(call->universe->clientDataFlags) : 0);
}

void StartVideoCommand(SACall* call) { SAAnswerInt(call, FindIdRowAndClaimStream(SAArgInt(call, 0), SAArgInt(call, 1))); }

// A row index outside the table names no stream: nothing is released.
void StopVideoCommand(SACall* call) {
  const int32_t row = SAArgInt(call, 0);
  if (gVideoTable.rows && row >= 0 && row < gVideoTable.count) {
    ObjReleaseMediaStream(SAArgInt(call, 1), MediaRowOwner(row));
  }
  SAAnswerInt(call, 0);
}

void PauseVideoCommand(SACall* call) {
  SectorsSuspendMedia(SAArgInt(call, 0) != 0);
  SAAnswerInt(call, 0);
}

void FindVideoCommand(SACall* call) {
  const int32_t row = FindVideoRow(SAArgInt(call, 0));
  if (row < 0) return SAAnswerInt(call, 0);
  SAAnswerIntArray(call, gVideoTable.rows[row].value, kVideoRowWords);
}

double RankFactor(double level) { return 11.0 * level * level - 23.0 * level + 16.0; }

// The reward of variant 0: a base from the level, one term per flagged part, scattered by one
// draw of the game's generator between 0.75 and 1.25 of the mean. Flags naming no part answer 0
// instead of dividing by a count of none.
double MissionReward(const SACall* call) {
  const uint32_t flags = static_cast<uint32_t>(SAArgInt(call, 2));
  if (flags == 0) return 0.0;
  auto a = [call](int32_t i) { return static_cast<double>(SAArgInt(call, i)); };
  const double base = std::pow(2.154, a(1)) * 232.41;
  double sum = 0.0;
  int32_t parts = 0;
  if (flags & 1u) {
    sum += (std::pow(1.23, a(4)) * 2.3 - 1.3) * base;
    ++parts;
  }
  if (flags & 2u) {
    sum += (std::pow(1.23, a(3)) * 2.3 - 1.3) * base;
    ++parts;
  }
  if (flags & 4u) {
    sum += (a(6) * a(6) * 0.1 - a(6) * 0.028 + 0.98) * base;
    ++parts;
  }
  if (flags & 8u) {
    sum += std::pow(2.35, a(7)) * std::pow(1.15, a(5)) * 0.5 * 0.7 * base;
    ++parts;
  }
  const int32_t scatter = 7500 + GameRand() * 5001 / 32768;
  if (parts == 0) return 0.0;
  return scatter * sum / (parts * 10000.0);
}

double CalcReward(const SACall* call) {
  const double level = SAArgInt(call, 1);
  switch (static_cast<uint32_t>(SAArgInt(call, 0))) {
    case 0:
      return MissionReward(call);
    case 1: {
      const double shifted = SAArgInt(call, 5) + 5.0;
      return (0.7 * shifted * shifted - 21.5 * shifted + 165.0) * RankFactor(level) * 0.01;
    }
    case 2:
    case 3: {
      const double x = SAArgInt(call, SAArgInt(call, 0) == 2 ? 4 : 3);
      return (0.07 * x * x - 4.5 * x + 75.0) * RankFactor(level) * 0.01;
    }
    default:
      return 0.0;
  }
}

// Out-of-range results saturate instead of converting undefined.
void CalcRewardCommand(SACall* call) {
  const double reward = CalcReward(call);
  if (!(reward > -2147483648.0)) return SAAnswerInt(call, reward < 0 ? INT32_MIN : 0);
  SAAnswerInt(call, reward >= 2147483647.0 ? INT32_MAX : static_cast<int32_t>(reward));
}

}  // namespace

extern const SACommandRow kVideoRewardCommands[9] = {
    {277, SetVideoChannelCommand},    {306, GetTimerCommand},    {350, SetClientDataFlagsCommand},
    {351, GetClientDataFlagsCommand}, {353, StartVideoCommand},  {354, StopVideoCommand},
    {355, PauseVideoCommand},         {356, FindVideoCommand},   {369, CalcRewardCommand},
};
