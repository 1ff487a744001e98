// Bit- and byte-level reading and writing of JPEG streams, with the byte stuffing of
// entropy-coded data (ITU-T T.81 F.1.2.3) and 1-bit padding of its last byte.
#pragma once

#include <algorithm>
#include <bit>
#include <compare>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>

#include "ByteStream.h"
#include "JpegError.h"

namespace tarvo {

// A place in entropy-coded data: after the first Bits (0..7) bits of the byte at Byte.
struct TBitPlace {
  std::size_t Byte = 0;
  int Bits = 0;
  friend auto operator<=>(const TBitPlace&, const TBitPlace&) = default;
};

// The top bit of each byte of word that is 0xFF: of each byte whose low seven bits plus one reach
// its top bit, which is set too. No sum carries into the next byte.
inline std::uint64_t FfBytes(std::uint64_t word) {
  constexpr std::uint64_t kLow7 = 0x7F7F7F7F7F7F7F7F;
  constexpr std::uint64_t kHigh = 0x8080808080808080;
  return ((word & kLow7) + 0x0101010101010101) & word & kHigh;
}
inline bool HasFfByte(std::uint64_t word) { return FfBytes(word) != 0; }

// The bit-level half of TInBitStreamFile: a 64-bit accumulator filled straight from the
// stream's buffer. It never fills past a marker or the end of the stream, so a marker is
// reported, and a read past the end raises, exactly when one of its bits is needed. Hot loops
// work on a copy held in registers and hand it back when they are done.
class TBitBuffer {
 public:
  // markerFault is the reader's: the hot loops' copies of the buffer must not lose it when a
  // read past the end raises.
  TBitBuffer(const std::uint8_t* data, std::size_t size, EJpegError* markerFault)
      : begin_(data), end_(data + size), markerFault_(markerFault) {}

  // Makes at least 16 bits available where the bytes ahead allow it without passing a marker
  // or the end; returns how many are available.
  int Prefetch() {
    if (bits_ < 16) Fill();
    return bits_;
  }
  // Loads as many whole bytes as fit however many bits are left, without a branch while the
  // next eight bytes hold no 0xFF; else as Prefetch, and whatever bytes fit before the 0xFF. For
  // loops that take bits at every step.
  void Refill() {
    if (end_ - next_ >= 8) {
      const std::uint64_t word = NextWord();
      if (!HasFfByte(word)) {
        // All eight bytes go in: those past the whole ones counted are the stream's next bits
        // all the same, and loads of them later put the same bits there.
        const int room = (63 - bits_) >> 3;
        acc_ |= word >> bits_;
        Took(room);
        return;
      }
    }
    Fill();
  }
  // The bits Prefetch or Refill made available.
  int Available() const { return bits_; }
  // The next n (1..16) bits without consuming them; n must not exceed Available() for them all
  // to be the stream's.
  std::uint32_t PeekBits(int n) const { return static_cast<std::uint32_t>(acc_ >> (64 - n)); }
  void SkipBits(int n) {
    acc_ <<= n;
    bits_ -= n;
  }
  // The next n (0..16) bits, the first most significant.
  std::uint32_t ReadBits(int n) {
    if (n == 0) return 0;
    if (bits_ < n) *this = WithBits(*this, n);
    const std::uint32_t value = PeekBits(n);
    SkipBits(n);
    return value;
  }
  int ReadBit() { return static_cast<int>(ReadBits(1)); }

  // True once a marker other than the stuffing has been met inside the data: whatever was
  // decoded from its bits is not image data.
  bool MarkerMet() const { return *markerFault_ != EJpegError::kNone; }

  // 7 when no unread bits are left in the current byte, else the next bit to be read.
  int BitPosition() const { return (bits_ & 7) == 0 ? 7 : (bits_ & 7) - 1; }
  // Starts bit-level reading at position.
  void Start(std::size_t position);
  // The position just after the last byte that bits were taken from: the accumulator's unread
  // whole bytes still belong to the stream.
  std::size_t Position() const;
  // Ends bit-level reading and returns Position().
  std::size_t Stop();
  // Where the next bit is read: in a 0xFF the place names the 0xFF, not its stuffed 0x00.
  TBitPlace Place() const;

