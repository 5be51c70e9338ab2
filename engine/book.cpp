#include "engine/book.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstring>
#include <fstream>
#include <mutex>

#include "common/bytes.h"
#include "rules/movegen.h"
#include "rules/notation.h"
#include "rules/position.h"

namespace quorlin {

namespace {

constexpr const char* kAnnotations[9] = {"#", "!!", "!", "!?", "", "?!", "?", "??", "\x7F"};

std::string ReplaceExtension(const std::string& path, const std::string& ext) {
  const size_t slash = path.find_last_of('/');
  const size_t dot = path.find_last_of('.');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return path + ext;
  return path.substr(0, dot) + ext;
}

// Mark of a stored value of the position after a move (from the side then to
// move): a clear or a slight edge for either side, nothing when about equal.
constexpr int kClearEdge = 71;
constexpr int kSlightEdge = 26;
const char* ValueMark(int v) {
  if (v >= kClearEdge) return " -";
  if (v >= kSlightEdge) return " <";
  if (v <= -kClearEdge) return " +";
  if (v <= -kSlightEdge) return " >";
  return "";
}

// Entry A goes before entry B.
bool Better(const TOpenMove& a, const TOpenMove& b) {
  if (a.col != b.col) return a.col > b.col;
  if (a.eval != b.eval) return a.eval > b.eval;
  if (a.sign != b.sign) return a.sign < b.sign;
  return a.freq + a.qual > b.freq + b.qual;
}

}  // namespace

const char* BookAnnotationText(int index) { return index >= 0 && index <= 8 ? kAnnotations[index] : ""; }

void PackBookRecord(const TBookRecord& r, uint8_t* out) {
  std::memcpy(out, r.key.data(), kBookKeySize);
  PutLE16(out + 24, r.stmWins);
  PutLE16(out + 26, r.draws);
  PutLE16(out + 28, r.otherWins);
  PutLE16(out + 30, static_cast<uint16_t>(r.value));
  out[32] = r.annotation;
  out[33] = r.spare;
  PutLE16(out + 34, r.comment);
}

TBookRecord UnpackBookRecord(const uint8_t* in) {
  TBookRecord r;
  std::memcpy(r.key.data(), in, kBookKeySize);
  r.stmWins = GetLE16(in + 24);
  r.draws = GetLE16(in + 26);
  r.otherWins = GetLE16(in + 28);
  r.value = static_cast<int16_t>(GetLE16(in + 30));
  r.annotation = in[32];
  r.spare = in[33];
  r.comment = GetLE16(in + 34);
  return r;
}

TBookKey PackBoard(const TBoard& board, int sideToMove, const TGameParams& params) {
  TBoard b = board;
  if (sideToMove == 1) SwapColours(b.b, params);
  if (!params.BoardCheckered) {
    TBoard m;
    CanonicalMirror(b, params, m);
    b = m;
  }
  TBookKey key{};
  for (int g = 0; g < kBookKeySize; ++g) {
    const int c1 = b.b[3 * g + 1], c2 = b.b[3 * g + 2], c3 = b.b[3 * g + 3];
    key[g] = static_cast<uint8_t>((c1 + 2) + (c2 + 2) * 5 + (c3 + 2) * 25);
  }
  return key;
}

int RoundHalfEven(int64_t num, int64_t den) {
  int64_t q = num / den;
  const int64_t r = num % den;
  if (2 * r > den || (2 * r == den && (q % 2) != 0)) ++q;
  return static_cast<int>(q);
}

TOpeningBook::~TOpeningBook() { CloseLocked(); }

bool TOpeningBook::ReadRecordAt(int64_t n, TBookRecord& r) const {
  uint8_t buf[kBookRecordSize];
  const off_t at = static_cast<off_t>((n - 1) * kBookRecordSize);
  size_t got = 0;
  while (got < sizeof buf) {
    const ssize_t k = pread(fd_, buf + got, sizeof buf - got, at + static_cast<off_t>(got));
    if (k <= 0) return false;
    got += static_cast<size_t>(k);
  }
  r = UnpackBookRecord(buf);
  return true;
}

bool TOpeningBook::FindLocked(const TBookKey& key, TBookRecord& record) const {
  if (fd_ < 0 || records_ == 0) return false;
  int64_t lo = 1, hi = records_;
  TBookRecord r;
  while (lo < hi) {
    const int64_t mid = (lo + hi) / 2;
    if (!ReadRecordAt(mid, r)) return false;
    if (std::memcmp(r.key.data(), key.data(), kBookKeySize) >= 0)
      hi = mid;
    else
      lo = mid + 1;
  }
  if (!ReadRecordAt(lo, r) || r.key != key) return false;
  record = r;
  return true;
}

void TOpeningBook::CloseLocked() {
  if (fd_ >= 0) close(fd_);
  fd_ = -1;
  records_ = 0;
  comments_.assign(1, std::string());
}

bool TOpeningBook::Ini(const std::string& path) {
  std::lock_guard<std::mutex> lock(lock_);
  CloseLocked();
  // Read and write access as the book editor needs it; a book that can only be
  // read is still used for lookups.
  int fd = open(path.c_str(), O_RDWR | O_CLOEXEC);
  if (fd < 0) fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  const off_t size = lseek(fd, 0, SEEK_END);
  if (size < 0) {
    close(fd);
    return false;
  }
  fd_ = fd;
  records_ = size / kBookRecordSize;
  std::ifstream comments(ReplaceExtension(path, ".cbn"), std::ios::binary);
  if (comments) {
    std::vector<std::string> lines;
    std::string line;
    while (std::getline(comments, line)) {
      if (!line.empty() && line.back() == '\r') line.pop_back();
      lines.push_back(line);
    }
    if (lines.size() > 0 && lines[0].rfind("\xEF\xBB\xBF", 0) == 0) lines[0].erase(0, 3);
    if (!comments.bad()) comments_ = std::move(lines);
  }
  return true;
}

void TOpeningBook::Close() {
  std::lock_guard<std::mutex> lock(lock_);
  CloseLocked();
}

bool TOpeningBook::IsOpen() const {
  std::lock_guard<std::mutex> lock(lock_);
  return fd_ >= 0;
}

bool TOpeningBook::Find(const TBookKey& key, TBookRecord& record) const {
  std::lock_guard<std::mutex> lock(lock_);
  return FindLocked(key, record);
}

void TOpeningBook::Lookup(const TGameParams& params, TOpenMoves& moves, const TBoard& board, int sideToMove,
                          const TBookTextStyle& text) const {
  std::lock_guard<std::mutex> lock(lock_);
  const bool open = fd_ >= 0;
  moves.Op_moves = 0;
  moves.openposcomm.clear();
  TBookRecord rec;
  if (open && FindLocked(PackBoard(board, sideToMove, params), rec) && rec.comment != 0)
    moves.openposcomm = rec.comment < comments_.size() ? comments_[rec.comment] : "CBN file not exists!";

  TMvs list;
  uint8_t count = 0;
  GenerateMoveList(board, sideToMove, list, count, params, true);
  moves.Op_moves = count;
  int64_t allGames = 0;
  for (int i = 1; i <= count; ++i) {
    TOpenMove& e = moves.openmoves[i];
    e = TOpenMove{};
    MoveToText(list[i], params, text.style, e.move, text.forceAlpha, text.separator);
    e.num = static_cast<uint8_t>(i);
    e.sign = 0;
    e.eb = 1;
    TBoard next = board;
    ApplyMove(list[i], next, params);
    if (!open || !FindLocked(PackBoard(next, 1 - sideToMove, params), rec)) continue;
    e.col = 2;
    e.wh = rec.stmWins;
    e.bl = rec.otherWins;
    e.dr = rec.draws;
    e.sign = rec.annotation;
    e.move += BookAnnotationText(rec.annotation);
    const int v = rec.value == kBookNoValue ? 0 : rec.value;
    e.eval = static_cast<float>(-v);
    e.move += ValueMark(v);
    const int64_t games = int64_t{e.wh} + e.bl + e.dr;
    e.qual = static_cast<uint8_t>(games ? RoundHalfEven((2 * int64_t{e.bl} + e.dr) * 50, games) : 50);
    if (games) e.stat = "+" + std::to_string(e.bl) + "-" + std::to_string(e.wh) + "=" + std::to_string(e.dr);
    allGames += games;
  }
  for (int i = 1; i <= count; ++i) {
    TOpenMove& e = moves.openmoves[i];
    const int64_t games = int64_t{e.wh} + e.bl + e.dr;
    e.freq = static_cast<uint8_t>(allGames ? RoundHalfEven(games * 100, allGames) : 0);
    if (e.col == 2) {
      if (e.sign >= 1 && e.sign <= 3)
        e.col = 3;
      else if (e.sign > 4)
        e.col = 1;
      if (e.col == 2 && ((e.qual > 50 && e.freq > 19) || (e.qual > 69 && e.freq > 9))) e.col = 3;
      if (e.col == 2 && e.qual < 33) e.col = 1;
    }
    if (e.sign == 0) e.sign = kBookNoAnnotation;
  }
  for (int p = 1; p < count; ++p) {
    int best = p;
    for (int q = p + 1; q <= count; ++q)
      if (Better(moves.openmoves[q], moves.openmoves[best])) best = q;
    if (best != p) std::swap(moves.openmoves[p], moves.openmoves[best]);
  }
  if (!open) moves.openposcomm = "<NO BOOK>";
}

}  // namespace quorlin
