// Memory manager: counters per category and flag, the low-memory hook, resizing, page blocks,
// accounted strings, the UTF-8 and text helpers and the game's random generator.
#include "core/memory.h"

#include <gtest/gtest.h>

#include <cstring>

#include "platform/heap.h"
#include "platform/memory_status.h"
#include "platform/virtual_memory.h"

namespace {

struct CounterSnapshot {
  uint32_t current, total, count, category[128];
  CounterSnapshot() {
    current = gMemCounters.currentBytes;
    total = gMemCounters.totalBytes;
    count = gMemCounters.allocationCount;
    std::memcpy(category, gMemCounters.categoryBytes, sizeof category);
  }
};

bool AllZero(const void* p, size_t n) {
  const unsigned char* b = static_cast<const unsigned char*>(p);
  for (size_t i = 0; i < n; ++i)
    if (b[i]) return false;
  return true;
}

TEST(Memory, CountsEachAllocationInItsCategoryUnlessUncounted) {
  struct Case {
    uint32_t flags;
    size_t size;
    bool counted;
    uint32_t category;
  };
  const Case kCases[] = {
      {0, 100, true, 0},
      {MemCategoryFlags(kMemCatScript), 64, true, 1},
      {MemCategoryFlags(127), 8, true, 127},
      {kMemUncounted, 100, false, 0},
      {kMemUncounted2 | MemCategoryFlags(3), 100, false, 3},
  };
  for (const Case& c : kCases) {
    CounterSnapshot before;
    void* p = MemAlloc(c.size, c.flags);
    ASSERT_NE(p, nullptr);
    EXPECT_TRUE(AllZero(p, c.size));
    uint32_t expect = c.counted ? static_cast<uint32_t>(c.size) : 0;
    EXPECT_EQ(gMemCounters.currentBytes - before.current, expect) << c.flags;
    EXPECT_EQ(gMemCounters.totalBytes - before.total, expect);
    EXPECT_EQ(gMemCounters.categoryBytes[c.category] - before.category[c.category], expect);
    EXPECT_EQ(gMemCounters.allocationCount - before.count, c.counted ? 1u : 0u);
    // Freeing with the allocation's size and flags puts the current bytes back.
    MemFree(p, c.counted ? c.size : 0, c.flags);
    EXPECT_EQ(gMemCounters.currentBytes, before.current);
    EXPECT_EQ(gMemCounters.categoryBytes[c.category], before.category[c.category]);
    EXPECT_EQ(gMemCounters.totalBytes - before.total, expect) << "total never drops";
  }
}

TEST(Memory, ZeroSizeBlocksAndUncountedFree) {
  CounterSnapshot before;
  void* p = MemAlloc(0, 0);
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(gMemCounters.allocationCount - before.count, 1u);
  MemFree(p, 0, 0);  // counted block with size 0: left allocated (LSan would report a free twice)
  CounterSnapshot middle;
  MemFree(p, 0, kMemUncounted);  // frees, changes no counter
  EXPECT_EQ(gMemCounters.currentBytes, middle.current);
  EXPECT_EQ(gMemCounters.allocationCount, middle.count);
  MemFree(nullptr, 10, 0);
}

int gHookCalls = 0;
void CountingHook() { ++gHookCalls; }

TEST(Memory, LowMemoryHookRunsOnceThenAllocationRetries) {
  SetLowMemoryHook(CountingHook);
  gHookCalls = 0;
  OsFailNextHeapRequests(1);
  char* p = static_cast<char*>(MemAlloc(32, 0));
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(gHookCalls, 1);
  EXPECT_TRUE(AllZero(p, 32));
  MemFree(p, 32, 0);

  gHookCalls = 0;
  OsFailNextHeapRequests(2);
  CounterSnapshot before;
  EXPECT_EQ(MemAlloc(32, 0), nullptr);
  EXPECT_EQ(gHookCalls, 1);
  EXPECT_EQ(gMemCounters.allocationCount, before.count) << "a failed allocation counts nothing";
  SetLowMemoryHook(nullptr);
}

int gReentrantCalls = 0;
void AllocatingHook() {
  ++gReentrantCalls;
  OsFailNextHeapRequests(2);
  EXPECT_EQ(MemAlloc(16, 0), nullptr);  // fails and must not call this hook again
}

TEST(Memory, HookThatAllocatesAndFailsIsNotReentered) {
  SetLowMemoryHook(AllocatingHook);
  gReentrantCalls = 0;
  OsFailNextHeapRequests(1);
  void* p = MemAlloc(16, 0);
  EXPECT_EQ(gReentrantCalls, 1);
  // The hook left failures pending for its own attempt; whatever remains is cleared here.
  OsFailNextHeapRequests(0);
  if (p) MemFree(p, 16, 0);
  SetLowMemoryHook(nullptr);
}

TEST(Memory, ReallocZeroesGrowthAndCountsTheDifference) {
  char* p = static_cast<char*>(MemAlloc(10, 0));
  std::memset(p, 'x', 10);
  CounterSnapshot before;
  p = static_cast<char*>(MemRealloc(p, 10, 30, 0));
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(std::string(p, 10), std::string(10, 'x'));
  EXPECT_TRUE(AllZero(p + 10, 20));
  EXPECT_EQ(gMemCounters.currentBytes - before.current, 20u);
  EXPECT_EQ(gMemCounters.totalBytes - before.total, 30u);
  EXPECT_EQ(gMemCounters.allocationCount - before.count, 1u);
  p = static_cast<char*>(MemRealloc(p, 30, 10, 0));
  EXPECT_EQ(gMemCounters.currentBytes, before.current);
  MemFree(p, 10, 0);
}

TEST(Memory, FailedReallocKeepsTheOldBlock) {
  char* p = static_cast<char*>(MemAlloc(10, 0));
  std::memcpy(p, "abcdefghi", 10);
  CounterSnapshot before;
  OsFailNextHeapRequests(1);
  EXPECT_EQ(MemRealloc(p, 10, 1000, 0), nullptr);
  EXPECT_STREQ(p, "abcdefghi");
  EXPECT_EQ(gMemCounters.currentBytes, before.current);
  MemFree(p, 10, 0);
}

TEST(Memory, ReallocOfUncountedBlockCountsGrowthInCategory15) {
  void* p = MemAlloc(10, kMemUncounted);
  size_t real = OsHeapBlockSize(p);
  CounterSnapshot before;
  p = MemRealloc(p, 10, 4096, kMemUncounted);
  ASSERT_NE(p, nullptr);
  uint32_t growth = static_cast<uint32_t>(4096 - real);
  EXPECT_EQ(gMemCounters.categoryBytes[kMemCatResizedUncounted] - before.category[15], growth);
  EXPECT_EQ(gMemCounters.categoryBytes[0], before.category[0]);
  EXPECT_EQ(gMemCounters.currentBytes - before.current, growth);
  // Give it back the way the resize counted it so the figures stay balanced for other tests.
  MemFree(p, growth, MemCategoryFlags(kMemCatResizedUncounted));
}

TEST(Memory, PageBufferReservesCommitsInPlaceAndDecommits) {
  GetPageSize();
  const size_t page = gMemCounters.pageSize;
  ASSERT_GT(page, 0u);
  const uint32_t flags = kMemPage | MemCategoryFlags(kMemCatCut);
  CounterSnapshot before;
  char* base = static_cast<char*>(MemAlloc(64 * page, kMemPage | kMemReserveOnly));
  ASSERT_NE(base, nullptr);
  EXPECT_EQ(gMemCounters.allocationCount, before.count) << "a reservation is not counted";

  char* grown = static_cast<char*>(MemRealloc(base, 0, 3 * page + 1, flags));
  ASSERT_EQ(grown, base) << "page buffers never move";
  EXPECT_TRUE(AllZero(grown, 3 * page + 1));
  std::memset(grown, 7, 3 * page + 1);
  EXPECT_EQ(gMemCounters.categoryBytes[kMemCatCut] - before.category[kMemCatCut], 3 * page + 1);

  grown = static_cast<char*>(MemRealloc(base, 3 * page + 1, 8 * page, flags));
  ASSERT_EQ(grown, base);
  EXPECT_EQ(grown[3 * page], 7);
  EXPECT_TRUE(AllZero(grown + 3 * page + 1, 5 * page - 1));

  grown = static_cast<char*>(MemRealloc(base, 8 * page, page, flags));
  ASSERT_EQ(grown, base);
  EXPECT_EQ(grown[0], 7);

  MemFree(base, page, kMemPage | kMemReserveOnly | MemCategoryFlags(kMemCatCut));
  EXPECT_EQ(gMemCounters.categoryBytes[kMemCatCut], before.category[kMemCatCut]);
  EXPECT_TRUE(OsRelease(base));
  EXPECT_FALSE(OsRelease(base)) << "a released region is gone from the table";
}

TEST(Memory, CommittedPageBlockIsReleasedWhole) {
  CounterSnapshot before;
  void* p = MemAlloc(10000, kMemPage);
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(gMemCounters.currentBytes - before.current, 10000u);
  MemFree(p, 10000, kMemPage);  // release returns at once and leaves the counters alone
  EXPECT_EQ(gMemCounters.currentBytes - before.current, 10000u);
  gMemCounters.currentBytes = before.current;
  gMemCounters.categoryBytes[0] = before.category[0];
  EXPECT_FALSE(OsRelease(p));
}

TEST(Memory, FailedReserveReturnsNullWithoutHook) {
  SetLowMemoryHook(CountingHook);
  gHookCalls = 0;
  OsFailNextPageRequests(1);
  EXPECT_EQ(MemAlloc(4096, kMemPage | kMemReserveOnly), nullptr);
  EXPECT_EQ(gHookCalls, 0);
  SetLowMemoryHook(nullptr);
}

TEST(Memory, EnoughMemoryWhenEitherFigureOrTheirSumReaches256MiB) {
  constexpr uint64_t MiB = 1024 * 1024;
  struct Case {
    uint64_t physical, pageFile;
    bool enough;
  };
  const Case kCases[] = {
      {100 * MiB, 200 * MiB, true}, {256 * MiB, 0, true},          {0, 256 * MiB, true},
      {100 * MiB, 100 * MiB, false}, {255 * MiB, 1 * MiB - 1, false}, {0, 0, false},
  };
  for (const Case& c : kCases) {
    OsMemoryStatus s{8192 * MiB, c.physical, 0, c.pageFile};
    OsOverrideMemoryStatus(&s);
    EXPECT_EQ(HasEnoughMemory(), c.enough) << c.physical / MiB << " + " << c.pageFile / MiB;
  }
  OsOverrideMemoryStatus(nullptr);
}

TEST(AccountedStrings, FreeReplaceAndCopyKeepTheCountersRight) {
  CounterSnapshot before;
  EXPECT_EQ(FreeString(nullptr), nullptr);
  EXPECT_EQ(gMemCounters.currentBytes, before.current);

  char* s = ReplaceString(nullptr, "hello");
  ASSERT_STREQ(s, "hello");
  EXPECT_EQ(gMemCounters.categoryBytes[0] - before.category[0], 6u);

  s = ReplaceStringN(0, s, "abc");
  ASSERT_STREQ(s, "");
  EXPECT_EQ(gMemCounters.currentBytes - before.current, 1u);

  s = ReplaceStringN(5, s, "abc");
  EXPECT_STREQ(s, "abc");
  s = ReplaceStringN(2, s, "abc");
  EXPECT_STREQ(s, "ab");

  s = ReplaceString(s, s);  // replacing a text by itself must not read freed memory
  EXPECT_STREQ(s, "ab");

  s = ReplaceString(s, nullptr);
  EXPECT_EQ(s, nullptr);
  EXPECT_EQ(gMemCounters.currentBytes, before.current);
  EXPECT_EQ(gMemCounters.categoryBytes[0], before.category[0]);
}

TEST(TextUtilities, Utf8Helpers) {
  const char* mixed = "a\xC3\xA4\xE2\x82\xAC" "b";  // a, a-umlaut (2 bytes), euro (3 bytes), b
  struct ClampCase {
    size_t n, expect;
  };
  const ClampCase kClamp[] = {{0, 0}, {1, 0}, {2, 1}, {3, 1}, {4, 3}, {5, 3}, {6, 3}, {7, 6}, {99, 6}};
  for (const ClampCase& c : kClamp) EXPECT_EQ(Utf8ClampLength(mixed, c.n), c.expect) << c.n;
  EXPECT_EQ(Utf8ClampLength("", 5), 0u);

  EXPECT_EQ(Utf8NextChar(mixed, 0), 1u);
  EXPECT_EQ(Utf8NextChar(mixed, 1), 3u);
  EXPECT_EQ(Utf8NextChar(mixed, 3), 6u);
  EXPECT_EQ(Utf8NextChar(mixed, 6), 7u);
  EXPECT_EQ(Utf8NextChar(mixed, 50), 7u);

  struct LengthCase {
    const char* text;
    size_t expect;
  };
  const LengthCase kLength[] = {
      {"", 0}, {mixed, 4}, {"x\x1B" "Ay", 2}, {"\x1B", 0}, {"\x1B\xC3\xA4z", 1},
  };
  for (const LengthCase& c : kLength) EXPECT_EQ(Utf8Length(c.text), c.expect) << c.text;

  struct EncodeCase {
    uint16_t code;
    const char* bytes;
  };
  const EncodeCase kEncode[] = {{0x41, "A"}, {0x7F, "\x7F"}, {0xE4, "\xC3\xA4"},
                                {0x7FF, "\xDF\xBF"}, {0x20AC, "\xE2\x82\xAC"}, {0xFFFF, "\xEF\xBF\xBF"}};
  for (const EncodeCase& c : kEncode) {
    char out[4] = {};
    char* end = Utf8EncodeChar(out, c.code);
    EXPECT_EQ(std::string(out, end), std::string(c.bytes)) << c.code;
  }
}

TEST(TextUtilities, NamesPathsAndBlanks) {
  EXPECT_EQ(CompareEntryNames("ABC", "ABD"), -1);
  EXPECT_EQ(CompareEntryNames("ABC", "ABC"), 0);
  EXPECT_EQ(CompareEntryNames("\xE4", "z"), 1) << "bytes compare unsigned";

  char path[] = "types/TShips-l049.txt";
  NormalizePathUpper(path);
  EXPECT_STREQ(path, "TYPES\\TSHIPS-L049.TXT");

  // Texts longer than a 16-bit position must be handled whole.
  std::string long_text(70000, 'a');
  long_text[69999] = '/';
  NormalizePathUpper(long_text.data());
  EXPECT_EQ(long_text[69998], 'A');
  EXPECT_EQ(long_text[69999], '\\');

  EXPECT_EQ(LastBlankIndex("a b\tc"), 3);
  EXPECT_EQ(LastBlankIndex("abc"), -1);
}

TEST(TextUtilities, FixedAndRandomHelpers) {
  EXPECT_EQ(MulFixed15(32768, 5), 5);
  EXPECT_EQ(MulFixed15(-3, 16384), -1) << "truncates toward zero";
  EXPECT_EQ(MulFixed15(0x7FFFFFFF, 0x7FFFFFFF), static_cast<int32_t>((int64_t{0x7FFFFFFF} * 0x7FFFFFFF) / 32768));

  GameSrand(1);
  EXPECT_EQ(GameRand(), 41);
  EXPECT_EQ(GameRand(), 18467);
  EXPECT_EQ(GameRand(), 6334);

  GameSrand(12345);
  for (int i = 0; i < 1000; ++i) {
    EXPECT_EQ(RandomBelow(1), 0);
    int32_t r = RandomBelow(10);
    EXPECT_GE(r, 0);
    EXPECT_LT(r, 10);
  }
  EXPECT_EQ(RandomBelow16(0), 0);
  EXPECT_EQ(RandomBelow16(-3), 0);
  EXPECT_EQ(RandomBelow16(0x10000), 0) << "the count is read as 16 bits";
  EXPECT_GT(CurrentTimeSeconds(), 1700000000u);
}

}  // namespace
