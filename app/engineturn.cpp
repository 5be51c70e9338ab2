#include "app/engineturn.h"

#include <algorithm>
#include <cstdint>

#include "rules/variants.h"

namespace quorlin {

namespace {

// Book classes (TOpenMove::col).
constexpr int kBookWeak = 1;
constexpr int kBookPlayable = 2;
constexpr int kBookGood = 3;

int LeadingWithClassAbove(const TOpenMoves& moves, int floor) {
  int c = 0;
  while (c < moves.Op_moves && moves.openmoves[c + 1].col > floor) ++c;
  return c;
}

}  // namespace

int DefaultTimeDivisor(int variant) {
  switch (variant) {
    case kEnglish:
    case kItalian:
      return 30;
    case kInternational:
    case kFrisian:
    case kCanadian:
    case kTurkish:
    case kInternationalKiller:
      return 40;
    default:
      return 15;
  }
}

int TimeDivisor(const TEvalFunc& ef, int stage, int moveNo, int variant) {
  int divisor = 0;
  if (stage >= 0 && stage < static_cast<int>(ef.Stages.size())) {
    const TEngineStage& s = ef.Stages[static_cast<size_t>(stage)];
    divisor = static_cast<uint8_t>(std::max(s.MovesCntTot - moveNo, s.MovesCntMin));
  }
  return divisor == 0 ? DefaultTimeDivisor(variant) : divisor;
}

int MoveNumberOf(const TGame& game) {
  int moves = 0;
  const int size = static_cast<int>(game.Moves.size());
  for (int node = game.CurMovPos; node > 0 && node < size && moves < size; node = game.Moves[node].parent)
    ++moves;
  const int plies =
      game.Header.NumerationFrom + 1 + moves + (game.Header.FirstMove == TDColor::black ? 1 : 0);
  return plies / 2;
}

int PieceCount(const TBoard& board) {
  return static_cast<int>(
      std::count_if(board.b.begin() + 1, board.b.end(), [](int8_t c) { return c != kEmpty; }));
}

int BookCandidateCount(const TOpenMoves& moves, int level) {
  if (moves.Op_moves == 0) return 0;
  const int first = moves.openmoves[1].col;
  switch (level) {
    case 0:
      return first == kBookGood || first == kBookPlayable ? 1 : 0;
    case 1: {
      const int c = LeadingWithClassAbove(moves, kBookPlayable);
      return c == 0 && first == kBookPlayable ? 1 : c;
    }
    default:
      return LeadingWithClassAbove(moves, kBookWeak);
  }
}

}  // namespace quorlin
