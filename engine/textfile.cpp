#include "engine/textfile.h"

#include <unistd.h>

#include <cctype>
#include <charconv>
#include <climits>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <system_error>

#include "rules/notation.h"

namespace quorlin {

namespace {

std::string ErrorText(const std::filesystem::path& file, int line, const std::string& tag,
                      const std::string& message) {
  std::string s = file.string();
  if (line > 0) {
    s += ':';
    s += std::to_string(line);
  }
  if (!tag.empty()) {
    s += ": ";
    s += tag;
  }
  s += ": ";
  s += message;
  return s;
}

}  // namespace

TFileError::TFileError(std::filesystem::path file, int line, std::string tag, std::string message)
    : std::runtime_error(ErrorText(file, line, tag, message)),
      file_(std::move(file)),
      line_(line),
      tag_(std::move(tag)),
      message_(std::move(message)) {}

std::vector<std::string> ReadTextLines(const std::filesystem::path& path) {
  std::error_code ec;
  if (std::filesystem::is_directory(path, ec)) throw TFileError(path, 0, "", "is a folder, not a file");
  std::ifstream in(path, std::ios::binary);
  if (!in) throw TFileError(path, 0, "", "cannot be opened for reading");
  std::vector<std::string> lines;
  std::string line;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(std::move(line));
  }
  if (in.bad()) throw TFileError(path, 0, "", "read error");
  // Editors on Windows may start a UTF-8 file with a byte order mark.
  if (!lines.empty() && lines[0].rfind("\xEF\xBB\xBF", 0) == 0) lines[0].erase(0, 3);
  return lines;
}

void WriteTextFile(const std::filesystem::path& path, const std::string& bytes) {
  std::filesystem::path tmp = path;
  tmp += ".tmp" + std::to_string(::getpid());
  {
    std::ofstream out(tmp, std::ios::binary | std::ios::trunc);
    if (!out) throw TFileError(path, 0, "", "cannot be opened for writing");
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    out.flush();
    if (!out) {
      out.close();
      std::error_code ec;
      std::filesystem::remove(tmp, ec);
      throw TFileError(path, 0, "", "write error");
    }
  }
  std::error_code ec;
  std::filesystem::rename(tmp, path, ec);
  if (ec) {
    std::filesystem::remove(tmp, ec);
    throw TFileError(path, 0, "", "cannot be replaced: " + ec.message());
  }
}

bool ParseInteger(const std::string& text, int32_t& value) {
  const char* p = text.data();
  const char* end = p + text.size();
  bool negative = false;
  if (p < end && (*p == '-' || *p == '+')) negative = *p++ == '-';
  if (p == end) return false;
  if (*p == '$') {
    ++p;
    if (p == end || end - p > 8) return false;
    uint32_t u = 0;
    auto [q, ec] = std::from_chars(p, end, u, 16);
    if (ec != std::errc() || q != end) return false;
    value = static_cast<int32_t>(negative ? 0u - u : u);
    return true;
  }
  if (*p < '0' || *p > '9') return false;  // from_chars would take a second sign
  int64_t v = 0;
  auto [q, ec] = std::from_chars(p, end, v, 10);
  if (ec != std::errc() || q != end) return false;
  if (negative) v = -v;
  if (v < INT32_MIN || v > INT32_MAX) return false;
  value = static_cast<int32_t>(v);
  return true;
}

bool ParseBoolean(const std::string& text, bool& value) {
  auto same = [&](const char* word) {
    size_t i = 0;
    for (; word[i]; ++i)
      if (i >= text.size() || std::tolower(static_cast<unsigned char>(text[i])) != word[i]) return false;
    return i == text.size();
  };
  if (same("true")) return value = true, true;
  if (same("false")) return value = false, true;
  int32_t n;
  if (!ParseInteger(text, n)) return false;
  value = n != 0;
  return true;
}

bool ParseSingle(const std::string& text, float& value) {
  const char* p = text.data();
  const char* end = p + text.size();
  if (p < end && *p == '+') ++p;
  if (p == end || *p == '+') return false;
  float v = 0;
  auto [q, ec] = std::from_chars(p, end, v, std::chars_format::general);
  if (ec != std::errc() || q != end || !std::isfinite(v)) return false;
  value = v;
  return true;
}

std::string FormatSingle(float value) {
  char buf[64];
  auto [p, ec] = std::to_chars(buf, buf + sizeof buf, value);
  return std::string(buf, ec == std::errc() ? p : buf);
}

std::string TagLine(const std::string& key, const std::string& value) {
  return "[" + key + " \"" + value + "\"]\r\n";
}

void SplitCommentedTagLine(const std::string& line, std::string& tag, std::string& value) {
  const size_t semi = line.find(';');
  SplitTagLine(semi == std::string::npos ? line : line.substr(0, semi), tag, value);
}

}  // namespace quorlin
