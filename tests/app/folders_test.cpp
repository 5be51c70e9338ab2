#include "app/folders.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <optional>

#include "test_support.h"

namespace quorlin {
namespace {

namespace fs = std::filesystem;
using test::FreshDir;
using test::WriteFile;

// Restores the environment and the folder globals a test changes.
class FoldersTest : public testing::Test {
 protected:
  void SetUp() override {
    for (const char* name : {"HOME", "XDG_CONFIG_HOME", "TMPDIR"}) {
      const char* v = std::getenv(name);
      savedEnv_[name] = v ? std::optional<std::string>(v) : std::nullopt;
    }
    saved_ = {ProgramFolder, DataFolder, TempFolder, EDFolder};
    root_ = FreshDir("folders");
    home_ = root_ / "home";
    fs::create_directories(home_);
    setenv("HOME", home_.c_str(), 1);
    setenv("XDG_CONFIG_HOME", (home_ / ".config").c_str(), 1);
  }
  void TearDown() override {
    for (const auto& [name, value] : savedEnv_) {
      if (value) {
        setenv(name.c_str(), value->c_str(), 1);
      } else {
        unsetenv(name.c_str());
      }
    }
    ProgramFolder = saved_[0], DataFolder = saved_[1], TempFolder = saved_[2], EDFolder = saved_[3];
  }
  std::string ProgramPath() const { return (root_ / "prog" / "quorlin").string(); }

