// quorlin speed: nodes per second of engine descriptions of one variant,
// measured on the same positions with the same position budget, so that a
// trained engine's cost of evaluation can be set against another's.
#include <cstdio>
#include <string>
#include <vector>

#include "app/engineplayer.h"
#include "engine/enginespeed.h"
#include "tools/args.h"
#include "tools/command.h"

namespace quorlin::cli {
namespace {

int Speed(const Args& words) {
  const TArgs args(words, {"--nodes", "--positions"});
  args.ExpectPositionals(2, static_cast<size_t>(-1), "a variant and at least one engine description");
  const int nodes = static_cast<int>(args.Count("--nodes", 50000, 1, 1000000000));
  const int count = static_cast<int>(args.Count("--positions", 8, 1, 1000));
  const std::vector<std::string>& positional = args.Positionals();
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
