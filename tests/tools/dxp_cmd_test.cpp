// quorlin dxp: two of our engines play each other over a loopback
// connection in every role, and a scripted program does what other programs
// may do wrong.
#include <gtest/gtest.h>

#include <filesystem>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "app/childprocess.h"
#include "app/dxpmessage.h"
#include "app/netsocket.h"
#include "dxp_session_output.h"
#include "games/pdnfile.h"
#include "rules/variants.h"
#include "test_support.h"

namespace quorlin {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

// Four men against two: short games.
const char* const kShortGame = "W:W32,33,34,35:B16,17";

std::string Quorlin() { return (test::ProgramDir() / "quorlin").string(); }

bool Has(const std::string& out, const std::string& what) { return out.find(what) != std::string::npos; }

struct RoleCase {
  const char* label;
  bool serverInitiates;
};

class QuorlinDxpRoles : public testing::TestWithParam<RoleCase> {};

TEST_P(QuorlinDxpRoles, TwoOfOurEnginesPlayAndAgree) {
  const fs::path dir = test::FreshDir("dxp-roles");
  const std::string initiator =
      std::string("--initiator --games 2 --time 0 --move-time 10 --fen ") + kShortGame;
  const std::string follower = "--games 2 --move-time 10";
  TChildProcess server;
  std::string serverOut;
  const int port = test::StartListeningDxp(
      server, (GetParam().serverInitiates ? initiator : follower) + " --pdn-out server.pdn", dir, serverOut);
  ASSERT_GT(port, 0) << serverOut;
  std::string clientOut;
  const int clientStatus = test::RunQuorlin(
      "dxp Analytic.eng --hash 8 --connect 127.0.0.1:" + std::to_string(port) + " " +
          (GetParam().serverInitiates ? follower : initiator) + " --pdn-out " + (dir / "client.pdn").string(),
      clientOut);
  serverOut += test::ReadToEnd(server);
  EXPECT_EQ(server.Stop(10s), 0) << serverOut;
  EXPECT_EQ(clientStatus, 0) << clientOut;

  // Both played two games and saw the same results; the other side agreed
  // with each game end it was sent.
  const std::vector<std::string> a = test::SessionResults(serverOut), b = test::SessionResults(clientOut);
  ASSERT_EQ(a.size(), 2u) << serverOut;
  EXPECT_EQ(a, b) << serverOut << clientOut;
  for (const std::string& out : {serverOut, clientOut}) {
    EXPECT_FALSE(Has(out, "sees it differently")) << out;
    EXPECT_FALSE(Has(out, "error")) << out;
  }
  EXPECT_EQ(test::WholePdnGames(dir / "server.pdn"), 2);
  EXPECT_EQ(test::WholePdnGames(dir / "client.pdn"), 2);
  EXPECT_TRUE(Has(test::ReadFile(dir / "server.pdn"), "[FEN \"W:W32,33,34,35:B16,17\"]"));
}

INSTANTIATE_TEST_SUITE_P(Roles, QuorlinDxpRoles,
                         testing::Values(RoleCase{"ServerInitiates", true},
                                         RoleCase{"ClientInitiates", false}),
                         [](const testing::TestParamInfo<RoleCase>& i) {
                           return std::string(i.param.label);
                         });

// A scripted program that accepts the game, waits for our first move and then
// does what the case says.
struct FaultCase {
  const char* label;
  std::string after;  // sent after our first move; "<close>" closes; "" sends nothing
  const char* shown;  // in our output
  const char* result;
};

class QuorlinDxpFaults : public testing::TestWithParam<FaultCase> {};

TEST_P(QuorlinDxpFaults, TheGameEndsWithAClearReasonAndTheCommandFails) {
  const FaultCase& c = GetParam();
  const fs::path dir = test::FreshDir("dxp-fault");
  std::string error;
  TTcpListener listener;
  ASSERT_TRUE(listener.Listen("127.0.0.1", 0, error)) << error;
  std::vector<std::string> received;
  std::thread program([&] {
    TTcpStream s;
    if (!listener.Accept(s, 30s, error)) return;
    std::string buffer, chunk;
    auto next = [&]() -> std::string {
      for (;;) {
        const size_t nul = buffer.find('\0');
        if (nul != std::string::npos) {
          std::string m = buffer.substr(0, nul);
          buffer.erase(0, nul + 1);
          received.push_back(m);
          return m;
        }
        if (s.Receive(chunk, 4096, 30s) != TTcpStream::TRead::Data) return "";
        buffer += chunk;
      }
    };
    auto send = [&](const std::string& m) { s.SendAll(m + std::string(1, '\0')); };
    if (next().rfind("R01", 0) != 0) return;
    send(EncodeDxp(TDxpGameAccept{"Scripted", '0'}));
    if (next().rfind("M", 0) != 0) return;  // our first move
    if (c.after == "<close>") return;       // closes by leaving
    if (!c.after.empty()) send(c.after);
    // Answer our game end, then wait for the end of the session.
    for (std::string m = next(); !m.empty(); m = next())
      if (m[0] == 'E') send("E00");
  });
  std::string out;
  const int status =
      test::RunQuorlin("dxp Analytic.eng --hash 8 --timeout 1 --initiator --time 0 --connect 127.0.0.1:" +
                           std::to_string(listener.Port()) + " --pdn-out " + (dir / "games.pdn").string(),
                       out);
  program.join();
  EXPECT_EQ(status, 1) << out;
  EXPECT_TRUE(Has(out, c.shown)) << out;
  const std::vector<std::string> results = test::SessionResults(out);
  ASSERT_EQ(results.size(), 1u) << out;
  EXPECT_EQ(results[0], c.result);
  EXPECT_EQ(test::WholePdnGames(dir / "games.pdn"), 1);
}

INSTANTIATE_TEST_SUITE_P(
    Programs, QuorlinDxpFaults,
    testing::Values(FaultCase{"IllegalMove", "M0001323100", "Scripted sent an illegal move 32-31", "*"},
                    FaultCase{"Malformed", "M00013", "malformed message from Scripted: move:", "*"},
                    FaultCase{"OutOfTurn", "B999W", "asked to take back to move 999", "2-0t"},
                    FaultCase{"Silent", "", "Scripted sent no move within 1.0 s", "2-0t"},
                    FaultCase{"Closed", "<close>", "Scripted closed the connection", "*"}),
    [](const testing::TestParamInfo<FaultCase>& i) { return std::string(i.param.label); });

TEST(QuorlinDxp, ArgumentErrors) {
  struct Case {
    std::string args;
    int status;
    const char* message;
  };
  const Case cases[] = {
      {"dxp", 2, "expected one engine description"},
      {"dxp Analytic.eng --listen 1 --connect a:2", 2, "not both"},
      {"dxp Analytic.eng --connect 127.0.0.1:99999", 2, "port number 1..65535"},
      {"dxp Analytic.eng --connect 127.0.0.1:1 --time 5", 2, "are for the initiator"},
      {"dxp Analytic.eng --initiator --fen W:W99", 2, "FEN"},
      {"dxp None.eng --connect 127.0.0.1:1", 1, "engine description \"None.eng\" not found"},
      {"dxp Analytic.eng --timeout 1 --connect 127.0.0.1:1", 1, "cannot connect to 127.0.0.1:1"},
  };
  for (const Case& c : cases) {
    std::string out;
    EXPECT_EQ(test::RunQuorlin(c.args, out), c.status) << c.args << "\n" << out;
    EXPECT_TRUE(Has(out, c.message)) << c.args << "\n" << out;
  }
}

}  // namespace
}  // namespace quorlin
