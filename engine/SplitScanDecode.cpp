#include "SplitScanDecode.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <limits>
#include <new>
#include <optional>
#include <system_error>
#include <thread>
#include <vector>

#include "GuessedPiece.h"
#include "HuffmanBlockCoder.h"
#include "LargeBuffer.h"
#include "McuWalk.h"
#include "ScanWalk.h"
#include "StreamError.h"

namespace tarvo {

namespace {

using TPredictors = std::array<int, TCoefficientStore::kMaxComponents>;
constexpr std::size_t kBlock = TCoefficientArray::kBlockCoefficients;
constexpr std::int64_t kUnbounded = std::numeric_limits<std::int64_t>::max();

// A bit position in the coded data that readers of the same bytes agree on however they got
// there: eight per byte, growing as bits are read. A stuffed 0x00 holds no bits of its own, so
// no two positions share a number.
std::int64_t BitKey(const TBitBuffer& bits) {
  const auto after = static_cast<std::int64_t>(bits.Position());
  const int next = bits.BitPosition();
  return after * 8 - (next == 7 ? 0 : next + 1);
}

// Key as a place in bytes: the byte being read and the bits of it read (TInBitStreamFile::Place).
TBitPlace PlaceOf(std::span<const std::uint8_t> bytes, std::int64_t key) {
  const std::int64_t after = (key + 7) / 8;
  const auto unread = static_cast<int>(after * 8 - key);
  if (unread == 0) return {static_cast<std::size_t>(after), 0};
  // The byte being read is the one before, or the 0xFF before a stuffed 0x00.
  auto byte = static_cast<std::size_t>(after - 1);
  if (byte > 0 && bytes[byte] == 0x00 && bytes[byte - 1] == 0xFF) --byte;
  return {byte, 8 - unread};
}

// Leaves reader at key as a reader that has read up to there stands.
void MoveReaderTo(TInBitStreamFile& reader, std::int64_t key) {
  const TBitPlace place = PlaceOf(reader.Bytes(), key);
  reader.SetPosition(static_cast<std::int64_t>(place.Byte));
  if (place.Bits > 0) reader.ReadBits(place.Bits);
}

// Where the blocks of the MCUs go, by MCU slot in the scan's coding order: slots below StoreEnd
// in the store, the rest in a side buffer of whole MCUs, each with its blocks in coding order.
struct TMcuSink {
  std::int64_t StoreEnd = kUnbounded;
  std::int16_t* Side = nullptr;
};

// The blocks of an MCU as rows of H blocks, one row per component and block row: side by side
// in the store as in a side buffer, so a row moves in one copy.
class TMcuRows {
 public:
  TMcuRows(const TMcuLayout& layout, TCoefficientStore& store) : layout_(layout), store_(store) {
    std::size_t offset = 0;
    for (int c = 0; c < layout.Count; ++c) {
      offsets_[static_cast<std::size_t>(c)] = offset;
      offset += static_cast<std::size_t>(H(c) * V(c)) * kBlock;
    }
    mcuSize_ = offset;
  }

  int Count() const { return layout_.Count; }
  int H(int c) const { return layout_.Components[static_cast<std::size_t>(c)].H; }
  int V(int c) const { return layout_.Components[static_cast<std::size_t>(c)].V; }
  // Coefficients a side buffer keeps per MCU.
  std::size_t McuSize() const { return mcuSize_; }

  std::int16_t* Row(const TMcuSink& sink, std::int64_t slot, int c, int v) const {
    if (slot < sink.StoreEnd) {
      const TMcuLayout::TComponent& component = layout_.Components[static_cast<std::size_t>(c)];
      const auto row = static_cast<std::size_t>(slot / layout_.EndCol);
      const auto col = static_cast<std::size_t>(slot % layout_.EndCol);
      return store_.Block(component.Slot,
                          row * static_cast<std::size_t>(component.V) + static_cast<std::size_t>(v),
                          col * static_cast<std::size_t>(component.H));
    }
    return sink.Side + static_cast<std::size_t>(slot - sink.StoreEnd) * mcuSize_ +
           offsets_[static_cast<std::size_t>(c)] + static_cast<std::size_t>(v * H(c)) * kBlock;
  }

