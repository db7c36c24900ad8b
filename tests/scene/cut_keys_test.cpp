// Cut keys: reading keys into the pools in both file forms, moving them into a path, the pool
// limits and memory failures, the tangents, the rotation preparation and the evaluation of
// position and rotation keys against double-precision references.
#include "scene/cut_keys.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "core/data_reader.h"
#include "core/memory.h"
#include "platform/heap.h"
#include "platform/virtual_memory.h"
#include "support/cut_key_stream.h"
#include "support/engine_fixture.h"
#include "support/temp_dir.h"

namespace {

// Reads every key of a stream into freshly started pools; the number of keys read.
int ReadStream(std::string& bytes, bool binary) {
  AllocKeys();
  gCutFrameTime = 0;
  DataReader reader;
  DataReaderInit(&reader, bytes.data(), binary, bytes.size());
  int read = 0;
  while (reader.error == 0) {
    if (binary && DataReaderGetCursor(&reader) >= reinterpret_cast<uint8_t*>(bytes.data()) + bytes.size()) break;
    if (!binary && DataReaderReadChar(&reader, "\x01") == kDataNoChar) break;  // a look, not a step
    const uint32_t flags = ReadWord(&reader);
    if (reader.error || !ReadCutKey(&reader, flags, "test.cut")) break;
    ++read;
  }
  return read;
}

template <typename Key>
const Key* Pool(int index) {
  return reinterpret_cast<const Key*>(gKeyPools[index].records);
}

void FreePathKeys(PathRecord* path) {
  auto free = [](auto& list) {
    if (list.keys) MemFree(list.keys, list.count * sizeof(*list.keys), MemCategoryFlags(kMemCatCut));
    list = {};
  };
  free(path->positions);
  free(path->rotations);
  free(path->targets);
  free(path->rolls);
  free(path->colors);
  free(path->fieldsOfView);
}

TEST(CutKeyReader, ReadsTheChannelsEachFlagSelectsInBothForms) {
  TempDir dir;
  for (bool binary : {true, false}) {
    SCOPED_TRACE(binary ? "binary" : "text");
    std::string bytes = CutKeyStream(SampleCutKeys(), binary, dir.File(binary ? "keys.bin" : "keys.txt"));
    if (!binary) {
      bytes.push_back('\0');
    }
    ASSERT_EQ(ReadStream(bytes, binary), 5);
    EXPECT_EQ(gCutFrameTime, 187);  // 100 + 50 + 25 + 5 + 7

    ASSERT_EQ(gKeyPools[kPoolPosition].used, 2);
    const PositionKey* pos = Pool<PositionKey>(kPoolPosition);
    EXPECT_EQ(pos[0].time, 0);
    EXPECT_EQ(pos[0].position.x, 10);
    EXPECT_EQ(pos[0].position.z, 30);
    EXPECT_EQ(pos[0].tension, 0x8000);
    EXPECT_EQ(pos[0].easeOut, 0x2000);
    EXPECT_EQ(pos[1].time, 100);
    EXPECT_EQ(pos[1].position.y, 6);
    EXPECT_EQ(pos[1].tension, 0);

    ASSERT_EQ(gKeyPools[kPoolRotation].used, 3);
    const RotationKey* rot = Pool<RotationKey>(kPoolRotation);
    EXPECT_EQ(rot[0].angles[0], 0x4000);
    EXPECT_EQ(rot[0].axis.y, -0x10000);  // axes are stored negated
    EXPECT_EQ(rot[0].tension, 0x8000);
    EXPECT_EQ(rot[1].angles[0], 0x1000);
    EXPECT_EQ(rot[1].angles[2], 0x4000);
    // The identity key: no values read, 0x20 dropped, axis (-1, 0, 0).
    EXPECT_EQ(rot[2].time, 175);
    EXPECT_EQ(rot[2].flags, 0x12u);
    EXPECT_EQ(rot[2].angles[0], 0);
    EXPECT_EQ(rot[2].axis.x, -0x10000);
    EXPECT_EQ(rot[2].axis.y, 0);

    ASSERT_EQ(gKeyPools[kPoolTarget].used, 1);
    EXPECT_EQ(Pool<PositionKey>(kPoolTarget)[0].time, 150);
    EXPECT_EQ(Pool<PositionKey>(kPoolTarget)[0].position.z, 3);
    ASSERT_EQ(gKeyPools[kPoolRoll].used, 1);
    EXPECT_EQ(Pool<RollKey>(kPoolRoll)[0].angle, -0x2000);
    ASSERT_EQ(gKeyPools[kPoolColor].used, 1);
    EXPECT_EQ(Pool<ColorKey>(kPoolColor)[0].green, 0x8000);
    ASSERT_EQ(gKeyPools[kPoolFov].used, 1);
    EXPECT_EQ(Pool<FovKey>(kPoolFov)[0].fov, 65536);  // a full turn in radians
    if (binary) {
      // The last key (0x10 | 8 | 0x40 | 0x20) read its delta and the unused word and nothing else.
      EXPECT_EQ(bytes.size(), 4 * (1 + 3 + 5 + 4 + 5 + 3 + 1 + 2) + 4 * (1 + 3 + 3 + 2) + 4 * (1 + 3 + 1 + 2) +
                                  4 * (1 + 2) + 4 * (1 + 2));
    }
  }
}

TEST(CutKeyReader, PoolGrowsByHundredsAndRefusesItsTwenty000thKey) {
  TempDir dir;
  std::vector<CutKeySpec> keys(kKeyPoolRecords, CutKeySpec{0x10 | 0x8 | 0x40, {}, {}, {}, {}, 7, {}, 0, 1});
  std::string bytes = CutKeyStream(keys, true, dir.File("many.bin"));
  EXPECT_EQ(ReadStream(bytes, true), kKeyPoolRecords - 1);
  EXPECT_EQ(gKeyPools[kPoolRoll].used, kKeyPoolRecords - 1);
  EXPECT_EQ(gKeyPools[kPoolRoll].capacity, kKeyPoolRecords);
  EXPECT_EQ(gCutFrameTime, kKeyPoolRecords - 1);
  EXPECT_EQ(Pool<RollKey>(kPoolRoll)[kKeyPoolRecords - 2].time, kKeyPoolRecords - 2);

  DataReader reader;
  DataReaderInit(&reader, bytes.data(), true, bytes.size());
  EXPECT_EQ(ReadCutKey(&reader, 0x18 | 0x40, "many.cut"), 0);
  EXPECT_EQ(reader.error, 1);
}

TEST(CutKeySetup, MovesEachPoolIntoThePathAndGivesThePagesBack) {
  TempDir dir;
  std::string bytes = CutKeyStream(SampleCutKeys(), true, dir.File("keys.bin"));
  ReleaseKeyPools();
  const uint32_t before = gMemCounters.categoryBytes[kMemCatCut];
  ASSERT_EQ(ReadStream(bytes, true), 5);
  PathRecord path{};
  CutKeySetup(&path);
  EXPECT_EQ(path.positions.count, 2);
  EXPECT_EQ(path.rotations.count, 3);
  EXPECT_EQ(path.targets.count, 1);
  EXPECT_EQ(path.rolls.count, 1);
  EXPECT_EQ(path.colors.count, 1);
  EXPECT_EQ(path.fieldsOfView.count, 1);
  EXPECT_EQ(path.positions.keys[1].position.x, -5);
  for (int i = 0; i < 3; ++i) EXPECT_TRUE(path.rotations.keys[i].flags & kKeyPrepared);
  for (const KeyPool& pool : gKeyPools) EXPECT_EQ(pool.capacity, 0);
  // Only the path's own arrays remain counted.
  const uint32_t arrays = 3 * sizeof(PositionKey) + 3 * sizeof(RotationKey) + sizeof(RollKey) + sizeof(ColorKey) +
                          sizeof(FovKey);
  EXPECT_EQ(gMemCounters.categoryBytes[kMemCatCut], before + arrays);

  // A second path read after the set-up starts from the first record of each pool.
  PathRecord second{};
  std::vector<CutKeySpec> one = {CutKeySpec{0x10 | 0x8 | 0x40, {}, {}, {}, {}, 9, {}, 0, 3}};
  std::string more = CutKeyStream(one, true, dir.File("one.bin"));
  DataReader reader;
  DataReaderInit(&reader, more.data(), true, more.size());
  ASSERT_EQ(ReadCutKey(&reader, ReadWord(&reader), "one.cut"), 1);
  CutKeySetup(&second);
  EXPECT_EQ(second.rolls.count, 1);
  EXPECT_EQ(second.rolls.keys[0].angle, -9);
  EXPECT_EQ(second.positions.count, 0);
  EXPECT_EQ(second.positions.keys, nullptr);

  AllocKeys();
  for (const KeyPool& pool : gKeyPools) {
    EXPECT_EQ(pool.capacity, kKeyPoolStep);
    EXPECT_EQ(pool.used, 0);
  }
  FreePathKeys(&path);
  FreePathKeys(&second);
  ReleaseKeyPools();
  EXPECT_EQ(gMemCounters.categoryBytes[kMemCatCut], before);
}

TEST(CutKeyMemory, FailuresEndTheReadWithCodeThree) {
  struct Case {
    const char* name;
    void (*run)();
  };
  const Case kCases[] = {
      {"start", [] {
         ReleaseKeyPools();
         OsFailNextPageRequests(1);
         AllocKeys();
       }},
      {"key array", [] {
         AllocKeys();
         DataReader reader;
         std::string bytes(40, '\0');
         DataReaderInit(&reader, bytes.data(), true, bytes.size());
         ReadCutKey(&reader, 0x10 | 0x8 | 0x40, "x.cut");
         OsFailNextHeapRequests(2);  // the request and its retry after the low-memory hook
         PathRecord path{};
         CutKeySetup(&path);
       }},
      {"growth", [] {
         AllocKeys();
         // Rotation keys, so the growth needs new pages.
         std::string bytes(20 * 200, '\0');
         DataReader reader;
         DataReaderInit(&reader, bytes.data(), true, bytes.size());
         for (int i = 0; i < kKeyPoolStep; ++i) ReadCutKey(&reader, 0x10, "x.cut");
         OsFailNextPageRequests(4);
         ReadCutKey(&reader, 0x10, "x.cut");
       }},
  };
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    EXPECT_EXIT(c.run(), testing::ExitedWithCode(3), "");
  }
}

