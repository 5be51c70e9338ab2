#pragma once
// The engine object the application drives: one engine description, the
// transposition table, the endgame-database state of its variant, and the
// machinery that analyses a position. The root moves are listed, worker
// threads deepen them one by one (two plies per pass, one in Turkish), the
// per-move results and the display texts are published in AnalysisInfo, and
// when every move is deep enough or the search is stopped a move is chosen.
//
// Threads: LetOpponentMove40 runs on a background thread of the caller and
// blocks it until the engine has decided; inside it the workers run the
// searches. Other threads only read AnalysisInfo (under its lock `Used`) and
// raise the stop flag. Everything shared is behind `Used`, the table's entry
// locks, or an atomic.
//
// State belongs to the engine: its description, transposition table, endgame
// databases, opening book and stop flag. Several engines (of the same or of
// different variants) may think at the same time in one process. A call works
// on copies taken when it starts: the variant record of the game, the engine
// description and the databases, so that a settings change, LoadFromFile or a
// database load on another thread reaches the next call, never a running one.
#include <array>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "engine/analysisinfo.h"
#include "engine/book.h"
#include "engine/endgamedb.h"
#include "engine/enginefile.h"
#include "engine/hashtable.h"
#include "engine/search.h"
#include "games/gamerecord.h"
#include "rules/board.h"
#include "rules/move.h"
#include "rules/variants.h"

namespace quorlin {

// The default stop flag of engines that are not given one of their own: every
// search polls its engine's flag and returns at once when it is set. Each
// engine call clears it first; the engine sets it on its time or position
// budget; the user interface sets it (with BreakAnalysis) to stop. Engines
// that think at the same time need flags of their own (see TEngine's
// constructor), or stopping one stops the other.
extern std::atomic<bool> StopSearch;

class TEngine;

// One worker: takes root moves from the queue and deepens them until the
// queue is empty or the search is stopped.
class TMoveAnalysisThread {
 public:
  TMoveAnalysisThread(TEngine* engine, int index) : Engine(engine), Index(index) {}
  void Start();
  void Join();
  TEngine* Engine;
  int Index;  // 0-based number of the worker in its call

 private:
  void Execute();
  std::thread thread_;
};

class TEngine {
 public:
  // `info` is the record this engine publishes in (the global one by default);
  // `stop` its stop flag (StopSearch by default); `hashMegabytes` the table
  // size (128 in the program; tests use less).
  explicit TEngine(TAnalysisInfo* info = &AnalysisInfo, std::atomic<bool>* stop = &StopSearch,
                   int hashMegabytes = 128);
  virtual ~TEngine();
  TEngine(const TEngine&) = delete;
  TEngine& operator=(const TEngine&) = delete;

  // --- Description --------------------------------------------------------------
  // Reads an engine description (LoadEngine); when Giveaway changes the next
  // call sets the variant up again. False when the file does not exist; throws
  // TFileError for a bad file (the description is then unchanged). A call
  // that is running goes on with the description it started with.
  bool LoadFromFile(const std::filesystem::path& name, int typeofgame);
  void SaveToFile(const std::filesystem::path& name) const;
  void SetEvf(const TEvalFunc& evf);
  std::string GetEngineName() const;
  bool UseBook() const;
  // A copy of the description.
  TEvalFunc EvalFunc() const;
  std::string Name() const;
  void SetName(const std::string& name);

  // --- Opening book -------------------------------------------------------------
  // The book's name (the Book property) and the book itself: OpenBook sets the
  // name and opens that file; lookups go through OpeningBook(), from any thread.
  std::string Book() const;
  void SetBook(const std::string& book);
  bool OpenBook(const std::string& path);
  TOpeningBook& OpeningBook() { return book_; }

  // --- Settings the application hands over (read at each call) ------------------
  std::atomic<int> ThreadsCount{0};       // worker threads, 0 = one per root move
  std::atomic<bool> AnalysisMode{false};  // the Mode setting: true = analysis mode
  std::atomic<int> NotationStyle{1};      // display style of move texts
  // Folder of the endgame databases ("ED"); empty = none. A new folder is read
  // when the engine is next set up (the next call or InitEngine).
  void SetEDFolder(const std::string& folder);
  // The databases this engine probes (null before they are loaded, without a
  // folder, and for variants without databases). Engines of one variant and
  // folder share one set.
  std::shared_ptr<const TEndgameDb> EndgameDb() const;
  // Replaces the database lookup of the search (tests); null restores the
  // loaded databases. Not while a call runs.
  void SetEdbProbe(TEdbProbe probe);
  // Where the engine reports what goes wrong inside a call (a worker's error,
  // a damaged database file); stderr when none is set. Set before a call.
  void SetLog(std::function<void(const std::string&)> log);

