#include "ScanBand.h"

#include <algorithm>
#include <new>
#include <system_error>

#include "GuessedPiece.h"
#include "HuffmanBlockCoder.h"
#include "JpegMarkers.h"
#include "LargeBuffer.h"
#include "ScanWalk.h"
#include "StreamError.h"

namespace tarvo {

namespace {

using TPredictors = std::array<int, TCoefficientStore::kMaxComponents>;
using TMcuDc = std::array<std::int16_t, kMaxMcuBlocks>;
// The fewest MCUs each piece must take for a second thread to pay.
constexpr std::int64_t kMinMcusPerPiece = 4096;

TMcuStart StartOf(const TBitPlace& place, const TPredictors& predictors,
                  const TPredictors& offset = {}) {
  TMcuStart start{place, {}};
  for (std::size_t c = 0; c < predictors.size(); ++c) {
    start.Predictors[c] = static_cast<std::int16_t>(predictors[c] + offset[c]);
  }
  return start;
}

// Notes the DC values of the MCU in row r and column m, each moved by its component's offset.
void PutMcu(TDcPicture* dc, const TMcuLayout& layout, int r, int m, const TMcuDc& dcs,
            const TPredictors& offset) {
  if (dc == nullptr) return;
  std::size_t j = 0;
  WalkMcuBlocks(layout, r, m, [&](int c, std::size_t row, std::size_t col) {
    const auto k = static_cast<std::size_t>(c);
    dc->Put(layout.Components[k].Slot, row, col, static_cast<std::int16_t>(dcs[j++] + offset[k]));
    return true;
  });
}

// Whether the data end at place as an encoder ends them: the last byte padded with 1-bits
// (ITU-T T.81 F.1.2.3), then only zero filler up to the marker after them, as a whole decoding
// of the scan demands.
bool EndsAsEncoded(std::span<const std::uint8_t> bytes, const TBitPlace& place) {
  EJpegError marker = EJpegError::kNone;
  TBitBuffer bits(bytes.data(), bytes.size(), &marker);
  bits.Start(place.Byte);
  std::size_t skipped = 0;
  try {
    bits.ReadBits(place.Bits);
    const std::size_t after = bits.Position();
    markers::NextMarkerCode(bytes, after, skipped);
    const auto left = bytes.subspan(after, skipped);
    return PaddedWithOnes(bits) &&
           std::all_of(left.begin(), left.end(), [](std::uint8_t b) { return b == 0; });
  } catch (const EStreamError&) {
    return false;
  }
}

// The later piece, walked on its own thread: Dcs[i] holds the DC values of its MCU i's blocks,
// as its guessed predictors make them.
struct TDcPiece : TGuessedPiece<TBitPlace> {
  std::vector<TMcuDc, TLargeBufferAllocator<TMcuDc>> Dcs;

  // The thread reads the member above until it is stopped.
  ~TDcPiece() { Stop(); }

