// The games of a PDN text, read the way the importer reads them, for tests
// that need games to store.
#pragma once

#include <string>
#include <vector>

#include "games/gamerecord.h"
#include "games/pdnfile.h"

namespace quorlin::test {

inline std::vector<TGame> ReadPdnGames(const std::string& text, int variant, TPdnReadReport& report) {
  std::vector<TGame> games;
  ReadPdnText(
      text, variant,
      [&](TGame& g, int, std::string&) {
        games.push_back(g);
        return true;
      },
      report);
  return games;
}

}  // namespace quorlin::test
