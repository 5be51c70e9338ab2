// PDN files into and out of a database, with cancel.
#include "app/pdntransfer.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "db_fixture.h"

namespace quorlin {
namespace {

int GamesIn(const std::string& dbPath) {
  TQuorlinDB db;
  if (!OpenDatabase(dbPath, db, true)) return -1;
  const int n = db.DBSize;
  CloseDatabase(db);
  return n;
}

TEST(PdnTransfer, ImportAppendsAndExportWritesTheChosenGames) {
  const std::string db = test::MakeDatabase("transfer", test::NumberedGames(2));
  const auto dir = std::filesystem::path(db).parent_path();
  const std::string pdn = (dir / "more.pdn").string();
  test::WriteFile(pdn, test::NumberedGames(5));
  TBackgroundJob job;
  const TPdnTransferResult in = ImportPdn(pdn, db, kRussian, &job);
  ASSERT_TRUE(in.ok) << in.error;
  EXPECT_FALSE(in.cancelled);
  EXPECT_EQ(in.games, 5);
  EXPECT_EQ(GamesIn(db), 7);
  EXPECT_EQ(job.Done(), job.Total());
  EXPECT_EQ(ImportMessage(in, pdn), "5 games imported from more.pdn.");

  const std::string out = (dir / "out.pdn").string();
  const TPdnTransferResult ex = ExportPdn(db, {1, 4}, out, nullptr);
  ASSERT_TRUE(ex.ok) << ex.error;
  EXPECT_EQ(ex.games, 2);
  const std::string text = test::ReadFile(out);
  EXPECT_NE(text.find("\"Player 1\""), std::string::npos);
  EXPECT_NE(text.find("\"Player 2\""), std::string::npos);  // game 4: the second game imported
  EXPECT_EQ(text.find("\"Player 3\""), std::string::npos);
  EXPECT_FALSE(std::filesystem::exists(out + ".part"));
}

TEST(PdnTransfer, CancelledImportKeepsWhatWasRead) {
  const std::string db = test::MakeDatabase("cancelin", test::NumberedGames(1));
  const std::string pdn = (std::filesystem::path(db).parent_path() / "many.pdn").string();
  test::WriteFile(pdn, test::NumberedGames(50));
  TBackgroundJob job;
  job.Cancel();  // stops after the first game
  const TPdnTransferResult r = ImportPdn(pdn, db, kRussian, &job);
  EXPECT_TRUE(r.ok) << r.error;
  EXPECT_TRUE(r.cancelled);
  EXPECT_EQ(r.games, 1);
  EXPECT_EQ(GamesIn(db), 2);
  EXPECT_EQ(ImportMessage(r, pdn), "Import of many.pdn cancelled: the 1 game read so far is kept.");
}

TEST(PdnTransfer, CancelledOrFailedExportLeavesTheOldFile) {
  const std::string db = test::MakeDatabase("cancelout", test::NumberedGames(3));
  const std::string out = (std::filesystem::path(db).parent_path() / "old.pdn").string();
  test::WriteFile(out, "old text");
  TBackgroundJob job;
  job.Cancel();
  const TPdnTransferResult r = ExportPdn(db, {1, 2, 3}, out, &job);
  EXPECT_TRUE(r.cancelled);
  EXPECT_EQ(test::ReadFile(out), "old text");
  EXPECT_FALSE(std::filesystem::exists(out + ".part"));

  const TPdnTransferResult missing = ExportPdn(db + ".none", {1}, out, nullptr);
  EXPECT_FALSE(missing.ok);
  EXPECT_EQ(test::ReadFile(out), "old text");
  EXPECT_NE(ExportMessage(missing, out).find("failed"), std::string::npos);
}

TEST(PdnTransfer, UnreadableFileIsAnErrorNamingIt) {
  const std::string db = test::MakeDatabase("noread", test::NumberedGames(1));
  const TPdnTransferResult r = ImportPdn("/nonexistent/games.pdn", db, kRussian, nullptr);
  EXPECT_FALSE(r.ok);
  EXPECT_NE(r.error.find("/nonexistent/games.pdn"), std::string::npos);
  EXPECT_EQ(GamesIn(db), 1);
}

TEST(PdnTransfer, PdnFileNames) {
  EXPECT_TRUE(IsPdnFileName("/a/b/Games.PDN"));
  EXPECT_TRUE(IsPdnFileName("x.pdn"));
  EXPECT_FALSE(IsPdnFileName("x.pdn.txt"));
  EXPECT_FALSE(IsPdnFileName("pdn"));
}

}  // namespace
}  // namespace quorlin
