// The DXP connection and the other program as a player, against a scripted
// program on a loopback socket: requests and their answers, every kind of
// message during a game, and what the other side may do wrong.
#include "app/dxpsession.h"

#include <gtest/gtest.h>

#include <future>
#include <mutex>
#include <vector>

#include "app/matchgame.h"
#include "app/wiremove.h"
#include "fen_game.h"
#include "rules/fen.h"
#include "rules/movegen.h"
#include "rules/variants.h"

namespace quorlin {
namespace {

using namespace std::chrono_literals;
using Kind = TPlayerReply::Kind;

constexpr int64_t kGraceMs = 300;
const char* const kStartFen =
    "W:W31,32,33,34,35,36,37,38,39,40,41,42,43,44,45,46,47,48,49,50:B1,2,3,4,5,6,7,8,9,10,11,12,13,14,15,16,"
    "17,"
    "18,19,20";
// White's king on 16 can take three pieces in two different loops back to 16.
const char* const kLoopFen = "W:W14,K16,39,48:B11,13,21,23,29,36";

std::string Padded(const std::string& name) { return name + std::string(32 - name.size(), ' '); }

void Play(TGame& g, const std::string& text) {
  TWireMove w;
  std::string error;
  ASSERT_TRUE(ParseWireMoveText(text, w, error)) << error;
  const TWireMatch m = MatchWireMove(w, g.CurBoard, g.SideToMove, g.Params);
  ASSERT_EQ(m.kind, TWireMatchKind::Found) << text;
  g.CurMovPos = AddMove(g, m.move, g.CurMovPos);
  ApplyMove(g.Moves[g.CurMovPos], g.CurBoard, g.Params);
  g.SideToMove = g.SideToMove == TDColor::white ? TDColor::black : TDColor::white;
}

// Our side of a connection to a scripted program; the test plays the program.
class DxpSession : public testing::Test {
 protected:
  void SetUp() override {
    std::string error;
    TTcpListener listener;
    ASSERT_TRUE(listener.Listen("127.0.0.1", 0, error)) << error;
    TTcpStream ours;
    ASSERT_TRUE(ours.Connect("127.0.0.1", listener.Port(), 5s, error)) << error;
    ASSERT_TRUE(listener.Accept(peer_, 5s, error)) << error;
    connection_ = std::make_unique<TDxpConnection>(std::move(ours),
                                                   [this](const std::string& l) { Note(transcript_, l); });
    TDxpPlayerOptions o;
    o.ourName = "Quorlin test";
    o.minutes = 2;
    o.moves = 50;
    o.graceMs = kGraceMs;
    o.log = [this](const std::string& l) { Note(log_, l); };
    player_ = std::make_unique<TDxpPlayer>(*connection_, o);
  }

  void Note(std::vector<std::string>& to, const std::string& line) {
    std::lock_guard<std::mutex> g(lock_);
    to.push_back(line);
  }
  bool Logged(const std::string& part) {
    std::lock_guard<std::mutex> g(lock_);
    for (const std::string& l : log_)
      if (l.find(part) != std::string::npos) return true;
    return false;
  }
  std::string LogText() {
    std::lock_guard<std::mutex> g(lock_);
    std::string s;
    for (const std::string& l : log_) s += l + "\n";
    return s;
  }

  // The scripted program sends raw bytes (messages with their NUL bytes).
  void PeerSendRaw(const std::string& bytes) { ASSERT_TRUE(peer_.SendAll(bytes)); }
  void PeerSend(const std::string& message) { PeerSendRaw(message + std::string(1, '\0')); }
  // The next message the program receives ("" when none comes within 5 s).
  std::string PeerReceive(std::chrono::milliseconds wait = 5000ms) {
    const auto deadline = std::chrono::steady_clock::now() + wait;
    for (;;) {
      const size_t nul = peerBuffer_.find('\0');
      if (nul != std::string::npos) {
        std::string m = peerBuffer_.substr(0, nul);
        peerBuffer_.erase(0, nul + 1);
        return m;
      }
      const auto left =
          std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
      if (left.count() <= 0) return "";
      std::string chunk;
      if (peer_.Receive(chunk, 4096, left) != TTcpStream::TRead::Data) return "";
      peerBuffer_ += chunk;
    }
  }

  // Starts a game the program asked for, with it playing `remoteSide`.
  void AcceptedGame(const TGame& game, TDColor remoteSide) {
    TDxpGameRequest r;
    r.initiatorName = "Peer Program";
    player_->AcceptRequest(r);
    EXPECT_EQ(PeerReceive(), "A" + Padded("Quorlin test") + "0");
    ASSERT_EQ(player_->StartGame(game, remoteSide, TGameClock{}).kind, Kind::Ok);
  }

