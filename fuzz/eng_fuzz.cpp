// Engine descriptions (.eng) with the weights files they name beside them.
// The input holds the description and up to two weights files, separated by
// lines "=====". A description that reads is written back and must read again
// to the same files.
#include <algorithm>
#include <string>
#include <vector>

#include "engine/enginefile.h"
#include "engine/textfile.h"
#include "fuzz/fuzz_engine.h"
#include "fuzz/fuzz_support.h"
#include "rules/variants.h"

using namespace quorlin;
namespace fs = std::filesystem;

namespace {

std::vector<std::string> Parts(const std::string& text) {
  std::vector<std::string> parts;
  size_t start = 0;
  for (;;) {
    const size_t at = text.find("\n=====\n", start);
    if (at == std::string::npos || parts.size() == 2) {
      parts.push_back(text.substr(start));
      return parts;
    }
    parts.push_back(text.substr(start, at - start));
    start = at + 7;
  }
}

// Every file of a folder by name, with its contents.
std::string Folder(const fs::path& dir) {
  std::vector<std::string> names;
  for (const auto& e : fs::directory_iterator(dir)) names.push_back(e.path().filename().string());
  std::sort(names.begin(), names.end());
  std::string all;
  for (const std::string& n : names) all += n + "\n" + fuzz::ReadFile(dir / n) + "\n";
  return all;
}

bool Load(const fs::path& path, TEvalFunc& ef, int variant, std::string& error) {
  try {
    LoadEngine(path, ef, variant);
    return true;
  } catch (const TFileError& e) {
    error = e.what();
    return false;
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz::TInput in(data, size);
  const int variant = 1 + in.Pick(kVariantCount);
  const std::vector<std::string> parts = Parts(std::string(in.Rest()));
  const fs::path dir = fuzz::WorkDir() / "eng";
  std::error_code ec;
  fs::remove_all(dir, ec);
  const auto path = fuzz::WriteFile("eng/in/Test.eng", parts[0]);
  if (parts.size() > 1) fuzz::WriteFile("eng/in/w.evf", parts[1]);
  if (parts.size() > 2) fuzz::WriteFile("eng/in/n.mynn", parts[2]);

  TEvalFunc ef;
  std::string error;
  if (!Load(path, ef, variant, error)) return 0;
  FUZZ_CHECK(!ef.Stages.empty(), "no stage after reading");
  for (const TEngineStage& s : ef.Stages) fuzz::EvaluateStart(s.Eval, variant);

  // The round trip writes and reads a weights file per stage, the same code
  // for every stage number. A description with many stages (up to 128,
  // mostly default ones) makes it some fifty times slower than the reading,
  // and the fuzzer drifts towards them for the loop counts alone; the round
  // trip is checked on descriptions of up to 16 stages, which keeps the
  // fuzzer's time on the reader.
  constexpr size_t kFewStages = 16;
  if (ef.Stages.size() > kFewStages) return 0;

  fs::create_directories(dir / "a");
  fs::create_directories(dir / "b");
  SaveEngine(dir / "a" / "Test.eng", ef);
  TEvalFunc again;
  FUZZ_CHECK(Load(dir / "a" / "Test.eng", again, variant, error), "written description refused: " + error);
  SaveEngine(dir / "b" / "Test.eng", again);
  FUZZ_CHECK(Folder(dir / "a") == Folder(dir / "b"), "description read back writes differently");
  return 0;
}