 private:
  // The next eight bytes, the first most significant.
  std::uint64_t NextWord() const {
    std::uint64_t word;
    std::memcpy(&word, next_, sizeof word);
    if constexpr (std::endian::native == std::endian::little) word = __builtin_bswap64(word);
    return word;
  }
  // Counts taken whole bytes in.
  void Took(int bytes) {
    bits_ += 8 * bytes;
    wide_ <<= bytes;
    next_ += bytes;
  }
  // Loads as many whole bytes as fit up to the first 0xFF of the next eight, at once; then, with
  // fewer than 16 bits left, goes byte by byte, which judges the 0xFF.
  void Fill() {
    if (end_ - next_ >= 8) {
      const std::uint64_t word = NextWord();
      const std::uint64_t ffBytes = FfBytes(word);
      const int room = (63 - bits_) >> 3;
      const int before = ffBytes == 0 ? 8 : std::countl_zero(ffBytes) >> 3;
      const int bytes = std::min(room, before);
      acc_ |= (word & ~(~std::uint64_t{0} >> (8 * bytes))) >> bits_;
      Took(bytes);
      // A 0xFF that the word shows stuffed with a 0x00 is data, taken here as well.
      if (bytes == before && bytes < room && before < 7 &&
          ((word >> (48 - 8 * before)) & 0xFF) == 0) {
        Append(0xFF, true);
        next_ += 2;
      }
    }
    if (bits_ < 16) *this = FilledBytewise(*this);
  }
  // The slow paths take and give the buffer by value, so that a hot loop's copy never has its
  // address taken and can stay in registers.
  static TBitBuffer FilledBytewise(TBitBuffer bits);
  // Makes n bits available, loading the bytes the accumulator could not take one at a time as
  // the JPEG rules say: a marker is noted and served as 0xFF, the end of the stream raises.
  static TBitBuffer WithBits(TBitBuffer bits, int n);
  void LoadByteExactly();
  void Append(std::uint8_t byte, bool wide) {
    acc_ |= std::uint64_t{byte} << (56 - bits_);
    bits_ += 8;
    wide_ = (wide_ << 1) | (wide ? 1 : 0);
  }

  const std::uint8_t* begin_;
  const std::uint8_t* end_;
  const std::uint8_t* next_ = nullptr;  // next byte to load
  // Unread bits, left-aligned: the next bit is the most significant; the bits below are 0 or, as
  // far as they go, the stream's bits after them.
  std::uint64_t acc_ = 0;
  int bits_ = 0;
  // One bit per loaded byte, the latest lowest: set when the byte took two bytes of the stream
  // (0xFF with its stuffed 0x00, or with a marker code).
  std::uint64_t wide_ = 0;
  EJpegError* markerFault_;
};

// Reads a JPEG stream held in memory.
class TInBitStreamFile {
 public:
  // Rewinds source to position 0. The reader must not outlive source.
  explicit TInBitStreamFile(TByteStream& source);
  TInBitStreamFile(const TInBitStreamFile&) = delete;
  TInBitStreamFile& operator=(const TInBitStreamFile&) = delete;

  int ReadBit() { return Bits().ReadBit(); }
  // The next n (0..16) bits of entropy-coded data, the first bit most significant.
  std::uint32_t ReadBits(int n) { return n == 0 ? 0 : Bits().ReadBits(n); }

  // Byte-level reads drop the unread bits of the current byte and never treat 0xFF specially.
  std::uint8_t ReadByte();
  std::uint16_t ReadWord();
  std::uint32_t ReadDWord();
  void ReadBlock(void* destination, std::size_t count);

  std::int64_t MarkPosition();
  void ReturnToMark();
  std::int64_t BytesSinceMark() const;

  // Stream position just after the last byte that bit-level reading has taken bits from; the
  // unread bits of that byte stay readable.
  std::int64_t Position() const;
  // Continues reading at position; bit-level reading starts afresh there.
  void SetPosition(std::int64_t position);
  std::int64_t Size() const { return source_.Size(); }
  std::span<const std::uint8_t> Bytes() const { return source_.Bytes(); }
  int BitPosition() const { return bitLevel_ ? bits_.BitPosition() : 7; }
  // Where the next bit of entropy-coded data is read.
  TBitPlace Place() const;
  bool MarkerMet() const { return markerFault_ != EJpegError::kNone; }
  // Forgets the marker met, once the reader has been moved past the damage that ran into it.
  void ForgetMarker() { markerFault_ = EJpegError::kNone; }
  // What the first marker met inside coded data means: kScanTooShort for EOI, which ends the
  // data before the picture does, else kBitStream; kNone before any.
  EJpegError MarkerFault() const { return markerFault_; }

  // Bit-level access for the Huffman decoder, starting bit-level reading if needed.
  TBitBuffer& Bits() {
    if (!bitLevel_) StartBitLevel();
    return bits_;
  }

 private:
  void StartBitLevel();
  void LeaveBitLevel();

