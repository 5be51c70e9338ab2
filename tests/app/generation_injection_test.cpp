// Building endgame databases and opening books is interrupted at every write,
// flush and rename of its output in turn (an I/O error, the disk filling up,
// the process killed). Afterwards no file that a reader would take is less
// than whole: every endgame file with a class name and every book file equals
// the one an uninterrupted build writes.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "engine/book.h"
#include "engine/bookbuild.h"
#include "engine/egdbgen.h"
#include "engine/endgamedb.h"
#include "io_faults.h"
#include "rules/movegen.h"
#include "rules/variants.h"
#include "test_support.h"

namespace quorlin {
namespace {

namespace fs = std::filesystem;
using test::TFault;

// The files of a folder a reader would take, by path relative to the folder.
using TFiles = std::map<std::string, std::string>;

TFiles EndgameFiles(const fs::path& folder) {
  TFiles files;
  if (!fs::exists(folder)) return files;
  for (const auto& e : fs::recursive_directory_iterator(folder)) {
    TEdbClass cls;
    if (e.is_regular_file() && ParseEndgameFileName(e.path().filename().string(), cls))
      files[fs::relative(e.path(), folder).string()] = test::ReadFile(e.path());
  }
  return files;
}

TFiles BookFiles(const fs::path& folder) {
  TFiles files;
  for (const char* name : {"Russian.cbk", "Russian.cbn"})
    if (fs::exists(folder / name)) files[name] = test::ReadFile(folder / name);
  return files;
}

// Every file found equals the one of the whole build.
std::string Partial(const TFiles& found, const TFiles& whole) {
  for (const auto& [name, bytes] : found) {
    const auto it = whole.find(name);
    if (it == whole.end()) return name + " is no file of the build";
    if (it->second != bytes) return name + " differs from the whole build's";
  }
  return "";
}

struct TBuild {
  const char* name;
  std::function<bool(const fs::path& out)> run;  // true when the build reports success
  std::function<TFiles(const fs::path& out)> files;
};

bool BuildEndgames(const fs::path& out) {
  TEgdbBuildOptions o;
  o.variant = kRussian;
  o.maxPieces = 2;  // few files, so every change can be interrupted in turn quickly
  o.type = ebWDL;
  o.outFolder = out.string() + "/";
  return TEgdbGenerator(o).Run().ok;
}

bool BuildBook(const fs::path& out) {
  const TGameParams& p = VariantTable[kRussian];
  TBookBuilder builder(p, 4);
  TBoard board;
  board.b = StartPosition(p, true);
  TMvs list;
  uint8_t count = 0;
  GenerateMoves(board, 0, list, count, p, true);
  for (int i = 1; i <= count; ++i) {
    TBookGame g;
    g.start = board;
    g.moves.push_back(list[i]);
    g.result = 1 + i % 3;
    builder.AddGame(g);
  }
  std::string error;
  return WriteBook((out / "Russian.cbk").string(), builder.Records(1), error);
}

class GenerationInjection : public testing::TestWithParam<int> {};

const TBuild kBuilds[] = {
    {"endgame databases", BuildEndgames, EndgameFiles},
    {"opening book", BuildBook, BookFiles},
};

TEST_P(GenerationInjection, EveryChangeInterruptedLeavesNoPartialFile) {
  const TBuild& b = kBuilds[GetParam()];
  const fs::path base = test::FreshDir("gen-inject");
  const fs::path reference = base / "whole";
  fs::create_directories(reference);
  int changes = test::CountChanges(reference.string(), [&] { ASSERT_TRUE(b.run(reference)); });
  const TFiles whole = b.files(reference);
  ASSERT_FALSE(whole.empty());
  ASSERT_GT(changes, 0);

  // The endgame build writes every class file the same way, so the suite
  // interrupts the first and last two changes and two in the middle;
  // QUORLIN_INJECT_EVERY=1 interrupts every change in turn.
  std::vector<int> points;
  const bool every = std::getenv("QUORLIN_INJECT_EVERY") != nullptr;
  for (int at = 1; at <= changes; ++at)
    if (every || at <= 2 || at > changes - 2 || at == changes / 2 || at == changes / 2 + 1)
      points.push_back(at);

  int tried = 0, partial = 0, n = 0;
  for (TFault fault : {TFault::failure, TFault::diskFull, TFault::kill}) {
    for (int at : points) {
      const fs::path out = base / std::to_string(++n);
      fs::create_directories(out);
      bool done = false;
      if (fault == TFault::kill) {
        test::RunKilledAtChange(out.string(), at, [&] { b.run(out); });
      } else {
        test::ArmFaults(out.string(), fault, at);
        done = b.run(out);
        test::DisarmFaults();
      }
      ++tried;
      const std::string where = std::string(b.name) + ", " + test::FaultName(fault) + " at change " +
                                std::to_string(at) + " of " + std::to_string(changes);
      const TFiles found = b.files(out);
      std::string problem = Partial(found, whole);
      if (problem.empty() && done && found != whole) problem = "reported success without every file";
      if (!problem.empty()) {
        ADD_FAILURE() << where << ": " << problem;
        ++partial;
      }
    }
  }
  std::printf("[ injection ] %s: %d changes, %d interruptions tried, %d left a partial file\n", b.name,
              changes, tried, partial);
}

INSTANTIATE_TEST_SUITE_P(Builds, GenerationInjection, testing::Range(0, 2), [](const auto& info) {
  return info.param == 0 ? "EndgameDatabases" : "OpeningBook";
});

}  // namespace
}  // namespace quorlin
