// The trim: header copy, the MCU window encoded from the coefficient store, the tail.
#include <algorithm>
#include <cstdio>
#include <new>
#include <span>
#include <vector>

#include "ExifRewrite.h"
#include "HuffmanBlockCoder.h"
#include "JpegMarkers.h"
#include "JpegTrimming.h"
#include "Messages.h"
#include "OptimalHuffmanTable.h"

namespace tarvo {

using namespace markers;

namespace {

constexpr std::uint32_t kExifIdentifier = 0x45786966;  // "Exif"

}  // namespace

bool TJpegTrimming::Trim(TByteStream& output, const TTrimRect& rect, bool dropExif) {
  // Kept in 64 bits until checked: a rectangle from a caller may be anything.
  trimWidth_ = static_cast<int>(std::int64_t{rect.Right} - rect.Left);
  trimHeight_ = static_cast<int>(std::int64_t{rect.Bottom} - rect.Top);
  dropExif_ = dropExif;
  sourceStream_.SetPosition(0);
  output.Clear();
  ResetHeaderState();
  const TOperationStreams streams(*this, output);
  try {
    return TrimScan(output, rect);
  } catch (const std::bad_alloc&) {
    Report(kMsgOutOfMemory);
    return false;
  }
}

bool TJpegTrimming::TrimScan(TByteStream& output, const TTrimRect& rect) {
  if (reader_->ReadWord() != kSoi) {
    Report(kMsgTrimNoSoi);
    return false;
  }
  writer_->WriteWord(kSoi);
  std::vector<TOutputSpan> dhtSegments;
  for (;;) {
    const std::uint16_t marker = ReadMarker();
    if (marker == kSof0) {
      const int components = ReadSof0();
      if (components == 4) Report(kMsgNotYCbCr);
      if (components <= 0 || components == 4) return false;
      continue;
    }
    if (marker == kDht) {
      const std::int64_t start = output.Position();
      if (!ReadDht()) return false;
      dhtSegments.push_back({start, output.Position()});
      continue;
    }
    if (marker == kDqt || marker == kApp1) {
      if (!(marker == kDqt ? CopyDqt() : CopyApp1())) return false;
      continue;
    }
    // Where the source has no DHT before its scan, tables fitted to the window go just
    // before the SOS.
    if (marker == kSos && dhtSegments.empty()) {
      dhtSegments.push_back({output.Position(), output.Position()});
    }
    // The remaining segments are interpreted, then copied byte for byte.
    reader_->MarkPosition();
    writer_->WriteWord(marker);
    bool ok;
    if (marker == kSof2) {
      Report(kMsgProgressive);
      return false;
    } else if (marker == kSos) {
      ok = ReadSos() && CheckScanLength();
    } else if (marker == kDri) {
      ok = ReadDri();
    } else if (IsAppOrCom(marker)) {
      ok = SkipSegment();
    } else {
      Report(FormatMessage(kMsgTrimUnknownMarker, HexWord(marker)));
      return false;
    }
    if (!ok) return false;
    const std::int64_t length = reader_->BytesSinceMark();
    reader_->ReturnToMark();
    CopyBytes(static_cast<std::size_t>(length));
    if (marker == kSos) break;
  }

  if (rect.Left < 0 || rect.Top < 0 || rect.Left >= rect.Right || rect.Top >= rect.Bottom ||
      rect.Right > imageWidth_ || rect.Bottom > imageHeight_) {
    Report(kMsgRectOutside);
    return false;
  }
  ComputeMcuGrid();
  ReportProgressStart(mcuCols_ + mcuRows_);
  ReportProgress(0);
  const int mcuWidth = 8 * maxHSampling_;
  const int mcuHeight = 8 * maxVSampling_;
  // A Left or Top off the grid moves the window back to the grid line before it; the window
  // then spans the MCUs that the declared size covers from there, which is what a decoder
  // reads. Counting to the MCU of Right instead would code one column too many per row.
  firstCol_ = rect.Left / mcuWidth;
  endCol_ = firstCol_ + (trimWidth_ + mcuWidth - 1) / mcuWidth;
  firstRow_ = rect.Top / mcuHeight;
  endRow_ = firstRow_ + (trimHeight_ + mcuHeight - 1) / mcuHeight;

  const std::int64_t scanStart = reader_->Position();
  if (decodedValid_) {
    reader_->SetPosition(scanEndPosition_);
  } else {
    if (!DecodeAllMcus()) return false;
    decodedValid_ = true;
    scanEndPosition_ = reader_->Position();
  }
  std::int64_t tailStart = 0;
  bool tailHasEoi = false;
  if (!LocateTail(tailStart, tailHasEoi)) return false;
  // The window's share of the coded data, with room to spare, saves regrowing the output.
  const double share = static_cast<double>(endCol_ - firstCol_) * (endRow_ - firstRow_) /
                       (static_cast<double>(mcuCols_) * mcuRows_);
  output.Reserve(static_cast<std::size_t>(output.Size() +
                                          share * 1.1 * (scanEndPosition_ - scanStart) +
                                          (sourceStream_.Size() - scanEndPosition_) + 1024));

  BuildEncodeTables();
  if (!FitTablesToWindow(output, dhtSegments) || !EncodeWindow()) return false;
  // The tail (EOI and whatever follows it) in one block; its first byte pads the last coded
  // byte with 1-bits. A source that ends without EOI gets one, so that the output is whole.
  reader_->SetPosition(tailStart);
  CopyBytes(static_cast<std::size_t>(sourceStream_.Size() - tailStart));
  if (!tailHasEoi) writer_->WriteWord(kEoi);
  writer_->FlushBits();
  decodedValid_ = true;
  output.SetPosition(0);
  return true;
}

bool TJpegTrimming::LocateTail(std::int64_t& start, bool& hasEoi) {
  const std::span<const std::uint8_t> bytes = sourceStream_.Bytes();
  const std::size_t size = bytes.size();
  const auto markerAt = [&](std::size_t at) {
    return at + 1 < size && bytes[at] == 0xFF && bytes[at + 1] != 0x00 && bytes[at + 1] != 0xFF;
  };
  // Bytes between the last coded byte and the next marker belong to no block (a decoder skips
  // them, a stray RSTn included): they are left out, so the output holds only what it shows.
  auto at = static_cast<std::size_t>(scanEndPosition_);
  while (at < size && !(markerAt(at) && (bytes[at + 1] & 0xF8) != (kRst0 & 0xF8))) ++at;
  start = static_cast<std::int64_t>(at);
  hasEoi = false;
  while (at < size) {
    const auto marker = static_cast<std::uint16_t>(0xFF00 | bytes[at + 1]);
    if (marker == kEoi) {
      hasEoi = true;
      return true;
    }
    // Comments and application data may sit between the scan and EOI; another scan, frame
    // or table would not survive the trim, and a decoder would read the output wrongly.
    if (!IsAppOrCom(marker)) {
      Report(kMsgBadTail);
      return false;
    }
    const std::size_t length = at + 4 <= size ? (bytes[at + 2] << 8 | bytes[at + 3]) : 0;
    if (length < 2 || length > size - at - 2) {
      Report(kMsgBadSegmentLength);
      return false;
    }
    at += 2 + length;
    while (at + 1 < size && bytes[at] == 0xFF && bytes[at + 1] == 0xFF) ++at;  // fill bytes
    if (at < size && !markerAt(at)) {
      Report(kMsgBadTail);
      return false;
    }
  }
  return true;
}

void TJpegTrimming::BuildEncodeTables() {
  for (std::size_t i = 0; i < encodeTables_.size(); ++i) encodeTables_[i].Build(huffmanTables_[i]);
}

template <typename AtRow, typename Visit, typename AtRestart>
bool TJpegTrimming::WalkWindow(AtRow&& atRow, Visit&& visit, AtRestart&& atRestart) {
  dcPredictor_.fill(0);
  restartCount_ = 0;
  for (int r = firstRow_; r < endRow_; ++r) {
    atRow(r);
    for (int m = firstCol_; m < endCol_; ++m) {
      const bool visited = ForEachBlockOfMcu(r, m, [&](std::size_t s, const std::int16_t* block) {
        return visit(s, block, dcPredictor_[s]);
      });
      if (!visited) return false;
      if (restartEnabled_ && ++restartCount_ == restartInterval_ &&
          !(r == endRow_ - 1 && m == endCol_ - 1)) {
        dcPredictor_.fill(0);
        restartCount_ = 0;
        atRestart();
      }
    }
  }
  return true;
}

bool TJpegTrimming::FitTablesToWindow(TByteStream& output,
                                      const std::vector<TOutputSpan>& dhtSegments) {
  // The window's first blocks and those after its restart points are coded against 0, and
  // the first block of each window row against the end of the row above, so the window can
  // need DC categories, and odd encoders AC symbols, that the source's own blocks never used.
  std::array<TSymbolCounts, 4> counts{};
  const bool codable = WalkWindow(
      [](int) {},
      [&](std::size_t s, const std::int16_t* block, int& predictor) {
        return CountBlockSymbols(block, predictor, counts[static_cast<std::size_t>(dcSelector_[s])],
                                 counts[static_cast<std::size_t>(2 + acSelector_[s])]);
      },
      [] {});
  if (!codable) {
    Report(kMsgUncodableCoefficient);
    return false;
  }
  bool covered = true;
  for (std::size_t i = 0; i < counts.size(); ++i) {
    for (std::size_t symbol = 0; symbol < 256; ++symbol) {
      covered = covered && (counts[i][symbol] == 0 || encodeTables_[i].Length[symbol] != 0);
    }
  }
  if (covered) return true;

  // One DHT segment with every table the source defines, those of the scan fitted to the
  // window (ITU-T T.81 K.2), in place of the first DHT segment; later ones go.
  std::vector<std::uint8_t> segment = {kDht >> 8, kDht & 0xFF, 0, 0};
  for (std::size_t i = 0; i < counts.size(); ++i) {
    const int tableClass = static_cast<int>(i / 2);
    const int destination = static_cast<int>(i % 2);
    const bool used = std::any_of(counts[i].begin(), counts[i].end(),
                                  [](std::uint64_t count) { return count != 0; });
    if (used) {
      const TOptimalCode code = BuildOptimalCode(counts[i]);
      AppendDhtTable(segment, tableClass, destination, code.Counts, code.Symbols.data());
      THuffmanTable table;
      table.Assign(code.Counts, code.Symbols.data());
      encodeTables_[i].Build(table);
    } else if (huffmanTables_[i].Count > 0) {
      AppendDhtTable(segment, tableClass, destination, huffmanTables_[i]);
    }
  }
  // Four tables of at most 17 + 256 bytes each keep the length within 16 bits.
  segment[2] = static_cast<std::uint8_t>((segment.size() - 2) >> 8);
  segment[3] = static_cast<std::uint8_t>(segment.size() - 2);

  // The header written so far follows the new segment, less the source's DHT segments.
  const std::span<const std::uint8_t> written = output.Bytes();
  const auto at = [&](std::int64_t position) {
    return written.begin() + static_cast<std::ptrdiff_t>(position);
  };
  const std::int64_t first = dhtSegments.front().Start;
  std::int64_t kept = first;
  for (const TOutputSpan& span : dhtSegments) {
    segment.insert(segment.end(), at(kept), at(span.Start));
    kept = span.End;
  }
  segment.insert(segment.end(), at(kept), written.end());
  output.Resize(static_cast<std::size_t>(first));
  output.SetPosition(first);
  output.Write(segment.data(), segment.size());
  return true;
}

bool TJpegTrimming::EncodeWindow() {
  int restartNumber = 0;
  TOutBitStreamFile& writer = *writer_;
  const bool encoded = WalkWindow(
      [&](int r) { ReportProgress(mcuRows_ + r); },
      [&](std::size_t s, const std::int16_t* block, int& predictor) {
        return EncodeBlock(writer, encodeTables_[static_cast<std::size_t>(dcSelector_[s])],
                           encodeTables_[static_cast<std::size_t>(2 + acSelector_[s])], predictor,
                           block);
      },
      [&] {
        writer.WriteWord(static_cast<std::uint16_t>(kRst0 + restartNumber));
        restartNumber = (restartNumber + 1) % 8;
      });
  // FitTablesToWindow has made sure of every code, so this only guards that promise.
  if (!encoded) Report(kMsgUncodableCoefficient);
  return encoded;
}

bool TJpegTrimming::CopyApp1() {
  if (dropExif_) return SkipSegment();
  writer_->WriteWord(kApp1);
  std::uint16_t length;
  if (!ReadSegmentLength(length, true)) return false;
  const std::size_t body = length - 2u;
  if (body < 4) {
    CopyBytes(body);
    return true;
  }
  const std::uint32_t identifier = reader_->ReadDWord();
  writer_->WriteDWord(identifier);
  // Two pad bytes, the TIFF byte order, its magic number and the offset of IFD0.
  constexpr std::size_t kHeaderAfterIdentifier = 10;
  if (identifier != kExifIdentifier || body < 4 + kHeaderAfterIdentifier) {
    CopyBytes(body - 4);
    return true;
  }
  std::uint8_t header[kHeaderAfterIdentifier];
  reader_->ReadBlock(header, sizeof header);
  writer_->WriteBlock(header, sizeof header);
  const bool little = header[2] == 0x49 && header[3] == 0x49;  // "II"
  const std::uint32_t ifd0 =
      little ? header[6] | header[7] << 8 | header[8] << 16 | std::uint32_t{header[9]} << 24
             : std::uint32_t{header[6]} << 24 | header[7] << 16 | header[8] << 8 | header[9];
  std::vector<std::uint8_t> block(body - 4 - kHeaderAfterIdentifier);
  reader_->ReadBlock(block.data(), block.size());
  RewriteExifPixelSize(block, little, ifd0, static_cast<std::uint32_t>(trimWidth_),
                       static_cast<std::uint32_t>(trimHeight_));
  writer_->WriteBlock(block.data(), block.size());
  return true;
}

}  // namespace tarvo
