// Script value and container speed: the copy/release pair the interpreter runs for every
// instruction (integers must stay allocation-free), shared string copies, and table set/find
// with integer keys through the rehash steps.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdlib>

#include "core/memory.h"
#include "script/containers.h"
#include "script/engine.h"

namespace {

ScriptEngine* Engine() {
  static ScriptEngine* engine = [] {
    auto* e = static_cast<ScriptEngine*>(MemCalloc(sizeof(ScriptEngine)));
    InitEngineContext(e);
    return e;
  }();
  gScriptEngine = engine;
  return engine;
}

int32_t TableKeys() { return std::getenv("KORVANE_BENCH_SMOKE") ? 1000 : 100000; }

void BM_CopyReleaseInt(benchmark::State& state) {
  Engine();
  ScriptValue src{}, dest{};
  SetValueInt(&src, 7);
  uint32_t allocations = gMemCounters.allocationCount;
  for (auto _ : state) {
    CopyValue(&dest, &src);
    benchmark::DoNotOptimize(dest);
    ReleaseValue(&dest);
  }
  if (gMemCounters.allocationCount != allocations) state.SkipWithError("integer copies allocated");
}
BENCHMARK(BM_CopyReleaseInt);

void BM_CopyReleaseString(benchmark::State& state) {
  Engine();
  ScriptValue src{}, dest{};
  SetValueString(&src, "shared text");
  for (auto _ : state) {
    CopyValue(&dest, &src);
    benchmark::DoNotOptimize(dest);
    ReleaseValue(&dest);
  }
  ReleaseValue(&src);
}
BENCHMARK(BM_CopyReleaseString);

void BM_TableSetFind(benchmark::State& state) {
  Engine();
  int32_t n = TableKeys();
  for (auto _ : state) {
    ScriptValue table{}, key{};
    AllocTableValue(&table);
    for (int32_t k = 0; k < n; ++k) {
      SetValueInt(&key, k);
      TableSet(&table, &key, &key);
    }
    for (int32_t k = 0; k < n; ++k) {
      SetValueInt(&key, k);
      benchmark::DoNotOptimize(TableFindEntry(&table, &key));
    }
    ReleaseValue(&table);
  }
  state.SetItemsProcessed(state.iterations() * n);
}
BENCHMARK(BM_TableSetFind)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
