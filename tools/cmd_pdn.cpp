// quorlin pdn import|export: PDN files in and out of a game database.
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "games/database.h"
#include "games/gamerecord.h"
#include "games/pdnfile.h"
#include "rules/variants.h"
#include "tools/args.h"
#include "tools/command.h"

namespace quorlin::cli {
namespace {

int Import(const Args& words) {
  const TArgs args(words, {"--variant"}, {}, 1);
  args.ExpectPositionals(2, 2, "a PDN file and a database");
  const std::string& pdnPath = args.Positionals()[0];
  const std::string& dbPath = args.Positionals()[1];
  // The PDN default for games without a GameType tag.
  const bool variantGiven = args.Has("--variant");
  const int variant = args.Variant("--variant", kInternational);
  if (variant < 1 || variant > kVariantCount) throw UsageError{"--variant needs a built-in variant"};
  TPdnReadReport report;
  std::string error;
  const auto t0 = std::chrono::steady_clock::now();
  const bool ok = ImportPdnFile(pdnPath, dbPath, variant, report, error, [](int games, int line) {
    std::fprintf(stderr, "... %d games read (line %d)\n", games, line);
  });
  const double secs = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
  if (!ok && report.gamesWhole + report.gamesStopped == 0) {
    PrintError("pdn", error);
    return 1;
  }
  const int total = report.gamesWhole + report.gamesStopped;
  if (!report.databaseWarning.empty()) PrintError("pdn", "warning: " + report.databaseWarning);
  std::printf("%d games read whole, %d games stopped, %d stored in %s (%d games before, %d now)\n",
              report.gamesWhole, report.gamesStopped, report.gamesStored, dbPath.c_str(), report.gamesBefore,
              report.gamesBefore + report.gamesStored);
  for (const TPdnStop& s : report.stops)
    std::printf("  game %d, line %d, \"%s\": %s\n", s.game, s.line, s.token.c_str(), s.reason.c_str());
  std::printf("time %.2f s, %.0f games per second\n", secs, secs > 0 ? total / secs : 0.0);
  // The usual reason for a file full of stopped games is a variant the file does
  // not name: say how to read it as the right one.
  if (!variantGiven && report.gamesStopped > 0)
    std::printf(
        "note: games without a GameType tag are read as International (the PDN default); if the file "
        "holds games of another variant, import it again with --variant VARIANT\n");
  if (!ok) {
    PrintError("pdn", error);
    return 1;
  }
  return 0;
}

int Export(const Args& words) {
  const TArgs args(words, {"-o"}, {}, 1);
  args.ExpectPositionals(1, SIZE_MAX, "a database");
  const std::string& dbPath = args.Positionals()[0];
  const std::string outPath = args.Text("-o");
  std::vector<int> numbers;
  for (size_t i = 1; i < args.Positionals().size(); ++i)
    numbers.push_back(static_cast<int>(ParseCount(args.Positionals()[i], "game number", 1LL << 30)));
  TQuorlinDB db;
  if (!OpenDatabase(dbPath, db, /*readOnly=*/true)) {
    PrintError("pdn", "cannot open \"" + dbPath + "\": " + db.LastError);
    return 1;
  }
  if (numbers.empty())
    for (int n = 1; n <= db.DBSize; ++n) numbers.push_back(n);
  std::ofstream file;
  if (!outPath.empty()) {
    file.open(outPath, std::ios::binary | std::ios::trunc);
    if (!file) {
      PrintError("pdn", "cannot write \"" + outPath + "\"");
      return 1;
    }
  }
  int written = 0, failed = 0;
  TGame game;
  for (int n : numbers) {
    if (n < 1 || n > db.DBSize || !ReadGame(db, n, false, -1, game)) {
      PrintError("pdn", "game " + std::to_string(n) + " not exported: " +
                            (n < 1 || n > db.DBSize ? std::string("no such game") : db.LastError));
      ++failed;
      continue;
    }
    if (game.Header.TypeOfGame == 0) {
      PrintError("pdn",
                 "game " + std::to_string(n) + " not exported: PDN has no GameType for a custom variant");
      ++failed;
      continue;
    }
    const std::string text = GameToPdn(game);
    if (outPath.empty())
      std::fwrite(text.data(), 1, text.size(), stdout);
    else
      file << text;
    ++written;
  }
  if (!outPath.empty()) {
    file.close();
    if (!file) {
      PrintError("pdn", "writing \"" + outPath + "\" failed");
      return 1;
    }
    std::printf("%d games written to %s\n", written, outPath.c_str());
  }
  return failed ? 1 : 0;
}

int Pdn(const Args& args) {
  if (args.empty()) throw UsageError{"expected import or export"};
  if (args[0] == "import") return Import(args);
  if (args[0] == "export") return Export(args);
  throw UsageError{"unknown subcommand \"" + args[0] + "\""};
}

Command pdn("pdn", "pdn import FILE.pdn DB.abd [--variant V] | pdn export DB.abd [N...] [-o FILE.pdn]",
            "reads PDN files into a game database (created when missing) or writes its games as PDN", Pdn);

}  // namespace
}  // namespace quorlin::cli
