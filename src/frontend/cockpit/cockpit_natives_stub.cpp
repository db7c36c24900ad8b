// The least form of the cockpit natives: the cockpit and monitor numbers are stored and read, and
// every other native answers 0 and changes nothing; the message display and the nav map only
// hide their slots. Called by the INS_ dispatcher and the cockpit's teardown; never waits.
#include "frontend/cockpit/cockpit_natives.h"

#include "frontend/cockpit/cockpit.h"
#include "frontend/cockpit/cockpit_slots.h"
#include "script/engine.h"

namespace {

constexpr int32_t kSetCockpitNumber = 25;
constexpr int32_t kGetCockpitNumber = 26;
constexpr int32_t kSetMonitorNumber = 27;
constexpr int32_t kGetMonitorNumber = 28;

}  // namespace

void RunCockpitNative(GuiMaster* master, ScriptTask* task, int32_t function, int32_t argCount,
                      const ScriptValue* args) {
  auto intArg = [&](int32_t i) { return args && i < argCount ? args[i].i : 0; };
  CockpitRecord* cockpit = CockpitFromHandle(master, static_cast<uint32_t>(intArg(0)));
  int32_t answer = 0;
  switch (function) {
    case kSetCockpitNumber:
      if (cockpit) cockpit->cockpitNumber = intArg(1) < 0 ? 0 : intArg(1);
      break;
    case kGetCockpitNumber:
      if (cockpit) answer = cockpit->cockpitNumber;
      break;
    case kSetMonitorNumber:
      if (cockpit) cockpit->monitorNumber = intArg(1);
      break;
    case kGetMonitorNumber:
      answer = cockpit ? cockpit->monitorNumber : -1;
      break;
    default:
      break;
  }
  ReturnInt(task, gScriptEngine, answer);
}

void INS_CockpitDisplayMessage(CockpitRecord* cockpit, const char*) {
  for (CockpitSlot& slot : cockpit->messages.slots) HideSlot(&slot);
}

void INS_CockpitSetNavMap(CockpitRecord* cockpit, int32_t) {
  for (CockpitSlot& slot : cockpit->navMap.slots) HideSlot(&slot);
}
