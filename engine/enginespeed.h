#pragma once
// Search speed of an engine description: nodes searched per second of
// processor time over a fixed set of positions of one variant (the start
// position and positions of a fixed walk from it), each searched to the same
// position budget. Processor time, not wall time, so that a busy machine
// slows the figure less; compare engines measured the same way.
#include <cstdint>
#include <string>
#include <vector>

#include "rules/board.h"

namespace quorlin {

struct TEngineSpeed {
  int64_t nodes = 0;
  double cpuSeconds = 0;
  int positions = 0;
  double NodesPerSecond() const { return cpuSeconds > 0 ? static_cast<double>(nodes) / cpuSeconds : 0; }
};

struct TSpeedPosition {
  TBoard board;
  int side = 0;
};

// The start position and then one position every `stride` plies of a walk
// that plays the (ply * 7 mod count)-th legal move, `count` positions at most
// (fewer when the walk reaches a position without moves).
std::vector<TSpeedPosition> SpeedPositions(int variant, int count, int stride = 4);

// Searches every position once to `nodesPerPosition` nodes with one thread.
// Throws std::runtime_error when the engine cannot be loaded.
TEngineSpeed MeasureEngineSpeed(const std::string& engineFile, int variant,
                                const std::vector<TSpeedPosition>& positions, int nodesPerPosition);

}  // namespace quorlin
