// A scene engine with one hand-built cut (handle kCut) under a game clock the test sets, for the
// tests of cut events, the cut-scene step and takes. Paths are added with their notes before the
// cut is entered; players are engine instances that play a path as if started t1 ms ago. The
// "CutEvent"s the engine raises are caught as "receiver text value" lines. At the end the
// engine is reset, so every scene, take and instance it still holds is freed (ASan's leak check
// sees what is not).
#pragma once

#include <gtest/gtest.h>

#include <deque>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "core/hash_table.h"
#include "core/memory.h"
#include "core/system_block.h"
#include "scene/cut_events.h"
#include "scene/cut_records.h"
#include "scene/instance.h"
#include "scene/instance_records.h"
#include "scene/scene.h"
#include "support/engine_fixture.h"

class CutWorld {
 public:
  static constexpr uint32_t kCut = 7;
  static constexpr int32_t kStart = 100000;  // the game time a test begins at

  CutWorld() {
    saved_ = gSystem;
    gSystem = &block_;
    block_.gameTime = kStart;
    current_ = this;
    SetCutEventSink(Catch);
  }
  ~CutWorld() {
    // The reset frees every cut in the table; this one is the test's own.
    HashRemove(fixture_.engine().cutTable, kCut);
    ResetEngine3D();
    SetCutEventSink(nullptr);
    current_ = nullptr;
    gSystem = saved_;
  }
  CutWorld(const CutWorld&) = delete;
  CutWorld& operator=(const CutWorld&) = delete;

  // Adds a path with these notes (and a name) to the cut; call Enter after the last one.
  PathRecord* AddPath(const std::vector<std::pair<int32_t, std::string>>& notes, const char* name = nullptr) {
    if (pathCount_ >= kMaxPaths) throw std::length_error("CutWorld holds 16 paths");
    PathRecord& path = paths_[pathCount_++];
    std::vector<CutNote>& list = notes_.emplace_back();
    for (const auto& [time, text] : notes) list.push_back({time, Text(text)});
    path.noteCount = static_cast<int32_t>(list.size());
    path.notes = list.empty() ? nullptr : list.data();
    path.name = name ? Text(name) : nullptr;
    path.flags = kPathNamesBody;
    return &path;
  }
  CutRecord* Enter() {
    cut_.handle = kCut;
    cut_.pathCount = pathCount_;
    cut_.paths = paths_;
    HashInsert(fixture_.engine().cutTable, kCut, reinterpret_cast<HashValue>(&cut_));
    return &cut_;
  }

  // An engine instance playing path n since t1 ms of path time, with a path end of 5000 ms.
  InstanceRecord* Player(int32_t n, int32_t receiver, int32_t t1 = 0) {
    InstanceRecord* instance = B3D_InstAlloc();
    EXPECT_NE(instance, nullptr);
    Play(instance, n, receiver, t1);
    return instance;
  }
  void Play(InstanceRecord* instance, int32_t n, int32_t receiver, int32_t t1 = 0) {
    instance->cutHandle = kCut;
    instance->pathNumber = n;
    instance->scriptReceiver = receiver;
    instance->jobClock = Now();
    instance->jobStart = Now() - t1;
    instance->rangeEnd = 5000;
  }

  int32_t Now() const { return static_cast<int32_t>(block_.gameTime); }
  void Advance(int32_t ms) { block_.gameTime += static_cast<uint32_t>(ms); }

  std::vector<std::string> events;
  // Runs during every caught event, after it was noted.
  void (*onEvent)(int32_t receiver, const char* text, int32_t value) = nullptr;

 private:
  char* Text(const std::string& text) {
    std::vector<char>& copy = texts_.emplace_back(text.begin(), text.end());
    copy.push_back('\0');
    return copy.data();
  }
  static void Catch(int32_t receiver, const char* text, int32_t value) {
    current_->events.push_back(std::to_string(receiver) + " " + text + " " + std::to_string(value));
    if (current_->onEvent) current_->onEvent(receiver, text, value);
  }

  static inline CutWorld* current_ = nullptr;
  EngineFixture fixture_;
  SystemBlock block_{};
  SystemBlock* saved_ = nullptr;
  static constexpr int32_t kMaxPaths = 16;
  PathRecord paths_[kMaxPaths]{};
  int32_t pathCount_ = 0;
  std::deque<std::vector<CutNote>> notes_;
  std::deque<std::vector<char>> texts_;
  CutRecord cut_{};
};
