// Published perft figures that take a second or more each (Release build).
#include <gtest/gtest.h>

#include <string>

#include "rules/perft.h"
#include "rules/variants.h"

namespace quorlin {
namespace {

struct PerftRow {
  int variant;
  int depth;
  bool dedupe;
  uint64_t count;
};

void PrintTo(const PerftRow& r, std::ostream* os) {
  *os << VariantTable[r.variant].Name << " depth " << r.depth << (r.dedupe ? " drop " : " keep ") << r.count;
}

class PerftSlowTest : public testing::TestWithParam<PerftRow> {};

TEST_P(PerftSlowTest, MatchesPublishedCount) {
  const PerftRow& row = GetParam();
  const TGameParams& p = VariantTable[row.variant];
  TBoard board;
  board.b = StartPosition(p, false);
  EXPECT_EQ(Perft(board, 0, row.depth, p, row.dedupe), row.count);
}

INSTANTIATE_TEST_SUITE_P(
    StartPosition, PerftSlowTest,
    testing::Values(PerftRow{kInternational, 8, true, 6483961}, PerftRow{kInternational, 8, false, 6483971},
                    PerftRow{kEnglish, 9, true, 3963680}, PerftRow{kEnglish, 9, false, 3963680},
                    PerftRow{kEnglish, 10, true, 18391564}, PerftRow{kEnglish, 10, false, 18391564},
                    PerftRow{kItalian, 9, true, 3860875}, PerftRow{kItalian, 9, false, 3860875}),
    [](const testing::TestParamInfo<PerftRow>& info) {
      std::string name = VariantTable[info.param.variant].Name;
      return name + "_d" + std::to_string(info.param.depth) + (info.param.dedupe ? "_drop" : "_keep");
    });

}  // namespace
}  // namespace quorlin
