#include <gtest/gtest.h>

#include "test_support.h"

namespace quorlin {
namespace {

TEST(QuorlinVariants, ListsAllFourteen) {
  std::string out;
  ASSERT_EQ(test::RunQuorlin("variants", out), 0) << out;
  for (const char* name : {"Russian", "English", "Brazilian", "Pool", "Italian", "International", "Czech",
                           "Spanish", "Frisian", "Spantsiretti", "Canadian", "Thai", "Turkish",
                           "International Killer"})
    EXPECT_NE(out.find(name), std::string::npos) << name;
  EXPECT_NE(out.find("10x10/50"), std::string::npos);
}

TEST(QuorlinStart, DrawsTheStartPositionByNameOrSlot) {
  std::string byName, bySlot;
  ASSERT_EQ(test::RunQuorlin("start turkish", byName), 0) << byName;
  ASSERT_EQ(test::RunQuorlin("start 13", bySlot), 0);
  EXPECT_EQ(byName, bySlot);
  EXPECT_NE(byName.find("  2  w w w w w w w w"), std::string::npos) << byName;
}

TEST(QuorlinErrors, WrongArgumentsExitWithStatusTwo) {
  std::string out;
  EXPECT_EQ(test::RunQuorlin("start chess", out), 2);
  EXPECT_NE(out.find("unknown variant \"chess\""), std::string::npos) << out;
  EXPECT_NE(out.find("usage:"), std::string::npos);
  EXPECT_EQ(test::RunQuorlin("start", out), 2);
  EXPECT_EQ(test::RunQuorlin("nosuchcommand", out), 2);
  EXPECT_EQ(test::RunQuorlin("variants extra", out), 2);
}

}  // namespace
}  // namespace quorlin
