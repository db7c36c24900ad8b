// The "MOVI" save section over movie files that open without decoding: the exact bytes written,
// voice ids read under the current language, texture slots reconnected, the list order kept
// through a round trip, voice information loaded with its fall-back, and every way a section
// can be wrong, where nothing may be opened before the records are all there.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/byte_order.h"
#include "core/file_object.h"
#include "core/system_block.h"
#include "devices/movie.h"
#include "devices/sound.h"
#include "devices/sound_channels.h"
#include "sound/voice_writer.h"
#include "support/fake_movies.h"

namespace {

std::string Word(uint32_t value) {
  unsigned char b[4];
  StoreBE32(b, value);
  return std::string(reinterpret_cast<const char*>(b), 4);
}

// A section as a save holds it: records of {id, texture slot} with the other words set to
// something the reader must drop, then the language words.
std::string Section(const std::vector<std::pair<int32_t, int32_t>>& records, const std::vector<uint32_t>& languages,
                    const std::string& end = "/MOV") {
  std::string bytes = "MOVI" + Word(uint32_t(records.size()));
  for (const auto& [id, slot] : records) {
    bytes += Word(uint32_t(id));
    for (int k = 1; k < 10; ++k) bytes += Word(k == 6 ? uint32_t(slot) : 0x1000u + k);
  }
  bytes += Word(uint32_t(languages.size()));
  for (const uint32_t language : languages) bytes += Word(language);
  return bytes + end;
}

struct Opened {
  int32_t id;
  int32_t slot;  // 0 when not connected
  bool operator==(const Opened&) const = default;
};

class MovieSave : public testing::Test {
 protected:
  void SetUp() override {
    system_ = SystemBlock{};
    system_.language = 44;
    gSystem = &system_;
    ASSERT_NE(InitSoundModule(), nullptr);
    gScriptSound->language = 44;
    ASSERT_NE(InitMovieModule(), nullptr);
  }

  void TearDown() override {
    ShutdownMovieModule();
    ShutdownSoundModule();
    gSystem = nullptr;
  }

  // The section the module writes, through a plain file.
  std::string Written() {
    FileObject file;
    FileObjectInit(&file);
    const std::string path = movies_.dir().File("w.sav");
    EXPECT_TRUE(FileOpen(&file, path.c_str(), "wbT", false));
    EXPECT_EQ(WriteMovieState(&file), 1);
    FileClose(&file);
    return movies_.dir().Read("w.sav");
  }

  int32_t Read(const std::string& bytes) {
    movies_.dir().Write("r.sav", bytes);
    FileObject file;
    FileObjectInit(&file);
    const std::string path = movies_.dir().File("r.sav");
    EXPECT_TRUE(FileOpen(&file, path.c_str(), "rb", false));
    const int32_t answer = ReadMovieState(&file);
    FileClose(&file);
    return answer;
  }

  static std::vector<Opened> List() {
    std::vector<Opened> list;
    for (MovieRecord* m = FirstMovie(); m; m = NextMovie(m))
      list.push_back({m->id, (m->flags & kMovieConnected) ? m->textureSlot : 0});
    return list;
  }

  void Restart() {
    ShutdownMovieModule();
    ASSERT_NE(InitMovieModule(), nullptr);
  }

