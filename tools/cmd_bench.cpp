// quorlin bench: searches a fixed set of positions of several variants to a
// fixed depth and prints the total node count and the speed. With one thread
// the node count is a signature of the search: it changes only when the search
// (or the move generator or evaluation) changes.
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "engine/engine.h"
#include "engine/evaluation.h"
#include "games/gamerecord.h"
#include "rules/movegen.h"
#include "rules/position.h"
#include "rules/variants.h"
#include "tools/args.h"
#include "tools/command.h"

namespace quorlin::cli {
namespace {

// Material and advancement: every man is worth 100 plus 4 per row it has
// advanced; kings by the board's default. The search parameters switch the
// single-reply extension and both reduced probes on, so that the bench runs
// every part of the search.
TEvalFunc BenchEngine(int variant) {
  const TGameParams& p = VariantTable[variant];
  TEvalFunc ef;
  ef.Name = "Bench";
  ef.Version = kBitboardVersion;
  TEngineStage& st = ef.Stages[0];
  st.MinDraughts = 0;
  st.MaxDraughts = 128;
  st.ExtSelfMin = 0;
  st.ExtSelfMax = 1;
  st.ExtOppMin = 0;
  st.ExtOppMax = 1;
  st.ReductAlphaMin = 0.3f;
  st.ReductAlphaMax = 0.8f;
  st.ReductBetaMin = 0.3f;
  st.ReductBetaMax = 0.8f;
  st.RangeAlphaSelf = st.RangeAlphaOpp = 1.0f;
  st.RangeBetaSelf = st.RangeBetaOpp = 1.0f;
  TEvalFuncStatic& ev = st.Eval;
  ev.Version = kBitboardVersion;
  ev.ManValue = kDefaultManValue;
  ev.KingValue = DefaultKingValue(p);
  ev.SideToMove = 5;
  const int rows = p.BoardHeight;
  for (int s = 1; s <= p.compute.BoardSize; ++s) {
    TBoard one;
    one.b[s] = kWhiteMan;
    TBitBoard64 bb;
    BoardToBit64(one, bb, variant);
    if (bb.w == 0) continue;
    const int row = SquareRow(p, s);
    AddPattern(ev, TPattern{TBitBoard64{bb.w, 0, 0}, 4 * row});
    AddPattern(ev, TPattern{TBitBoard64{0, bb.w, 0}, -4 * (rows - 1 - row)});
  }
  CompileEvf(ev);
  return ef;
}

struct TBenchPosition {
  int variant;
  int plies;  // plies played from the start by a fixed rule
};

// Start positions and early middlegames of several rule families.
const TBenchPosition kPositions[] = {
    {kRussian, 0}, {kRussian, 10},   {kEnglish, 0}, {kEnglish, 14}, {kInternational, 0}, {kInternational, 16},
    {kItalian, 8}, {kBrazilian, 18}, {kTurkish, 0}, {kTurkish, 4},  {kThai, 10},         {kSpanish, 8},
};

TGame BenchGame(const TBenchPosition& bp) {
  const TGameParams& params = VariantTable[bp.variant];
  TGame game;
  ClearGame(game);
  game.Params = params;
  game.Header.TypeOfGame = static_cast<uint8_t>(bp.variant);
  game.CurBoard.b = StartPosition(params, false);
  int side = 0;
  TMvs list;
  for (int ply = 0; ply < bp.plies; ++ply) {
    uint8_t count = 0;
    GenerateMoves(game.CurBoard, side, list, count, params, true);
    if (count == 0) break;
    ApplyMove(list[(ply * 7 + 3) % count + 1], game.CurBoard, params);
    side = 1 - side;
  }
  game.StartBoard = game.CurBoard.b;
  game.SideToMove = side == 0 ? TDColor::white : TDColor::black;
  game.Header.FirstMove = game.SideToMove;
  return game;
}

int Bench(const Args& words) {
  const TArgs args(words, {"--depth", "--threads"});
  args.ExpectPositionals(0, 0, "no arguments");
  const long long depth = args.Count("--depth", 9, 1, kMaxSearchPly);
  const long long threads = args.Count("--threads", 1, 1, 255);

  std::atomic<bool> stop{false};
  TAnalysisInfo info;
  TEngine engine(&info, &stop);
  engine.ThreadsCount = static_cast<int>(threads);
  engine.AnalysisMode = false;
  int64_t totalNodes = 0;
  double totalSeconds = 0;
  for (const TBenchPosition& bp : kPositions) {
    TEvalFunc ef = BenchEngine(bp.variant);
    ef.MaxDepth = static_cast<int32_t>(depth);
    engine.SetEvf(ef);
    const TGame game = BenchGame(bp);
    // Set the variant up and empty the table outside the timed part.
    engine.InitEngine(bp.variant);
    stop = false;
    HashClear(engine.Hash(), &stop);
    TMove best;
    const auto t0 = std::chrono::steady_clock::now();
    engine.LetOpponentMove40(game, int64_t{100000000}, best, false, 0);
    const double sec = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    const int64_t nodes = engine.PstCnt();
    totalNodes += nodes;
    totalSeconds += sec;
    std::printf("%-20s plies %2d  nodes %12lld  %7.3f s\n", VariantTable[bp.variant].Name.c_str(), bp.plies,
                static_cast<long long>(nodes), sec);
  }
  std::printf("depth %lld, threads %lld\n", depth, threads);
  std::printf("nodes %lld\n", static_cast<long long>(totalNodes));
  std::printf("nodes/s %lld\n",
              static_cast<long long>(totalSeconds > 0 ? static_cast<double>(totalNodes) / totalSeconds : 0));
  return 0;
}

Command bench("bench", "bench [--depth N] [--threads N]",
              "searches fixed positions of several variants to a fixed depth: node signature and speed "
              "(one thread unless --threads says otherwise: the one-thread count is the signature)",
              Bench);

}  // namespace
}  // namespace quorlin::cli
