#include "engine/problemgen.h"

#include "rules/movegen.h"
#include "rules/position.h"
#include "rules/variants.h"

namespace quorlin {
namespace {

TDColor Other(TDColor c) { return c == TDColor::white ? TDColor::black : TDColor::white; }

int LegalMoves(const TBoard& b, TDColor side, const TGameParams& p, TMvs& list) {
  uint8_t n = 0;
  GenerateMoves(b, static_cast<int>(side), list, n, p, true);
  return n;
}

// The winner's winning moves and the defender's best replies at one position.
struct TChoice {
  std::vector<int> winning;  // indices (1-based) of the moves that keep a win
  int longest = 0;           // defender: index of the reply that holds out longest
  bool known = true;
};

TChoice Choices(const TEndgameDb& db, const TBoard& b, TDColor side, const TGameParams& p, int variant,
                const TMvs& list, int n) {
  TChoice c;
  int longestDistance = -1;
  for (int i = 1; i <= n; ++i) {
    TBoard after = b;
    ApplyMove(list[i], after, p);
    const int d = DatabaseDistance(db, after, Other(side), variant);
    if (d < 0) {
      c.known = false;
      return c;
    }
    if (d % 2 == 1) c.winning.push_back(i);  // the opponent is lost there
    if (d % 2 == 1 && d > longestDistance) {
      longestDistance = d;
      c.longest = i;
    }
  }
  return c;
}

}  // namespace

int DatabaseDistance(const TEndgameDb& db, const TBoard& board, TDColor side, int variant) {
  const TGameParams& p = VariantTable[variant];
  TMvs list;
  if (LegalMoves(board, side, p, list) == 0) return 1;  // no move: lost at once
  TBitBoard64 bb;
  BoardToBit64(board, bb, variant);
  if (side == TDColor::black) FlipBitBoard(bb, variant);
  uint8_t value = 0;
  TEbType type;
  if (!db.ProbeRaw(bb, value, type) || type != ebMTW) return -1;
  return value;
}

std::vector<TGame> MakeProblems(const TEndgameDb& db, const TProblemOptions& o,
                                const std::function<void(int)>& progress) {
  const TGameParams& p = VariantTable[o.variant];
  const TEdbGeometry g = EdbGeometryOfVariant(o.variant);
  std::vector<TGame> out;
  TRandom rng(o.seed);
  // Piece mixes of up to four pieces, the winner never the poorer side.
  struct TMix {
    uint8_t wm, bm, wk, bk;
  };
  const TMix mixes[] = {{2, 1, 0, 1}, {1, 1, 1, 1}, {3, 1, 0, 0}, {2, 2, 0, 0}, {1, 2, 1, 0},
                        {2, 1, 1, 0}, {1, 1, 1, 0}, {0, 1, 2, 1}, {3, 0, 0, 1}, {2, 1, 0, 0}};
  for (int attempt = 0; attempt < o.attempts && static_cast<int>(out.size()) < o.count; ++attempt) {
    const TMix& m = mixes[attempt % (sizeof mixes / sizeof mixes[0])];
    if (m.wm + m.bm + m.wk + m.bk > g.maxPerSide * 2) continue;
    TBoard start;
    if (!GeneratePosition(m.wm, m.bm, m.wk, m.bk, start.b, false, true, true, p, rng)) continue;
    const TDColor winner = TDColor::white;
    const int d0 = DatabaseDistance(db, start, winner, o.variant);
    if (d0 <= 0 || d0 % 2 == 1 || d0 > o.maxPlies || d0 < 2 * o.minWinnerMoves - 1) continue;

    TGame game;
    ClearGame(game);
    game.Params = p;
    game.Header.TypeOfGame = static_cast<uint8_t>(o.variant);
    game.Header.FirstMove = winner;
    game.StartBoard = start.b;
    TBoard b = start;
    TDColor side = winner;
    int node = 0, winnerMoves = 0;
    bool ok = true;
    TMvs list;
    for (int ply = 0; ok; ++ply) {
      const int n = LegalMoves(b, side, p, list);
      if (n == 0) break;  // the defender is out of moves: solved
      if (ply > o.maxPlies) {
        ok = false;
        break;
      }
      const TChoice c = Choices(db, b, side, p, o.variant, list, n);
      int pick = 0;
      if (!c.known) {
        ok = false;
      } else if (side == winner) {
        if (c.winning.size() != 1) ok = false;
        else pick = c.winning[0], ++winnerMoves;
      } else {
        // The defender: the reply whose loss is the longest.
        int best = -1;
        for (int i = 1; i <= n; ++i) {
          TBoard after = b;
          ApplyMove(list[i], after, p);
          const int d = DatabaseDistance(db, after, Other(side), o.variant);
          if (d > best) best = d, pick = i;
        }
      }
      if (!ok) break;
      node = AddMove(game, list[pick], node);
      if (node == 0) {
        ok = false;
        break;
      }
      ApplyMove(list[pick], b, p);
      side = Other(side);
    }
    if (!ok || winnerMoves < o.minWinnerMoves) continue;
    game.Header.Medals |= 1;
    game.Header.Result = kResultWhiteWin;
    game.Tournament = "Problems: " + p.Name;
    game.WhiteName = "Win in " + std::to_string(winnerMoves) + " moves";
    game.CurBoard = start;
    game.SideToMove = winner;
    game.CurMovPos = 0;
    out.push_back(std::move(game));
    if (progress) progress(static_cast<int>(out.size()));
  }
  return out;
}

bool CheckProblem(const TEndgameDb& db, const TGame& game, std::string* why) {
  auto fail = [&](const std::string& w) {
    if (why) *why = w;
    return false;
  };
  const int variant = game.Header.TypeOfGame;
  const TGameParams& p = VariantTable[variant];
  TBoard b;
  b.b = game.StartBoard;
  TDColor side = game.Header.FirstMove;
  const TDColor winner = side;
  TChildList children;
  TMvs list;
  int ply = 0;
  for (int node = 0; GetChildren(game, node, children) > 0; node = children[0], ++ply) {
    const TMove& m = game.Moves[children[0]];
    const int n = LegalMoves(b, side, p, list);
    int index = 0;
    for (int i = 1; i <= n && !index; ++i)
      if (list[i].From() == m.From() && list[i].To() == m.To() && SameCapture(list[i], m)) index = i;
    if (!index) return fail("move " + std::to_string(ply + 1) + " is not legal");
    const TChoice c = Choices(db, b, side, p, variant, list, n);
    if (!c.known) return fail("move " + std::to_string(ply + 1) + ": a position is not in the databases");
    if (side == winner && (c.winning.size() != 1 || c.winning[0] != index))
      return fail("move " + std::to_string(ply + 1) + " is not the only winning move");
    ApplyMove(list[index], b, p);
    side = Other(side);
  }
  if (side == winner || LegalMoves(b, side, p, list) != 0) return fail("the line does not end the game");
  return true;
}

}  // namespace quorlin
