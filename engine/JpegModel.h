// The structure of a JPEG file as analysis reads it once: frame, components, tables, scans and
// the header segments a trim writes again. Every value in it has been checked against the file.
#pragma once

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

#include "HuffmanTable.h"
#include "JpegError.h"
#include "JpegMarkers.h"
#include "TrimRect.h"

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

// How an arithmetic-coded scan conditions its statistics, by table destination, as the DAC
// segments before it leave them (ITU-T T.81 B.2.4.3, F.1.4.4): the bounds L and U that
// classify a DC difference, and the index Kx that splits an AC band. Defaults: 0, 1 and 5.
struct TArithmeticConditioning {
  std::array<std::uint8_t, 4> DcLower{0, 0, 0, 0};
  std::array<std::uint8_t, 4> DcUpper{1, 1, 1, 1};
  std::array<std::uint8_t, 4> AcThreshold{5, 5, 5, 5};
};

struct TScan {
  std::vector<TScanComponent> Components;  // in frame order
  // Spectral selection and successive approximation (ITU-T T.81 B.2.3).
  int SpectralStart = 0;
  int SpectralEnd = 63;
  int ApproximationHigh = 0;
  int ApproximationLow = 0;
  int RestartInterval = 0;  // MCUs per interval, 0 without restart markers
  TArithmeticConditioning Conditioning;
  std::int64_t DataStart = 0;
  // Where the marker after the coded data starts (its last fill byte 0xFF), or the file's size.
  std::int64_t DataEnd = 0;
};

// A marker segment of the file: its marker, then Start (its length word) to End.
struct TSegment {
  enum class TKind {
    kFrame,
    kHuffman,
    kQuant,
    kScanHeader,
    kExif,  // APP1 with Exif data: the TIFF structure starts 6 bytes into its body
    kApp1,  // any other APP1, left out with the Exif segments on request
    kMpf,   // APP2 with MPF data: the MP header starts 4 bytes into its body
    kOther,
  };
  TKind Kind = TKind::kOther;
  std::uint16_t Marker = 0;
  std::int64_t Start = 0;  // the length word
  std::int64_t End = 0;    // one past the last byte

  // Where the marker itself starts: its 0xFF, after any fill bytes.
  std::size_t MarkerStart() const { return static_cast<std::size_t>(Start) - 2; }
  std::size_t Body() const { return static_cast<std::size_t>(Start) + 2; }
};

// True when segment of jpeg has the marker and its body starts with identifier.
inline bool SegmentIs(std::span<const std::uint8_t> jpeg, const TSegment& segment,
                      std::uint16_t marker, std::string_view identifier) {
  return segment.Marker == marker &&
         static_cast<std::size_t>(segment.End) - segment.Body() >= identifier.size() &&
         std::equal(identifier.begin(), identifier.end(),
                    jpeg.begin() + static_cast<std::ptrdiff_t>(segment.Body()));
}

// MCUs First to End - 1 in raster order over a frame's MCU grid.
struct TMcuRange {
  int First = 0;
  int End = 0;

  friend bool operator==(const TMcuRange&, const TMcuRange&) = default;
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
  // The file's layout: every marker segment between SOI and EOI in file order, each scan's
  // coded data lying between its header and the next segment. The coded data of the last scan
  // end at Scans.back().DataEnd.
  std::vector<TSegment> Segments;
  // Where EOI starts; the file's size when it has none.
  std::int64_t Eoi = 0;
  // Why the segments after the coded data cannot follow a trim's scan, or kNone: only APPn and
  // COM segments may stand before EOI. Analysis accepts such a file; a trim refuses it.
  EJpegError TailFault = EJpegError::kNone;
  // The MCUs of restart intervals whose data could not be read, and those from the MCU row where
  // a scan could not be read on to the end, found when the scans are decoded: no trim may take
  // them, and every other block is exact.
  std::vector<TMcuRange> Damaged;
  // What analysis read past in a damaged file, in file order, for the user once it succeeds.
  std::vector<TJpegWarning> Warnings;

