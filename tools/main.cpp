// quorlin: the command-line front end over the rules, engine and games libraries.
#include <cstdio>
#include <exception>
#include <map>
#include <string>

#include "rules/variants.h"
#include "tools/command.h"
#include "tools/usage.h"

namespace quorlin::cli {

namespace {
struct Entry {
  std::string usage;
  std::string summary;
  std::function<int(const Args&)> run;
};

std::map<std::string, Entry>& Registry() {
  static std::map<std::string, Entry> r;
  return r;
}

void PrintLines(FILE* out, const std::vector<std::string>& lines) {
  for (const std::string& l : lines) std::fprintf(out, "%s\n", l.c_str());
}

void PrintUsage(FILE* out) {
  std::fprintf(out, "usage: quorlin COMMAND [ARGS]   (quorlin COMMAND --help: one command)\n\ncommands:\n");
  for (const auto& [name, e] : Registry()) {
    PrintLines(out, UsageLines(name, e.usage, "  "));
    PrintLines(out, WrapText(e.summary, 4, 4));
  }
}

// The usage of one command: after an error (on standard error) or for --help.
void PrintCommandUsage(FILE* out, const std::string& name, const Entry& e, bool withSummary) {
  PrintLines(out, UsageLines(name, e.usage, "usage: "));
  if (withSummary) PrintLines(out, WrapText(e.summary, 0, 0));
}
}  // namespace

Command::Command(std::string name, std::string usage, std::string summary,
                 std::function<int(const Args&)> run) {
  Registry()[std::move(name)] = Entry{std::move(usage), std::move(summary), std::move(run)};
}

void PrintError(const std::string& command, const std::string& text) {
  std::fflush(stdout);
  std::fprintf(stderr, "quorlin %s: %s\n", command.c_str(), text.c_str());
}

}  // namespace quorlin::cli

int main(int argc, char** argv) {
  using namespace quorlin::cli;
  quorlin::InitRules();
  if (argc < 2) {
    PrintUsage(stderr);
    return 2;
  }
  const std::string name = argv[1];
  if (name == "help" || name == "--help" || name == "-h") {
    if (argc > 2 && Registry().count(argv[2])) {
      PrintCommandUsage(stdout, argv[2], Registry().at(argv[2]), true);
      return 0;
    }
    PrintUsage(stdout);
    return 0;
  }
  auto it = Registry().find(name);
  if (it == Registry().end()) {
    std::fprintf(stderr, "quorlin: unknown command \"%s\"\n\n", name.c_str());
    PrintUsage(stderr);
    return 2;
  }
  Args args(argv + 2, argv + argc);
  if (!args.empty() && (args[0] == "--help" || args[0] == "-h")) {
    PrintCommandUsage(stdout, name, it->second, true);
    return 0;
  }
  try {
    return it->second.run(args);
  } catch (const HelpRequest&) {
    PrintCommandUsage(stdout, name, it->second, true);
    return 0;
  } catch (const UsageError& e) {
    PrintError(name, e.message);
    PrintCommandUsage(stderr, name, it->second, false);
    return 2;
  } catch (const std::exception& e) {
    PrintError(name, std::string("error: ") + e.what());
    return 1;
  }
}
