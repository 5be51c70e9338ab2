// quorlin engine check: loads an engine description with its weights files,
// reports what it holds, and can write it back in the canonical layout.
#include <cstdio>
#include <filesystem>
#include <stdexcept>
#include <string>

#include "engine/enginefile.h"
#include "engine/evaluation.h"
#include "engine/textfile.h"
#include "rules/variants.h"
#include "tools/args.h"
#include "tools/command.h"

namespace quorlin::cli {
namespace {

std::string WeightsText(const TEngineStage& s, const std::string& file, bool found) {
  if (file.empty())
    return "none named (stage keeps what it had: ManValue " + std::to_string(s.Eval.ManValue) + ")";
  if (!found) return file + " MISSING (defaults in use)";
  if (s.Eval.UseNN) return file + ": network " + NetShapeText(s.Eval.Net);
  const TEvalFuncStatic& e = s.Eval;
  return file + ": " + std::to_string(e.Size) + " patterns (" + std::to_string(e.RealSize) +
         " multi-square), ManValue " + std::to_string(e.ManValue) + ", KingValue " +
         std::to_string(e.KingValue) + (e.Turkish ? ", Turkish mirroring" : "") +
         (e.Compress != 0 ? ", Compress " + FormatSingle(e.Compress) : "");
}

int Check(const std::filesystem::path& path, int variant, const std::string& variantSource,
          const std::string& saveTo) {
  TEvalFunc ef;
  TEngineLoadNotes notes;
  if (!LoadEngine(path, ef, variant, &notes))
    throw std::runtime_error("engine description \"" + path.string() + "\" not found");
  int problems = 0;
  std::printf("file: %s\n", path.string().c_str());
  std::printf("variant: %s (%s)\n", VariantTable[variant].Name.c_str(), variantSource.c_str());
  std::printf("name: %s\n", ef.Name.c_str());
  std::printf("version: %d (%s search and evaluation)\n", ef.Version,
              ef.Version == kArrayBoardVersion ? "array-board" : "bitboard");
  std::printf("ELO: %d\n", ef.ELO);
  std::printf("limits: threads %d, depth %d, positions %d (0 = none)\n", ef.MaxThreads, ef.MaxDepth,
              ef.MaxPos);
  std::printf("giveaway: %s, opening book: %s\n", ef.Giveaway ? "yes" : "no", ef.UseBook ? "yes" : "no");
  std::printf("stages: %zu\n", ef.Stages.size());
  for (size_t i = 0; i < ef.Stages.size(); ++i) {
    const TEngineStage& s = ef.Stages[i];
    std::printf("stage %zu: pieces %d..%d, endgame databases up to %d pieces, moves %d/%d\n", i,
                s.MinDraughts, s.MaxDraughts, s.EDMaxDraughts, s.MovesCntTot, s.MovesCntMin);
    std::printf("  weights: %s\n", WeightsText(s, notes.WeightsFile[i], notes.WeightsFound[i]).c_str());
    std::printf(
        "  extension self %s..%s opp %s..%s; reductions alpha %s..%s beta %s..%s; margins %s %s %s %s\n",
        FormatSingle(s.ExtSelfMin).c_str(), FormatSingle(s.ExtSelfMax).c_str(),
        FormatSingle(s.ExtOppMin).c_str(), FormatSingle(s.ExtOppMax).c_str(),
        FormatSingle(s.ReductAlphaMin).c_str(), FormatSingle(s.ReductAlphaMax).c_str(),
        FormatSingle(s.ReductBetaMin).c_str(), FormatSingle(s.ReductBetaMax).c_str(),
        FormatSingle(s.RangeAlphaSelf).c_str(), FormatSingle(s.RangeAlphaOpp).c_str(),
        FormatSingle(s.RangeBetaSelf).c_str(), FormatSingle(s.RangeBetaOpp).c_str());
    if (!notes.WeightsFile[i].empty() && !notes.WeightsFound[i]) {
      std::printf("warning: stage %zu: weights file %s does not exist\n", i, notes.WeightsFile[i].c_str());
      ++problems;
    }
    if (s.Eval.UseNN) {
      if (const std::string p = NetShapeProblem(s.Eval.Net); !p.empty()) {
        std::printf("warning: stage %zu: %s\n", i, p.c_str());
        ++problems;
      }
    } else if (s.Eval.ManValue == 0) {
      std::printf("warning: stage %zu: ManValue is 0, so its scores are meaningless\n", i);
      ++problems;
    }
  }
  if (!saveTo.empty()) {
    SaveEngine(saveTo, ef);
    std::printf("written: %s with %zu weights file(s) beside it\n", saveTo.c_str(), ef.Stages.size());
  }
  return problems ? 1 : 0;
}

int Engine(const Args& words) {
  if (words.empty() || words[0] != "check") throw UsageError{"expected the subcommand \"check\""};
  const TArgs args(words, {"--save", "--variant"}, {}, 1);
  args.ExpectPositionals(1, 1, "one engine description");
  const std::string file = args.Positionals()[0], saveTo = args.Text("--save");
  int variant;
  std::string source;
  if (args.Has("--variant")) {
    variant = args.Variant("--variant", 0);
    source = "given";
  } else if (const int v = FindVariant(std::filesystem::absolute(file).parent_path().filename().string());
             v != 0) {
    // Engine descriptions live in a folder named after their variant.
    variant = v;
    source = "from the folder name";
  } else {
    variant = kInternational;
    source = "assumed; give --variant for another";
  }
  return Check(file, variant, source, saveTo);
}

Command engine("engine", "engine check ENGINE.eng [--variant V] [--save OUT.eng]",
               "load an engine description with its weights files, report it, optionally write it back",
               Engine);

}  // namespace
}  // namespace quorlin::cli
