// quorlin download: fetches a ZIP archive in parallel parts and unpacks it into
// a folder, with the same library and checks as the download window.
#include <chrono>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <string>
#include <thread>

#include "download/download.h"
#include "tools/args.h"
#include "tools/command.h"

namespace quorlin::cli {
namespace {

constexpr auto kProgressEvery = std::chrono::milliseconds(500);

std::atomic<bool> interrupted{false};

extern "C" void OnInterrupt(int) { interrupted = true; }

// The archive's file name: the last segment of the URL's path.
std::string ArchiveName(const std::string& url) {
  std::string path = url.substr(0, url.find_first_of("?#"));
  const size_t scheme = path.find("://");
  if (scheme != std::string::npos) {
    const size_t slash = path.find('/', scheme + 3);
    path = slash == std::string::npos ? "" : path.substr(slash);
  }
  std::string name = path.substr(path.find_last_of('/') + 1);
  if (name.empty() || name == "." || name == "..") name = "download.zip";
  return name;
}

std::string Megabytes(int64_t bytes) {
  char text[32];
  std::snprintf(text, sizeof text, "%.1f MB", static_cast<double>(bytes) / (1024.0 * 1024.0));
  return text;
}

std::string PartLine(const TDownload& download, int i) {
  const TPartProgress p = download.Part(i);
  std::string line = "part " + std::to_string(i + 1) + "/" + std::to_string(download.PartCount()) + ": ";
  switch (p.Status) {
    case TPartStatus::Done:
      return line + "done, " + std::to_string(p.Received) + " bytes";
    case TPartStatus::Failed:
      return line + "failed: " + p.Error;
    case TPartStatus::Cancelled:
      return line + p.Error;
    default:
      break;
  }
  line += Megabytes(p.Received);
  if (p.Length > 0)
    line += " of " + Megabytes(p.Length) + " (" + std::to_string(p.Received * 100 / p.Length) + "%)";
  return line + ", " + Megabytes(p.Speed) + "/s";
}

void PrintNewLogLines(const TDownload& download, size_t& shown) {
  for (const std::string& line : download.LogLines(shown)) {
    std::printf("%s\n", line.c_str());
    ++shown;
  }
}

void PrintSummary(const TDownloadSummary& s, const std::string& folder) {
  const double seconds = static_cast<double>(s.ElapsedMs) / 1000.0;
  std::printf("Downloaded %s in %d part%s in %.2f s: %s/s\n", Megabytes(std::max<int64_t>(s.Size, 0)).c_str(),
              s.Parts, s.Parts == 1 ? "" : "s", seconds, Megabytes(s.Speed).c_str());
  std::printf("Unpacked %zu files into %s\n", s.Files.size(), folder.c_str());
}

int Download(const Args& words) {
  const TArgs args(words, {"--to", "--parts"});
  args.ExpectPositionals(1, 1, "a URL");
  TDownloadRequest request;
  request.Url = args.Positionals()[0];
  request.Parts = static_cast<int>(args.Count("--parts", request.Parts, 1, kMaxPartCount));
  const std::string folder = args.Text("--to");
  if (folder.empty()) throw UsageError{"no folder given: --to FOLDER"};

  std::error_code ec;
  const std::filesystem::path temp = std::filesystem::temp_directory_path(ec);
  if (ec) throw std::runtime_error("no temporary folder: " + ec.message());
  request.ArchivePath = (temp / ArchiveName(request.Url)).string();
  request.DestFolder = std::filesystem::absolute(folder).string();

  interrupted = false;
  auto previous = std::signal(SIGINT, OnInterrupt);
  TDownload download;
  download.Start(request);
  size_t shown = 0;
  auto nextProgress = std::chrono::steady_clock::now() + kProgressEvery;
  while (download.Running()) {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    if (interrupted) download.Stop();
    PrintNewLogLines(download, shown);
    if (std::chrono::steady_clock::now() < nextProgress) continue;
    nextProgress += kProgressEvery;
    if (download.Phase() != TDownloadPhase::Downloading) continue;
    for (int i = 0; i < download.PartCount(); ++i) std::printf("%s\n", PartLine(download, i).c_str());
    std::fflush(stdout);
  }
  download.Wait();
  std::signal(SIGINT, previous);
  PrintNewLogLines(download, shown);
  for (int i = 0; i < download.PartCount(); ++i) std::printf("%s\n", PartLine(download, i).c_str());

  const TDownloadSummary s = download.Summary();
  if (s.Phase != TDownloadPhase::Succeeded) {
    PrintError("download", "error: " + s.Error);
    return 1;
  }
  PrintSummary(s, request.DestFolder);
  return 0;
}

const Command kDownload("download", "download URL --to FOLDER [--parts N]",
                        "fetch a ZIP archive in parts (default 4, at most 16) and unpack it into FOLDER",
                        Download);

}  // namespace
}  // namespace quorlin::cli