// ---------------------------------------------------------------------------------------------

PositionKey Key(int32_t time, int32_t x, int32_t y, int32_t z, int32_t tension = 0, uint32_t flags = kKeyHermite) {
  PositionKey k{};
  k.time = time;
  k.flags = flags;
  k.tension = tension;
  k.position = {x, y, z, 0};
  return k;
}

TEST(PositionTangents, FollowTheKeyCount) {
  PositionKey one[] = {Key(0, 5, 6, 7)};
  one[0].inTangent = one[0].outTangent = {9, 9, 9, 0};
  PositionKeysComputeTangents(1, one);
  EXPECT_EQ(one[0].inTangent.x, 0);
  EXPECT_EQ(one[0].outTangent.z, 0);

  PositionKey two[] = {Key(0, 0, 0, 0, 0x4000), Key(100, 1000, -2000, 400, 0x8000)};
  PositionKeysComputeTangents(2, two);
  EXPECT_EQ(two[0].outTangent.x, 750);  // (1 - 0.25) * 1000
  EXPECT_EQ(two[0].outTangent.y, -1500);
  EXPECT_EQ(two[1].inTangent.x, 500);  // (1 - 0.5) * 1000
  EXPECT_EQ(two[1].inTangent.z, 200);
  EXPECT_EQ(two[0].inTangent.x, 0);
  EXPECT_EQ(two[1].outTangent.x, 0);

  // All at one time: every time ratio is 0 and nothing divides by zero.
  PositionKey same[] = {Key(50, 0, 0, 0), Key(50, 100, 0, 0), Key(50, 300, 0, 0)};
  PositionKeysComputeTangents(3, same);
  EXPECT_EQ(same[1].inTangent.x, 0);
  EXPECT_EQ(same[1].outTangent.x, 0);
  EXPECT_EQ(same[0].outTangent.x, 150 - 75 + 75);  // 0.5e + 1.5(f - 0.5e) + 0.25e with e = 300, f = 100
}

