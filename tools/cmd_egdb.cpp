// quorlin egdb: builds endgame databases and probes positions in them.
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <stdexcept>
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
#include "tools/args.h"
#include "tools/command.h"

namespace quorlin::cli {
namespace {

int Build(const Args& words) {
  const TArgs args(words, {"--pieces", "--type", "--out"}, {}, 1);
  args.ExpectPositionals(1, 1, "a variant");
  if (!args.Has("--out")) throw UsageError{"missing --out FOLDER"};
  TEgdbBuildOptions opt;
  opt.maxPieces = static_cast<int>(args.Count("--pieces", 0, 0, 12));
  opt.outFolder = args.Text("--out");
  if (args.Has("--type")) {
    const std::string t = args.Text("--type");
    if (t == "MTW" || t == "mtw")
      opt.type = ebMTW;
    else if (t == "WDL" || t == "wdl")
      opt.type = ebWDL;
    else
      throw UsageError{"bad type \"" + t + "\": expected MTW or WDL"};
  }
  const std::string variantArg = args.Positionals()[0];
  opt.variant = ParseVariantArg(variantArg);
  if (!HasBitboardGenerator(opt.variant) || !EdbGeometryOfVariant(opt.variant).valid())
    throw UsageError{VariantTable[opt.variant].Name + " has no endgame databases"};
  if (!args.Has("--pieces")) {
    opt.maxPieces = DefaultEgdbPieces(opt.variant);
    std::printf("%s: %d pieces (the default)\n", VariantTable[opt.variant].Name.c_str(), opt.maxPieces);
  }
  opt.progress = [](const std::string& line) {
    std::printf("%s\n", line.c_str());
    std::fflush(stdout);
  };
  const TEgdbBuildResult r = BuildEndgameDatabases(opt);
  if (!r.ok) {
    PrintError("egdb", "error: " + r.error);
    return 1;
  }
  std::printf("%zu classes, %llu bytes, %.2fs\n", r.classes.size(), (unsigned long long)r.bytes, r.seconds);
  return 0;
}

int Probe(const Args& words) {
  const TArgs args(words, {"--folder"}, {}, 1);
  args.ExpectPositionals(2, 2, "VARIANT FEN");
  const int variant = ParseVariantArg(args.Positionals()[0]);
  const TGameParams& params = VariantTable[variant];
  TBoard board;
  int side = 0;
  ReadFenArg(params, args.Positionals()[1], board, side);
  std::string folder = args.Text("--folder");
  if (folder.empty()) {
    InitFolders();
    folder = EDFolder;
  }
  // A probe in a folder that is not there would only ever answer "not found".
  std::error_code ec;
  if (!std::filesystem::is_directory(folder, ec))
    throw std::runtime_error("endgame database folder \"" + folder + "\" not found");
  TBitBoard64 bb;
  BoardToBit64(board, bb, variant);
  if (side == 1) FlipBitBoard(bb, variant);
  if (bb.w == 0) {
    std::printf("loss\n");
    return 0;
  }
  const std::shared_ptr<const TEndgameDb> db = TEndgameDb::Load(variant, false, folder, {});
  if (db->FilesLoaded() == 0)
    throw std::runtime_error("no endgame databases of " + params.Name + " in \"" + folder + "\"");
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
