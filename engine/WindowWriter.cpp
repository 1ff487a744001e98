#include "WindowWriter.h"

#include <algorithm>
#include <array>
#include <exception>
#include <optional>
#include <span>
#include <system_error>
#include <thread>
#include <vector>

#include "BitStreamFile.h"
#include "HuffmanBlockCoder.h"
#include "JpegMarkers.h"
#include "MpfRewrite.h"
#include "ScanWalk.h"
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
  const std::int64_t step = RestartRowStep(interval, cols);
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
      part.RestartNumber = RestartNumber(firstRows[j] * cols / interval);
      part.MarkerAfter = j + 1 < split.size();
    } else if (j > 0) {
      part.Predictors = PredictorsBefore(model, blocks, window, part.Window.FirstRow);
    }
  }
  return split;
}

// Per component slot, runs of 16 zeros to code before the end of block of blocks without AC
// coefficients.
using TZeroRuns = std::array<int, TCoefficientStore::kMaxComponents>;

// Codes block of slot against predictor. The first blocks of a slot with no AC coefficients
// take the runs of zeroRuns, if given, three at most each: 48 zeros, which leave room for the
// end of block; room, if given, counts the three runs each such block has room for.
bool CodeBlock(TOutBitStreamFile& writer, const TWindowTables& tables, int slot,
               const std::int16_t* block, int& predictor, TZeroRuns* zeroRuns, TZeroRuns* room) {
  const auto s = static_cast<std::size_t>(slot);
  const THuffmanEncodeTable& dc = tables.Encode[static_cast<std::size_t>(tables.DcSlot[s])];
  const THuffmanEncodeTable& ac = tables.Encode[static_cast<std::size_t>(tables.AcSlot[s])];
  if ((zeroRuns != nullptr || room != nullptr) && (NonZeroMask(block) >> 1) == 0) {
    if (room != nullptr) (*room)[s] += 3;
    if (zeroRuns != nullptr && (*zeroRuns)[s] > 0) {
      const int runs = std::min((*zeroRuns)[s], 3);
      (*zeroRuns)[s] -= runs;
      bool coded = EncodeDc(writer, dc, block[0] - predictor);
      predictor = block[0];
      for (int k = 0; k < runs; ++k) coded = coded && EncodeAc(writer, ac, 0, 15);
      return coded && EncodeAc(writer, ac, 0, 0);
    }
  }
  return EncodeBlock(writer, dc, ac, predictor, block);
}

// Codes part into writer, noting the blocks' DC values in dcPicture if given; false when a symbol
// has no code in tables.
bool CodePart(const TJpegModel& model, const TBlockSource& blocks, const TWindowTables& tables,
              const TScanPart& part, TOutBitStreamFile& writer,
              const std::function<void(int)>& atRow, TDcPicture* dcPicture) {
  int restartNumber = part.RestartNumber;
  const auto writeMarker = [&] {
    writer.WriteWord(static_cast<std::uint16_t>(kRst0 + restartNumber));
    restartNumber = RestartNumber(restartNumber + 1);
  };
  const bool coded = WalkWindow(
      model, blocks, part.Window, part.Predictors, [&](int row) { atRow(row); },
      [&](int slot, std::size_t row, std::size_t col, const std::int16_t* block, int& predictor) {
        if (dcPicture != nullptr) dcPicture->Put(slot, row, col, block[0]);
        return CodeBlock(writer, tables, slot, block, predictor, nullptr, nullptr);
      },
      writeMarker);
  if (coded && part.MarkerAfter) writeMarker();
  return coded;
}

