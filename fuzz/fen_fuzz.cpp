// FEN text as users paste it and files carry it: the lenient reader, the
// strict reader and the tag line around it. A position either reader accepts
// is written back and must read again to the same position.
#include <string>

#include "fuzz/fuzz_support.h"
#include "rules/fen.h"
#include "rules/notation.h"
#include "rules/variants.h"

using namespace quorlin;

namespace {

std::string Cells(const TGameParams& p, const TBrd& b) {
  std::string s;
  for (int i = 1; i <= p.compute.BoardSize; ++i) s += static_cast<char>('2' + b[i]);
  return s;
}

// Writes the position and reads it back with both readers.
void CheckWritesBack(const TGameParams& p, const TBrd& cells, int side, bool strictAccepted) {
  const std::string text = WriteFEN(p, cells, side);
  TBrd again{};
  int side2 = -1;
  ParseFEN(p, text, again, side2);
  FUZZ_CHECK(Cells(p, again) == Cells(p, cells) && side2 == side, "ParseFEN(WriteFEN) differs: " + text);
  if (strictAccepted) {
    std::string error;
    TBrd strict{};
    int side3 = -1;
    FUZZ_CHECK(ReadFEN(p, text, strict, side3, error),
               "ReadFEN refuses what it read, written: " + text + ": " + error);
    FUZZ_CHECK(Cells(p, strict) == Cells(p, cells) && side3 == side, "ReadFEN(WriteFEN) differs: " + text);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz::TInput in(data, size);
  const int variant = 1 + in.Pick(kVariantCount);
  std::string text(in.Rest());
  const TGameParams& p = VariantTable[variant];

  // A clipboard text is a tag line ("[FEN "...""]) whose value is the FEN.
  if (!text.empty() && text[0] == '[') {
    std::string name, value;
    SplitTagLine(text, name, value);
    text = value;
  }

  TBrd lenient{};
  int side = -1;
  ParseFEN(p, text, lenient, side);
  FUZZ_CHECK(side == 0 || side == 1, "side to move outside 0..1");
  for (int i = 1; i < static_cast<int>(lenient.size()); ++i)
    FUZZ_CHECK(lenient[i] >= -2 && lenient[i] <= 2, "cell value outside -2..2");
  CheckWritesBack(p, lenient, side, false);

  TBrd strict{};
  int strictSide = -1;
  std::string error;
  if (ReadFEN(p, text, strict, strictSide, error)) {
    FUZZ_CHECK(error.empty(), "accepted with an error text");
    CheckWritesBack(p, strict, strictSide, true);
  } else {
    FUZZ_CHECK(!error.empty(), "refused without saying why");
  }
  return 0;
}
