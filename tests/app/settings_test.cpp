#include "app/settings.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <functional>
#include <map>
#include <optional>
#include <thread>

#include "app/folders.h"
#include "app/log.h"
#include "rules/notation.h"
#include "test_support.h"

namespace quorlin {
namespace {

namespace fs = std::filesystem;
using test::FreshDir;
using test::ReadFile;
using test::WriteFile;

std::string Utf16LE(const std::string& utf8) {
  std::string out = "\xFF\xFE";
  for (char16_t u : Utf8ToUtf16(utf8)) {
    out += static_cast<char>(u & 0xFF);
    out += static_cast<char>(u >> 8);
  }
  return out;
}

std::string DecodeUtf16LE(const std::string& bytes) {
  EXPECT_EQ(bytes.substr(0, 2), "\xFF\xFE");
  std::u16string units;
  for (size_t i = 2; i + 1 < bytes.size(); i += 2) {
    units += static_cast<char16_t>(static_cast<unsigned char>(bytes[i]) |
                                   (static_cast<unsigned char>(bytes[i + 1]) << 8));
  }
  return Utf16ToUtf8(units);
}

struct PoolState {
  bool whiteStart, mirrored;
  int notation;
  bool operator==(const PoolState&) const = default;
};

PoolState Pool() {
  const auto& p = VariantTable[kPool].intface;
  return {p.WhiteStart, p.BoardMirrored, p.Notation};
}

void PrintTo(const PoolState& p, std::ostream* os) {
  *os << "{WhiteStart " << p.whiteStart << ", BoardMirrored " << p.mirrored << ", Notation " << p.notation
      << "}";
}

// Each test runs against a fresh home folder and leaves the variant table,
// the folders, the environment and the settings as it found them.
class SettingsTest : public testing::Test {
 protected:
  void SetUp() override {
    savedTable_ = VariantTable;
    savedPhilippines_ = ForcePhilippinesNotation;
    savedFolders_ = {ProgramFolder, DataFolder, TempFolder, EDFolder};
    for (const char* name : {"HOME", "XDG_CONFIG_HOME"}) {
      const char* v = std::getenv(name);
      savedEnv_[name] = v ? std::optional<std::string>(v) : std::nullopt;
    }
    root_ = FreshDir("settings");
    setenv("HOME", (root_ / "home").c_str(), 1);
    setenv("XDG_CONFIG_HOME", (root_ / "home" / ".config").c_str(), 1);
    ASSERT_TRUE(InitFolders((root_ / "prog" / "quorlin").string()));
  }
  void TearDown() override {
    CloseLog();
    SetVariantSettingsHook({});
    SetSaveSettingsHook({});
    VariantTable = savedTable_;
    ForcePhilippinesNotation = savedPhilippines_;
    for (const auto& [name, value] : savedEnv_) {
      if (value) {
        setenv(name.c_str(), value->c_str(), 1);
      } else {
        unsetenv(name.c_str());
      }
    }
    ProgramFolder = savedFolders_[0], DataFolder = savedFolders_[1];
    TempFolder = savedFolders_[2], EDFolder = savedFolders_[3];
    ResetSettings();
  }

  std::string FileText() const { return DecodeUtf16LE(ReadFile(SettingsFilePath())); }
  void WriteSettingsFile(const std::string& text) const { WriteFile(SettingsFilePath(), Utf16LE(text)); }

