// Reading and writing .eng engine descriptions.
#include "engine/enginefile.h"

#include <gtest/gtest.h>

#include "engine/textfile.h"
#include "test_support.h"

namespace quorlin {
namespace {

std::string Lines(std::initializer_list<const char*> lines) {
  std::string s;
  for (const char* l : lines) s += std::string(l) + "\r\n";
  return s;
}

const char* kWeights40 =
    "[Version \"40\"]\r\n[ManValue \"100\"]\r\n[KingValue \"310\"]\r\n"
    "[Mask \"0000000000000003 0000000000000000 0000000000000004 25\"]\r\n";

TEST(EngineFile, WriteThenReadTwoStagesWithWeightsAndNetwork) {
  const auto dir = test::FreshDir("eng");
  test::WriteFile(dir / "w.evf", kWeights40);
  test::WriteFile(dir / "n.mynn", "2\n1\nReLu\nTrue\n2\n2\n0\n0\n1\n2\n0.5\n-0.25\n");
  test::WriteFile(dir / "Src.eng", Lines({
                                       "[Name \"Test engine\"]",
                                       "[Version \"40\"]",
                                       "[ELO \"1850\"]",
                                       "[GiveAway \"false\"]",
                                       "[UseBook \"TRUE\"]",
                                       "[MaxThreads \"4\"]",
                                       "[MaxDepth \"30\"]",
                                       "[MaxPos \"$100\"]",
                                       "[Stage \"0\"]",
                                       "[MinDraughts \"9\"]",
                                       "[MaxDraughts \"40\"]",
                                       "[EDMaxDraughts \"6\"]",
                                       "[ExtSelfMin \"0.5\"]",
                                       "[ExtSelfMax \"0.75\"]",
                                       "[ExtOppMin \"0.1\"]",
                                       "[ExtOppMax \"0.2\"]",
                                       "[ReductAlphaMin \"0.3\"]",
                                       "[ReductAlphaMax \"0.4\"]",
                                       "[ReductBetaMin \"0.45\"]",
                                       "[ReductBetaMax \"0.55\"]",
                                       "[RangeAlphaSelf \"1.5\"]",
                                       "[RangeAlphaOpp \"-2\"]",
                                       "[RangeBetaSelf \"0.125\"]",
                                       "[RangeBetaOpp \"3\"]",
                                       "[MovesCntMin \"12\"]",
                                       "[MovesCntTot \"60\"]",
                                       "[EvalFNC \"w.evf\"]",
                                       "",
                                       "[Stage \"1\"]",
                                       "[UseLearning \"True\"]",
                                       "[MinDraughts \"1\"]",
                                       "[MaxDraughts \"8\"]",
                                       "[EvalFNC \"n.mynn\"]",
                                   }));
  TEvalFunc ef;
  TEngineLoadNotes notes;
  ASSERT_TRUE(LoadEngine(dir / "Src.eng", ef, kRussian, &notes));
  EXPECT_EQ(notes.WeightsFile, (std::vector<std::string>{"w.evf", "n.mynn"}));
  EXPECT_EQ(notes.WeightsFound, (std::vector<bool>{true, true}));

  const auto out = test::FreshDir("engout");
  SaveEngine(out / "Test.eng", ef);
  EXPECT_TRUE(std::filesystem::exists(out / "Tests0.evf"));
  EXPECT_TRUE(std::filesystem::exists(out / "Tests1.mynn"));
  EXPECT_FALSE(std::filesystem::exists(out / "Tests1.evf"));
  const std::string text = test::ReadFile(out / "Test.eng");
  const std::string head =
      "[Name \"Test engine\"]\r\n[Version \"40\"]\r\n[GiveAway \"False\"]\r\n[UseBook \"True\"]\r\n"
      "[MaxThreads \"4\"]\r\n[MaxDepth \"30\"]\r\n[MaxPos \"256\"]\r\n[ELO \"1850\"]\r\n\r\n[Stage \"0\"]\r\n"
      "[UseLearning \"False\"]\r\n[MinDraughts \"9\"]\r\n[MaxDraughts \"40\"]\r\n[EDMaxDraughts \"6\"]\r\n"
      "[ExtSelfMin \"0.5\"]\r\n[ExtSelfMax \"0.75\"]\r\n[ExtOppMin \"0.1\"]\r\n[ExtOppMax \"0.2\"]\r\n"
      "[ReductAlphaMin \"0.3\"]\r\n[ReductAlphaMax \"0.4\"]\r\n[ReductBetaMin \"0.45\"]\r\n"
      "[ReductBetaMax \"0.55\"]\r\n[RangeAlphaSelf \"1.5\"]\r\n[RangeAlphaOpp \"-2\"]\r\n"
      "[RangeBetaSelf \"0.125\"]\r\n[RangeBetaOpp \"3\"]\r\n";
  EXPECT_EQ(text.substr(0, head.size()), head);
  EXPECT_NE(
      text.find(
          "[MovesCntTot \"60\"]\r\n[MovesCntMin \"12\"]\r\n[EvalFNC \"Tests0.evf\"]\r\n\r\n[Stage \"1\"]"),
      std::string::npos);
  EXPECT_NE(text.find("[EvalFNC \"Tests1.mynn\"]\r\n"), std::string::npos);

  TEvalFunc back;
  ASSERT_TRUE(LoadEngine(out / "Test.eng", back, kRussian));
  EXPECT_EQ(back.Name, "Test engine");
  EXPECT_EQ(back.Version, 40);
  EXPECT_EQ(back.ELO, 1850);
  EXPECT_FALSE(back.Giveaway);
  EXPECT_TRUE(back.UseBook);
  EXPECT_EQ(back.MaxThreads, 4);
  EXPECT_EQ(back.MaxDepth, 30);
  EXPECT_EQ(back.MaxPos, 256);
  ASSERT_EQ(back.Stages.size(), 2u);
  const TEngineStage& s = back.Stages[0];
  EXPECT_EQ(s.MinDraughts, 9);
  EXPECT_EQ(s.MaxDraughts, 40);
  EXPECT_EQ(s.EDMaxDraughts, 6);
  EXPECT_EQ(s.ExtSelfMin, 0.5f);
  EXPECT_EQ(s.ExtSelfMax, 0.75f);
  EXPECT_EQ(s.ExtOppMin, 0.1f);
  EXPECT_EQ(s.ExtOppMax, 0.2f);
  EXPECT_EQ(s.ReductAlphaMin, 0.3f);
  EXPECT_EQ(s.ReductAlphaMax, 0.4f);
  EXPECT_EQ(s.ReductBetaMin, 0.45f);
  EXPECT_EQ(s.ReductBetaMax, 0.55f);
  EXPECT_EQ(s.RangeAlphaSelf, 1.5f);
  EXPECT_EQ(s.RangeAlphaOpp, -2);
  EXPECT_EQ(s.RangeBetaSelf, 0.125f);
  EXPECT_EQ(s.RangeBetaOpp, 3);
  EXPECT_EQ(s.MovesCntMin, 12);
  EXPECT_EQ(s.MovesCntTot, 60);
  EXPECT_FALSE(s.UseLearning);
  EXPECT_EQ(s.Eval.Version, 40);
  EXPECT_EQ(s.Eval.KingValue, 310);
  ASSERT_EQ(s.Eval.Size, 1);
  EXPECT_EQ(s.Eval.Patt[0].value, 25);
  EXPECT_EQ(s.Eval.RealSize, 1);
  const TEngineStage& t = back.Stages[1];
  EXPECT_TRUE(t.UseLearning);
  EXPECT_TRUE(t.Eval.UseNN);
  EXPECT_EQ(t.Eval.Version, 40);
  EXPECT_TRUE(t.Eval.Net.IsBias);
  EXPECT_EQ(t.Eval.Net.Neurons[1][0].weights, (std::vector<float>{0.5f, -0.25f}));

  // Saving the read-back description gives the same files.
  const auto again = test::FreshDir("engagain");
  SaveEngine(again / "Test.eng", back);
  for (const char* f : {"Test.eng", "Tests0.evf", "Tests1.mynn"})
    EXPECT_EQ(test::ReadFile(again / f), test::ReadFile(out / f)) << f;
}

TEST(EngineFile, StageTagsAndDefaults) {
  struct Case {
    const char* name;
    std::string text;
    size_t stages;
    int32_t min0, min1;
  };
  const Case cases[] = {
      {"no Stage tag: everything goes to stage 0", Lines({"[MinDraughts \"3\"]", "[MinDraughts \"4\"]"}), 1,
       4, -1},
      {"Stage 2 then Stage 1 keeps two stages",
       Lines({"[Stage \"2\"]", "[MinDraughts \"7\"]", "[Stage \"1\"]", "[MinDraughts \"5\"]"}), 2, 0, 5},
      {"Stage 1 then Stage 0 keeps one stage",
       Lines({"[Stage \"1\"]", "[MinDraughts \"5\"]", "[Stage \"0\"]"}), 1, 0, -1},
      {"tags are case-sensitive", Lines({"[mindraughts \"5\"]", "[Stage \"1\"]", "[stage \"0\"]"}), 2, 0, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const auto path = test::FreshDir("engstage") / "e.eng";
    test::WriteFile(path, c.text);
    TEvalFunc ef;
    ASSERT_TRUE(LoadEngine(path, ef, kRussian));
    ASSERT_EQ(ef.Stages.size(), c.stages);
    EXPECT_EQ(ef.Stages[0].MinDraughts, c.min0);
    if (c.stages > 1) {
      EXPECT_EQ(ef.Stages[1].MinDraughts, c.min1);
    }
    // Engine fields that the file does not set get their defaults.
    EXPECT_EQ(ef.Name, "Empty");
    EXPECT_EQ(ef.Version, 211);
    EXPECT_FALSE(ef.UseBook);
  }
}

TEST(EngineFile, AByteOrderMarkBeforeTheFirstTagIsSkipped) {
  const auto path = test::FreshDir("engbom") / "e.eng";
  test::WriteFile(path, "\xEF\xBB\xBF[Name \"Bom\"]\n[ELO \"1700\"]\n");
  TEvalFunc ef;
  ASSERT_TRUE(LoadEngine(path, ef, kRussian));
  EXPECT_EQ(ef.Name, "Bom");
  EXPECT_EQ(ef.ELO, 1700);
}

TEST(EngineFile, WithoutVersionEveryStageUsesTheArrayBoardEvaluation) {
  const auto dir = test::FreshDir("engver");
  test::WriteFile(dir / "w.evf", kWeights40);
  test::WriteFile(dir / "e.eng", Lines({"[Name \"NoVersion\"]", "[EvalFNC \"w.evf\"]", "[Stage \"1\"]"}));
  TEvalFunc ef;
  ASSERT_TRUE(LoadEngine(dir / "e.eng", ef, kRussian));
  EXPECT_EQ(ef.Version, 211);
  for (const TEngineStage& s : ef.Stages) EXPECT_EQ(s.Eval.Version, 211);
  EXPECT_EQ(ef.Stages[0].Eval.Size, 1);  // the patterns are still read
  // The low byte of the Version goes into the stages.
  test::WriteFile(dir / "v.eng", Lines({"[Version \"296\"]"}));
  ASSERT_TRUE(LoadEngine(dir / "v.eng", ef, kRussian));
  EXPECT_EQ(ef.Stages[0].Eval.Version, 40);
}

TEST(EngineFile, AMissingFileKeepsThePreviousDescriptionButOnlyStageZero) {
  const auto dir = test::FreshDir("engmiss");
  test::WriteFile(dir / "e.eng",
                  Lines({"[Name \"Old\"]", "[ELO \"1500\"]", "[MinDraughts \"2\"]", "[Stage \"1\"]"}));
  TEvalFunc ef;
  ASSERT_TRUE(LoadEngine(dir / "e.eng", ef, kRussian));
  ASSERT_EQ(ef.Stages.size(), 2u);
  TEngineLoadNotes notes;
  EXPECT_FALSE(LoadEngine(dir / "missing.eng", ef, kRussian, &notes));
  EXPECT_EQ(ef.Name, "Old");
  EXPECT_EQ(ef.ELO, 1500);
  ASSERT_EQ(ef.Stages.size(), 1u);
  EXPECT_EQ(ef.Stages[0].MinDraughts, 2);
  // A new description starts from the kept stage 0.
  test::WriteFile(dir / "f.eng", Lines({"[Name \"New\"]"}));
  ASSERT_TRUE(LoadEngine(dir / "f.eng", ef, kRussian));
  EXPECT_EQ(ef.Stages[0].MinDraughts, 2);
  EXPECT_EQ(ef.ELO, 0);
}

TEST(EngineFile, MissingWeightsFileLeavesDefaultsAndIsNoted) {
  const auto dir = test::FreshDir("engnow");
  test::WriteFile(dir / "e.eng", Lines({"[EvalFNC \"gone.evf\"]"}));
  TEvalFunc ef;
  TEngineLoadNotes notes;
  ASSERT_TRUE(LoadEngine(dir / "e.eng", ef, kTurkish, &notes));
  EXPECT_EQ(notes.WeightsFile[0], "gone.evf");
  EXPECT_FALSE(notes.WeightsFound[0]);
  EXPECT_EQ(ef.Stages[0].Eval.ManValue, 100);
  EXPECT_EQ(ef.Stages[0].Eval.KingValue, 450);
}

TEST(EngineFile, BitboardVersionsAreRefusedWhereNoBitboardSearchExists) {
  struct Case {
    int variant;
    int32_t version;
    const char* message;  // nullptr: accepted
  };
  const Case cases[] = {
      {kFrisian, 40, "Frisian cannot use"},
      {kCanadian, 40, "Canadian cannot use"},
      {kCustom, 40, "custom variants"},
      {kCustom, 211, nullptr},
      {kFrisian, 211, nullptr},
      {kCanadian, 211, nullptr},
      {kRussian, 40, nullptr},
      {kTurkish, 40, nullptr},
      {kInternational, 40, nullptr},
      {kInternationalKiller, 40, nullptr},
  };
  const auto dir = test::FreshDir("engrefuse");
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.variant) + " " + std::to_string(c.version));
    const auto path = dir / "e.eng";
    test::WriteFile(path, "[Name \"X\"]\r\n[Version \"" + std::to_string(c.version) + "\"]\r\n");
    TEvalFunc ef;
    ef.Name = "Previous";
    if (!c.message) {
      EXPECT_TRUE(LoadEngine(path, ef, c.variant));
      EXPECT_EQ(ef.Name, "X");
      continue;
    }
    try {
      LoadEngine(path, ef, c.variant);
      ADD_FAILURE() << "accepted";
    } catch (const TFileError& e) {
      EXPECT_NE(std::string(e.what()).find(c.message), std::string::npos) << e.what();
      EXPECT_NE(std::string(e.what()).find("Version 211"), std::string::npos) << e.what();
    }
    EXPECT_EQ(ef.Name, "Previous");
  }
}

