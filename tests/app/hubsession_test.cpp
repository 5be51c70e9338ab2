// Our engine under a Hub interface: scripted sessions of an interface, the
// commands that may come during a search, and what is wrong in the lines.
#include "app/hubsession.h"

#include <gtest/gtest.h>

#include <chrono>
#include <mutex>
#include <thread>
#include <vector>

#include "app/wiremove.h"
#include "engine/book.h"
#include "rules/movegen.h"
#include "rules/variants.h"
#include "test_support.h"

namespace quorlin {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

const std::string kStart = "W" + std::string(20, 'b') + std::string(10, 'e') + std::string(20, 'w');

// The position text after `moves` (texts) from `pos`.
std::string After(const std::string& pos, const std::vector<std::string>& moves,
                  int variant = kInternational) {
  const TGameParams& p = VariantTable[variant];
  TBoard b;
  TDColor side;
  std::string error;
  EXPECT_TRUE(ParseHubPosition(pos, p, b, side, error)) << error;
  for (const std::string& text : moves) {
    TWireMove w;
    EXPECT_TRUE(ParseWireMoveText(text, w, error)) << error;
    const TWireMatch m = MatchWireMove(w, b, side, p);
    EXPECT_EQ(m.kind, TWireMatchKind::Found) << text;
    ApplyMove(m.move, b, p);
    side = side == TDColor::white ? TDColor::black : TDColor::white;
  }
  return HubPositionText(b, side, p);
}

fs::path Shipped(int variant) {
  return test::ProgramDir() / "EnginesTest" / VariantTable[variant].Name / "Analytic.eng";
}

// An interface talking to a session: lines in, lines collected.
class HubSession : public testing::Test {
 protected:
  void SetUp() override { Open(THubSessionOptions{}); }
  void TearDown() override { session_.reset(); }

  void Open(THubSessionOptions o) {
    session_.reset();
    if (!o.engineFor) o.engineFor = [](int variant) { return Shipped(variant); };
    o.hashMb = 8;
    session_ = std::make_unique<THubSession>(std::move(o), [this](const std::string& line) {
      std::lock_guard<std::mutex> g(lock_);
      out_.push_back(line);
    });
  }

  bool Send(const std::string& line) { return session_->HandleLine(line); }

  std::vector<std::string> Lines() {
    std::lock_guard<std::mutex> g(lock_);
    return out_;
  }
  // Lines written since the last call.
  std::vector<std::string> Take() {
    std::lock_guard<std::mutex> g(lock_);
    std::vector<std::string> fresh(out_.begin() + static_cast<long>(seen_), out_.end());
    seen_ = out_.size();
    return fresh;
  }
  // Waits (for a search) until a line starting with `command` appears after
  // those already taken; returns it, or "" after a generous limit.
  std::string WaitFor(const std::string& command) {
    for (int i = 0; i < 3000; ++i) {
      {
        std::lock_guard<std::mutex> g(lock_);
        for (size_t k = seen_; k < out_.size(); ++k)
          if (out_[k] == command || out_[k].rfind(command + " ", 0) == 0) return out_[k];
      }
      std::this_thread::sleep_for(10ms);
    }
    return "";
  }
  int Count(const std::vector<std::string>& lines, const std::string& command) {
    int n = 0;
    for (const std::string& l : lines) n += l == command || l.rfind(command + " ", 0) == 0;
    return n;
  }

  // The legal move of `done` in the position `pos` (with `moves`), checked.
  void ExpectLegalDone(const std::string& done, const std::string& pos, int variant = kInternational) {
    THubLine line;
    std::string error;
    ASSERT_TRUE(ParseHubLine(done, line, error)) << error;
    ASSERT_TRUE(line.Get("move")) << done;
    const TGameParams& p = VariantTable[variant];
    TBoard b;
    TDColor side;
    ASSERT_TRUE(ParseHubPosition(pos, p, b, side, error)) << error;
    TWireMove w;
    ASSERT_TRUE(ParseWireMoveText(*line.Get("move"), w, error)) << error;
    EXPECT_EQ(MatchWireMove(w, b, side, p).kind, TWireMatchKind::Found) << done;
  }

