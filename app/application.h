#pragma once
// The application object of the desktop program: the shown game, the two
// engines, the game clock, the mode, the queued messages and the redraw
// requests, with the operations the main window calls.
//
// Threads. The window calls every operation on its own (main) thread and each
// returns at once: engine work (engine turns, analysis runs, loading engine
// descriptions) runs one job at a time on the application's background thread
// (TAnalysisThread). Results reach the window only through Tick(), which the
// window calls every 25 ms: it says what to redraw, which messages to show,
// and copies what the engine published into EngineOutput().
//
// The shown game is guarded by a lock: read it through LockGame() (keep the
// guard short and call no other operation while holding it) and change it
// through EditGame() or the operations below, never through a kept reference.
#include <array>
#include <atomic>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "app/clock.h"
#include "engine/engine.h"
#include "games/database.h"
#include "games/gamerecord.h"
#include "rules/board.h"
#include "rules/move.h"

namespace quorlin {

class TAnalysisThread;
struct TResultCheck;

// Play mode: the user plays against PlayEngine. Analysis mode: the user moves
// both sides and AnalysisEngine analyses the shown position.
enum class TPlayMode : uint8_t { Play = 0, Analysis = 1 };

// Start positions of NewGame.
constexpr int kBallotNone = 0;      // the variant's start position
constexpr int kBallotTwoMoves = 1;  // a random "2-moves" ballot
constexpr int kBallotFull = 2;      // a random "Full" ballot

// Contents of the engine-output grid (the "display" button cycles them).
constexpr int kDisplayNone = 0;
constexpr int kDisplayBook = 1;
constexpr int kDisplayAnalysis = 2;

// Game-panel redraw bits: any bit repaints the panel, this one also rebuilds
// the move-list text first.
constexpr uint32_t kPanelRepaint = 0x01;
constexpr uint32_t kPanelMoveList = 0x10;

// Ticks of the 25 ms timer between two autoplay steps (1.25 s).
constexpr int kAutoplayTicks = 50;

// What the new-game window hands over on "OK".
struct TNewGameChoice {
  TPlayMode Mode = TPlayMode::Play;
  int Ballot = kBallotNone;  // kBallot*
  // Colour list: 0 "Random", 1 "White", 2 "Black" (the side that moves first
  // is "White" here whatever the variant calls it on screen).
  int Colour = 0;
  bool RandomEngine = true;  // pick an engine of about the user's rating
  std::string Engine;        // file name from EngineFiles() when not random; empty keeps the loaded one
  bool Rated = true;
};

// Moves for the window to show one after the other (step by step, with the
// move sound), starting from Before. The game already holds the result.
struct TMovesToShow {
  TBoard Before;
  TGameParams Params;
  std::vector<TMove> Moves;
};

// Outcome of a move the user entered on the board.
struct TUserMoveResult {
  bool Accepted = false;  // false: ignored (engine thinking, or not a legal move here)
  TMovesToShow Shown;     // the user's move, then forced replies or a problem's answer
  // Problem mode: the move was not the solution. Shown holds it; the game is
  // back at the problem position and "Wrong move!" is queued.
  bool WrongMove = false;
};

// What one timer tick asks of the window.
struct TTickReport {
  bool RedrawBoard = false;  // redraw the board of the shown game
  bool BoardMark = false;    // ... with the last-move mark
  bool RebuildMoveList = false;
  bool RepaintPanel = false;         // repaint the game panel (clock texts, move list, status)
  bool EngineOutputChanged = false;  // EngineOutput() holds new engine output
  // The book moves of the shown position may have changed: in the book
  // display, list them again (BookLookup on the shown game).
  bool BookMovesChanged = false;
  bool PlayMoveSound = false;               // an engine move was played
  bool LayoutChanged = false;               // RatedLayout() changed
  std::optional<TMovesToShow> Autoplay;     // autoplay stepped one move forward
  std::vector<std::string> Messages;        // to show in message boxes, in this order
  std::vector<std::string> SilentMessages;  // queued silently: for a status line or the log only
};

// Construction options; the defaults are those of the program.
struct TApplicationOptions {
  // Path of the running executable (its folder is ProgramFolder); empty:
  // /proc/self/exe.
  std::optional<std::string> ProgramPath;
  int HashMegabytes = 128;  // transposition table of each engine
  // Centiseconds of a monotonic clock for the game clock; empty: steady clock.
  std::function<int64_t()> Clock;
  // Uniform random number 0..n-1 (ballots, engine and colour choice, book
  // moves); empty: the thread's generator.
  std::function<uint32_t(uint32_t)> Random;
  int BookMoveDelayMs = 300;  // pause before a book move is played
  // Set the engines up for a variant (tables, endgame databases) as soon as
  // it is selected, in the background; otherwise at their first turn.
  bool PrepareEngines = true;
};

// A locked view of the shown game.
template <class T>
class TLockedRef {
 public:
  TLockedRef(std::mutex& m, T& value) : lock_(m), value_(&value) {}
  T& operator*() const { return *value_; }
  T* operator->() const { return value_; }

