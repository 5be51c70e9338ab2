// quorlin language: the shipped language table and language files.
#include <cstdio>
#include <filesystem>
#include <string>

#include "app/translations.h"
#include "tools/command.h"

namespace quorlin::cli {
namespace {

std::string ExecutableFolder() {
  std::error_code ec;
  const auto exe = std::filesystem::read_symlink("/proc/self/exe", ec);
  return ec ? std::string("./") : exe.parent_path().string() + "/";
}

int Language(const Args& args) {
  std::string code = CurrentLanguageCode();
  std::string checkFile;
  Args texts;
  for (size_t i = 0; i < args.size(); ++i) {
    if (args[i] == "--lang" || args[i] == "--check") {
      if (i + 1 >= args.size()) throw UsageError{args[i] + " needs a value"};
      std::string& target = args[i] == "--lang" ? code : checkFile;
      target = args[++i];
    } else if (args[i].rfind("--", 0) == 0) {
      throw UsageError{"unknown option \"" + args[i] + "\""};
    } else {
      texts.push_back(args[i]);
    }
  }

  if (!checkFile.empty()) {
    if (!std::filesystem::exists(checkFile)) {
      std::fprintf(stderr, "%s: no such file\n", checkFile.c_str());
      return 1;
    }
    const auto error = ReadLanguageFile(checkFile);
    for (int n = 1; n <= kNumberedTextCount; ++n)
      if (NumberedText(n) != NumberedDefault(n)) std::printf("[%d] \"%s\"\n", n, NumberedText(n).c_str());
    if (error) {
      std::fprintf(stderr, "%s\n", error->Message().c_str());
      return 1;
    }
    return 0;
  }

  const std::string path = ExecutableFolder() + kLanguageTableFile;
  const TLanguageTableResult result = LoadLanguageTable(path);
  if (result.Error) {
    std::fprintf(stderr, "%s\n", result.Error->Message().c_str());
    return 1;
  }
  if (texts.empty()) {
    std::printf("%s: %zu keys\n", path.c_str(), result.Table.Keys.size());
    for (const TLanguageList& lang : result.Table.Languages)
      std::printf("%s %zu entries\n", lang.Code.c_str(), lang.Lines.size());
    return 0;
  }
  for (const std::string& text : texts) std::printf("%s\n", Translate(result.Table, code, text).c_str());
  return 0;
}

Command language("language", "language [--lang CODE] [TEXT...] | language --check FILE",
                 "list the language table, translate texts, or check a numbered-text language file",
                 Language);

}  // namespace
}  // namespace quorlin::cli
