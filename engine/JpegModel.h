// The structure of a JPEG file as analysis reads it once: frame, components, tables, scans and
// the header segments a trim writes again. Every value in it has been checked against the file.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "HuffmanTable.h"
#include "JpegMarkers.h"

namespace tarvo {

struct TFrameComponent {
  std::uint8_t Id = 0;
  // The factors the blocks are laid out by. A one-component frame codes single blocks in
  // raster order whatever the frame says (ITU-T T.81 A.2.2), which is the layout of 1 x 1.
  int HSampling = 1;
  int VSampling = 1;
  int QuantTable = 0;
  // The blocks that cover the component's samples: what a scan of it alone codes (A.2.2).
  int BlocksWide = 0;
  int BlocksHigh = 0;
};

struct TScanComponent {
  int Component = 0;  // index into the frame's components, which is also its store slot
  int DcTable = -1;   // index into TJpegModel::HuffmanTables, -1 when the scan needs none
  int AcTable = -1;
  std::uint8_t Selectors = 0;  // the scan header's Td << 4 | Ta
};

struct TScan {
  std::vector<TScanComponent> Components;  // in frame order
  // Spectral selection and successive approximation (ITU-T T.81 B.2.3).
  int SpectralStart = 0;
  int SpectralEnd = 63;
  int ApproximationHigh = 0;
  int ApproximationLow = 0;
  int RestartInterval = 0;  // MCUs per interval, 0 without restart markers
  std::int64_t DataStart = 0;
  // Where the marker after the coded data starts; for the scan of a single-scan file it is
  // found by decoding.
  std::int64_t DataEnd = 0;
};

// A segment before the first scan; the trim writes its marker and copies or rewrites the rest.
struct TSegment {
  enum class TKind { kCopied, kFrame, kHuffman, kExif, kScanHeader };
  TKind Kind = TKind::kCopied;
  std::uint16_t Marker = 0;
  std::int64_t Start = 0;  // the length word
  std::int64_t End = 0;    // one past the last byte
};

// Huffman table slots: class (0 DC, 1 AC) * 4 + destination.
inline constexpr int kHuffmanSlots = 8;

// A scan may be a few bytes that code whole runs of blocks, while decoding it walks every block
// of its component: a small file of many such scans would keep the engine, and the window's
// decoder after it, busy for minutes. Real progressive files have a few dozen scans at most;
// libjpeg-turbo's own guard against this stops at the same count.
inline constexpr std::size_t kMaxScans = 500;
inline constexpr int HuffmanSlot(int tableClass, int destination) {
  return tableClass * 4 + destination;
}

struct TJpegModel {
  std::uint16_t FrameMarker = 0;
  int Width = 0;
  int Height = 0;
  std::vector<TFrameComponent> Components;
  int MaxHSampling = 1;
  int MaxVSampling = 1;
  int McuCols = 0;
  int McuRows = 0;
  // Bit t set when quantisation table t has 16-bit entries.
  unsigned SixteenBitQuant = 0;
  // Every table a DHT segment defines, redefinitions included; the scans point into it.
  std::vector<THuffmanTable> HuffmanTables;
  // The tables in force when the first scan starts, by slot; -1 where none is defined.
  std::array<int, kHuffmanSlots> HeaderTables{};
  // Bit slot set where the first scan takes a standard table (ITU-T T.81 K.3) because the
  // file defines none there; the output must then carry it.
  unsigned StandardTables = 0;
  std::vector<TScan> Scans;
  std::vector<TSegment> Header;  // up to and including the first scan header

  // The table at index, or an empty one, which matches no code, for -1.
  const THuffmanTable& Table(int index) const {
    static const THuffmanTable kNone;
    return index < 0 ? kNone : HuffmanTables[static_cast<std::size_t>(index)];
  }

  // An MCU covers this many pixels: the grid a trim's origin lies on.
  int McuWidth() const { return 8 * MaxHSampling; }
  int McuHeight() const { return 8 * MaxVSampling; }

  bool Progressive() const { return FrameMarker == markers::kSof2; }
  // One sequential scan with every component: the file's own scan header and tables can serve
  // the trim.
  bool SingleScan() const {
    return !Progressive() && Scans.size() == 1 && Scans[0].Components.size() == Components.size();
  }
  // A trim is sequential: baseline, or extended where a component's quantisation table has
  // 16-bit entries, which baseline does not allow (ITU-T T.81 B.2.4.1).
  std::uint16_t OutputFrameMarker() const {
    if (!Progressive()) return FrameMarker;
    for (const TFrameComponent& component : Components) {
      if ((SixteenBitQuant >> component.QuantTable & 1) != 0) return markers::kSof1;
    }
    return markers::kSof0;
  }
};

}  // namespace tarvo
