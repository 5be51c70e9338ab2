// Language table, Translate, language codes, numbered texts and language files.
#include "app/translations.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "test_support.h"

namespace quorlin {
namespace {

using test::FreshDir;
using test::ProgramDir;
using test::WriteFile;

// The keys of the main window's language table, in their stored order.
// clang-format off
const char* const kKeys[] = {
    "Start/stop", "Reverse board", "Analysis mode", "Blind Play", "New Game", "New (Ballot)",
    "Setup position", "Settings", "Done", "ImportFEN", "Initial", "Clean", "Play mode", "White", "Black",
    "Close the program?", "Draw", "Win!", "Time!", "IG", "G", "IM", "M", "C", "1", "2", "3", "4",
    "Tournament", "Round", "Site", "Date", "Result", "*", "1-0", "=", "0-1", "1-0t", "0-1t", "Annotator",
    "Replace", "OK", "Game", "Russian", "English", "Brazilian", "Pool", "Italian", "International",
    "Czech", "Spanish", "Frisian", "Spantsiretti", "Canadian", "Thai", "Turkish", "International Killer",
    "Time (min/game)", "Interface", "Board", "Pieces", "Coordinates", "Mark last move", "Sound",
    "Auto capture", "Turkish Classic Board", "To Move:", "_", "!!", "!", "!?", "?!", "?", "??", "Time",
    "min/game", "sec/move", "2-0", "1-1", "0-2", "2-0t", "0-2t", "Players", "elo", "ignore colors", "Year",
    "Moves", "Position", "Download Bases", "Mode", "Analysis", "Play", "Color", "Random", "Default",
    "Engine"
};
// clang-format on

// Stored-form writer for hand-made tables.
void PutInt(std::string& out, uint32_t v) {
  for (int k = 0; k < 4; ++k) out += static_cast<char>((v >> (8 * k)) & 0xFF);
}

void PutText(std::string& out, const std::u16string& text) {
  PutInt(out, static_cast<uint32_t>(text.size()));
  for (char16_t c : text) {
    out += static_cast<char>(c & 0xFF);
    out += static_cast<char>(c >> 8);
  }
}

// Two keys, two languages; the Russian line holds real Cyrillic.
std::string SmallTable() {
  std::string b;
  PutText(b, u"White\r\nDraw");
  PutInt(b, 2);
  PutText(b, u"RU");
  PutText(b, u"White=\u0411\u0435\u043b\u044b\u0435\r\nDraw=\u041d\u0438\u0447\u044c\u044f\r\n");
  PutText(b, u"FR");
  PutText(b, u"Draw=Nulle");
  return b;
}

// Restores the process-wide translation state that a test changed.
class TranslationsTest : public testing::Test {
 protected:
  void TearDown() override {
    SetLanguageTable({});
    SetTranslationLanguage(kNoTranslationCode);
    ResetNumberedTexts();
  }
};

// Sets or unsets environment variables for one scope.
class ScopedEnv {
 public:
  void Set(const char* name, const char* value) {
    const char* old = std::getenv(name);
    saved_.push_back({name, old ? std::optional<std::string>(old) : std::nullopt});
    if (value)
      setenv(name, value, 1);
    else
      unsetenv(name);
  }
  ~ScopedEnv() {
    for (auto it = saved_.rbegin(); it != saved_.rend(); ++it) {
      if (it->second)
        setenv(it->first.c_str(), it->second->c_str(), 1);
      else
        unsetenv(it->first.c_str());
    }
  }

