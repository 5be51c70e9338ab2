#pragma once
// Endgame databases built on demand: the piece counts that build in a few
// minutes on an ordinary two-core machine, per variant, and a build that
// reports its progress and can be stopped between piece counts (for a menu
// item that builds them in the background).
#include <atomic>
#include <functional>
#include <string>

#include "engine/egdbgen.h"

namespace quorlin {

// Most pieces of the databases built by default; 0 for a variant without
// endgame databases (no bitboard form, or a board without database layout).
int DefaultEgdbPieces(int variant);

struct TEgdbJobProgress {
  double fraction = 0;  // 0..1, by piece count
  int pieces = 0;       // piece count being built
  std::string line;     // last class solved, or what happened
};

// Builds the variant's databases (MTW) into edFolder, two pieces first, then
// one more piece at a time up to `pieces` (DefaultEgdbPieces when 0), calling
// `progress` after every class. Returns the result of the last completed
// piece count; with `cancel` raised it stops after the class in work and
// reports ok = false with error "stopped". Files of completed piece counts
// stay and are complete.
TEgdbBuildResult BuildEndgameDatabasesInSteps(int variant, const std::string& edFolder, int pieces,
                                              const std::function<void(const TEgdbJobProgress&)>& progress,
                                              const std::atomic<bool>* cancel = nullptr);

}  // namespace quorlin
