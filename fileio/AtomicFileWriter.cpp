#include "AtomicFileWriter.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>
#include <set>

#include "Messages.h"
#include "StreamError.h"
#include "TemporaryFiles.h"

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

[[noreturn]] void FailInFolder(const std::string& path, const std::string& target, int error) {
  throw EStreamError(FormatMessage(FormatMessage(kMsgCannotWriteFolder, FolderOf(target)), path) +
                     ": " + std::strerror(error));
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

// How much a write hands to the disk at a time when it is to be synced.
constexpr std::size_t kWritebackChunk = std::size_t{1} << 20;

// Writes the pieces to fd one after the other, as few calls as the system allows; errno tells
// why not. With startWriteback, each chunk written is sent on to the disk at once
// (sync_file_range), so that the fsync that follows waits only for the last chunk to land rather
// than for the whole file to start.
bool WriteAll(int fd, TPieces pieces, bool startWriteback) {
  std::vector<iovec> left;
  for (const std::span<const std::uint8_t> piece : pieces) {
    if (!piece.empty()) {
      left.push_back({const_cast<std::uint8_t*>(piece.data()), piece.size()});
    }
  }
  const std::size_t chunk = startWriteback ? kWritebackChunk : SIZE_MAX;
  std::size_t first = 0;
  off_t written = 0;
  off_t sent = 0;  // what sync_file_range has been asked to write
  while (first < left.size()) {
    // This call's share: whole pieces up to the chunk, the last of them cut to fit.
    int count = 0;
    std::size_t share = 0;
    while (first + count < left.size() && count < IOV_MAX && share < chunk) {
      share += left[first + count++].iov_len;
    }
    const std::size_t over = share > chunk ? share - chunk : 0;
    left[first + count - 1].iov_len -= over;
    const ssize_t n = writev(fd, left.data() + first, count);
    left[first + count - 1].iov_len += over;
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return false;
    if (n == 0) {
      errno = ENOSPC;
      return false;
    }
    // A short write ends inside a piece: the rest of it goes first next time.
    auto done = static_cast<std::size_t>(n);
    while (first < left.size() && done >= left[first].iov_len) done -= left[first++].iov_len;
    if (done > 0) {
      left[first].iov_base = static_cast<std::uint8_t*>(left[first].iov_base) + done;
      left[first].iov_len -= done;
    }
    written += n;
    // Only a start: a failure shows in the fsync, which waits for every byte anyway.
    if (startWriteback && static_cast<std::size_t>(written - sent) >= chunk) {
      sync_file_range(fd, sent, written - sent, SYNC_FILE_RANGE_WRITE);
      sent = written;
    }
  }
  return true;
}

std::vector<std::uint8_t> Joined(TPieces pieces) {
  std::vector<std::uint8_t> bytes;
  for (const std::span<const std::uint8_t> piece : pieces) {
    bytes.insert(bytes.end(), piece.begin(), piece.end());
  }
  return bytes;
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

// The longest name a folder entry may have on the file systems a photo lives on.
constexpr std::size_t kNameMax = 255;

// A hidden name beside target for mkstemp: "." + its name + ".XXXXXX". A name that leaves no
// room for those eight bytes is shortened, at a character boundary, so that any output that
// can exist can be written.
std::string TemporaryPattern(const std::string& target) {
  const auto slash = target.rfind('/');
  std::string name = slash == std::string::npos ? target : target.substr(slash + 1);
  constexpr std::size_t kAdded = 8;
  if (name.size() > kNameMax - kAdded) {
    std::size_t keep = kNameMax - kAdded;
    // UTF-8 continuation bytes are 10xxxxxx: the cut goes before the character they are part of.
    while (keep > 0 && (static_cast<unsigned char>(name[keep]) & 0xC0) == 0x80) --keep;
    name.resize(keep);
  }
  return FolderOf(target) + "/." + name + ".XXXXXX";
}

void Discard(const std::string& temporary) {
  const auto lock = TTemporaryFiles::Lock();
  unlink(temporary.c_str());
  TTemporaryFiles::Forget(temporary);
}

// A temporary file beside target that holds bytes and takes over what existing has; its name.
std::string MakeTemporary(const std::string& path, const std::string& target, TPieces bytes,
                          const struct stat* existing, bool sync) {
  std::string temporary = TemporaryPattern(target);
  int fd = -1;
  {
    const auto lock = TTemporaryFiles::Lock();
    fd = mkstemp(temporary.data());
    if (fd < 0 && (errno == EACCES || errno == EROFS)) FailInFolder(path, target, errno);
    if (fd < 0) Fail(path, errno);
    TTemporaryFiles::Add(temporary);
  }
  try {
    TakeOver(fd, path, existing);
    if (!WriteAll(fd, bytes, sync) || (sync && fsync(fd) != 0)) Fail(path, errno);
  } catch (...) {
    close(fd);
    Discard(temporary);
    throw;
  }
  if (close(fd) != 0) {
    const int error = errno;
    Discard(temporary);
    Fail(path, error);
  }
  return temporary;
}

// A rename over a file in a sticky folder is allowed only to the owner of the file or of the
// folder, and to root.
bool MayReplace(const std::string& target, const struct stat& existing) {
  struct stat folder;
  if (stat(FolderOf(target).c_str(), &folder) != 0 || (folder.st_mode & S_ISVTX) == 0) {
    return true;
  }
  const uid_t user = geteuid();
  return user == 0 || existing.st_uid == user || folder.st_uid == user;
}

bool ReadAll(const std::string& path, std::vector<std::uint8_t>& bytes) {
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY);
  if (fd < 0) return false;
  std::uint8_t buffer[65536];
  bytes.clear();
  ssize_t n = 0;
  while ((n = read(fd, buffer, sizeof buffer)) != 0) {
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) break;
    bytes.insert(bytes.end(), buffer, buffer + n);
  }
  close(fd);
  return n == 0;
}

