#include "fuzz/fuzz_engine.h"

#include <fstream>
#include <iterator>

#include "rules/position.h"
#include "rules/variants.h"

namespace quorlin::fuzz {

std::string ReadFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void EvaluateStart(const TEvalFuncStatic& evf, int variant) {
  const TGameParams& p = VariantTable[variant];
  TBoard board;
  board.b = StartPosition(p, true);
  count(TDColor::white, board, 0, false, evf, p);
  count(TDColor::black, board, 1, true, evf, p);
  if (p.BitBoardGood64 == 0) return;
  TBitBoard64 bb;
  BoardToBit64(board, bb, variant);
  TEvalContext ctx;
  ctx.TypeOfGame = variant;
  count64bit40(bb, 0, evf, ctx);
  FlipBitBoard(bb, variant);
  count64bit40(bb, 3, evf, ctx);
  count64bit_eb(bb, evf, ctx);
}

}  // namespace quorlin::fuzz
