// The application object: start-up, shutdown, variants, the engines and the
// background thread, and the requests other threads hand to the timer.
#include "app/application.h"

#include <algorithm>
#include <chrono>
#include <filesystem>

#include "app/analysisthread.h"
#include "app/folders.h"
#include "app/log.h"
#include "app/settings.h"
#include "app/shippeddata.h"
#include "app/translations.h"
#include "download/enginesupdate.h"
#include "engine/book.h"
#include "engine/textfile.h"
#include "rules/position.h"
#include "rules/variants.h"

namespace quorlin {

namespace fs = std::filesystem;

namespace {

int64_t SteadyCentiseconds() {
  using namespace std::chrono;
  return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count() / 10;
}

bool SameBoardShape(const TGameParams& a, const TGameParams& b) {
  return a.BoardWidth == b.BoardWidth && a.BoardHeight == b.BoardHeight &&
         a.BoardCheckered == b.BoardCheckered;
}

// Numbered text shown when the database named in the settings cannot be opened.
constexpr int kMsgCannotOpenDatabase = 307;

}  // namespace

TApplication::TApplication(TApplicationOptions options)
    : options_(std::move(options)), engineOutput_(std::make_unique<TAnalysisInfo>()) {
  Startup();
}

TApplication::~TApplication() { Shutdown(); }

int64_t TApplication::Now() const { return options_.Clock ? options_.Clock() : SteadyCentiseconds(); }

uint32_t TApplication::RandomBelow(uint32_t n) const {
  if (n == 0) return 0;
  return options_.Random ? options_.Random(n) % n : ThreadRandom().Below(n);
}

// --- Start-up and shutdown ------------------------------------------------------------

void TApplication::Startup() {
  // What the program's units set up before anything else: the interface texts
  // at their defaults, the variant table and the lookup tables.
  ResetNumberedTexts();
  InitRules();

  ClearGame(CurrentGame);
  InitFolders(options_.ProgramPath);

  // An engine update left in the program folder is installed before anything
  // reads the engine files; its outcome is logged once the log is open.
  const TEnginesUpdate update = InstallEnginesUpdate(ProgramFolder);

  OpenLog();
  WriteLog(".", false);
  WriteLog("Program started.", false);
  if (!update.Message.empty()) WriteLog(update.Message);
  // The shipped books and example database, copied where the program reads
  // them when the user's data folder lacks them (the first start).
  const TShippedDataReport shipped = InstallShippedData(ProgramFolder, DataFolder);
  if (!shipped.Copied.empty())
    WriteLog(std::to_string(shipped.Copied.size()) + " shipped files copied into " + DataFolder, false);
  for (const std::string& error : shipped.Errors) WriteLog(error);

  LoadSettings([this] {
    const std::string& path = Settings.Database;
    if (path.empty() || OpenDatabase(path, Database_, false)) return;
    WriteLog("Database not opened: " + Database_.LastError);
    if (DatabaseFilesExist(path)) QueueMessage(NumberedText(kMsgCannotOpenDatabase), false);
  });
  if (auto error = InitTranslations(ProgramFolder)) WriteLog("Translations: " + error->Message());
  SetVariantSettingsHook([this] { RefreshVariantParams(); });

  AnalysisEngine = std::make_unique<TEngine>(&analysisInfo_, &analysisStop_, options_.HashMegabytes);
  PlayEngine = std::make_unique<TEngine>(&playInfo_, &playStop_, options_.HashMegabytes);
  defaultDescription_ = std::make_unique<TEvalFunc>(PlayEngine->EvalFunc());
  for (TEngine* e : {AnalysisEngine.get(), PlayEngine.get()}) {
    e->SetEDFolder(EDFolder);
    e->SetLog([](const std::string& text) { WriteLog(text); });
  }
  thread_ = std::make_unique<TAnalysisThread>();

  const TPlayMode mode = Settings.Mode ? TPlayMode::Analysis : TPlayMode::Play;
  Mode_ = mode;
  for (TEngine* e : {AnalysisEngine.get(), PlayEngine.get()}) e->AnalysisMode = mode == TPlayMode::Analysis;

  SelectVariant(Settings.DefTypeOfGame, false);
  NewGame(kBallotNone);
}

void TApplication::Shutdown() {
  if (shutDown_) return;
  shutDown_ = true;
  StopEngines();
  thread_->Stop([this] { ReassertStop(); });
  SetVariantSettingsHook({});
  Settings.Mode = Mode_.load() == TPlayMode::Analysis;
  SaveSettings();
  if (Database_.DBOpened && !CloseDatabase(Database_))
    WriteLog("Database not closed: " + Database_.LastError);
}

// --- The shown game -------------------------------------------------------------------

TLockedRef<const TGame> TApplication::LockGame() const {
  return TLockedRef<const TGame>(gameLock_, CurrentGame);
}

void TApplication::EditGame(const std::function<void(TGame&)>& edit) {
  {
    std::lock_guard<std::mutex> g(gameLock_);
    edit(CurrentGame);
    ++generation_;
  }
  RequestBoardRedraw(true);
  RequestPanel(kPanelMoveList);
  RequestDisplayRefresh();
}

void TApplication::LoadGame(TGame game, int node) {
  StopEngines();
  int show = 0, variant = 0;
  {
    std::lock_guard<std::mutex> g(gameLock_);
    CurrentGame = std::move(game);
    show = node >= 0 ? node : CurrentGame.Header.ShowFrom;
    variant = CurrentGame.Header.TypeOfGame;
    ++generation_;
  }
  if (ratedLayout_.exchange(false)) layoutChanged_ = true;
  SetAutoplay(false);
  SetMode(TPlayMode::Analysis);
  SelectVariant(variant, true);
  if (!GoToNodeInternal(show, false)) GoToNodeInternal(0, false);
}

// --- Variants ---------------------------------------------------------------------------

int TApplication::CurrentVariant() const { return Settings.DefTypeOfGame.load(); }

void TApplication::SelectVariant(int variant, bool keepGame) {
  if (variant < kCustom || variant > kVariantCount) return;
  StopEngines();
  bool newGame = false;
  {
    std::lock_guard<std::mutex> g(gameLock_);
    // A custom-variant game keeps the rules it carries; the current variant
    // (and with it engine and book) stays what it was.
    if (variant != kCustom) {
      const TGameParams old = CurrentGame.Params;
      Settings.DefTypeOfGame = variant;
      CurrentGame.Header.TypeOfGame = static_cast<uint8_t>(variant);
      CurrentGame.Params = VariantTable[variant];
      newGame = !keepGame && !SameBoardShape(old, CurrentGame.Params);
    }
    ++generation_;
  }
  if (newGame) NewGame(kBallotNone);
  RequestBoardRedraw(true);
  RequestPanel(kPanelMoveList);
  // Each engine keeps the variant's book open for itself: the play engine
  // draws its book moves from it, the analysis engine's serves the display.
  for (TEngine* e : {AnalysisEngine.get(), PlayEngine.get()}) {
    if (variant != kCustom)
      e->OpenBook(EngineOpts[variant].Book);
    else
      e->OpeningBook().Close();
  }
  if (variant != kCustom) QueueLoadEngines(variant);
  RequestDisplayRefresh();
}

void TApplication::RefreshVariantParams() {
  {
    std::lock_guard<std::mutex> g(gameLock_);
    const int v = CurrentGame.Header.TypeOfGame;
    if (v != kPool && v != kSpanish && v != kBrazilian) return;
    CurrentGame.Params.intface = VariantTable[v].intface;
  }
  RequestBoardRedraw(true);
  RequestPanel(kPanelMoveList);
}

std::vector<std::string> TApplication::EngineFiles() const { return EngineFilesOf(CurrentVariant()); }

std::vector<std::string> TApplication::EngineFilesOf(int variant) const {
  std::vector<std::string> files;
  const fs::path folder = fs::path(ProgramFolder) / "EnginesTest" / VariantTable[variant].Name;
  std::error_code ec;
  for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec))
    if (it->is_regular_file(ec) && it->path().extension() == ".eng") files.push_back(it->path().filename());
  std::sort(files.begin(), files.end());
  return files;
}

