#include "app/folders.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <system_error>

#include "common/text.h"

namespace quorlin {

std::string ProgramFolder;
std::string DataFolder;
std::string TempFolder;
std::string EDFolder;

namespace fs = std::filesystem;

namespace {

std::string WithSlash(std::string path) {
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  if (path.empty() || path.back() != '/') path += '/';
  return path;
}

// Absolute, with "." and ".." removed; symbolic links are kept.
std::string Absolute(const std::string& path) {
  std::error_code ec;
  fs::path p = fs::absolute(path, ec);
  if (ec) p = path;
  return p.lexically_normal().string();
}

std::string EnvOrEmpty(const char* name) {
  const char* v = std::getenv(name);
  return v ? std::string(v) : std::string();
}

std::string TrimSettingText(const std::string& s) { return std::string(TrimView(s, " \t\r")); }

// Removes the shell quoting used by xdg-user-dirs: double quotes around the
// value and backslash escapes inside them.
std::string Unquote(const std::string& v) {
  if (v.size() < 2 || v.front() != '"') return v;
  std::string out;
  for (size_t i = 1; i < v.size(); ++i) {
    const char c = v[i];
    if (c == '\\' && i + 1 < v.size()) {
      out += v[++i];
    } else if (c == '"') {
      break;
    } else {
      out += c;
    }
  }
  return out;
}

std::string ProgramPathFromProc() {
  std::error_code ec;
  fs::path exe = fs::read_symlink("/proc/self/exe", ec);
  if (ec || exe.empty()) return {};
  return exe.string();
}

}  // namespace

std::string HomeFolder() {
  std::string home = EnvOrEmpty("HOME");
  if (home.empty()) {
    if (const passwd* pw = getpwuid(getuid()); pw && pw->pw_dir) home = pw->pw_dir;
  }
  if (home.empty()) {
    std::error_code ec;
    home = fs::current_path(ec).string();
  }
  return Absolute(home);
}

std::optional<std::string> ParseUserDirsDocuments(const std::string& fileText, const std::string& home) {
  std::optional<std::string> found;
  std::istringstream in(fileText);
  std::string line;
  while (std::getline(in, line)) {
    line = TrimSettingText(line);
    if (line.empty() || line[0] == '#') continue;
    const auto eq = line.find('=');
    if (eq == std::string::npos) continue;
    if (TrimSettingText(line.substr(0, eq)) != "XDG_DOCUMENTS_DIR") continue;
    std::string value = Unquote(TrimSettingText(line.substr(eq + 1)));
    std::string rest;
    if (value.rfind("${HOME}", 0) == 0) {
      rest = value.substr(7);
    } else if (value.rfind("$HOME", 0) == 0) {
      rest = value.substr(5);
    } else if (!value.empty() && value[0] == '/') {
      found = fs::path(value).lexically_normal().string();
      continue;
    } else {
      continue;  // relative paths are not allowed
    }
    if (!rest.empty() && rest[0] != '/') continue;  // "$HOMEfoo" is no home path
    found = fs::path(home + rest).lexically_normal().string();
  }
  if (found) {
    while (found->size() > 1 && found->back() == '/') found->pop_back();
  }
  return found;
}

std::string DocumentsFolder() {
  const std::string home = HomeFolder();
  std::string config = EnvOrEmpty("XDG_CONFIG_HOME");
  if (config.empty() || config[0] != '/') config = home + "/.config";
  std::ifstream f(config + "/user-dirs.dirs", std::ios::binary);
  if (f) {
    std::stringstream ss;
    ss << f.rdbuf();
    if (auto docs = ParseUserDirsDocuments(ss.str(), home)) return *docs;
  }
  return fs::path(home + "/Documents").lexically_normal().string();
}

bool InitFolders(const std::optional<std::string>& programPath) {
  std::error_code ec;

  std::string exe = programPath ? *programPath : ProgramPathFromProc();
  if (exe.empty()) exe = fs::current_path(ec).string() + "/program";
  ProgramFolder = WithSlash(fs::path(Absolute(exe)).parent_path().string());

  // The whole path is created: on a fresh account the Documents folder itself
  // may be missing, and without the data folder nothing could ever be saved.
  DataFolder = WithSlash(DocumentsFolder() + "/Quorlin Draughts");
  fs::create_directories(DataFolder, ec);
  const bool dataOk = fs::is_directory(DataFolder, ec);

  std::string tmp = EnvOrEmpty("TMPDIR");
  if (tmp.empty() || !fs::is_directory(tmp, ec)) tmp = "/tmp";
  fs::path canon = fs::canonical(tmp, ec);
  TempFolder = WithSlash(ec ? Absolute(tmp) : canon.string());

  EDFolder = fs::is_directory(ProgramFolder + "ED", ec) ? ProgramFolder + "ED/" : DataFolder + "ED/";
  return dataOk;
}

}  // namespace quorlin
