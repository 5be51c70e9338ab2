#pragma once
// The words after a command's name, read by one parser for every command:
// flags that take a value ("--variant V"), switches ("--bulk") and positional
// words. Mistakes are thrown as UsageError naming the flag concerned.
#include <cstddef>
#include <initializer_list>
#include <string>
#include <utility>
#include <vector>

#include "tools/command.h"

namespace quorlin::cli {

class TArgs {
 public:
  // Reads args[first..]. A flag of `valueFlags` takes the next word as its
  // value; a repeated flag keeps its last value. A flag listed with "..."
  // after its name ("--games...") takes every word up to the next flag. Throws UsageError for a flag
  // that is not listed ("unknown option") and for a value flag at the end or
  // followed by another flag ("--variant needs a value"). "--help" and "-h"
  // throw HelpRequest.
  TArgs(const Args& args, std::initializer_list<const char*> valueFlags,
        std::initializer_list<const char*> switches = {}, size_t first = 0);

  // The flag was given (a switch, or a value flag with its value).
  bool Has(const std::string& flag) const;
  // Value of a value flag, `fallback` when it was not given.
  std::string Text(const std::string& flag, const std::string& fallback = {}) const;
  // Every value given to the flag, in order.
  std::vector<std::string> Values(const std::string& flag) const;
  // Value as a whole number in [min, max], `fallback` when not given.
  long long Count(const std::string& flag, long long fallback, long long min, long long max) const;
  // Value as a variant slot (number or name), `fallback` when not given.
  int Variant(const std::string& flag, int fallback) const;

  const std::vector<std::string>& Positionals() const { return positionals_; }
  // Throws UsageError "expected WHAT" unless min..max positional words were given.
  void ExpectPositionals(size_t min, size_t max, const std::string& what) const;

 private:
  const std::string* Find(const std::string& flag) const;

  std::vector<std::pair<std::string, std::string>> given_;  // flag, value ("" for switches)
  std::vector<std::string> positionals_;
};

// A word that is written as a flag: "--name", or "-" and a letter ("-o").
bool LooksLikeFlag(const std::string& word);

}  // namespace quorlin::cli
