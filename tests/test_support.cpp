#include "test_support.h"

#include <unistd.h>

#include <array>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <sys/wait.h>

namespace quorlin::test {

namespace {
std::filesystem::path MakeSandbox() {
  std::string templ = (std::filesystem::temp_directory_path() / "quorlin-test-XXXXXX").string();
  if (!mkdtemp(templ.data())) throw std::runtime_error("cannot create test sandbox");
  return templ;
}
}  // namespace

const std::filesystem::path& SandboxDir() {
  static const std::filesystem::path dir = MakeSandbox();
  return dir;
}

std::filesystem::path FreshDir(const std::string& hint) {
  static std::atomic<int> counter{0};
  auto p = SandboxDir() / (hint + "-" + std::to_string(counter++));
  std::filesystem::remove_all(p);
  std::filesystem::create_directories(p);
  return p;
}

std::filesystem::path ProgramDir() {
  if (const char* d = std::getenv("QUORLIN_PROGRAM_DIR")) return d;
  // Test executables are built into the program folder itself.
  return std::filesystem::read_symlink("/proc/self/exe").parent_path();
}

std::filesystem::path CorpusDir() {
  if (const char* d = std::getenv("QUORLIN_CORPUS_DIR")) {
    if (std::filesystem::exists(d)) return d;
  }
  return {};
}

int RunQuorlin(const std::string& args, std::string& out) {
  const std::string cmd = (ProgramDir() / "quorlin").string() + " " + args + " 2>&1";
  out.clear();
  FILE* f = popen(cmd.c_str(), "r");
  if (!f) return -1;
  std::array<char, 4096> buf{};
  size_t n;
  while ((n = fread(buf.data(), 1, buf.size(), f)) > 0) out.append(buf.data(), n);
  int status = pclose(f);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

void WriteFile(const std::filesystem::path& p, const std::string& bytes) {
  std::ofstream f(p, std::ios::binary);
  f << bytes;
}

std::string ReadFile(const std::filesystem::path& p) {
  std::ifstream f(p, std::ios::binary);
  std::stringstream ss;
  ss << f.rdbuf();
  return ss.str();
}

}  // namespace quorlin::test
