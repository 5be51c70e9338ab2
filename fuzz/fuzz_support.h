#pragma once
// What every fuzz target shares: a private folder instead of the user's
// (HOME, XDG folders and TMPDIR point into it), the rule tables built once,
// input bytes taken apart piece by piece, files written for readers that take
// a path, and a check that stops the run with a message when a property fails.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <string_view>

namespace quorlin::fuzz {

// Sets up the private folder and the rule tables; called once before the
// first input (and by the seed writer).
void Init();

// What a target sets up once beyond Init (tables, folders); a target that
// needs nothing more does not define it.
void SetUpTarget();

// The private folder of this process.
const std::filesystem::path& WorkDir();

// Writes `bytes` to `name` inside the private folder (subfolders are made)
// and returns the full path.
std::filesystem::path WriteFile(const std::string& name, std::string_view bytes);

// Input bytes consumed from the front.
class TInput {
 public:
  TInput(const uint8_t* data, size_t size) : p_(data), n_(size) {}
  bool Empty() const { return n_ == 0; }
  size_t Left() const { return n_; }
  uint8_t Byte() {
    if (n_ == 0) return 0;
    --n_;
    return *p_++;
  }
  // A number in 0..count-1 (count > 0).
  int Pick(int count) { return Byte() % count; }
  // The next `k` bytes (fewer at the end).
  std::string_view Take(size_t k) {
    if (k > n_) k = n_;
    std::string_view s(reinterpret_cast<const char*>(p_), k);
    p_ += k;
    n_ -= k;
    return s;
  }
  // Bytes up to a separator byte (not included, and consumed), or the rest.
  std::string_view TakeUntil(char sep) {
    size_t k = 0;
    while (k < n_ && p_[k] != static_cast<uint8_t>(sep)) ++k;
    std::string_view s = Take(k);
    if (n_ > 0) Byte();
    return s;
  }
  std::string_view Rest() { return Take(n_); }

 private:
  const uint8_t* p_;
  size_t n_;
};

[[noreturn]] void Fail(const char* file, int line, const std::string& what);

}  // namespace quorlin::fuzz

// A property every input must keep; a failure ends the run as a crash, so the
// fuzzer saves the input.
#define FUZZ_CHECK(cond, what)                                      \
  do {                                                              \
    if (!(cond)) ::quorlin::fuzz::Fail(__FILE__, __LINE__, (what)); \
  } while (0)