 private:
  const TMcuLayout& layout_;
  TCoefficientStore& store_;
  std::array<std::size_t, TCoefficientStore::kMaxComponents> offsets_{};
  std::size_t mcuSize_ = 0;
};

// Decodes the MCU at slot; false where the walk would stop: a block that does not decode, or
// bits taken from a marker.
bool DecodeMcu(TBitBuffer& bits, const TScanTables& tables, TPredictors& predictor,
               const TMcuRows& rows, const TMcuSink& sink, std::int64_t slot) {
  for (int c = 0; c < rows.Count(); ++c) {
    const auto k = static_cast<std::size_t>(c);
    for (int v = 0; v < rows.V(c); ++v) {
      std::int16_t* row = rows.Row(sink, slot, c, v);
      for (int h = 0; h < rows.H(c); ++h) {
        if (!DecodeBlock(bits, *tables.Dc[k], *tables.Ac[k], predictor[k],
                         row + static_cast<std::size_t>(h) * kBlock) ||
            bits.MarkerMet()) {
          return false;
        }
      }
    }
  }
  return true;
}

// The later piece, decoded on its own thread: its MCU i goes to slot Base + i of Sink, and its
// places are bit keys (BitKey).
struct TLaterPiece : TGuessedPiece<std::int64_t> {
  std::int64_t Base = 0;
  TMcuSink Sink;

  // The thread reads the members above until it is stopped.
  ~TLaterPiece() { Stop(); }

  void Decode(std::span<const std::uint8_t> bytes, const TScanTables& tables,
              const TMcuRows& rows) {
    Walk(
        bytes,
        [&](TBitBuffer& bits, TPredictors& predictor, std::int64_t i) {
          return DecodeMcu(bits, tables, predictor, rows, Sink, Base + i);
        },
        [](const TBitBuffer& bits) { return BitKey(bits); });
  }
};

// Calls place(c, v) for every row of blocks of an MCU, on two threads where one can be had:
// the rows of different components, or block rows, never share memory.
template <typename Place>
void ForMcuRowsOnTwoThreads(const TMcuRows& rows, Place&& place) {
  std::vector<std::pair<int, int>> mine, other;
  int mineBlocks = 0, otherBlocks = 0;
  for (int c = 0; c < rows.Count(); ++c) {
    for (int v = 0; v < rows.V(c); ++v) {
      const bool toMine = mineBlocks <= otherBlocks;
      (toMine ? mine : other).emplace_back(c, v);
      (toMine ? mineBlocks : otherBlocks) += rows.H(c);
    }
  }
  const auto run = [&](const std::vector<std::pair<int, int>>& list) {
    for (const auto& [c, v] : list) place(c, v);
  };
  std::jthread helper;
  try {
    helper = std::jthread([&] { run(other); });
  } catch (const std::system_error&) {
    run(other);
  }
  run(mine);
}

// One run of MCU rows split in two: the calling thread decodes from the reader's position into
// the store, the later piece from a guessed byte on its own thread.
class TSplitRun {
 public:
  TSplitRun(const TJpegModel& model, const TScan& scan, TInBitStreamFile& reader,
            TCoefficientStore& store, TScanReport& report, TPredictors& predictor,
            TScanWalkState& state, int mcuRows)
      : model_(model),
        scan_(scan),
        reader_(reader),
        report_(report),
        predictor_(predictor),
        state_(state),
        mcuRows_(mcuRows),
        layout_(ScanLayout(model, scan)),
        tables_(ScanTables(model, scan)),
        rows_(layout_, store),
        rowsPerMcuRow_(layout_.RowsPerMcuRow) {
    cols_ = layout_.EndCol;
    firstMcu_ =
        std::min(std::int64_t{state.Row} * rowsPerMcuRow_, std::int64_t{layout_.EndRow}) * cols_;
    endMcu_ =
        std::min(std::int64_t{mcuRows} * rowsPerMcuRow_, std::int64_t{layout_.EndRow}) * cols_;
  }

