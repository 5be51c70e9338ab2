// Reading and writing .evf weights files.
#include "engine/evalfile.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cstdio>
#include <locale>

#include "engine/textfile.h"
#include "test_support.h"

namespace quorlin {
namespace {

std::string Lines(std::initializer_list<const char*> lines) {
  std::string s;
  for (const char* l : lines) s += std::string(l) + "\r\n";
  return s;
}

TEvalFuncStatic Load(const std::string& text, int variant = kRussian) {
  const auto path = test::FreshDir("evf") / "w.evf";
  test::WriteFile(path, text);
  TEvalFuncStatic f;
  EXPECT_TRUE(LoadEvf(path, f, variant));
  return f;
}

TEvalFuncStatic SampleWeights(uint8_t version) {
  TEvalFuncStatic f;
  f.Version = version;
  f.ManValue = 100;
  f.KingValue = 325;
  f.SideBalanceMain = 3;
  f.SideBalanceExt = -2;
  f.QuantityBonus = 4;
  f.QuantityType = 3;
  f.QuantityMul = 0.1f;
  f.Compress = 0.25f;
  f.Squeeze = true;
  f.KingsMain = 11;
  f.KingsDouble = 12;
  f.KingsTriple = 13;
  f.KingsTurAH = 14;
  f.KingsTur2nd4 = 15;
  f.KingsTur2nd35 = -16;
  f.EDMinDraw = -0.35f;
  f.EDMaxDraw = 1.0e-7f;
  f.SideToMove = 6;
  for (int i = 1; i <= 128; ++i) {
    f.FieldsWS[i] = i;
    f.FieldsBS[i] = -i;
    f.FieldsWK[i] = 2 * i;
    f.FieldsBK[i] = -2 * i;
    f.FieldsClr[i] = i % 7;
  }
  AddPattern(f, {{0x8000000000000001, 0x10, 0x2000}, -12});
  AddPattern(f, {{0x4, 0, 0}, 7});
  AddPattern(f, {{0, 0, 0xFFFFFFFFFFFFFFFF}, 2147483647});
  CompileEvf(f);
  return f;
}

void ExpectSameWeights(const TEvalFuncStatic& a, const TEvalFuncStatic& b) {
  EXPECT_EQ(a.Version, b.Version);
  EXPECT_EQ(a.Turkish, b.Turkish);
  EXPECT_EQ(a.ManValue, b.ManValue);
  EXPECT_EQ(a.KingValue, b.KingValue);
  EXPECT_EQ(a.SideBalanceMain, b.SideBalanceMain);
  EXPECT_EQ(a.SideBalanceExt, b.SideBalanceExt);
  EXPECT_EQ(a.QuantityBonus, b.QuantityBonus);
  EXPECT_EQ(a.QuantityType, b.QuantityType);
  EXPECT_EQ(a.QuantityMul, b.QuantityMul);
  EXPECT_EQ(a.Compress, b.Compress);
  EXPECT_EQ(a.Squeeze, b.Squeeze);
  EXPECT_EQ(a.KingsMain, b.KingsMain);
  EXPECT_EQ(a.KingsDouble, b.KingsDouble);
  EXPECT_EQ(a.KingsTriple, b.KingsTriple);
  EXPECT_EQ(a.KingsTurAH, b.KingsTurAH);
  EXPECT_EQ(a.KingsTur2nd4, b.KingsTur2nd4);
  EXPECT_EQ(a.KingsTur2nd35, b.KingsTur2nd35);
  EXPECT_EQ(a.EDMinDraw, b.EDMinDraw);
  EXPECT_EQ(a.EDMaxDraw, b.EDMaxDraw);
  EXPECT_EQ(a.SideToMove, b.SideToMove);
}

TEST(EvfFile, WriteThenReadPatternWeights) {
  const auto dir = test::FreshDir("evf40");
  const TEvalFuncStatic f = SampleWeights(40);
  EXPECT_EQ(SaveEvf(dir / "a.evf", f), dir / "a.evf");
  const std::string text = test::ReadFile(dir / "a.evf");
  EXPECT_EQ(text.substr(0, 38), "[Version \"40\"]\r\n[Turkish \"False\"]\r\n[Ma");
  for (const char* line : {"[QuantityMul \"0.1\"]\r\n", "[Compress \"0.25\"]\r\n", "[Squeeze \"True\"]\r\n",
                           "[EDMinDraw \"-0.35\"]\r\n", "[EDMaxDraw \"1e-07\"]\r\n", "[SideToMove \"6\"]\r\n",
                           "[Mask \"8000000000000001 0000000000000010 0000000000002000 -12\"]\r\n",
                           "[Mask \"0000000000000004 0000000000000000 0000000000000000 7\"]\r\n",
                           "[Mask \"0000000000000000 0000000000000000 FFFFFFFFFFFFFFFF 2147483647\"]\r\n"})
    EXPECT_NE(text.find(line), std::string::npos) << line;
  EXPECT_EQ(text.find("Fields"), std::string::npos);
  EXPECT_EQ(text.find("\n["), text.find("\r\n[") + 1);  // every line ends in CR LF

  TEvalFuncStatic back;
  ASSERT_TRUE(LoadEvf(dir / "a.evf", back, kRussian));
  ExpectSameWeights(back, f);
  ASSERT_EQ(back.Size, 3);
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(back.Patt[i].B, f.Patt[i].B);
    EXPECT_EQ(back.Patt[i].value, f.Patt[i].value);
  }
  EXPECT_EQ(back.WhiteFields, f.WhiteFields);
  EXPECT_EQ(back.w, f.w);
  EXPECT_EQ(back.RealSize, 2);
  // Square weights are not part of a pattern file.
  EXPECT_EQ(back.FieldsWS[5], 0);

