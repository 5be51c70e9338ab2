// quorlin: the command-line front end over the rules, engine and games libraries.
#include <cstdio>
#include <exception>
#include <map>
#include <string>

#include "rules/variants.h"
#include "tools/command.h"

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

void PrintUsage(FILE* out) {
  std::fprintf(out, "usage: quorlin COMMAND [ARGS]\n\ncommands:\n");
  for (const auto& [name, e] : Registry())
    std::fprintf(out, "  %-60s %s\n", e.usage.c_str(), e.summary.c_str());
}
}  // namespace

Command::Command(std::string name, std::string usage, std::string summary,
                 std::function<int(const Args&)> run) {
  Registry()[std::move(name)] = Entry{std::move(usage), std::move(summary), std::move(run)};
}

long long ParseCount(const std::string& text, const std::string& what, long long max) {
  if (text.empty() || text.size() > 18 || text.find_first_not_of("0123456789") != std::string::npos)
    throw UsageError{"bad " + what + " \"" + text + "\": expected a whole number"};
  const long long v = std::stoll(text);
  if (v > max) throw UsageError{"bad " + what + " \"" + text + "\": at most " + std::to_string(max)};
  return v;
}

int ParseVariantArg(const std::string& text) {
  const int slot = FindVariant(text);
  if (slot == 0)
    throw UsageError{"unknown variant \"" + text +
                     "\": give a slot number 1..14 or a name such as Russian or \"International Killer\""};
  return slot;
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
  try {
    return it->second.run(args);
  } catch (const UsageError& e) {
    std::fprintf(stderr, "quorlin %s: %s\nusage: %s\n", name.c_str(), e.message.c_str(),
                 it->second.usage.c_str());
    return 2;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "quorlin %s: error: %s\n", name.c_str(), e.what());
    return 1;
  }
}
