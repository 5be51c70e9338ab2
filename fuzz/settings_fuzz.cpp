// The settings file ("Quorlin Draughts.ini"): read as an ini file in any of
// the encodings people save it in, then through the program's settings
// reader. What reads writes back to bytes that read again to the same bytes,
// and settings saved read back to the same values.
#include <string>

#include "app/folders.h"
#include "app/inifile.h"
#include "app/settings.h"
#include "fuzz/fuzz_support.h"

using namespace quorlin;

namespace {

std::string SettingsText() {
  TIniFile ini;
  ini.Load(SettingsFilePath());
  return ini.SaveToBytes();
}

}  // namespace

void quorlin::fuzz::SetUpTarget() { InitFolders(); }

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz::TInput in(data, size);
  const bool throughSettings = in.Byte() % 8 == 0;
  const std::string bytes(in.Rest());

  TIniFile ini;
  ini.LoadFromBytes(bytes, "fuzz.ini");
  for (const std::string& section : ini.ReadSections())
    for (const std::string& key : ini.ReadSection(section)) {
      ini.ReadInteger(section, key, 0);
      ini.ReadBool(section, key, false);
    }
  const std::string first = ini.SaveToBytes();
  TIniFile again;
  const auto warnings = again.LoadFromBytes(first, "again.ini");
  FUZZ_CHECK(warnings.empty(), "written ini gives warnings: " + warnings.front().Text());
  FUZZ_CHECK(again.SaveToBytes() == first, "ini read back writes differently");

  if (!throughSettings) return 0;
  fuzz::WriteFile("home/Documents/Quorlin Draughts/Quorlin Draughts.ini", bytes);
  ResetSettings();
  LoadSettings();
  FUZZ_CHECK(SaveSettings(), "settings cannot be saved");
  const std::string saved = SettingsText();
  ResetSettings();
  LoadSettings();
  FUZZ_CHECK(SaveSettings(), "settings cannot be saved again");
  FUZZ_CHECK(SettingsText() == saved, "settings read back save differently");
  return 0;
}
