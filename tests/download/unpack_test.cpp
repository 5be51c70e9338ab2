#include "download/unpack.h"

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>

#include "archive_fixture.h"

namespace quorlin {
namespace {

namespace fs = std::filesystem;
using test::MakeZip;
using test::PictureOf;
using test::TZipEntry;

struct EntryPathCase {
  const char* Name;
  const char* Expected;  // nullptr: refused
};

class SafeEntryPathTest : public testing::TestWithParam<EntryPathCase> {};

TEST_P(SafeEntryPathTest, KeepsEntriesInsideTheFolder) {
  const auto got = SafeEntryPath(GetParam().Name);
  if (GetParam().Expected == nullptr) {
    EXPECT_FALSE(got.has_value()) << *got;
  } else {
    ASSERT_TRUE(got.has_value());
    EXPECT_EQ(*got, GetParam().Expected);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Names, SafeEntryPathTest,
    testing::Values(EntryPathCase{"Bases/Russian.abd", "Bases/Russian.abd"},
                    EntryPathCase{"./Bases//a.abd", "Bases/a.abd"},
                    EntryPathCase{"Bases\\Windows.abd", "Bases/Windows.abd"},
                    EntryPathCase{"Pictures/", "Pictures"}, EntryPathCase{"./", ""},
                    EntryPathCase{"a..b/...", "a..b/..."}, EntryPathCase{"../evil", nullptr},
                    EntryPathCase{"Bases/../../evil", nullptr}, EntryPathCase{"Bases\\..\\..\\evil", nullptr},
                    EntryPathCase{"Bases/..", nullptr}, EntryPathCase{"/etc/evil", nullptr},
                    EntryPathCase{"\\evil", nullptr}, EntryPathCase{"C:/evil", nullptr},
                    EntryPathCase{"c:evil", nullptr}, EntryPathCase{"", nullptr}));

class UnpackTest : public testing::Test {
 protected:
  void SetUp() override {
    dir_ = test::FreshDir("unpack");
    dest_ = dir_ / "Quorlin Draughts";
    fs::create_directories(dest_ / "Bases");
    test::WriteFile(dest_ / "Bases/Russian.abd", "old russian index");
    test::WriteFile(dest_ / "Bases/Mine.abd", "the user's own database");
    test::WriteFile(dest_ / "Quorlin Draughts.ini", "[Main]\r\n");
    archive_ = dir_ / "bases.zip";
  }

  // Unpacking the archive fails with an error that mentions `mentioned`, and
  // the destination holds what it held before (no staging folder either).
  void ExpectRefused(const std::string& mentioned, const std::atomic<bool>* stop = nullptr) {
    const auto before = PictureOf(dest_);
    const TUnpackResult r = UnpackArchive(archive_.string(), dest_.string(), stop);
    EXPECT_FALSE(r.Ok);
    EXPECT_TRUE(r.Files.empty());
    EXPECT_NE(r.Error.find(mentioned), std::string::npos) << r.Error;
    EXPECT_EQ(PictureOf(dest_), before);
  }

  fs::path dir_, dest_, archive_;
};

TEST_F(UnpackTest, InstallsEveryFileAndKeepsTheOthers) {
  MakeZip(archive_, {{"Bases/", ""},
                     {"Bases/Russian.abd", "new russian index"},
                     {"Pictures/Boards/Default/board.png", "png"},
                     {"readme.txt", "hello"}});
  const TUnpackResult r = UnpackArchive(archive_.string(), dest_.string());
  ASSERT_TRUE(r.Ok) << r.Error;
  EXPECT_EQ(r.Files, (std::vector<std::string>{"Bases/Russian.abd", "Pictures/Boards/Default/board.png",
                                               "readme.txt"}));
  const test::TFolderPicture expected = {{"Bases/", ""},
                                         {"Bases/Mine.abd", "the user's own database"},
                                         {"Bases/Russian.abd", "new russian index"},
                                         {"Pictures/", ""},
                                         {"Pictures/Boards/", ""},
                                         {"Pictures/Boards/Default/", ""},
                                         {"Pictures/Boards/Default/board.png", "png"},
                                         {"Quorlin Draughts.ini", "[Main]\r\n"},
                                         {"readme.txt", "hello"}};
  EXPECT_EQ(PictureOf(dest_), expected);
}

TEST_F(UnpackTest, CreatesAMissingDestination) {
  MakeZip(archive_, {{"a/b.txt", "b"}});
  const fs::path fresh = dir_ / "new" / "data";
  const TUnpackResult r = UnpackArchive(archive_.string(), fresh.string() + "/");
  ASSERT_TRUE(r.Ok) << r.Error;
  EXPECT_EQ(PictureOf(fresh), (test::TFolderPicture{{"a/", ""}, {"a/b.txt", "b"}}));
}

// One entry that would land outside refuses the whole archive, wherever it
// stands in it.
class UnsafeArchiveTest : public UnpackTest, public testing::WithParamInterface<const char*> {};

TEST_P(UnsafeArchiveTest, RefusesTheWholeArchive) {
  MakeZip(archive_, {{"Bases/Russian.abd", "new"}, {GetParam(), "evil"}, {"Books/x.cbk", "book"}});
  ExpectRefused(GetParam());
  EXPECT_FALSE(fs::exists(dir_ / "evil"));
}

INSTANTIATE_TEST_SUITE_P(Names, UnsafeArchiveTest,
                         testing::Values("../evil", "Bases/../../evil", "/tmp/evil", "C:/evil"));

TEST_F(UnpackTest, ABrokenEntryLeavesTheFolderAsItWas) {
  const std::string big = test::RandomBytes(100000, 7);
  MakeZip(archive_, {{"Bases/Russian.abd", "new russian index"}, {"Bases/Big.abm", big}}, /*store=*/true);
  // Spoil one byte in the middle of the stored data: the entry's CRC no longer fits.
  std::string bytes = test::ReadFile(archive_);
  const size_t at = bytes.find(big.substr(50000, 64));
  ASSERT_NE(at, std::string::npos);
  bytes[at] = static_cast<char>(bytes[at] ^ 0x55);
  test::WriteFile(archive_, bytes);

  ExpectRefused("Bases/Big.abm");
}

TEST_F(UnpackTest, NotAnArchive) {
  test::WriteFile(archive_, "<html>404 Not Found</html>");
  ExpectRefused(archive_.string());
  fs::remove(archive_);
  ExpectRefused(archive_.string());
}

// A failure while files are moved into place (here a folder stands where the
// last file goes) puts back the files already replaced and removes the
// folders already made.
TEST_F(UnpackTest, AFailureWhileMovingIntoPlaceIsUndone) {
  fs::create_directories(dest_ / "Books/Russian.cbk");
  MakeZip(archive_, {{"Bases/Russian.abd", "new russian index"},
                     {"Pictures/Pieces/white.png", "png"},
                     {"Books/Russian.cbk", "book"}});
  ExpectRefused("Books/Russian.cbk");
}

TEST_F(UnpackTest, AFailureLeavesNoCreatedDestinationBehind) {
  MakeZip(archive_, {{"../evil", "x"}});
  const fs::path fresh = dir_ / "new";
  EXPECT_FALSE(UnpackArchive(archive_.string(), (fresh / "data").string()).Ok);
  EXPECT_FALSE(fs::exists(fresh));
}

TEST_F(UnpackTest, StoppedBeforeMovingChangesNothing) {
  MakeZip(archive_, {{"Bases/Russian.abd", "new"}});
  const std::atomic<bool> stop{true};
  ExpectRefused("stopped", &stop);
}

}  // namespace
}  // namespace quorlin