  // The table at index, or an empty one, which matches no code, for -1.
  const THuffmanTable& Table(int index) const {
    static const THuffmanTable kNone;
    return index < 0 ? kNone : HuffmanTables[static_cast<std::size_t>(index)];
  }

  // The pixels of the picture that range covers: its MCUs' own within one MCU row, else whole
  // MCU rows.
  TTrimRect RegionOf(const TMcuRange& range) const {
    const int firstRow = range.First / McuCols;
    const int lastRow = (range.End - 1) / McuCols;
    const bool oneRow = firstRow == lastRow;
    const int left = oneRow ? range.First % McuCols * McuWidth() : 0;
    const int right = oneRow ? ((range.End - 1) % McuCols + 1) * McuWidth() : Width;
    return {left, firstRow * McuHeight(), std::min(right, Width),
            std::min((lastRow + 1) * McuHeight(), Height)};
  }

  // An MCU covers this many pixels: the grid a trim's origin lies on.
  int McuWidth() const { return 8 * MaxHSampling; }
  int McuHeight() const { return 8 * MaxVSampling; }

  // Sets the largest sampling factors, the MCU grid and each component's blocks from the size
  // and the components' sampling factors.
  void LayOutBlocks() {
    MaxHSampling = MaxVSampling = 1;
    for (const TFrameComponent& component : Components) {
      MaxHSampling = std::max(MaxHSampling, component.HSampling);
      MaxVSampling = std::max(MaxVSampling, component.VSampling);
    }
    McuCols = (Width + McuWidth() - 1) / McuWidth();
    McuRows = (Height + McuHeight() - 1) / McuHeight();
    for (TFrameComponent& component : Components) {
      // ITU-T T.81 A.1.1: a component has ceil(X * H / Hmax) samples per line.
      const int samplesWide = (Width * component.HSampling + MaxHSampling - 1) / MaxHSampling;
      const int samplesHigh = (Height * component.VSampling + MaxVSampling - 1) / MaxVSampling;
      component.BlocksWide = (samplesWide + 7) / 8;
      component.BlocksHigh = (samplesHigh + 7) / 8;
    }
  }

  // The segments up to and including the first scan header.
  std::span<const TSegment> HeaderSegments() const {
    const auto scan = std::find_if(Segments.begin(), Segments.end(), [](const TSegment& segment) {
      return segment.Kind == TSegment::TKind::kScanHeader;
    });
    return {Segments.begin(), scan == Segments.end() ? scan : scan + 1};
  }
  // The segments between the coded data and EOI.
  std::span<const TSegment> TailSegments() const {
    const std::int64_t dataEnd = Scans.back().DataEnd;
    const auto first = std::find_if(Segments.begin(), Segments.end(),
                                    [dataEnd](const TSegment& s) { return s.Start > dataEnd; });
    return {first, Segments.end()};
  }

  bool Progressive() const {
    return FrameMarker == markers::kSof2 || FrameMarker == markers::kSof10;
  }
  bool Arithmetic() const {
    return FrameMarker == markers::kSof9 || FrameMarker == markers::kSof10;
  }
  // One sequential Huffman scan with every component: the file's own scan header and tables
  // can serve the trim.
  bool SingleScan() const {
    return !Progressive() && !Arithmetic() && Scans.size() == 1 &&
           Scans[0].Components.size() == Components.size();
  }
  // A trim is sequential and Huffman-coded: baseline, or extended where a component's
  // quantisation table has 16-bit entries, which baseline does not allow (ITU-T T.81 B.2.4.1).
  std::uint16_t OutputFrameMarker() const {
    if (!Progressive() && !Arithmetic()) return FrameMarker;
    for (const TFrameComponent& component : Components) {
      if ((SixteenBitQuant >> component.QuantTable & 1) != 0) return markers::kSof1;
    }
    return markers::kSof0;
  }
};

}  // namespace tarvo
