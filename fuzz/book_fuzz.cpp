// Opening books: the position records (.cbk) and the comment file (.cbn)
// beside them, looked up for the start position of a variant from both sides.
// Every record unpacks and packs to its own bytes, and in a sorted book every
// record's key is found.
#include <algorithm>
#include <cstring>
#include <string>

#include "engine/book.h"
#include "fuzz/fuzz_support.h"
#include "rules/variants.h"

using namespace quorlin;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz::TInput in(data, size);
  const int variant = 1 + in.Pick(kVariantCount);
  size_t cbkSize = in.Byte();
  cbkSize = cbkSize * 256 + in.Byte();
  const std::string_view cbk = in.Take(cbkSize);
  const std::string_view cbn = in.Rest();

  const auto* raw = reinterpret_cast<const uint8_t*>(cbk.data());
  const size_t records = cbk.size() / kBookRecordSize;
  bool sorted = true;
  for (size_t r = 0; r < records; ++r) {
    uint8_t again[kBookRecordSize];
    PackBookRecord(UnpackBookRecord(raw + r * kBookRecordSize), again);
    FUZZ_CHECK(std::memcmp(again, raw + r * kBookRecordSize, kBookRecordSize) == 0,
               "record " + std::to_string(r + 1) + " packs to other bytes");
    if (r > 0 && std::memcmp(raw + (r - 1) * kBookRecordSize, raw + r * kBookRecordSize, kBookKeySize) > 0)
      sorted = false;
  }

  const auto path = fuzz::WriteFile("book/b.cbk", cbk);
  fuzz::WriteFile("book/b.cbn", cbn);
  TOpeningBook book;
  if (!book.Ini(path.string())) return 0;
  if (sorted) {
    for (size_t r = 0; r < records; ++r) {
      const TBookRecord want = UnpackBookRecord(raw + r * kBookRecordSize);
      TBookRecord got;
      FUZZ_CHECK(book.Find(want.key, got) && got.key == want.key,
                 "record " + std::to_string(r + 1) + " of a sorted book is not found");
    }
  }
  const TGameParams& p = VariantTable[variant];
  TBoard board;
  board.b = StartPosition(p, true);
  TOpenMoves moves;
  book.Lookup(p, moves, board, 0);
  book.Lookup(p, moves, board, 1);
  return 0;
}
