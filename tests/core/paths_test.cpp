// Game paths and folders: paths in and outside the user data folder, the folder's creation and
// its "." fallbacks, folder creation, the current folder, and accounted folder searches.
#include "core/paths.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "core/memory.h"
#include "core/system_block.h"
#include "support/scoped_env.h"
#include "support/temp_dir.h"

namespace {

ProductRecord MakeProduct() {
  ProductRecord product{};
  product.folderName = "VexaNL";
  return product;
}
const ProductRecord kTestProduct = MakeProduct();

// The user data folder is worked out once per process, so every test of this program shares
// one documents folder, set up before the first test runs.
class DocumentsEnvironment : public ::testing::Environment {
 public:
  void SetUp() override {
    documents_ = new TempDir();
    setenv("XDG_DOCUMENTS_DIR", documents_->File("Docs").c_str(), 1);
  }
  void TearDown() override {
    delete documents_;
    documents_ = nullptr;
  }
  static std::string Documents() { return documents_->File("Docs"); }

 private:
  static TempDir* documents_;
};
TempDir* DocumentsEnvironment::documents_ = nullptr;
::testing::Environment* const kDocuments = ::testing::AddGlobalTestEnvironment(new DocumentsEnvironment);

class PathsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    block = SystemBlock{};
    block.product = &kTestProduct;
    gSystem = &block;
  }
  void TearDown() override { gSystem = nullptr; }
  std::string UserFolder() const { return DocumentsEnvironment::Documents() + "/Korvane/VexaNL"; }
  SystemBlock block;
};

std::vector<std::string> SearchAll(const char* pattern, const char* folder, int inUserFolder) {
  std::vector<std::string> names;
  FileSearch* search = OpenFileSearch(pattern, folder, inUserFolder);
  if (!search) return names;
  while (const char* name = NextFileSearch(search)) names.push_back(name);
  EXPECT_EQ(NextFileSearch(search), nullptr);  // stays at the end
  CloseFileSearch(search);
  return names;
}

}  // namespace

TEST_F(PathsTest, PathOutsideUserFolderIsTheNameWithBackslashes) {
  struct Case {
    const char* name;
    const char* path;
  };
  const Case kCases[] = {
      {"objects/ships\\a.txt", "objects\\ships\\a.txt"},
      {"plain", "plain"},
      {"", ""},
      {nullptr, ""},
  };
  for (const Case& c : kCases) {
    uint32_t before = MemGetCurrentBytes();
    char* path = MakeFilePath(c.name, 0);
    ASSERT_NE(path, nullptr);
    EXPECT_STREQ(path, c.path);
    EXPECT_EQ(MemGetCurrentBytes() - before, std::strlen(c.path) + 1);  // an accounted string
    FreeString(path);
    EXPECT_EQ(MemGetCurrentBytes(), before);
  }
}

TEST_F(PathsTest, UserFolderIsMadeUnderTheDocumentsFolder) {
  char* folder = GetUserDataFolder();
  ASSERT_NE(folder, nullptr);
  EXPECT_EQ(std::string(folder), GamePath(UserFolder()));
  EXPECT_TRUE(std::filesystem::is_directory(UserFolder()));
  FreeString(folder);

  char* path = MakeFilePath("save/Ulnar01.sav", 1);
  EXPECT_EQ(std::string(path), GamePath(UserFolder()) + "\\save\\Ulnar01.sav");
  FreeString(path);
}

TEST_F(PathsTest, UserFolderFallsBackToCurrentFolder) {
  TempDir dir;
  struct Case {
    const char* what;
    bool noDocuments;
    bool blockVendorFolder;
    bool noProduct;
  };
  const Case kCases[] = {
      {"no documents folder", true, false, false},
      {"vendor folder cannot be made", false, true, false},
      {"no product", false, false, true},
  };
  for (const Case& c : kCases) {
    std::string documents = dir.File(c.what);
    if (c.blockVendorFolder) dir.Write(std::string(c.what) + "/Korvane", "a file, not a folder");
    ScopedEnv xdg("XDG_DOCUMENTS_DIR", c.noDocuments ? nullptr : documents.c_str());
    ScopedEnv home("HOME", nullptr);
    block.product = c.noProduct ? nullptr : &kTestProduct;
    char* folder = GetUserDataFolder();
    ASSERT_NE(folder, nullptr);
    EXPECT_STREQ(folder, ".") << c.what;
    FreeString(folder);
  }
}

