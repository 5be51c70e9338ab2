// quorlin problems: makes problems whose solutions the endgame databases
// prove (exactly one winning move at each of the solver's turns) and appends
// them to a game database, or checks the problems of a database.
#include <cstdio>
#include <map>
#include <stdexcept>
#include <string>

#include "engine/endgamedb.h"
#include "engine/problemgen.h"
#include "games/database.h"
#include "rules/variants.h"
#include "tools/args.h"
#include "tools/command.h"

namespace quorlin::cli {
namespace {

std::shared_ptr<const TEndgameDb> LoadDatabases(int variant, const std::string& folder) {
  auto db = TEndgameDb::Load(variant, false, folder, TEdbCallbacks{});
  if (!db || db->FilesLoaded() == 0)
    throw std::runtime_error("no " + VariantTable[variant].Name + " endgame databases in \"" + folder +
                             "\" (quorlin egdb build " + VariantTable[variant].Name + " --out " + folder + ")");
  return db;
}

int Make(const Args& words) {
  const TArgs args(words, {"--ed", "--out", "--count", "--seed", "--min-moves"}, {}, 1);
  args.ExpectPositionals(1, 1, "VARIANT --ed FOLDER --out DB.abd");
  if (!args.Has("--ed")) throw UsageError{"missing --ed FOLDER"};
  if (!args.Has("--out")) throw UsageError{"missing --out DB.abd"};
  TProblemOptions o;
  const std::string ed = args.Text("--ed"), out = args.Text("--out");
  o.count = static_cast<int>(args.Count("--count", o.count, 0, 100000));
  o.seed = static_cast<uint64_t>(args.Count("--seed", static_cast<long long>(o.seed), 0, 9000000000000000000LL));
  o.minWinnerMoves = static_cast<int>(args.Count("--min-moves", o.minWinnerMoves, 0, 50));
  o.variant = ParseVariantArg(args.Positionals()[0]);
  const auto db = LoadDatabases(o.variant, ed);
  const std::vector<TGame> problems = MakeProblems(*db, o);
  TQuorlinDB base;
  if (!OpenOrCreateDatabase(out, base)) throw std::runtime_error("cannot open \"" + out + "\": " + base.LastError);
  for (TGame g : problems)
    if (!WriteGame(g, 0, base, false)) throw std::runtime_error("cannot write to \"" + out + "\": " + base.LastError);
  if (!CloseDatabase(base)) throw std::runtime_error("cannot close \"" + out + "\": " + base.LastError);
  std::printf("%zu %s problems appended to %s\n", problems.size(), VariantTable[o.variant].Name.c_str(), out.c_str());
  return problems.size() == static_cast<size_t>(o.count) ? 0 : 1;
}

int Check(const Args& words) {
  const TArgs args(words, {"--ed"}, {}, 1);
  args.ExpectPositionals(1, 1, "DB.abd --ed FOLDER");
  if (!args.Has("--ed")) throw UsageError{"missing --ed FOLDER"};
  const std::string path = args.Positionals()[0], ed = args.Text("--ed");
  TQuorlinDB base;
  if (!OpenDatabase(path, base, true)) throw std::runtime_error("cannot open \"" + path + "\": " + base.LastError);
  int checked = 0, bad = 0;
  std::map<int, std::shared_ptr<const TEndgameDb>> dbs;
  for (int n = 1, count = IndexRecordCount(base); n <= count; ++n) {
    TGame g;
    if (!ReadGame(base, n, false, -1, g) || !(g.Header.Medals & 1)) continue;
    auto& db = dbs[g.Header.TypeOfGame];
    if (!db) db = LoadDatabases(g.Header.TypeOfGame, ed);
    std::string why;
    ++checked;
    if (!CheckProblem(*db, g, &why)) {
      ++bad;
      std::printf("game %d: %s\n", n, why.c_str());
    }
  }
  CloseDatabase(base);
  std::printf("%d problems checked, %d wrong\n", checked, bad);
  return bad == 0 ? 0 : 1;
}

int Problems(const Args& args) {
  if (args.empty()) throw UsageError{"expected make or check"};
  if (args[0] == "make") return Make(args);
  if (args[0] == "check") return Check(args);
  throw UsageError{"unknown subcommand \"" + args[0] + "\": expected make or check"};
}

Command problems("problems",
                 "problems make VARIANT --ed FOLDER --out DB.abd [--count N] [--seed S] [--min-moves K] | "
                 "problems check DB.abd --ed FOLDER",
                 "makes problems proven by the endgame databases (one winning move at each turn) into a game "
                 "database, or checks them",
                 Problems);

}  // namespace
}  // namespace quorlin::cli
