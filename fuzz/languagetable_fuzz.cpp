// The main window's language table in its stored form (32-bit counts,
// UTF-16LE texts). A table that reads is stored again and must read back to
// the same table; a damaged one gives an error and an empty table.
#include <cstdint>
#include <string>

#include "app/inifile.h"
#include "app/translations.h"
#include "fuzz/fuzz_support.h"

using namespace quorlin;

namespace {

void PutCount(std::string& out, uint32_t n) {
  for (int i = 0; i < 4; ++i) out += static_cast<char>((n >> (8 * i)) & 0xFF);
}

void PutText(std::string& out, const std::string& utf8) {
  const std::u16string t = Utf8ToUtf16(utf8);
  PutCount(out, static_cast<uint32_t>(t.size()));
  for (char16_t c : t) {
    out += static_cast<char>(c & 0xFF);
    out += static_cast<char>(c >> 8);
  }
}

// Every line ends with a line break, so that empty lines at the end stay.
std::string Joined(const std::vector<std::string>& lines) {
  std::string s;
  for (const std::string& line : lines) s += line + "\r\n";
  return s;
}

std::string Store(const TLanguageTable& t) {
  std::string out;
  PutText(out, Joined(t.Keys));
  PutCount(out, static_cast<uint32_t>(t.Languages.size()));
  for (const TLanguageList& l : t.Languages) {
    PutText(out, l.Code);
    PutText(out, Joined(l.Lines));
  }
  return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string bytes(reinterpret_cast<const char*>(data), size);
  const TLanguageTableResult r = ParseLanguageTable(bytes, "table.lng");
  if (r.Error) {
    FUZZ_CHECK(r.Table.Keys.empty() && r.Table.Languages.empty(), "a damaged table kept entries");
    return 0;
  }
  for (const TLanguageList& l : r.Table.Languages)
    for (const std::string& key : r.Table.Keys) Translate(r.Table, l.Code, key);
  const TLanguageTableResult again = ParseLanguageTable(Store(r.Table), "again.lng");
  FUZZ_CHECK(!again.Error, "stored table refused: " + (again.Error ? again.Error->Message() : ""));
  FUZZ_CHECK(Store(again.Table) == Store(r.Table), "table read back stores differently");
  return 0;
}