// The output's DC predictors before MCU row row of copy's band: the source's, but where the row
// above ends in a wiped MCU, its fills.
TDcPredictors BandPredictors(const TMcuLayout& layout, const TScanCopy& copy, int row) {
  const TMcuStart& start = copy.Band.At(row, 0);
  TDcPredictors predictors{};
  std::copy(start.Predictors.begin(), start.Predictors.end(), predictors.begin());
  if (row == 0) return predictors;
  std::array<std::int16_t, 64> scratch;
  const int col = copy.Band.Cols - 1;
  for (int c = 0; c < layout.Count; ++c) {
    const TMcuLayout::TComponent& component = layout.Components[static_cast<std::size_t>(c)];
    const std::int16_t* fill =
        copy.Wipes->Fill(component.Slot, static_cast<std::size_t>(row * component.V - 1),
                         static_cast<std::size_t>((col + 1) * component.H - 1), scratch.data());
    if (fill != nullptr) predictors[static_cast<std::size_t>(component.Slot)] = fill[0];
  }
  return predictors;
}

// Writes MCUs begin to end - 1 of the source's single scan, counted in coding order, into
// writer, the output's DC predictors before them predictors: an MCU no wipe touches whose DC
// predictors are the source's goes over bit for bit, wiped MCUs are coded from their fills, and
// the MCU after a wiped one from its blocks decoded anew, against the DC value the wipe left.
// startOf(m) is where MCU m starts in the source and the source's predictors there; startOf(end)
// where MCU end - 1 ends. zeroRuns and room as CodeBlock's, for the coded blocks. False when a
// symbol has no code in tables.
template <typename StartOf>
bool CodeMcus(const TJpegModel& model, std::span<const std::uint8_t> bytes,
              const TWindowTables& tables, const TWipes& wipes, std::int64_t begin,
              std::int64_t end, StartOf&& startOf, TDcPredictors predictors,
              TOutBitStreamFile& writer, const std::function<void(int)>& atRow, TZeroRuns* zeroRuns,
              TZeroRuns* room) {
  // The scan codes the frame's components in its order (WipeMayCopy): scan index is slot.
  const TScan& scan = model.Scans[0];
  const TMcuLayout layout = ScanLayout(model, scan);
  const TScanTables decode = ScanTables(model, scan);
  std::array<std::int16_t, 64> scratch;
  // Where the MCUs to copy that are not yet written start.
  std::optional<TBitPlace> copying;
  for (std::int64_t mcu = begin; mcu < end; ++mcu) {
    const auto r = static_cast<int>(mcu / layout.EndCol);
    const auto m = static_cast<int>(mcu % layout.EndCol);
    if (mcu == begin || m == 0) atRow(r);
    const TMcuStart start = startOf(mcu);
    const TMcuLayout::TComponent& lead = layout.Components[0];
    const bool wiped = wipes.Fill(lead.Slot, static_cast<std::size_t>(r * lead.V),
                                  static_cast<std::size_t>(m * lead.H), scratch.data()) != nullptr;
    bool same = true;
    for (int c = 0; c < layout.Count; ++c) {
      same = same && predictors[static_cast<std::size_t>(c)] ==
                         start.Predictors[static_cast<std::size_t>(c)];
    }
    if (!wiped && same) {
      if (!copying) copying = start.Place;
      const TMcuStart next = startOf(mcu + 1);
      std::copy(next.Predictors.begin(), next.Predictors.end(), predictors.begin());
      continue;
    }
    if (copying) writer.CopyCoded(bytes, *copying, start.Place);
    copying.reset();
    EJpegError marker = EJpegError::kNone;
    TBitBuffer bits(bytes.data(), bytes.size(), &marker);
    std::array<int, TCoefficientStore::kMaxComponents> source{};
    if (!wiped) {
      // Read before, by the walk that noted where the MCU starts.
      bits.Start(start.Place.Byte);
      bits.ReadBits(start.Place.Bits);
      std::copy(start.Predictors.begin(), start.Predictors.end(), source.begin());
    }
    const bool coded = WalkMcuBlocks(layout, r, m, [&](int c, std::size_t row, std::size_t col) {
      const auto k = static_cast<std::size_t>(c);
      const int slot = layout.Components[k].Slot;
      const std::int16_t* block = scratch.data();
      if (wiped) {
        block = wipes.Fill(slot, row, col, scratch.data());
      } else if (!DecodeBlock(bits, *decode.Dc[k], *decode.Ac[k], source[k], scratch.data())) {
        return false;
      }
      return CodeBlock(writer, tables, slot, block, predictors[k], zeroRuns, room);
    });
    if (!coded) return false;
  }
  if (copying) writer.CopyCoded(bytes, *copying, startOf(end).Place);
  return true;
}

