// Handle-table speed against std::unordered_map: inserting, finding and removing a million
// integer keys, both as the key counter hands them out (1, 2, 3, ...) and scattered over the key
// range. Find goes through the inline HashGet walk, FindCall through the HashLookup call. Prints
// our time over the standard map's time per phase; below 1.0 means faster.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>
#include <unordered_map>
#include <vector>

#include "core/hash_table.h"

namespace {

uint32_t KeyCount() { return std::getenv("KORVANE_BENCH_SMOKE") ? 10000 : 1000000; }

// Scattered keys: a multiplicative walk over 1..0x7FFFFFFE, distinct and never 0.
std::vector<uint32_t> MakeKeys(bool scattered) {
  uint32_t n = KeyCount();
  std::vector<uint32_t> keys(n);
  for (uint32_t i = 0; i < n; ++i) {
    keys[i] = scattered ? static_cast<uint32_t>((uint64_t(i + 1) * 2654435761u) % 0x7FFFFFFD) + 1 : i + 1;
  }
  return keys;
}

const std::vector<uint32_t>& Keys(bool scattered) {
  static const std::vector<uint32_t> sequential = MakeKeys(false);
  static const std::vector<uint32_t> spread = MakeKeys(true);
  return scattered ? spread : sequential;
}

using StdMap = std::unordered_map<uint32_t, uintptr_t>;

void FillTable(HashTable* table, const std::vector<uint32_t>& keys) {
  for (uint32_t k : keys) HashInsert(table, k, k);
}

void FillMap(StdMap* map, const std::vector<uint32_t>& keys) {
  for (uint32_t k : keys) map->emplace(k, k);
}

void BM_Insert_HashTable(benchmark::State& state) {
  const auto& keys = Keys(state.range(0));
  for (auto _ : state) {
    HashTable* table = HashCreate();
    FillTable(table, keys);
    benchmark::DoNotOptimize(table->entryCount);
    state.PauseTiming();
    HashDestroy(table);
    state.ResumeTiming();
  }
  state.SetItemsProcessed(state.iterations() * keys.size());
}

void BM_Insert_StdMap(benchmark::State& state) {
  const auto& keys = Keys(state.range(0));
  for (auto _ : state) {
    auto* map = new StdMap;
    FillMap(map, keys);
    benchmark::DoNotOptimize(map->size());
    state.PauseTiming();
    delete map;
    state.ResumeTiming();
  }
  state.SetItemsProcessed(state.iterations() * keys.size());
}

void BM_Find_HashTable(benchmark::State& state) {
  const auto& keys = Keys(state.range(0));
  HashTable* table = HashCreate();
  FillTable(table, keys);
  for (auto _ : state) {
    uintptr_t sum = 0;
    for (uint32_t k : keys) sum += HashGet(table, k);
    benchmark::DoNotOptimize(sum);
  }
  HashDestroy(table);
  state.SetItemsProcessed(state.iterations() * keys.size());
}

// The same finds through the out-of-line HashLookup, for callers that want the entry.
void BM_FindCall_HashTable(benchmark::State& state) {
  const auto& keys = Keys(state.range(0));
  HashTable* table = HashCreate();
  FillTable(table, keys);
  for (auto _ : state) {
    uintptr_t sum = 0;
    for (uint32_t k : keys) sum += HashLookup(table, k)->value;
    benchmark::DoNotOptimize(sum);
  }
  HashDestroy(table);
  state.SetItemsProcessed(state.iterations() * keys.size());
}

void BM_FindCall_StdMap(benchmark::State& state) {
  const auto& keys = Keys(state.range(0));
  StdMap map;
  FillMap(&map, keys);
  for (auto _ : state) {
    uintptr_t sum = 0;
    for (uint32_t k : keys) sum += map.find(k)->second;
    benchmark::DoNotOptimize(sum);
  }
  state.SetItemsProcessed(state.iterations() * keys.size());
}

void BM_Find_StdMap(benchmark::State& state) {
  const auto& keys = Keys(state.range(0));
  StdMap map;
  FillMap(&map, keys);
  for (auto _ : state) {
    uintptr_t sum = 0;
    for (uint32_t k : keys) sum += map.find(k)->second;
    benchmark::DoNotOptimize(sum);
  }
  state.SetItemsProcessed(state.iterations() * keys.size());
}

void BM_Remove_HashTable(benchmark::State& state) {
  const auto& keys = Keys(state.range(0));
  for (auto _ : state) {
    state.PauseTiming();
    HashTable* table = HashCreate();
    FillTable(table, keys);
    state.ResumeTiming();
    for (uint32_t k : keys) HashRemove(table, k);
    benchmark::DoNotOptimize(table->entryCount);
    state.PauseTiming();
    HashDestroy(table);
    state.ResumeTiming();
  }
  state.SetItemsProcessed(state.iterations() * keys.size());
}

void BM_Remove_StdMap(benchmark::State& state) {
  const auto& keys = Keys(state.range(0));
  for (auto _ : state) {
    state.PauseTiming();
    auto* map = new StdMap;
    FillMap(map, keys);
    state.ResumeTiming();
    for (uint32_t k : keys) map->erase(k);
    benchmark::DoNotOptimize(map->size());
    state.PauseTiming();
    delete map;
    state.ResumeTiming();
  }
  state.SetItemsProcessed(state.iterations() * keys.size());
}

// Argument: 0 for counter-made keys, 1 for scattered keys.
BENCHMARK(BM_Insert_HashTable)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Insert_StdMap)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Find_HashTable)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Find_StdMap)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FindCall_HashTable)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FindCall_StdMap)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Remove_HashTable)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Remove_StdMap)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

// Collects each run's time per iteration so the ratios can be printed after the table.
class RatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& run : runs) {
      if (run.run_type == Run::RT_Iteration && !run.error_occurred) {
        times_[run.benchmark_name()] = run.GetAdjustedRealTime();
      }
    }
    ConsoleReporter::ReportRuns(runs);
  }

  void PrintRatios() const {
    std::printf("\nHashTable time / std::unordered_map time (below 1.0: HashTable faster)\n");
    for (const char* phase : {"Insert", "Find", "FindCall", "Remove"}) {
      for (const char* arg : {"0", "1"}) {
        std::string ours = std::string("BM_") + phase + "_HashTable/" + arg;
        std::string theirs = std::string("BM_") + phase + "_StdMap/" + arg;
        auto a = times_.find(ours);
        auto b = times_.find(theirs);
        if (a == times_.end() || b == times_.end() || b->second <= 0) continue;
        std::printf("  %-8s %-10s keys: %.3f\n", phase, arg[0] == '0' ? "counter" : "scattered",
                    a->second / b->second);
      }
    }
  }

 private:
  std::map<std::string, double> times_;
};

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  reporter.PrintRatios();
  benchmark::Shutdown();
  return 0;
}
