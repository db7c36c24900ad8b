// The "SFX " save section: the byte image the writer makes of the slots and the overflow slot,
// and what the reader wakes: each waiting owner once with 1, no module of 32 or more, nothing for
// empty records, nothing past a wrong tag, zeros for a short file.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include "core/byte_order.h"
#include "core/file_object.h"
#include "core/memory.h"
#include "devices/sound.h"
#include "devices/sound_channels.h"
#include "script/engine.h"
#include "script/tasks.h"
#include "support/temp_dir.h"

namespace {

std::vector<std::pair<uint32_t, int32_t>> gWoken;
int32_t Record(uint32_t handle, int32_t value) {
  gWoken.emplace_back(handle, value);
  return 0;
}
const char* const kNoNames[] = {nullptr};

std::string Word(uint32_t value) {
  unsigned char b[4];
  StoreBE32(b, value);
  return std::string(reinterpret_cast<char*>(b), 4);
}

std::string Record3(int32_t priority, int32_t module, int32_t handle) {
  return Word(uint32_t(priority)) + Word(uint32_t(module)) + Word(uint32_t(handle));
}

class SoundSave : public testing::Test {
 protected:
  void SetUp() override {
    engine_ = static_cast<ScriptEngine*>(MemCalloc(sizeof(ScriptEngine)));
    ASSERT_TRUE(InitEngineContext(engine_));
    engine_->scriptName = DuplicateString("story");
    ASSERT_EQ(RegisterNativeModule(engine_, nullptr, kNoNames, Record, nullptr, nullptr), 1);
    gWoken.clear();
    ASSERT_NE(InitSoundModule(), nullptr);
  }
  void TearDown() override {
    ShutdownSoundModule();
    engine_->scriptName = FreeString(engine_->scriptName);
    FreeEngineTables(engine_);
    MemFreeIfSet(engine_);
    gScriptEngine = nullptr;
  }

  std::string Write() {
    FileObject file;
    FileObjectInit(&file);
    EXPECT_TRUE(FileOpen(&file, dir_.File("sfx").c_str(), "wbT", false));
    EXPECT_EQ(WriteSoundState(&file), 1);
    FileClose(&file);
    return Bytes();
  }
  std::string Bytes() {
    std::string out;
    if (FILE* f = std::fopen(dir_.File("sfx").c_str(), "rb")) {
      char buffer[512];
      size_t n;
      while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0) out.append(buffer, n);
      std::fclose(f);
    }
    return out;
  }
  // Reads `bytes`; the answer and the position after the call.
  std::pair<int32_t, long> Read(const std::string& bytes) {
    if (FILE* f = std::fopen(dir_.File("sfx").c_str(), "wb")) {
      std::fwrite(bytes.data(), 1, bytes.size(), f);
      std::fclose(f);
    }
    FileObject file;
    FileObjectInit(&file);
    EXPECT_TRUE(FileOpen(&file, dir_.File("sfx").c_str(), "rb", false));
    const int32_t answer = ReadSoundState(&file);
    const long at = FileTell(&file);
    FileClose(&file);
    return {answer, at};
  }

  TempDir dir_;
  ScriptEngine* engine_ = nullptr;
};

TEST_F(SoundSave, WritesTheTagAnd33RecordsByteForByte) {
  SoundChannelSlot* slot = gScriptSound->slots[0];
  slot->priority = 3;
  slot->ownerModule = 1;
  slot->ownerHandle = 77;
  slot = gScriptSound->slots[31];
  slot->priority = -1;
  slot->ownerModule = 2;
  slot->ownerHandle = 5;
  gScriptSound->overflow->priority = 4;
  gScriptSound->overflow->ownerModule = 1;
  gScriptSound->overflow->ownerHandle = 9;

  std::string expected = "SFX " + Record3(3, 1, 77);
  for (int i = 1; i < 31; ++i) expected += Record3(0, 0, 0);
  expected += Record3(-1, 2, 5) + Record3(4, 1, 9);
  const std::string written = Write();
  ASSERT_EQ(written.size(), 400u);
  EXPECT_EQ(written, expected);
  EXPECT_EQ(written.substr(4 + 31 * 12, 4), std::string("\xFF\xFF\xFF\xFF", 4));
}

TEST_F(SoundSave, ReadingWakesEachWaitingOwnerOnceAndChangesNothingLive) {
  const std::string zeros = Record3(0, 0, 0);
  std::string image = "SFX " + Record3(3, 1, 77) + Record3(5, 32, 78) + Record3(-1, 1, 79) + Record3(0, 1, 80);
  for (int i = 4; i < 32; ++i) image += zeros;
  image += Record3(2, 1, 81);
  gScriptSound->slots[7]->priority = 9;
  gScriptSound->slots[7]->ownerModule = 1;
  gScriptSound->slots[7]->ownerHandle = 500;

  struct Case {
    const char* what;
    std::string bytes;
    int32_t answer;
    long position;
    std::vector<std::pair<uint32_t, int32_t>> woken;
  };
  const Case kCases[] = {
      {"waiting owners; module 32 and priority 0 are skipped", image, 1, 400, {{77, 1}, {79, 1}, {81, 1}}},
      {"a save made while nothing played", "SFX " + std::string(396, '\0'), 1, 400, {}},
      {"a wrong tag", "/SFX" + image.substr(4), 0, 4, {}},
      {"a short section reads zeros for what is missing", image.substr(0, 4 + 12 + 5), 1, 21, {{77, 1}}},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.what);
    gWoken.clear();
    const auto [answer, position] = Read(c.bytes);
    EXPECT_EQ(answer, c.answer);
    EXPECT_EQ(position, c.position);
    EXPECT_EQ(gWoken, c.woken);
    EXPECT_EQ(gScriptSound->slots[7]->priority, 9);
    EXPECT_EQ(gScriptSound->slots[7]->ownerHandle, 500);
  }
}

TEST_F(SoundSave, WithoutASoundStateNothingIsWrittenOrRead) {
  const std::string image = Write();
  ShutdownSoundModule();
  FileObject file;
  FileObjectInit(&file);
  ASSERT_TRUE(FileOpen(&file, dir_.File("none").c_str(), "wbT", false));
  EXPECT_EQ(WriteSoundState(&file), 0);
  EXPECT_EQ(FileTell(&file), 0);
  FileClose(&file);
  EXPECT_EQ(Read(image).first, 0);
  ASSERT_NE(InitSoundModule(), nullptr);
}

}  // namespace
