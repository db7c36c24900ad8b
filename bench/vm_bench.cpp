// Our byte-code VM against Lua 5.4 on the same three programs: an integer loop, recursive calls
// (Fibonacci) and table writes then reads. Each program is assembled and loaded once, then
// called per iteration as the engine calls a script function; Lua runs the equivalent chunk in
// two styles: as our byte code reads (`while` loops, global functions) and as Lua is usually
// written (`for` loops, `local` functions). After the Google Benchmark table the three machines
// run interleaved for several rounds and the median time ratio per program is printed (Lua time
// / our time, above 1 means we are faster), each answer compared exactly with ours, then the
// peak heap growth of one table program call on each machine.
//
// KORVANE_VM_BENCH_ONCE=<Loop|Fib|Tab> makes one call of that program on our VM and exits, for
// instruction counts under callgrind; KORVANE_VM_BENCH_CALLS=<n> makes it n calls, for profiles
// that the process start does not swamp.
#include <benchmark/benchmark.h>

#include <malloc.h>
#include <time.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include <lua.hpp>

#include "asm/assembler.h"
#include "core/memory.h"
#include "script/containers.h"
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
local function loop_usual(n)
  local s = 0
  for i = 0, n - 1 do s = s + i end
  return s
end
local function fib_usual(n)
  if n < 2 then return n end
  return fib_usual(n - 1) + fib_usual(n - 2)
end
local function tab_usual(n)
  local t = {}
  for i = 0, n - 1 do t[i] = i end
  local s = 0
  for i = 0, n - 1 do s = s + t[i] end
  return s
end
loopUsual, fibUsual, tabUsual = loop_usual, fib_usual, tab_usual
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
  void Collect() { lua_gc(state, LUA_GCCOLLECT); }
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
void BM_LuaUsual_IntegerLoop(benchmark::State& s) { LuaProgram(s, "loopUsual", LoopCount()); }
void BM_Vm_RecursiveCalls(benchmark::State& s) { VmProgram(s, "Fib", FibArgument()); }
void BM_Lua_RecursiveCalls(benchmark::State& s) { LuaProgram(s, "fib", FibArgument()); }
void BM_LuaUsual_RecursiveCalls(benchmark::State& s) { LuaProgram(s, "fibUsual", FibArgument()); }
void BM_Vm_TableWritesReads(benchmark::State& s) { VmProgram(s, "Tab", TableCount()); }
void BM_Lua_TableWritesReads(benchmark::State& s) { LuaProgram(s, "tab", TableCount()); }
void BM_LuaUsual_TableWritesReads(benchmark::State& s) { LuaProgram(s, "tabUsual", TableCount()); }

BENCHMARK(BM_Vm_IntegerLoop)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Lua_IntegerLoop)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LuaUsual_IntegerLoop)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Vm_RecursiveCalls)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Lua_RecursiveCalls)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LuaUsual_RecursiveCalls)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Vm_TableWritesReads)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Lua_TableWritesReads)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LuaUsual_TableWritesReads)->Unit(benchmark::kMillisecond);

struct Program {
  const char* title;
  const char* vmName;
  const char* luaName;
  const char* luaUsualName;
  int32_t argument;
};

// Processor seconds of this thread: time the machine spent on other programs is not counted.
double ThreadSeconds() {
  timespec now{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
  return double(now.tv_sec) + double(now.tv_nsec) * 1e-9;
}

// Processor seconds per call over `calls` calls, with the last call's answer.
template <typename Call>
double TimeCalls(Call call, int calls, int64_t* answer) {
  double start = ThreadSeconds();
  for (int k = 0; k < calls; ++k) *answer = call();
  return (ThreadSeconds() - start) / calls;
}

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v.empty() ? 0.0 : v[v.size() / 2];
}

// Runs the machines one after the other, round after round, so a slower phase of a shared
// machine weighs on all of them alike; each sample runs enough calls to last about 20 ms of
// processor time. Prints each program's median ratios; returns 1 when an answer differs.
int CompareInterleaved(Vm& vm, Lua& lua, const Program* programs, int count) {
  const int rounds = Smoke() ? 1 : 15;
  int status = 0;
  for (int p = 0; p < count; ++p) {
    const Program& program = programs[p];
    auto ourCall = [&] { return int64_t(vm.Call(program.vmName, program.argument)); };
    auto theirCall = [&] { return int64_t(int32_t(lua.Call(program.luaName, program.argument))); };
    auto theirUsualCall = [&] { return int64_t(int32_t(lua.Call(program.luaUsualName, program.argument))); };
    int64_t ours = 0, theirs = 0, theirsUsual = 0;
    double once = TimeCalls(ourCall, 1, &ours);
    int calls = Smoke() || once <= 0 ? 1 : std::max(1, int(0.02 / once));
    std::vector<double> plain, usual;
    for (int round = 0; round < rounds; ++round) {
      double tVm = TimeCalls(ourCall, calls, &ours);
      double tLua = TimeCalls(theirCall, calls, &theirs);
      double tUsual = TimeCalls(theirUsualCall, calls, &theirsUsual);
      if (ours != theirs || ours != theirsUsual) {
        std::printf("%-18s answers differ: VM %lld, Lua %lld, Lua usual %lld\n", program.title,
                    static_cast<long long>(ours), static_cast<long long>(theirs),
                    static_cast<long long>(theirsUsual));
        status = 1;
      }
      if (tVm > 0) {
        plain.push_back(tLua / tVm);
        usual.push_back(tUsual / tVm);
      }
    }
    std::printf("%-18s Lua / VM time ratio (median of %d): %.2f as our code reads, %.2f as Lua is usually written\n",
                program.title, rounds, Median(plain), Median(usual));
  }
  return status;
}

