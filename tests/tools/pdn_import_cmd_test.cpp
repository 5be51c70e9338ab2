#include <gtest/gtest.h>

#include "test_support.h"

namespace quorlin {
namespace {

// A file without GameType is read as International; English moves then stop at
// once, and the command tells the user how to read them as English.
TEST(QuorlinPdnImport, FileWithoutGameTypeNamesTheVariantOption) {
  const auto dir = test::FreshDir("pdn-import");
  test::WriteFile(dir / "english.pdn",
                  "[Event \"Club\"]\n[White \"A\"]\n[Black \"B\"]\n[Result \"1-0\"]\n\n"
                  "1. 11-15 23-19 2. 8-11 22-17 1-0\n");
  std::string out;
  const std::string pdn = (dir / "english.pdn").string();
  ASSERT_EQ(test::RunQuorlin("pdn import " + pdn + " " + (dir / "intl.abd").string(), out), 0) << out;
  EXPECT_NE(out.find("1 games stopped"), std::string::npos) << out;
  EXPECT_NE(out.find("--variant"), std::string::npos) << out;

  ASSERT_EQ(test::RunQuorlin("pdn import " + pdn + " " + (dir / "eng.abd").string() + " --variant english", out),
            0)
      << out;
  EXPECT_NE(out.find("1 games read whole, 0 games stopped"), std::string::npos) << out;
  EXPECT_EQ(out.find("--variant"), std::string::npos) << out;
}

}  // namespace
}  // namespace quorlin
