#include "games/gamerecord.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "rules/movegen.h"

namespace quorlin {
namespace {

TMove Quiet(int from, int to) {
  TMove m;
  m.mv[0] = static_cast<uint8_t>(from);
  m.mv[1] = static_cast<uint8_t>(to);
  return m;
}

// Capture from `from` over (captured, landing) pairs.
TMove Capture(int from, std::vector<std::pair<int, int>> steps) {
  TMove m;
  m.mv[0] = static_cast<uint8_t>(from);
  m.lt = static_cast<uint8_t>(steps.size());
  for (size_t i = 0; i < steps.size(); ++i) {
    m.mv[2 * i + 1] = static_cast<uint8_t>(steps[i].first);
    m.mv[2 * i + 2] = static_cast<uint8_t>(steps[i].second);
  }
  return m;
}

TGame NewGame(int slot = kRussian) {
  TGame g;
  ClearGame(g);
  g.Params = VariantTable[slot];
  g.Header.TypeOfGame = static_cast<uint8_t>(slot);
  g.StartBoard = StartPosition(g.Params, true);
  return g;
}

std::vector<int> Children(const TGame& g, int node) {
  TChildList list;
  const int n = GetChildren(g, node, list);
  return std::vector<int>(list.begin(), list.begin() + n);
}

// Every node of the tree in use is reachable and the two arrays agree.
void ExpectConsistent(const TGame& g) {
  ASSERT_EQ(g.Moves.size(), g.Comments.size());
  ASSERT_FALSE(g.Moves[0].free);
  int highest = 0;
  for (size_t i = 1; i < g.Moves.size(); ++i) {
    const TMove& m = g.Moves[i];
    if (m.free) {
      EXPECT_EQ(m.parent | m.next | m.brother | m.comm | m.flags, 0) << "free node " << i;
      EXPECT_EQ(g.Comments[i], TComment{}) << "free node " << i;
    } else {
      highest = static_cast<int>(i);
      const std::vector<int> siblings = Children(g, m.parent);
      EXPECT_NE(std::find(siblings.begin(), siblings.end(), static_cast<int>(i)), siblings.end())
          << "node " << i << " is not a child of its parent " << m.parent;
    }
  }
  EXPECT_GE(g.Header.LastMove, highest);
}

TEST(GameRecord, ClearGameEmptiesRecordButKeepsWhatItShould) {
  TGame g = NewGame(kInternational);
  g.Header.White = {7, 3, 2400, 5};
  g.Header.Black.NameIndex = 9;
  g.Header.Flags = 0xFF;
  g.Header.GameLength = 41;
  g.Header.Offset = 1000;
  g.Header.Length = 77;
  g.Header.Opening = 5;
  g.Header.Medals = 1;
  g.Header.Crc = 123;
  g.DBGameNo = 4;
  g.DBName = "x.abm";
  g.WhiteName = "A";
  g.Site = "S";
  g.CurBoard.nmpiece = {3, 4};
  g.IsRated = true;
  g.RatedPlayer = TDColor::black;
  g.Version = kTreeParentOnly;
  ASSERT_EQ(AddMove(g, Quiet(31, 36), 0), 1);
  g.Comments[1].CommentAft = "text";
  g.Comments[0].CommentAdd = "root";

  ClearGame(g);

  EXPECT_EQ(g.Header.White, (TPlayerRecord{7, 0, 0, 0}));  // the name index is recomputed on save
  EXPECT_EQ(g.Header.Black.NameIndex, 9);
  EXPECT_EQ(g.Header.Flags, 0);
  EXPECT_EQ(g.Header.Opening, 0);
  EXPECT_EQ(g.Header.Medals, 0);
  EXPECT_EQ(g.Header.Crc, 0u);
  EXPECT_EQ(g.Header.TypeOfGame, 0);
  EXPECT_EQ(g.Header.LastMove, 0);
  EXPECT_EQ(g.Header.GameLength, 41);
  EXPECT_EQ(g.Header.Offset, 1000);
  EXPECT_EQ(g.Header.Length, 77);
  EXPECT_EQ(g.Params.TypeOfGame, kInternational);
  EXPECT_EQ(g.DBGameNo, 0);
  EXPECT_TRUE(g.DBName.empty());
  EXPECT_TRUE(g.WhiteName.empty());
  EXPECT_TRUE(g.Site.empty());
  EXPECT_EQ(g.StartBoard, TBrd{});
  EXPECT_EQ(g.CurBoard.nmpiece[0] | g.CurBoard.nmpiece[1], 0);
  EXPECT_FALSE(g.IsRated);
  EXPECT_EQ(g.RatedPlayer, TDColor::white);
  EXPECT_EQ(g.Version, kTreeLinked);
  EXPECT_FALSE(g.Modified);
  ASSERT_GE(g.Moves.size(), 2u);  // the arrays keep their length
  EXPECT_FALSE(g.Moves[0].free);
  EXPECT_EQ(g.Moves[0].next, 0);
  for (size_t i = 1; i < g.Moves.size(); ++i) EXPECT_TRUE(g.Moves[i].free);
  for (const TComment& c : g.Comments) EXPECT_EQ(c, TComment{});
}

TEST(GameRecord, AddMoveBuildsOrderedSiblingsAndReturnsEqualChild) {
  TGame g = NewGame();
  const int a = AddMove(g, Quiet(9, 13), 0);
  const int b = AddMove(g, Quiet(10, 14), 0);
  const int c = AddMove(g, Quiet(11, 15), 0);
  const int a1 = AddMove(g, Quiet(22, 18), a);
  EXPECT_TRUE(g.Modified);

  EXPECT_EQ(Children(g, 0), (std::vector<int>{a, b, c}));
  EXPECT_EQ(Children(g, a), (std::vector<int>{a1}));
  EXPECT_EQ(g.Moves[0].next, a);
  EXPECT_EQ(g.Moves[a].brother, b);
  EXPECT_EQ(g.Moves[b].brother, c);
  EXPECT_EQ(g.Moves[c].brother, 0);
  EXPECT_TRUE(g.Moves[a].main);
  EXPECT_FALSE(g.Moves[b].main);
  EXPECT_FALSE(g.Moves[c].main);
  EXPECT_TRUE(g.Moves[a1].main);  // first child of its own parent
  EXPECT_EQ(g.Moves[a1].parent, a);
  EXPECT_EQ(g.Header.LastMove, 4);
  ExpectConsistent(g);

  // An equal move returns the existing child and changes nothing.
  g.Modified = false;
  const std::vector<TMove> before = g.Moves;
  EXPECT_EQ(AddMove(g, Quiet(10, 14), 0), b);
  EXPECT_FALSE(g.Modified);
  EXPECT_EQ(g.Header.LastMove, 4);
  EXPECT_EQ(g.Moves.size(), before.size());

  // Captures are equal whatever the order of the captured squares.
  const int x = AddMove(g, Capture(13, {{17, 22}, {26, 31}}), a1);
  EXPECT_EQ(AddMove(g, Capture(13, {{26, 22}, {17, 31}}), a1), x);
  EXPECT_NE(AddMove(g, Capture(13, {{17, 22}}), a1), x);  // different length
}

TEST(GameRecord, AddMoveKeepsCommAndFlagsOfTheMove) {
  TGame g = NewGame();
  TMove m = Quiet(9, 13);
  m.comm = 0x52;
  m.flags = kFlagFullPath | kFlagOnlyMove;
  m.next = 99;  // tree fields of the argument are ignored
  m.brother = 98;
  m.free = true;
  const int n = AddMove(g, m, 0);
  EXPECT_EQ(g.Moves[n].comm, 0x52);
  EXPECT_EQ(g.Moves[n].flags, kFlagFullPath | kFlagOnlyMove);
  EXPECT_EQ(g.Moves[n].next, 0);
  EXPECT_EQ(g.Moves[n].brother, 0);
  EXPECT_FALSE(g.Moves[n].free);
}

TEST(GameRecord, AddMoveRefusesBadParent) {
  TGame g = NewGame();
  const int a = AddMove(g, Quiet(9, 13), 0);
  EXPECT_EQ(AddMove(g, Quiet(22, 18), -1), 0);
  EXPECT_EQ(AddMove(g, Quiet(22, 18), static_cast<int>(g.Moves.size())), 0);
  DeleteSubtree(g, a);
  EXPECT_EQ(AddMove(g, Quiet(22, 18), a), 0);  // a free slot is no parent
  TMove tooLong = Quiet(9, 13);
  tooLong.lt = 26;
  EXPECT_EQ(AddMove(g, tooLong, 0), 0);
}

TEST(GameRecord, DeleteSubtreeRelinksFreesAndLowersLastMove) {
  TGame g = NewGame();
  const int a = AddMove(g, Quiet(9, 13), 0);
  const int b = AddMove(g, Quiet(10, 14), 0);
  const int a1 = AddMove(g, Quiet(22, 18), a);
  const int a2 = AddMove(g, Quiet(13, 17), a1);
  const int c = AddMove(g, Quiet(11, 15), 0);
  g.Comments[a2].CommentAft = "gone";
  g.Modified = false;

  DeleteSubtree(g, a);  // the first child: b takes its place
  EXPECT_TRUE(g.Modified);
  EXPECT_EQ(Children(g, 0), (std::vector<int>{b, c}));
  EXPECT_EQ(g.Moves[0].next, b);
  EXPECT_FALSE(g.Moves[b].main);  // set only at the next save
  for (int n : {a, a1, a2}) EXPECT_TRUE(g.Moves[n].free) << n;
  EXPECT_EQ(g.Header.LastMove, c);
  ExpectConsistent(g);

  DeleteSubtree(g, c);  // the last sibling and the highest node
  EXPECT_EQ(Children(g, 0), (std::vector<int>{b}));
  EXPECT_EQ(g.Moves[b].brother, 0);
  EXPECT_EQ(g.Header.LastMove, b);

  // Freed slots are reused, lowest first, before the arrays grow.
  const size_t size = g.Moves.size();
  EXPECT_EQ(AddMove(g, Quiet(21, 17), b), a);
  EXPECT_EQ(g.Moves.size(), size);
  ExpectConsistent(g);

  DeleteSubtree(g, b);
  EXPECT_EQ(Children(g, 0), std::vector<int>{});
  EXPECT_EQ(g.Header.LastMove, 0);
  DeleteSubtree(g, 0);   // the root stays
  DeleteSubtree(g, -1);  // nothing
  EXPECT_FALSE(g.Moves[0].free);
}

TEST(GameRecord, DeleteMiddleSiblingKeepsChainOrder) {
  TGame g = NewGame();
  const int a = AddMove(g, Quiet(9, 13), 0);
  const int b = AddMove(g, Quiet(10, 14), 0);
  const int c = AddMove(g, Quiet(11, 15), 0);
  DeleteSubtree(g, b);
  EXPECT_EQ(Children(g, 0), (std::vector<int>{a, c}));
  EXPECT_EQ(g.Moves[a].brother, c);
}

TEST(GameRecord, ParentOnlyChildrenPutTheMainChildFirstAndLinkTreeKeepsIt) {
  TGame g = NewGame();
  g.Version = kTreeParentOnly;
  g.Moves.resize(9);
  g.Comments.resize(9);
  for (int i = 1; i < 9; ++i) FreeNode(g, i);
  auto put = [&](int node, int parent, bool main) {
    g.Moves[node] = Quiet(node, node + 4);
    g.Moves[node].parent = parent;
    g.Moves[node].main = main;
  };
  put(3, 0, false);
  put(7, 0, true);
  put(5, 7, false);
  put(2, 7, false);
  put(8, 3, false);
  g.Header.LastMove = 8;

  EXPECT_EQ(Children(g, 0), (std::vector<int>{7, 3}));
  EXPECT_EQ(Children(g, 7), (std::vector<int>{2, 5}));  // no main: index order
  EXPECT_EQ(MainLineLength(g), 2);                      // 7, then 2

  LinkTree(g);
  EXPECT_EQ(g.Version, kTreeLinked);
  EXPECT_EQ(g.Moves[0].next, 7);
  EXPECT_EQ(g.Moves[7].brother, 3);
  EXPECT_EQ(g.Moves[3].brother, 0);
  EXPECT_EQ(g.Moves[7].next, 2);
  EXPECT_EQ(g.Moves[2].brother, 5);
  EXPECT_EQ(g.Moves[3].next, 8);
  EXPECT_EQ(Children(g, 0), (std::vector<int>{7, 3}));
  EXPECT_EQ(MainLineLength(g), 2);
  ExpectConsistent(g);
}

TEST(GameRecord, DeleteSubtreeInParentOnlyForm) {
  TGame g = NewGame();
  g.Version = kTreeParentOnly;
  const int a = AddMove(g, Quiet(9, 13), 0);
  const int b = AddMove(g, Quiet(10, 14), 0);
  const int a1 = AddMove(g, Quiet(22, 18), a);
  const int a2 = AddMove(g, Quiet(13, 17), a1);
  const int b1 = AddMove(g, Quiet(21, 17), b);
  DeleteSubtree(g, a);
  for (int n : {a, a1, a2}) EXPECT_TRUE(g.Moves[n].free) << n;
  EXPECT_EQ(Children(g, 0), std::vector<int>{b});
  EXPECT_EQ(Children(g, b), std::vector<int>{b1});
  EXPECT_EQ(g.Header.LastMove, b1);
  DeleteSubtree(g, b1);
  EXPECT_EQ(g.Header.LastMove, b);
}

TEST(GameRecord, LinkTreeIgnoresStaleLinksOfParentOnlyRecord) {
  TGame g = NewGame();
  g.Version = kTreeParentOnly;
  g.Moves.resize(3);
  g.Comments.resize(3);
  g.Moves[1] = Quiet(9, 13);
  g.Moves[2] = Quiet(22, 18);
  g.Moves[2].parent = 1;
  g.Moves[2].next = 1;  // left over from an earlier game in the same record
  g.Moves[1].brother = 2;
  g.Header.LastMove = 2;
  LinkTree(g);
  EXPECT_EQ(g.Moves[0].next, 1);
  EXPECT_EQ(g.Moves[1].next, 2);
  EXPECT_EQ(g.Moves[1].brother, 0);
  EXPECT_EQ(g.Moves[2].next, 0);
}

TEST(GameRecord, GetChildrenReportsAtMost255WithTheLastReplacingThe255th) {
  for (uint8_t form : {kTreeLinked, kTreeParentOnly}) {
    TGame g = NewGame();
    g.Version = form;
    std::vector<int> added;
    for (int i = 0; i < 300; ++i) {
      TMove m = Quiet(1 + i % 100, 1 + i / 100);
      added.push_back(AddMove(g, m, 0));
    }
    TChildList list;
    ASSERT_EQ(GetChildren(g, 0, list), 255) << int(form);
    EXPECT_EQ(list[0], added[0]);
    EXPECT_EQ(list[253], added[253]);
    EXPECT_EQ(list[254], added[299]);
  }
}

TEST(GameRecord, AddMoveStopsAtTheNodeLimit) {
  struct Case {
    int nodes;        // array length before the call
    bool lastIsFree;  // only the last slot free
    bool added;
  };
  for (const Case& c : {Case{64000, false, true}, Case{64001, false, false}, Case{64001, true, false},
                        Case{64002, true, false}}) {
    TGame g = NewGame();
    g.Moves.assign(c.nodes, Quiet(9, 13));
    g.Comments.assign(c.nodes, TComment{});
    g.Moves[0] = TMove{};
    if (c.lastIsFree) FreeNode(g, c.nodes - 1);
    g.Header.LastMove = c.lastIsFree ? c.nodes - 2 : c.nodes - 1;
    const int last = g.Header.LastMove;
    const int node = AddMove(g, Quiet(10, 14), 0);
    if (c.added) {
      EXPECT_EQ(node, c.nodes) << c.nodes;
      EXPECT_EQ(g.Moves.size(), size_t(c.nodes) + 1);
    } else {
      EXPECT_EQ(node, 0) << c.nodes;
      EXPECT_EQ(g.Moves.size(), size_t(c.nodes));
      EXPECT_EQ(g.Header.LastMove, last);
      EXPECT_EQ(g.Moves[0].next, 0);
    }
  }
}

TEST(GameRecord, LongLinesAreWalkedAndDeletedWithoutRecursion) {
  TGame g = NewGame();
  int node = 0;
  for (int i = 0; i < 60000; ++i) node = AddMove(g, Quiet(1 + i % 2, 3), node);
  ASSERT_NE(node, 0);
  EXPECT_EQ(MainLineLength(g), 60000);
  DeleteSubtree(g, g.Moves[0].next);
  EXPECT_EQ(MainLineLength(g), 0);
  EXPECT_EQ(g.Header.LastMove, 0);
}

TEST(GameRecord, MainLineLengthFollowsFirstChildren) {
  TGame g = NewGame();
  EXPECT_EQ(MainLineLength(g), 0);
  const int a = AddMove(g, Quiet(9, 13), 0);
  AddMove(g, Quiet(10, 14), 0);
  const int a1 = AddMove(g, Quiet(22, 18), a);
  AddMove(g, Quiet(13, 17), a1);
  const int v = AddMove(g, Quiet(21, 17), a);
  AddMove(g, Quiet(12, 16), v);
  AddMove(g, Quiet(16, 20), v);
  EXPECT_EQ(MainLineLength(g), 3);
}

TBrd RussianStartWith(std::vector<std::pair<int, int>> changes) {
  TBrd b = StartPosition(VariantTable[kRussian], true);
  for (auto [from, to] : changes) std::swap(b[from], b[to]);
  return b;
}

TEST(GameRecord, OpeningDesignationOfBallotPositions) {
  struct Case {
    const char* name;
    int slot;
    TBrd board;
    const char* expected;  // nullptr: nothing written
  };
  TBrd kinged = RussianStartWith({{9, 13}});
  kinged[1] = kWhiteKing;
  TBrd twoMoved = RussianStartWith({{9, 13}, {10, 14}});
  const Case cases[] = {
      {"white 9-13", kRussian, RussianStartWith({{9, 13}}), "a3>b4 ----"},
      {"black 22-18", kRussian, RussianStartWith({{22, 18}}), "---- d6>c5"},
      {"both", kRussian, RussianStartWith({{9, 13}, {22, 18}}), "a3>b4 d6>c5"},
      {"black has only ten men at home", kRussian, RussianStartWith({{9, 13}, {22, 18}, {23, 19}}), nullptr},
      {"standard start", kRussian, StartPosition(VariantTable[kRussian], true), nullptr},
      {"two white men moved", kRussian, twoMoved, nullptr},
      {"a king", kRussian, kinged, nullptr},
      {"not 32 squares", kInternational, StartPosition(VariantTable[kInternational], true), nullptr},
      {"Thai start", kThai, StartPosition(VariantTable[kThai], false), nullptr},
  };
  for (const Case& c : cases) {
    TGame g = NewGame(c.slot);
    g.StartBoard = c.board;
    g.Comments[0].CommentBef = "old";
    OpeningDesignation(g);
    EXPECT_EQ(g.Comments[0].CommentBef, c.expected ? c.expected : "old") << c.name;
  }
}

TEST(GameRecord, UpdateHeaderSummaryFlagsAndLength) {
  // Main line of 3 half-moves, one variation move.
  TGame g = NewGame();
  const int a = AddMove(g, Quiet(9, 13), 0);
  const int a1 = AddMove(g, Quiet(22, 18), a);
  AddMove(g, Quiet(13, 17), a1);
  AddMove(g, Quiet(10, 14), 0);
  g.Header.Flags = 0xFF;
  UpdateHeaderSummary(g, 38);
  EXPECT_EQ(g.Header.GameLength, 2);
  EXPECT_EQ(g.Header.Flags, kHeaderFlagDeleted | kHeaderFlagFewVariations);

  struct Case {
    const char* name;
    int commentedMoves;  // moves with a comment of `chars` characters
    int chars;
    int marks;  // moves with a nonzero comm
    uint8_t expected;
  };
  const Case cases[] = {
      {"none", 0, 0, 0, 0},
      {"three comments of 50 characters", 3, 50, 0, kHeaderFlagSomeComments},
      {"five items", 3, 10, 2, kHeaderFlagSomeComments},
      {"six items", 3, 10, 3, kHeaderFlagManyComments},
      {"301 characters in one comment", 1, 301, 0, kHeaderFlagManyComments},
      {"one mark", 0, 0, 1, kHeaderFlagSomeComments},
  };
  for (const Case& c : cases) {
    TGame h = NewGame();
    int node = 0;
    std::vector<int> line;
    for (int i = 0; i < 8; ++i) line.push_back(node = AddMove(h, Quiet(1 + i, 5 + i), node));
    for (int i = 0; i < c.commentedMoves; ++i) h.Comments[line[i]].CommentAft = std::string(c.chars, 'x');
    for (int i = 0; i < c.marks; ++i) h.Moves[line[7 - i]].comm = 2;
    h.Comments[line[0]].CommentAdd = std::string(500, 'y');  // not counted
    UpdateHeaderSummary(h, 38);
    EXPECT_EQ(h.Header.Flags, c.expected) << c.name;
    EXPECT_EQ(h.Header.GameLength, 4) << c.name;
  }
}

TEST(GameRecord, UpdateHeaderSummaryVariationsPerVersion) {
  // Moves added under the first move: the first continues the main line, each
  // further one is a variation (a node with a next sibling in the linked count,
  // a node not marked main in the parent-only count).
  const std::pair<int, uint8_t> cases[] = {{0, 0},
                                           {1, 0},
                                           {2, kHeaderFlagFewVariations},
                                           {6, kHeaderFlagFewVariations},
                                           {7, kHeaderFlagManyVariations}};
  for (auto [moves, expected] : cases) {
    TGame g = NewGame();
    const int a = AddMove(g, Quiet(9, 13), 0);
    for (int i = 0; i < moves; ++i) AddMove(g, Quiet(22 + i % 4, 17 + i), a);
    TGame g30 = g;
    UpdateHeaderSummary(g, 38);
    UpdateHeaderSummary(g30, 30);
    EXPECT_EQ(g.Header.Flags, expected) << moves;
    EXPECT_EQ(g30.Header.Flags, expected) << moves;
  }
}

TEST(GameRecord, UpdateHeaderSummaryStartPositionKindAndMainMarks) {
  struct Case {
    const char* name;
    int slot;
    std::vector<std::pair<int, int>> swaps;
    int removeSquare;  // a piece taken off, 0 = none
    uint8_t expected;
  };
  const Case cases[] = {
      {"usual start", kRussian, {}, 0, 0},
      {"full sets elsewhere", kRussian, {{9, 13}}, 0, kHeaderFlagStartFullSet},
      {"a piece missing", kRussian, {}, 1, kHeaderFlagStartOther},
      {"Thai start (8 men) against the 12-men layout", kThai, {}, -1, kHeaderFlagStartOther},
      {"international full sets elsewhere", kInternational, {{20, 25}}, 0, kHeaderFlagStartFullSet},
  };
  for (const Case& c : cases) {
    TGame g = NewGame(c.slot);
    g.StartBoard = c.removeSquare == -1 ? StartPosition(g.Params, false) : StartPosition(g.Params, true);
    for (auto [x, y] : c.swaps) std::swap(g.StartBoard[x], g.StartBoard[y]);
    if (c.removeSquare > 0) g.StartBoard[c.removeSquare] = 0;
    UpdateHeaderSummary(g, 38);
    EXPECT_EQ(g.Header.Flags & kHeaderFlagStartMask, c.expected) << c.name;
  }

  // A custom game never counts as "full sets elsewhere".
  TGame custom = NewGame();
  custom.Header.TypeOfGame = 0;
  custom.Params.TypeOfGame = 0;
  custom.Params.FEN.clear();
  std::swap(custom.StartBoard[9], custom.StartBoard[13]);
  UpdateHeaderSummary(custom, 38);
  EXPECT_EQ(custom.Header.Flags & kHeaderFlagStartMask, kHeaderFlagStartOther);

  // After the first child is deleted its sibling leads the main line and is marked.
  TGame g = NewGame();
  const int a = AddMove(g, Quiet(9, 13), 0);
  const int b = AddMove(g, Quiet(10, 14), 0);
  const int b1 = AddMove(g, Quiet(22, 18), b);
  DeleteSubtree(g, a);
  EXPECT_FALSE(g.Moves[b].main);
  UpdateHeaderSummary(g, 38);
  EXPECT_TRUE(g.Moves[b].main);
  EXPECT_TRUE(g.Moves[b1].main);
  EXPECT_EQ(g.Header.GameLength, 1);
}

TEST(GameRecord, GameLengthIsCappedAt999) {
  TGame g = NewGame();
  int node = 0;
  for (int i = 0; i < 2001; ++i) node = AddMove(g, Quiet(1, 2), node);
  UpdateHeaderSummary(g, 38);
  EXPECT_EQ(g.Header.GameLength, 999);
}

TEST(GameRecord, ResultTexts) {
  const char* expected[] = {"*", "2-0", "1-1", "0-2", "2-0t", "0-2t"};
  for (int r = 0; r < kResultCount; ++r) EXPECT_STREQ(ResultText(r), expected[r]);
  EXPECT_STREQ(ResultText(6), "*");
  EXPECT_STREQ(ResultText(-1), "*");
}

TEST(GameRecord, ReplayGameLineMatchesPlayingTheMoves) {
  TGame g = NewGame();
  TBoard board;
  board.b = g.StartBoard;
  int node = 0;
  std::vector<TBoard> after;
  for (int ply = 0; ply < 12; ++ply) {
    TMvs list;
    uint8_t count = 0;
    GenerateMoves(board, ply % 2, list, count, g.Params, true);
    ASSERT_GT(count, 0);
    const TMove& m = list[1 + ply % count];
    AddMove(g, list[1], node);  // a variation that is not followed
    node = AddMove(g, m, node);
    ApplyMove(m, board, g.Params);
    after.push_back(board);
  }
  TBoard replayed;
  ASSERT_TRUE(ReplayGameLine(g, node, replayed));
  EXPECT_EQ(replayed, after.back());
  ASSERT_TRUE(ReplayGameLine(g, 0, replayed));
  EXPECT_EQ(replayed.b, g.StartBoard);

  const int leaf = node;
  DeleteSubtree(g, leaf);
  EXPECT_FALSE(ReplayGameLine(g, leaf, replayed));
  EXPECT_FALSE(ReplayGameLine(g, -1, replayed));
  EXPECT_FALSE(ReplayGameLine(g, static_cast<int>(g.Moves.size()), replayed));
}

}  // namespace
}  // namespace quorlin
