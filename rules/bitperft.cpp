#include "rules/bitperft.h"

#include <memory>

#include "rules/bitgen.h"
#include "rules/bitmovegen.h"
#include "rules/position.h"
#include "rules/variants.h"

namespace quorlin {
namespace {

using namespace bitgen;

// The walk for one family of rules, with the generator inlined into it. One
// position list per ply, allocated once per count. The walk comes twice: for
// processors with the popcnt instruction, which counts the last ply faster,
// and for those without.
template <class V>
class Walker {
  using G = typename V::Geo;

 public:
  Walker(int depth, bool bulk) : bulk_(bulk), lists_(std::make_unique<TPositionList64[]>(depth + 1)) {}

  uint64_t Count(const TBitBoard64& position, int depth) {
    if (depth <= 0) return 1;
    return __builtin_cpu_supports("popcnt") ? WalkPopcnt(position, depth, 0) : WalkPlain(position, depth, 0);
  }

 private:
  uint64_t WalkPlain(const TBitBoard64& position, int depth, int ply) {
    return Walk<false>(position, depth, ply);
  }
  [[gnu::target("popcnt")]] uint64_t WalkPopcnt(const TBitBoard64& position, int depth, int ply) {
    return Walk<true>(position, depth, ply);
  }

  template <bool Hw>
  [[gnu::always_inline]] uint64_t Walk(const TBitBoard64& position, int depth, int ply) {
    TBitBoard64* list = lists_[ply].data();
    const int n = Generator<V>(position, list).Run();
    if (depth == 1) return static_cast<uint64_t>(n);
    uint64_t total = 0;
    if (bulk_ && depth == 2) {
      // The last ply is counted, not listed: each child's replies are counted
      // as they stand, without turning the child round first.
      TBitBoard64* scratch = lists_[ply + 1].data();
      for (int i = 0; i < n; ++i) total += static_cast<uint64_t>(CountMoves<V, true, Hw>(list[i], scratch));
      return total;
    }
    // Each child is turned round so that its side to move is w again.
    for (int i = 0; i < n; ++i) {
      const TBitBoard64 child = TurnedRound<G>(list[i]);
      total += Hw ? WalkPopcnt(child, depth - 1, ply + 1) : WalkPlain(child, depth - 1, ply + 1);
    }
    return total;
  }

  const bool bulk_;
  std::unique_ptr<TPositionList64[]> lists_;
};

}  // namespace

uint64_t PerftBitboard64(const TBitBoard64& position, int depth, int variant, bool bulk) {
  if (!HasBitboardGenerator(variant)) return 0;
  return WithRules<uint64_t>(variant,
                             [&]<class V>() { return Walker<V>(depth, bulk).Count(position, depth); });
}

uint64_t PerftBitboard(const TBoard& board, int side, int depth, int variant, bool bulk) {
  if (!HasBitboardGenerator(variant)) return 0;
  TBitBoard64 position;
  BoardToBit64(board, position, variant);
  if (side != 0) FlipBitBoard(position, variant);
  return PerftBitboard64(position, depth, variant, bulk);
}

}  // namespace quorlin
