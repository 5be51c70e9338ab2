// Rules of an engine turn: the time divisor, the move number and the choice
// among book moves.
#include "app/engineturn.h"

#include <gtest/gtest.h>

#include "rules/variants.h"

namespace quorlin {
namespace {

TEST(EngineTurn, TimeDivisorFromTheStageOrTheVariant) {
  TEvalFunc ef;
  ef.Stages[0].MovesCntTot = 60;
  ef.Stages[0].MovesCntMin = 20;
  EXPECT_EQ(TimeDivisor(ef, 0, 10, kRussian), 50);
  EXPECT_EQ(TimeDivisor(ef, 0, 55, kRussian), 20);  // never below the minimum
  ef.Stages[0].MovesCntTot = 0;
  ef.Stages[0].MovesCntMin = 0;
  EXPECT_EQ(TimeDivisor(ef, 0, 10, kRussian), 15);
  EXPECT_EQ(TimeDivisor(ef, 0, 10, kEnglish), 30);
  EXPECT_EQ(TimeDivisor(ef, 0, 10, kItalian), 30);
  EXPECT_EQ(TimeDivisor(ef, 0, 10, kInternational), 40);
  EXPECT_EQ(TimeDivisor(ef, 0, 10, kTurkish), 40);
  EXPECT_EQ(TimeDivisor(ef, 0, 10, kThai), 15);
  ef.Stages[0].MovesCntTot = 266;  // 256 and more wrap like a byte
  EXPECT_EQ(TimeDivisor(ef, 0, 10, kRussian), 15);
}

TEST(EngineTurn, MoveNumberOfTheShownPosition) {
  TGame g;
  for (int i = 1; i <= 3; ++i) {
    TMove m;
    m.parent = i - 1;
    g.Moves.push_back(m);
    g.Comments.emplace_back();
  }
  g.CurMovPos = 0;
  EXPECT_EQ(MoveNumberOf(g), 0);
  g.CurMovPos = 1;
  EXPECT_EQ(MoveNumberOf(g), 1);
  g.CurMovPos = 3;
  EXPECT_EQ(MoveNumberOf(g), 2);
  g.Header.FirstMove = TDColor::black;
  EXPECT_EQ(MoveNumberOf(g), 2);
  g.Header.NumerationFrom = 10;
  EXPECT_EQ(MoveNumberOf(g), 7);
}

TOpenMoves Book(std::initializer_list<int> classes) {
  TOpenMoves m;
  for (int c : classes) m.openmoves[++m.Op_moves].col = static_cast<uint8_t>(c);
  return m;
}

TEST(EngineTurn, BookCandidatesByLevel) {
  struct Row {
    std::initializer_list<int> classes;
    int level0, level1, level2;
  } rows[] = {
      {{3, 3, 2, 1, 0}, 1, 2, 3}, {{2, 2, 1}, 1, 1, 2}, {{1, 0}, 0, 0, 0}, {{0, 0}, 0, 0, 0}, {{}, 0, 0, 0},
  };
  for (const Row& r : rows) {
    const TOpenMoves m = Book(r.classes);
    EXPECT_EQ(BookCandidateCount(m, 0), r.level0);
    EXPECT_EQ(BookCandidateCount(m, 1), r.level1);
    EXPECT_EQ(BookCandidateCount(m, 2), r.level2);
  }
}

}  // namespace
}  // namespace quorlin