 private:
  std::unique_lock<std::mutex> lock_;
  T* value_;
};

class TApplication {
 public:
  // Runs the start-up routine: folders, "Engines.zip", log "Program started.",
  // settings, translations, variant table, last database, both engines, the
  // saved variant with its engine and book, and the first new game.
  explicit TApplication(TApplicationOptions options = {});
  // Shuts down when Shutdown() was not called.
  ~TApplication();
  TApplication(const TApplication&) = delete;
  TApplication& operator=(const TApplication&) = delete;

  // Stops the engines and the background thread, writes the settings and
  // closes the database. Later calls do nothing.
  void Shutdown();

  // --- The shown game ------------------------------------------------------------
  TLockedRef<const TGame> LockGame() const;
  // Changes the game under its lock, then requests a board redraw, a move-list
  // rebuild and an engine-output refresh. A running engine turn started on
  // the game before the edit no longer plays its move into it. Call
  // StopEngines() first when the position changes under a running analysis.
  void EditGame(const std::function<void(TGame&)>& edit);
  // Replaces the shown game (a game loaded from a database): engines stopped,
  // its variant selected without a new game, shown at `node` (its ShowFrom
  // when -1), analysis mode.
  void LoadGame(TGame game, int node = -1);

  // --- Game flow ---------------------------------------------------------------------
  // New game of the current variant from its start position or a ballot.
  void NewGame(int ballotKind);
  // The new-game window's "OK".
  void StartGame(const TNewGameChoice& choice);
  // Engine descriptions ("*.eng") of the current variant's engine folder.
  std::vector<std::string> EngineFiles() const;
  // Sets the clocks from the settings GameTime and TimeControlMin.
  void ResetClock();

  // A move entered on the board (one of the legal moves of the shown
  // position): adds and plays it, then lets the engine answer (play mode) or
  // restarts the analysis (analysis mode unless stopped).
  TUserMoveResult UserMove(const TMove& move);
  // False while PlayEngine thinks in play mode: the board ignores taps.
  bool CanUserMove() const;

  // The start/stop item: stops a running analysis, otherwise lets the engine
  // take the side to move (play mode) or starts the analysis. While the engine
  // thinks in play mode it plays the best move found so far.
  void StartStop();
  void SetMode(TPlayMode mode);
  TPlayMode Mode() const { return Mode_.load(); }

  // "Resign": the game goes to the engine, no question asked.
  void Resign();
  // "Offer draw": the engine never accepts; queues its answer.
  void OfferDraw();

