// quorlin pdn import|export: PDN files in and out of a game database.
#include <chrono>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "games/database.h"
#include "games/gamerecord.h"
#include "games/pdnfile.h"
#include "rules/variants.h"
#include "tools/command.h"

namespace quorlin::cli {
namespace {

int Import(const Args& args) {
  if (args.size() < 3) throw UsageError{"import needs a PDN file and a database"};
  int variant = kInternational;  // the PDN default for games without a GameType tag
  bool variantGiven = false;
  for (size_t i = 3; i < args.size(); ++i) {
    if (args[i] == "--variant" && i + 1 < args.size()) {
      variantGiven = true;
      variant = ParseVariantArg(args[++i]);
      if (variant < 1 || variant > kVariantCount) throw UsageError{"--variant needs a built-in variant"};
    } else {
      throw UsageError{"unknown argument \"" + args[i] + "\""};
    }
  }
  TPdnReadReport report;
  std::string error;
  const auto t0 = std::chrono::steady_clock::now();
  const bool ok = ImportPdnFile(args[1], args[2], variant, report, error, [](int games, int line) {
    std::fprintf(stderr, "... %d games read (line %d)\n", games, line);
  });
  const double secs = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
  if (!ok && report.gamesWhole + report.gamesStopped == 0) {
    std::fprintf(stderr, "quorlin pdn: %s\n", error.c_str());
    return 1;
  }
  const int total = report.gamesWhole + report.gamesStopped;
  if (!report.databaseWarning.empty())
    std::fprintf(stderr, "quorlin pdn: warning: %s\n", report.databaseWarning.c_str());
  std::printf("%d games read whole, %d games stopped, %d stored in %s (%d games before, %d now)\n",
              report.gamesWhole, report.gamesStopped, report.gamesStored, args[2].c_str(), report.gamesBefore,
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
    std::fprintf(stderr, "quorlin pdn: %s\n", error.c_str());
    return 1;
  }
  return 0;
}

int Export(const Args& args) {
  if (args.size() < 2) throw UsageError{"export needs a database"};
  std::vector<int> numbers;
  std::string outPath;
  for (size_t i = 2; i < args.size(); ++i) {
    if (args[i] == "-o" && i + 1 < args.size()) {
      outPath = args[++i];
    } else {
      numbers.push_back(static_cast<int>(ParseCount(args[i], "game number", 1LL << 30)));
    }
  }
  TQuorlinDB db;
  if (!OpenDatabase(args[1], db, /*readOnly=*/true)) {
    std::fprintf(stderr, "quorlin pdn: cannot open \"%s\": %s\n", args[1].c_str(), db.LastError.c_str());
    return 1;
  }
  if (numbers.empty())
    for (int n = 1; n <= db.DBSize; ++n) numbers.push_back(n);
  std::ofstream file;
  if (!outPath.empty()) {
    file.open(outPath, std::ios::binary | std::ios::trunc);
    if (!file) {
      std::fprintf(stderr, "quorlin pdn: cannot write \"%s\"\n", outPath.c_str());
      return 1;
    }
  }
  int written = 0, failed = 0;
  TGame game;
  for (int n : numbers) {
    if (n < 1 || n > db.DBSize || !ReadGame(db, n, false, -1, game)) {
      std::fprintf(stderr, "game %d not exported: %s\n", n,
                   n < 1 || n > db.DBSize ? "no such game" : db.LastError.c_str());
      ++failed;
      continue;
    }
    if (game.Header.TypeOfGame == 0) {
      std::fprintf(stderr, "game %d not exported: PDN has no GameType for a custom variant\n", n);
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
      std::fprintf(stderr, "quorlin pdn: writing \"%s\" failed\n", outPath.c_str());
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
