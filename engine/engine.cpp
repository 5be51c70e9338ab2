// The engine object: its description, book, databases, table, set-up for a
// variant, budgets and the events the display waits on. One call of the engine
// is in enginecall.cpp.
#include "engine/engine.h"

#include <cstdio>
#include <utility>

#include "engine/evaluation.h"

namespace quorlin {

std::atomic<bool> StopSearch{false};

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
  SetLog({});
}

TEngine::~TEngine() {
  for (const std::unique_ptr<TMoveAnalysisThread>& t : MoveRunners) t->Join();
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
  if (v == kBitboardVersion) return FEvalFunc.Name;
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

void TEngine::PublishInfoLine(const std::string& text) {
  std::lock_guard<std::mutex> g(info_->Used);
  info_->Info = text;
  info_->Updated = true;
}

int TEngine::GetStageCnt(int draughts) const {
  std::lock_guard<std::mutex> g(descLock_);
  return quorlin::GetStageCnt(FEvalFunc, draughts);
}

int TEngine::GetStage(const TBitBoard64& brd) const { return GetStageCnt(PopCount(brd.w | brd.b)); }

int TEngine::GetStageBrd(const TBoard& brd) const { return GetStageCnt(PieceCount(brd)); }

int TEngine::PieceCount(const TBoard& b) {
  int n = 0;
  for (int s = 1; s <= kMaxSquares; ++s) n += b.b[s] != kEmpty;
  return n;
}

void TEngine::InitHash(int memory, bool force, bool replace) {
  std::string error;
  if (!HashInit(FHash, memory, force, replace, &error, [this](const std::string& s) { PublishInfoLine(s); }))
    PublishInfoLine(error);
}

void TEngine::LearnIni(int) { PublishInfoLine("Learning off"); }

void TEngine::InitEngine(int NewType) {
  // One set-up at a time: the first one allocates the table, and a call that
  // sets itself up while the application switches the variant must not load
  // databases alongside it.
  std::lock_guard<std::mutex> g(setupLock_);
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

bool TEngine::LimitCheck(int n, int mn) {
  std::atomic<bool>& stop = *stop_;
  // The clock and the counters are read only well above the horizon, where
  // nodes are few; the flag at every node.
  if (n + 3 < mn && !stop.load(std::memory_order_relaxed)) {
    if (MaxPosAnalysis > 0 &&
        PstCnt() + 20 * EdbStats.fGetEdb.load(std::memory_order_relaxed) > MaxPosAnalysis)
      stop.store(true, std::memory_order_relaxed);
    if (EngineClockCs() - TimeAnalysisStarted > MaxTimeAnalysis) stop.store(true, std::memory_order_relaxed);
  }
  return stop.load(std::memory_order_relaxed);
}

}  // namespace quorlin