  // --- Navigation -----------------------------------------------------------------------
  // Refused (false) while PlayEngine thinks in play mode or a rated game runs.
  // Makes `node` the shown position; `stop` stops the engines first.
  bool GoToNode(int node, bool stop);
  // A move tapped in the move list: autoplay off, go there, restart the analysis.
  bool SelectNode(int node);
  bool StepBack();
  // The next move of the shown line, for the window to show step by step.
  std::optional<TMovesToShow> StepForward();
  // Play mode: back to the user's previous turn; analysis mode: StepBack.
  bool TakeBack();
  void SetAutoplay(bool on);
  bool Autoplay() const { return autoplay_.load(); }

  // --- Variants ---------------------------------------------------------------------------
  // Makes VariantTable slot `variant` current: engines stopped, a new game when
  // the board shape changes (unless keepGame), book and engine descriptions of
  // the variant loaded. A custom-variant game (0) keeps its own rules.
  void SelectVariant(int variant, bool keepGame);
  int CurrentVariant() const;

  // --- Engines ---------------------------------------------------------------------------
  // Asks both engines to stop; returns at once.
  void StopEngines();
  bool PlayEngineThinking() const { return playTurns_.load() > 0; }
  bool Analysing() const { return analysisTurns_.load() > 0; }
  bool AnalysisStopped() const { return analysisStopped_.load(); }
  // Name and rating of the engine the user plays against.
  std::string PlayEngineName() const;
  int PlayEngineElo() const { return playElo_.load(); }
  // Variants the engines are set up for (AnalysisEngine, PlayEngine): the
  // current variant once the background thread has loaded them.
  std::pair<int, int> EngineVariants() const;
  // Waits until no engine work is queued or running (tests, tools; never the window).
  void WaitIdle();

  // --- Timer ------------------------------------------------------------------------------
  // The 25 ms timer tick (main thread). A tick that starts while another is
  // running returns an empty report.
  TTickReport Tick();

  // --- Display state ------------------------------------------------------------------
  // Clock texts (H:MM:SS) of side white and side black as last shown.
  std::pair<std::string, std::string> ClockTexts() const;
  TTime ClockState() const;
  bool ClockRunning() const;
  // What the engine of the current mode published, as copied by the last
  // tick. Main thread only; read its fields under its own Used lock.
  const TAnalysisInfo& EngineOutput() const { return *engineOutput_; }
  int DisplayMode() const { return displayMode_.load(); }
  void SetDisplayMode(int mode);
  void CycleDisplayMode() { SetDisplayMode((DisplayMode() + 1) % 3); }
  bool BoardReversed() const { return BoardReversed_.load(); }
  void SetBoardReversed(bool reversed);
  // A rated game runs: the window shows "Resign" and "Offer draw" instead of
  // the navigation and menu buttons.
  bool RatedLayout() const { return ratedLayout_.load(); }
  // ProgramFolder + "move.wav" when it exists, else empty.
  std::string MoveSoundPath() const;

  // --- Opening book --------------------------------------------------------------------
  // Whether the current variant's book is open, and its moves for the shown
  // position (the book display). Any thread.
  bool BookLoaded() const;
  void LookupBookMoves(TOpenMoves& moves, const TBookTextStyle& text = {}) const;

  // --- Requests (any thread) ---------------------------------------------------------------
  void QueueMessage(const std::string& text, bool silent);
  void RequestBoardRedraw(bool mark);
  void RequestPanel(uint32_t bits);
  // Sets the engine-output and book refresh flags of both engines' records.
  void RequestDisplayRefresh();

  // --- Owned objects ---------------------------------------------------------------------
  // The database named by the setting `Database`, opened at start (main thread only).
  TQuorlinDB& Database() { return Database_; }

 private:
  static constexpr uint64_t kNoCall = UINT64_MAX;  // runningEpoch_ while no engine call runs

