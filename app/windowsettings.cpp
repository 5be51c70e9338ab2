#include "app/windowsettings.h"

#include "app/inifile.h"

namespace quorlin {

namespace {
constexpr const char* kSection = "Window";
constexpr int kMinimumSide = 200;
}  // namespace

std::optional<TWindowGeometry> ReadWindowGeometry(const std::string& path) {
  TIniFile ini;
  ini.Load(path);
  TWindowGeometry g;
  g.width = ini.ReadInteger(kSection, "Width", 0);
  g.height = ini.ReadInteger(kSection, "Height", 0);
  if (g.width < kMinimumSide || g.height < kMinimumSide) return std::nullopt;
  g.left = ini.ReadInteger(kSection, "Left", 0);
  g.top = ini.ReadInteger(kSection, "Top", 0);
  g.maximized = ini.ReadBool(kSection, "Maximized", false);
  return g;
}

bool WriteWindowGeometry(const std::string& path, const TWindowGeometry& g) {
  TIniFile ini;
  ini.Load(path);
  ini.SetFileName(path);
  ini.WriteInteger(kSection, "Left", g.left);
  ini.WriteInteger(kSection, "Top", g.top);
  ini.WriteInteger(kSection, "Width", g.width);
  ini.WriteInteger(kSection, "Height", g.height);
  ini.WriteBool(kSection, "Maximized", g.maximized);
  return ini.UpdateFile();
}

}  // namespace quorlin
