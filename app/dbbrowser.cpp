#include "app/dbbrowser.h"

#include <algorithm>
#include <filesystem>

#include "app/dbrows.h"
#include "app/folders.h"
#include "app/settings.h"

namespace quorlin {

namespace fs = std::filesystem;

std::string BasesFolder() {
  const std::string folder = DataFolder + "Bases/";
  std::error_code ec;
  fs::create_directories(folder, ec);
  return folder;
}

std::vector<std::string> ListDatabaseFiles(const std::string& folder) {
  std::vector<std::string> files;
  std::error_code ec;
  const fs::path root(folder);
  for (fs::recursive_directory_iterator it(root, fs::directory_options::skip_permission_denied, ec), end;
       !ec && it != end; it.increment(ec)) {
    if (it->is_regular_file(ec) && it->path().extension() == ".abd")
      files.push_back(it->path().lexically_relative(root).generic_string());
  }
  std::sort(files.begin(), files.end());
  return files;
}

bool CheckDatabaseName(const std::string& name, std::string& error) {
  if (name.empty() || name == "." || name == "..") {
    error = "Type a name for the database.";
    return false;
  }
  for (const unsigned char c : name) {
    if (c < 32 || c == 127 || std::string("/\\<>:\"|?*").find(static_cast<char>(c)) != std::string::npos) {
      error = c < 32 || c == 127 ? "A database name cannot hold control characters."
                                 : std::string("A database name cannot hold the character \"") +
                                       static_cast<char>(c) + "\".";
      return false;
    }
  }
  return true;
}

// --- The list -------------------------------------------------------------------------

void TDatabaseBrowser::ShowAll() {
  searchResult_ = false;
  const int size = IsOpen() ? db_.DBSize : 0;
  if (static_cast<int>(list_.items.size()) < size + 2) list_.items.resize(size + 100);
  for (int i = 1; i <= size; ++i) list_.items[i] = TDBListRec{i, false, -1};
  list_.count = size;
  if (db_.DBCurPos < 1 || db_.DBCurPos > size) db_.DBCurPos = size > 0 ? 1 : 0;
  scroll_ = std::min(scroll_, std::max(0, size - 1));
}

void TDatabaseBrowser::ShowAllAt(int scroll, int pos) {
  if (!IsOpen()) return;
  ShowAll();
  // The last game is a valid position too.
  if (pos > 0 && pos <= list_.count) db_.DBCurPos = pos;
  SetScroll(std::min(scroll, std::max(0, list_.count - 1)));
}

void TDatabaseBrowser::ShowFound(TDBList found) {
  list_ = std::move(found);
  searchResult_ = true;
  db_.DBCurPos = list_.count > 0 ? 1 : 0;
  scroll_ = 0;
}

void TDatabaseBrowser::SetCurPos(int pos) {
  if (pos >= 1 && pos <= Count()) db_.DBCurPos = pos;
}

void TDatabaseBrowser::ToggleSelected(int index) {
  if (index >= 1 && index <= Count()) list_.items[index].selected = !list_.items[index].selected;
}

int TDatabaseBrowser::SelectedCount() const {
  int n = 0;
  for (int i = 1; i <= Count(); ++i) n += list_.items[i].selected ? 1 : 0;
  return n;
}

bool TDatabaseBrowser::DeleteOrUndelete(std::string& error) {
  if (!IsOpen()) return false;
  int first = 0;
  for (int i = 1; i <= Count() && first == 0; ++i)
    if (list_.items[i].selected) first = i;
  auto mark = [&](int index, int mode) {
    if (SetDeletedMark(db_, list_.items[index].num, mode)) return true;
    error = db_.LastError;
    return false;
  };
  if (first == 0) {
    if (CurPos() < 1 || CurPos() > Count()) return true;
    return mark(CurPos(), 3);
  }
  TGameHeader h;
  if (!ReadIndexRecord(db_, list_.items[first].num, h)) {
    error = db_.LastError;
    return false;
  }
  const int mode = (h.Flags & kHeaderFlagDeleted) ? 1 : 2;
  for (int i = first; i <= Count(); ++i) {
    if (list_.items[i].selected && !mark(i, mode)) return false;
  }
  return true;
}

int TDatabaseBrowser::Step(int delta) const {
  const int count = Count();
  if (count == 0) return 0;
  int pos = CurPos() + delta;
  if (pos > count) pos = 1;
  if (pos < 1) pos = count;
  return pos;
}

bool TDatabaseBrowser::ReadCurrentGame(TGame& game, std::string& error) {
  const int pos = CurPos();
  if (!IsOpen() || pos < 1 || pos > Count()) {
    error = IsOpen() ? "No game is chosen." : kDatabaseNotOpenedText;
    return false;
  }
  const TDBListRec& entry = list_.items[pos];
  TGame read;
  if (!ReadGame(db_, entry.num, /*keep=*/false, /*showFrom=*/-1, read)) {
    error = db_.LastError;
    return false;
  }
  if (entry.gotomove != -1) read.Header.ShowFrom = entry.gotomove;
  game = std::move(read);
  return true;
}

// --- Databases ----------------------------------------------------------------------------

bool TDatabaseBrowser::Close(std::string& error) {
  const bool ok = !IsOpen() || CloseDatabase(db_);
  if (!ok) error = db_.LastError;
  ShowAll();
  return ok;
}

bool TDatabaseBrowser::Open(const std::string& path, std::string& error) {
  if (!Close(error)) return false;
  if (!OpenDatabase(path, db_, false)) {
    error = db_.LastError.empty() ? "Cannot open " + path : db_.LastError;
    ShowAll();
    return false;
  }
  if (db_.DBType != kDBVersion38) {
    CloseDatabase(db_);
    error = kOldDatabaseFormatText;
    ShowAll();
    return false;
  }
  Settings.Database = path;
  scroll_ = 0;
  db_.DBCurPos = 1;
  ShowAll();
  return true;
}

bool TDatabaseBrowser::Create(const std::string& folder, const std::string& name, std::string& error) {
  if (!CheckDatabaseName(name, error)) return false;
  std::error_code ec;
  fs::create_directories(folder, ec);
  const std::string path = (fs::path(folder) / (name + ".abd")).string();
  if (fs::exists(path, ec) || fs::exists(fs::path(path).replace_extension(".abm"), ec)) {
    error = "A database named \"" + name + "\" exists already.";
    return false;
  }
  // A separate record first, so that a failure leaves the open database open.
  {
    TQuorlinDB fresh;
    if (!CreateDatabase(path, fresh, kDBVersion38) || !CloseDatabase(fresh)) {
      error = fresh.LastError;
      return false;
    }
  }
  return Open(path, error);
}

bool TDatabaseBrowser::CleanUp(std::string& error) {
  if (!IsOpen() || db_.DBType != kDBVersion38) return false;
  const bool ok = CompactIndex(db_);
  if (!ok) error = db_.LastError;
  ShowAll();
  return ok;
}

bool TDatabaseBrowser::Delete(std::string& error) {
  if (!IsOpen()) return false;
  const bool ok = DeleteDatabaseFiles(db_);
  if (!ok) error = db_.LastError;
  ShowAll();
  return ok;
}

std::string TDatabaseBrowser::HeaderText() const { return ListHeaderText(db_, Count(), searchResult_); }

}  // namespace quorlin
