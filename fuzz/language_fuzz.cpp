// Language files ("Language/<name>.txt"): numbered interface texts in any of
// the encodings a byte-order mark names. Every numbered text stays a text.
#include <string>

#include "app/translations.h"
#include "fuzz/fuzz_support.h"

using namespace quorlin;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const auto path =
      fuzz::WriteFile("lang/x.txt", std::string_view(reinterpret_cast<const char*>(data), size));
  ResetNumberedTexts();
  const auto error = ReadLanguageFile(path.string());
  if (error) FUZZ_CHECK(!error->What.empty(), "an error without a text");
  for (int n = 1; n <= kNumberedTextCount; ++n)
    FUZZ_CHECK(!NumberedText(n).empty(), "numbered text " + std::to_string(n) + " became empty");
  return 0;
}
