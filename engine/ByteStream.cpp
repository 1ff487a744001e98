#include "ByteStream.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "Messages.h"

namespace tarvo {

void TByteStream::Read(void* destination, std::size_t count) {
  if (position_ > bytes_.size() || count > bytes_.size() - position_) {
    throw EStreamError(kMsgStreamReadError);
  }
  if (count != 0) std::memcpy(destination, bytes_.data() + position_, count);
  position_ += count;
}

std::uint8_t TByteStream::ReadByte() {
  if (position_ >= bytes_.size()) throw EStreamError(kMsgStreamReadError);
  return bytes_[position_++];
}

void TByteStream::Write(const void* source, std::size_t count) {
  if (count == 0) return;
  // A gap before the position is zero-filled; the bytes about to be copied are not.
  if (position_ > bytes_.size()) bytes_.resize(position_, 0);
  if (position_ + count > bytes_.size()) bytes_.resize(position_ + count);
  std::memcpy(bytes_.data() + position_, source, count);
  position_ += count;
}

void TByteStream::WriteByte(std::uint8_t value) {
  if (position_ < bytes_.size()) {
    bytes_[position_] = value;
  } else {
    // A position set past the end leaves a zero-filled gap, as a file would.
    bytes_.resize(position_, 0);
    bytes_.push_back(value);
  }
  ++position_;
}

void TByteStream::SetPosition(std::int64_t position) {
  position_ = position < 0 ? 0 : static_cast<std::size_t>(position);
}

void TByteStream::Clear() {
  bytes_.clear();
  position_ = 0;
}

void TByteStream::Resize(std::size_t size) { bytes_.resize(size, 0); }

void TByteStream::LoadFromFile(const std::string& path,
                               std::span<const std::uint8_t> expectedStart) {
  // Only a regular file is opened: opening a FIFO waits for a writer, a device never ends, and
  // a folder opens as a stream on some systems with a nonsense size.
  // The message names the system's reason where there is one (no such file, permission
  // denied, a folder); a FIFO or a device is refused for being neither.
  const auto cannotOpen = [&path](int reason) {
    const std::string message = FormatMessage(kMsgCannotOpenFile, path);
    return EStreamError(reason == 0 ? message : message + ": " + std::strerror(reason));
  };
  std::error_code error;
  if (!std::filesystem::is_regular_file(path, error)) {
    if (error) throw cannotOpen(error.value());
    throw cannotOpen(std::filesystem::is_directory(path, error) ? EISDIR : 0);
  }
  errno = 0;
  std::ifstream in(path, std::ios::binary | std::ios::ate);
  if (!in) throw cannotOpen(errno);
  const std::streamoff size = in.tellg();
  if (size < 0) throw cannotOpen(errno);
  const auto shrank = [&path] { return EStreamError(FormatMessage(kMsgFileShrank, path)); };
  in.seekg(0);
  // A file that does not start as expected is refused by its reader from its first bytes; a
  // huge one is then never read whole.
  const auto headSize = std::min(static_cast<std::size_t>(size), expectedStart.size());
  decltype(bytes_) bytes(headSize);
  in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(headSize));
  if (in.gcount() != static_cast<std::streamsize>(headSize)) throw shrank();
  if (std::equal(bytes.begin(), bytes.end(), expectedStart.begin())) {
    // One read of the rest: a photo is tens of megabytes, and growing a buffer piecemeal would
    // copy and touch it several times over.
    bytes.resize(static_cast<std::size_t>(size));
    const auto rest = static_cast<std::streamsize>(size) - static_cast<std::streamsize>(headSize);
    in.read(reinterpret_cast<char*>(bytes.data() + headSize), rest);
    if (in.gcount() != rest) throw shrank();
  }
  bytes_ = std::move(bytes);
  position_ = 0;
}

void TByteStream::SaveToFile(const std::string& path) const {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  if (!out) throw EStreamError(FormatMessage(kMsgCannotCreateFile, path));
  out.write(reinterpret_cast<const char*>(bytes_.data()),
            static_cast<std::streamsize>(bytes_.size()));
  out.flush();
  if (!out) throw EStreamError(kMsgStreamWriteError);
}

void TByteStream::CopyFrom(const TByteStream& other) {
  bytes_ = other.bytes_;
  position_ = 0;
}

void TByteStream::Assign(std::span<const std::uint8_t> bytes) {
  bytes_.assign(bytes.begin(), bytes.end());
  position_ = 0;
}

}  // namespace tarvo
