// Play mode and analysis mode of the application object: new games, the
// user's and the engine's turns, the end of a game, the rating and walking
// through the game.
#include <chrono>
#include <ctime>
#include <filesystem>
#include <thread>

#include "app/analysisthread.h"
#include "app/application.h"
#include "app/ballots.h"
#include "app/engineturn.h"
#include "app/folders.h"
#include "app/log.h"
#include "app/rating.h"
#include "app/settings.h"
#include "app/translations.h"
#include "engine/book.h"
#include "engine/gameresult.h"
#include "rules/movegen.h"
#include "rules/variants.h"

namespace quorlin {

namespace {

// Name of the engine side in new games, and of the user when the settings
// give none.
constexpr const char* kEngineName = "Quorlin";
constexpr const char* kDefaultUserName = "Player";

// Time budget of an engine call that is to answer at once (centiseconds).
constexpr int64_t kMoveNowBudget = 1;

// Time budget of an analysis run: about eleven and a half days, i.e. until stopped.
constexpr int64_t kAnalysisBudget = 100000000;

// Rating difference below which a randomly drawn engine is taken at once, and
// how many draws are made at most.
constexpr int kCloseRating = 150;
constexpr int kEngineDraws = 5;

TDColor Opponent(TDColor c) { return c == TDColor::white ? TDColor::black : TDColor::white; }

// The game's start position of its variant, nothing played.
void SetStartPosition(TGame& g) {
  g.CurMovPos = 0;
  g.CurBoard = TBoard{};
  g.CurBoard.b = StartPosition(g.Params, false);
  g.StartBoard = g.CurBoard.b;
  g.SideToMove = TDColor::white;
  g.Header.FirstMove = TDColor::white;
}

int LastMainLineNode(const TGame& g) {
  int node = 0;
  TChildList kids;
  for (int guard = 0; guard < static_cast<int>(g.Moves.size()) && GetChildren(g, node, kids) > 0; ++guard)
    node = kids[0];
  return node;
}

// The legal move equal to `move` (SameCapture) in the position, with the
// caller's notation flags; false when there is none.
bool FindLegalMove(const TGame& g, const TMove& move, TMove& legal) {
  TMvs list;
  uint8_t n = 0;
  GenerateMoves(g.CurBoard, static_cast<int>(g.SideToMove), list, n, g.Params, true);
  for (int i = 1; i <= n; ++i) {
    if (!SameCapture(list[i], move)) continue;
    legal = list[i];
    legal.flags = move.flags;
    legal.comm = move.comm;
    return true;
  }
  return false;
}

int LegalMoveCount(const TGame& g, TMvs& list) {
  uint8_t n = 0;
  GenerateMoves(g.CurBoard, static_cast<int>(g.SideToMove), list, n, g.Params, true);
  return n;
}

// Plays `move` at the shown position: a new node (or the existing equal
// child), the board and the side to move follow. False when the tree is full.
bool PlayOnGame(TGame& g, const TMove& move) {
  const int node = AddMove(g, move, g.CurMovPos);
  if (node == 0) return false;
  g.CurMovPos = node;
  ApplyMove(move, g.CurBoard, g.Params);
  g.SideToMove = Opponent(g.SideToMove);
  return true;
}

}  // namespace

// --- New games -------------------------------------------------------------------------

void TApplication::ResetClock() {
  {
    std::lock_guard<std::mutex> g(clockLock_);
    Clock = ClockForTimeControl(Settings.GameTime, Settings.TimeControlMin);
    shownClocks_.clear();
  }
  RequestDisplayRefresh();
}

void TApplication::StopClock() {
  std::lock_guard<std::mutex> g(clockLock_);
  clockRunning_ = false;
}

bool TApplication::ClockRunning() const {
  std::lock_guard<std::mutex> g(clockLock_);
  return clockRunning_;
}

std::pair<std::string, std::string> TApplication::ClockTexts() const {
  std::lock_guard<std::mutex> g(clockLock_);
  return {Clock.WhitePrint, Clock.BlackPrint};
}

TTime TApplication::ClockState() const {
  std::lock_guard<std::mutex> g(clockLock_);
  return Clock;
}

void TApplication::NewGame(int ballotKind) {
  StopClock();
  StopEngines();
  ResetClock();
  const int variant = CurrentVariant();

  TGame game;
  ClearGame(game);
  game.Header.TypeOfGame = static_cast<uint8_t>(variant);
  game.Params = VariantTable[variant];
  SetStartPosition(game);
  bool reversed = false;
  if (ballotKind != kBallotNone && BallotsApply(game.Params)) {
    const std::string file = BallotFileName(variant, ballotKind);
    if (!file.empty()) {
      const std::string path = ProgramFolder + kBallotFolder + "/" + file;
      std::string error;
      if (LoadBallotGame(
              path, [this](uint32_t n) { return RandomBelow(n); }, game, error)) {
        ShowNodeLocked(game, LastMainLineNode(game));
        game.Header.TypeOfGame = static_cast<uint8_t>(variant);
        game.Params = VariantTable[variant];
        reversed = game.SideToMove == TDColor::black;
      } else {
        WriteLog("Ballot not loaded: " + error);
        QueueMessage("Error loading game!", false);
        ClearGame(game);
        game.Header.TypeOfGame = static_cast<uint8_t>(variant);
        game.Params = VariantTable[variant];
        SetStartPosition(game);
      }
    }
  }
  game.WhiteName = Settings.UserName.empty() ? kDefaultUserName : Settings.UserName;
  game.BlackName = kEngineName;
  game.Tournament += TimeControlText(ClockState());
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  game.Header.Date = TDateRecord{0, 0, static_cast<uint16_t>(local.tm_year + 1900)};

  {
    std::lock_guard<std::mutex> g(gameLock_);
    CurrentGame = std::move(game);
    ++generation_;
  }
  BoardReversed_ = reversed;
  if (ratedLayout_.exchange(false)) layoutChanged_ = true;
  SetAutoplay(false);
  RequestBoardRedraw(false);
  RequestPanel(kPanelMoveList);
  RequestDisplayRefresh();
}

void TApplication::StartGame(const TNewGameChoice& choice) {
  // The engine status line of the previous game goes (the engines write
  // their texts afresh at every pass).
  for (TAnalysisInfo* info : {&analysisInfo_, &playInfo_, engineOutput_.get()}) {
    std::lock_guard<std::mutex> g(info->Used);
    for (std::string* text :
         {&info->DepthStr, &info->Speed, &info->Time, &info->Edb, &info->Info, &info->PrintInfo})
      text->clear();
  }
  NewGame(choice.Ballot);
  if (choice.Mode == TPlayMode::Analysis) {
    SetMode(TPlayMode::Analysis);
    return;
  }
  SetMode(TPlayMode::Play);
  if (choice.Rated) {
    ratedLayout_ = true;
    layoutChanged_ = true;
    displayMode_ = kDisplayNone;
  }
  const std::vector<std::string> files = EngineFiles();
  if (!files.empty() && (choice.RandomEngine || !choice.Engine.empty()))
    QueueChooseEngine(choice, CurrentVariant());

  TDColor user = TDColor::white;
  if (choice.Colour == 2 || (choice.Colour == 0 && RandomBelow(2) == 1)) user = TDColor::black;
  bool engineFirst = false;
  {
    std::lock_guard<std::mutex> g(gameLock_);
    CurrentGame.IsRated = choice.Rated;
    CurrentGame.RatedPlayer = user;
    // The record names the user on the side the user plays.
    if (user == TDColor::black) std::swap(CurrentGame.WhiteName, CurrentGame.BlackName);
    engineFirst = user != CurrentGame.SideToMove;
  }
  RequestBoardRedraw(false);
  RequestPanel(kPanelMoveList);
  if (engineFirst) StartStop();
}

void TApplication::QueueChooseEngine(const TNewGameChoice& choice, int variant) {
  TAnalysisThread::TJob job;
  job.Run = [this, choice, variant] {
    const std::vector<std::string> files = EngineFilesOf(variant);
    if (files.empty()) return;
    const std::string folder =
        (std::filesystem::path(ProgramFolder) / "EnginesTest" / VariantTable[variant].Name).string() + "/";
    std::string chosen;
    if (choice.RandomEngine) {
      // Draw a few engines and keep the one closest to the user's rating.
      int best = INT32_MAX;
      for (int i = 0; i < kEngineDraws && best >= kCloseRating; ++i) {
        const std::string& f = files[RandomBelow(static_cast<uint32_t>(files.size()))];
        LoadDescription(*PlayEngine, folder + f, variant);
        const int d = std::abs(EngineOpts[variant].UserRating - PlayEngine->EvalFunc().ELO);
        if (d < best) best = d, chosen = f;
      }
    } else if (std::find(files.begin(), files.end(), choice.Engine) != files.end()) {
      chosen = choice.Engine;
    }
    if (chosen.empty()) return;
    const std::string error = LoadDescription(*PlayEngine, folder + chosen, variant);
    if (!error.empty()) QueueMessage(error, false);
  };
  thread_->Queue(std::move(job));
}

// --- Modes and turns -----------------------------------------------------------------------

void TApplication::SetMode(TPlayMode mode) {
  Mode_ = mode;
  Settings.Mode = mode == TPlayMode::Analysis;
  for (TEngine* e : {AnalysisEngine.get(), PlayEngine.get()}) e->AnalysisMode = mode == TPlayMode::Analysis;
  StopEngines();
  RequestDisplayRefresh();
  RequestPanel(kPanelMoveList);
}

void TApplication::StartStop() {
  if (Analysing()) {
    analysisStopped_ = true;
    StopEngines();
    StopClock();
    return;
  }
  if (Mode() == TPlayMode::Play) {
    bool reverse = false, running = false;
    {
      std::lock_guard<std::mutex> g(gameLock_);
      running = CurrentGame.Header.Result == kResultNone;
      reverse = CurrentGame.SideToMove == TDColor::white;
    }
    // The engine takes the side to move: the user's side goes to the bottom.
    if (running) SetBoardReversed(reverse);
  } else {
    analysisStopped_ = false;
  }
  StartThinking();
}

void TApplication::StartThinking() {
  {
    std::lock_guard<std::mutex> g(clockLock_);
    clockRunning_ = true;
    lastUpdate_ = Now();
  }
  if (Mode() == TPlayMode::Play && PlayEngineThinking()) {
    // Asked again while the engine thinks: it plays the best move found so far.
    moveNow_ = true;
    playStop_ = true;
    return;
  }
  StopEngines();
  if (Mode() == TPlayMode::Play)
    QueueTurn(true);
  else
    QueueTurn(false);
}

void TApplication::QueueTurn(bool play) {
  std::atomic<int>& count = play ? playTurns_ : analysisTurns_;
  ++count;
  const uint64_t epoch = stopEpoch_.load();
  int64_t generation = 0;
  {
    std::lock_guard<std::mutex> g(gameLock_);
    generation = generation_;
  }
  TAnalysisThread::TJob job;
  job.Turn = true;
  job.Dropped = [&count] { --count; };
  job.Run = [this, play, epoch, generation, &count] {
    runningEpoch_ = epoch;
    if (epoch == stopEpoch_.load()) {  // not stopped before it could start
      if (play)
        RunEngineTurn(generation);
      else
        RunAnalysis(generation);
    }
    runningEpoch_ = kNoCall;
    if (play) moveNow_ = false;
    --count;
  };
  thread_->Queue(std::move(job));
}

// Background thread: one engine turn of play mode.
void TApplication::RunEngineTurn(int64_t generation) {
  TGame game;
  TResultCheck before;
  {
    std::lock_guard<std::mutex> g(gameLock_);
    if (generation_ != generation) return;
    // The user's move may have ended the game (a draw by the rules, or no
    // move left for the engine): then the engine does not move.
    try {
      before = CheckResult(CurrentGame, playGiveaway_, true);
    } catch (const std::exception& ex) {
      WriteLog(std::string("Check result: ") + ex.what());
      QueueMessage("ERROR: Exception in Check Result!", false);
    }
    if (!before.headerSet) game = CurrentGame;
  }
  if (before.headerSet) {
    AnnounceResult(before);
    return;
  }

  bool played = false;
  try {
    played = PlayMove(game, generation);
  } catch (const std::exception& ex) {
    WriteLog(std::string("Engine turn: ") + ex.what());
    QueueMessage("!!! Exception in PlayMove!!!", false);
  }
  // Playing the move changed the game once more.
  ApplyCheck(played ? generation + 1 : generation, true);
  AnalysisEngine->SetBreakAnalysis(false);
}

// Background thread: lets PlayEngine choose a move in `game` (a copy of the
// shown game at `generation`) and plays it into the shown game unless that
// changed meanwhile. True when a move was played.
bool TApplication::PlayMove(const TGame& game, int64_t generation) {
  TMvs legal;
  const int count = LegalMoveCount(game, legal);
  if (count == 0) return false;

  const int variant = game.Header.TypeOfGame;
  const int pieces = PieceCount(game.CurBoard);
  const int moveNo = MoveNumberOf(game);
  const int divisor =
      TimeDivisor(PlayEngine->EvalFunc(), PlayEngine->GetStageBrd(game.CurBoard), moveNo, variant);
  RequestDisplayRefresh();

  TMove move;
  bool have = false;
  const TOpeningBook& openingBook = PlayEngine->OpeningBook();
  if (openingBook.IsOpen() && EngineOpts[std::clamp(variant, 0, kVariantCount)].UseBook &&
      PlayEngine->UseBook() && Mode() == TPlayMode::Play && pieces >= Settings.BookMinPieces &&
      moveNo <= Settings.BookMaxMoveNo) {
    auto book = std::make_unique<TOpenMoves>();
    openingBook.Lookup(game.Params, *book, game.CurBoard, static_cast<int>(game.SideToMove));
    const int c = BookCandidateCount(*book, Settings.BookLevel);
    if (c > 0) {
      const int num = book->openmoves[1 + RandomBelow(static_cast<uint32_t>(c))].num;
      if (num >= 1 && num <= count) {
        move = legal[num];
        have = true;
        // A short pause, so that a book reply does not appear the very moment
        // the user let go of the piece.
        const auto until =
            std::chrono::steady_clock::now() + std::chrono::milliseconds(options_.BookMoveDelayMs);
        while (std::chrono::steady_clock::now() < until && !playStop_.load())
          std::this_thread::sleep_for(std::chrono::milliseconds(5));
      }
    }
  }
  if (!have) {
    const int64_t budget = MoveBudget(ClockState(), game.SideToMove, divisor);
    PlayEngine->ThreadsCount = Settings.ThreadsCount.load();
    have = PlayEngine->LetOpponentMove40(game, budget, move, false, 0);
    if (!have && moveNow_.exchange(false)) {
      // "Move now" came before the engine had listed its moves (it was still
      // setting up): a call without time lists them and returns at once.
      have = PlayEngine->LetOpponentMove40(game, kMoveNowBudget, move, false, 0);
    }
  }
  if (!have) return false;

  bool played = false, full = false;
  {
    std::lock_guard<std::mutex> g(gameLock_);
    if (generation_ != generation) return false;  // the game changed: the move belongs to another position
    played = PlayOnGame(CurrentGame, move);
    full = !played;
    if (played) ++generation_;
  }
  if (full) QueueMessage(NumberedText(kMsgNoFreePlace), false);
  if (played) {
    if (Settings.SoundOn) moveSound_ = true;
    RequestBoardRedraw(true);
    RequestPanel(kPanelMoveList);
  }
  RequestDisplayRefresh();
  return played;
}

// Background thread: one analysis run of analysis mode.
void TApplication::RunAnalysis(int64_t generation) {
  TGame game;
  {
    std::lock_guard<std::mutex> g(gameLock_);
    if (generation_ != generation) return;
    game = CurrentGame;
  }
  try {
    AnalysisEngine->ThreadsCount = Settings.ThreadsCount.load();
    TMove best;
    AnalysisEngine->LetOpponentMove40(game, kAnalysisBudget, best, true, 0);
  } catch (const std::exception& ex) {
    WriteLog(std::string("Analysis: ") + ex.what());
    QueueMessage("!!! Exception in analysis function -part 2!!!", false);
  }
  ApplyCheck(generation, false);
  AnalysisEngine->SetBreakAnalysis(false);
}

// The result rules on the shown game, when it is still the game at `generation`.
void TApplication::ApplyCheck(int64_t generation, bool playMode) {
  TResultCheck r;
  {
    std::lock_guard<std::mutex> g(gameLock_);
    if (generation_ != generation) return;
    try {
      r = CheckResult(CurrentGame, playMode ? playGiveaway_.load() : analysisGiveaway_.load(), playMode);
    } catch (const std::exception& ex) {
      WriteLog(std::string("Check result: ") + ex.what());
      QueueMessage("ERROR: Exception in Check Result!", false);
      return;
    }
  }
  AnnounceResult(r);
}

void TApplication::AnnounceResult(const TResultCheck& r) {
  if (r.message != 0) QueueMessage(NumberedText(r.message), r.messageSilent);
  if (!r.headerSet) return;
  // A finished game's clock stands still, whatever ended it.
  StopClock();
  RequestPanel(kPanelMoveList);
  UpdateRating();
}

void TApplication::UpdateRating() {
  int variant = 0, score = -1;
  {
    std::lock_guard<std::mutex> g(gameLock_);
    if (!CurrentGame.IsRated) return;
    CurrentGame.IsRated = false;  // a game is rated once
    variant = CurrentGame.Header.TypeOfGame;
    score = UserScore(CurrentGame.Header.Result, CurrentGame.RatedPlayer);
  }
  if (score >= 0 && variant >= 0 && variant <= kVariantCount) {
    TEngineOpt& p = EngineOpts[variant];
    const int delta = RatingDelta(p.UserRating, p.GamesPlayed, playElo_, score);
    p.UserRating += delta;
    ++p.GamesPlayed;
    // Written on the background thread: a disk that is slow to sync must not
    // hold up the timer (shutdown writes the settings again in any case).
    TAnalysisThread::TJob save;
    save.Run = [] { SaveSettings(); };
    thread_->Queue(std::move(save));
    QueueMessage(
        Translate("Rating") + " " + std::to_string(delta) + " =" + std::to_string(p.UserRating.load()),
        false);
  }
  ratedLayout_ = false;
  layoutChanged_ = true;
}

void TApplication::Resign() {
  bool resigned = false;
  {
    std::lock_guard<std::mutex> g(gameLock_);
    // A game that already has its result keeps it.
    if (CurrentGame.Header.Result == kResultNone) {
      CurrentGame.Header.Result =
          CurrentGame.RatedPlayer == TDColor::black ? kResultWhiteWin : kResultBlackWin;
      ++generation_;
      resigned = true;
    }
  }
  if (!resigned) return;
  StopEngines();
  StopClock();
  RequestPanel(kPanelMoveList);
  UpdateRating();
}

void TApplication::OfferDraw() { QueueMessage(Translate("No"), false); }

// --- The user's moves ------------------------------------------------------------------

bool TApplication::CanUserMove() const { return !(Mode() == TPlayMode::Play && PlayEngineThinking()); }

TUserMoveResult TApplication::UserMove(const TMove& move) {
  TUserMoveResult res;
  if (!CanUserMove()) return res;
  const bool analysis = Mode() == TPlayMode::Analysis;
  std::vector<std::pair<std::string, bool>> notes;
  {
    std::lock_guard<std::mutex> g(gameLock_);
    TGame& game = CurrentGame;
    TMove m;
    if (!FindLegalMove(game, move, m)) return res;
    res.Accepted = true;
    res.Shown.Before = game.CurBoard;
    res.Shown.Params = game.Params;
    const bool problem = (game.Header.Medals & 1) != 0;
    TChildList kids;
    if (problem && (GetChildren(game, game.CurMovPos, kids) == 0 || !SameCapture(m, game.Moves[kids[0]]))) {
      // Not the solution: show it, then the problem starts again.
      res.WrongMove = true;
      res.Shown.Moves.push_back(m);
      ShowNodeLocked(game, 0);
      ++generation_;
      notes.emplace_back(Translate("Wrong move!"), false);
    } else {
      for (;;) {
        if (!PlayOnGame(game, m)) {
          notes.emplace_back(NumberedText(kMsgNoFreePlace), false);
          break;
        }
        res.Shown.Moves.push_back(m);
        if (problem) {
          // The solution's answer, or the end of the solution.
          if (GetChildren(game, game.CurMovPos, kids) > 0) {
            const TMove reply = game.Moves[kids[0]];
            game.CurMovPos = kids[0];
            ApplyMove(reply, game.CurBoard, game.Params);
            game.SideToMove = Opponent(game.SideToMove);
            res.Shown.Moves.push_back(reply);
          } else {
            autoplay_ = false;
            notes.emplace_back(Translate("Correct!"), false);
          }
          break;
        }
        TMvs list;
        if (!(analysis && Settings.AutoCapture && LegalMoveCount(game, list) == 1)) break;
        m = list[1];  // a forced reply is played at once
      }
      ++generation_;
    }
  }
  for (const auto& [text, silent] : notes) QueueMessage(text, silent);
  RequestBoardRedraw(true);
  RequestPanel(kPanelMoveList);
  if (analysis) RequestDisplayRefresh();
  if (!res.WrongMove && !(analysis && analysisStopped_)) StartThinking();
  return res;
}

// --- Navigation ----------------------------------------------------------------------------

bool TApplication::NavigationAllowed() const { return CanUserMove() && !RatedLayout(); }

void TApplication::ShowNodeLocked(TGame& game, int node) {
  TBoard board;
  if (!ReplayGameLine(game, node, board)) node = 0;
  int depth = 0;
  for (int n = node; n > 0 && depth < static_cast<int>(game.Moves.size()); n = game.Moves[n].parent) ++depth;
  game.CurMovPos = node;
  game.CurBoard = board;
  game.SideToMove = depth % 2 == 0 ? game.Header.FirstMove : Opponent(game.Header.FirstMove);
}

bool TApplication::GoToNodeInternal(int node, bool stop) {
  if (stop) StopEngines();
  {
    std::lock_guard<std::mutex> g(gameLock_);
    if (node < 0 || node >= static_cast<int>(CurrentGame.Moves.size()) || CurrentGame.Moves[node].free)
      return false;
    ShowNodeLocked(CurrentGame, node);
    ++generation_;
  }
  RequestBoardRedraw(true);
  RequestPanel(kPanelMoveList);
  RequestDisplayRefresh();
  return true;
}

bool TApplication::GoToNode(int node, bool stop) {
  return NavigationAllowed() && GoToNodeInternal(node, stop);
}

void TApplication::RestartAnalysisIfRunning() {
  if (Mode() == TPlayMode::Analysis && !analysisStopped_) StartThinking();
}

bool TApplication::SelectNode(int node) {
  if (!NavigationAllowed()) return false;
  SetAutoplay(false);
  if (!GoToNodeInternal(node, true)) return false;
  RestartAnalysisIfRunning();
  return true;
}

bool TApplication::StepBack() {
  if (!NavigationAllowed()) return false;
  SetAutoplay(false);
  int parent = 0;
  {
    std::lock_guard<std::mutex> g(gameLock_);
    if (CurrentGame.CurMovPos == 0) return false;
    parent = CurrentGame.Moves[CurrentGame.CurMovPos].parent;
  }
  if (!GoToNodeInternal(parent, true)) return false;
  RestartAnalysisIfRunning();
  return true;
}

std::optional<TMovesToShow> TApplication::StepForward() {
  if (!NavigationAllowed()) return std::nullopt;
  TMovesToShow shown;
  {
    std::lock_guard<std::mutex> g(gameLock_);
    TGame& game = CurrentGame;
    TChildList kids;
    if (GetChildren(game, game.CurMovPos, kids) == 0) {
      autoplay_ = false;
      return std::nullopt;
    }
    shown.Before = game.CurBoard;
    shown.Params = game.Params;
    const TMove& m = game.Moves[kids[0]];
    shown.Moves.push_back(m);
    game.CurMovPos = kids[0];
    ApplyMove(m, game.CurBoard, game.Params);
    game.SideToMove = Opponent(game.SideToMove);
    ++generation_;
  }
  RequestBoardRedraw(true);
  RequestPanel(kPanelMoveList);
  RequestDisplayRefresh();
  RestartAnalysisIfRunning();
  return shown;
}

bool TApplication::TakeBack() {
  if (Mode() == TPlayMode::Analysis) return StepBack();
  if (!NavigationAllowed()) return false;
  int target = 0;
  {
    std::lock_guard<std::mutex> g(gameLock_);
    const TGame& game = CurrentGame;
    if (game.CurMovPos == 0) return false;
    // Back to the last position in which the user was to move.
    target = game.Moves[game.CurMovPos].parent;
    const bool userToMoveThere = Opponent(game.SideToMove) == game.RatedPlayer;
    if (!userToMoveThere && target != 0) target = game.Moves[target].parent;
  }
  SetAutoplay(false);
  return GoToNodeInternal(target, true);
}

void TApplication::SetAutoplay(bool on) {
  autoplay_ = on;
  autoplayCount_ = 0;
}

}  // namespace quorlin
