#include "rules/bitperft.h"

#include <memory>

#include "rules/bitmovegen.h"
#include "rules/position.h"
#include "rules/variants.h"

namespace quorlin {
namespace {

// One position list per ply, allocated once per count.
class BitPerftWalker {
 public:
  BitPerftWalker(TGenerateMoves64Fn generate, int revShift, bool bulk, int depth)
      : generate_(generate),
        revShift_(revShift),
        bulk_(bulk),
        lists_(std::make_unique<TPositionList64[]>(depth > 0 ? depth : 1)) {}

  uint64_t Count(const TBitBoard64& position, int depth, int ply) {
    if (depth <= 0) return 1;
    TBitBoard64* list = lists_[ply].data();
    const int n = generate_(position, list);
    if (bulk_ && depth == 1) return static_cast<uint64_t>(n);
    uint64_t total = 0;
    // Each child is flipped so that its side to move is w again.
    for (int i = 0; i < n; ++i) total += Count(FlippedBitBoard(list[i], revShift_), depth - 1, ply + 1);
    return total;
  }

 private:
  const TGenerateMoves64Fn generate_;
  const int revShift_;
  const bool bulk_;
  std::unique_ptr<TPositionList64[]> lists_;
};

}  // namespace

uint64_t PerftBitboard64(const TBitBoard64& position, int depth, int variant, bool bulk) {
  const TGenerateMoves64Fn generate = BitboardGenerator(variant);
  if (!generate) return 0;
  if (depth <= 0) return 1;
  BitPerftWalker walker(generate, VariantTable[variant].BitBoardRevShift, bulk, depth);
  return walker.Count(position, depth, 0);
}

uint64_t PerftBitboard(const TBoard& board, int side, int depth, int variant, bool bulk) {
  if (!HasBitboardGenerator(variant)) return 0;
  TBitBoard64 position;
  BoardToBit64(board, position, variant);
  if (side != 0) FlipBitBoard(position, variant);
  return PerftBitboard64(position, depth, variant, bulk);
}

}  // namespace quorlin
