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

int Make(const Args& args) {
  TProblemOptions o;
  std::string variantArg, ed, out;
  for (size_t k = 1; k < args.size(); ++k) {
    const std::string& a = args[k];
    auto value = [&]() -> const std::string& {
      if (k + 1 >= args.size()) throw UsageError{a + " needs a value"};
      return args[++k];
    };
    if (a == "--ed")
      ed = value();
    else if (a == "--out")
      out = value();
    else if (a == "--count")
      o.count = static_cast<int>(ParseCount(value(), "--count", 100000));
    else if (a == "--seed")
      o.seed = static_cast<uint64_t>(ParseCount(value(), "--seed", 9000000000000000000LL));
    else if (a == "--min-moves")
      o.minWinnerMoves = static_cast<int>(ParseCount(value(), "--min-moves", 50));
    else if (a.rfind("--", 0) == 0)
      throw UsageError{"unknown option \"" + a + "\""};
    else if (variantArg.empty())
      variantArg = a;
    else
      throw UsageError{"unexpected argument \"" + a + "\""};
  }
  if (variantArg.empty() || ed.empty() || out.empty()) throw UsageError{"expected VARIANT --ed FOLDER --out DB.abd"};
  o.variant = ParseVariantArg(variantArg);
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

int Check(const Args& args) {
  std::string path, ed;
  for (size_t k = 1; k < args.size(); ++k) {
    if (args[k] == "--ed" && k + 1 < args.size())
      ed = args[++k];
    else if (path.empty())
      path = args[k];
    else
      throw UsageError{"unexpected argument \"" + args[k] + "\""};
  }
  if (path.empty() || ed.empty()) throw UsageError{"expected DB.abd --ed FOLDER"};
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
  if (!args.empty() && args[0] == "make") return Make(args);
  if (!args.empty() && args[0] == "check") return Check(args);
  throw UsageError{"expected make or check"};
}

Command problems("problems",
                 "problems make VARIANT --ed FOLDER --out DB.abd [--count N] [--seed S] [--min-moves K] | "
                 "problems check DB.abd --ed FOLDER",
                 "makes problems proven by the endgame databases (one winning move at each turn) into a game "
                 "database, or checks them",
                 Problems);

}  // namespace
}  // namespace quorlin::cli
