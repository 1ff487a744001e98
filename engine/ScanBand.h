// Rows of a sequential Huffman scan without restart markers read past block by block: the DC
// value of each block, and where each MCU's coded data start. A wipe takes its fills and the
// thumbnail's DC values from them, and copies the MCUs it leaves as they are coded.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "BitStreamFile.h"
#include "CoefficientStore.h"
#include "DcPicture.h"
#include "JpegModel.h"

namespace tarvo {

// Where an MCU's coded data start, and the DC predictors there: each component's DC value of
// its last block before the MCU in coding order.
struct TMcuStart {
  TBitPlace Place;
  std::array<std::int16_t, TCoefficientStore::kMaxComponents> Predictors{};
};

// The MCUs of rows FirstRow to EndRow - 1 as a walk found them, in coding order, then where
// the last one ends.
struct TScanBand {
  int FirstRow = 0;
  int EndRow = 0;
  int Cols = 0;
  std::vector<TMcuStart> Starts;
  // The MCU in row row and column col; col Cols of the last row is the end.
  const TMcuStart& At(int row, int col) const {
    return Starts[static_cast<std::size_t>(row - FirstRow) * static_cast<std::size_t>(Cols) +
                  static_cast<std::size_t>(col)];
  }
};

// Walks MCU rows firstRow to endRow - 1 of the single scan of model, a sequential Huffman scan
// without restart markers, from start, which the rows above end at: every block's DC value goes
// to dc, if given (TDcPicture::Put), and with band, where every MCU starts. Many rows are walked
// in two pieces at once, the later one from a guessed byte, as SplitScanDecode.h tells, and by
// one walk where the pieces do not agree. Returns where the rows end, or nothing when a block
// does not decode, a marker or the end of bytes comes first, or after the picture's last row its
// data do not end as an encoder ends them.
std::optional<TMcuStart> WalkDcValues(const TJpegModel& model, std::span<const std::uint8_t> bytes,
                                      const TMcuStart& start, int firstRow, int endRow,
                                      TDcPicture* dc, TScanBand* band = nullptr);

}  // namespace tarvo
