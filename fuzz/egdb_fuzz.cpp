// Endgame-database files (MTW, WDL, WD6) as the engine loads them from the
// variant's folders: the input is the file of the class of a small position
// it also describes, which is then probed with its kings moved about. The
// block decoders also get the raw bytes, and values encoded into a file image
// must decode to themselves.
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "engine/endgamedb.h"
#include "fuzz/fuzz_support.h"
#include "rules/variants.h"

using namespace quorlin;

namespace {

const int kVariants[] = {kRussian, kInternational, kSpantsiretti, kTurkish};

struct TTables {
  std::shared_ptr<const TMaskTable> masks[4];
};

TTables& Tables() {
  static TTables t = [] {
    TTables r;
    for (int i = 0; i < 4; ++i) r.masks[i] = TMaskTable::ForVariant(kVariants[i]);
    return r;
  }();
  return t;
}

bool Decode(TEbType type, const uint8_t* data, size_t size, int p, uint8_t& value) {
  switch (type) {
    case ebMTW:
      return DecodeMtwBlock(data, size, p, value);
    case ebWDL:
      return DecodeWdlBlock(data, size, p, value);
    default:
      return DecodeWd6Block(data, size, p, value);
  }
}

uint8_t MaxValue(TEbType type) { return type == ebMTW ? 255 : type == ebWDL ? 2 : 5; }

// Values encoded into a file image decode to themselves, block by block.
void CheckEncoding(TEbType type, fuzz::TInput& in) {
  std::vector<uint8_t> values(1 + in.Byte() * 37);
  for (uint8_t& v : values) v = in.Empty() ? 0 : in.Byte() % (MaxValue(type) + 1);
  const std::vector<uint8_t> file = EncodeEndgameFile(type, values.data(), values.size());
  FUZZ_CHECK(file.size() >= 16, "file image without its two sizes");
  int64_t n1, n2;
  std::memcpy(&n1, file.data(), 8);
  std::memcpy(&n2, file.data() + 8, 8);
  FUZZ_CHECK(n1 >= 0 && n2 >= 0 && 16 + n1 + n2 == static_cast<int64_t>(file.size()), "sizes do not add up");
  const int32_t blocks = static_cast<int32_t>(n1 / 4);
  const int bs = EbBlockSize(type);
  // Decoding a value walks its block from the start, so checking every value
  // costs the square of the block size (8,192 for WDL). The first values of
  // each block, every 61st and each block's last are checked: a decoder that
  // loses its place in a block shows it in the values after.
  constexpr int kHead = 64, kStride = 61;
  for (size_t x = 0; x < values.size(); ++x) {
    const bool last = (x + 1) % bs == 0 || x + 1 == values.size();
    if (static_cast<int>(x % bs) >= kHead && x % kStride != 0 && !last) continue;
    const int32_t b = static_cast<int32_t>(x / bs);
    FUZZ_CHECK(b < blocks, "value beyond the blocks");
    int32_t from, to;
    std::memcpy(&from, file.data() + 16 + 4 * b, 4);
    if (b + 1 < blocks)
      std::memcpy(&to, file.data() + 16 + 4 * (b + 1), 4);
    else
      to = static_cast<int32_t>(n2);
    uint8_t got = 0;
    FUZZ_CHECK(0 <= from && from <= to && to <= n2, "block offsets out of order");
    FUZZ_CHECK(Decode(type, file.data() + 16 + n1 + from, to - from, static_cast<int>(x % bs), got),
               "encoded block does not decode");
    FUZZ_CHECK(got == values[x], "value " + std::to_string(x) + " decodes differently");
  }
}

}  // namespace

void quorlin::fuzz::SetUpTarget() { Tables(); }

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz::TInput in(data, size);
  const TEbType type = static_cast<TEbType>(in.Pick(3));
  const int which = in.Pick(4);
  const int variant = kVariants[which];
  const TMaskTable& masks = *Tables().masks[which];
  const TEdbGeometry& g = masks.Geometry();

  if (in.Byte() % 4 == 0) {
    CheckEncoding(type, in);
    return 0;
  }

  // The position: an own king, an opponent king, maybe one man each.
  const int ownKing = 1 + in.Pick(g.boardSize);
  const int oppKing = 1 + in.Pick(g.boardSize);
  const int ownMan = in.Byte() & 1 ? g.firstMenSquare + in.Pick(g.menSquares) : 0;
  const int oppMan = in.Byte() & 1 ? 1 + in.Pick(g.boardSize) : 0;
  TBitBoard64 bb{};
  auto put = [&](int square, uint64_t& side, bool king) {
    const int bit = EdbSquareToBit(g, square);
    if (square == 0 || bit < 0) return;
    side |= uint64_t{1} << bit;
    if (king) bb.k |= uint64_t{1} << bit;
  };
  put(ownKing, bb.w, true);
  put(oppKing, bb.b, true);
  put(ownMan, bb.w, false);
  put(oppMan, bb.b, false);
  if ((bb.w & bb.b) != 0) return 0;
  TEdbClass cls;
  uint64_t index = 0;
  if (!masks.PositionIndex(bb, cls, index)) return 0;

  // Raw decoding of the same bytes at a position picked by the input.
  const int p = in.Byte() * 32;
  const std::string_view file = in.Rest();
  uint8_t value = 0;
  if (Decode(type, reinterpret_cast<const uint8_t*>(file.data()), file.size(), p, value))
    FUZZ_CHECK(value <= MaxValue(type), "decoded value outside its coding");

  const std::string ed = (fuzz::WorkDir() / "ED").string() + "/";
  std::error_code ec;
  std::filesystem::remove_all(ed, ec);
  const std::string path = EndgameFilePath(ed, EndgameVariantName(variant, false), cls, type);
  fuzz::WriteFile(path.substr(fuzz::WorkDir().string().size() + 1), file);
  const auto db = TEndgameDb::Load(variant, false, ed, {}, int64_t{64} << 20);
  if (!db) return 0;
  TEdbProbeStats stats;
  for (int move = 0; move < 8; ++move) {
    TBitBoard64 probe = bb;
    const int bit = EdbSquareToBit(g, 1 + (ownKing + move * 7) % g.boardSize);
    const uint64_t to = uint64_t{1} << bit;
    const uint64_t from = bb.w & bb.k;
    if (bit >= 0 && !((bb.w | bb.b) & to)) {
      probe.w = (probe.w & ~from) | to;
      probe.k = (probe.k & ~from) | to;
    }
    float ev = 0;
    db->GetEBevalPlay(probe, false, TEDPos{}, ev, &stats);
    TEbType got;
    if (db->ProbeRaw(probe, value, got, &stats))
      FUZZ_CHECK(value <= MaxValue(got), "probe value outside its coding");
  }
  return 0;
}
