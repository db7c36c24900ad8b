#include "simulation/tractor_beams.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "hit_world.h"
#include "scene/instance.h"

namespace {

class TractorTest : public HitWorld {
 protected:
  void SetUp() override {
    HitWorld::SetUp();
    ShipRows(1);
    for (SpaceObject*& o : ships_) {
      o = Ship();
      Listen(o);
    }
    StartEngine();  // after the ships, which get hand-made nodes
    Place(a(), 0, 0, 0);
    Place(b(), 1000, 1000, 0);
    Place(c(), 0, 0, 5000);
  }

  SpaceObject* a() { return ships_[0]; }
  SpaceObject* b() { return ships_[1]; }
  SpaceObject* c() { return ships_[2]; }

  // Every link of the three ships agrees with the holds listed as (holder, held) pairs.
  void ExpectHolds(const std::vector<std::pair<SpaceObject*, SpaceObject*>>& holds, const char* when) {
    for (SpaceObject* o : ships_) {
      SpaceObject* target = nullptr;
      SpaceObject* holder = nullptr;
      for (auto& [h, t] : holds) {
        if (h == o) target = t;
        if (t == o) holder = h;
      }
      EXPECT_EQ(o->tractorTarget, target) << when << " ship " << o->id;
      EXPECT_EQ(o->tractorAux, holder) << when << " ship " << o->id;
      EXPECT_EQ(ExtOf(o)->heldSpeedLimit, holder ? kTractorHeldSpeedLimit : -1) << when << " ship " << o->id;
      EXPECT_EQ(o->beamEffect != nullptr, target != nullptr) << when << " ship " << o->id;
    }
  }

  // The ships told "SetTractorTarget" (0), in order.
  std::vector<SpaceObject*> Told() {
    std::vector<SpaceObject*> told;
    for (const ObjectEventRecord& e : events_) {
      EXPECT_EQ(e.name, "SetTractorTarget");
      EXPECT_EQ(e.argCount, 1);
      EXPECT_EQ(e.a, 0);
      for (SpaceObject* o : ships_) {
        if (o->id == e.objectId) told.push_back(o);
      }
    }
    events_.clear();
    return told;
  }

  SpaceObject* ships_[3] = {};
};

TEST_F(TractorTest, LinksHoldAfterEveryConnectAndRelease) {
  TractorConnect(a(), b(), 0, 0, 0);
  ExpectHolds({{a(), b()}}, "A holds B");
  EXPECT_TRUE(Told().empty());

  TractorConnect(b(), c(), 0, 0, 0);  // B is held: A lets go of it first
  ExpectHolds({{b(), c()}}, "B holds C");
  EXPECT_EQ(Told(), std::vector<SpaceObject*>{b()});

  a()->turnRates[0] = 5;
  TractorConnect(a(), b(), 0, 0, 0);  // B holds C: C is released
  ExpectHolds({{a(), b()}}, "A holds B again");
  EXPECT_EQ(Told(), std::vector<SpaceObject*>{c()});

  a()->turnRates[0] = a()->turnRates[1] = a()->turnRates[2] = 7;
  ReleaseTractorBeam(b());  // only held: its holder lets go
  ExpectHolds({}, "B released");
  EXPECT_EQ(Told(), std::vector<SpaceObject*>{b()});
  EXPECT_EQ(a()->turnRates[0], 0);
  EXPECT_EQ(a()->turnRates[2], 0);

  TractorConnect(a(), b(), 0, 0, 0);
  TractorConnect(a(), nullptr, 0, 0, 0);  // no held object: only the release
  ExpectHolds({}, "connected to nothing");
  EXPECT_EQ(Told(), std::vector<SpaceObject*>{b()});
}

TEST_F(TractorTest, SuppressionWordAndStrayBeams) {
  ExtOf(b())->tractorEventsOff = 1;
  TractorConnect(a(), b(), 0, 0, 0);
  ReleaseTractorBeam(a());
  ExpectHolds({}, "suppressed");
  EXPECT_TRUE(Told().empty());

  // A free object with a beam left over only loses the beam.
  c()->beamEffect = B3D_InstAlloc();
  ASSERT_NE(c()->beamEffect, nullptr);
  ReleaseTractorBeam(c());
  EXPECT_EQ(c()->beamEffect, nullptr);
  EXPECT_TRUE(Told().empty());
  ReleaseTractorBeam(nullptr);
}

TEST_F(TractorTest, LengthIsTheTruncatedDistanceFromTheAttachPoint) {
  // B is at (1000, 1000, 0); the attach point (100, 200, 0) in A's frame.
  TractorConnect(a(), b(), 100, 200, 0);
  EXPECT_EQ(a()->tractorLength, 1204);  // sqrt(900^2 + 800^2) = 1204.16
  EXPECT_EQ(a()->attachOffset.x, 100);
  EXPECT_EQ(a()->attachOffset.y, 200);
  EXPECT_EQ(a()->attachOffset.w, 0);
  // A turned so that its x axis lies along the world's z axis: the point is (0, 200, 100).
  ExtOf(a())->rotation = FixedMatrix{{{0, 0, kFixedOne, 0}, {0, kFixedOne, 0, 0}, {-kFixedOne, 0, 0, 0}}};
  TractorConnect(a(), b(), 100, 200, 0);
  EXPECT_EQ(a()->tractorLength, 1284);  // sqrt(1000^2 + 800^2 + 100^2) = 1284.52
}

TEST_F(TractorTest, HandlerThatConnectsDuringTheEventLeavesTheLinksWhole) {
  TractorConnect(a(), b(), 0, 0, 0);
  TractorConnect(b(), c(), 0, 0, 0);  // B is now the holder; A lost it
  Told();
  // When C is let go, its script makes C take hold of A.
  bool once = false;
  onEvent_ = [&](SpaceObject* o, const char*) {
    if (o == c() && !once) {
      once = true;
      TractorConnect(c(), a(), 0, 0, 0);
    }
  };
  ReleaseTractorBeam(b());
  ExpectHolds({{c(), a()}}, "after the handler");
  EXPECT_EQ(Told(), std::vector<SpaceObject*>{c()});
}

}  // namespace

namespace {

TEST_F(TractorTest, ReleaseEndsOnLinksThatHoldEachOther) {
  // Links no connect makes (as a damaged save could give): each holds the other.
  a()->tractorTarget = b();
  a()->tractorAux = b();
  b()->tractorTarget = a();
  b()->tractorAux = a();
  ReleaseTractorBeam(a());
  for (SpaceObject* o : {a(), b()}) {
    EXPECT_EQ(o->tractorTarget, nullptr);
    EXPECT_EQ(o->tractorAux, nullptr);
  }
}

}  // namespace
