#include "AtomicFileWriter.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstring>

#include "Messages.h"
#include "StreamError.h"

namespace tarvo {
namespace {

[[noreturn]] void Fail(const std::string& path, int error) {
  throw EStreamError(FormatMessage(kMsgCannotCreateFile, path) + ": " + std::strerror(error));
}

std::string FolderOf(const std::string& path) {
  const auto slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

// Writes all of bytes to fd; errno tells why not.
bool WriteAll(int fd, std::span<const std::uint8_t> bytes) {
  std::size_t written = 0;
  while (written < bytes.size()) {
    const ssize_t n = write(fd, bytes.data() + written, bytes.size() - written);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return false;
    if (n == 0) {
      errno = ENOSPC;
      return false;
    }
    written += static_cast<std::size_t>(n);
  }
  return true;
}

// The temporary file takes on what the output it replaces had; a new output gets what a new
// file normally gets (mkstemp makes it private).
void TakeOver(int fd, const std::string& path, const struct stat* existing) {
  if (existing == nullptr) {
    const mode_t mask = umask(0);
    umask(mask);
    if (fchmod(fd, 0666 & ~mask) != 0) Fail(path, errno);
    return;
  }
  // The owner first: changing it clears set-id bits that fchmod then puts back. Only root may
  // give a file away; anyone may keep its group when they belong to it.
  if ((existing->st_uid != geteuid() || existing->st_gid != getegid()) &&
      fchown(fd, existing->st_uid, existing->st_gid) != 0 &&
      fchown(fd, static_cast<uid_t>(-1), existing->st_gid) != 0) {
    // Neither kept, the file becomes the user's own, as any file they save anew; its mode
    // still stays.
  }
  if (fchmod(fd, existing->st_mode & 07777) != 0) Fail(path, errno);
}

}  // namespace

std::string FollowLinks(const std::string& path) {
  std::string current = path;
  // As many links as the system itself follows before it gives up with ELOOP.
  for (int hop = 0; hop < 40; ++hop) {
    struct stat info;
    if (lstat(current.c_str(), &info) != 0 || !S_ISLNK(info.st_mode)) return current;
    std::string target(PATH_MAX, '\0');
    const ssize_t length = readlink(current.c_str(), target.data(), target.size());
    if (length <= 0 || static_cast<std::size_t>(length) >= target.size()) return current;
    target.resize(static_cast<std::size_t>(length));
    current = target.front() == '/' ? target : FolderOf(current) + "/" + target;
  }
  Fail(path, ELOOP);
}

bool IsSameFile(const std::string& a, const std::string& b) {
  struct stat first, second;
  return stat(a.c_str(), &first) == 0 && stat(b.c_str(), &second) == 0 &&
         first.st_dev == second.st_dev && first.st_ino == second.st_ino;
}

TAtomicFileWriter::~TAtomicFileWriter() { RemoveTemporaries(); }

void TAtomicFileWriter::Add(const std::string& path, std::span<const std::uint8_t> bytes) {
  TOutput output;
  output.path = path;
  output.target = FollowLinks(path);
  struct stat existing;
  const bool exists = stat(output.target.c_str(), &existing) == 0;
  if (!exists && errno != ENOENT) Fail(path, errno);
  if (exists && S_ISDIR(existing.st_mode)) Fail(path, EISDIR);
  if (exists && !S_ISREG(existing.st_mode)) {
    // A device or a FIFO is the user's way to send the bytes somewhere; renaming a file over
    // it would destroy it.
    if (!S_ISCHR(existing.st_mode) && !S_ISBLK(existing.st_mode) && !S_ISFIFO(existing.st_mode)) {
      Fail(path, ENXIO);
    }
    if (faccessat(AT_FDCWD, output.target.c_str(), W_OK, AT_EACCESS) != 0) Fail(path, errno);
    output.directBytes.assign(bytes.begin(), bytes.end());
    outputs_.push_back(std::move(output));
    return;
  }
  // Refused as cp refuses it: the user may not write the file, even where the folder would let
  // a rename replace it.
  if (exists && faccessat(AT_FDCWD, output.target.c_str(), W_OK, AT_EACCESS) != 0) {
    Fail(path, errno);
  }
  const auto slash = output.target.rfind('/');
  const std::string name =
      slash == std::string::npos ? output.target : output.target.substr(slash + 1);
  std::string temporary = FolderOf(output.target) + "/." + name + ".XXXXXX";
  const int fd = mkstemp(temporary.data());
  if (fd < 0) Fail(path, errno);
  outputs_.push_back({path, output.target, temporary, {}});
  try {
    TakeOver(fd, path, exists ? &existing : nullptr);
    if (!WriteAll(fd, bytes) || (options_.SyncToDisk && fsync(fd) != 0)) Fail(path, errno);
  } catch (...) {
    close(fd);
    throw;
  }
  if (close(fd) != 0) Fail(path, errno);
}

void TAtomicFileWriter::Commit() {
  for (const TOutput& output : outputs_) {
    if (!output.temporary.empty()) continue;
    const int wait = options_.WaitForReader ? 0 : O_NONBLOCK;
    const int fd = open(output.target.c_str(), O_WRONLY | O_CLOEXEC | O_NOCTTY | wait);
    if (fd < 0) Fail(output.path, errno);
    // Once a reader is there, the bytes are written as to any file, waiting while it reads.
    if (wait != 0 && fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK) != 0) {
      const int error = errno;
      close(fd);
      Fail(output.path, error);
    }
    const bool written = WriteAll(fd, output.directBytes);
    const int error = errno;
    if (close(fd) != 0 && written) Fail(output.path, errno);
    if (!written) Fail(output.path, error);
  }
  for (TOutput& output : outputs_) {
    if (output.temporary.empty()) continue;
    if (std::rename(output.temporary.c_str(), output.target.c_str()) != 0) {
      Fail(output.path, errno);
    }
    output.temporary.clear();
  }
  outputs_.clear();
}

void TAtomicFileWriter::RemoveTemporaries() {
  for (const TOutput& output : outputs_) {
    if (!output.temporary.empty()) unlink(output.temporary.c_str());
  }
  outputs_.clear();
}

}  // namespace tarvo
