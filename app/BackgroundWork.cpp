#include "BackgroundWork.h"

#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>

#include <QCoreApplication>

namespace tarvo {
namespace {

// Work done ahead yields to the window's thread and to the work the user waits for: on a
// machine with few cores, a decode using all of them would otherwise hold up painting, or the
// picture the user opened. Threads started by the work (the engine's) inherit this. Once per
// thread of the pool for work done ahead; a failure leaves the thread as it was.
void YieldToWaitedWork() {
  thread_local const bool lowered = [] {
    const auto thread = static_cast<id_t>(::syscall(SYS_gettid));
    errno = 0;
    const int nice = ::getpriority(PRIO_PROCESS, thread);
    return errno == 0 &&
           ::setpriority(PRIO_PROCESS, thread, nice + TBackgroundWork::kAheadNiceness) == 0;
  }();
  static_cast<void>(lowered);
}

}  // namespace

TBackgroundWork::TBackgroundWork(TThreads threads) : threads_(threads) {
  // Two threads: a trim or an open never waits behind a picture being decoded for the view.
  waited_.setMaxThreadCount(2);
  ahead_.setMaxThreadCount(1);
}

TBackgroundWork::~TBackgroundWork() {
  waited_.waitForDone();
  ahead_.waitForDone();
}

void TBackgroundWork::Run(std::function<void()> work, std::function<void(std::exception_ptr)> done,
                          TPriority priority) {
  if (threads_ == TThreads::Held) {
    held_.emplace_back(std::move(work), std::move(done));
    return;
  }
  if (threads_ == TThreads::Caller) {
    RunHere(work, done);
    return;
  }
  ++pending_;
  const bool ahead = priority == TPriority::Ahead;
  (ahead ? ahead_ : waited_)
      .start([this, ahead, work = std::move(work), done = std::move(done)]() mutable {
        if (ahead) YieldToWaitedWork();
        std::exception_ptr error;
        try {
          work();
        } catch (...) {
          error = std::current_exception();
        }
        QMetaObject::invokeMethod(
            &receiver_,
            [this, done = std::move(done), error] {
              --pending_;
              done(error);
            },
            Qt::QueuedConnection);
      });
}

void TBackgroundWork::Post(std::function<void()> call) {
  if (threads_ != TThreads::Own) {
    call();
    return;
  }
  // Queued from the work's thread ahead of its outcome, which is handed back the same way.
  QMetaObject::invokeMethod(&receiver_, std::move(call), Qt::QueuedConnection);
}

void TBackgroundWork::RunHere(const std::function<void()>& work,
                              const std::function<void(std::exception_ptr)>& done) {
  std::exception_ptr error;
  try {
    work();
  } catch (...) {
    error = std::current_exception();
  }
  done(error);
}

bool TBackgroundWork::RunNext() {
  if (held_.empty()) return false;
  const auto [work, done] = std::move(held_.front());
  held_.pop_front();
  RunHere(work, done);
  return true;
}

void TBackgroundWork::WaitForAll() {
  while (RunNext()) {
  }
  while (pending_ > 0) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 10);
}

}  // namespace tarvo
