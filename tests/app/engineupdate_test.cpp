// The engine update archive: unpacked over the program folder and removed;
// unsafe or unreadable archives change nothing outside the folder and stay.
#include "app/engineupdate.h"

#include <gtest/gtest.h>
#include <zip.h>

#include <filesystem>
#include <map>

#include "test_support.h"

namespace quorlin {
namespace {

namespace fs = std::filesystem;
using test::FreshDir;
using test::ReadFile;
using test::WriteFile;

void WriteZip(const fs::path& path, const std::map<std::string, std::string>& entries) {
  int err = 0;
  zip_t* za = zip_open(path.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &err);
  ASSERT_NE(za, nullptr);
  for (const auto& [name, data] : entries) {
    zip_source_t* src = zip_source_buffer(za, data.data(), data.size(), 0);
    ASSERT_NE(src, nullptr);
    ASSERT_GE(zip_file_add(za, name.c_str(), src, ZIP_FL_OVERWRITE), 0) << name;
  }
  ASSERT_EQ(zip_close(za), 0);
}

TEST(EngineUpdate, ExtractsOverTheFolderAndDeletesTheArchive) {
  const fs::path dir = FreshDir("update");
  fs::create_directories(dir / "EnginesTest/Russian");
  WriteFile(dir / "EnginesTest/Russian/Analytic.eng", "old");
  const fs::path zip = dir / kEngineUpdateFile;
  WriteZip(zip, {{"EnginesTest/Russian/Analytic.eng", "new"}, {"EnginesTest/Thai/Extra.eng", "extra"}});
  std::string error;
  ASSERT_TRUE(InstallEngineUpdate(zip.string(), dir.string() + "/", error)) << error;
  EXPECT_EQ(ReadFile(dir / "EnginesTest/Russian/Analytic.eng"), "new");
  EXPECT_EQ(ReadFile(dir / "EnginesTest/Thai/Extra.eng"), "extra");
  EXPECT_FALSE(fs::exists(zip));
  EXPECT_FALSE(fs::exists(dir / "EnginesTest/Russian/Analytic.eng.part"));
}

TEST(EngineUpdate, UnsafeOrUnreadableArchivesStay) {
  const fs::path dir = FreshDir("update");
  const fs::path prog = dir / "prog";
  fs::create_directories(prog);
  const fs::path zip = prog / kEngineUpdateFile;
  for (const char* name : {"../outside.eng", "/tmp/absolute.eng", "EnginesTest/../../up.eng"}) {
    WriteZip(zip, {{name, "x"}});
    std::string error;
    EXPECT_FALSE(InstallEngineUpdate(zip.string(), prog.string() + "/", error)) << name;
    EXPECT_NE(error.find(name), std::string::npos) << error;
    EXPECT_TRUE(fs::exists(zip));
  }
  EXPECT_FALSE(fs::exists(dir / "outside.eng"));
  EXPECT_FALSE(fs::exists(dir / "up.eng"));

  WriteFile(zip, "not a zip archive");
  std::string error;
  EXPECT_FALSE(InstallEngineUpdate(zip.string(), prog.string() + "/", error));
  EXPECT_NE(error.find("Engines.zip"), std::string::npos) << error;
  EXPECT_TRUE(fs::exists(zip));
}

}  // namespace
}  // namespace quorlin
