// Work the window hands to threads of its own, its outcome handed back on the window's thread.
#pragma once

#include <QObject>
#include <QThreadPool>
#include <deque>
#include <exception>
#include <functional>
#include <utility>

namespace tarvo {

// Decoding and trimming a large photo takes seconds; run here, the window keeps painting and
// answering meanwhile. The work must own or share everything it touches: it runs while the
// window goes on. done runs on the thread that created this object, from its event loop, with
// the exception the work raised (or none); it never runs once this object is gone. Work the
// user waits for runs as the window's thread does; work done ahead, below it.
class TBackgroundWork {
 public:
  // How much nicer than the window's thread the threads of work done ahead run.
  static constexpr int kAheadNiceness = 5;

  enum class TPriority {
    Waited,  // the user waits for it: an open, a change, a picture to show, a copy
    Ahead,   // done before anyone asks, such as decoding the blocks below those needed so far
  };

  // Where the work runs: on threads of this object's own; at once on the caller's thread with
  // done right after it (for tests of the window that drive it one step at a time); or held until
  // RunNext runs it on the caller's thread, with done right after it (for tests of the order in
  // which work is given).
  enum class TThreads { Own, Caller, Held };

  explicit TBackgroundWork(TThreads threads = TThreads::Own);
  // Waits for the work still running; outcomes not yet handed back are dropped.
  ~TBackgroundWork();
  TBackgroundWork(const TBackgroundWork&) = delete;
  TBackgroundWork& operator=(const TBackgroundWork&) = delete;

  void Run(std::function<void()> work, std::function<void(std::exception_ptr)> done,
           TPriority priority = TPriority::Waited);
  // From work this object runs, on its thread: call runs on this object's thread, before the
  // work's outcome is handed back (at once where the work runs on the caller's thread). It never
  // runs once this object is gone.
  void Post(std::function<void()> call);
  // Work started whose outcome has not been handed back yet.
  int Pending() const { return pending_ + static_cast<int>(held_.size()); }
  // Runs the work held longest, then its done; false when none is held.
  bool RunNext();
  // Turns the event loop until every outcome has been handed back (tests, benchmarks).
  void WaitForAll();

 private:
  static void RunHere(const std::function<void()>& work,
                      const std::function<void(std::exception_ptr)>& done);

  TThreads threads_;
  int pending_ = 0;
  std::deque<std::pair<std::function<void()>, std::function<void(std::exception_ptr)>>> held_;
  // Before the pools: they are let go first and wait for their threads, so no outcome is posted
  // to a receiver that is gone; the receiver's posted outcomes go with it.
  QObject receiver_;
  QThreadPool waited_;
  // Threads of their own: a thread's priority, once lowered, cannot be raised again.
  QThreadPool ahead_;
};

}  // namespace tarvo
