#pragma once
// Game databases for the tests of the database, search, game-information and
// problem logic, made from PDN text in a fresh folder of the sandbox.
#include <gtest/gtest.h>

#include <string>

#include "games/database.h"
#include "games/pdnfile.h"
#include "rules/variants.h"
#include "test_support.h"

namespace quorlin::test {

// Imports `pdn` (games without a GameType tag are Russian) into a new
// database `name`.abd in a fresh folder; returns the index file's path.
inline std::string MakeDatabase(const std::string& name, const std::string& pdn, int variant = kRussian) {
  const auto dir = FreshDir(name);
  const std::string pdnPath = (dir / (name + ".pdn")).string();
  const std::string dbPath = (dir / (name + ".abd")).string();
  WriteFile(pdnPath, pdn);
  TPdnReadReport report;
  std::string error;
  EXPECT_TRUE(ImportPdnFile(pdnPath, dbPath, variant, report, error)) << error;
  EXPECT_EQ(report.gamesStopped, 0);
  return dbPath;
}

// One Russian game as PDN.
inline std::string RussianGame(const std::string& white, const std::string& black, const std::string& result,
                               const std::string& date, const std::string& moves,
                               const std::string& extraTags = "") {
  // An Event tag among the extra tags replaces the default one.
  const std::string event = extraTags.find("[Event ") == std::string::npos ? "[Event \"Club\"]" : "";
  return event + "[White \"" + white + "\"][Black \"" + black + "\"][Date \"" + date + "\"][Result \"" +
         result + "\"]" + extraTags + "\n" + moves + " " + result + "\n\n";
}

// `n` short Russian games "Player k" against "Opponent k", k = 1..n.
inline std::string NumberedGames(int n) {
  std::string pdn;
  for (int k = 1; k <= n; ++k)
    pdn += RussianGame("Player " + std::to_string(k), "Opponent " + std::to_string(k), "1-1", "2000.01.01",
                       "1. c3-d4 f6-g5");
  return pdn;
}

}  // namespace quorlin::test
