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
  std::int64_t Size() const { return static_cast<std::int64_t>(bytes_.size()); }
  void Clear();
  // Grows or shrinks to size bytes without touching the position; new bytes are zero.
  void Resize(std::size_t size);
  void Reserve(std::size_t size) { bytes_.reserve(size); }

  // Replaces the contents with the file's bytes and rewinds; throws "ファイル %s は開けません",
  // also for anything but a regular file. Of a file that does not begin with expectedStart,
  // only the first expectedStart.size() bytes are loaded.
  void LoadFromFile(const std::string& path, std::span<const std::uint8_t> expectedStart = {});
  // Writes the whole contents to path; throws "ファイル %s を作成できません".
  void SaveToFile(const std::string& path) const;
  // Replaces the contents with a copy of other's and rewinds.
  void CopyFrom(const TByteStream& other);
  void Assign(std::span<const std::uint8_t> bytes);

  std::span<const std::uint8_t> Bytes() const { return bytes_; }
  std::span<std::uint8_t> MutableBytes() { return bytes_; }
  // Hands the contents over, leaving the stream empty.
  TStreamBytes TakeBytes() {
    position_ = 0;
    return std::exchange(bytes_, {});
  }
  // Takes bytes over as the contents and rewinds.
  void Adopt(TStreamBytes bytes) {
    bytes_ = std::move(bytes);
    position_ = 0;
  }

 private:
  TStreamBytes bytes_;
  std::size_t position_ = 0;
};

}  // namespace tarvo