// --- Engines ------------------------------------------------------------------------------

std::string TApplication::PlayEngineName() const {
  std::lock_guard<std::mutex> g(nameLock_);
  return playName_;
}

std::pair<int, int> TApplication::EngineVariants() const {
  return {AnalysisEngine->TypeOfGame(), PlayEngine->TypeOfGame()};
}

void TApplication::StopEngines() {
  ++stopEpoch_;
  analysisStop_ = true;
  playStop_ = true;
  AnalysisEngine->SetBreakAnalysis(true);
  thread_->DropTurns();
}

void TApplication::ReassertStop() {
  // An engine clears its stop flag when a call starts; a stop asked for just
  // before that would be lost. Repeating it while the cancelled call runs
  // ends that call within one timer tick.
  const uint64_t running = runningEpoch_.load();
  if (running != kNoCall && running < stopEpoch_.load()) {
    analysisStop_ = true;
    playStop_ = true;
  }
  if (moveNow_.load() && running != kNoCall) playStop_ = true;
}

void TApplication::WaitIdle() {
  thread_->WaitIdle([this] { ReassertStop(); });
}

void TApplication::QueueLoadEngines(int variant) {
  const uint64_t ticket = ++variantLoads_;
  TAnalysisThread::TJob job;
  job.Run = [this, variant, ticket] {
    if (ticket == variantLoads_.load()) LoadEngineDescriptions(variant);
  };
  thread_->Queue(std::move(job));
}

