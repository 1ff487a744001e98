#include "WorkQueue.h"

#include <algorithm>
#include <utility>

namespace tarvo {

TWorkQueue::TWorkQueue(TBackgroundWork::TThreads threads) : work_(threads) {}

void TWorkQueue::Add(TKind kind, TBegin begin) {
  if (kind == TKind::Beside) {
    if (std::optional<TWork> work = begin()) {
      ++beside_;
      Hand(std::move(*work), TBackgroundWork::TPriority::Waited, [this] { --beside_; });
    }
    return;
  }
  // The file chosen last is the one the user wants: the opens before it that have not begun
  // never will.
  if (kind == TKind::Open) {
    std::erase_if(waiting_, [](const TStep& step) { return step.Kind == TKind::Open; });
  }
  waiting_.push_back({kind, std::move(begin)});
  Pump();
}

void TWorkQueue::Pump() {
  // Work run on this thread comes back inside the loop below: the loop goes on from there.
  if (pumping_) {
    again_ = true;
    return;
  }
  pumping_ = true;
  try {
    do {
      again_ = false;
      while (BeginInOrder()) {
      }
      while (BeginAhead()) {
      }
    } while (again_);
  } catch (...) {
    pumping_ = false;
    throw;
  }
  pumping_ = false;
  TellWork();
}

bool TWorkQueue::BeginInOrder() {
  if (running_ != TRunning::None || waiting_.empty()) return false;
  // The engine serves one piece of work at a time.
  if (waiting_.front().Kind == TKind::Change && engineAhead_) return false;
  TStep step = std::move(waiting_.front());
  waiting_.pop_front();
  switch (step.Kind) {
    case TKind::Open:
      running_ = TRunning::Open;
      break;
    case TKind::Change:
      running_ = TRunning::Change;
      break;
    default:
      running_ = TRunning::Command;
      break;
  }
  TellWork();
  std::optional<TWork> work;
  try {
    work = step.Begin();
  } catch (...) {
    running_ = TRunning::None;
    throw;
  }
  if (!work) {
    running_ = TRunning::None;
    return true;
  }
  Hand(std::move(*work), TBackgroundWork::TPriority::Waited, [this] { running_ = TRunning::None; });
  return true;
}

bool TWorkQueue::BeginAhead() {
  if (running_ != TRunning::None || !waiting_.empty() || engineAhead_ || !ahead_) return false;
  std::optional<TWork> work = ahead_();
  if (!work) return false;
  engineAhead_ = true;
  Hand(std::move(*work), TBackgroundWork::TPriority::Ahead, [this] { engineAhead_ = false; });
  return true;
}

void TWorkQueue::Hand(TWork work, TBackgroundWork::TPriority priority,
                      std::function<void()> finished) {
  work_.Run(
      std::move(work.Run),
      [this, done = std::move(work.Done),
       finished = std::move(finished)](std::exception_ptr error) {
        finished();
        done(error);
        Pump();
      },
      priority);
}

void TWorkQueue::TellWork() {
  if (Working() == toldWorking_) return;
  toldWorking_ = Working();
  if (workNotice_) workNotice_();
}

}  // namespace tarvo
