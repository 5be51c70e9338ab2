// Every PDN file of the corpus (real files by other programs and people):
// imported into a database, then exported and read again.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "games/database.h"
#include "games/pdnfile.h"
#include "rules/variants.h"
#include "test_support.h"

namespace quorlin {
namespace {

namespace fs = std::filesystem;

// The files carry no GameType unless they say so; their names tell the variant.
int VariantOfFile(const std::string& name) {
  if (name.rfind("english_", 0) == 0) return kEnglish;
  if (name.rfind("italian_", 0) == 0) return kItalian;
  if (name.rfind("czech_", 0) == 0) return kCzech;
  if (name == "misc_edge-alphanumeric.pdn") return kRussian;  // "1.a3b4": an 8x8 alphanumeric move
  return kInternational;
}

// The faults of the files under fail/, as this reader reports them: game
// number in the file and the start of the reason.
const std::map<std::string, std::vector<std::pair<int, std::string>>> kFailFaults = {
    {"czech_mrdrcd07.pdn",
     {{12, "a move number with no move"},
      {20, "a move number with no move"},
      {36, "a move number with no move"}}},
    {"international_delfts2007.pdn",
     {{1, "not a legal move in this position, nor a result"},
      {2, "not a legal move in this position, nor a result"}}},
    {"international_ita-ch2004-40camp.pdn", {{11, "the game ends without a result"}}},
    {"international_problems-catA1.pdn", {{30, "a stray \".\""}}},
    {"international_problems-catC1.pdn", {{43, "a move number with no move"}, {46, "not a legal move"}}},
    {"misc_edge-nested-comment.pdn", {{1, "closing brace without an opening one"}}},
};

struct FileResult {
  TPdnReadReport report;
  int roundTripped = 0;
};

FileResult ImportAndRoundTrip(const fs::path& file, int variant, const fs::path& dir) {
  FileResult r;
  const std::string db = (dir / (file.stem().string() + ".abd")).string();
  std::string error;
  EXPECT_TRUE(ImportPdnFile(file.string(), db, variant, r.report, error)) << file << ": " << error;

  TQuorlinDB base;
  EXPECT_TRUE(OpenDatabase(db, base, true)) << base.LastError;
  EXPECT_EQ(base.DBSize, r.report.gamesStored) << file;
  std::string pdn;
  std::vector<TGame> stored(base.DBSize);
  for (int n = 1; n <= base.DBSize; ++n) {
    EXPECT_TRUE(ReadGame(base, n, false, -1, stored[n - 1]))
        << file << " game " << n << ": " << base.LastError;
    pdn += GameToPdn(stored[n - 1]);
  }
  // The export names its variant, so no default is needed to read it back.
  TPdnReadReport again;
  int index = 0;
  ReadPdnText(
      pdn, kRussian,
      [&](TGame& g, int number, std::string&) {
        if (index < static_cast<int>(stored.size())) {
          const std::string diff = GameDifference(stored[index], g);
          EXPECT_EQ(diff, "") << file << " game " << number;
          if (diff.empty()) ++r.roundTripped;
        }
        ++index;
        return true;
      },
      again);
  EXPECT_EQ(index, base.DBSize) << file;
  EXPECT_TRUE(again.stops.empty()) << file << ": exported text stopped at game " << again.stops[0].game
                                   << " line " << again.stops[0].line << ": " << again.stops[0].reason;
  return r;
}

TEST(PdnCorpus, EveryFileImportsAndRoundTrips) {
  const fs::path corpus = test::CorpusDir();
  if (corpus.empty() || !fs::exists(corpus / "pdn")) GTEST_SKIP() << "no PDN corpus";
  const fs::path dir = test::FreshDir("pdn-corpus");
  std::vector<fs::path> files;
  for (const auto& e : fs::directory_iterator(corpus / "pdn"))
    if (e.path().extension() == ".pdn") files.push_back(e.path());
  for (const auto& e : fs::directory_iterator(corpus / "pdn" / "fail"))
    if (e.path().extension() == ".pdn") files.push_back(e.path());
  std::sort(files.begin(), files.end());
  ASSERT_GE(files.size(), 40u);

  int failFiles = 0;
  for (const fs::path& file : files) {
    const std::string name = file.filename().string();
    const bool mustFail = file.parent_path().filename() == "fail";
    const FileResult r = ImportAndRoundTrip(file, VariantOfFile(name), dir);
    std::printf("%-45s %6d whole %3d stopped %6d round-tripped\n", (mustFail ? "fail/" + name : name).c_str(),
                r.report.gamesWhole, r.report.gamesStopped, r.roundTripped);
    for (const TPdnStop& s : r.report.stops)
      std::printf("    game %d, line %d, \"%s\": %s\n", s.game, s.line, s.token.c_str(), s.reason.c_str());
    if (!mustFail) {
      EXPECT_TRUE(r.report.stops.empty())
          << name << " game " << r.report.stops[0].game << ": " << r.report.stops[0].reason;
      EXPECT_GT(r.report.gamesWhole, 0) << name;
      continue;
    }
    ++failFiles;
    const auto it = kFailFaults.find(name);
    ASSERT_NE(it, kFailFaults.end()) << "fault of " << name << " not listed";
    ASSERT_EQ(r.report.stops.size(), it->second.size()) << name;
    for (size_t i = 0; i < it->second.size(); ++i) {
      EXPECT_EQ(r.report.stops[i].game, it->second[i].first) << name;
      EXPECT_EQ(r.report.stops[i].reason.rfind(it->second[i].second, 0), 0u)
          << name << ": " << r.report.stops[i].reason;
    }
  }
  EXPECT_EQ(failFiles, static_cast<int>(kFailFaults.size()));
}

TEST(PdnCorpus, OpenCheckersArchiveHasAllItsGames) {
  const fs::path corpus = test::CorpusDir();
  const fs::path file = corpus / "pdn" / "english_oca2.pdn";
  if (corpus.empty() || !fs::exists(file)) GTEST_SKIP() << "no PDN corpus";
  TPdnReadReport report;
  int moves = 0;
  ReadPdnText(
      test::ReadFile(file), kEnglish,
      [&](TGame& g, int, std::string&) {
        moves += MainLineLength(g);
        return true;
      },
      report);
  EXPECT_EQ(report.gamesWhole, 22621);
  EXPECT_EQ(report.gamesStopped, 0);
  EXPECT_GT(moves, 22621 * 30);
}

}  // namespace
}  // namespace quorlin
