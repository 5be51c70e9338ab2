// Every PDN file of the corpus (real files by other programs and people):
// imported into a database, then exported and read again.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <map>
#include <string>
#include <tuple>
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

// "" when the texts are equal, else the first line that differs.
std::string FirstLineDifference(const std::string& a, const std::string& b) {
  if (a == b) return {};
  size_t at = 0, line = 1;
  while (at < a.size() && at < b.size() && a[at] == b[at]) {
    if (a[at] == '\n') ++line;
    ++at;
  }
  auto lineOf = [at](const std::string& s) {
    const size_t from = s.rfind('\n', at == 0 ? 0 : at - 1);
    const size_t start = from == std::string::npos || at == 0 ? 0 : from + 1;
    return s.substr(start, s.find('\n', start) - start);
  };
  return "line " + std::to_string(line) + ": \"" + lineOf(a) + "\" against \"" + lineOf(b) + "\"";
}

// A PDN file imported into a new database and its games exported again.
struct Imported {
  TPdnReadReport report;
  std::vector<TGame> games;          // as read back from the database
  std::vector<TGameHeader> headers;  // index records as stored
  std::string pdn;                   // the export
};

Imported ImportAndExport(const fs::path& file, int variant, const std::string& db) {
  Imported r;
  std::string error;
  EXPECT_TRUE(ImportPdnFile(file.string(), db, variant, r.report, error)) << file << ": " << error;
  TQuorlinDB base;
  EXPECT_TRUE(OpenDatabase(db, base, true)) << base.LastError;
  EXPECT_EQ(base.DBSize, r.report.gamesStored) << file;
  r.games.resize(base.DBSize);
  r.headers.resize(base.DBSize);
  for (int n = 1; n <= base.DBSize; ++n) {
    EXPECT_TRUE(ReadIndexRecord(base, n, r.headers[n - 1])) << base.LastError;
    EXPECT_TRUE(ReadGame(base, n, false, -1, r.games[n - 1]))
        << file << " game " << n << ": " << base.LastError;
    r.pdn += GameToPdn(r.games[n - 1]);
  }
  return r;
}

FileResult ImportAndRoundTrip(const fs::path& file, int variant, const fs::path& dir) {
  FileResult r;
  const Imported first = ImportAndExport(file, variant, (dir / (file.stem().string() + ".abd")).string());
  r.report = first.report;
  const std::vector<TGame>& stored = first.games;
  const std::string& pdn = first.pdn;

  // Import, export, import, export: the same PDN, the same index records and
  // the same texts (the tournament as stored, game numbers and all).
  const fs::path exported = dir / (file.stem().string() + "-exported.pdn");
  test::WriteFile(exported, pdn);
  const Imported second =
      ImportAndExport(exported, variant, (dir / (file.stem().string() + "-2.abd")).string());
  EXPECT_EQ(FirstLineDifference(pdn, second.pdn), "") << file;
  EXPECT_EQ(second.headers.size(), first.headers.size()) << file;
  for (size_t i = 0; i < first.headers.size() && i < second.headers.size(); ++i) {
    if (second.headers[i] == first.headers[i]) continue;
    ADD_FAILURE() << file << ": index record " << i + 1 << " differs";
    break;
  }
  for (size_t i = 0; i < stored.size() && i < second.games.size(); ++i) {
    const TGame& a = stored[i];
    const TGame& b = second.games[i];
    EXPECT_EQ(std::tie(a.WhiteName, a.BlackName, a.AnnotatorName, a.Tournament, a.Site),
              std::tie(b.WhiteName, b.BlackName, b.AnnotatorName, b.Tournament, b.Site))
        << file << " game " << i + 1;
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
  EXPECT_EQ(index, static_cast<int>(stored.size())) << file;
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
