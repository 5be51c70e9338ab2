#include "tools/usage.h"

namespace quorlin::cli {

namespace {

// The text split at blanks outside brackets.
std::vector<std::string> Groups(const std::string& text) {
  std::vector<std::string> groups;
  std::string cur;
  int depth = 0;
  for (char c : text) {
    if (c == '[') ++depth;
    if (c == ']' && depth > 0) --depth;
    if (c == ' ' && depth == 0) {
      if (!cur.empty()) groups.push_back(cur);
      cur.clear();
    } else {
      cur += c;
    }
  }
  if (!cur.empty()) groups.push_back(cur);
  return groups;
}

std::vector<std::string> Words(const std::string& text) {
  std::vector<std::string> words;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find(' ', start);
    if (end == std::string::npos) end = text.size();
    if (end > start) words.push_back(text.substr(start, end - start));
    start = end + 1;
  }
  return words;
}

}  // namespace

std::vector<std::string> WrapText(const std::string& text, size_t firstIndent, size_t nextIndent,
                                  size_t width) {
  std::vector<std::string> lines;
  std::string line(firstIndent, ' ');
  bool empty = true;
  auto put = [&](const std::string& word) {
    if (!empty && line.size() + 1 + word.size() > width) {
      lines.push_back(line);
      line.assign(nextIndent, ' ');
      empty = true;
    }
    if (!empty) line += ' ';
    line += word;
    empty = false;
  };
  for (const std::string& group : Groups(text)) {
    const size_t room = width - (empty ? line.size() : nextIndent);
    if (group.size() <= room || group.find(' ') == std::string::npos) {
      put(group);
    } else {
      for (const std::string& word : Words(group)) put(word);
    }
  }
  if (!empty) lines.push_back(line);
  return lines;
}

std::vector<std::string> UsageLines(const std::string& name, const std::string& usage,
                                    const std::string& lead) {
  // Alternatives of a command with subcommands repeat the command's name.
  std::vector<std::string> alternatives;
  const std::string bar = " | " + name + " ";
  size_t start = 0;
  for (;;) {
    const size_t at = usage.find(bar, start);
    alternatives.push_back(usage.substr(start, at == std::string::npos ? std::string::npos : at - start));
    if (at == std::string::npos) break;
    start = at + 3;
  }
  std::vector<std::string> lines;
  for (size_t i = 0; i < alternatives.size(); ++i) {
    const std::string first = i == 0 ? lead : std::string(lead.size(), ' ');
    std::vector<std::string> part = WrapText(alternatives[i], first.size(), lead.size() + name.size() + 1);
    part[0].replace(0, first.size(), first);
    lines.insert(lines.end(), part.begin(), part.end());
  }
  return lines;
}

}  // namespace quorlin::cli
