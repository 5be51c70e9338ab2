#pragma once
// What the quorlin dxp tests read: the results a session printed, the PDN it
// wrote, and a listening quorlin dxp's port.
#include <filesystem>
#include <regex>
#include <string>
#include <vector>

#include "app/childprocess.h"
#include "games/pdnfile.h"
#include "rules/variants.h"
#include "test_support.h"

namespace quorlin::test {

// The result of every game, in order ("2-0", "1-1", "0-2", "*").
inline std::vector<std::string> SessionResults(const std::string& out) {
  std::vector<std::string> r;
  static const std::regex ended(R"(game \d+ ended: .*  (\S+)  \()");
  for (std::sregex_iterator it(out.begin(), out.end(), ended), end; it != end; ++it) r.push_back((*it)[1]);
  return r;
}

// Games of a PDN file that read back whole; -1 when one stopped.
inline int WholePdnGames(const std::filesystem::path& pdn) {
  TPdnReadReport report;
  ReadPdnText(
      ReadFile(pdn), kInternational, [](TGame&, int, std::string&) { return true; }, report);
  return report.gamesStopped == 0 ? report.gamesWhole : -1;
}

// Starts `quorlin dxp ... --listen 127.0.0.1:0 ...` in `dir` and reads its
// output up to the port it chose (0 when none came); the lines read go to `out`.
inline int StartListeningDxp(TChildProcess& p, const std::string& args, const std::filesystem::path& dir,
                             std::string& out) {
  std::string error;
  const std::string command = (ProgramDir() / "quorlin").string() +
                              " dxp Analytic.eng --hash 8 --listen 127.0.0.1:0 " + args + " 2>&1";
  if (!p.Start(command, dir.string(), error)) {
    out += error;
    return 0;
  }
  static const std::regex listening(R"(listening on 127\.0\.0\.1, port (\d+))");
  std::string line;
  while (p.ReadLine(line, std::chrono::seconds(30)) == TChildProcess::TRead::Line) {
    out += line + "\n";
    std::smatch m;
    if (std::regex_search(line, m, listening)) return std::stoi(m[1]);
  }
  return 0;
}

// The rest of its output, up to its end.
inline std::string ReadToEnd(TChildProcess& p) {
  std::string all, line;
  while (p.ReadLine(line, std::chrono::seconds(300)) == TChildProcess::TRead::Line) all += line + "\n";
  return all;
}

}  // namespace quorlin::test