// Replaces what the existing file at path holds by bytes; errno tells why not.
bool WriteInto(const std::string& path, std::span<const std::uint8_t> bytes) {
  const int fd = open(path.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC | O_NOCTTY);
  if (fd < 0) return false;
  const bool written = WriteAll(fd, bytes);
  const int error = errno;
  if (close(fd) != 0 && written) return false;
  errno = error;
  return written;
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
  Add(path, TPieces(&bytes, 1));
}

void TAtomicFileWriter::Add(const std::string& path, TPieces bytes) {
  TOutput output;
  output.path = path;
  output.target = FollowLinks(path);
  struct stat existing;
  const bool exists = stat(output.target.c_str(), &existing) == 0;
  if (!exists && errno != ENOENT) Fail(path, errno);
  if (exists && S_ISDIR(existing.st_mode)) Fail(path, EISDIR);
  output.existed = exists;
  if (exists && !S_ISREG(existing.st_mode)) {
    // A device or a FIFO is the user's way to send the bytes somewhere; renaming a file over
    // it would destroy it.
    if (!S_ISCHR(existing.st_mode) && !S_ISBLK(existing.st_mode) && !S_ISFIFO(existing.st_mode)) {
      Fail(path, ENXIO);
    }
    if (faccessat(AT_FDCWD, output.target.c_str(), W_OK, AT_EACCESS) != 0) Fail(path, errno);
    output.directBytes = Joined(bytes);
    outputs_.push_back(std::move(output));
    return;
  }
  // Refused as cp refuses it: the user may not write the file, even where the folder would let
  // a rename replace it.
  if (exists && faccessat(AT_FDCWD, output.target.c_str(), W_OK, AT_EACCESS) != 0) {
    Fail(path, errno);
  }
  if (exists && !MayReplace(output.target, existing)) {
    output.regular = true;
    output.directBytes = Joined(bytes);
    outputs_.push_back(std::move(output));
    return;
  }
  output.temporary =
      MakeTemporary(path, output.target, bytes, exists ? &existing : nullptr, options_.SyncToDisk);
  outputs_.push_back(std::move(output));
}

