// The game loop between programs, with scripted players: how every kind of
// answer ends (or continues) a game, and what the players are told.
#include "app/matchgame.h"

#include <gtest/gtest.h>

#include <deque>

#include "app/wiremove.h"
#include "fen_game.h"
#include "rules/fen.h"
#include "rules/movegen.h"
#include "rules/variants.h"

namespace quorlin {
namespace {

using Kind = TPlayerReply::Kind;

// A move by its squares, legal or not.
TMove RawMove(const TGame& g, const std::string& text) {
  TWireMove w;
  std::string error;
  EXPECT_TRUE(ParseWireMoveText(text, w, error)) << error;
  const TWireMatch m = MatchWireMove(w, g.CurBoard, g.SideToMove, g.Params);
  if (m.kind == TWireMatchKind::Found) return m.move;
  TMove raw;
  raw.mv[0] = static_cast<uint8_t>(InternalSquare(g.Params, w.from));
  raw.mv[1] = static_cast<uint8_t>(InternalSquare(g.Params, w.to));
  return raw;
}

// One scripted answer: a move text, or a reply of another kind.
struct TStep {
  std::string move;
  TPlayerReply reply;
};
TStep MoveStep(const std::string& text) { return TStep{text, {}}; }
TStep ReplyStep(Kind kind, const std::string& message = "") {
  return TStep{"", TPlayerReply::Of(kind, message)};
}

class TScriptedPlayer : public TGamePlayer {
 public:
  TScriptedPlayer(std::string name, std::deque<TStep> script)
      : name_(std::move(name)), script_(std::move(script)) {}

  std::string Name() const override { return name_; }
  TPlayerReply StartGame(const TGame&, TDColor, const TGameClock&) override { return startReply; }
  TPlayerReply Think(const TGame& game, const TGameClock&, const TInterruptCheck& interrupted) override {
    ++thoughts;
    if (interrupted && interrupted()) return TPlayerReply::Of(Kind::Interrupted);
    if (script_.empty()) return TPlayerReply::Of(Kind::Failed, name_ + " ran out of moves");
    TStep s = script_.front();
    script_.pop_front();
    if (s.move.empty()) return s.reply;
    TPlayerReply r = TPlayerReply::Of(Kind::Move);
    r.move = RawMove(game, s.move);
    return r;
  }
  TPlayerReply OpponentMoved(const TGame&, const TMove&, int64_t) override {
    ++told;
    if (!onMove.empty()) {
      TPlayerReply r = onMove.front();
      onMove.pop_front();
      return r;
    }
    return TPlayerReply::Ok();
  }
  bool HasNews() override { return !news.empty(); }
  TPlayerReply TakeNews(const TGame&) override {
    if (news.empty()) return TPlayerReply::Of(Kind::Nothing);
    TPlayerReply r = news.front();
    news.pop_front();
    return r;
  }
  void GameOver(const TGame&, const TGameEnd& e) override {
    ++endsSeen;
    end = e;
  }

  TPlayerReply startReply = TPlayerReply::Ok();
  std::deque<TPlayerReply> onMove;  // answers to the other side's moves
  std::deque<TPlayerReply> news;    // said out of turn
  int thoughts = 0, told = 0, endsSeen = 0;
  TGameEnd end;

