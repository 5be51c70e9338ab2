// quorlin db: game databases from the command line: create one, look into it
// (info, list, check, search, show a game) and change it (mark games deleted or
// not, compact the index).
#include <algorithm>
#include <array>
#include <cstdio>
#include <string>

#include "games/database.h"
#include "games/dbcheck.h"
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

// Status of a command whose argument names no database or no game in it.
constexpr int kNoSuchThing = 2;

// The words of a subcommand taking the database and `more` positional words
// (`what` names them all for the error).
TArgs SubArgs(const Args& words, size_t min, size_t max, const std::string& what) {
  TArgs args(words, {}, {}, 1);
  args.ExpectPositionals(min, max, what);
  return args;
}

// Opens the database named by the first positional word; 0 when it is open,
// else the status to exit with (a database that is not there is the caller's
// mistake: 2). A warning (a database a crash left incomplete) goes to
// standard error.
int Open(const TArgs& args, TQuorlinDB& db, bool readOnly = true) {
  const std::string& path = args.Positionals()[0];
  if (!DatabaseExists(path)) {
    PrintError("db", "\"" + path + "\": no such database (its .abd and .abm files do not both exist)");
    return kNoSuchThing;
  }
  if (!OpenDatabase(path, db, readOnly)) {
    PrintError("db", "cannot open \"" + path + "\": " + db.LastError);
    return 1;
  }
  if (!db.Warning.empty()) PrintError("db", "warning: " + db.Warning);
  return 0;
}

// The game number given after the database; 0 (after saying so) when the
// database has no such game.
int GameNumber(const TArgs& args, const TQuorlinDB& db) {
  const long long n = ParseCount(args.Positionals()[1], "game number", 1LL << 31);
  if (n >= 1 && n <= db.DBSize) return static_cast<int>(n);
  PrintError("db", "there is no game " + std::to_string(n) + " in \"" + args.Positionals()[0] + "\": it holds " +
                       std::to_string(db.DBSize) + " game" + (db.DBSize == 1 ? "" : "s"));
  return 0;
}