void TAtomicFileWriter::WriteDevices() {
  for (const TOutput& output : outputs_) {
    if (!output.temporary.empty() || output.regular) continue;
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
}

void TAtomicFileWriter::KeepOldOutputs() {
  for (TOutput& output : outputs_) {
    if (output.temporary.empty() || !output.existed) continue;
    // mkstemp finds a name no file has; the link takes it.
    std::string backup = TemporaryPattern(output.target);
    const int fd = mkstemp(backup.data());
    if (fd < 0) Fail(output.path, errno);
    close(fd);
    unlink(backup.c_str());
    if (link(output.target.c_str(), backup.c_str()) == 0) {
      TTemporaryFiles::Add(backup);
      output.backup = backup;
      continue;
    }
    // A file system without hard links keeps a copy instead; a file that cannot be read is
    // replaced without one, as before.
    struct stat existing;
    std::vector<std::uint8_t> bytes;
    if (stat(output.target.c_str(), &existing) == 0 && ReadAll(output.target, bytes)) {
      const std::span<const std::uint8_t> old = bytes;
      output.backup = MakeTemporary(output.path, output.target, TPieces(&old, 1), &existing, false);
    }
  }
}

void TAtomicFileWriter::Commit() {
  WriteDevices();
  // A signal now waits until the outputs are all new or all old again.
  const auto lock = TTemporaryFiles::Lock();
  try {
    KeepOldOutputs();
    for (TOutput& output : outputs_) {
      if (!output.regular) continue;
      output.oldRead = ReadAll(output.target, output.oldBytes);
      // Marked first: a file left half written is put back too.
      output.done = true;
      if (!WriteInto(output.target, output.directBytes)) Fail(output.path, errno);
    }
    for (TOutput& output : outputs_) {
      if (output.temporary.empty()) continue;
      if (options_.Rename(output.temporary.c_str(), output.target.c_str()) != 0) {
        Fail(output.path, errno);
      }
      TTemporaryFiles::Forget(output.temporary);
      output.temporary.clear();
      output.done = true;
    }
    if (options_.SyncToDisk) SyncFolders();
  } catch (...) {
    PutBack();
    throw;
  }
  RemoveTemporaries();
}

void TAtomicFileWriter::SyncFolders() const {
  std::set<std::string> folders;
  for (const TOutput& output : outputs_) {
    if (!output.regular && output.directBytes.empty()) folders.insert(FolderOf(output.target));
  }
  for (const std::string& folder : folders) {
    const int fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) continue;
    // Some file systems cannot sync a folder (EINVAL): their renames are as durable as they get.
    const bool synced = fsync(fd) == 0 || errno == EINVAL;
    const int error = errno;
    close(fd);
    if (!synced) Fail(folder, error);
  }
}

void TAtomicFileWriter::PutBack() {
  for (auto output = outputs_.rbegin(); output != outputs_.rend(); ++output) {
    if (!output->done) continue;
    if (output->regular) {
      if (output->oldRead) WriteInto(output->target, output->oldBytes);
    } else if (!output->backup.empty()) {
      if (std::rename(output->backup.c_str(), output->target.c_str()) == 0) {
        TTemporaryFiles::Forget(output->backup);
        output->backup.clear();
      }
    } else if (!output->existed) {
      unlink(output->target.c_str());
    }
    output->done = false;
  }
}

void TAtomicFileWriter::RemoveTemporaries() {
  const auto lock = TTemporaryFiles::Lock();
  for (const TOutput& output : outputs_) {
    for (const std::string* file : {&output.temporary, &output.backup}) {
      if (file->empty()) continue;
      unlink(file->c_str());
      TTemporaryFiles::Forget(*file);
    }
  }
  outputs_.clear();
}

}  // namespace tarvo
