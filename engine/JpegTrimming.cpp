#include "JpegTrimming.h"

#include <new>

#include "BitStreamFile.h"
#include "JpegMarkers.h"
#include "JpegModelReader.h"
#include "Messages.h"
#include "ScanDecoder.h"
#include "TrimWindow.h"
#include "WindowWriter.h"

namespace tarvo {

TJpegTrimming::TJpegTrimming()
    : OnMessage([](const std::string&, int) {}),
      OnProgressStart([](int) {}),
      OnProgress([](int) {}) {}

// A caller may have installed an empty procedure; the engine then reports to no one.
void TJpegTrimming::Report(std::string_view text) {
  if (OnMessage) OnMessage(std::string(text), kSeverityError);
}

void TJpegTrimming::ReportProgress(int position) {
  if (OnProgress) OnProgress(position);
}

bool TJpegTrimming::AnalyzeFile(const std::string& fileName) {
  decodedValid_ = false;
  modelValid_ = false;
  sourceStream_.Clear();
  // A file that does not start with SOI is refused from its first two bytes.
  static constexpr std::uint8_t kSoiBytes[] = {markers::kSoi >> 8, markers::kSoi & 0xFF};
  sourceStream_.LoadFromFile(fileName, kSoiBytes);
  return Analyze(false);
}

bool TJpegTrimming::AnalyzeBytes(std::span<const std::uint8_t> bytes) {
  decodedValid_ = false;
  modelValid_ = false;
  sourceStream_.Assign(bytes);
  return Analyze(false);
}

bool TJpegTrimming::Analyze(bool forTrim) {
  modelValid_ =
      ReadJpegModel(sourceStream_, OnMessage, forTrim, model_) && DecodeUnlessMarkerFollows();
  if (!modelValid_) model_ = TJpegModel{};
  return modelValid_;
}

bool TJpegTrimming::DecodeUnlessMarkerFollows() {
  if (model_.Scans.back().DataEnd < sourceStream_.Size()) return true;
  if (OnProgressStart) OnProgressStart(model_.McuCols + model_.McuRows);
  decodedValid_ = DecodeScans();
  return decodedValid_;
}

bool TJpegTrimming::Trim(TByteStream& output, const TTrimRect& rect, bool dropExif,
                         TTrimRect* cut) {
  output.Clear();
  try {
    return TrimWindow(output, rect, dropExif, cut);
  } catch (const std::bad_alloc&) {
    Report(kMsgOutOfMemory);
    return false;
  }
}

bool TJpegTrimming::TrimWindow(TByteStream& output, const TTrimRect& rect, bool dropExif,
                               TTrimRect* cut) {
  // A file the analysis refused is refused again, with the trim's words where they differ.
  if (!modelValid_ && !Analyze(true)) return false;
  if (!LiesInside(rect, model_.Width, model_.Height)) {
    Report(kMsgRectOutside);
    return false;
  }
  if (OnProgressStart) OnProgressStart(model_.McuCols + model_.McuRows);
  ReportProgress(0);
  if (!decodedValid_) {
    if (!DecodeScans()) return false;
    decodedValid_ = true;
  }
  const TTrimWindow window = WindowOf(model_, rect);
  const TWriteReports reports{[this](std::string_view text) { Report(text); },
                              [this](int row) { ReportProgress(model_.McuRows + row); }};
  if (!WriteWindow({sourceStream_.Bytes(), model_, store_}, window, dropExif, output, reports)) {
    return false;
  }
  output.SetPosition(0);
  if (cut != nullptr) *cut = window.Cut;
  return true;
}

bool TJpegTrimming::DecodeScans() {
  // A file of several scans leaves blocks, or bits of them, to later scans, and a scan of one
  // component skips the blocks that pad its rows to whole MCUs: the store starts cleared.
  store_.Allocate(model_, !model_.SingleScan());
  // However decoding ends, the thread faulting pages in ends with it.
  struct TFinish {
    TCoefficientStore& store;
    ~TFinish() { store.Finish(); }
  } const finish{store_};
  TInBitStreamFile reader(sourceStream_, OnMessage);
  const int scans = static_cast<int>(model_.Scans.size());
  for (int i = 0; i < scans; ++i) {
    const TScanReports reports{[this](std::string_view text) { Report(text); },
                               [this, i, scans](int row) {
                                 ReportProgress((i * model_.McuRows + row) / scans);
                                 store_.Advance(row);
                               }};
    const TScan& scan = model_.Scans[static_cast<std::size_t>(i)];
    reader.SetPosition(scan.DataStart);
    const bool decoded = model_.Progressive()
                             ? DecodeProgressiveScan(model_, scan, reader, store_, reports)
                             : DecodeSequentialScan(model_, scan, reader, store_, reports);
    if (!decoded) return false;
  }
  return true;
}

}  // namespace tarvo
