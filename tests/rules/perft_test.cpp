// Published perft figures from the start position; the deeper rows are in
// perft_slow_test.cpp.
#include "rules/perft.h"

#include <gtest/gtest.h>

#include <string>

#include "rules/movegen.h"
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

std::string RowName(const testing::TestParamInfo<PerftRow>& info) {
  std::string name = VariantTable[info.param.variant].Name;
  std::erase(name, ' ');
  return name + "_d" + std::to_string(info.param.depth) + (info.param.dedupe ? "_drop" : "_keep");
}

class PerftTest : public testing::TestWithParam<PerftRow> {};

TEST_P(PerftTest, MatchesPublishedCount) {
  const PerftRow& row = GetParam();
  const TGameParams& p = VariantTable[row.variant];
  TBoard board;
  board.b = StartPosition(p, false);
  EXPECT_EQ(Perft(board, 0, row.depth, p, row.dedupe), row.count);
}

// Rows for depths where removing equal captures changes nothing: both settings.
std::vector<PerftRow> Both(int variant, std::initializer_list<uint64_t> counts) {
  std::vector<PerftRow> rows;
  int depth = 0;
  for (uint64_t c : counts) {
    ++depth;
    rows.push_back({variant, depth, true, c});
    rows.push_back({variant, depth, false, c});
  }
  return rows;
}

std::vector<PerftRow> FastRows() {
  std::vector<PerftRow> rows;
  auto add = [&](const std::vector<PerftRow>& more) { rows.insert(rows.end(), more.begin(), more.end()); };
  add(Both(kInternational, {9, 81, 658, 4265, 27117, 167140, 1049442}));
  add(Both(kEnglish, {7, 49, 302, 1469, 7361, 36768, 179740, 845931}));
  add(Both(kRussian, {7, 49, 302, 1469, 7482, 37986, 190146}));
  add({{kRussian, 8, true, 929899}, {kRussian, 8, false, 929905}});
  add(Both(kBrazilian, {7, 49, 302, 1469, 7473, 37628, 187302}));
  add({{kBrazilian, 8, true, 907830}, {kBrazilian, 8, false, 907836}});
  add(Both(kItalian, {7, 49, 302, 1469, 7361, 36473, 177532, 828783}));
  add(Both(kFrisian, {9, 81, 658}));
  add({{kFrisian, 4, true, 3874}, {kFrisian, 5, true, 21265}, {kFrisian, 6, true, 102431}});
  add({{kFrisian, 4, false, 3880}, {kFrisian, 5, false, 21345}, {kFrisian, 6, false, 103584}});
  add(Both(kTurkish, {8, 64, 708, 7538, 85090, 931312}));
  int depth = 0;
  for (const uint64_t c : {11, 121, 1222, 10053, 79049, 584100})
    rows.push_back({kCanadian, ++depth, true, c});
  return rows;
}

INSTANTIATE_TEST_SUITE_P(StartPosition, PerftTest, testing::ValuesIn(FastRows()), RowName);

TEST(Perft, DivideSumsToTheTotalAndDepthZeroIsOne) {
  const TGameParams& p = VariantTable[kInternational];
  TBoard board;
  board.b = StartPosition(p, false);
  EXPECT_EQ(Perft(board, 0, 0, p, true), 1u);
  const auto roots = PerftDivide(board, 0, 4, p, true);
  ASSERT_EQ(roots.size(), 9u);
  uint64_t sum = 0;
  for (const auto& r : roots) sum += r.count;
  EXPECT_EQ(sum, 4265u);
  EXPECT_EQ(roots[0].move.mv[0], 16);  // moves listed from the lowest square up
}

TEST(Perft, NoMovesCountsZero) {
  const TGameParams& p = VariantTable[kRussian];
  TBoard board;
  board.b[20] = kBlackMan;
  EXPECT_EQ(Perft(board, 0, 3, p, true), 0u);
  EXPECT_TRUE(PerftDivide(board, 0, 3, p, true).empty());
}

}  // namespace
}  // namespace quorlin
