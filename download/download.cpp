#include "download/download.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <memory>

#include "download/unpack.h"

namespace quorlin {

namespace {

std::string PartName(int part) { return "Part " + std::to_string(part + 1); }

void RemoveFile(const std::string& path) { ::unlink(path.c_str()); }

}  // namespace

std::string FileSizeLine(int64_t size) { return "File size = " + std::to_string(size / 1024 / 1024) + "M"; }

TDownload::~TDownload() {
  Stop();
  Wait();
}

bool TDownload::Start(const TDownloadRequest& request) {
  if (running_.load()) return false;
  if (control_.joinable()) control_.join();

  stop_ = false;
  partCount_ = 0;
  size_ = -1;
  ranged_ = false;
  elapsedMs_ = 0;
  globalSpeed_ = 0;
  for (TPartState& p : parts_) p.Reset();
  {
    std::lock_guard<std::mutex> guard(lock_);
    log_.clear();
    error_.clear();
    files_.clear();
  }
  phase_ = TDownloadPhase::Probing;
  running_ = true;
  control_ = std::thread(&TDownload::SampleDownload, this, request);
  return true;
}

void TDownload::CancelPart(int part) {
  if (part >= 0 && part < kMaxPartCount) parts_[part].CancelRequested = true;
}

void TDownload::Stop() { stop_ = true; }

void TDownload::Wait() {
  if (control_.joinable()) control_.join();
}

TPartProgress TDownload::Part(int part) const {
  TPartProgress p;
  if (part < 0 || part >= kMaxPartCount) return p;
  const TPartState& s = parts_[part];
  p.First = s.First;
  p.Length = s.Length;
  p.Received = s.Received;
  p.Speed = s.Speed;
  p.Status = s.Status;
  p.Error = s.Error();
  return p;
}

int64_t TDownload::Speed() const {
  if (phase_.load() != TDownloadPhase::Downloading) return globalSpeed_.load();
  int64_t sum = 0;
  for (int i = 0; i < partCount_.load(); ++i)
    if (parts_[i].Status.load() == TPartStatus::Running) sum += parts_[i].Speed.load();
  return sum;
}

TDownloadSummary TDownload::Summary() const {
  TDownloadSummary s;
  s.Phase = phase_;
  s.Size = size_;
  s.Parts = partCount_;
  s.Ranged = ranged_;
  s.ElapsedMs = elapsedMs_;
  s.Speed = globalSpeed_;
  std::lock_guard<std::mutex> guard(lock_);
  s.Files = files_;
  s.Error = error_;
  return s;
}

std::vector<std::string> TDownload::LogLines(size_t from) const {
  std::lock_guard<std::mutex> guard(lock_);
  if (from >= log_.size()) return {};
  return std::vector<std::string>(log_.begin() + static_cast<std::ptrdiff_t>(from), log_.end());
}

void TDownload::Log(const std::string& line) {
  std::lock_guard<std::mutex> guard(lock_);
  log_.push_back(line);
}

void TDownload::Finish(TDownloadPhase phase, const std::string& error) {
  {
    std::lock_guard<std::mutex> guard(lock_);
    error_ = error;
  }
  phase_ = phase;
  running_ = false;
}

// The control thread: probe, download the parts, check them, unpack. Every
// step logs its own failure and says how the download ends; files are
// cleaned up before the end is published, so that a reader who sees the
// download finished also sees the temporary files gone.
void TDownload::SampleDownload(TDownloadRequest request) {
  const std::string partFile = request.ArchivePath + ".part";
  Log("File location = " + request.ArchivePath);
  Log("Downloading " + request.Url + " ...");

  TEnd end = Probe(request);
  if (!end.Failed()) end = CreateArchiveFile(partFile);
  if (!end.Failed()) {
    PlanParts(std::clamp(request.Parts, 1, kMaxPartCount));
    phase_ = TDownloadPhase::Downloading;
    RunParts(request, partFile);
    end = CheckParts();
  }
  if (!end.Failed()) end = KeepArchive(partFile, request.ArchivePath);
  if (end.Failed()) {
    RemoveFile(partFile);
  } else {
    end = Unpack(request);
    if (end.Failed()) RemoveFile(request.ArchivePath);
  }
  if (!end.Failed()) Log(kDoneText);
  Finish(end.Phase, end.Error);
}

TDownload::TEnd TDownload::Fail(const std::string& why) {
  Log(why);
  return {TDownloadPhase::Failed, why};
}

TDownload::TEnd TDownload::Stopped(const std::string& why) {
  Log(kNotFinishedText);
  return {TDownloadPhase::Stopped, why};
}

TDownload::TEnd TDownload::Probe(const TDownloadRequest& request) {
  TRemoteFile file;
  std::string error;
  if (!HeadRequest(request.Url, request.Limits, file, error, &stop_))
    return stop_ ? Stopped("stopped before the download began") : Fail(error);
  // Ranges need a known size; without either the archive comes in one part.
  ranged_ = file.AcceptsRanges && file.ContentLength > 0;
  if (!ranged_) Log(kNoRangesText);
  size_ = file.ContentLength;
  if (file.ContentLength >= 0) Log(FileSizeLine(file.ContentLength));
  return {};
}

TDownload::TEnd TDownload::CreateArchiveFile(const std::string& path) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  if (fd < 0) return Fail("cannot create " + path + ": " + std::strerror(errno));
  std::string why;
  const int64_t size = size_.load();
  // Reserving the space first turns a full disk into one clear error now
  // rather than four failing parts later; file systems without fallocate
  // (which is not emulated here) still get the right length from ftruncate.
  if (size > 0 && ::fallocate(fd, 0, 0, size) != 0 && errno == ENOSPC)
    why = "not enough space for " + std::to_string(size) + " bytes in " + path;
  else if (size > 0 && ::ftruncate(fd, size) != 0)
    why = "cannot set the size of " + path + ": " + std::strerror(errno);
  ::close(fd);
  return why.empty() ? TEnd{} : Fail(why);
}

