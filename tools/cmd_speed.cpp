// quorlin speed: nodes per second of engine descriptions of one variant,
// measured on the same positions with the same position budget, so that a
// trained engine's cost of evaluation can be set against another's.
#include <cstdio>
#include <string>
#include <vector>

#include "app/engineplayer.h"
#include "engine/enginespeed.h"
#include "tools/command.h"

namespace quorlin::cli {
namespace {

int Speed(const Args& args) {
  std::vector<std::string> positional;
  int nodes = 50000;
  int count = 8;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    auto value = [&]() -> const std::string& {
      if (i + 1 >= args.size()) throw UsageError{a + " needs a value"};
      return args[++i];
    };
    if (a == "--nodes")
      nodes = static_cast<int>(ParseCount(value(), "--nodes", 1000000000));
    else if (a == "--positions")
      count = static_cast<int>(ParseCount(value(), "--positions", 1000));
    else if (a.rfind("--", 0) == 0)
      throw UsageError{"unknown option \"" + a + "\""};
    else
      positional.push_back(a);
  }
  if (positional.size() < 2) throw UsageError{"expected a variant and at least one engine description"};
  if (nodes < 1 || count < 1) throw UsageError{"--nodes and --positions need at least 1"};
  const int variant = ParseVariantArg(positional[0]);
  const std::vector<TSpeedPosition> positions = SpeedPositions(variant, count);
  for (size_t k = 1; k < positional.size(); ++k) {
    const std::string file = ResolveEngineFile(positional[k], variant).string();
    const TEngineSpeed s = MeasureEngineSpeed(file, variant, positions, nodes);
    std::printf("%s: %lld nodes in %.2f s of processor time over %d positions, %.0f nodes/s\n",
                positional[k].c_str(), static_cast<long long>(s.nodes), s.cpuSeconds, s.positions,
                s.NodesPerSecond());
    std::fflush(stdout);
  }
  return 0;
}

Command speed("speed", "speed VARIANT A.eng [B.eng ...] [--nodes N] [--positions K]",
              "nodes per second of engine descriptions on the same positions (processor time, one thread)",
              Speed);

}  // namespace
}  // namespace quorlin::cli
