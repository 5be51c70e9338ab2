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

// Bounds of a value: min and max (equal after a finished pass), v a shallow
// estimate used to break ties.
struct TEval {
  float min = 0;
  float max = 0;
  float v = 0;
};

// A line of moves: Mvs[1..Length].
struct TPV {
  uint8_t Length = 0;
  std::array<TMove, 101> Mvs{};
};

struct TRootMove {
  uint8_t depth = 0;  // target ply reached by the last finished pass
  std::string PVs;    // the move's line as text
  TEval Eval;         // min/max: value of the move for the engine's side; v: shallow estimate
  TEval CurEval;      // not written
  int16_t Guess = 0;
  TPV PV;                  // the move's line as moves
  bool analysing = false;  // a worker is deepening it
  bool skip = false;       // not searched: it repeats a position of the game
};

// What an engine publishes while it works. Every field is guarded by `Used`:
// writers and readers hold it while they touch any field, so no text is ever
// seen half-written.
struct TAnalysisInfo {
  std::string EngineNm;
  std::string DepthStr;    // average root depth, "5,6"
  std::string Speed;       // "1234kN/s@2"
  std::string PV;          // line of the chosen or best root move
  std::string Time;        // "3.07"
  std::string Edb;         // database, table and learning status
  std::string PonderMove;  // stays empty (no pondering)
  std::string Info;        // last information line
  std::string Details;     // cleared at each call
  std::string PrintInfo;   // written by the display, not by the engine
  int32_t Depth = 0;       // average root depth x 10
  int32_t CurrentGamePos = 0;
  TBoard CurrentPos;  // not written
  TEval Eval;         // evaluation of the best (or chosen) root move
  bool IsPonder = false;
  bool AnalyseAll = false;
  bool ComputeAlways = false;
  uint8_t TotalMoves = 0;
  int32_t fastplay = 0;
  TPV TempPV;                        // work area of BuildPV
  TMvs moves1{};                     // the root moves, 1..TotalMoves
  std::array<uint8_t, 256> Sort{};   // root-move indices, best first, 1..TotalMoves
  std::array<TRootMove, 256> Moves;  // per root move, 1..TotalMoves
  TOpenMoves Openmoves;              // opening-book moves, filled by the display
  bool Updated = false;              // something shown changed; the display clears it
  mutable std::mutex Used;
};

// The one record the application shows. An engine publishes here unless it
// was given a record of its own.
extern TAnalysisInfo AnalysisInfo;

// Evaluation texts: 0.25, -1.50; xN(10) for a database result; x15 for a win
// found by the search (15 plies from 2000).
std::string FormatScore(float x);
// min/max as one text: the value when they agree, "~" + the lower bound otherwise.
std::string FormatEval(const TEval& eval);

// Status texts: average root depth x 10 as "5,6"; centiseconds as "3.07".
std::string DepthStrOf(int avg10);
std::string TimeTextOf(int64_t cs);

// Centiseconds of a steady clock (the engine's time base).
int64_t EngineClockCs();

// Ordering of root moves: true when A is better than B.
bool RootBetter(const TEval& a, uint8_t aDepth, const TEval& b, uint8_t bDepth);

// Number of root moves, best first in info.Sort, whose min lies within
// `compress` of the best one (at least 1); the engine picks one of them at
// random. The caller holds info.Used.
int NearEqualCount(const TAnalysisInfo& info, float compress);

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
  // when the variant is the current one.
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
  // when there is no legal move, the call was stopped while the table was
  // being cleared, or another call of this engine is running.
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
  // Raises the stop flag when the time or position budget is spent.
  void LimitCheck();

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
  void SetNotAnalysing(bool value);
  void PublishInfoLine(const std::string& text);
  bool EdbProbe(const TBitBoard64& brd, int typeofgame, const TEDPos& ED, float& ev);
  void PublishStatus();  // status texts; caller holds Used
  int HalfMoveIndex() const;
  void WriteLog(const std::string& text);
  // Takes the copies a call (or a test search) works on.
  void FreezeCallState(const TGameParams& params);

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
  std::vector<TMoveAnalysisThread*> MoveRunners;
  std::atomic<bool> InitSection{false};
  std::atomic<bool> FBreakAnalysis{false};
  std::atomic<bool> inCall_{false};
  std::atomic<int> lastThreadCount_{0};

  // NotAnalysing as a manual-reset event.
  mutable std::mutex eventLock_;
  std::condition_variable eventCv_;
  bool notAnalysing_ = true;

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
