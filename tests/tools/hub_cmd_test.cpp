// quorlin hub driven by scripted interface sessions, and quorlin match
// playing Hub engines: our own `quorlin hub`, and broken ones.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "app/childprocess.h"
#include "games/pdnfile.h"
#include "rules/variants.h"
#include "test_support.h"

namespace quorlin {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

const std::string kStart = "W" + std::string(20, 'b') + std::string(10, 'e') + std::string(20, 'w');

std::string Quorlin() { return (test::ProgramDir() / "quorlin").string(); }

bool Has(const std::string& out, const std::string& what) { return out.find(what) != std::string::npos; }

// Reads lines until one starts with `command`; all lines read go to `seen`.
std::string ReadUntil(TChildProcess& p, const std::string& command, std::vector<std::string>& seen) {
  std::string line;
  while (p.ReadLine(line, 60s) == TChildProcess::TRead::Line) {
    seen.push_back(line);
    if (line == command || line.rfind(command + " ", 0) == 0) return line;
  }
  return "";
}

bool StartHub(TChildProcess& hub, std::string& error) {
  return hub.Start(Quorlin() + " hub Analytic.eng --hash 8", test::FreshDir("hub").string(), error);
}

TEST(QuorlinHub, AScriptedInterfaceSession) {
  TChildProcess hub;
  std::string error;
  ASSERT_TRUE(StartHub(hub, error)) << error;
  std::vector<std::string> seen;
  hub.WriteLine("hub");
  ASSERT_EQ(ReadUntil(hub, "wait", seen), "wait");
  EXPECT_EQ(seen.front().rfind("id name=Quorlin", 0), 0u) << seen.front();
  hub.WriteLine("set-param name=variant value=normal");
  hub.WriteLine("init");
  ASSERT_EQ(ReadUntil(hub, "ready", seen), "ready");
  hub.WriteLine("new-game");
  hub.WriteLine("pos pos=" + kStart + " moves=\"32-28 19-23\"");
  hub.WriteLine("level move-time=0.2");
  hub.WriteLine("go think");
  hub.WriteLine("ping");
  seen.clear();
  EXPECT_EQ(ReadUntil(hub, "done", seen).rfind("done move=28x19x23", 0), 0u);
  EXPECT_NE(std::find(seen.begin(), seen.end(), "pong"), seen.end());
  hub.WriteLine("pos pos=Wxx");
  hub.WriteLine("ping");
  seen.clear();
  ReadUntil(hub, "pong", seen);
  ASSERT_FALSE(seen.empty());
  EXPECT_TRUE(Has(seen.front(), "error message=\"position \\\"Wxx\\\" has 3 characters")) << seen.front();
  hub.WriteLine("quit");
  EXPECT_EQ(hub.Stop(10s), 0);
}

TEST(QuorlinHub, EndsWhenItsInputCloses) {
  TChildProcess hub;
  std::string error;
  ASSERT_TRUE(StartHub(hub, error)) << error;
  std::vector<std::string> seen;
  hub.WriteLine("init");
  ASSERT_EQ(ReadUntil(hub, "ready", seen), "ready");
  hub.WriteLine("pos pos=" + kStart);
  hub.WriteLine("level infinite");
  hub.WriteLine("go think");
  // Closing its input stops the infinite search; the program ends by itself.
  EXPECT_EQ(hub.Stop(20s), 0);
}

TEST(QuorlinHub, ArgumentErrors) {
  struct Case {
    std::string args;
    int status;
    const char* message;
  };
  const Case cases[] = {
      {"hub", 2, "expected one engine description"},
      {"hub None.eng", 1, "engine description \"None.eng\" not found"},
      {"hub Analytic.eng --ed /no/such/folder", 1, "endgame database folder \"/no/such/folder\" not found"},
      {"hub Analytic.eng --book none.cbk", 1, "opening book \"none.cbk\" not found"},
      {"hub Analytic.eng --speed 3", 2, "unknown option \"--speed\""},
  };
  for (const Case& c : cases) {
    std::string out;
    EXPECT_EQ(test::RunQuorlin(c.args + " < /dev/null", out), c.status) << c.args << "\n" << out;
    EXPECT_TRUE(Has(out, c.message)) << c.args << "\n" << out;
  }
}

TEST(QuorlinMatchHub, OurHubEngineAsTheOutsideEngine) {
  const fs::path dir = test::FreshDir("match-hub");
  std::string out;
  const std::string args =
      "match international Analytic.eng \"hub:" + Quorlin() +
      " hub Analytic.eng --hash 8\" --games 2 --time-per-move 20 --max-plies 16 --hash 8 "
      "--pdn-out " +
      (dir / "games.pdn").string();
  ASSERT_EQ(test::RunQuorlin(args, out), 0) << out;
  EXPECT_TRUE(Has(out, "game 1/2: Analytic - Quorlin")) << out;
  EXPECT_TRUE(Has(out, "game 2/2: Quorlin - Analytic")) << out;
  EXPECT_TRUE(Has(out, "score: Analytic")) << out;
  // The games read back whole.
  TPdnReadReport report;
  ReadPdnText(
      test::ReadFile(dir / "games.pdn"), kInternational, [](TGame&, int, std::string&) { return true; },
      report);
  EXPECT_EQ(report.gamesWhole, 2);
  EXPECT_EQ(report.gamesStopped, 0);
}

TEST(QuorlinMatchOutside, ArgumentErrors) {
  struct Case {
    std::string args;
    int status;
    const char* message;
  };
  const Case cases[] = {
      {"match russian Analytic.eng hub:true", 1,
       "Hub engines play International, International Killer and Frisian, not Russian"},
      {"match international Analytic.eng hub:", 2, "hub: needs the command that starts the engine"},
      {"match international Analytic.eng \"hub:exit 0\" --timeout 1", 1, "did not answer hub with wait"},
      {"match frisian Analytic.eng dxp:127.0.0.1:1", 1, "DXP programs play International only"},
      {"match international Analytic.eng dxp:nohost", 2, "expected dxp:HOST:PORT"},
      {"match international Analytic.eng dxp:127.0.0.1:1 --timeout 1", 1, "cannot connect to 127.0.0.1:1"},
  };
  for (const Case& c : cases) {
    std::string out;
    EXPECT_EQ(test::RunQuorlin(c.args, out), c.status) << c.args << "\n" << out;
    EXPECT_TRUE(Has(out, c.message)) << c.args << "\n" << out;
  }
}

// A Hub engine that answers every search with the move in $MOVE, not at all
// when $MOVE is "silent", and ends when it is "exit".
const char* const kScriptedEngine =
    "while read line; do\n"
    "  case \"$line\" in\n"
    "    hub) echo 'id name=Scripted'; echo wait;;\n"
    "    init) echo ready;;\n"
    "    'go think') if [ \"$MOVE\" = exit ]; then exit 0; fi\n"
    "                if [ \"$MOVE\" != silent ]; then echo \"done move=$MOVE\"; fi;;\n"
    "  esac\n"
    "done\n";

struct BrokenCase {
  const char* label;
  const char* move;
  const char* shown;  // in the game line
};

class QuorlinMatchBrokenHub : public testing::TestWithParam<BrokenCase> {};

TEST_P(QuorlinMatchBrokenHub, EachGameEndsWithAClearReasonAndTheMatchGoesOn) {
  const BrokenCase& c = GetParam();
  const fs::path dir = test::FreshDir("match-broken");
  test::WriteFile(dir / "engine.sh", kScriptedEngine);
  std::string out;
  const std::string args = "match international Analytic.eng \"hub:MOVE=" + std::string(c.move) + " sh " +
                           (dir / "engine.sh").string() +
                           "\" --games 2 --time-per-move 20 --timeout 1 --hash 8 --pdn-out " +
                           (dir / "games.pdn").string();
  EXPECT_EQ(test::RunQuorlin(args, out), 1) << out;
  EXPECT_TRUE(Has(out, c.shown)) << out;
  EXPECT_TRUE(Has(out, "game 2/2: Scripted - Analytic")) << out;
  TPdnReadReport report;
  ReadPdnText(
      test::ReadFile(dir / "games.pdn"), kInternational, [](TGame&, int, std::string&) { return true; },
      report);
  EXPECT_EQ(report.gamesWhole, 2);
}

INSTANTIATE_TEST_SUITE_P(
    Engines, QuorlinMatchBrokenHub,
    testing::Values(BrokenCase{"Illegal", "11-16", "unknown: Scripted sent an illegal move 11-16"},
                    BrokenCase{"Garbage", "e7-e5", "unknown: Scripted sent a move \"e7-e5\""},
                    BrokenCase{"NoMove", "", "answered \"done move=\" without a move"},
                    BrokenCase{"Silent", "silent", "lost on time: Scripted gave no move within 1.0 s"},
                    BrokenCase{"Ends", "exit", "unknown: Scripted ended while thinking"}),
    [](const testing::TestParamInfo<BrokenCase>& i) { return std::string(i.param.label); });

}  // namespace
}  // namespace quorlin
