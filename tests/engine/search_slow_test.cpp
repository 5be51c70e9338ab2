// The search against generated endgame databases of several rule families:
// wins within reach are found and no move ever gives a won position away.
#include <gtest/gtest.h>

#include "search_fixture.h"

namespace quorlin {
namespace {

class SearchEndgamesSlow : public ::testing::TestWithParam<int> {};

TEST_P(SearchEndgamesSlow, WinsAreFoundAndKept) {
  test::CheckEndgameWins(GetParam(), /*maxDepth=*/11, /*maxPlies=*/9, /*perDistance=*/2);
}

INSTANTIATE_TEST_SUITE_P(Variants, SearchEndgamesSlow,
                         ::testing::Values(kRussian, kEnglish, kInternational, kBrazilian, kItalian, kCzech),
                         [](const ::testing::TestParamInfo<int>& i) {
                           return "Variant" + std::to_string(i.param);
                         });

}  // namespace
}  // namespace quorlin
