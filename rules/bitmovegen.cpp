#include "rules/bitmovegen.h"

#include <cassert>

#include "rules/bitgen.h"
#include "rules/position.h"
#include "rules/tables.h"
#include "rules/variants.h"

namespace quorlin {
namespace {

using namespace bitgen;

struct Routine {
  TGenerateMoves64Fn generate = nullptr;
  U64 (*men)(const TBitBoard64&) = nullptr;
  U64 (*kings)(const TBitBoard64&) = nullptr;
  U64 mask = 0;
};

template <class V>
constexpr Routine Make() {
  return Routine{&Generate<V>, &MenCapturing<V>, &KingsCapturing<V>, V::Geo::kMask};
}

// By VariantTable slot; Frisian, Canadian and custom have no routine.
constexpr std::array<Routine, kVariantCount + 1> BuildRoutines() {
  std::array<Routine, kVariantCount + 1> r{};
  for (int v = 1; v <= kVariantCount; ++v) r[v] = WithRules<Routine>(v, []<class V>() { return Make<V>(); });
  return r;
}
constexpr std::array<Routine, kVariantCount + 1> kRoutines = BuildRoutines();

const Routine* RoutineOf(int variant) {
  if (variant < 1 || variant > kVariantCount || !kRoutines[variant].generate) return nullptr;
  return &kRoutines[variant];
}

}  // namespace

bool HasBitboardGenerator(int variant) { return RoutineOf(variant) != nullptr; }

TGenerateMoves64Fn BitboardGenerator(int variant) {
  const Routine* r = RoutineOf(variant);
  return r ? r->generate : nullptr;
}

bool GenerateMoves64(const TBitBoard64& position, TPositionList64& list, uint8_t& count, int variant) {
  const Routine* r = RoutineOf(variant);
  count = 0;
  if (!r) return false;
  assert(r->mask == VariantTable[variant].BitBoardGood64);
  count = static_cast<uint8_t>(r->generate(position, list.data()));
  return true;
}

uint64_t CapturingMen64(const TBitBoard64& position, int variant) {
  const Routine* r = RoutineOf(variant);
  if (!r) return 0;
  assert(WellFormed(position, r->mask));
  return r->men(position);
}

uint64_t CapturingKings64(const TBitBoard64& position, int variant) {
  const Routine* r = RoutineOf(variant);
  if (!r) return 0;
  assert(WellFormed(position, r->mask));
  return r->kings(position);
}

uint64_t CapturingPieces64(const TBitBoard64& position, int variant) {
  const Routine* r = RoutineOf(variant);
  if (!r) return 0;
  assert(WellFormed(position, r->mask));
  const U64 men = r->men(position);
  if (men) return men;
  return (position.w & position.k) ? r->kings(position) : 0;
}

uint64_t OpponentCapturingPieces64(const TBitBoard64& position, int variant) {
  if (!RoutineOf(variant)) return 0;
  const int shift = VariantTable[variant].BitBoardRevShift;
  return RotateBits64(CapturingPieces64(FlippedBitBoard(position, shift), variant), shift);
}

}  // namespace quorlin
