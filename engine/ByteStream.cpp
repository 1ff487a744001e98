#include "ByteStream.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "Messages.h"

namespace tarvo {

void TByteStream::Read(void* destination, std::size_t count) {
  const std::span<const std::uint8_t> bytes = Bytes();
  if (position_ > bytes.size() || count > bytes.size() - position_) {
    throw EStreamError(kMsgStreamReadError);
  }
  if (count != 0) std::memcpy(destination, bytes.data() + position_, count);
  position_ += count;
}

std::uint8_t TByteStream::ReadByte() {
  const std::span<const std::uint8_t> bytes = Bytes();
  if (position_ >= bytes.size()) throw EStreamError(kMsgStreamReadError);
  return bytes[position_++];
}

void TByteStream::Own() {
  if (!borrowing_) return;
  bytes_.assign(borrowed_.begin(), borrowed_.end());
  borrowed_ = {};
  borrowing_ = false;
}

void TByteStream::Borrow(std::span<const std::uint8_t> bytes) {
  bytes_.clear();
  borrowed_ = bytes;
  borrowing_ = true;
  position_ = 0;
}

void TByteStream::Write(const void* source, std::size_t count) {
  if (count == 0) return;
  Own();
  // A gap before the position is zero-filled; the bytes about to be copied are not.
  if (position_ > bytes_.size()) bytes_.resize(position_, 0);
  if (position_ + count > bytes_.size()) bytes_.resize(position_ + count);
  std::memcpy(bytes_.data() + position_, source, count);
  position_ += count;
}

void TByteStream::WriteByte(std::uint8_t value) {
  Own();
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
  borrowed_ = {};
  borrowing_ = false;
  position_ = 0;
}

void TByteStream::Resize(std::size_t size) {
  Own();
  bytes_.resize(size, 0);
}

EStreamError CannotOpenFile(const std::string& path, int reason) {
  const std::string message = FormatMessage(kMsgCannotOpenFile, path);
  return EStreamError(reason == 0 ? message : message + ": " + std::strerror(reason));
}

void RequireRegularFile(const std::string& path) {
  std::error_code error;
  if (!std::filesystem::is_regular_file(path, error)) {
    if (error) throw CannotOpenFile(path, error.value());
    throw CannotOpenFile(path, std::filesystem::is_directory(path, error) ? EISDIR : 0);
  }
}

void TByteStream::LoadFromFile(const std::string& path,
                               std::span<const std::uint8_t> expectedStart) {
  RequireRegularFile(path);
  const auto cannotOpen = [&path](int reason) { return CannotOpenFile(path, reason); };
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
  Adopt(std::move(bytes));
}

void TByteStream::SaveToFile(const std::string& path) const {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  if (!out) throw EStreamError(FormatMessage(kMsgCannotCreateFile, path));
  const std::span<const std::uint8_t> bytes = Bytes();
  out.write(reinterpret_cast<const char*>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
  out.flush();
  if (!out) throw EStreamError(kMsgStreamWriteError);
}

void TByteStream::CopyFrom(const TByteStream& other) {
  if (&other != this) Assign(other.Bytes());
  position_ = 0;
}

void TByteStream::Assign(std::span<const std::uint8_t> bytes) {
  // A borrowed view, this stream's own included, is copied before it is let go.
  bytes_.assign(bytes.begin(), bytes.end());
  borrowed_ = {};
  borrowing_ = false;
  position_ = 0;
}

}  // namespace tarvo
