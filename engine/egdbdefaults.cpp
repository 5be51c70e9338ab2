#include "engine/egdbdefaults.h"

#include "engine/endgamedb.h"
#include "rules/bitmovegen.h"
#include "rules/variants.h"

namespace quorlin {

int DefaultEgdbPieces(int variant) {
  if (variant < 1 || variant > kVariantCount) return 0;
  if (!HasBitboardGenerator(variant) || !EdbGeometryOfVariant(variant).valid()) return 0;
  // Measured here: four pieces of a 32-square board take a minute or two,
  // five pieces ten times that; the larger boards cost more per piece.
  switch (VariantTable[variant].compute.BoardSize) {
    case 32:
      return 4;
    default:
      return 3;
  }
}

TEgdbBuildResult BuildEndgameDatabasesInSteps(int variant, const std::string& edFolder, int pieces,
                                              const std::function<void(const TEgdbJobProgress&)>& progress,
                                              const std::atomic<bool>* cancel) {
  TEgdbBuildResult last;
  if (pieces == 0) pieces = DefaultEgdbPieces(variant);
  if (pieces < 2) {
    last.error = VariantTable[variant].Name + " has no endgame databases";
    return last;
  }
  for (int k = 2; k <= pieces; ++k) {
    if (cancel && cancel->load()) {
      last.ok = false;
      last.error = "stopped";
      return last;
    }
    TEgdbBuildOptions o;
    o.variant = variant;
    o.maxPieces = k;
    o.outFolder = edFolder;
    TEgdbJobProgress p;
    p.pieces = k;
    // Each step costs about as much as all before it together times the
    // branching of one more piece: count the steps by that weight.
    p.fraction = pieces == 2 ? 0.0 : static_cast<double>(k - 2) / (pieces - 1);
    o.progress = [&](const std::string& line) {
      p.line = line;
      if (progress) progress(p);
    };
    last = BuildEndgameDatabases(o);
    if (!last.ok) return last;
  }
  if (progress) progress(TEgdbJobProgress{1.0, pieces, "done"});
  return last;
}

}  // namespace quorlin
