#include "download/enginesupdate.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "archive_fixture.h"

namespace quorlin {
namespace {

namespace fs = std::filesystem;

class EnginesUpdateTest : public testing::Test {
 protected:
  void SetUp() override {
    program_ = test::FreshDir("program");
    fs::create_directories(program_ / "EnginesTest/Russian");
    test::WriteFile(program_ / "EnginesTest/Russian/Analytic.eng", "old engine");
    test::WriteFile(program_ / "quorlin", "the program");
  }
  fs::path program_;
};

TEST_F(EnginesUpdateTest, NothingToInstall) {
  const auto before = test::PictureOf(program_);
  const TEnginesUpdate u = InstallEnginesUpdate(program_.string() + "/");
  EXPECT_EQ(u.Result, TEnginesUpdate::None);
  EXPECT_TRUE(u.Message.empty());
  EXPECT_EQ(test::PictureOf(program_), before);
}

TEST_F(EnginesUpdateTest, InstallsAndDeletesTheArchive) {
  test::MakeZip(program_ / kEnginesUpdateName, {{"EnginesTest/Russian/Analytic.eng", "new engine"},
                                                {"EnginesTest/English/Analytic.eng", "english"}});
  const TEnginesUpdate u = InstallEnginesUpdate(program_.string() + "/");
  EXPECT_EQ(u.Result, TEnginesUpdate::Installed) << u.Message;
  EXPECT_EQ(u.Files.size(), 2u);
  EXPECT_EQ(test::ReadFile(program_ / "EnginesTest/Russian/Analytic.eng"), "new engine");
  EXPECT_EQ(test::ReadFile(program_ / "EnginesTest/English/Analytic.eng"), "english");
  EXPECT_FALSE(fs::exists(program_ / kEnginesUpdateName));
  EXPECT_EQ(test::ReadFile(program_ / "quorlin"), "the program");
}

// A damaged or hostile update changes nothing and stays for the next start.
TEST_F(EnginesUpdateTest, ABadArchiveChangesNothing) {
  test::MakeZip(program_ / kEnginesUpdateName,
                {{"EnginesTest/Russian/Analytic.eng", "new engine"}, {"../outside.eng", "evil"}});
  const auto before = test::PictureOf(program_);
  const TEnginesUpdate u = InstallEnginesUpdate(program_.string());
  EXPECT_EQ(u.Result, TEnginesUpdate::Failed);
  EXPECT_NE(u.Message.find("../outside.eng"), std::string::npos) << u.Message;
  EXPECT_EQ(test::PictureOf(program_), before);
  EXPECT_FALSE(fs::exists(program_.parent_path() / "outside.eng"));
}

}  // namespace
}  // namespace quorlin