  TByteStream& source_;
  EJpegError markerFault_ = EJpegError::kNone;
  TBitBuffer bits_;
  bool bitLevel_ = false;
  std::int64_t mark_ = 0;
};

// Writes a JPEG stream. Whole bytes of entropy-coded data go to the stream as soon as they are
// complete, each 0xFF followed by a stuffed 0x00; byte-level writes first pad the pending bits
// with 1-bits.
class TOutBitStreamFile {
 public:
  // Writing goes on from the stream's current position. The writer must not outlive target.
  explicit TOutBitStreamFile(TByteStream& target) : target_(target) {}

  void WriteBit(int bit) { WriteBits(static_cast<std::uint32_t>(bit & 1), 1); }
  // The low n bits of value, most significant first (zeros above bit 31); n <= 0 writes
  // nothing.
  void WriteBits(std::uint32_t value, int n) {
    if (n <= 0) return;
    while (n > 32) {
      const int zeros = n - 32 < 32 ? n - 32 : 32;
      WriteBits(0, zeros);
      n -= zeros;
    }
    acc_ = (acc_ << n) | (value & (0xFFFFFFFFu >> (32 - n)));
    pending_ += n;
    if (pending_ >= 8) EmitWholeBytes();
  }

  void WriteByte(std::uint8_t value);
  void WriteWord(std::uint16_t value);
  void WriteDWord(std::uint32_t value);
  void WriteBlock(const void* source, std::size_t count);
  // Pads the pending bits with 1-bits and writes their byte; nothing when none are pending.
  void FlushBits();
  // Writes the bits of the entropy-coded data in bytes from from up to to as they stand, their
  // stuffing undone and done again where the bits land here.
  void CopyCoded(std::span<const std::uint8_t> bytes, TBitPlace from, TBitPlace to);

  int BitPosition() const { return 7 - pending_; }
  // The bits written but not yet in a whole byte: how many (0..7), and their value.
  int PendingCount() const { return pending_; }
  std::uint32_t PendingValue() const {
    return static_cast<std::uint32_t>(acc_) & ((1u << pending_) - 1);
  }

  // Continues with what another writer coded from a byte boundary: its stuffed bytes, then the
  // pendingCount bits of pendingValue it left. The stream receives the same bytes as if this
  // writer had coded those bits itself.
  void AppendCoded(std::span<const std::uint8_t> stuffed, std::uint32_t pendingValue,
                   int pendingCount);

  // Collects the bits of one block in a register and a small buffer and hands them to the
  // writer in one piece; the stream receives the same bytes as from WriteBits calls.
  class TBatch {
   public:
    explicit TBatch(TOutBitStreamFile& writer)
        : writer_(writer), acc_(writer.acc_), pending_(writer.pending_) {}
    TBatch(const TBatch&) = delete;
    TBatch& operator=(const TBatch&) = delete;

    // The low n (1..31) bits of value, which holds no higher bits.
    void WriteBits(std::uint32_t value, int n) {
      acc_ = (acc_ << n) | value;
      pending_ += n;
      if (pending_ >= 32) DrainWord();
    }
    // Writes the whole bytes and leaves the rest pending in the writer.
    void Finish();

   private:
    // The first four whole bytes of the 32 to 62 bits pending: most hold no 0xFF and go out at
    // once. Up to 30 bits stay pending, which the next write's 31 bits still fit beside.
    void DrainWord() {
      pending_ -= 32;
      const auto word = static_cast<std::uint32_t>(acc_ >> pending_);
      if (HasFfByte(word)) {
        for (int shift = 24; shift >= 0; shift -= 8) {
          const auto byte = static_cast<std::uint8_t>(word >> shift);
          bytes_[count_++] = byte;
          if (byte == 0xFF) bytes_[count_++] = 0x00;
        }
        return;
      }
      bytes_[count_] = static_cast<std::uint8_t>(word >> 24);
      bytes_[count_ + 1] = static_cast<std::uint8_t>(word >> 16);
      bytes_[count_ + 2] = static_cast<std::uint8_t>(word >> 8);
      bytes_[count_ + 3] = static_cast<std::uint8_t>(word);
      count_ += 4;
    }
    void Drain() {
      while (pending_ >= 8) {
        pending_ -= 8;
        const auto byte = static_cast<std::uint8_t>(acc_ >> pending_);
        bytes_[count_++] = byte;
        if (byte == 0xFF) bytes_[count_++] = 0x00;
      }
    }

    TOutBitStreamFile& writer_;
    std::uint64_t acc_;
    int pending_;
    std::size_t count_ = 0;
    // A block codes 64 symbols of at most 16 + 15 bits: 248 bytes, twice that when stuffed.
    std::uint8_t bytes_[512];
  };

 private:
  void EmitWholeBytes();

  TByteStream& target_;
  std::uint64_t acc_ = 0;
  int pending_ = 0;  // bits in acc_ not yet written, 0..7 between calls
};

}  // namespace tarvo
