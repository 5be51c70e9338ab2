// Reading and writing weights files, by one table of their tags.
#include "engine/evalfile.h"

#include <array>
#include <charconv>

#include "common/text.h"
#include "engine/textfile.h"

namespace quorlin {

namespace {

// The scalar tags, in the order they are written.
const std::array<TTagField<TEvalFuncStatic>, 20> kScalarTags{{
    {"Version", &TEvalFuncStatic::Version},
    {"Turkish", &TEvalFuncStatic::Turkish},
    {"ManValue", &TEvalFuncStatic::ManValue},
    {"KingValue", &TEvalFuncStatic::KingValue},
    {"SideBalanceMain", &TEvalFuncStatic::SideBalanceMain},
    {"SideBalanceExt", &TEvalFuncStatic::SideBalanceExt},
    {"QuantityBonus", &TEvalFuncStatic::QuantityBonus},
    {"QuantityType", &TEvalFuncStatic::QuantityType},
    {"QuantityMul", &TEvalFuncStatic::QuantityMul},
    {"Compress", &TEvalFuncStatic::Compress},
    {"Squeeze", &TEvalFuncStatic::Squeeze},
    {"KingsMain", &TEvalFuncStatic::KingsMain},
    {"KingsDouble", &TEvalFuncStatic::KingsDouble},
    {"KingsTriple", &TEvalFuncStatic::KingsTriple},
    {"KingsTurAH", &TEvalFuncStatic::KingsTurAH},
    {"KingsTur2nd4", &TEvalFuncStatic::KingsTur2nd4},
    {"KingsTur2nd35", &TEvalFuncStatic::KingsTur2nd35},
    {"EDMinDraw", &TEvalFuncStatic::EDMinDraw},
    {"EDMaxDraw", &TEvalFuncStatic::EDMaxDraw},
    {"SideToMove", &TEvalFuncStatic::SideToMove},
}};

// Per-square weights (written for the square-list Version): the value of a
// line is a square number, a space and the weight.
struct TSquareTag {
  const char* keyword;
  TSquareWeights TEvalFuncStatic::*table;
};
const std::array<TSquareTag, 5> kSquareTags{{
    {"FieldsWS", &TEvalFuncStatic::FieldsWS},
    {"FieldsBS", &TEvalFuncStatic::FieldsBS},
    {"FieldsWK", &TEvalFuncStatic::FieldsWK},
    {"FieldsBK", &TEvalFuncStatic::FieldsBK},
    {"FieldsClr", &TEvalFuncStatic::FieldsClr},
}};

// A pattern (written for the other Versions): w, b and k as 16 hexadecimal
// digits each and the value.
constexpr const char* kMaskTag = "Mask";

std::string Hex16(uint64_t v) {
  static const char kDigits[] = "0123456789ABCDEF";
  std::string s(16, '0');
  for (int i = 15; i >= 0; --i, v >>= 4) s[i] = kDigits[v & 0xF];
  return s;
}

bool ParseHex64(const std::string& t, uint64_t& v) {
  if (t.empty() || t.size() > 16) return false;
  auto [p, ec] = std::from_chars(t.data(), t.data() + t.size(), v, 16);
  return ec == std::errc() && p == t.data() + t.size();
}

// Cuts the first token off `rest` at its first space.
std::string NextToken(std::string& rest) {
  const size_t space = rest.find(' ');
  std::string token = rest.substr(0, space);
  rest = space == std::string::npos ? std::string() : rest.substr(space + 1);
  return token;
}

// The weights a file starts from: a missing tag keeps what the stage had,
// except these.
void SetFileDefaults(TEvalFuncStatic& e, int variant) {
  const TGameParams& gp = VariantTable[variant >= 0 && variant <= kVariantCount ? variant : 0];
  e.Size = 0;
  e.Turkish = false;
  e.Version = kArrayBoardVersion;
  e.UseNN = false;
  e.QuantityBonus = 0;
  e.QuantityType = 0;
  e.QuantityMul = 0;
  e.ManValue = kDefaultManValue;
  e.KingValue = DefaultKingValue(gp);
  e.FieldsWS.fill(0);
  e.FieldsWK.fill(0);
  e.FieldsBS.fill(0);
  e.FieldsBK.fill(0);
}

// Reads the lines of a weights file into `e`.
class TEvfReader {
 public:
  TEvfReader(const std::filesystem::path& path, TEvalFuncStatic& e) : path_(path), e_(e) {}

  void Line(int lineNo, const std::string& line) {
    lineNo_ = lineNo;
    SplitCommentedTagLine(line, tag_, value_);
    if (tag_.empty()) return;
    if (const TTagField<TEvalFuncStatic>* t = FindTag(kScalarTags, tag_)) {
      std::string expected;
      if (!ReadTagField(*t, value_, e_, expected))
        throw TFileError(path_, lineNo_, tag_, "\"" + value_ + "\" is not " + expected);
      return;
    }
    for (const TSquareTag& t : kSquareTags)
      if (tag_.rfind(t.keyword, 0) == 0) return Square(e_.*(t.table));
    if (tag_.rfind(kMaskTag, 0) == 0) Mask();
    // Any other tag is ignored.
  }