  void WalkDc(std::span<const std::uint8_t> bytes, const TMcuTables& tables) {
    Walk(
        bytes,
        [&](TBitBuffer& bits, TPredictors& predictor, std::int64_t i) {
          return SkipMcu(bits, tables, predictor.data(), Dcs[static_cast<std::size_t>(i)].data());
        },
        [](const TBitBuffer& bits) { return bits.Place(); });
  }
};

}  // namespace

std::optional<TMcuStart> WalkDcValues(const TJpegModel& model, std::span<const std::uint8_t> bytes,
                                      const TMcuStart& start, int firstRow, int endRow,
                                      TDcPicture* dc, TScanBand* band) {
  const TScan& scan = model.Scans[0];
  const TScanTables scanTables = ScanTables(model, scan);
  TMcuLayout layout = ScanLayout(model, scan);
  layout.FirstRow = firstRow;
  layout.EndRow = endRow;
  const std::optional<TMcuTables> tables = McuTablesOf(scanTables.Dc, scanTables.Ac, layout);
  if (!tables) return std::nullopt;
  const std::int64_t cols = layout.EndCol;
  const std::int64_t mcus = std::int64_t{std::max(0, endRow - firstRow)} * cols;
  TPredictors predictor{};
  std::copy(start.Predictors.begin(), start.Predictors.end(), predictor.begin());
  if (band != nullptr) {
    band->FirstRow = firstRow;
    band->EndRow = endRow;
    band->Cols = layout.EndCol;
    band->Starts.clear();
    band->Starts.reserve(static_cast<std::size_t>(mcus) + 1);
  }
  const bool last = endRow >= model.McuRows && model.McuRows > 1;
  // The later piece starts near the middle of the rows' data, as if the scan's bytes spread
  // evenly over its MCUs.
  const auto dataEnd = std::min(static_cast<std::size_t>(scan.DataEnd), bytes.size());
  const double perMcu = static_cast<double>(dataEnd - static_cast<std::size_t>(scan.DataStart)) /
                        (static_cast<double>(model.McuRows) * static_cast<double>(cols));
  const std::size_t split = DecodableByte(
      bytes,
      std::min(dataEnd, start.Place.Byte + 1 +
                            static_cast<std::size_t>(perMcu * static_cast<double>(mcus) / 2)),
      dataEnd);
  TDcPiece piece;
  bool alone = mcus < 2 * kMinMcusPerPiece || split >= dataEnd;
  if (!alone) {
    try {
      piece.Prepare(split, dataEnd, mcus / 2 + mcus / 4 + 1);
      piece.Dcs.resize(static_cast<std::size_t>(piece.Limit + 1));
      piece.Thread = std::jthread([&] { piece.WalkDc(bytes, *tables); });
    } catch (const std::bad_alloc&) {
      alone = true;
    } catch (const std::system_error&) {
      alone = true;
    }
  }
  EJpegError marker = EJpegError::kNone;
  TBitBuffer bits(bytes.data(), bytes.size(), &marker);
  bits.Start(start.Place.Byte);
  std::int64_t cursor = 0;
  std::int64_t walked = 0;
  std::optional<TMcuStart> end;
  TMcuDc dcs{};
  try {
    bits.ReadBits(start.Place.Bits);
    WalkWholeMcus(
        layout, [](int) {},
        [&](int r, int m) {
          // Where the MCU starts matters to the band and to the meeting with the piece only.
          const TBitPlace place = band != nullptr || !alone ? bits.Place() : TBitPlace{};
          if (band != nullptr) band->Starts.push_back(StartOf(place, predictor));
          if (!alone && !(place < TBitPlace{split, 0})) {
            const EStartFound found = piece.FindStart(place, cursor);
            if (found == EStartFound::kNever) {
              piece.Stop();
              alone = true;
            } else if (found == EStartFound::kHere) {
              // From here on the piece's MCUs are the rows', their DC values off by what the
              // predictors differ by, when it walked them all from one start.
              const std::int64_t needed = cursor + (mcus - walked);
              if (!piece.TakeTo(cursor, needed)) {
                alone = true;
              } else {
                TPredictors offset{};
                const TPredictors& guessed = piece.Predictors[static_cast<std::size_t>(cursor)];
                for (std::size_t c = 0; c < offset.size(); ++c) {
                  offset[c] = predictor[c] - guessed[c];
                }
                for (std::int64_t i = cursor; i < needed; ++i) {
                  const std::int64_t mcu = walked + (i - cursor);
                  const auto at = static_cast<std::size_t>(i);
                  PutMcu(dc, layout, firstRow + static_cast<int>(mcu / cols),
                         static_cast<int>(mcu % cols), piece.Dcs[at], offset);
                  if (band != nullptr && i > cursor) {
                    band->Starts.push_back(StartOf(piece.Starts[at], piece.Predictors[at], offset));
                  }
                }
                const auto after = static_cast<std::size_t>(needed);
                end = StartOf(piece.Starts[after], piece.Predictors[after], offset);
                return false;
              }
            }
          }
          if (!SkipMcu(bits, *tables, predictor.data(), dcs.data())) return false;
          PutMcu(dc, layout, r, m, dcs, {});
          ++walked;
          return true;
        },
        [] { return true; });
  } catch (const EStreamError&) {
    return std::nullopt;
  }
  piece.Stop();
  if (!end) {
    if (walked < mcus) return std::nullopt;
    end = StartOf(bits.Place(), predictor);
  }
  if (band != nullptr) band->Starts.push_back(*end);
  // A picture of one MCU row is read on as libjpeg reads it, as its decoding does.
  if (last && !EndsAsEncoded(bytes, end->Place)) return std::nullopt;
  return end;
}

}  // namespace tarvo
