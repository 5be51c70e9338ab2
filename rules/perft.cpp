#include "rules/perft.h"

#include <memory>

#include "rules/movegen.h"

namespace quorlin {
namespace {

// One move list per ply, allocated once per count rather than per node.
class PerftWalker {
 public:
  PerftWalker(const TGameParams& params, bool dedupe, int depth)
      : params_(params), dedupe_(dedupe), lists_(std::make_unique<TMvs[]>(depth > 0 ? depth : 1)) {}

  uint64_t Count(const TBoard& board, int side, int depth, int ply) {
    if (depth <= 0) return 1;
    TMvs& list = lists_[ply];
    uint8_t n = 0;
    GenerateMoves(board, side, list, n, params_, dedupe_);
    if (depth == 1) return n;
    uint64_t total = 0;
    for (int i = 1; i <= n; ++i) {
      TBoard next = board;
      ApplyMove(list[i], next, params_);
      total += Count(next, 1 - side, depth - 1, ply + 1);
    }
    return total;
  }

 private:
  const TGameParams& params_;
  const bool dedupe_;
  std::unique_ptr<TMvs[]> lists_;
};

}  // namespace

uint64_t Perft(const TBoard& board, int side, int depth, const TGameParams& params, bool dedupe) {
  if (depth <= 0) return 1;
  PerftWalker walker(params, dedupe, depth);
  return walker.Count(board, side == 0 ? 0 : 1, depth, 0);
}

std::vector<PerftRootCount> PerftDivide(const TBoard& board, int side, int depth, const TGameParams& params,
                                        bool dedupe) {
  side = side == 0 ? 0 : 1;
  auto root = std::make_unique<TMvs>();
  uint8_t n = 0;
  GenerateMoves(board, side, *root, n, params, dedupe);
  std::vector<PerftRootCount> out;
  out.reserve(n);
  PerftWalker walker(params, dedupe, depth > 1 ? depth - 1 : 1);
  for (int i = 1; i <= n; ++i) {
    TBoard next = board;
    ApplyMove((*root)[i], next, params);
    out.push_back({(*root)[i], walker.Count(next, 1 - side, depth - 1, 0)});
  }
  return out;
}

}  // namespace quorlin