TEST(EaseFraction, KeepsItsEndsAndRescalesLongEases) {
  for (int32_t u : {0, 0x1000, 0x8000, 0xC000, 0x10000}) EXPECT_EQ(EaseFraction(u, 0, 0), u);
  for (int32_t u : {0x1000, 0x7000, 0xF000}) EXPECT_EQ(EaseFraction(u, 0x10000, 0x10000), EaseFraction(u, 0x8000, 0x8000));
  struct Case {
    int32_t a, b;
  };
  const Case kCases[] = {{0x4000, 0x4000}, {0, 0x8000}, {0x8000, 0}, {0x3000, 0x1000}, {0x20000, 0x10000}};
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.a);
    EXPECT_EQ(EaseFraction(0x10000, c.a, c.b), 0x10000);
    EXPECT_EQ(EaseFraction(0, c.a, c.b), 0);
    // Rising everywhere.
    int32_t last = -1;
    for (int32_t u = 0; u <= 0x10000; u += 0x400) {
      const int32_t s = EaseFraction(u, c.a, c.b);
      EXPECT_GE(s, last);
      last = s;
    }
  }
}

// Double-precision reference of a Hermite segment with zero tension, continuity and bias.
double HermiteReference(const double p[3], const double t[3], int seg, double u, const double in[3],
                        const double out[3]) {
  (void)t;
  const double h1 = 2 * u * u * u - 3 * u * u + 1, h2 = 3 * u * u - 2 * u * u * u;
  const double h3 = u * u * u - 2 * u * u + u, h4 = u * u * u - u * u;
  return h1 * p[seg] + h2 * p[seg + 1] + h3 * out[seg] + h4 * in[seg + 1];
}

