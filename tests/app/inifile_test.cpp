#include "app/inifile.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdint>
#include <filesystem>
#include <random>

#include "test_support.h"

namespace quorlin {
namespace {

namespace fs = std::filesystem;
using test::FreshDir;
using test::ReadFile;
using test::WriteFile;

std::string Utf16LE(const std::string& utf8, bool bom = true) {
  std::string out = bom ? "\xFF\xFE" : "";
  for (char16_t u : Utf8ToUtf16(utf8)) {
    out += static_cast<char>(u & 0xFF);
    out += static_cast<char>(u >> 8);
  }
  return out;
}

std::string Utf16BE(const std::string& utf8) {
  std::string out = "\xFE\xFF";
  for (char16_t u : Utf8ToUtf16(utf8)) {
    out += static_cast<char>(u >> 8);
    out += static_cast<char>(u & 0xFF);
  }
  return out;
}

// The text of bytes written by SaveToBytes, which must be UTF-16LE with BOM.
std::string SavedText(const std::string& bytes) {
  EXPECT_EQ(bytes.substr(0, 2), "\xFF\xFE");
  EXPECT_EQ(bytes.size() % 2, 0u);
  std::u16string units;
  for (size_t i = 2; i + 1 < bytes.size(); i += 2) {
    units += static_cast<char16_t>(static_cast<unsigned char>(bytes[i]) |
                                   (static_cast<unsigned char>(bytes[i + 1]) << 8));
  }
  return Utf16ToUtf8(units);
}

std::string AllWarnings(const std::vector<TIniWarning>& w) {
  std::string s;
  for (const auto& x : w) s += x.Text() + "\n";
  return s;
}

TEST(Utf, ConversionHandlesSurrogatePairsAndInvalidInput) {
  const std::string text = "Пётр Ёлкин 数据库 \xF0\x9F\x98\x80 end";  // with U+1F600
  const std::u16string units = Utf8ToUtf16(text);
  EXPECT_EQ(units.size(), 21u);  // the emoji takes two units
  EXPECT_EQ(units[15], 0xD83D);
  EXPECT_EQ(units[16], 0xDE00);
  EXPECT_EQ(Utf16ToUtf8(units), text);

  // Overlong form, lone continuation byte, encoded surrogate, truncated sequence.
  EXPECT_EQ(Utf16ToUtf8(Utf8ToUtf16("a\xC0\xAF"
                                    "b\x80"
                                    "c\xED\xA0\x80"
                                    "d\xE4\xB8")),
            "a\uFFFD\uFFFD"
            "b\uFFFD"
            "c\uFFFD\uFFFD\uFFFD"
            "d\uFFFD");
  EXPECT_EQ(Utf16ToUtf8(u"x\xD800y\xDC00"), "x\uFFFDy\uFFFD");
}

const char* const kSample =
    "[Main]\r\nUserName=Пётр Ёлкин\r\nDatabase=/data/数据库/games.abd\r\n\r\n"
    "[Engines]\r\nUserRatingInternational Killer=1700\r\n";

void ExpectSample(const TIniFile& ini) {
  EXPECT_EQ(ini.ReadString("Main", "UserName", "?"), "Пётр Ёлкин");
  EXPECT_EQ(ini.ReadString("Main", "Database", "?"), "/data/数据库/games.abd");
  EXPECT_EQ(ini.ReadInteger("Engines", "UserRatingInternational Killer", 0), 1700);
}

struct EncodingRow {
  const char* name;
  std::string bytes;
};

class IniEncodingTest : public testing::TestWithParam<EncodingRow> {};

TEST_P(IniEncodingTest, ReadsTheSameValues) {
  TIniFile ini;
  const auto warnings = ini.LoadFromBytes(GetParam().bytes, "x.ini");
  EXPECT_TRUE(warnings.empty()) << AllWarnings(warnings);
  ExpectSample(ini);
}

std::string Replace(std::string s, const std::string& from, const std::string& to) {
  for (size_t p = s.find(from); p != std::string::npos; p = s.find(from, p + to.size()))
    s.replace(p, from.size(), to);
  return s;
}

INSTANTIATE_TEST_SUITE_P(Encodings, IniEncodingTest,
                         testing::Values(EncodingRow{"Utf16LEWithBom", Utf16LE(kSample)},
                                         EncodingRow{"Utf16LEWithoutBom", Utf16LE(kSample, false)},
                                         EncodingRow{"Utf16BEWithBom", Utf16BE(kSample)},
                                         EncodingRow{"Utf8WithBom", "\xEF\xBB\xBF" + std::string(kSample)},
                                         EncodingRow{"Utf8WithoutBom", kSample},
                                         EncodingRow{"LfLineEnds", Replace(kSample, "\r\n", "\n")},
                                         EncodingRow{"CrLineEnds", Replace(kSample, "\r\n", "\r")},
                                         EncodingRow{"BlanksAroundNames",
                                                     Replace(Replace(kSample, "[Main]", "  [ Main ]  "), "=",
                                                             " = ")}),
                         [](const testing::TestParamInfo<EncodingRow>& info) { return info.param.name; });

TEST(IniFile, WritesUtf16WithBomAndCrLf) {
  TIniFile ini;
  ini.WriteString("Main", "UserName", "Ёж");
  ini.WriteBool("Main", "SoundOn", true);
  ini.WriteBool("Main", "Mode", false);
  ini.WriteInteger("Engines", "UserRatingInternational Killer", -5);
  EXPECT_EQ(ini.SaveToBytes(), Utf16LE("[Main]\r\nUserName=Ёж\r\nSoundOn=1\r\nMode=0\r\n\r\n[Engines]\r\n"
                                       "UserRatingInternational Killer=-5\r\n"));
}

TEST(IniFile, NamesIgnoreLetterCaseAndKeepTheirFirstSpelling) {
  TIniFile ini;
  ini.LoadFromBytes("[Main]\nUserName=Ann\n", "x.ini");
  EXPECT_EQ(ini.ReadString("MAIN", "username", ""), "Ann");
  ini.WriteString("main", "USERNAME", "Bob");
  EXPECT_EQ(ini.ReadSection("Main"), std::vector<std::string>{"UserName"});
  EXPECT_EQ(ini.ReadSections(), std::vector<std::string>{"Main"});
  EXPECT_EQ(ini.ReadString("Main", "UserName", ""), "Bob");
}

TEST(IniFile, ValuesReadBackExactly) {
  TIniFile ini;
  const std::vector<std::string> values = {"",      " leading",        "trailing\t", "\"quoted\"",
                                           "a=b=c", "; not a comment", "x\"y"};
  // Built by appending: GCC 12 warns of an overlapping copy in "K" + to_string.
  auto key = [](size_t i) {
    std::string k = "K";
    k += std::to_string(i);
    return k;
  };
  for (size_t i = 0; i < values.size(); ++i) ini.WriteString("S", key(i), values[i]);
  ini.WriteString("S", "Broken", "one\r\ntwo\nthree");
  TIniFile back;
  EXPECT_TRUE(back.LoadFromBytes(ini.SaveToBytes(), "x.ini").empty());
  for (size_t i = 0; i < values.size(); ++i) {
    EXPECT_EQ(back.ReadString("S", key(i), "<missing>"), values[i]) << i;
  }
  EXPECT_EQ(back.ReadString("S", "Broken", ""), "one  two three");
  EXPECT_EQ(back.ReadString("S", "Absent", "<missing>"), "<missing>");
}

TEST(IniFile, IntegerAndBooleanParsing) {
  TIniFile ini;
  ini.LoadFromBytes(
      "[N]\na=42\nb= -7 \nc=$1F\nd=0x10\ne=12abc\nf=99999999999\ng=\nh=-2147483648\n"
      "[B]\na=1\nb=0\nc=True\nd=no\ne=2\nf=maybe\ng=OFF\n",
      "x.ini");
  const std::pair<const char*, int> ints[] = {{"a", 42}, {"b", -7}, {"c", 31},        {"d", 16}, {"e", -1},
                                              {"f", -1}, {"g", -1}, {"h", INT32_MIN}, {"z", -1}};
  for (auto [key, want] : ints) EXPECT_EQ(ini.ReadInteger("N", key, -1), want) << key;
  const std::pair<const char*, bool> bools[] = {{"a", true}, {"b", false}, {"c", true}, {"d", false},
                                                {"e", true}, {"g", false}, {"z", true}};
  for (auto [key, want] : bools) EXPECT_EQ(ini.ReadBool("B", key, true), want) << key;
  EXPECT_FALSE(ini.ReadBool("B", "f", false));
  EXPECT_TRUE(ini.ReadBool("B", "f", true));
}

TEST(IniFile, UnknownSectionsKeysAndCommentsSurviveInOrder) {
  const std::string original =
      "; kept comment\r\n[Window]\r\nLeft=10\r\nTop=20\r\n\r\n[Main]\r\nFoo=bar\r\nUserName=Ann\r\n"
      "# another comment\r\nZed=last\r\n\r\n[Plugins]\r\nx=1\r\n";
  TIniFile ini;
  ASSERT_TRUE(ini.LoadFromBytes(Utf16LE(original), "x.ini").empty());
  ini.WriteString("Main", "UserName", "Bob");
  ini.WriteString("Main", "BrdSize", "90");
  ini.WriteString("Engines", "UserRatingRussian", "2100");
  EXPECT_EQ(SavedText(ini.SaveToBytes()),
            "; kept comment\r\n\r\n[Window]\r\nLeft=10\r\nTop=20\r\n\r\n[Main]\r\nFoo=bar\r\nUserName=Bob\r\n"
            "# another comment\r\nZed=last\r\nBrdSize=90\r\n\r\n[Plugins]\r\nx=1\r\n\r\n"
            "[Engines]\r\nUserRatingRussian=2100\r\n");
  // Saving again changes nothing: blank lines do not pile up.
  TIniFile again;
  ASSERT_TRUE(again.LoadFromBytes(ini.SaveToBytes(), "x.ini").empty());
  EXPECT_EQ(again.SaveToBytes(), ini.SaveToBytes());
}

struct DamageRow {
  const char* name;
  std::string bytes;
  std::vector<std::pair<int, std::string>> warnings;        // line, part of the message
  std::vector<std::pair<std::string, std::string>> values;  // key in [Main], value still read
};

class IniDamageTest : public testing::TestWithParam<DamageRow> {};

TEST_P(IniDamageTest, ReadsWhatCanBeReadAndSaysWhereItFailed) {
  const DamageRow& row = GetParam();
  TIniFile ini;
  const auto warnings = ini.LoadFromBytes(row.bytes, "damaged.ini");
  ASSERT_EQ(warnings.size(), row.warnings.size()) << AllWarnings(warnings);
  for (size_t i = 0; i < warnings.size(); ++i) {
    EXPECT_EQ(warnings[i].File, "damaged.ini");
    EXPECT_EQ(warnings[i].Line, row.warnings[i].first) << warnings[i].Text();
    EXPECT_NE(warnings[i].Message.find(row.warnings[i].second), std::string::npos) << warnings[i].Text();
  }
  for (const auto& [key, value] : row.values)
    EXPECT_EQ(ini.ReadString("Main", key, "<missing>"), value) << key;
}

const std::string kGood = "[Main]\r\nA=1\r\nB=Пётр\r\n";

INSTANTIATE_TEST_SUITE_P(
    Damage, IniDamageTest,
    testing::Values(DamageRow{"OddByteCount",
                              Utf16LE(kGood) + "\x41",
                              {{4, "odd number of bytes"}},
                              {{"A", "1"}, {"B", "Пётр"}}},
                    DamageRow{"UnpairedSurrogate",
                              Utf16LE("[Main]\r\nA=1\r\n") + std::string("B\0=\0\x00\xD8x\0\r\0\n\0", 12) +
                                  Utf16LE("C=3", false),
                              {{3, "invalid UTF-16"}},
                              {{"A", "1"}, {"B", "\uFFFDx"}, {"C", "3"}}},
                    DamageRow{"InvalidUtf8",
                              "[Main]\nA=caf\xE9\nB=2\n",
                              {{2, "invalid UTF-8"}},
                              {{"A", "caf\uFFFD"}, {"B", "2"}}},
                    DamageRow{"GarbageLines",
                              Utf16LE("[Main]\r\nA=1\r\nthis is junk\r\n=nokey\r\nB=Пётр\r\n"),
                              {{3, "neither a section"}, {4, "key name missing"}},
                              {{"A", "1"}, {"B", "Пётр"}}},
                    DamageRow{"TruncatedInsideLine",
                              Utf16LE("[Main]\r\nA=1\r\nB=Пё\r\nBrdSi"),
                              {{4, "neither"}},
                              {{"A", "1"}, {"B", "Пё"}}},
                    DamageRow{"ZeroFilledTail",
                              Utf16LE(kGood) + std::string(64, '\0'),
                              {{4, "control characters"}},
                              {{"A", "1"}, {"B", "Пётр"}}},
                    DamageRow{"HeaderWithoutBracket", "[Main\nA=1\n", {{1, "without \"]\""}}, {{"A", "1"}}},
                    DamageRow{"RepeatedKeyFirstWins", "[Main]\nA=1\nA=2\n", {{3, "repeated"}}, {{"A", "1"}}},
                    DamageRow{"Empty", "", {}, {{"A", "<missing>"}}},
                    DamageRow{"OnlyBom", "\xFF\xFE", {}, {{"A", "<missing>"}}}),
    [](const testing::TestParamInfo<DamageRow>& info) { return info.param.name; });

// What a damaged file reads as writes back to bytes that read again alike.
TEST(IniFile, DamagedHeadersWriteBackStably) {
  for (const char* text : {"\n[\n[r", "[\nA=1\n[r]\nB=2", "[]\n[x]\n[]\nb=2", "; c\n[\n[r"}) {
    TIniFile ini;
    ini.LoadFromBytes(text, "d.ini");
    const std::string first = ini.SaveToBytes();
    TIniFile again;
    EXPECT_TRUE(again.LoadFromBytes(first, "again.ini").empty()) << text;
    EXPECT_EQ(again.SaveToBytes(), first) << text;
  }
}

TEST(IniFile, RepeatedKeyIsNotWrittenBack) {
  // A key repeated in its section, and again under a second header of the same section.
  TIniFile ini;
  EXPECT_EQ(ini.LoadFromBytes("[Main]\nUserName=Ann\nUserName=Bob\n[Main]\nUserName=Cid\n", "r.ini").size(),
            2u);
  EXPECT_EQ(ini.ReadString("Main", "UserName", ""), "Ann");
  TIniFile again;
  EXPECT_TRUE(again.LoadFromBytes(ini.SaveToBytes(), "again.ini").empty());
  EXPECT_EQ(again.ReadString("Main", "UserName", ""), "Ann");
  EXPECT_EQ(again.ReadSection("Main"), std::vector<std::string>{"UserName"});
}

TEST(IniFile, RandomBytesNeverCrashAndWarningsStayFew) {
  std::mt19937 rng(12345);
  for (int round = 0; round < 50; ++round) {
    std::string bytes(1 + rng() % 4096, '\0');
    for (char& c : bytes) c = static_cast<char>(rng());
    if (round % 2) bytes.insert(0, "\xFF\xFE");
    TIniFile ini;
    const auto warnings = ini.LoadFromBytes(bytes, "r.ini");
    EXPECT_LE(warnings.size(), 21u);
    TIniFile back;  // whatever was kept saves and reloads cleanly
    const auto again = back.LoadFromBytes(ini.SaveToBytes(), "r.ini");
    EXPECT_TRUE(again.empty()) << AllWarnings(again);
  }
}

TEST(IniFile, MissingFileLoadsEmptyWithoutWarning) {
  TIniFile ini;
  const std::string path = (FreshDir("ini") / "none.ini").string();
  EXPECT_TRUE(ini.Load(path).empty());
  EXPECT_FALSE(ini.SectionExists("Main"));
  EXPECT_EQ(ini.FileName(), path);
  EXPECT_FALSE(fs::exists(path));
}

TEST(IniFile, UpdateFileReplacesTheFileWholeAndLeavesNoTemporaryFiles) {
  const fs::path dir = FreshDir("ini");
  const fs::path path = dir / "Quorlin Draughts.ini";
  WriteFile(path, Utf16LE("[Main]\r\nOld=1\r\n"));
  ::chmod(path.c_str(), 0600);
  TIniFile ini;
  ASSERT_TRUE(ini.Load(path.string()).empty());
  ini.WriteString("Main", "UserName", "Пётр Ёлкин");
  std::string error;
  ASSERT_TRUE(ini.UpdateFile(&error)) << error;
  EXPECT_EQ(ReadFile(path), ini.SaveToBytes());
  EXPECT_EQ(fs::status(path).permissions() & fs::perms::all, fs::perms::owner_read | fs::perms::owner_write);
  int files = 0;
  for (const auto& e : fs::directory_iterator(dir)) files += e.is_regular_file();
  EXPECT_EQ(files, 1);

  TIniFile back;
  ASSERT_TRUE(back.Load(path.string()).empty());
  EXPECT_EQ(back.ReadString("Main", "UserName", ""), "Пётр Ёлкин");
  EXPECT_EQ(back.ReadInteger("Main", "Old", 0), 1);
}

TEST(IniFile, UpdateFileFailureKeepsTheOldFile) {
  const fs::path dir = FreshDir("ini");
  TIniFile ini;
  ini.WriteString("Main", "A", "1");
  std::string error;

  ini.SetFileName((dir / "missing" / "x.ini").string());
  EXPECT_FALSE(ini.UpdateFile(&error));
  EXPECT_NE(error.find("x.ini"), std::string::npos) << error;

  // A folder where the file should be cannot be replaced; nothing is left behind.
  fs::create_directories(dir / "x.ini" / "inside");
  ini.SetFileName((dir / "x.ini").string());
  EXPECT_FALSE(ini.UpdateFile(&error));
  EXPECT_TRUE(fs::is_directory(dir / "x.ini" / "inside"));
  int entries = 0;
  for ([[maybe_unused]] const auto& e : fs::directory_iterator(dir)) ++entries;
  EXPECT_EQ(entries, 1);
}

TEST(IniFile, UpdateFileWritesThroughSymbolicLink) {
  const fs::path dir = FreshDir("ini");
  WriteFile(dir / "real.ini", "");
  fs::create_symlink(dir / "real.ini", dir / "link.ini");
  TIniFile ini;
  ini.Load((dir / "link.ini").string());
  ini.WriteString("Main", "A", "1");
  ASSERT_TRUE(ini.UpdateFile());
  EXPECT_TRUE(fs::is_symlink(dir / "link.ini"));
  EXPECT_EQ(ReadFile(dir / "real.ini"), ini.SaveToBytes());
}

}  // namespace
}  // namespace quorlin