 private:
  std::vector<std::pair<std::string, std::optional<std::string>>> saved_;
};

// ---- Translate ----

TEST_F(TranslationsTest, TranslateMatchesCodeAndKeyWithoutCase) {
  TLanguageTable table;
  table.Keys = {"White", "Close the program?", "Draw"};
  table.Languages = {
      {"RU", {"White=Белые", "Close the program?=Закрыть программу?", "no equals sign", "Draw=a=b"}},
      {"IT", {}}};
  struct Row {
    const char* code;
    const char* text;
    const char* expected;
  } rows[] = {
      {"RU", "White", "Белые"},
      {"ru", "white", "Белые"},
      {"Ru", "CLOSE THE PROGRAM?", "Закрыть программу?"},
      {"RU", "Draw", "a=b"},   // only the first "=" separates
      {"RU", "Whit", "Whit"},  // whole key only
      {"RU", "no equals sign", "no equals sign"},
      {"RU", "Wrong move!", "Wrong move!"},  // texts without a key stay English
      {"RU", "Correct!", "Correct!"},
      {"RU", "Solve the problem", "Solve the problem"},
      {"IT", "White", "White"},  // a language with an empty list
      {"DE", "White", "White"},  // a language without a list
      {"EN", "Draw", "Draw"},
      {"", "White", "White"},
  };
  for (const Row& r : rows)
    EXPECT_EQ(Translate(table, r.code, r.text), r.expected) << r.code << " / " << r.text;
}

TEST_F(TranslationsTest, ProcessWideTranslateUsesTheChosenLanguage) {
  EXPECT_EQ(Translate("White"), "White");  // nothing loaded: English
  TLanguageTableResult r = ParseLanguageTable(SmallTable(), "small.lng");
  ASSERT_FALSE(r.Error) << r.Error->Message();
  SetLanguageTable(r.Table);
  SetTranslationLanguage("fr");
  EXPECT_EQ(TranslationLanguage(), "fr");
  EXPECT_EQ(Translate("draw"), "Nulle");
  EXPECT_EQ(Translate("White"), "White");
  SetTranslationLanguage("RU");
  EXPECT_EQ(Translate("White"), "Белые");
  EXPECT_EQ(Translate("Draw"), "Ничья");
}

// ---- The shipped table ----

TEST_F(TranslationsTest, ShippedTableHasTheKeysAndSevenLanguages) {
  const std::string path = (ProgramDir() / kLanguageTableFile).string();
  const TLanguageTableResult r = LoadLanguageTable(path);
  ASSERT_FALSE(r.Error) << r.Error->Message();
  const TLanguageTable& t = r.Table;

  ASSERT_EQ(t.Keys.size(), std::size(kKeys));
  ASSERT_EQ(t.Keys.size(), 96u);
  for (size_t i = 0; i < t.Keys.size(); ++i) EXPECT_EQ(t.Keys[i], kKeys[i]) << "key " << i + 1;

  const std::vector<std::string> codes = {"RU", "MY", "AR", "PT", "TR", "FR", "IT"};
  ASSERT_EQ(t.Languages.size(), codes.size());
  for (size_t i = 0; i < codes.size(); ++i) {
    const TLanguageList& lang = t.Languages[i];
    EXPECT_EQ(lang.Code, codes[i]);
    EXPECT_GE(lang.Lines.size(), 45u) << lang.Code;
    for (const std::string& line : lang.Lines) {
      const size_t eq = line.find('=');
      ASSERT_NE(eq, std::string::npos) << lang.Code << ": " << line;
      EXPECT_NE(std::find(std::begin(kKeys), std::end(kKeys), line.substr(0, eq)), std::end(kKeys))
          << lang.Code << ": " << line;
      EXPECT_GT(line.size(), eq + 1) << lang.Code << ": " << line;
    }
    // Texts that have no key stay English in every language.
    for (const char* text : {"No", "Wrong move!", "Correct!", "Solve the problem", "Rating"})
      EXPECT_EQ(Translate(t, lang.Code, text), text) << lang.Code;
  }

  struct Row {
    const char* code;
    const char* key;
    const char* expected;
  } known[] = {
      {"RU", "White", "Белые"},      {"RU", "Close the program?", "Закрыть программу?"},
      {"RU", "Russian", "Русские"},  {"MY", "Draw", "Seri"},
      {"AR", "Draw", "تعادل"},       {"PT", "Win!", "Vitória!"},
      {"TR", "Settings", "Ayarlar"}, {"FR", "Draw", "Nulle"},
      {"IT", "Black", "Nero"},       {"IT", "analysis mode", "Modalità analisi"},
      {"RU", "1-0", "1-0"},          {"IT", "*", "*"},
  };
  for (const Row& k : known) EXPECT_EQ(Translate(t, k.code, k.key), k.expected) << k.code << " " << k.key;
}

TEST_F(TranslationsTest, InitTranslationsLoadsTheTableAndTheSystemLanguage) {
  ScopedEnv env;
  env.Set("LC_ALL", nullptr);
  env.Set("LC_MESSAGES", nullptr);
  env.Set("LANG", "pt_BR.UTF-8");
  const auto error = InitTranslations(ProgramDir().string() + "/");
  ASSERT_FALSE(error) << error->Message();
  EXPECT_EQ(TranslationLanguage(), "PT");
  EXPECT_EQ(Translate("Board"), "Tabuleiro");

  // Without a table everything stays English and the caller learns why.
  const std::string empty = FreshDir("no-table").string() + "/";
  const auto missing = InitTranslations(empty);
  ASSERT_TRUE(missing);
  EXPECT_EQ(missing->File, empty + kLanguageTableFile);
  EXPECT_EQ(Translate("Board"), "Board");
}

// ---- Damaged tables ----

TEST_F(TranslationsTest, EveryTruncationOfATableIsAnError) {
  const std::string whole = SmallTable();
  ASSERT_FALSE(ParseLanguageTable(whole, "t.lng").Error);
  for (size_t len = 0; len < whole.size(); ++len) {
    const TLanguageTableResult r = ParseLanguageTable(whole.substr(0, len), "t.lng");
    ASSERT_TRUE(r.Error) << "length " << len;
    EXPECT_EQ(r.Error->File, "t.lng");
    EXPECT_NE(r.Error->What.find("truncated"), std::string::npos) << r.Error->What;
    EXPECT_TRUE(r.Table.Keys.empty() && r.Table.Languages.empty());
  }
}

TEST_F(TranslationsTest, TruncatedShippedTableFileIsAnError) {
  const std::string whole = test::ReadFile(ProgramDir() / kLanguageTableFile);
  ASSERT_GT(whole.size(), 1000u);
  const auto dir = FreshDir("cut-table");
  for (size_t len : {size_t{0}, size_t{3}, size_t{4}, size_t{100}, whole.size() / 2, whole.size() - 1}) {
    const std::string path = (dir / ("cut" + std::to_string(len) + ".lng")).string();
    WriteFile(path, whole.substr(0, len));
    const TLanguageTableResult r = LoadLanguageTable(path);
    ASSERT_TRUE(r.Error) << "length " << len;
    EXPECT_EQ(r.Error->File, path);
  }
  const TLanguageTableResult missing = LoadLanguageTable((dir / "absent.lng").string());
  ASSERT_TRUE(missing.Error);
  EXPECT_NE(missing.Error->Message().find("absent.lng"), std::string::npos);
}

TEST_F(TranslationsTest, DamagedTablesAreErrors) {
  struct Row {
    const char* name;
    std::string bytes;
    const char* what;
  };
  std::vector<Row> rows;
  {
    std::string b;
    PutInt(b, 0xFFFFFFFFu);  // a key list far longer than the file
    rows.push_back({"huge key count", b, "truncated"});
  }
  {
    std::string b;
    PutText(b, u"White");
    PutInt(b, 0x7FFFFFFF);  // more languages than could fit
    rows.push_back({"huge language count", b, "damaged"});
  }
  {
    std::string b = SmallTable();
    b += "xyz";
    rows.push_back({"trailing bytes", b, "damaged"});
  }
  {
    std::string b;
    PutText(b, u"White");
    PutInt(b, 1);
    PutText(b, u"");
    PutText(b, u"White=Blanc");
    rows.push_back({"empty code", b, "damaged"});
  }
  {
    std::string b;
    PutText(b, std::u16string(u"Wh") + char16_t(0xD800) + u"te");  // unpaired surrogate
    PutInt(b, 0);
    rows.push_back({"bad UTF-16", b, "damaged"});
  }
  for (const Row& r : rows) {
    const TLanguageTableResult res = ParseLanguageTable(r.bytes, "bad.lng");
    ASSERT_TRUE(res.Error) << r.name;
    EXPECT_NE(res.Error->What.find(r.what), std::string::npos) << r.name << ": " << res.Error->What;
    EXPECT_TRUE(res.Table.Keys.empty()) << r.name;
  }
}

// ---- Language code ----

TEST(LanguageCode, FromLocaleValues) {
  struct Row {
    const char* value;
    const char* code;
  } rows[] = {
      {"ru_RU.UTF-8", "RU"},
      {"pt_BR", "PT"},
      {"fr", "FR"},
      {"tr_TR.UTF-8@euro", "TR"},
      {"it_IT@euro", "IT"},
      {"ar_EG.UTF-8", "AR"},
      {"de_DE.UTF-8", "DE"},
      {"en_US.UTF-8", "EN"},
      {"ms_MY.UTF-8", "MY"},  // Malay is "MY" in the table
      {"my_MM.UTF-8", "EN"},  // Burmese must not get Malay
      {"C", "EN"},
      {"POSIX", "EN"},
      {"C.UTF-8", "EN"},
      {"", "EN"},
      {"/usr/lib/locale", "EN"},
  };
  for (const Row& r : rows) EXPECT_EQ(LanguageCodeFromLocale(r.value), r.code) << r.value;
}

TEST(LanguageCode, FirstNonEmptyOfLcAllLcMessagesLang) {
  struct Row {
    const char* lcAll;
    const char* lcMessages;
    const char* lang;
    const char* code;
  } rows[] = {
      {"it_IT.UTF-8", "fr_FR.UTF-8", "ru_RU.UTF-8", "IT"},
      {"", "fr_FR.UTF-8", "ru_RU.UTF-8", "FR"},
      {nullptr, nullptr, "ru_RU.UTF-8", "RU"},
      {"", "", "tr_TR", "TR"},
      {"C", nullptr, "ru_RU.UTF-8", "EN"},
      {nullptr, nullptr, nullptr, "EN"},
  };
  for (const Row& r : rows) {
    ScopedEnv env;
    env.Set("LC_ALL", r.lcAll);
    env.Set("LC_MESSAGES", r.lcMessages);
    env.Set("LANG", r.lang);
    EXPECT_EQ(CurrentLanguageCode(), r.code) << (r.lang ? r.lang : "(unset)");
  }
}

// ---- Numbered texts ----

TEST_F(TranslationsTest, NumberedTableHoldsTheDefaults) {
  for (int n = 1; n <= kNumberedTextCount; ++n) {
    EXPECT_FALSE(NumberedDefault(n).empty()) << n;
    EXPECT_EQ(NumberedText(n), NumberedDefault(n)) << n;
  }
  EXPECT_EQ(kNumberedTextCount, 355);
  struct Row {
    int n;
    const char* text;
  } rows[] = {
      {1, "Game"},
      {54, "Error: no free place"},
      {55, "Black win!"},
      {56, "White win!"},
      {135, "found "},
      {145, " with the current one?"},
      {148, "Draw"},
      {191, "\xd1\x81ount"},  // Cyrillic first letter, not a Latin "c"
      {307, "Cannot open the database."},
      {324, "Show comptete notation"},
      {355, "Ponder mode"},
  };
  for (const Row& r : rows) EXPECT_EQ(NumberedDefault(r.n), r.text) << r.n;
  for (int n : {0, -1, 356, 100000}) {
    EXPECT_EQ(NumberedText(n), "") << n;
    EXPECT_EQ(NumberedDefault(n), "") << n;
  }
}

// ---- Language files ----

class ReadLanguageTest : public TranslationsTest {
 protected:
  void SetUp() override {
    folder_ = FreshDir("program").string() + "/";
    std::filesystem::create_directories(folder_ + "Language");
  }
  std::string PathOf(const std::string& name) { return folder_ + "Language/" + name + ".txt"; }
  std::string folder_;
};

TEST_F(ReadLanguageTest, AppliesGoodLinesIgnoresBadOnesAndStopsAtABadNumber) {
  WriteFile(PathOf("French"),
            "; a comment\n"
            "[1] \"Partie\"\n"
            "   [55] \"Les noirs gagnent !\"   \n"         // blanks around the line
            "[2] \"no closing quote\n"                     // ignored
            "[3] \"\"\n"                                   // empty text: ignored
            "[0] \"zero\"\n"                               // out of range
            "[356] \"too big\"\n"                          // out of range
            "[-4] \"negative\"\n"                          // out of range
            "[99999999999999999999] \"huge\"\n"            // out of range
            "plain text [5] \"x\"\n"                       // does not start with "["
            "[148] \"Nulle\" trailing words \"more\"\r\n"  // first quoted part only
            "[ 56 ] \"Les blancs gagnent !\"\n"            // blanks inside the brackets
            "[abc] \"x\"\n"                                // line 13: not an integer
            "[4] \"after the error\"\n");
  const auto error = ReadLanguage("French", folder_);
  ASSERT_TRUE(error);
  EXPECT_EQ(error->File, PathOf("French"));
  EXPECT_EQ(error->Line, 13);
  EXPECT_NE(error->What.find("abc"), std::string::npos) << error->What;
  EXPECT_NE(error->Message().find("French.txt:13:"), std::string::npos) << error->Message();

  EXPECT_EQ(NumberedText(1), "Partie");
  EXPECT_EQ(NumberedText(55), "Les noirs gagnent !");
  EXPECT_EQ(NumberedText(56), "Les blancs gagnent !");
  EXPECT_EQ(NumberedText(148), "Nulle");
  for (int n : {2, 3, 4, 5, 355}) EXPECT_EQ(NumberedText(n), NumberedDefault(n)) << n;
  EXPECT_EQ(NumberedDefault(148), "Draw");

  ResetNumberedTexts();
  EXPECT_EQ(NumberedText(148), "Draw");
}

TEST_F(ReadLanguageTest, MissingBracketEndsReadingWithAnError) {
  WriteFile(PathOf("NoBracket"), "[148] \"Nulle\"\n[12 \"Quitter\"\n[13] \"x\"\n");
  const auto error = ReadLanguage("NoBracket", folder_);
  ASSERT_TRUE(error);
  EXPECT_EQ(error->Line, 2);
  EXPECT_EQ(NumberedText(148), "Nulle");
  EXPECT_EQ(NumberedText(13), NumberedDefault(13));
}

TEST_F(ReadLanguageTest, EncodingComesFromTheByteOrderMark) {
  auto utf16 = [](const std::u16string& s, bool bigEndian) {
    std::string b = bigEndian ? "\xFE\xFF" : "\xFF\xFE";
    for (char16_t c : s) {
      const char lo = static_cast<char>(c & 0xFF), hi = static_cast<char>(c >> 8);
      b += bigEndian ? hi : lo;
      b += bigEndian ? lo : hi;
    }
    return b;
  };
  struct Row {
    const char* name;
    std::string bytes;
  } rows[] = {
      {"Utf8Bom",
       "\xEF\xBB\xBF[148] \"\xD0\x9D\xD0\xB8\xD1\x87\xD1\x8C\xD1\x8F\"\r\n[1] \"Game \xF0\x9F\x8E\xB2\"\r\n"},
      {"Utf16LE", utf16(u"[148] \"\u041d\u0438\u0447\u044c\u044f\"\r\n[1] \"Game \U0001F3B2\"\r\n", false)},
      {"Utf16BE", utf16(u"[148] \"\u041d\u0438\u0447\u044c\u044f\"\r\n[1] \"Game \U0001F3B2\"\r\n", true)},
      {"NoBom", "[148] \"\xD0\x9D\xD0\xB8\xD1\x87\xD1\x8C\xD1\x8F\"\n[1] \"Game \xF0\x9F\x8E\xB2\""},
  };
  for (const Row& r : rows) {
    ResetNumberedTexts();
    WriteFile(PathOf(r.name), r.bytes);
    const auto error = ReadLanguage(r.name, folder_);
    EXPECT_FALSE(error) << r.name << ": " << error->Message();
    EXPECT_EQ(NumberedText(148), "Ничья") << r.name;
    EXPECT_EQ(NumberedText(1), "Game \xF0\x9F\x8E\xB2") << r.name;
  }
}

TEST_F(ReadLanguageTest, MalformedBytesBecomeReplacementCharacters) {
  WriteFile(PathOf("Broken"), "[148] \"Nul\xFFle\"\n[1] \"Par\xC3\"\n");
  EXPECT_FALSE(ReadLanguage("Broken", folder_));
  EXPECT_EQ(NumberedText(148), "Nul\xEF\xBF\xBDle");
  EXPECT_EQ(NumberedText(1), "Par\xEF\xBF\xBD");
}

TEST_F(ReadLanguageTest, MissingFileChangesNothing) {
  EXPECT_FALSE(ReadLanguage("Absent", folder_));
  EXPECT_FALSE(ReadLanguage("Absent", FreshDir("no-language-folder").string() + "/"));
  for (int n = 1; n <= kNumberedTextCount; ++n) ASSERT_EQ(NumberedText(n), NumberedDefault(n)) << n;
}

TEST_F(ReadLanguageTest, UnreadablePathIsAnError) {
  std::filesystem::create_directories(PathOf("Folder"));  // a folder where the file should be
  const auto error = ReadLanguage("Folder", folder_);
  ASSERT_TRUE(error);
  EXPECT_EQ(error->File, PathOf("Folder"));
}

// Readers on other threads see either the old or the new text, never a torn one.
TEST_F(ReadLanguageTest, ReadersRunAlongsideReading) {
  WriteFile(PathOf("Many"), "[148] \"Nulle\"\n[55] \"Les noirs gagnent !\"\n");
  TLanguageTableResult r = ParseLanguageTable(SmallTable(), "small.lng");
  SetLanguageTable(r.Table);
  SetTranslationLanguage("FR");
  std::atomic<bool> stop{false};
  std::atomic<int> bad{0};
  std::vector<std::thread> readers;
  for (int i = 0; i < 3; ++i)
    readers.emplace_back([&] {
      while (!stop.load()) {
        const std::string t = NumberedText(148);
        if (t != "Draw" && t != "Nulle") ++bad;
        if (Translate("Draw") != "Nulle") ++bad;
      }
    });
  for (int i = 0; i < 200; ++i) {
    ASSERT_FALSE(ReadLanguage("Many", folder_));
    ResetNumberedTexts();
  }
  stop = true;
  for (auto& t : readers) t.join();
  EXPECT_EQ(bad.load(), 0);
}

// ---- The quorlin language command ----

TEST_F(ReadLanguageTest, LanguageCommandTranslatesAndChecksFiles) {
  std::string out;
  EXPECT_EQ(test::RunQuorlin("language --lang ru White \"Wrong move!\"", out), 0) << out;
  EXPECT_EQ(out, "Белые\nWrong move!\n");
  EXPECT_EQ(test::RunQuorlin("language", out), 0) << out;
  EXPECT_NE(out.find("96 keys"), std::string::npos) << out;
  EXPECT_NE(out.find("IT "), std::string::npos) << out;

  WriteFile(PathOf("Check"), "[148] \"Nulle\"\n[x1] \"y\"\n");
  EXPECT_EQ(test::RunQuorlin("language --check " + PathOf("Check"), out), 1) << out;
  EXPECT_NE(out.find("[148] \"Nulle\""), std::string::npos) << out;
  EXPECT_NE(out.find("Check.txt:2:"), std::string::npos) << out;
  EXPECT_EQ(test::RunQuorlin("language --lang", out), 2) << out;
}

}  // namespace
}  // namespace quorlin
