// quorlin perft --bitboard / --bulk: counts with the 64-bit generator.
#include <gtest/gtest.h>

#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "test_support.h"

namespace quorlin {
namespace {

std::vector<unsigned long long> Counts(const std::string& out) {
  static const std::regex line(R"(perft (\d+) (\d+) (\d+\.\d{3}) (\d+))");
  std::vector<unsigned long long> counts;
  std::istringstream in(out);
  for (std::string l; std::getline(in, l);) {
    std::smatch m;
    if (std::regex_match(l, m, line)) counts.push_back(std::stoull(m[2]));
  }
  return counts;
}

TEST(QuorlinPerftBitboard, CountsLikeTheSquareListGenerator) {
  for (const char* variant : {"international", "russian", "turkish", "\"international killer\"", "thai"}) {
    std::string square, bit, bulk;
    ASSERT_EQ(test::RunQuorlin(std::string("perft ") + variant + " 5", square), 0) << square;
    ASSERT_EQ(test::RunQuorlin(std::string("perft ") + variant + " 5 --bitboard", bit), 0) << bit;
    ASSERT_EQ(test::RunQuorlin(std::string("perft ") + variant + " 5 --bitboard --bulk", bulk), 0) << bulk;
    EXPECT_EQ(Counts(square).size(), 5u) << variant;
    EXPECT_EQ(Counts(bit), Counts(square)) << variant;
    EXPECT_EQ(Counts(bulk), Counts(square)) << variant;
  }
  // Black to move from a FEN.
  std::string square, bit;
  ASSERT_EQ(test::RunQuorlin("perft russian 3 --fen B:Wc3,h2:Bd4,f6", square), 0) << square;
  ASSERT_EQ(test::RunQuorlin("perft russian 3 --fen B:Wc3,h2:Bd4,f6 --bitboard", bit), 0) << bit;
  EXPECT_EQ(Counts(bit), Counts(square));
}

TEST(QuorlinPerftBitboard, RefusesWhatTheBitboardCannotCount) {
  struct Row {
    const char* args;
    const char* message;
  };
  const Row rows[] = {
      {"perft frisian 3 --bitboard", "Frisian has no 64-bit generator"},
      {"perft canadian 3 --bitboard", "Canadian has no 64-bit generator"},
      {"perft russian 3 --bitboard --divide", "--divide needs the square-list generator"},
      {"perft russian 3 --bitboard --keep-duplicates", "--keep-duplicates needs the square-list generator"},
  };
  for (const Row& r : rows) {
    std::string out;
    EXPECT_EQ(test::RunQuorlin(r.args, out), 2) << r.args << "\n" << out;
    EXPECT_NE(out.find(r.message), std::string::npos) << out;
  }
}

}  // namespace
}  // namespace quorlin
