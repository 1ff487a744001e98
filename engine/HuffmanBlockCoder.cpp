#include "HuffmanBlockCoder.h"

#include <cstring>

namespace tarvo {

namespace {

constexpr int kBlockSize = 64;
// DC categories run to 11 for 8-bit samples; 16 would need more bits than ReadBits serves.
constexpr int kMaxCategory = 15;

}  // namespace

TSlowSymbol DecodeSymbolSlowly(TBitBuffer bits, const THuffmanTable& table) {
  if (bits.Prefetch() >= 16) {
    const std::uint16_t entry = table.Lookahead[bits.PeekBits(THuffmanTable::kLookaheadBits)];
    if (entry != 0) {
      bits.SkipBits(entry >> 8);
      return {bits, entry & 0xFF};
    }
    // Canonical codes of one length are consecutive, so the code of each further length is
    // compared with the largest code of that length (ITU-T T.81 F.2.2.3).
    const std::uint32_t next16 = bits.PeekBits(16);
    for (int length = THuffmanTable::kLookaheadBits + 1; length <= table.MaxLength; ++length) {
      const auto code = static_cast<std::int32_t>(next16 >> (16 - length));
      if (code <= table.MaxCode[static_cast<std::size_t>(length)]) {
        bits.SkipBits(length);
        return {bits, table.Symbols[static_cast<std::size_t>(
                          table.ValueOffset[static_cast<std::size_t>(length)] + code)]};
      }
    }
    bits.SkipBits(table.MaxLength);
    return {bits, -1};
  }
  // Near a marker or the end of the stream: bit by bit, so that a byte is loaded (and a marker
  // reported, or the end raised) only when one of its bits is needed.
  std::int32_t code = 0;
  for (int length = 1; length <= table.MaxLength; ++length) {
    code = code * 2 + bits.ReadBit();
    if (code <= table.MaxCode[static_cast<std::size_t>(length)]) {
      return {bits, table.Symbols[static_cast<std::size_t>(
                        table.ValueOffset[static_cast<std::size_t>(length)] + code)]};
    }
  }
  return {bits, -1};
}

int DecodeSymbol(TBitBuffer& bits, const THuffmanTable& table) {
  return DecodeSymbolFast(bits, table);
}

// The block decoder keeps the bit buffer in local scalars, which the compiler holds in
// registers; the buffer object is only touched around the rare slow paths.
bool DecodeBlockFromBuffer(TBitBuffer& buffer, const THuffmanTable& dc, const THuffmanTable& ac,
                           int& predictor, std::int16_t* block) {
  std::uint64_t acc = buffer.acc_;
  int bits = buffer.bits_;
  std::size_t next = buffer.next_;
  std::uint64_t wide = buffer.wide_;
  const std::uint8_t* const data = buffer.data_;
  const std::size_t size = buffer.size_;
  const auto store = [&]() __attribute__((always_inline)) {
    buffer.acc_ = acc;
    buffer.bits_ = bits;
    buffer.next_ = next;
    buffer.wide_ = wide;
  };
  const auto load = [&]() __attribute__((always_inline)) {
    acc = buffer.acc_;
    bits = buffer.bits_;
    next = buffer.next_;
    wide = buffer.wide_;
  };
  // At least 16 bits where the bytes ahead allow it without passing a marker or the end.
  const auto prefetch = [&]() __attribute__((always_inline))->bool {
    if (bits >= 16) return true;
    if (TBitBuffer::FillFast(data, size, next, acc, bits, wide)) return true;
    store();
    buffer = TBitBuffer::FilledBytewise(buffer);
    load();
    return bits >= 16;
  };
  const auto decodeSymbol = [&](const THuffmanTable& table) __attribute__((always_inline))->int {
    if (prefetch()) {
      const std::uint16_t entry = table.Lookahead[(acc >> (bits - THuffmanTable::kLookaheadBits)) &
                                                  ((1u << THuffmanTable::kLookaheadBits) - 1)];
      if (entry != 0) {
        bits -= entry >> 8;
        return entry & 0xFF;
      }
    }
    store();
    const TSlowSymbol slow = DecodeSymbolSlowly(buffer, table);
    buffer = slow.Bits;
    load();
    return slow.Symbol;
  };
  const auto readBits = [&](int n) __attribute__((always_inline))->std::uint32_t {
    if (n == 0) return 0;
    if (bits < n) {
      store();
      buffer = TBitBuffer::WithBits(buffer, n);
      load();
    }
    bits -= n;
    return static_cast<std::uint32_t>(acc >> bits) & ((1u << n) - 1);
  };

  std::memset(block, 0, kBlockSize * sizeof(std::int16_t));
  bool ok = false;
  const int category = decodeSymbol(dc);
  if (category >= 0 && category <= kMaxCategory) {
    const int difference = ExtendMagnitude(readBits(category), category);
    predictor = static_cast<std::int16_t>(difference + predictor);
    block[0] = static_cast<std::int16_t>(predictor);
    for (int k = 1;;) {
      if (k >= kBlockSize) {
        ok = true;  // no EOB follows a block whose last coefficient is coded
        break;
      }
      if (prefetch()) {
        const std::int32_t entry = ac.FastAc[(acc >> (bits - THuffmanTable::kLookaheadBits)) &
                                             ((1u << THuffmanTable::kLookaheadBits) - 1)];
        if (entry != 0) {
          bits -= entry & 0xFF;
          if (entry & THuffmanTable::kFastEob) {
            ok = true;
            break;
          }
          k += (entry >> 8) & 15;
          if (k >= kBlockSize) break;
          block[k++] = static_cast<std::int16_t>(entry >> 16);
          continue;
        }
      }
      const int symbol = decodeSymbol(ac);
      if (symbol <= 0) {
        ok = symbol == 0;  // EOB: the rest of the block is zero
        break;
      }
      const int run = symbol >> 4;
      const int magnitudeSize = symbol & 15;
      // The zeros of the run must fit, then the coefficient after them (ZRL's sixteenth zero
      // included), whose bits are read before the second check.
      if (k + run > kBlockSize) break;
      k += run;
      const int value = ExtendMagnitude(readBits(magnitudeSize), magnitudeSize);
      if (k >= kBlockSize) break;
      block[k++] = static_cast<std::int16_t>(value);
    }
  }
  store();
  return ok;
}

bool DecodeBlock(TBitBuffer& buffer, const THuffmanTable& dc, const THuffmanTable& ac,
                 int& predictor, std::int16_t* block) {
  return DecodeBlockFromBuffer(buffer, dc, ac, predictor, block);
}

namespace {

// Code and magnitude bits in one write: at most 16 + 15 bits. Sink is the writer or a batch.
template <typename Sink>
[[gnu::always_inline]] inline bool WriteSymbol(Sink& sink, const THuffmanEncodeTable& table,
                                               int symbol, int value, int size) {
  const int length = table.Length[static_cast<std::size_t>(symbol)];
  if (length == 0) return false;
  const std::uint32_t bits =
      static_cast<std::uint32_t>(value < 0 ? value - 1 : value) & ((1u << size) - 1);
  sink.WriteBits(
      (static_cast<std::uint32_t>(table.Code[static_cast<std::size_t>(symbol)]) << size) | bits,
      length + size);
  return true;
}

template <typename Sink>
[[gnu::always_inline]] inline bool WriteDc(Sink& sink, const THuffmanEncodeTable& table,
                                           int difference) {
  const int size = MagnitudeCategory(difference);
  return size <= kMaxCategory && WriteSymbol(sink, table, size, difference, size);
}

template <typename Sink>
[[gnu::always_inline]] inline bool WriteAc(Sink& sink, const THuffmanEncodeTable& table, int value,
                                           int run) {
  const int size = MagnitudeCategory(value);
  return size <= kMaxCategory && WriteSymbol(sink, table, run * 16 + size, value, size);
}

template <typename Sink>
bool WriteBlock(Sink& sink, const THuffmanEncodeTable& dc, const THuffmanEncodeTable& ac,
                int& predictor, const std::int16_t* block) {
  if (!WriteDc(sink, dc, block[0] - predictor)) return false;
  predictor = block[0];
  int zeros = 0;
  for (int k = 1; k < kBlockSize; ++k) {
    if (block[k] == 0) {
      ++zeros;
      continue;
    }
    // A run longer than 15 goes out as ZRL symbols of 16 zeros each.
    for (; zeros > 15; zeros -= 16) {
      if (!WriteAc(sink, ac, 0, 15)) return false;
    }
    if (!WriteAc(sink, ac, block[k], zeros)) return false;
    zeros = 0;
  }
  return zeros == 0 || WriteAc(sink, ac, 0, 0);
}

}  // namespace

bool EncodeDc(TOutBitStreamFile& writer, const THuffmanEncodeTable& table, int difference) {
  return WriteDc(writer, table, difference);
}

bool EncodeAc(TOutBitStreamFile& writer, const THuffmanEncodeTable& table, int value, int run) {
  return WriteAc(writer, table, value, run);
}

bool EncodeBlock(TOutBitStreamFile& writer, const THuffmanEncodeTable& dc,
                 const THuffmanEncodeTable& ac, int& predictor, const std::int16_t* block) {
  TOutBitStreamFile::TBatch batch(writer);
  const bool ok = WriteBlock(batch, dc, ac, predictor, block);
  batch.Finish();
  return ok;
}

}  // namespace tarvo
