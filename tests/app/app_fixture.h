#pragma once
// A program folder and a home folder of its own for every test of the
// application object, with quick engines (the shipped descriptions searching
// only a few plies), a clock the test moves by hand and a random source the
// test chooses.
#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <cstdlib>
#include <deque>
#include <filesystem>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "app/application.h"
#include "app/folders.h"
#include "app/log.h"
#include "app/settings.h"
#include "app/translations.h"
#include "engine/book.h"
#include "engine/enginefile.h"
#include "rules/fen.h"
#include "rules/movegen.h"
#include "rules/notation.h"
#include "rules/variants.h"
#include "test_support.h"

namespace quorlin::test {

struct TEngineSpec {
  std::string file = "Analytic.eng";
  std::string name = "Quick";
  int maxDepth = 4;
  int elo = 2000;
  bool useBook = false;
  bool giveaway = false;
};

// The new-game window's choice of a game in play mode: colour 1 plays the
// side that moves first, 2 the other one.
constexpr int kAsWhite = 1;
constexpr int kAsBlack = 2;
inline TNewGameChoice PlayAs(int colour, bool rated) {
  TNewGameChoice c;
  c.Mode = TPlayMode::Play;
  c.Colour = colour;
  c.Rated = rated;
  return c;
}

class AppTest : public testing::Test {
 public:
  void SetUp() override {
    savedTable_ = VariantTable;
    savedFolders_ = {ProgramFolder, DataFolder, TempFolder, EDFolder};
    for (const char* name : {"HOME", "XDG_CONFIG_HOME"}) {
      const char* v = std::getenv(name);
      savedEnv_[name] = v ? std::optional<std::string>(v) : std::nullopt;
    }
    root_ = FreshDir("app");
    setenv("HOME", (root_ / "home").c_str(), 1);
    setenv("XDG_CONFIG_HOME", (root_ / "home" / ".config").c_str(), 1);
    std::filesystem::create_directories(root_ / "home" / "Documents");
    prog_ = root_ / "prog";
    std::filesystem::create_directories(prog_);
    for (int v = 1; v <= kVariantCount; ++v) InstallEngine(v);
  }

  void TearDown() override {
    if (app_) app_->Shutdown();
    app_.reset();
    CloseLog();
    SetVariantSettingsHook({});
    VariantTable = savedTable_;
    for (const auto& [name, value] : savedEnv_) {
      if (value)
        setenv(name.c_str(), value->c_str(), 1);
      else
        unsetenv(name.c_str());
    }
    ProgramFolder = savedFolders_[0], DataFolder = savedFolders_[1];
    TempFolder = savedFolders_[2], EDFolder = savedFolders_[3];
    ResetSettings();
  }

  // The shipped engine of the variant, searching `spec.maxDepth` plies, as
  // spec.file in the test program folder.
  void InstallEngine(int variant, const TEngineSpec& spec = {}) {
    const std::string name = VariantTable[variant].Name;
    TEvalFunc ef;
    ASSERT_TRUE(LoadEngine(ProgramDir() / "EnginesTest" / name / "Analytic.eng", ef, variant)) << name;
    ef.Name = spec.name;
    ef.MaxDepth = spec.maxDepth;
    ef.ELO = spec.elo;
    ef.UseBook = spec.useBook;
    ef.Giveaway = spec.giveaway;
    std::filesystem::create_directories(prog_ / "EnginesTest" / name);
    SaveEngine(prog_ / "EnginesTest" / name / spec.file, ef);
  }

  // Writes a file, creating its folder.
  static void Put(const std::filesystem::path& p, const std::string& bytes) {
    std::filesystem::create_directories(p.parent_path());
    WriteFile(p, bytes);
  }

  std::filesystem::path DataDir() const { return root_ / "home" / "Documents" / "Quorlin Draughts"; }

