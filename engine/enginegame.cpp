#include "engine/enginegame.h"

#include <chrono>
#include <ctime>
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

// Result of the position from the endgame databases, for side 0: a header
// code, or kResultNone when the databases do not know it or a capture is
// pending (the stored value of a win/draw/loss file ignores those).
uint8_t Adjudicate(const TEndgameDb& db, const TBoard& board, TDColor side, int variant) {
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

}  // namespace

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

const char* EngineGameEndText(TEngineGameEnd e) {
  switch (e) {
    case TEngineGameEnd::NoMove:
      return "no legal move";
    case TEngineGameEnd::Repetition:
      return "repetition";
    case TEngineGameEnd::MoveCount:
      return "move-count rule";
    case TEngineGameEnd::Adjudicated:
      return "endgame databases";
    case TEngineGameEnd::PlyCap:
      return "ply cap";
  }
  return "";
}

TDateRecord TodayRecord() {
  const std::time_t t = std::time(nullptr);
  std::tm tm{};
  localtime_r(&t, &tm);
  TDateRecord d;
  d.Year = static_cast<uint16_t>(tm.tm_year + 1900);
  d.Month = static_cast<uint8_t>(tm.tm_mon + 1);
  d.Day = static_cast<uint8_t>(tm.tm_mday);
  return d;
}

TEngineGameOutcome PlayEngineGame(TGame& game, const TOpeningLine& opening, TEngine& white, TEngine& black,
                                  const TEngineGameOptions& o) {
  const auto started = std::chrono::steady_clock::now();
  const TGameParams& p = VariantTable[o.variant];
  const std::string roundText = "game " + std::to_string(o.round);
  ClearGame(game);
  game.Params = p;
  game.Header.TypeOfGame = static_cast<uint8_t>(o.variant);
  game.Header.FirstMove = opening.first;
  game.Header.Round = o.round;
  game.Header.Date = TodayRecord();
  game.StartBoard = opening.start.b;
  game.CurBoard = TBoard{};
  game.CurBoard.b = opening.start.b;
  game.SideToMove = opening.first;
  game.CurMovPos = 0;
  game.WhiteName = o.whiteName;
  game.BlackName = o.blackName;
  game.Tournament = o.tournament;
  game.Site = o.site;

  auto play = [&](const TMove& m) {
    const int node = AddMove(game, m, game.CurMovPos);
    if (node == 0) throw std::runtime_error(roundText + ": no room for another move");
    game.CurMovPos = node;
    ApplyMove(game.Moves[node], game.CurBoard, p);
    game.SideToMove = Other(game.SideToMove);
  };
  for (const TMove& m : opening.moves) play(m);
  game.Comments[0].CommentAft = "Opening: " + opening.label;

  TEngineGameOutcome out;
  TMvs list;
  for (;;) {
    const TResultCheck check = CheckResult(game, o.giveaway, true);
    if (check.result != kResultNone) {
      out.result = check.result;
      out.end = check.rule == TResultRule::Repetition  ? TEngineGameEnd::Repetition
                : check.rule == TResultRule::MoveCount ? TEngineGameEnd::MoveCount
                                                       : TEngineGameEnd::NoMove;
      break;
    }
    if (o.adjudicator && !o.giveaway) {
      const uint8_t r = Adjudicate(*o.adjudicator, game.CurBoard, game.SideToMove, o.variant);
      if (r != kResultNone) {
        out.result = r;
        out.end = TEngineGameEnd::Adjudicated;
        game.Header.Result = r;
        break;
      }
    }
    if (out.plies >= o.maxPlies) {
      out.end = TEngineGameEnd::PlyCap;
      game.Comments[game.CurMovPos].CommentAft =
          "Stopped after " + std::to_string(o.maxPlies) + " engine plies; scored as a draw";
      break;
    }
    TEngine& mover = game.SideToMove == TDColor::white ? white : black;
    TMove best;
    if (!mover.LetOpponentMove40(game, o.budgetCs, best, false, o.nodes))
      throw std::runtime_error(roundText + ": " + mover.Name() + " gave no move");
    const int n = LegalMoves(game.CurBoard, game.SideToMove, p, list);
    const TMove* legal = FindLegal(best, list, n);
    if (!legal) throw std::runtime_error(roundText + ": " + mover.Name() + " chose an illegal move");
    play(*legal);
    ++out.plies;
  }
  if (out.end == TEngineGameEnd::Repetition || out.end == TEngineGameEnd::MoveCount ||
      out.end == TEngineGameEnd::Adjudicated)
    game.Comments[game.CurMovPos].CommentAft =
        std::string(out.end == TEngineGameEnd::Adjudicated ? "Decided by the " : "Draw by ") +
        EngineGameEndText(out.end);
  out.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
  return out;
}

double WhitePoints(uint8_t result) {
  switch (result) {
    case kResultWhiteWin:
    case kResultWhiteWinTime:
      return 1.0;
    case kResultBlackWin:
    case kResultBlackWinTime:
      return 0.0;
    default:
      return 0.5;
  }
}

}  // namespace quorlin
