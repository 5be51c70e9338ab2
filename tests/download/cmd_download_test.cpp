// The quorlin download command against a local nginx.
#include <gtest/gtest.h>

#include <filesystem>

#include "archive_fixture.h"
#include "local_servers.h"

namespace quorlin {
namespace {

namespace fs = std::filesystem;

class DownloadCommandTest : public testing::Test {
 protected:
  static void SetUpTestSuite() {
    www_ = new fs::path(test::FreshDir("cmd-www"));
    test::MakeZip(*www_ / "English_bases.zip", test::BaseArchiveEntries(100 * 1024));
    nginx_ = new test::TNginx(*www_);
  }
  static void TearDownTestSuite() {
    delete nginx_;
    delete www_;
  }
  static fs::path* www_;
  static test::TNginx* nginx_;
};

fs::path* DownloadCommandTest::www_ = nullptr;
test::TNginx* DownloadCommandTest::nginx_ = nullptr;

TEST_F(DownloadCommandTest, DownloadsAndUnpacks) {
  const fs::path to = test::FreshDir("cmd-to");
  std::string out;
  const int rc = test::RunQuorlin("download " + nginx_->Url("/files/English_bases.zip?from=test") +
                                      " --to \"" + to.string() + "\" --parts 3",
                                  out);
  EXPECT_EQ(rc, 0) << out;
  EXPECT_NE(out.find("part 3/3: done, "), std::string::npos) << out;
  EXPECT_NE(out.find("Done!\n"), std::string::npos) << out;
  EXPECT_NE(out.find(" in 3 parts in "), std::string::npos) << out;
  EXPECT_NE(out.find("Unpacked 4 files into " + to.string()), std::string::npos) << out;
  EXPECT_TRUE(fs::exists(to / "Bases/Russian.abd"));
  // The finished archive is kept in the temporary folder under its own name.
  EXPECT_TRUE(fs::exists(fs::temp_directory_path() / "English_bases.zip"));
}

TEST_F(DownloadCommandTest, AFailureExitsNonZeroWithTheReason) {
  const fs::path to = test::FreshDir("cmd-to");
  std::string out;
  const int rc =
      test::RunQuorlin("download " + nginx_->Url("/files/Missing_bases.zip") + " --to " + to.string(), out);
  EXPECT_EQ(rc, 1) << out;
  EXPECT_NE(out.find("quorlin download: error: "), std::string::npos) << out;
  EXPECT_NE(out.find("404"), std::string::npos) << out;
  EXPECT_TRUE(test::NamesIn(to).empty());
}

TEST(DownloadCommandArgsTest, WrongArgumentsExitWithTwo) {
  std::string out;
  for (const char* args : {"", "http://127.0.0.1:9/a.zip", "http://127.0.0.1:9/a.zip --to d --parts 17",
                           "http://127.0.0.1:9/a.zip --to d --parts x", "a b --to d", "--to"}) {
    EXPECT_EQ(test::RunQuorlin(std::string("download ") + args, out), 2) << args << "\n" << out;
  }
}

}  // namespace
}  // namespace quorlin
