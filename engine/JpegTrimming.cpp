#include "JpegTrimming.h"

#include <algorithm>
#include <array>
#include <climits>
#include <future>
#include <new>
#include <optional>
#include <thread>
#include <vector>

#include "ArithmeticScanDecoder.h"

#include "BitStreamFile.h"
#include "CutMetadata.h"
#include "DcPicture.h"
#include "ExifOrientation.h"
#include "JpegMarkers.h"
#include "JpegModelReader.h"
#include "Messages.h"
#include "MetadataAhead.h"
#include "RestartParts.h"
#include "ScanBand.h"
#include "ScanDecoder.h"
#include "TrimWindow.h"
#include "TurnedBlocks.h"
#include "WindowWriter.h"

namespace tarvo {

namespace {

// Cuts a picture stored in the file with an engine of its own, which follows that picture's
// metadata as this one's does but leaves the pictures it stores itself as they are.
class TEngineCutter final : public TStoredPictureCutter {
 public:
  explicit TEngineCutter(const TEmbeddedPictureOptions& options) : options_(options) {
    options_.StoredImages = false;
  }
  std::optional<TStoredPictureInfo> Analyze(std::span<const std::uint8_t> picture) const override {
    TJpegTrimming engine;
    engine.OnMessage = nullptr;
    if (!engine.AnalyzeBytes(picture)) return std::nullopt;
    return TStoredPictureInfo{engine.Grid(), engine.ExifOrientation()};
  }
  std::vector<std::uint8_t> Cut(std::span<const std::uint8_t> picture, const TOrientedTrim& cut,
                                bool dropExif, TOrientedTrim* written = nullptr,
                                std::span<const TWipe> wipes = {}) const override {
    TJpegTrimming engine;
    engine.OnMessage = nullptr;
    engine.Pictures = options_;
    engine.Wipes.assign(wipes.begin(), wipes.end());
    TByteStream output;
    if (!engine.AnalyzeBytes(picture) || !engine.TrimCut(output, cut, dropExif, written)) {
      return {};
    }
    const auto bytes = output.Bytes();
    return std::vector<std::uint8_t>(bytes.begin(), bytes.end());
  }

