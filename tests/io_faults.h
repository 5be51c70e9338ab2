#pragma once
// Interrupts the program's file changes for tests: every write, flush,
// truncation and rename of a file inside one folder is counted, and the
// change with a chosen number fails (an I/O error, or the disk filling up from
// there on) or kills the process (in a forked child, to leave the files as a
// crash would).
//
// The interruption sits below the program, in the C library calls it makes
// (write, pwrite, writev, fsync, fdatasync, ftruncate, rename), which this
// file's object replaces in any test program that uses it. Disarmed, the
// calls pass straight through.
#include <functional>
#include <string>

namespace quorlin::test {

enum class TFault {
  none,      // count only
  failure,   // the change fails with EIO and does nothing; later ones work
  diskFull,  // from this change on writes fail with ENOSPC (the first one after writing half)
  kill,      // the process dies with SIGKILL before the change
};

const char* FaultName(TFault fault);

// Starts counting the changes of files under `folder` (an absolute path);
// change number `at` (1-based) gets `fault`.
void ArmFaults(const std::string& folder, TFault fault, int at);
// Stops; returns the number of changes counted since ArmFaults.
int DisarmFaults();

// Runs `work` in a forked child with the changes under `folder` armed to kill
// it at change `at`. Returns true when the child was killed there, false when
// it finished before (exit status 0 required).
bool RunKilledAtChange(const std::string& folder, int at, const std::function<void()>& work);

// Number of changes `work` makes under `folder`.
int CountChanges(const std::string& folder, const std::function<void()>& work);

}  // namespace quorlin::test
