#include "app/gameinfoform.h"

#include <charconv>

#include "common/text.h"

namespace quorlin {

namespace {

// Characters of a UTF-8 text (continuation bytes not counted).
int CharacterCount(const std::string& text) {
  int n = 0;
  for (const unsigned char c : text) n += (c & 0xC0) != 0x80 ? 1 : 0;
  return n;
}

std::string Trimmed(const std::string& s) { return std::string(TrimView(s, " \t")); }

// A whole number 0..max typed in a box; an empty box is 0.
bool ParseWhole(const char* field, const std::string& typed, int max, int& value, std::string& error) {
  const std::string text = Trimmed(typed);
  if (text.empty()) {
    value = 0;
    return true;
  }
  long long v = 0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), v);
  if (ec != std::errc() || end != text.data() + text.size()) {
    error = std::string(field) + ": \"" + typed + "\" is not a whole number.";
    return false;
  }
  if (v < 0 || v > max) {
    error = std::string(field) + ": " + text + " lies outside 0.." + std::to_string(max) + ".";
    return false;
  }
  value = static_cast<int>(v);
  return true;
}

bool CheckName(const char* field, const std::string& name, std::string& error) {
  const int n = CharacterCount(name);
  if (n <= kMaxNameLength) return true;
  error = std::string(field) + ": the name is too long for the names file (" + std::to_string(n) +
          " characters; at most " + std::to_string(kMaxNameLength) + ").";
  return false;
}

bool CheckChoice(const char* field, int value, int max, std::string& error) {
  if (value >= 0 && value <= max) return true;
  error = std::string(field) + ": " + std::to_string(value) + " lies outside 0.." + std::to_string(max) + ".";
  return false;
}

std::string NumberText(int v) { return v != 0 ? std::to_string(v) : std::string(); }

}  // namespace

TGameInfoForm GameInfoFromGame(const TGame& game, const TQuorlinDB& db) {
  TGameInfoForm f;
  const TGameHeader& h = game.Header;
  f.white = game.WhiteName;
  f.black = game.BlackName;
  f.whiteElo = NumberText(h.White.Rating);
  f.blackElo = NumberText(h.Black.Rating);
  f.whiteTitle = h.White.Title <= 9 ? h.White.Title : 0;
  f.blackTitle = h.Black.Title <= 9 ? h.Black.Title : 0;
  f.tournament = game.Tournament;
  f.round = NumberText(h.Round);
  f.subround = NumberText(h.Subround);
  f.site = game.Site;
  f.day = h.Date.Day;
  f.month = h.Date.Month;
  f.year = h.Date.Year;
  f.result = h.Result < kResultCount ? h.Result : 0;
  f.annotator = game.AnnotatorName;
  f.replaceShown = game.DBGameNo != 0 && !game.DBName.empty() && db.DBOpened && game.DBName == db.DBNameMain;
  f.replace = f.replaceShown;
  f.replaceText = f.replaceShown ? "# " + std::to_string(game.DBGameNo) : std::string();
  return f;
}

bool CheckGameInfo(const TGameInfoForm& f, std::string& error) {
  int v = 0;
  return CheckName("White", f.white, error) && CheckName("Black", f.black, error) &&
         CheckName("Tournament", f.tournament, error) && CheckName("Site", f.site, error) &&
         CheckName("Annotator", f.annotator, error) && ParseWhole("White elo", f.whiteElo, kMaxRating, v, error) &&
         ParseWhole("Black elo", f.blackElo, kMaxRating, v, error) &&
         ParseWhole("Round", f.round, kMaxRound, v, error) &&
         ParseWhole("Subround", f.subround, kMaxRound, v, error) && CheckChoice("Day", f.day, kMaxDay, error) &&
         CheckChoice("Month", f.month, kMaxMonth, error) && CheckChoice("Year", f.year, kMaxYear, error) &&
         CheckChoice("Result", f.result, kResultCount - 1, error) &&
         CheckChoice("White title", f.whiteTitle, 9, error) && CheckChoice("Black title", f.blackTitle, 9, error);
}

void ApplyGameInfo(const TGameInfoForm& f, TGame& game) {
  std::string unused;
  int v = 0;
  TGameHeader& h = game.Header;
  game.WhiteName = f.white;
  game.BlackName = f.black;
  h.White.Rating = static_cast<uint16_t>(ParseWhole("", f.whiteElo, kMaxRating, v, unused) ? v : 0);
  h.Black.Rating = static_cast<uint16_t>(ParseWhole("", f.blackElo, kMaxRating, v, unused) ? v : 0);
  h.White.Title = static_cast<uint8_t>(f.whiteTitle);
  h.Black.Title = static_cast<uint8_t>(f.blackTitle);
  game.Tournament = f.tournament;
  game.Site = f.site;
  game.AnnotatorName = f.annotator;
  h.Round = ParseWhole("", f.round, kMaxRound, v, unused) ? v : 0;
  h.Subround = ParseWhole("", f.subround, kMaxRound, v, unused) ? v : 0;
  h.Result = static_cast<uint8_t>(f.result);
  h.Date = TDateRecord{static_cast<uint8_t>(f.day), static_cast<uint8_t>(f.month), static_cast<uint16_t>(f.year)};
}

void ClearGameInfo(TGame& game) {
  game.WhiteName.clear();
  game.BlackName.clear();
  game.Tournament.clear();
  game.Site.clear();
  game.AnnotatorName.clear();
  TGameHeader& h = game.Header;
  h.White.Rating = h.Black.Rating = 0;
  h.White.Title = h.Black.Title = 0;
  h.Result = kResultNone;
  h.Date = TDateRecord{};
  h.Round = h.Subround = 0;
  game.DBGameNo = 0;
}

bool SaveGameInfo(const TGameInfoForm& form, TGame& game, TQuorlinDB& db, std::string& error) {
  if (!db.DBOpened) {
    error = kDatabaseNotOpenedInfoText;
    return false;
  }
  if (!CheckGameInfo(form, error)) return false;
  TGame copy = game;
  ApplyGameInfo(form, copy);
  const bool replace = form.replace && copy.DBGameNo != 0 && copy.DBName == db.DBNameMain;
  const int number = replace ? copy.DBGameNo : 0;
  if (!WriteGame(copy, number, db, /*saveNames=*/true)) {
    error = db.LastError.empty() ? "The game was not saved." : db.LastError;
    return false;
  }
  copy.Modified = false;
  const int records = IndexRecordCount(db);
  if (records >= 0) db.DBSize = records;
  copy.DBGameNo = replace ? number : db.DBSize;
  copy.DBName = db.DBNameMain;
  game = std::move(copy);
  return true;
}

}  // namespace quorlin
