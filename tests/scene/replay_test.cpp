// Replay: recordings made by the recorder from a scene the test drives come back into a reset
// engine with the same fields and at the recorded pace; the camera's priority offset and target
// rectangle, scale snapping, the name tables at a frame's start, drawing records replayed to the
// same pixels but for the stated colour loss; and streams written by hand that are wrong, cut
// short, free what replay never saw, link parents in a cycle or name particle types that do not
// exist, all ending cleanly with everything freed.
#include "scene/replay.h"

#include <gtest/gtest.h>

#include <string>

#include "core/memory.h"
#include "scene/engine_state.h"
#include "scene/recording.h"
#include "scene/texture_drawing.h"
#include "support/recording_world.h"

namespace {

class Replay : public ::testing::Test {
 protected:
  void TearDown() override {
    B3D_ExitReplay();
    B3D_ExitRecording();
  }
  // Writes a hand-made stream as "<name>.rec" (plain bytes: the stream reader takes both forms).
  void WriteStream(const std::string& name, const StreamBytes& s) { w_.world.dir_.Write(name + ".rec", s.bytes); }
  SceneRecord* FirstScene() {
    ListNode* n = ListFirst(&w_.engine().scenes);
    return n ? ListRecord<SceneRecord>(n) : nullptr;
  }
  void SetTime(uint32_t t) { w_.world.block_.gameTime = t; }

