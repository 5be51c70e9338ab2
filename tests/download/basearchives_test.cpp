#include "download/basearchives.h"

#include <gtest/gtest.h>

namespace quorlin {
namespace {

TEST(BaseArchivesTest, UrlFromServerAndName) {
  EXPECT_EQ(BaseArchiveUrl("https://example.org", "Russian_bases"),
            "https://example.org/download/mobile/Russian_bases.zip");
  EXPECT_EQ(BaseArchiveUrl(" http://127.0.0.1:8080/base// ", "MTC"),
            "http://127.0.0.1:8080/base/download/mobile/MTC.zip");
}

TEST(BaseArchivesTest, KeptInTheTemporaryFolder) {
  EXPECT_EQ(BaseArchivePath("/tmp/", "_Graphics"), "/tmp/_Graphics.zip");
  EXPECT_EQ(BaseArchivePath("/tmp", "_Graphics"), "/tmp/_Graphics.zip");
}

}  // namespace
}  // namespace quorlin