 private:
  std::string name_;
  std::deque<TStep> script_;
};

TPlayerReply Claim(uint8_t result, bool resigns, bool endsSession = false) {
  TPlayerReply r = TPlayerReply::Of(Kind::EndClaim, "its game end");
  r.claimedResult = result;
  r.resigns = resigns;
  r.endsSession = endsSession;
  return r;
}

// White to move must take the last black man.
const char* const kLastCapture = "W:W28:B23";
// A quiet position, the sides far apart.
const char* const kQuiet = "W:W32,33,36,45:B11,18,19,15";

TEST(MatchGame, TheRulesEndTheGame) {
  TGame game = test::GameFromFen(kLastCapture);
  TScriptedPlayer white("W", {MoveStep("28x19x23")}), black("B", {});
  const TMatchGameOutcome r = PlayMatchGame(game, white, black, {});
  EXPECT_EQ(r.end, TGameEndKind::NoMove);
  EXPECT_EQ(r.result, kResultWhiteWin);
  EXPECT_EQ(r.plies, 1);
  EXPECT_FALSE(r.fault);
  EXPECT_EQ(game.Header.Result, kResultWhiteWin);
  EXPECT_EQ(black.told, 1);
  EXPECT_EQ(black.thoughts, 0);
  EXPECT_EQ(white.endsSeen, 1);
  EXPECT_EQ(black.end.result, kResultWhiteWin);
  EXPECT_EQ(MainLineLength(game), 1);
}

struct EndCase {
  const char* label;
  TStep whiteStep;  // White's only answer
  TGameEndKind end;
  uint8_t result;
  bool fault;
  const char* reason;  // part of the outcome's reason
};

class MatchGameEnd : public testing::TestWithParam<EndCase> {};

TEST_P(MatchGameEnd, WhatAPlayerSaysDecidesTheGame) {
  const EndCase& c = GetParam();
  TGame game = test::GameFromFen(kQuiet);
  TScriptedPlayer white("W", {c.whiteStep}), black("B", {});
  const TMatchGameOutcome r = PlayMatchGame(game, white, black, {});
  EXPECT_EQ(r.end, c.end);
  EXPECT_EQ(r.result, c.result);
  EXPECT_EQ(r.fault, c.fault);
  EXPECT_NE(r.reason.find(c.reason), std::string::npos) << r.reason;
  EXPECT_EQ(game.Header.Result, c.result);
  EXPECT_EQ(MainLineLength(game), 0);  // nothing was played
  // Both are told the same end; the reason stands in the game record.
  EXPECT_EQ(white.end.result, c.result);
  EXPECT_EQ(black.end.reason, r.reason);
  EXPECT_NE(game.Comments[0].CommentAft.find(c.reason), std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(
    Answers, MatchGameEnd,
    testing::Values(EndCase{"Illegal", MoveStep("32-23"), TGameEndKind::Unknown, kResultNone, true,
                            "W played an illegal move"},
                    EndCase{"GivesUp", TStep{"", Claim(kResultBlackWin, true)}, TGameEndKind::Claim,
                            kResultBlackWin, false, "W gave up"},
                    EndCase{"ClaimsADraw", TStep{"", Claim(kResultDraw, false)}, TGameEndKind::Unknown,
                            kResultNone, false,
                            "W ended the game with a draw (its game end); the rules here do not confirm it"},
                    EndCase{"ClaimsNothing", TStep{"", Claim(kResultNone, false)}, TGameEndKind::Unknown,
                            kResultNone, false, "with no result"},
                    EndCase{"Silent", ReplyStep(Kind::TimeOut, "W sent no move"), TGameEndKind::Time,
                            kResultBlackWinTime, true, "W sent no move"},
                    EndCase{"Broken", ReplyStep(Kind::Failed, "malformed message from W"),
                            TGameEndKind::Unknown, kResultNone, true, "malformed message from W"}),
    [](const testing::TestParamInfo<EndCase>& i) { return std::string(i.param.label); });

TEST(MatchGame, NewsOfTheOtherSideCutsTheThinkingShort) {
  TGame game = test::GameFromFen(kQuiet);
  TScriptedPlayer white("W", {MoveStep("32-28")}), black("B", {});
  black.news.push_back(Claim(kResultWhiteWin, true));
  const TMatchGameOutcome r = PlayMatchGame(game, white, black, {});
  EXPECT_EQ(r.end, TGameEndKind::Claim);
  EXPECT_EQ(r.result, kResultWhiteWin);
  EXPECT_EQ(white.thoughts, 0);  // the news came first
  EXPECT_EQ(MainLineLength(game), 0);
}

TEST(MatchGame, AMoveTheOtherSideDidNotTakeDoesNotCount) {
  TGame game = test::GameFromFen(kQuiet);
  TScriptedPlayer white("W", {MoveStep("32-28")}), black("B", {});
  black.onMove.push_back(Claim(kResultDraw, false, true));
  const TMatchGameOutcome r = PlayMatchGame(game, white, black, {});
  EXPECT_EQ(r.end, TGameEndKind::Unknown);
  EXPECT_TRUE(r.sessionOver);
  EXPECT_EQ(MainLineLength(game), 0);
  EXPECT_TRUE(white.end.lastGame);
}

TEST(MatchGame, TakeBacksCutTheLineAndPlayGoesOn) {
  TGame game = test::GameFromFen(kQuiet);
  TPlayerReply back = TPlayerReply::Of(Kind::TakeBack);
  back.keepPlies = 0;
  // Black asks to go back to the start after three plies; then White plays
  // another move and gives up.
  TScriptedPlayer white("W", {MoveStep("36-31"), MoveStep("45-40"), MoveStep("45-40"),
                              TStep{"", Claim(kResultBlackWin, true)}}),
      black("B", {MoveStep("15-20"), TStep{"", back}, MoveStep("11-16")});
  const TMatchGameOutcome r = PlayMatchGame(game, white, black, {});
  EXPECT_EQ(r.end, TGameEndKind::Claim);
  EXPECT_EQ(r.result, kResultBlackWin);
  EXPECT_EQ(r.plies, 2);
  EXPECT_EQ(LinePlies(game), 2);
  TChildList children;
  ASSERT_EQ(GetChildren(game, 0, children), 1);  // the taken-back line left the tree
  EXPECT_EQ(WireMoveText(ToWireMove(game.Moves[children[0]], game.Params)), "45-40");
}

TEST(MatchGame, APlayerThatCannotStartSpoilsOnlyThatGame) {
  TGame game = test::GameFromFen(kQuiet);
  TScriptedPlayer white("W", {}), black("B", {});
  black.startReply = TPlayerReply::Of(Kind::Failed, "B refused the game (code 2)");
  const TMatchGameOutcome r = PlayMatchGame(game, white, black, {});
  EXPECT_EQ(r.end, TGameEndKind::Unknown);
  EXPECT_NE(r.reason.find("refused"), std::string::npos);
  EXPECT_EQ(white.thoughts, 0);
  EXPECT_EQ(white.endsSeen, 1);
  EXPECT_EQ(black.endsSeen, 0);
}

TEST(MatchGame, TakeBackToRestoresThePosition) {
  TGame game = test::GameFromFen(kQuiet);
  const TBoard start = game.CurBoard;
  for (const char* m : {"32-28", "19-23", "28x19x23"}) {
    const TMove mv = RawMove(game, m);
    game.CurMovPos = AddMove(game, mv, game.CurMovPos);
    ApplyMove(game.Moves[game.CurMovPos], game.CurBoard, game.Params);
    game.SideToMove = game.SideToMove == TDColor::white ? TDColor::black : TDColor::white;
  }
  EXPECT_FALSE(TakeBackTo(game, 4));
  ASSERT_TRUE(TakeBackTo(game, 1));
  EXPECT_EQ(LinePlies(game), 1);
  EXPECT_EQ(game.SideToMove, TDColor::black);
  ASSERT_TRUE(TakeBackTo(game, 0));
  EXPECT_EQ(game.CurMovPos, 0);
  EXPECT_EQ(game.CurBoard, start);
  EXPECT_EQ(game.SideToMove, TDColor::white);
  EXPECT_EQ(MainLineLength(game), 0);
}

}  // namespace
}  // namespace quorlin