  std::unique_ptr<THubSession> session_;
  std::mutex lock_;
  std::vector<std::string> out_;
  size_t seen_ = 0;
};

TEST_F(HubSession, AnInterfaceSession) {
  Send("hub");
  std::vector<std::string> lines = Take();
  ASSERT_GE(lines.size(), 3u);
  EXPECT_EQ(lines.front().rfind("id name=Quorlin version=", 0), 0u) << lines.front();
  EXPECT_EQ(lines.back(), "wait");
  EXPECT_EQ(Count(lines, "param"), 5);
  for (const char* p :
       {"param name=variant value=normal type=enum values=\"normal killer frisian\"",
        "param name=threads value=1 type=int min=1 max=64", "param name=book value=\"\" type=string"})
    EXPECT_NE(std::find(lines.begin(), lines.end(), p), lines.end()) << p;

  Send("set-param name=threads value=1");
  Send("set-param name=some-other-engines-option value=3");
  Send("init");
  EXPECT_EQ(Take(), std::vector<std::string>{"ready"});
  Send("new-game");
  // After 32-28 19-23 White must take: 28x19x23 is the only move.
  Send("pos pos=" + kStart + " moves=\"32-28 19-23\"");
  Send("level move-time=0.3");
  Send("go think");
  Send("ping");
  const std::string done = WaitFor("done");
  lines = Take();
  EXPECT_EQ(Count(lines, "pong"), 1);
  ASSERT_EQ(Count(lines, "done"), 1);
  EXPECT_EQ(done.rfind("done move=28x19x23", 0), 0u) << done;
  for (const std::string& l : lines) {
    if (l.rfind("info", 0) != 0) continue;
    THubLine info;
    std::string error;
    ASSERT_TRUE(ParseHubLine(l, info, error)) << error;
    for (const char* field : {"depth", "mean-depth", "score", "nodes", "time", "nps", "pv"})
      EXPECT_TRUE(info.Has(field)) << l;
    EXPECT_EQ(info.Get("pv")->rfind("28x19x23", 0), 0u) << l;
  }

  // The reply, from the position after it; the interface sends the whole line.
  Send("pos pos=" + kStart + " moves=\"32-28 19-23 28x19x23 14x23x19\"");
  Send("level moves=40 time=60 inc=0");
  Send("go think");
  const std::string second = WaitFor("done");
  Take();
  ExpectLegalDone(second, After(kStart, {"32-28", "19-23", "28x19x23", "14x23x19"}));
  EXPECT_FALSE(Send("quit"));
}

TEST_F(HubSession, StopPingAndPonderDuringASearch) {
  Send("init");
  Send("pos pos=" + kStart);
  Send("level infinite");
  Send("go analyze");
  std::this_thread::sleep_for(100ms);
  Send("ping");
  Send("stop");
  std::vector<std::string> lines = Take();
  EXPECT_EQ(Count(lines, "pong"), 1);
  ASSERT_EQ(Count(lines, "done"), 1);
  ExpectLegalDone(lines.back(), kStart);

  // A ponder search holds its answer, even when its depth is reached, until
  // the interface confirms the move.
  Send("level depth=3");
  Send("go ponder");
  std::this_thread::sleep_for(300ms);
  EXPECT_EQ(Count(Take(), "done"), 0);
  EXPECT_TRUE(session_->Searching());
  Send("ponder-hit");
  ExpectLegalDone(WaitFor("done"), kStart);
  Take();

  // A ponder search on a time control thinks as long as the control allows
  // after ponder-hit.
  Send("level move-time=0.2");
  Send("go ponder");
  std::this_thread::sleep_for(100ms);
  EXPECT_EQ(Count(Take(), "done"), 0);
  Send("ponder-hit");
  ExpectLegalDone(WaitFor("done"), kStart);
  Take();

  // Any other command ends the search first.
  Send("go analyze");
  Send("pos pos=" + kStart);
  lines = Take();
  EXPECT_EQ(Count(lines, "done"), 1);
  EXPECT_EQ(Count(lines, "error"), 1);
  EXPECT_FALSE(session_->Searching());
}

TEST_F(HubSession, TheInputClosingStopsTheSearch) {
  Send("init");
  Send("pos pos=" + kStart);
  Send("level infinite");
  Send("go think");
  std::this_thread::sleep_for(50ms);
  session_->Finish();
  EXPECT_EQ(Count(Take(), "done"), 1);
  EXPECT_FALSE(session_->Searching());
}

struct ErrorCase {
  const char* label;
  std::vector<std::string> lines;
  const char* error;  // part of the error line; "" when nothing is written
};

class HubSessionErrors : public HubSession, public testing::WithParamInterface<ErrorCase> {};

TEST_P(HubSessionErrors, WrongLinesGetAClearErrorAndNothingBreaks) {
  const ErrorCase& c = GetParam();
  Send("init");
  Take();
  for (const std::string& l : c.lines) Send(l);
  const std::vector<std::string> lines = Take();
  if (!*c.error) {
    EXPECT_TRUE(lines.empty());
  } else {
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines[0].rfind("error message=", 0), 0u) << lines[0];
    EXPECT_NE(lines[0].find(c.error), std::string::npos) << lines[0];
  }
  // The session still works afterwards.
  Send("set-param name=variant value=normal");
  Send("pos pos=" + kStart);
  Send("level depth=3");
  Send("go think");
  ExpectLegalDone(WaitFor("done"), kStart);
}

