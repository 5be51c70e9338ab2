#include "engine/enginefile.h"

#include "engine/textfile.h"

namespace quorlin {

std::string EngineVersionProblem(int32_t version, int typeofgame) {
  if (version == kArrayBoardVersion) return {};
  const std::string v = "Version " + std::to_string(version);
  if (typeofgame < 1 || typeofgame > kVariantCount)
    return v +
           " selects the bitboard search, but custom variants have no 64-bit board; use an engine of Version "
           + std::to_string(kArrayBoardVersion);
  if (typeofgame == kFrisian || typeofgame == kCanadian)
    return v + " selects the bitboard search, which " + VariantTable[typeofgame].Name +
           " cannot use; use an engine of Version " + std::to_string(kArrayBoardVersion);
  return {};
}

int GetStageCnt(const TEvalFunc& ef, int draughts) {
  for (size_t i = 0; i < ef.Stages.size(); ++i)
    if (ef.Stages[i].MinDraughts <= draughts && draughts <= ef.Stages[i].MaxDraughts)
      return static_cast<int>(i);
  return 0;
}

bool LoadEngine(const std::filesystem::path& path, TEvalFunc& ef, int typeofgame, TEngineLoadNotes* notes) {
  TEngineLoadNotes found;
  found.WeightsFile.resize(1);
  found.WeightsFound.resize(1);
  std::error_code ec;
  if (!std::filesystem::exists(path, ec)) {
    ef.Stages.resize(1);
    if (notes) *notes = found;
    return false;
  }
  const std::vector<std::string> lines = ReadTextLines(path);

  // Read into a copy so that a bad description leaves the current one intact.
  TEvalFunc e;
  e.Stages.assign(1, ef.Stages.empty() ? TEngineStage{} : ef.Stages.front());
  e.Name = "Empty";
  e.Version = kArrayBoardVersion;
  size_t stage = 0;

  int lineNo = 0;
  std::string tag, value;
  auto fail = [&](const std::string& expected) {
    throw TFileError(path, lineNo, tag, "\"" + value + "\" is not " + expected);
  };
  auto integer = [&](int32_t& field) {
    if (!ParseInteger(value, field)) fail("a whole number");
  };
  auto boolean = [&](bool& field) {
    if (!ParseBoolean(value, field)) fail("True, False or a number");
  };
  auto single = [&](float& field) {
    if (!ParseSingle(value, field)) fail("a number with \".\" as decimal separator");
  };

  for (const std::string& line : lines) {
    ++lineNo;
    SplitCommentedTagLine(line, tag, value);
    TEngineStage& s = e.Stages[stage];
    switch (MatchTagPrefix(tag, {"Name",           "Version",       "ELO",
                                 "GiveAway",       "UseBook",       "MaxThreads",
                                 "MaxDepth",       "MaxPos",        "Stage",
                                 "UseLearning",    "MinDraughts",   "MaxDraughts",
                                 "EDMaxDraughts",  "ExtSelfMin",    "ExtSelfMax",
                                 "ExtOppMin",      "ExtOppMax",     "ReductAlphaMin",
                                 "ReductAlphaMax", "ReductBetaMin", "ReductBetaMax",
                                 "RangeAlphaSelf", "RangeAlphaOpp", "RangeBetaSelf",
                                 "RangeBetaOpp",   "MovesCntMin",   "MovesCntTot",
                                 "EvalFNC"})) {
      case 0:
        e.Name = value;
        break;
      case 1:
        integer(e.Version);
        break;
      case 2:
        integer(e.ELO);
        break;
      case 3:
        boolean(e.Giveaway);
        break;
      case 4:
        boolean(e.UseBook);
        break;
      case 5:
        integer(e.MaxThreads);
        break;
      case 6:
        integer(e.MaxDepth);
        break;
      case 7:
        integer(e.MaxPos);
        break;
      case 8: {
        int32_t n;
        integer(n);
        if (n < 0 || n > kMaxStage)
          throw TFileError(
              path, lineNo, tag,
              "stage number " + std::to_string(n) + " is outside 0.." + std::to_string(kMaxStage));
        e.Stages.resize(n + 1);
        found.WeightsFile.resize(n + 1);
        found.WeightsFound.resize(n + 1);
        stage = n;
        break;
      }
      case 9:
        boolean(s.UseLearning);
        break;
      case 10:
        integer(s.MinDraughts);
        break;
      case 11:
        integer(s.MaxDraughts);
        break;
      case 12:
        integer(s.EDMaxDraughts);
        break;
      case 13:
        single(s.ExtSelfMin);
        break;
      case 14:
        single(s.ExtSelfMax);
        break;
      case 15:
        single(s.ExtOppMin);
        break;
      case 16:
        single(s.ExtOppMax);
        break;
      case 17:
        single(s.ReductAlphaMin);
        break;
      case 18:
        single(s.ReductAlphaMax);
        break;
      case 19:
        single(s.ReductBetaMin);
        break;
      case 20:
        single(s.ReductBetaMax);
        break;
      case 21:
        single(s.RangeAlphaSelf);
        break;
      case 22:
        single(s.RangeAlphaOpp);
        break;
      case 23:
        single(s.RangeBetaSelf);
        break;
      case 24:
        single(s.RangeBetaOpp);
        break;
      case 25:
        integer(s.MovesCntMin);
        break;
      case 26:
        integer(s.MovesCntTot);
        break;
      case 27: {
        if (value.empty()) throw TFileError(path, lineNo, tag, "no weights file named");
        found.WeightsFile[stage] = value;
        found.WeightsFound[stage] = LoadEvf(path.parent_path() / value, s.Eval, typeofgame);
        break;
      }
      default:
        break;  // unknown tags are ignored
    }
  }
  for (TEngineStage& s : e.Stages) s.Eval.Version = static_cast<uint8_t>(e.Version & 0xFF);

  if (const std::string problem = EngineVersionProblem(e.Version, typeofgame); !problem.empty())
    throw TFileError(path, 0, "Version", problem);
  ef = std::move(e);
  if (notes) *notes = std::move(found);
  return true;
}

void SaveEngine(const std::filesystem::path& path, const TEvalFunc& ef) {
  const std::string base = path.stem().string();
  std::string out;
  auto integer = [&](const char* key, int64_t v) { out += TagLine(key, std::to_string(v)); };
  auto single = [&](const char* key, float v) { out += TagLine(key, FormatSingle(v)); };
  auto boolean = [&](const char* key, bool v) { out += TagLine(key, FormatBoolean(v)); };
  out += TagLine("Name", ef.Name);
  integer("Version", ef.Version);
  boolean("GiveAway", ef.Giveaway);
  boolean("UseBook", ef.UseBook);
  integer("MaxThreads", ef.MaxThreads);
  integer("MaxDepth", ef.MaxDepth);
  integer("MaxPos", ef.MaxPos);
  integer("ELO", ef.ELO);
  for (size_t i = 0; i < ef.Stages.size(); ++i) {
    const TEngineStage& s = ef.Stages[i];
    out += "\r\n";
    integer("Stage", static_cast<int64_t>(i));
    boolean("UseLearning", s.UseLearning);
    integer("MinDraughts", s.MinDraughts);
    integer("MaxDraughts", s.MaxDraughts);
    integer("EDMaxDraughts", s.EDMaxDraughts);
    single("ExtSelfMin", s.ExtSelfMin);
    single("ExtSelfMax", s.ExtSelfMax);
    single("ExtOppMin", s.ExtOppMin);
    single("ExtOppMax", s.ExtOppMax);
    single("ReductAlphaMin", s.ReductAlphaMin);
    single("ReductAlphaMax", s.ReductAlphaMax);
    single("ReductBetaMin", s.ReductBetaMin);
    single("ReductBetaMax", s.ReductBetaMax);
    single("RangeAlphaSelf", s.RangeAlphaSelf);
    single("RangeAlphaOpp", s.RangeAlphaOpp);
    single("RangeBetaSelf", s.RangeBetaSelf);
    single("RangeBetaOpp", s.RangeBetaOpp);
    integer("MovesCntTot", s.MovesCntTot);
    integer("MovesCntMin", s.MovesCntMin);
    const std::string weights = base + "s" + std::to_string(i);
    out += TagLine("EvalFNC", weights + (s.Eval.UseNN ? ".mynn" : ".evf"));
    SaveEvf(path.parent_path() / (weights + ".evf"), s.Eval);
  }
  WriteTextFile(path, out);
}

}  // namespace quorlin
