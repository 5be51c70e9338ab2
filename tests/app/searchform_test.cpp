// The search window's fields become criteria only when every field is sound.
#include "app/searchform.h"

#include <gtest/gtest.h>

namespace quorlin {
namespace {

struct TBadField {
  const char* name;
  void (*edit)(TSearchForm&);
  const char* says;
};

void PrintTo(const TBadField& c, std::ostream* os) { *os << c.name; }

class BadSearchField : public ::testing::TestWithParam<TBadField> {};

TEST_P(BadSearchField, IsRefusedWithItsNameAndLeavesTheCriteria) {
  TSearchForm form;
  GetParam().edit(form);
  TSearchInfo criteria;
  criteria.tourn = "kept";
  std::string error;
  EXPECT_FALSE(BuildSearchInfo(form, criteria, error));
  EXPECT_NE(error.find(GetParam().says), std::string::npos) << error;
  EXPECT_EQ(criteria.tourn, "kept");
}

INSTANTIATE_TEST_SUITE_P(
    Fields, BadSearchField,
    ::testing::Values(TBadField{"YearsBackwards", [](TSearchForm& f) { f.yearStart = 2000, f.yearEnd = 1990; },
                                "Year: the range runs backwards"},
                      TBadField{"WhiteEloBackwards", [](TSearchForm& f) { f.whiteEloMin = 2500, f.whiteEloMax = 2400; },
                                "White elo"},
                      TBadField{"BlackEloTooHigh", [](TSearchForm& f) { f.blackEloMax = kSearchMaxElo + 1; },
                                "Black elo: 3001 lies outside"},
                      TBadField{"MovesNegative", [](TSearchForm& f) { f.moveStart = -1; }, "Moves"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(SearchForm, SoundFieldsAreCopiedWithFoldedTexts) {
  TSearchForm form;
  form.white = "ANNA";
  form.site = "Riga";
  form.yearStart = 1980;
  form.yearEnd = 1980;  // one year is a valid range
  form.ignoreColours = false;
  form.results[2] = false;
  TSearchInfo criteria;
  std::string error;
  ASSERT_TRUE(BuildSearchInfo(form, criteria, error)) << error;
  EXPECT_EQ(criteria.name[0], "anna");
  EXPECT_EQ(criteria.site, "riga");
  EXPECT_EQ(criteria.yearstart, 1980);
  EXPECT_EQ(criteria.yearend, 1980);
  EXPECT_FALSE(criteria.ignorecol);
  EXPECT_FALSE(criteria.rescheck[2]);
}

}  // namespace
}  // namespace quorlin
