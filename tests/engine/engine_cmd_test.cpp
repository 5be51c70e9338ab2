// The quorlin eval and quorlin engine check commands.
#include <gtest/gtest.h>

#include "test_support.h"

namespace quorlin {
namespace {

// An engine folder named after its variant, with two stages: stage 0 for 9..24
// pieces with weights, stage 1 for 1..8 pieces with weights that favour the
// side to move by one man.
std::filesystem::path MakeEngine(const std::string& variant, const std::string& version = "40") {
  const auto dir = test::FreshDir("cmd") / variant;
  std::filesystem::create_directories(dir);
  test::WriteFile(dir / "Demo.eng",
                  "[Name \"Demo\"]\r\n[Version \"" + version +
                      "\"]\r\n[Stage \"0\"]\r\n[MinDraughts \"9\"]\r\n[MaxDraughts \"24\"]\r\n"
                      "[EvalFNC \"a.evf\"]\r\n[Stage \"1\"]\r\n[MinDraughts \"1\"]\r\n"
                      "[MaxDraughts \"8\"]\r\n[EvalFNC \"b.evf\"]\r\n");
  test::WriteFile(dir / "a.evf",
                  "[ManValue \"100\"]\r\n[SideToMove \"7\"]\r\n[Mask \"0000000000000003 0 0 12\"]\r\n");
  test::WriteFile(dir / "b.evf", "[ManValue \"100\"]\r\n[SideToMove \"100\"]\r\n");
  return dir;
}

TEST(QuorlinEval, PrintsTheStageAndTheEvaluation) {
  const auto dir = MakeEngine("Russian");
  const std::string eng = (dir / "Demo.eng").string();
  struct Case {
    std::string args;
    const char* stage;
    const char* value;
  };
  const Case cases[] = {
      // Start: balanced men, side to move 7, pattern on squares 1 and 2: 0.19.
      {"russian " + eng, "stage: 0 (pieces 9..24, weights a.evf)", "evaluation: 0.19 "},
      // Black to move with two men against one, stage 1: -1 + 1.
      {"russian " + eng + " --fen B:W5,6:B28", "stage: 1 (pieces 1..8, weights b.evf)", "evaluation: 0 "},
      {"russian " + eng + " --fen W:W5,6:B28", "stage: 1", "evaluation: 2 "},
  };
  for (const Case& c : cases) {
    std::string out;
    ASSERT_EQ(test::RunQuorlin("eval " + c.args, out), 0) << out;
    EXPECT_NE(out.find(c.stage), std::string::npos) << out;
    EXPECT_NE(out.find(c.value), std::string::npos) << out;
  }
  // An array-board engine always uses stage 0.
  const auto old = MakeEngine("Russian", "211");
  std::string out;
  ASSERT_EQ(test::RunQuorlin("eval russian " + (old / "Demo.eng").string() + " --fen W:W5,6:B28", out), 0)
      << out;
  EXPECT_NE(out.find("array-board"), std::string::npos) << out;
  EXPECT_NE(out.find("stage: 0"), std::string::npos) << out;
  EXPECT_NE(out.find("evaluation: 1.07 "), std::string::npos) << out;
}

TEST(QuorlinEval, ErrorsAreReported) {
  const auto dir = MakeEngine("Frisian");
  const std::string eng = (dir / "Demo.eng").string();
  std::string out;
  EXPECT_EQ(test::RunQuorlin("eval frisian " + eng, out), 1);
  EXPECT_NE(out.find("Frisian cannot use"), std::string::npos) << out;
  EXPECT_EQ(test::RunQuorlin("eval russian " + eng + " --fen W:W1,2,99:B32", out), 2);
  EXPECT_NE(out.find("bad FEN"), std::string::npos) << out;
  EXPECT_EQ(test::RunQuorlin("eval russian " + (dir / "none.eng").string(), out), 1);
  EXPECT_NE(out.find("not found"), std::string::npos) << out;
  test::WriteFile(dir / "a.evf", "[ManValue \"1,5\"]\r\n");
  EXPECT_EQ(test::RunQuorlin("eval russian " + eng, out), 1);
  EXPECT_NE(out.find("a.evf:1: ManValue"), std::string::npos) << out;
  EXPECT_EQ(test::RunQuorlin("eval russian", out), 2);
}

TEST(QuorlinEngineCheck, ReportsAndWritesBack) {
  const auto dir = MakeEngine("Turkish");
  std::string out;
  ASSERT_EQ(
      test::RunQuorlin(
          "engine check " + (dir / "Demo.eng").string() + " --save " + (dir / "Copy.eng").string(), out),
      0)
      << out;
  for (const char* text : {"variant: Turkish (from the folder name)", "name: Demo", "version: 40 (bitboard",
                           "stages: 2", "stage 1: pieces 1..8",
                           "a.evf: 1 patterns (1 multi-square), ManValue 100, "
                           "KingValue 450"})
    EXPECT_NE(out.find(text), std::string::npos) << text << "\n" << out;
  EXPECT_TRUE(std::filesystem::exists(dir / "Copys0.evf"));
  EXPECT_TRUE(std::filesystem::exists(dir / "Copys1.evf"));
  std::string again;
  ASSERT_EQ(test::RunQuorlin("engine check " + (dir / "Copy.eng").string(), again), 0) << again;
  EXPECT_NE(again.find("Copys0.evf: 1 patterns"), std::string::npos) << again;

  // A missing weights file is reported and fails the check.
  std::filesystem::remove(dir / "b.evf");
  EXPECT_EQ(test::RunQuorlin("engine check " + (dir / "Demo.eng").string(), out), 1);
  EXPECT_NE(out.find("warning: stage 1: weights file b.evf does not exist"), std::string::npos) << out;
  // A variant given explicitly wins over the folder; Canadian refuses Version 40.
  EXPECT_EQ(test::RunQuorlin("engine check " + (dir / "Demo.eng").string() + " --variant canadian", out), 1);
  EXPECT_NE(out.find("Canadian cannot use"), std::string::npos) << out;
  EXPECT_EQ(test::RunQuorlin("engine list", out), 2);
}

}  // namespace
}  // namespace quorlin
