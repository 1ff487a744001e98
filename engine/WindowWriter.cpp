#include "WindowWriter.h"

#include <span>

#include "BitStreamFile.h"
#include "ExifRewrite.h"
#include "HuffmanBlockCoder.h"
#include "JpegMarkers.h"
#include "TiffView.h"
#include "WindowTables.h"

namespace tarvo {

using namespace markers;

namespace {

class TWindowWriter {
 public:
  TWindowWriter(const TTrimSource& source, const TTrimWindow& window, TByteStream& output)
      : model_(source.Model),
        source_(source.Bytes),
        window_(window),
        output_(output),
        writer_(output) {}

  void WriteHeader(const TWindowTables& tables, bool dropExif);
  bool WriteScan(const TCoefficientStore& store, const TWindowTables& tables,
                 const std::function<void(int)>& atRow);
  // Returns where the main picture ends in the source and in the output.
  TImageEnds WriteTail(bool dropExif);

 private:
  void Copy(std::int64_t start, std::int64_t end) {
    writer_.WriteBlock(source_.data() + start, static_cast<std::size_t>(end - start));
  }
  void WriteFrame(const TSegment& segment);
  // An APP1 segment left out with dropExif, else with the window's size in its Exif data; any
  // other segment copied.
  void WriteMetadata(const TSegment& segment, bool dropExif);

  const TJpegModel& model_;
  std::span<const std::uint8_t> source_;
  const TTrimWindow& window_;
  TByteStream& output_;
  TOutBitStreamFile writer_;
};

void TWindowWriter::WriteHeader(const TWindowTables& tables, bool dropExif) {
  writer_.WriteWord(kSoi);
  bool dhtWritten = false;
  const std::span<const TSegment> header = model_.HeaderSegments();
  for (const TSegment& segment : header) {
    // Fitted tables go in place of the first DHT segment, or just before the scan header.
    const bool replaced = !tables.Dht.empty() && (segment.Kind == TSegment::TKind::kHuffman ||
                                                  segment.Kind == TSegment::TKind::kScanHeader);
    if (segment.Kind == TSegment::TKind::kScanHeader) {
      // A table first defined for the components of a later scan: the trim, one scan, carries
      // it in its header, after whatever defined the table before.
      const std::int64_t dataEnd = model_.Scans.back().DataEnd;
      for (const TSegment& later : std::span(model_.Segments).subspan(header.size())) {
        if (later.Start > dataEnd) break;
        if (later.Kind == TSegment::TKind::kQuant) WriteMetadata(later, dropExif);
      }
    }
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
  const bool app1 =
      segment.Kind == TSegment::TKind::kExif || segment.Kind == TSegment::TKind::kApp1;
  if (app1 && dropExif) return;
  writer_.WriteWord(segment.Marker);
  const std::int64_t start = output_.Position();
  Copy(segment.Start, segment.End);
  if (segment.Kind != TSegment::TKind::kExif) return;
  // The length word, "Exif" and two pad bytes come before the TIFF header.
  constexpr std::int64_t kTiffHeader = 2 + 6;
  TTiffView tiff(output_.MutableBytes().subspan(
      static_cast<std::size_t>(start + kTiffHeader),
      static_cast<std::size_t>(segment.End - segment.Start - kTiffHeader)));
  if (tiff.Valid()) RewriteExifPixelSize(tiff, window_.Width, window_.Height);
}

void TWindowWriter::WriteFrame(const TSegment& segment) {
  writer_.WriteWord(model_.OutputFrameMarker());
  // The length word and the precision, then the window's size in place of the picture's.
  Copy(segment.Start, segment.Start + 3);
  writer_.WriteWord(window_.Height);
  writer_.WriteWord(window_.Width);
  Copy(segment.Start + 7, segment.End);
}

bool TWindowWriter::WriteScan(const TCoefficientStore& store, const TWindowTables& tables,
                              const std::function<void(int)>& atRow) {
  int restartNumber = 0;
  const bool encoded = WalkWindow(
      model_, store, window_, [&](int r) { atRow(r); },
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
  return encoded;
}

TImageEnds TWindowWriter::WriteTail(bool dropExif) {
  // The first byte written pads the last coded byte with 1-bits. Segments before EOI are
  // written as in the header, so a second Exif segment there is dropped or rewritten too; EOI
  // and whatever follows it go in one block. A source that ends without EOI gets one, so that
  // the output is whole.
  for (const TSegment& segment : model_.TailSegments()) WriteMetadata(segment, dropExif);
  writer_.FlushBits();
  const auto size = static_cast<std::int64_t>(source_.size());
  const TImageEnds ends{static_cast<std::size_t>(model_.Eoi < size ? model_.Eoi + 2 : size),
                        static_cast<std::size_t>(output_.Position() + 2)};
  Copy(model_.Eoi, size);
  if (model_.Eoi == size) writer_.WriteWord(kEoi);
  return ends;
}

}  // namespace

EJpegError WriteWindow(const TTrimSource& source, const TTrimWindow& window, bool dropExif,
                       TByteStream& output, const std::function<void(int)>& atRow,
                       TImageEnds& ends) {
  const TJpegModel& model = source.Model;
  if (model.TailFault != EJpegError::kNone) return model.TailFault;
  // The window's share of the coded data, with room to spare, saves regrowing the output.
  const std::int64_t headerEnd = model.HeaderSegments().back().End;
  const std::int64_t dataEnd = model.Scans.back().DataEnd;
  const double share = static_cast<double>(window.EndCol - window.FirstCol) *
                       (window.EndRow - window.FirstRow) /
                       (static_cast<double>(model.McuCols) * model.McuRows);
  output.Reserve(
      static_cast<std::size_t>(headerEnd + share * 1.1 * (dataEnd - headerEnd) +
                               (static_cast<std::int64_t>(source.Bytes.size()) - dataEnd) + 1024));
  TWindowTables tables;
  if (!ChooseWindowTables(model, source.Store, window, tables)) {
    return EJpegError::kUncodableCoefficient;
  }
  TWindowWriter writer(source, window, output);
  writer.WriteHeader(tables, dropExif);
  // ChooseWindowTables has made sure of every code, so this only guards that promise.
  if (!writer.WriteScan(source.Store, tables, atRow)) return EJpegError::kUncodableCoefficient;
  ends = writer.WriteTail(dropExif);
  return EJpegError::kNone;
}

}  // namespace tarvo
