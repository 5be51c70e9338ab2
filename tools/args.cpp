// One reader for the words of every command, so that every command reports a
// missing value, an unknown flag or a bad number in the same words.
#include "tools/args.h"

#include <algorithm>
#include <string_view>

#include "rules/variants.h"

namespace quorlin::cli {

namespace {

constexpr std::string_view kMany = "...";

std::string_view Name(const char* flag) {
  std::string_view f(flag);
  return f.ends_with(kMany) ? f.substr(0, f.size() - kMany.size()) : f;
}

bool Listed(std::initializer_list<const char*> list, const std::string& word) {
  return std::any_of(list.begin(), list.end(), [&](const char* f) { return word == Name(f); });
}

bool TakesMany(std::initializer_list<const char*> list, const std::string& word) {
  return std::any_of(list.begin(), list.end(),
                     [&](const char* f) { return word == Name(f) && std::string_view(f).ends_with(kMany); });
}

bool IsHelp(const std::string& word) { return word == "--help" || word == "-h"; }

}  // namespace

bool LooksLikeFlag(const std::string& word) {
  if (word.size() < 2 || word[0] != '-') return false;
  return word[1] == '-' ? word.size() > 2
                        : (word[1] >= 'a' && word[1] <= 'z') || (word[1] >= 'A' && word[1] <= 'Z');
}

TArgs::TArgs(const Args& args, std::initializer_list<const char*> valueFlags,
             std::initializer_list<const char*> switches, size_t first) {
  for (size_t i = first; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (IsHelp(a)) throw HelpRequest{};
    if (Listed(switches, a)) {
      given_.emplace_back(a, std::string());
    } else if (Listed(valueFlags, a)) {
      // The next word is the value unless it is itself a flag: a forgotten value
      // names the flag rather than taking the next flag as its value.
      if (i + 1 >= args.size() || (args[i + 1].rfind("--", 0) == 0 && args[i + 1].size() > 2) ||
          Listed(valueFlags, args[i + 1]) || Listed(switches, args[i + 1]) || IsHelp(args[i + 1]))
        throw UsageError{a + " needs a value"};
      given_.emplace_back(a, args[++i]);
      if (TakesMany(valueFlags, a))
        while (i + 1 < args.size() && !LooksLikeFlag(args[i + 1])) given_.emplace_back(a, args[++i]);
    } else if (LooksLikeFlag(a)) {
      throw UsageError{"unknown option \"" + a + "\""};
    } else {
      positionals_.push_back(a);
    }
  }
}

const std::string* TArgs::Find(const std::string& flag) const {
  for (auto it = given_.rbegin(); it != given_.rend(); ++it)
    if (it->first == flag) return &it->second;
  return nullptr;
}

bool TArgs::Has(const std::string& flag) const { return Find(flag) != nullptr; }

std::vector<std::string> TArgs::Values(const std::string& flag) const {
  std::vector<std::string> values;
  for (const auto& [f, v] : given_)
    if (f == flag) values.push_back(v);
  return values;
}

std::string TArgs::Text(const std::string& flag, const std::string& fallback) const {
  const std::string* v = Find(flag);
  return v ? *v : fallback;
}

long long TArgs::Count(const std::string& flag, long long fallback, long long min, long long max) const {
  const std::string* v = Find(flag);
  if (!v) return fallback;
  const long long n = ParseCount(*v, flag, max);
  if (n < min) throw UsageError{"bad " + flag + " \"" + *v + "\": at least " + std::to_string(min)};
  return n;
}

int TArgs::Variant(const std::string& flag, int fallback) const {
  const std::string* v = Find(flag);
  return v ? ParseVariantArg(*v) : fallback;
}

void TArgs::ExpectPositionals(size_t min, size_t max, const std::string& what) const {
  if (positionals_.size() < min) throw UsageError{"expected " + what};
  if (positionals_.size() > max) throw UsageError{"unexpected argument \"" + positionals_[max] + "\""};
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