// Writes MCU rows first to end - 1 of copy's band into writer (CodeMcus).
bool CodeBand(const TJpegModel& model, std::span<const std::uint8_t> bytes,
              const TWindowTables& tables, const TScanCopy& copy, int first, int end,
              TOutBitStreamFile& writer, const std::function<void(int)>& atRow, TZeroRuns* zeroRuns,
              TZeroRuns* room) {
  const TMcuLayout layout = ScanLayout(model, model.Scans[0]);
  const std::int64_t cols = copy.Band.Cols;
  const std::int64_t bandBegin = std::int64_t{copy.Band.FirstRow} * cols;
  return CodeMcus(
      model, bytes, tables, *copy.Wipes, first * cols, end * cols,
      [&](std::int64_t mcu) { return copy.Band.Starts[static_cast<std::size_t>(mcu - bandBegin)]; },
      BandPredictors(layout, copy, first), writer, atRow, zeroRuns, room);
}

// Writes the window's scan, and the segments around it, once each.
class TWindowWriter {
 public:
  TWindowWriter(const TTrimSource& source, const TTrimWindow& window, bool transposed,
                TByteStream& output)
      : model_(source.Model),
        source_(source.Bytes),
        window_(window),
        transposed_(transposed),
        output_(output),
        writer_(output) {}

  // SOI and the header up to the scan header; a null plan keeps only the APP0 and APP14
  // segments, which tell how the picture's colours are coded.
  void WriteHeader(const TWindowTables& tables, const TMetadataPlan* plan);
  // Codes the window in up to parts parts at once (SplitScan).
  bool WriteScan(const TBlockSource& blocks, const TWindowTables& tables,
                 const std::function<void(int)>& atRow, int parts, TDcPicture* dcPicture) {
    return CodeParts(SplitScan(model_, blocks, window_, parts), blocks, tables, writer_, atRow,
                     dcPicture);
  }
  // Copies the rows of the source's scan that copy does not name as changed, and writes the
  // changed ones (CodeBand) to end where the source's do in the bit of a byte; false when they
  // cannot be written so (no ZRL codes make up the bits).
  bool WriteCopiedScan(TCodedWindow& coded, const TScanCopy& copy,
                       const std::function<void(int)>& atRow);
  // Copies the intervals of the source's scan that copy does not name as changed, and writes the
  // changed ones as a band's rows are (CodeMcus); false when a symbol has no code in tables.
  bool WriteRestartCopiedScan(TCodedWindow& coded, const TRestartCopy& copy,
                              const std::function<void(int)>& atRow);
  void Flush() { writer_.FlushBits(); }
  void WriteBlock(std::span<const std::uint8_t> bytes) {
    writer_.WriteBlock(bytes.data(), bytes.size());
  }
  void WriteCoded(const TCodedWindow& coded) {
    WriteBlock(coded.Before);
    WriteBlock(coded.Scan.Bytes());
    WriteBlock(coded.After);
  }
  // The segments between the scan and EOI as plan decides them, then EOI.
  void WriteTail(const TMetadataPlan& plan);
  // Where the body of the segment that holds plan's MP index starts in the output; 0 before it
  // is written.
  std::size_t IndexBody() const { return indexBody_; }

 private:
  // Codes the rows of split's parts one after the other into writer, the first part on the
  // calling thread and each later one aside, on a thread of its own.
  bool CodeParts(const std::vector<TScanPart>& split, const TBlockSource& blocks,
                 const TWindowTables& tables, TOutBitStreamFile& writer,
                 const std::function<void(int)>& atRow, TDcPicture* dcPicture);
  void Copy(std::int64_t start, std::int64_t end) {
    writer_.WriteBlock(source_.data() + start, static_cast<std::size_t>(end - start));
  }
  void WriteFrame(const TSegment& segment);
  // Model segment i as plan decides it; quantisation tables transposed with the blocks.
  void WriteSegment(std::size_t i, const TMetadataPlan* plan);

