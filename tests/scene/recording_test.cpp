// The recorder: the byte-exact stream of two frames of one scene, instance, camera and emitter
// (first records with every non-zero group, then an unchanged frame), names repeated every frame,
// deletion records, disabled scenes keeping their shadows, the name tables and their 255-byte
// cut, and a file that cannot be made leaving nothing behind.
#include "scene/recording.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "core/memory.h"
#include "scene/engine_state.h"
#include "scene/instance_tree.h"
#include "support/recording_world.h"

namespace {

uint32_t FixedClock() { return 0x5F000000; }

class Recording : public ::testing::Test {
 protected:
  void SetUp() override { SetRecordingClock(FixedClock); }
  void TearDown() override {
    B3D_ExitRecording();
    SetRecordingClock(nullptr);
  }
  std::string Stream(const char* name = "rec") {
    const auto bytes = TextureWorld::ReadGzip(std::string(name) + ".rec");
    return std::string(bytes.begin(), bytes.end());
  }

  RecordingWorld w_;
};

TEST_F(Recording, TwoFramesOfOneSceneMatchTheGoldenStream) {
  w_.Build();
  const uint32_t s = w_.scene->handle, i = w_.instance->handle, c = w_.camera->instance.handle,
                 e = w_.emitter->handle;
  ASSERT_EQ(B3D_InitRecording("rec"), 1);
  RecordFrame();
  w_.world.block_.gameTime = 1040;
  RecordFrame();
  B3D_ExitRecording();

  StreamBytes golden;
  golden.Tag("RECO").Word(1).Word(0x5F000000).Tag("RNAM").Word(0).Word(0).Tag("RFRA").Word(1000);
  golden.Tag("RFRA").Word(1000);
  golden.Tag("RSCE").Word(s).Word(0x10000003).Word(kSceneEnabled).Word(655);
  golden.Tag("RINS").Word(i).Word(0x10000000 | 0x4 | 0x8 | 0x10 | 0x200 | 0x400 | 0x20 | 0x40000 | 0x800);
  golden.Word(s).Words({1, 2, 3}).Identity().Word(kInstRenderReady).Word(uint32_t(-1)).Word(kOne);
  golden.Words({kOne, kOne, kOne}).Word(uint32_t(-1));
  golden.Tag("RCAM").Word(c).Word(0x10000000 | 0x1 | 0x2 | 0x4 | 0x8 | 0x10 | 0x40 | 0x80 | 0x400);
  golden.Word(s).Words({0, 0, -10}).Identity().Word(5).Word(kCameraEnabled).Words({0, 0xFFFF, 0, 0xFFFF});
  golden.Word(16384).Words({kOne, kOne, kOne});
  golden.Tag("RPGE").Word(e).Word(0x10000000 | 0x1 | 0x2 | 0x4 | 0x40 | 0x80);
  golden.Words({5, 6, 7}).Identity().Word(kOne).Words({kOne, 0, 0, 0}).Word(s);
  // Nothing changed: the scene and the emitter say so, the instance and the camera are silent.
  golden.Tag("RFRA").Word(1040).Tag("RSCE").Word(s).Word(0).Tag("RPGE").Word(e).Word(0);
  golden.Tag("REND");
  EXPECT_EQ(Stream(), golden.bytes);
}

TEST_F(Recording, NamesAreWrittenEveryFrameAndOnceMoreWhenTheyGo) {
  w_.Build();
  B3D_SceneSetName(w_.scene, "main");
  w_.instance->name = DuplicateString("hull");
  ASSERT_EQ(B3D_InitRecording("rec"), 1);
  RecordFrame();
  RecordFrame();
  w_.instance->name = FreeString(w_.instance->name);
  RecordFrame();
  RecordFrame();
  B3D_ExitRecording();
  const std::string bytes = Stream();
  const uint32_t s = w_.scene->handle, i = w_.instance->handle, e = w_.emitter->handle;
  StreamBytes named, gone, quiet;
  named.Tag("RFRA").Word(1000).Tag("RSCE").Word(s).Word(0x4).Word(4).Text("main");
  named.Tag("RINS").Word(i).Word(0x20000).Word(4).Text("hull").Tag("RPGE").Word(e).Word(0);
  gone.Tag("RFRA").Word(1000).Tag("RSCE").Word(s).Word(0x4).Word(4).Text("main");
  gone.Tag("RINS").Word(i).Word(0x20000).Word(0).Tag("RPGE").Word(e).Word(0);
  quiet.Tag("RFRA").Word(1000).Tag("RSCE").Word(s).Word(0x4).Word(4).Text("main").Tag("RPGE").Word(e).Word(0);
  EXPECT_EQ(bytes.substr(bytes.size() - 4 - quiet.bytes.size() - gone.bytes.size() - named.bytes.size()),
            named.bytes + gone.bytes + quiet.bytes + "REND");
}

TEST_F(Recording, GoneObjectsGetOneDeletionRecordAndDisabledScenesKeepTheirShadow) {
  w_.Build();
  ASSERT_EQ(B3D_InitRecording("rec"), 1);
  RecordFrame();
  const uint32_t s = w_.scene->handle, i = w_.instance->handle, c = w_.camera->instance.handle,
                 e = w_.emitter->handle;
  const std::string before = Stream();

  B3D_SceneDisable(w_.scene);
  RecordFrame();  // not recorded, shadow kept
  B3D_SceneEnable(w_.scene);
  w_.scene->flags = kSceneEnabled;
  w_.camera->cameraFlags = kCameraEnabled;
  FreeInstance(w_.instance);
  w_.instance = nullptr;
  RecordFrame();
  RecordFrame();
  B3D_ExitRecording();
  const std::string bytes = Stream();
  ASSERT_GT(bytes.size(), before.size());
  StreamBytes tail;
  tail.Tag("RFRA").Word(1000).Tag("RPGE").Word(e).Word(0);  // the disabled frame
  tail.Tag("RFRA").Word(1000).Tag("RSCE").Word(s).Word(0).Tag("RINS").Word(i).Word(0x20000000);
  tail.Tag("RPGE").Word(e).Word(0);
  tail.Tag("RFRA").Word(1000).Tag("RSCE").Word(s).Word(0).Tag("RPGE").Word(e).Word(0).Tag("REND");
  EXPECT_EQ(bytes.substr(bytes.size() - tail.bytes.size()), tail.bytes);
  (void)c;
}

TEST_F(Recording, AFreedSceneTakesItsMembersAndCamerasWithItInDeletionRecords) {
  w_.Build();
  ASSERT_EQ(B3D_InitRecording("rec"), 1);
  RecordFrame();
  const uint32_t s = w_.scene->handle, i = w_.instance->handle, c = w_.camera->instance.handle,
                 e = w_.emitter->handle;
  w_.emitter->scene = nullptr;
  w_.FreeScenes();
  RecordFrame();
  B3D_ExitRecording();
  StreamBytes tail;
  tail.Tag("RFRA").Word(1000).Tag("RSCE").Word(s).Word(0x20000000).Tag("RINS").Word(i).Word(0x20000000);
  tail.Tag("RCAM").Word(c).Word(0x20000000).Tag("RPGE").Word(e).Word(0x80).Word(0).Tag("REND");
  const std::string bytes = Stream();
  EXPECT_EQ(bytes.substr(bytes.size() - tail.bytes.size()), tail.bytes);
}

TEST_F(Recording, NameTablesHoldTheAddedRowsWithNamesCutTo255Bytes) {
  ASSERT_TRUE(AllocBodyDataTable());
  ASSERT_TRUE(AllocCutDataTable());
  ASSERT_TRUE(SetAddedBodyRows(3));
  ASSERT_TRUE(SetAddedCutRows(1));
  EngineState3D& e = w_.engine();
  e.bodyDataRows[e.bodyDataFixedRows].fileName = DuplicateString("ship");
  e.bodyDataRows[e.bodyDataFixedRows + 2].fileName = DuplicateString(std::string(300, 'n').c_str());
  e.cutDataRows[e.cutDataFixedRows].fileName = DuplicateString("intro");
  ASSERT_EQ(B3D_InitRecording("rec"), 1);
  ASSERT_TRUE(SetAddedCutRows(2));  // a new row: the next frame repeats the tables
  RecordFrame();
  B3D_ExitRecording();
  StreamBytes tables;
  tables.Word(3).Text("\x04ship").Text(std::string(1, '\0')).Text("\xFF" + std::string(255, 'n'));
  tables.Word(1).Text("\x05intro");
  StreamBytes head;
  head.Tag("RECO").Word(1).Word(0x5F000000).Tag("RNAM").Text(tables.bytes).Tag("RFRA").Word(1000);
  head.Tag("RFRA").Word(1000).Tag("RNAM").Word(3).Text("\x04ship").Text(std::string(1, '\0'));
  head.Text("\xFF" + std::string(255, 'n')).Word(2).Text(std::string(2, '\0')).Tag("REND");
  EXPECT_EQ(Stream(), head.bytes);
  FreeBodyDataTable();
  FreeCutDataTable();
}

TEST_F(Recording, AFileThatCannotBeMadeAnswersZeroAndLeavesNothing) {
  const uint32_t before = MemGetCurrentBytes();
  EXPECT_EQ(B3D_InitRecording("no such folder/rec"), 0);
  EXPECT_EQ(w_.engine().recording, nullptr);
  EXPECT_EQ(w_.engine().engineFlags & kEngineRecording, 0u);
  EXPECT_EQ(MemGetCurrentBytes(), before);
  // Without a recording, the drawing writer and the frame write nothing and stop nothing.
  const int32_t args[6] = {1, 0, 0, 1, 1, 0};
  RecordDrawing(DrawRecord::RectFill, args, nullptr);
  RecordFrame();
  B3D_ExitRecording();
  EXPECT_EQ(w_.engine().engineFlags & kEngineRecording, 0u);
}

TEST_F(Recording, AWriteThatFailsEndsTheRecording) {
  // The stream goes to a device that takes no byte; the failure shows once the compressor
  // hands its buffer on.
  std::filesystem::create_symlink("/dev/full", "full.rec");
  ASSERT_EQ(B3D_InitRecording("full"), 1);
  uint32_t seed = 1;
  for (int n = 0; n < 200000 && w_.engine().recording; ++n) {
    int32_t args[6];
    for (int32_t& a : args) a = int32_t(seed = seed * 1103515245u + 12345u);
    RecordDrawing(DrawRecord::RectFill, args, nullptr);
  }
  EXPECT_EQ(w_.engine().recording, nullptr);
  EXPECT_EQ(w_.engine().engineFlags & kEngineRecording, 0u);
}

}  // namespace
