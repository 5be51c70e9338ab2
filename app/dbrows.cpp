#include "app/dbrows.h"

#include <cstdio>
#include <filesystem>

namespace quorlin {

const char* TitleText(int title) {
  static const char* const kTitles[] = {"", "IG", "G", "IM", "M", "C", "1", "2", "3", "4"};
  return title >= 0 && title <= 9 ? kTitles[title] : "";
}

std::string TitleRatingText(int title, int rating) {
  std::string text;
  if (title >= 1 && title <= 9) {
    text = std::string(" ") + TitleText(title);
    if (rating != 0) text += ",";
  }
  if (rating != 0) text += " " + std::to_string(rating);
  return text;
}

std::string DateText(const TDateRecord& date, bool narrow) {
  if (narrow) return date.Year != 0 ? std::to_string(date.Year) : std::string();
  if (date.Year == 0 && date.Month == 0 && date.Day == 0) return {};
  char buf[32];
  if (date.Month == 0 && date.Day == 0) {
    std::snprintf(buf, sizeof buf, "%04u", static_cast<unsigned>(date.Year));
  } else {
    std::snprintf(buf, sizeof buf, "%04u.%02u.%02u", static_cast<unsigned>(date.Year),
                  static_cast<unsigned>(date.Month), static_cast<unsigned>(date.Day));
  }
  return buf;
}

std::string FlagsText(uint8_t flags) {
  std::string text;
  if (flags & kHeaderFlagStartOther)
    text += 'P';
  else if (flags & kHeaderFlagStartFullSet)
    text += 'p';
  if (flags & kHeaderFlagManyVariations)
    text += 'V';
  else if (flags & kHeaderFlagFewVariations)
    text += 'v';
  if (flags & kHeaderFlagManyComments)
    text += 'C';
  else if (flags & kHeaderFlagSomeComments)
    text += 'c';
  return text;
}

std::string EventText(const TGameHeader& h, const TQuorlinDB& db) {
  std::string text = TournamentAt(h.TournamentIndex, db);
  const std::string site = SiteAt(h.SiteIndex, db);
  if (!site.empty()) text += (text.empty() ? "" : ", ") + site;
  if (h.Round != 0) {
    text += " [" + std::to_string(h.Round);
    if (h.Subround != 0) text += "." + std::to_string(h.Subround);
    text += "]";
  }
  const std::string annotator = NameAt(h.AnnotatorIndex, db);
  if (!annotator.empty()) text += " (" + annotator + ")";
  return text;
}

TDBRowText RowText(int game, const TGameHeader& h, const TQuorlinDB& db, bool narrow) {
  TDBRowText row;
  row.game = game;
  row.white = std::to_string(game) + " " + NameAt(h.White.NameIndex, db);
  row.whiteTitle = TitleRatingText(h.White.Title, h.White.Rating);
  row.black = " \u2014 " + NameAt(h.Black.NameIndex, db);
  row.blackTitle = TitleRatingText(h.Black.Title, h.Black.Rating);
  row.event = EventText(h, db);
  row.date = DateText(h.Date, narrow);
  row.result = ResultText(h.Result);
  row.length = std::to_string(h.GameLength) + (h.GameLength == 255 ? "+" : "");
  row.flags = FlagsText(h.Flags);
  row.deleted = (h.Flags & kHeaderFlagDeleted) != 0;
  return row;
}

bool ReadDBRow(TQuorlinDB& db, int game, bool narrow, TDBRowText& row) {
  TGameHeader h;
  if (!ReadIndexRecord(db, game, h)) {
    row = TDBRowText{};
    row.game = game;
    row.white = std::to_string(game);
    return false;
  }
  row = RowText(game, h, db, narrow);
  return true;
}

std::string ListHeaderText(const TQuorlinDB& db, int count, bool searchResult) {
  if (!db.DBOpened) return "n/a";
  std::string n = std::to_string(count);
  if (searchResult) n += "/" + std::to_string(db.DBSize);
  return std::filesystem::path(db.DBNameIdx).stem().string() + " [" + n + "]";
}

}  // namespace quorlin
