// The lossless trimming engine: analyses a baseline JPEG, decodes its scan once into quantised
// coefficients and writes rectangles of whole MCUs as new JPEG files.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "BitStreamFile.h"
#include "ByteStream.h"
#include "CoefficientArray.h"
#include "EngineCallbacks.h"
#include "HuffmanTable.h"
#include "PagePopulator.h"
#include "TrimRect.h"

namespace tarvo {

class TJpegTrimming {
 public:
  TJpegTrimming();
  TJpegTrimming(const TJpegTrimming&) = delete;
  TJpegTrimming& operator=(const TJpegTrimming&) = delete;

  // Loads the file into SourceStream and analyses it; false after reporting why the engine
  // cannot trim it. File and stream failures raise EStreamError.
  bool AnalyzeFile(const std::string& fileName);
  bool AnalyzeBytes(std::span<const std::uint8_t> bytes);
  // Writes the MCUs of rect as a complete JPEG file into output (position 0 on success).
  // The first trim after an analysis decodes the scan; later ones only encode.
  bool Trim(TByteStream& output, const TTrimRect& rect, bool dropExif);

  int ImageWidth() const { return imageWidth_; }
  int ImageHeight() const { return imageHeight_; }
  // MCU = 8*MaxHSampling x 8*MaxVSampling pixels.
  int MaxHSampling() const { return maxHSampling_; }
  int MaxVSampling() const { return maxVSampling_; }
  // rect with Left and Top moved down to this image's MCU grid (SnapToMcuGrid).
  TTrimRect SnapToGrid(const TTrimRect& rect) const {
    return SnapToMcuGrid(rect, 8 * maxHSampling_, 8 * maxVSampling_);
  }
  int ComponentCount() const { return componentCount_; }
  // 0 without restart markers.
  int RestartInterval() const { return restartEnabled_ ? restartInterval_ : 0; }
  const TByteStream& SourceStream() const { return sourceStream_; }
  // True while the coefficient store holds the whole decoded scan of SourceStream.
  bool DecodedValid() const { return decodedValid_; }

  TMessageProc OnMessage;
  TProgressProc OnProgressStart;
  TProgressProc OnProgress;

 private:
  static constexpr int kSlots = 4;  // component identifiers 0..3 index the slots directly

  // Creates the reader and writer of an operation and releases them when it ends, however.
  class TOperationStreams {
   public:
    TOperationStreams(TJpegTrimming& engine, TByteStream& target);
    ~TOperationStreams();
    TOperationStreams(const TOperationStreams&) = delete;
    TOperationStreams& operator=(const TOperationStreams&) = delete;

   private:
    TJpegTrimming& engine_;
  };

  // Calls visit(slot, block) for every block of MCU (r, m) in coding order: slots in ascending
  // order, each with V rows of H blocks. False as soon as visit returns false.
  template <typename Visit>
  bool ForEachBlockOfMcu(int r, int m, Visit&& visit) {
    for (int slot = 0; slot < kSlots; ++slot) {
      const auto s = static_cast<std::size_t>(slot);
      const int hs = hSampling_[s];
      const int vs = vSampling_[s];
      if (hs == 0 || vs == 0) continue;
      const std::size_t rowBlocks = static_cast<std::size_t>(mcuCols_) * hs;
      for (int v = 0; v < vs; ++v) {
        const std::size_t rowStart =
            (static_cast<std::size_t>(r) * vs + v) * rowBlocks + static_cast<std::size_t>(m) * hs;
        for (int h = 0; h < hs; ++h) {
          if (!visit(s, store_[s].Block(rowStart + h))) return false;
        }
      }
    }
    return true;
  }

  bool ParseHeaders();
  // The next marker word, past any fill bytes 0xFF before it (ITU-T T.81 B.1.1.2).
  std::uint16_t ReadMarker();
  void Report(std::string_view text);
  void ReportProgressStart(int total);
  void ReportProgress(int position);
  // The header walk shared by the analysis and the trim: resets what the headers fill.
  void ResetHeaderState();