TEST(PositionKeyEval, MatchesADoubleReference) {
  PositionKey keys[] = {Key(0, 0, 0, 0), Key(400, 100000, 50000, 0), Key(1000, 100000, -200000, 30000)};
  PositionKeysComputeTangents(3, keys);
  // The reference tangents in double.
  const double px[3] = {0, 100000, 100000}, t[3] = {0, 400, 1000};
  double in[3] = {0, 0, 0}, out[3] = {0, 0, 0};
  {
    const double r1 = 400.0 / 1000, r2 = 600.0 / 1000, sum = (px[2] - px[1]) + (px[1] - px[0]);
    in[1] = r1 * sum;
    out[1] = r2 * sum;
    const double e0 = px[2] - px[0], f0 = px[1] - px[0], r0 = 400.0 / 2000;
    out[0] = 0.5 * e0 + 1.5 * (f0 - 0.5 * e0) + (0.25 - r0) * e0;
    const double e2 = px[2] - px[0], f2 = px[2] - px[1], rl = 600.0 / 2000;
    in[2] = 0.5 * e2 + 1.5 * (f2 - 0.5 * e2) + (0.25 - rl) * e2;
  }
  EXPECT_NEAR(keys[1].inTangent.x, in[1], 2);
  EXPECT_NEAR(keys[0].outTangent.x, out[0], 2);
  EXPECT_NEAR(keys[2].inTangent.x, in[2], 2);
  for (int32_t time : {1, 100, 200, 399, 401, 700, 999}) {
    SCOPED_TRACE(time);
    const int seg = time < 400 ? 0 : 1;
    FixedVector got;
    PositionKeyEval(seg, time, &got, keys);
    const double u = (time - t[seg]) / (t[seg + 1] - t[seg]);
    EXPECT_NEAR(got.x, HermiteReference(px, t, seg, u, in, out), 8);
  }
  // A linear segment.
  keys[0].flags = 0;
  FixedVector got;
  PositionKeyEval(0, 100, &got, keys);
  EXPECT_NEAR(got.x, 25000, 1);
  EXPECT_NEAR(got.y, 12500, 1);
}

