// quorlin perft: counts the positions of the legal-move tree, to check the move
// generator against published figures and to measure its speed.
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "rules/bitmovegen.h"
#include "rules/bitperft.h"
#include "rules/fen.h"
#include "rules/notation.h"
#include "rules/perft.h"
#include "rules/variants.h"
#include "tools/args.h"
#include "tools/command.h"

namespace quorlin::cli {
namespace {

constexpr long long kMaxDepth = 40;

double Seconds(std::chrono::steady_clock::time_point since) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

void PrintLine(int depth, uint64_t count, double seconds) {
  const double nps = seconds > 0 ? static_cast<double>(count) / seconds : 0.0;
  std::printf("perft %d %llu %.3f %.0f\n", depth, static_cast<unsigned long long>(count), seconds, nps);
  std::fflush(stdout);
}

int Perft(const Args& words) {
  const TArgs args(words, {"--fen"}, {"--keep-duplicates", "--divide", "--bitboard", "--bulk"});
  args.ExpectPositionals(2, 2, "a variant and a depth");
  const std::vector<std::string>& positional = args.Positionals();
  const bool dedupe = !args.Has("--keep-duplicates"), divide = args.Has("--divide");
  const bool bitboard = args.Has("--bitboard"), bulk = args.Has("--bulk");
  const int slot = ParseVariantArg(positional[0]);
  const TGameParams& params = VariantTable[slot];
  const int depth = static_cast<int>(ParseCount(positional[1], "depth", kMaxDepth));
  if (depth < 1) throw UsageError{"bad depth \"" + positional[1] + "\": at least 1"};
  if (bitboard) {
    if (!HasBitboardGenerator(slot))
      throw UsageError{params.Name + " has no 64-bit generator; count without --bitboard"};
    if (!dedupe)
      throw UsageError{"--keep-duplicates needs the square-list generator: the 64-bit one lists positions"};
    if (divide) throw UsageError{"--divide needs the square-list generator: the 64-bit one lists no moves"};
  }

  TBoard board;
  int side = 0;
  if (args.Has("--fen"))
    ReadFenArg(params, args.Text("--fen"), board, side);
  else
    board.b = StartPosition(params, false);

  // With --divide the last depth is counted once, move by move.
  uint64_t lastCount = 0;
  double lastSeconds = 0;
  if (divide) {
    const auto start = std::chrono::steady_clock::now();
    const auto roots = PerftDivide(board, side, depth, params, dedupe);
    lastSeconds = Seconds(start);
    const std::string sep = params.intface.Notation == 0 ? ":" : "x";
    for (const PerftRootCount& r : roots) {
      std::printf("%s %llu\n", MoveText(r.move, params, kStyleExtended, sep).c_str(),
                  static_cast<unsigned long long>(r.count));
      lastCount += r.count;
    }
  }
  for (int d = 1; d <= depth; ++d) {
    if (divide && d == depth) {
      PrintLine(d, lastCount, lastSeconds);
      break;
    }
    const auto start = std::chrono::steady_clock::now();
    const uint64_t count =
        bitboard ? PerftBitboard(board, side, d, slot, bulk) : quorlin::Perft(board, side, d, params, dedupe);
    PrintLine(d, count, Seconds(start));
  }
  return 0;
}

Command perft("perft", "perft VARIANT DEPTH [--fen FEN] [--keep-duplicates] [--divide] [--bitboard [--bulk]]",
              "count the positions 1..DEPTH plies deep (dedupes equal captures unless --keep-duplicates; "
              "--bitboard counts with the 64-bit generator, --bulk counts its last ply by list length, "
              "as the square-list count always does)",
              Perft);

}  // namespace
}  // namespace quorlin::cli
