#include "engine/enginefile.h"

#include "engine/textfile.h"

namespace quorlin {

std::string EngineVersionProblem(int32_t version, int typeofgame) {
  if (version == kArrayBoardVersion) return {};
  const std::string v = "Version " + std::to_string(version);
  if (typeofgame < 1 || typeofgame > kVariantCount)
    return v +
           " selects the bitboard search, but custom variants have no 64-bit board; use an engine of "
           "Version " +
           std::to_string(kArrayBoardVersion);
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

namespace {

// The tags of an engine description, in the order they are written.
const std::array<TTagField<TEvalFunc>, 8> kEngineTags{{
    {"Name", &TEvalFunc::Name},
    {"Version", &TEvalFunc::Version},
    {"GiveAway", &TEvalFunc::Giveaway},
    {"UseBook", &TEvalFunc::UseBook},
    {"MaxThreads", &TEvalFunc::MaxThreads},
    {"MaxDepth", &TEvalFunc::MaxDepth},
    {"MaxPos", &TEvalFunc::MaxPos},
    {"ELO", &TEvalFunc::ELO},
}};

// The tags of a stage, after its "Stage" line and before its "EvalFNC" line.
const std::array<TTagField<TEngineStage>, 18> kStageTags{{
    {"UseLearning", &TEngineStage::UseLearning},
    {"MinDraughts", &TEngineStage::MinDraughts},
    {"MaxDraughts", &TEngineStage::MaxDraughts},
    {"EDMaxDraughts", &TEngineStage::EDMaxDraughts},
    {"ExtSelfMin", &TEngineStage::ExtSelfMin},
    {"ExtSelfMax", &TEngineStage::ExtSelfMax},
    {"ExtOppMin", &TEngineStage::ExtOppMin},
    {"ExtOppMax", &TEngineStage::ExtOppMax},
    {"ReductAlphaMin", &TEngineStage::ReductAlphaMin},
    {"ReductAlphaMax", &TEngineStage::ReductAlphaMax},
    {"ReductBetaMin", &TEngineStage::ReductBetaMin},
    {"ReductBetaMax", &TEngineStage::ReductBetaMax},
    {"RangeAlphaSelf", &TEngineStage::RangeAlphaSelf},
    {"RangeAlphaOpp", &TEngineStage::RangeAlphaOpp},
    {"RangeBetaSelf", &TEngineStage::RangeBetaSelf},
    {"RangeBetaOpp", &TEngineStage::RangeBetaOpp},
    {"MovesCntTot", &TEngineStage::MovesCntTot},
    {"MovesCntMin", &TEngineStage::MovesCntMin},
}};

constexpr const char* kStageTag = "Stage";
constexpr const char* kWeightsTag = "EvalFNC";

// Reads the lines of a description into `e`, which starts as the defaults.
class TEngineReader {
 public:
  TEngineReader(const std::filesystem::path& path, int typeofgame, TEvalFunc& e, TEngineLoadNotes& notes)
      : path_(path), typeofgame_(typeofgame), e_(e), notes_(notes) {}

  void Line(int lineNo, const std::string& line) {
    lineNo_ = lineNo;
    SplitCommentedTagLine(line, tag_, value_);
    if (tag_.empty()) return;
    if (const TTagField<TEvalFunc>* t = FindTag(kEngineTags, tag_))
      Field(*t, e_);
    else if (const TTagField<TEngineStage>* s = FindTag(kStageTags, tag_))
      Field(*s, e_.Stages[stage_]);
    else if (tag_.rfind(kStageTag, 0) == 0)
      NewStage();
    else if (tag_.rfind(kWeightsTag, 0) == 0)
      Weights();
    // Any other tag is ignored.
  }

 private:
  template <class R>
  void Field(const TTagField<R>& t, R& r) {
    std::string expected;
    if (!ReadTagField(t, value_, r, expected))
      throw TFileError(path_, lineNo_, tag_, "\"" + value_ + "\" is not " + expected);
  }

  // "Stage" s: the stages become 0..s (new ones empty, higher ones dropped)
  // and the following stage tags go to stage s.
  void NewStage() {
    int32_t n;
    if (!ParseInteger(value_, n))
      throw TFileError(path_, lineNo_, tag_, "\"" + value_ + "\" is not a whole number");
    if (n < 0 || n > kMaxStage)
      throw TFileError(path_, lineNo_, tag_,
                       "stage number " + std::to_string(n) + " is outside 0.." + std::to_string(kMaxStage));
    e_.Stages.resize(n + 1);
    notes_.WeightsFile.resize(n + 1);
    notes_.WeightsFound.resize(n + 1);
    stage_ = static_cast<size_t>(n);
  }

  // "EvalFNC": the weights file of the stage, beside the description.
  void Weights() {
    if (value_.empty()) throw TFileError(path_, lineNo_, tag_, "no weights file named");
    notes_.WeightsFile[stage_] = value_;
    notes_.WeightsFound[stage_] = LoadEvf(path_.parent_path() / value_, e_.Stages[stage_].Eval, typeofgame_);
  }

  const std::filesystem::path& path_;
  int typeofgame_;
  TEvalFunc& e_;
  TEngineLoadNotes& notes_;
  size_t stage_ = 0;
  int lineNo_ = 0;
  std::string tag_, value_;
};

}  // namespace

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
  TEngineReader reader(path, typeofgame, e, found);
  for (size_t i = 0; i < lines.size(); ++i) reader.Line(static_cast<int>(i) + 1, lines[i]);
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
  for (const TTagField<TEvalFunc>& t : kEngineTags) out += TagFieldLine(t, ef);
  for (size_t i = 0; i < ef.Stages.size(); ++i) {
    const TEngineStage& s = ef.Stages[i];
    out += "\r\n";
    out += TagLine(kStageTag, std::to_string(i));
    for (const TTagField<TEngineStage>& t : kStageTags) out += TagFieldLine(t, s);
    const std::string weights = base + "s" + std::to_string(i);
    out += TagLine(kWeightsTag, weights + (s.Eval.UseNN ? ".mynn" : ".evf"));
    SaveEvf(path.parent_path() / (weights + ".evf"), s.Eval);
  }
  WriteTextFile(path, out);
}

std::vector<std::string> EngineFileKeywords() {
  std::vector<std::string> k;
  for (const auto& t : kEngineTags) k.push_back(t.keyword);
  for (const auto& t : kStageTags) k.push_back(t.keyword);
  k.push_back(kStageTag);
  k.push_back(kWeightsTag);
  return k;
}

}  // namespace quorlin
