// quorlin egdb: builds endgame databases and probes positions in them.
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "app/folders.h"
#include "engine/egdbdefaults.h"
#include "engine/egdbgen.h"
#include "engine/endgamedb.h"
#include "rules/bitmovegen.h"
#include "rules/fen.h"
#include "rules/position.h"
#include "rules/variants.h"
#include "tools/command.h"

namespace quorlin::cli {
namespace {

int Build(const Args& args) {
  TEgdbBuildOptions opt;
  std::string variantArg;
  bool havePieces = false;
  for (size_t k = 1; k < args.size(); ++k) {
    const std::string& a = args[k];
    auto value = [&]() -> const std::string& {
      if (k + 1 >= args.size()) throw UsageError{a + " needs a value"};
      return args[++k];
    };
    if (a == "--pieces") {
      opt.maxPieces = static_cast<int>(ParseCount(value(), "piece count", 12));
      havePieces = true;
    } else if (a == "--type") {
      const std::string t = value();
      if (t == "MTW" || t == "mtw")
        opt.type = ebMTW;
      else if (t == "WDL" || t == "wdl")
        opt.type = ebWDL;
      else
        throw UsageError{"bad type \"" + t + "\": expected MTW or WDL"};
    } else if (a == "--out") {
      opt.outFolder = value();
    } else if (!a.empty() && a[0] == '-') {
      throw UsageError{"unknown option \"" + a + "\""};
    } else if (variantArg.empty()) {
      variantArg = a;
    } else {
      throw UsageError{"unexpected argument \"" + a + "\""};
    }
  }
  if (variantArg.empty()) throw UsageError{"missing variant"};
  if (!havePieces) opt.maxPieces = 0;
  if (opt.outFolder.empty()) throw UsageError{"missing --out FOLDER"};
  opt.variant = ParseVariantArg(variantArg);
  if (!HasBitboardGenerator(opt.variant) || !EdbGeometryOfVariant(opt.variant).valid())
    throw UsageError{VariantTable[opt.variant].Name + " has no endgame databases"};
  if (!havePieces) {
    opt.maxPieces = DefaultEgdbPieces(opt.variant);
    std::printf("%s: %d pieces (the default)\n", VariantTable[opt.variant].Name.c_str(), opt.maxPieces);
  }
  opt.progress = [](const std::string& line) {
    std::printf("%s\n", line.c_str());
    std::fflush(stdout);
  };
  const TEgdbBuildResult r = BuildEndgameDatabases(opt);
  if (!r.ok) {
    std::fprintf(stderr, "egdb build: %s\n", r.error.c_str());
    return 1;
  }
  std::printf("%zu classes, %llu bytes, %.2fs\n", r.classes.size(), (unsigned long long)r.bytes, r.seconds);
  return 0;
}

int Probe(const Args& args) {
  std::string variantArg, fen, folder;
  for (size_t k = 1; k < args.size(); ++k) {
    const std::string& a = args[k];
    if (a == "--folder") {
      if (k + 1 >= args.size()) throw UsageError{"--folder needs a value"};
      folder = args[++k];
    } else if (variantArg.empty()) {
      variantArg = a;
    } else if (fen.empty()) {
      fen = a;
    } else {
      throw UsageError{"unexpected argument \"" + a + "\""};
    }
  }
  if (variantArg.empty() || fen.empty()) throw UsageError{"expected VARIANT FEN"};
  const int variant = ParseVariantArg(variantArg);
  const TGameParams& params = VariantTable[variant];
  if (folder.empty()) {
    InitFolders();
    folder = EDFolder;
  }
  TBoard board;
  int side = 0;
  ReadFenArg(params, fen, board, side);
  TBitBoard64 bb;
  BoardToBit64(board, bb, variant);
  if (side == 1) FlipBitBoard(bb, variant);
  if (bb.w == 0) {
    std::printf("loss\n");
    return 0;
  }
  const std::shared_ptr<const TEndgameDb> db = TEndgameDb::Load(variant, false, folder, {});
  uint8_t value = 0;
  TEbType type;
  if (!db->ProbeRaw(bb, value, type)) {
    std::printf("not found\n");
    return 0;
  }
  std::printf("%s\n", EndgameValueText(value, type).c_str());
  return 0;
}

int Egdb(const Args& args) {
  if (args.empty()) throw UsageError{"expected build or probe"};
  if (args[0] == "build") return Build(args);
  if (args[0] == "probe") return Probe(args);
  throw UsageError{"unknown subcommand \"" + args[0] + "\": expected build or probe"};
}

Command egdb(
    "egdb",
    "egdb build VARIANT [--pieces N] [--type MTW|WDL] --out FOLDER | egdb probe VARIANT FEN [--folder F]",
    "build endgame databases (by default to the piece count that builds in a few minutes), or probe a "
    "position in them", Egdb);

}  // namespace
}  // namespace quorlin::cli
