#pragma once
// The secondary windows drawn offscreen for the screenshot mode, and the
// database window timed on a large database (the measure mode).
#include <string>

namespace quorlin::gui {

class MainWindow;

// Names accepted by WindowScreenshot.
inline constexpr const char* kWindowNames = "database|search|gameinfo|problem|setup|newgame|settings";

// Opens window `name` over the main window (with database `db` open when not
// empty), draws it into `out` and closes it. 0 on success; 1 when the picture
// cannot be written; 2 for an unknown name or a database that does not open.
int WindowScreenshot(MainWindow& main, const std::string& name, const std::string& db, const std::string& out,
                     int width, int height);

// Prints how long the database window takes from choosing `db` to its first
// rows drawn, to draw rows in the middle and at the end, and a header search
// over the whole database. 0 on success, 2 when the database does not open.
int MeasureDatabaseWindow(MainWindow& main, const std::string& db);

}  // namespace quorlin::gui
