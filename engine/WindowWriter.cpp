#include "WindowWriter.h"

#include <vector>

#include "BitStreamFile.h"
#include "ExifRewrite.h"
#include "HuffmanBlockCoder.h"
#include "JpegMarkers.h"
#include "Messages.h"
#include "MpfRewrite.h"
#include "WindowTables.h"

namespace tarvo {

using namespace markers;

namespace {

constexpr std::uint32_t kExifIdentifier = 0x45786966;  // "Exif"

struct TTail {
  // The APPn and COM segments between the coded data and EOI.
  std::vector<TSegment> Segments;
  std::int64_t Eoi = 0;  // where EOI starts; the stream's size without one
};

// Finds the segments between the coded data and EOI, and where EOI is; false after a report
// when something other than APPn or COM segments comes before EOI.
bool LocateTail(std::span<const std::uint8_t> bytes, std::int64_t scanEnd, TTail& tail,
                const TWriteReports& reports) {
  const std::size_t size = bytes.size();
  const auto markerAt = [&](std::size_t at) {
    return at + 1 < size && bytes[at] == 0xFF && bytes[at + 1] != 0x00 && bytes[at + 1] != 0xFF;
  };
  // Bytes between the last coded byte and the next marker belong to no block (a decoder skips
  // them, a stray RSTn included): they are left out, so the output holds only what it shows.
  auto at = static_cast<std::size_t>(scanEnd);
  while (at < size && !(markerAt(at) && (bytes[at + 1] & 0xF8) != (kRst0 & 0xF8))) ++at;
  tail.Segments.clear();
  tail.Eoi = static_cast<std::int64_t>(size);
  while (at < size) {
    const auto marker = static_cast<std::uint16_t>(0xFF00 | bytes[at + 1]);
    if (marker == kEoi) {
      tail.Eoi = static_cast<std::int64_t>(at);
      return true;
    }
    // Comments and application data may sit between the scan and EOI; another scan, frame
    // or table would not survive the trim, and a decoder would read the output wrongly.
    if (!IsAppOrCom(marker)) {
      reports.Failure(kMsgBadTail);
      return false;
    }
    const std::size_t length = at + 4 <= size ? (bytes[at + 2] << 8 | bytes[at + 3]) : 0;
    if (length < 2 || length > size - at - 2) {
      reports.Failure(kMsgBadSegmentLength);
      return false;
    }
    tail.Segments.push_back({marker == kApp1 ? TSegment::TKind::kExif : TSegment::TKind::kCopied,
                             marker, static_cast<std::int64_t>(at + 2),
                             static_cast<std::int64_t>(at + 2 + length)});
    at += 2 + length;
    while (at + 1 < size && bytes[at] == 0xFF && bytes[at + 1] == 0xFF) ++at;  // fill bytes
    if (at < size && !markerAt(at)) {
      reports.Failure(kMsgBadTail);
      return false;
    }
  }
  return true;
}

class TWindowWriter {
 public:
  TWindowWriter(const TJpegModel& model, std::span<const std::uint8_t> source,
                const TTrimWindow& window, TByteStream& output)
      : model_(model), source_(source), window_(window), output_(output), writer_(output) {}

  void WriteHeader(const TWindowTables& tables, bool dropExif);
  bool WriteScan(const TCoefficientStore& store, const TWindowTables& tables,
                 const TWriteReports& reports);
  // Returns where the output's EOI starts.
  std::int64_t WriteTail(const TTail& tail, bool dropExif);

 private:
  void Copy(std::int64_t start, std::int64_t end) {
    writer_.WriteBlock(source_.data() + start, static_cast<std::size_t>(end - start));
  }
  void WriteFrame(const TSegment& segment);
  // An APP1 segment left out with dropExif, else with the window's size in its Exif data; any
  // other segment copied.
  void WriteMetadata(const TSegment& segment, bool dropExif);
  void WriteExif(const TSegment& segment);

