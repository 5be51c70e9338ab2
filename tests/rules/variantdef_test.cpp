#include "rules/variantdef.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "test_support.h"

namespace quorlin {
namespace {

TGameParams Mini() {
  TGameParams p;
  p.Name = "Mini";
  p.BoardWidth = 6;
  p.BoardHeight = 6;
  p.BoardCheckered = true;
  p.MenTakeKings = true;
  p.TurkishCapture = true;
  p.MustCapture = true;
  p.intface.WhiteStart = true;
  p.intface.Notation = 1;
  ComputeBoardGeometry(p);
  return p;
}

// Everything the text carries, plus the derived geometry, as one comparable text.
std::string Fingerprint(const TGameParams& p) {
  std::vector<std::string> lines;
  WriteVariantDefinition(p, lines);
  std::string s;
  for (const std::string& l : lines) s += l + "\n";
  return s + "size=" + std::to_string(p.compute.BoardSize) +
         " w=" + std::to_string(p.compute.BoardWidthReal) + " type=" + std::to_string(p.TypeOfGame);
}

std::string Format(const TGameParams& p) {
  std::string text, error;
  EXPECT_TRUE(FormatVariantDefinition(p, "", text, error)) << error;
  return text;
}

TEST(VariantDefinition, JoinedTextOfASixBySixVariant) {
  const std::string expected =
      "Name=Mini#FEN=#PDNGameType=0#BoardWidth=6#BoardHeight=6#BoardCheckered=True#CrowningOnCapture=False#"
      "FlyingKing=False#TakeMax=False#TakeKingsMax=False#MenTakeBackWards=False#MenTakeKings=True#"
      "KingsTakeFirst=False#KingEqualPriority=False#KingGoesBack=False#TurkishCapture=True#ItalianCapture="
      "False#"
      "FrisianCapture=False#FlyingKingStop=0#MustCapture=True#Interface.BoardMirrored=False#"
      "Interface.PlayOnWhite=False#Interface.WhiteStart=True#Interface.Notation=1";
  EXPECT_EQ(Format(Mini()), expected);

  TGameParams back;
  std::string error;
  ASSERT_TRUE(ParseVariantDefinition(expected, back, error)) << error;
  EXPECT_EQ(Fingerprint(back), Fingerprint(Mini()));
  EXPECT_EQ(back.compute.BoardSize, 18);
  EXPECT_EQ(back.compute.BoardWidthReal, 3);
}

TEST(VariantDefinition, EveryBuiltInVariantReadsBackTheSame) {
  for (int slot = 1; slot <= kVariantCount; ++slot) {
    const TGameParams& original = VariantTable[slot];
    TGameParams back;
    std::string error;
    ASSERT_TRUE(ParseVariantDefinition(Format(original), back, error)) << slot << ": " << error;
    TGameParams expected = original;
    expected.TypeOfGame = 0;  // read back as a custom variant
    EXPECT_EQ(Fingerprint(back), Fingerprint(expected)) << original.Name;
    EXPECT_EQ(back.BitBoardGood64, 0u) << original.Name;  // a custom variant has no 64-bit form
  }
}

TEST(VariantDefinition, CustomRecordWithTextsRoundTrips) {
  TGameParams p = Mini();
  p.Name = "Große Variante = 7×7 (test)";
  p.FEN = "W:W1,2,3:B16,17,18";
  p.PDNGameType = 255;
  p.BoardCheckered = false;
  p.BoardWidth = 7;
  p.BoardHeight = 7;
  p.FrisianCapture = true;
  p.FlyingKingStop = 2;
  p.intface.Notation = 4;
  p.intface.WhiteStart = false;
  ComputeBoardGeometry(p);
  TGameParams back;
  std::string error;
  ASSERT_TRUE(ParseVariantDefinition(Format(p), back, error)) << error;
  EXPECT_EQ(Fingerprint(back), Fingerprint(p));
  EXPECT_EQ(back.Name, p.Name);
  EXPECT_EQ(back.compute.BoardSize, 49);
}

TEST(VariantDefinition, GeometryIsNormalised) {
  struct Case {
    int width, height;
    bool checkered;
    int wantWidth, wantHeight, wantSize;
  };
  const Case cases[] = {
      {9, 8, true, 8, 8, 32},      {2, 2, true, 4, 4, 8},       {2, 6, false, 4, 6, 24},
      {16, 16, false, 16, 8, 128}, {16, 16, true, 16, 16, 128}, {40, -5, true, 16, 4, 32},
      {15, 16, false, 15, 8, 120}, {12, 12, true, 12, 12, 72},
  };
  for (const Case& c : cases) {
    TGameParams p = Mini();
    p.BoardCheckered = c.checkered;
    std::string text = Format(p);
    auto replace = [&](const std::string& key, int value) {
      const size_t at = text.find(key + "=");
      const size_t end = text.find('#', at);
      text.replace(at, end - at, key + "=" + std::to_string(value));
    };
    replace("BoardWidth", c.width);
    replace("BoardHeight", c.height);
    TGameParams back;
    std::string error;
    ASSERT_TRUE(ParseVariantDefinition(text, back, error)) << error;
    EXPECT_EQ(back.BoardWidth, c.wantWidth) << c.width << "x" << c.height;
    EXPECT_EQ(back.BoardHeight, c.wantHeight) << c.width << "x" << c.height;
    EXPECT_EQ(back.compute.BoardSize, c.wantSize) << c.width << "x" << c.height;
  }
}

TEST(VariantDefinition, KeysAreFoundInAnyOrderAndCase) {
  std::vector<std::string> lines;
  WriteVariantDefinition(Mini(), lines);
  std::reverse(lines.begin(), lines.end());
  for (std::string& l : lines) {
    for (size_t i = 0; i < l.find('='); ++i) l[i] = static_cast<char>(std::toupper(l[i]));
  }
  // Later duplicates do not count; a CR left by a text file is dropped.
  lines.push_back("Name=Other");
  lines.insert(lines.begin(), "flyingking=TRUE\r");
  lines.insert(lines.begin(), "kingsTakeFirst= 7 ");
  lines.insert(lines.begin(), "comment line without a value");
  TGameParams back;
  std::string error;
  ASSERT_TRUE(ReadVariantDefinition(back, lines, error)) << error;
  EXPECT_EQ(back.Name, "Mini");
  EXPECT_TRUE(back.FlyingKing);
  EXPECT_TRUE(back.KingsTakeFirst);
  EXPECT_TRUE(back.MenTakeKings);
  EXPECT_FALSE(back.TakeMax);
  EXPECT_EQ(back.intface.Notation, 1);
}

TEST(VariantDefinition, BadValuesFailNamingTheKeyAndChangeNothing) {
  struct Case {
    const char* key;
    const char* value;  // nullptr: the line is missing
    const char* errorPart;
  };
  const Case cases[] = {
      {"BoardWidth", "eight", "BoardWidth"},
      {"BoardHeight", "", "BoardHeight: empty value"},
      {"BoardHeight", nullptr, "BoardHeight: missing"},
      {"TakeMax", "yes", "TakeMax"},
      {"MustCapture", nullptr, "MustCapture"},
      {"PDNGameType", "256", "PDNGameType"},
      {"PDNGameType", "-1", "PDNGameType"},
      {"FlyingKingStop", "3", "FlyingKingStop"},
      {"Interface.Notation", "5", "Interface.Notation"},
      {"Interface.WhiteStart", "1.5", "Interface.WhiteStart"},
      {"BoardWidth", "99999999999", "BoardWidth"},
  };
  for (const Case& c : cases) {
    std::vector<std::string> lines;
    WriteVariantDefinition(Mini(), lines);
    for (auto it = lines.begin(); it != lines.end(); ++it) {
      if (it->rfind(std::string(c.key) + "=", 0) != 0) continue;
      if (c.value) {
        *it = std::string(c.key) + "=" + c.value;
      } else {
        lines.erase(it);
      }
      break;
    }
    TGameParams target = VariantTable[kInternational];
    const std::string before = Fingerprint(target);
    std::string error;
    EXPECT_FALSE(ReadVariantDefinition(target, lines, error)) << c.key;
    EXPECT_NE(error.find(c.errorPart), std::string::npos) << error;
    EXPECT_EQ(Fingerprint(target), before) << c.key;
  }
}

TEST(VariantDefinition, TextsThatTheJoinedFormCannotHoldAreRefused) {
  struct Case {
    const char* name;
    const char* fen;
  };
  const Case cases[] = {{"A#B", ""}, {"Mini", "W:W1#:B18"}, {"two\nlines", ""}};
  for (const Case& c : cases) {
    TGameParams p = Mini();
    p.Name = c.name;
    p.FEN = c.fen;
    std::string text = "old", error;
    EXPECT_FALSE(FormatVariantDefinition(p, "", text, error)) << c.name;
    EXPECT_TRUE(text.empty());
    EXPECT_NE(error.find(*c.fen ? "FEN" : "Name"), std::string::npos) << error;
  }
}

TEST(VariantDefinition, SavedFileReadsBack) {
  const auto dir = test::FreshDir("variantdef");
  const std::string path = (dir / "mini.txt").string();
  TGameParams p = Mini();
  p.Name = "Mini für alle";
  std::string text, error;
  ASSERT_TRUE(FormatVariantDefinition(p, path, text, error)) << error;
  const std::string file = test::ReadFile(path);
  EXPECT_EQ(file.substr(0, 25), "Name=Mini für alle\nFEN=\n");
  EXPECT_EQ(std::count(file.begin(), file.end(), '\n'), kVariantDefinitionKeys);

  TGameParams back;
  ASSERT_TRUE(LoadVariantDefinitionFile(path, back, error)) << error;
  EXPECT_EQ(Fingerprint(back), Fingerprint(p));

  // Lines ended by CR LF, with a byte-order mark.
  std::string crlf = "\xEF\xBB\xBF";
  for (char ch : file) crlf += ch == '\n' ? std::string("\r\n") : std::string(1, ch);
  test::WriteFile(dir / "crlf.txt", crlf);
  TGameParams again;
  ASSERT_TRUE(LoadVariantDefinitionFile((dir / "crlf.txt").string(), again, error)) << error;
  EXPECT_EQ(Fingerprint(again), Fingerprint(p));

  EXPECT_FALSE(FormatVariantDefinition(p, (dir / "no" / "such" / "x.txt").string(), text, error));
  EXPECT_NE(error.find("cannot write"), std::string::npos);
  EXPECT_FALSE(LoadVariantDefinitionFile((dir / "missing.txt").string(), again, error));
}

}  // namespace
}  // namespace quorlin
