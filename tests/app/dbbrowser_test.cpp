// The database window's list and its operations on databases, without the window.
#include "app/dbbrowser.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "app/settings.h"
#include "db_fixture.h"

namespace quorlin {
namespace {

namespace fs = std::filesystem;

class DBBrowser : public testing::Test {
 protected:
  void SetUp() override { path_ = test::MakeDatabase("Five", test::NumberedGames(5)); }
  void TearDown() override {
    CloseDatabase(db_);
    ResetSettings();
  }

  void Open() {
    std::string error;
    ASSERT_TRUE(browser_.Open(path_, error)) << error;
  }

  bool Deleted(int game) {
    TGameHeader h;
    EXPECT_TRUE(ReadIndexRecord(db_, game, h));
    return (h.Flags & kHeaderFlagDeleted) != 0;
  }

  std::string path_;
  TQuorlinDB db_;
  TDatabaseBrowser browser_{db_};
};

TEST_F(DBBrowser, OpensWithEveryGameListed) {
  EXPECT_EQ(browser_.Count(), 0);
  EXPECT_EQ(browser_.HeaderText(), "n/a");
  Open();
  EXPECT_EQ(browser_.Count(), 5);
  EXPECT_FALSE(browser_.SearchResult());
  for (int i = 1; i <= 5; ++i) {
    EXPECT_EQ(browser_.Entry(i).num, i);
    EXPECT_EQ(browser_.Entry(i).gotomove, -1);
    EXPECT_FALSE(browser_.Entry(i).selected);
  }
  EXPECT_EQ(browser_.CurPos(), 1);
  EXPECT_EQ(browser_.HeaderText(), "Five [5]");
  EXPECT_EQ(Settings.Database, path_);
}

TEST_F(DBBrowser, RestoresTheSavedPositionUpToTheLastGame) {
  Open();
  browser_.ShowAllAt(2, 5);
  EXPECT_EQ(browser_.CurPos(), 5);
  EXPECT_EQ(browser_.Scroll(), 2);
  browser_.ShowAllAt(0, 6);  // beyond the list: the position stays
  EXPECT_EQ(browser_.CurPos(), 5);
}

TEST_F(DBBrowser, DeleteButtonUndeletesWhenTheFirstTickedGameIsDeleted) {
  Open();
  ASSERT_TRUE(SetDeletedMark(db_, 2, 2));
  browser_.ToggleSelected(2);
  browser_.ToggleSelected(4);
  std::string error;
  ASSERT_TRUE(browser_.DeleteOrUndelete(error)) << error;
  EXPECT_FALSE(Deleted(2));
  EXPECT_FALSE(Deleted(4));
  // Now the first ticked game is not deleted: both are deleted.
  ASSERT_TRUE(browser_.DeleteOrUndelete(error)) << error;
  EXPECT_TRUE(Deleted(2));
  EXPECT_TRUE(Deleted(4));
  EXPECT_FALSE(Deleted(3));
}

TEST_F(DBBrowser, DeleteButtonWithoutTicksTogglesTheCurrentGame) {
  Open();
  browser_.SetCurPos(3);
  std::string error;
  ASSERT_TRUE(browser_.DeleteOrUndelete(error));
  EXPECT_TRUE(Deleted(3));
  ASSERT_TRUE(browser_.DeleteOrUndelete(error));
  EXPECT_FALSE(Deleted(3));
}

TEST_F(DBBrowser, SteppingWrapsAtBothEnds) {
  Open();
  browser_.SetCurPos(5);
  EXPECT_EQ(browser_.Step(+1), 1);
  browser_.SetCurPos(1);
  EXPECT_EQ(browser_.Step(-1), 5);
  EXPECT_EQ(browser_.Step(+1), 2);
  browser_.SetCurPos(9);  // outside the list: ignored
  EXPECT_EQ(browser_.CurPos(), 1);
}

TEST_F(DBBrowser, ReadsTheCurrentGameAtTheNodeASearchFound) {
  Open();
  TDBList found;
  found.items.resize(db_.DBSize + 100);
  found.items[1] = TDBListRec{4, false, 2};
  found.count = 1;
  browser_.ShowFound(found);
  EXPECT_TRUE(browser_.SearchResult());
  EXPECT_EQ(browser_.HeaderText(), "Five [1/5]");
  TGame game;
  std::string error;
  ASSERT_TRUE(browser_.ReadCurrentGame(game, error)) << error;
  EXPECT_EQ(game.WhiteName, "Player 4");
  EXPECT_EQ(game.DBGameNo, 4);
  EXPECT_EQ(game.Header.ShowFrom, 2);
  browser_.ShowAll();
  EXPECT_FALSE(browser_.SearchResult());
  EXPECT_EQ(browser_.Count(), 5);
}

TEST_F(DBBrowser, AGameThatCannotBeReadLeavesTheShownGameAlone) {
  Open();
  // Damage game 2's body: its checksum no longer matches.
  TGameHeader h;
  ASSERT_TRUE(ReadIndexRecord(db_, 2, h));
  std::string err;
  const uint8_t junk = 0x5A;
  ASSERT_TRUE(db_.DBMain.WriteAt(h.Offset, &junk, 1, err)) << err;
  browser_.SetCurPos(2);
  TGame game;
  game.WhiteName = "kept";
  std::string error;
  EXPECT_FALSE(browser_.ReadCurrentGame(game, error));
  EXPECT_FALSE(error.empty());
  EXPECT_EQ(game.WhiteName, "kept");
}

TEST_F(DBBrowser, RefusesOldDatabases) {
  const std::string old = (test::FreshDir("old") / "Old.abd").string();
  {
    TQuorlinDB v30;
    ASSERT_TRUE(CreateDatabase(old, v30, kDBVersion30));
    ASSERT_TRUE(CloseDatabase(v30));
  }
  std::string error;
  EXPECT_FALSE(browser_.Open(old, error));
  EXPECT_EQ(error, kOldDatabaseFormatText);
  EXPECT_FALSE(browser_.IsOpen());
  EXPECT_EQ(browser_.Count(), 0);
}

TEST_F(DBBrowser, CreatesOnlyUnderAValidNewName) {
  Open();
  const std::string folder = test::FreshDir("bases").string();
  std::string error;
  for (const char* bad : {"", "a/b", "what?", "x:y", ".."}) {
    EXPECT_FALSE(browser_.Create(folder, bad, error)) << bad;
    EXPECT_FALSE(error.empty()) << bad;
    EXPECT_TRUE(browser_.IsOpen()) << bad;  // the open database stays open
    EXPECT_EQ(browser_.Count(), 5);
  }
  ASSERT_TRUE(browser_.Create(folder, "New games", error)) << error;
  EXPECT_TRUE(browser_.IsOpen());
  EXPECT_EQ(browser_.Count(), 0);
  EXPECT_EQ(browser_.HeaderText(), "New games [0]");
  EXPECT_TRUE(fs::exists(folder + "/New games.abm"));
  EXPECT_EQ(Settings.Database, folder + "/New games.abd");
  EXPECT_FALSE(browser_.Create(folder, "New games", error));
  EXPECT_NE(error.find("exists"), std::string::npos);
}

TEST_F(DBBrowser, CleanUpRemovesTheDeletedGames) {
  Open();
  ASSERT_TRUE(SetDeletedMark(db_, 2, 2));
  ASSERT_TRUE(SetDeletedMark(db_, 4, 2));
  std::string error;
  ASSERT_TRUE(browser_.CleanUp(error)) << error;
  EXPECT_EQ(browser_.Count(), 3);
  TGame g;
  ASSERT_TRUE(ReadGame(db_, 2, false, -1, g));
  EXPECT_EQ(g.WhiteName, "Player 3");
}

TEST_F(DBBrowser, DeleteRemovesTheFiles) {
  Open();
  std::string error;
  ASSERT_TRUE(browser_.Delete(error)) << error;
  EXPECT_FALSE(browser_.IsOpen());
  EXPECT_EQ(browser_.Count(), 0);
  EXPECT_FALSE(fs::exists(path_));
  EXPECT_FALSE(fs::exists(fs::path(path_).replace_extension(".abm")));
}

TEST(DatabaseFiles, ListedBelowTheFolderWithTheirSubfolders) {
  const auto dir = test::FreshDir("list");
  for (const char* f : {"b.abd", "a.abd", "sub/c.abd", "notes.txt", "sub/c.abm"}) {
    fs::create_directories((dir / f).parent_path());
    test::WriteFile(dir / f, "");
  }
  EXPECT_EQ(ListDatabaseFiles(dir.string()), (std::vector<std::string>{"a.abd", "b.abd", "sub/c.abd"}));
  EXPECT_TRUE(ListDatabaseFiles((dir / "missing").string()).empty());
}

}  // namespace
}  // namespace quorlin
