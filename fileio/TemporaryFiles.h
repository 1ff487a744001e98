// The files a run keeps only while it works, so that a signal that ends the run removes them.
#pragma once

#include <mutex>
#include <string>

namespace tarvo {

// Every temporary file of the process is listed here from the moment it is made until it is
// renamed into place or removed. Holding the lock keeps a signal from ending the run in between:
// a set of renames either finishes, or is undone, before the files are removed.
class TTemporaryFiles {
 public:
  static std::unique_lock<std::recursive_mutex> Lock();
  // With the lock held; the lock may be taken again by the thread that holds it.
  static void Add(const std::string& path);
  static void Forget(const std::string& path);
};

// From now on SIGTERM, SIGINT and SIGHUP remove every listed file, then end the program with
// 128 plus the signal's number. Signals the program was started with ignored stay ignored (as
// nohup asks). Call before any thread starts: the signals are blocked in every thread and taken
// by one of their own.
void RemoveTemporariesOnSignals();

}  // namespace tarvo