  // --- State ------------------------------------------------------------------------
  int64_t PstCnt() const;
  int64_t GetEdb() const { return EdbStats.fGetEdb.load(std::memory_order_relaxed); }
  int getmaxdepth() const { return fmaxdepth.load(std::memory_order_relaxed); }
  int TypeOfGame() const { return FTypeOfGame.load(); }
  int hashlRNMaxSize() const { return FHashLrn.MaxSize; }
  int hashlRNcurSize() const { return FHashLrn.CurSize.load(); }
  bool BreakAnalysis() const { return FBreakAnalysis.load(); }
  void SetBreakAnalysis(bool b) { FBreakAnalysis.store(b); }
  int RunningThreadCount() const { return RunningThreads.load(); }
  // Workers the last call started.
  int LastThreadCount() const { return lastThreadCount_.load(); }
  std::atomic<bool>& Stop() { return *stop_; }
  TAnalysisInfo& Info() { return *info_; }
  THash& Hash() { return FHash; }

  // Forces the next call to set the variant up again.
  void Clear() { FTypeOfGame = 0; }
  bool Analysing() const;
  void WaitToExitAnalysis();

  // --- Set-up -------------------------------------------------------------------------
  // Allocates the table on first use, then the variant's databases. Nothing
  // when the variant is the current one. Any thread may call it, also while a
  // call runs (which goes on with the databases it started with).
  void InitEngine(int NewType);
  void InitHash(int memory, bool force, bool replace);
  void InitED(int NewType);
  void LearnIni(int newType);
  int GetStageCnt(int draughts) const;
  int GetStage(const TBitBoard64& brd) const;
  int GetStageBrd(const TBoard& brd) const;

  // --- The call -------------------------------------------------------------------------
  // Analyses Game.CurBoard and puts the chosen move in BestMv; blocks until the
  // analysis ends. `Time` is the budget in centiseconds, `fastplay` a position
  // budget (0 = the description's MaxPos). Returns false, BestMv untouched,
  // when there is no legal move, the call was stopped while it was setting up
  // (loading databases, clearing the table), or another call of this engine is
  // running. The call clears the stop flag before Analysing() turns true: a
  // stop raised after that always ends this call. A worker that fails is
  // reported to the log (SetLog) and its root move is left to the others.
  bool LetOpponentMove40(const TGame& Game, int64_t Time, TMove& BestMv, bool computealways, int fastplay);

  // True when the position P (with `side` to move) occurred in the game line
  // before the current position.
  bool RepeatsGameHistory(const TBoard& P, TDColor side) const;

  // Work of the threads.
  int GetFromMovesQueue();
  void AddToMovesQueue(int m);
  void ProcessMoveThreadPass(int x);
  void PublishBest();
  // Line of root move x: the move, then the table's best moves, at most 20.
  void BuildPV(int x, TPV& pv, std::string& text);
  // The budget check of both searches at a node of ply n with target ply mn:
  // at nodes well above the horizon (n + 3 < mn) it raises the stop flag when
  // the time or the position budget of the call is spent. True when the
  // search must stop, for that or any other reason the flag is up.
  bool LimitCheck(int n, int mn);

  // --- The searches (search.cpp) ----------------------------------------------------
  float analysis64ver40(TBitBoard64 brd, float alfa, float beta, int n, int mn, TDColor col, const TEDPos& ED,
                        int typeofgame, const TEvalFunc& evF, TPrevDepthPos& prevpos, bool EBOff);
  float analysis(const TBoard& brd, float alfa, float beta, int n, int mn, TDColor col,
                 const TGameParams& GameParams, const TEvalFunc& F);

  // Value of the position after a root move for the side that made it is the
  // negation of this: `after` is the board after the move, `toMove` the side to
  // move there.
  float RootSearch(const TBoard& after, TDColor toMove, int n, int mn, bool EBOff);

  // Limits of the current call (set by LetOpponentMove40 before the workers
  // start; tests of the search set them directly).
  void SetLimits(int64_t maxTimeCs, int64_t maxPos);
  // Prepares a search outside LetOpponentMove40 (tests): variant set up, the
  // position to analyse, table cleared, counters zero, no limits.
  void PrepareSearch(int typeofgame, const TBoard& board, TDColor side);

