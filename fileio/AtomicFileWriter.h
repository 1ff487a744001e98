// Writes a set of files all or none, without ever leaving a half-written file: the one writer of
// the window's save and of tarvo-trim's outputs.
#pragma once

#include <cstdint>
#include <cstdio>
#include <span>
#include <string>
#include <vector>

namespace tarvo {

// A file's bytes as pieces held in several places, in the order they are written.
using TPieces = std::span<const std::span<const std::uint8_t>>;

// Each output goes to a temporary file beside it; only when every output of the set has been
// written whole are they renamed into place. An existing output keeps its mode and owner, a
// symbolic link is followed to the file it names, and an existing device or FIFO is written
// into (after the temporary files are ready, before any is renamed), never replaced by a file.
// An existing file in a folder that lets only its owner replace it (a sticky folder such as
// /tmp) is written into as well, as cp does. Replaced outputs stay reachable by a hard link
// beside them until every rename has succeeded; when one fails, the outputs renamed or written
// before it are put back. Failures raise EStreamError with a text that names the file and the
// system's reason. Temporary files are listed with TTemporaryFiles while they exist.
class TAtomicFileWriter {
 public:
  struct TOptions {
    // Each temporary file reaches the disk before its rename, and the renames before Commit
    // returns, so that a crash right after the save finds either the old file or the new one.
    bool SyncToDisk = false;
    // A FIFO nothing reads yet is waited on, as a command-line program does; otherwise it is
    // refused at once, so that a window never blocks.
    bool WaitForReader = false;
    // Renames a temporary file over its output; tests put one in its place that fails.
    int (*Rename)(const char* from, const char* to) = &std::rename;
  };

  explicit TAtomicFileWriter(TOptions options) : options_(options) {}
  TAtomicFileWriter(const TAtomicFileWriter&) = delete;
  TAtomicFileWriter& operator=(const TAtomicFileWriter&) = delete;
  // Whatever was added but not committed is removed again.
  ~TAtomicFileWriter();

  // Checks that path may be written and writes bytes to its temporary file. Nothing at path
  // changes before Commit.
  void Add(const std::string& path, std::span<const std::uint8_t> bytes);
  // The same for bytes given as pieces, written one after the other with one gathering write.
  void Add(const std::string& path, TPieces bytes);
  // Writes the devices and FIFOs, then the files written into, then renames every temporary
  // file over its output.
  void Commit();

 private:
  struct TOutput {
    std::string path;       // as the caller named it, for messages
    std::string target;     // the output, symbolic links followed
    std::string temporary;  // empty for an output written into, which gets the bytes directly
    std::vector<std::uint8_t> directBytes;
    bool regular = false;  // an existing file written into rather than replaced
    bool existed = false;
    std::string backup;                  // a link to the replaced file until every rename is done
    std::vector<std::uint8_t> oldBytes;  // what a file written into held before
    bool oldRead = false;
    bool done = false;  // renamed or written
  };
  void WriteDevices();
  void KeepOldOutputs();
  void PutBack();
  void SyncFolders() const;
  void RemoveTemporaries();

  TOptions options_;
  std::vector<TOutput> outputs_;
};

// The path a write to path lands on: symbolic links followed, also to a file that does not
// exist yet.
std::string FollowLinks(const std::string& path);

// Whether both paths name one existing file (links and other names of it included).
bool IsSameFile(const std::string& a, const std::string& b);

}  // namespace tarvo