  std::int64_t Mcus() const { return endMcu_ - firstMcu_; }

  // Starts the later piece at split, or near halfway through the run's data; false when the
  // data leave no room for it.
  bool StartLaterPiece(std::size_t split) {
    const std::span<const std::uint8_t> bytes = reader_.Bytes();
    const std::int64_t startKey = BitKey(reader_.Bits());
    const auto start = static_cast<std::size_t>(startKey / 8);
    const auto dataEnd = std::min(static_cast<std::size_t>(scan_.DataEnd), bytes.size());
    if (dataEnd <= start + 1) return false;
    // The run's share of the data left, as if its bytes spread evenly over its MCUs.
    const std::int64_t scanEnd = std::int64_t{layout_.EndRow} * cols_;
    const double runBytes = static_cast<double>(dataEnd - start) * static_cast<double>(Mcus()) /
                            static_cast<double>(scanEnd - firstMcu_);
    if (split == 0) split = start + static_cast<std::size_t>(runBytes / 2);
    if (split <= start) return false;
    split = DecodableByte(bytes, split, dataEnd);
    if (split >= dataEnd) return false;
    // The piece's blocks go where its first MCU would be if the bytes spread evenly; it
    // overflows into a side buffer when that was too high, the first piece when too low.
    const double share = std::min(1.0, static_cast<double>(split - start) / runBytes);
    const std::int64_t base =
        std::clamp(firstMcu_ + static_cast<std::int64_t>(static_cast<double>(Mcus()) * share),
                   firstMcu_ + 1, endMcu_);
    const std::int64_t overflow = Mcus() / 4 + 1;
    piece_.Base = base;
    piece_.Prepare(split, dataEnd, endMcu_ + overflow - base);
    // One buffer for both pieces' side MCUs, left uninitialised: only the pages written are
    // ever faulted in, in large pages where the system has them.
    side_.resize(static_cast<std::size_t>(overflow + endMcu_ - base) * rows_.McuSize());
    piece_.Sink = {endMcu_, side_.data()};
    firstSink_ = {base, side_.data() + static_cast<std::size_t>(overflow) * rows_.McuSize()};
    checkpoint_ = {firstMcu_, startKey, predictor_};
    try {
      piece_.Thread = std::jthread([this, bytes] { piece_.Decode(bytes, tables_, rows_); });
    } catch (const std::system_error&) {
      return false;
    }
    return true;
  }

  // Decodes on until the later piece's MCUs fall into step with this decoder's. True when it
  // decoded the run; false after FallBack.
  bool Decode() {
    TBitBuffer& bits = reader_.Bits();
    const auto firstKey = static_cast<std::int64_t>(piece_.Start) * 8;
    std::int64_t cursor = 0;
    // The run starts and ends where MCU rows do; a scan split in two has no restart markers.
    TMcuLayout run = layout_;
    run.FirstRow = static_cast<int>(firstMcu_ / cols_);
    run.EndRow = static_cast<int>(endMcu_ / cols_);
    std::optional<bool> stopped;  // what Decode returns when the walk stops before the run's end
    try {
      WalkWholeMcus(
          run,
          [&](int row) {
            if (row % rowsPerMcuRow_ == 0) {
              checkpoint_ = {row * cols_, BitKey(bits), predictor_};
              NoteRowStart(row, checkpoint_.Key);
            }
            AtRow(row);
          },
          [&](int r, int m) {
            const std::int64_t mcu = r * cols_ + m;
            const std::int64_t key = BitKey(bits);
            if (key >= firstKey) {
              const EStartFound found = piece_.FindStart(key, cursor);
              if (found == EStartFound::kHere) stopped = TakeLaterPiece(mcu, cursor);
              if (found == EStartFound::kNever) stopped = FallBack();
            }
            if (!stopped && !DecodeMcu(bits, tables_, predictor_, rows_, firstSink_, mcu)) {
              stopped = FallBack();
            }
            return !stopped;
          },
          [] { return true; });
    } catch (const EStreamError&) {
      return FallBack();
    }
    if (stopped) return *stopped;
    // The run ended before the later piece's data began: this decoder took it all.
    piece_.Stop();
    ForMcuRowsOnTwoThreads(rows_, [&](int c, int v) { BringHome(c, v, endMcu_); });
    state_.Row = std::min(mcuRows_, model_.McuRows);
    return true;
  }

