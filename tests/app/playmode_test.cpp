// Play mode driven without a window: whole games against a quick engine,
// clocks, resignation, rated games, book moves, ballots, and engine turns
// that are cut short or overtaken by a new game.
#include <gtest/gtest.h>

#include "app_fixture.h"
#include "ballot_fixture.h"
#include "engine/gameresult.h"

namespace quorlin {
namespace {

using test::AppTest;
using test::kAsBlack;
using test::kAsWhite;
using test::PlayAs;
using test::TEngineSpec;

TEST_F(AppTest, TheUserRunsOutOfTimeOnce) {
  Start();
  Settings.GameTime = kTimePerGame;
  Settings.TimeControlMin = 1;
  app().StartGame(PlayAs(kAsWhite, true));
  Settle();
  EXPECT_EQ(app().ClockTexts().first, "0:01:00");
  ASSERT_TRUE(app().UserMove(*FirstLegal()).Accepted);  // the clock starts with the first turn
  Settle();
  ASSERT_TRUE(app().ClockRunning());
  const std::string blackLeft = app().ClockTexts().second;
  now_ += 3000;
  Settle();
  EXPECT_EQ(app().ClockTexts().first, "0:00:30");
  EXPECT_EQ(Count(shown_, "Time!"), 0);
  now_ += 3001;
  TTickReport r = Settle();
  EXPECT_TRUE(r.RebuildMoveList);
  EXPECT_TRUE(r.LayoutChanged);
  EXPECT_EQ(app().ClockTexts().first, "0:00:00");
  EXPECT_EQ(app().ClockTexts().second, blackLeft);
  EXPECT_EQ(Game().Header.Result, kResultBlackWinTime);
  EXPECT_FALSE(app().ClockRunning());
  now_ += 100000;
  Settle();
  EXPECT_EQ(Count(shown_, "Time!"), 1);
  // A loss against an equal engine in the first rated game: 210 x -50 / 100.
  EXPECT_EQ(Count(shown_, "Rating -105 =1895"), 1);
  EXPECT_EQ(EngineOpts[kRussian].UserRating, 1895);
  EXPECT_EQ(EngineOpts[kRussian].GamesPlayed, 1);
}

TEST_F(AppTest, TimePerMoveCountsUpWithoutEnd) {
  Start();
  Settings.GameTime = kTimePerMove;
  Settings.TimeControlMin = 5;
  app().StartGame(PlayAs(kAsWhite, false));
  Settle();
  EXPECT_EQ(app().ClockState().TimeControl[0], 500);
  EXPECT_NE(Game().Tournament.find(" 5 s / m"), std::string::npos) << Game().Tournament;
  ASSERT_TRUE(app().UserMove(*FirstLegal()).Accepted);
  Settle();
  now_ += 360000;
  Settle();
  EXPECT_EQ(app().ClockTexts().first, "1:00:00");
  EXPECT_EQ(Game().Header.Result, kResultNone);
  EXPECT_TRUE(app().ClockRunning());
}

TEST_F(AppTest, ThePlayerOfBlackSeesTheEngineMoveFirstOnAReversedBoard) {
  Start();
  app().StartGame(PlayAs(kAsBlack, false));
  Settle();
  const TGame g = Game();
  EXPECT_EQ(g.RatedPlayer, TDColor::black);
  EXPECT_EQ(MainLineLength(g), 1);
  EXPECT_EQ(g.SideToMove, TDColor::black);
  EXPECT_TRUE(app().BoardReversed());
  // The record names the user on the side the user plays.
  EXPECT_EQ(g.BlackName, "User");
  EXPECT_EQ(g.WhiteName, "Quorlin");
}

TEST_F(AppTest, ResigningAndOfferingADraw) {
  Start();
  app().StartGame(PlayAs(kAsWhite, true));
  Settle();
  EXPECT_TRUE(app().RatedLayout());
  EXPECT_EQ(app().DisplayMode(), kDisplayNone);
  app().OfferDraw();
  Settle();
  EXPECT_EQ(Count(shown_, "No"), 1);
  EXPECT_EQ(Game().Header.Result, kResultNone);
  app().Resign();
  Settle();
  EXPECT_EQ(Game().Header.Result, kResultBlackWin);
  EXPECT_FALSE(app().RatedLayout());
  EXPECT_EQ(Count(shown_, "Rating -105 =1895"), 1);
  app().Resign();  // the result stands; the game is rated once
  Settle();
  EXPECT_EQ(Game().Header.Result, kResultBlackWin);
  EXPECT_EQ(EngineOpts[kRussian].GamesPlayed, 1);

  // Resigning as Black gives the game to side white.
  app().StartGame(PlayAs(kAsBlack, false));
  Settle();
  app().Resign();
  Settle();
  EXPECT_EQ(Game().Header.Result, kResultWhiteWin);
  EXPECT_EQ(EngineOpts[kRussian].GamesPlayed, 1);
}

TEST_F(AppTest, ARatedWinIsRatedOnceAndKeptAcrossARestart) {
  Start();
  EngineOpts[kRussian].UserRating = 1895;
  EngineOpts[kRussian].GamesPlayed = 1;
  app().StartGame(PlayAs(kAsWhite, true));
  Settle();
  SetPosition("W:Wc3:Bd4");
  const auto capture = Move(Sq("c3"));
  ASSERT_TRUE(capture && capture->IsCapture());
  ASSERT_TRUE(app().UserMove(*capture).Accepted);
  TTickReport r = Settle();
  EXPECT_TRUE(r.LayoutChanged);
  EXPECT_EQ(Game().Header.Result, kResultWhiteWin);
  // K 200, expected 36 at -105: 200 x 64 / 100.
  EXPECT_EQ(shown_, (std::vector<std::string>{"White win!", "Rating 128 =2023"}));
  // The rating is written at once, not only at shutdown.
  EXPECT_TRUE(std::filesystem::exists(DataDir() / "Quorlin Draughts.ini"));
  Restart();
  EXPECT_EQ(EngineOpts[kRussian].UserRating, 2023);
  EXPECT_EQ(EngineOpts[kRussian].GamesPlayed, 2);
}

TEST_F(AppTest, TheEngineOfTheRightRatingIsChosen) {
  TEngineSpec weak;
  weak.file = "Weak.eng", weak.name = "Weak", weak.elo = 1000;
  InstallEngine(kRussian, weak);
  TEngineSpec fair;
  fair.file = "Fair.eng", fair.name = "Fair", fair.elo = 1990;
  InstallEngine(kRussian, fair);
  Start();
  EXPECT_EQ(app().EngineFiles(), (std::vector<std::string>{"Analytic.eng", "Fair.eng", "Weak.eng"}));
  // Draws: Weak (far), then Fair (within 150 of 2000): Fair is kept at once.
  QueueRandom({2, 1, 2, 2, 2});
  app().StartGame(PlayAs(kAsWhite, false));
  Settle();
  EXPECT_EQ(app().PlayEngineName(), "Fair");
  EXPECT_EQ(app().PlayEngineElo(), 1990);

  TNewGameChoice chosen = PlayAs(kAsWhite, false);
  chosen.RandomEngine = false;
  chosen.Engine = "Weak.eng";
  app().StartGame(chosen);
  Settle();
  EXPECT_EQ(app().PlayEngineName(), "Weak");
}

TEST_F(AppTest, TheEnginePlaysItsBookMove) {
  TEngineSpec spec;
  spec.useBook = true;
  InstallEngine(kRussian, spec);
  // One book record: the position after c3-b4, marked "!!" (a good move).
  const TGameParams& p = VariantTable[kRussian];
  TGame after = test::GameOfLine(kRussian, {"c3-b4"});
  TBookRecord rec;
  rec.key = PackBoard(after.CurBoard, 1, p);
  rec.annotation = 1;
  std::string bytes(kBookRecordSize, '\0');
  PackBookRecord(rec, reinterpret_cast<uint8_t*>(bytes.data()));
  Put(DataDir() / "Books" / "Russian.cbk", bytes);
  Start();
  EXPECT_TRUE(app().BookLoaded());
  // The book display lists the move first, as a good one.
  auto moves = std::make_unique<TOpenMoves>();
  app().LookupBookMoves(*moves, TBookTextStyle{kStyleFull, false, "x"});
  ASSERT_EQ(moves->Op_moves, 7);
  EXPECT_EQ(moves->openmoves[1].move.rfind("c3-b4", 0), 0u) << moves->openmoves[1].move;
  EXPECT_EQ(moves->openmoves[1].col, 3);
  app().StartGame(PlayAs(kAsBlack, false));
  Settle();
  const TGame g = Game();
  ASSERT_EQ(MainLineLength(g), 1);
  EXPECT_EQ(MoveText(g.Moves[g.CurMovPos], p, kStyleFull, "x"), "c3-b4");
}

TEST_F(AppTest, BallotsStartFromARandomLine) {
  std::filesystem::create_directories(prog_ / "Ballots");
  test::WriteBallotDatabase((prog_ / "Ballots" / "2move.abd").string(), kRussian,
                            {{"c3-d4", "f6-g5"}, {"a3-b4"}});
  Start();
  QueueRandom({1});
  app().NewGame(kBallotTwoMoves);
  Settle();
  TGame g = Game();
  EXPECT_EQ(MainLineLength(g), 1);
  EXPECT_EQ(g.CurMovPos, g.Moves[0].next);
  EXPECT_EQ(g.SideToMove, TDColor::black);
  EXPECT_TRUE(app().BoardReversed());  // black to move: black at the bottom
  EXPECT_EQ(g.Header.TypeOfGame, kRussian);
  EXPECT_EQ(g.Params.Name, "Russian");
  EXPECT_EQ(g.DBGameNo, 0);
  EXPECT_EQ(g.WhiteName, "User");

  QueueRandom({0});
  app().NewGame(kBallotTwoMoves);
  Settle();
  g = Game();
  EXPECT_EQ(MainLineLength(g), 2);
  EXPECT_FALSE(app().BoardReversed());
  EXPECT_TRUE(shown_.empty());

  // No "Full" database: the start position and a message.
  app().NewGame(kBallotFull);
  Settle();
  EXPECT_EQ(MainLineLength(Game()), 0);
  EXPECT_EQ(shown_, std::vector<std::string>{"Error loading game!"});

  // 50 squares: no ballots at all, and nothing to say.
  app().SelectVariant(kInternational, false);
  app().NewGame(kBallotTwoMoves);
  Settle();
  EXPECT_EQ(MainLineLength(Game()), 0);
  EXPECT_EQ(shown_.size(), 1u);
}

// An engine without a depth limit, two minutes a move: after the user's first
// move it thinks until it is stopped.
void LetTheEngineThink(AppTest& t) {
  TEngineSpec deep;
  deep.maxDepth = 0;
  t.InstallEngine(kRussian, deep);
  t.Start();
  Settings.GameTime = kTimePerMove;
  Settings.TimeControlMin = 120;
  t.app().StartGame(PlayAs(kAsWhite, false));
  t.Settle();
  ASSERT_TRUE(t.app().UserMove(*t.FirstLegal()).Accepted);
}

TEST_F(AppTest, StartStopWhileTheEngineThinksPlaysAtOnce) {
  LetTheEngineThink(*this);
  EXPECT_TRUE(app().PlayEngineThinking());
  EXPECT_FALSE(app().CanUserMove());
  EXPECT_FALSE(app().StepBack());  // no navigation while the engine thinks
  app().StartStop();
  Settle();  // returns because the engine was told to move now
  EXPECT_EQ(MainLineLength(Game()), 2);
  EXPECT_TRUE(app().CanUserMove());
}

TEST_F(AppTest, ANewGameDiscardsTheMoveOfTheStoppedTurn) {
  LetTheEngineThink(*this);
  app().NewGame(kBallotNone);
  Settle();
  const TGame g = Game();
  EXPECT_EQ(g.Moves[0].next, 0);
  EXPECT_EQ(g.CurBoard.b, StartPosition(g.Params, false));
}

}  // namespace
}  // namespace quorlin
