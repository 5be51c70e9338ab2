#include "app/settingsapply.h"

#include <algorithm>
#include <filesystem>

#include "app/settings.h"
#include "rules/notation.h"
#include "rules/variants.h"

namespace quorlin {

namespace fs = std::filesystem;

namespace {

// Redraws and a new engine-output refresh after a change of how the game looks.
void RequestFullRedraw(TApplication& app) {
  app.RequestDisplayRefresh();
  app.RequestBoardRedraw(true);
  app.RequestPanel(kPanelMoveList);
}

}  // namespace

bool EnginesIdle(const TApplication& app) { return !app.Analysing() && !app.PlayEngineThinking(); }

void ApplyGameType(TApplication& app, int item) {
  const int variant = item + 1;
  if (variant < 1 || variant > kVariantCount) return;
  app.RequestDisplayRefresh();
  app.SelectVariant(variant, false);
  RequestFullRedraw(app);
}

void ApplySpanishBlack(TApplication& app, bool on) {
  Settings.SpanishBlack = on;
  ApplyVariantSettings();  // the Spanish slot, then the shown game through the hook
  RequestFullRedraw(app);
}

void ApplyPoolStyle(TApplication& app, int style) {
  Settings.PoolStyle = std::clamp(style, 0, 2);
  ApplyVariantSettings();
  RequestFullRedraw(app);
}

void ApplyFlipBoard(TApplication& app, bool on) {
  VariantTable[kBrazilian].intface.BoardMirrored = on;
  ApplyVariantSettings();
  RequestFullRedraw(app);
}

void ApplyPhilippineNotation(TApplication& app, bool on) {
  ForcePhilippinesNotation = on;
  RequestFullRedraw(app);
}

int ApplyBoardSize(int percent) {
  const int v = std::clamp(percent, kMinBoardSize, kMaxBoardSize);
  Settings.BrdSize = v;
  return v;
}

int ApplyThreadsCount(int threads) {
  const int v = std::clamp(threads, 0, kMaxThreads);
  Settings.ThreadsCount = v;
  return v;
}

std::vector<std::string> SubFolderNames(const std::string& folder) {
  std::vector<std::string> names;
  std::error_code ec;
  for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec))
    if (it->is_directory(ec)) names.push_back(it->path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

std::vector<std::string> PictureSetNames(const std::vector<std::string>& roots, const std::string& kind) {
  std::vector<std::string> names{"Default"};
  for (const std::string& root : roots) {
    for (const std::string& n : SubFolderNames(root + kind))
      if (std::find(names.begin(), names.end(), n) == names.end()) names.push_back(n);
  }
  return names;
}

std::vector<std::string> PieceSideNames(const std::vector<std::string>& roots, const std::string& set) {
  std::error_code ec;
  for (const std::string& root : roots) {
    const std::string folder = root + "Pieces/" + set;
    if (fs::is_directory(folder, ec)) return SubFolderNames(folder);
  }
  return {};
}

}  // namespace quorlin
