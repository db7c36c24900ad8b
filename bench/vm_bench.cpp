// Our byte-code VM against Lua 5.4 on the same three programs: an integer loop, recursive calls
// (Fibonacci) and table writes then reads. Each program is assembled and loaded once, then
// called per iteration as the engine calls a script function; Lua runs the equivalent chunk.
// After the run the time ratio (Lua time / our time, above 1 means we are faster) is printed.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>

#include <lua.hpp>

#include "asm/assembler.h"
#include "core/memory.h"
#include "script/engine.h"
#include "script/interpreter.h"
#include "script/loader.h"

namespace {

bool Smoke() { return std::getenv("KORVANE_BENCH_SMOKE") != nullptr; }
int32_t LoopCount() { return Smoke() ? 1000 : 1000000; }
int32_t FibArgument() { return Smoke() ? 10 : 25; }
int32_t TableCount() { return Smoke() ? 1000 : 100000; }

const char kProgram[] = R"(
.func Loop loop frame=8 params=1
.func Fib fib frame=8 params=1
.func Tab tab frame=8 params=1
loop: check 8
  push0
  push0
lt: ldl 1
  ldl 7
  jnlt ld
  ldl 2
  ldl 2
  add
  stl 3
  pop
  ldl 1
  push1
  add
  stl 2
  pop
  jmp lt
ld: pop
  ret
fib: check 8
  ldl 4
  push2
  jnlt fr
  ldl 4
  ret
fr: ldl 4
  push1
  sub
  push1
  call fib
  ldl 5
  push2
  sub
  push1
  call fib
  add
  ret
tab: check 8
  mktable 0
  push0
w: ldl 1
  ldl 7
  jnlt wd
  ldl 1
  ldl 2
  stell 4
  pop
  ldl 1
  push1
  add
  stl 2
  pop
  jmp w
wd: pop
  push0
  push0
r: ldl 1
  ldl 8
  jnlt rd
  ldl 1
  ldell 4
  ldl 3
  add
  stl 3
  pop
  ldl 1
  push1
  add
  stl 2
  pop
  jmp r
rd: pop
  mvl 2
  ret
)";

const char kLuaProgram[] = R"(
function loop(n)
  local s, i = 0, 0
  while i < n do s = s + i; i = i + 1 end
  return s
end
function fib(n)
  if n < 2 then return n end
  return fib(n - 1) + fib(n - 2)
end
function tab(n)
  local t, i = {}, 0
  while i < n do t[i] = i; i = i + 1 end
  local s = 0
  i = 0
  while i < n do s = s + t[i]; i = i + 1 end
  return s
end
)";

int32_t gAnswer = 0;
int32_t CatchAnswer(uint32_t, int32_t value) {
  gAnswer = value;
  return 0;
}

struct Vm {
  ScriptEngine* engine = nullptr;
  int32_t module = 0;
  bool ok = false;

  Vm() {
    engine = static_cast<ScriptEngine*>(MemCalloc(sizeof(ScriptEngine)));
    if (!engine || !InitEngineContext(engine)) return;
    static const char* const kNoNames[] = {nullptr};
    module = RegisterNativeModule(engine, nullptr, kNoNames, CatchAnswer, nullptr, nullptr);
    AsmResult r = Assemble(kProgram);
    if (!r.ok) {
      std::fprintf(stderr, "vm_bench: %s\n", r.error.c_str());
      return;
    }
    ok = LoadScriptStoreFromMemory(engine, "bench", r.bytes.data(), uint32_t(r.bytes.size()));
  }
  ~Vm() {
    if (!engine) return;
    UnloadScriptStore(engine);
    FreeEngineTables(engine);
    MemFree(engine, sizeof(ScriptEngine), 0);
    gScriptEngine = nullptr;
  }

  // Calls a global function with one int argument, as the engine's calls do; gives its answer.
  int32_t Call(const char* name, int32_t argument) {
    const ScriptClassRecord* global = &engine->classes[0];
    const MethodRecord* method = nullptr;
    for (uint32_t k = 0; k < global->methodCount; ++k)
      if (std::strcmp(engine->stringPool + global->methods[k].name, name) == 0) method = &global->methods[k];
    if (!method) return -1;
    ScriptTask* task = NewTask(engine, int32_t(method->frameSize + method->paramCount + 7));
    if (!task) return -1;
    ScriptValue* top = task->stackTop;
    SetValueInt(--top, argument);
    SetValueInt(--top, 1);
    SetValueCodeAddress(--top, 0);
    --top;
    top->type = kValueObject;
    top->object = nullptr;
    task->sp = int32_t(top - task->stackTop);
    task->pc = method->codeOffset;
    task->thisObject = &engine->classes[0];
    task->callerModule = module;
    task->resultKind = kResultInt;
    StartTask(engine, task);
    gAnswer = -1;
    ExecuteByteCode(engine, task);
    return gAnswer;
  }
};

