// The names file of a game database in both forms: "^", "*", "@" lines
// (versions 20 and 30, UTF-8 or an 8-bit code page) and the tab form of
// version 38. What reads is written back and must read again to the same lists.
#include <string>
#include <vector>

#include "common/text.h"
#include "fuzz/fuzz_support.h"
#include "games/database.h"

using namespace quorlin;

namespace {

std::vector<std::string> Lists(const TQuorlinDB& db) {
  std::vector<std::string> all;
  for (const std::string& s : db.DBNames.Items()) all.push_back("^" + s);
  for (const std::string& s : db.DBTourn.Items()) all.push_back("*" + s);
  for (const std::string& s : db.DBSites.Items()) all.push_back("@" + s);
  return all;
}

bool ValidUtf8(const std::vector<std::string>& texts) {
  for (const std::string& t : texts) {
    size_t i = 0;
    char32_t cp;
    while (i < t.size())
      if (!DecodeUtf8(t, i, cp)) return false;
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz::TInput in(data, size);
  const uint8_t version = in.Byte() & 1 ? kDBVersion38 : kDBVersion30;
  const std::string path = (fuzz::WorkDir() / "names/games.abd").string();
  fuzz::WriteFile("names/games.abd", "");
  fuzz::WriteFile("names/games.abm", std::string(1, static_cast<char>(version)));
  fuzz::WriteFile("names/games.abn", in.Rest());

  TQuorlinDB db;
  if (!OpenDatabase(path, db, false)) {
    FUZZ_CHECK(!db.LastError.empty(), "refused without saying why");
    return 0;
  }
  const std::vector<std::string> first = Lists(db);
  const TNamesEncoding encoding = db.NamesEncoding;
  for (int i = 0; i < db.DBNames.Count(); ++i)
    FUZZ_CHECK(db.DBNames.IndexOf(db.DBNames[i]) <= i, "an entry is not found by its own text");
  db.DBChanged = true;
  FUZZ_CHECK(SaveDBNames(db), "names cannot be written: " + db.LastError);
  FUZZ_CHECK(CloseDatabase(db), "cannot close: " + db.LastError);

  TQuorlinDB again;
  FUZZ_CHECK(OpenDatabase(path, again, true), "written names file refused: " + again.LastError);
  // An 8-bit file whose bytes happen to form UTF-8 cannot be told from a UTF-8
  // file; the names file has no mark that would say which it is.
  if (encoding == TNamesEncoding::windows1252 && again.NamesEncoding == TNamesEncoding::utf8) return 0;
  // Bytes that are no UTF-8 behind a UTF-8 mark are kept as they are, and read
  // as the 8-bit code page once written without the mark (versions 20 and 30).
  if (!ValidUtf8(first)) return 0;
  FUZZ_CHECK(Lists(again) == first, "names read back differ");
  CloseDatabase(again);
  return 0;
}
