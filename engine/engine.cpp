// The engine controller: root moves, the worker pool, the published state and
// the final choice.
#include "engine/engine.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <utility>

#include "engine/evaluation.h"
#include "rules/bitmovegen.h"
#include "rules/movegen.h"
#include "rules/notation.h"
#include "rules/position.h"

namespace quorlin {

std::atomic<bool> StopSearch{false};
TAnalysisInfo AnalysisInfo;

namespace {

// Counter of the worker running on this thread (null outside workers).
thread_local std::atomic<int64_t>* tlsPstCnt = nullptr;

constexpr int kDefaultMaxDepth = 49;
constexpr int kMaxPVMoves = 20;
const char* const kCaptureSeparator = "x";

TDColor Other(TDColor c) { return c == TDColor::white ? TDColor::black : TDColor::white; }

int PiecesOn(const TBoard& b) {
  int n = 0;
  for (int s = 1; s <= kMaxSquares; ++s) n += b.b[s] != kEmpty;
  return n;
}

std::string TwoDigits(int64_t v) {
  char buf[8];
  std::snprintf(buf, sizeof buf, "%02d", static_cast<int>(v));
  return buf;
}

}  // namespace

// --- Texts and ordering -----------------------------------------------------------

std::string FormatScore(float x) {
  if (std::isnan(x)) return "?";
  const bool neg = x < 0;
  const float a = std::fabs(x);
  std::string sign = neg ? "-" : "";
  char buf[48];
  if (a <= kDecidedScore) {
    std::snprintf(buf, sizeof buf, "%.2f", static_cast<double>(a));
    return sign + buf;
  }
  if (a <= 1740.0f) return sign + "xN(" + std::to_string(std::lround(1500.0f - a)) + ")";
  return sign + "x" + std::to_string(std::lround(2000.0f - std::min(a, 2000.0f)));
}

std::string FormatEval(const TEval& eval) {
  const float lo = std::max(eval.min, -kFullWindow);
  const float hi = std::min(eval.max, kFullWindow);
  // Bounds that agree (after a finished pass) show the value; an open
  // interval shows its lower bound.
  if (hi - lo < 0.01f) return FormatScore(hi);
  std::string text = "~";
  text += FormatScore(lo);
  return text;
}

std::string DepthStrOf(int avg10) { return std::to_string(avg10 / 10) + "," + std::to_string(avg10 % 10); }

std::string TimeTextOf(int64_t cs) { return std::to_string(cs / 100) + "." + TwoDigits(cs % 100); }

int64_t EngineClockCs() {
  using namespace std::chrono;
  return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count() / 10;
}

bool RootBetter(const TEval& a0, uint8_t aDepth, const TEval& b0, uint8_t bDepth) {
  auto floorLoss = [](float v) { return v < -kDecidedScore ? -kFullWindow : v; };
  const TEval a{floorLoss(a0.min), floorLoss(a0.max), a0.v};
  const TEval b{floorLoss(b0.min), floorLoss(b0.max), b0.v};
  if (b.max < a.min) return true;
  if (a.max == kFullWindow && b.max == kFullWindow && b.min < a.min) return true;
  if (a.min == -kFullWindow && b.min == -kFullWindow && b.max < a.max) return true;
  if (b.min < a.min) return true;
  if (std::fabs(a.min - b.min) < 0.005f && b.v < a.v) return true;
  if (std::fabs(a.min - b.min) < 0.005f && std::fabs(a.max - b.max) < 0.005f &&
      std::fabs(a.v - b.v) < 0.001f && bDepth < aDepth)
    return true;
  return false;
}

int NearEqualCount(const TAnalysisInfo& info, float compress) {
  int k = 1;
  if (compress == 0) return k;
  const float top = info.Moves[info.Sort[1]].Eval.min;
  for (int j = 2; j <= info.TotalMoves; ++j) {
    if (top - info.Moves[info.Sort[j]].Eval.min >= compress) break;
    k = j;
  }
  return k;
}

// --- Worker ----------------------------------------------------------------------------

void TMoveAnalysisThread::Start() {
  thread_ = std::thread([this] { Execute(); });
}

void TMoveAnalysisThread::Join() {
  if (thread_.joinable()) thread_.join();
}

void TMoveAnalysisThread::Execute() {
  TEngine& e = *Engine;
  tlsPstCnt = &e.workerPstCnt_[static_cast<size_t>(Index)].v;
  try {
    for (;;) {
      const int m = e.GetFromMovesQueue();
      if (m == 0) break;
      e.ProcessMoveThreadPass(m);
      e.AddToMovesQueue(m);
      // Outside analysis mode a single legal move gets one pass.
      if (e.Stop().load() || !(e.AnalysisMode.load() || e.totalMoves_ > 1)) break;
    }
  } catch (...) {
    // An exception ends this worker only; the others and the choice go on.
  }
  tlsPstCnt = nullptr;
  e.WorkerDone();
}

std::atomic<int64_t>& TEngine::PstCounter() { return tlsPstCnt ? *tlsPstCnt : fPstCnt; }

int64_t TEngine::PstCnt() const {
  int64_t sum = fPstCnt.load(std::memory_order_relaxed);
  const int workers = lastThreadCount_.load(std::memory_order_relaxed);
  for (int i = 0; i < workers; ++i)
    sum += workerPstCnt_[static_cast<size_t>(i)].v.load(std::memory_order_relaxed);
  return sum;
}

// --- Engine ----------------------------------------------------------------------------

TEngine::TEngine(TAnalysisInfo* info, std::atomic<bool>* stop, int hashMegabytes)
    : info_(info ? info : &AnalysisInfo), stop_(stop ? stop : &StopSearch), hashMegabytes_(hashMegabytes) {
  FEvalFunc.Name = "Default";
  FEvalFunc.ELO = 0;
  FEvalFunc.Version = kArrayBoardVersion;
  FEvalFunc.UseBook = false;
  FEvalFunc.Giveaway = false;
  FEvalFunc.MaxThreads = 0;
  FEvalFunc.MaxDepth = 0;
  FEvalFunc.MaxPos = 0;
  FEvalFunc.Stages.assign(1, TEngineStage{});
  TEvalFuncStatic& ev = FEvalFunc.Stages[0].Eval;
  ev.Version = kArrayBoardVersion;
  ev.Turkish = false;
  for (int i = 1; i <= kMaxSquares; ++i) {
    ev.FieldsWS[i] = i;
    ev.FieldsBS[i] = i;
  }
  ev.Squeeze = true;
  ev.Size = 0;
  ev.RealSize = 0;
  ev.ManValue = 1000;
  ev.KingValue = 3000;
  ev.SideToMove = 10;
  ev.Compress = 0;
}

TEngine::~TEngine() {
  for (TMoveAnalysisThread* t : MoveRunners) {
    t->Join();
    delete t;
  }
}

bool TEngine::LoadFromFile(const std::filesystem::path& name, int typeofgame) {
  // Read outside the lock: a bad file throws and leaves the description alone.
  TEvalFunc loaded = EvalFunc();
  const bool found = LoadEngine(name, loaded, typeofgame);
  SetEvf(loaded);
  return found;
}

void TEngine::SaveToFile(const std::filesystem::path& name) const { SaveEngine(name, EvalFunc()); }

void TEngine::SetEvf(const TEvalFunc& evf) {
  std::lock_guard<std::mutex> g(descLock_);
  // Databases are per goal: a new goal sets the variant up again.
  if (evf.Giveaway != FEvalFunc.Giveaway) Clear();
  FEvalFunc = evf;
  if (FEvalFunc.Stages.empty()) FEvalFunc.Stages.resize(1);
}

TEvalFunc TEngine::EvalFunc() const {
  std::lock_guard<std::mutex> g(descLock_);
  return FEvalFunc;
}

bool TEngine::UseBook() const {
  std::lock_guard<std::mutex> g(descLock_);
  return FEvalFunc.UseBook;
}

std::string TEngine::Name() const {
  std::lock_guard<std::mutex> g(descLock_);
  return FEvalFunc.Name;
}

void TEngine::SetName(const std::string& name) {
  std::lock_guard<std::mutex> g(descLock_);
  FEvalFunc.Name = name;
}

std::string TEngine::GetEngineName() const {
  std::lock_guard<std::mutex> g(descLock_);
  const int v = FEvalFunc.Stages[0].Eval.Version;
  if (v == kArrayBoardVersion) return "[2.11]";
  if (v == 40) return FEvalFunc.Name;
  return "[?][" + FEvalFunc.Name + "]";
}

std::string TEngine::Book() const {
  std::lock_guard<std::mutex> g(descLock_);
  return FBook;
}

void TEngine::SetBook(const std::string& book) {
  std::lock_guard<std::mutex> g(descLock_);
  FBook = book;
}

bool TEngine::OpenBook(const std::string& path) {
  SetBook(path);
  return book_.Ini(path);
}

void TEngine::SetEDFolder(const std::string& folder) {
  std::lock_guard<std::mutex> g(edbLock_);
  if (folder == edFolder_) return;
  edFolder_ = folder;
  Clear();
}

std::shared_ptr<const TEndgameDb> TEngine::EndgameDb() const {
  std::lock_guard<std::mutex> g(edbLock_);
  return edb_;
}

void TEngine::SetEdbProbe(TEdbProbe probe) {
  edbProbe_ = std::move(probe);
  edbActive_ = edbProbe_ != nullptr || (callEdb_ && callEdb_->FilesLoaded() > 0);
}

void TEngine::SetLog(std::function<void(const std::string&)> log) {
  log_ = log;
  EdbStats.log = [log](const std::string& text, bool blankLine) {
    const std::string line = blankLine ? text + "\n" : text;
    if (log)
      log(line);
    else
      std::fprintf(stderr, "%s\n", line.c_str());
  };
}

void TEngine::WriteLog(const std::string& text) {
  if (log_)
    log_(text);
  else
    std::fprintf(stderr, "%s\n", text.c_str());
}

bool TEngine::Analysing() const {
  std::lock_guard<std::mutex> g(eventLock_);
  return !notAnalysing_;
}

void TEngine::WaitToExitAnalysis() {
  std::unique_lock<std::mutex> g(eventLock_);
  eventCv_.wait(g, [this] { return notAnalysing_; });
}

void TEngine::SetNotAnalysing(bool value) {
  {
    std::lock_guard<std::mutex> g(eventLock_);
    notAnalysing_ = value;
  }
  if (value) eventCv_.notify_all();
}

void TEngine::WorkerDone() {
  if (RunningThreads.fetch_sub(1) == 1) SetNotAnalysing(true);
}

void TEngine::PublishInfoLine(const std::string& text) {
  std::lock_guard<std::mutex> g(info_->Used);
  info_->Info = text;
  info_->Updated = true;
}

int TEngine::GetStageCnt(int draughts) const {
  std::lock_guard<std::mutex> g(descLock_);
  return quorlin::GetStageCnt(FEvalFunc, draughts);
}

int TEngine::GetStage(const TBitBoard64& brd) const { return GetStageCnt(BitCount(brd.w | brd.b)); }

int TEngine::GetStageBrd(const TBoard& brd) const { return GetStageCnt(PiecesOn(brd)); }

void TEngine::InitHash(int memory, bool force, bool replace) {
  std::string error;
  if (!HashInit(FHash, memory, force, replace, &error, [this](const std::string& s) { PublishInfoLine(s); }))
    PublishInfoLine(error);
}

void TEngine::LearnIni(int) { PublishInfoLine("Learning off"); }

void TEngine::InitEngine(int NewType) {
  if (NewType == FTypeOfGame.load()) return;
  InitHash(hashMegabytes_, false, false);
  if (NewType == 0) {
    // A custom variant: no bitboard search, no databases.
    FTypeOfGame = 0;
    return;
  }
  LearnIni(NewType);
  FHashLrn.Replace = false;
  InitED(NewType);
  FTypeOfGame = NewType;
}

void TEngine::InitED(int NewType) {
  EdbStats.MaxEB = 0;
  std::string folder;
  {
    std::lock_guard<std::mutex> g(edbLock_);
    folder = edFolder_;
  }
  // A new set, or the one another engine of this variant already holds; the
  // set a running call probes stays as it is until that call ends.
  std::shared_ptr<const TEndgameDb> db;
  if (!folder.empty() && EdbGeometryOfVariant(NewType).valid()) {
    TEdbCallbacks cb;
    cb.info = [this](const std::string& s) { PublishInfoLine(s); };
    cb.log = EdbStats.log;
    bool giveaway;
    {
      std::lock_guard<std::mutex> g(descLock_);
      giveaway = FEvalFunc.Giveaway;
    }
    db = TEndgameDb::Shared(NewType, giveaway, folder, cb);
  }
  std::lock_guard<std::mutex> g(edbLock_);
  edb_ = std::move(db);
}

bool TEngine::EdbProbe(const TBitBoard64& brd, int typeofgame, const TEDPos& ed, float& ev) {
  if (edbProbe_) return edbProbe_(brd, typeofgame, callEval_.Giveaway, ed, ev, &EdbStats);
  return callEdb_->GetEBevalPlay(brd, callEval_.Giveaway, ed, ev, &EdbStats);
}

void TEngine::FreezeCallState(const TGameParams& params) {
  Params = params;
  callVariant_ = FTypeOfGame.load();
  callEval_ = EvalFunc();
  callEdb_ = EndgameDb();
  edbActive_ = edbProbe_ != nullptr || (callEdb_ && callEdb_->FilesLoaded() > 0);
  const bool withDatabases = callVariant_ != 0 && callVariant_ != kCanadian && callEdb_;
  ED = withDatabases ? callEdb_->EDPosOfBoard(CurBoard) : TEDPos{};
}

void TEngine::SetLimits(int64_t maxTimeCs, int64_t maxPos) {
  TimeAnalysisStarted = EngineClockCs();
  MaxTimeAnalysis = maxTimeCs;
  MaxPosAnalysis = maxPos;
}

void TEngine::PrepareSearch(int typeofgame, const TBoard& board, TDColor side) {
  InitEngine(typeofgame);
  CurBoard = board;
  SideToMove = side;
  FreezeCallState(VariantTable[typeofgame]);
  stop_->store(false);
  if (FHash.CurSize.load() > 0) HashClear(FHash, stop_);
  fPstCnt = 0;
  for (TCounter& c : workerPstCnt_) c.v = 0;
  EdbStats.fGetEdb = 0;
  SetLimits(int64_t{100000000}, 0);
}

void TEngine::LimitCheck() {
  if (MaxPosAnalysis > 0 && PstCnt() + 20 * EdbStats.fGetEdb.load(std::memory_order_relaxed) > MaxPosAnalysis)
    stop_->store(true, std::memory_order_relaxed);
  if (EngineClockCs() - TimeAnalysisStarted > MaxTimeAnalysis) stop_->store(true, std::memory_order_relaxed);
}

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

int TEngine::HalfMoveIndex() const { return halfMove_; }

// --- The call ------------------------------------------------------------------------------

bool TEngine::LetOpponentMove40(const TGame& Game, int64_t Time, TMove& BestMv, bool computealways,
                                int fastplay) {
  // One call at a time: a second caller returns at once and touches nothing.
  bool idle = false;
  if (!inCall_.compare_exchange_strong(idle, true)) return false;
  struct TCallGuard {
    std::atomic<bool>& flag;
    ~TCallGuard() { flag.store(false); }
  } callGuard{inCall_};
  TAnalysisInfo& info = *info_;
  std::atomic<bool>& stop = *stop_;

  // 1. Limits. A position budget from the caller applies even when the
  // description has none (MaxPos 0); the description's budget caps it.
  TimeAnalysisStarted = EngineClockCs();
  const TEvalFunc desc = EvalFunc();
  fmaxdepth = desc.MaxDepth == 0 ? kDefaultMaxDepth : std::clamp(desc.MaxDepth, 1, kMaxSearchPly);
  MaxPosAnalysis = fastplay;
  if (desc.MaxPos != 0 && (fastplay <= 0 || fastplay > desc.MaxPos)) MaxPosAnalysis = desc.MaxPos;
  if (MaxPosAnalysis < 0) MaxPosAnalysis = 0;

  // 2. The position.
  CurBoard = Game.CurBoard;
  SideToMove = Game.SideToMove;
  {
    std::lock_guard<std::mutex> g(info.Used);
    info.CurrentGamePos = Game.CurMovPos;
    info.fastplay = fastplay;
  }

  // 3. Variant set-up.
  if (InitSection.load()) return false;
  // The flag is cleared before the engine shows that it is analysing: a stop
  // raised once Analysing() is true belongs to this call and is never lost.
  stop = false;
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

  // 4.
  {
    std::lock_guard<std::mutex> g(info.Used);
    info.PonderMove.clear();
    info.IsPonder = false;
  }
  MaxTimeAnalysis = Time;

  // 5. Empty table (an empty one needs no pass over 128 MB).
  if (!(FHash.Replace && AnalysisMode.load()) && FHash.CurSize.load() > 0) HashClear(FHash, stop_);
  {
    std::lock_guard<std::mutex> g(info.Used);
    info.Details.clear();
  }
  if (stop.load()) {
    SetNotAnalysing(true);
    return false;
  }

  // The game line, for repetitions and move numbers.
  history_.clear();
  historySide_.clear();
  {
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
      side = Other(side);
    }
    halfMove_ = static_cast<int>(line.size()) + Game.Header.NumerationFrom +
                (Game.Header.FirstMove == TDColor::black ? 1 : 0);
  }