  // Writing what was read gives the same bytes.
  SaveEvf(dir / "b.evf", back);
  EXPECT_EQ(test::ReadFile(dir / "b.evf"), text);
}

TEST(EvfFile, WriteThenReadSquareWeights) {
  const auto dir = test::FreshDir("evf211");
  const TEvalFuncStatic f = SampleWeights(211);
  SaveEvf(dir / "a.evf", f);
  const std::string text = test::ReadFile(dir / "a.evf");
  EXPECT_NE(
      text.find("[SideToMove \"6\"]\r\n[FieldsWS \"1 1\"]\r\n[FieldsBS \"1 -1\"]\r\n[FieldsWK \"1 2\"]\r\n"
                "[FieldsBK \"1 -2\"]\r\n[FieldsClr \"1 1\"]\r\n[FieldsWS \"2 2\"]"),
      std::string::npos);
  EXPECT_NE(text.find("[FieldsClr \"128 2\"]\r\n"), std::string::npos);
  EXPECT_EQ(text.find("Mask"), std::string::npos);
  TEvalFuncStatic back;
  ASSERT_TRUE(LoadEvf(dir / "a.evf", back, kRussian));
  ExpectSameWeights(back, f);
  EXPECT_EQ(back.FieldsWS, f.FieldsWS);
  EXPECT_EQ(back.FieldsBS, f.FieldsBS);
  EXPECT_EQ(back.FieldsWK, f.FieldsWK);
  EXPECT_EQ(back.FieldsBK, f.FieldsBK);
  EXPECT_EQ(back.FieldsClr, f.FieldsClr);
  EXPECT_EQ(back.Size, 0);
}

TEST(EvfFile, ReadingRules) {
  // Duplicate masks keep the first value; Fields indices outside 1..128 are
  // ignored; comments, unknown tags and lines without a tag are skipped; tags
  // match by prefix; "$" makes a hexadecimal integer; Booleans may be numbers.
  const TEvalFuncStatic f = Load(Lines({
      "[ManValue \"$64\"] ; one man",
      "[KingValueX \"250\"]",
      "[Unknown \"abc\"]",
      "just text",
      "; [SideToMove \"99\"]",
      "[Squeeze \"1\"]",
      "[Turkish \"TRUE\"]",
      "[FieldsWS \"0 5\"]",
      "[FieldsWS \"129 5\"]",
      "[FieldsWS \"7  -3 \"]",
      "[Mask \"0000000000000003 0 0 10\"]",
      "[Mask \"3 0 0 20\"]",
      "[Mask \"0 0 0000000000000100 0\"]",
  }));
  EXPECT_EQ(f.ManValue, 100);
  EXPECT_EQ(f.KingValue, 250);
  EXPECT_EQ(f.SideToMove, 0);
  EXPECT_TRUE(f.Squeeze);
  EXPECT_TRUE(f.Turkish);
  EXPECT_EQ(f.Version, 211);  // the default; Turkish mirroring needs Version 40
  EXPECT_EQ(f.FieldsWS[7], -3);
  EXPECT_EQ(f.FieldsWS[1], 0);
  EXPECT_EQ(f.Size, 2);
  EXPECT_EQ(f.Patt[0].value, 10);
  // A Version-211 file still compiles its patterns; the single-square k
  // pattern with value 0 sets ClearFields and adds nothing to RealPatt.
  EXPECT_EQ(f.RealSize, 1);
  EXPECT_EQ(f.ClearFields[8], 0);
  EXPECT_EQ(f.w[3], 200);  // two men on bits 0 and 1, no square weights
}

TEST(EvfFile, TurkishPatternFilesAddMirrorImagesOnce) {
  const TEvalFuncStatic f =
      Load(Lines({
               "[Version \"40\"]", "[Turkish \"True\"]",
               "[Mask \"0000000000000003 0000000000000000 0000000000000000 10\"]",  // mirrored: C0
               "[Mask \"0000000000000018 0000000000000000 0000000000000000 4\"]",   // symmetric
               "[Mask \"00000000000000C0 0000000000000000 0000000000000000 99\"]",  // already there
           }),
           kTurkish);
  ASSERT_EQ(f.Size, 3);
  EXPECT_EQ(f.Patt[1].B.w, 0xC0u);
  EXPECT_EQ(f.Patt[1].value, 10);
  EXPECT_EQ(f.Patt[2].B.w, 0x18u);
  EXPECT_EQ(f.KingValue, 450);
}

// The Turkish flag may stand after the patterns (files written by hand or
// cut about); the mirror images follow the flag the file ends with, so the
// file loads like the one it saves as, whose flag comes first.
TEST(EvfFile, TurkishMirrorsDoNotDependOnWhereTheFlagStands) {
  const char* maskA = "[Mask \"0000000000000000 0000000000000001 0000000000000000 -21\"]";
  const char* maskB = "[Mask \"0000000010000000 0000000000000000 0000000000000000 15\"]";
  const TEvalFuncStatic flagFirst =
      Load(Lines({"[Version \"40\"]", "[Turkish \"True\"]", maskA, maskB}), kTurkish);
  const TEvalFuncStatic flagLast =
      Load(Lines({"[Version \"40\"]", maskA, maskB, "[Turkish \"True\"]"}), kTurkish);
  const TEvalFuncStatic flagTurnedOff =
      Load(Lines({"[Version \"40\"]", "[Turkish \"True\"]", maskA, "[Turkish \"False\"]", maskB}), kTurkish);
  ASSERT_EQ(flagFirst.Size, 4);
  EXPECT_EQ(flagFirst.Patt[1].B.b, 0x80u);  // the mirror of A right after it
  ASSERT_EQ(flagLast.Size, flagFirst.Size);
  for (int i = 0; i < flagFirst.Size; ++i) {
    EXPECT_EQ(flagLast.Patt[i].B, flagFirst.Patt[i].B) << i;
    EXPECT_EQ(flagLast.Patt[i].value, flagFirst.Patt[i].value) << i;
  }
  EXPECT_EQ(flagTurnedOff.Size, 2);

  const auto dir = test::FreshDir("evfmirror");
  const auto first = SaveEvf(dir / "a.evf", flagLast);
  TEvalFuncStatic again;
  ASSERT_TRUE(LoadEvf(first, again, kTurkish));
  const auto second = SaveEvf(dir / "b.evf", again);
  EXPECT_EQ(test::ReadFile(first), test::ReadFile(second));
}

TEST(EvfFile, BadValuesEndTheLoadNamingFileLineAndTag) {
  struct Case {
    const char* line;
    const char* tag;
    const char* message;
  };
  const Case cases[] = {
      {"[ManValue \"1.5\"]", "ManValue", "\"1.5\""},
      {"[ManValue \"\"]", "ManValue", "whole number"},
      {"[ManValue \"99999999999\"]", "ManValue", "whole number"},
      {"[QuantityMul \"0,5\"]", "QuantityMul", "\"0,5\""},
      {"[Compress \"nan\"]", "Compress", "\"nan\""},
      {"[Squeeze \"yes\"]", "Squeeze", "True, False"},
      {"[FieldsWS \"x 5\"]", "FieldsWS", "square index \"x\""},
      {"[FieldsBK \"5\"]", "FieldsBK", "weight \"\""},
      {"[Mask \"3 0 0\"]", "Mask", "pattern value \"\""},
      {"[Mask \"3 0 G 1\"]", "Mask", "bitboard k \"G\""},
      {"[Mask \"10000000000000000 0 0 1\"]", "Mask", "bitboard w"},
  };
  const auto dir = test::FreshDir("evfbad");
  for (const Case& c : cases) {
    SCOPED_TRACE(c.line);
    const auto path = dir / "bad.evf";
    test::WriteFile(path, Lines({"[KingValue \"333\"]", "[Mask \"1 2 0 5\"]", c.line, "[SideToMove \"4\"]"}));
    TEvalFuncStatic f = SampleWeights(40);
    try {
      LoadEvf(path, f, kRussian);
      ADD_FAILURE() << "accepted";
    } catch (const TFileError& e) {
      EXPECT_EQ(e.file(), path);
      EXPECT_EQ(e.line(), 3);
      EXPECT_EQ(e.tag(), c.tag);
      EXPECT_NE(e.message().find(c.message), std::string::npos) << e.what();
      EXPECT_NE(std::string(e.what()).find(path.string() + ":3: " + c.tag), std::string::npos) << e.what();
    }
    EXPECT_EQ(f.KingValue, 325);  // the weights stay as they were
    EXPECT_EQ(f.Size, 3);
    EXPECT_EQ(f.SideToMove, 6);
  }
}

TEST(EvfFile, AMissingFileSetsOnlyTheDefaults) {
  struct Case {
    int variant, kingValue;
  };
  for (const Case& c : {Case{kRussian, 300}, Case{kEnglish, 200}, Case{kTurkish, 450}, Case{kItalian, 200}}) {
    TEvalFuncStatic f = SampleWeights(40);
    const auto derived = f.w;
    EXPECT_FALSE(LoadEvf(test::FreshDir("none") / "missing.evf", f, c.variant));
    EXPECT_EQ(f.ManValue, 100);
    EXPECT_EQ(f.KingValue, c.kingValue);
    EXPECT_EQ(f.Version, 211);
    EXPECT_EQ(f.Size, 0);
    EXPECT_EQ(f.QuantityType, 0);
    EXPECT_EQ(f.QuantityMul, 0);
    EXPECT_EQ(f.FieldsWS[5], 0);
    EXPECT_EQ(f.FieldsBK[5], 0);
    EXPECT_EQ(f.FieldsClr[5], 5);  // kept
    EXPECT_EQ(f.SideToMove, 6);    // kept
    EXPECT_EQ(f.Compress, 0.25f);  // kept
    EXPECT_EQ(f.w, derived);       // not recompiled
  }
}

TEST(EvfFile, NetworksAreReadAndWrittenAsMynn) {
  const auto dir = test::FreshDir("evfnn");
  test::WriteFile(dir / "n.mynn", "2\n1\nReLu\nFalse\n2\n2\n0\n0\n1\n2\n0.5\n0.25\n");
  TEvalFuncStatic f = SampleWeights(40);
  ASSERT_TRUE(LoadEvf(dir / "n.mynn", f, kRussian));
  EXPECT_TRUE(f.UseNN);
  EXPECT_EQ(f.Net.InputSize, 2);
  EXPECT_EQ(f.Net.Neurons[1][0].weights, (std::vector<float>{0.5f, 0.25f}));
  EXPECT_EQ(SaveEvf(dir / "out.evf", f), dir / "out.mynn");
  EXPECT_FALSE(std::filesystem::exists(dir / "out.evf"));
  EXPECT_EQ(test::ReadFile(dir / "out.mynn"),
            "2\r\n1\r\nReLu\r\nFalse\r\n2\r\n2\r\n0\r\n0\r\n1\r\n2\r\n0.5\r\n0.25\r\n");
  // The extension test is case-sensitive: ".MYNN" is read as weights.
  std::filesystem::copy_file(dir / "n.mynn", dir / "n.MYNN");
  TEvalFuncStatic g;
  ASSERT_TRUE(LoadEvf(dir / "n.MYNN", g, kRussian));
  EXPECT_FALSE(g.UseNN);
}

TEST(EvfFile, UnwritableTargetIsReportedAndKeepsTheOldFile) {
  const auto dir = test::FreshDir("evfro");
  std::filesystem::create_directory(dir / "taken.evf");
  EXPECT_THROW(SaveEvf(dir / "taken.evf", SampleWeights(40)), TFileError);
  EXPECT_THROW(SaveEvf(dir / "no" / "such" / "folder.evf", SampleWeights(40)), TFileError);
  EXPECT_THROW(
      {
        TEvalFuncStatic f;
        LoadEvf(dir / "taken.evf", f, kRussian);
      },
      TFileError);
}

// Decimal comma for C++ streams, as a user's locale would give.
struct CommaNumpunct : std::numpunct<char> {
  char do_decimal_point() const override { return ','; }
};

void ExpectPointSeparator(const std::string& where) {
  SCOPED_TRACE(where);
  const auto dir = test::FreshDir("locale");
  const TEvalFuncStatic f = SampleWeights(40);
  SaveEvf(dir / "a.evf", f);
  EXPECT_NE(test::ReadFile(dir / "a.evf").find("[QuantityMul \"0.1\"]"), std::string::npos);
  TEvalFuncStatic back;
  LoadEvf(dir / "a.evf", back, kRussian);
  EXPECT_EQ(back.QuantityMul, 0.1f);
  EXPECT_EQ(back.EDMinDraw, -0.35f);
  EXPECT_EQ(FormatSingle(1.25f), "1.25");
  float v = 0;
  EXPECT_TRUE(ParseSingle("2.5", v));
  EXPECT_EQ(v, 2.5f);
  EXPECT_FALSE(ParseSingle("2,5", v));
}

TEST(EvfFile, NumbersUseAPointWhateverTheLocale) {
  const std::locale savedGlobal = std::locale::global(std::locale(std::locale::classic(), new CommaNumpunct));
  ExpectPointSeparator("C++ global locale with a decimal comma");
  std::locale::global(savedGlobal);

  const std::string saved = std::setlocale(LC_ALL, nullptr);
  for (const char* name :
       {"de_DE.UTF-8", "de_DE.utf8", "de_DE", "fr_FR.UTF-8", "fr_FR.utf8", "ru_RU.UTF-8", "nl_NL.UTF-8"}) {
    if (std::setlocale(LC_ALL, name) && std::localeconv()->decimal_point[0] == ',') {
      ExpectPointSeparator(std::string("C locale ") + name);
      std::setlocale(LC_ALL, saved.c_str());
      return;
    }
  }
  std::setlocale(LC_ALL, saved.c_str());
  std::printf("note: no C locale with a decimal comma is installed; that sub-check was skipped\n");
}

TEST(TextNumbers, ParseAndFormat) {
  struct IntCase {
    const char* text;
    bool ok;
    int32_t value;
  };
  for (const IntCase& c :
       {IntCase{"0", true, 0}, IntCase{"-17", true, -17}, IntCase{"+5", true, 5}, IntCase{"$FF", true, 255},
        IntCase{"$ffffffff", true, -1}, IntCase{"-$10", true, -16}, IntCase{"2147483647", true, 2147483647},
        IntCase{"2147483648", false, 0}, IntCase{"-2147483648", true, INT32_MIN},
        IntCase{"$123456789", false, 0}, IntCase{"1.0", false, 0}, IntCase{"", false, 0},
        IntCase{"--1", false, 0}, IntCase{"+-1", false, 0}, IntCase{" 1", false, 0},
        IntCase{"0x10", false, 0}}) {
    int32_t v = 0;
    EXPECT_EQ(ParseInteger(c.text, v), c.ok) << c.text;
    if (c.ok) {
      EXPECT_EQ(v, c.value) << c.text;
    }
  }
  struct FloatCase {
    const char* text;
    bool ok;
    float value;
  };
  for (const FloatCase& c :
       {FloatCase{"0.5", true, 0.5f}, FloatCase{"-1.25", true, -1.25f}, FloatCase{"+3", true, 3},
        FloatCase{"1e-3", true, 0.001f}, FloatCase{".5", true, 0.5f}, FloatCase{"0,5", false, 0},
        FloatCase{"inf", false, 0}, FloatCase{"1e50", false, 0}, FloatCase{"", false, 0},
        FloatCase{"++1", false, 0}, FloatCase{"1 ", false, 0}}) {
    float v = 0;
    EXPECT_EQ(ParseSingle(c.text, v), c.ok) << c.text;
    if (c.ok) {
      EXPECT_EQ(v, c.value) << c.text;
    }
  }
  for (float v : {0.0f, 0.5f, 1.25f, -0.35f, 0.1f, 3.4028235e38f, 1e-45f, 123456.789f}) {
    float back = 0;
    ASSERT_TRUE(ParseSingle(FormatSingle(v), back)) << FormatSingle(v);
    EXPECT_EQ(back, v);
  }
  EXPECT_EQ(FormatSingle(0), "0");
  EXPECT_EQ(FormatSingle(100), "100");
  bool b = false;
  EXPECT_TRUE(ParseBoolean("tRuE", b) && b);
  EXPECT_TRUE(ParseBoolean("0", b) && !b);
  EXPECT_TRUE(ParseBoolean("-3", b) && b);
  EXPECT_FALSE(ParseBoolean("yes", b));
}

}  // namespace
}  // namespace quorlin
