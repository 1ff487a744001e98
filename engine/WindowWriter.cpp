#include "WindowWriter.h"

#include <array>
#include <exception>
#include <numeric>
#include <span>
#include <system_error>
#include <thread>
#include <vector>

#include "BitStreamFile.h"
#include "ExifOrientation.h"
#include "ExifRewrite.h"
#include "HuffmanBlockCoder.h"
#include "JpegMarkers.h"
#include "TiffView.h"
#include "TurnedHeader.h"
#include "WindowTables.h"

namespace tarvo {

using namespace markers;

namespace {

// MCU rows of the window that one thread codes, and where it starts.
struct TScanPart {
  TTrimWindow Window;  // the window cut down to the part's rows
  // What the blocks before the part leave the DC predictors at.
  TDcPredictors Predictors{};
  // The number of the first restart marker the part writes.
  int RestartNumber = 0;
  // A restart marker ends the part: the next part starts an interval.
  bool MarkerAfter = false;
};

// The DC value of each component's last block before MCU row row of window, in coding order:
// the end of the row above.
TDcPredictors PredictorsBefore(const TJpegModel& model, const TBlockSource& blocks,
                               const TTrimWindow& window, int row) {
  TDcPredictors predictors{};
  std::array<std::int16_t, 64> scratch;
  for (std::size_t slot = 0; slot < model.Components.size(); ++slot) {
    const TFrameComponent& component = model.Components[slot];
    predictors[slot] = blocks.Block(
        static_cast<int>(slot), static_cast<std::size_t>(row) * component.VSampling - 1,
        static_cast<std::size_t>(window.EndCol) * component.HSampling - 1, scratch.data())[0];
  }
  return predictors;
}

// The window's rows in up to parts parts of about equal height, which coded one after the
// other give the bytes of the window coded whole. Every coefficient is known before coding
// starts, so a part's predictors are read off the block before it. With restart markers, a part
// starts where an interval starts a row, with fresh predictors: row r does when r x cols is a
// multiple of the interval, that is every step rows; the part before ends with the marker.
std::vector<TScanPart> SplitScan(const TJpegModel& model, const TBlockSource& blocks,
                                 const TTrimWindow& window, int parts) {
  const int rows = window.EndRow - window.FirstRow;
  const std::int64_t cols = window.EndCol - window.FirstCol;
  const std::int64_t interval = model.Scans[0].RestartInterval;
  const std::int64_t step = interval == 0 ? 1 : interval / std::gcd(interval, cols);
  std::vector<int> firstRows{0};
  for (int j = 1; j < parts; ++j) {
    const std::int64_t row = (std::int64_t{rows} * j / parts + step / 2) / step * step;
    if (row > firstRows.back() && row < rows) firstRows.push_back(static_cast<int>(row));
  }
  std::vector<TScanPart> split(firstRows.size());
  for (std::size_t j = 0; j < split.size(); ++j) {
    TScanPart& part = split[j];
    part.Window = window;
    part.Window.FirstRow = window.FirstRow + firstRows[j];
    part.Window.EndRow = j + 1 < split.size() ? window.FirstRow + firstRows[j + 1] : window.EndRow;
    if (interval != 0) {
      part.RestartNumber = static_cast<int>(firstRows[j] * cols / interval % 8);
      part.MarkerAfter = j + 1 < split.size();
    } else if (j > 0) {
      part.Predictors = PredictorsBefore(model, blocks, window, part.Window.FirstRow);
    }
  }
  return split;
}

// Codes part into writer, noting the blocks' DC values in dcPicture if given; false when a symbol
// has no code in tables.
bool CodePart(const TJpegModel& model, const TBlockSource& blocks, const TWindowTables& tables,
              const TScanPart& part, TOutBitStreamFile& writer,
              const std::function<void(int)>& atRow, TDcPicture* dcPicture) {
  int restartNumber = part.RestartNumber;
  const auto writeMarker = [&] {
    writer.WriteWord(static_cast<std::uint16_t>(kRst0 + restartNumber));
    restartNumber = (restartNumber + 1) % 8;
  };
  const bool coded = WalkWindow(
      model, blocks, part.Window, part.Predictors, [&](int row) { atRow(row); },
      [&](int slot, std::size_t row, std::size_t col, const std::int16_t* block, int& predictor) {
        if (dcPicture != nullptr) dcPicture->Put(slot, row, col, block[0]);
        const auto s = static_cast<std::size_t>(slot);
        return EncodeBlock(writer, tables.Encode[static_cast<std::size_t>(tables.DcSlot[s])],
                           tables.Encode[static_cast<std::size_t>(tables.AcSlot[s])], predictor,
                           block);
      },
      writeMarker);
  if (coded && part.MarkerAfter) writeMarker();
  return coded;
}

class TWindowWriter {
 public:
  TWindowWriter(const TTrimSource& source, const TTrimWindow& window, const TWindowHeader& header,
                TByteStream& output)
      : model_(source.Model),
        source_(source.Bytes),
        window_(window),
        header_(header),
        output_(output),
        writer_(output) {}