  TTcpStream peer_;
  std::string peerBuffer_;
  std::unique_ptr<TDxpConnection> connection_;
  std::unique_ptr<TDxpPlayer> player_;
  std::mutex lock_;
  std::vector<std::string> transcript_, log_;
};

TEST_F(DxpSession, OurRequestCarriesThePositionAndTheAnswerNamesTheProgram) {
  TGame game = test::GameFromFen(kLoopFen);
  auto started =
      std::async(std::launch::async, [&] { return player_->StartGame(game, TDColor::black, TGameClock{}); });
  const std::string request = PeerReceive();
  ASSERT_EQ(request.size(), 94u) << request;
  EXPECT_EQ(request.substr(0, 36), "R01" + Padded("Quorlin test") + "Z");
  EXPECT_EQ(request.substr(36, 7), "002050B");
  EXPECT_EQ(request[43], 'W');       // White to move in the set-up position
  EXPECT_EQ(request[44 + 15], 'W');  // the king on 16
  EXPECT_EQ(request[44 + 10], 'z');  // a black man on 11
  PeerSend("A" + Padded("Peer Program") + "0");
  const TPlayerReply r = started.get();
  EXPECT_EQ(r.kind, Kind::Ok) << r.message;
  EXPECT_EQ(player_->Name(), "Peer Program");
}

struct AnswerCase {
  const char* label;
  std::string answer;  // sent by the program; "<close>" closes the connection; "" sends nothing
  const char* message;
};

class DxpRequestAnswer : public DxpSession, public testing::WithParamInterface<AnswerCase> {};

TEST_P(DxpRequestAnswer, ARefusalOrSilenceFailsTheGame) {
  const AnswerCase& c = GetParam();
  TGame game = test::GameFromFen(kStartFen);
  auto started =
      std::async(std::launch::async, [&] { return player_->StartGame(game, TDColor::white, TGameClock{}); });
  ASSERT_EQ(PeerReceive().substr(0, 3), "R01");
  if (c.answer == "<close>") {
    peer_.Shutdown();
  } else if (!c.answer.empty()) {
    PeerSend("Cjust a moment");
    PeerSend(c.answer);
  }
  const TPlayerReply r = started.get();
  EXPECT_EQ(r.kind, Kind::Failed);
  EXPECT_NE(r.message.find(c.message), std::string::npos) << r.message;
}

INSTANTIATE_TEST_SUITE_P(
    Answers, DxpRequestAnswer,
    testing::Values(AnswerCase{"OldVersion", "A" + Padded("Old") + "1",
                               "refused the game (code 1: protocol version"},
                    AnswerCase{"Busy", "A" + Padded("Busy") + "2", "Busy refused the game (code 2)"},
                    AnswerCase{"Silence", "", "did not answer the game request within"},
                    AnswerCase{"Closed", "<close>", "closed the connection"},
                    AnswerCase{"Malformed", "A" + Padded("x"), "malformed message"},
                    AnswerCase{"SessionEnd", "E01", "ended the session instead of answering"}),
    [](const testing::TestParamInfo<AnswerCase>& i) { return std::string(i.param.label); });

// What the program sends while we wait for its move, and what the game loop hears.
struct ThinkCase {
  const char* label;
  const char* fen;
  std::vector<std::string> sent;  // "<close>" closes the connection
  Kind kind;
  const char* message;   // part of the reply's message
  const char* chatBack;  // part of the chat we send back; "" for none
};

class DxpThink : public DxpSession, public testing::WithParamInterface<ThinkCase> {};

TEST_P(DxpThink, EveryAnswerBecomesAReply) {
  const ThinkCase& c = GetParam();
  TGame game = test::GameFromFen(c.fen);
  AcceptedGame(game, TDColor::white);
  for (const std::string& m : c.sent) {
    if (m == "<close>")
      peer_.Shutdown();
    else
      PeerSend(m);
  }
  const TPlayerReply r = player_->Think(game, TGameClock{}, {});
  EXPECT_EQ(r.kind, c.kind) << r.message;
  EXPECT_NE(r.message.find(c.message), std::string::npos) << r.message;
  if (*c.chatBack) {
    const std::string chat = PeerReceive();
    EXPECT_EQ(chat[0], 'C') << chat;
    EXPECT_NE(chat.find(c.chatBack), std::string::npos) << chat;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Messages, DxpThink,
    testing::Values(
        ThinkCase{"LegalMove", kStartFen, {"M0005322800"}, Kind::Move, "", ""},
        ThinkCase{"ChatFirst", kStartFen, {"Chello", "M0005322800"}, Kind::Move, "", ""},
        ThinkCase{"Illegal",
                  kStartFen,
                  {"M0001322300"},
                  Kind::Failed,
                  "sent an illegal move 32-23",
                  "illegal move 32-23"},
        ThinkCase{"Ambiguous",
                  kLoopFen,
                  {"M0001161600"},
                  Kind::Failed,
                  "sent an ambiguous move 16x16: it fits",
                  "ambiguous move"},
        ThinkCase{"Malformed",
                  kStartFen,
                  {"M00013228"},
                  Kind::Failed,
                  "malformed message from Peer Program: move:",
                  "malformed message"},
        ThinkCase{"UnknownType", kStartFen, {"Q123"}, Kind::Failed, "unknown message type 'Q'", "malformed"},
        ThinkCase{"GivesUp", kStartFen, {"E10"}, Kind::EndClaim, "says a win for Black", ""},
        ThinkCase{"ClaimsDraw", kStartFen, {"E21"}, Kind::EndClaim, "says a draw", ""},
        ThinkCase{"Silence", kStartFen, {}, Kind::TimeOut, "sent no move within 0.3 s", "you lose on time"},
        ThinkCase{"Closed", kStartFen, {"<close>"}, Kind::Failed, "closed the connection", ""}),
    [](const testing::TestParamInfo<ThinkCase>& i) { return std::string(i.param.label); });

TEST_F(DxpSession, TheMoveFoundIsTheLegalMove) {
  TGame game = test::GameFromFen(kLoopFen);
  AcceptedGame(game, TDColor::white);
  TMvs list;
  uint8_t n = 0;
  GenerateMoves(game.CurBoard, 0, list, n, game.Params, true);
  ASSERT_EQ(n, 2);
  const TWireMove second = ToWireMove(list[2], game.Params);
  // Captured squares in another order than the generator's.
  PeerSend(EncodeDxp(TDxpMove{7, 16, 16, {second.captured[2], second.captured[0], second.captured[1]}}));
  const TPlayerReply r = player_->Think(game, TGameClock{}, {});
  ASSERT_EQ(r.kind, Kind::Move) << r.message;
  EXPECT_TRUE(SameCapture(r.move, list[2]));
  EXPECT_EQ(r.usedMs, 7000);
}

TEST_F(DxpSession, RequestsDuringAGameAreRefusedAndChatIsLogged) {
  TGame game = test::GameFromFen(kStartFen);
  AcceptedGame(game, TDColor::white);
  PeerSend("R01" + Padded("Peer Program") + "W005075A");
  PeerSend("Cgood luck");
  PeerSend("M0001322800");
  const TPlayerReply r = player_->Think(game, TGameClock{}, {});
  EXPECT_EQ(r.kind, Kind::Move) << r.message;
  EXPECT_EQ(PeerReceive(), "A" + Padded("Quorlin test") + "2");
  EXPECT_TRUE(Logged("Peer Program says: good luck")) << LogText();
  EXPECT_TRUE(Logged("asked for a new game during a game: refused")) << LogText();
}

TEST_F(DxpSession, TakeBackRequestsAreAnswered) {
  TGame game = test::GameFromFen(kStartFen);
  AcceptedGame(game, TDColor::black);
  for (const char* m : {"32-28", "19-23", "28x19", "14x23", "37-32"}) Play(game, m);
  // Back to move 1 with Black to move: one ply kept.
  PeerSend("B001Z");
  TPlayerReply r = player_->Think(game, TGameClock{}, {});
  ASSERT_EQ(r.kind, Kind::TakeBack) << r.message;
  EXPECT_EQ(r.keepPlies, 1);
  EXPECT_EQ(PeerReceive(), "K0");
  ASSERT_TRUE(TakeBackTo(game, r.keepPlies));
  EXPECT_EQ(LinePlies(game), 1);
  EXPECT_EQ(MainLineLength(game), 1);
  EXPECT_EQ(game.SideToMove, TDColor::black);

  // A position the game never had is refused, and the wait goes on.
  PeerSend("B009Z");
  PeerSend("M0001192300");
  r = player_->Think(game, TGameClock{}, {});
  EXPECT_EQ(r.kind, Kind::Move) << r.message;
  EXPECT_EQ(PeerReceive(), "K2");
  EXPECT_TRUE(Logged("which this game does not have: refused")) << LogText();
}

TEST_F(DxpSession, AGameEndThatCrossedOurMoveWins) {
  TGame game = test::GameFromFen(kStartFen);
  AcceptedGame(game, TDColor::black);
  PeerSend("E20");
  // Give the reader time to queue it.
  for (int i = 0; i < 200 && !player_->HasNews(); ++i) std::this_thread::sleep_for(5ms);
  TMvs list;
  uint8_t n = 0;
  GenerateMoves(game.CurBoard, 0, list, n, game.Params, true);
  const TPlayerReply r = player_->OpponentMoved(game, list[1], 1200);
  EXPECT_EQ(r.kind, Kind::EndClaim);
  EXPECT_EQ(r.claimedResult, kResultDraw);
  // Our move is not sent; our answer to its game end comes next.
  TGameEnd end;
  end.result = kResultNone;
  player_->GameOver(game, end);
  EXPECT_EQ(PeerReceive(), "E00");
}

TEST_F(DxpSession, OurGameEndWaitsForTheAnswer) {
  TGame game = test::GameFromFen(kStartFen);
  AcceptedGame(game, TDColor::black);
  TGameEnd end;
  end.result = kResultWhiteWin;  // we are White: we win
  end.lastGame = true;
  auto over = std::async(std::launch::async, [&] { player_->GameOver(game, end); });
  EXPECT_EQ(PeerReceive(), "E31");
  PeerSend("M0001192300");  // a move that crossed our game end is dropped
  PeerSend("E31");          // it claims the win for itself
  over.get();
  EXPECT_EQ(player_->LastEndAnswer(), '3');
  EXPECT_TRUE(Logged("sees the game as a win for Black, here it is a win for White")) << LogText();
  EXPECT_TRUE(player_->SessionOver());
}

TEST_F(DxpSession, TheFollowerWaitsForRequestsBetweenGames) {
  std::string why;
  TDxpGameRequest request;
  PeerSend("Chi");
  PeerSend("B001W");
  PeerSend("R01" + Padded("Peer Program") + "Z001000A");
  ASSERT_EQ(player_->WaitGameRequest(request, std::chrono::steady_clock::now() + 5s, why),
            TDxpPlayer::TWait::Request);
  EXPECT_EQ(request.followerColour, 'Z');
  EXPECT_EQ(player_->Name(), "Peer Program");
  EXPECT_EQ(PeerReceive(), "K2");
  // Silence, then the end of the session.
  EXPECT_EQ(player_->WaitGameRequest(request, std::chrono::steady_clock::now() + 100ms, why),
            TDxpPlayer::TWait::TimeOut);
  PeerSend("E01");
  EXPECT_EQ(player_->WaitGameRequest(request, std::chrono::steady_clock::now() + 5s, why),
            TDxpPlayer::TWait::SessionOver);
  EXPECT_NE(why.find("ended the session"), std::string::npos) << why;
}

TEST_F(DxpSession, TheStreamIsCutAtNulBytesWhereverTheyFall) {
  // Two messages in one write, one message over three writes, an overlong
  // one, then the connection closes in the middle of a message.
  PeerSendRaw(std::string("Chello\0E20", 10) + std::string(1, '\0'));
  PeerSendRaw("M00013");
  std::this_thread::sleep_for(20ms);
  PeerSendRaw("228");
  std::this_thread::sleep_for(20ms);
  PeerSendRaw(std::string("00\0", 3));
  PeerSendRaw(std::string(kDxpMaxMessage + 10, 'C') + std::string(1, '\0'));
  PeerSendRaw("M0001");
  peer_.Shutdown();

  const auto deadline = std::chrono::steady_clock::now() + 5s;
  std::vector<TDxpEvent> events;
  TDxpEvent e;
  while (connection_->Next(e, deadline)) {
    events.push_back(e);
    if (e.kind == TDxpEvent::Kind::Closed) break;
  }
  ASSERT_EQ(events.size(), 5u);
  EXPECT_EQ(events[0].message, TDxpMessage(TDxpChat{"hello"}));
  EXPECT_EQ(events[1].message, TDxpMessage(TDxpGameEnd{'2', '0'}));
  EXPECT_EQ(events[2].message, TDxpMessage(TDxpMove{1, 32, 28, {}}));
  EXPECT_EQ(events[3].kind, TDxpEvent::Kind::Malformed);
  EXPECT_NE(events[3].error.find("longer than"), std::string::npos) << events[3].error;
  EXPECT_EQ(events[4].kind, TDxpEvent::Kind::Closed);
  // Once closed, it stays closed.
  ASSERT_TRUE(connection_->Next(e, std::chrono::steady_clock::now()));
  EXPECT_EQ(e.kind, TDxpEvent::Kind::Closed);
  EXPECT_TRUE(connection_->Closed());
  std::lock_guard<std::mutex> g(lock_);
  EXPECT_NE(transcript_.back().find("cut off"), std::string::npos) << transcript_.back();
}

}  // namespace
}  // namespace quorlin
