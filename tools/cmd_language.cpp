// quorlin language: the shipped language table and language files.
#include <cstdio>
#include <filesystem>
#include <stdexcept>
#include <string>

#include "app/translations.h"
#include "tools/args.h"
#include "tools/command.h"

namespace quorlin::cli {
namespace {

std::string ExecutableFolder() {
  std::error_code ec;
  const auto exe = std::filesystem::read_symlink("/proc/self/exe", ec);
  return ec ? std::string("./") : exe.parent_path().string() + "/";
}

int Language(const Args& words) {
  const TArgs args(words, {"--lang", "--check"});
  const std::string code = args.Text("--lang", CurrentLanguageCode());
  const std::string checkFile = args.Text("--check");
  const Args& texts = args.Positionals();

  if (args.Has("--check")) {
    if (!std::filesystem::exists(checkFile)) throw std::runtime_error("\"" + checkFile + "\": no such file");
    const auto error = ReadLanguageFile(checkFile);
    for (int n = 1; n <= kNumberedTextCount; ++n)
      if (NumberedText(n) != NumberedDefault(n)) std::printf("[%d] \"%s\"\n", n, NumberedText(n).c_str());
    if (error) throw std::runtime_error(error->Message());
    return 0;
  }

  const std::string path = ExecutableFolder() + kLanguageTableFile;
  const TLanguageTableResult result = LoadLanguageTable(path);
  if (result.Error) throw std::runtime_error(result.Error->Message());
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
