// Whole PDN files: tag pairs, move text, comments, variations, results, any
// number of games. Every game read to its end is written back as PDN and must
// read again to the same game.
#include <set>
#include <string>
#include <vector>

#include "fuzz/fuzz_support.h"
#include "games/bodycodec.h"
#include "games/pdnfile.h"
#include "rules/variants.h"

using namespace quorlin;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz::TInput in(data, size);
  const int defaultVariant = 1 + in.Pick(kVariantCount);
  const std::string text(in.Rest());

  std::vector<TGame> games;
  std::vector<int> numbers;
  TPdnReadReport report;
  ReadPdnText(
      text, defaultVariant,
      [&](TGame& g, int number, std::string&) {
        std::string error;
        FUZZ_CHECK(CheckGameTree(g, error),
                   "game " + std::to_string(number) + " has a broken tree: " + error);
        games.push_back(g);
        numbers.push_back(number);
        return true;
      },
      report);
  FUZZ_CHECK(report.gamesStored == static_cast<int>(games.size()),
             "games counted differ from games delivered");
  FUZZ_CHECK(report.gamesWhole + report.gamesStopped >= report.gamesStored, "more games stored than read");
  std::set<int> stopped;
  for (const TPdnStop& s : report.stops) stopped.insert(s.game);

  for (size_t i = 0; i < games.size(); ++i) {
    if (stopped.count(numbers[i])) continue;
    const std::string pdn = GameToPdn(games[i]);
    std::vector<TGame> again;
    TPdnReadReport report2;
    ReadPdnText(
        pdn, defaultVariant,
        [&](TGame& g, int, std::string&) {
          again.push_back(g);
          return true;
        },
        report2);
    FUZZ_CHECK(again.size() == 1 && report2.stops.empty(),
               "a written game does not read back as one whole game:\n" + pdn);
    const std::string diff = GameDifference(games[i], again[0]);
    FUZZ_CHECK(diff.empty(), "game read back differs (" + diff + "):\n" + pdn);
  }
  return 0;
}
