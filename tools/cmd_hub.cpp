// quorlin hub: our engine as a Hub engine on standard input and output, for
// the interfaces and tools that drive 10x10 engines through that protocol.
// The engine description given plays International ("normal"); for
// International Killer ("killer") and Frisian ("frisian") the description of
// the same name in those variants' folders of the shipped engines is used
// (Analytic.eng there when it has none of that name). The command ends with
// `quit` or when its input closes.
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <string>
#include <vector>

#include "app/engineplayer.h"
#include "app/hubsession.h"
#include "rules/variants.h"
#include "tools/args.h"
#include "tools/command.h"

namespace quorlin::cli {
namespace {

namespace fs = std::filesystem;

// The engine for a variant other than International: the same file name in
// that variant's shipped folder, else its Analytic.eng.
fs::path EngineForVariant(const fs::path& international, int variant) {
  if (variant == kInternational) return international;
  const fs::path folder = ExecutableFolder() / "EnginesTest" / VariantTable[variant].Name;
  for (const fs::path& candidate : {folder / international.filename(), folder / "Analytic.eng"})
    if (fs::exists(candidate)) return candidate;
  return {};
}

int Hub(const Args& words) {
  const TArgs args(words, {"--ed", "--book", "--threads", "--hash"});
  args.ExpectPositionals(1, 1, "one engine description");
  THubSessionOptions o;
  o.edFolder = args.Text("--ed");
  o.book = args.Text("--book");
  o.threads = static_cast<int>(args.Count("--threads", o.threads, 1, 64));
  o.hashMb = static_cast<int>(args.Count("--hash", o.hashMb, 1, 4096));
  const fs::path international = ResolveEngineFile(args.Positionals()[0], kInternational);
  if (!o.edFolder.empty() && !fs::is_directory(o.edFolder))
    throw std::runtime_error("endgame database folder \"" + o.edFolder + "\" not found");
  if (!o.book.empty() && !fs::exists(o.book))
    throw std::runtime_error("opening book \"" + o.book + "\" not found");
  o.engineFor = [international](int variant) { return EngineForVariant(international, variant); };

  THubSession session(std::move(o), [](const std::string& line) {
    std::fwrite(line.data(), 1, line.size(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
  });
  std::string line;
  while (std::getline(std::cin, line)) {
    if (!session.HandleLine(line)) break;
  }
  session.Finish();
  return 0;
}

Command hub("hub", "hub ENGINE.eng [--ed FOLDER] [--book BOOK.cbk] [--threads N] [--hash MB]",
            "runs the engine as a Hub engine on standard input and output (variants normal, killer, frisian)",
            Hub);

}  // namespace
}  // namespace quorlin::cli
