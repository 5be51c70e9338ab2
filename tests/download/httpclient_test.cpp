#include "download/httpclient.h"

#include <gtest/gtest.h>

#include "download/downloadthread.h"

namespace quorlin {
namespace {

struct RangeAnswerCase {
  const char* Label;
  long Status;
  const char* ContentRange;  // nullptr: no such header
  bool Usable;
};

// The answer to "bytes=100-199" of a 1000-byte file.
class RangeAnswerTest : public testing::TestWithParam<RangeAnswerCase> {};

TEST_P(RangeAnswerTest, OnlyTheRangeAskedForIsUsable) {
  const RangeAnswerCase& c = GetParam();
  const auto header = c.ContentRange ? std::optional<std::string>(c.ContentRange) : std::nullopt;
  const std::string why = CheckRangeAnswer(c.Status, header, 100, 199, 1000);
  EXPECT_EQ(why.empty(), c.Usable) << why;
  if (!c.Usable) EXPECT_NE(why.find("bytes 100-199/1000"), std::string::npos) << why;
}

INSTANTIATE_TEST_SUITE_P(Answers, RangeAnswerTest,
                         testing::Values(RangeAnswerCase{"exact", 206, "bytes 100-199/1000", true},
                                         RangeAnswerCase{"unit_in_capitals", 206, "Bytes 100-199/1000", true},
                                         RangeAnswerCase{"whole_file_instead", 200, nullptr, false},
                                         RangeAnswerCase{"not_found", 404, nullptr, false},
                                         RangeAnswerCase{"no_content_range", 206, nullptr, false},
                                         RangeAnswerCase{"other_start", 206, "bytes 101-199/1000", false},
                                         RangeAnswerCase{"shorter", 206, "bytes 100-150/1000", false},
                                         RangeAnswerCase{"other_total", 206, "bytes 100-199/2000", false},
                                         RangeAnswerCase{"unknown_total", 206, "bytes 100-199/*", false},
                                         RangeAnswerCase{"garbage", 206, "bytes 100-199/1000x", false},
                                         RangeAnswerCase{"unsatisfiable", 416, "bytes */1000", false}),
                         [](const auto& info) { return std::string(info.param.Label); });

TEST(ContentRangeTest, ParsesAndRejects) {
  const auto r = ParseContentRange(" bytes 0-0/1 ");
  ASSERT_TRUE(r);
  EXPECT_EQ(r->First, 0);
  EXPECT_EQ(r->Last, 0);
  EXPECT_EQ(r->Total, 1);
  EXPECT_EQ(ParseContentRange("bytes 5-9/*")->Total, -1);
  EXPECT_FALSE(ParseContentRange("bytes 9-5/10"));   // end before start
  EXPECT_FALSE(ParseContentRange("bytes 5-10/10"));  // beyond the end
  EXPECT_FALSE(ParseContentRange("items 0-1/2"));
  EXPECT_FALSE(ParseContentRange("bytes -1-5/10"));
}

TEST(WholeAnswerTest, OnlyOk) {
  EXPECT_TRUE(CheckWholeAnswer(200).empty());
  EXPECT_NE(CheckWholeAnswer(206).find("206"), std::string::npos);
  EXPECT_NE(CheckWholeAnswer(404).find("404"), std::string::npos);
}

TEST(ResponseHeadersTest, ARedirectStartsOver) {
  TResponseHeaders h;
  h.Feed("HTTP/1.1 302 Found\r\n");
  h.Feed("Location: http://elsewhere/\r\n");
  h.Feed("Content-Range: bytes 0-1/2\r\n");
  h.Feed("\r\n");
  h.Feed("HTTP/1.1 206 Partial Content\r\n");
  h.Feed("content-range:   bytes 0-9/10  \r\n");
  h.Feed("\r\n");
  EXPECT_EQ(h.Get("Content-Range"), "bytes 0-9/10");
  EXPECT_FALSE(h.Get("Location"));
}

TEST(SpeedTest, NoTimeNoSpeed) {
  EXPECT_EQ(BytesPerSecond(1000, 0), 0);
  EXPECT_EQ(BytesPerSecond(0, 0), 0);
  EXPECT_EQ(BytesPerSecond(1000, -5), 0);
  EXPECT_EQ(BytesPerSecond(5000, 2000), 2500);
  EXPECT_EQ(BytesPerSecond(int64_t{1} << 40, 1), (int64_t{1} << 40) * 1000);
}

}  // namespace
}  // namespace quorlin