  std::map<std::string, std::optional<std::string>> savedEnv_;
  std::array<std::string, 4> saved_;
  fs::path root_, home_;
};

struct UserDirsRow {
  const char* name;
  std::string text;
  std::optional<std::string> want;
};

class UserDirsTest : public testing::TestWithParam<UserDirsRow> {};

TEST_P(UserDirsTest, DocumentsEntryIsExpanded) {
  EXPECT_EQ(ParseUserDirsDocuments(GetParam().text, "/home/ann"), GetParam().want);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, UserDirsTest,
    testing::Values(
        UserDirsRow{"HomeRelative", "XDG_DOCUMENTS_DIR=\"$HOME/Documents\"\n", "/home/ann/Documents"},
        UserDirsRow{"AmongOtherKeys",
                    "# written by xdg-user-dirs-update\nXDG_DESKTOP_DIR=\"$HOME/Desktop\"\n"
                    "XDG_DOCUMENTS_DIR=\"$HOME/Документы\"\nXDG_MUSIC_DIR=\"$HOME/Music\"\n",
                    "/home/ann/Документы"},
        UserDirsRow{"BracedHome", "XDG_DOCUMENTS_DIR=\"${HOME}/Docs\"", "/home/ann/Docs"},
        UserDirsRow{"Absolute", "XDG_DOCUMENTS_DIR=\"/srv/docs/\"\n", "/srv/docs"},
        UserDirsRow{"Unquoted", "XDG_DOCUMENTS_DIR=$HOME/Plain\n", "/home/ann/Plain"},
        UserDirsRow{"EscapedQuote", "XDG_DOCUMENTS_DIR=\"$HOME/My \\\"Docs\\\"\"\n", "/home/ann/My \"Docs\""},
        UserDirsRow{"CrLfAndBlanks", "  XDG_DOCUMENTS_DIR = \"$HOME/Win\"  \r\n", "/home/ann/Win"},
        UserDirsRow{"HomeItself", "XDG_DOCUMENTS_DIR=\"$HOME/\"\n", "/home/ann"},
        UserDirsRow{"LastWins", "XDG_DOCUMENTS_DIR=\"$HOME/A\"\nXDG_DOCUMENTS_DIR=\"$HOME/B\"\n",
                    "/home/ann/B"},
        UserDirsRow{"RelativeIgnored", "XDG_DOCUMENTS_DIR=\"Documents\"\n", std::nullopt},
        UserDirsRow{"HomePrefixOnly", "XDG_DOCUMENTS_DIR=\"$HOMEx/D\"\n", std::nullopt},
        UserDirsRow{"CommentedOut", "#XDG_DOCUMENTS_DIR=\"$HOME/D\"\n", std::nullopt},
        UserDirsRow{"Missing", "XDG_MUSIC_DIR=\"$HOME/Music\"\n", std::nullopt}),
    [](const testing::TestParamInfo<UserDirsRow>& info) { return info.param.name; });

TEST_F(FoldersTest, FirstStartCreatesDocumentsAndDataFolder) {
  ASSERT_FALSE(fs::exists(home_ / "Documents"));
  EXPECT_TRUE(InitFolders(ProgramPath()));
  EXPECT_EQ(DataFolder, (home_ / "Documents" / "Quorlin Draughts").string() + "/");
  EXPECT_TRUE(fs::is_directory(DataFolder));
  EXPECT_EQ(ProgramFolder, (root_ / "prog").string() + "/");
  for (const std::string* f : {&ProgramFolder, &DataFolder, &TempFolder, &EDFolder}) {
    EXPECT_EQ(f->front(), '/') << *f;
    EXPECT_EQ(f->back(), '/') << *f;
    EXPECT_EQ(f->find("//"), std::string::npos) << *f;
  }
}

TEST_F(FoldersTest, DocumentsComeFromUserDirsConfiguration) {
  fs::create_directories(home_ / ".config");
  WriteFile(home_ / ".config" / "user-dirs.dirs", "XDG_DOCUMENTS_DIR=\"$HOME/Мои документы\"\n");
  EXPECT_TRUE(InitFolders(ProgramPath()));
  EXPECT_EQ(DataFolder, (home_ / "Мои документы" / "Quorlin Draughts").string() + "/");
  EXPECT_TRUE(fs::is_directory(DataFolder));

  // Without XDG_CONFIG_HOME the file in $HOME/.config is used.
  unsetenv("XDG_CONFIG_HOME");
  EXPECT_EQ(DocumentsFolder(), (home_ / "Мои документы").string());

  // An XDG_CONFIG_HOME elsewhere without the file falls back to $HOME/Documents.
  setenv("XDG_CONFIG_HOME", (root_ / "emptyconfig").c_str(), 1);
  EXPECT_EQ(DocumentsFolder(), (home_ / "Documents").string());
}

TEST_F(FoldersTest, EDFolderBesideProgramWhenPresentElseInDataFolder) {
  fs::create_directories(root_ / "prog");
  InitFolders(ProgramPath());
  EXPECT_EQ(EDFolder, DataFolder + "ED/");

  fs::create_directories(root_ / "prog" / "ED");
  InitFolders(ProgramPath());
  EXPECT_EQ(EDFolder, ProgramFolder + "ED/");
}

TEST_F(FoldersTest, ProgramFolderDefaultsToRunningExecutable) {
  InitFolders();
  EXPECT_EQ(ProgramFolder, fs::read_symlink("/proc/self/exe").parent_path().string() + "/");
}

TEST_F(FoldersTest, TempFolderIsResolvedAndFallsBackToTmp) {
  const fs::path real = root_ / "realtmp";
  fs::create_directories(real);
  fs::create_symlink(real, root_ / "linktmp");
  setenv("TMPDIR", (root_ / "linktmp").c_str(), 1);
  InitFolders(ProgramPath());
  EXPECT_EQ(TempFolder, fs::canonical(real).string() + "/");

  setenv("TMPDIR", (root_ / "missing").c_str(), 1);
  InitFolders(ProgramPath());
  EXPECT_EQ(TempFolder, fs::canonical("/tmp").string() + "/");

  unsetenv("TMPDIR");
  InitFolders(ProgramPath());
  EXPECT_EQ(TempFolder, fs::canonical("/tmp").string() + "/");
}

TEST_F(FoldersTest, DataFolderThatCannotBeCreatedIsReportedNotFatal) {
  WriteFile(home_ / "Documents", "a file where the folder should be");
  EXPECT_FALSE(InitFolders(ProgramPath()));
  EXPECT_EQ(DataFolder, (home_ / "Documents" / "Quorlin Draughts").string() + "/");
}

}  // namespace
}  // namespace quorlin
