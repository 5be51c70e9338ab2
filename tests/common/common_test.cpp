#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "common/bits.h"
#include "common/bytes.h"
#include "common/text.h"

namespace quorlin {
namespace {

struct TTrimCase {
  std::string in, all, spaces;  // input, TrimView(in), TrimView(in, " ")
};

class Trimming : public testing::TestWithParam<TTrimCase> {};

TEST_P(Trimming, DropsOnlyTheEnds) {
  const TTrimCase& c = GetParam();
  EXPECT_EQ(TrimView(c.in), c.all);
  EXPECT_EQ(Trim(c.in), c.all);
  EXPECT_EQ(TrimView(c.in, " "), c.spaces);
  std::string s = c.in;
  TrimInPlace(s);
  EXPECT_EQ(s, c.all);
}

INSTANTIATE_TEST_SUITE_P(Cases, Trimming,
                         testing::Values(TTrimCase{"", "", ""}, TTrimCase{"   ", "", ""},
                                         TTrimCase{"a", "a", "a"}, TTrimCase{" a b ", "a b", "a b"},
                                         TTrimCase{"\t\r\n x\x01", "x", "\t\r\n x\x01"},
                                         TTrimCase{std::string("\0a\0", 3), "a", std::string("\0a\0", 3)},
                                         TTrimCase{"\xC3\xA9 ", "\xC3\xA9", "\xC3\xA9"}));

TEST(Trimming, RightOnlyAndCharacterSets) {
  EXPECT_EQ(TrimRightView("  name   ", " "), "  name");
  EXPECT_EQ(TrimRightView("    ", " "), "");
  EXPECT_EQ(TrimView("//host/ \t", "/ \t"), "host");
}

TEST(Splitting, KeepsEmptyPartsAndEndsLinesAtAnyBreak) {
  EXPECT_EQ(Split("a,,b,", ','), (std::vector<std::string>{"a", "", "b", ""}));
  EXPECT_EQ(Split("", ':'), (std::vector<std::string>{""}));
  EXPECT_EQ(SplitLines("a\r\nb\rc\n\nd\n"), (std::vector<std::string>{"a", "b", "c", "", "d"}));
  EXPECT_EQ(SplitLines(""), std::vector<std::string>{});
  EXPECT_EQ(SplitLines("\r\n"), (std::vector<std::string>{""}));
}

TEST(Utf, EncodesAndDecodesEveryLength) {
  for (char32_t cp : {U'a', U'\u00E9', U'\u20AC', U'\U0001F600', U'\U0010FFFF'}) {
    std::string s;
    AppendUtf8(s, cp);
    size_t i = 0;
    char32_t back = 0;
    ASSERT_TRUE(DecodeUtf8(s, i, back));
    EXPECT_EQ(back, cp);
    EXPECT_EQ(i, s.size());
    std::u16string u;
    AppendUtf16(u, cp);
    EXPECT_EQ(Utf16ToUtf8(u), s);
  }
}

TEST(Utf, RejectsMalformedUtf8OneByteAtATime) {
  // Overlong slash, a surrogate, above U+10FFFF, a cut sequence, a stray continuation byte.
  for (const std::string bad : {"\xC0\xAF", "\xED\xA0\x80", "\xF4\x90\x80\x80", "\xE2\x82", "\x80"}) {
    size_t i = 0;
    char32_t cp;
    EXPECT_FALSE(DecodeUtf8(bad, i, cp)) << bad;
    EXPECT_EQ(i, 1u);
  }
  std::string s;
  AppendUtf8(s, 0xD800);
  EXPECT_EQ(s, "\xEF\xBF\xBD");
  EXPECT_EQ(SanitizeUtf8("a\xC3\xA9\xC0\xAF\xE2\x82"), "a\xC3\xA9\uFFFD\uFFFD\uFFFD\uFFFD");
}

TEST(Utf, UnpairedSurrogatesBecomeTheReplacementCharacter) {
  EXPECT_EQ(Utf16ToUtf8(u"x\xD800y\xDC00"), "x\uFFFDy\uFFFD");
  EXPECT_EQ(Utf16ToUtf8(std::u16string(1, char16_t(0xD83D))), "\uFFFD");
}

TEST(Bytes, LittleEndianWhateverTheByteType) {
  std::array<uint8_t, 8> b{};
  PutLE64(b.data(), 0x0123456789ABCDEFULL);
  EXPECT_EQ(b, (std::array<uint8_t, 8>{0xEF, 0xCD, 0xAB, 0x89, 0x67, 0x45, 0x23, 0x01}));
  EXPECT_EQ(GetLE64(b.data()), 0x0123456789ABCDEFULL);
  EXPECT_EQ(GetLE32(b.data() + 4), 0x01234567u);
  EXPECT_EQ(GetLE16(b.data()), 0xCDEFu);
  char c[4];
  PutLE32(c, 0xFFFEFDFCu);
  EXPECT_EQ(GetLE32(c), 0xFFFEFDFCu);  // signed char buffers read the same
  PutLE16(c, 0x80FF);
  EXPECT_EQ(static_cast<unsigned char>(c[0]), 0xFFu);
  EXPECT_EQ(GetLE16(c), 0x80FFu);
}

TEST(Bits, CountsAgreeWithABitByBitCount) {
  uint64_t x = 0x9E3779B97F4A7C15ULL;
  for (int i = 0; i < 2000; ++i) {
    x ^= x << 13, x ^= x >> 7, x ^= x << 17;
    const uint64_t v = (i % 3 == 0) ? x & (x >> 11) : x;
    int slow = 0;
    for (uint64_t y = v; y; y >>= 1) slow += static_cast<int>(y & 1);
    ASSERT_EQ(PopCount(v), slow) << v;
    ASSERT_EQ(PopCountSwar(v), slow) << v;
  }
  static_assert(PopCount(0) == 0 && PopCount(~uint64_t{0}) == 64);
}

}  // namespace
}  // namespace quorlin
