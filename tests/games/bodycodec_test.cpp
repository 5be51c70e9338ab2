#include "games/bodycodec.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "games/gamerecord.h"

namespace quorlin {

void PrintTo(const TComment& c, std::ostream* os) {
  *os << "{\"" << c.CommentBef << "\", \"" << c.CommentAft << "\", \"" << c.CommentAdd << "\"}";
}

namespace {

using Bytes = std::vector<uint8_t>;

TMove Quiet(int from, int to) {
  TMove m;
  m.mv[0] = static_cast<uint8_t>(from);
  m.mv[1] = static_cast<uint8_t>(to);
  return m;
}

// A capture of `pieces` pieces with distinct made-up squares.
TMove Capture(int from, int pieces) {
  TMove m;
  m.mv[0] = static_cast<uint8_t>(from);
  m.lt = static_cast<uint8_t>(pieces);
  for (int i = 1; i <= 2 * pieces; ++i) m.mv[i] = static_cast<uint8_t>(from + i);
  return m;
}

TGame NewGame(int slot) {
  TGame g;
  ClearGame(g);
  g.Params = VariantTable[slot];
  g.Header.TypeOfGame = static_cast<uint8_t>(slot);
  g.StartBoard = StartPosition(g.Params, true);
  return g;
}

// A game with everything a body holds: a changed start position, root texts,
// variations, annotations, flags, long captures, a freed slot and a node whose
// parent is above 255.
TGame RichGame(int slot = kRussian) {
  TGame g = NewGame(slot);
  std::swap(g.StartBoard[9], g.StartBoard[13]);
  g.Comments[0] = {"a3>b4 ----", "Partie à Zürich — ½", "root extra"};
  int node = 0;
  std::vector<int> line;
  for (int i = 0; i < 300; ++i) {
    TMove m = Quiet(1 + i % 32, 1 + (i + 5) % 32);
    m.flags = static_cast<uint8_t>(i % 3 == 0 ? kFlagFullPath : i % 3 == 1 ? kFlagStruckOut : 0);
    line.push_back(node = AddMove(g, m, node));
  }
  // Annotations and texts on the main line.
  g.Moves[line[0]].comm = 0x12;  // "!!" and "+-"
  g.Comments[line[0]].CommentBef = "before ü";
  g.Comments[line[1]].CommentAft = "Привет, мир";  // outside Latin-1
  g.Comments[line[2]].CommentAdd = "extra 😀";      // outside the 16-bit range
  g.Moves[line[3]].comm = 0x70;                    // "~" only
  // Variations, one under a node above 255.
  const int v1 = AddMove(g, Capture(10, 3), line[0]);
  AddMove(g, Capture(12, 9), v1);
  const int v2 = AddMove(g, Capture(11, 25), line[299]);
  g.Comments[v2].CommentAft = std::string(300, 'z');
  const int gone = AddMove(g, Quiet(30, 26), line[5]);
  AddMove(g, Quiet(31, 27), line[5]);
  DeleteSubtree(g, gone);  // leaves a free slot below LastMove
  return g;
}

// Decodes into a fresh record that holds only the header, as a database read does.
bool Decode(const Bytes& body, const TGame& like, int version, TGame& out, std::string& error) {
  ClearGame(out);
  out.Header.TypeOfGame = like.Header.TypeOfGame;
  out.Header.LastMove = like.Header.LastMove;
  const bool ok = DecodeBody(body.data(), body.size(), out, version, error);
  out.Version = version == kBodyVersion38 ? kTreeLinked : kTreeParentOnly;
  return ok;
}

Bytes Encode(const TGame& g, int version) {
  Bytes body;
  std::string error;
  EXPECT_TRUE(EncodeBody(g, version, body, error)) << error;
  return body;
}

bool SameMove(const TMove& a, const TMove& b, bool withLinks) {
  return a.comm == b.comm && a.parent == b.parent && a.main == b.main && a.free == b.free &&
         a.flags == b.flags && a.lt == b.lt && a.mv == b.mv &&
         (!withLinks || (a.next == b.next && a.brother == b.brother));
}

std::vector<int> Children(const TGame& g, int node) {
  TChildList list;
  const int n = GetChildren(g, node, list);
  return std::vector<int>(list.begin(), list.begin() + n);
}

void ExpectCleared(const TGame& g) {
  EXPECT_EQ(g.Header.LastMove, 0);
  EXPECT_EQ(g.Header.TypeOfGame, 0);
  EXPECT_EQ(g.StartBoard, TBrd{});
  EXPECT_EQ(g.Moves[0].next, 0);
  EXPECT_EQ(g.Comments[0], TComment{});
  for (size_t i = 1; i < g.Moves.size(); ++i) ASSERT_TRUE(g.Moves[i].free) << i;
}

TEST(BodyCodec, SingleQuietMoveVersion38Bytes) {
  TGame g = NewGame(kRussian);
  TMove m = Quiet(9, 13);
  m.flags = kFlagOnlyFromSquare;
  AddMove(g, m, 0);
  const Bytes expected = {0,                            // usual start position omitted
                          0x18, 0, 1, 0, 0,    0, 0,    // root: short links, count 0
                          0x98, 0, 0, 0, 0x01, 9, 13};  // node 1: main, short links
  EXPECT_EQ(Encode(g, 38), expected);
  // Version 30: no root record; the root comment (empty) follows the start block.
  const Bytes expected30 = {0, 0, 0, 0x98, 0, 0x01, 9, 13};
  EXPECT_EQ(Encode(g, 30), expected30);
}

TEST(BodyCodec, RecordSizes) {
  struct Case {
    const char* name;
    TMove move;
    size_t nodeBytes;  // version 38 record of node 1
  };
  const Case cases[] = {
      {"quiet", Quiet(9, 13), 1 + 3 + 1 + 2},
      {"capture of 3", Capture(9, 3), 1 + 3 + 1 + 7},
      {"capture of 7", Capture(9, 7), 1 + 3 + 1 + 15},
      {"capture of 8 needs the count byte", Capture(9, 8), 1 + 3 + 1 + 1 + 17},
      {"capture of 9", Capture(9, 9), 1 + 3 + 1 + 1 + 19},
  };
  for (const Case& c : cases) {
    TGame g = NewGame(kRussian);
    AddMove(g, c.move, 0);
    EXPECT_EQ(Encode(g, 38).size(), 1 + 7 + c.nodeBytes) << c.name;
  }

  // Links of 300 take 4 bytes each, for all three links of the node.
  TGame g = NewGame(kRussian);
  int node = 0;
  for (int i = 0; i < 301; ++i) node = AddMove(g, Quiet(1 + i % 2, 3), node);
  const size_t before = Encode(g, 38).size();
  AddMove(g, Quiet(5, 9), node);  // node 302, parent 301
  EXPECT_EQ(Encode(g, 38).size() - before, 1 + 12 + 1 + 2u);
}

TEST(BodyCodec, StartPositionBlock) {
  struct Case {
    const char* name;
    int slot;
    bool standardLayout;
    bool custom;
    size_t blockBytes;
  };
  const Case cases[] = {
      {"Russian start", kRussian, true, false, 1},
      {"International start", kInternational, true, false, 1},
      {"Canadian start", kCanadian, true, false, 1},
      {"Turkish start", kTurkish, true, false, 1},
      {"Spantsiretti start", kSpantsiretti, true, false, 1},
      {"Thai start is always stored", kThai, false, false, 25},
      {"custom is always stored", kRussian, true, true, 44},
  };
  for (const Case& c : cases) {
    TGame g = NewGame(c.slot);
    g.StartBoard = StartPosition(g.Params, c.standardLayout);
    if (c.custom) g.Header.TypeOfGame = 0;
    const Bytes body = Encode(g, 38);
    EXPECT_EQ(body.size() - 7, c.blockBytes) << c.name;
    TGame back;
    std::string error;
    ASSERT_TRUE(Decode(body, g, 38, back, error)) << c.name << ": " << error;
    EXPECT_EQ(back.StartBoard, g.StartBoard) << c.name;
  }
}

TEST(BodyCodec, CustomBoardOf128SquaresRoundTrips) {
  TGame g = NewGame(kRussian);
  g.Header.TypeOfGame = 0;
  for (int s = 1; s <= kMaxSquares; ++s) g.StartBoard[s] = static_cast<int8_t>(s % 5 - 2);
  TGame back;
  std::string error;
  ASSERT_TRUE(Decode(Encode(g, 38), g, 38, back, error)) << error;
  EXPECT_EQ(back.StartBoard, g.StartBoard);
}

TEST(BodyCodec, Version38RoundTripKeepsEverything) {
  for (int slot : {kRussian, kInternational, kCanadian}) {
    const TGame g = RichGame(slot);
    TGame back;
    std::string error;
    ASSERT_TRUE(Decode(Encode(g, 38), g, 38, back, error)) << error;
    EXPECT_EQ(back.StartBoard, g.StartBoard);
    ASSERT_GE(back.Moves.size(), size_t(g.Header.LastMove) + 1);
    for (int j = 0; j <= g.Header.LastMove; ++j) {
      EXPECT_TRUE(SameMove(back.Moves[j], g.Moves[j], true)) << "node " << j;
      EXPECT_EQ(back.Comments[j], g.Comments[j]) << "node " << j;
    }
    std::string fault;
    EXPECT_TRUE(CheckGameTree(back, fault)) << fault;
  }
}

TEST(BodyCodec, Version30RoundTripKeepsTreeAndLatin1Texts) {
  const TGame g = RichGame();
  TGame back;
  std::string error;
  ASSERT_TRUE(Decode(Encode(g, 30), g, 30, back, error)) << error;
  EXPECT_EQ(back.StartBoard, g.StartBoard);
  EXPECT_EQ(back.Comments[0], (TComment{"", "Partie à Zürich ? ½", ""}));  // the dash has no Latin-1 form
  for (int j = 1; j <= g.Header.LastMove; ++j) {
    EXPECT_TRUE(SameMove(back.Moves[j], g.Moves[j], false)) << "node " << j;
    EXPECT_TRUE(back.Comments[j].CommentAdd.empty());
  }
  EXPECT_EQ(back.Comments[1].CommentBef, "before ü");
  EXPECT_EQ(back.Comments[2].CommentAft, "??????, ???");  // no Latin-1 form
  LinkTree(back);
  for (int j = 0; j <= g.Header.LastMove; ++j) {
    if (!g.Moves[j].free) {
      EXPECT_EQ(Children(back, j), Children(g, j)) << "node " << j;
    }
  }
}

TEST(BodyCodec, Version30KeepsTheMainLineAfterTheFirstChildWasDeleted) {
  TGame g = NewGame(kRussian);
  const int a = AddMove(g, Quiet(9, 13), 0);
  const int b = AddMove(g, Quiet(10, 14), 0);
  DeleteSubtree(g, a);
  const int c = AddMove(g, Quiet(11, 15), 0);  // reuses slot 1, below b
  ASSERT_LT(c, b);
  ASSERT_EQ(Children(g, 0), (std::vector<int>{b, c}));
  TGame back;
  std::string error;
  ASSERT_TRUE(Decode(Encode(g, 30), g, 30, back, error)) << error;
  EXPECT_EQ(Children(back, 0), (std::vector<int>{b, c}));
}

TEST(BodyCodec, Version38OfAParentOnlyTreeStoresItsLinks) {
  TGame g = NewGame(kRussian);
  g.Version = kTreeParentOnly;
  g.Moves.resize(4);
  g.Comments.resize(4);
  g.Moves[1] = Quiet(9, 13);
  g.Moves[2] = Quiet(10, 14);
  g.Moves[2].main = true;
  g.Moves[3] = Quiet(22, 18);
  g.Moves[3].parent = 2;
  g.Header.LastMove = 3;
  TGame back;
  std::string error;
  ASSERT_TRUE(Decode(Encode(g, 38), g, 38, back, error)) << error;
  EXPECT_EQ(Children(back, 0), (std::vector<int>{2, 1}));
  EXPECT_EQ(Children(back, 2), (std::vector<int>{3}));
  EXPECT_EQ(g.Version, kTreeParentOnly);  // the caller's game is not changed
}

TEST(BodyCodec, Version20HandBuiltBodies) {
  // Russian, usual start; node 1 quiet and main with a short parent; node 2 a
  // capture with annotation, a 2-byte parent and its count in its own byte.
  const Bytes body = {0,   0x98, 0, 9,    13,   0x20, 0x00, 0x02, 0,  2, 'h',
                      'i', 0,    1, 0xE9, 0x00, 0x01, 1,    22,   18, 15};
  TGame g;
  ClearGame(g);
  g.Header.TypeOfGame = kRussian;
  g.Header.LastMove = 2;
  std::string error;
  ASSERT_TRUE(DecodeBody(body.data(), body.size(), g, kBodyVersion20, error)) << error;
  EXPECT_EQ(g.StartBoard, StartPosition(VariantTable[kRussian], true));
  EXPECT_TRUE(g.Moves[1].main);
  EXPECT_EQ(g.Moves[1].parent, 0);
  EXPECT_EQ(g.Moves[1].mv[0], 9);
  EXPECT_EQ(g.Moves[1].mv[1], 13);
  EXPECT_EQ(g.Moves[1].flags, 0);
  EXPECT_EQ(g.Moves[2].comm, 2);
  EXPECT_EQ(g.Comments[2], (TComment{"hi", "é", ""}));
  EXPECT_EQ(g.Moves[2].parent, 1);
  EXPECT_EQ(g.Moves[2].lt, 1);
  EXPECT_EQ(g.Moves[2].mv[2], 15);
  EXPECT_EQ(g.Comments[0], TComment{});
  g.Version = kTreeParentOnly;
  EXPECT_EQ(MainLineLength(g), 2);
}

TEST(BodyCodec, Version20Boards) {
  // International: 17-byte board; 255 holds -2, -1 and an impossible third
  // value, which becomes an empty cell; square 51 is ignored.
  Bytes body = {1};
  for (int k = 0; k < 17; ++k) body.push_back(k == 0 ? 255 : k == 16 ? 3 + 5 * 3 + 25 * 4 : 62);
  TGame g;
  ClearGame(g);
  g.Header.TypeOfGame = kInternational;
  std::string error;
  ASSERT_TRUE(DecodeBody(body.data(), body.size(), g, kBodyVersion20, error)) << error;
  EXPECT_EQ(g.StartBoard[1], -2);
  EXPECT_EQ(g.StartBoard[2], -1);
  EXPECT_EQ(g.StartBoard[3], 0);
  EXPECT_EQ(g.StartBoard[4], 0);  // 62 = three empty cells
  EXPECT_EQ(g.StartBoard[49], 1);
  EXPECT_EQ(g.StartBoard[50], 1);
  EXPECT_EQ(g.StartBoard[51], 0);

  // Canadian: 24-byte board; a bad value empties the whole board, no error.
  body = {1};
  for (int k = 0; k < 24; ++k) body.push_back(k == 5 ? 200 : 63);
  ClearGame(g);
  g.Header.TypeOfGame = kCanadian;
  ASSERT_TRUE(DecodeBody(body.data(), body.size(), g, kBodyVersion20, error)) << error;
  EXPECT_EQ(g.StartBoard, TBrd{});

  // A board size without template gives an empty board.
  body = {0};
  ClearGame(g);
  g.Header.TypeOfGame = 0;
  ASSERT_TRUE(DecodeBody(body.data(), body.size(), g, kBodyVersion20, error)) << error;
  EXPECT_EQ(g.StartBoard, TBrd{});
}

TEST(BodyCodec, TruncatedBodiesFailAndClearTheGame) {
  const TGame g = RichGame();
  for (int version : {30, 38}) {
    const Bytes body = Encode(g, version);
    for (size_t len = 0; len < body.size(); ++len) {
      const Bytes cut(body.begin(), body.begin() + len);
      TGame back;
      std::string error;
      ASSERT_FALSE(Decode(cut, g, version, back, error)) << "version " << version << " length " << len;
      EXPECT_NE(error.find("byte"), std::string::npos) << error;
      if (len % 97 == 0) ExpectCleared(back);
    }
  }
}

// Hand-built version-38 bodies of a Russian game at the usual start.
struct Damaged {
  const char* name;
  int lastMove;
  Bytes body;
  const char* errorPart;  // part of the error text
};

TEST(BodyCodec, DamagedBodiesFail) {
  const Damaged cases[] = {
      {"first child outside the nodes",
       1,
       {0, 0x18, 0, 5, 0, 0, 0, 0, 0x98, 0, 0, 0, 0, 9, 13},
       "first child 5 is outside nodes 0..1"},
      {"negative parent",
       1,
       {0, 0x18, 0, 1, 0, 0, 0, 0, 0x88, 0xFF, 0xFF, 0xFF, 0xFF, 0, 0, 0, 0, 0, 0, 0, 0, 0, 9, 13},
       "parent -1"},
      {"parents form a cycle",
       2,
       {0, 0x18, 0, 0, 0, 0, 0, 0, 0x98, 2, 0, 0, 0, 9, 13, 0x98, 1, 0, 0, 0, 10, 14},
       "own ancestor"},
      {"child links form a cycle",
       2,
       {0, 0x18, 0, 0, 0, 0, 0, 0, 0x98, 0, 2, 0, 0, 9, 13, 0x98, 1, 1, 0, 0, 10, 14},
       "own ancestor"},
      {"a node linked to itself", 1, {0, 0x18, 0, 1, 0, 0, 0, 0, 0x98, 0, 0, 1, 0, 9, 13}, "itself"},
      {"a node linked twice",
       2,
       {0, 0x18, 0, 1, 0, 0, 0, 0, 0x98, 0, 2, 2, 0, 9, 13, 0x98, 1, 0, 0, 0, 10, 14},
       "more than one place"},
      {"root with a parent", 1, {0, 0x18, 1, 1, 0, 0, 0, 0, 0x98, 0, 0, 0, 0, 9, 13}, "root"},
      {"capture count above 25",
       1,
       {0, 0x18, 0, 1, 0, 0, 0, 0, 0x90, 0, 0, 0, 26, 0, 9, 13},
       "capture count 26"},
      {"packed board value above 124",
       0,
       {1, 125, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x18, 0, 0, 0, 0, 0, 0},
       "packed start position"},
      {"more nodes than the body can hold", 1000000000, {0, 0x18, 0, 0, 0, 0, 0, 0}, "nodes need"},
      {"negative LastMove", -1, {0, 0x18, 0, 0, 0, 0, 0, 0}, "LastMove"},
      {"text longer than the body", 0, {0, 0x38, 0, 0, 0xFF, 0xFF, 0, 0, 0, 0, 0, 0, 0}, "ends at byte"},
  };
  for (const Damaged& c : cases) {
    TGame g;
    ClearGame(g);
    g.Header.TypeOfGame = kRussian;
    g.Header.LastMove = c.lastMove;
    std::string error;
    EXPECT_FALSE(DecodeBody(c.body.data(), c.body.size(), g, kBodyVersion38, error)) << c.name;
    EXPECT_NE(error.find(c.errorPart), std::string::npos) << c.name << ": " << error;
    ExpectCleared(g);
  }
}

TEST(BodyCodec, ParentCycleInVersion30Fails) {
  const Bytes body = {0, 0, 0, 0x98, 2, 0, 9, 13, 0x98, 1, 0, 10, 14};
  TGame g;
  ClearGame(g);
  g.Header.TypeOfGame = kRussian;
  g.Header.LastMove = 2;
  std::string error;
  EXPECT_FALSE(DecodeBody(body.data(), body.size(), g, kBodyVersion30, error));
  EXPECT_NE(error.find("own ancestor"), std::string::npos) << error;
  EXPECT_NE(error.find("byte"), std::string::npos) << error;
}

TEST(BodyCodec, DecodeFreesNodesAboveLastMoveOfAReusedRecord) {
  TGame g = RichGame();
  const size_t size = g.Moves.size();
  TGame small = NewGame(kRussian);
  AddMove(small, Quiet(9, 13), 0);
  const Bytes body = Encode(small, 38);
  // Decode into the large record without clearing it, as a search scan does.
  g.Header.LastMove = 1;
  std::string error;
  ASSERT_TRUE(DecodeBody(body.data(), body.size(), g, kBodyVersion38, error)) << error;
  EXPECT_EQ(g.Moves.size(), size);  // not shortened
  for (size_t j = 2; j < size; ++j) ASSERT_TRUE(g.Moves[j].free) << j;
  EXPECT_TRUE(CheckGameTree(g, error)) << error;
}

TEST(BodyCodec, LongTextsAreRefusedBeforeAnythingIsWritten) {
  struct Case {
    const char* name;
    int version;
    std::string text;
    bool fits;
  };
  const std::string e = "é";
  std::string emoji;
  for (int i = 0; i < 32768; ++i) emoji += "😀";
  std::string latin;
  for (int i = 0; i < 65535; ++i) latin += e;
  const Case cases[] = {
      {"65535 characters", 38, std::string(65535, 'a'), true},
      {"65536 characters", 38, std::string(65536, 'a'), false},
      {"65536 characters, version 30", 30, std::string(65536, 'a'), false},
      {"65535 two-byte UTF-8 characters, version 30", 30, latin, true},
      {"32768 characters needing two UTF-16 units", 38, emoji, false},
  };
  for (const Case& c : cases) {
    TGame g = NewGame(kRussian);
    const int n = AddMove(g, Quiet(9, 13), 0);
    g.Comments[n].CommentAft = c.text;
    Bytes body = {1, 2, 3};
    std::string error;
    EXPECT_EQ(EncodeBody(g, c.version, body, error), c.fits) << c.name;
    if (c.fits) {
      TGame back;
      ASSERT_TRUE(Decode(body, g, c.version, back, error)) << error;
      EXPECT_EQ(back.Comments[n].CommentAft, c.text) << c.name;
    } else {
      EXPECT_TRUE(body.empty()) << c.name;
      EXPECT_NE(error.find("65535"), std::string::npos) << error;
      EXPECT_NE(error.find("node 1"), std::string::npos) << error;
    }
  }
}

TEST(BodyCodec, DamagedGamesInMemoryAreNotEncoded) {
  struct Case {
    const char* name;
    void (*damage)(TGame&);
  };
  const Case cases[] = {
      {"child link cycle", [](TGame& g) { g.Moves[2].next = 1; }},
      {"parent outside", [](TGame& g) { g.Moves[2].parent = 50; }},
      {"node in use above LastMove", [](TGame& g) { g.Header.LastMove = 1; }},
      {"capture of 26", [](TGame& g) { g.Moves[1].lt = 26; }},
      {"piece code 3 on the start board", [](TGame& g) { g.StartBoard[5] = 3; }},
      {"piece beyond square 72 of a built-in variant", [](TGame& g) { g.StartBoard[80] = 1; }},
  };
  for (const Case& c : cases) {
    TGame g = NewGame(kRussian);
    AddMove(g, Quiet(9, 13), AddMove(g, Quiet(22, 18), 0));
    c.damage(g);
    Bytes body;
    std::string error;
    EXPECT_FALSE(EncodeBody(g, 38, body, error)) << c.name;
    EXPECT_TRUE(body.empty());
    EXPECT_FALSE(error.empty());
  }
  TGame g = NewGame(kRussian);
  Bytes body;
  std::string error;
  EXPECT_FALSE(EncodeBody(g, 20, body, error));
}

TEST(BodyCodec, TextConversions) {
  struct Case {
    std::string utf8;
    std::u16string utf16;
    std::string latin1;
  };
  const Case cases[] = {
      {"abc", u"abc", "abc"}, {"é½", u"é½", "\xE9\xBD"}, {"Ж", u"Ж", "?"}, {"😀", u"\xD83D\xDE00", "?"},
      {"", u"", ""},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Utf8ToUtf16(c.utf8), c.utf16) << c.utf8;
    EXPECT_EQ(Utf16ToUtf8(c.utf16), c.utf8) << c.utf8;
    EXPECT_EQ(Utf8ToLatin1(c.utf8), c.latin1) << c.utf8;
  }
  EXPECT_EQ(Latin1ToUtf8("\xE9\xBD"), "é½");
  EXPECT_EQ(Utf8ToUtf16("\xE9t\xE9"), u"été");            // stray bytes read as Latin-1
  EXPECT_EQ(Utf16ToUtf8(u"a\xD800z"), "a\xEF\xBF\xBDz");  // unpaired surrogate
}

// Random byte changes of valid bodies: decoding never crashes, and whatever it
// accepts is a sound tree that can be stored again and reads back the same.
TEST(BodyCodec, FuzzedBodiesNeverBreakTheDecoder) {
  std::mt19937 rng(20240611);
  int accepted = 0;
  for (int version : {20, 30, 38}) {
    TGame g = RichGame();
    for (int j = 0; j < 60; ++j) g.Comments[j] = TComment{};  // keep the bodies short
    Bytes base = version == 20 ? Encode(g, 30) : Encode(g, version);
    for (int iteration = 0; iteration < 2000; ++iteration) {
      Bytes body = base;
      const int flips = 1 + static_cast<int>(rng() % 4);
      for (int f = 0; f < flips; ++f) body[rng() % body.size()] = static_cast<uint8_t>(rng());
      if (rng() % 8 == 0) body.resize(rng() % body.size());
      TGame back;
      ClearGame(back);
      back.Header.TypeOfGame = static_cast<uint8_t>(rng() % 4 == 0 ? rng() % 20 : unsigned{kRussian});
      back.Header.LastMove = rng() % 16 == 0 ? static_cast<int32_t>(rng() % 1000) : g.Header.LastMove;
      std::string error;
      if (!DecodeBody(body.data(), body.size(), back, version, error)) {
        ASSERT_FALSE(error.empty());
        ASSERT_EQ(back.Header.LastMove, 0);
        continue;
      }
      ++accepted;
      back.Version = version == 38 ? kTreeLinked : kTreeParentOnly;
      ASSERT_TRUE(CheckGameTree(back, error)) << error;
      const int again = version == 38 ? 38 : 30;
      Bytes stored;
      ASSERT_TRUE(EncodeBody(back, again, stored, error)) << error;
      TGame reread;
      ClearGame(reread);
      reread.Header.TypeOfGame = back.Header.TypeOfGame;
      reread.Header.LastMove = back.Header.LastMove;
      ASSERT_TRUE(DecodeBody(stored.data(), stored.size(), reread, again, error)) << error;
      ASSERT_EQ(reread.StartBoard, back.StartBoard);
      for (int j = again == 38 ? 0 : 1; j <= back.Header.LastMove; ++j) {
        ASSERT_TRUE(SameMove(reread.Moves[j], back.Moves[j], again == 38)) << j;
        ASSERT_EQ(reread.Comments[j], back.Comments[j]) << j;
      }
    }
  }
  EXPECT_GT(accepted, 0);
}

}  // namespace
}  // namespace quorlin
