// Test entry point: isolates every test run from the real user's folders.
#include <gtest/gtest.h>

#include <cstdlib>

#include "rules/variants.h"
#include "test_support.h"

int main(int argc, char** argv) {
  const auto sandbox = quorlin::test::SandboxDir();
  const auto home = sandbox / "home";
  std::filesystem::create_directories(home / "Documents");
  std::filesystem::create_directories(sandbox / "tmp");
  setenv("HOME", home.c_str(), 1);
  setenv("XDG_CONFIG_HOME", (home / ".config").c_str(), 1);
  setenv("XDG_DATA_HOME", (home / ".local/share").c_str(), 1);
  setenv("XDG_CACHE_HOME", (home / ".cache").c_str(), 1);
  setenv("TMPDIR", (sandbox / "tmp").c_str(), 1);

  quorlin::InitRules();
  testing::InitGoogleTest(&argc, argv);
  const int rc = RUN_ALL_TESTS();
  std::error_code ec;
  std::filesystem::remove_all(sandbox, ec);
  return rc;
}