  void Startup();
  void StartThinking();
  void QueueTurn(bool play);
  void QueueLoadEngines(int variant);
  void QueueChooseEngine(const TNewGameChoice& choice, int variant);
  void RunEngineTurn(int64_t generation);
  bool PlayMove(const TGame& game, int64_t generation);
  void RunAnalysis(int64_t generation);
  void LoadEngineDescriptions(int variant);
  std::vector<std::string> EngineFilesOf(int variant) const;
  // Loads a description; the default one when the file is missing or bad.
  // Returns what was wrong with a bad file (empty otherwise).
  std::string LoadDescription(TEngine& engine, const std::string& path, int variant);
  void ApplyCheck(int64_t generation, bool playMode);
  void AnnounceResult(const TResultCheck& check);
  void UpdateRating();
  void StopClock();
  void ChargeClock(TTickReport& report);
  void RefreshClockTexts(TTickReport& report);
  void CopyEngineOutput(TTickReport& report);
  void RestartAnalysisIfRunning();
  bool NavigationAllowed() const;
  bool GoToNodeInternal(int node, bool stop);
  void ShowNodeLocked(TGame& game, int node);
  void RefreshVariantParams();
  int64_t Now() const;
  uint32_t RandomBelow(uint32_t n) const;
  void ReassertStop();

  TApplicationOptions options_;

  mutable std::mutex gameLock_;
  TGame CurrentGame;        // guarded by gameLock_
  int64_t generation_ = 0;  // guarded by gameLock_: changes with every change of the shown game

  // Each engine publishes in its own record and obeys its own stop flag.
  TAnalysisInfo analysisInfo_;
  TAnalysisInfo playInfo_;
  std::atomic<bool> analysisStop_{false};
  std::atomic<bool> playStop_{false};
  std::unique_ptr<TEngine> AnalysisEngine;
  std::unique_ptr<TEngine> PlayEngine;
  std::unique_ptr<TEvalFunc> defaultDescription_;  // the engines' description before any file
  std::atomic<bool> analysisGiveaway_{false};
  std::atomic<bool> playGiveaway_{false};
  std::atomic<int> playElo_{0};
  mutable std::mutex nameLock_;
  std::string playName_;  // guarded by nameLock_

  std::unique_ptr<TAnalysisThread> thread_;
  std::atomic<int> playTurns_{0};                // engine turns queued or running
  std::atomic<int> analysisTurns_{0};            // analysis runs queued or running
  std::atomic<uint64_t> stopEpoch_{0};           // raised by every StopEngines
  std::atomic<uint64_t> runningEpoch_{kNoCall};  // epoch of the running engine call
  std::atomic<bool> moveNow_{false};             // the running engine turn is to play at once
  std::atomic<uint64_t> variantLoads_{0};        // newest engine-loading job

  mutable std::mutex clockLock_;
  TTime Clock;                 // guarded by clockLock_
  bool clockRunning_ = false;  // guarded by clockLock_
  int64_t lastUpdate_ = 0;     // guarded by clockLock_
  std::string shownClocks_;    // guarded by clockLock_: the pair last shown

  std::atomic<TPlayMode> Mode_{TPlayMode::Play};
  std::atomic<bool> BoardReversed_{false};
  std::atomic<bool> analysisStopped_{true};
  std::atomic<bool> ratedLayout_{false};
  std::atomic<bool> layoutChanged_{false};
  std::atomic<int> displayMode_{kDisplayAnalysis};
  std::atomic<bool> autoplay_{false};
  int autoplayCount_ = 0;  // main thread

  std::mutex messageLock_;
  std::deque<std::pair<std::string, bool>> messages_;  // guarded by messageLock_: text, silent

  std::atomic<bool> boardRedraw_{false};
  std::atomic<bool> boardMark_{false};
  std::atomic<uint32_t> panelBits_{0};
  std::atomic<bool> moveSound_{false};
  std::atomic<bool> ticking_{false};

  std::unique_ptr<TAnalysisInfo> engineOutput_;  // main thread

  TQuorlinDB Database_;  // main thread
  bool shutDown_ = false;
};

}  // namespace quorlin