  std::array<TGameParams, kVariantCount + 1> savedTable_;
  bool savedPhilippines_ = false;
  std::array<std::string, 4> savedFolders_;
  std::map<std::string, std::optional<std::string>> savedEnv_;
  fs::path root_;
};

// Every stored setting away from its default.
void SetAllNonDefault() {
  TSettings& s = Settings;
  s.UserName = "Пётр Ёлкин";
  s.BoardName = "Wood 木";
  s.PiecesName = "Glass";
  s.WhitePiecesName = "Ivory";
  s.BlackPiecesName = "Ebony";
  s.Database = DataFolder + "Bases/数据库 游戏.abd";
  s.DBShowFrom = 17;
  s.DBCurPos = 42;
  s.DefTypeOfGame = kInternationalKiller;
  s.GameTime = 1;
  s.Highlightmoves = false;
  s.BrdSize = 85;
  s.AutoCapture = false;
  s.TurkOneColor = true;
  s.AlquerqueBoard = true;
  s.ThreadsCount = 6;
  s.Showcoords = true;
  s.SoundOn = false;
  s.TimeControlMin = 25;
  s.PoolStyle = 1;
  s.SpanishBlack = true;
  s.Mode = true;
  VariantTable[kBrazilian].intface.BoardMirrored = true;
  ForcePhilippinesNotation = true;
  for (int slot = 0; slot <= kVariantCount; ++slot) {
    EngineOpts[slot].UserRating = 1500 + slot;
    EngineOpts[slot].GamesPlayed = 3 * slot;
  }
}

void ExpectAllNonDefault() {
  const TSettings& s = Settings;
  EXPECT_EQ(s.UserName, "Пётр Ёлкин");
  EXPECT_EQ(s.BoardName, "Wood 木");
  EXPECT_EQ(s.PiecesName, "Glass");
  EXPECT_EQ(s.WhitePiecesName, "Ivory");
  EXPECT_EQ(s.BlackPiecesName, "Ebony");
  EXPECT_EQ(s.Database, DataFolder + "Bases/数据库 游戏.abd");
  EXPECT_EQ(s.DBShowFrom, 17);
  EXPECT_EQ(s.DBCurPos, 42);
  EXPECT_EQ(s.DefTypeOfGame, kInternationalKiller);
  EXPECT_EQ(s.GameTime, 1);
  EXPECT_FALSE(s.Highlightmoves);
  EXPECT_EQ(s.BrdSize, 85);
  EXPECT_FALSE(s.AutoCapture);
  EXPECT_TRUE(s.TurkOneColor);
  EXPECT_TRUE(s.AlquerqueBoard);
  EXPECT_EQ(s.ThreadsCount, 6);
  EXPECT_TRUE(s.Showcoords);
  EXPECT_FALSE(s.SoundOn);
  EXPECT_EQ(s.TimeControlMin, 25);
  EXPECT_EQ(s.PoolStyle, 1);
  EXPECT_TRUE(s.SpanishBlack);
  EXPECT_TRUE(s.Mode);
  EXPECT_TRUE(VariantTable[kBrazilian].intface.BoardMirrored);
  EXPECT_TRUE(ForcePhilippinesNotation);
  EXPECT_FALSE(VariantTable[kSpanish].intface.PlayOnWhite);
  EXPECT_EQ(Pool(), (PoolState{false, true, 2}));
  for (int slot = 0; slot <= kVariantCount; ++slot) {
    EXPECT_EQ(EngineOpts[slot].UserRating, 1500 + slot) << slot;
    EXPECT_EQ(EngineOpts[slot].GamesPlayed, 3 * slot) << slot;
  }
}

TEST_F(SettingsTest, FirstStartCreatesTheFileOnlyWhenSaving) {
  ASSERT_TRUE(OpenLog());
  WriteLog(".", false);
  WriteLog("Program started.", false);
  EXPECT_TRUE(LoadSettings().empty());
  EXPECT_FALSE(fs::exists(SettingsFilePath()));
  ASSERT_TRUE(SaveSettings());
  EXPECT_EQ(SettingsFilePath(), DataFolder + "Quorlin Draughts.ini");
  EXPECT_EQ(ReadFile(SettingsFilePath()).substr(0, 2), "\xFF\xFE");
  // Nothing but the two start lines: a missing file is no problem worth a line.
  const std::string log = ReadFile(LogFilePath());
  EXPECT_EQ(std::count(log.begin(), log.end(), '\n'), 2) << log;
}

TEST_F(SettingsTest, MissingFileGivesEveryDefault) {
  SetAllNonDefault();
  EngineOpts[kRussian].UseBook = false;
  EngineOpts[kRussian].Book = "elsewhere";
  Settings.HashSizeMB = 1;
  VariantTable[kPool].intface.Notation = 0;

  bool databaseHookRan = false;
  EXPECT_TRUE(LoadSettings([&] {
                databaseHookRan = true;
                EXPECT_EQ(Settings.Database, DataFolder + "Bases/Example.abd");
                EXPECT_EQ(Settings.DBCurPos, 1);  // not read yet, and already reset
              }).empty());
  EXPECT_TRUE(databaseHookRan);

  const TSettings& s = Settings;
  EXPECT_EQ(s.UserName, "User");
  EXPECT_EQ(s.BoardName, "Default");
  EXPECT_EQ(s.PiecesName, "Default");
  EXPECT_EQ(s.WhitePiecesName, "White");
  EXPECT_EQ(s.BlackPiecesName, "Black");
  EXPECT_EQ(s.Database, DataFolder + "Bases/Example.abd");
  EXPECT_EQ(s.DBShowFrom, 0);
  EXPECT_EQ(s.DBCurPos, 1);
  EXPECT_EQ(s.DefTypeOfGame, kRussian);
  EXPECT_EQ(s.GameTime, 0);
  EXPECT_TRUE(s.Highlightmoves);
  EXPECT_EQ(s.BrdSize, 100);
  EXPECT_TRUE(s.AutoCapture);
  EXPECT_FALSE(s.TurkOneColor);
  EXPECT_FALSE(s.AlquerqueBoard);
  EXPECT_EQ(s.ThreadsCount, 0);
  EXPECT_FALSE(s.Showcoords);
  EXPECT_TRUE(s.SoundOn);
  EXPECT_EQ(s.TimeControlMin, 3);
  EXPECT_EQ(s.PoolStyle, 0);
  EXPECT_FALSE(s.SpanishBlack);
  EXPECT_FALSE(s.Mode);
  EXPECT_FALSE(ForcePhilippinesNotation);
  EXPECT_FALSE(VariantTable[kBrazilian].intface.BoardMirrored);
  EXPECT_TRUE(VariantTable[kSpanish].intface.PlayOnWhite);
  EXPECT_EQ(Pool(), (PoolState{false, false, 2}));

  EXPECT_EQ(s.HashSizeMB, 128);
  EXPECT_EQ(s.EDMemoryMB, 1200);
  EXPECT_EQ(s.HashFileSizeMB, 8);
  EXPECT_EQ(s.BookLevel, 1);
  EXPECT_EQ(s.BookMaxMoveNo, 15);
  EXPECT_EQ(s.BookMinPieces, 12);
  EXPECT_EQ(s.CaptureSeparator, "x");

  for (int slot = 0; slot <= kVariantCount; ++slot) {
    const TEngineOpt& o = EngineOpts[slot];
    EXPECT_EQ(o.Book, DataFolder + "Books/" + VariantTable[slot].Name + ".cbk");
    EXPECT_EQ(o.EngineName, "Analytic.eng");
    EXPECT_TRUE(o.UseBook);
    EXPECT_EQ(o.UserRating, 2000);
    EXPECT_EQ(o.GamesPlayed, 0);
  }
  EXPECT_EQ(EngineOpts[0].Book, DataFolder + "Books/.cbk");
  EXPECT_EQ(EngineOpts[kInternationalKiller].Book, DataFolder + "Books/International Killer.cbk");
}

TEST_F(SettingsTest, RoundTripKeepsEveryValueIncludingNonAsciiText) {
  SetAllNonDefault();
  ASSERT_TRUE(SaveSettings());
  ResetSettings();
  VariantTable = savedTable_;
  ForcePhilippinesNotation = false;
  EXPECT_TRUE(LoadSettings().empty());
  ExpectAllNonDefault();
}

TEST_F(SettingsTest, FileIsWrittenInItsOrderWithOneZeroBooleans) {
  LoadSettings();
  ASSERT_TRUE(SaveSettings());
  std::string want =
      "[Main]\r\nUserName=User\r\nBoardName=Default\r\nPiecesName=Default\r\nWhitePiecesName=White\r\n"
      "BlackPiecesName=Black\r\nDatabase=" +
      DataFolder +
      "Bases/Example.abd\r\nDefTypeOfGame=1\r\nDBShowFrom=0\r\nDBCurPos=1\r\nGameTime=0\r\n"
      "Highlightmoves=1\r\nBrdSize=100\r\nAutoCapture=1\r\nTurkOneColor=0\r\nShowcoords=0\r\nSoundOn=1\r\n"
      "TimeControlMin=3\r\nMode=0\r\nThreadsCount=0\r\nAlquerqueBoard=0\r\nPoolStyle=0\r\nSpanishBlack=0\r\n"
      "FlipBoard=0\r\nForcePhilippinesNotation=0\r\nDownloadServer1=" +
      kDefaultDownloadServer1 + "\r\nDownloadServer2=" + kDefaultDownloadServer2 + "\r\n\r\n[Engines]\r\n";
  for (int slot = 0; slot <= kVariantCount; ++slot) {
    const std::string& name = VariantTable[slot].Name;
    want += "UserRating" + name + "=2000\r\nGamesPlayed" + name + "=0\r\n";
  }
  EXPECT_EQ(FileText(), want);
  EXPECT_NE(want.find("UserRatingInternational Killer=2000\r\nGamesPlayedInternational Killer=0\r\n"),
            std::string::npos);
}

TEST_F(SettingsTest, RatingKeysWithASpaceAreReadAndWritten) {
  WriteSettingsFile(
      "[Engines]\r\nUserRatingInternational Killer=1750\r\nGamesPlayedInternational Killer=12\r\n"
      "userratingrussian=1999\r\nUserRating=1234\r\n");
  EXPECT_TRUE(LoadSettings().empty());
  EXPECT_EQ(EngineOpts[kInternationalKiller].UserRating, 1750);
  EXPECT_EQ(EngineOpts[kInternationalKiller].GamesPlayed, 12);
  EXPECT_EQ(EngineOpts[kRussian].UserRating, 1999);
  EXPECT_EQ(EngineOpts[0].UserRating, 1234);
  EngineOpts[kInternationalKiller].UserRating = 1760;
  ASSERT_TRUE(SaveSettings());
  const std::string text = FileText();
  EXPECT_NE(text.find("\r\nUserRatingInternational Killer=1760\r\n"), std::string::npos) << text;
  EXPECT_NE(text.find("\r\nuserratingrussian=1999\r\n"), std::string::npos) << text;  // spelling kept
}

TEST_F(SettingsTest, UnknownKeysAndSectionsSurviveASave) {
  WriteSettingsFile(
      "[Window]\r\nLeft=5\r\n\r\n[Main]\r\nUserName=Ann\r\nCustomKey=keep me\r\nBrdSize=80\r\n\r\n"
      "[Engines]\r\nUserRatingRussian=2200\r\nNoteToSelf=hi\r\n");
  LoadSettings();
  ASSERT_TRUE(SaveSettings());
  TIniFile ini;
  ASSERT_TRUE(ini.Load(SettingsFilePath()).empty());
  EXPECT_EQ(ini.ReadSections(), (std::vector<std::string>{"Window", "Main", "Engines"}));
  EXPECT_EQ(ini.ReadString("Window", "Left", ""), "5");
  const auto main = ini.ReadSection("Main");
  ASSERT_GE(main.size(), 4u);
  EXPECT_EQ(std::vector<std::string>(main.begin(), main.begin() + 4),
            (std::vector<std::string>{"UserName", "CustomKey", "BrdSize", "BoardName"}));
  EXPECT_EQ(ini.ReadString("Main", "CustomKey", ""), "keep me");
  EXPECT_EQ(ini.ReadSection("Engines")[1], "NoteToSelf");
  EXPECT_EQ(ini.ReadInteger("Engines", "UserRatingRussian", 0), 2200);
}

TEST_F(SettingsTest, EmptyUserNameStaysEmpty) {
  LoadSettings();
  Settings.UserName = "";
  ASSERT_TRUE(SaveSettings());
  LoadSettings();
  EXPECT_EQ(Settings.UserName, "");
}

TEST_F(SettingsTest, PoolStyleAppliesAndUnifiedRestartsWithNotationTwo) {
  LoadSettings();
  const std::pair<int, PoolState> styles[] = {
      {0, {false, false, 2}}, {1, {false, true, 2}}, {2, {true, false, 0}}};
  for (const auto& [style, want] : styles) {
    Settings.PoolStyle = style;
    ApplyVariantSettings();
    EXPECT_EQ(Pool(), want) << "style " << style;
  }
  Settings.SpanishBlack = true;
  ApplyVariantSettings();
  EXPECT_FALSE(VariantTable[kSpanish].intface.PlayOnWhite);
  Settings.SpanishBlack = false;
  ApplyVariantSettings();
  EXPECT_TRUE(VariantTable[kSpanish].intface.PlayOnWhite);

  Settings.PoolStyle = 2;
  ASSERT_TRUE(SaveSettings());
  VariantTable = savedTable_;
  LoadSettings();
  EXPECT_EQ(Settings.PoolStyle, 2);
  EXPECT_EQ(Pool(), (PoolState{true, false, 2}));
}

TEST_F(SettingsTest, HooksLetTheShownGameAndTheWindowsTakePart) {
  int applied = 0;
  SetVariantSettingsHook([&] {
    ++applied;
    EXPECT_TRUE(VariantTable[kPool].intface.WhiteStart);  // the slot is already changed
  });
  SetSaveSettingsHook([] { Settings.DBCurPos = 77; });
  WriteSettingsFile("[Main]\r\nPoolStyle=2\r\n");
  LoadSettings();
  EXPECT_EQ(applied, 1);
  ApplyVariantSettings();
  EXPECT_EQ(applied, 2);
  ASSERT_TRUE(SaveSettings());
  EXPECT_NE(FileText().find("\r\nDBCurPos=77\r\n"), std::string::npos);
}

struct RangeRow {
  const char* name;
  std::string line;
  std::function<int()> get;
  int want;
};

class SettingsRangeTest : public SettingsTest, public testing::WithParamInterface<RangeRow> {};

TEST_P(SettingsRangeTest, OutOfRangeValuesAreHeldInRange) {
  const RangeRow& row = GetParam();
  WriteSettingsFile(row.line);
  LoadSettings();
  EXPECT_EQ(row.get(), row.want) << row.line;
}

INSTANTIATE_TEST_SUITE_P(
    Rows, SettingsRangeTest,
    testing::Values(
        RangeRow{"ThreadsTooMany", "[Main]\nThreadsCount=300", [] { return Settings.ThreadsCount.load(); },
                 255},
        RangeRow{"ThreadsNegative", "[Main]\nThreadsCount=-1", [] { return Settings.ThreadsCount.load(); },
                 0},
        RangeRow{"ThreadsInRange", "[Main]\nThreadsCount=255", [] { return Settings.ThreadsCount.load(); },
                 255},
        RangeRow{"ThreadsNotANumber", "[Main]\nThreadsCount=many",
                 [] { return Settings.ThreadsCount.load(); }, 0},
        RangeRow{"PoolStyleUnknown", "[Main]\nPoolStyle=5", [] { return Settings.PoolStyle.load(); }, 0},
        RangeRow{"PoolStyleNegative", "[Main]\nPoolStyle=-1", [] { return Settings.PoolStyle.load(); }, 0},
        RangeRow{"VariantZero", "[Main]\nDefTypeOfGame=0", [] { return Settings.DefTypeOfGame.load(); }, 1},
        RangeRow{"VariantFifteen", "[Main]\nDefTypeOfGame=15", [] { return Settings.DefTypeOfGame.load(); },
                 1},
        RangeRow{"VariantLast", "[Main]\nDefTypeOfGame=14", [] { return Settings.DefTypeOfGame.load(); }, 14},
        RangeRow{"BoardTooSmall", "[Main]\nBrdSize=20", [] { return Settings.BrdSize.load(); }, 70},
        RangeRow{"BoardTooLarge", "[Main]\nBrdSize=150", [] { return Settings.BrdSize.load(); }, 100},
        RangeRow{"GameTimeUnknown", "[Main]\nGameTime=2", [] { return Settings.GameTime.load(); }, 0},
        RangeRow{"TimeZero", "[Main]\nTimeControlMin=0", [] { return Settings.TimeControlMin.load(); }, 1},
        RangeRow{"TimeHuge", "[Main]\nTimeControlMin=999999", [] { return Settings.TimeControlMin.load(); },
                 10000},
        RangeRow{"DBCurPosNegative", "[Main]\nDBCurPos=-3", [] { return Settings.DBCurPos.load(); }, 0},
        RangeRow{"DBShowFromNegative", "[Main]\nDBShowFrom=-3", [] { return Settings.DBShowFrom.load(); }, 0},
        RangeRow{"GamesPlayedNegative", "[Engines]\nGamesPlayedRussian=-4",
                 [] { return EngineOpts[kRussian].GamesPlayed.load(); }, 0},
        RangeRow{"PoolStyleInFile", "[Main]\nPoolStyle=7\n",
                 [] { return int(VariantTable[kPool].intface.BoardMirrored); }, 0}),
    [](const testing::TestParamInfo<RangeRow>& info) { return info.param.name; });

TEST_F(SettingsTest, DamagedFileIsReadAsFarAsPossibleKeptAndLogged) {
  ASSERT_TRUE(OpenLog());
  const std::string damaged =
      Utf16LE("[Main]\r\nUserName=Пётр\r\nthis is junk\r\nThreadsCount=4\r\nBrdSize=90\r\n") + "\x42";
  WriteFile(SettingsFilePath(), damaged);
  const auto warnings = LoadSettings();
  ASSERT_EQ(warnings.size(), 2u);
  EXPECT_EQ(warnings[0].Line, 3);
  EXPECT_EQ(warnings[0].File, SettingsFilePath());
  EXPECT_EQ(Settings.UserName, "Пётр");
  EXPECT_EQ(Settings.ThreadsCount, 4);
  EXPECT_EQ(Settings.BrdSize, 90);

  EXPECT_EQ(ReadFile(SettingsFilePath() + ".bad"), damaged);
  const std::string log = ReadFile(LogFilePath());
  EXPECT_NE(log.find("Settings: " + SettingsFilePath() + ":3: "), std::string::npos) << log;
  EXPECT_NE(log.find("odd number of bytes"), std::string::npos) << log;

  ASSERT_TRUE(SaveSettings());
  EXPECT_TRUE(LoadSettings().empty());
  EXPECT_EQ(Settings.UserName, "Пётр");
  EXPECT_EQ(Settings.ThreadsCount, 4);
}

TEST_F(SettingsTest, EveryTruncationOfASavedFileLoads) {
  SetAllNonDefault();
  ASSERT_TRUE(SaveSettings());
  const std::string full = ReadFile(SettingsFilePath());
  const std::string firstLine = "\r\nUserName=Пётр Ёлкин\r\n";
  const size_t userNameEnd = Utf16LE("[Main]" + firstLine).size();
  for (size_t cut = 0; cut < full.size(); cut += 31) {  // odd step: both byte parities
    WriteFile(SettingsFilePath(), full.substr(0, cut));
    LoadSettings();
    if (cut >= userNameEnd) {
      ASSERT_EQ(Settings.UserName, "Пётр Ёлкин") << "cut at " << cut;
    }
  }
}

TEST_F(SettingsTest, FailedSaveIsLoggedAndLeavesNoFile) {
  ASSERT_TRUE(OpenLog());
  LoadSettings();
  fs::create_directories(SettingsFilePath() + "/blocked");
  EXPECT_FALSE(SaveSettings());
  EXPECT_NE(ReadFile(LogFilePath()).find("Settings not saved: "), std::string::npos);
  EXPECT_TRUE(fs::is_directory(SettingsFilePath() + "/blocked"));
}

TEST_F(SettingsTest, SavesFromSeveralThreadsGiveAWholeFile) {
  LoadSettings();
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([t] {
      for (int i = 0; i < 5; ++i) {
        EngineOpts[t + 1].GamesPlayed += 1;
        EXPECT_TRUE(SaveSettings());
      }
    });
  }
  for (auto& th : threads) th.join();
  EXPECT_TRUE(LoadSettings().empty());
  for (int t = 0; t < 4; ++t) EXPECT_EQ(EngineOpts[t + 1].GamesPlayed, 5);
}

}  // namespace
}  // namespace quorlin
