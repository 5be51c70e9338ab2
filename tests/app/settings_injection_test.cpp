// Saving the settings is interrupted at every write, flush and rename in turn
// (an I/O error, the disk filling up, the process killed): the settings file
// must afterwards hold either the old settings or the new ones, whole, and a
// save that reports success must have written the new ones.
#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <filesystem>
#include <string>

#include "app/folders.h"
#include "app/settings.h"
#include "io_faults.h"
#include "test_support.h"

namespace quorlin {
namespace {

namespace fs = std::filesystem;
using test::TFault;

class SettingsInjection : public testing::Test {
 protected:
  void SetUp() override {
    saved_ = {ProgramFolder, DataFolder, TempFolder, EDFolder};
    DataFolder = (test::FreshDir("settings-inject") / "data").string() + "/";
    fs::create_directories(DataFolder);
  }
  void TearDown() override {
    ProgramFolder = saved_[0], DataFolder = saved_[1], TempFolder = saved_[2], EDFolder = saved_[3];
    ResetSettings();
  }
  // Reads the file as the program does at start, then saves changed values.
  static bool LoadChangeSave(const std::string& name, int boardSize) {
    ResetSettings();
    LoadSettings();
    Settings.UserName = name;
    Settings.BrdSize = boardSize;
    EngineOpts[kRussian].UserRating = 1500 + boardSize;
    return SaveSettings();
  }
  std::array<std::string, 4> saved_;
};

TEST_F(SettingsInjection, EveryChangeInterruptedLeavesTheOldOrTheNewFile) {
  const std::string path = SettingsFilePath();
  ASSERT_TRUE(LoadChangeSave("Old name", 80));
  const std::string oldBytes = test::ReadFile(path);
  ASSERT_TRUE(LoadChangeSave("New name", 90));
  const std::string newBytes = test::ReadFile(path);
  ASSERT_NE(oldBytes, newBytes);

  const int changes = test::CountChanges(DataFolder, [&] {
    test::WriteFile(path, oldBytes);
    LoadChangeSave("New name", 90);
  });
  // CountChanges also counted the old file written back here.
  test::WriteFile(path, oldBytes);
  const int own = changes - test::CountChanges(DataFolder, [&] { test::WriteFile(path, oldBytes); });
  ASSERT_GT(own, 0);

  int tried = 0, broken = 0;
  for (TFault fault : {TFault::failure, TFault::diskFull, TFault::kill}) {
    for (int at = 1; at <= own; ++at) {
      test::WriteFile(path, oldBytes);
      bool done = false;
      if (fault == TFault::kill) {
        test::RunKilledAtChange(DataFolder, at, [&] { LoadChangeSave("New name", 90); });
      } else {
        test::ArmFaults(DataFolder, fault, at);
        done = LoadChangeSave("New name", 90);
        test::DisarmFaults();
      }
      ++tried;
      const std::string where = std::string(test::FaultName(fault)) + " at change " + std::to_string(at);
      const std::string now = test::ReadFile(path);
      if (now != oldBytes && now != newBytes) {
        ADD_FAILURE() << where << ": the settings file is neither the old nor the new one";
        ++broken;
      } else if (done && now != newBytes) {
        ADD_FAILURE() << where << ": the save reported success but the file is the old one";
        ++broken;
      }
      ResetSettings();
      LoadSettings();
      EXPECT_TRUE(Settings.UserName == "Old name" || Settings.UserName == "New name") << where;
    }
  }
  std::printf("[ injection ] settings save: %d changes, %d interruptions tried, %d files damaged\n", own,
              tried, broken);
}

}  // namespace
}  // namespace quorlin