// Splits the file into `requested` parts of equal size (the last one takes
// the remainder), never more parts than bytes.
void TDownload::PlanParts(int requested) {
  const int64_t size = size_.load();
  // A part cancelled before this point stays cancelled: only the range is set.
  if (!ranged_) {
    parts_[0].First = 0;
    parts_[0].Length = size;
    partCount_ = 1;
    return;
  }
  const int count = static_cast<int>(std::min<int64_t>(requested, size));
  const int64_t each = size / count;
  for (int i = 0; i < count; ++i) {
    parts_[i].First = i * each;
    parts_[i].Length = i == count - 1 ? size - i * each : each;
  }
  partCount_ = count;
}

void TDownload::RunParts(const TDownloadRequest& request, const std::string& partFile) {
  TPartRequest part;
  part.Url = request.Url;
  part.FilePath = partFile;
  part.Ranged = ranged_;
  part.FileSize = size_;
  part.Limits = request.Limits;

  const auto start = std::chrono::steady_clock::now();
  std::vector<std::unique_ptr<TDownloadThread>> threads;
  for (int i = 0; i < partCount_.load(); ++i)
    threads.push_back(std::make_unique<TDownloadThread>(part, parts_[i], stop_));
  for (auto& t : threads) t->Start();
  for (auto& t : threads) t->Join();

  const int64_t ms =
      std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count();
  int64_t received = 0;
  for (int i = 0; i < partCount_.load(); ++i) received += parts_[i].Received;
  elapsedMs_ = ms;
  globalSpeed_ = BytesPerSecond(received, ms);
}

// Every part must have arrived whole; each part that did not says why.
TDownload::TEnd TDownload::CheckParts() {
  std::string first;
  for (int i = 0; i < partCount_.load(); ++i) {
    if (parts_[i].Status.load() == TPartStatus::Done) continue;
    const std::string line = PartName(i) + ": " + parts_[i].Error();
    Log(line);
    if (first.empty()) first = line;
  }
  if (stop_) return Stopped("stopped during the download");
  if (!first.empty()) {
    Log(kNotFinishedText);
    return {TDownloadPhase::Failed, first};
  }
  if (size_.load() < 0) size_ = parts_[0].Received.load();
  return {};
}

TDownload::TEnd TDownload::KeepArchive(const std::string& partFile, const std::string& archive) {
  if (::rename(partFile.c_str(), archive.c_str()) == 0) return {};
  return Fail("cannot rename " + partFile + " to " + archive + ": " + std::strerror(errno));
}

TDownload::TEnd TDownload::Unpack(const TDownloadRequest& request) {
  phase_ = TDownloadPhase::Unpacking;
  Log("Extract to:" + request.DestFolder);
  TUnpackResult r = UnpackArchive(request.ArchivePath, request.DestFolder, &stop_);
  if (r.Ok) {
    std::lock_guard<std::mutex> guard(lock_);
    files_ = std::move(r.Files);
    return {};
  }
  if (stop_) return Stopped("stopped before the files were unpacked");
  Log(kExtractErrorText);
  return Fail(r.Error);
}

}  // namespace quorlin