  const TJpegModel& model_;
  std::span<const std::uint8_t> source_;
  const TTrimWindow& window_;
  TByteStream& output_;
  TOutBitStreamFile writer_;
};

void TWindowWriter::WriteHeader(const TWindowTables& tables, bool dropExif) {
  writer_.WriteWord(kSoi);
  bool dhtWritten = false;
  for (const TSegment& segment : model_.Header) {
    // Fitted tables go in place of the first DHT segment, or just before the scan header.
    const bool replaced = !tables.Dht.empty() && (segment.Kind == TSegment::TKind::kHuffman ||
                                                  segment.Kind == TSegment::TKind::kScanHeader);
    if (replaced && !dhtWritten) {
      writer_.WriteBlock(tables.Dht.data(), tables.Dht.size());
      dhtWritten = true;
    }
    if (segment.Kind == TSegment::TKind::kScanHeader && !tables.ScanHeader.empty()) {
      writer_.WriteBlock(tables.ScanHeader.data(), tables.ScanHeader.size());
    } else if (segment.Kind == TSegment::TKind::kFrame) {
      WriteFrame(segment);
    } else if (!(replaced && segment.Kind == TSegment::TKind::kHuffman)) {
      WriteMetadata(segment, dropExif);
    }
  }
}

void TWindowWriter::WriteMetadata(const TSegment& segment, bool dropExif) {
  if (segment.Kind == TSegment::TKind::kExif) {
    if (!dropExif) WriteExif(segment);
    return;
  }
  writer_.WriteWord(segment.Marker);
  Copy(segment.Start, segment.End);
}

void TWindowWriter::WriteFrame(const TSegment& segment) {
  writer_.WriteWord(model_.OutputFrameMarker());
  // The length word and the precision, then the window's size in place of the picture's.
  Copy(segment.Start, segment.Start + 3);
  writer_.WriteWord(window_.Height);
  writer_.WriteWord(window_.Width);
  Copy(segment.Start + 7, segment.End);
}

void TWindowWriter::WriteExif(const TSegment& segment) {
  writer_.WriteWord(segment.Marker);
  const std::int64_t body = segment.End - segment.Start - 2;
  const std::int64_t at = segment.Start + 2;
  // The identifier, two pad bytes, the TIFF byte order, its magic number and the offset of IFD0.
  constexpr std::int64_t kHeader = 14;
  const auto byteAt = [&](std::int64_t offset) -> std::uint32_t {
    return source_[static_cast<std::size_t>(at + offset)];
  };
  if (body < kHeader ||
      (byteAt(0) << 24 | byteAt(1) << 16 | byteAt(2) << 8 | byteAt(3)) != kExifIdentifier) {
    Copy(segment.Start, segment.End);
    return;
  }
  Copy(segment.Start, at + kHeader);
  const bool little = byteAt(6) == 0x49 && byteAt(7) == 0x49;  // "II"
  const std::uint32_t ifd0 =
      little ? byteAt(10) | byteAt(11) << 8 | byteAt(12) << 16 | byteAt(13) << 24
             : byteAt(10) << 24 | byteAt(11) << 16 | byteAt(12) << 8 | byteAt(13);
  std::vector<std::uint8_t> block(source_.begin() + at + kHeader, source_.begin() + segment.End);
  RewriteExifPixelSize(block, little, ifd0, window_.Width, window_.Height);
  writer_.WriteBlock(block.data(), block.size());
}

bool TWindowWriter::WriteScan(const TCoefficientStore& store, const TWindowTables& tables,
                              const TWriteReports& reports) {
  int restartNumber = 0;
  const bool encoded = WalkWindow(
      model_, store, window_, model_.Scans[0].RestartInterval, [&](int r) { reports.AtRow(r); },
      [&](int slot, const std::int16_t* block, int& predictor) {
        const auto s = static_cast<std::size_t>(slot);
        return EncodeBlock(writer_, tables.Encode[static_cast<std::size_t>(tables.DcSlot[s])],
                           tables.Encode[static_cast<std::size_t>(tables.AcSlot[s])], predictor,
                           block);
      },
      [&] {
        writer_.WriteWord(static_cast<std::uint16_t>(kRst0 + restartNumber));
        restartNumber = (restartNumber + 1) % 8;
      });
  // ChooseWindowTables has made sure of every code, so this only guards that promise.
  if (!encoded) reports.Failure(kMsgUncodableCoefficient);
  return encoded;
}

std::int64_t TWindowWriter::WriteTail(const TTail& tail, bool dropExif) {
  // The first byte written pads the last coded byte with 1-bits. Segments before EOI are
  // written as in the header, so a second Exif segment there is dropped or rewritten too; EOI
  // and whatever follows it go in one block. A source that ends without EOI gets one, so that
  // the output is whole.
  for (const TSegment& segment : tail.Segments) WriteMetadata(segment, dropExif);
  writer_.FlushBits();
  const std::int64_t eoi = output_.Position();
  Copy(tail.Eoi, static_cast<std::int64_t>(source_.size()));
  if (tail.Eoi == static_cast<std::int64_t>(source_.size())) writer_.WriteWord(kEoi);
  return eoi;
}

}  // namespace

bool WriteWindow(const TJpegModel& model, const TCoefficientStore& store,
                 std::span<const std::uint8_t> source, std::int64_t scanEnd,
                 const TTrimWindow& window, bool dropExif, TByteStream& output,
                 const TWriteReports& reports) {
  TTail tail;
  if (!LocateTail(source, scanEnd, tail, reports)) return false;
  // The window's share of the coded data, with room to spare, saves regrowing the output.
  const std::int64_t headerEnd = model.Header.back().End;
  const double share = static_cast<double>(window.EndCol - window.FirstCol) *
                       (window.EndRow - window.FirstRow) /
                       (static_cast<double>(model.McuCols) * model.McuRows);
  output.Reserve(static_cast<std::size_t>(headerEnd + share * 1.1 * (scanEnd - headerEnd) +
                                          (static_cast<std::int64_t>(source.size()) - scanEnd) +
                                          1024));
  TWindowTables tables;
  if (!ChooseWindowTables(model, store, window, tables, reports.Failure)) return false;
  TWindowWriter writer(model, source, window, output);
  writer.WriteHeader(tables, dropExif);
  if (!writer.WriteScan(store, tables, reports)) return false;
  const std::int64_t eoi = writer.WriteTail(tail, dropExif);
  // Images stored after the first one (an MPF preview, say) have moved with its end.
  const bool sourceHasEoi = tail.Eoi < static_cast<std::int64_t>(source.size());
  RewriteMpfEntries(output.MutableBytes(), static_cast<std::size_t>(eoi + 2), source,
                    static_cast<std::size_t>(tail.Eoi + (sourceHasEoi ? 2 : 0)));
  return true;
}

}  // namespace tarvo
