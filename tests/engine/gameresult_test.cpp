#include "engine/gameresult.h"

#include <gtest/gtest.h>

#include <array>
#include <optional>
#include <string>
#include <vector>

#include "rules/movegen.h"

namespace quorlin {
namespace {

TBoard Board(std::initializer_list<std::pair<int, int8_t>> pieces) {
  TBoard b;
  for (auto [square, piece] : pieces) b.b[square] = piece;
  return b;
}

// The legal move of `side` from `from` to `to` (any destination when `to` is 0).
std::optional<TMove> Legal(const TBoard& b, TDColor side, const TGameParams& p, int from, int to = 0) {
  TMvs list;
  uint8_t n = 0;
  GenerateMoves(b, static_cast<int>(side), list, n, p, true);
  for (int i = 1; i <= n; ++i)
    if (list[i].From() == from && (to == 0 || list[i].To() == to)) return list[i];
  return std::nullopt;
}

TDColor Other(TDColor c) { return c == TDColor::white ? TDColor::black : TDColor::white; }

// A game line built move by move, both as a plain line and as a game record.
struct Line {
  TGameParams params;
  TBoard start;
  TDColor first;
  std::vector<TMove> moves;
  TBoard board;
  TDColor side;

  Line(int variant, const TBoard& s, TDColor f = TDColor::white)
      : params(VariantTable[variant]), start(s), first(f), board(s), side(f) {
    moves.reserve(512);  // Ptrs() hands out addresses
  }
  void Play(const TMove& m) {
    moves.push_back(m);
    ApplyMove(m, board, params);
    side = Other(side);
  }
  // Plays the legal move from `from` to `to`; fails the test when there is none.
  void Play(int from, int to) {
    const auto m = Legal(board, side, params, from, to);
    ASSERT_TRUE(m.has_value()) << params.Name << ": no move " << from << "-" << to;
    Play(*m);
  }
  std::vector<const TMove*> Ptrs(size_t count) const {
    std::vector<const TMove*> p;
    for (size_t i = 0; i < count; ++i) p.push_back(&moves[i]);
    return p;
  }
  std::vector<const TMove*> Ptrs() const { return Ptrs(moves.size()); }
  TGame Game() const {
    TGame g;
    g.Params = params;
    g.Header.TypeOfGame = static_cast<uint8_t>(params.TypeOfGame);
    g.Header.FirstMove = first;
    g.StartBoard = start.b;
    for (const TMove& m : moves) {
      TMove node = m;
      node.parent = static_cast<int32_t>(g.Moves.size()) - 1;
      g.Moves.push_back(node);
      g.Comments.emplace_back();
    }
    g.CurMovPos = static_cast<int32_t>(g.Moves.size()) - 1;
    g.CurBoard = board;
    g.SideToMove = side;
    return g;
  }
};

bool SameRow8(const TMove& m) { return (m.From() - 1) / 8 == (m.To() - 1) / 8; }

// Four quiet king moves (white out, black out, white back, black back) that
// bring back a position with one king each side; in Turkish the moves stay in
// their rows so that they count for the move-count rules.
std::optional<std::array<TMove, 4>> KingShuffle(int variant, TBoard& start) {
  const TGameParams& p = VariantTable[variant];
  const int n = p.compute.BoardSize;
  auto ok = [&](const TMove& m) { return !m.IsCapture() && (variant != kTurkish || SameRow8(m)); };
  for (int a = 1; a <= n; ++a) {
    for (int b = 1; b <= n; ++b) {
      if (a == b) continue;
      const TBoard s = Board({{a, kWhiteKing}, {b, kBlackKing}});
      TMvs wl;
      uint8_t wn = 0;
      GenerateMoves(s, 0, wl, wn, p, true);
      for (int i = 1; i <= wn; ++i) {
        if (!ok(wl[i])) continue;
        TBoard b1 = s;
        ApplyMove(wl[i], b1, p);
        TMvs bl;
        uint8_t bn = 0;
        GenerateMoves(b1, 1, bl, bn, p, true);
        for (int j = 1; j <= bn; ++j) {
          if (!ok(bl[j])) continue;
          TBoard b2 = b1;
          ApplyMove(bl[j], b2, p);
          const auto back1 = Legal(b2, TDColor::white, p, wl[i].To(), wl[i].From());
          if (!back1 || !ok(*back1)) continue;
          TBoard b3 = b2;
          ApplyMove(*back1, b3, p);
          const auto back2 = Legal(b3, TDColor::black, p, bl[j].To(), bl[j].From());
          if (!back2 || !ok(*back2)) continue;
          TBoard b4 = b3;
          ApplyMove(*back2, b4, p);
          if (b4.b != s.b) continue;
          start = s;
          return std::array<TMove, 4>{wl[i], bl[j], *back1, *back2};
        }
      }
    }
  }
  return std::nullopt;
}

struct VariantRules {
  int variant;
  int repetitions;  // occurrences that draw
  int quietMoves;   // quiet moves that draw in an ordinary position
};

// One row per built-in variant.
const VariantRules kRules[] = {
    {kRussian, 3, 40},   {kEnglish, 3, 100},
    {kBrazilian, 3, 40}, {kPool, 3, 40},
    {kItalian, 4, 80},   {kInternational, 3, 40},
    {kCzech, 3, 40},     {kSpanish, 3, 40},
    {kFrisian, 3, 40},   {kSpantsiretti, 3, 40},
    {kCanadian, 3, 40},  {kThai, 3, 40},
    {kTurkish, 3, 32},   {kInternationalKiller, 3, 40},
};

class PerVariant : public ::testing::TestWithParam<VariantRules> {};

std::string RowName(const ::testing::TestParamInfo<VariantRules>& info) {
  std::string n = VariantTable[info.param.variant].Name;
  std::erase(n, ' ');
  return n;
}

TEST_P(PerVariant, RepetitionDrawsAtTheVariantsCount) {
  const VariantRules r = GetParam();
  TBoard start;
  const auto cycle = KingShuffle(r.variant, start);
  ASSERT_TRUE(cycle.has_value()) << VariantTable[r.variant].Name;
  EXPECT_EQ(RepetitionLimit(VariantTable[r.variant]), r.repetitions);
  // After 4k moves the start position is there for the (k+1)-th time; the
  // positions in between have occurred fewer times, so only the last one draws.
  Line line(r.variant, start);
  for (int round = 0; round + 1 < r.repetitions; ++round)
    for (const TMove& m : *cycle) line.Play(m);
  ASSERT_EQ(line.board.b, start.b);
  const size_t total = line.moves.size();
  for (size_t len = 0; len <= total; ++len) {
    SCOPED_TRACE("after " + std::to_string(len) + " moves");
    const auto p = line.Ptrs(len);
    if (len % 4 == 0) {
      EXPECT_EQ(PositionOccurrences(start, p, line.params), static_cast<int>(len / 4) + 1);
    }
    EXPECT_EQ(RepetitionDraw(start, p, line.params), len == total);
  }
  // The game form collects the same line from the tree.
  const TGame g = line.Game();
  EXPECT_TRUE(RepetitionDraw(g, g.CurMovPos));
  EXPECT_FALSE(RepetitionDraw(g, g.CurMovPos - 1));
}

TEST_P(PerVariant, KingMovesCountUntilTheVariantsLimit) {
  const VariantRules r = GetParam();
  TBoard start;
  const auto cycle = KingShuffle(r.variant, start);
  ASSERT_TRUE(cycle.has_value());
  Line line(r.variant, start);
  for (int i = 0; i < r.quietMoves; ++i) line.Play((*cycle)[i % 4]);
  const auto all = line.Ptrs();
  EXPECT_EQ(QuietMoveCount(start, all, line.params), r.quietMoves);
  // One king each is no special case outside Turkish: the plain limit decides.
  if (r.variant != kTurkish) {
    EXPECT_FALSE(MoveCountDraw(start, line.Ptrs(r.quietMoves - 1), line.params));
    EXPECT_TRUE(MoveCountDraw(start, all, line.params));
    TGame g = line.Game();
    EXPECT_TRUE(MoveCountDraw(g, g.CurMovPos));
    EXPECT_FALSE(MoveCountDraw(g, g.CurMovPos - 1));
  } else {
    // Turkish: a king against a king is drawn after the first counted move.
    EXPECT_FALSE(MoveCountDraw(start, line.Ptrs(0), line.params));
    EXPECT_TRUE(MoveCountDraw(start, line.Ptrs(1), line.params));
  }
}

// The move-count rule on its own: quiet moves counted so far and the material.
TEST_P(PerVariant, MoveCountRuleByMaterial) {
  const VariantRules r = GetParam();
  const TGameParams& p = VariantTable[r.variant];
  const int n = p.compute.BoardSize;
  // Pieces well apart; the rule looks only at the material.
  const TBoard kings2v2 = Board({{1, kWhiteKing}, {3, kWhiteKing}, {n, kBlackKing}, {n - 2, kBlackKing}});
  const TBoard kings2v1 = Board({{1, kWhiteKing}, {3, kWhiteKing}, {n, kBlackKing}});
  const TBoard kings1v2 = Board({{1, kWhiteKing}, {n, kBlackKing}, {n - 2, kBlackKing}});
  const TBoard kings2v1man = Board({{1, kWhiteKing}, {3, kWhiteKing}, {n, kBlackKing}, {n / 2, kBlackMan}});
  const TBoard kingVsMan = Board({{1, kWhiteKing}, {n - 9, kBlackMan}});
  const TBoard manVsKing = Board({{10, kWhiteMan}, {n, kBlackKing}});
  const TBoard manVsMan = Board({{10, kWhiteMan}, {n - 9, kBlackMan}});
  const bool frisian = r.variant == kFrisian, turkish = r.variant == kTurkish;

  EXPECT_FALSE(MoveCountRule(p, r.quietMoves - 1, kings2v2));
  EXPECT_TRUE(MoveCountRule(p, r.quietMoves, kings2v2));
  EXPECT_TRUE(MoveCountRule(p, r.quietMoves, manVsMan));  // the count alone decides
  // Frisian: two kings against one draw after 14 moves, whichever side has two.
  EXPECT_FALSE(MoveCountRule(p, 13, kings2v1));
  EXPECT_EQ(MoveCountRule(p, 14, kings2v1), frisian);
  EXPECT_EQ(MoveCountRule(p, 14, kings1v2), frisian);
  EXPECT_FALSE(MoveCountRule(p, 14, kings2v1man));
  // Turkish: one piece each with a king among them draws after one move.
  EXPECT_FALSE(MoveCountRule(p, 0, kingVsMan));
  EXPECT_EQ(MoveCountRule(p, 1, kingVsMan), turkish);
  EXPECT_EQ(MoveCountRule(p, 1, manVsKing), turkish);
  EXPECT_FALSE(MoveCountRule(p, 1, manVsMan));
}

INSTANTIATE_TEST_SUITE_P(Variants, PerVariant, ::testing::ValuesIn(kRules), RowName);

TEST(QuietMoveCount, CapturesAndManMovesStartTheCountAgain) {
  const TGameParams& p = VariantTable[kRussian];
  auto sq = [&](int row, int col) { return SquareAt(p, row, col); };
  // White king c1 and man h2, black king h8 and man a7.
  const TBoard start =
      Board({{sq(0, 3), kWhiteKing}, {sq(1, 8), kWhiteMan}, {sq(7, 8), kBlackKing}, {sq(6, 1), kBlackMan}});
  Line line(kRussian, start);
  auto count = [&] { return QuietMoveCount(start, line.Ptrs(), p); };
  line.Play(sq(0, 3), sq(1, 4));  // kings
  line.Play(sq(7, 8), sq(6, 7));
  EXPECT_EQ(count(), 2);
  line.Play(sq(1, 8), sq(2, 7));  // white man
  EXPECT_EQ(count(), 0);
  line.Play(sq(6, 7), sq(7, 8));
  line.Play(sq(1, 4), sq(0, 5));
  EXPECT_EQ(count(), 2);
  line.Play(sq(6, 1), sq(5, 2));  // black man
  EXPECT_EQ(count(), 0);
  line.Play(sq(0, 5), sq(1, 4));
  line.Play(sq(7, 8), sq(6, 7));
  line.Play(sq(1, 4), sq(2, 5));  // the king now attacks the man on b6
  line.Play(sq(6, 7), sq(7, 8));
  EXPECT_EQ(count(), 4);
  const auto capture = Legal(line.board, line.side, p, sq(2, 5));
  ASSERT_TRUE(capture.has_value());
  ASSERT_TRUE(capture->IsCapture());
  line.Play(*capture);
  EXPECT_EQ(count(), 0);
}

TEST(QuietMoveCount, TurkishCountsMovesThatStayInTheirRow) {
  const TGameParams& p = VariantTable[kTurkish];
  auto sq = [&](int row, int col) { return SquareAt(p, row, col); };
  const TBoard start =
      Board({{sq(0, 1), kWhiteKing}, {sq(2, 5), kWhiteMan}, {sq(7, 8), kBlackKing}, {sq(5, 2), kBlackMan}});
  Line line(kTurkish, start);
  line.Play(sq(0, 1), sq(0, 3));  // king along its row
  line.Play(sq(5, 2), sq(5, 1));  // man sideways: counts in Turkish
  EXPECT_EQ(QuietMoveCount(start, line.Ptrs(), p), 2);
  line.Play(sq(0, 3), sq(3, 3));  // king up its column: starts again
  EXPECT_EQ(QuietMoveCount(start, line.Ptrs(), p), 0);
  line.Play(sq(7, 8), sq(7, 6));
  line.Play(sq(2, 5), sq(3, 5));  // man forward: starts again
  EXPECT_EQ(QuietMoveCount(start, line.Ptrs(), p), 0);
}

// Frisian: two kings against one. The side with two kings and no men may move
// the same king again and again, so a line of one king's moves reaches the 14
// moves that draw; with a man on the board the counts start again at every
// man move and the two-against-one rule does not apply.
TEST(MoveCountDraw, FrisianTwoKingsAgainstOneByMovesOfOneKing) {
  const TGameParams& p = VariantTable[kFrisian];
  auto sq = [&](int row, int col) { return SquareAt(p, row, col); };
  const int e1 = sq(0, 5), f2 = sq(1, 6), i1 = sq(0, 9), e9 = sq(8, 5), f10 = sq(9, 6);
  const TBoard start = Board({{e1, kWhiteKing}, {i1, kWhiteKing}, {f10, kBlackKing}});
  Line line(kFrisian, start);
  for (int round = 0; round < 4; ++round) {
    line.Play(e1, f2);
    line.Play(f10, e9);
    line.Play(f2, e1);
    line.Play(e9, f10);
  }
  ASSERT_FALSE(HasFatalFailure());
  EXPECT_EQ(QuietMoveCount(start, line.Ptrs(13), p), 13);
  EXPECT_FALSE(MoveCountDraw(start, line.Ptrs(13), p));
  EXPECT_TRUE(MoveCountDraw(start, line.Ptrs(14), p));

  // The same with a white man on a1 that never moves: the king may not move
  // a fourth time in a row, and no 14-move draw applies.
  const int a1 = sq(0, 1);
  TBoard withMan = start;
  withMan.b[a1] = kWhiteMan;
  Line manLine(kFrisian, withMan);
  manLine.Play(e1, f2);
  manLine.Play(f10, e9);
  manLine.Play(f2, e1);
  manLine.Play(e9, f10);
  manLine.Play(e1, f2);
  manLine.Play(f10, e9);
  ASSERT_FALSE(HasFatalFailure());
  EXPECT_FALSE(Legal(manLine.board, manLine.side, p, f2).has_value());
  EXPECT_FALSE(MoveCountRule(p, 14, manLine.board));
}

// Black to move... or White: a lone white man on a1 blocked by two black men.
TBoard BlockedWhite(const TGameParams& p) {
  return Board(
      {{SquareAt(p, 0, 1), kWhiteMan}, {SquareAt(p, 1, 2), kBlackMan}, {SquareAt(p, 2, 3), kBlackMan}});
}

TEST(CheckResult, ASideWithoutAMoveLosesOrWinsInGiveaway) {
  struct Case {
    int variant;
    bool giveaway;
    TDColor toMove;
    bool withoutPieces;  // the side to move has no pieces at all
    uint8_t result;
    int message;
  };
  const Case cases[] = {
      {kRussian, false, TDColor::white, false, kResultBlackWin, kMsgBlackWin},
      {kRussian, true, TDColor::white, false, kResultWhiteWin, kMsgWhiteWin},
      {kRussian, false, TDColor::black, true, kResultWhiteWin, kMsgWhiteWin},
      {kRussian, true, TDColor::black, true, kResultBlackWin, kMsgBlackWin},
      // English calls side 0 "Black": side 1 winning is shown as "White win!".
      {kEnglish, false, TDColor::white, false, kResultBlackWin, kMsgWhiteWin},
      {kEnglish, false, TDColor::black, true, kResultWhiteWin, kMsgBlackWin},
      {kInternational, false, TDColor::white, true, kResultBlackWin, kMsgBlackWin},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(VariantTable[c.variant].Name + (c.giveaway ? " giveaway" : ""));
    const TGameParams& p = VariantTable[c.variant];
    TBoard b = c.withoutPieces ? Board({{c.toMove == TDColor::white ? p.compute.BoardSize : 1,
                                         c.toMove == TDColor::white ? kBlackMan : kWhiteMan}})
                               : BlockedWhite(p);
    Line line(c.variant, b, c.toMove);
    TGame g = line.Game();
    TResultCheck r = CheckResult(g, c.giveaway, true);
    EXPECT_TRUE(r.noLegalMove);
    EXPECT_EQ(r.rule, TResultRule::NoMove);
    EXPECT_EQ(r.result, c.result);
    EXPECT_EQ(g.Header.Result, c.result);
    EXPECT_TRUE(r.headerSet);
    EXPECT_EQ(r.message, c.message);
    EXPECT_FALSE(r.messageSilent);
    // Checked again, the recorded result stands and nothing is queued.
    r = CheckResult(g, c.giveaway, true);
    EXPECT_EQ(r.rule, TResultRule::Recorded);
    EXPECT_EQ(r.result, c.result);
    EXPECT_FALSE(r.headerSet);
    EXPECT_EQ(r.message, 0);
    // Analysis mode reports the stuck side but records nothing.
    TGame a = line.Game();
    r = CheckResult(a, c.giveaway, false);
    EXPECT_TRUE(r.noLegalMove);
    EXPECT_EQ(r.result, c.result);
    EXPECT_EQ(a.Header.Result, kResultNone);
    EXPECT_FALSE(r.headerSet);
    EXPECT_EQ(r.message, 0);
  }
}

TEST(CheckResult, DrawRulesRecordADrawSilentlyInBothModes) {
  for (bool playMode : {true, false}) {
    TBoard start;
    const auto cycle = KingShuffle(kRussian, start);
    ASSERT_TRUE(cycle.has_value());
    Line line(kRussian, start);
    for (int i = 0; i < 7; ++i) line.Play((*cycle)[i % 4]);
    TGame g = line.Game();
    TResultCheck r = CheckResult(g, false, playMode);
    EXPECT_EQ(r.result, kResultNone);
    EXPECT_EQ(r.rule, TResultRule::None);
    EXPECT_EQ(g.Header.Result, kResultNone);
    line.Play((*cycle)[3]);  // third occurrence
    g = line.Game();
    r = CheckResult(g, false, playMode);
    EXPECT_EQ(r.result, kResultDraw);
    EXPECT_EQ(r.rule, TResultRule::Repetition);
    EXPECT_EQ(g.Header.Result, kResultDraw);
    EXPECT_TRUE(r.headerSet);
    EXPECT_EQ(r.message, kMsgDraw);
    EXPECT_TRUE(r.messageSilent);
  }
  // Turkish: a king against a king is drawn by the move-count rule after the
  // first move along a row.
  const TGameParams& p = VariantTable[kTurkish];
  Line line(kTurkish, Board({{SquareAt(p, 0, 1), kWhiteKing}, {SquareAt(p, 7, 8), kBlackKing}}));
  TGame g = line.Game();
  EXPECT_EQ(CheckResult(g, false, true).rule, TResultRule::None);
  line.Play(SquareAt(p, 0, 1), SquareAt(p, 0, 3));
  g = line.Game();
  const TResultCheck r = CheckResult(g, false, true);
  EXPECT_EQ(r.rule, TResultRule::MoveCount);
  EXPECT_EQ(r.result, kResultDraw);
  EXPECT_EQ(g.Header.Result, kResultDraw);
}

TEST(CheckResult, ABrokenTreeIsNoDraw) {
  TBoard start;
  const auto cycle = KingShuffle(kRussian, start);
  ASSERT_TRUE(cycle.has_value());
  Line line(kRussian, start);
  for (int i = 0; i < 8; ++i) line.Play((*cycle)[i % 4]);
  TGame g = line.Game();
  g.Moves[3].parent = 7;  // a cycle in the parent links
  std::vector<const TMove*> l;
  EXPECT_FALSE(CollectGameLine(g, g.CurMovPos, l));
  EXPECT_FALSE(RepetitionDraw(g, g.CurMovPos));
  EXPECT_FALSE(MoveCountDraw(g, g.CurMovPos));
  EXPECT_EQ(CheckResult(g, false, true).result, kResultNone);
  EXPECT_FALSE(RepetitionDraw(g, 99));
}

}  // namespace
}  // namespace quorlin
