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
#include "tools/args.h"
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

bool Open(const TArgs& args, TQuorlinDB& db) {
  const std::string& path = args.Positionals()[0];
  if (OpenDatabase(path, db, /*readOnly=*/true)) return true;
  PrintError("db", "cannot open \"" + path + "\": " + db.LastError);
  return false;
}

int Info(const Args& words) {
  const TArgs args(words, {}, {}, 1);
  args.ExpectPositionals(1, 1, "a database file");
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

int List(const Args& words) {
  const TArgs args(words, {}, {}, 1);
  args.ExpectPositionals(1, 3, "a database file");
  const Args& positional = args.Positionals();
  const long long from = positional.size() > 1 ? ParseCount(positional[1], "first game", 1LL << 31) : 1;
  TQuorlinDB db;
  if (!Open(args, db)) return 1;
  const long long count = positional.size() > 2 ? ParseCount(positional[2], "count", 1LL << 31) : db.DBSize;
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

int Check(const Args& words) {
  const TArgs args(words, {}, {}, 1);
  args.ExpectPositionals(1, 1, "a database file");
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

int Search(const Args& words) {
  const TArgs args(words,
                   {"--white", "--black", "--tournament", "--site", "--annotator", "--year", "--moves",
                    "--result", "--fen", "--variant"},
                   {"--ignore-colors"}, 1);
  args.ExpectPositionals(1, 1, "a database file");
  TSearchInfo info;
  info.ignorecol = args.Has("--ignore-colors");
  if (args.Has("--white")) info.name[0] = FoldCase(args.Text("--white"));
  if (args.Has("--black")) info.name[1] = FoldCase(args.Text("--black"));
  if (args.Has("--tournament")) info.tourn = FoldCase(args.Text("--tournament"));
  if (args.Has("--site")) info.site = FoldCase(args.Text("--site"));
  if (args.Has("--annotator")) info.annot = FoldCase(args.Text("--annotator"));
  if (args.Has("--year")) ParseRange(args.Text("--year"), "year", info.yearstart, info.yearend);
  if (args.Has("--moves")) ParseRange(args.Text("--moves"), "moves", info.movestart, info.moveend);
  if (args.Has("--result")) ParseResults(args.Text("--result"), info.rescheck);
  const std::string fen = args.Text("--fen");
  int variant = args.Variant("--variant", 0);
  TQuorlinDB db;
  if (!Open(args, db)) return 1;
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
  if (args.empty()) throw UsageError{"expected a subcommand and a database file"};
  if (args[0] == "info") return Info(args);
  if (args[0] == "list") return List(args);
  if (args[0] == "check") return Check(args);
  if (args[0] == "search") return Search(args);
  throw UsageError{"unknown subcommand \"" + args[0] + "\": expected info, list, check or search"};
}

Command db("db",
           "db info|check FILE.abd | db list FILE.abd [FIRST [COUNT]] | db search FILE.abd [--white TEXT] "
           "[--black TEXT] [--tournament TEXT] [--site TEXT] [--annotator TEXT] [--year A-B] [--moves A-B] "
           "[--result CODES] [--ignore-colors] [--fen FEN [--variant V]]",
           "summary, game list, full read check or search of a game database (read only)", Db);

}  // namespace
}  // namespace quorlin::cli
