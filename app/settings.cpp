#include "app/settings.h"

#include <algorithm>
#include <climits>
#include <filesystem>
#include <mutex>

#include "app/folders.h"
#include "app/log.h"
#include "rules/notation.h"

namespace quorlin {

TSettings Settings;
std::array<TEngineOpt, kVariantCount + 1> EngineOpts;

namespace {

constexpr const char* kMain = "Main";
constexpr const char* kEngines = "Engines";

// The settings file object, kept for the whole run so that keys the program
// does not know survive every save. The lock also serialises SaveSettings.
std::mutex fileLock;
TIniFile settingsFile;

std::mutex hookLock;
std::function<void()> variantHook;
std::function<void()> saveHook;

// An integer read from section Main, held to [lo, hi]: clamped into the
// range, or replaced by the default when no value outside is meaningful.
enum class OutOfRange { Clamp, Default };

int ReadRanged(const TIniFile& ini, const char* key, int def, int lo, int hi, OutOfRange policy) {
  const int v = ini.ReadInteger(kMain, key, def);
  if (v >= lo && v <= hi) return v;
  return policy == OutOfRange::Clamp ? std::clamp(v, lo, hi) : def;
}

// A text of section Main where an empty value means the default (a server
// address cannot be empty).
std::string ReadNonEmpty(const TIniFile& ini, const char* key, const char* def) {
  std::string v = ini.ReadString(kMain, key, def);
  return v.empty() ? def : v;
}

std::function<void()> Hook(const std::function<void()>& which) {
  std::lock_guard<std::mutex> guard(hookLock);
  return which;
}

std::string DefaultDatabase() { return DataFolder + "Bases/Example.abd"; }

void ResetEngineOpts() {
  for (int slot = 0; slot <= kVariantCount; ++slot) {
    TEngineOpt& o = EngineOpts[slot];
    o.EngineName = "Analytic.eng";
    o.UseBook = true;
    o.Book = DataFolder + "Books/" + VariantTable[slot].Name + ".cbk";
    o.UserRating = 2000;
    o.GamesPlayed = 0;
  }
}

void SetFixedValues() {
  Settings.HashSizeMB = 128;
  Settings.EDMemoryMB = 1200;
  Settings.HashFileSizeMB = 8;
  Settings.BookLevel = 1;
  Settings.BookMaxMoveNo = 15;
  Settings.BookMinPieces = 12;
  Settings.CaptureSeparator.assign(1, 'x');
}

}  // namespace

std::string SettingsFilePath() { return DataFolder + "Quorlin Draughts.ini"; }

void ResetSettings() {
  TSettings& s = Settings;
  s.UserName = "User";
  s.BoardName = "Default";
  s.PiecesName = "Default";
  s.WhitePiecesName = "White";
  s.BlackPiecesName = "Black";
  s.Database = DefaultDatabase();
  s.DBShowFrom = 0;
  s.DBCurPos = 1;
  s.DefTypeOfGame = kRussian;
  s.GameTime = 0;
  s.Highlightmoves = true;
  s.BrdSize = 100;
  s.AutoCapture = true;
  s.TurkOneColor = false;
  s.AlquerqueBoard = false;
  s.ThreadsCount = 0;
  s.Showcoords = false;
  s.SoundOn = true;
  s.TimeControlMin = 3;
  s.PoolStyle = 0;
  s.SpanishBlack = false;
  s.Mode = false;
  s.DownloadServer1 = kDefaultDownloadServer1;
  s.DownloadServer2 = kDefaultDownloadServer2;
  SetFixedValues();
  ResetEngineOpts();
}

void SetVariantSettingsHook(std::function<void()> hook) {
  std::lock_guard<std::mutex> guard(hookLock);
  variantHook = std::move(hook);
}

void SetSaveSettingsHook(std::function<void()> hook) {
  std::lock_guard<std::mutex> guard(hookLock);
  saveHook = std::move(hook);
}

void ApplyVariantSettings() {
  auto& pool = VariantTable[kPool].intface;
  switch (Settings.PoolStyle) {
    case 1:  // Jamaican
      pool.WhiteStart = false, pool.BoardMirrored = true, pool.Notation = 2;
      break;
    case 2:  // Unified
      pool.WhiteStart = true, pool.BoardMirrored = false, pool.Notation = 0;
      break;
    default:  // Classic
      pool.WhiteStart = false, pool.BoardMirrored = false, pool.Notation = 2;
      break;
  }
  VariantTable[kSpanish].intface.PlayOnWhite = !Settings.SpanishBlack;
  // The Brazilian slot holds FlipBoard itself; nothing to copy.
  if (auto hook = Hook(variantHook)) hook();
}

std::vector<TIniWarning> LoadSettings(const std::function<void()>& afterDatabase) {
  ResetSettings();
  TSettings& s = Settings;
  const std::string path = SettingsFilePath();

  TIniFile ini;
  std::vector<TIniWarning> warnings = ini.Load(path);
  if (!warnings.empty()) {
    std::error_code ec;
    const std::string keep = path + ".bad";
    if (std::filesystem::exists(path, ec) &&
        std::filesystem::copy_file(path, keep, std::filesystem::copy_options::overwrite_existing, ec)) {
      WriteLog("Settings file damaged; a copy is kept in " + keep);
    }
    for (const TIniWarning& w : warnings) WriteLog("Settings: " + w.Text());
  }

  s.UserName = ini.ReadString(kMain, "UserName", "User");
  s.BoardName = ini.ReadString(kMain, "BoardName", "Default");
  s.PiecesName = ini.ReadString(kMain, "PiecesName", "Default");
  s.WhitePiecesName = ini.ReadString(kMain, "WhitePiecesName", "White");
  s.BlackPiecesName = ini.ReadString(kMain, "BlackPiecesName", "Black");
  s.Database = ini.ReadString(kMain, "Database", DefaultDatabase());
  if (afterDatabase) afterDatabase();

  s.DBShowFrom = ReadRanged(ini, "DBShowFrom", 0, 0, INT_MAX, OutOfRange::Clamp);
  s.DBCurPos = ReadRanged(ini, "DBCurPos", 1, 0, INT_MAX, OutOfRange::Clamp);
  s.DefTypeOfGame = ReadRanged(ini, "DefTypeOfGame", kRussian, 1, kVariantCount, OutOfRange::Default);
  s.GameTime = ReadRanged(ini, "GameTime", 0, 0, 1, OutOfRange::Default);
  s.Highlightmoves = ini.ReadBool(kMain, "Highlightmoves", true);
  s.BrdSize = ReadRanged(ini, "BrdSize", 100, 70, 100, OutOfRange::Clamp);
  s.AutoCapture = ini.ReadBool(kMain, "AutoCapture", true);
  s.TurkOneColor = ini.ReadBool(kMain, "TurkOneColor", false);
  s.AlquerqueBoard = ini.ReadBool(kMain, "AlquerqueBoard", false);
  s.ThreadsCount = ReadRanged(ini, "ThreadsCount", 0, 0, 255, OutOfRange::Clamp);
  s.Showcoords = ini.ReadBool(kMain, "Showcoords", false);
  s.SoundOn = ini.ReadBool(kMain, "SoundOn", true);
  s.TimeControlMin = ReadRanged(ini, "TimeControlMin", 3, 1, 10000, OutOfRange::Clamp);
  s.PoolStyle = ReadRanged(ini, "PoolStyle", 0, 0, 2, OutOfRange::Default);
  s.SpanishBlack = ini.ReadBool(kMain, "SpanishBlack", false);
  VariantTable[kBrazilian].intface.BoardMirrored = ini.ReadBool(kMain, "FlipBoard", false);
  ForcePhilippinesNotation = ini.ReadBool(kMain, "ForcePhilippinesNotation", false);
  s.DownloadServer1 = ReadNonEmpty(ini, "DownloadServer1", kDefaultDownloadServer1);
  s.DownloadServer2 = ReadNonEmpty(ini, "DownloadServer2", kDefaultDownloadServer2);

  ApplyVariantSettings();

  s.Mode = ini.ReadBool(kMain, "Mode", false);

  SetFixedValues();
  // Pool starts with its numeric notation whatever the style; choosing a style
  // in the settings window applies the style's own notation.
  VariantTable[kPool].intface.Notation = 2;

  for (int slot = 0; slot <= kVariantCount; ++slot) {
    TEngineOpt& o = EngineOpts[slot];
    const std::string& name = VariantTable[slot].Name;
    o.EngineName = "Analytic.eng";
    o.UseBook = true;
    o.Book = DataFolder + "Books/" + name + ".cbk";
    o.UserRating = ini.ReadInteger(kEngines, "UserRating" + name, 2000);
    o.GamesPlayed = std::max(0, ini.ReadInteger(kEngines, "GamesPlayed" + name, 0));
  }

  std::lock_guard<std::mutex> guard(fileLock);
  settingsFile = std::move(ini);
  settingsFile.SetFileName(path);
  return warnings;
}

bool SaveSettings() {
  if (auto hook = Hook(saveHook)) hook();
  const TSettings& s = Settings;

  std::lock_guard<std::mutex> guard(fileLock);
  TIniFile& ini = settingsFile;
  if (const std::string path = SettingsFilePath(); ini.FileName() != path) {
    // Saved without a LoadSettings for this file: start from what is on disk
    // so that keys the program does not know are not lost.
    for (const TIniWarning& w : ini.Load(path)) WriteLog("Settings: " + w.Text());
  }
  ini.WriteString(kMain, "UserName", s.UserName);
  ini.WriteString(kMain, "BoardName", s.BoardName);
  ini.WriteString(kMain, "PiecesName", s.PiecesName);
  ini.WriteString(kMain, "WhitePiecesName", s.WhitePiecesName);
  ini.WriteString(kMain, "BlackPiecesName", s.BlackPiecesName);
  ini.WriteString(kMain, "Database", s.Database);
  ini.WriteInteger(kMain, "DefTypeOfGame", s.DefTypeOfGame);
  ini.WriteInteger(kMain, "DBShowFrom", s.DBShowFrom);
  ini.WriteInteger(kMain, "DBCurPos", s.DBCurPos);
  ini.WriteInteger(kMain, "GameTime", s.GameTime);
  ini.WriteBool(kMain, "Highlightmoves", s.Highlightmoves);
  ini.WriteInteger(kMain, "BrdSize", s.BrdSize);
  ini.WriteBool(kMain, "AutoCapture", s.AutoCapture);
  ini.WriteBool(kMain, "TurkOneColor", s.TurkOneColor);
  ini.WriteBool(kMain, "Showcoords", s.Showcoords);
  ini.WriteBool(kMain, "SoundOn", s.SoundOn);
  ini.WriteInteger(kMain, "TimeControlMin", s.TimeControlMin);
  ini.WriteBool(kMain, "Mode", s.Mode);
  ini.WriteInteger(kMain, "ThreadsCount", s.ThreadsCount);
  ini.WriteBool(kMain, "AlquerqueBoard", s.AlquerqueBoard);
  ini.WriteInteger(kMain, "PoolStyle", s.PoolStyle);
  ini.WriteBool(kMain, "SpanishBlack", s.SpanishBlack);
  ini.WriteBool(kMain, "FlipBoard", VariantTable[kBrazilian].intface.BoardMirrored);
  ini.WriteBool(kMain, "ForcePhilippinesNotation", ForcePhilippinesNotation);
  ini.WriteString(kMain, "DownloadServer1", s.DownloadServer1);
  ini.WriteString(kMain, "DownloadServer2", s.DownloadServer2);
  for (int slot = 0; slot <= kVariantCount; ++slot) {
    const std::string& name = VariantTable[slot].Name;
    ini.WriteInteger(kEngines, "UserRating" + name, EngineOpts[slot].UserRating);
    ini.WriteInteger(kEngines, "GamesPlayed" + name, EngineOpts[slot].GamesPlayed);
  }

  std::string error;
  if (!ini.UpdateFile(&error)) {
    WriteLog("Settings not saved: " + error);
    return false;
  }
  return true;
}

}  // namespace quorlin
