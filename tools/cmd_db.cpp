// quorlin db info|list|check|search FILE: a look into a game database without changing it.
#include <algorithm>
#include <array>
#include <cstdio>
#include <string>

#include "games/database.h"
#include "games/dbsearch.h"
#include "games/gamerecord.h"
#include "games/pdnfile.h"
#include "rules/fen.h"
#include "rules/variants.h"
#include "tools/command.h"

namespace quorlin::cli {
namespace {

// The letters the database list shows for the summary flags.
std::string FlagLetters(uint8_t flags) {
  std::string s;
  const int start = flags & kHeaderFlagStartMask;
  s += start == 1 ? 'p' : start == 2 ? 'P' : '-';
  s += (flags & kHeaderFlagManyVariations) ? 'V' : (flags & kHeaderFlagFewVariations) ? 'v' : '-';
  s += (flags & kHeaderFlagManyComments) ? 'C' : (flags & kHeaderFlagSomeComments) ? 'c' : '-';
  s += (flags & kHeaderFlagDeleted) ? 'D' : '-';
  return s;
}

std::string VariantName(int type) {
  if (type == 0) return "custom";
  if (type <= kVariantCount) return VariantTable[type].Name;
  return "variant " + std::to_string(type);
}

bool Open(const Args& args, TQuorlinDB& db) {
  if (OpenDatabase(args[1], db, /*readOnly=*/true)) return true;
  std::fprintf(stderr, "quorlin db: cannot open \"%s\": %s\n", args[1].c_str(), db.LastError.c_str());
  return false;
}

int Info(const Args& args) {
  TQuorlinDB db;
  if (!Open(args, db)) return 1;
  int deleted = 0, unreadable = 0;
  TGameHeader h;
  for (int n = 1; n <= db.DBSize; ++n) {
    if (!ReadIndexRecord(db, n, h))
      ++unreadable;
    else if (h.Flags & kHeaderFlagDeleted)
      ++deleted;
  }
  int64_t mainSize = 0;
  std::string err;
  db.DBMain.Size(mainSize, err);
  std::printf("index file:   %s\n", db.DBNameIdx.c_str());
  std::printf("version:      %d\n", db.DBType);
  std::printf("games:        %d (%d marked deleted)\n", db.DBSize, deleted);
  if (unreadable) std::printf("unreadable:   %d index records\n", unreadable);
  std::printf("names:        %d players, %d tournaments, %d sites\n", db.DBNames.Count(), db.DBTourn.Count(),
              db.DBSites.Count());
  std::printf("games file:   %lld bytes\n", static_cast<long long>(mainSize));
  return 0;
}

int List(const Args& args) {
  TQuorlinDB db;
  if (!Open(args, db)) return 1;
  const long long from = args.size() > 2 ? ParseCount(args[2], "first game", 1LL << 31) : 1;
  const long long count = args.size() > 3 ? ParseCount(args[3], "count", 1LL << 31) : db.DBSize;
  TGameHeader h;
  for (long long n = std::max(1LL, from); n <= db.DBSize && n < from + count; ++n) {
    if (!ReadIndexRecord(db, static_cast<int>(n), h)) {
      std::printf("%6lld  %s\n", n, db.LastError.c_str());
      continue;
    }
    char date[16];
    std::snprintf(date, sizeof date, "%04d-%02d-%02d", h.Date.Year, h.Date.Month, h.Date.Day);
    std::printf("%6lld  %s  %s - %s  %s  %s  %s  %s  %s  %d\n", n, FlagLetters(h.Flags).c_str(),
                NameAt(h.White.NameIndex, db).c_str(), NameAt(h.Black.NameIndex, db).c_str(),
                ResultText(h.Result), TournamentAt(h.TournamentIndex, db).c_str(),
                SiteAt(h.SiteIndex, db).c_str(), date, VariantName(h.TypeOfGame).c_str(), h.GameLength);
  }
  return 0;
}

int Check(const Args& args) {
  TQuorlinDB db;
  if (!Open(args, db)) return 1;
  TGame game;
  int bad = 0;
  for (int n = 1; n <= db.DBSize; ++n) {
    if (ReadGame(db, n, false, -1, game)) continue;
    ++bad;
    std::printf("%s\n", db.LastError.c_str());
  }
  std::printf("%d games, %d unreadable\n", db.DBSize, bad);
  return bad ? 1 : 0;
}

// "A-B" (either side may be empty) as an inclusive range.
void ParseRange(const std::string& text, const std::string& what, int& lo, int& hi) {
  const size_t dash = text.find('-');
  if (dash == std::string::npos) {
    lo = hi = static_cast<int>(ParseCount(text, what, 65535));
    return;
  }
  const std::string a = text.substr(0, dash), b = text.substr(dash + 1);
  if (!a.empty()) lo = static_cast<int>(ParseCount(a, what, 65535));
  if (!b.empty()) hi = static_cast<int>(ParseCount(b, what, 65535));
}

// Result codes given by number (0..5) or text ("2-0", "1-1", "0-2t", "*"), comma separated.
void ParseResults(const std::string& text, std::array<bool, kResultCount>& accepted) {
  accepted.fill(false);
  size_t p = 0;
  while (p <= text.size()) {
    size_t comma = text.find(',', p);
    if (comma == std::string::npos) comma = text.size();
    const std::string item = text.substr(p, comma - p);
    p = comma + 1;
    bool known = false;
    for (int code = 0; code < kResultCount; ++code) {
      if (item == ResultText(code) || item == std::to_string(code)) {
        accepted[code] = true;
        known = true;
      }
    }
    if (!known)
      throw UsageError{"unknown result \"" + item + "\" (use 0..5 or *, 2-0, 1-1, 0-2, 2-0t, 0-2t)"};
  }
}

int Search(const Args& args) {
  TQuorlinDB db;
  if (!Open(args, db)) return 1;
  TSearchInfo info;
  std::string fen;
  int variant = 0;
  for (size_t i = 2; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (a == "--ignore-colors") {
      info.ignorecol = true;
      continue;
    }
    if (i + 1 >= args.size()) throw UsageError{"\"" + a + "\" needs a value"};
    const std::string& v = args[++i];
    if (a == "--white")
      info.name[0] = FoldCase(v);
    else if (a == "--black")
      info.name[1] = FoldCase(v);
    else if (a == "--tournament")
      info.tourn = FoldCase(v);
    else if (a == "--site")
      info.site = FoldCase(v);
    else if (a == "--annotator")
      info.annot = FoldCase(v);
    else if (a == "--year")
      ParseRange(v, "year", info.yearstart, info.yearend);
    else if (a == "--moves")
      ParseRange(v, "moves", info.movestart, info.moveend);
    else if (a == "--result")
      ParseResults(v, info.rescheck);
    else if (a == "--fen")
      fen = v;
    else if (a == "--variant")
      variant = ParseVariantArg(v);
    else
      throw UsageError{"unknown option \"" + a + "\""};
  }
  const bool positionSearch = !fen.empty();
  TDColor side = TDColor::white;
  int boardSize = 0;
  if (positionSearch) {
    // The position is read in the variant given, else in that of the first game.
    TGameHeader h;
    if (variant == 0 && db.DBSize > 0 && ReadIndexRecord(db, 1, h) && h.TypeOfGame >= 1 &&
        h.TypeOfGame <= kVariantCount)
      variant = h.TypeOfGame;
    if (variant == 0) variant = kInternational;
    int s = 0;
    std::string normal, error;
    if (!NormalizeFEN(VariantTable[variant], fen, normal, error)) throw UsageError{"--fen: " + error};
    ParseFEN(VariantTable[variant], normal, info.brdsearch, s);
    side = s ? TDColor::black : TDColor::white;
    boardSize = VariantTable[variant].compute.BoardSize;
  }
  TDBList list;
  SearchDatabase(db, info, positionSearch, side, boardSize, list);
  TGameHeader h;
  for (int i = 1; i <= list.count; ++i) {
    const TDBListRec& r = list.items[i];
    if (!ReadIndexRecord(db, r.num, h)) continue;
    std::printf("%6d  node %-5d  %s - %s  %s  %s  %d\n", r.num, r.gotomove,
                NameAt(h.White.NameIndex, db).c_str(), NameAt(h.Black.NameIndex, db).c_str(),
                ResultText(h.Result), TournamentAt(h.TournamentIndex, db).c_str(), h.Date.Year);
  }
  std::printf("%d of %d games match\n", list.count, db.DBSize);
  return 0;
}

int Db(const Args& args) {
  if (args.size() < 2) throw UsageError{"expected a subcommand and a database file"};
  if (args[0] == "info" && args.size() == 2) return Info(args);
  if (args[0] == "list" && args.size() <= 4) return List(args);
  if (args[0] == "check" && args.size() == 2) return Check(args);
  if (args[0] == "search") return Search(args);
  throw UsageError{"unknown subcommand or wrong arguments"};
}

Command db("db",
           "db info|check FILE.abd | db list FILE.abd [FIRST [COUNT]] | db search FILE.abd [--white TEXT] "
           "[--black TEXT] [--tournament TEXT] [--site TEXT] [--annotator TEXT] [--year A-B] [--moves A-B] "
           "[--result CODES] [--ignore-colors] [--fen FEN [--variant V]]",
           "summary, game list, full read check or search of a game database (read only)", Db);

}  // namespace
}  // namespace quorlin::cli