  // Adds the patterns read, in file order. Turkish bitboard weights count
  // every pattern with its mirror image too; whether they are Turkish is known
  // only at the file's end (the flag may follow the patterns), and written
  // files put it first, so deciding per line would load a file and the file
  // it is saved as differently.
  void Finish() {
    const bool mirrored = e_.Version == kBitboardVersion && e_.Turkish;
    for (const TPattern& p : patterns_) {
      AddPattern(e_, p);
      if (mirrored) AddPattern(e_, TPattern{MirrorRows(p.B), p.value});
    }
  }

 private:
  // Square number, a space, the weight; squares outside 1..128 are skipped.
  void Square(TSquareWeights& table) {
    const size_t space = value_.find(' ');
    const std::string indexText = value_.substr(0, space);
    const std::string weightText =
        space == std::string::npos ? std::string() : Trim(value_.substr(space + 1));
    int32_t index, weight;
    if (!ParseInteger(indexText, index))
      throw TFileError(path_, lineNo_, tag_, "square index \"" + indexText + "\" is not a whole number");
    if (index < 1 || index > kMaxSquares) return;
    if (!ParseInteger(weightText, weight))
      throw TFileError(path_, lineNo_, tag_, "weight \"" + weightText + "\" is not a whole number");
    table[index] = weight;
  }

  // A pattern: its white, black and king bitboards in hexadecimal and its
  // value. Patterns are added at the end of the file (see Finish).
  void Mask() {
    std::string rest = value_;
    TPattern p;
    const char* names[3] = {"w", "b", "k"};
    uint64_t* parts[3] = {&p.B.w, &p.B.b, &p.B.k};
    for (int i = 0; i < 3; ++i) {
      const std::string t = NextToken(rest);
      if (!ParseHex64(t, *parts[i]))
        throw TFileError(path_, lineNo_, tag_,
                         std::string("bitboard ") + names[i] + " \"" + t +
                             "\" is not a hexadecimal number of at most 16 digits");
    }
    const std::string t = NextToken(rest);
    if (!ParseInteger(t, p.value))
      throw TFileError(path_, lineNo_, tag_, "pattern value \"" + t + "\" is not a whole number");
    patterns_.push_back(p);
  }

  const std::filesystem::path& path_;
  TEvalFuncStatic& e_;
  int lineNo_ = 0;
  std::string tag_, value_;
  std::vector<TPattern> patterns_;
};

}  // namespace

bool LoadEvf(const std::filesystem::path& path, TEvalFuncStatic& evf, int variant) {
  // Read into a copy so that a bad file leaves the caller's weights intact.
  TEvalFuncStatic e = evf;
  SetFileDefaults(e, variant);
  std::error_code ec;
  if (!std::filesystem::exists(path, ec)) {
    evf = std::move(e);
    return false;
  }
  if (path.extension() == ".mynn") {
    e.UseNN = true;
    LoadNet(path, e.Net);
    evf = std::move(e);
    return true;
  }
  const std::vector<std::string> lines = ReadTextLines(path);
  TEvfReader reader(path, e);
  for (size_t i = 0; i < lines.size(); ++i) reader.Line(static_cast<int>(i) + 1, lines[i]);
  reader.Finish();
  CompileEvf(e);
  evf = std::move(e);
  return true;
}

std::filesystem::path SaveEvf(const std::filesystem::path& path, const TEvalFuncStatic& evf) {
  if (evf.UseNN) {
    std::filesystem::path netPath = path;
    netPath.replace_extension(".mynn");
    SaveNet(netPath, evf.Net);
    return netPath;
  }
  std::string out;
  for (const TTagField<TEvalFuncStatic>& t : kScalarTags) out += TagFieldLine(t, evf);
  if (evf.Version == kArrayBoardVersion) {
    for (int i = 1; i <= kMaxSquares; ++i)
      for (const TSquareTag& t : kSquareTags)
        out += TagLine(t.keyword, std::to_string(i) + " " + std::to_string((evf.*(t.table))[i]));
  } else {
    const size_t size = std::min<size_t>(std::max(evf.Size, 0), evf.Patt.size());
    for (size_t i = 0; i < size; ++i) {
      const TPattern& p = evf.Patt[i];
      out += TagLine(kMaskTag,
                     Hex16(p.B.w) + " " + Hex16(p.B.b) + " " + Hex16(p.B.k) + " " + std::to_string(p.value));
    }
  }
  WriteTextFile(path, out);
  return path;
}

std::vector<std::string> EvfFileKeywords() {
  std::vector<std::string> k;
  for (const auto& t : kScalarTags) k.push_back(t.keyword);
  for (const auto& t : kSquareTags) k.push_back(t.keyword);
  k.push_back(kMaskTag);
  return k;
}

}  // namespace quorlin