// Background thread.
void TApplication::LoadEngineDescriptions(int variant) {
  const std::string path =
      (fs::path(ProgramFolder) / "EnginesTest" / VariantTable[variant].Name / EngineOpts[variant].EngineName)
          .string();
  // Both engines read the same file: a fault in it is reported once.
  const std::string error = LoadDescription(*AnalysisEngine, path, variant);
  LoadDescription(*PlayEngine, path, variant);
  if (!error.empty()) QueueMessage(error, false);
  // Set the variant up now (table, endgame databases), so that the databases
  // load in the background while the user looks at the new board.
  if (!options_.PrepareEngines) return;
  for (TEngine* e : {AnalysisEngine.get(), PlayEngine.get()}) {
    try {
      e->InitEngine(variant);
    } catch (const std::exception& ex) {
      WriteLog(std::string("Engine set-up failed: ") + ex.what());
    }
  }
}

// Background thread.
std::string TApplication::LoadDescription(TEngine& engine, const std::string& path, int variant) {
  std::string error;
  try {
    if (!engine.LoadFromFile(path, variant)) {
      // Never keep the previous variant's description: its weights belong to
      // another board.
      WriteLog("Engine description not found: " + path);
      engine.SetEvf(*defaultDescription_);
    }
  } catch (const std::exception& ex) {
    error = ex.what();
    WriteLog(error);
    engine.SetEvf(*defaultDescription_);
  }
  const TEvalFunc& ef = engine.EvalFunc();
  if (&engine == PlayEngine.get()) {
    playElo_ = ef.ELO;
    playGiveaway_ = ef.Giveaway;
    std::lock_guard<std::mutex> g(nameLock_);
    playName_ = ef.Name;
  } else {
    analysisGiveaway_ = ef.Giveaway;
  }
  return error;
}

// --- Opening book ------------------------------------------------------------------------

bool TApplication::BookLoaded() const { return AnalysisEngine->OpeningBook().IsOpen(); }

void TApplication::LookupBookMoves(TOpenMoves& moves, const TBookTextStyle& text) const {
  TGameParams params;
  TBoard board;
  int side = 0;
  {
    std::lock_guard<std::mutex> g(gameLock_);
    params = CurrentGame.Params;
    board = CurrentGame.CurBoard;
    side = static_cast<int>(CurrentGame.SideToMove);
  }
  AnalysisEngine->OpeningBook().Lookup(params, moves, board, side, text);
}

// --- Requests ------------------------------------------------------------------------------

void TApplication::QueueMessage(const std::string& text, bool silent) {
  std::lock_guard<std::mutex> g(messageLock_);
  messages_.emplace_back(text, silent);
}

void TApplication::RequestBoardRedraw(bool mark) {
  if (mark) boardMark_ = true;
  boardRedraw_ = true;
}

void TApplication::RequestPanel(uint32_t bits) { panelBits_ |= bits; }

void TApplication::RequestDisplayRefresh() {
  for (TAnalysisInfo* info : {&analysisInfo_, &playInfo_}) {
    std::lock_guard<std::mutex> g(info->Used);
    info->Updated = true;
    info->Openmoves.update = true;
  }
}

// --- Display state -----------------------------------------------------------------------------

void TApplication::SetDisplayMode(int mode) {
  displayMode_ = std::clamp(mode, kDisplayNone, kDisplayAnalysis);
  RequestDisplayRefresh();
  RequestPanel(kPanelRepaint);
}

void TApplication::SetBoardReversed(bool reversed) {
  BoardReversed_ = reversed;
  RequestBoardRedraw(true);
}

std::string TApplication::MoveSoundPath() const {
  const std::string path = ProgramFolder + "move.wav";
  std::error_code ec;
  return fs::is_regular_file(path, ec) ? path : std::string();
}

}  // namespace quorlin
