// An engine state for tests of the scene engine: empty lists, the handle, scene, body, cut, take,
// render and effect tables, installed as gEngine3D while the fixture lives, and the math tables
// filled. Tests build instances, scenes and cameras on it by hand; the destructor frees the
// tables and restores the previous engine pointer (records a test made are its own to free).
#pragma once

#include <memory>

#include "scene/engine_records.h"

class EngineFixture {
 public:
  EngineFixture();
  ~EngineFixture();
  EngineFixture(const EngineFixture&) = delete;
  EngineFixture& operator=(const EngineFixture&) = delete;

  EngineState3D& engine() { return *engine_; }

 private:
  std::unique_ptr<EngineState3D> engine_;
  EngineState3D* previous_ = nullptr;
};
