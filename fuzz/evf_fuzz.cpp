// Evaluation weights files (.evf). Weights that read are used by both
// evaluations, written back, and must read again to the same file.
#include <string>

#include "engine/evalfile.h"
#include "engine/evaluation.h"
#include "engine/textfile.h"
#include "fuzz/fuzz_engine.h"
#include "fuzz/fuzz_support.h"
#include "rules/variants.h"

using namespace quorlin;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz::TInput in(data, size);
  const int variant = 1 + in.Pick(kVariantCount);
  const auto path = fuzz::WriteFile("evf/w.evf", in.Rest());

  TEvalFuncStatic evf;
  try {
    if (!LoadEvf(path, evf, variant)) return 0;
  } catch (const TFileError& e) {
    FUZZ_CHECK(e.file() == path && e.line() >= 0, "error names another file");
    return 0;
  }
  fuzz::EvaluateStart(evf, variant);

  const auto first = SaveEvf(fuzz::WorkDir() / "evf/a.evf", evf);
  TEvalFuncStatic again;
  try {
    FUZZ_CHECK(LoadEvf(first, again, variant), "written weights file missing");
  } catch (const TFileError& e) {
    FUZZ_CHECK(false, std::string("written weights refused: ") + e.what());
  }
  const auto second = SaveEvf(fuzz::WorkDir() / "evf/b.evf", again);
  FUZZ_CHECK(fuzz::ReadFile(first) == fuzz::ReadFile(second), "weights read back write differently");
  return 0;
}