  RecordingWorld w_;
};

TEST_F(Replay, RecordedFramesComeBackAtTheirPaceWithTheirFields) {
  w_.Build();
  w_.instance->velocity = FixedVector{7, 8, 9, 0};
  w_.instance->lightParam = 11;
  w_.camera->background[1] = 99;
  w_.emitter->previousVelocity = FixedVector{0, 0, 3, 0};
  ASSERT_EQ(B3D_InitRecording("round"), 1);
  RecordFrame();
  SetTime(1500);
  w_.instance->position = FixedVector{100, 200, 300, 0};
  w_.camera->priority = 6;
  RecordFrame();
  SetTime(2000);
  RecordFrame();
  B3D_ExitRecording();
  const InstanceRecord recorded = *w_.instance;
  const CameraRecord camera = *w_.camera;
  const EmitterRecord emitter = *w_.emitter;
  ListRemove(&w_.emitter->node);
  HashRemove(w_.engine().particleTable, w_.emitter->handle);
  EngineFree(w_.emitter, sizeof(EmitterRecord));
  w_.emitter = nullptr;
  w_.FreeScenes();

  SetTime(7000);
  ASSERT_EQ(B3D_InitReplay("round", 0, 0, 0x10000, 0, 0x10000), 1);
  EXPECT_NE(w_.engine().engineFlags & kEngineReplaying, 0u);
  ReplayFrame();  // the head's frame time
  ReplayFrame();  // the first frame
  SceneRecord* scene = FirstScene();
  ASSERT_NE(scene, nullptr);
  ListNode* member = ListFirst(&scene->members);
  ListNode* cam = ListFirst(&scene->cameras);
  ListNode* em = ListFirst(&w_.engine().particleList3);
  ASSERT_TRUE(member && cam && em);
  InstanceRecord* i = InstanceOfNode(member);
  CameraRecord* c = CameraOfInstance(InstanceOfNode(cam));
  EmitterRecord* e = ListRecord<EmitterRecord>(em);
  EXPECT_EQ(i->position.x, 1);
  EXPECT_EQ(c->priority, 5);

  SetTime(7499);
  ReplayFrame();
  EXPECT_EQ(i->position.x, 1) << "the second frame is due 500 ms after the start";
  SetTime(7500);
  ReplayFrame();
  EXPECT_EQ(i->position.x, 100);
  EXPECT_EQ(i->position.z, 300);
  for (int r = 0; r < 3; ++r)
    for (int k = 0; k < 3; ++k) EXPECT_EQ(i->matrix.m[r][k], recorded.matrix.m[r][k]);
  EXPECT_EQ(i->velocity.z, 9);
  EXPECT_EQ(i->lightParam, 11);
  EXPECT_EQ(i->size, recorded.size);
  EXPECT_EQ(i->scale.y, recorded.scale.y);
  EXPECT_EQ(i->bodyId, -1);
  EXPECT_EQ(i->soundSample, -1);
  EXPECT_EQ(c->priority, 6);
  EXPECT_EQ(c->instance.position.z, camera.instance.position.z);
  EXPECT_EQ(c->background[1], 99);
  EXPECT_EQ(c->fieldOfView, camera.fieldOfView);
  EXPECT_EQ(c->viewBottom, camera.viewBottom);
  EXPECT_EQ(c->factors[2], camera.factors[2]);
  EXPECT_NE(c->cameraFlags & kCameraEnabled, 0u) << "enabled last, in its enabled scene";
  EXPECT_EQ(e->position.y, emitter.position.y);
  EXPECT_EQ(e->intensity, emitter.intensity);
  EXPECT_EQ(e->previousVelocity.z, 3);
  EXPECT_EQ(e->scene, scene);

  // "REND" ends the replay and frees what it made.
  SetTime(9000);
  ReplayFrame();
  EXPECT_EQ(w_.engine().replay, nullptr);
  EXPECT_EQ(w_.engine().engineFlags & kEngineReplaying, 0u);
  EXPECT_EQ(FirstScene(), nullptr);
  EXPECT_TRUE(ListIsEmpty(&w_.engine().particleList3));
}

TEST_F(Replay, CamerasTakeThePriorityOffsetAndTheTargetRectangle) {
  StreamBytes s;
  s.Head(0).Tag("RFRA").Word(0);
  s.Tag("RSCE").Word(3).Word(0x10000001).Word(kSceneEnabled);
  s.Tag("RCAM").Word(9).Word(0x10000000 | 0x1 | 0x8 | 0x10 | 0x40).Word(3).Word(5).Word(kCameraEnabled);
  s.Words({0, 0x10000, 0x4000, 0xC000});
  s.Tag("RFRA").Word(100).Tag("REND");
  WriteStream("cam", s);
  ASSERT_EQ(B3D_InitReplay("cam", 20, 0x1000, 0x9000, 0, 0x8000), 1);
  ReplayFrame();
  ReplayFrame();
  ASSERT_NE(FirstScene(), nullptr);
  ListNode* cam = ListFirst(&FirstScene()->cameras);
  ASSERT_NE(cam, nullptr);
  const CameraRecord* c = CameraOfInstance(InstanceOfNode(cam));
  EXPECT_EQ(c->priority, 25);
  EXPECT_EQ(c->viewTop, 0);
  EXPECT_EQ(c->viewBottom, 0x8000);
  EXPECT_EQ(c->viewLeft, 0x1000 + 0x2000);
  EXPECT_EQ(c->viewRight, 0x1000 + 0x6000);
}

TEST_F(Replay, SceneScalesSnapToPowersOfTen) {
  struct Case {
    uint32_t word;
    float scale;
  };
  const Case kCases[] = {
      {uint32_t(0.05 * 65536), 0.1f}, {5000u << 16, 5000.0f}, {655, 0.01f}, {2999u << 16, 1000.0f},
      {300u << 16, 100.0f},           {1, 1.0f / 65536},      {3u << 16, 1.0f},
  };
  for (const Case& k : kCases) {
    SCOPED_TRACE(k.word);
    StreamBytes s;
    s.Head(0).Tag("RFRA").Word(0).Tag("RSCE").Word(4).Word(0x10000002).Word(k.word).Tag("RFRA").Word(0);
    WriteStream("scale", s);
    ASSERT_EQ(B3D_InitReplay("scale", 0, 0, 0x10000, 0, 0x10000), 1);
    ReplayFrame();
    ReplayFrame();
    ASSERT_NE(FirstScene(), nullptr);
    EXPECT_FLOAT_EQ(FirstScene()->systemScale, k.scale);
    B3D_ExitReplay();
  }
}

TEST_F(Replay, NamesAtAFrameStartReplaceTheAddedRowsFirst) {
  ASSERT_TRUE(AllocBodyDataTable());
  ASSERT_TRUE(AllocCutDataTable());
  StreamBytes s;
  s.Tag("RECO").Word(1).Word(0).Tag("RNAM").Word(1).Text("\x03old").Word(0).Tag("RFRA").Word(0);
  s.Tag("RNAM").Word(2).Text(std::string(1, '\0')).Text("\x04ship").Word(1).Text("\x02go");
  s.Tag("RFRA").Word(10);
  WriteStream("names", s);
  ASSERT_EQ(B3D_InitReplay("names", 0, 0, 0x10000, 0, 0x10000), 1);
  EngineState3D& e = w_.engine();
  ASSERT_EQ(e.bodyDataAddedRows, 1);
  EXPECT_STREQ(e.bodyDataRows[e.bodyDataFixedRows].fileName, "old");
  ReplayFrame();
  ASSERT_EQ(e.bodyDataAddedRows, 2);
  EXPECT_EQ(e.bodyDataRows[e.bodyDataFixedRows].fileName, nullptr);
  EXPECT_EQ(e.bodyDataRows[e.bodyDataFixedRows].value0, -2);
  EXPECT_EQ(e.bodyDataRows[e.bodyDataFixedRows].value2, -1);
  EXPECT_STREQ(e.bodyDataRows[e.bodyDataFixedRows + 1].fileName, "ship");
  ASSERT_EQ(e.cutDataAddedRows, 1);
  EXPECT_STREQ(e.cutDataRows[e.cutDataFixedRows].fileName, "go");
  B3D_ExitReplay();
  FreeBodyDataTable();
  FreeCutDataTable();
}

TEST_F(Replay, DrawingRecordsReplayToTheSamePixelsButTheLowColourBits) {
  ASSERT_EQ(B3D_InitRecording("draw"), 1);
  B3D_TexRectFill(TextureWorld::kTexA, 1, 1, 3, 2, (18u << 16) | (52u << 8) | 86u);
  B3D_TexLine(TextureWorld::kCollection, 0, 6, 31, 6, 0xF8F8F8);
  TexSetPixel(TextureWorld::kTexB, 5, 5, 0x0000F8);
  B3D_TexBltBlock(TextureWorld::kSource, TextureWorld::kTexB, 2, 0, -5, 0, 10, 1, -1, 1);
  B3D_ExitRecording();
  const MemTexture a = w_.world.a, b = w_.world.b;
  w_.world.Reset();

  ASSERT_EQ(B3D_InitReplay("draw", 0, 0, 0x10000, 0, 0x10000), 1);
  ReplayFrame();  // the drawing, then "REND"
  EXPECT_EQ(w_.engine().replay, nullptr);
  EXPECT_EQ(w_.world.a.At(1, 1), (16u << 16) | (48u << 8) | 80u);
  EXPECT_EQ(a.At(1, 1), (18u << 16) | (52u << 8) | 86u);
  for (int y = 0; y < 8; ++y) {
    if (y == 1 || y == 2) continue;
    EXPECT_EQ(w_.world.a.Row(y), a.Row(y)) << y;
  }
  for (int y = 0; y < 8; ++y) {
    for (int x = 0; x < 16; ++x) EXPECT_EQ(w_.world.b.At(x, y), b.At(x, y)) << x << "," << y;
  }
}

TEST_F(Replay, RecordedFlagsNeverChangeWhatKindOfRecordAnInstanceIs) {
  StreamBytes s;
  s.Head(0).Tag("RFRA").Word(0);
  s.Tag("RINS").Word(1).Word(0x10000000 | 0x200 | 0x100000).Word(0xFFFFFFFF).Word(0xFFFFFFFF);
  s.Tag("RFRA").Word(10);
  WriteStream("flags", s);
  ASSERT_EQ(B3D_InitReplay("flags", 0, 0, 0x10000, 0, 0x10000), 1);
  ReplayFrame();
  ReplayFrame();
  ListNode* n = ListFirst(&w_.engine().instances);
  ASSERT_NE(n, nullptr);
  const InstanceRecord* i = InstanceOfNode(n);
  EXPECT_EQ(i->flags & (kInstCamera | kInstLight | kInstCollisionMade | kInstRenderReady), 0u);
  EXPECT_NE(i->flags & kInstInvisible, 0u);
  EXPECT_EQ(i->flags2 & (kInst2HasLinkedParts | kInst2HasTexAnim), 0u);
  EXPECT_NE(i->flags2 & kInst2NotSaved, 0u);
}

TEST_F(Replay, BadHeadsAndMissingFilesAnswerZeroWithEverythingFreed) {
  struct Case {
    const char* name;
    std::string bytes;
  };
  const Case kCases[] = {
      {"reco", StreamBytes{}.Tag("RECX").Word(1).Word(0).bytes},
      {"rnam", StreamBytes{}.Tag("RECO").Word(1).Word(0).Tag("RNAX").bytes},
      {"rfra", StreamBytes{}.Tag("RECO").Word(1).Word(0).Tag("RNAM").Word(0).Word(0).Tag("RFRX").Word(0).bytes},
      {"short", StreamBytes{}.Tag("RECO").Word(1).bytes},
      {"names", StreamBytes{}.Tag("RECO").Word(1).Word(0).Tag("RNAM").Word(5).Text("\x09" "abc").bytes},
  };
  const uint32_t before = MemGetCurrentBytes();
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    w_.world.dir_.Write(std::string(c.name) + ".rec", c.bytes);
    EXPECT_EQ(B3D_InitReplay(c.name, 0, 0, 0x10000, 0, 0x10000), 0);
    EXPECT_EQ(w_.engine().replay, nullptr);
    EXPECT_EQ(w_.engine().engineFlags & kEngineReplaying, 0u);
  }
  EXPECT_EQ(B3D_InitReplay("missing", 0, 0, 0x10000, 0, 0x10000), 0);
  EXPECT_EQ(w_.engine().replay, nullptr);
  EXPECT_EQ(w_.engine().engineFlags & kEngineReplaying, 0u);
  EXPECT_EQ(MemGetCurrentBytes(), before);
}

