#include "engine/gameresult.h"

#include <cstdlib>

#include "rules/movegen.h"

namespace quorlin {

int RepetitionLimit(const TGameParams& params) { return params.TypeOfGame == kItalian ? 4 : 3; }

int PositionOccurrences(const TBoard& start, std::span<const TMove* const> line, const TGameParams& params) {
  // Positions at an even distance from the end have the same side to move as
  // the final one; the others never count.
  std::vector<TBrd> cells;
  cells.reserve(line.size() + 1);
  TBoard board = start;
  cells.push_back(board.b);
  for (const TMove* m : line) {
    ApplyMove(*m, board, params);
    cells.push_back(board.b);
  }
  const size_t n = line.size();
  int count = 1;
  for (size_t i = n % 2; i < n; i += 2)
    if (cells[i] == cells[n]) ++count;
  return count;
}

bool RepetitionDraw(const TBoard& start, std::span<const TMove* const> line, const TGameParams& params) {
  return PositionOccurrences(start, line, params) >= RepetitionLimit(params);
}

namespace {

// True when the move ends a run of quiet moves, judged on the position before it.
bool ResetsMoveCount(const TMove& m, const TBoard& before, const TGameParams& params) {
  if (m.IsCapture()) return true;
  if (params.TypeOfGame == kTurkish) return (m.From() - 1) / 8 != (m.To() - 1) / 8;
  const int from = m.From();
  return from >= 1 && from <= kMaxSquares && std::abs(before.b[from]) == 1;
}

struct TPieceCount {
  int men[2] = {0, 0};
  int kings[2] = {0, 0};
};

TPieceCount CountPieces(const TBoard& board, const TGameParams& params) {
  TPieceCount c;
  for (int s = 1; s <= params.compute.BoardSize; ++s) {
    switch (board.b[s]) {
      case kWhiteMan:
        ++c.men[0];
        break;
      case kWhiteKing:
        ++c.kings[0];
        break;
      case kBlackMan:
        ++c.men[1];
        break;
      case kBlackKing:
        ++c.kings[1];
        break;
      default:
        break;
    }
  }
  return c;
}

// Quiet moves at the end of the line; `final` gets the position after it.
int QuietRun(const TBoard& start, std::span<const TMove* const> line, const TGameParams& params,
             TBoard& final) {
  final = start;
  int count = 0;
  for (const TMove* m : line) {
    count = ResetsMoveCount(*m, final, params) ? 0 : count + 1;
    ApplyMove(*m, final, params);
  }
  return count;
}

}  // namespace

int QuietMoveCount(const TBoard& start, std::span<const TMove* const> line, const TGameParams& params) {
  TBoard final;
  return QuietRun(start, line, params, final);
}

bool MoveCountRule(const TGameParams& params, int quietMoves, const TBoard& final) {
  const TPieceCount c = CountPieces(final, params);
  const int variant = params.TypeOfGame;
  if (variant == kTurkish && quietMoves >= 1) {
    const bool onePieceEach = c.men[0] + c.kings[0] == 1 && c.men[1] + c.kings[1] == 1;
    if (onePieceEach && c.kings[0] + c.kings[1] >= 1) return true;
  }
  if (variant == kFrisian && quietMoves >= 14 && c.men[0] == 0 && c.men[1] == 0 &&
      ((c.kings[0] == 2 && c.kings[1] == 1) || (c.kings[0] == 1 && c.kings[1] == 2)))
    return true;
  switch (variant) {
    case kEnglish:
      return quietMoves >= 100;
    case kItalian:
      return quietMoves >= 80;
    case kTurkish:
      return quietMoves >= 32;
    default:
      return quietMoves >= 40;
  }
}

bool MoveCountDraw(const TBoard& start, std::span<const TMove* const> line, const TGameParams& params) {
  TBoard final;
  const int count = QuietRun(start, line, params, final);
  return MoveCountRule(params, count, final);
}

bool CollectGameLine(const TGame& game, int node, std::vector<const TMove*>& line) {
  line.clear();
  const int n = static_cast<int>(game.Moves.size());
  if (node < 0 || node >= n) return false;
  for (int at = node; at != 0; at = game.Moves[at].parent) {
    // A parent link outside the tree, a free slot or a cycle: no valid line.
    if (at < 0 || at >= n || game.Moves[at].free || static_cast<int>(line.size()) >= n) {
      line.clear();
      return false;
    }
    line.push_back(&game.Moves[at]);
  }
  std::vector<const TMove*> forward(line.rbegin(), line.rend());
  line.swap(forward);
  return true;
}

namespace {

TBoard StartOf(const TGame& game) {
  TBoard start;
  start.b = game.StartBoard;
  return start;
}

}  // namespace

bool RepetitionDraw(const TGame& game, int node) {
  std::vector<const TMove*> line;
  if (!CollectGameLine(game, node, line)) return false;
  return RepetitionDraw(StartOf(game), line, game.Params);
}

bool MoveCountDraw(const TGame& game, int node) {
  std::vector<const TMove*> line;
  if (!CollectGameLine(game, node, line)) return false;
  return MoveCountDraw(StartOf(game), line, game.Params);
}

TResultCheck CheckResult(TGame& game, bool giveaway, bool playMode) {
  TResultCheck r;
  TMvs moves;
  uint8_t count = 0;
  GenerateMoves(game.CurBoard, static_cast<int>(game.SideToMove), moves, count, game.Params, true);
  r.noLegalMove = count == 0;
  // The side without a move loses, or wins in a giveaway game.
  const bool whiteStuck = game.SideToMove == TDColor::white;
  const uint8_t stuckResult = (whiteStuck != giveaway) ? kResultBlackWin : kResultWhiteWin;
  if (r.noLegalMove) {
    r.result = stuckResult;
    r.rule = TResultRule::NoMove;
  }

  if (game.Header.Result != kResultNone) {
    r.result = game.Header.Result;
    r.rule = TResultRule::Recorded;
    return r;
  }

  std::vector<const TMove*> line;
  if (CollectGameLine(game, game.CurMovPos, line)) {
    const TBoard start = StartOf(game);
    TResultRule draw = TResultRule::None;
    if (RepetitionDraw(start, line, game.Params))
      draw = TResultRule::Repetition;
    else if (MoveCountDraw(start, line, game.Params))
      draw = TResultRule::MoveCount;
    if (draw != TResultRule::None) {
      r.result = kResultDraw;
      r.rule = draw;
      r.message = kMsgDraw;
      r.messageSilent = true;
      game.Header.Result = kResultDraw;
      r.headerSet = true;
      return r;
    }
  }

  if (playMode && r.noLegalMove) {
    game.Header.Result = stuckResult;
    r.headerSet = true;
    const bool whiteStart = game.Params.intface.WhiteStart;
    // Side 0 is shown as Black when the variant does not call it White.
    const bool shownBlackWins =
        (stuckResult == kResultWhiteWin && !whiteStart) || (stuckResult == kResultBlackWin && whiteStart);
    r.message = shownBlackWins ? kMsgBlackWin : kMsgWhiteWin;
    r.messageSilent = false;
  }
  return r;
}

}  // namespace quorlin
