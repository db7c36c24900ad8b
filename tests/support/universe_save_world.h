// A universe to save and load: a scene engine, a game clock, one-row type tables (ships with two
// turrets, docks, factories and ships with two docking places), a universe block with its id and
// take hashes, and builders for objects of every class with names, instances in sector scenes,
// dock rows, turrets, related objects, waiting ships and take records with actors. Shared by
// the universe save tests, the fuzz target and its seeds, and the save benchmark. Everything it
// made is freed when it goes.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "support/engine_fixture.h"
#include "core/system_block.h"
#include "universe/object_classes.h"
#include "universe/universe.h"

struct ObjTakeRecord;

class UniverseSaveWorld {
 public:
  static constexpr int32_t kTurrets = 2;
  static constexpr int32_t kDockPlaces = 2;

  UniverseSaveWorld();
  ~UniverseSaveWorld();
  UniverseSaveWorld(const UniverseSaveWorld&) = delete;
  UniverseSaveWorld& operator=(const UniverseSaveWorld&) = delete;

  UniverseBlock& universe() { return universe_; }
  SystemBlock& clock() { return system_; }

  // A sector with a scene (none when `withScene` is false).
  SectorObject* Sector(bool withScene = true);
  // An object of the class in the container (top level when null), with an instance in the
  // sector's scene when `parent` is a sector with one.
  SpaceObject* Add(uint16_t objClass, SpaceObject* parent, const char* name = nullptr);
  // A take of `actors` slots in the sector, cast with the given objects.
  ObjTakeRecord* Take(SectorObject* sector, const std::vector<SpaceObject*>& actors);
  // One object of every class in each of `sectors` sectors, with the extras above, until about
  // `objects` objects exist.
  void FillBusy(int sectors, int objects);

  // The "SECT" section as written now, and a read of given bytes; both through a file. With
  // `simulation`, the simulation state and the camera words follow the section, each read when
  // bytes follow it.
  std::string Write(bool simulation = false);
  bool Read(const std::string& bytes, bool fullReader = false, bool simulation = false);
  // Frees every object and take record but leaves their engine instances, scenes and takes to
  // the engine, as a load after the engine's section finds them.
  void EmptyKeepingEngine();

 private:
  EngineFixture engine_;
  SystemBlock system_{};
  SystemBlock* savedSystem_ = nullptr;
  UniverseBlock universe_{};
  std::vector<ObjectTypeRecord> rows_[kObjectClassCount];
  struct PortList;
  std::vector<std::unique_ptr<PortList>> ports_;
  std::string path_;
};
