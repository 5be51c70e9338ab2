#pragma once
// Another program run as a child process through the shell, talked to line
// by line over its standard input and output (its standard error passes
// through). Reading waits with a time limit; writing to a program that went
// away fails instead of raising SIGPIPE.
#include <sys/types.h>

#include <chrono>
#include <string>

namespace quorlin {

class TChildProcess {
 public:
  TChildProcess() = default;
  ~TChildProcess();
  TChildProcess(const TChildProcess&) = delete;
  TChildProcess& operator=(const TChildProcess&) = delete;

  // Runs `command` with /bin/sh -c in `folder` (empty: the current folder).
  // False with `error`.
  bool Start(const std::string& command, const std::string& folder, std::string& error);
  bool Running() const { return pid_ > 0; }
  // Writes the line and a line end; false when the program does not read any more.
  bool WriteLine(const std::string& line);
  enum class TRead { Line, Timeout, Closed };
  // Waits up to `timeout` for a whole line (without its line end; a carriage
  // return before it is dropped).
  TRead ReadLine(std::string& line, std::chrono::milliseconds timeout);
  // Closes its input, waits up to `grace` for it to end, then ends it by
  // force. Returns its exit status (-1 when it was killed or not running).
  int Stop(std::chrono::milliseconds grace);

 private:
  pid_t pid_ = -1;
  int in_ = -1;   // its standard input
  int out_ = -1;  // its standard output
  std::string buffer_;
  bool eof_ = false;
};

}  // namespace quorlin
