// The quorlin match command: pairs of games with colours swapped, openings
// from random plies or a database, the result rules, PDN output and errors.
#include <gtest/gtest.h>

#include <filesystem>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "games/database.h"
#include "games/gamerecord.h"
#include "rules/variants.h"
#include "test_support.h"

namespace quorlin {
namespace {

namespace fs = std::filesystem;

// Runs the command in `dir` so that relative paths are resolved there.
int RunIn(const fs::path& dir, const std::string& args, std::string& out) {
  const fs::path before = fs::current_path();
  fs::current_path(dir);
  const int rc = test::RunQuorlin(args, out);
  fs::current_path(before);
  return rc;
}

// A folder with a small material-only engine written by the test and a copy
// of the shipped Russian Analytic engine.
fs::path EngineFolder() {
  const fs::path dir = test::FreshDir("match");
  test::WriteFile(dir / "Greedy.eng",
                  "[Name \"Greedy\"]\r\n[Version \"40\"]\r\n[Stage \"0\"]\r\n[MinDraughts \"1\"]\r\n"
                  "[MaxDraughts \"24\"]\r\n[EvalFNC \"Greedy.evf\"]\r\n");
  test::WriteFile(dir / "Greedy.evf", "[ManValue \"100\"]\r\n[KingValue \"250\"]\r\n");
  const fs::path shipped = test::ProgramDir() / "EnginesTest" / "Russian";
  fs::copy_file(shipped / "Analytic.eng", dir / "Analytic.eng");
  fs::copy_file(shipped / "Analytics0.evf", dir / "Analytics0.evf");
  return dir;
}

struct PdnGame {
  std::string round, white, black, result, text;
};

std::vector<PdnGame> ReadPdn(const std::string& pdn) {
  std::vector<PdnGame> games;
  static const std::regex tag(R"re(^\[(\w+) "(.*)"\]$)re");
  std::istringstream in(pdn);
  bool inText = false;
  for (std::string line; std::getline(in, line);) {
    std::smatch m;
    if (std::regex_match(line, m, tag)) {
      if (inText || games.empty()) games.emplace_back();
      inText = false;
      if (m[1] == "Round") games.back().round = m[2];
      if (m[1] == "White") games.back().white = m[2];
      if (m[1] == "Black") games.back().black = m[2];
      if (m[1] == "Result") games.back().result = m[2];
    } else if (!line.empty() && !games.empty()) {
      inText = true;
      games.back().text += line + " ";
    }
  }
  return games;
}

// The first `plies` moves after the opening comment.
std::string OpeningMoves(const std::string& text, int plies) {
  std::istringstream in(text.substr(text.find('}') + 1));
  std::string out, token;
  while (plies > 0 && in >> token) {
    if (token.back() == '.') continue;  // move number
    out += token + " ";
    --plies;
  }
  return out;
}

bool Has(const std::string& out, const std::string& what) { return out.find(what) != std::string::npos; }

TEST(QuorlinMatch, PlaysEachOpeningTwiceWithColoursSwapped) {
  const fs::path dir = EngineFolder();
  std::string out;
  // 12 engine plies cannot finish a Russian game: every game reaches the cap.
  const std::string args =
      "match russian Analytic.eng ./Greedy.eng --games 4 --time-per-move 10 --max-plies 12";
  ASSERT_EQ(RunIn(dir, args + " --seed 7 --pdn-out games.pdn", out), 0) << out;
  EXPECT_TRUE(Has(out, "openings: 2, each 4 random plies from the start position (seed 7)")) << out;
  EXPECT_TRUE(Has(out, "game 1/4: Analytic - Greedy  1-1 (capped)")) << out;
  EXPECT_TRUE(Has(out, "game 2/4: Greedy - Analytic  1-1 (capped)")) << out;
  EXPECT_TRUE(Has(out, "game 3/4: Analytic - Greedy")) << out;
  EXPECT_TRUE(Has(out, "game 4/4: Greedy - Analytic")) << out;
  EXPECT_TRUE(Has(out, "score: Analytic 2.0 - 2.0 Greedy (4 games: +0 =4 -0)")) << out;
  EXPECT_TRUE(Has(out, "Elo difference: +0.0")) << out;
  EXPECT_TRUE(Has(out, "ply cap 4 (scored as draws)")) << out;

  const std::vector<PdnGame> games = ReadPdn(test::ReadFile(dir / "games.pdn"));
  ASSERT_EQ(games.size(), 4u);
  for (size_t i = 0; i < games.size(); ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(games[i].round, std::to_string(i + 1));
    EXPECT_EQ(games[i].white, i % 2 ? "Greedy" : "Analytic");
    EXPECT_EQ(games[i].black, i % 2 ? "Analytic" : "Greedy");
    EXPECT_EQ(games[i].result, "*");  // stopped, not decided
    EXPECT_TRUE(Has(games[i].text, "Stopped after 12 engine plies; scored as a draw")) << games[i].text;
  }
  // Both games of a pair start with the same opening; the pairs differ.
  const std::string first = OpeningMoves(games[0].text, 4), second = OpeningMoves(games[2].text, 4);
  EXPECT_EQ(OpeningMoves(games[1].text, 4), first);
  EXPECT_EQ(OpeningMoves(games[3].text, 4), second);
  EXPECT_NE(first, second);

  // The seed decides the openings.
  ASSERT_EQ(RunIn(dir, args + " --seed 7 --pdn-out again.pdn", out), 0) << out;
  const std::vector<PdnGame> again = ReadPdn(test::ReadFile(dir / "again.pdn"));
  ASSERT_EQ(again.size(), 4u);
  EXPECT_EQ(OpeningMoves(again[0].text, 4), first);
  EXPECT_EQ(OpeningMoves(again[2].text, 4), second);
  ASSERT_EQ(RunIn(dir, args + " --seed 8 --pdn-out other.pdn", out), 0) << out;
  const std::vector<PdnGame> other = ReadPdn(test::ReadFile(dir / "other.pdn"));
  ASSERT_EQ(other.size(), 4u);
  EXPECT_FALSE(OpeningMoves(other[0].text, 4) == first && OpeningMoves(other[2].text, 4) == second);
}

TEST(QuorlinMatch, ShippedEnginesAreFoundByName) {
  const fs::path dir = test::FreshDir("match-names");
  std::string out;
  ASSERT_EQ(
      RunIn(dir, "match russian Analytic.eng Material.eng --games 1 --time-per-move 10 --max-plies 2", out),
      0)
      << out;
  EXPECT_TRUE(Has(out, (fs::path("EnginesTest") / "Russian" / "Material.eng").string())) << out;
  EXPECT_TRUE(Has(out, "game 1/1: Analytic - Material")) << out;
  // The same engine twice gets two labels.
  ASSERT_EQ(
      RunIn(dir, "match russian Analytic.eng Analytic.eng --games 1 --time-per-move 10 --max-plies 2", out),
      0)
      << out;
  EXPECT_TRUE(Has(out, "game 1/1: Analytic (1) - Analytic (2)")) << out;
}

// A game of the openings database.
TGame Opening(int variant, std::initializer_list<std::pair<int, int8_t>> pieces, bool standardStart = false) {
  TGame g;
  ClearGame(g);
  g.Params = VariantTable[variant];
  g.Header.TypeOfGame = static_cast<uint8_t>(variant);
  if (standardStart) {
    g.StartBoard = StartPosition(g.Params, true);
  } else {
    g.StartBoard = TBrd{};
    for (auto [square, piece] : pieces) g.StartBoard[square] = piece;
  }
  return g;
}

TMove Quiet(int from, int to) {
  TMove m;
  m.mv[0] = static_cast<uint8_t>(from);
  m.mv[1] = static_cast<uint8_t>(to);
  return m;
}

TEST(QuorlinMatch, OpeningsFromADatabaseEndByTheResultRules) {
  const fs::path dir = EngineFolder();
  const TGameParams& ru = VariantTable[kRussian];
  auto sq = [&](int row, int col) { return SquareAt(ru, row, col); };
  TQuorlinDB db;
  ASSERT_TRUE(CreateDatabase((dir / "openings.abd").string(), db)) << db.LastError;
  std::vector<TGame> games;
  games.push_back(Opening(kEnglish, {}, true));  // another variant
  games.push_back(Opening(kRussian, {}, true));
  AddMove(games.back(), Quiet(sq(0, 1), sq(4, 5)), 0);          // not a legal move
  games.push_back(Opening(kRussian, {{sq(5, 2), kBlackMan}}));  // White has nothing left to move
  // White must take the last black man: a win in one move for whoever is White.
  games.push_back(Opening(kRussian, {{sq(2, 3), kWhiteKing}, {sq(3, 4), kBlackMan}}));
  // A king each: drawn by repetition or by the move-count rule.
  games.push_back(Opening(kRussian, {{sq(0, 1), kWhiteKing}, {sq(7, 2), kBlackKing}}));
  for (TGame& g : games) ASSERT_TRUE(WriteGame(g, 0, db, false)) << db.LastError;
  ASSERT_TRUE(CloseDatabase(db));

  std::string out;
  ASSERT_EQ(
      RunIn(dir,
            "match russian Analytic.eng Greedy.eng --openings openings.abd --games 4 --time-per-move 10 "
            "--pdn-out out.pdn",
            out),
      0)
      << out;
  EXPECT_TRUE(Has(out, "warning: openings game 2: move 1 is not legal; game skipped")) << out;
  EXPECT_TRUE(Has(out, "warning: openings game 3: the side to move has no move at its end; game skipped"))
      << out;
  EXPECT_TRUE(Has(out, "openings: 2 Russian games from openings.abd (1 of other variants skipped)")) << out;
  EXPECT_TRUE(Has(out, "score: Analytic 2.0 - 2.0 Greedy")) << out;
  EXPECT_TRUE(Has(out, "White won 2, Black won 0, draws 2")) << out;
  EXPECT_TRUE(Has(out, "ended by: no legal move 2,")) << out;
  EXPECT_TRUE(Has(out, "ply cap 0")) << out;
  const std::vector<PdnGame> pdn = ReadPdn(test::ReadFile(dir / "out.pdn"));
  ASSERT_EQ(pdn.size(), 4u);
  int wins = 0, draws = 0;
  for (const PdnGame& g : pdn) {
    wins += g.result == "1-0";
    draws += g.result == "1/2-1/2";
    if (g.result == "1/2-1/2") {
      EXPECT_TRUE(Has(g.text, "Draw by ")) << g.text;
    }
  }
  EXPECT_EQ(wins, 2);
  EXPECT_EQ(draws, 2);
}

TEST(QuorlinMatch, ErrorsAreReported) {
  const fs::path dir = EngineFolder();
  test::WriteFile(dir / "Loser.eng",
                  "[Name \"Loser\"]\r\n[Version \"40\"]\r\n[GiveAway \"True\"]\r\n"
                  "[EvalFNC \"Greedy.evf\"]\r\n");
  struct Case {
    std::string args;
    int status;
    const char* message;
  };
  const Case cases[] = {
      {"match russian Analytic.eng None.eng", 1, "engine description \"None.eng\" not found"},
      {"match russian Analytic.eng", 2, "expected a variant and two engine descriptions"},
      {"match russian Analytic.eng Greedy.eng --speed 3", 2, "unknown option \"--speed\""},
      {"match russian Analytic.eng Greedy.eng --openings x.abd --random-plies 2", 2, "not both"},
      {"match russian Analytic.eng Greedy.eng --time-per-move 5", 2, "at least 10 ms"},
      {"match russian Analytic.eng Greedy.eng --games 0", 2, "--games"},
      {"match russian Analytic.eng Loser.eng", 1, "different goals"},
      {"match frisian Analytic.eng Greedy.eng", 1, "Frisian"},
      {"match russian Analytic.eng Greedy.eng --openings none.abd", 1, "cannot open the openings database"},
      {"match russian Analytic.eng Greedy.eng --pdn-out no/such/folder/x.pdn", 1, "cannot write"},
  };
  for (const Case& c : cases) {
    std::string out;
    EXPECT_EQ(RunIn(dir, c.args, out), c.status) << c.args << "\n" << out;
    EXPECT_TRUE(Has(out, c.message)) << c.args << "\n" << out;
  }
}

}  // namespace
}  // namespace quorlin
