// quorlin db create|show|delete|undelete|compact|check, and pdn import into
// databases that exist already or that a crash left incomplete.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "test_support.h"

namespace quorlin {
namespace {

namespace fs = std::filesystem;

bool Has(const std::string& out, const std::string& part) { return out.find(part) != std::string::npos; }

constexpr const char* kGamePdn =
    "[Event \"London 1958, game 19\"]\n[White \"Anna\"]\n[Black \"Bert\"]\n[Result \"1-0\"]\n\n"
    "{Start} 1. c3-d4 $1 {good} (1. e3-f4 $2) 1... d6-e5 $16 2. b2-c3 1-0\n\n"
    "[Event \"Club\"]\n[White \"Cleo\"]\n[Black \"Dan\"]\n[Result \"0-1\"]\n\n1. e3-f4 0-1\n";

// A database of two Russian games made with the commands themselves.
class QuorlinDbCommands : public testing::Test {
 protected:
  void SetUp() override {
    dir_ = test::FreshDir("db-commands");
    db_ = (dir_ / "games.abd").string();
    test::WriteFile(dir_ / "games.pdn", kGamePdn);
    ASSERT_EQ(Run("db create " + db_), 0) << out_;
    EXPECT_TRUE(Has(out_, "created")) << out_;
    for (const char* ext : {".abd", ".abm", ".abn"})
      EXPECT_TRUE(fs::exists(dir_ / ("games" + std::string(ext))));
    ASSERT_EQ(Run("pdn import " + (dir_ / "games.pdn").string() + " " + db_ + " --variant russian"), 0)
        << out_;
  }

  int Run(const std::string& args) { return test::RunQuorlin(args, out_); }