RotationKey AxisKey(int32_t time, int32_t angle, FixedVector axis, uint32_t flags = kKeyAxisAngle) {
  RotationKey k{};
  k.time = time;
  k.flags = flags;
  k.angles[0] = angle;
  k.axis = axis;
  return k;
}

void ExpectQuatNear(const Quaternion& a, const Quaternion& b, int tolerance) {
  EXPECT_NEAR(a.w, b.w, tolerance);
  EXPECT_NEAR(a.x, b.x, tolerance);
  EXPECT_NEAR(a.y, b.y, tolerance);
  EXPECT_NEAR(a.z, b.z, tolerance);
}

TEST(RotationKeysPrepare, ComposesRelativeKeysAndRestartsAtAbsoluteOnes) {
  EngineFixture engine;  // the math tables
  const FixedVector x{0x10000, 0, 0, 0}, y{0, 0x10000, 0, 0}, z{0, 0, 0x10000, 0};
  RotationKey keys[] = {
      AxisKey(0, 0x4000, z),
      AxisKey(10, 0x2000, x, kKeyAxisAngle | kKeyAbsolute),
      AxisKey(20, 0x4000, y),
      AxisKey(30, 0x4000, y, kKeyAxisAngle | kKeyNotPrepared),
  };
  RotationKeysPrepare(4, keys);
  Quaternion qz, qx, qy, expected;
  QuaternionFromAxisAngle(&qz, 0x4000, &z);
  QuaternionFromAxisAngle(&qx, 0x2000, &x);
  QuaternionFromAxisAngle(&qy, 0x4000, &y);
  QuaternionMultiply(&expected, &qx, &qy);
  ExpectQuatNear(keys[0].quat, qz, 0);
  ExpectQuatNear(keys[1].quat, qx, 0);
  ExpectQuatNear(keys[2].quat, expected, 0);
  EXPECT_EQ(keys[3].quat.w, 0);  // left out, yet marked
  for (const RotationKey& k : keys) EXPECT_TRUE(k.flags & kKeyPrepared);

  // Prepared keys are not turned again.
  const Quaternion kept = keys[2].quat;
  RotationKeysPrepare(4, keys);
  ExpectQuatNear(keys[2].quat, kept, 0);
}

TEST(RotationKeyEval, BlendsSphericallyAndKeepsTcbSegmentsOnTheirEnds) {
  EngineFixture engine;
  const FixedVector z{0, 0, 0x10000, 0};
  RotationKey keys[] = {AxisKey(0, 0, z), AxisKey(1000, 0x4000, z), AxisKey(2000, 0x4000, z)};
  RotationKeysPrepare(3, keys);
  // A plain segment: a quarter turn about z, so the half angle at u is u * pi / 4.
  for (int32_t time : {0, 250, 500, 900, 1000}) {
    SCOPED_TRACE(time);
    Quaternion q;
    RotationKeyEval(time, 0, &q, keys, 3);
    const double half = time / 1000.0 * M_PI / 4;
    EXPECT_NEAR(q.w, std::cos(half) * 65536, 4);
    EXPECT_NEAR(q.z, std::sin(half) * 65536, 4);
  }
  // The same keys with TCB segments start and end on the keys and stay unit length between.
  for (RotationKey& k : keys) k.flags |= kKeyTcb;
  for (int32_t i : {0, 1}) {
    Quaternion start, end, mid;
    RotationKeyEval(keys[i].time, i, &start, keys, 3);
    RotationKeyEval(keys[i + 1].time, i, &end, keys, 3);
    RotationKeyEval((keys[i].time + keys[i + 1].time) / 2, i, &mid, keys, 3);
    ExpectQuatNear(start, keys[i].quat, 4);
    ExpectQuatNear(end, keys[i + 1].quat, 4);
    const double length = std::sqrt(double(mid.w) * mid.w + double(mid.x) * mid.x + double(mid.y) * mid.y +
                                    double(mid.z) * mid.z);
    EXPECT_NEAR(length, 65536, 64);
  }
}

}  // namespace
