// The trim: header copy, the MCU window encoded from the coefficient store, the tail.
#include <cstdio>
#include <new>
#include <vector>

#include "ExifRewrite.h"
#include "HuffmanBlockCoder.h"
#include "JpegMarkers.h"
#include "JpegTrimming.h"
#include "Messages.h"

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
  for (;;) {
    const std::uint16_t marker = reader_->ReadWord();
    if (marker == kSof0) {
      const int components = ReadSof0();
      if (components == 4) Report(kMsgNotYCbCr);
      if (components <= 0 || components == 4) return false;
      continue;
    }
    if (marker == kDqt || marker == kDht || marker == kApp1) {
      if (!(marker == kDqt ? CopyDqt() : marker == kDht ? ReadDht() : CopyApp1())) return false;
      continue;
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
  firstCol_ = rect.Left / mcuWidth;
  endCol_ = (rect.Right + mcuWidth - 1) / mcuWidth;
  firstRow_ = rect.Top / mcuHeight;
  endRow_ = (rect.Bottom + mcuHeight - 1) / mcuHeight;

  const std::int64_t scanStart = reader_->Position();
  if (decodedValid_) {
    reader_->SetPosition(scanEndPosition_);
  } else {
    if (!DecodeAllMcus()) return false;
    decodedValid_ = true;
    scanEndPosition_ = reader_->Position();
  }
  // The window's share of the coded data, with room to spare, saves regrowing the output.
  const double share = static_cast<double>(endCol_ - firstCol_) * (endRow_ - firstRow_) /
                       (static_cast<double>(mcuCols_) * mcuRows_);
  output.Reserve(static_cast<std::size_t>(output.Size() +
                                          share * 1.1 * (scanEndPosition_ - scanStart) +
                                          (sourceStream_.Size() - scanEndPosition_) + 1024));

  BuildEncodeTables();
  if (!EncodeWindow()) return false;
  // The tail (EOI and whatever follows it) in one block; its first byte pads the last coded
  // byte with 1-bits. A source without a tail still gets its last coded byte completed.
  CopyBytes(static_cast<std::size_t>(sourceStream_.Size() - reader_->Position()));
  writer_->FlushBits();
  decodedValid_ = true;
  output.SetPosition(0);
  return true;
}

void TJpegTrimming::BuildEncodeTables() {
  for (std::size_t i = 0; i < encodeTables_.size(); ++i) encodeTables_[i].Build(huffmanTables_[i]);
}

bool TJpegTrimming::EncodeWindow() {
  dcPredictor_.fill(0);
  restartCount_ = 0;
  int restartNumber = 0;
  TOutBitStreamFile& writer = *writer_;
  for (int r = firstRow_; r < endRow_; ++r) {
    ReportProgress(mcuRows_ + r);
    for (int m = firstCol_; m < endCol_; ++m) {
      const bool encoded = ForEachBlockOfMcu(r, m, [&](std::size_t s, const std::int16_t* block) {
        return EncodeBlock(writer, encodeTables_[static_cast<std::size_t>(dcSelector_[s])],
                           encodeTables_[static_cast<std::size_t>(2 + acSelector_[s])],
                           dcPredictor_[s], block);
      });
      if (!encoded) {
        Report(kMsgMissingHuffmanCode);
        return false;
      }
      if (restartEnabled_ && ++restartCount_ == restartInterval_ &&
          !(r == endRow_ - 1 && m == endCol_ - 1)) {
        dcPredictor_.fill(0);
        restartCount_ = 0;
        writer.WriteWord(static_cast<std::uint16_t>(kRst0 + restartNumber));
        restartNumber = (restartNumber + 1) % 8;
      }
    }
  }
  return true;
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
