// The ZIP archive of a variant's endgame databases ("ED/Russian.zip"), read
// by the engine entry by entry; whatever loads is then probed.
#include <string>

#include "engine/endgamedb.h"
#include "fuzz/fuzz_support.h"
#include "rules/variants.h"

using namespace quorlin;

void quorlin::fuzz::SetUpTarget() { TMaskTable::ForVariant(kRussian); }

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const auto masks = TMaskTable::ForVariant(kRussian);  // kept alive between runs
  fuzz::TInput in(data, size);
  const std::string ed = (fuzz::WorkDir() / "EDZ").string() + "/";
  fuzz::WriteFile("EDZ/" + EndgameVariantName(kRussian, false) + ".zip", in.Rest());
  const auto db = TEndgameDb::Load(kRussian, false, ed, {}, int64_t{64} << 20);
  if (!db) return 0;
  // Two kings, one of each side, and with a man each: the classes small archives hold.
  TEdbProbeStats stats;
  for (int a = 0; a < 32; a += 5) {
    for (int b = 1; b < 32; b += 6) {
      if (a == b) continue;
      TBitBoard64 bb{};
      bb.w = uint64_t{1} << EdbSquareToBit(masks->Geometry(), a + 1);
      bb.b = uint64_t{1} << EdbSquareToBit(masks->Geometry(), b + 1);
      bb.k = bb.w | bb.b;
      float ev = 0;
      db->GetEBevalPlay(bb, false, TEDPos{}, ev, &stats);
      uint8_t value = 0;
      TEbType type;
      db->ProbeRaw(bb, value, type, &stats);
    }
  }
  return 0;
}