INSTANTIATE_TEST_SUITE_P(
    Lines, HubSessionErrors,
    testing::Values(
        ErrorCase{"Unterminated", {"pos pos=\"Wbbb"}, "unterminated quote"},
        ErrorCase{"ShortPosition", {"pos pos=Wbbb"}, "has 4 characters: expected 51"},
        ErrorCase{
            "IllegalMove", {"pos pos=" + kStart + " moves=\"32-28 19-25\""}, "move 2: illegal move 19-25"},
        ErrorCase{
            "BadMoveText", {"pos pos=" + kStart + " moves=\"32-28 e7-e5\""}, "move 2: move \\\"e7-e5\\\""},
        ErrorCase{"GoWithoutPosition", {"pos pos=Wxyz", "go think"}, "has 4 characters"},
        ErrorCase{"UnknownVariant", {"set-param name=variant value=bt"}, "variant \\\"bt\\\" is not played"},
        ErrorCase{"BadThreads", {"set-param name=threads value=0"}, "not a whole number 1..64"},
        ErrorCase{"BadLevel", {"level depth=x"}, "level: depth=\\\"x\\\""},
        ErrorCase{"UnknownCommand", {"foo bar=1", "stop", "ponder-hit"}, ""}),
    [](const testing::TestParamInfo<ErrorCase>& i) { return std::string(i.param.label); });

TEST_F(HubSession, GoWithoutAPositionAnswersDoneWithoutAMove) {
  Send("init");
  Send("go think");
  const std::vector<std::string> lines = Take();
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_NE(lines[1].find("go without a valid position"), std::string::npos) << lines[1];
  EXPECT_EQ(lines[2], "done");
  // A position without a move for the side to move: done without a move.
  Send("pos pos=W" + std::string(45, 'e') + "bbbbb");
  Send("go think");
  EXPECT_EQ(WaitFor("done"), "done");
}

TEST_F(HubSession, EachVariantPlaysWithItsEngine) {
  for (const char* v : {"killer", "frisian", "normal"}) {
    SCOPED_TRACE(v);
    Send(std::string("set-param name=variant value=") + v);
    Send("init");
    Send("pos pos=" + kStart + " moves=\"33-28 18-23\"");
    Send("level depth=3");
    Send("go think");
    const std::string done = WaitFor("done");
    Take();
    ExpectLegalDone(done, After(kStart, {"33-28", "18-23"}, HubVariantSlot(v)), HubVariantSlot(v));
  }
}

TEST_F(HubSession, BookMovesComeAtOnceWhenTheEngineUsesABook) {
  // An engine description that allows the book, and a one-position book that
  // marks 32-28 as good.
  const fs::path dir = test::FreshDir("hubbook");
  std::string eng = test::ReadFile(Shipped(kInternational));
  const size_t at = eng.find("[UseBook \"False\"]");
  ASSERT_NE(at, std::string::npos);
  eng.replace(at, 17, "[UseBook \"True\"]");
  test::WriteFile(dir / "Booked.eng", eng);
  fs::copy_file(Shipped(kInternational).parent_path() / "Analytics0.evf", dir / "Analytics0.evf");

  const TGameParams& p = VariantTable[kInternational];
  TBoard after;
  std::string error;
  TDColor side;
  ASSERT_TRUE(ParseHubPosition(kStart, p, after, side, error));
  TMvs list;
  uint8_t n = 0;
  GenerateMoves(after, 0, list, n, p, true);
  bool found = false;
  for (int i = 1; i <= n && !found; ++i) {
    if (WireMoveText(ToWireMove(list[i], p)) != "32-28") continue;
    ApplyMove(list[i], after, p);
    found = true;
  }
  ASSERT_TRUE(found);
  TBookRecord record;
  record.key = PackBoard(after, 1, p);
  record.annotation = 2;  // "!"
  uint8_t bytes[kBookRecordSize];
  PackBookRecord(record, bytes);
  test::WriteFile(dir / "Tiny.cbk", std::string(reinterpret_cast<char*>(bytes), kBookRecordSize));

  THubSessionOptions o;
  o.engineFor = [dir](int) { return dir / "Booked.eng"; };
  o.book = (dir / "Tiny.cbk").string();
  Open(o);
  Send("init");
  Send("pos pos=" + kStart);
  Send("level move-time=5");
  Send("go think");
  const std::vector<std::string> lines = Take();
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[1], "done move=32-28");
  // Analysis never takes book moves: it searches.
  Send("level depth=5");
  Send("go analyze");
  EXPECT_NE(WaitFor("done"), "");
  EXPECT_GE(Count(Take(), "info"), 1);
}

}  // namespace
}  // namespace quorlin
