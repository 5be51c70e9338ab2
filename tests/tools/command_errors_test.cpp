// Every command reports a mistake the same way: one line "quorlin CMD: ..." on
// standard error, nothing on standard output, and a non-zero status (2 for a
// wrong argument, 1 for a failure such as a missing file). Help texts fit an
// 80-column terminal.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <array>
#include <cstdio>
#include <sstream>
#include <string>
#include <vector>

#include "test_support.h"

namespace quorlin {
namespace {

struct TRun {
  int status = -1;
  std::string out, err;
};

// Runs quorlin with standard output and standard error kept apart.
TRun RunApart(const std::string& args) {
  const std::string errFile = (test::FreshDir("stderr") / "err.txt").string();
  const std::string cmd = (test::ProgramDir() / "quorlin").string() + " " + args + " 2>" + errFile;
  TRun r;
  FILE* f = popen(cmd.c_str(), "r");
  if (!f) return r;
  std::array<char, 4096> buf{};
  size_t n;
  while ((n = fread(buf.data(), 1, buf.size(), f)) > 0) r.out.append(buf.data(), n);
  const int status = pclose(f);
  r.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  r.err = test::ReadFile(errFile);
  return r;
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string l; std::getline(in, l);) lines.push_back(l);
  return lines;
}

struct TBadInput {
  const char* command;  // as in "quorlin CMD: "
  std::string args;     // after "quorlin"; MISSING stands for a path that does not exist
  int status;
  const char* message;  // part of the first line of standard error
  bool usageFollows = true;  // a wrong argument (status 2) is followed by the usage
};

void PrintTo(const TBadInput& b, std::ostream* os) { *os << b.args; }

class CommandErrors : public testing::TestWithParam<TBadInput> {};

TEST_P(CommandErrors, NamesTheProblemOnStandardErrorAndExitsNonZero) {
  const TBadInput& b = GetParam();
  std::string args = b.args;
  const std::string missing = (test::FreshDir("missing") / "none").string();
  for (size_t at; (at = args.find("MISSING")) != std::string::npos;) args.replace(at, 7, missing);

  const TRun r = RunApart(args);
  EXPECT_EQ(r.status, b.status) << r.err;
  EXPECT_EQ(r.out, "") << "a failing command prints no result";
  const std::vector<std::string> lines = Lines(r.err);
  ASSERT_FALSE(lines.empty());
  EXPECT_EQ(lines[0].rfind(std::string("quorlin ") + b.command + ": ", 0), 0u) << r.err;
  EXPECT_NE(lines[0].find(b.message), std::string::npos) << r.err;
  // Wrong arguments are followed by the command's usage.
  if (b.status == 2 && b.usageFollows) {
    EXPECT_NE(r.err.find(std::string("usage: ") + b.command), std::string::npos) << r.err;
  }
}

// A flag without its value, at the end or before another flag.
INSTANTIATE_TEST_SUITE_P(
    MissingValue, CommandErrors,
    testing::Values(TBadInput{"analyse", "analyse russian a.eng --time", 2, "--time needs a value"},
                    TBadInput{"ballots", "ballots build lists --out", 2, "--out needs a value"},
                    TBadInput{"analyse", "analyse russian a.eng --depth --fen x", 2, "--depth needs a value"},
                    TBadInput{"bench", "bench --depth", 2, "--depth needs a value"},
                    TBadInput{"book", "book show a.cbk russian --fen", 2, "--fen needs a value"},
                    TBadInput{"book", "book build a.abd --variant --out b.cbk", 2, "--variant needs a value"},
                    TBadInput{"db", "db search a.abd --white", 2, "--white needs a value"},
                    TBadInput{"download", "download http://127.0.0.1:1/a.zip --to", 2, "--to needs a value"},
                    TBadInput{"dxp", "dxp a.eng --listen --initiator", 2, "--listen needs a value"},
                    TBadInput{"egdb", "egdb probe russian W:WKc1:BKh8 --folder", 2, "--folder needs a value"},
                    TBadInput{"egdb", "egdb build russian --out ED --pieces", 2, "--pieces needs a value"},
                    TBadInput{"engine", "engine check a.eng --variant", 2, "--variant needs a value"},
                    TBadInput{"eval", "eval russian a.eng --fen", 2, "--fen needs a value"},
                    TBadInput{"hub", "hub a.eng --threads", 2, "--threads needs a value"},
                    TBadInput{"language", "language --lang", 2, "--lang needs a value"},
                    TBadInput{"match", "match russian a.eng b.eng --games --seed 1", 2,
                              "--games needs a value"},
                    TBadInput{"pdn", "pdn import a.pdn b.abd --variant", 2, "--variant needs a value"},
                    TBadInput{"pdn", "pdn export a.abd -o", 2, "-o needs a value"},
                    TBadInput{"perft", "perft russian 3 --fen --bulk", 2, "--fen needs a value"},
                    TBadInput{"play", "play --seconds", 2, "--seconds needs a value"},
                    TBadInput{"problems", "problems make russian --out p.abd --ed", 2, "--ed needs a value"},
                    TBadInput{"problems", "problems check p.abd --ed --x", 2, "--ed needs a value"},
                    TBadInput{"selfplay", "selfplay russian a.eng --out g.abd --games", 2,
                              "--games needs a value"},
                    TBadInput{"speed", "speed russian a.eng --nodes --positions 2", 2, "--nodes needs a value"},
                    TBadInput{"tune", "tune russian --engine a.eng --games", 2, "--games needs a value"}));

INSTANTIATE_TEST_SUITE_P(
    UnknownFlag, CommandErrors,
    testing::Values(TBadInput{"analyse", "analyse russian a.eng --nodez 5", 2, "unknown option \"--nodez\""},
                    TBadInput{"ballots", "ballots build lists --out b --force", 2, "unknown option \"--force\""},
                    TBadInput{"bench", "bench --deep 3", 2, "unknown option \"--deep\""},
                    TBadInput{"book", "book show a.cbk russian --fenn x", 2, "unknown option \"--fenn\""},
                    TBadInput{"db", "db list a.abd --all", 2, "unknown option \"--all\""},
                    TBadInput{"download", "download http://127.0.0.1:1/a.zip --too x", 2,
                              "unknown option \"--too\""},
                    TBadInput{"dxp", "dxp a.eng --listen 1 --fast", 2, "unknown option \"--fast\""},
                    TBadInput{"egdb", "egdb probe russian W:WKc1:BKh8 -f x", 2, "unknown option \"-f\""},
                    TBadInput{"engine", "engine check a.eng --safe x", 2, "unknown option \"--safe\""},
                    TBadInput{"eval", "eval russian a.eng --pos x", 2, "unknown option \"--pos\""},
                    TBadInput{"hub", "hub a.eng --thread 2", 2, "unknown option \"--thread\""},
                    TBadInput{"language", "language --code RU", 2, "unknown option \"--code\""},
                    TBadInput{"match", "match russian a.eng b.eng --game 2", 2, "unknown option \"--game\""},
                    TBadInput{"pdn", "pdn export a.abd -x", 2, "unknown option \"-x\""},
                    TBadInput{"perft", "perft russian 3 --bulky", 2, "unknown option \"--bulky\""},
                    TBadInput{"play", "play --fast", 2, "unknown option \"--fast\""},
                    TBadInput{"problems", "problems make russian --edd x", 2, "unknown option \"--edd\""},
                    TBadInput{"problems", "problems check p.abd --ed x --fix", 2, "unknown option \"--fix\""},
                    TBadInput{"selfplay", "selfplay russian a.eng --game 2", 2, "unknown option \"--game\""},
                    TBadInput{"speed", "speed russian a.eng --node 5", 2, "unknown option \"--node\""},
                    TBadInput{"start", "start russian --big", 2, "unknown option \"--big\""},
                    TBadInput{"tune", "tune russian --game a.abd", 2, "unknown option \"--game\""},
                    TBadInput{"variants", "variants --all", 2, "unknown option \"--all\""}));

// Files and folders that are not there: status 1 and no output after the error
// (a database that `db` is asked about is the caller's mistake: status 2).
INSTANTIATE_TEST_SUITE_P(
    MissingFile, CommandErrors,
    testing::Values(TBadInput{"analyse", "analyse russian MISSING.eng --depth 1", 1, "not found"},
                    TBadInput{"ballots", "ballots build MISSING --out MISSING", 1, "no folder of ballot lists"},
                    TBadInput{"book", "book show MISSING.cbk russian", 1, "cannot open the opening book"},
                    TBadInput{"book", "book build MISSING.abd --variant russian --out MISSING.cbk", 1,
                              "do not all exist"},
                    TBadInput{"db", "db info MISSING.abd", 2, "no such database", false},
                    TBadInput{"db", "db show MISSING.abd 1", 2, "no such database", false},
                    TBadInput{"egdb", "egdb probe russian W:WKc1:BKh8 --folder MISSING", 1,
                              "endgame database folder"},
                    TBadInput{"engine", "engine check MISSING.eng", 1, "not found"},
                    TBadInput{"eval", "eval russian MISSING.eng", 1, "not found"},
                    TBadInput{"language", "language --check MISSING.txt", 1, "no such file"},
                    TBadInput{"pdn", "pdn export MISSING.abd", 1, "cannot open"},
                    TBadInput{"pdn", "pdn import MISSING.pdn MISSING.abd", 1, "cannot read"},
                    TBadInput{"problems", "problems make russian --ed MISSING --out MISSING.abd", 1,
                              "no Russian endgame databases"},
                    TBadInput{"problems", "problems check MISSING.abd --ed MISSING", 1, "cannot open"},
                    TBadInput{"selfplay", "selfplay russian MISSING.eng --out MISSING.abd", 1, "not found"},
                    TBadInput{"speed", "speed russian MISSING.eng", 1, "not found"},
                    TBadInput{"tune", "tune russian --games MISSING.abd --engine MISSING.eng --out MISSING", 1,
                              "not found"}));

TEST(CommandErrors, AFolderWithoutDatabasesOfTheVariantIsAnError) {
  const TRun r = RunApart("egdb probe russian W:WKc1:BKh8 --folder " + test::FreshDir("emptyed").string());
  EXPECT_EQ(r.status, 1) << r.err;
  EXPECT_EQ(r.out, "");
  EXPECT_NE(r.err.find("quorlin egdb: error: no endgame databases of Russian"), std::string::npos) << r.err;
}

// The command names as `quorlin help` lists them: the lines with two blanks
// and then the name.
std::vector<std::string> CommandNames(const std::string& help) {
  std::vector<std::string> names;
  for (const std::string& l : Lines(help)) {
    if (l.size() < 3 || l.compare(0, 2, "  ") != 0 || l[2] == ' ') continue;
    const std::string name = l.substr(2, l.find(' ', 2) - 2);
    if (names.empty() || names.back() != name) names.push_back(name);
  }
  return names;
}

TEST(CommandHelp, EveryHelpLineFitsEightyColumns) {
  const TRun all = RunApart("help");
  ASSERT_EQ(all.status, 0) << all.err;
  const std::vector<std::string> names = CommandNames(all.out);
  ASSERT_GE(names.size(), 20u) << all.out;
  for (const std::string& l : Lines(all.out)) EXPECT_LE(l.size(), 80u) << l;
  for (const std::string& name : names) {
    SCOPED_TRACE(name);
    const TRun one = RunApart(name + " --help");
    EXPECT_EQ(one.status, 0) << one.err;
    EXPECT_EQ(one.out.rfind("usage: " + name, 0), 0u) << one.out;
    for (const std::string& l : Lines(one.out)) EXPECT_LE(l.size(), 80u) << l;
    // The usage printed after a wrong argument (below the error line) is laid
    // out the same way.
    const TRun wrong = RunApart(name + " --no-such-flag");
    EXPECT_EQ(wrong.status, 2) << wrong.err;
    const std::vector<std::string> usage = Lines(wrong.err);
    ASSERT_GE(usage.size(), 2u) << wrong.err;
    EXPECT_EQ(usage[1].rfind("usage: " + name, 0), 0u) << wrong.err;
    for (size_t i = 1; i < usage.size(); ++i) EXPECT_LE(usage[i].size(), 80u) << usage[i];
  }
}

}  // namespace
}  // namespace quorlin