TEST(EngineFile, BadValuesEndTheLoadAndKeepTheDescription) {
  struct Case {
    const char* line;
    const char* where;  // expected in the message
  };
  const Case cases[] = {
      {"[ELO \"abc\"]", "e.eng:2: ELO: \"abc\" is not a whole number"},
      {"[ExtSelfMin \"0,5\"]", "e.eng:2: ExtSelfMin: \"0,5\""},
      {"[GiveAway \"perhaps\"]", "e.eng:2: GiveAway"},
      {"[Stage \"-1\"]", "e.eng:2: Stage: stage number -1"},
      {"[Stage \"1000000\"]", "e.eng:2: Stage: stage number 1000000"},
      {"[EvalFNC \"\"]", "e.eng:2: EvalFNC: no weights file"},
      {"[EvalFNC \"bad.evf\"]", "bad.evf:2: Compress: \"0.5.5\""},
      {"[EvalFNC \"bad.mynn\"]", "bad.mynn:1: InputSize"},
  };
  const auto dir = test::FreshDir("engbad");
  test::WriteFile(dir / "bad.evf", "[ManValue \"100\"]\r\n[Compress \"0.5.5\"]\r\n");
  test::WriteFile(dir / "bad.mynn", "many\n");
  for (const Case& c : cases) {
    SCOPED_TRACE(c.line);
    test::WriteFile(dir / "e.eng", Lines({"[Name \"New\"]", c.line, "[MaxDepth \"9\"]"}));
    TEvalFunc ef;
    ef.Name = "Kept";
    ef.Stages.resize(3);
    ef.Stages[2].MinDraughts = 4;
    try {
      LoadEngine(dir / "e.eng", ef, kRussian);
      ADD_FAILURE() << "accepted";
    } catch (const TFileError& e) {
      EXPECT_NE(std::string(e.what()).find(c.where), std::string::npos) << e.what();
    }
    EXPECT_EQ(ef.Name, "Kept");
    ASSERT_EQ(ef.Stages.size(), 3u);
    EXPECT_EQ(ef.Stages[2].MinDraughts, 4);
  }
}

