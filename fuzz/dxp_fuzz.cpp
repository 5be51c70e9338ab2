// Messages a DXP program sends. A message that decodes must encode and decode
// again to the same message, and a game request's position must read.
#include <string>
#include <variant>

#include "app/dxpmessage.h"
#include "fuzz/fuzz_support.h"

using namespace quorlin;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  TDxpMessage message;
  std::string error;
  if (!DecodeDxp(text, message, error)) return 0;
  DescribeDxp(message);
  const std::string encoded = EncodeDxp(message);
  TDxpMessage again;
  FUZZ_CHECK(DecodeDxp(encoded, again, error), "an encoded message does not decode: " + error);
  FUZZ_CHECK(again == message, "an encoded message decodes as another: " + encoded);
  if (const auto* request = std::get_if<TDxpGameRequest>(&message)) {
    TBoard board;
    TDColor side{};
    DxpRequestPosition(*request, board, side, error);
  }
  return 0;
}
