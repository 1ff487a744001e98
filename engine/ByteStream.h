// Seekable in-memory byte stream: the engine's source copy and the window's document bytes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "LargeBuffer.h"
#include "StreamError.h"

namespace tarvo {

// The bytes a stream holds, which it can hand over and take back without a copy.
using TStreamBytes = std::vector<std::uint8_t, TLargeBufferAllocator<std::uint8_t>>;

// A stream either owns its bytes or borrows a view of bytes it does not own (Borrow): reads take
// the view, and anything that writes first takes a copy, so that no caller writes into memory
// that is not the stream's, such as a file mapped read-only.
class TByteStream {
 public:
  // Reads exactly count bytes at the position; throws EStreamError when fewer are left.
  void Read(void* destination, std::size_t count);
  std::uint8_t ReadByte();
  // Writes at the position, growing the stream as needed.
  void Write(const void* source, std::size_t count);
  void WriteByte(std::uint8_t value);

  std::int64_t Position() const { return static_cast<std::int64_t>(position_); }
  // A position past the end is allowed (as for a file); the next read there fails.
  void SetPosition(std::int64_t position);
  std::int64_t Size() const { return static_cast<std::int64_t>(Bytes().size()); }
  void Clear();
  // Grows or shrinks to size bytes without touching the position; new bytes are zero.
  void Resize(std::size_t size);
  void Reserve(std::size_t size) {
    Own();
    bytes_.reserve(size);
  }

  // Replaces the contents with the file's bytes and rewinds; throws "ファイル %s は開けません",
  // also for anything but a regular file. Of a file that does not begin with expectedStart,
  // only the first expectedStart.size() bytes are loaded.
  void LoadFromFile(const std::string& path, std::span<const std::uint8_t> expectedStart = {});
  // Writes the whole contents to path; throws "ファイル %s を作成できません".
  void SaveToFile(const std::string& path) const;
  // Replaces the contents with a copy of other's and rewinds.
  void CopyFrom(const TByteStream& other);
  void Assign(std::span<const std::uint8_t> bytes);

  // Makes bytes the contents without copying them and rewinds; they must outlive the stream's
  // use of them, or its next write, clear or assignment.
  void Borrow(std::span<const std::uint8_t> bytes);

  std::span<const std::uint8_t> Bytes() const { return borrowing_ ? borrowed_ : bytes_; }
  std::span<std::uint8_t> MutableBytes() {
    Own();
    return bytes_;
  }
  // Hands the contents over, leaving the stream empty.
  TStreamBytes TakeBytes() {
    Own();
    position_ = 0;
    return std::exchange(bytes_, {});
  }
  // Takes bytes over as the contents and rewinds.
  void Adopt(TStreamBytes bytes) {
    bytes_ = std::move(bytes);
    borrowing_ = false;
    position_ = 0;
  }

 private:
  // Copies borrowed contents into bytes_, for a write.
  void Own();

  TStreamBytes bytes_;
  std::span<const std::uint8_t> borrowed_;
  bool borrowing_ = false;
  std::size_t position_ = 0;
};

// "ファイル %s は開けません" for path, followed by the system's reason where there is one.
EStreamError CannotOpenFile(const std::string& path, int reason);
// Throws CannotOpenFile unless path names a regular file: opening a FIFO waits for a writer, a
// device never ends, and a folder opens as a stream on some systems with a nonsense size. The
// message names the system's reason where there is one (no such file, permission denied, a
// folder); a FIFO or a device is refused for being neither.
void RequireRegularFile(const std::string& path);

}  // namespace tarvo