  // 6.
  const int stage = quorlin::GetStageCnt(callEval_, PiecesOn(CurBoard));
  const int style = NotationStyle.load();

  // 7. Root moves and their first texts.
  uint8_t total = 0;
  const std::string engineName = GetEngineName();
  {
    std::lock_guard<std::mutex> g(info.Used);
    info.ComputeAlways = computealways;
    GenerateMoves(CurBoard, static_cast<int>(SideToMove), info.moves1, info.TotalMoves, Params, true);
    total = info.TotalMoves;
    info.Updated = false;
    info.EngineNm = engineName;
    info.PV.clear();
    info.Info.clear();
    info.Depth = 30;
    info.DepthStr = "3";
    std::string number;
    MoveNumberText(halfMove_, 1, false, number, true);
    for (int i = 1; i <= total; ++i) {
      info.Sort[i] = static_cast<uint8_t>(i);
      TRootMove& rm = info.Moves[i];
      rm.Guess = 0;
      rm.depth = 3;
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
  }
  totalMoves_ = total;

  // 8.
  if (total == 0) {
    SetNotAnalysing(true);
    return false;
  }

  // 9.
  fPstCnt = 0;
  for (TCounter& c : workerPstCnt_) c.v = 0;
  EdbStats.fGetEdb = 0;
  {
    std::lock_guard<std::mutex> g(info.Used);
    info.Depth = 0;
    info.DepthStr = "0";
    if (fastplay == 0) info.Updated = true;
  }

  // 10. Moves back into a position of the game are draws and not searched.
  {
    std::lock_guard<std::mutex> g(info.Used);
    for (int i = 1; i <= total; ++i) {
      TBoard after = CurBoard;
      ApplyMove(info.moves1[i], after, Params);
      if (RepeatsGameHistory(after, Other(SideToMove))) {
        info.Moves[i].Eval.min = 0;
        info.Moves[i].Eval.max = 0;
        info.Moves[i].skip = true;
      }
    }
  }

  // 11. Workers.
  int t = total;
  const int tc = ThreadsCount.load();
  if (tc > 0) t = std::min(t, tc);
  if (callEval_.MaxThreads > 0 && callEval_.MaxThreads < t) t = callEval_.MaxThreads;
  lastThreadCount_ = t;
  // Counted before any starts, so that an early finisher cannot signal the
  // end while others have not begun.
  RunningThreads = t;
  MoveRunners.clear();
  for (int i = 0; i < t; ++i) MoveRunners.push_back(new TMoveAnalysisThread(this, i));
  for (TMoveAnalysisThread* w : MoveRunners) w->Start();

  // 12.
  WaitToExitAnalysis();
  for (TMoveAnalysisThread* w : MoveRunners) {
    w->Join();
    delete w;
  }
  MoveRunners.clear();

  // 13-14. Choice among the moves whose value lies within the stage's
  // compression step of the best.
  {
    std::lock_guard<std::mutex> g(info.Used);
    const int k = NearEqualCount(info, callEval_.Stages[stage].Eval.Compress);
    const int r = k > 1 ? static_cast<int>(ThreadRandom().Below(static_cast<uint32_t>(k))) : 0;
    const int chosen = info.Sort[r + 1];
    BestMv = info.moves1[chosen];
    info.Eval = info.Moves[chosen].Eval;
    info.PV = info.Moves[chosen].PVs;
    info.Updated = true;
  }
  return true;
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
  // 1-2. Deepen by two plies (one in Turkish).
  TBoard after = CurBoard;
  ApplyMove(move, after, Params);
  const TDColor toMove = Other(SideToMove);
  const int d = depth + (callVariant_ == kTurkish ? 1 : 2);
  const float value = -RootSearch(after, toMove, 2, d, false);
  if (stop_->load()) return;

  // 3. Publish the pass. The line is read from the table before taking Used:
  // the engine never holds both locks.
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

  // 4. Shallow estimate, the tie-breaker between equal values.
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
    side = Other(side);
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