  const TJpegModel& model_;
  std::span<const std::uint8_t> source_;
  const TTrimWindow& window_;
  bool transposed_;
  TByteStream& output_;
  TOutBitStreamFile writer_;
  std::size_t indexBody_ = 0;
};

void TWindowWriter::WriteHeader(const TWindowTables& tables, const TMetadataPlan* plan) {
  writer_.WriteWord(kSoi);
  bool dhtWritten = false;
  // Segments the plan adds come right after the APP0 segments, which JFIF wants first.
  bool insertedWritten = plan == nullptr || plan->Inserted.empty();
  const std::span<const TSegment> header = model_.HeaderSegments();
  for (std::size_t i = 0; i < header.size(); ++i) {
    const TSegment& segment = header[i];
    if (!insertedWritten && segment.Marker != kApp0) {
      WriteBlock(plan->Inserted);
      insertedWritten = true;
    }
    // Fitted tables go in place of the first DHT segment, or just before the scan header.
    const bool replaced = !tables.Dht.empty() && (segment.Kind == TSegment::TKind::kHuffman ||
                                                  segment.Kind == TSegment::TKind::kScanHeader);
    if (segment.Kind == TSegment::TKind::kScanHeader) {
      // A table first defined for the components of a later scan: the trim, one scan, carries
      // it in its header, after whatever defined the table before.
      const std::int64_t dataEnd = model_.Scans.back().DataEnd;
      for (std::size_t j = header.size(); j < model_.Segments.size(); ++j) {
        if (model_.Segments[j].Start > dataEnd) break;
        if (model_.Segments[j].Kind == TSegment::TKind::kQuant) WriteSegment(j, plan);
      }
    }
    if (replaced && !dhtWritten) {
      WriteBlock(tables.Dht);
      dhtWritten = true;
    }
    if (segment.Kind == TSegment::TKind::kScanHeader && !tables.ScanHeader.empty()) {
      WriteBlock(tables.ScanHeader);
    } else if (segment.Kind == TSegment::TKind::kFrame) {
      WriteFrame(segment);
    } else if (!(replaced && segment.Kind == TSegment::TKind::kHuffman)) {
      WriteSegment(i, plan);
    }
  }
}

void TWindowWriter::WriteSegment(std::size_t i, const TMetadataPlan* plan) {
  const TSegment& segment = model_.Segments[i];
  if (IsAppOrCom(segment.Marker)) {
    if (plan == nullptr ? segment.Marker != kApp0 && segment.Marker != kApp14
                        : plan->Fates[i].Action == TSegmentFate::TAction::kDrop) {
      return;
    }
  }
  writer_.WriteWord(segment.Marker);
  if (plan != nullptr && plan->Stored.Index && plan->Stored.IndexSegment == i) {
    indexBody_ = static_cast<std::size_t>(output_.Position()) + 2;
  }
  if (plan != nullptr && plan->Fates[i].Action == TSegmentFate::TAction::kReplace) {
    const std::vector<std::uint8_t>& body = plan->Fates[i].Body;
    writer_.WriteWord(static_cast<std::uint16_t>(body.size() + 2));
    WriteBlock(body);
    return;
  }
  if (segment.Kind == TSegment::TKind::kQuant && transposed_) {
    Copy(segment.Start, segment.Start + 2);
    const std::vector<std::uint8_t> tables = TransposedQuantTables(
        source_.subspan(static_cast<std::size_t>(segment.Start + 2),
                        static_cast<std::size_t>(segment.End - segment.Start - 2)));
    WriteBlock(tables);
    return;
  }
  Copy(segment.Start, segment.End);
}

