#include "fuzz/fuzz_support.h"

#include <unistd.h>

#include <fstream>

#include "rules/variants.h"

namespace quorlin::fuzz {

namespace fs = std::filesystem;

namespace {
fs::path& Dir() {
  static fs::path dir;
  return dir;
}
}  // namespace

void Init() {
  if (!Dir().empty()) return;
  const char* base = std::getenv("QUORLIN_FUZZ_TMP");
  fs::path root = base && *base ? fs::path(base) : fs::temp_directory_path();
  Dir() = root / ("quorlin-fuzz-" + std::to_string(::getpid()));
  fs::create_directories(Dir() / "home" / "Documents");
  fs::create_directories(Dir() / "tmp");
  setenv("HOME", (Dir() / "home").c_str(), 1);
  setenv("XDG_CONFIG_HOME", (Dir() / "home" / ".config").c_str(), 1);
  setenv("XDG_DATA_HOME", (Dir() / "home" / ".local/share").c_str(), 1);
  setenv("XDG_CACHE_HOME", (Dir() / "home" / ".cache").c_str(), 1);
  setenv("TMPDIR", (Dir() / "tmp").c_str(), 1);
  InitRules();
  // The folder goes when the process ends normally (a crash keeps it for a look).
  std::atexit([] {
    std::error_code ec;
    fs::remove_all(Dir(), ec);
  });
}

const fs::path& WorkDir() { return Dir(); }

fs::path WriteFile(const std::string& name, std::string_view bytes) {
  const fs::path path = Dir() / name;
  fs::create_directories(path.parent_path());
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  out.close();
  if (!out) Fail(__FILE__, __LINE__, "cannot write " + path.string());
  return path;
}

void Fail(const char* file, int line, const std::string& what) {
  std::fprintf(stderr, "\n==FUZZ CHECK FAILED== %s:%d: %s\n", file, line, what.c_str());
  std::fflush(stderr);
  std::abort();
}

}  // namespace quorlin::fuzz

// Does nothing unless the target defines its own.
__attribute__((weak)) void quorlin::fuzz::SetUpTarget() {}

// libFuzzer calls this once before the first input.
extern "C" int LLVMFuzzerInitialize(int*, char***) {
  quorlin::fuzz::Init();
  quorlin::fuzz::SetUpTarget();
  return 0;
}