  SystemBlock system_{};
  FakeMovies movies_{1, 5, 100, 144, 150, 200, 800};
};

TEST_F(MovieSave, NoMovieAndNoVoiceInformationIsSixteenBytes) {
  EXPECT_EQ(Written(), std::string("MOVI") + std::string(8, '\0') + "/MOV");
}

TEST_F(MovieSave, RecordsGoMostRecentFirstInTenWordsThenTheLanguages) {
  movies_.WriteVoiceInfo(44, sound_tool::WriteVoiceInfo({{44, {{1, 144, {{0, 100, 200}}}}}}));
  ASSERT_NE(MovieOpen(800, 0), nullptr);
  MovieRecord* recent = MovieOpen(144, 0);
  ASSERT_NE(recent, nullptr);
  recent->ownerHandle = 17;
  recent->ownerModule = 3;
  recent->start = 1500;
  recent->end = 3000;
  recent->voiceLanguage = 44;
  recent->voicePage = 1;
  recent->voiceId = 9;
  MovieConnectTexture(recent, 70);
  ASSERT_EQ(MOV_LoadVoiceInfo(44), 1);

  const std::string bytes = Written();
  ASSERT_EQ(bytes.size(), 4u + 4 + 2 * 40 + 4 + 4 + 4);
  const auto word = [&](size_t k) { return LoadBE32(reinterpret_cast<const unsigned char*>(bytes.data()) + 4 + 4 * k); };
  EXPECT_EQ(bytes.substr(0, 4), "MOVI");
  EXPECT_EQ(word(0), 2u);
  const uint32_t first[10] = {144, 17, 3, 1500, 3000, recent->flags, 70, 44, 1, 9};
  for (int k = 0; k < 10; ++k) EXPECT_EQ(word(1 + k), first[k]) << "word " << k;
  EXPECT_EQ(word(11), 800u);
  EXPECT_EQ(word(17), 0u);  // 800 has no texture slot
  EXPECT_EQ(word(21), 1u);
  EXPECT_EQ(word(22), 44u);
  EXPECT_EQ(bytes.substr(bytes.size() - 4), "/MOV");
}

TEST_F(MovieSave, ReadingOpensUnderTheCurrentLanguageAndReconnectsSlots) {
  struct Case {
    const char* name;
    int16_t language;
    int32_t savedId, savedSlot;
    std::vector<Opened> opened;
  };
  const Case kCases[] = {
      {"a voice stream of another language", 44, 149, 0, {{144, 0}}},
      {"150 is a voice stream too", 44, 150, 0, {{144, 0}}},
      {"150 stays only under language 50", 50, 150, 0, {{150, 0}}},
      {"the top of the voice range", 44, 199, 0, {{144, 0}}},
      {"100 is below it", 44, 100, 0, {{100, 0}}},
      {"200 is above it", 44, 200, 0, {{200, 0}}},
      {"a saved slot is reconnected", 44, 800, 70, {{800, 70}}},
      {"slot 0 keeps the id's own connection", 44, 1, 0, {{1, 66}}},
      {"a file that is not there is skipped", 44, 7, 70, {}},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    Restart();
    gScriptSound->language = c.language;
    EXPECT_EQ(Read(Section({{c.savedId, c.savedSlot}}, {})), 1);
    EXPECT_EQ(List(), c.opened);
  }
}

TEST_F(MovieSave, TwoSavedVoiceIdsShareTheOneRecordOfTheCurrentLanguage) {
  EXPECT_EQ(Read(Section({{149, 0}, {150, 61}}, {})), 1);
  EXPECT_EQ(List(), (std::vector<Opened>{{144, 61}}));
}

TEST_F(MovieSave, WriteReadWriteKeepsTheListInItsOrder) {
  ASSERT_NE(MovieOpen(800, 0), nullptr);
  MovieConnectTexture(MovieOpen(5, 0), 70);
  ASSERT_NE(MovieOpen(1, 0), nullptr);
  const std::vector<Opened> before = List();
  ASSERT_EQ(before, (std::vector<Opened>{{1, 66}, {5, 70}, {800, 0}}));
  const std::string bytes = Written();
  Restart();
  EXPECT_EQ(Read(bytes), 1);
  EXPECT_EQ(List(), before);
  EXPECT_EQ(Written(), bytes);
}

TEST_F(MovieSave, ALanguageEntryLoadsTheCurrentLanguageOrElseLanguage44) {
  movies_.WriteVoiceInfo(44, sound_tool::WriteVoiceInfo({{44, {{1, 144, {}}}}}));
  movies_.WriteVoiceInfo(49, sound_tool::WriteVoiceInfo({{49, {{1, 149, {}}}}}));
  struct Case {
    const char* name;
    int16_t language;
    std::vector<uint32_t> entries;
    int32_t stream44, stream49;  // page 1's stream in each language afterwards
  };
  const Case kCases[] = {
      {"the current language's file", 49, {7}, -1, 149},
      {"no file: language 44 instead", 33, {33}, 144, -1},
      {"language 44 itself", 44, {49, 50}, 144, -1},
      {"no entry loads nothing", 49, {}, -1, -1},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    Restart();
    gScriptSound->language = c.language;
    EXPECT_EQ(Read(Section({}, c.entries)), 1);
    EXPECT_EQ(MOV_GetVoiceStream(44, 1), c.stream44);
    EXPECT_EQ(MOV_GetVoiceStream(49, 1), c.stream49);
  }
}

TEST_F(MovieSave, BadSectionsAnswerZeroAndOpenNothingUntilTheRecordsAreThere) {
  const std::string good = Section({{800, 70}}, {44});
  struct Case {
    const char* name;
    std::string bytes;
    std::vector<Opened> opened;
  };
  const Case kCases[] = {
      {"wrong start tag", "MOVX" + good.substr(4), {}},
      {"wrong end tag, after the opening", Section({{800, 70}}, {}, "/MOX"), {{800, 70}}},
      {"no end tag", good.substr(0, good.size() - 4), {{800, 70}}},
      {"a huge count in a short file", "MOVI" + Word(0x7FFFFFFF) + Word(800) + Word(0), {}},
      {"a record cut short", good.substr(0, 4 + 4 + 20), {}},
      {"a huge language count", "MOVI" + Word(1) + good.substr(8, 40) + Word(0xFFFFFFFF) + Word(44), {}},
      {"nothing at all", "", {}},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    Restart();
    EXPECT_EQ(Read(c.bytes), 0);
    EXPECT_EQ(List(), c.opened);
  }
}

TEST_F(MovieSave, WritingAnswersZeroWithoutAModuleOrAWritableFile) {
  movies_.dir().Write("r.sav", "");
  FileObject file;
  FileObjectInit(&file);
  const std::string path = movies_.dir().File("r.sav");
  ASSERT_TRUE(FileOpen(&file, path.c_str(), "rb", false));
  EXPECT_EQ(WriteMovieState(&file), 0);
  FileClose(&file);
  ShutdownMovieModule();
  ASSERT_TRUE(FileOpen(&file, movies_.dir().File("w.sav").c_str(), "wbT", false));
  EXPECT_EQ(WriteMovieState(&file), 0);
  FileClose(&file);
  EXPECT_EQ(ReadMovieState(nullptr), 0);
}

}  // namespace
