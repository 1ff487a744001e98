// Writes a set of files all or none, without ever leaving a half-written file: the one writer of
// the window's save and of tarvo-trim's outputs.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace tarvo {

// Each output goes to a temporary file beside it; only when every output of the set has been
// written whole are they renamed into place. An existing output keeps its mode and owner, a
// symbolic link is followed to the file it names, and an existing device or FIFO is written
// into (after the temporary files are ready, before any is renamed), never replaced by a file.
// Failures raise EStreamError with a text that names the file and the system's reason.
class TAtomicFileWriter {
 public:
  struct TOptions {
    // Each temporary file reaches the disk before its rename, so that a crash right after the
    // save finds either the old file or the new one.
    bool SyncToDisk = false;
    // A FIFO nothing reads yet is waited on, as a command-line program does; otherwise it is
    // refused at once, so that a window never blocks.
    bool WaitForReader = false;
  };

  explicit TAtomicFileWriter(TOptions options) : options_(options) {}
  TAtomicFileWriter(const TAtomicFileWriter&) = delete;
  TAtomicFileWriter& operator=(const TAtomicFileWriter&) = delete;
  // Whatever was added but not committed is removed again.
  ~TAtomicFileWriter();

  // Checks that path may be written and writes bytes to its temporary file. Nothing at path
  // changes before Commit.
  void Add(const std::string& path, std::span<const std::uint8_t> bytes);
  // Writes the devices and FIFOs, then renames every temporary file over its output.
  void Commit();

 private:
  struct TOutput {
    std::string path;       // as the caller named it, for messages
    std::string target;     // the output, symbolic links followed
    std::string temporary;  // empty for a device or FIFO, which gets the bytes directly
    std::vector<std::uint8_t> directBytes;
  };
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