 private:
  friend class TMoveAnalysisThread;
  void WorkerDone();
  // A worker that ended on an exception: logs it and gives its root move back.
  void WorkerFailed(int worker, int move, const std::string& what);
  void SetNotAnalysing(bool value);
  void PublishInfoLine(const std::string& text);
  bool EdbProbe(const TBitBoard64& brd, int typeofgame, const TEDPos& ED, float& ev);
  void PublishStatus();  // status texts; caller holds Used
  void WriteLog(const std::string& text);
  // Takes the copies a call (or a test search) works on.
  void FreezeCallState(const TGameParams& params);

  // The steps of analysis64ver40 (search.cpp).
  bool DatabaseValue(const TSearchNode& node, int pieces, float& value);
  bool RepeatsLine(const TSearchNode& node) const;
  void ExtendSingleReply(TSearchNode& node) const;
  bool TableSettles(TSearchNode& node, float alfa, float beta, float& value);
  bool ReducedProbesSettle(const TSearchNode& node, float alfa, float beta, float& value);
  bool OrderChildren(const TSearchNode& node, uint8_t* order);
  float SearchChildren(const TSearchNode& node, const uint8_t* order, float beta, int& bestIndex);
  void StoreResult(const TSearchNode& node, float alfa, float beta, float best, int bestIndex);

  // The steps of LetOpponentMove40, in order.
  void SetCallLimits(int64_t Time, int fastplay);
  void TakePosition(const TGame& Game, int fastplay);
  bool SetUpVariant(const TGame& Game);  // false: another call is setting up
  bool EmptyTable();                     // false: stopped while clearing
  void RememberGameLine(const TGame& Game);
  int ListRootMoves(bool computealways, int fastplay);  // the number of root moves
  void ResetCounters(int fastplay);
  void SkipMovesBackIntoTheGame();
  void RunWorkers();
  void ChooseMove(TMove& BestMv);

  static int PieceCount(const TBoard& b);
  static TDColor Opponent(TDColor c) { return c == TDColor::white ? TDColor::black : TDColor::white; }

  TAnalysisInfo* info_;
  std::atomic<bool>* stop_;
  int hashMegabytes_;

  std::atomic<int> fmaxdepth{0};
  TBoard CurBoard;
  TDColor SideToMove = TDColor::white;
  TEDPos ED;
  std::atomic<int> FTypeOfGame{0};
  std::string FBook;
  TOpeningBook book_;
  // The description, guarded by descLock_ (with FBook); a call reads its copy.
  mutable std::mutex descLock_;
  TEvalFunc FEvalFunc;
  // Copies a call works on, taken before its workers start: the rules of the
  // analysed game, the variant, the description and the databases.
  TGameParams Params;
  int callVariant_ = 0;
  TEvalFunc callEval_;
  std::shared_ptr<const TEndgameDb> callEdb_;
  THash FHash;
  THash FHashLrn;  // self-learning is off: never allocated
  int64_t TimeAnalysisStarted = 0;
  int64_t MaxPosAnalysis = 0;
  int64_t MaxTimeAnalysis = 0;
  // Positions evaluated: by searches outside the workers, and per worker on a
  // cache line of its own so that the workers do not contend for one counter.
  std::atomic<int64_t> fPstCnt{0};
  struct alignas(64) TCounter {
    std::atomic<int64_t> v{0};
  };
  std::array<TCounter, 256> workerPstCnt_;
  std::atomic<int64_t>& PstCounter();  // the calling thread's counter
  TEdbProbeStats EdbStats;             // fGetEdb and MaxEB
  std::atomic<int> RunningThreads{0};
  std::vector<std::unique_ptr<TMoveAnalysisThread>> MoveRunners;
  std::atomic<bool> InitSection{false};
  std::atomic<bool> FBreakAnalysis{false};
  std::atomic<bool> inCall_{false};
  std::atomic<int> lastThreadCount_{0};

  // NotAnalysing as a manual-reset event.
  mutable std::mutex eventLock_;
  std::condition_variable eventCv_;
  bool notAnalysing_ = true;

  std::mutex setupLock_;  // held by InitEngine
  // The databases of the current variant and their folder, guarded by edbLock_.
  mutable std::mutex edbLock_;
  std::string edFolder_;
  std::shared_ptr<const TEndgameDb> edb_;
  TEdbProbe edbProbe_;
  bool edbActive_ = false;  // probes of the call may find something
  std::function<void(const std::string&)> log_;

  // Game line of the current call, for RepeatsGameHistory.
  std::vector<TBoard> history_;
  std::vector<TDColor> historySide_;
  int halfMove_ = 0;        // half-moves before the current position
  uint8_t totalMoves_ = 0;  // root moves of the call (set before the workers start)
};

}  // namespace quorlin
