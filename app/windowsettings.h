#pragma once
// Size and position of the main window, kept in the settings file (section
// "Window") beside the other settings.
#include <optional>
#include <string>

namespace quorlin {

struct TWindowGeometry {
  int left = 0, top = 0, width = 0, height = 0;
  bool maximized = false;
  bool operator==(const TWindowGeometry&) const = default;
};

// The geometry stored in the settings file `path`; none when it holds no
// usable one (missing keys, or a size below 200x200).
std::optional<TWindowGeometry> ReadWindowGeometry(const std::string& path);

// Stores the geometry in the settings file, keeping every other key. Call
// after SaveSettings, which rewrites the file from its own copy. False when
// the file could not be written.
bool WriteWindowGeometry(const std::string& path, const TWindowGeometry& g);

}  // namespace quorlin
