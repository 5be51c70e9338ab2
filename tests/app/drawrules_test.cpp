// Draws by the rules end a game in play mode: the position that recurs
// (three times, four in Italian) and the long runs of king moves of each
// variant. The user makes the move that completes the rule; the game is then
// drawn, silently, and the engine does not answer.
#include <gtest/gtest.h>

#include <map>

#include "app_fixture.h"
#include "engine/gameresult.h"
#include "rules/position.h"

namespace quorlin {
namespace {

using test::AppTest;

TDColor Other(TDColor c) { return c == TDColor::white ? TDColor::black : TDColor::white; }

// Quiet moves only: neither side may ever have a capture.
bool NoCapture(const TBoard& b, TDColor side, const TGameParams& p) {
  TMvs list;
  uint8_t n = 0;
  GenerateMoves(b, static_cast<int>(side), list, n, p, true);
  return n > 0 && !list[1].IsCapture();
}

// Moves that count for the move-count rules: king moves, in Turkish along a row.
bool Counts(const TBoard& b, const TMove& m, const TGameParams& p) {
  if (m.IsCapture() || (b.b[m.From()] != kWhiteKing && b.b[m.From()] != kBlackKing)) return false;
  return p.TypeOfGame != kTurkish || (m.From() - 1) / 8 == (m.To() - 1) / 8;
}

struct TLine {
  TBoard start;
  std::vector<TMove> moves;
};

// A line of `plies` counted moves from a random kings-only position in which
// no position occurs three times: each side takes the counted move that leads
// to the position seen least often so far and leaves no capture to either side.
std::optional<TLine> FreshKingLine(int variant, int whiteKings, int blackKings, int plies, uint64_t seed) {
  const TGameParams& p = VariantTable[variant];
  TRandom rng(seed);
  for (int attempt = 0; attempt < 50; ++attempt) {
    TLine line;
    if (!GeneratePosition(0, 0, static_cast<uint8_t>(whiteKings), static_cast<uint8_t>(blackKings),
                          line.start.b, false, true, true, p, rng))
      continue;
    std::map<std::pair<TBrd, TDColor>, int> seen;
    TBoard b = line.start;
    TDColor side = TDColor::white;
    seen[{b.b, side}] = 1;
    bool stuck = false;
    while (static_cast<int>(line.moves.size()) < plies && !stuck) {
      TMvs list;
      uint8_t n = 0;
      GenerateMoves(b, static_cast<int>(side), list, n, p, true);
      int best = 0, bestSeen = 3;
      for (int i = 1; i <= n; ++i) {
        if (!Counts(b, list[i], p)) continue;
        TBoard after = b;
        ApplyMove(list[i], after, p);
        if (!NoCapture(after, Other(side), p)) continue;
        const auto it = seen.find({after.b, Other(side)});
        const int s = it == seen.end() ? 0 : it->second;
        if (s < bestSeen) best = i, bestSeen = s;
      }
      if (best == 0 || bestSeen >= 2) {
        stuck = true;
        break;
      }
      ApplyMove(list[best], b, p);
      side = Other(side);
      ++seen[{b.b, side}];
      line.moves.push_back(list[best]);
    }
    if (!stuck) return line;
  }
  return std::nullopt;
}

// Four quiet king moves that bring the start position back.
std::optional<TLine> KingShuffleFrom(int variant, uint64_t seed) {
  const TGameParams& p = VariantTable[variant];
  const auto line = FreshKingLine(variant, 1, 1, 2, seed);
  if (!line) return std::nullopt;
  TLine cycle = *line;
  TBoard b = cycle.start;
  for (const TMove& m : cycle.moves) ApplyMove(m, b, p);
  TDColor side = TDColor::white;
  for (int k = 0; k < 2; ++k) {
    const TMove& out = line->moves[static_cast<size_t>(k)];
    TMvs list;
    uint8_t n = 0;
    GenerateMoves(b, static_cast<int>(side), list, n, p, true);
    bool found = false;
    for (int i = 1; i <= n && !found; ++i) {
      if (list[i].IsCapture() || list[i].From() != out.To() || list[i].To() != out.From()) continue;
      ApplyMove(list[i], b, p);
      cycle.moves.push_back(list[i]);
      found = true;
    }
    if (!found) return std::nullopt;
    side = Other(side);
  }
  if (b.b != cycle.start.b) return std::nullopt;
  return cycle;
}

std::optional<TLine> KingShuffle(int variant) {
  for (uint64_t seed = 1; seed < 100; ++seed)
    if (auto cycle = KingShuffleFrom(variant, seed)) return cycle;
  return std::nullopt;
}

struct DrawRow {
  int variant;
  int whiteKings, blackKings;
  int plies;        // the move that completes the rule
  bool repetition;  // repetition of a king shuffle, else fresh king moves
};

class DrawRules : public AppTest, public testing::WithParamInterface<DrawRow> {};

TEST_P(DrawRules, TheUsersMoveThatCompletesTheRuleEndsTheGame) {
  const DrawRow row = GetParam();
  std::optional<TLine> line;
  if (row.repetition) {
    const auto cycle = KingShuffle(row.variant);
    ASSERT_TRUE(cycle.has_value());
    line = TLine{cycle->start, {}};
    while (static_cast<int>(line->moves.size()) < row.plies)
      line->moves.push_back(cycle->moves[line->moves.size() % 4]);
  } else {
    line = FreshKingLine(row.variant, row.whiteKings, row.blackKings, row.plies, 11);
  }
  ASSERT_TRUE(line.has_value()) << "no line for the test";
  Start();
  app().SelectVariant(row.variant, false);
  // The line up to one move before the rule, entered in analysis mode without
  // analysis; then the rules are checked after the next move.
  app().SetMode(TPlayMode::Analysis);
  const TGameParams& p = VariantTable[row.variant];
  SetPosition(WriteFEN(p, line->start.b, 0));
  for (int i = 0; i + 2 < row.plies; ++i) ASSERT_TRUE(app().UserMove(line->moves[i]).Accepted) << i;
  app().StartStop();  // the engine analyses (and stops at its depth); the rules are checked
  ASSERT_TRUE(app().UserMove(line->moves[row.plies - 2]).Accepted);
  Settle();
  EXPECT_EQ(Game().Header.Result, kResultNone) << "a draw one move too early";
  EXPECT_TRUE(silent_.empty());

  // Play mode: the user's move completes the rule and the engine does not answer.
  app().SetMode(TPlayMode::Play);
  ASSERT_TRUE(app().UserMove(line->moves[row.plies - 1]).Accepted);
  Settle();
  const TGame g = Game();
  EXPECT_EQ(g.Header.Result, kResultDraw);
  EXPECT_EQ(MainLineLength(g), row.plies);
  EXPECT_EQ(silent_, std::vector<std::string>{NumberedText(kMsgDraw)});
  EXPECT_TRUE(shown_.empty());
  EXPECT_FALSE(app().ClockRunning());
}

INSTANTIATE_TEST_SUITE_P(
    Variants, DrawRules,
    testing::Values(DrawRow{kRussian, 1, 1, 8, true}, DrawRow{kItalian, 1, 1, 12, true},
                    DrawRow{kInternational, 1, 1, 8, true}, DrawRow{kRussian, 2, 2, 40, false},
                    DrawRow{kEnglish, 2, 2, 100, false}, DrawRow{kItalian, 2, 2, 80, false},
                    DrawRow{kTurkish, 2, 2, 32, false}, DrawRow{kFrisian, 2, 1, 14, false},
                    DrawRow{kCanadian, 2, 2, 40, false}),
    [](const testing::TestParamInfo<DrawRow>& info) {
      std::string n = VariantTable[info.param.variant].Name;
      std::erase(n, ' ');
      return n + (info.param.repetition ? "Repetition" : "KingMoves" + std::to_string(info.param.plies));
    });

TEST_F(AppTest, TurkishKingAgainstManIsDrawnAtTheFirstCountedMove) {
  Start();
  app().SelectVariant(kTurkish, false);
  SetPosition("W:WKd4:Bh6");
  const auto along = Move(Sq("d4"), Sq("a4"));
  ASSERT_TRUE(along.has_value());
  ASSERT_TRUE(app().UserMove(*along).Accepted);
  Settle();
  EXPECT_EQ(Game().Header.Result, kResultDraw);
  EXPECT_EQ(MainLineLength(Game()), 1);
}

}  // namespace
}  // namespace quorlin
