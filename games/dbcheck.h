#pragma once
// A full check of a game database as it stands on disk: every game must read
// back (index record, body, checksum, decoding) and refer only to names,
// tournaments and sites that the names file holds.
#include <string>
#include <vector>

#include "games/database.h"

namespace quorlin {

struct TDBCheckReport {
  int games = 0;
  int unreadable = 0;  // games that do not read back
  int lostNames = 0;   // games referring to entries the names file lacks
  // One line per fault: file, game number, what is wrong.
  std::vector<std::string> problems;

  bool Clean() const { return unreadable == 0 && lostNames == 0; }
};

// Checks games 1..DBSize of an open database.
void CheckDatabase(TQuorlinDB& db, TDBCheckReport& report);

}  // namespace quorlin
