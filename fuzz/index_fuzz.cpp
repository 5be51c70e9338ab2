// A game database as found on disk: index records (88 bytes, 52 in version
// 20), the games file and its version byte, read game by game. Every record
// unpacked and packed again keeps its bytes (apart from the filler bytes), and
// every game that reads has a sound tree.
#include <cstring>
#include <string>

#include "fuzz/fuzz_support.h"
#include "games/bodycodec.h"
#include "games/database.h"

using namespace quorlin;

namespace {

// Filler bytes of the 88-byte record, which packing writes as zeros.
bool IsFiller(int i) {
  return i == 5 || (i >= 9 && i <= 11) || i == 17 || (i >= 21 && i <= 23) || (i >= 49 && i <= 51) ||
         (i >= 66 && i <= 67);
}

void CheckRecordRoundTrip(const uint8_t* raw) {
  TGameHeader h;
  UnpackIndexRecord(raw, h);
  uint8_t packed[kIndexRecordSize];
  PackIndexRecord(h, packed);
  for (int i = 0; i < kIndexRecordSize; ++i) {
    if (IsFiller(i)) continue;
    if (i == 57 && raw[i] == 0) continue;  // TypeOfGame 0 is stored as 255
    if (i == 56 && raw[i] > 1) continue;   // any FirstMove but 0 reads as Black
    FUZZ_CHECK(packed[i] == raw[i], "record byte " + std::to_string(i) + " changes when packed again");
  }
  TGameHeader again;
  UnpackIndexRecord(packed, again);
  uint8_t twice[kIndexRecordSize];
  PackIndexRecord(again, twice);
  FUZZ_CHECK(std::memcmp(packed, twice, kIndexRecordSize) == 0, "packing is not stable");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const uint8_t kVersions[] = {kDBVersion20, kDBVersion30, kDBVersion38, 37};
  fuzz::TInput in(data, size);
  const uint8_t version = kVersions[in.Pick(4)];
  size_t indexSize = in.Byte();
  indexSize = indexSize * 256 + in.Byte();
  const std::string_view index = in.Take(indexSize);
  const std::string games = std::string(1, static_cast<char>(version)) + std::string(in.Rest());

  for (size_t at = 0; at + kIndexRecordSize <= index.size(); at += kIndexRecordSize)
    CheckRecordRoundTrip(reinterpret_cast<const uint8_t*>(index.data()) + at);

  fuzz::WriteFile("db/games.abd", index);
  fuzz::WriteFile("db/games.abm", games);
  fuzz::WriteFile("db/games.abn", version == kDBVersion38 ? "\xEF\xBB\xBFName\t0\tA\r\nSite\t0\tS\r\n"
                                                          : "^A\r\n*T\r\n@S\r\n");
  TQuorlinDB db;
  if (!OpenDatabase((fuzz::WorkDir() / "db/games.abd").string(), db, true)) return 0;
  FUZZ_CHECK(db.DBType == version, "opened a database of another version");
  TGame game;
  const int last = db.DBSize < 64 ? db.DBSize : 64;
  for (int n = 1; n <= last; ++n) {
    if (!ReadGame(db, n, false, -1, game)) {
      FUZZ_CHECK(!db.LastError.empty(), "game " + std::to_string(n) + " refused without saying why");
      continue;
    }
    std::string error;
    FUZZ_CHECK(CheckGameTree(game, error),
               "game " + std::to_string(n) + " read with a broken tree: " + error);
    NameAt(game.Header.White.NameIndex, db);
    TournamentAt(game.Header.TournamentIndex, db);
  }
  CloseDatabase(db);
  return 0;
}
