// The queue of one document's work, and the one place that decides what runs next.
#pragma once

#include <deque>
#include <exception>
#include <functional>
#include <optional>

#include "BackgroundWork.h"

namespace tarvo {

// A step's work: Run on another thread (see TBackgroundWork) with nothing but what it owns or
// shares, then Done on the queue's thread with what Run raised, if anything.
struct TWork {
  std::function<void()> Run;
  std::function<void(std::exception_ptr)> Done;
};

// Every piece of work on a document is a step of this queue, and the rules of what runs next are
// here alone:
// - Steps the user asked for run one at a time, in the order asked: each begins once the one
//   before it is done. A later open drops the opens still waiting.
// - A step that uses the document's engine waits for the piece done ahead that uses it.
// - Work done ahead (the next rows of the coefficients) runs only while no step waits, one piece
//   at a time, at the lower priority; each piece is asked of the document when its turn comes.
// - Work beside (a picture to show, the clipboard's PNG) reads only bytes that never change and
//   starts at once.
// A step begins on the queue's thread, where it reads the document as it then stands, and says
// what, if anything, runs on another thread: so adding a kind of step is a Begin and its work.
class TWorkQueue {
 public:
  enum class TKind {
    Open,     // in order, on an engine of its own
    Change,   // in order, on the document's engine: a trim, turn, undo or redo
    Command,  // in order, on this thread alone: a window's command given while work runs
    Beside,
  };
  // Begins a step: does what is done on this thread and hands back the work for another, or
  // nothing when the step is over already.
  using TBegin = std::function<std::optional<TWork>()>;

  explicit TWorkQueue(TBackgroundWork::TThreads threads);

  void Add(TKind kind, TBegin begin);
  // What the document would do ahead when nothing waits, or nothing; the work uses the engine.
  void SetAhead(std::function<std::optional<TWork>()> ahead) { ahead_ = std::move(ahead); }
  // Told on this thread when Working changes.
  void SetWorkNotice(std::function<void()> notice) { workNotice_ = std::move(notice); }
  // Begins what may run now. Done of work done ahead calls it before telling what the work found,
  // so that the engine is not left idle meanwhile.
  void Pump();

  // From a step's work, on its thread: call runs on this thread before the step is done (see
  // TBackgroundWork::Post).
  void Post(std::function<void()> call) { work_.Post(std::move(call)); }

  // A step other than a command runs, or any step waits.
  bool Working() const {
    return running_ == TRunning::Open || running_ == TRunning::Change || !waiting_.empty();
  }
  // A change runs.
  bool Changing() const { return running_ == TRunning::Change; }
  // Work beside runs.
  bool BesideRunning() const { return beside_ != 0; }
  // Runs everything given and its outcomes on this thread, turning the event loop (tests,
  // benchmarks).
  void WaitForAll() { work_.WaitForAll(); }

 private:
  enum class TRunning { None, Open, Change, Command };
  struct TStep {
    TKind Kind;
    TBegin Begin;
  };
  // Begins the first waiting step, when it may; false when none began.
  bool BeginInOrder();
  bool BeginAhead();
  void Hand(TWork work, TBackgroundWork::TPriority priority, std::function<void()> finished);
  // Tells the work notice when Working has changed since it was last told.
  void TellWork();

  std::deque<TStep> waiting_;
  TRunning running_ = TRunning::None;
  bool engineAhead_ = false;
  int beside_ = 0;
  bool pumping_ = false;
  bool again_ = false;
  bool toldWorking_ = false;
  std::function<std::optional<TWork>()> ahead_;
  std::function<void()> workNotice_;
  // Last: let go first, it waits for the work that still uses the members above.
  TBackgroundWork work_;
};

}  // namespace tarvo