  fs::path dir_;
  std::string db_;
  std::string out_;
};

TEST_F(QuorlinDbCommands, ShowPrintsTheHeaderAndTheWholeTree) {
  ASSERT_EQ(Run("db show " + db_ + " 1"), 0) << out_;
  EXPECT_TRUE(Has(out_, "White:      Anna\n")) << out_;
  EXPECT_TRUE(Has(out_, "Black:      Bert\n")) << out_;
  EXPECT_TRUE(Has(out_, "Event:      London 1958, game 19\n")) << out_;  // the stored text
  EXPECT_TRUE(Has(out_, "Variant:    Russian\n")) << out_;
  EXPECT_TRUE(Has(out_, "\n{Start} 1. c3-d4! {good} ( 1. e3-f4? ) 1... d6-e5 +- 2. b2-c3 2-0\n")) << out_;
}

// The list masks the game number of a tournament; the export keeps it.
TEST_F(QuorlinDbCommands, ExportWritesTheStoredTournament) {
  ASSERT_EQ(Run("db list " + db_ + " 1 1"), 0) << out_;
  EXPECT_TRUE(Has(out_, "London 1958, game xx")) << out_;
  ASSERT_EQ(Run("pdn export " + db_ + " 1"), 0) << out_;
  EXPECT_TRUE(Has(out_, "[Event \"London 1958, game 19\"]\n")) << out_;
}

TEST_F(QuorlinDbCommands, DeleteUndeleteAndCompact) {
  ASSERT_EQ(Run("db delete " + db_ + " 1"), 0) << out_;
  ASSERT_EQ(Run("db list " + db_), 0) << out_;
  EXPECT_TRUE(Has(out_, "     1  -vcD  Anna - Bert")) << out_;
  ASSERT_EQ(Run("db undelete " + db_ + " 1"), 0) << out_;
  ASSERT_EQ(Run("db list " + db_), 0) << out_;
  EXPECT_TRUE(Has(out_, "     1  -vc-  Anna - Bert")) << out_;
  ASSERT_EQ(Run("db delete " + db_ + " 1"), 0) << out_;
  ASSERT_EQ(Run("db compact " + db_), 0) << out_;
  EXPECT_TRUE(Has(out_, "1 games marked deleted removed from the index, 1 games remain")) << out_;
  ASSERT_EQ(Run("db show " + db_ + " 1"), 0) << out_;
  EXPECT_TRUE(Has(out_, "White:      Cleo")) << out_;
  EXPECT_EQ(Run("db show " + db_ + " 2"), 2) << out_;
}

// Numbers and files that are not there: a clear error and status 2.
struct BadArgument {
  const char* name;
  const char* args;  // "DB" stands for the database, "NONE" for a missing one
  const char* says;
};

class QuorlinDbBadArguments : public QuorlinDbCommands, public testing::WithParamInterface<BadArgument> {};

TEST_P(QuorlinDbBadArguments, ExitWithStatus2AndSayWhat) {
  std::string args = GetParam().args;
  for (auto [word, path] : {std::pair<std::string, std::string>{"NONE", (dir_ / "none.abd").string()},
                            std::pair<std::string, std::string>{"DB", db_}}) {
    const size_t at = args.find(word);
    if (at != std::string::npos) args.replace(at, word.size(), path);
  }
  EXPECT_EQ(Run(args), 2) << out_;
  EXPECT_TRUE(Has(out_, "quorlin db: ")) << out_;
  EXPECT_TRUE(Has(out_, GetParam().says)) << out_;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, QuorlinDbBadArguments,
    testing::Values(BadArgument{"ShowGameZero", "db show DB 0", "there is no game 0 in"},
                    BadArgument{"ShowPastTheEnd", "db show DB 3", "it holds 2 games"},
                    BadArgument{"ShowNotANumber", "db show DB two", "bad game number \"two\""},
                    BadArgument{"DeletePastTheEnd", "db delete DB 9", "there is no game 9"},
                    BadArgument{"UndeletePastTheEnd", "db undelete DB 9", "there is no game 9"},
                    BadArgument{"ShowMissingFile", "db show NONE 1", "no such database"},
                    BadArgument{"DeleteMissingFile", "db delete NONE 1", "no such database"},
                    BadArgument{"CompactMissingFile", "db compact NONE", "no such database"},
                    BadArgument{"InfoMissingFile", "db info NONE", "no such database"},
                    BadArgument{"CheckMissingFile", "db check NONE", "no such database"}),
    [](const testing::TestParamInfo<BadArgument>& info) { return info.param.name; });

// A names file that a crash kept short: the database opens with a warning,
// the check names each game whose names are missing and fails, and an import
// appends to the database, saying what it held before.
TEST_F(QuorlinDbCommands, DatabaseACrashLeftIsCheckedAndImportedInto) {
  // The names file as it stood after the first game.
  const fs::path names = dir_ / "games.abn";
  test::WriteFile(names,
                  "\xEF\xBB\xBFName\t0\tAnna\r\nName\t1\tBert\r\nName\t2\t\r\n"
                  "Tournament\t0\tLondon 1958, game 19\r\nSite\t0\t\r\n");

  EXPECT_EQ(Run("db check " + db_), 1) << out_;
  EXPECT_TRUE(Has(out_, "warning: " + names.string() + ": the names file is short")) << out_;
  EXPECT_TRUE(Has(out_,
                  "games.abd: game 2: White 3 is not among the 3 names; Black 4 is not among the 3 "
                  "names; tournament 1 is not among the 1 tournaments of " +
                      names.string()))
      << out_;
  EXPECT_TRUE(Has(out_, "2 games, 0 unreadable, 1 referring to names the names file lacks")) << out_;
  ASSERT_EQ(Run("db show " + db_ + " 2"), 0) << out_;
  EXPECT_TRUE(Has(out_, "White:      ?\nBlack:      ?\nEvent:      ?\n")) << out_;

  ASSERT_EQ(Run("pdn import " + (dir_ / "games.pdn").string() + " " + db_ + " --variant russian"), 0) << out_;
  EXPECT_TRUE(Has(out_, "2 stored in " + db_ + " (2 games before, 4 now)")) << out_;
  EXPECT_TRUE(Has(out_, "the names file is short")) << out_;
  EXPECT_EQ(Run("db check " + db_), 0) << out_;
  EXPECT_TRUE(Has(out_, "4 games, 0 unreadable, 0 referring")) << out_;
  ASSERT_EQ(Run("db show " + db_ + " 4"), 0) << out_;
  EXPECT_TRUE(Has(out_, "Black:      Dan\n")) << out_;
}

// Killed before the games file was made: the import starts the database afresh.
TEST(QuorlinPdnImportAfterCrash, CreationCutShortIsCreatedAfresh) {
  const auto dir = test::FreshDir("import-halfmade");
  test::WriteFile(dir / "games.pdn", kGamePdn);
  test::WriteFile(dir / "games.abn", "\xEF\xBB\xBF");
  test::WriteFile(dir / "games.abd", "");
  std::string out;
  const std::string db = (dir / "games.abd").string();
  ASSERT_EQ(
      test::RunQuorlin("pdn import " + (dir / "games.pdn").string() + " " + db + " --variant russian", out),
      0)
      << out;
  EXPECT_TRUE(Has(out, "(0 games before, 2 now)")) << out;
  EXPECT_EQ(test::RunQuorlin("db check " + db, out), 0) << out;
}

}  // namespace
}  // namespace quorlin
