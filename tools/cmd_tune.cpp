// quorlin tune: fits the evaluation weights of an engine to the results of
// games (self-play or real games) and writes a new engine description with
// its weights files.
#include <cstdio>
#include <string>
#include <vector>

#include "engine/tuner.h"
#include "rules/variants.h"
#include "app/engineplayer.h"
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

int Tune(const Args& args) {
  TTuneOptions o;
  std::vector<std::string> positional;
  std::string engine;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    auto value = [&]() -> const std::string& {
      if (i + 1 >= args.size()) throw UsageError{a + " needs a value"};
      return args[++i];
    };
    if (a == "--games") {
      o.games.push_back(value());
      while (i + 1 < args.size() && args[i + 1].rfind("--", 0) != 0) o.games.push_back(args[++i]);
    } else if (a == "--engine") {
      engine = value();
    } else if (a == "--out") {
      o.outFolder = value();
    } else if (a == "--name") {
      o.name = value();
    } else if (a == "--stages") {
      o.stages = static_cast<int>(ParseCount(value(), "--stages", 2));
    } else if (a == "--passes") {
      o.passes = static_cast<int>(ParseCount(value(), "--passes", 100000));
    } else if (a == "--patterns") {
      o.maxPatterns = static_cast<int>(ParseCount(value(), "--patterns", 1000));
    } else if (a == "--l2") {
      o.l2 = ParseShare(value(), "--l2");
    } else if (a == "--validation") {
      o.validationShare = ParseShare(value(), "--validation");
    } else if (a == "--max-positions") {
      o.maxPositions = static_cast<int>(ParseCount(value(), "--max-positions", 100000000));
    } else if (a == "--skip-plies") {
      o.skipPlies = static_cast<int>(ParseCount(value(), "--skip-plies", 1000));
    } else if (a == "--seed") {
      o.seed = static_cast<uint64_t>(ParseCount(value(), "--seed", 9000000000000000000LL));
    } else if (a.rfind("--", 0) == 0) {
      throw UsageError{"unknown option \"" + a + "\""};
    } else {
      positional.push_back(a);
    }
  }
  if (positional.size() != 1) throw UsageError{"expected one variant"};
  if (o.games.empty()) throw UsageError{"missing --games A.abd [B.abd ...]"};
  if (engine.empty()) throw UsageError{"missing --engine START.eng"};
  if (o.outFolder.empty()) throw UsageError{"missing --out FOLDER"};
  if (o.passes < 1) throw UsageError{"bad --passes: at least 1"};
  if (o.stages < 1) throw UsageError{"bad --stages: 1 or 2"};
  o.variant = ParseVariantArg(positional[0]);
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