TEST_F(PathsTest, MakeDirectoryCreatesOnceInEitherPlace) {
  TempDir dir;
  std::string game = GamePath(dir.File("made"));
  EXPECT_EQ(MakeDirectory(game.c_str(), 0), 1);
  EXPECT_TRUE(std::filesystem::is_directory(dir.File("made")));
  EXPECT_EQ(MakeDirectory(game.c_str(), 0), 0);  // exists already
  EXPECT_EQ(MakeDirectory(GamePath(dir.File("no/such/parent")).c_str(), 0), 0);

  FreeString(MakeFilePath("", 1));  // the user folder, kept for the process once worked out
  uint32_t before = MemGetCurrentBytes();
  EXPECT_EQ(MakeDirectory("screenshots", 1), 1);
  EXPECT_TRUE(std::filesystem::is_directory(UserFolder() + "/screenshots"));
  EXPECT_EQ(MemGetCurrentBytes(), before);  // the path was freed
  std::filesystem::remove(UserFolder() + "/screenshots");
}

TEST_F(PathsTest, SetCurrentDirTakesGamePaths) {
  TempDir dir;
  dir.Write("Work/x", "");
  auto old = std::filesystem::current_path();
  EXPECT_EQ(SetCurrentDir(GamePath(dir.File("WORK")).c_str()), 1);
  EXPECT_EQ(std::filesystem::current_path(), std::filesystem::path(dir.File("Work")));
  EXPECT_EQ(SetCurrentDir(GamePath(dir.File("elsewhere")).c_str()), 0);
  EXPECT_EQ(SetCurrentDir(nullptr), 0);
  std::filesystem::current_path(old);
}

TEST_F(PathsTest, NoDiscDriveOnThisSystem) { EXPECT_EQ(FindDiscDrive(), nullptr); }

TEST_F(PathsTest, SearchGivesTheFirstEntryThenTheRest) {
  TempDir dir;
  dir.Write("data/01.cat", "1");
  dir.Write("data/02.dat", "2");
  dir.Write("data/README", "r");
  std::filesystem::create_directories(dir.File("empty"));
  std::string data = GamePath(dir.File("DATA"));
  struct Case {
    const char* pattern;
    std::vector<std::string> names;
  };
  const Case kCases[] = {
      {"*.CAT", {"01.cat"}},
      {"*.*", {"01.cat", "02.dat", "README"}},
      {nullptr, {"01.cat", "02.dat", "README"}},  // no pattern: everything
      {"*.txt", {}},
  };
  for (const Case& c : kCases) {
    uint32_t before = MemGetCurrentBytes();
    EXPECT_EQ(SearchAll(c.pattern, data.c_str(), 0), c.names) << (c.pattern ? c.pattern : "null");
    EXPECT_EQ(MemGetCurrentBytes(), before);  // the record is accounted and given back
  }
  EXPECT_EQ(OpenFileSearch("*.*", GamePath(dir.File("missing")).c_str(), 0), nullptr);
  EXPECT_EQ(OpenFileSearch("*.*", GamePath(dir.File("empty")).c_str(), 0), nullptr);
}

TEST_F(PathsTest, SearchInTheUserFolder) {
  std::filesystem::create_directories(UserFolder() + "/save");
  for (const char* name : {"Ulnar02.sav", "ulnar01.SAV", "notes.txt"}) {
    std::filesystem::path file = std::filesystem::path(UserFolder()) / "save" / name;
    FILE* out = std::fopen(file.c_str(), "wb");
    ASSERT_NE(out, nullptr);
    std::fclose(out);
  }
  EXPECT_EQ(SearchAll("ulnar*.sav", "Save", 1), (std::vector<std::string>{"ulnar01.SAV", "Ulnar02.sav"}));
}

TEST_F(PathsTest, SearchRecordHoldsTheRecordAsAccountedMemory) {
  TempDir dir;
  dir.Write("a.txt", "");
  uint32_t before = MemGetCurrentBytes();
  FileSearch* search = OpenFileSearch("*.txt", GamePath(dir.path()).c_str(), 0);
  ASSERT_NE(search, nullptr);
  EXPECT_EQ(MemGetCurrentBytes() - before, sizeof(FileSearch));
  EXPECT_STREQ(NextFileSearch(search), "a.txt");
  EXPECT_EQ(NextFileSearch(search), nullptr);
  CloseFileSearch(search);
  EXPECT_EQ(MemGetCurrentBytes(), before);
  CloseFileSearch(nullptr);
  EXPECT_EQ(NextFileSearch(nullptr), nullptr);
}
