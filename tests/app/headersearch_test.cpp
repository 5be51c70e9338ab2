// The fast header pass lists exactly the games the plain database search lists.
#include "app/headersearch.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "app/searchform.h"
#include "db_fixture.h"

namespace quorlin {
namespace {

struct TCriteriaCase {
  const char* name;
  TSearchForm form;
};

void PrintTo(const TCriteriaCase& c, std::ostream* os) { *os << c.name; }

TSearchForm Form(void (*edit)(TSearchForm&)) {
  TSearchForm f;
  edit(f);
  return f;
}

class HeaderPassTest : public ::testing::TestWithParam<TCriteriaCase> {
 protected:
  static void SetUpTestSuite() {
    std::string pdn;
    const char* names[] = {"Anna Kok", "Boris Bos", "Carl Anders", "Dora Smit", "Emil Kokken"};
    const char* results[] = {"2-0", "0-2", "1-1", "*"};
    for (int k = 0; k < 40; ++k) {
      const std::string elo = "[WhiteElo \"" + std::to_string(2000 + 37 * k % 500) + "\"][BlackElo \"" +
                              std::to_string(2400 - 53 * k % 600) + "\"]";
      const std::string place = "[Site \"" + std::string(k % 3 ? "Riga" : "Tallinn") + "\"][Event \"" +
                                (k % 4 ? "Open" : "Cup") + "\"][Annotator \"" + (k % 5 ? "" : "Kees") + "\"]";
      pdn += test::RussianGame(names[k % 5], names[(k * 3 + 1) % 5], results[k % 4],
                               std::to_string(1970 + k) + ".01.01",
                               k % 2 ? "1. c3-d4 f6-g5 2. g3-h4" : "1. c3-d4", elo + place);
    }
    path_ = new std::string(test::MakeDatabase("headers", pdn));
  }
  static void TearDownTestSuite() { delete path_; }
  static std::string* path_;
};
std::string* HeaderPassTest::path_ = nullptr;

TEST_P(HeaderPassTest, ListsWhatTheDatabaseSearchLists) {
  TQuorlinDB db;
  ASSERT_TRUE(OpenDatabase(*path_, db, true));
  TSearchInfo criteria;
  std::string error;
  ASSERT_TRUE(BuildSearchInfo(GetParam().form, criteria, error)) << error;
  TDBList fast, plain;
  ASSERT_TRUE(HeaderPass(db, criteria, fast));
  SearchDatabase(db, criteria, false, TDColor::white, 0, plain);
  ASSERT_EQ(fast.count, plain.count);
  for (int i = 1; i <= fast.count; ++i) {
    EXPECT_EQ(fast.items[i].num, plain.items[i].num) << "entry " << i;
    EXPECT_EQ(fast.items[i].gotomove, plain.items[i].gotomove);
  }
  EXPECT_GT(plain.count, 0);
  EXPECT_LT(plain.count, 40);
}

INSTANTIATE_TEST_SUITE_P(
    Criteria, HeaderPassTest,
    ::testing::Values(TCriteriaCase{"WhiteName", Form([](TSearchForm& f) {
                                      f.white = "KOK";
                                      f.ignoreColours = false;
                                    })},
                      TCriteriaCase{"EitherColour", Form([](TSearchForm& f) { f.white = "kok"; })},
                      TCriteriaCase{"BothNamesSwapped", Form([](TSearchForm& f) {
                                      f.white = "boris";
                                      f.black = "anna";
                                    })},
                      TCriteriaCase{"Ratings", Form([](TSearchForm& f) {
                                      f.whiteEloMin = 2200;
                                      f.blackEloMax = 2100;
                                      f.ignoreColours = false;
                                    })},
                      TCriteriaCase{"RatingsEitherColour", Form([](TSearchForm& f) {
                                      f.whiteEloMin = 2300;
                                      f.blackEloMax = 2000;
                                    })},
                      TCriteriaCase{"Years", Form([](TSearchForm& f) {
                                      f.yearStart = 1980;
                                      f.yearEnd = 1990;
                                    })},
                      TCriteriaCase{"Length", Form([](TSearchForm& f) { f.moveEnd = 1; })},
                      TCriteriaCase{"Results", Form([](TSearchForm& f) {
                                      f.results = {false, true, false, false, false, false};
                                      f.ignoreColours = false;
                                    })},
                      TCriteriaCase{"ResultsSwapped", Form([](TSearchForm& f) {
                                      f.white = "anna";
                                      f.results = {false, true, false, false, false, false};
                                    })},
                      TCriteriaCase{"SiteTournamentAnnotator", Form([](TSearchForm& f) {
                                      f.site = "riga";
                                      f.tournament = "open";
                                    })},
                      TCriteriaCase{"Annotator", Form([](TSearchForm& f) { f.annotator = "KEES"; })}),
    [](const ::testing::TestParamInfo<TCriteriaCase>& info) { return std::string(info.param.name); });

// A replaced game whose index record is torn on disk while its old record
// waits in the undo file: the header pass reads the kept record, as opening
// the game does.
TEST_F(HeaderPassTest, PendingUndoRecordIsReadInPlaceOfTheTornOne) {
  namespace fs = std::filesystem;
  const fs::path dir = test::FreshDir("torn");
  const fs::path base = fs::path(*path_).replace_extension();
  for (const char* ext : {".abd", ".abm", ".abn"})
    fs::copy_file(fs::path(base).replace_extension(ext), dir / ("torn" + std::string(ext)));
  const std::string copy = (dir / "torn.abd").string();
  const int game = 6;  // Anna Kok against Boris Bos
  TUndoRecord kept;
  kept.Game = game;
  {
    std::fstream f(copy, std::ios::in | std::ios::out | std::ios::binary);
    f.seekg((game - 1) * kIndexRecordSize);
    f.read(reinterpret_cast<char*>(kept.Record), kIndexRecordSize);
    const std::string torn(kIndexRecordSize / 2, '\xff');
    f.seekp((game - 1) * kIndexRecordSize);
    f.write(torn.data(), static_cast<std::streamsize>(torn.size()));
  }
  TSearchForm form;
  form.white = "anna";
  TSearchInfo criteria;
  std::string error;
  ASSERT_TRUE(BuildSearchInfo(form, criteria, error)) << error;
  TQuorlinDB original, torn;
  ASSERT_TRUE(OpenDatabase(*path_, original, true));
  ASSERT_TRUE(OpenDatabase(copy, torn, true));
  torn.Undo = kept;
  TDBList want, got;
  ASSERT_TRUE(HeaderPass(original, criteria, want));
  ASSERT_TRUE(HeaderPass(torn, criteria, got));
  ASSERT_EQ(got.count, want.count);
  for (int i = 1; i <= want.count; ++i) EXPECT_EQ(got.items[i].num, want.items[i].num) << "entry " << i;
}

TEST(HeaderPass, ClosedDatabaseListsNothing) {
  TQuorlinDB db;
  TDBList list;
  list.count = 5;
  EXPECT_TRUE(HeaderPass(db, TSearchInfo{}, list));
  EXPECT_EQ(list.count, 0);
}

}  // namespace
}  // namespace quorlin
