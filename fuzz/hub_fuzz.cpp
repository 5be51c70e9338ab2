// Lines an engine sends over the Hub protocol: the line itself, its level
// arguments and a position of any variant. What reads must format and read
// again to the same thing.
#include <string>

#include "app/hubprotocol.h"
#include "fuzz/fuzz_support.h"
#include "rules/variants.h"

using namespace quorlin;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz::TInput in(data, size);
  const int variant = 1 + in.Pick(kVariantCount);
  const std::string text(in.Rest());

  THubLine line;
  std::string error;
  if (ParseHubLine(text, line, error)) {
    const std::string formatted = FormatHubLine(line);
    THubLine again;
    FUZZ_CHECK(ParseHubLine(formatted, again, error), "a formatted line does not read: " + error);
    FUZZ_CHECK(again == line, "a formatted line reads as another: " + formatted);
    THubLevel level;
    ParseHubLevel(line, level, error);
  }

  const TGameParams& params = VariantTable[variant];
  TBoard board;
  TDColor side{};
  if (ParseHubPosition(text, params, board, side, error)) {
    const std::string written = HubPositionText(board, side, params);
    TBoard board2;
    TDColor side2{};
    FUZZ_CHECK(ParseHubPosition(written, params, board2, side2, error),
               "a written position does not read: " + error);
    FUZZ_CHECK(board2 == board && side2 == side, "a written position reads as another: " + written);
  }
  return 0;
}
