#include "engine/openinglines.h"

#include <stdexcept>

#include "engine/gameresult.h"
#include "games/database.h"
#include "rules/bitmovegen.h"
#include "rules/movegen.h"
#include "rules/position.h"
#include "rules/variants.h"

namespace quorlin {
namespace {

TDColor Other(TDColor c) { return c == TDColor::white ? TDColor::black : TDColor::white; }

// The generated legal move equal to `m` (same path and captures), or nullptr.
const TMove* FindLegal(const TMove& m, const TMvs& list, int count) {
  for (int i = 1; i <= count; ++i)
    if (list[i].From() == m.From() && list[i].To() == m.To() && SameCapture(list[i], m)) return &list[i];
  return nullptr;
}

int LegalMoves(const TBoard& b, TDColor side, const TGameParams& p, TMvs& list) {
  uint8_t n = 0;
  GenerateMoves(b, static_cast<int>(side), list, n, p, true);
  return n;
}

// Plays `plies` random moves from the end of `op`; false when the game ended
// on the way or the side to move then has no move.
bool AddRandomPlies(TOpeningLine& op, int plies, const TGameParams& p, TRandom& rng) {
  TBoard b = op.start;
  TDColor side = op.first;
  TMvs list;
  for (const TMove& m : op.moves) {
    ApplyMove(m, b, p);
    side = Other(side);
  }
  for (int ply = 0; ply < plies; ++ply) {
    const int n = LegalMoves(b, side, p, list);
    if (n == 0) return false;
    const TMove& m = list[1 + rng.Below(static_cast<uint32_t>(n))];
    op.moves.push_back(m);
    ApplyMove(m, b, p);
    side = Other(side);
  }
  return LegalMoves(b, side, p, list) > 0;
}

}  // namespace

uint8_t AdjudicateByDatabases(const TEndgameDb& db, const TBoard& board, TDColor side, int variant) {
  TBitBoard64 bb;
  BoardToBit64(board, bb, variant);
  if (side == TDColor::black) FlipBitBoard(bb, variant);
  if (bb.w == 0 || bb.b == 0) return kResultNone;
  if (CapturingPieces64(bb, variant) != 0 || OpponentCapturingPieces64(bb, variant) != 0) return kResultNone;
  uint8_t value = 0;
  TEbType type = ebMTW;
  if (!db.ProbeRaw(bb, value, type)) return kResultNone;
  if (value == 0) return kResultDraw;
  bool moverWins;
  if (type == ebMTW)
    moverWins = value % 2 == 0;
  else if (type == ebWDL)
    moverWins = value == 2;
  else
    moverWins = value != 1;
  const bool whiteWins = moverWins == (side == TDColor::white);
  return whiteWins ? kResultWhiteWin : kResultBlackWin;
}


std::vector<TOpeningLine> RandomOpeningLines(int variant, int count, int plies, uint64_t seed) {
  const TGameParams& p = VariantTable[variant];
  TRandom rng(seed);
  std::vector<TOpeningLine> out;
  out.reserve(static_cast<size_t>(count));
  for (int i = 0; i < count; ++i) {
    TOpeningLine op;
    for (int attempt = 0; attempt < 1000; ++attempt) {
      op = TOpeningLine{};
      op.start.b = StartPosition(p, false);
      op.label = "random " + std::to_string(i + 1);
      if (AddRandomPlies(op, plies, p, rng)) break;
    }
    out.push_back(std::move(op));
  }
  return out;
}

std::vector<TOpeningLine> DatabaseOpeningLines(const std::string& path, int variant,
                                               std::vector<std::string>* warnings, int* otherVariant,
                                               bool anyVariant) {
  TQuorlinDB db;
  if (!OpenDatabase(path, db, true))
    throw std::runtime_error("cannot open the openings database \"" + path + "\": " + db.LastError);
  const TGameParams& p = VariantTable[variant];
  std::vector<TOpeningLine> out;
  int others = 0;
  auto warn = [&](const std::string& w) {
    if (warnings) warnings->push_back(w);
  };
  const int count = IndexRecordCount(db);
  for (int n = 1; n <= count; ++n) {
    TGame g;
    if (!ReadGame(db, n, false, -1, g)) {
      warn("openings game " + std::to_string(n) + " not read: " + db.LastError);
      continue;
    }
    if (g.Header.Flags & kHeaderFlagDeleted) continue;
    if (g.Header.TypeOfGame != variant) {
      ++others;
      if (!anyVariant) continue;
    }
    TOpeningLine op;
    op.start.b = g.StartBoard;
    op.first = g.Header.FirstMove;
    op.label = "database game " + std::to_string(n);
    TBoard b = op.start;
    TDColor side = op.first;
    bool ok = true;
    TChildList children;
    TMvs list;
    for (int node = 0; GetChildren(g, node, children) > 0; node = children[0]) {
      const int k = LegalMoves(b, side, p, list);
      const TMove* legal = FindLegal(g.Moves[children[0]], list, k);
      if (!legal) {
        warn("openings game " + std::to_string(n) + ": move " + std::to_string(op.moves.size() + 1) +
             " is not legal; game skipped");
        ok = false;
        break;
      }
      op.moves.push_back(*legal);
      ApplyMove(*legal, b, p);
      side = Other(side);
    }
    if (!ok) continue;
    if (LegalMoves(b, side, p, list) == 0) {
      warn("openings game " + std::to_string(n) + ": the side to move has no move at its end; game skipped");
      continue;
    }
    out.push_back(std::move(op));
  }
  CloseDatabase(db);
  if (otherVariant) *otherVariant = others;
  return out;
}

void ShuffleOpenings(std::vector<TOpeningLine>& openings, uint64_t seed) {
  TRandom rng(seed);
  for (size_t i = openings.size(); i > 1; --i)
    std::swap(openings[i - 1], openings[rng.Below(static_cast<uint32_t>(i))]);
}

void ExtendOpenings(std::vector<TOpeningLine>& openings, int variant, int plies, uint64_t seed) {
  if (plies <= 0) return;
  const TGameParams& p = VariantTable[variant];
  TRandom rng(seed);
  for (TOpeningLine& op : openings) {
    const TOpeningLine base = op;
    for (int attempt = 0; attempt < 100; ++attempt) {
      op = base;
      if (AddRandomPlies(op, plies, p, rng)) break;
      op = base;  // keep the plain opening when no extension works
    }
  }
}

}  // namespace quorlin
