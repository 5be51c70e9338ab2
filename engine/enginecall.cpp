// One call of the engine: the steps of LetOpponentMove40, the workers that
// deepen the root moves, and what they publish.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <utility>

#include "engine/engine.h"
#include "engine/evaluation.h"
#include "rules/bitmovegen.h"
#include "rules/movegen.h"
#include "rules/notation.h"
#include "rules/position.h"

namespace quorlin {

namespace {

// Counter of the worker running on this thread (null outside workers).
thread_local std::atomic<int64_t>* tlsPstCnt = nullptr;

// Root moves deepen to this target ply when the description sets no limit.
constexpr int kDefaultMaxDepth = 49;
// Longest line shown for a root move.
constexpr int kMaxPVMoves = 20;
const char* const kCaptureSeparator = "x";
// A root move starts as searched to this target ply.
constexpr uint8_t kFirstRootDepth = 3;

}  // namespace

// --- The call, step by step ----------------------------------------------------------

bool TEngine::LetOpponentMove40(const TGame& Game, int64_t Time, TMove& BestMv, bool computealways,
                                int fastplay) {
  // One call at a time: a second caller returns at once and touches nothing.
  bool idle = false;
  if (!inCall_.compare_exchange_strong(idle, true)) return false;
  struct TCallGuard {
    std::atomic<bool>& flag;
    ~TCallGuard() { flag.store(false); }
  } callGuard{inCall_};

  SetCallLimits(Time, fastplay);
  TakePosition(Game, fastplay);
  if (!SetUpVariant(Game)) return false;
  if (!EmptyTable()) return false;
  RememberGameLine(Game);
  if (ListRootMoves(computealways, fastplay) == 0) {
    SetNotAnalysing(true);
    return false;
  }
  ResetCounters(fastplay);
  SkipMovesBackIntoTheGame();
  RunWorkers();
  ChooseMove(BestMv);
  return true;
}

void TEngine::SetCallLimits(int64_t Time, int fastplay) {
  // A position budget from the caller applies even when the description has
  // none (MaxPos 0); the description's budget caps it.
  TimeAnalysisStarted = EngineClockCs();
  MaxTimeAnalysis = Time;
  const TEvalFunc desc = EvalFunc();
  fmaxdepth = desc.MaxDepth == 0 ? kDefaultMaxDepth : std::clamp(desc.MaxDepth, 1, kMaxSearchPly);
  MaxPosAnalysis = fastplay;
  if (desc.MaxPos != 0 && (fastplay <= 0 || fastplay > desc.MaxPos)) MaxPosAnalysis = desc.MaxPos;
  if (MaxPosAnalysis < 0) MaxPosAnalysis = 0;
}

void TEngine::TakePosition(const TGame& Game, int fastplay) {
  CurBoard = Game.CurBoard;
  SideToMove = Game.SideToMove;
  std::lock_guard<std::mutex> g(info_->Used);
  info_->CurrentGamePos = Game.CurMovPos;
  info_->fastplay = fastplay;
}

bool TEngine::SetUpVariant(const TGame& Game) {
  if (InitSection.load()) return false;
  // The flag is cleared before the engine shows that it is analysing: a stop
  // raised once Analysing() is true belongs to this call and is never lost.
  stop_->store(false);
  SetNotAnalysing(false);
  InitSection = true;
  try {
    InitEngine(Game.Header.TypeOfGame);
  } catch (...) {
    InitSection = false;
    SetNotAnalysing(true);
    throw;
  }
  InitSection = false;
  // From here on the call works on its own copies.
  FreezeCallState(Game.Params);
  std::lock_guard<std::mutex> g(info_->Used);
  info_->PonderMove.clear();
  info_->IsPonder = false;
  return true;
}

bool TEngine::EmptyTable() {
  // An empty table needs no pass over its 128 MB. A stop while it is cleared
  // ends the call at once.
  if (!(FHash.Replace && AnalysisMode.load()) && FHash.CurSize.load() > 0) HashClear(FHash, stop_);
  {
    std::lock_guard<std::mutex> g(info_->Used);
    info_->Details.clear();
  }
  if (!stop_->load()) return true;
  SetNotAnalysing(true);
  return false;
}

void TEngine::RememberGameLine(const TGame& Game) {
  // The positions of the game line before the current one, for repetitions,
  // and the number of half-moves played, for move numbers.
  history_.clear();
  historySide_.clear();
  std::vector<int> line;
  for (int node = Game.CurMovPos; node > 0 && node < static_cast<int>(Game.Moves.size()) &&
                                  static_cast<int>(line.size()) < kMaxLineNodes;
       node = Game.Moves[node].parent)
    line.push_back(node);
  TBoard b;
  b.b = Game.StartBoard;
  TDColor side = Game.Header.FirstMove;
  for (auto it = line.rbegin(); it != line.rend(); ++it) {
    history_.push_back(b);
    historySide_.push_back(side);
    ApplyMove(Game.Moves[*it], b, Params);
    side = Opponent(side);
  }
  halfMove_ = static_cast<int>(line.size()) + Game.Header.NumerationFrom +
              (Game.Header.FirstMove == TDColor::black ? 1 : 0);
}

int TEngine::ListRootMoves(bool computealways, int fastplay) {
  TAnalysisInfo& info = *info_;
  const int style = NotationStyle.load();
  const std::string engineName = GetEngineName();
  std::string number;
  MoveNumberText(halfMove_, 1, false, number, true);
  std::lock_guard<std::mutex> g(info.Used);
  info.ComputeAlways = computealways;
  GenerateMoves(CurBoard, static_cast<int>(SideToMove), info.moves1, info.TotalMoves, Params, true);
  const int total = info.TotalMoves;
  info.Updated = false;
  info.EngineNm = engineName;
  info.PV.clear();
  info.Info.clear();
  info.Depth = 10 * kFirstRootDepth;
  info.DepthStr = std::to_string(kFirstRootDepth);
  for (int i = 1; i <= total; ++i) {
    info.Sort[i] = static_cast<uint8_t>(i);
    TRootMove& rm = info.Moves[i];
    rm.Guess = 0;
    rm.depth = kFirstRootDepth;
    rm.Eval = TEval{-kFullWindow, kFullWindow, 0};
    rm.CurEval = TEval{};
    rm.PVs = info.PonderMove + number + MoveText(info.moves1[i], Params, style, kCaptureSeparator);
    rm.PV.Length = 1;
    rm.PV.Mvs[1] = info.moves1[i];
    rm.skip = false;
    rm.analysing = false;
  }
  info.Eval = total == 0 ? TEval{-kFullWindow, kFullWindow, 0} : TEval{0, 0, 0};
  if (fastplay == 0) info.Updated = true;
  totalMoves_ = static_cast<uint8_t>(total);
  return total;
}

void TEngine::ResetCounters(int fastplay) {
  fPstCnt = 0;
  for (TCounter& c : workerPstCnt_) c.v = 0;
  EdbStats.fGetEdb = 0;
  std::lock_guard<std::mutex> g(info_->Used);
  info_->Depth = 0;
  info_->DepthStr = "0";
  if (fastplay == 0) info_->Updated = true;
}

void TEngine::SkipMovesBackIntoTheGame() {
  // A move back into a position of the game line is a draw by repetition:
  // it is valued 0 and never searched.
  TAnalysisInfo& info = *info_;
  std::lock_guard<std::mutex> g(info.Used);
  for (int i = 1; i <= info.TotalMoves; ++i) {
    TBoard after = CurBoard;
    ApplyMove(info.moves1[i], after, Params);
    if (RepeatsGameHistory(after, Opponent(SideToMove))) {
      info.Moves[i].Eval.min = 0;
      info.Moves[i].Eval.max = 0;
      info.Moves[i].skip = true;
    }
  }
}

void TEngine::RunWorkers() {
  // One worker per root move, or fewer by the settings and the description.
  int t = totalMoves_;
  const int tc = ThreadsCount.load();
  if (tc > 0) t = std::min(t, tc);
  if (callEval_.MaxThreads > 0 && callEval_.MaxThreads < t) t = callEval_.MaxThreads;
  lastThreadCount_ = t;
  // Counted before any starts, so that an early finisher cannot signal the
  // end while others have not begun.
  RunningThreads = t;
  MoveRunners.clear();
  for (int i = 0; i < t; ++i) MoveRunners.push_back(std::make_unique<TMoveAnalysisThread>(this, i));
  for (int i = 0; i < t; ++i) {
    try {
      MoveRunners[i]->Start();
    } catch (const std::exception& ex) {
      // The system refused a thread: the workers that run do the work.
      WriteLog("Engine worker " + std::to_string(i + 1) + " could not start: " + ex.what());
      WorkerDone();
    }
  }
  WaitToExitAnalysis();
  for (const std::unique_ptr<TMoveAnalysisThread>& w : MoveRunners) w->Join();
  MoveRunners.clear();
}

void TEngine::ChooseMove(TMove& BestMv) {
  // A move picked at random among those whose value lies within the stage's
  // compression step of the best one.
  TAnalysisInfo& info = *info_;
  const int stage = quorlin::GetStageCnt(callEval_, PieceCount(CurBoard));
  std::lock_guard<std::mutex> g(info.Used);
  const int k = NearEqualCount(info, callEval_.Stages[stage].Eval.Compress);
  const int r = k > 1 ? static_cast<int>(ThreadRandom().Below(static_cast<uint32_t>(k))) : 0;
  const int chosen = info.Sort[r + 1];
  BestMv = info.moves1[chosen];
  info.Eval = info.Moves[chosen].Eval;
  info.PV = info.Moves[chosen].PVs;
  info.Updated = true;
}

// --- Workers --------------------------------------------------------------------------

void TMoveAnalysisThread::Start() {
  thread_ = std::thread([this] { Execute(); });
}

void TMoveAnalysisThread::Join() {
  if (thread_.joinable()) thread_.join();
}

void TMoveAnalysisThread::Execute() {
  TEngine& e = *Engine;
  tlsPstCnt = &e.workerPstCnt_[static_cast<size_t>(Index)].v;
  int current = 0;  // the root move this worker holds
  try {
    for (;;) {
      current = e.GetFromMovesQueue();
      if (current == 0) break;
      e.ProcessMoveThreadPass(current);
      e.AddToMovesQueue(current);
      current = 0;
      // Outside analysis mode a single legal move gets one pass.
      if (e.Stop().load() || !(e.AnalysisMode.load() || e.totalMoves_ > 1)) break;
    }
  } catch (const std::exception& ex) {
    e.WorkerFailed(Index, current, ex.what());
  } catch (...) {
    e.WorkerFailed(Index, current, "unknown exception");
  }
  tlsPstCnt = nullptr;
  e.WorkerDone();
}

std::atomic<int64_t>& TEngine::PstCounter() { return tlsPstCnt ? *tlsPstCnt : fPstCnt; }

void TEngine::WorkerFailed(int worker, int move, const std::string& what) {
  std::string text = "Engine worker " + std::to_string(worker + 1) + " stopped";
  try {
    // Give the root move back, so that another worker can take it up.
    if (move != 0) {
      AddToMovesQueue(move);
      TMove m;
      {
        std::lock_guard<std::mutex> g(info_->Used);
        m = info_->moves1[move];
      }
      text += " on root move " + MoveText(m, Params, NotationStyle.load(), kCaptureSeparator);
    }
  } catch (...) {
  }
  WriteLog(text + ": " + what);
}

void TEngine::WorkerDone() {
  if (RunningThreads.fetch_sub(1) == 1) SetNotAnalysing(true);
}

// --- A pass of a root move -------------------------------------------------------------

float TEngine::RootSearch(const TBoard& after, TDColor toMove, int n, int mn, bool EBOff) {
  const int variant = callVariant_;
  if (callEval_.Stages[0].Eval.Version == kArrayBoardVersion || !HasBitboardGenerator(variant))
    return analysis(after, -kFullWindow, kFullWindow, n, mn, toMove, Params, callEval_);
  TBitBoard64 bb;
  BoardToBit64(after, bb, variant);
  if (toMove == TDColor::black) FlipBitBoard(bb, variant);
  TPrevDepthPos prevpos{};
  TBitBoard64 root;
  BoardToBit64(CurBoard, root, variant);
  if (SideToMove == TDColor::black) FlipBitBoard(root, variant);
  prevpos[1] = root;
  return analysis64ver40(bb, -kFullWindow, kFullWindow, n, mn, TDColor::white, ED, variant, callEval_,
                         prevpos, EBOff);
}

bool TEngine::RepeatsGameHistory(const TBoard& P, TDColor side) const {
  for (size_t i = 0; i < history_.size(); ++i)
    if (historySide_[i] == side && history_[i].b == P.b) return true;
  return false;
}

int TEngine::GetFromMovesQueue() {
  TAnalysisInfo& info = *info_;
  std::lock_guard<std::mutex> g(info.Used);
  const int maxDepth = fmaxdepth.load();
  int pick = 0;
  for (int j = 1; j <= info.TotalMoves; ++j) {
    const int i = info.Sort[j];
    const TRootMove& rm = info.Moves[i];
    if (rm.analysing || rm.skip || rm.depth >= maxDepth) continue;
    if (pick == 0 || rm.depth < info.Moves[pick].depth) pick = i;
  }
  if (pick != 0) info.Moves[pick].analysing = true;
  info.Updated = true;
  return pick;
}

void TEngine::AddToMovesQueue(int m) {
  TAnalysisInfo& info = *info_;
  std::lock_guard<std::mutex> g(info.Used);
  info.Moves[m].analysing = false;
  info.Updated = true;
}

void TEngine::PublishStatus() {
  TAnalysisInfo& info = *info_;
  int sum = 0;
  for (int i = 1; i <= info.TotalMoves; ++i) sum += info.Moves[i].depth;
  const int avg10 = info.TotalMoves ? sum * 10 / info.TotalMoves : 0;
  info.Depth = avg10;
  info.DepthStr = DepthStrOf(avg10);
  int64_t cs = EngineClockCs() - TimeAnalysisStarted;
  if (cs <= 0) cs = 1;
  info.Time = TimeTextOf(cs);
  const int64_t kn = std::llround(static_cast<double>(PstCnt()) / static_cast<double>(cs) / 10.0);
  info.Speed = std::to_string(kn) + "kN/s@" + std::to_string(RunningThreads.load());
  const int maxEB = EdbStats.MaxEB.load();
  std::string edb;
  if (maxEB != 0)
    edb = "ED" + std::to_string(maxEB) + "=" + std::to_string(EdbStats.fGetEdb.load()) + " (" +
          std::to_string((callEdb_ ? callEdb_->BytesLoaded() : 0) / 1048576) + "MB)";
  else
    edb = "ED n/a";
  const int64_t maxSize = FHash.MaxSize > 0 ? FHash.MaxSize : 1;
  if (FHash.Replace)
    edb += ", HashP=" + std::to_string((int64_t{FHash.CurSize.load()} + 1) * 100 / maxSize) + "%";
  else
    edb += ", Hash=" + std::to_string((int64_t{FHash.CurSize.load()} + 1) * 200 / maxSize) + "%";
  edb += ", Lrn=Off\r";
  info.Edb = edb;
}

void TEngine::ProcessMoveThreadPass(int x) {
  TAnalysisInfo& info = *info_;
  TMove move;
  int depth = 0;
  {
    std::lock_guard<std::mutex> g(info.Used);
    if (info.Moves[x].skip) return;
    move = info.moves1[x];
    depth = info.Moves[x].depth;
  }
  // Deepen by two plies (one in Turkish, whose men move sideways and whose
  // lines are longer).
  TBoard after = CurBoard;
  ApplyMove(move, after, Params);
  const TDColor toMove = Opponent(SideToMove);
  const int d = depth + (callVariant_ == kTurkish ? 1 : 2);
  const float value = -RootSearch(after, toMove, 2, d, false);
  if (stop_->load()) return;

  // Publish the pass. The line is read from the table before Used is taken:
  // the engine never holds a table entry and Used together.
  TPV pv;
  std::string text;
  BuildPV(x, pv, text);
  {
    std::lock_guard<std::mutex> g(info.Used);
    TRootMove& rm = info.Moves[x];
    rm.depth = static_cast<uint8_t>(d);
    rm.Eval = TEval{value, value, 0};
    info.TempPV = pv;
    rm.PV = pv;
    rm.PVs = text;
    PublishStatus();
    info.Updated = true;
  }

  // A shallow estimate without databases and table, the tie-breaker between
  // moves of equal value.
  const float shallow = -RootSearch(after, toMove, 2, std::min(5, d / 4), true);
  if (stop_->load()) return;
  {
    std::lock_guard<std::mutex> g(info.Used);
    info.Moves[x].Eval.v = SoftClamp(shallow);
  }
  PublishBest();
}

void TEngine::PublishBest() {
  TAnalysisInfo& info = *info_;
  std::lock_guard<std::mutex> g(info.Used);
  const int total = info.TotalMoves;
  for (int p = 1; p <= total; ++p) {
    int best = p;
    for (int j = p + 1; j <= total; ++j) {
      const TRootMove& a = info.Moves[info.Sort[j]];
      const TRootMove& b = info.Moves[info.Sort[best]];
      if (RootBetter(a.Eval, a.depth, b.Eval, b.depth)) best = j;
    }
    std::swap(info.Sort[p], info.Sort[best]);
  }
  if (total > 0) {
    info.Eval = info.Moves[info.Sort[1]].Eval;
    info.PV = info.Moves[info.Sort[1]].PVs;
  }
  info.Updated = true;
}

void TEngine::BuildPV(int x, TPV& pv, std::string& text) {
  const int variant = callVariant_;
  const bool bitboard = HasBitboardGenerator(variant);
  const int style = NotationStyle.load();
  TMove mv;
  {
    std::lock_guard<std::mutex> g(info_->Used);
    mv = info_->moves1[x];
  }
  TBoard b = CurBoard;
  TDColor side = SideToMove;
  std::array<TBitBoard64, kMaxPVMoves + 1> seen{};
  pv.Length = 0;
  text.clear();
  TMvs moves;
  TPositionList64 children;
  for (;;) {
    ++pv.Length;
    pv.Mvs[pv.Length] = mv;
    std::string number;
    MoveNumberText(halfMove_ + pv.Length - 1, 1, false, number, pv.Length == 1);
    text += number + MoveText(mv, Params, style, kCaptureSeparator) + " ";
    ApplyMove(mv, b, Params);
    side = Opponent(side);
    if (!bitboard || pv.Length >= kMaxPVMoves) break;
    TBitBoard64 bb;
    BoardToBit64(b, bb, variant);
    if (side == TDColor::black) FlipBitBoard(bb, variant);
    seen[pv.Length] = bb;
    bool repeated = false;
    for (int i = pv.Length - 2; i >= 1; i -= 2)
      if (seen[i] == bb) repeated = true;
    if (repeated) {
      text += "=";
      break;
    }
    THashRec64 e;
    if (!HashProbe(FHash, bb, e) || e.bestmove == 0) break;
    uint8_t nChildren = 0;
    GenerateMoves64(bb, children, nChildren, variant);
    if (e.bestmove > nChildren) break;
    const TBitBoard64& child = children[e.bestmove - 1];
    uint8_t count = 0;
    GenerateMoves(b, static_cast<int>(side), moves, count, Params, true);
    int found = 0;
    for (int i = 1; i <= count && !found; ++i) {
      TBoard next = b;
      ApplyMove(moves[i], next, Params);
      TBitBoard64 nb;
      BoardToBit64(next, nb, variant);
      if (side == TDColor::black) FlipBitBoard(nb, variant);
      if (nb == child) found = i;
    }
    if (!found) break;
    mv = moves[found];
  }
}

}  // namespace quorlin
