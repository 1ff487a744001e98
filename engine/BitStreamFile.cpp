#include "BitStreamFile.h"

#include <algorithm>
#include <bit>
#include <cstring>

#include "JpegMarkers.h"
#include "Messages.h"

namespace tarvo {

void TBitBuffer::Start(std::size_t position) {
  next_ = begin_ + std::min(position, static_cast<std::size_t>(end_ - begin_));
  acc_ = 0;
  bits_ = 0;
  wide_ = 0;
}

std::size_t TBitBuffer::Position() const {
  const int unreadBytes = bits_ >> 3;
  const std::uint64_t unreadMask = (std::uint64_t{1} << unreadBytes) - 1;
  // At most seven bytes are unread. Their wide flags are counted by hand: the build does not
  // assume a processor with a popcount instruction, and the library call costs more.
  auto wide = static_cast<unsigned>(wide_ & unreadMask);
  wide = (wide & 0x55) + ((wide >> 1) & 0x55);
  wide = (wide & 0x33) + ((wide >> 2) & 0x33);
  wide = (wide & 0x0F) + (wide >> 4);
  const auto given = static_cast<std::size_t>(unreadBytes) + wide;
  return static_cast<std::size_t>(next_ - begin_) - given;
}

std::size_t TBitBuffer::Stop() {
  const std::size_t position = Position();
  Start(position);
  return position;
}

TBitPlace TBitBuffer::Place() const {
  const std::size_t position = Position();
  const int unread = BitPosition() == 7 ? 0 : BitPosition() + 1;
  if (unread == 0) return {position, 0};
  // The byte bits were last taken from; a 0xFF in coded data is always followed by its stuffed
  // 0x00, which Position counts.
  const bool stuffed =
      position >= 2 && begin_[position - 1] == 0x00 && begin_[position - 2] == 0xFF;
  return {position - (stuffed ? 2 : 1), 8 - unread};
}

TBitBuffer TBitBuffer::FilledBytewise(TBitBuffer bits) {
  while (bits.bits_ <= 55 && bits.next_ < bits.end_) {
    const std::uint8_t byte = *bits.next_;
    if (byte != 0xFF) {
      bits.Append(byte, false);
      ++bits.next_;
    } else if (bits.end_ - bits.next_ >= 2 && bits.next_[1] == 0x00) {
      bits.Append(0xFF, true);
      bits.next_ += 2;
    } else {
      // A marker, or a 0xFF at the very end: loaded only when one of its bits is needed.
      break;
    }
  }
  return bits;
}

TBitBuffer TBitBuffer::WithBits(TBitBuffer bits, int n) {
  bits.Fill();
  while (bits.bits_ < n) bits.LoadByteExactly();
  return bits;
}

void TBitBuffer::LoadByteExactly() {
  if (next_ >= end_) throw EStreamError(kMsgStreamReadError);
  const std::uint8_t byte = *next_++;
  if (byte != 0xFF) {
    Append(byte, false);
    return;
  }
  if (next_ >= end_) throw EStreamError(kMsgStreamReadError);
  // 0x00 is the stuffing; any other code is a marker inside the data, dropped as well, and
  // its 0xFF is served as eight 1-bits. The first one is noted; the decoder stops there. An
  // EOI there (after any fill bytes) means the data end before the image does.
  if (*next_ != 0x00 && *markerFault_ == EJpegError::kNone) {
    const std::span<const std::uint8_t> bytes(begin_, end_);
    const std::size_t code = markers::MarkerCodeAt(bytes, static_cast<std::size_t>(next_ - begin_));
    const bool ended = code < bytes.size() && bytes[code] == markers::CodeOf(markers::kEoi);
    *markerFault_ = ended ? EJpegError::kScanTooShort : EJpegError::kBitStream;
  }
  ++next_;
  Append(0xFF, true);
}

TInBitStreamFile::TInBitStreamFile(TByteStream& source)
    : source_(source), bits_(source.Bytes().data(), source.Bytes().size(), &markerFault_) {
  source_.SetPosition(0);
}

void TInBitStreamFile::StartBitLevel() {
  bits_.Start(static_cast<std::size_t>(source_.Position()));
  bitLevel_ = true;
}

void TInBitStreamFile::LeaveBitLevel() {
  if (!bitLevel_) return;
  source_.SetPosition(static_cast<std::int64_t>(bits_.Stop()));
  bitLevel_ = false;
}

std::uint8_t TInBitStreamFile::ReadByte() {
  LeaveBitLevel();
  return source_.ReadByte();
}

std::uint16_t TInBitStreamFile::ReadWord() {
  const std::uint16_t high = ReadByte();
  return static_cast<std::uint16_t>((high << 8) | ReadByte());
}

std::uint32_t TInBitStreamFile::ReadDWord() {
  const std::uint32_t high = ReadWord();
  return (high << 16) | ReadWord();
}

void TInBitStreamFile::ReadBlock(void* destination, std::size_t count) {
  LeaveBitLevel();
  source_.Read(destination, count);
}

std::int64_t TInBitStreamFile::MarkPosition() {
  mark_ = Position();
  return mark_;
}

void TInBitStreamFile::ReturnToMark() { SetPosition(mark_); }

std::int64_t TInBitStreamFile::BytesSinceMark() const { return Position() - mark_; }

std::int64_t TInBitStreamFile::Position() const {
  return bitLevel_ ? static_cast<std::int64_t>(bits_.Position()) : source_.Position();
}

TBitPlace TInBitStreamFile::Place() const {
  return bitLevel_ ? bits_.Place() : TBitPlace{static_cast<std::size_t>(source_.Position()), 0};
}

void TInBitStreamFile::SetPosition(std::int64_t position) {
  LeaveBitLevel();
  source_.SetPosition(position);
}

void TOutBitStreamFile::EmitWholeBytes() {
  // At most 39 pending bits (7 left over plus 32 new) give four whole bytes, each possibly
  // followed by a stuffed zero.
  std::uint8_t bytes[10];
  std::size_t count = 0;
  while (pending_ >= 8) {
    pending_ -= 8;
    const auto byte = static_cast<std::uint8_t>(acc_ >> pending_);
    bytes[count++] = byte;
    if (byte == 0xFF) bytes[count++] = 0x00;
  }
  target_.Write(bytes, count);
}

void TOutBitStreamFile::TBatch::Finish() {
  Drain();
  writer_.target_.Write(bytes_, count_);
  count_ = 0;
  writer_.acc_ = acc_;
  writer_.pending_ = pending_;
}

void TOutBitStreamFile::AppendCoded(std::span<const std::uint8_t> stuffed,
                                    std::uint32_t pendingValue, int pendingCount) {
  if (pending_ == 0) {
    target_.Write(stuffed.data(), stuffed.size());
  } else {
    // Every byte moves by the bits pending here, which changes where 0xFF bytes fall: the
    // stuffing is undone and done again. Eight bytes free of 0xFF before and after the move,
    // the common case, go through whole.
    const int shift = pending_;
    const std::uint64_t low = (std::uint64_t{1} << shift) - 1;
    std::uint64_t carry = acc_ & low;
    constexpr std::size_t kChunk = 1 << 16;
    std::uint8_t out[kChunk + 16];
    std::size_t count = 0;
    const std::size_t size = stuffed.size();
    std::size_t at = 0;
    const auto bigEndian = [](std::uint64_t word) {
      return std::endian::native == std::endian::little ? __builtin_bswap64(word) : word;
    };
    while (at < size) {
      if (count >= kChunk) {
        target_.Write(out, count);
        count = 0;
      }
      while (at + 8 <= size && count < kChunk) {
        std::uint64_t word;
        std::memcpy(&word, stuffed.data() + at, sizeof word);
        word = bigEndian(word);
        const std::uint64_t moved = carry << (64 - shift) | word >> shift;
        if (HasFfByte(word) || HasFfByte(moved)) break;
        const std::uint64_t stored = bigEndian(moved);
        std::memcpy(out + count, &stored, sizeof stored);
        count += 8;
        carry = word & low;
        at += 8;
      }
      if (at >= size || count >= kChunk) continue;
      const std::uint8_t byte = stuffed[at];
      // A coded 0xFF is always followed by its stuffed zero, which goes.
      at += byte == 0xFF ? 2 : 1;
      const auto moved = static_cast<std::uint8_t>(carry << (8 - shift) | byte >> shift);
      carry = byte & low;
      out[count++] = moved;
      if (moved == 0xFF) out[count++] = 0x00;
    }
    target_.Write(out, count);
    acc_ = carry;
  }
  if (pendingCount > 0) WriteBits(pendingValue, pendingCount);
}

void TOutBitStreamFile::CopyCoded(std::span<const std::uint8_t> bytes, TBitPlace from,
                                  TBitPlace to) {
  if (from.Byte == to.Byte) {
    WriteBits(static_cast<std::uint32_t>(bytes[from.Byte] >> (8 - to.Bits)), to.Bits - from.Bits);
    return;
  }
  std::size_t whole = from.Byte;
  if (from.Bits > 0) {
    WriteBits(bytes[whole], 8 - from.Bits);
    whole += bytes[whole] == 0xFF ? 2 : 1;
  }
  // The whole bytes between never split a 0xFF from its stuffed 0x00: to names the 0xFF.
  AppendCoded(bytes.subspan(whole, to.Byte - whole),
              to.Bits > 0 ? static_cast<std::uint32_t>(bytes[to.Byte] >> (8 - to.Bits)) : 0,
              to.Bits);
}

void TOutBitStreamFile::FlushBits() {
  if (pending_ == 0) return;
  WriteBits(0xFF, 8 - pending_);
}

void TOutBitStreamFile::WriteByte(std::uint8_t value) {
  FlushBits();
  target_.WriteByte(value);
}

void TOutBitStreamFile::WriteWord(std::uint16_t value) {
  const std::uint8_t bytes[] = {static_cast<std::uint8_t>(value >> 8),
                                static_cast<std::uint8_t>(value)};
  WriteBlock(bytes, sizeof bytes);
}

void TOutBitStreamFile::WriteDWord(std::uint32_t value) {
  const std::uint8_t bytes[] = {
      static_cast<std::uint8_t>(value >> 24), static_cast<std::uint8_t>(value >> 16),
      static_cast<std::uint8_t>(value >> 8), static_cast<std::uint8_t>(value)};
  WriteBlock(bytes, sizeof bytes);
}

void TOutBitStreamFile::WriteBlock(const void* source, std::size_t count) {
  FlushBits();
  target_.Write(source, count);
}

}  // namespace tarvo
