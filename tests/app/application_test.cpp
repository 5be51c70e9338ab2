// The application object without a window: start-up and shutdown, variant
// switching, analysis mode, walking the game, problems and the timer's
// reports.
#include "app/application.h"

#include <gtest/gtest.h>
#include <zip.h>

#include <chrono>
#include <ctime>
#include <thread>

#include "app_fixture.h"
#include "ballot_fixture.h"

namespace quorlin {
namespace {

namespace fs = std::filesystem;
using test::AppTest;
using test::TEngineSpec;

// Runs ticks until `done` holds (the engine works on its own thread), at
// most about ten seconds.
template <class F>
bool TickUntil(TApplication& app, F done) {
  for (int i = 0; i < 2000; ++i) {
    app.Tick();
    if (done()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return false;
}

TEST_F(AppTest, FirstStartInAFreshHome) {
  prepareEngines_ = true;
  Start();
  const std::string log = test::ReadFile(DataDir() / "Quorlin Draughts.log");
  const size_t dot = log.find("] .\r\n");
  ASSERT_NE(dot, std::string::npos) << log;
  EXPECT_NE(log.find("] Program started.\r\n", dot), std::string::npos) << log;
  EXPECT_FALSE(fs::exists(DataDir() / "Quorlin Draughts.ini"));

  const TGame g = Game();
  EXPECT_EQ(g.Header.TypeOfGame, kRussian);
  EXPECT_EQ(g.CurBoard.b, StartPosition(VariantTable[kRussian], false));
  EXPECT_EQ(g.CurMovPos, 0);
  EXPECT_EQ(g.WhiteName, "User");
  EXPECT_EQ(g.BlackName, "Quorlin");
  EXPECT_EQ(g.Tournament, " 3 min");
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  EXPECT_EQ(g.Header.Date.Year, local.tm_year + 1900);
  EXPECT_EQ(g.Header.Date.Month, 0);
  EXPECT_EQ(app().Mode(), TPlayMode::Play);
  EXPECT_EQ(app().PlayEngineName(), "Quick");
  EXPECT_EQ(app().EngineVariants(), std::make_pair(int{kRussian}, int{kRussian}));
  EXPECT_EQ(app().ClockTexts(), std::make_pair(std::string("0:03:00"), std::string("0:03:00")));
  EXPECT_TRUE(app().AnalysisStopped());

  TTickReport r = app().Tick();
  EXPECT_TRUE(r.RedrawBoard);
  EXPECT_TRUE(r.RebuildMoveList);
  EXPECT_TRUE(r.EngineOutputChanged || r.RepaintPanel);
  r = app().Tick();  // nothing asked: nothing to do
  EXPECT_FALSE(r.RedrawBoard || r.RebuildMoveList || r.RepaintPanel || r.EngineOutputChanged);

  app().Shutdown();
  EXPECT_TRUE(fs::exists(DataDir() / "Quorlin Draughts.ini"));
}

TEST_F(AppTest, TheSavedVariantAndModeComeBack) {
  Put(DataDir() / "Books" / "International.cbk", "");
  TEngineSpec inter;
  inter.name = "Inter";
  InstallEngine(kInternational, inter);
  prepareEngines_ = true;
  Start();
  app().SelectVariant(kInternational, false);
  app().SetMode(TPlayMode::Analysis);
  Restart();
  const TGame g = Game();
  EXPECT_EQ(app().CurrentVariant(), kInternational);
  EXPECT_EQ(app().Mode(), TPlayMode::Analysis);
  EXPECT_EQ(g.Params.Name, "International");
  EXPECT_EQ(g.CurBoard.b, StartPosition(VariantTable[kInternational], false));
  EXPECT_EQ(app().PlayEngineName(), "Inter");
  EXPECT_EQ(app().EngineVariants(), std::make_pair(int{kInternational}, int{kInternational}));
  EXPECT_TRUE(app().BookLoaded());
}

TEST_F(AppTest, SwitchingVariantsReloadsEngineBookAndDatabases) {
  Put(DataDir() / "Books" / "English.cbk", "");
  TEngineSpec english;
  english.name = "EnglishQuick";
  InstallEngine(kEnglish, english);
  prepareEngines_ = true;
  Start();
  EXPECT_FALSE(app().BookLoaded());
  app().SetMode(TPlayMode::Analysis);
  ASSERT_TRUE(app().UserMove(*FirstLegal()).Accepted);

  // Same board: the moves stay, the rules change.
  app().SelectVariant(kEnglish, false);
  app().WaitIdle();
  TGame g = Game();
  EXPECT_EQ(MainLineLength(g), 1);
  EXPECT_EQ(g.Header.TypeOfGame, kEnglish);
  EXPECT_EQ(g.Params.Name, "English");
  EXPECT_EQ(app().PlayEngineName(), "EnglishQuick");
  EXPECT_EQ(app().EngineVariants(), std::make_pair(int{kEnglish}, int{kEnglish}));
  EXPECT_TRUE(app().BookLoaded());
  TTickReport r = app().Tick();
  EXPECT_TRUE(r.RedrawBoard && r.RebuildMoveList && r.EngineOutputChanged && r.BookMovesChanged);

  // Another board: a new game.
  app().SelectVariant(kInternational, false);
  app().WaitIdle();
  g = Game();
  EXPECT_EQ(MainLineLength(g), 0);
  EXPECT_EQ(g.CurBoard.b, StartPosition(VariantTable[kInternational], false));
  EXPECT_EQ(app().EngineVariants(), std::make_pair(int{kInternational}, int{kInternational}));
  EXPECT_FALSE(app().BookLoaded());

  // Kept on request, even on another board (a game loaded from a database).
  ASSERT_TRUE(app().UserMove(*FirstLegal()).Accepted);
  app().SelectVariant(kRussian, true);
  EXPECT_EQ(MainLineLength(Game()), 1);
}

TEST_F(AppTest, AMissingOrBrokenEngineDescriptionLeavesAPlayableEngine) {
  fs::remove(prog_ / "EnginesTest" / "Thai" / "Analytic.eng");
  Put(prog_ / "EnginesTest" / "Czech" / "Analytic.eng", "[MaxDepth \"deep\"]\r\n");
  Start();
  app().SelectVariant(kThai, false);
  app().WaitIdle();
  EXPECT_EQ(app().PlayEngineName(), "Default");
  EXPECT_NE(test::ReadFile(DataDir() / "Quorlin Draughts.log").find("Engine description not found"),
            std::string::npos);
  app().SelectVariant(kCzech, false);
  Settle();
  EXPECT_EQ(app().PlayEngineName(), "Default");
  ASSERT_EQ(shown_.size(), 1u);
  EXPECT_NE(shown_[0].find("Analytic.eng"), std::string::npos) << shown_[0];
  // The engine still plays (a short time per move: the fallback has no depth limit).
  Settings.GameTime = kTimePerMove;
  Settings.TimeControlMin = 1;
  TNewGameChoice loaded = test::PlayAs(test::kAsWhite, false);
  loaded.RandomEngine = false;  // keep the engine loaded by the variant
  app().StartGame(loaded);
  Settle();
  ASSERT_TRUE(app().UserMove(*FirstLegal()).Accepted);
  Settle();
  EXPECT_EQ(MainLineLength(Game()), 2);
}

TEST_F(AppTest, AnEngineUpdateIsInstalledAtStart) {
  const fs::path staging = root_ / "staging";
  TEvalFunc ef;
  ASSERT_TRUE(LoadEngine(prog_ / "EnginesTest" / "Russian" / "Analytic.eng", ef, kRussian));
  ef.Name = "Updated";
  fs::create_directories(staging);
  SaveEngine(staging / "Analytic.eng", ef);
  int err = 0;
  zip_t* za = zip_open((prog_ / "Engines.zip").c_str(), ZIP_CREATE | ZIP_TRUNCATE, &err);
  ASSERT_NE(za, nullptr);
  std::vector<std::string> keep;
  for (const char* file : {"Analytic.eng", "Analytics0.evf"}) {
    keep.push_back(test::ReadFile(staging / file));
    zip_source_t* src = zip_source_buffer(za, keep.back().data(), keep.back().size(), 0);
    ASSERT_GE(zip_file_add(za, (std::string("EnginesTest/Russian/") + file).c_str(), src, ZIP_FL_OVERWRITE),
              0);
  }
  ASSERT_EQ(zip_close(za), 0);
  Start();
  EXPECT_FALSE(fs::exists(prog_ / "Engines.zip"));
  EXPECT_EQ(app().PlayEngineName(), "Updated");
}

TEST_F(AppTest, AnalysisRunsUntilStoppedAndFollowsTheMoves) {
  TEngineSpec deep;
  deep.maxDepth = 0;
  InstallEngine(kRussian, deep);
  Start();
  TNewGameChoice analysis;
  analysis.Mode = TPlayMode::Analysis;
  app().StartGame(analysis);
  EXPECT_EQ(app().Mode(), TPlayMode::Analysis);
  EXPECT_TRUE(app().AnalysisStopped());
  app().StartStop();
  EXPECT_TRUE(app().Analysing());
  EXPECT_FALSE(app().AnalysisStopped());
  const TAnalysisInfo& out = app().EngineOutput();
  auto published = [&](int node) {
    std::lock_guard<std::mutex> g(out.Used);
    return out.TotalMoves == 7 && out.CurrentGamePos == node && !out.DepthStr.empty();
  };
  ASSERT_TRUE(TickUntil(app(), [&] { return published(0); }));

  // A move restarts the analysis on the new position.
  ASSERT_TRUE(app().UserMove(*FirstLegal()).Accepted);
  EXPECT_TRUE(app().Analysing());
  const int node = Game().CurMovPos;
  ASSERT_TRUE(TickUntil(app(), [&] { return published(node); }));

  app().StartStop();
  EXPECT_TRUE(app().AnalysisStopped());
  app().WaitIdle();
  EXPECT_FALSE(app().Analysing());
  ASSERT_TRUE(app().UserMove(*FirstLegal()).Accepted);
  EXPECT_FALSE(app().Analysing());  // stopped stays stopped
}

TEST_F(AppTest, AutoCaptureAnswersForcedMovesInAnalysis) {
  Start();
  Settings.AutoCapture = true;
  app().SetMode(TPlayMode::Analysis);
  SetPosition("W:Wc3,h2:Ba7,e5");
  // After c3-d4 Black's only move is e5xc3 and then White's only move is
  // h2-g3: both are played for the user.
  const auto quiet = Move(Sq("c3"), Sq("d4"));
  ASSERT_TRUE(quiet.has_value());
  const TUserMoveResult r = app().UserMove(*quiet);
  ASSERT_TRUE(r.Accepted);
  ASSERT_GE(r.Shown.Moves.size(), 2u);
  EXPECT_TRUE(r.Shown.Moves[1].IsCapture());
  EXPECT_EQ(r.Shown.Before.b[Sq("c3")], kWhiteMan);
  EXPECT_EQ(static_cast<int>(MainLineLength(Game())), static_cast<int>(r.Shown.Moves.size()));
}

TEST_F(AppTest, WalkingTheGame) {
  Start();
  app().SetMode(TPlayMode::Analysis);
  for (int i = 0; i < 3; ++i) ASSERT_TRUE(app().UserMove(*FirstLegal()).Accepted);
  const TGame full = Game();
  ASSERT_TRUE(app().StepBack());
  EXPECT_EQ(Game().CurMovPos, full.Moves[full.CurMovPos].parent);
  const auto shown = app().StepForward();
  ASSERT_TRUE(shown.has_value());
  EXPECT_EQ(shown->Moves.size(), 1u);
  EXPECT_EQ(Game().CurBoard, full.CurBoard);
  EXPECT_EQ(Game().SideToMove, full.SideToMove);
  EXPECT_FALSE(app().StepForward().has_value());  // end of the line
  ASSERT_TRUE(app().SelectNode(0));
  EXPECT_EQ(Game().CurBoard.b, full.StartBoard);
  EXPECT_EQ(Game().SideToMove, TDColor::white);
  EXPECT_FALSE(app().SelectNode(9999));

  // Autoplay: one move every 50 ticks, off at the end of the line.
  app().SetAutoplay(true);
  int steps = 0;
  for (int t = 1; t <= 200; ++t) {
    const TTickReport r = app().Tick();
    if (r.Autoplay) {
      ++steps;
      EXPECT_EQ(t % kAutoplayTicks, 0) << t;
    }
  }
  EXPECT_EQ(steps, 3);
  EXPECT_FALSE(app().Autoplay());
  EXPECT_EQ(Game().CurMovPos, full.CurMovPos);
}

TEST_F(AppTest, TakeBackReturnsToTheUsersTurn) {
  Start();
  app().StartGame(test::PlayAs(test::kAsWhite, false));
  Settle();
  ASSERT_TRUE(app().UserMove(*FirstLegal()).Accepted);
  Settle();
  ASSERT_EQ(MainLineLength(Game()), 2);
  ASSERT_TRUE(app().TakeBack());
  EXPECT_EQ(Game().CurMovPos, 0);
  EXPECT_EQ(Game().SideToMove, TDColor::white);
  EXPECT_FALSE(app().TakeBack());
}

TEST_F(AppTest, ProblemMovesAreCheckedAgainstTheSolution) {
  Start();
  TGame problem = test::GameOfLine(kRussian, {"c3-d4", "f6-g5", "d4-c5"});
  problem.Header.Medals = 1;
  app().LoadGame(problem);
  EXPECT_EQ(app().Mode(), TPlayMode::Analysis);
  EXPECT_EQ(Game().CurMovPos, 0);

  TUserMoveResult r = app().UserMove(*Move(Sq("a3"), Sq("b4")));
  EXPECT_TRUE(r.Accepted);
  EXPECT_TRUE(r.WrongMove);
  ASSERT_EQ(r.Shown.Moves.size(), 1u);
  Settle();
  EXPECT_EQ(shown_, std::vector<std::string>{"Wrong move!"});
  TGame g = Game();
  EXPECT_EQ(g.CurMovPos, 0);
  EXPECT_EQ(MainLineLength(g), 3);
  TChildList kids;
  EXPECT_EQ(GetChildren(g, 0, kids), 1);  // the wrong move was not added

  r = app().UserMove(*Move(Sq("c3"), Sq("d4")));
  EXPECT_FALSE(r.WrongMove);
  ASSERT_EQ(r.Shown.Moves.size(), 2u);  // the move and the solution's answer
  EXPECT_EQ(Game().CurMovPos, g.Moves[g.Moves[0].next].next);
  r = app().UserMove(*Move(Sq("d4"), Sq("c5")));
  EXPECT_EQ(r.Shown.Moves.size(), 1u);
  Settle();
  EXPECT_EQ(shown_, (std::vector<std::string>{"Wrong move!", "Correct!"}));
}

TEST_F(AppTest, ACustomVariantGameKeepsItsRules) {
  Start();
  TGame custom = test::GameOfLine(kRussian, {"c3-d4"});
  custom.Header.TypeOfGame = kCustom;
  custom.Params.TypeOfGame = kCustom;
  custom.Params.Name = "Mine";
  app().LoadGame(custom);
  const TGame g = Game();
  EXPECT_EQ(g.Params.Name, "Mine");
  EXPECT_EQ(g.Header.TypeOfGame, kCustom);
  EXPECT_EQ(g.CurMovPos, 0);
  EXPECT_EQ(app().CurrentVariant(), kRussian);
}

TEST_F(AppTest, PoolStyleReachesTheShownGame) {
  Start();
  app().SelectVariant(kPool, false);
  EXPECT_FALSE(Game().Params.intface.WhiteStart);
  Settings.PoolStyle = 2;
  ApplyVariantSettings();
  EXPECT_TRUE(Game().Params.intface.WhiteStart);
  EXPECT_TRUE(app().Tick().RedrawBoard);
}

}  // namespace
}  // namespace quorlin
