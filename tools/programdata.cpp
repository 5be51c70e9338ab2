#include "tools/programdata.h"

#include <stdexcept>

#include "rules/variants.h"

namespace quorlin::cli {

namespace fs = std::filesystem;

std::string ExecutableFolder() {
  std::error_code ec;
  const fs::path exe = fs::read_symlink("/proc/self/exe", ec);
  return ec ? std::string() : exe.parent_path().string();
}

fs::path ResolveEngineFile(const std::string& given, int variant) {
  const fs::path p(given);
  if (fs::exists(p) || p.is_absolute()) return fs::absolute(p).lexically_normal();
  const std::string programFolder = ExecutableFolder();
  if (!programFolder.empty()) {
    const fs::path shipped = fs::path(programFolder) / "EnginesTest" / VariantTable[variant].Name / p;
    if (fs::exists(shipped)) return shipped.lexically_normal();
  }
  throw std::runtime_error(
      "engine description \"" + given + "\" not found (looked in the working folder and in " +
      (fs::path(programFolder) / "EnginesTest" / VariantTable[variant].Name).string() + ")");
}

std::string ShippedBallots(int variant) {
  if (variant < kRussian || variant > kInternationalKiller) return {};
  if (VariantTable[variant].compute.BoardSize != 32) return {};
  const char* file = variant == kItalian ? "italianA.abd" : variant == kThai ? "2thai.abd" : "2move.abd";
  const std::string programFolder = ExecutableFolder();
  if (programFolder.empty()) return {};
  const fs::path path = fs::path(programFolder) / "Ballots" / file;
  return fs::exists(path) ? path.string() : std::string();
}

}  // namespace quorlin::cli