struct Lua {
  lua_State* state = luaL_newstate();
  Lua() {
    luaL_openlibs(state);
    if (luaL_dostring(state, kLuaProgram) != LUA_OK) std::fprintf(stderr, "vm_bench: lua chunk failed\n");
  }
  ~Lua() { lua_close(state); }
  int64_t Call(const char* name, int64_t argument) {
    lua_getglobal(state, name);
    lua_pushinteger(state, argument);
    if (lua_pcall(state, 1, 1, 0) != LUA_OK) return -1;
    int64_t result = lua_tointeger(state, -1);
    lua_pop(state, 1);
    return result;
  }
};

void VmProgram(benchmark::State& state, const char* name, int32_t argument) {
  Vm vm;
  if (!vm.ok) {
    state.SkipWithError("script did not load");
    return;
  }
  for (auto _ : state) benchmark::DoNotOptimize(vm.Call(name, argument));
  state.counters["answer"] = double(vm.Call(name, argument));
}

void LuaProgram(benchmark::State& state, const char* name, int64_t argument) {
  Lua lua;
  for (auto _ : state) benchmark::DoNotOptimize(lua.Call(name, argument));
  state.counters["answer"] = double(int32_t(lua.Call(name, argument)));
}

void BM_Vm_IntegerLoop(benchmark::State& s) { VmProgram(s, "Loop", LoopCount()); }
void BM_Lua_IntegerLoop(benchmark::State& s) { LuaProgram(s, "loop", LoopCount()); }
void BM_Vm_RecursiveCalls(benchmark::State& s) { VmProgram(s, "Fib", FibArgument()); }
void BM_Lua_RecursiveCalls(benchmark::State& s) { LuaProgram(s, "fib", FibArgument()); }
void BM_Vm_TableWritesReads(benchmark::State& s) { VmProgram(s, "Tab", TableCount()); }
void BM_Lua_TableWritesReads(benchmark::State& s) { LuaProgram(s, "tab", TableCount()); }

BENCHMARK(BM_Vm_IntegerLoop)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Lua_IntegerLoop)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Vm_RecursiveCalls)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Lua_RecursiveCalls)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Vm_TableWritesReads)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Lua_TableWritesReads)->Unit(benchmark::kMillisecond);

// Keeps each run's time per iteration and answer so the ratios can be printed, and the two
// machines' answers compared, after the table.
class RatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& run : runs) {
      if (run.iterations <= 0) continue;
      times[run.benchmark_name()] = run.GetAdjustedRealTime();
      auto answer = run.counters.find("answer");
      if (answer != run.counters.end()) answers[run.benchmark_name()] = answer->second.value;
    }
    ConsoleReporter::ReportRuns(runs);
  }
  std::map<std::string, double> times;
  std::map<std::string, double> answers;
};

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  const char* programs[] = {"IntegerLoop", "RecursiveCalls", "TableWritesReads"};
  int status = 0;
  for (const char* program : programs) {
    auto vmAnswer = reporter.answers.find(std::string("BM_Vm_") + program);
    auto luaAnswer = reporter.answers.find(std::string("BM_Lua_") + program);
    if (vmAnswer != reporter.answers.end() && luaAnswer != reporter.answers.end() &&
        vmAnswer->second != luaAnswer->second) {
      std::printf("%-18s answers differ: VM %.0f, Lua %.0f\n", program, vmAnswer->second, luaAnswer->second);
      status = 1;
    }
    auto vm = reporter.times.find(std::string("BM_Vm_") + program);
    auto lua = reporter.times.find(std::string("BM_Lua_") + program);
    if (vm == reporter.times.end() || lua == reporter.times.end() || vm->second <= 0) continue;
    std::printf("%-18s Lua / VM time ratio: %.2f%s\n", program, lua->second / vm->second,
                lua->second >= vm->second ? "" : "  (Lua faster)");
  }
  benchmark::Shutdown();
  return status;
}
