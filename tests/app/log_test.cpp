#include "app/log.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <regex>
#include <sstream>
#include <thread>
#include <vector>

#include "app/folders.h"
#include "test_support.h"

namespace quorlin {
namespace {

namespace fs = std::filesystem;
using test::FreshDir;
using test::ReadFile;
using test::WriteFile;

const std::regex kLine(R"(\[\d{4}-\d{2}-\d{2} \d{2}:\d{2}:\d{2}\] (.*))");

// Splits at CR LF; a bare LF or CR left in a line is a fault the test sees.
std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  size_t pos = 0;
  while (pos < text.size()) {
    const size_t end = text.find("\r\n", pos);
    if (end == std::string::npos) {
      lines.push_back(text.substr(pos));
      break;
    }
    lines.push_back(text.substr(pos, end - pos));
    pos = end + 2;
  }
  return lines;
}

class LogTest : public testing::Test {
 protected:
  void SetUp() override {
    saved_ = {ProgramFolder, DataFolder, TempFolder, EDFolder};
    DataFolder = FreshDir("log").string() + "/";
  }
  void TearDown() override {
    CloseLog();
    ProgramFolder = saved_[0], DataFolder = saved_[1], TempFolder = saved_[2], EDFolder = saved_[3];
  }
  std::array<std::string, 4> saved_;
};

TEST_F(LogTest, FirstLinesOfARunHaveTheLogFormat) {
  const fs::path home = FreshDir("loghome");
  const std::string savedHome = std::getenv("HOME");
  setenv("HOME", home.c_str(), 1);
  const bool created = InitFolders();
  setenv("HOME", savedHome.c_str(), 1);
  ASSERT_TRUE(created);
  ASSERT_TRUE(OpenLog());
  WriteLog(".", false);
  WriteLog("Program started.", false);
  CloseLog();

  EXPECT_EQ(LogFilePath(), (home / "Documents" / "Quorlin Draughts" / "Quorlin Draughts.log").string());
  const std::string text = ReadFile(LogFilePath());
  ASSERT_EQ(text.substr(text.size() - 2), "\r\n");
  const auto lines = Lines(text);
  ASSERT_EQ(lines.size(), 2u) << text;
  std::smatch m;
  ASSERT_TRUE(std::regex_match(lines[0], m, kLine)) << lines[0];
  EXPECT_EQ(m[1], ".");
  ASSERT_TRUE(std::regex_match(lines[1], m, kLine)) << lines[1];
  EXPECT_EQ(m[1], "Program started.");
}

TEST_F(LogTest, AppendsToExistingLogAndWritesBlankLine) {
  WriteFile(LogFilePath(), "[old] earlier run\r\n");
  ASSERT_TRUE(OpenLog());
  WriteLog("with blank", true);
  WriteLog("two\nlines\r\nmade one", false);
  const auto lines = Lines(ReadFile(LogFilePath()));
  ASSERT_EQ(lines.size(), 4u);
  EXPECT_EQ(lines[0], "[old] earlier run");
  EXPECT_TRUE(std::regex_match(lines[1], kLine));
  EXPECT_EQ(lines[1].substr(22), "with blank");
  EXPECT_EQ(lines[2], "");
  EXPECT_EQ(lines[3].substr(22), "two lines  made one");
}

TEST_F(LogTest, NothingIsWrittenWhileDisabled) {
  WriteLog("before open");
  EXPECT_FALSE(fs::exists(LogFilePath()));

  ASSERT_TRUE(OpenLog());
  WriteLog("kept");
  CloseLog();
  WriteLog("after close");
  EXPECT_EQ(Lines(ReadFile(LogFilePath())).size(), 1u);
  fs::remove(LogFilePath());

  // A log that cannot be opened turns logging off without a fuss.
  fs::create_directories(LogFilePath());
  EXPECT_FALSE(OpenLog());
  EXPECT_FALSE(LogEnabled());
  WriteLog("lost");
  DataFolder = "/nonexistent-quorlin-folder/";
  EXPECT_FALSE(OpenLog());
  WriteLog("lost too");
}

TEST_F(LogTest, TimeStampIsLocalDateAndTime) {
  std::tm t{};
  t.tm_year = 2024 - 1900, t.tm_mon = 2, t.tm_mday = 5, t.tm_hour = 7, t.tm_min = 8, t.tm_sec = 9;
  t.tm_isdst = -1;
  EXPECT_EQ(FormatLogLine("Engine loaded", std::mktime(&t)), "[2024-03-05 07:08:09] Engine loaded\r\n");
}

TEST_F(LogTest, LinesFromManyThreadsStayWhole) {
  ASSERT_TRUE(OpenLog());
  constexpr int kThreads = 8, kLines = 250;
  const std::string filler(100, '#');
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([t, &filler] {
      for (int i = 0; i < kLines; ++i)
        WriteLog("t" + std::to_string(t) + " n" + std::to_string(i) + " " + filler);
    });
  }
  for (auto& th : threads) th.join();

  const auto lines = Lines(ReadFile(LogFilePath()));
  ASSERT_EQ(lines.size(), static_cast<size_t>(kThreads * kLines));
  std::vector<int> next(kThreads, 0);
  const std::regex body(R"(t(\d+) n(\d+) #{100})");
  for (const std::string& line : lines) {
    std::smatch m, b;
    ASSERT_TRUE(std::regex_match(line, m, kLine)) << line;
    const std::string text = m[1];
    ASSERT_TRUE(std::regex_match(text, b, body)) << line;
    const int t = std::stoi(b[1]), n = std::stoi(b[2]);
    EXPECT_EQ(n, next[t]++) << "thread " << t << " out of order";
  }
}

}  // namespace
}  // namespace quorlin
