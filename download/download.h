#pragma once
// A download of a ZIP archive in parallel byte-range parts, followed by its
// unpacking into a folder.
//
// TDownload runs one control thread per download and one thread per part,
// each part with its own HTTP connection and its own handle on the archive
// file. Everything a window or a command shows is published here and read by
// polling: the phase, each part's range, bytes received, speed and outcome,
// and the log lines. Nothing is called back; the reader decides on which
// thread it looks.
//
// The archive is written as ArchivePath + ".part" and renamed to ArchivePath
// only once every part arrived whole; it is unpacked only then, and through
// UnpackArchive, so that the destination gets all of the archive or nothing.
// A download that fails or is stopped leaves no archive behind.
//
// Start, Wait and the destructor belong to the thread that owns the object;
// Stop, CancelPart and every reader may be called from any thread.
#include <array>
#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "download/downloadthread.h"
#include "download/httpclient.h"

namespace quorlin {

inline constexpr int kDefaultPartCount = 4;
inline constexpr int kMaxPartCount = 16;

// Log texts the window shows as they stand.
inline constexpr const char* kNoRangesText = "Server has NOT resume download feature";
inline constexpr const char* kDoneText = "Done!";
inline constexpr const char* kNotFinishedText = "Not finished!";
inline constexpr const char* kExtractErrorText = "Error extracting files";

struct TDownloadRequest {
  std::string Url;
  std::string ArchivePath;        // where the finished archive is kept
  std::string DestFolder;         // where it is unpacked
  int Parts = kDefaultPartCount;  // held to 1..kMaxPartCount
  TTransferLimits Limits;
};

enum class TDownloadPhase : int {
  Idle,         // nothing started yet
  Probing,      // HEAD request
  Downloading,  // parts running
  Unpacking,
  Succeeded,
  Failed,
  Stopped,  // Stop() was called before the end
};

// One part as a reader sees it at one moment.
struct TPartProgress {
  int64_t First = 0;
  int64_t Length = 0;  // -1 when the size is unknown
  int64_t Received = 0;
  int64_t Speed = 0;  // bytes per second
  TPartStatus Status = TPartStatus::Waiting;
  std::string Error;
};

struct TDownloadSummary {
  TDownloadPhase Phase = TDownloadPhase::Idle;
  int64_t Size = -1;               // archive size; -1 while unknown
  int Parts = 0;                   // parts used (1 when the server serves no ranges)
  bool Ranged = false;             // whether the parts asked for byte ranges
  int64_t ElapsedMs = 0;           // from the start of the parts to the end of the last
  int64_t Speed = 0;               // bytes per second over all parts
  std::vector<std::string> Files;  // unpacked, relative to DestFolder
  std::string Error;               // why it failed or stopped; empty on success
};

class TDownload {
 public:
  TDownload() = default;
  ~TDownload();  // stops a running download and waits for its threads
  TDownload(const TDownload&) = delete;
  TDownload& operator=(const TDownload&) = delete;

  // Starts a download on a new control thread. False (and nothing changes)
  // while another download of this object is still running.
  bool Start(const TDownloadRequest& request);

  // Stops one part at its next received block (or within a second when
  // nothing arrives). The download then fails: its archive is incomplete.
  void CancelPart(int part);

  // Stops every part (and an unpack that has not begun moving files into
  // place); the download ends as Stopped and leaves the destination as it was.
  void Stop();

  // Waits until the control thread has ended.
  void Wait();

  bool Running() const { return running_.load(); }
  TDownloadPhase Phase() const { return phase_.load(); }
  int PartCount() const { return partCount_.load(); }
  TPartProgress Part(int part) const;
  int64_t Size() const { return size_.load(); }
  // Bytes per second: the parts' speeds added up while they run, then the
  // speed over the whole download.
  int64_t Speed() const;
  TDownloadSummary Summary() const;

  // The log lines from number `from` on (0 = all).
  std::vector<std::string> LogLines(size_t from = 0) const;

 private:
  // How the control thread ends; a default one means "go on".
  struct TEnd {
    TDownloadPhase Phase = TDownloadPhase::Succeeded;
    std::string Error;
    bool Failed() const { return Phase != TDownloadPhase::Succeeded; }
  };

  void SampleDownload(TDownloadRequest request);
  TEnd Probe(const TDownloadRequest& request);
  TEnd CreateArchiveFile(const std::string& path);
  void PlanParts(int requested);
  void RunParts(const TDownloadRequest& request, const std::string& partFile);
  TEnd CheckParts();
  TEnd KeepArchive(const std::string& partFile, const std::string& archive);
  TEnd Unpack(const TDownloadRequest& request);
  TEnd Fail(const std::string& why);
  TEnd Stopped(const std::string& why);
  void Finish(TDownloadPhase phase, const std::string& error);
  void Log(const std::string& line);

  std::thread control_;
  std::atomic<bool> running_{false};
  std::atomic<bool> stop_{false};
  std::atomic<TDownloadPhase> phase_{TDownloadPhase::Idle};
  std::atomic<int> partCount_{0};
  std::atomic<int64_t> size_{-1};
  std::atomic<bool> ranged_{false};
  std::atomic<int64_t> elapsedMs_{0};
  std::atomic<int64_t> globalSpeed_{0};
  std::array<TPartState, kMaxPartCount> parts_;

  mutable std::mutex lock_;  // guards the members below
  std::vector<std::string> log_;
  std::string error_;
  std::vector<std::string> files_;
};

// The size in the log's "File size = " line: whole megabytes, rounded down.
std::string FileSizeLine(int64_t size);

}  // namespace quorlin