  // Segment handlers, called with the marker word read; false after a report.
  int ReadSof0();  // the component count, -1 after a report
  bool ReadDht();
  bool CopyDqt();
  bool ReadSos();
  bool ReadDri();
  bool SkipSegment();
  bool CopyApp1();
  // Reads a segment's length word; false (after a report) when it is below 2 or the segment
  // runs past the end of the stream.
  bool ReadSegmentLength(std::uint16_t& length, bool copy);
  void CopyBytes(std::size_t count);
  // MCU grid of the frame, and whether the bytes after the SOS can hold its blocks.
  void ComputeMcuGrid();
  bool CheckScanLength();

  bool DecodeAllMcus();
  void AllocateStore();
  // Reads the marker ending a restart interval; false unless it is RSTn with n = number.
  bool ReadRestartMarker(int number);
  // Finds where the copied tail starts after the coded data, and whether it holds an EOI;
  // false after a report when something other than APPn or COM segments comes before EOI.
  bool LocateTail(std::int64_t& start, bool& hasEoi);
  void BuildEncodeTables();
  // Bytes of the output, [Start, End).
  struct TOutputSpan {
    std::int64_t Start = 0;
    std::int64_t End = 0;
  };
  // Makes the encode tables hold a code for every symbol of the window: the source's tables
  // when they do, else tables fitted to the window, which replace the DHT segments in output.
  bool FitTablesToWindow(TByteStream& output, const std::vector<TOutputSpan>& dhtSegments);
  // Walks the MCU window in coding order: atRow(r) before each MCU row, visit(slot, block,
  // predictor) for each block with its slot's DC predictor, which starts at 0 with the window
  // and after each restart point, and atRestart() where a restart marker goes. False as soon
  // as visit returns false.
  template <typename AtRow, typename Visit, typename AtRestart>
  bool WalkWindow(AtRow&& atRow, Visit&& visit, AtRestart&& atRestart);
  bool EncodeWindow();
  bool TrimScan(TByteStream& output, const TTrimRect& rect);

  const THuffmanTable& Table(int tableClass, int destination) const {
    return huffmanTables_[static_cast<std::size_t>(tableClass * 2 + destination)];
  }

  std::optional<TInBitStreamFile> reader_;
  std::optional<TOutBitStreamFile> writer_;
  // Indexed by class (0 DC, 1 AC) * 2 + destination.
  std::array<THuffmanTable, 4> huffmanTables_;
  std::array<int, kSlots> dcSelector_{};
  std::array<int, kSlots> acSelector_{};
  std::array<int, kSlots> quantSelector_{};
  unsigned quantDefined_ = 0;  // bit t set once DQT has defined table t
  std::array<THuffmanEncodeTable, 4> encodeTables_;
  // Per component slot, the blocks in scan (zig-zag) order of each coefficient.
  std::array<TCoefficientArray, kSlots> store_;
  // Declared after the store: it must stop touching the store before the store is freed.
  TPagePopulator populator_;
  int imageWidth_ = 0;
  int imageHeight_ = 0;
  std::array<int, kSlots> dcPredictor_{};
  int mcuCols_ = 0;
  int mcuRows_ = 0;
  std::array<int, kSlots> hSampling_{};
  std::array<int, kSlots> vSampling_{};
  bool restartEnabled_ = false;
  int restartInterval_ = 0;
  int restartCount_ = 0;
  int trimWidth_ = 0;
  int trimHeight_ = 0;
  int firstCol_ = 0, firstRow_ = 0, endCol_ = 0, endRow_ = 0;
  bool dropExif_ = false;
  bool decodedValid_ = false;
  std::int64_t scanEndPosition_ = 0;
  int maxHSampling_ = 1;
  int maxVSampling_ = 1;
  int componentCount_ = 0;
  bool frameSeen_ = false;
  TByteStream sourceStream_;
};

}  // namespace tarvo
