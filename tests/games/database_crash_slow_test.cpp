// What a crash leaves: a child process writes a database and is killed with
// SIGKILL before its k-th file change (write, cut, flush, create, rename), for
// every k until it finishes; each time the database must open (or, killed while
// it was being created, not exist yet), check clean, and hold a prefix of the
// games with their real names, and the work must complete when run again.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "games/database.h"
#include "games/dbcheck.h"
#include "games/gamerecord.h"
#include "games/pdnfile.h"
#include "pdn_games.h"
#include "rules/variants.h"
#include "test_support.h"

namespace quorlin {
namespace {

namespace fs = std::filesystem;

constexpr int kGames = 13;  // imported
constexpr int kBatch = 4;   // several batches, the last one short
constexpr int kSaved = 6;   // saved one by one

// Russian games whose players, tournament and site are all new to the database.
std::string SourcePdn(const std::string& tag, int count = kGames) {
  static const char* const kMoves[] = {"1. c3-d4 f6-e5 2. d4xf6 g7xe5 *", "1. e3-f4 d6-c5 *",
                                       "1. g3-h4 b6-a5 2. c3-b4 a5xc3 3. d2xb4 *"};
  std::string pdn;
  for (int i = 1; i <= count; ++i) {
    const std::string n = tag + std::to_string(i);
    pdn += "[Event \"Cup " + n + ", game " + std::to_string(i) + "\"]\n[Site \"Town " + n +
           "\"]\n[White \"White " + n + "\"]\n[Black \"Black " + n + "\"]\n[Annotator \"Notes " + n +
           "\"]\n[Result \"*\"]\n\n" + kMoves[i % 3] + "\n\n";
  }
  return pdn;
}

std::vector<TGame> SourceGames(const std::string& pdn, int count = kGames) {
  TPdnReadReport report;
  std::vector<TGame> games = test::ReadPdnGames(pdn, kRussian, report);
  EXPECT_EQ(static_cast<int>(games.size()), count);
  EXPECT_TRUE(report.stops.empty());
  return games;
}

// Runs `work` in a child whose database dies before its k-th file change.
// True when the child was killed, false when it finished first.
bool RunKilledAt(int k, const std::function<void(const TFileStepHook&)>& work) {
  std::fflush(nullptr);
  const pid_t pid = fork();
  if (pid == 0) {
    int steps = 0;
    const TFileStepHook hook = [&steps, k](const char*) {
      if (++steps == k) raise(SIGKILL);
    };
    work(hook);
    _exit(0);
  }
  int status = 0;
  waitpid(pid, &status, 0);
  if (WIFSIGNALED(status)) {
    EXPECT_EQ(WTERMSIG(status), SIGKILL);
    return true;
  }
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "kill point " << k;
  return false;
}

std::string Base(const fs::path& dir) { return (dir / "games").string(); }

uintmax_t SizeOrZero(const std::string& path) {
  std::error_code ec;
  const uintmax_t size = fs::file_size(path, ec);
  return ec ? 0 : size;
}

void ExpectSameStoredGame(const TGame& want, const TGame& got, const std::string& where) {
  EXPECT_EQ(got.WhiteName, want.WhiteName) << where;
  EXPECT_EQ(got.BlackName, want.BlackName) << where;
  EXPECT_EQ(got.AnnotatorName, want.AnnotatorName) << where;
  EXPECT_EQ(got.Tournament, want.Tournament) << where;
  EXPECT_EQ(got.Site, want.Site) << where;
  EXPECT_EQ(GameDifference(want, got), "") << where;
}

// The database opens without a warning, checks clean, and game i is want[i].
// Returns the number of games.
int ExpectWholeDatabase(const std::string& base, const std::vector<const TGame*>& want,
                        const std::string& where) {
  TQuorlinDB db;
  if (!OpenDatabase(base, db, true)) {
    ADD_FAILURE() << where << ": " << db.LastError;
    return -1;
  }
  EXPECT_EQ(db.Warning, "") << where;
  TDBCheckReport check;
  CheckDatabase(db, check);
  EXPECT_TRUE(check.Clean()) << where << ": " << (check.problems.empty() ? "" : check.problems[0]);
  EXPECT_LE(db.DBSize, static_cast<int>(want.size())) << where;
  TGame g;
  for (int n = 1; n <= db.DBSize && n <= static_cast<int>(want.size()); ++n) {
    if (!ReadGame(db, n, false, -1, g)) continue;  // reported by the check
    ExpectSameStoredGame(*want[n - 1], g, where + ", game " + std::to_string(n));
  }
  return db.DBSize;
}

// The import as `quorlin pdn import` runs it, with the hook on the database.
void Import(const std::string& base, const std::string& pdn, const TFileStepHook& hook) {
  TQuorlinDB db;
  db.StepHook = hook;
  if (!OpenOrCreateDatabase(base, db)) _exit(3);
  TPdnReadReport report;
  std::string error;
  if (!ImportPdnText(pdn, db, kRussian, report, error, {}, kBatch) || !CloseDatabase(db)) _exit(4);
}

// Kills an import into a new database, or into one that already holds games,
// at every step; `before` games are in the database when the import starts.
int KillImportEverywhere(bool intoExisting) {
  const std::string pdn = SourcePdn("a"), earlierPdn = SourcePdn("e");
  const std::vector<TGame> source = SourceGames(pdn), earlier = SourceGames(earlierPdn);
  int points = 0;
  for (int k = 1;; ++k) {
    const fs::path dir = test::FreshDir("crash-import");
    const std::string base = Base(dir);
    std::vector<const TGame*> want;
    if (intoExisting) {
      Import(base, earlierPdn, {});
      for (const TGame& g : earlier) want.push_back(&g);
    }
    const bool killed = RunKilledAt(k, [&](const TFileStepHook& hook) { Import(base, pdn, hook); });
    for (const TGame& g : source) want.push_back(&g);
    const std::string where =
        (intoExisting ? "existing" : "new") + std::string(" database, kill point ") + std::to_string(k);
    int stored = 0;
    TQuorlinDB probe;
    if (!intoExisting && !OpenDatabase(base, probe, true)) {
      // Only a creation cut short before the games file took its name leaves
      // no database; it holds no game, and the import creates it afresh.
      EXPECT_FALSE(fs::exists(base + ".abm")) << where << ": " << probe.LastError;
      EXPECT_EQ(SizeOrZero(base + ".abd"), 0u) << where;
    } else {
      CloseDatabase(probe);
      stored = ExpectWholeDatabase(base, want, where);
    }
    if (!killed) {
      EXPECT_EQ(stored, static_cast<int>(want.size())) << where;
      break;
    }
    ++points;
    // Run again, the import completes: what the crash stored, then every game.
    Import(base, pdn, {});
    std::vector<const TGame*> after(want.begin(), want.begin() + std::max(stored, 0));
    for (const TGame& g : source) after.push_back(&g);
    EXPECT_EQ(ExpectWholeDatabase(base, after, where + ", imported again"), static_cast<int>(after.size()))
        << where;
    if (testing::Test::HasFailure()) break;
  }
  return points;
}

TEST(CrashedImport, NewDatabaseOpensWithEveryStoredGameAtEveryKillPoint) {
  const int points = KillImportEverywhere(false);
  std::printf("kill points tried: %d\n", points);
  EXPECT_GT(points, kGames);
}

TEST(CrashedImport, ExistingDatabaseOpensWithEveryStoredGameAtEveryKillPoint) {
  const int points = KillImportEverywhere(true);
  std::printf("kill points tried: %d\n", points);
  EXPECT_GT(points, kGames);
}

// Saving games one by one, each with new names, as the game-information window
// does, then replacing the first game by one with new names again.
TEST(CrashedSaves, EverySavedGameKeepsItsNamesAtEveryKillPoint) {
  const std::vector<TGame> source = SourceGames(SourcePdn("s", kSaved), kSaved);
  const std::vector<TGame> replacement = SourceGames(SourcePdn("r", 1), 1);
  auto save = [&](const std::string& base, const TFileStepHook& hook) {
    TQuorlinDB db;
    db.StepHook = hook;
    if (!OpenOrCreateDatabase(base, db)) _exit(3);
    for (const TGame& g : source) {
      TGame copy = g;
      if (!WriteGame(copy, 0, db, /*saveNames=*/true)) _exit(4);
    }
    TGame copy = replacement[0];
    if (!WriteGame(copy, 1, db, true) || !CloseDatabase(db)) _exit(5);
  };
  int points = 0;
  for (int k = 1;; ++k) {
    const fs::path dir = test::FreshDir("crash-save");
    const std::string base = Base(dir);
    const bool killed = RunKilledAt(k, [&](const TFileStepHook& hook) { save(base, hook); });
    const std::string where = "kill point " + std::to_string(k);
    TQuorlinDB db;
    if (!OpenDatabase(base, db, true)) {
      EXPECT_FALSE(fs::exists(base + ".abm")) << where << ": " << db.LastError;
      EXPECT_EQ(SizeOrZero(base + ".abd"), 0u) << where;
    } else {
      EXPECT_EQ(db.Warning, "") << where;
      TDBCheckReport check;
      CheckDatabase(db, check);
      EXPECT_TRUE(check.Clean()) << where << ": " << (check.problems.empty() ? "" : check.problems[0]);
      TGame g;
      for (int n = 1; n <= db.DBSize; ++n) {
        ASSERT_TRUE(ReadGame(db, n, false, -1, g)) << where << ": " << db.LastError;
        // Game 1 is the old game or its replacement, never a mixture.
        const TGame& want =
            n == 1 && g.WhiteName == replacement[0].WhiteName ? replacement[0] : source[n - 1];
        ExpectSameStoredGame(want, g, where + ", game " + std::to_string(n));
      }
      if (!killed) {
        EXPECT_EQ(db.DBSize, kSaved);
        ASSERT_TRUE(ReadGame(db, 1, false, -1, g)) << db.LastError;
        EXPECT_EQ(g.WhiteName, replacement[0].WhiteName);
      }
    }
    if (!killed || testing::Test::HasFailure()) break;
    ++points;
  }
  std::printf("kill points tried: %d\n", points);
  EXPECT_GT(points, kSaved);
}

}  // namespace
}  // namespace quorlin
