#include "rules/movegen.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <memory>
#include <random>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "rules/variants.h"

namespace quorlin {
namespace {

// Position from a list of pieces by internal square number: "w10 W18 b14 B23"
// (lower case man, upper case king; w/W White, b/B Black).
TBoard Pos(const std::string& pieces) {
  TBoard board;
  std::istringstream in(pieces);
  std::string item;
  while (in >> item) {
    const int s = std::stoi(item.substr(1));
    switch (item[0]) {
      case 'w':
        board.b[s] = kWhiteMan;
        break;
      case 'W':
        board.b[s] = kWhiteKing;
        break;
      case 'b':
        board.b[s] = kBlackMan;
        break;
      case 'B':
        board.b[s] = kBlackKing;
        break;
      default:
        ADD_FAILURE() << "bad piece " << item;
    }
  }
  return board;
}

std::string PosText(const TBoard& board) {
  std::string out;
  for (int s = 1; s <= kMaxSquares; ++s) {
    if (board.b[s] == kEmpty) continue;
    const char* code = board.b[s] == kWhiteMan    ? "w"
                       : board.b[s] == kWhiteKing ? "W"
                       : board.b[s] == kBlackMan  ? "b"
                                                  : "B";
    if (!out.empty()) out += ' ';
    out += code + std::to_string(s);
  }
  return out;
}

// "10-14" for a quiet move, "10(14)19(23)28" for a capture: start, then each
// captured square in brackets followed by the landing square.
std::string Text(const TMove& m) {
  std::string t = std::to_string(m.mv[0]);
  if (m.lt == 0) return t + "-" + std::to_string(m.mv[1]);
  for (int i = 1; i <= m.lt; ++i)
    t += "(" + std::to_string(m.mv[2 * i - 1]) + ")" + std::to_string(m.mv[2 * i]);
  return t;
}

std::vector<std::string> Moves(const TGameParams& p, const TBoard& board, int side, bool dedupe) {
  TMvs list;
  uint8_t count = 99;
  GenerateMoves(board, side, list, count, p, dedupe);
  std::vector<std::string> out;
  for (int i = 1; i <= count; ++i) out.push_back(Text(list[i]));
  std::sort(out.begin(), out.end());
  return out;
}

TGameParams Custom(int width, int height, bool checkered) {
  TGameParams p;
  p.Name = "Custom";
  p.BoardWidth = static_cast<uint8_t>(width);
  p.BoardHeight = static_cast<uint8_t>(height);
  p.BoardCheckered = checkered;
  p.MustCapture = true;
  p.MenTakeKings = true;
  ComputeBoardGeometry(p);
  return p;
}

// --- Rule cases ------------------------------------------------------------

struct RuleCase {
  const char* name;
  int variant;
  const char* position;
  int side;
  bool dedupe;
  std::vector<std::string> moves;  // sorted
};

void PrintTo(const RuleCase& c, std::ostream* os) { *os << c.name; }

class RuleCaseTest : public testing::TestWithParam<RuleCase> {};

TEST_P(RuleCaseTest, ListsExactlyTheLegalMoves) {
  const RuleCase& c = GetParam();
  std::vector<std::string> want = c.moves;
  std::sort(want.begin(), want.end());
  EXPECT_EQ(Moves(VariantTable[c.variant], Pos(c.position), c.side, c.dedupe), want)
      << VariantTable[c.variant].Name << ": " << c.position;
}

INSTANTIATE_TEST_SUITE_P(
    Variants, RuleCaseTest,
    testing::Values(
        // c3:e5:g7 - one man takes d4 and f6.
        RuleCase{"RussianManTakesTwo", kRussian, "w10 b14 b23", 0, true, {"10(14)19(23)28"}},
        RuleCase{"BlackManCapturesTowardsRowZero", kRussian, "b23 w19", 1, true, {"23(19)14"}},
        // b6 takes c7 landing on d8: in Russian it is a king at once and flies on
        // over e7; in Pool it goes on as a man, one square behind e7.
        RuleCase{"RussianCrownsMidCaptureAndFlies",
                 kRussian,
                 "w21 b26 b27",
                 0,
                 true,
                 {"21(26)30(27)23", "21(26)30(27)20", "21(26)30(27)16"}},
        RuleCase{"PoolContinuesAsMan", kPool, "w21 b26 b27", 0, true, {"21(26)30(27)23"}},
        // Only the three-piece capture; the lone man's single capture is dropped.
        RuleCase{"InternationalTakesMost",
                 kInternational,
                 "w13 b17 b27 b28 w5 b9",
                 0,
                 true,
                 {"13(17)22(27)33(28)24"}},
        // A ring of four pieces taken either way round, back to the start square.
        RuleCase{"InternationalSameCaptureOnce",
                 kInternational,
                 "w13 b17 b27 b28 b18",
                 0,
                 true,
                 {"13(17)22(27)33(28)24(18)13"}},
        RuleCase{"InternationalSameCaptureBothPaths",
                 kInternational,
                 "w13 b17 b27 b28 b18",
                 0,
                 false,
                 {"13(17)22(27)33(28)24(18)13", "13(18)24(28)33(27)22(17)13"}},
        RuleCase{"ItalianManDoesNotTakeKing", kItalian, "w10 B14", 0, true, {"10-13"}},
        RuleCase{"ItalianKingBeforeEqualMan", kItalian, "W1 b5 b14 w4 b7", 0, true, {"1(5)10(14)19"}},
        RuleCase{"ItalianKingTakenFirstWins", kItalian, "W1 B5 b14 W32 b28 B20", 0, true, {"1(5)10(14)19"}},
        RuleCase{"CzechKingCaptureBeforeLongerMan", kCzech, "W1 b5 w14 b19 b28", 0, true, {"1(5)10"}},
        RuleCase{"RussianAnyCaptureSamePosition",
                 kRussian,
                 "W1 b5 w14 b19 b28",
                 0,
                 true,
                 {"1(5)10", "14(19)23(28)32"}},
        // Thai king: lands right behind each piece, and the square of a piece
        // already taken can be crossed again.
        RuleCase{"ThaiKingLandsBehindAndRecrosses",
                 kThai,
                 "W14 b19 b10",
                 0,
                 true,
                 {"14(19)23(10)5", "14(10)5(19)23"}},
        RuleCase{"KillerKingTakingKingLastStopsBehind", kInternationalKiller, "W1 B17", 0, true, {"1(17)23"}},
        // Killer: the king taken first does not stop the king; the man taken
        // last may be left on any square, as in International.
        RuleCase{"KillerKingTakingKingGoesOn",
                 kInternationalKiller,
                 "W1 B17 b33",
                 0,
                 true,
                 {"1(17)28(33)37", "1(17)28(33)42", "1(17)28(33)46"}},
        RuleCase{"InternationalKingMustContinue",
                 kInternational,
                 "W1 B17 b33",
                 0,
                 true,
                 {"1(17)28(33)37", "1(17)28(33)42", "1(17)28(33)46"}},
        RuleCase{"KillerKingTakingManLandsAnywhere",
                 kInternationalKiller,
                 "W1 b17",
                 0,
                 true,
                 {"1(17)23", "1(17)28", "1(17)34", "1(17)39", "1(17)45", "1(17)50"}},
        // Only the third landing square lets the king go on: the nearer ones are
        // withdrawn, with and without the majority rule.
        RuleCase{"InternationalContinuesFromThirdSquare",
                 kInternational,
                 "W1 b6 b27",
                 0,
                 true,
                 {"1(6)23(27)32", "1(6)23(27)36", "1(6)23(27)41"}},
        RuleCase{"RussianContinuesFromThirdSquare",
                 kRussian,
                 "W1 b5 b18",
                 0,
                 true,
                 {"1(5)14(18)21", "1(5)14(18)25"}},
        RuleCase{"FrisianLeftEdgeTakesAlongRow", kFrisian, "w21 b22", 0, true, {"21(22)23"}},
        RuleCase{"FrisianTakesAlongColumn", kFrisian, "w13 b23", 0, true, {"13(23)33"}},
        RuleCase{"TurkishManSidewaysNotBackwards", kTurkish, "w20 b19 b12", 0, true, {"20(19)18"}},
        RuleCase{"TurkishKingNeverTurnsBack",
                 kTurkish,
                 "W20 b22 b19",
                 0,
                 true,
                 {"20(19)17", "20(19)18", "20(22)23", "20(22)24"}},
        RuleCase{"EnglishManOnlyForward", kEnglish, "w14 b10", 0, true, {"14-18", "14-19"}},
        RuleCase{"EnglishKingTakesBackwards", kEnglish, "W14 b10", 0, true, {"14(10)5"}},
        RuleCase{"BlockedManHasNoMove", kInternational, "w1 b6 b12", 0, true, {}},
        RuleCase{"NoPiecesNoMove", kRussian, "b20", 0, true, {}}),
    [](const testing::TestParamInfo<RuleCase>& info) { return std::string(info.param.name); });

// A lone flying king moves along every diagonal ray of the shared neighbour
// rule, on every checkered geometry up to 128 squares.
TEST(GenerateMoves, KingRaysFollowTheBoardGeometry) {
  int boards = 0;
  for (int width = 2; width <= 16; width += 2)
    for (int height = 2; height <= 16 && width * height / 2 <= kMaxSquares; ++height) {
      TGameParams p = Custom(width, height, true);
      p.FlyingKing = true;
      ++boards;
      for (int s = 1; s <= p.compute.BoardSize; ++s) {
        TBoard board;
        board.b[s] = kWhiteKing;
        std::vector<std::string> want;
        for (const bool up : {true, false})
          for (const bool right : {false, true})
            for (int t = DiagonalNeighbour(p, s, up, right); t != 0; t = DiagonalNeighbour(p, t, up, right))
              want.push_back(std::to_string(s) + "-" + std::to_string(t));
        std::sort(want.begin(), want.end());
        ASSERT_EQ(Moves(p, board, 0, true), want) << width << "x" << height << " square " << s;
      }
    }
  EXPECT_EQ(boards, 8 * 15);
}

// --- Playing moves ------------------------------------------------------------

struct PlayCase {
  const char* name;
  int variant;
  const char* before;
  int side;
  const char* move;
  const char* after;
};

void PrintTo(const PlayCase& c, std::ostream* os) { *os << c.name; }

class ApplyMoveTest : public testing::TestWithParam<PlayCase> {};

TEST_P(ApplyMoveTest, PlaysAndCrowns) {
  const PlayCase& c = GetParam();
  const TGameParams& p = VariantTable[c.variant];
  TBoard board = Pos(c.before);
  TMvs list;
  uint8_t count = 0;
  GenerateMoves(board, c.side, list, count, p, true);
  int found = 0;
  for (int i = 1; i <= count; ++i)
    if (Text(list[i]) == c.move) found = i;
  ASSERT_NE(found, 0) << c.move << " not listed";
  ApplyMove(list[found], board, p);
  EXPECT_EQ(PosText(board), PosText(Pos(c.after)));
}

INSTANTIATE_TEST_SUITE_P(
    Variants, ApplyMoveTest,
    testing::Values(PlayCase{"RussianEndsAsKing", kRussian, "w21 b26 b27", 0, "21(26)30(27)16", "W16"},
                    PlayCase{"PoolPassesLastRowAsMan", kPool, "w21 b26 b27", 0, "21(26)30(27)23", "w23"},
                    PlayCase{"PoolCrownsWhenEndingOnLastRow", kPool, "w21 b26", 0, "21(26)30", "W30"},
                    PlayCase{"QuietMoveCrownsWhite", kRussian, "w25 b1", 0, "25-29", "W29 b1"},
                    PlayCase{"QuietMoveCrownsBlack", kRussian, "w25 b5", 1, "5-1", "w25 B1"},
                    PlayCase{"RingCaptureEndsOnStart", kInternational, "w13 b17 b27 b28 b18", 0,
                             "13(17)22(27)33(28)24(18)13", "w13"},
                    PlayCase{"ThaiRecross", kThai, "W14 b19 b10 b32", 0, "14(19)23(10)5", "W5 b32"}),
    [](const testing::TestParamInfo<PlayCase>& info) { return std::string(info.param.name); });

TEST(ApplyMove, RefusesMovesOffTheBoardOrFromAnEmptySquare) {
  const TGameParams& p = VariantTable[kRussian];
  const TBoard start = Pos("w10 b14 b23");
  auto quiet = [](int from, int to) {
    TMove m;
    m.mv[0] = static_cast<uint8_t>(from);
    m.mv[1] = static_cast<uint8_t>(to);
    return m;
  };
  TMove offEnd = quiet(10, 33), noStart = quiet(0, 13), fromEmpty = quiet(11, 15);
  TMove tooLong = quiet(10, 14);
  tooLong.lt = 26;
  TMove badCapture;
  badCapture.lt = 2;
  badCapture.mv = {10, 14, 19, 23, 40};
  for (const TMove& m : {offEnd, noStart, fromEmpty, tooLong, badCapture}) {
    TBoard board = start;
    ApplyMove(m, board, p);
    EXPECT_EQ(board, start) << Text(m);
  }
  EXPECT_FALSE(IsMoveValid(offEnd, p));
  EXPECT_FALSE(IsMoveValid(noStart, p));
  EXPECT_TRUE(IsMoveValid(fromEmpty, p));  // well-formed, but no piece to move
  EXPECT_FALSE(IsMoveValid(tooLong, p));
  EXPECT_FALSE(IsMoveValid(badCapture, p));
  badCapture.mv[4] = 28;
  EXPECT_TRUE(IsMoveValid(badCapture, p));
}

// --- SameCapture ----------------------------------------------------------------

TMove Capture(std::initializer_list<int> squares) {
  TMove m;
  int i = 0;
  for (int s : squares) m.mv[i++] = static_cast<uint8_t>(s);
  m.lt = static_cast<uint8_t>(i / 2);
  return m;
}

TEST(SameCapture, ComparesStartDestinationAndCapturedSet) {
  const TMove ring1 = Capture({13, 17, 22, 27, 33, 28, 24, 18, 13});
  const TMove ring2 = Capture({13, 18, 24, 28, 33, 27, 22, 17, 13});
  TMove quiet1;
  quiet1.mv = {10, 14};
  TMove quiet2 = quiet1;
  TMove quiet3;
  quiet3.mv = {10, 13};
  const TMove shortCapture = Capture({10, 14, 19});
  TMove quietSameSquares;
  quietSameSquares.mv = {10, 19};
  struct Row {
    TMove a, b;
    bool same;
  };
  const Row rows[] = {
      {ring1, ring2, true},
      {ring1, Capture({13, 17, 22, 27, 33, 28, 24, 19, 13}), false},  // another piece
      {ring1, Capture({14, 17, 22, 27, 33, 28, 24, 18, 13}), false},  // another start
      {ring1, Capture({13, 17, 22, 27, 33, 28, 24, 18, 12}), false},  // another end
      {ring1, Capture({13, 17, 22, 27, 33, 28, 24}), false},          // shorter
      {quiet1, quiet2, true},
      {quiet1, quiet3, false},
      {shortCapture, quietSameSquares, false},
  };
  for (const Row& r : rows) {
    EXPECT_EQ(SameCapture(r.a, r.b), r.same) << Text(r.a) << " vs " << Text(r.b);
    EXPECT_EQ(SameCapture(r.b, r.a), r.same) << Text(r.b) << " vs " << Text(r.a);
  }
}

// --- Frisian three-move king rule ----------------------------------------------

bool HasMoveFrom(const TGameParams& p, const TBoard& board, int side, int square) {
  TMvs list;
  uint8_t count = 0;
  GenerateMoves(board, side, list, count, p, true);
  for (int i = 1; i <= count; ++i)
    if (list[i].mv[0] == square) return true;
  return false;
}

TEST(FrisianKing, RestsAfterThreeQuietMovesUnlessAlone) {
  const TGameParams& p = VariantTable[kFrisian];
  // Plays White's king 23-18-23-18 (the other side's moves do not matter).
  auto playKing = [&](TBoard& board) {
    int at = 23;
    for (int to : {18, 23, 18}) {
      TMvs list;
      uint8_t count = 0;
      GenerateMoves(board, 0, list, count, p, true);
      int found = 0;
      for (int i = 1; i <= count; ++i)
        if (list[i].mv[0] == at && list[i].mv[1] == to && list[i].lt == 0) found = i;
      ASSERT_NE(found, 0) << at << "-" << to;
      ApplyMove(list[found], board, p);
      at = to;
    }
  };
  for (const bool alone : {false, true}) {
    TBoard board = Pos(alone ? "W23" : "W23 w1");
    playKing(board);
    // Only a side that still has men counts its king's moves.
    EXPECT_EQ(board.nmpiece[0], alone ? 0 : 18);
    EXPECT_EQ(board.nmcount[0], alone ? 0 : 3);
    EXPECT_EQ(HasMoveFrom(p, board, 0, 18), alone) << (alone ? "alone" : "with a man");
  }

  // A man move in between starts the count again.
  TBoard board = Pos("W23 w1");
  playKing(board);
  TMvs list;
  uint8_t count = 0;
  GenerateMoves(board, 0, list, count, p, true);
  ASSERT_EQ(count, 1);
  ASSERT_EQ(Text(list[1]), "1-6");
  ApplyMove(list[1], board, p);
  EXPECT_EQ(board.nmpiece[0], 0);
  EXPECT_TRUE(HasMoveFrom(p, board, 0, 18));

  // Other variants leave the counters alone.
  TBoard russian = Pos("W14");
  TMvs rlist;
  GenerateMoves(russian, 0, rlist, count, VariantTable[kRussian], true);
  ApplyMove(rlist[1], russian, VariantTable[kRussian]);
  EXPECT_EQ(russian.nmpiece[0], 0);
  EXPECT_EQ(russian.nmcount[0], 0);
}

// --- Limits of the record and the list -------------------------------------------

// 16 x 8 orthogonal board, 128 squares: square = 16 * row + column.
int Sq(int row, int column) { return 16 * row + column; }

TEST(CaptureLimit, EndsASequenceAtTwentyFiveCaptures) {
  TGameParams p = Custom(16, 8, false);
  p.TakeMax = true;
  // A white man zig-zags along rows 0, 2, 4 and 6 and could take 31 pieces.
  TBoard board;
  board.b[Sq(0, 1)] = kWhiteMan;
  for (int c = 2; c <= 14; c += 2) {
    board.b[Sq(0, c)] = kBlackMan;
    board.b[Sq(2, c)] = kBlackMan;
    board.b[Sq(4, c)] = kBlackMan;
    board.b[Sq(6, c)] = kBlackMan;
  }
  board.b[Sq(1, 15)] = kBlackMan;
  board.b[Sq(3, 1)] = kBlackMan;
  board.b[Sq(5, 15)] = kBlackMan;
  TMvs list;
  uint8_t count = 0;
  GenerateMoves(board, 0, list, count, p, true);
  ASSERT_EQ(count, 1);
  const TMove& m = list[1];
  EXPECT_EQ(m.lt, kMaxCapturesPerMove);
  EXPECT_EQ(m.mv[49], Sq(6, 14));
  EXPECT_EQ(m.mv[50], Sq(6, 13));
  EXPECT_EQ(m.mv[51], 0);
  EXPECT_TRUE(IsMoveValid(m, p));
  ApplyMove(m, board, p);
  int black = 0;
  for (int s = 1; s <= 128; ++s) black += board.b[s] == kBlackMan;
  EXPECT_EQ(black, 31 - 25);
  EXPECT_EQ(board.b[Sq(6, 13)], kWhiteMan);
}

TEST(MoveListLimit, StopsAt255Moves) {
  TGameParams p = Custom(16, 8, false);
  p.FlyingKing = true;
  TBoard board;
  for (int row = 0; row < 8; ++row) {
    board.b[Sq(row, row + 1)] = kWhiteKing;
    board.b[Sq(row, row + 9)] = kWhiteKing;
  }
  // Every king slides along its row and column up to the next piece.
  int possible = 0;
  for (int row = 0; row < 8; ++row)
    for (int col = 1; col <= 16; ++col) {
      if (board.b[Sq(row, col)] != kWhiteKing) continue;
      for (const auto [dr, dc] : {std::pair{0, -1}, std::pair{0, 1}, std::pair{1, 0}, std::pair{-1, 0}})
        for (int r = row + dr, c = col + dc; r >= 0 && r < 8 && c >= 1 && c <= 16 && !board.b[Sq(r, c)];
             r += dr, c += dc)
          ++possible;
    }
  ASSERT_GT(possible, 255);
  TMvs list;
  uint8_t count = 0;
  GenerateMoves(board, 0, list, count, p, true);
  EXPECT_EQ(count, 255);
  for (int i = 1; i <= count; ++i) {
    EXPECT_TRUE(IsMoveValid(list[i], p));
    for (int j = 1; j < i; ++j) EXPECT_FALSE(SameCapture(list[i], list[j])) << i << " " << j;
  }
}

// --- Notation hints -------------------------------------------------------------

TEST(GenerateMoveList, SetsNotationHints) {
  // Russian: man c3 (10) and king c5 (18) both reach d4 (14) and b4 (13) from
  // file c, which the short style cannot tell apart.
  const TBoard board = Pos("w10 W18 b32");
  TMvs list;
  uint8_t count = 0;
  GenerateMoveList(board, 0, list, count, VariantTable[kRussian], true);
  auto flagsOf = [&](const std::string& move) {
    for (int i = 1; i <= count; ++i)
      if (Text(list[i]) == move) return static_cast<int>(list[i].flags);
    ADD_FAILURE() << move << " not listed";
    return -1;
  };
  EXPECT_EQ(flagsOf("10-14"), kFlagAmbiguousShort);
  EXPECT_EQ(flagsOf("18-14"), kFlagAmbiguousShort);
  EXPECT_EQ(flagsOf("18-22"), kFlagOnlyToSquare);

  // The same position in Thai, whose notation is numeric: never ambiguous.
  GenerateMoveList(board, 0, list, count, VariantTable[kThai], true);
  EXPECT_EQ(flagsOf("10-14"), 0);
  EXPECT_EQ(flagsOf("18-14"), 0);
  EXPECT_EQ(flagsOf("18-22"), kFlagOnlyToSquare);

  // A forced single move carries every uniqueness bit.
  GenerateMoveList(Pos("w10 b14 b23"), 0, list, count, VariantTable[kRussian], true);
  ASSERT_EQ(count, 1);
  EXPECT_EQ(list[1].flags, kFlagOnlyFromSquare | kFlagOnlyToSquare | kFlagOnlyMove);
}

// --- Invariants over random games ------------------------------------------------

struct Sample {
  const TGameParams* params;
  TBoard board;
  int side;
};

// Variants to sample: the fourteen, plus two custom boards with unusual rule
// mixes (removed-at-once captures with kings turning back on a checkered
// 12 x 10 board; an orthogonal 16 x 8 board with flying kings).
std::vector<TGameParams> SampleVariants() {
  std::vector<TGameParams> out(VariantTable.begin() + 1, VariantTable.end());
  TGameParams a = Custom(12, 10, true);
  a.MenTakeBackWards = a.FlyingKing = a.CrowningOnCapture = a.KingGoesBack = true;
  a.TakeMax = a.TakeKingsMax = a.ItalianCapture = true;
  a.FlyingKingStop = 2;
  out.push_back(a);
  TGameParams b = Custom(16, 8, false);
  b.FlyingKing = b.TakeMax = b.KingsTakeFirst = true;
  b.TurkishCapture = true;
  out.push_back(b);
  return out;
}

std::vector<Sample> PlayRandomGames(const std::vector<TGameParams>& variants, int games, int plies) {
  std::vector<Sample> out;
  std::mt19937 rng(20240611);
  for (const TGameParams& p : variants) {
    for (int g = 0; g < games; ++g) {
      TBoard board;
      board.b = StartPosition(p, false);
      int side = 0;
      for (int ply = 0; ply < plies; ++ply) {
        out.push_back({&p, board, side});
        TMvs list;
        uint8_t count = 0;
        GenerateMoves(board, side, list, count, p, true);
        if (count == 0) break;
        ApplyMove(list[1 + rng() % count], board, p);
        side = 1 - side;
      }
    }
  }
  return out;
}

TEST(GenerateMoves, ListedMovesAreWellFormedAndPlayCorrectly) {
  const std::vector<TGameParams> variants = SampleVariants();
  const std::vector<Sample> samples = PlayRandomGames(variants, 12, 160);
  int captures = 0, duplicates = 0;
  for (const Sample& s : samples) {
    const TGameParams& p = *s.params;
    const int own = s.side == 0 ? 1 : -1;
    TMvs deduped, kept;
    uint8_t nd = 0, nk = 0;
    GenerateMoves(s.board, s.side, deduped, nd, p, true);
    GenerateMoves(s.board, s.side, kept, nk, p, false);
    ASSERT_GE(nk, nd) << p.Name;
    duplicates += nk - nd;
    for (int i = 1; i <= nk; ++i) {
      const TMove& m = kept[i];
      SCOPED_TRACE(p.Name + " " + PosText(s.board) + " side " + std::to_string(s.side) + " move " + Text(m));
      ASSERT_TRUE(IsMoveValid(m, p));
      ASSERT_EQ(m.flags, 0);
      const int used = m.lt ? 2 * m.lt : 1;
      for (int k = used + 1; k < 52; ++k) ASSERT_EQ(m.mv[k], 0) << "byte " << k;
      ASSERT_EQ(s.board.b[m.mv[0]] * own > 0, true);
      // Every deduped-away move has an equal one in the deduped list.
      bool listed = false;
      for (int j = 1; j <= nd && !listed; ++j) listed = SameCapture(m, deduped[j]);
      ASSERT_TRUE(listed);
      // Captured squares are distinct opponent pieces, and exactly they vanish.
      int opponents = 0, mine = 0;
      for (int k = 1; k <= p.compute.BoardSize; ++k)
        (s.board.b[k] * own < 0 ? opponents : mine) += s.board.b[k] != 0;
      for (int c = 1; c <= m.lt; ++c) {
        ASSERT_LT(s.board.b[m.mv[2 * c - 1]] * own, 0);
        for (int d = 1; d < c; ++d) ASSERT_NE(m.mv[2 * c - 1], m.mv[2 * d - 1]);
      }
      captures += m.lt > 0;
      TBoard after = s.board;
      ApplyMove(m, after, p);
      int opponentsAfter = 0, mineAfter = 0;
      for (int k = 1; k <= p.compute.BoardSize; ++k)
        (after.b[k] * own < 0 ? opponentsAfter : mineAfter) += after.b[k] != 0;
      ASSERT_EQ(opponentsAfter, opponents - m.lt);
      ASSERT_EQ(mineAfter, mine);
      ASSERT_EQ(after.b[m.To()] * own > 0, true);
    }
    for (int i = 1; i <= nd; ++i)
      for (int j = 1; j < i; ++j) ASSERT_FALSE(SameCapture(deduped[i], deduped[j])) << p.Name;
  }
  // The games must reach captures and duplicate paths for the checks to bite.
  EXPECT_GT(captures, 1000);
  EXPECT_GT(duplicates, 0);
}

bool SameList(const TMvs& a, int na, const TMvs& b, int nb) {
  if (na != nb) return false;
  for (int i = 1; i <= na; ++i)
    if (a[i].lt != b[i].lt || a[i].mv != b[i].mv || a[i].flags != b[i].flags) return false;
  return true;
}

TEST(GenerateMoves, ThreadsGenerateIndependently) {
  const std::vector<TGameParams> variants = SampleVariants();
  const std::vector<Sample> samples = PlayRandomGames(variants, 2, 120);
  std::vector<TMvs> expected(samples.size());
  std::vector<uint8_t> counts(samples.size());
  for (size_t i = 0; i < samples.size(); ++i)
    GenerateMoveList(samples[i].board, samples[i].side, expected[i], counts[i], *samples[i].params, true);

  std::atomic<int> mismatches{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t)
    threads.emplace_back([&, t] {
      auto list = std::make_unique<TMvs>();
      for (int round = 0; round < 3; ++round)
        for (size_t k = 0; k < samples.size(); ++k) {
          const size_t i = (k * 7 + static_cast<size_t>(t) * 131) % samples.size();
          uint8_t count = 0;
          GenerateMoveList(samples[i].board, samples[i].side, *list, count, *samples[i].params, true);
          if (!SameList(*list, count, expected[i], counts[i])) mismatches.fetch_add(1);
        }
    });
  for (auto& th : threads) th.join();
  EXPECT_EQ(mismatches.load(), 0);
}

}  // namespace
}  // namespace quorlin
