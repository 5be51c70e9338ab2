// The play command: the play logic without a window, in a data folder of its
// own, with the timer's figures.
#include <gtest/gtest.h>

#include <regex>

#include "test_support.h"

namespace quorlin {
namespace {

TEST(PlayCommand, PlaysAgainstTheEngineAndReportsTheTimer) {
  std::string out;
  ASSERT_EQ(test::RunQuorlin("play Russian --plies 2 --threads 1", out), 0) << out;
  EXPECT_NE(out.find("variant Russian"), std::string::npos) << out;
  EXPECT_NE(out.find("result * after 2 plies"), std::string::npos) << out;
  EXPECT_TRUE(std::regex_search(out, std::regex("ticks [0-9]+, longest gap [0-9.]+ ms")));
  // The throwaway data folder is gone afterwards.
  std::smatch m;
  ASSERT_TRUE(std::regex_search(out, m, std::regex("data folder ([^\\n]+)")));
  EXPECT_FALSE(std::filesystem::exists(m[1].str()));
}

TEST(PlayCommand, RefusesWhatItDoesNotKnow) {
  std::string out;
  EXPECT_EQ(test::RunQuorlin("play --fast", out), 2);
  EXPECT_NE(out.find("unknown option \"--fast\""), std::string::npos) << out;
  EXPECT_EQ(test::RunQuorlin("play Checkers", out), 2);
  EXPECT_NE(out.find("unknown variant"), std::string::npos) << out;
}

}  // namespace
}  // namespace quorlin
