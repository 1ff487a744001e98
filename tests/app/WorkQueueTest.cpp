// What runs next of a document's work, with the work held until the test lets it run.
#include "WorkQueue.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

namespace tarvo {
namespace {

using TKind = TWorkQueue::TKind;

// A queue whose steps log when they begin and end; a command runs as it begins.
class TLoggedQueue {
 public:
  TLoggedQueue() {
    queue.SetAhead([this]() -> std::optional<TWork> {
      if (piecesAhead == 0) return std::nullopt;
      --piecesAhead;
      return Work("ahead");
    });
  }

  void Add(TKind kind, const std::string& name) {
    queue.Add(kind, [this, kind, name]() -> std::optional<TWork> {
      if (kind != TKind::Command) return Work(name);
      log.push_back("run " + name);
      return std::nullopt;
    });
  }

  TWorkQueue queue{TBackgroundWork::TThreads::Held};
  std::vector<std::string> log;
  int piecesAhead = 0;

 private:
  TWork Work(const std::string& name) {
    log.push_back("begin " + name);
    return {[] {}, [this, name](std::exception_ptr) { log.push_back("end " + name); }};
  }
};

TEST(WorkQueue, DecidesWhatRunsNext) {
  const struct {
    const char* name;
    std::function<void(TLoggedQueue&)> give;
    std::vector<std::string> before;  // logged before any work has run
    std::vector<std::string> after;   // and once all has
  } cases[] = {
      {"steps asked for run one at a time, in the order asked",
       [](TLoggedQueue& q) {
         q.Add(TKind::Change, "trim");
         q.Add(TKind::Command, "save");
         q.Add(TKind::Change, "undo");
       },
       {"begin trim"},
       {"begin trim", "end trim", "run save", "begin undo", "end undo"}},
      {"a later open drops the opens that have not begun",
       [](TLoggedQueue& q) {
         q.Add(TKind::Open, "a");
         q.Add(TKind::Open, "b");
         q.Add(TKind::Command, "key");
         q.Add(TKind::Open, "c");
       },
       {"begin a"},
       {"begin a", "end a", "run key", "begin c", "end c"}},
      {"work ahead waits for steps, and a change for the piece ahead under way",
       [](TLoggedQueue& q) {
         q.piecesAhead = 2;
         q.queue.Pump();
         q.Add(TKind::Change, "trim");
         q.Add(TKind::Command, "select");
       },
       {"begin ahead"},
       {"begin ahead", "end ahead", "begin trim", "end trim", "run select", "begin ahead",
        "end ahead"}},
      {"a command runs at once when nothing waits, and work beside starts at once",
       [](TLoggedQueue& q) {
         q.Add(TKind::Command, "key");
         q.Add(TKind::Open, "a");
         q.Add(TKind::Beside, "picture");
       },
       {"run key", "begin a", "begin picture"},
       {"run key", "begin a", "begin picture", "end a", "end picture"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TLoggedQueue q;
    c.give(q);
    EXPECT_EQ(q.log, c.before);
    EXPECT_TRUE(q.queue.Working());
    q.queue.WaitForAll();
    EXPECT_EQ(q.log, c.after);
    EXPECT_FALSE(q.queue.Working());
  }
}

}  // namespace
}  // namespace tarvo
