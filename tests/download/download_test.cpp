// Downloads from a real nginx on 127.0.0.1, directly and through a proxy that
// spoils connections. After every download the data folder holds either all
// of the archive's files or exactly what it held before, and the temporary
// folder holds nothing but a finished archive.
#include "download/download.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>
#include <thread>

#include "archive_fixture.h"
#include "download/unpack.h"
#include "local_servers.h"

namespace quorlin {
namespace {

namespace fs = std::filesystem;
using test::PictureOf;

constexpr size_t kArchiveSize = 400 * 1024;  // about; four parts of 100 KB
// nginx lets a connection send one second's worth at once, then holds it to
// the rate: the parts of the slow archive take about a second and a half.
constexpr int kSlowRate = 16 * 1024;  // bytes a second per connection on /slow/
constexpr size_t kSlowArchiveSize = 160 * 1024;

bool WaitFor(const std::function<bool()>& done) {
  for (int i = 0; i < 2000; ++i) {
    if (done()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return done();
}

bool Contains(const std::vector<std::string>& lines, const std::string& line) {
  return std::find(lines.begin(), lines.end(), line) != lines.end();
}

bool AnyStartsWith(const std::vector<std::string>& lines, const std::string& prefix) {
  return std::any_of(lines.begin(), lines.end(),
                     [&](const std::string& l) { return l.rfind(prefix, 0) == 0; });
}

class DownloadTest : public testing::Test {
 protected:
  static void SetUpTestSuite() {
    www_ = new fs::path(test::FreshDir("www"));
    test::MakeZip(*www_ / "bases.zip", test::BaseArchiveEntries(kArchiveSize));
    test::MakeZip(*www_ / "slow.zip", test::BaseArchiveEntries(kSlowArchiveSize));
    test::MakeZip(*www_ / "hostile.zip", {{"Bases/Fine.abd", "fine"}, {"../../outside.abd", "evil"}});
    test::WriteFile(*www_ / "notazip.zip", test::RandomBytes(5000, 9));
    nginx_ = new test::TNginx(*www_, kSlowRate);
  }
  static void TearDownTestSuite() {
    delete nginx_;
    delete www_;
  }

  void SetUp() override {
    data_ = test::FreshDir("data");
    fs::create_directories(data_ / "Bases");
    test::WriteFile(data_ / "Bases/Russian.abd", "the old Russian base");
    test::WriteFile(data_ / "Bases/Mine.abd", "the user's own base");
    before_ = PictureOf(data_);
    temp_ = test::FreshDir("temp");
  }

  TDownloadRequest Request(const std::string& url, int parts = kDefaultPartCount) const {
    TDownloadRequest r;
    r.Url = url;
    r.ArchivePath = (temp_ / "bases.zip").string();
    r.DestFolder = data_.string();
    r.Parts = parts;
    r.Limits.ConnectTimeoutMs = 5000;
    r.Limits.StallSeconds = 5;
    return r;
  }

  TDownloadSummary Run(const TDownloadRequest& request) {
    EXPECT_TRUE(download_.Start(request));
    download_.Wait();
    EXPECT_FALSE(download_.Running());
    return download_.Summary();
  }

  // A failed or stopped download: nothing changed, nothing left over.
  void ExpectNothingLeft(const TDownloadSummary& s) {
    EXPECT_NE(s.Phase, TDownloadPhase::Succeeded);
    EXPECT_FALSE(s.Error.empty());
    EXPECT_TRUE(s.Files.empty());
    EXPECT_EQ(PictureOf(data_), before_);
    EXPECT_TRUE(test::NamesIn(temp_).empty());
    const auto log = download_.LogLines();
    EXPECT_FALSE(Contains(log, kDoneText));
  }

  // A finished download: the archive's files are in the data folder, the
  // user's other files are still there, the archive is kept whole.
  void ExpectInstalled(const TDownloadSummary& s, const fs::path& served) {
    ASSERT_EQ(s.Phase, TDownloadPhase::Succeeded) << s.Error;
    EXPECT_EQ(test::ReadFile(temp_ / "bases.zip"), test::ReadFile(served));
    EXPECT_EQ(test::NamesIn(temp_), std::vector<std::string>{"bases.zip"});
    const fs::path check = test::FreshDir("expected");
    for (const auto& [name, bytes] : before_) {
      if (name.back() == '/')
        fs::create_directories(check / name);
      else
        test::WriteFile(check / name, bytes);
    }
    ASSERT_TRUE(UnpackArchive(served.string(), check.string()).Ok);
    EXPECT_EQ(PictureOf(data_), PictureOf(check));
    EXPECT_EQ(download_.LogLines().back(), kDoneText);
  }

  static fs::path* www_;
  static test::TNginx* nginx_;
  fs::path data_, temp_;
  test::TFolderPicture before_;
  TDownload download_;
};

fs::path* DownloadTest::www_ = nullptr;
test::TNginx* DownloadTest::nginx_ = nullptr;

TEST_F(DownloadTest, FourRangedParts) {
  const std::string url = nginx_->Url("/files/bases.zip");
  const TDownloadSummary s = Run(Request(url));
  ExpectInstalled(s, *www_ / "bases.zip");
  const int64_t size = static_cast<int64_t>(fs::file_size(*www_ / "bases.zip"));
  EXPECT_EQ(s.Size, size);
  EXPECT_TRUE(s.Ranged);
  ASSERT_EQ(s.Parts, 4);
  for (int i = 0; i < 4; ++i) {
    const TPartProgress p = download_.Part(i);
    EXPECT_EQ(p.Status, TPartStatus::Done) << p.Error;
    EXPECT_EQ(p.Received, p.Length);
  }
  EXPECT_EQ(download_.LogLines(),
            (std::vector<std::string>{"File location = " + (temp_ / "bases.zip").string(),
                                      "Downloading " + url + " ...", FileSizeLine(size),
                                      "Extract to:" + data_.string(), kDoneText}));
  EXPECT_EQ(download_.LogLines(3), (std::vector<std::string>{"Extract to:" + data_.string(), kDoneText}));
  EXPECT_EQ(s.Files.size(), 4u);
}

// The parts cover the file exactly once, whatever their number; the last part
// takes the remainder.
class PartCountTest : public DownloadTest, public testing::WithParamInterface<int> {};

TEST_P(PartCountTest, PartsCoverTheFileOnce) {
  const TDownloadSummary s = Run(Request(nginx_->Url("/files/bases.zip"), GetParam()));
  ExpectInstalled(s, *www_ / "bases.zip");
  ASSERT_EQ(s.Parts, GetParam());
  const int64_t each = s.Size / s.Parts;
  int64_t next = 0;
  for (int i = 0; i < s.Parts; ++i) {
    const TPartProgress p = download_.Part(i);
    EXPECT_EQ(p.First, next);
    EXPECT_EQ(p.Length, i == s.Parts - 1 ? s.Size - next : each);
    next += p.Length;
  }
  EXPECT_EQ(next, s.Size);
}

INSTANTIATE_TEST_SUITE_P(Parts, PartCountTest, testing::Values(1, 3, 7, kMaxPartCount));

TEST_F(DownloadTest, AServerWithoutRangesIsFetchedInOnePart) {
  const TDownloadSummary s = Run(Request(nginx_->Url("/noranges/bases.zip")));
  ExpectInstalled(s, *www_ / "bases.zip");
  EXPECT_FALSE(s.Ranged);
  EXPECT_EQ(s.Parts, 1);
  EXPECT_TRUE(Contains(download_.LogLines(), kNoRangesText));
}

TEST_F(DownloadTest, AMissingFileFails) {
  const TDownloadSummary s = Run(Request(nginx_->Url("/files/Nothing_bases.zip")));
  ExpectNothingLeft(s);
  EXPECT_EQ(s.Phase, TDownloadPhase::Failed);
  EXPECT_NE(s.Error.find("404"), std::string::npos) << s.Error;
  EXPECT_EQ(s.Parts, 0);
}

TEST_F(DownloadTest, AnArchiveThatDoesNotOpenIsNotInstalled) {
  const TDownloadSummary s = Run(Request(nginx_->Url("/files/notazip.zip")));
  ExpectNothingLeft(s);
  EXPECT_TRUE(Contains(download_.LogLines(), kExtractErrorText));
}

TEST_F(DownloadTest, AnEntryOutsideTheDataFolderRefusesTheArchive) {
  const TDownloadSummary s = Run(Request(nginx_->Url("/files/hostile.zip")));
  ExpectNothingLeft(s);
  EXPECT_NE(s.Error.find("../../outside.abd"), std::string::npos) << s.Error;
  EXPECT_FALSE(fs::exists(data_.parent_path().parent_path() / "outside.abd"));
}

// The proxy closes every ranged connection after 10 000 bytes of its answer.
TEST_F(DownloadTest, ConnectionsCutInTheMiddle) {
  test::TBadProxy proxy(nginx_->Port(), test::TBadProxy::Mode::Cut, 10000);
  const TDownloadSummary s = Run(Request(proxy.Url("/files/bases.zip")));
  ExpectNothingLeft(s);
  EXPECT_EQ(s.Phase, TDownloadPhase::Failed);
  EXPECT_EQ(proxy.Spoiled(), 4);
  for (int i = 0; i < 4; ++i) {
    const TPartProgress p = download_.Part(i);
    EXPECT_EQ(p.Status, TPartStatus::Failed);
    EXPECT_NE(p.Error.find("connection closed after"), std::string::npos) << p.Error;
    EXPECT_LT(p.Received, p.Length);
  }
  EXPECT_EQ(download_.LogLines().back(), kNotFinishedText);
}

// Only the second part's connection is cut: the others arrive, the archive
// is still not unpacked, and the report names that part.
TEST_F(DownloadTest, OnePartCut) {
  const int64_t size = static_cast<int64_t>(fs::file_size(*www_ / "bases.zip"));
  test::TBadProxy proxy(nginx_->Port(), test::TBadProxy::Mode::Cut, 5000,
                        "Range: bytes=" + std::to_string(size / 4) + "-");
  const TDownloadSummary s = Run(Request(proxy.Url("/files/bases.zip")));
  ExpectNothingLeft(s);
  EXPECT_EQ(proxy.Spoiled(), 1);
  EXPECT_EQ(s.Error.rfind("Part 2: the connection closed after", 0), 0u) << s.Error;
  for (int i : {0, 2, 3}) EXPECT_EQ(download_.Part(i).Status, TPartStatus::Done);
  EXPECT_FALSE(Contains(download_.LogLines(), kExtractErrorText));
}

// The server takes the ranged requests and never answers them.
TEST_F(DownloadTest, AStalledPartTimesOut) {
  test::TBadProxy proxy(nginx_->Port(), test::TBadProxy::Mode::Stall, 0);
  TDownloadRequest r = Request(proxy.Url("/files/bases.zip"));
  r.Limits.StallSeconds = 1;
  const TDownloadSummary s = Run(r);
  ExpectNothingLeft(s);
  EXPECT_NE(s.Error.find("timed out after"), std::string::npos) << s.Error;
}

// The server claims ranges but answers every ranged GET with the whole file.
TEST_F(DownloadTest, AWholeFileAnswerToARangeFails) {
  test::TBadProxy proxy(nginx_->Port(), test::TBadProxy::Mode::DropRange);
  const TDownloadSummary s = Run(Request(proxy.Url("/files/bases.zip")));
  ExpectNothingLeft(s);
  EXPECT_NE(s.Error.find("answered 200 where 206"), std::string::npos) << s.Error;
  for (int i = 0; i < 4; ++i) EXPECT_EQ(download_.Part(i).Received, 0);
}

// Closing the window halfway through a slow download: every part stops,
// nothing is unpacked, and the same object then downloads normally again.
TEST_F(DownloadTest, SlowDownloadStoppedHalfway) {
  ASSERT_TRUE(download_.Start(Request(nginx_->Url("/slow/slow.zip"))));
  const bool halfway = WaitFor([&] {
    int64_t got = 0;
    for (int i = 0; i < download_.PartCount(); ++i) got += download_.Part(i).Received;
    return download_.Size() > 0 && got >= download_.Size() / 2;
  });
  EXPECT_TRUE(halfway);
  EXPECT_GT(download_.Speed(), 0);
  EXPECT_FALSE(download_.Start(Request(nginx_->Url("/files/bases.zip"))));  // still running
  download_.Stop();
  download_.Wait();
  const TDownloadSummary s = download_.Summary();
  EXPECT_EQ(s.Phase, TDownloadPhase::Stopped);
  ExpectNothingLeft(s);
  EXPECT_EQ(download_.LogLines().back(), kNotFinishedText);
  for (int i = 0; i < s.Parts; ++i) EXPECT_EQ(download_.Part(i).Status, TPartStatus::Cancelled);

  ExpectInstalled(Run(Request(nginx_->Url("/files/bases.zip"))), *www_ / "bases.zip");
}

TEST_F(DownloadTest, ACancelledPartFailsTheDownload) {
  ASSERT_TRUE(download_.Start(Request(nginx_->Url("/slow/slow.zip"))));
  EXPECT_TRUE(WaitFor([&] { return download_.Part(2).Received > 0; }));
  download_.CancelPart(2);
  download_.Wait();
  const TDownloadSummary s = download_.Summary();
  ExpectNothingLeft(s);
  EXPECT_EQ(s.Phase, TDownloadPhase::Failed);
  EXPECT_EQ(download_.Part(2).Status, TPartStatus::Cancelled);
  EXPECT_LT(download_.Part(2).Received, download_.Part(2).Length);
  for (int i : {0, 1, 3}) EXPECT_EQ(download_.Part(i).Status, TPartStatus::Done);
  EXPECT_TRUE(AnyStartsWith(download_.LogLines(), "Part 3: cancelled after "));
  EXPECT_FALSE(Contains(download_.LogLines(), kExtractErrorText));
}

// A cancel given while the size is still being asked for is not lost.
TEST_F(DownloadTest, ACancelBeforeThePartsBeginHolds) {
  ASSERT_TRUE(download_.Start(Request(nginx_->Url("/slow/slow.zip"))));
  download_.CancelPart(0);
  download_.Wait();
  ExpectNothingLeft(download_.Summary());
  EXPECT_EQ(download_.Part(0).Status, TPartStatus::Cancelled);
}

TEST_F(DownloadTest, DestroyingARunningDownloadStopsIt) {
  {
    TDownload running;
    ASSERT_TRUE(running.Start(Request(nginx_->Url("/slow/slow.zip"))));
    EXPECT_TRUE(WaitFor([&] { return running.Part(0).Received > 0; }));
  }
  EXPECT_TRUE(test::NamesIn(temp_).empty());
  EXPECT_EQ(PictureOf(data_), before_);
}

}  // namespace
}  // namespace quorlin