 private:
  struct TCheckpoint {
    std::int64_t Mcu = 0;
    std::int64_t Key = 0;
    TPredictors Predictor{};
  };

  void NoteRowStart(int row, std::int64_t key) {
    if (report_.RowStarts == nullptr) return;
    (*report_.RowStarts)[static_cast<std::size_t>(row / rowsPerMcuRow_)] =
        PlaceOf(reader_.Bytes(), key);
  }

  void AtRow(int row) {
    // The rows above were decoded whole, as the walk tells it.
    report_.CompleteRows = row / rowsPerMcuRow_;
    report_.AtRow(row / rowsPerMcuRow_);
  }

  // Copies this decoder's side MCUs below end into the store.
  void BringHome(int c, int v, std::int64_t end) {
    const std::size_t bytes = static_cast<std::size_t>(rows_.H(c)) * kBlock * sizeof(std::int16_t);
    for (std::int64_t slot = firstSink_.StoreEnd; slot < end; ++slot) {
      std::memcpy(rows_.Row({}, slot, c, v), rows_.Row(firstSink_, slot, c, v), bytes);
    }
  }

  // The first decoder's MCU mcu starts where the later piece's MCU index does: the piece's
  // MCUs from there are the run's, with DC values off by what the predictors differ by.
  bool TakeLaterPiece(std::int64_t mcu, std::int64_t index) {
    const std::int64_t needed = index + (endMcu_ - mcu);
    // Its MCUs from index to the run's end must be of one start, decoded without fault.
    if (!piece_.TakeTo(index, needed)) return FallBack();
    TPredictors offset{};
    const TPredictors& guessed = piece_.Predictors[static_cast<std::size_t>(index)];
    const TPredictors& last = piece_.Predictors[static_cast<std::size_t>(needed)];
    for (std::size_t c = 0; c < static_cast<std::size_t>(rows_.Count()); ++c) {
      offset[c] = predictor_[c] - guessed[c];
      // Held as a block's DC value is.
      predictor_[c] = static_cast<std::int16_t>(last[c] + offset[c]);
    }
    MoveLaterPiece(mcu, index, needed, offset);
    MoveReaderTo(reader_, piece_.Starts[static_cast<std::size_t>(needed)]);
    for (auto row = static_cast<int>(mcu / cols_) + 1; row < endMcu_ / cols_; ++row) {
      if (row % rowsPerMcuRow_ == 0) {
        NoteRowStart(row, piece_.Starts[static_cast<std::size_t>(row * cols_ - mcu + index)]);
      }
      AtRow(row);
    }
    state_.Row = std::min(mcuRows_, model_.McuRows);
    return true;
  }