TEST_F(Replay, DamagedOrUnusualStreamsEndCleanly) {
  struct Case {
    const char* name;
    StreamBytes frame;
    bool runs;  // still replaying after the frame
  };
  const Case kCases[] = {
      // A freed instance that replay never saw.
      {"unseen", StreamBytes{}.Tag("RINS").Word(77).Word(0x20000000).Tag("RFRA").Word(5), true},
      // Two instances each naming the other as parent: the second link is refused.
      {"cycle",
       StreamBytes{}.Tag("RINS").Word(1).Word(0x10000000).Tag("RINS").Word(2).Word(0x10000002).Word(1)
           .Tag("RINS").Word(1).Word(0x2).Word(2).Tag("RFRA").Word(5),
       true},
      // The stream ends inside a record, or without "REND".
      {"cut", StreamBytes{}.Tag("RINS").Word(1).Word(0x10000008).Word(4), false},
      {"end", StreamBytes{}, false},
      {"longname", StreamBytes{}.Tag("RSCE").Word(3).Word(0x10000004).Word(0x7FFFFFFF), false},
      {"type", StreamBytes{}.Tag("RPGE").Word(3).Word(0x10000200).Word(100).Tag("RFRA").Word(5), false},
      {"kinds", StreamBytes{}.Tag("RPGE").Word(3).Word(0x10000100).Word(2).Words({1, 2}).Tag("RFRA").Word(5), false},
      {"text", StreamBytes{}.Tag("RTTX").Half(1).Half(0).Half(0).Half(0).Half(0).Half(0).Half(0).Half(0xFFFF), false},
      // A scene a freed record dropped stays until the replay ends.
      {"dropped",
       StreamBytes{}.Tag("RSCE").Word(3).Word(0x10000000).Tag("RSCE").Word(3).Word(0x20000000).Tag("RFRA").Word(5),
       true},
  };
  // The engine's own tables keep the bucket arrays their first entries made.
  for (HashTable* t : {w_.engine().handleTable, w_.engine().sceneTable, w_.engine().particleTable})
    HashRemove(t, HashInsertNewKey(t, 1));
  const uint32_t before = MemGetCurrentBytes();
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    StreamBytes s;
    s.Head(0).Tag("RFRA").Word(0).Text(c.frame.bytes);
    WriteStream(c.name, s);
    ASSERT_EQ(B3D_InitReplay(c.name, 0, 0, 0x10000, 0, 0x10000), 1);
    ReplayFrame();
    ReplayFrame();
    EXPECT_EQ(w_.engine().replay != nullptr, c.runs);
    if (std::string(c.name) == "cycle") {
      ListNode* n = ListFirst(&w_.engine().instances);
      ASSERT_NE(n, nullptr);
      const InstanceRecord* root = InstanceOfNode(n);
      EXPECT_EQ(root->parent, nullptr);
      ASSERT_NE(InstFirstChild(const_cast<InstanceRecord*>(root)), nullptr);
      EXPECT_EQ(ListNext(n), nullptr) << "one root, one child";
    }
    if (std::string(c.name) == "dropped") {
      EXPECT_NE(FirstScene(), nullptr);
    }
    B3D_ExitReplay();
    EXPECT_EQ(FirstScene(), nullptr);
    EXPECT_TRUE(ListIsEmpty(&w_.engine().instances));
    EXPECT_EQ(MemGetCurrentBytes(), before);
  }
}

}  // namespace