// A tag is read by the first keyword it begins with. With no keyword of a
// format beginning with another, each tag has one reading whatever the order
// of the table, and a longer tag ("MaxDepthOfStage1") still finds its keyword.
class TagKeywords : public testing::TestWithParam<std::vector<std::string> (*)()> {};

TEST_P(TagKeywords, NoneBeginsWithAnother) {
  const std::vector<std::string> keywords = GetParam()();
  ASSERT_GT(keywords.size(), 10u);
  for (const std::string& a : keywords)
    for (const std::string& b : keywords)
      if (&a != &b) EXPECT_NE(b.rfind(a, 0), 0u) << b << " begins with " << a;
}

INSTANTIATE_TEST_SUITE_P(Formats, TagKeywords, testing::Values(&EngineFileKeywords, &EvfFileKeywords),
                         [](const testing::TestParamInfo<std::vector<std::string> (*)()>& info) {
                           return std::string(info.index == 0 ? "EngineDescription" : "WeightsFile");
                         });

TEST(EngineFile, StageSelectionByPieceCount) {
  TEvalFunc ef;
  ef.Stages.resize(3);
  ef.Stages[0].MinDraughts = 0;
  ef.Stages[0].MaxDraughts = 0;  // never matches a real position
  ef.Stages[1].MinDraughts = 9;
  ef.Stages[1].MaxDraughts = 40;
  ef.Stages[2].MinDraughts = 1;
  ef.Stages[2].MaxDraughts = 12;
  struct Case {
    int pieces, stage;
  };
  for (const Case& c : {Case{24, 1}, Case{10, 1}, Case{8, 2}, Case{1, 2}, Case{41, 0}, Case{0, 0}})
    EXPECT_EQ(GetStageCnt(ef, c.pieces), c.stage) << c.pieces;
}

}  // namespace
}  // namespace quorlin
