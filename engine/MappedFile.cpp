#include "MappedFile.h"

#include <algorithm>
#include <cerrno>

#if defined(__linux__)
#include <fcntl.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cstdint>
#include <mutex>
#endif

namespace tarvo {

#if defined(__linux__)
namespace {

// What the SIGBUS handler knows of the mappings alive: plain atomics in a fixed array, which a
// handler may read whatever the interrupted thread was doing.
enum ESlotState : int { kFree, kTaken, kLive };
struct TLiveMapping {
  std::atomic<int> State{kFree};
  std::atomic<std::uintptr_t> Begin{0};
  std::atomic<std::size_t> Size{0};
  std::atomic<bool> Faulted{false};
};
static_assert(std::atomic<std::uintptr_t>::is_always_lock_free &&
              std::atomic<std::size_t>::is_always_lock_free &&
              std::atomic<int>::is_always_lock_free && std::atomic<bool>::is_always_lock_free);

// A program maps one or two files at a time; past that, files are read instead.
constexpr int kSlots = 16;
TLiveMapping gLive[kSlots];
struct sigaction gPrevious {};
std::uintptr_t gPageSize = 4096;

void PassOn(int signal, siginfo_t* info, void* context) {
  if ((gPrevious.sa_flags & SA_SIGINFO) != 0) {
    gPrevious.sa_sigaction(signal, info, context);
    return;
  }
  if (gPrevious.sa_handler != SIG_DFL && gPrevious.sa_handler != SIG_IGN) {
    gPrevious.sa_handler(signal);
    return;
  }
  // A signal another process sent is ignored if it was. A fault would only happen again on
  // return, so it takes the default action, as it would have without this handler: the signal
  // raised here is delivered, and ends the process, as soon as the handler returns.
  if (gPrevious.sa_handler == SIG_IGN && info->si_code <= 0) return;
  struct sigaction fallback {};
  fallback.sa_handler = SIG_DFL;
  sigemptyset(&fallback.sa_mask);
  sigaction(signal, &fallback, nullptr);
  raise(signal);
}

void OnBusError(int signal, siginfo_t* info, void* context) {
  const int savedErrno = errno;
  const auto address = reinterpret_cast<std::uintptr_t>(info->si_addr);
  for (TLiveMapping& live : gLive) {
    if (live.State.load(std::memory_order_acquire) != kLive) continue;
    const std::uintptr_t begin = live.Begin.load(std::memory_order_relaxed);
    const std::size_t size = live.Size.load(std::memory_order_relaxed);
    if (address - begin >= size) continue;
    // The file now ends before the faulting page, so every page from there on would fault too.
    const std::uintptr_t page = address / gPageSize * gPageSize;
    if (mmap(reinterpret_cast<void*>(page), begin + size - page, PROT_READ,
             MAP_PRIVATE | MAP_ANONYMOUS | MAP_FIXED, -1, 0) != MAP_FAILED) {
      live.Faulted.store(true, std::memory_order_relaxed);
      errno = savedErrno;
      return;
    }
    break;
  }
  errno = savedErrno;
  PassOn(signal, info, context);
}

bool HandlerInstalled() {
  static std::once_flag once;
  static bool installed = false;
  std::call_once(once, [] {
    const long pageSize = sysconf(_SC_PAGESIZE);
    if (pageSize > 0) gPageSize = static_cast<std::uintptr_t>(pageSize);
    struct sigaction action {};
    action.sa_sigaction = &OnBusError;
    action.sa_flags = SA_SIGINFO | SA_RESTART | SA_ONSTACK;
    sigemptyset(&action.sa_mask);
    // The handler to pass other faults on to is known before ours can be called.
    installed =
        sigaction(SIGBUS, nullptr, &gPrevious) == 0 && sigaction(SIGBUS, &action, nullptr) == 0;
  });
  return installed;
}

int TakeSlot() {
  for (int slot = 0; slot < kSlots; ++slot) {
    int expected = kFree;
    if (gLive[slot].State.compare_exchange_strong(expected, kTaken)) return slot;
  }
  return -1;
}

}  // namespace
#endif

TMappedFile::TMappedFile(const std::string& path, std::span<const std::uint8_t> expectedStart) {
#if defined(__linux__)
  RequireRegularFile(path);
  // Without blocking: a FIFO put in the file's place since the check opens at once, and is
  // refused.
  fd_ = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
  if (fd_ < 0) throw CannotOpenFile(path, errno);
  struct stat info {};
  if (const bool known = fstat(fd_, &info) == 0; !known || !S_ISREG(info.st_mode)) {
    const int reason = known ? 0 : errno;
    close(fd_);
    throw CannotOpenFile(path, reason);
  }
  size_ = info.st_size;
  modifiedSeconds_ = info.st_mtim.tv_sec;
  modifiedNanoseconds_ = info.st_mtim.tv_nsec;
  const auto size = static_cast<std::size_t>(size_);
  if (size > 0 && HandlerInstalled() && (slot_ = TakeSlot()) >= 0) {
    // Populated at once: the pages are in the page cache, and one call maps them all instead of
    // a fault for each.
    void* mapping = mmap(nullptr, size, PROT_READ, MAP_PRIVATE | MAP_POPULATE, fd_, 0);
    if (mapping == MAP_FAILED) {
      gLive[slot_].State.store(kFree);
      slot_ = -1;
    } else {
      mapping_ = mapping;
      mappingSize_ = (size + gPageSize - 1) / gPageSize * gPageSize;
      TLiveMapping& live = gLive[slot_];
      live.Begin.store(reinterpret_cast<std::uintptr_t>(mapping), std::memory_order_relaxed);
      live.Size.store(mappingSize_, std::memory_order_relaxed);
      live.Faulted.store(false, std::memory_order_relaxed);
      live.State.store(kLive, std::memory_order_release);
      bytes_ = {static_cast<const std::uint8_t*>(mapping), size};
    }
  }
  if (size > 0 && mapping_ == nullptr) {
    close(fd_);
    fd_ = -1;
  }
#endif
  if (mapping_ == nullptr) {
    if (fd_ < 0) {
      readInstead_.LoadFromFile(path, expectedStart);
      bytes_ = readInstead_.Bytes();
    }
    return;
  }
  // Refused from its first bytes by its reader, as a file read into memory is.
  if (!std::equal(expectedStart.begin(), expectedStart.end(), bytes_.begin(),
                  bytes_.begin() +
                      static_cast<std::ptrdiff_t>(std::min(bytes_.size(), expectedStart.size())))) {
    bytes_ = bytes_.first(std::min(bytes_.size(), expectedStart.size()));
  }
}

TMappedFile::~TMappedFile() {
#if defined(__linux__)
  if (slot_ >= 0) {
    // Off the handler's list first, so that it never puts zeros where something else is mapped
    // next.
    gLive[slot_].State.store(kFree, std::memory_order_release);
    munmap(mapping_, mappingSize_);
  }
  if (fd_ >= 0) close(fd_);
#endif
}

bool TMappedFile::Changed() const {
#if defined(__linux__)
  if (slot_ >= 0 && gLive[slot_].Faulted.load(std::memory_order_relaxed)) return true;
  if (fd_ < 0) return false;
  struct stat now {};
  return fstat(fd_, &now) != 0 || now.st_size != size_ || now.st_mtim.tv_sec != modifiedSeconds_ ||
         now.st_mtim.tv_nsec != modifiedNanoseconds_;
#else
  return false;
#endif
}

}  // namespace tarvo