void TWindowWriter::WriteFrame(const TSegment& segment) {
  writer_.WriteWord(model_.OutputFrameMarker());
  // The length word and the precision, then the window's size in place of the picture's.
  Copy(segment.Start, segment.Start + 3);
  writer_.WriteWord(window_.Height);
  writer_.WriteWord(window_.Width);
  if (!transposed_) {
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

bool TWindowWriter::CodeParts(const std::vector<TScanPart>& split, const TBlockSource& blocks,
                              const TWindowTables& tables, TOutBitStreamFile& writer,
                              const std::function<void(int)>& atRow, TDcPicture* dcPicture) {
  if (split.size() == 1) {
    return CodePart(model_, blocks, tables, split[0], writer, atRow, dcPicture);
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
  // The first part goes straight into the output; it tells its rows as shares of all parts'.
  const int first = split.front().Window.FirstRow;
  const int rows = split.back().Window.EndRow - first;
  const int firstRows = split[0].Window.EndRow - first;
  bool done = CodePart(
      model_, blocks, tables, split[0], writer,
      [&](int row) { atRow(first + (row - first) * rows / firstRows); }, dcPicture);
  for (std::size_t j = threaded; j < split.size(); ++j) codeAside(j);
  threads.clear();  // joins
  for (std::size_t j = 1; j < split.size(); ++j) {
    if (coded[j].Failure) std::rethrow_exception(coded[j].Failure);
    done = done && coded[j].Done;
  }
  if (!done) return false;
  for (std::size_t j = 1; j < split.size(); ++j) {
    writer.AppendCoded(coded[j].Stream.Bytes(), coded[j].PendingValue, coded[j].PendingCount);
  }
  return true;
}

bool TWindowWriter::WriteCopiedScan(TCodedWindow& coded, const TScanCopy& copy,
                                    const std::function<void(int)>& atRow) {
  const TWindowTables& tables = coded.Tables;
  // The rows above start the scan as they start the source's, byte for byte.
  const auto dataStart = static_cast<std::size_t>(model_.Scans[0].DataStart);
  coded.Before = source_.subspan(dataStart, copy.First.Byte - dataStart);
  if (copy.First.Bits > 0) {
    writer_.WriteBits(source_[copy.First.Byte] >> (8 - copy.First.Bits), copy.First.Bits);
  }
  // The changed rows: a head, whose coded blocks without AC coefficients take the ZRL codes
  // that make the rows end where the source's do, written twice (once to count its bits); and
  // the rest, written once aside. A head of the first row, where the wipes start, mostly has
  // room enough; else the head is every changed row.
  const auto codedBits = [](const TByteStream& stream, const TOutBitStreamFile& writer) {
    const std::span<const std::uint8_t> bytes = stream.Bytes();
    const auto stuffing = std::count(bytes.begin(), bytes.end(), std::uint8_t{0xFF});
    return static_cast<std::int64_t>(bytes.size() - static_cast<std::size_t>(stuffing)) * 8 +
           writer.PendingCount();
  };
  const auto band = [&](int first, int end, TOutBitStreamFile& writer,
                        const std::function<void(int)>& told, TZeroRuns* zeroRuns,
                        TZeroRuns* room) {
    return CodeBand(model_, source_, tables, copy, first, end, writer, told, zeroRuns, room);
  };
  const std::size_t count = model_.Components.size();
  TZeroRuns length{};
  for (std::size_t slot = 0; slot < count; ++slot) {
    length[slot] = tables.Encode[static_cast<std::size_t>(tables.AcSlot[slot])].Length[0xF0];
  }
  TByteStream rest;
  TOutBitStreamFile restWriter(rest);
  std::int64_t restBits = 0;
  int headEnd = copy.EndRow;
  if (copy.EndRow - copy.FirstRow >= 2) {
    headEnd = copy.FirstRow + 1;
    rest.Reserve(copy.End.Byte - copy.Band.At(headEnd, 0).Place.Byte + 1024);
    if (!band(headEnd, copy.EndRow, restWriter, atRow, nullptr, nullptr)) return false;
    restBits = codedBits(rest, restWriter);
  }
  for (;;) {
    TByteStream aside;
    TOutBitStreamFile counter(aside);
    // The blocks without AC coefficients of each component that the head codes.
    TZeroRuns room{};
    if (!band(
            copy.FirstRow, headEnd, counter, [](int) {}, nullptr, &room))
      return false;
    const std::int64_t bits = codedBits(aside, counter) + restBits;
    const int pad = static_cast<int>(((copy.End.Bits - copy.First.Bits - bits) % 8 + 8) % 8);
    // Up to seven runs a component reach every remainder the lengths can make.
    TZeroRuns runs{};
    bool found = pad == 0;
    for (int combination = 1; !found && combination < 1 << (3 * count); ++combination) {
      int sum = 0;
      bool fits = true;
      for (std::size_t slot = 0; slot < count; ++slot) {
        runs[slot] = combination >> (3 * slot) & 7;
        fits = fits && (runs[slot] == 0 || (length[slot] > 0 && runs[slot] <= room[slot]));
        sum += runs[slot] * length[slot];
      }
      found = fits && sum % 8 == pad;
    }
    if (!found && headEnd < copy.EndRow) {
      // Every changed row is the head after all.
      headEnd = copy.EndRow;
      rest.Clear();
      restBits = 0;
      continue;
    }
    if (!found) return false;
    if (pad == 0) runs = {};
    if (!band(copy.FirstRow, headEnd, writer_, atRow, &runs, nullptr)) return false;
    break;
  }
  if (headEnd < copy.EndRow) {
    writer_.AppendCoded(rest.Bytes(), restWriter.PendingValue(), restWriter.PendingCount());
  }
  if (writer_.PendingCount() != copy.End.Bits) return false;
  // A band that ends the scan ends the coded data, its last byte padded with 1-bits: whatever
  // the source holds after its last block, filler or bytes that start no block, stays behind.
  if (copy.EndRow == model_.McuRows) return true;
  // The rest of the source's byte, then its bytes to the end of the scan as they stand.
  std::size_t next = copy.End.Byte;
  if (copy.End.Bits > 0) {
    writer_.WriteBits(source_[next] & (0xFFu >> copy.End.Bits), 8 - copy.End.Bits);
    next += source_[next] == 0xFF ? 2 : 1;
  }
  coded.After = source_.subspan(next, static_cast<std::size_t>(model_.Scans[0].DataEnd) - next);
  return true;
}

bool TWindowWriter::WriteRestartCopiedScan(TCodedWindow& coded, const TRestartCopy& copy,
                                           const std::function<void(int)>& atRow) {
  const TMcuLayout layout = ScanLayout(model_, model_.Scans[0]);
  const std::int64_t total = std::int64_t{layout.EndCol} * layout.EndRow;
  const std::size_t count = copy.Changed.size();
  const auto dataStart = static_cast<std::size_t>(model_.Scans[0].DataStart);
  const auto dataEnd = static_cast<std::size_t>(model_.Scans[0].DataEnd);
  const auto startOf = [&](std::size_t k) { return k == 0 ? dataStart : copy.Markers[k - 1].Next; };
  // Where the intervals to copy that are not yet written start; the first run is borrowed.
  std::optional<std::size_t> copying = dataStart;
  bool first = true;
  for (std::size_t k = 0; k < count; ++k) {
    if (copy.Changed[k] == 0) {
      if (!copying) copying = startOf(k);
      continue;
    }
    if (copying) {
      const std::span<const std::uint8_t> run = source_.subspan(*copying, startOf(k) - *copying);
      if (first) {
        coded.Before = run;
      } else {
        WriteBlock(run);
      }
      copying.reset();
    }
    first = false;
    const std::int64_t begin = static_cast<std::int64_t>(k) * layout.RestartInterval;
    const std::int64_t end = std::min(begin + layout.RestartInterval, total);
    // Each interval starts on a byte with fresh predictors; an MCU after it, where the one
    // before ends, with the DC values of that one's last blocks.
    const auto mcuStart = [&](std::int64_t mcu) {
      if (mcu == begin) return TMcuStart{{startOf(k), 0}, {}};
      return copy.Ends[static_cast<std::size_t>(mcu - 1)];
    };
    if (!CodeMcus(model_, source_, coded.Tables, *copy.Wipes, begin, end, mcuStart, {}, writer_,
                  atRow, nullptr, nullptr)) {
      return false;
    }
    if (k + 1 < count) writer_.WriteWord(static_cast<std::uint16_t>(kRst0 + RestartNumber(k)));
  }
  writer_.FlushBits();
  if (copying) coded.After = source_.subspan(*copying, dataEnd - *copying);
  return true;
}

void TWindowWriter::WriteTail(const TMetadataPlan& plan) {
  // Segments before EOI are written as in the header, so a second Exif segment there is
  // dropped or rewritten too.
  const std::span<const TSegment> tail = model_.TailSegments();
  const std::size_t first = model_.Segments.size() - tail.size();
  for (std::size_t i = first; i < model_.Segments.size(); ++i) WriteSegment(i, &plan);
  writer_.WriteWord(kEoi);
}

}  // namespace

EJpegError CodeWindow(const TTrimSource& source, const TTrimWindow& window,
                      const std::function<void(int)>& atRow, int parts, TCodedWindow& coded,
                      TDcPicture* dcPicture, const TScanCopy* copy, const TRestartCopy* restarts) {
  const TJpegModel& model = source.Model;
  if (model.TailFault != EJpegError::kNone) return model.TailFault;
  // The window's share of the coded data, with room to spare, saves regrowing the stream.
  const std::int64_t headerEnd = model.HeaderSegments().back().End;
  const std::int64_t dataEnd = model.Scans.back().DataEnd;
  const double share = static_cast<double>(window.EndCol - window.FirstCol) *
                       (window.EndRow - window.FirstRow) /
                       (static_cast<double>(model.McuCols) * model.McuRows);
  coded.Scan.Clear();
  coded.Before = coded.After = {};
  // A copy codes a band of rows.
  double coding =
      copy != nullptr ? static_cast<double>(copy->EndRow - copy->FirstRow) / model.McuRows : share;
  if (restarts != nullptr) {
    coding =
        static_cast<double>(std::count(restarts->Changed.begin(), restarts->Changed.end(), 1)) /
        static_cast<double>(restarts->Changed.size());
  }
  coded.Scan.Reserve(
      static_cast<std::size_t>(coding * 1.1 * static_cast<double>(dataEnd - headerEnd) + 1024));
  // The file's own tables code most windows of a single scan. Coding with them straight away
  // saves a pass counting the window's symbols; a symbol they lack sends the window back to be
  // coded from the start with tables chosen for it.
  if (SourceWindowTables(model, coded.Tables)) {
    TWindowWriter writer(source, window, false, coded.Scan);
    const bool written =
        restarts != nullptr ? writer.WriteRestartCopiedScan(coded, *restarts, atRow)
        : copy != nullptr   ? writer.WriteCopiedScan(coded, *copy, atRow)
                          : writer.WriteScan(source.Blocks, coded.Tables, atRow, parts, dcPicture);
    if (written) {
      writer.Flush();
      return EJpegError::kNone;
    }
    coded.Scan.Clear();
    coded.Before = coded.After = {};
  }
  if (copy != nullptr || restarts != nullptr) return EJpegError::kUncodableCoefficient;
  if (!ChooseWindowTables(model, source.Blocks, window, coded.Tables)) {
    return EJpegError::kUncodableCoefficient;
  }
  TWindowWriter writer(source, window, false, coded.Scan);
  // ChooseWindowTables has made sure of every code, so this only guards that promise.
  if (!writer.WriteScan(source.Blocks, coded.Tables, atRow, parts, dcPicture)) {
    return EJpegError::kUncodableCoefficient;
  }
  writer.Flush();
  return EJpegError::kNone;
}

void WriteBarePicture(const TTrimSource& source, const TTrimWindow& window, bool transposed,
                      const TCodedWindow& coded, bool withScan, TByteStream& output) {
  output.Clear();
  TWindowWriter writer(source, window, transposed, output);
  writer.WriteHeader(coded.Tables, nullptr);
  if (withScan) writer.WriteCoded(coded);
  writer.WriteBlock(MarkerBytes(kEoi));
}

void WriteOutput(const TTrimSource& source, const TTrimWindow& window, bool transposed,
                 const TCodedWindow& coded, const TMetadataPlan& plan, TOutputPieces& output) {
  const std::span<const std::uint8_t> file = source.Bytes;
  const TStoredImagesPlan& stored = plan.Stored;
  output.Clear();
  // The header and the segments after the scan are written here; the coded data and what follows
  // the stored images are borrowed where they stand.
  TByteStream& head = output.Own();
  head.Reserve(static_cast<std::size_t>(source.Model.HeaderSegments().back().End) + 1024);
  TWindowWriter headWriter(source, window, transposed, head);
  headWriter.WriteHeader(coded.Tables, &plan);
  output.Borrow(coded.Before);
  output.Borrow(coded.Scan.Bytes());
  output.Borrow(coded.After);
  const std::size_t tailStart = output.Size();
  TByteStream& tail = output.Own();
  std::size_t images = 0;
  for (const TStoredImagesPlan::TImage& image : stored.Images) images += image.Bytes.size();
  tail.Reserve(images + (stored.Rest ? stored.Rest->size() : 0) + 1024);
  TWindowWriter tailWriter(source, window, transposed, tail);
  tailWriter.WriteTail(plan);
  const std::size_t imageEnd = tailStart + static_cast<std::size_t>(tail.Position());
  std::optional<TMpIndex> index = stored.Index;
  // The entries are set in the piece that holds the index, whose offsets it counts from its
  // own start.
  std::span<std::uint8_t> indexPiece = head.MutableBytes();
  std::size_t indexPieceStart = 0;
  if (index) {
    std::size_t body = headWriter.IndexBody();
    if (body == 0 && tailWriter.IndexBody() != 0) {
      body = tailStart + tailWriter.IndexBody();
      indexPiece = tail.MutableBytes();
      indexPieceStart = tailStart;
    }
    // The entries keep their place in the segment, which now starts elsewhere.
    index->Base =
        body +
        (index->Base - static_cast<std::size_t>(source.Model.Segments[stored.IndexSegment].Body()));
  }
  const auto putEntry = [&](std::size_t i, std::uint32_t size, std::uint32_t offset) {
    TMpIndex inPiece = *index;
    inPiece.Base -= indexPieceStart;
    PutMpEntry(indexPiece, inPiece, i, size, offset);
  };
  if (index) {
    // Entries of images the output does not hold become empty.
    for (std::size_t i = 1; i < index->Entries.size(); ++i) putEntry(i, 0, 0);
    putEntry(0, static_cast<std::uint32_t>(imageEnd), 0);
  }
  for (const TStoredImagesPlan::TImage& image : stored.Images) {
    if (image.Bytes.empty()) continue;
    if (index && image.MpEntry && *image.MpEntry < index->Entries.size()) {
      const std::size_t at = tailStart + static_cast<std::size_t>(tail.Position());
      putEntry(*image.MpEntry, static_cast<std::uint32_t>(image.Bytes.size()),
               static_cast<std::uint32_t>(at - index->Base));
    }
    tailWriter.WriteBlock(image.Bytes);
  }
  if (stored.Rest) {
    tailWriter.WriteBlock(*stored.Rest);
  } else if (stored.RestStart < file.size()) {
    output.Borrow(file.subspan(stored.RestStart));
  }
}

}  // namespace tarvo
