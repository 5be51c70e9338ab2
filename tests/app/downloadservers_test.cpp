// The two download-server entries of the settings file.
#include <gtest/gtest.h>

#include <filesystem>

#include "app/folders.h"
#include "app/inifile.h"
#include "app/settings.h"
#include "test_support.h"

namespace quorlin {
namespace {

class DownloadServersTest : public testing::Test {
 protected:
  void SetUp() override {
    savedDataFolder_ = DataFolder;
    DataFolder = test::FreshDir("servers").string() + "/";
    ResetSettings();
  }
  void TearDown() override {
    DataFolder = savedDataFolder_;
    ResetSettings();
  }
  std::string savedDataFolder_;
};

TEST_F(DownloadServersTest, DefaultsOneHttpsOneHttpWithoutTrailingSlash) {
  LoadSettings();
  EXPECT_EQ(Settings.DownloadServer1.rfind("https://", 0), 0u);
  EXPECT_EQ(Settings.DownloadServer2.rfind("http://", 0), 0u);
  EXPECT_NE(Settings.DownloadServer1.back(), '/');
  EXPECT_NE(Settings.DownloadServer2.back(), '/');
}

TEST_F(DownloadServersTest, WrittenAndReadBack) {
  LoadSettings();
  Settings.DownloadServer1 = "https://bases.example.org:8443/draughts";
  Settings.DownloadServer2 = "http://127.0.0.1:8080";
  ASSERT_TRUE(SaveSettings());

  TIniFile ini;
  ASSERT_TRUE(ini.Load(SettingsFilePath()).empty());
  EXPECT_EQ(ini.ReadString("Main", "DownloadServer1", ""), "https://bases.example.org:8443/draughts");
  EXPECT_EQ(ini.ReadString("Main", "DownloadServer2", ""), "http://127.0.0.1:8080");

  ResetSettings();
  LoadSettings();
  EXPECT_EQ(Settings.DownloadServer1, "https://bases.example.org:8443/draughts");
  EXPECT_EQ(Settings.DownloadServer2, "http://127.0.0.1:8080");
}

TEST_F(DownloadServersTest, AnEmptyEntryGivesTheDefault) {
  TIniFile ini;
  ini.SetFileName(SettingsFilePath());
  ini.WriteString("Main", "DownloadServer1", "");
  ini.WriteString("Main", "DownloadServer2", "http://mine");
  ASSERT_TRUE(ini.UpdateFile());
  LoadSettings();
  EXPECT_EQ(Settings.DownloadServer1, kDefaultDownloadServer1);
  EXPECT_EQ(Settings.DownloadServer2, "http://mine");
}

}  // namespace
}  // namespace quorlin
