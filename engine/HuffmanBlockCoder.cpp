#include "HuffmanBlockCoder.h"

#include <bit>
#include <cstring>

namespace tarvo {

TSlowSymbol DecodeSymbolSlowly(TBitBuffer bits, const THuffmanTable& table) {
  if (bits.Prefetch() >= 16) {
    // The lookahead found no code of its length. Canonical codes of one length are consecutive, so
    // the code of each further length is compared with the largest code of that length (ITU-T T.81
    // F.2.2.3).
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

namespace {

// Steps of SkipAc taken after each refill while reading past a block: a refill leaves 56 bits or
// more unless a 0xFF comes, and four steps of up to kSkipBits fit them. A fixed count keeps the
// refills off the branches the processor has to guess.
constexpr int kStepsPerRefill = 4;

// Decodes one block, or without kKeep reads past it, on the caller's copy of the bit buffer,
// which the compiler can then hold in registers: every call that leaves this function takes or
// gives it by value. Reading past takes bits in whole steps of SkipAc while they stop short of
// the block's end and the bits at hand hold them; one symbol at a time as when decoding where
// they do not.
template <bool kKeep>
[[gnu::always_inline]] inline bool ReadBlock(TBitBuffer& bits, const THuffmanTable& dc,
                                             const THuffmanTable& ac, int& predictor,
                                             std::int16_t* block) {
  if constexpr (kKeep) std::memset(block, 0, kBlockSize * sizeof(std::int16_t));
  // The DC code and its magnitude bits together when the buffer holds both, else one by one. A
  // code matched on bits past the available ones is longer than they are.
  int available = 0;
  if constexpr (kKeep) {
    available = bits.Prefetch();
  } else {
    bits.Refill();
    available = bits.Available();
  }
  const std::uint16_t dcEntry =
      kKeep && available < 16 ? 0 : dc.Lookahead[bits.PeekBits(THuffmanTable::kLookaheadBits)];
  int category = dcEntry & 0xFF;
  int difference = 0;
  if (dcEntry != 0 && category <= kMaxCategory && (dcEntry >> 8) + category <= available) {
    bits.SkipBits(dcEntry >> 8);
    difference = ExtendMagnitude(bits.PeekBits(16) >> (16 - category), category);
    bits.SkipBits(category);
  } else {
    category = DecodeSymbolFast(bits, dc);
    if (category < 0 || category > kMaxCategory) return false;
    difference = ExtendMagnitude(bits.ReadBits(category), category);
  }
  predictor = static_cast<std::int16_t>(difference + predictor);
  if constexpr (kKeep) block[0] = static_cast<std::int16_t>(predictor);
  for (int k = 1;;) {
    if constexpr (!kKeep) {
      // An advance that overruns the block, or fits nothing, sets bit 6 of next; an EOB leaves
      // next at 128 or more.
      bits.Refill();
      int steps = 0;
      for (; steps < kStepsPerRefill; ++steps) {
        const THuffmanTable::TSkipStep& step = ac.SkipAc[bits.PeekBits(THuffmanTable::kSkipBits)];
        const int used = step.Used;
        const int next = k + step.Advance;
        if (((next & kBlockSize) | (used > bits.Available() ? 1 : 0)) != 0) break;
        bits.SkipBits(used);
        k = next;
        if (k >= kBlockSize) return true;
      }
      if (steps == kStepsPerRefill) continue;
    }
    if (bits.Prefetch() >= 16) {
      const std::int32_t entry = ac.FastAc[bits.PeekBits(THuffmanTable::kLookaheadBits)];
      if (entry != 0) {
        bits.SkipBits(entry & 0xFF);
        if (entry & THuffmanTable::kFastEob) return true;
        k += (entry >> 8) & 15;
        if (k >= kBlockSize) return false;
        if constexpr (kKeep) block[k] = static_cast<std::int16_t>(entry >> 16);
        // No EOB follows a block whose last coefficient is coded.
        if (++k == kBlockSize) return true;
        continue;
      }
    }
    const int symbol = DecodeSymbolFast(bits, ac);
    // EOB, or a run without a coefficient other than ZRL, read as EOB as decoders do: the rest
    // of the block is zero.
    if (symbol < 0 || ((symbol & 15) == 0 && symbol != 0xF0)) return symbol >= 0;
    const int run = symbol >> 4;
    const int magnitudeSize = symbol & 15;
    // The zeros of the run must fit, then the coefficient after them (ZRL's sixteenth zero
    // included), whose bits are read before the second check.
    if (k + run > kBlockSize) return false;
    k += run;
    const int value = ExtendMagnitude(bits.ReadBits(magnitudeSize), magnitudeSize);
    if (k >= kBlockSize) return false;
    if constexpr (kKeep) block[k] = static_cast<std::int16_t>(value);
    if (++k == kBlockSize) return true;
  }
}

}  // namespace

bool DecodeBlock(TBitBuffer& buffer, const THuffmanTable& dc, const THuffmanTable& ac,
                 int& predictor, std::int16_t* block) {
  TBitBuffer bits = buffer;
  const bool ok = ReadBlock<true>(bits, dc, ac, predictor, block);
  buffer = bits;
  return ok;
}

std::optional<TMcuTables> McuTablesOf(
    const std::array<const THuffmanTable*, TCoefficientStore::kMaxComponents>& dc,
    const std::array<const THuffmanTable*, TCoefficientStore::kMaxComponents>& ac,
    const TMcuLayout& layout) {
  TMcuTables tables;
  for (int c = 0; c < layout.Count; ++c) {
    const auto k = static_cast<std::size_t>(c);
    for (int b = 0; b < layout.Components[k].H * layout.Components[k].V; ++b) {
      if (tables.Count == kMaxMcuBlocks) return std::nullopt;
      const auto j = static_cast<std::size_t>(tables.Count++);
      tables.Dc[j] = dc[k];
      tables.Ac[j] = ac[k];
      tables.Component[j] = static_cast<std::uint8_t>(c);
    }
  }
  return tables;
}

bool SkipMcu(TBitBuffer& buffer, const TMcuTables& tables, int* predictors, std::int16_t* dcs) {
  TBitBuffer bits = buffer;
  bool ok = true;
  for (std::size_t j = 0; j < static_cast<std::size_t>(tables.Count); ++j) {
    int& predictor = predictors[tables.Component[j]];
    if (!ReadBlock<false>(bits, *tables.Dc[j], *tables.Ac[j], predictor, nullptr) ||
        bits.MarkerMet()) {
      ok = false;
      break;
    }
    dcs[j] = static_cast<std::int16_t>(predictor);
  }
  buffer = bits;
  return ok;
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
  // The AC coefficients other than zero, without a branch per coefficient.
  std::uint64_t nonZero = NonZeroMask(block) & ~std::uint64_t{1};
  int last = 0;
  for (; nonZero != 0; nonZero &= nonZero - 1) {
    const int k = std::countr_zero(nonZero);
    int zeros = k - last - 1;
    // A run longer than 15 goes out as ZRL symbols of 16 zeros each.
    for (; zeros > 15; zeros -= 16) {
      if (!WriteAc(sink, ac, 0, 15)) return false;
    }
    if (!WriteAc(sink, ac, block[k], zeros)) return false;
    last = k;
  }
  // No EOB follows a block whose last coefficient is coded.
  return last == kBlockSize - 1 || WriteAc(sink, ac, 0, 0);
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