int Info(const Args& words) {
  const TArgs args = SubArgs(words, 1, 1, "a database file");
  TQuorlinDB db;
  if (const int status = Open(args, db)) return status;
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
  const TArgs args = SubArgs(words, 1, 3, "a database file");
  const Args& positional = args.Positionals();
  const long long from = positional.size() > 1 ? ParseCount(positional[1], "first game", 1LL << 31) : 1;
  TQuorlinDB db;
  if (const int status = Open(args, db)) return status;
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
  const TArgs args = SubArgs(words, 1, 1, "a database file");
  TQuorlinDB db;
  if (const int status = Open(args, db)) return status;
  TDBCheckReport report;
  CheckDatabase(db, report);
  for (const std::string& p : report.problems) std::printf("%s\n", p.c_str());
  std::printf("%d games, %d unreadable, %d referring to names the names file lacks\n", report.games,
              report.unreadable, report.lostNames);
  return report.Clean() ? 0 : 1;
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
  if (const int status = Open(args, db)) return status;
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

int Create(const Args& words) {
  const TArgs args = SubArgs(words, 1, 1, "a database file");
  const std::string& path = args.Positionals()[0];
  TQuorlinDB db;
  if (!CreateDatabase(path, db, kDBVersion38)) {
    PrintError("db", "cannot create \"" + path + "\": " + db.LastError);
    return 1;
  }
  std::printf("created %s, %s and %s (empty, version 38)\n", db.DBNameIdx.c_str(), db.DBNameMain.c_str(),
              db.DBNameNames.c_str());
  return CloseDatabase(db) ? 0 : 1;
}

// "Title" of a player: name, then title and rating where given.
std::string PlayerText(const std::string& name, const TPlayerRecord& p) {
  static const char* const kTitles[] = {"", "IG", "G", "IM", "M", "C", "1", "2", "3", "4"};
  std::string s = name;
  if (p.Title >= 1 && p.Title <= 9) s += ", " + std::string(kTitles[p.Title]);
  if (p.Rating) s += ", " + std::to_string(p.Rating);
  return s;
}

void ShowHeader(const TGame& g, int n, const TQuorlinDB& db) {
  const TGameHeader& h = g.Header;
  // The first mover is called Black in some variants (English, Pool).
  const bool firstIsBlack = !g.Params.intface.WhiteStart;
  auto line = [](const char* label, const std::string& text) {
    if (!text.empty()) std::printf("%-11s %s\n", label, text.c_str());
  };
  line("Game:", std::to_string(n) + " of " + std::to_string(db.DBSize) + " in " + db.DBNameIdx +
                    ((h.Flags & kHeaderFlagDeleted) ? " (marked deleted)" : ""));
  line(firstIsBlack ? "Black:" : "White:", PlayerText(g.WhiteName, h.White));
  line(firstIsBlack ? "White:" : "Black:", PlayerText(g.BlackName, h.Black));
  line("Event:", g.Tournament);
  line("Site:", g.Site);
  char date[16];
  std::snprintf(date, sizeof date, "%04d-%02d-%02d", h.Date.Year, h.Date.Month, h.Date.Day);
  if (h.Date.Year || h.Date.Month || h.Date.Day) line("Date:", date);
  if (h.Round || h.Subround) {
    std::string round = std::to_string(h.Round);
    if (h.Subround) round += '.' + std::to_string(h.Subround);
    line("Round:", round);
  }
  line("Result:", ResultText(h.Result));
  line("Variant:", h.TypeOfGame == 0 ? "custom (" + g.Params.Name + ")" : VariantName(h.TypeOfGame));
  line("Annotator:", g.AnnotatorName);
  line("Opening:", g.Comments[0].CommentBef);
  if (g.StartBoard != StartPosition(g.Params, true) || h.FirstMove != TDColor::white)
    line("Position:", WriteFEN(g.Params, g.StartBoard, static_cast<int>(h.FirstMove)));
  if (h.Medals & 1) line("Problem:", "yes");
  line("Flags:", FlagLetters(h.Flags) + ", " + std::to_string(h.GameLength) + " moves");
}

int Show(const Args& words) {
  const TArgs args = SubArgs(words, 2, 2, "a database file and a game number");
  TQuorlinDB db;
  if (const int status = Open(args, db)) return status;
  const int n = GameNumber(args, db);
  if (n == 0) return kNoSuchThing;
  TGame game;
  if (!ReadGame(db, n, false, -1, game)) {
    PrintError("db", db.LastError);
    return 1;
  }
  ShowHeader(game, n, db);
  const std::string moves = GameMoveText(game, TMarkForm::symbols);
  std::printf("\n%s%s%s\n", moves.c_str(), moves.empty() ? "" : " ", ResultText(game.Header.Result));
  return 0;
}

// db delete|undelete DB N: sets or clears the deleted mark of game N.
int Mark(const Args& words, bool deleted) {
  const TArgs args = SubArgs(words, 2, 2, "a database file and a game number");
  TQuorlinDB db;
  if (const int status = Open(args, db, /*readOnly=*/false)) return status;
  const int n = GameNumber(args, db);
  if (n == 0) return kNoSuchThing;
  if (!SetDeletedMark(db, n, deleted ? 2 : 1) || !CloseDatabase(db)) {
    PrintError("db", db.LastError);
    return 1;
  }
  std::printf("game %d %s\n", n, deleted ? "marked deleted" : "no longer marked deleted");
  return 0;
}

int Compact(const Args& words) {
  const TArgs args = SubArgs(words, 1, 1, "a database file");
  TQuorlinDB db;
  if (const int status = Open(args, db, /*readOnly=*/false)) return status;
  const int before = db.DBSize;
  if (!CompactIndex(db)) {
    PrintError("db", db.LastError);
    return 1;
  }
  const int after = db.DBSize;
  if (!CloseDatabase(db)) {
    PrintError("db", db.LastError);
    return 1;
  }
  std::printf("%d games marked deleted removed from the index, %d games remain%s\n", before - after, after,
              before != after ? " (the games after the first one removed have new numbers)" : "");
  return 0;
}

int Db(const Args& args) {
  if (args.empty()) throw UsageError{"expected a subcommand and a database file"};
  const std::string& sub = args[0];
  if (sub == "info") return Info(args);
  if (sub == "list") return List(args);
  if (sub == "check") return Check(args);
  if (sub == "search") return Search(args);
  if (sub == "create") return Create(args);
  if (sub == "show") return Show(args);
  if (sub == "delete" || sub == "undelete") return Mark(args, sub == "delete");
  if (sub == "compact") return Compact(args);
  throw UsageError{"unknown subcommand \"" + sub +
                   "\": expected create, info, list, check, search, show, delete, undelete or compact"};
}

Command db("db",
           "db create|info|check|compact DB.abd | db list DB.abd [FIRST [COUNT]] | "
           "db show|delete|undelete DB.abd N | db search DB.abd [--white TEXT] [--black TEXT] "
           "[--tournament TEXT] [--site TEXT] [--annotator TEXT] [--year A-B] [--moves A-B] "
           "[--result CODES] [--ignore-colors] [--fen FEN [--variant V]]",
           "game databases: create one, summary, game list, full check, search, show a game, mark games "
           "deleted or not, compact the index (drops the games marked deleted)",
           Db);

}  // namespace
}  // namespace quorlin::cli