// Heap growth while one call runs: malloc and friends are wrapped to keep, while a measured
// call runs, the change of the bytes in use (each block's real size plus the allocator's word
// in front of it) and its peak; the timed runs pay nothing for it. Sanitizer builds keep their own allocator and report none.
#if !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)
#define KORVANE_BENCH_HEAP_PEAK 1
#endif

}  // namespace

#ifdef KORVANE_BENCH_HEAP_PEAK
extern "C" {
void* __libc_malloc(size_t);
void* __libc_calloc(size_t, size_t);
void* __libc_realloc(void*, size_t);
void __libc_free(void*);
}
namespace {
bool gHeapWatched = false;
size_t gHeapInUse = 0;  // wraps below its start when blocks older than the call are freed
size_t gHeapPeak = 0;
size_t HeldBytes(void* block) {
  return gHeapWatched && block ? malloc_usable_size(block) + sizeof(size_t) : 0;
}
void HeapGrew(void* block) {
  gHeapInUse += HeldBytes(block);
  if (gHeapWatched && ptrdiff_t(gHeapInUse - gHeapPeak) > 0) gHeapPeak = gHeapInUse;
}
void HeapShrank(void* block) { gHeapInUse -= HeldBytes(block); }
}  // namespace
extern "C" {
void* malloc(size_t size) {
  void* block = __libc_malloc(size);
  HeapGrew(block);
  return block;
}
void* calloc(size_t n, size_t size) {
  void* block = __libc_calloc(n, size);
  HeapGrew(block);
  return block;
}
void* realloc(void* old, size_t size) {
  // The old block counts until the new one exists, as it does in memory when the block moves.
  size_t oldSize = HeldBytes(old);
  void* block = __libc_realloc(old, size);
  if (!block) {
    if (old && size == 0) gHeapInUse -= oldSize;  // the C library freed it
    return nullptr;
  }
  size_t newSize = HeldBytes(block);
  gHeapInUse += newSize;
  if (block == old) gHeapInUse -= oldSize;
  if (gHeapWatched && ptrdiff_t(gHeapInUse - gHeapPeak) > 0) gHeapPeak = gHeapInUse;
  if (block != old) gHeapInUse -= oldSize;
  return block;
}
void free(void* block) {
  HeapShrank(block);
  __libc_free(block);
}
}
#endif

namespace {

// Peak bytes above the heap in use when the call starts.
template <typename Call>
size_t PeakGrowth(Call call) {
#ifdef KORVANE_BENCH_HEAP_PEAK
  gHeapInUse = gHeapPeak = 0;
  gHeapWatched = true;
  call();
  gHeapWatched = false;
  return gHeapPeak;
#else
  call();
  return 0;
#endif
}

}  // namespace

int main(int argc, char** argv) {
  if (const char* once = std::getenv("KORVANE_VM_BENCH_ONCE")) {
    Vm vm;
    if (!vm.ok) return 1;
    int32_t argument = std::strcmp(once, "Fib") == 0 ? FibArgument() : std::strcmp(once, "Tab") == 0 ? TableCount() : LoopCount();
    const char* calls = std::getenv("KORVANE_VM_BENCH_CALLS");
    for (int k = calls ? std::atoi(calls) : 1; k > 1; --k) vm.Call(once, argument);
    std::printf("%s(%d) = %d\n", once, argument, vm.Call(once, argument));
    return 0;
  }
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();

  Vm vm;
  Lua lua;
  if (!vm.ok) return 1;
  const Program programs[] = {
      {"IntegerLoop", "Loop", "loop", "loopUsual", LoopCount()},
      {"RecursiveCalls", "Fib", "fib", "fibUsual", FibArgument()},
      {"TableWritesReads", "Tab", "tab", "tabUsual", TableCount()},
  };
  int status = CompareInterleaved(vm, lua, programs, 3);
#ifdef KORVANE_BENCH_HEAP_PEAK
  // Each machine runs the program once before, so lasting state (our task lists, Lua's
  // string cache) is already there and only what the call itself needs is measured.
  // The entry blocks an earlier table left with the engine would make the call look smaller than
  // a table's real need: they are given back first, and the reuse is shown on its own.
  FreeSpareTableBlocks(vm.engine);
  size_t ours = PeakGrowth([&] { vm.Call("Tab", TableCount()); });
  size_t oursReusing = PeakGrowth([&] { vm.Call("Tab", TableCount()); });
  lua.Collect();
  size_t theirs = PeakGrowth([&] { lua.Call("tab", TableCount()); });
  lua.Collect();
  size_t theirsUsual = PeakGrowth([&] { lua.Call("tabUsual", TableCount()); });
  std::printf("TableWritesReads   peak heap growth: VM %zu bytes, Lua %zu (%.2fx), Lua usual %zu (%.2fx)\n", ours,
              theirs, theirs ? double(ours) / double(theirs) : 0.0, theirsUsual,
              theirsUsual ? double(ours) / double(theirsUsual) : 0.0);
  std::printf("TableWritesReads   peak heap growth reusing the entry blocks the previous call kept: VM %zu bytes\n",
              oursReusing);
#endif
  return status;
}