 private:
  TEmbeddedPictureOptions options_;
};

}  // namespace

TJpegTrimming::TJpegTrimming()
    : OnMessage([](const std::string&, int) {}),
      OnProgressStart([](int) {}),
      OnProgress([](int) {}) {}

// A caller may have installed an empty procedure; the engine then reports to no one.
TJpegStatus TJpegTrimming::Reported(TJpegStatus status, bool trimWording) {
  if (status) return status;
  if (OnReport) {
    OnReport({status, trimWording, std::nullopt});
  } else if (OnMessage) {
    OnMessage(MessageText(status, trimWording), kSeverityError);
  }
  return status;
}

void TJpegTrimming::Warn(std::span<const TJpegWarning> warnings) {
  for (const TJpegWarning& warning : warnings) {
    if (OnReport) {
      OnReport({{}, false, warning});
    } else if (OnMessage) {
      OnMessage(MessageText(warning), kSeverityWarning);
    }
  }
}

void TJpegTrimming::ReportProgress(int position) {
  if (OnProgress) OnProgress(position);
}

TJpegTrimming::~TJpegTrimming() = default;

TJpegStatus TJpegTrimming::AnalyzeFile(const std::string& fileName) {
  sequential_.reset();
  decodedRows_ = 0;
  decodedIntervals_.clear();
  plannedCuts_.clear();
  modelValid_ = false;
  sourceStream_.Clear();
  mappedSource_.reset();
  try {
    // A file that does not start with SOI is refused from its first two bytes.
    static constexpr auto kSoiBytes = markers::MarkerBytes(markers::kSoi);
    if (MapsSourceFile) {
      mappedSource_ = std::make_unique<TMappedFile>(fileName, kSoiBytes);
      sourceStream_.Borrow(mappedSource_->Bytes());
    } else {
      sourceStream_.LoadFromFile(fileName, kSoiBytes);
    }
  } catch (const std::bad_alloc&) {
    return Reported(EJpegError::kOutOfMemory, false);
  }
  return Reported(Analyze(), false);
}

TJpegStatus TJpegTrimming::AnalyzeBytes(std::span<const std::uint8_t> bytes) {
  sequential_.reset();
  decodedRows_ = 0;
  decodedIntervals_.clear();
  plannedCuts_.clear();
  modelValid_ = false;
  try {
    sourceStream_.Assign(bytes);
    mappedSource_.reset();
  } catch (const std::bad_alloc&) {
    return Reported(EJpegError::kOutOfMemory, false);
  }
  return Reported(Analyze(), false);
}

TJpegStatus TJpegTrimming::Analyze() {
  cutRows_ = -1;
  intactRows_ = -1;
  TJpegStatus status;
  std::vector<TJpegWarning> decoding;
  // Analysis may decode, and a file's frame may ask for more blocks than memory holds.
  try {
    status = ReadJpegModel(sourceStream_, model_);
    if (status) status = DecodeUnlessMarkerFollows(decoding);
  } catch (const std::bad_alloc&) {
    status = EJpegError::kOutOfMemory;
  }
  modelValid_ = static_cast<bool>(status);
  if (!modelValid_) {
    model_ = TJpegModel{};
    exifOrientation_ = kAsStored;
    return status;
  }
  exifOrientation_ = ReadExifOrientation(model_, sourceStream_.Bytes());
  Warn(model_.Warnings);
  Warn(decoding);
  return status;
}

EJpegError TJpegTrimming::DecodeUnlessMarkerFollows(std::vector<TJpegWarning>& warnings) {
  if (model_.Scans.back().DataEnd < sourceStream_.Size() || !AnalysisDecodes) {
    return EJpegError::kNone;
  }
  if (OnProgressStart) OnProgressStart(model_.McuCols + model_.McuRows);
  return DecodeScans(model_.McuRows, {}, warnings);
}

TJpegStatus TJpegTrimming::Trim(TByteStream& output, const TTrimRect& rect, bool dropExif,
                                TTrimRect* cut) {
  TOrientedTrim written;
  const TJpegStatus status =
      TrimCut(output, {rect, kAsStored, exifOrientation_}, dropExif, &written);
  if (status && cut != nullptr) *cut = written.Source;
  return status;
}

TJpegStatus TJpegTrimming::TrimCut(TByteStream& output, const TOrientedTrim& cut, bool dropExif,
                                   TOrientedTrim* written) {
  output.Clear();
  TOutputPieces pieces;
  TJpegStatus status = TrimCut(pieces, cut, dropExif, written);
  try {
    if (status) pieces.CopyTo(output);
  } catch (const std::bad_alloc&) {
    output.Clear();
    status = Reported(EJpegError::kOutOfMemory, true);
  }
  return status;
}

TJpegStatus TJpegTrimming::TrimCut(TOutputPieces& output, const TOrientedTrim& cut, bool dropExif,
                                   TOrientedTrim* written) {
  output.Clear();
  TJpegStatus status;
  try {
    status = WriteCut(output, cut, dropExif, written, true);
  } catch (const std::bad_alloc&) {
    status = EJpegError::kOutOfMemory;
  }
  // A missing SOI or an unknown marker can only come from a file the analysis refused, met
  // again here: the trim words them as fatal.
  return Reported(status, true);
}

TJpegStatus TJpegTrimming::WriteCut(TOutputPieces& output, const TOrientedTrim& cut, bool dropExif,
                                    TOrientedTrim* written, bool mayCopy) {
  if (!modelValid_) {
    const TJpegStatus analysis = Analyze();
    if (!analysis) return analysis;
  }
  TOrientedTrim snapped;
  TTrimWindow window;
  if (const EJpegError refused = WindowFor(cut, snapped, window); refused != EJpegError::kNone) {
    return refused;
  }
  const bool turned = !snapped.Turn.IsIdentity();
  if (OnProgressStart) OnProgressStart(model_.McuCols + model_.McuRows);
  ReportProgress(0);
  // A thumbnail drawn anew takes the cut's DC values: those of the rows a copy walks are noted
  // as it walks them.
  TDcPicture dcPicture;
  if (!turned && mayCopy && Pictures.Maker != nullptr && !Wipes.empty()) {
    dcPicture = DcPictureFor(model_, window);
  }
  const std::span<const std::uint8_t> bytes = sourceStream_.Bytes();
  const TEngineCutter cutter(Pictures);
  // What the metadata is told of a cut written whole as outputWindow; it is told of the wipes and
  // told to redraw every copy of the picture until the wipes are known to touch nothing.
  const auto contextOf = [&](const TTrimWindow& outputWindow) {
    return TCutContext{
        .Source = bytes,
        .Model = model_,
        .ImageEnd = static_cast<std::size_t>(
            model_.Eoi < static_cast<std::int64_t>(bytes.size()) ? model_.Eoi + 2 : model_.Eoi),
        .Rect = snapped.Source,
        .Turn = snapped.Turn,
        .Orientation = snapped.Tag,
        .Width = outputWindow.Width,
        .Height = outputWindow.Height,
        .DropExif = dropExif,
        .KeepThumbnails = false,
        .StoredImages = Pictures.StoredImages,
        .Maker = Pictures.Maker,
        .Cutter = &cutter,
        .DrawCut = nullptr,
        .Stored = nullptr,
        .Wipes = Wipes,
    };
  };
  std::optional<TScanCopy> copy;
  std::optional<TRestartCopy> restartCopy;
  std::optional<TMetadataAhead> ahead;
  if (!turned && mayCopy) {
    const TMcuGrid grid = Grid();
    if (WipeMayCopy(window, true) && std::any_of(Wipes.begin(), Wipes.end(), [&](const TWipe& w) {
          const TTrimRect grown = GrownToMcus(w.Region, grid);
          return grown.Left < grown.Right;
        })) {
      ahead.emplace(contextOf(window));
    }
    TDcPicture* dc = dcPicture.Planes.empty() ? nullptr : &dcPicture;
    copy = DecodeForCopy(window, dc);
    if (!copy) restartCopy = DecodeForRestartCopy(window);
  }
  // A copy needs no blocks decoded: its fills average the DC values its walk noted.
  std::vector<TTrimWindow> needed;
  if (!copy && !restartCopy) {
    needed = WipeWindows();
    needed.push_back(window);
  }
  for (const TTrimWindow& one : needed) {
    // Segments after the coded data that no trim can carry may be the rest of a damaged scan,
    // which only reading it to the end tells.
    if (Decoded(one) && (model_.TailFault == EJpegError::kNone || DecodedValid())) continue;
    std::vector<TJpegWarning> warnings;
    if (const EJpegError error = DecodeFor(one, warnings); error != EJpegError::kNone) {
      return error;
    }
    Warn(warnings);
  }
  if (window.Cut.Bottom > TrimmableHeight()) {
    TJpegStatus beyond(EJpegError::kBeyondCutOff);
    beyond.Rows = TrimmableHeight();
    return beyond;
  }
  if (intactRows_ >= 0 && window.EndRow > intactRows_) {
    TJpegStatus beyond(EJpegError::kBeyondDamage);
    beyond.Rows = std::min(model_.Height, intactRows_ * McuHeight());
    return beyond;
  }
  // A damaged block is never written: what the file lost is not made up.
  for (const TMcuRange& range : model_.Damaged) {
    if (Overlaps(window, range, model_.McuCols)) {
      TJpegStatus damaged(EJpegError::kDamagedRegion);
      damaged.Region = model_.RegionOf(range);
      return damaged;
    }
  }
  const auto atRow = [this](int row) { ReportProgress(model_.McuRows + row); };
  const auto parts = [this](const TTrimWindow& coded) {
    if (CodingThreads > 0) return CodingThreads;
    // A thread costs about as much to start as a few dozen MCUs take to code.
    constexpr std::int64_t kMcusPerThread = 1024;
    const std::int64_t mcus =
        std::int64_t{coded.EndCol - coded.FirstCol} * (coded.EndRow - coded.FirstRow);
    return static_cast<int>(std::clamp<std::int64_t>(
        mcus / kMcusPerThread, 1, std::max(1u, std::thread::hardware_concurrency())));
  };
  // A copy's fills average the DC values its walk noted; a picture decoded whole has them stored.
  const TDcPicture* walkedDc =
      copy ? &copy->BandDc : (restartCopy && !DecodedValid() ? &restartCopy->Dc : nullptr);
  const TWipes wipes =
      walkedDc != nullptr
          ? TWipes(
                model_,
                [walkedDc](int slot, std::size_t row, std::size_t col) {
                  return walkedDc->At(slot, row, col);
                },
                Wipes)
          : TWipes(model_, store_, Wipes, [this](int row, int col) { return KnownMcu(row, col); });
  if (copy) copy->Wipes = &wipes;
  if (restartCopy) restartCopy->Wipes = &wipes;
  // A copy of the picture kept as it was would show what the wipes blanked.
  const bool keepThumbnails = Pictures.KeepThumbnails && wipes.Empty();
  // A thumbnail drawn anew takes the cut's DC values, noted as the cut is coded.
  const bool drawsThumbnail = Pictures.Maker != nullptr && !keepThumbnails;
  TCodedWindow coded;
  const TJpegModel turnedModel = turned ? TurnedModel(model_, snapped) : TJpegModel{};
  const TJpegModel& outputModel = turned ? turnedModel : model_;
  const TTrimWindow outputWindow =
      turned ? WindowOf(turnedModel, {0, 0, turnedModel.Width, turnedModel.Height}) : window;
  if (drawsThumbnail && dcPicture.Planes.empty()) {
    dcPicture = DcPictureFor(outputModel, outputWindow);
  }
  const TStoredBlocks stored(store_, &wipes);
  std::optional<TTurnedBlocks> turnedBlocks;
  if (turned) turnedBlocks.emplace(model_, store_, snapped, &wipes);
  const TTrimSource source{bytes, outputModel,
                           turned ? static_cast<const TBlockSource&>(*turnedBlocks) : stored};
  const auto code = [&] {
    return CodeWindow(source, outputWindow, atRow, parts(outputWindow), coded,
                      drawsThumbnail && !copy && !restartCopy ? &dcPicture : nullptr,
                      copy ? &*copy : nullptr, restartCopy ? &*restartCopy : nullptr);
  };
  // A copy codes only the changed rows, with the source's own tables, and needs nothing the
  // metadata needs: both are done at once, and the walk for a thumbnail's DC values, its drawing
  // and an embedded preview's wipe keep the other core busy while the rows are coded.
  const bool codesAside = copy || restartCopy;
  TCodedWindow header;
  if (codesAside) SourceWindowTables(outputModel, header.Tables);
  std::future<EJpegError> coding;
  if (codesAside) {
    coding = std::async(std::launch::async, code);
  } else if (const EJpegError error = code(); error != EJpegError::kNone) {
    return error;
  }
  // The rows after a copy's band go over as they stand, so they must stand as coded: those no
  // decoding read are walked to the end of the scan while the band is coded, their DC values
  // noted for a thumbnail drawn from them.
  const bool restIntact =
      !copy || copy->RestRead ||
      WalkDcValues(model_, sourceStream_.Bytes(), copy->Band.Starts.back(), copy->EndRow,
                   model_.McuRows, dcPicture.Planes.empty() ? nullptr : &dcPicture)
          .has_value();
  // The DC values of a copy's output, gathered only once a picture is drawn from them: the
  // band's as its walk noted them, wiped; the rows above and below it as the store holds them
  // when it holds the whole picture, else as the walks before and after the band noted them.
  std::optional<bool> dcComplete;
  if (!copy && !restartCopy) dcComplete = true;
  const auto fillDc = [&] {
    if (walkedDc == nullptr) {
      PutDecodedDc(stored, dcPicture);
      return true;
    }
    // Those a walk noted, the whole picture's for a restart copy, wiped.
    std::array<std::int16_t, 64> scratch;
    for (std::size_t slot = 0; slot < walkedDc->Planes.size(); ++slot) {
      const TDcPicture::TPlane& plane = walkedDc->Planes[slot];
      for (std::size_t r = 0; r < static_cast<std::size_t>(plane.Rows); ++r) {
        for (std::size_t c = 0; c < static_cast<std::size_t>(plane.Cols); ++c) {
          const std::size_t row = plane.FirstRow + r;
          const std::int16_t* fill = wipes.Fill(static_cast<int>(slot), row, c, scratch.data());
          dcPicture.Put(
              static_cast<int>(slot), row, c,
              fill != nullptr ? fill[0] : plane.Dc[r * static_cast<std::size_t>(plane.Cols) + c]);
        }
      }
    }
    if (restartCopy) return true;
    const int bandFirst = copy->Band.FirstRow;
    if (DecodedValid()) {
      for (const auto& [first, end] :
           {std::pair{0, bandFirst}, std::pair{copy->EndRow, model_.McuRows}}) {
        TTrimWindow rows = outputWindow;
        rows.FirstRow = first;
        rows.EndRow = end;
        WalkWindow(
            model_, stored, rows, {}, [](int) {},
            [&](int slot, std::size_t row, std::size_t col, const std::int16_t* block, int&) {
              dcPicture.Put(slot, row, col, block[0]);
              return true;
            },
            [] {});
      }
      return true;
    }
    return restIntact;
  };
  const auto completeDc = [&] {
    if (!dcComplete) dcComplete = fillDc();
    return *dcComplete;
  };
  // The metadata is decided before the cut is written; pictures of the cut are drawn from its
  // DC values where an eighth of it is enough, else from the coded window.
  const bool transposed = snapped.Turn.Transpose;
  TByteStream bare;
  bool bareHasScan = false;
  const auto barePicture = [&](bool withScan) {
    if (bare.Size() == 0 || (withScan && !bareHasScan)) {
      // A picture with the scan waits for its rows to be coded; a failed coding draws a picture
      // that is never written, as the cut starts again.
      if (withScan && coding.valid()) coding.wait();
      WriteBarePicture(source, outputWindow, transposed, withScan || !codesAside ? coded : header,
                       withScan, bare);
      bareHasScan = withScan;
    }
    return bare.Bytes();
  };
  TCutContext context = contextOf(outputWindow);
  context.KeepThumbnails = keepThumbnails;
  if (wipes.Empty()) context.Wipes = {};
  context.DrawCut = [&](const TDrawRequest& request) {
    std::vector<std::uint8_t> drawn;
    if (Pictures.Maker == nullptr) return drawn;
    if (drawsThumbnail && completeDc()) {
      drawn = Pictures.Maker->SmallerFromDc(dcPicture, barePicture(false), request.MaxWidth,
                                            request.MaxHeight, request.Like, request.MaxBytes,
                                            request.Quality);
    }
    if (drawn.empty()) {
      drawn = Pictures.Maker->Smaller(barePicture(true), request.MaxWidth, request.MaxHeight,
                                      request.Like, request.MaxBytes, request.Quality);
    }
    return drawn;
  };
  // The plan decided ahead holds for a copy, whose wipes touch the picture; any other cut is
  // planned now, the model as decoding left it.
  const TMetadataPlan plan = [&] {
    if (ahead && (copy || restartCopy) && !wipes.Empty()) return ahead->Take(context.DrawCut);
    ahead.reset();
    return DecideMetadata(context);
  }();
  const bool codingFailed = coding.valid() && coding.get() != EJpegError::kNone;
  if (codingFailed || !restIntact) {
    // The changed rows could not be made to meet the copied ones, or a row after them is
    // damaged or followed by bytes that start no block: every row is decoded and coded after
    // all, and checked as any trim's.
    std::vector<TJpegWarning> warnings;
    if (const EJpegError decoding = DecodeOn(model_.McuRows, warnings);
        decoding != EJpegError::kNone) {
      return decoding;
    }
    Warn(warnings);
    return WriteCut(output, cut, dropExif, written, false);
  }
  WriteOutput(source, outputWindow, transposed, coded, plan, output);
  // The pieces borrow the coded scan, which ends with this call.
  output.Keep(coded.Scan.TakeBytes());
  if (written != nullptr) *written = snapped;
  return {};
}

TJpegStatus TJpegTrimming::DecodeRows(int rows) {
  TJpegStatus status;
  std::vector<TJpegWarning> warnings;
  try {
    if (!modelValid_) status = Analyze();
    if (status && DecodedRows() < std::min(rows, model_.McuRows)) {
      status = DecodeThrough(rows, warnings);
    }
  } catch (const std::bad_alloc&) {
    status = EJpegError::kOutOfMemory;
  }
  if (status) Warn(warnings);
  return Reported(status, true);
}

EJpegError TJpegTrimming::DecodeThrough(int rows, std::vector<TJpegWarning>& warnings) {
  if (model_.SingleScan()) return DecodeOn(rows, warnings);
  return DecodeScans(model_.McuRows, {}, warnings);
}

void TJpegTrimming::ForgetDecoded() {
  model_.Damaged.clear();
  intactRows_ = -1;
  strayBytes_ = false;
  decodedRows_ = 0;
  decodedIntervals_.clear();
}

void TJpegTrimming::TakeScanWarnings(const std::vector<TJpegWarning>& found,
                                     std::vector<TJpegWarning>& warnings) {
  for (const TJpegWarning& warning : found) {
    if (warning.Kind == EJpegWarning::kExtraneousBytes) strayBytes_ = true;
  }
  warnings.insert(warnings.end(), found.begin(), found.end());
}

void TJpegTrimming::StartSequential(int rowsInOrder) {
  ForgetDecoded();
  store_.Allocate(model_, false, rowsInOrder);
  sequential_ = std::make_unique<TSequentialScanDecoding>(model_, sourceStream_);
}

EJpegError TJpegTrimming::DecodeOn(int rows, std::vector<TJpegWarning>& warnings) {
  if (!sequential_ || sequential_->Rows() != decodedRows_) {
    StartSequential(INT_MAX);
  }
  return DecodeFurther(rows, warnings);
}

EJpegError TJpegTrimming::DecodeFurther(int rows, std::vector<TJpegWarning>& warnings) {
  TScanReport report;
  report.AtRow = [this](int row) {
    ReportProgress(row);
    store_.Advance(row);
  };
  const EJpegError error = sequential_->DecodeTo(
      rows, store_, report, static_cast<int>(std::thread::hardware_concurrency()));
  TakeScanWarnings(report.Warnings, warnings);
  model_.Damaged.insert(model_.Damaged.end(), report.Damaged.begin(), report.Damaged.end());
  // Rows decoded before a failure stay decoded: a trim above it is exact.
  decodedRows_ = sequential_->Rows();
  if (error == EJpegError::kScanTooShort && report.CompleteRows > 0) {
    // Nothing below the rows that arrived can be decoded: the store is as full as it gets.
    cutRows_ = report.CompleteRows;
    decodedRows_ = model_.McuRows;
    warnings.push_back({EJpegWarning::kCutOff, TrimmableHeight(), 0, model_.Height});
  } else if (KeepRowsAbove(error, report.CompleteRows, warnings)) {
    decodedRows_ = model_.McuRows;
  } else if (error != EJpegError::kNone) {
    // A walk may find its fault only once past its last block.
    decodedRows_ = std::min(decodedRows_, report.CompleteRows);
  }
  // The thread faulting pages in waits between pieces, and ends with the last.
  if (decodedRows_ == model_.McuRows || error != EJpegError::kNone) store_.Finish();
  return decodedRows_ == model_.McuRows ? EJpegError::kNone : error;
}

EJpegError TJpegTrimming::WindowFor(const TOrientedTrim& cut, TOrientedTrim& snapped,
                                    TTrimWindow& window) const {
  if (!LiesInside(cut.Source, model_.Width, model_.Height)) return EJpegError::kRectOutside;
  // Only a turned cut can lose its leading partial MCU to the snap, which leaves nothing of a
  // picture narrower or lower than one MCU.
  snapped = Snapped(cut, Grid());
  if (!Writable(snapped, Grid())) return EJpegError::kTooSmallToTurn;
  window = WindowOf(model_, snapped.Source);
  return EJpegError::kNone;
}

bool TJpegTrimming::Decoded(const TTrimWindow& window) const {
  return window.EndRow <= decodedRows_ ||
         (!decodedIntervals_.empty() && IntervalsCover(model_, decodedIntervals_, window));
}

bool TJpegTrimming::KnownMcu(int row, int col) const {
  if ((cutRows_ >= 0 && row >= cutRows_) || (intactRows_ >= 0 && row >= intactRows_)) return false;
  const int mcu = row * model_.McuCols + col;
  return std::none_of(model_.Damaged.begin(), model_.Damaged.end(), [mcu](const TMcuRange& range) {
    return mcu >= range.First && mcu < range.End;
  });
}

bool TJpegTrimming::WipeMayCopy(const TTrimWindow& window, bool decoded) const {
  const bool whole = window.FirstCol == 0 && window.FirstRow == 0 &&
                     window.EndCol == model_.McuCols && window.EndRow == model_.McuRows;
  const bool fresh = decodedRows_ == 0 && decodedIntervals_.empty() && !sequential_;
  if (!whole || Wipes.empty() || !model_.SingleScan() || model_.StandardTables != 0 ||
      model_.TailFault != EJpegError::kNone || !(decoded || fresh)) {
    return false;
  }
  // The scan must code the frame's components in the frame's order, one block a component a
  // MCU where there is one component, as the output's scan does.
  const TScan& scan = model_.Scans[0];
  for (std::size_t i = 0; i < scan.Components.size(); ++i) {
    if (scan.Components[i].Component != static_cast<int>(i)) return false;
  }
  return model_.Components.size() != 1 || model_.MaxHSampling * model_.MaxVSampling == 1;
}

std::optional<TScanCopy> TJpegTrimming::DecodeForCopy(const TTrimWindow& window, TDcPicture* dc) {
  // A picture decoded whole in one go on from the top knows where each of its rows starts.
  const bool decoded = DecodedValid() && sequential_ && sequential_->Rows() == model_.McuRows &&
                       model_.Damaged.empty() && cutRows_ < 0 && intactRows_ < 0;
  if (RestartInterval() != 0 || !WipeMayCopy(window, decoded)) return std::nullopt;
  TScanCopy copy;
  copy.FirstRow = model_.McuRows;
  for (const TWipe& wipe : Wipes) {
    const TTrimRect grown = GrownToMcus(wipe.Region, Grid());
    if (grown.Left >= grown.Right) continue;
    copy.FirstRow = std::min(copy.FirstRow, grown.Top / McuHeight());
    copy.EndRow = std::max(copy.EndRow, grown.Bottom / McuHeight());
  }
  if (copy.FirstRow >= copy.EndRow) return std::nullopt;
  // The row after the wiped ones is coded too: a wipe that reaches the right edge changes the DC
  // values its first blocks are coded against, and the row after it ends as the source's does.
  copy.EndRow = std::min(copy.EndRow + 1, model_.McuRows);
  // The band walked starts a row above the wiped ones, whose DC values the first wiped blocks
  // are coded against and whose blocks a flat fill averages. The rows above it are copied, not
  // coded: a picture not yet decoded only walks them, to learn where the band starts and the DC
  // predictors there, without touching the store.
  const int bandFirst = std::max(0, copy.FirstRow - 1);
  TMcuStart start;
  if (decoded) {
    start.Place = sequential_->RowStart(bandFirst);
    for (std::size_t slot = 0; bandFirst > 0 && slot < model_.Components.size(); ++slot) {
      const TFrameComponent& component = model_.Components[slot];
      start.Predictors[slot] = store_.Block(
          static_cast<int>(slot), static_cast<std::size_t>(bandFirst) * component.VSampling - 1,
          static_cast<std::size_t>(model_.McuCols) * component.HSampling - 1)[0];
    }
  } else {
    // Whatever stops a walk is found by the trim, which then decodes afresh as always.
    sequential_.reset();
    ForgetDecoded();
    const TMcuStart top{{static_cast<std::size_t>(model_.Scans[0].DataStart), 0}, {}};
    const std::optional<TMcuStart> above =
        WalkDcValues(model_, sourceStream_.Bytes(), top, 0, bandFirst, dc);
    if (!above) return std::nullopt;
    start = *above;
  }
  TTrimWindow band;
  band.FirstRow = bandFirst;
  band.EndRow = copy.EndRow;
  band.EndCol = model_.McuCols;
  band.Width = model_.Width;
  band.Height = std::min(model_.Height, copy.EndRow * McuHeight()) - bandFirst * McuHeight();
  copy.BandDc = DcPictureFor(model_, band);
  if (!WalkDcValues(model_, sourceStream_.Bytes(), start, bandFirst, copy.EndRow, &copy.BandDc,
                    &copy.Band)) {
    return std::nullopt;
  }
  copy.RestRead = decoded || copy.EndRow == model_.McuRows;
  copy.First = copy.Band.At(copy.FirstRow, 0).Place;
  copy.End = copy.Band.Starts.back().Place;
  return copy;
}

std::vector<TTrimWindow> TJpegTrimming::WipeWindows() const {
  std::vector<TTrimWindow> windows;
  for (const TWipe& wipe : Wipes) {
    if (wipe.Fill == EWipeFill::kGrey) continue;
    const TTrimRect grown = GrownToMcus(wipe.Region, Grid());
    if (grown.Left >= grown.Right) continue;
    const int ring = wipe.Fill == EWipeFill::kFlat ? 1 : 0;
    TTrimWindow window;
    window.FirstCol = std::max(0, grown.Left / McuWidth() - ring);
    window.FirstRow = std::max(0, grown.Top / McuHeight() - ring);
    window.EndCol = std::min(model_.McuCols, grown.Right / McuWidth() + ring);
    window.EndRow = std::min(model_.McuRows, grown.Bottom / McuHeight() + ring);
    windows.push_back(window);
  }
  return windows;
}

EJpegError TJpegTrimming::DecodeFor(const TTrimWindow& window,
                                    std::vector<TJpegWarning>& warnings) {
  std::vector<TTrimWindow> planned;
  for (const TOrientedTrim& cut : plannedCuts_) {
    TOrientedTrim snapped;
    TTrimWindow one;
    if (WindowFor(cut, snapped, one) == EJpegError::kNone) planned.push_back(one);
  }
  // The blocks the wipes average are decoded with the cuts' in one go.
  if (!planned.empty()) {
    const std::vector<TTrimWindow> wiped = WipeWindows();
    planned.insert(planned.end(), wiped.begin(), wiped.end());
  }
  const bool holds = std::any_of(planned.begin(), planned.end(), [&](const TTrimWindow& one) {
    return one.FirstCol <= window.FirstCol && window.EndCol <= one.EndCol &&
           one.FirstRow <= window.FirstRow && window.EndRow <= one.EndRow;
  });
  if (model_.TailFault != EJpegError::kNone) return DecodeThrough(model_.McuRows, warnings);
  // The window decodes on in pieces ahead of its trims; a trim of the command line, which knows
  // every rectangle it cuts, decodes once what they take.
  if (model_.Progressive() || !holds) return DecodeThrough(window.EndRow, warnings);
  int rows = 0;
  for (const TTrimWindow& one : planned) rows = std::max(rows, one.EndRow);
  return DecodeScans(std::min(rows, model_.McuRows), planned, warnings);
}

EJpegError TJpegTrimming::DecodeScans(int mcuRows, std::span<const TTrimWindow> only,
                                      std::vector<TJpegWarning>& warnings) {
  sequential_.reset();
  ForgetDecoded();
  // The restart intervals to decode when the scan can be taken an interval at a time.
  const bool byIntervals = model_.SingleScan() && model_.Scans[0].RestartInterval != 0;
  TTrimWindow rows;
  rows.EndCol = model_.McuCols;
  rows.EndRow = mcuRows;
  const TIntervalSet intervals =
      byIntervals ? IntervalsHolding(model_, only.empty() ? std::span(&rows, 1) : only)
                  : TIntervalSet{};
  bool skipped = false;
  // A file of several scans leaves blocks, or bits of them, to later scans, and a scan of one
  // component skips the blocks that pad its rows to whole MCUs: the store starts cleared. Pages
  // are faulted in ahead of a decoder that fills the rows in order, not of one that skips.
  store_.Allocate(model_, !model_.SingleScan(),
                  byIntervals && !only.empty() ? 0 : std::min(mcuRows, model_.McuRows));
  // However decoding ends, the thread faulting pages in ends with it.
  struct TFinish {
    TCoefficientStore& store;
    ~TFinish() { store.Finish(); }
  } const finish{store_};
  TInBitStreamFile reader(sourceStream_);
  const int scans = static_cast<int>(model_.Scans.size());
  const auto threads = static_cast<int>(std::thread::hardware_concurrency());
  for (int i = 0; i < scans; ++i) {
    TScanReport report;
    report.AtRow = [this, i, scans](int row) {
      ReportProgress((i * model_.McuRows + row) / scans);
      store_.Advance(row);
    };
    const TScan& scan = model_.Scans[static_cast<std::size_t>(i)];
    reader.SetPosition(scan.DataStart);
    EJpegError error;
    if (model_.Arithmetic()) {
      error = DecodeArithmeticScan(model_, scan, sourceStream_.Bytes(), store_, report);
    } else if (byIntervals && DecodeRestartIntervals(model_, sourceStream_.Bytes(), store_,
                                                     report.AtRow, intervals, threads)) {
      error = EJpegError::kNone;
      skipped = !only.empty();
    } else {
      error = model_.Progressive()
                  ? DecodeProgressiveScan(model_, scan, reader, store_, report)
                  : DecodeSequentialScan(model_, scan, reader, store_, report, mcuRows, threads);
    }
    TakeScanWarnings(report.Warnings, warnings);
    for (const TMcuRange& range : report.Damaged) {
      // Scans of a progressive frame may lose the same interval: it is kept once. A cut that
      // keeps clear of the damage is exact, and nothing needs telling.
      if (std::find(model_.Damaged.begin(), model_.Damaged.end(), range) != model_.Damaged.end()) {
        continue;
      }
      model_.Damaged.push_back(range);
    }
    // Data ending early in the last scan leave the rows above exact; an earlier scan cut off
    // would have left the later ones no data at all.
    if (error == EJpegError::kScanTooShort && i == scans - 1 && report.CompleteRows > 0) {
      cutRows_ = report.CompleteRows;
    } else if (error != EJpegError::kNone && !KeepRowsAbove(error, report.CompleteRows, warnings)) {
      return error;
    }
  }
  // Data that end without a marker may have lost whole scans of a progressive frame, whose
  // blocks then lack the bits those would add: only a complete progression gives exact rows.
  if (model_.Progressive() &&
      (cutRows_ >= 0 || model_.Scans.back().DataEnd >= sourceStream_.Size()) &&
      !ProgressionComplete()) {
    cutRows_ = -1;
    return EJpegError::kScanTooShort;
  }
  if (cutRows_ >= 0) {
    // Nothing below the rows that arrived can be decoded: the store is as full as it gets.
    mcuRows = model_.McuRows;
    warnings.push_back({EJpegWarning::kCutOff, TrimmableHeight(), 0, model_.Height});
  }
  if (skipped) {
    decodedIntervals_ = intervals;
  } else {
    decodedRows_ = mcuRows;
  }
  return EJpegError::kNone;
}

bool TJpegTrimming::KeepRowsAbove(EJpegError error, int completeRows,
                                  std::vector<TJpegWarning>& warnings) {
  // A progressive scan's blocks need every later scan, which damage leaves unread; an
  // arithmetic decoder reads damage as data to the end.
  if ((error != EJpegError::kHuffmanBlock && error != EJpegError::kBitStream) ||
      completeRows <= 0 || model_.Progressive() || model_.Arithmetic()) {
    return false;
  }
  // Of several scans damaged, the one damaged highest up says how far trims may reach.
  if (intactRows_ >= 0 && intactRows_ <= completeRows) return true;
  const int end = model_.McuRows * model_.McuCols;
  std::erase(model_.Damaged, TMcuRange{intactRows_ * model_.McuCols, end});
  intactRows_ = completeRows;
  model_.Damaged.push_back({completeRows * model_.McuCols, end});
  warnings.push_back({EJpegWarning::kDamagedScan,
                      std::min(model_.Height, completeRows * McuHeight()), 0, model_.Height});
  // Segments no trim can carry where analysis took the data to end are the rest of the
  // damaged data: no tail to keep.
  if (model_.TailFault != EJpegError::kNone) {
    const std::size_t tail = model_.TailSegments().size();
    model_.Segments.erase(model_.Segments.end() - static_cast<std::ptrdiff_t>(tail),
                          model_.Segments.end());
    model_.TailFault = EJpegError::kNone;
  }
  return true;
}

bool TJpegTrimming::ProgressionComplete() const {
  // Per component, a bit for each coefficient some scan brings down to its last bit.
  std::array<std::uint64_t, TCoefficientStore::kMaxComponents> whole{};
  for (const TScan& scan : model_.Scans) {
    if (scan.ApproximationLow != 0) continue;
    for (const TScanComponent& component : scan.Components) {
      for (int k = scan.SpectralStart; k <= scan.SpectralEnd; ++k) {
        whole[static_cast<std::size_t>(component.Component)] |= std::uint64_t{1} << k;
      }
    }
  }
  for (std::size_t c = 0; c < model_.Components.size(); ++c) {
    if (whole[c] != ~std::uint64_t{0}) return false;
  }
  return true;
}

}  // namespace tarvo
