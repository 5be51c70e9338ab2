// quorlin db info|list|check FILE: a look into a game database without changing it.
#include <algorithm>
#include <cstdio>
#include <string>

#include "games/database.h"
#include "games/gamerecord.h"
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

int Db(const Args& args) {
  if (args.size() < 2) throw UsageError{"expected a subcommand and a database file"};
  if (args[0] == "info" && args.size() == 2) return Info(args);
  if (args[0] == "list" && args.size() <= 4) return List(args);
  if (args[0] == "check" && args.size() == 2) return Check(args);
  throw UsageError{"unknown subcommand or wrong arguments"};
}

Command db("db", "db info|check FILE.abd | db list FILE.abd [FIRST [COUNT]]",
           "summary, game list or full read check of a game database (read only)", Db);

}  // namespace
}  // namespace quorlin::cli
