// Custom variant definitions as the game database stores them ("Key=Value"
// lines joined by "#") and as definition files hold them. What reads is
// written back and must read again to the same record.
#include <string>
#include <vector>

#include "fuzz/fuzz_support.h"
#include "rules/variantdef.h"
#include "rules/variants.h"

using namespace quorlin;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz::TInput in(data, size);
  const int start = in.Pick(kVariantCount + 1);  // the record read into: empty or a built-in
  const bool asFile = in.Byte() & 1;
  const std::string text(in.Rest());

  TGameParams params = start ? VariantTable[start] : TGameParams{};
  const TGameParams before = params;
  std::string error;
  bool ok;
  if (asFile) {
    const auto path = fuzz::WriteFile("variant.txt", text);
    ok = LoadVariantDefinitionFile(path.string(), params, error);
  } else {
    ok = ParseVariantDefinition(text, params, error);
  }
  if (!ok) {
    FUZZ_CHECK(!error.empty(), "refused without saying why");
    std::vector<std::string> a, b;
    WriteVariantDefinition(params, a);
    WriteVariantDefinition(before, b);
    FUZZ_CHECK(a == b, "a refused definition changed the record");
    return 0;
  }
  FUZZ_CHECK(params.compute.BoardSize >= 1 && params.compute.BoardSize <= 128,
             "board outside 1..128 squares");

  std::string joined;
  if (!FormatVariantDefinition(params, "", joined, error)) return 0;  // a value the joined form cannot hold
  TGameParams again;
  FUZZ_CHECK(ParseVariantDefinition(joined, again, error),
             "written definition refused: " + error + ": " + joined);
  std::vector<std::string> a, b;
  WriteVariantDefinition(params, a);
  WriteVariantDefinition(again, b);
  FUZZ_CHECK(a == b, "definition read back differs: " + joined);
  FUZZ_CHECK(again.compute.BoardSize == params.compute.BoardSize &&
                 again.compute.BoardWidthReal == params.compute.BoardWidthReal,
             "board geometry read back differs: " + joined);
  return 0;
}
