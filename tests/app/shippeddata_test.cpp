#include "app/shippeddata.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "test_support.h"

namespace quorlin {
namespace {

namespace fs = std::filesystem;

class ShippedData : public testing::Test {
 protected:
  void SetUp() override {
    root_ = test::FreshDir("shipped");
    program_ = root_ / "program";
    data_ = root_ / "data";
    for (const char* f : {"Books/Russian.cbk", "Books/Russian.cbn", "Books/Pool.cbk", "Bases/Example.abd",
                          "Bases/Example.abm", "Bases/Example.abn"})
      Put(program_ / f, std::string("shipped ") + f);
  }
  static void Put(const fs::path& p, const std::string& text) {
    fs::create_directories(p.parent_path());
    test::WriteFile(p, text);
  }
  fs::path root_, program_, data_;
};

TEST_F(ShippedData, FirstStartCopiesEveryShippedFile) {
  const TShippedDataReport r = InstallShippedData(program_.string(), data_.string());
  EXPECT_TRUE(r.Errors.empty());
  EXPECT_EQ(r.Copied.size(), 6u);
  EXPECT_EQ(test::ReadFile(data_ / "Bases/Example.abm"), "shipped Bases/Example.abm");
  EXPECT_EQ(test::ReadFile(data_ / "Books/Pool.cbk"), "shipped Books/Pool.cbk");
  EXPECT_FALSE(fs::exists(data_ / "Books/Pool.cbk.part"));

  // A second start finds everything in place and copies nothing.
  EXPECT_TRUE(InstallShippedData(program_.string(), data_.string()).Copied.empty());
}

TEST_F(ShippedData, UserFilesAreNeverOverwrittenNorMixedWithShippedOnes) {
  // The user's own Russian book (one of its two files) and a changed example
  // database stay as they are; only the missing Pool book arrives.
  Put(data_ / "Books/Russian.cbk", "mine");
  Put(data_ / "Bases/Example.abd", "my games");
  const TShippedDataReport r = InstallShippedData(program_.string(), data_.string());
  EXPECT_TRUE(r.Errors.empty());
  ASSERT_EQ(r.Copied.size(), 1u);
  EXPECT_EQ(fs::path(r.Copied[0]).filename(), "Pool.cbk");
  EXPECT_EQ(test::ReadFile(data_ / "Books/Russian.cbk"), "mine");
  EXPECT_FALSE(fs::exists(data_ / "Books/Russian.cbn"));
  EXPECT_EQ(test::ReadFile(data_ / "Bases/Example.abd"), "my games");
  EXPECT_FALSE(fs::exists(data_ / "Bases/Example.abm"));
}

TEST_F(ShippedData, DataFolderThatCannotTakeFilesIsReportedFileByFile) {
  Put(data_ / "Books", "a file where the folder should be");
  const TShippedDataReport r = InstallShippedData(program_.string(), data_.string());
  EXPECT_FALSE(r.Errors.empty());
  EXPECT_NE(r.Errors[0].find("Books"), std::string::npos) << r.Errors[0];
  EXPECT_EQ(test::ReadFile(data_ / "Books"), "a file where the folder should be");
  EXPECT_EQ(r.Copied.size(), 3u) << "the example database still arrives";
}

TEST_F(ShippedData, ProgramFolderWithoutShippedDataCopiesNothing) {
  const fs::path empty = root_ / "bare";
  fs::create_directories(empty);
  const TShippedDataReport r = InstallShippedData(empty.string(), data_.string());
  EXPECT_TRUE(r.Copied.empty());
  EXPECT_TRUE(r.Errors.empty());
  EXPECT_FALSE(fs::exists(data_ / "Books"));
}

}  // namespace
}  // namespace quorlin
