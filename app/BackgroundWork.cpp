#include "BackgroundWork.h"

#include <QCoreApplication>

namespace tarvo {

TBackgroundWork::TBackgroundWork(TThreads threads) : threads_(threads) {
  // Two threads: a trim or an open never waits behind a picture being decoded for the view.
  pool_.setMaxThreadCount(2);
}

TBackgroundWork::~TBackgroundWork() { pool_.waitForDone(); }

void TBackgroundWork::Run(std::function<void()> work,
                          std::function<void(std::exception_ptr)> done) {
  if (threads_ == TThreads::Caller) {
    std::exception_ptr error;
    try {
      work();
    } catch (...) {
      error = std::current_exception();
    }
    done(error);
    return;
  }
  ++pending_;
  pool_.start([this, work = std::move(work), done = std::move(done)]() mutable {
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

void TBackgroundWork::WaitForAll() {
  while (pending_ > 0) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 10);
}

}  // namespace tarvo
