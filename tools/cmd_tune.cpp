// quorlin tune: fits the evaluation weights of an engine to the results of
// games (self-play or real games) and writes a new engine description with
// its weights files.
#include <cstdio>
#include <string>
#include <vector>

#include "engine/tuner.h"
#include "rules/variants.h"
#include "app/engineplayer.h"
#include "tools/args.h"
#include "tools/command.h"

namespace quorlin::cli {
namespace {

double ParseShare(const std::string& text, const std::string& what) {
  try {
    size_t used = 0;
    const double v = std::stod(text, &used);
    if (used == text.size() && v >= 0 && v < 1) return v;
  } catch (...) {
  }
  throw UsageError{"bad " + what + ": expected a number from 0 up to 1, got \"" + text + "\""};
}

int Tune(const Args& words) {
  const TArgs args(words, {"--games...", "--engine", "--out", "--name", "--stages", "--passes", "--patterns", "--l2",
                           "--validation", "--max-positions", "--skip-plies", "--seed"});
  args.ExpectPositionals(1, 1, "one variant");
  if (!args.Has("--games")) throw UsageError{"missing --games A.abd [B.abd ...]"};
  if (!args.Has("--engine")) throw UsageError{"missing --engine START.eng"};
  if (!args.Has("--out")) throw UsageError{"missing --out FOLDER"};
  TTuneOptions o;
  o.games = args.Values("--games");
  const std::string engine = args.Text("--engine");
  o.outFolder = args.Text("--out");
  o.name = args.Text("--name", o.name);
  o.stages = static_cast<int>(args.Count("--stages", o.stages, 1, 2));
  o.passes = static_cast<int>(args.Count("--passes", o.passes, 1, 100000));
  o.maxPatterns = static_cast<int>(args.Count("--patterns", o.maxPatterns, 0, 1000));
  if (args.Has("--l2")) o.l2 = ParseShare(args.Text("--l2"), "--l2");
  if (args.Has("--validation")) o.validationShare = ParseShare(args.Text("--validation"), "--validation");
  o.maxPositions = static_cast<int>(args.Count("--max-positions", o.maxPositions, 0, 100000000));
  o.skipPlies = static_cast<int>(args.Count("--skip-plies", o.skipPlies, 0, 1000));
  o.seed = static_cast<uint64_t>(args.Count("--seed", static_cast<long long>(o.seed), 0, 9000000000000000000LL));
  o.variant = ParseVariantArg(args.Positionals()[0]);
  o.startEngine = ResolveEngineFile(engine, o.variant).string();
  o.log = [](const std::string& line) {
    std::printf("%s\n", line.c_str());
    std::fflush(stdout);
  };
  const TTuneResult r = RunTuner(o);
  std::printf("written %s (%zu stage%s)\n", r.engineFile.c_str(), r.stages.size(), r.stages.size() == 1 ? "" : "s");
  return 0;
}

Command tune("tune",
             "tune VARIANT --games A.abd [B.abd ...] --engine START.eng --out FOLDER [--name NAME] [--stages 1|2] "
             "[--passes N] [--patterns N] [--l2 X] [--validation SHARE] [--skip-plies N] [--max-positions N] [--seed S]",
             "fits the evaluation weights to game results by logistic regression on quiet positions and writes "
             "the engine description and its weights files",
             Tune);

}  // namespace
}  // namespace quorlin::cli
