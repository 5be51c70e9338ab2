#include "app/pdntransfer.h"

#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>

#include "games/database.h"
#include "games/pdnfile.h"

namespace quorlin {

namespace {

// Lines of a file (its newline characters, plus a last line without one); -1
// when it cannot be read.
int64_t CountLines(const std::string& path) {
  std::FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) return -1;
  int64_t lines = 0;
  char buf[1 << 16];
  size_t n = 0;
  char last = '\n';
  while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) {
    for (size_t i = 0; i < n; ++i) lines += buf[i] == '\n' ? 1 : 0;
    last = buf[n - 1];
  }
  const bool failed = std::ferror(f) != 0;
  std::fclose(f);
  if (failed) return -1;
  return lines + (last != '\n' ? 1 : 0);
}

std::string FileName(const std::string& path) { return std::filesystem::path(path).filename().string(); }

std::string Plural(int n, const char* one, const char* many) {
  return std::to_string(n) + " " + (n == 1 ? one : many);
}

}  // namespace

bool IsPdnFileName(const std::string& path) {
  const std::string ext = std::filesystem::path(path).extension().string();
  return ext.size() == 4 && (ext[1] == 'p' || ext[1] == 'P') && (ext[2] == 'd' || ext[2] == 'D') &&
         (ext[3] == 'n' || ext[3] == 'N');
}

TPdnTransferResult ImportPdn(const std::string& pdnPath, const std::string& dbPath, int defaultVariant,
                             TBackgroundJob* job) {
  TPdnTransferResult r;
  const int64_t lines = CountLines(pdnPath);
  if (lines < 0) {
    r.error = pdnPath + ": cannot be read";
    return r;
  }
  if (job) job->SetProgress(0, lines);
  TPdnReadReport report;
  const auto keepGoing = [&](int, int line) {
    if (!job) return true;
    job->SetProgress(line, lines);
    return !job->Cancelled();
  };
  r.ok = ImportPdnFile(pdnPath, dbPath, defaultVariant, report, r.error, {}, keepGoing);
  r.cancelled = job && job->Cancelled();
  r.games = report.gamesStored;
  r.cutShort = report.gamesStopped;
  if (!report.stops.empty()) {
    const TPdnStop& s = report.stops.front();
    r.firstProblem = "game " + std::to_string(s.game) + ", line " + std::to_string(s.line) +
                     (s.token.empty() ? "" : ", \"" + s.token + "\"") + ": " + s.reason;
  }
  if (job && !r.cancelled) job->SetProgress(lines, lines);
  return r;
}

TPdnTransferResult ExportPdn(const std::string& dbPath, const std::vector<int>& games, const std::string& pdnPath,
                             TBackgroundJob* job) {
  TPdnTransferResult r;
  const int total = static_cast<int>(games.size());
  if (job) job->SetProgress(0, total);
  TQuorlinDB db;
  if (!OpenDatabase(dbPath, db, /*readOnly=*/true)) {
    r.error = db.LastError.empty() ? dbPath + ": cannot be opened" : db.LastError;
    return r;
  }
  const std::string part = pdnPath + ".part";
  std::FILE* out = std::fopen(part.c_str(), "wb");
  if (!out) {
    r.error = part + ": cannot be written (" + std::strerror(errno) + ")";
    CloseDatabase(db);
    return r;
  }
  bool written = true;
  TGame game;
  for (int i = 0; i < total && written; ++i) {
    if (job && job->Cancelled()) {
      r.cancelled = true;
      break;
    }
    if (!ReadGame(db, games[i], /*keep=*/false, -1, game)) {
      if (r.skipped++ == 0) r.firstProblem = db.LastError;
      continue;
    }
    const std::string text = GameToPdn(game);
    written = std::fwrite(text.data(), 1, text.size(), out) == text.size();
    if (written) ++r.games;
    if (job) job->SetProgress(i + 1, total);
  }
  CloseDatabase(db);
  written = written && std::fflush(out) == 0 && ::fsync(fileno(out)) == 0;
  const int writeErrno = errno;
  written = std::fclose(out) == 0 && written;
  if (!written) {
    r.error = part + ": cannot be written (" + std::strerror(writeErrno) + ")";
  } else if (!r.cancelled && std::rename(part.c_str(), pdnPath.c_str()) != 0) {
    r.error = pdnPath + ": cannot be written (" + std::strerror(errno) + ")";
    written = false;
  }
  if (!written || r.cancelled) std::remove(part.c_str());
  r.ok = written;
  return r;
}

std::string ImportMessage(const TPdnTransferResult& r, const std::string& pdnPath) {
  const std::string name = FileName(pdnPath);
  if (!r.ok) {
    return "Import of " + name + " failed: " + r.error +
           (r.games > 0 ? " (" + Plural(r.games, "game was", "games were") + " stored before)" : "");
  }
  std::string text = r.cancelled ? "Import of " + name + " cancelled: the " + Plural(r.games, "game", "games") +
                                       " read so far " + (r.games == 1 ? "is" : "are") + " kept."
                                 : Plural(r.games, "game", "games") + " imported from " + name + ".";
  if (r.cutShort > 0) {
    text += " " + Plural(r.cutShort, "game was", "games were") +
            " cut short where the moves could not be read (first: " + r.firstProblem + ").";
  }
  return text;
}

std::string ExportMessage(const TPdnTransferResult& r, const std::string& pdnPath) {
  const std::string name = FileName(pdnPath);
  if (!r.ok) return "Export to " + name + " failed: " + r.error;
  if (r.cancelled) return "Export to " + name + " cancelled; the file was not written.";
  std::string text = Plural(r.games, "game", "games") + " exported to " + name + ".";
  if (r.skipped > 0)
    text += " " + Plural(r.skipped, "game", "games") + " could not be read and " +
            (r.skipped == 1 ? "was" : "were") + " left out (first: " + r.firstProblem + ").";
  return text;
}

}  // namespace quorlin