  // Starts the program; engine work is left to finish.
  TApplication& Start() {
    TApplicationOptions o;
    o.ProgramPath = (prog_ / "quorlin-draughts").string();
    o.HashMegabytes = 4;
    o.Clock = [this] { return now_.load(); };
    o.Random = [this](uint32_t n) {
      std::lock_guard<std::mutex> g(randomLock_);
      if (randoms_.empty()) return 0u;
      const uint32_t r = randoms_.front();
      randoms_.pop_front();
      return r % n;
    };
    o.BookMoveDelayMs = 0;
    o.PrepareEngines = prepareEngines_;
    app_ = std::make_unique<TApplication>(o);
    Settings.ThreadsCount = 1;
    Settings.AutoCapture = false;
    app_->WaitIdle();
    return *app_;
  }

  void Restart() {
    app_->Shutdown();
    app_.reset();
    Start();
  }

  TApplication& app() { return *app_; }

  // The next values the random source gives (then 0).
  void QueueRandom(std::initializer_list<uint32_t> values) {
    std::lock_guard<std::mutex> g(randomLock_);
    randoms_.insert(randoms_.end(), values.begin(), values.end());
  }

  // Lets engine work finish, then runs one tick; keeps every message.
  TTickReport Settle() {
    app_->WaitIdle();
    TTickReport r = app_->Tick();
    shown_.insert(shown_.end(), r.Messages.begin(), r.Messages.end());
    silent_.insert(silent_.end(), r.SilentMessages.begin(), r.SilentMessages.end());
    return r;
  }

  TGame Game() const { return *app_->LockGame(); }

  int Count(const std::vector<std::string>& list, const std::string& text) const {
    return static_cast<int>(std::count(list.begin(), list.end(), text));
  }

  // The legal move from `from` to `to` (internal squares; any destination
  // when `to` is 0) in the shown position.
  std::optional<TMove> Move(int from, int to = 0) const {
    const TGame g = Game();
    TMvs list;
    uint8_t n = 0;
    GenerateMoves(g.CurBoard, static_cast<int>(g.SideToMove), list, n, g.Params, true);
    for (int i = 1; i <= n; ++i)
      if (list[i].From() == from && (to == 0 || list[i].To() == to)) return list[i];
    return std::nullopt;
  }

  std::optional<TMove> FirstLegal() const {
    const TGame g = Game();
    TMvs list;
    uint8_t n = 0;
    GenerateMoves(g.CurBoard, static_cast<int>(g.SideToMove), list, n, g.Params, true);
    if (n == 0) return std::nullopt;
    return list[1];
  }

  // Shows `fen` as the start of the shown game (no moves).
  void SetPosition(const std::string& fen) {
    app_->EditGame([&](TGame& g) {
      int side = 0;
      TBoard b;
      ParseFEN(g.Params, fen, b.b, side);
      const bool rated = g.IsRated;
      const TDColor player = g.RatedPlayer;
      ClearGame(g);
      g.IsRated = rated;
      g.RatedPlayer = player;
      g.Header.TypeOfGame = static_cast<uint8_t>(g.Params.TypeOfGame);
      g.StartBoard = b.b;
      g.CurBoard = b;
      g.SideToMove = side == 0 ? TDColor::white : TDColor::black;
      g.Header.FirstMove = g.SideToMove;
    });
  }

  // Square of an alphanumeric name in the current variant.
  int Sq(const std::string& name) const {
    return FindAlphaSquare(VariantTable[app_->CurrentVariant()], name);
  }

  std::filesystem::path root_;
  std::filesystem::path prog_;
  std::atomic<int64_t> now_{1000000};
  // Engines set up at variant selection (slower: each set-up builds the
  // endgame-database tables of the variant); otherwise at their first turn.
  bool prepareEngines_ = false;
  std::vector<std::string> shown_;
  std::vector<std::string> silent_;

 private:
  std::unique_ptr<TApplication> app_;
  std::mutex randomLock_;
  std::deque<uint32_t> randoms_;
  std::array<TGameParams, kVariantCount + 1> savedTable_;
  std::array<std::string, 4> savedFolders_;
  std::map<std::string, std::optional<std::string>> savedEnv_;
};

}  // namespace quorlin::test
