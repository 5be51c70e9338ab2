// Generated endgame databases checked position by position: every position of
// every class up to a piece count is enumerated independently of the database
// indexing, its successors are generated with the square-list generator (not the
// 64-bit one the generator uses), and the stored value must agree with theirs.
// The files written are then read back as a loaded set and every probe must
// return what the generator computed.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <functional>
#include <string>
#include <unordered_map>
#include <vector>

#include "engine/egdbgen.h"
#include "engine/endgamedb.h"
#include "rules/movegen.h"
#include "rules/position.h"
#include "rules/variants.h"
#include "test_support.h"

namespace quorlin {
namespace {

struct Row {
  int variant;
  int pieces;
  // Rows that take several minutes run only when QUORLIN_EGDB_FULL is set.
  bool optIn = false;
};

std::string RowName(const testing::TestParamInfo<Row>& info) {
  std::string n = VariantTable[info.param.variant].Name;
  n.erase(std::remove(n.begin(), n.end(), ' '), n.end());
  return n + std::to_string(info.param.pieces);
}

class EgdbConsistency : public testing::TestWithParam<Row> {};

// Value the generator stored for a square-list position with `side` to move.
int StoredValue(const TEgdbGenerator& gen, const TBoard& board, int side, int variant) {
  TBitBoard64 bb;
  BoardToBit64(board, bb, variant);
  if (side == 1) FlipBitBoard(bb, variant);
  if (bb.w == 0) return 1;  // no pieces: lost
  TEdbClass cls;
  uint64_t idx;
  if (!gen.Masks().PositionIndex(bb, cls, idx)) return -1;
  const std::vector<uint16_t>* v = gen.Values(cls.id());
  if (!v || idx >= v->size()) return -1;
  return (*v)[idx];
}

TEST_P(EgdbConsistency, EveryValueAgreesWithItsSuccessors) {
  const Row row = GetParam();
  if (row.optIn && !std::getenv("QUORLIN_EGDB_FULL")) GTEST_SKIP() << "set QUORLIN_EGDB_FULL to run";
  const TGameParams& params = VariantTable[row.variant];
  const std::filesystem::path dir = test::FreshDir("egdb");
  TEgdbBuildOptions opt;
  opt.variant = row.variant;
  opt.maxPieces = row.pieces;
  opt.type = ebMTW;
  opt.outFolder = dir.string();
  TEgdbGenerator gen(opt);
  const TEgdbBuildResult result = gen.Run();
  ASSERT_TRUE(result.ok) << result.error;

  uint64_t expectedPositions = 0;
  for (const TEgdbClassReport& r : result.classes) expectedPositions += r.positions;

  // Every index slot must be reached exactly once by the enumeration.
  std::unordered_map<int32_t, std::vector<bool>> seen;
  for (const TEgdbClassReport& r : result.classes)
    seen[r.cls.id()].assign(gen.Masks().ClassPositionCount(r.cls), false);

  const int size = params.compute.BoardSize, w = params.compute.BoardWidthReal;
  const bool checkered = params.BoardCheckered;
  // White men never stand on row size/w - 1, black men never on row 0; on the
  // orthogonal board neither stands on its own back row either.
  auto manAllowed = [&](int s, int colour) {
    if (colour > 0) return s <= size - w && (checkered || s > w);
    return s > w && (checkered || s <= size - w);
  };

  uint64_t checked = 0, failures = 0;
  TBoard board;
  TMvs moves;
  const int8_t kinds[4] = {kWhiteMan, kWhiteKing, kBlackMan, kBlackKing};
  // Depth-first placement over squares: each square empty or one piece kind.
  std::function<void(int, int, int, int)> place = [&](int s, int left, int white, int black) {
    if (s > size) {
      if (white == 0 || black == 0) return;
      ++checked;
      const int value = StoredValue(gen, board, 0, row.variant);
      TBitBoard64 bb;
      BoardToBit64(board, bb, row.variant);
      TEdbClass cls;
      uint64_t idx = 0;
      if (value < 0 || !gen.Masks().PositionIndex(bb, cls, idx)) {
        if (++failures < 5) ADD_FAILURE() << "no stored value for " << (s = 0, "a position");
        return;
      }
      auto& marks = seen[cls.id()];
      if (idx >= marks.size() || marks[idx]) {
        if (++failures < 5) ADD_FAILURE() << "index reached twice in class " << EndgameFileName(cls);
      } else {
        marks[idx] = true;
      }
      uint8_t count = 0;
      GenerateMoves(board, 0, moves, count, params, true);
      int minLoss = 1 << 20, maxWin = 0;
      bool draw = false;
      for (int m = 1; m <= count; ++m) {
        TBoard next = board;
        ApplyMove(moves[m], next, params);
        const int sv = StoredValue(gen, next, 1, row.variant);
        if (sv < 0) {
          if (++failures < 5) ADD_FAILURE() << "successor without a value";
          return;
        }
        if (sv == 0)
          draw = true;
        else if (sv % 2)
          minLoss = std::min(minLoss, sv);
        else
          maxWin = std::max(maxWin, sv);
      }
      int expect;
      if (count == 0)
        expect = 1;
      else if (minLoss != (1 << 20))
        expect = minLoss + 1;
      else if (draw)
        expect = 0;
      else
        expect = maxWin + 1;
      if (expect != value && ++failures < 5)
        ADD_FAILURE() << EndgameFileName(cls) << " index " << idx << ": stored " << value
                      << ", successors give " << expect;
      return;
    }
    board.b[s] = kEmpty;
    place(s + 1, left, white, black);
    if (left == 0) return;
    for (int8_t k : kinds) {
      const int colour = k > 0 ? 1 : -1;
      if ((k == kWhiteMan || k == kBlackMan) && !manAllowed(s, colour)) continue;
      board.b[s] = k;
      place(s + 1, left - 1, white + (colour > 0), black + (colour < 0));
    }
    board.b[s] = kEmpty;
  };
  place(1, row.pieces, 0, 0);
  EXPECT_EQ(failures, 0u);
  EXPECT_EQ(checked, expectedPositions);
  uint64_t unreached = 0;
  for (const TEgdbClassReport& r : result.classes) {
    const auto& marks = seen[r.cls.id()];
    TBitBoard64 bb;
    for (uint64_t x = 0; x < marks.size(); ++x)
      if (!marks[x] && DecodePositionIndex(r.cls, x, gen.Geometry(), gen.MenLists(), bb)) ++unreached;
  }
  EXPECT_EQ(unreached, 0u);

  // The files hold what the generator computed.
  const std::shared_ptr<const TEndgameDb> db = TEndgameDb::Load(row.variant, false, dir.string(), {});
  EXPECT_EQ(db->FilesLoaded(), static_cast<int64_t>(result.classes.size()));
  uint64_t mismatches = 0;
  for (const TEgdbClassReport& r : result.classes) {
    const std::vector<uint16_t>& values = *gen.Values(r.cls.id());
    TBitBoard64 bb;
    for (uint64_t x = 0; x < values.size(); ++x) {
      if (!DecodePositionIndex(r.cls, x, gen.Geometry(), gen.MenLists(), bb)) continue;
      uint8_t v = 0;
      TEbType type;
      if (!db->ProbeRaw(bb, v, type) || v != values[x]) ++mismatches;
    }
  }
  EXPECT_EQ(mismatches, 0u);
}

INSTANTIATE_TEST_SUITE_P(Variants, EgdbConsistency,
                         testing::Values(Row{kRussian, 4}, Row{kEnglish, 4}, Row{kInternational, 4},
                                         Row{kTurkish, 3}, Row{kBrazilian, 3}, Row{kItalian, 3},
                                         Row{kCzech, 3}, Row{kThai, 3}, Row{kSpantsiretti, 3},
                                         Row{kTurkish, 4, true}),
                         RowName);

// WDL files agree with the distances: 0 draw, odd loss, even win.
TEST(EgdbWdl, FilesMatchTheDistances) {
  const std::filesystem::path dir = test::FreshDir("egdbwdl");
  TEgdbBuildOptions opt;
  opt.variant = kRussian;
  opt.maxPieces = 3;
  opt.type = ebWDL;
  opt.outFolder = dir.string();
  TEgdbGenerator gen(opt);
  const TEgdbBuildResult result = gen.Run();
  ASSERT_TRUE(result.ok) << result.error;
  const std::shared_ptr<const TEndgameDb> db = TEndgameDb::Load(kRussian, false, dir.string(), {});
  uint64_t mismatches = 0, probes = 0;
  for (const TEgdbClassReport& r : result.classes) {
    const std::vector<uint16_t>& values = *gen.Values(r.cls.id());
    TBitBoard64 bb;
    for (uint64_t x = 0; x < values.size(); ++x) {
      if (!DecodePositionIndex(r.cls, x, gen.Geometry(), gen.MenLists(), bb)) continue;
      uint8_t v = 0;
      TEbType type;
      ++probes;
      const uint8_t expect = values[x] == 0 ? 0 : values[x] % 2 ? 1 : 2;
      if (!db->ProbeRaw(bb, v, type) || type != ebWDL || v != expect) ++mismatches;
    }
  }
  EXPECT_GT(probes, 0u);
  EXPECT_EQ(mismatches, 0u);
}

}  // namespace
}  // namespace quorlin