  void WriteHeader(const TWindowTables& tables);
  // Codes the window in up to parts parts at once (SplitScan).
  bool WriteScan(const TBlockSource& blocks, const TWindowTables& tables,
                 const std::function<void(int)>& atRow, int parts, TDcPicture* dcPicture);
  // Returns where the main picture ends in the source and in the output.
  TImageEnds WriteTail();

 private:
  void Copy(std::int64_t start, std::int64_t end) {
    writer_.WriteBlock(source_.data() + start, static_cast<std::size_t>(end - start));
  }
  void WriteFrame(const TSegment& segment);
  // An APP1 segment left out with DropExif, else with the window's size and the orientation in
  // its Exif data; quantisation tables transposed with the blocks; any other segment copied.
  void WriteMetadata(const TSegment& segment);

  const TJpegModel& model_;
  std::span<const std::uint8_t> source_;
  const TTrimWindow& window_;
  const TWindowHeader& header_;
  TByteStream& output_;
  TOutBitStreamFile writer_;
};

void TWindowWriter::WriteHeader(const TWindowTables& tables) {
  writer_.WriteWord(kSoi);
  bool dhtWritten = false;
  // Without the Exif data, a picture to be shown turned still says so, right after the APP0
  // segments, which JFIF wants first.
  bool orientationWritten = !header_.DropExif || header_.Orientation.IsIdentity();
  const std::span<const TSegment> header = model_.HeaderSegments();
  for (const TSegment& segment : header) {
    if (!orientationWritten && segment.Marker != kApp0) {
      const std::vector<std::uint8_t> exif = OrientationOnlyExif(header_.Orientation);
      writer_.WriteBlock(exif.data(), exif.size());
      orientationWritten = true;
    }
    // Fitted tables go in place of the first DHT segment, or just before the scan header.
    const bool replaced = !tables.Dht.empty() && (segment.Kind == TSegment::TKind::kHuffman ||
                                                  segment.Kind == TSegment::TKind::kScanHeader);
    if (segment.Kind == TSegment::TKind::kScanHeader) {
      // A table first defined for the components of a later scan: the trim, one scan, carries
      // it in its header, after whatever defined the table before.
      const std::int64_t dataEnd = model_.Scans.back().DataEnd;
      for (const TSegment& later : std::span(model_.Segments).subspan(header.size())) {
        if (later.Start > dataEnd) break;
        if (later.Kind == TSegment::TKind::kQuant) WriteMetadata(later);
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
      WriteMetadata(segment);
    }
  }
}

void TWindowWriter::WriteMetadata(const TSegment& segment) {
  const bool app1 =
      segment.Kind == TSegment::TKind::kExif || segment.Kind == TSegment::TKind::kApp1;
  if (app1 && header_.DropExif) return;
  writer_.WriteWord(segment.Marker);
  if (segment.Kind == TSegment::TKind::kQuant && header_.Transposed) {
    Copy(segment.Start, segment.Start + 2);
    const std::vector<std::uint8_t> tables = TransposedQuantTables(
        source_.subspan(static_cast<std::size_t>(segment.Start + 2),
                        static_cast<std::size_t>(segment.End - segment.Start - 2)));
    writer_.WriteBlock(tables.data(), tables.size());
    return;
  }
  const std::int64_t start = output_.Position();
  Copy(segment.Start, segment.End);
  if (segment.Kind != TSegment::TKind::kExif) return;
  // The length word, "Exif" and two pad bytes come before the TIFF header.
  constexpr std::int64_t kTiffHeader = 2 + 6;
  TTiffView tiff(output_.MutableBytes().subspan(
      static_cast<std::size_t>(start + kTiffHeader),
      static_cast<std::size_t>(segment.End - segment.Start - kTiffHeader)));
  if (!tiff.Valid()) return;
  RewriteExifPixelSize(tiff, window_.Width, window_.Height);
  RewriteExifOrientation(tiff, header_.Orientation);
}

void TWindowWriter::WriteFrame(const TSegment& segment) {
  writer_.WriteWord(model_.OutputFrameMarker());
  // The length word and the precision, then the window's size in place of the picture's.
  Copy(segment.Start, segment.Start + 3);
  writer_.WriteWord(window_.Height);
  writer_.WriteWord(window_.Width);
  if (!header_.Transposed) {
    Copy(segment.Start + 7, segment.End);
    return;
  }
  // The component count, then per component its identifier, its sampling factors (horizontal in
  // the high nibble, exchanged here) and its table selector (ITU-T T.81 B.2.2).
  Copy(segment.Start + 7, segment.Start + 8);
  for (std::int64_t at = segment.Start + 8; at + 3 <= segment.End; at += 3) {
    const std::uint8_t factors = source_[static_cast<std::size_t>(at + 1)];
    writer_.WriteByte(source_[static_cast<std::size_t>(at)]);
    writer_.WriteByte(static_cast<std::uint8_t>(factors << 4 | factors >> 4));
    writer_.WriteByte(source_[static_cast<std::size_t>(at + 2)]);
  }
}

bool TWindowWriter::WriteScan(const TBlockSource& blocks, const TWindowTables& tables,
                              const std::function<void(int)>& atRow, int parts,
                              TDcPicture* dcPicture) {
  const std::vector<TScanPart> split = SplitScan(model_, blocks, window_, parts);
  if (split.size() == 1) {
    return CodePart(model_, blocks, tables, split[0], writer_, atRow, dcPicture);
  }
  // Each later part is coded into a stream of its own, on a thread of its own, and joined on
  // when the part before it is in place.
  struct TCoded {
    TByteStream Stream;
    bool Done = false;
    std::exception_ptr Failure;
    std::uint32_t PendingValue = 0;
    int PendingCount = 0;
  };
  std::vector<TCoded> coded(split.size());
  const std::int64_t coding = model_.Scans.back().DataEnd - model_.HeaderSegments().back().End;
  const double perMcu = static_cast<double>(coding) / (double{1} * model_.McuCols * model_.McuRows);
  const auto codeAside = [&](std::size_t j) {
    TCoded& part = coded[j];
    try {
      const TTrimWindow& window = split[j].Window;
      part.Stream.Reserve(static_cast<std::size_t>(
          1.1 * perMcu * (window.EndCol - window.FirstCol) * (window.EndRow - window.FirstRow)));
      TOutBitStreamFile writer(part.Stream);
      part.Done = CodePart(
          model_, blocks, tables, split[j], writer, [](int) {}, dcPicture);
      part.PendingValue = writer.PendingValue();
      part.PendingCount = writer.PendingCount();
    } catch (...) {
      part.Failure = std::current_exception();
    }
  };
  std::size_t threaded = 1;
  std::vector<std::jthread> threads;
  try {
    for (; threaded < split.size(); ++threaded) threads.emplace_back(codeAside, threaded);
  } catch (const std::system_error&) {
    // No thread to be had: the calling thread codes the rest after the first part.
  }
  // The first part goes straight into the output; it tells its rows as shares of the window's.
  const int rows = window_.EndRow - window_.FirstRow;
  const int firstRows = split[0].Window.EndRow - window_.FirstRow;
  bool done = CodePart(
      model_, blocks, tables, split[0], writer_,
      [&](int row) { atRow(window_.FirstRow + (row - window_.FirstRow) * rows / firstRows); },
      dcPicture);
  for (std::size_t j = threaded; j < split.size(); ++j) codeAside(j);
  threads.clear();  // joins
  for (std::size_t j = 1; j < split.size(); ++j) {
    if (coded[j].Failure) std::rethrow_exception(coded[j].Failure);
    done = done && coded[j].Done;
  }
  if (!done) return false;
  for (std::size_t j = 1; j < split.size(); ++j) {
    writer_.AppendCoded(coded[j].Stream.Bytes(), coded[j].PendingValue, coded[j].PendingCount);
  }
  return true;
}

TImageEnds TWindowWriter::WriteTail() {
  // The first byte written pads the last coded byte with 1-bits. Segments before EOI are
  // written as in the header, so a second Exif segment there is dropped or rewritten too; EOI
  // and whatever follows it go in one block. A source that ends without EOI gets one, so that
  // the output is whole.
  for (const TSegment& segment : model_.TailSegments()) WriteMetadata(segment);
  writer_.FlushBits();
  const auto size = static_cast<std::int64_t>(source_.size());
  const TImageEnds ends{static_cast<std::size_t>(model_.Eoi < size ? model_.Eoi + 2 : size),
                        static_cast<std::size_t>(output_.Position() + 2)};
  Copy(model_.Eoi, size);
  if (model_.Eoi == size) writer_.WriteWord(kEoi);
  return ends;
}

}  // namespace

EJpegError WriteWindow(const TTrimSource& source, const TTrimWindow& window,
                       const TWindowHeader& header, TByteStream& output,
                       const std::function<void(int)>& atRow, int parts, TImageEnds& ends,
                       TDcPicture* dcPicture) {
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
  // The file's own tables code most windows of a single scan. Coding with them straight away
  // saves a pass counting the window's symbols; a symbol they lack sends the window back to be
  // written from the start with tables chosen for it.
  if (SourceWindowTables(model, tables)) {
    TWindowWriter writer(source, window, header, output);
    writer.WriteHeader(tables);
    if (writer.WriteScan(source.Blocks, tables, atRow, parts, dcPicture)) {
      ends = writer.WriteTail();
      return EJpegError::kNone;
    }
    output.Clear();
  }
  if (!ChooseWindowTables(model, source.Blocks, window, tables)) {
    return EJpegError::kUncodableCoefficient;
  }
  TWindowWriter writer(source, window, header, output);
  writer.WriteHeader(tables);
  // ChooseWindowTables has made sure of every code, so this only guards that promise.
  if (!writer.WriteScan(source.Blocks, tables, atRow, parts, dcPicture)) {
    return EJpegError::kUncodableCoefficient;
  }
  ends = writer.WriteTail();
  return EJpegError::kNone;
}

}  // namespace tarvo
