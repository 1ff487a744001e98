#include "TemporaryFiles.h"

#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <thread>
#include <vector>

namespace tarvo {
namespace {

std::recursive_mutex& Guard() {
  static std::recursive_mutex guard;
  return guard;
}

std::vector<std::string>& Listed() {
  static std::vector<std::string> listed;
  return listed;
}

}  // namespace

std::unique_lock<std::recursive_mutex> TTemporaryFiles::Lock() { return std::unique_lock(Guard()); }

void TTemporaryFiles::Add(const std::string& path) { Listed().push_back(path); }

void TTemporaryFiles::Forget(const std::string& path) {
  auto& listed = Listed();
  if (const auto found = std::find(listed.begin(), listed.end(), path); found != listed.end()) {
    listed.erase(found);
  }
}

void RemoveTemporariesOnSignals() {
  sigset_t taken;
  sigemptyset(&taken);
  for (const int signal : {SIGTERM, SIGINT, SIGHUP}) {
    struct sigaction current {};
    if (sigaction(signal, nullptr, &current) == 0 && current.sa_handler != SIG_IGN) {
      sigaddset(&taken, signal);
    }
  }
  if (pthread_sigmask(SIG_BLOCK, &taken, nullptr) != 0) return;
  // A thread that waits for the signals may do what a handler may not: take the lock and
  // walk the list.
  std::thread([taken] {
    int signal = 0;
    while (sigwait(&taken, &signal) != 0) {
    }
    const auto lock = TTemporaryFiles::Lock();
    for (const std::string& path : Listed()) unlink(path.c_str());
    _exit(128 + signal);
  }).detach();
}

}  // namespace tarvo
