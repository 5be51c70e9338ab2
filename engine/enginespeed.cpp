#include "engine/enginespeed.h"

#include <atomic>
#include <ctime>
#include <stdexcept>

#include "engine/engine.h"
#include "rules/movegen.h"
#include "rules/position.h"
#include "rules/variants.h"

namespace quorlin {
namespace {

double ProcessCpuSeconds() {
  timespec t{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

// A search that ignored its position budget would otherwise run for ever.
constexpr int64_t kPositionTimeCapCs = 6000;

}  // namespace

std::vector<TSpeedPosition> SpeedPositions(int variant, int count, int stride) {
  const TGameParams& p = VariantTable[variant];
  std::vector<TSpeedPosition> out;
  TSpeedPosition cur;
  cur.board.b = StartPosition(p, false);
  for (int ply = 0; static_cast<int>(out.size()) < count; ++ply) {
    TMvs moves;
    uint8_t n = 0;
    GenerateMoves(cur.board, cur.side, moves, n, p, true);
    if (n == 0) break;
    if (ply % stride == 0) out.push_back(cur);
    ApplyMove(moves[1 + (ply * 7) % n], cur.board, p);
    cur.side = 1 - cur.side;
  }
  return out;
}

TEngineSpeed MeasureEngineSpeed(const std::string& engineFile, int variant,
                                const std::vector<TSpeedPosition>& positions, int nodesPerPosition) {
  const TGameParams& p = VariantTable[variant];
  TAnalysisInfo info;
  std::atomic<bool> stop{false};
  TEngine engine(&info, &stop, 16);
  if (!engine.LoadFromFile(engineFile, variant))
    throw std::runtime_error("engine description \"" + engineFile + "\" not found");
  engine.ThreadsCount = 1;
  engine.AnalysisMode = false;

  TEngineSpeed speed;
  for (const TSpeedPosition& pos : positions) {
    TGame game;
    ClearGame(game);
    game.Params = p;
    game.Header.TypeOfGame = static_cast<uint8_t>(variant);
    game.Header.FirstMove = pos.side == 0 ? TDColor::white : TDColor::black;
    game.StartBoard = pos.board.b;
    game.CurBoard = pos.board;
    game.SideToMove = game.Header.FirstMove;
    TMove best;
    const double before = ProcessCpuSeconds();
    engine.LetOpponentMove40(game, kPositionTimeCapCs, best, true, nodesPerPosition);
    speed.cpuSeconds += ProcessCpuSeconds() - before;
    speed.nodes += engine.PstCnt();
    ++speed.positions;
  }
  return speed;
}

}  // namespace quorlin
