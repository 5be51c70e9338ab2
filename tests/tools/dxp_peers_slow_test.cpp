// quorlin dxp against two independent DXP programs, built from their source
// archives in a temporary folder of this test (they are test opponents only;
// nothing of them is kept). Each plays two short games per session with our
// engine as initiator and as follower, as server and as client. Every move
// our side receives is checked against the legal moves (an illegal one would
// end its game with an error), both sides must see the same result for every
// game, and the PDN written must read back whole.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "app/childprocess.h"
#include "app/netsocket.h"
#include "dxp_session_output.h"
#include "games/pdnfile.h"
#include "rules/variants.h"
#include "test_support.h"

namespace quorlin {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

fs::path PeersDir() {
  const char* d = std::getenv("QUORLIN_PEERS_DIR");
  return d && fs::exists(fs::path(d) / "scan-2.0.tar.gz") ? fs::path(d) : fs::path();
}

bool Has(const std::string& out, const std::string& what) { return out.find(what) != std::string::npos; }

// Runs a shell command; its output goes to `log`.
bool Shell(const std::string& command, const fs::path& log) {
  return std::system((command + " > '" + log.string() + "' 2>&1").c_str()) == 0;
}

// Unpacks an archive into `dir` and runs make in `sub`; the built program, or
// an empty path (the build log says why).
fs::path Build(const std::string& archive, const fs::path& dir, const std::string& sub,
               const std::string& program) {
  fs::create_directories(dir);
  if (!Shell("tar xzf '" + (PeersDir() / archive).string() + "' -C '" + dir.string() + "'",
             dir / "unpack.log"))
    return {};
  const fs::path src = dir / sub;
  // Some makefiles need a second run once their dependency file exists.
  if (!Shell("make -C '" + src.string() + "' -j2", dir / "build.log"))
    Shell("make -C '" + src.string() + "'", dir / "build2.log");
  return fs::exists(src / program) ? src / program : fs::path();
}

// A port of 127.0.0.1 that nothing listens on right now.
int FreePort() {
  TTcpListener l;
  std::string error;
  return l.Listen("127.0.0.1", 0, error) ? l.Port() : 0;
}

// Waits until `file` holds `text` (a program announcing that it listens).
bool WaitForText(const fs::path& file, const std::string& text) {
  for (int i = 0; i < 600; ++i) {
    if (Has(test::ReadFile(file), text)) return true;
    std::this_thread::sleep_for(50ms);
  }
  return false;
}

// What every session must show on our side.
void ExpectCleanSession(const std::string& out, int status, const fs::path& pdn) {
  EXPECT_EQ(status, 0) << out;
  EXPECT_EQ(test::SessionResults(out).size(), 2u) << out;
  for (const char* bad :
       {"illegal", "malformed", "ambiguous", "sees it differently", "did not answer", "error"})
    EXPECT_FALSE(Has(out, bad)) << bad << "\n" << out;
  EXPECT_EQ(test::WholePdnGames(pdn), 2);
}

// Our side's result from the other program's view of itself.
std::string FromPeer(const std::string& peerView, bool peerIsWhite) {
  if (peerView == "win") return peerIsWhite ? "2-0" : "0-2";
  if (peerView == "loss") return peerIsWhite ? "0-2" : "2-0";
  return "1-1";
}

class DxpPeers : public testing::Test {
 protected:
  void SetUp() override {
    if (PeersDir().empty()) GTEST_SKIP() << "no peer archives (QUORLIN_PEERS_DIR)";
  }
};

// Scan: a server that follows, then a client that initiates.
TEST_F(DxpPeers, Scan) {
  const fs::path dir = test::FreshDir("scan");
  const fs::path scan = Build("scan-2.0.tar.gz", dir, "scan-2.0/src", "scan");
  ASSERT_FALSE(scan.empty()) << test::ReadFile(dir / "build.log") << test::ReadFile(dir / "build2.log");
  const fs::path home = dir / "scan-2.0";
  auto writeIni = [&](bool server, bool initiator, int port, int moves) {
    test::WriteFile(home / "scan.ini",
                    "book = true\nbook-margin = 2\nthreads = 1\ntt-size = 20\nbb-size = 4\n"
                    "dxp-server = " +
                        std::string(server ? "true" : "false") + "\ndxp-host = 127.0.0.1\ndxp-port = " +
                        std::to_string(port) + "\ndxp-initiator = " + (initiator ? "true" : "false") +
                        "\ndxp-time = 0\ndxp-moves = " + std::to_string(moves) +
                        "\ndxp-board = false\ndxp-search = false\n");
  };
  // Scan reads the time of our game requests as whole minutes; with 0 it
  // searches a fixed depth quickly.
  auto scanViews = [&](const fs::path& out) {
    std::vector<std::string> v;
    static const std::regex line(R"((win|loss|draw)\s+games\s+\d+)");
    const std::string text = test::ReadFile(out);
    for (std::sregex_iterator it(text.begin(), text.end(), line), end; it != end; ++it) v.push_back((*it)[1]);
    return v;
  };

  {
    SCOPED_TRACE("Scan serves and follows; we connect and initiate");
    const int port = FreePort();
    writeIni(true, false, port, 0);
    TChildProcess peer;
    std::string error;
    ASSERT_TRUE(peer.Start("./src/scan dxp > scan1.out 2>&1", home.string(), error)) << error;
    ASSERT_TRUE(WaitForText(home / "scan1.out", "waiting for a connection"))
        << test::ReadFile(home / "scan1.out");
    std::string out;
    const int status = test::RunQuorlin(
        "dxp Analytic.eng --hash 8 --connect 127.0.0.1:" + std::to_string(port) +
            " --initiator --games 2 --time 0 --move-time 50 --pdn-out " + (dir / "scan1.pdn").string(),
        out);
    peer.Stop(10s);
    ExpectCleanSession(out, status, dir / "scan1.pdn");
    const std::vector<std::string> ours = test::SessionResults(out), theirs = scanViews(home / "scan1.out");
    ASSERT_EQ(theirs.size(), 2u) << test::ReadFile(home / "scan1.out");
    // We play White in game 1 and Black in game 2.
    EXPECT_EQ(ours[0], FromPeer(theirs[0], false)) << out;
    EXPECT_EQ(ours[1], FromPeer(theirs[1], true)) << out;
  }
  {
    SCOPED_TRACE("We serve and follow; Scan connects and initiates, ending each game after 20 moves");
    TChildProcess ours;
    std::string out, error;
    const int port = test::StartListeningDxp(ours, "--games 2 --move-time 50 --pdn-out scan2.pdn", dir, out);
    ASSERT_GT(port, 0) << out;
    writeIni(false, true, port, 20);
    TChildProcess peer;
    ASSERT_TRUE(peer.Start("./src/scan dxp > scan2.out 2>&1", home.string(), error)) << error;
    out += test::ReadToEnd(ours);
    const int status = ours.Stop(10s);
    peer.Stop(10s);
    ExpectCleanSession(out, status, dir / "scan2.pdn");
    // Scan ends a game at its move limit without a result, which both sides
    // then record as unknown (Scan counts it as a draw).
    const std::vector<std::string> mine = test::SessionResults(out), theirs = scanViews(home / "scan2.out");
    ASSERT_EQ(theirs.size(), 2u) << test::ReadFile(home / "scan2.out");
    for (int g = 0; g < 2; ++g) {
      SCOPED_TRACE(g + 1);
      // Scan plays White in its first game.
      const bool scanWhite = g == 0;
      if (mine[g] == "*")
        EXPECT_EQ(theirs[g], "draw");
      else
        EXPECT_EQ(mine[g], FromPeer(theirs[g], scanWhite)) << out;
    }
  }
}

// Moby Dam follows; it serves, then it connects to us.
TEST_F(DxpPeers, MobyDam) {
  const fs::path dir = test::FreshDir("moby");
  const fs::path moby = Build("mobydam.tar.gz", dir, "mobydam/main", "mobydam");
  ASSERT_FALSE(moby.empty()) << test::ReadFile(dir / "build.log") << test::ReadFile(dir / "build2.log");
  const fs::path home = moby.parent_path();
  // Its games, by round: the result it recorded (files named after its result).
  auto mobyResults = [&] {
    std::map<int, std::string> byRound;
    for (const auto& entry : fs::directory_iterator(home)) {
      if (entry.path().filename().string().rfind("result", 0) != 0) continue;
      std::istringstream in(test::ReadFile(entry.path()));
      int round = 0;
      static const std::regex tag(R"re(^\[(\w+) "(.*)"\])re");
      for (std::string l; std::getline(in, l);) {
        std::smatch m;
        if (!std::regex_search(l, m, tag)) continue;
        if (m[1] == "Round") round = std::stoi(m[2]);
        if (m[1] == "Result") byRound[round] = m[2];
      }
    }
    for (const auto& entry : fs::directory_iterator(home))
      if (entry.path().filename().string().rfind("result", 0) == 0) fs::remove(entry.path());
    return byRound;
  };
  // Moby Dam takes its time from the game request (whole minutes); a hard
  // limit per move, typed on its console, keeps the games short.
  auto startMoby = [&](TChildProcess& p, const std::string& args, const std::string& outName) {
    std::string error;
    EXPECT_TRUE(p.Start("./mobydam -b ../book/book.opn -t 20 " + args + " > " + outName + " 2>&1",
                        home.string(), error))
        << error;
    p.WriteLine("time 50");
  };

  {
    SCOPED_TRACE("Moby Dam serves; we connect and initiate");
    const int port = FreePort();
    TChildProcess peer;
    startMoby(peer, "-p " + std::to_string(port), "moby1.out");
    ASSERT_TRUE(WaitForText(home / "moby1.out", "listening on port")) << test::ReadFile(home / "moby1.out");
    std::string out;
    const int status =
        test::RunQuorlin("dxp Analytic.eng --hash 8 --connect 127.0.0.1:" + std::to_string(port) +
                             " --initiator --games 2 --time 1 --moves 0 --move-time 50 --pdn-out " +
                             (dir / "moby1.pdn").string(),
                         out);
    peer.Stop(10s);
    ExpectCleanSession(out, status, dir / "moby1.pdn");
    const std::vector<std::string> ours = test::SessionResults(out);
    const std::map<int, std::string> theirs = mobyResults();
    ASSERT_EQ(theirs.size(), 2u) << out;
    for (int g = 0; g < 2 && g < static_cast<int>(ours.size()); ++g)
      EXPECT_EQ(theirs.at(g + 1), ours[g]) << out;
  }
  {
    SCOPED_TRACE("We serve and initiate; Moby Dam connects and ends each game after 25 moves");
    TChildProcess ours;
    std::string out, error;
    const int port = test::StartListeningDxp(
        ours, "--initiator --games 2 --time 1 --moves 25 --move-time 50 --pdn-out moby2.pdn", dir, out);
    ASSERT_GT(port, 0) << out;
    TChildProcess peer;
    startMoby(peer, "-c 127.0.0.1 -p " + std::to_string(port), "moby2.out");
    out += test::ReadToEnd(ours);
    const int status = ours.Stop(10s);
    peer.Stop(10s);
    ExpectCleanSession(out, status, dir / "moby2.pdn");
    const std::vector<std::string> mine = test::SessionResults(out);
    const std::map<int, std::string> theirs = mobyResults();
    ASSERT_EQ(theirs.size(), 2u) << out;
    for (int g = 0; g < 2 && g < static_cast<int>(mine.size()); ++g)
      EXPECT_EQ(theirs.at(g + 1), mine[g]) << out;
  }
}

}  // namespace
}  // namespace quorlin