  // Moves the piece's MCUs index to needed - 1 to the store from the first decoder's MCU mcu on,
  // their DC values moved by offset, and this decoder's side MCUs before mcu with them.
  void MoveLaterPiece(std::int64_t mcu, std::int64_t index, std::int64_t needed,
                      const TPredictors& offset) {
    // Every MCU of the piece moves by the same number of slots: down in slot order, up in the
    // reverse, so that none is overwritten before it has moved.
    const std::int64_t shift = piece_.Base + index - mcu;
    ForMcuRowsOnTwoThreads(rows_, [&](int c, int v) {
      const auto h = static_cast<std::size_t>(rows_.H(c));
      const std::int16_t dcOffset = static_cast<std::int16_t>(offset[static_cast<std::size_t>(c)]);
      const auto move = [&](std::int64_t i) {
        const std::int16_t* from = rows_.Row(piece_.Sink, piece_.Base + i, c, v);
        std::int16_t* to = rows_.Row({}, mcu + i - index, c, v);
        if (from != to) std::memmove(to, from, h * kBlock * sizeof(std::int16_t));
        for (std::size_t b = 0; b < h; ++b) {
          to[b * kBlock] = static_cast<std::int16_t>(to[b * kBlock] + dcOffset);
        }
      };
      if (shift >= 0) {
        for (std::int64_t i = index; i < needed; ++i) move(i);
      } else {
        for (std::int64_t i = needed - 1; i >= index; --i) move(i);
      }
      BringHome(c, v, mcu);
    });
  }

  // Leaves the store, the reader, the predictors and the walk's state at the last MCU row
  // this decoder started, the later piece's blocks cleared, for the walk to go on from there.
  bool FallBack() {
    piece_.Stop();
    const std::int64_t written =
        std::min(endMcu_, piece_.Base + piece_.Done.load(std::memory_order_acquire) + 1);
    const std::int64_t from = std::max(piece_.Base, checkpoint_.Mcu);
    ForMcuRowsOnTwoThreads(rows_, [&](int c, int v) {
      BringHome(c, v, checkpoint_.Mcu);
      const std::size_t bytes =
          static_cast<std::size_t>(rows_.H(c)) * kBlock * sizeof(std::int16_t);
      for (std::int64_t slot = from; slot < written; ++slot) {
        std::memset(rows_.Row({}, slot, c, v), 0, bytes);
      }
    });
    MoveReaderTo(reader_, checkpoint_.Key);
    reader_.ForgetMarker();
    predictor_ = checkpoint_.Predictor;
    state_.Row = static_cast<int>(checkpoint_.Mcu / cols_ / rowsPerMcuRow_);
    return false;
  }

  const TJpegModel& model_;
  const TScan& scan_;
  TInBitStreamFile& reader_;
  TScanReport& report_;
  TPredictors& predictor_;
  TScanWalkState& state_;
  const int mcuRows_;
  const TMcuLayout layout_;
  const TScanTables tables_;
  const TMcuRows rows_;
  const int rowsPerMcuRow_;
  std::int64_t cols_ = 0;
  std::int64_t firstMcu_ = 0;
  std::int64_t endMcu_ = 0;
  std::vector<std::int16_t, TLargeBufferAllocator<std::int16_t>> side_;
  TMcuSink firstSink_;
  TCheckpoint checkpoint_;
  // Last: its thread reads the members above until it is stopped.
  TLaterPiece piece_;
};

}  // namespace

bool DecodeInTwoPieces(const TJpegModel& model, const TScan& scan, TInBitStreamFile& reader,
                       TCoefficientStore& store, TScanReport& report,
                       std::array<int, TCoefficientStore::kMaxComponents>& predictor,
                       TScanWalkState& state, int mcuRows, const TSplitTuning& tuning) {
  if (scan.RestartInterval != 0) return false;
  TSplitRun run(model, scan, reader, store, report, predictor, state, mcuRows);
  if (run.Mcus() < 2 * std::max<std::int64_t>(1, tuning.MinMcusPerPiece)) return false;
  try {
    if (!run.StartLaterPiece(tuning.SplitByte)) return false;
  } catch (const std::bad_alloc&) {
    return false;  // the one-thread walk needs no side buffers
  }
  return run.Decode();
}

}  // namespace tarvo
