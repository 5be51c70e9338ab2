// Builds the main window's language table from the readable sources in this folder.
//
//   quorlin_langtable OUTPUT keys.txt RU.txt MY.txt ...
//
// keys.txt holds the English keys, one per line. Every language file is named after
// its code and holds "English key=translation" lines; blank lines and lines
// starting with "#" are skipped. The output is the table's stored form: 32-bit
// little-endian counts and UTF-16LE texts whose lines are separated by CR LF —
// the key list, the number of languages, then per language its code and its list.
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

struct Failure : std::runtime_error {
  using std::runtime_error::runtime_error;
};

[[noreturn]] void Fail(const std::string& file, int line, const std::string& what) {
  throw Failure(file + (line > 0 ? ":" + std::to_string(line) : "") + ": " + what);
}

std::vector<std::string> ReadLines(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  if (!f) Fail(path, 0, "cannot open");
  std::stringstream ss;
  ss << f.rdbuf();
  std::string all = ss.str();
  if (all.compare(0, 3, "\xEF\xBB\xBF") == 0) all.erase(0, 3);
  std::vector<std::string> lines;
  std::string cur;
  for (char c : all) {
    if (c == '\n') {
      if (!cur.empty() && cur.back() == '\r') cur.pop_back();
      lines.push_back(cur);
      cur.clear();
    } else {
      cur += c;
    }
  }
  if (!cur.empty()) lines.push_back(cur);
  return lines;
}

// UTF-8 to UTF-16 code units; rejects malformed input so that a bad source byte
// never reaches the shipped table.
std::u16string ToUtf16(const std::string& s, const std::string& file, int line) {
  std::u16string out;
  size_t i = 0;
  while (i < s.size()) {
    const auto b0 = static_cast<unsigned char>(s[i]);
    uint32_t cp;
    int extra;
    if (b0 < 0x80) {
      cp = b0, extra = 0;
    } else if ((b0 & 0xE0) == 0xC0) {
      cp = b0 & 0x1F, extra = 1;
    } else if ((b0 & 0xF0) == 0xE0) {
      cp = b0 & 0x0F, extra = 2;
    } else if ((b0 & 0xF8) == 0xF0) {
      cp = b0 & 0x07, extra = 3;
    } else {
      Fail(file, line, "malformed UTF-8");
    }
    for (int k = 1; k <= extra; ++k) {
      if (i + k >= s.size()) Fail(file, line, "malformed UTF-8");
      const auto b = static_cast<unsigned char>(s[i + k]);
      if ((b & 0xC0) != 0x80) Fail(file, line, "malformed UTF-8");
      cp = (cp << 6) | (b & 0x3F);
    }
    static const uint32_t kMin[] = {0, 0x80, 0x800, 0x10000};
    if (cp < kMin[extra] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
      Fail(file, line, "malformed UTF-8");
    if (cp >= 0x10000) {
      cp -= 0x10000;
      out += static_cast<char16_t>(0xD800 + (cp >> 10));
      out += static_cast<char16_t>(0xDC00 + (cp & 0x3FF));
    } else {
      out += static_cast<char16_t>(cp);
    }
    i += extra + 1;
  }
  return out;
}

std::string LowerAscii(std::string s) {
  for (char& c : s)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return s;
}

// Lines joined with CR LF between them.
std::u16string JoinLines(const std::vector<std::u16string>& lines) {
  std::u16string out;
  for (size_t i = 0; i < lines.size(); ++i) {
    if (i > 0) out += u"\r\n";
    out += lines[i];
  }
  return out;
}

void PutInt(std::string& out, uint32_t v) {
  for (int k = 0; k < 4; ++k) out += static_cast<char>((v >> (8 * k)) & 0xFF);
}

void PutText(std::string& out, const std::u16string& text) {
  PutInt(out, static_cast<uint32_t>(text.size()));
  for (char16_t c : text) {
    out += static_cast<char>(c & 0xFF);
    out += static_cast<char>(c >> 8);
  }
}

int Run(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: quorlin_langtable OUTPUT KEYS LANGUAGE_FILE...\n");
    return 2;
  }
  const std::string output = argv[1];
  const std::string keysFile = argv[2];

  std::vector<std::string> keys = ReadLines(keysFile);
  std::set<std::string> keySet;
  std::set<std::string> lowered;
  std::vector<std::u16string> keyLines;
  for (size_t i = 0; i < keys.size(); ++i) {
    const int line = static_cast<int>(i) + 1;
    if (keys[i].empty()) Fail(keysFile, line, "empty key");
    if (!lowered.insert(LowerAscii(keys[i])).second)
      Fail(keysFile, line, "duplicate key \"" + keys[i] + "\"");
    keySet.insert(keys[i]);
    keyLines.push_back(ToUtf16(keys[i], keysFile, line));
  }

  std::string out;
  PutText(out, JoinLines(keyLines));
  PutInt(out, static_cast<uint32_t>(argc - 3));
  for (int a = 3; a < argc; ++a) {
    const std::string file = argv[a];
    const std::string code = std::filesystem::path(file).stem().string();
    if (code.empty()) Fail(file, 0, "cannot take a language code from the file name");
    std::vector<std::u16string> list;
    std::set<std::string> seen;
    const std::vector<std::string> lines = ReadLines(file);
    for (size_t i = 0; i < lines.size(); ++i) {
      const int line = static_cast<int>(i) + 1;
      const std::string& s = lines[i];
      if (s.empty() || s[0] == '#') continue;
      const size_t eq = s.find('=');
      if (eq == std::string::npos) Fail(file, line, "expected \"English key=translation\"");
      const std::string key = s.substr(0, eq);
      if (!keySet.count(key)) Fail(file, line, "\"" + key + "\" is not one of the keys in " + keysFile);
      if (!seen.insert(key).second) Fail(file, line, "\"" + key + "\" translated twice");
      if (eq + 1 == s.size()) Fail(file, line, "empty translation of \"" + key + "\"");
      list.push_back(ToUtf16(s, file, line));
    }
    PutText(out, ToUtf16(code, file, 0));
    PutText(out, JoinLines(list));
  }

  // Written beside the target and renamed, so a failed run never leaves half a table.
  const std::string tmp = output + ".tmp";
  std::filesystem::create_directories(std::filesystem::path(output).parent_path());
  {
    std::ofstream f(tmp, std::ios::binary | std::ios::trunc);
    f.write(out.data(), static_cast<std::streamsize>(out.size()));
    if (!f.flush()) Fail(tmp, 0, "cannot write");
  }
  std::filesystem::rename(tmp, output);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  try {
    return Run(argc, argv);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "quorlin_langtable: %s\n", e.what());
    return 1;
  }
}
