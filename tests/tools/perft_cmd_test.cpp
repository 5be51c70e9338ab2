#include <gtest/gtest.h>

#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "test_support.h"

namespace quorlin {
namespace {

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

// Counts of the "perft d count seconds nps" lines, checking their form.
std::vector<unsigned long long> PerftCounts(const std::string& out) {
  static const std::regex line(R"(perft (\d+) (\d+) (\d+\.\d{3}) (\d+))");
  std::vector<unsigned long long> counts;
  for (const std::string& l : Lines(out)) {
    std::smatch m;
    if (!std::regex_match(l, m, line)) continue;
    EXPECT_EQ(std::stoi(m[1]), static_cast<int>(counts.size()) + 1) << l;
    counts.push_back(std::stoull(m[2]));
  }
  return counts;
}

TEST(QuorlinPerft, PrintsOneLinePerDepth) {
  std::string out;
  ASSERT_EQ(test::RunQuorlin("perft international 5", out), 0) << out;
  EXPECT_EQ(PerftCounts(out), (std::vector<unsigned long long>{9, 81, 658, 4265, 27117})) << out;
  EXPECT_EQ(Lines(out).size(), 5u) << out;
}

TEST(QuorlinPerft, KeepDuplicatesCountsEveryCapturePath) {
  std::string drop, keep;
  ASSERT_EQ(test::RunQuorlin("perft frisian 4", drop), 0) << drop;
  ASSERT_EQ(test::RunQuorlin("perft frisian 4 --keep-duplicates", keep), 0) << keep;
  EXPECT_EQ(PerftCounts(drop).back(), 3874u);
  EXPECT_EQ(PerftCounts(keep).back(), 3880u);
}

TEST(QuorlinPerft, DivideListsRootMovesInNotation) {
  std::string out;
  ASSERT_EQ(test::RunQuorlin("perft russian 3 --divide", out), 0) << out;
  const std::vector<std::string> lines = Lines(out);
  ASSERT_EQ(lines.size(), 7u + 3u) << out;
  EXPECT_EQ(lines[0], "a3-b4 47");
  EXPECT_EQ(lines[6], "g3-h4 48");
  unsigned long long sum = 0;
  for (int i = 0; i < 7; ++i) sum += std::stoull(lines[i].substr(lines[i].find(' ') + 1));
  EXPECT_EQ(sum, 302u);
  EXPECT_EQ(PerftCounts(out), (std::vector<unsigned long long>{7, 49, 302}));
}

TEST(QuorlinPerft, StartsFromAFen) {
  std::string out;
  ASSERT_EQ(test::RunQuorlin("perft russian 1 --divide --fen W:Wc3:Bd4,f6", out), 0) << out;
  EXPECT_EQ(Lines(out).front(), "c3:e5:g7 1") << out;
  // Black to move: the man on d4 must take c3.
  ASSERT_EQ(test::RunQuorlin("perft russian 2 --fen B:Wc3,h2:Bd4,f6", out), 0) << out;
  EXPECT_EQ(PerftCounts(out), (std::vector<unsigned long long>{1, 1})) << out;
}

TEST(QuorlinPerft, BadArgumentsExitWithStatusTwo) {
  struct Row {
    const char* args;
    const char* message;
  };
  const Row rows[] = {
      {"perft chess 3", "unknown variant \"chess\""},
      {"perft russian 0", "bad depth \"0\""},
      {"perft russian three", "bad depth \"three\""},
      {"perft russian", "expected a variant and a depth"},
      {"perft russian 3 --fen", "--fen needs a value"},
      {"perft russian 3 --fen hello", "bad FEN \"hello\""},
      {"perft russian 3 --fen W:Wz9:B1", "bad FEN \"W:Wz9:B1\""},
      {"perft russian 3 --fen W:Wc3:X1", "bad FEN"},
      {"perft international 3 --fen W:", "bad FEN \"W:\": column 3: no piece lists"},
      {"perft international 3 --fen B:", "bad FEN \"B:\": column 3: no piece lists"},
      {"perft international 3 --fen W::", "bad FEN \"W::\": column 3: empty piece list"},
      {"perft international 3 --fen W:W31,j10:B1", "files a b c d e f g h i k,"},
      {"perft international 3 --fen W:W31,31:B1", "listed twice"},
      {"perft international 3 --fen W:W3:B40", "White man cannot stand on 3"},
      {"perft russian 3 --fast", "unknown option \"--fast\""},
  };
  for (const Row& r : rows) {
    std::string out;
    EXPECT_EQ(test::RunQuorlin(r.args, out), 2) << r.args << "\n" << out;
    EXPECT_NE(out.find(r.message), std::string::npos) << r.args << "\n" << out;
    EXPECT_NE(out.find("usage: perft VARIANT DEPTH"), std::string::npos) << out;
  }
}

}  // namespace
}  // namespace quorlin
