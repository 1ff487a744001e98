// The lossless trimming engine: analyses a JPEG once into a model, decodes its scans once into
// quantised coefficients and writes rectangles of whole MCUs as new JPEG files.
#pragma once

#include <algorithm>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "ByteStream.h"
#include "CoefficientStore.h"
#include "DcPicture.h"
#include "EngineCallbacks.h"
#include "JpegError.h"
#include "JpegModel.h"
#include "MappedFile.h"
#include "Orientation.h"
#include "OrientedTrim.h"
#include "PictureMaker.h"
#include "RestartParts.h"
#include "TrimRect.h"
#include "TrimWindow.h"
#include "WindowWriter.h"
#include "Wipe.h"

namespace tarvo {

class TSequentialScanDecoding;

// How the pictures a file holds besides its main one (the Exif thumbnail, MPF previews and
// views, HDR gain maps) follow a trim, so that none shows what the trim cut away.
struct TEmbeddedPictureOptions {
  // Draws thumbnails, previews and gain maps that cannot be cut losslessly; without one they are
  // left out of the trim.
  const TPictureMaker* Maker = nullptr;
  // The thumbnail and previews stay byte for byte, as they were in the source.
  bool KeepThumbnails = false;
  // False for the images inside a file, whose own stored images are left as they are.
  bool StoredImages = true;
};

class TJpegTrimming {
 public:
  TJpegTrimming();
  ~TJpegTrimming();
  TJpegTrimming(const TJpegTrimming&) = delete;
  TJpegTrimming& operator=(const TJpegTrimming&) = delete;

  // Loads the file into SourceStream (or maps it, see MapsSourceFile) and analyses it. A refusal
  // is returned and reported through OnMessage; file and stream failures raise EStreamError.
  TJpegStatus AnalyzeFile(const std::string& fileName);
  TJpegStatus AnalyzeBytes(std::span<const std::uint8_t> bytes);
  // Writes the MCUs of rect as a complete JPEG file into output (position 0 on success).
  // A trim decodes the scans as far as it needs them (see DecodeRows); later ones only encode
  // unless they need more. rect is snapped as every cut is (Snapped): a Left or Top off the MCU
  // grid moves down to it, Right and Bottom stay. cut, when given, receives the source
  // rectangle the output shows, which callers record instead of working the grid out again.
  // A refusal is returned and reported as for analysis.
  TJpegStatus Trim(TByteStream& output, const TTrimRect& rect, bool dropExif,
                   TTrimRect* cut = nullptr);
  // Writes cut: its source rectangle (snapped, see Snapped) turned losslessly, stating its tag as
  // the Exif Orientation. With dropExif and a tag other than "as stored", the output still gets
  // an Exif segment holding only the orientation, so that it never lies on its side. written,
  // when given, receives the snapped cut the output shows. Refused as Trim is, and when the
  // snapped cut keeps nothing.
  TJpegStatus TrimCut(TByteStream& output, const TOrientedTrim& cut, bool dropExif,
                      TOrientedTrim* written = nullptr);
  // The same cut as pieces, for a gathering write: they borrow from the analysed file's bytes,
  // so they are used before the next analysis.
  TJpegStatus TrimCut(TOutputPieces& output, const TOrientedTrim& cut, bool dropExif,
                      TOrientedTrim* written = nullptr);

  int ImageWidth() const { return model_.Width; }
  int ImageHeight() const { return model_.Height; }
  int MaxHSampling() const { return model_.MaxHSampling; }
  int MaxVSampling() const { return model_.MaxVSampling; }
  // The MCU size in pixels: the grid every trim's Left and Top lie on.
  int McuWidth() const { return model_.McuWidth(); }
  int McuHeight() const { return model_.McuHeight(); }
  TMcuGrid Grid() const { return {McuWidth(), McuHeight(), model_.Width, model_.Height}; }
  // How the file asks to be shown: its Exif Orientation, as stored without one.
  TOrientation ExifOrientation() const { return exifOrientation_; }
  int ComponentCount() const { return static_cast<int>(model_.Components.size()); }
  // 0 without restart markers.
  int RestartInterval() const {
    return model_.Scans.empty() ? 0 : model_.Scans.front().RestartInterval;
  }
  const TByteStream& SourceStream() const { return sourceStream_; }
  // Whether the file AnalyzeFile mapped was cut short or written to since: what was read from it,
  // and every output since, may mix old bytes with zeros or new ones.
  bool SourceChanged() const { return mappedSource_ != nullptr && mappedSource_->Changed(); }
  // The pixels of each restart interval whose data could not be read, and the rows from where a
  // scan could not be read on to the end, once the scans are decoded (DecodedValid): trims that
  // keep clear of them are exact, others are refused.
  std::vector<TTrimRect> DamagedRegions() const {
    std::vector<TTrimRect> regions;
    for (const TMcuRange& range : model_.Damaged) regions.push_back(model_.RegionOf(range));
    return regions;
  }
  // How far down from the top a trim may reach: the picture's height, or less for a file cut
  // off inside its coded data, which decoding finds (at analysis when no marker follows the
  // data, else at the first trim).
  int TrimmableHeight() const {
    return cutRows_ < 0 ? model_.Height : std::min(model_.Height, cutRows_ * McuHeight());
  }
  // True while the coefficient store holds the whole decoded picture of SourceStream.
  bool DecodedValid() const { return decodedRows_ > 0 && decodedRows_ == model_.McuRows; }
  int McuRows() const { return model_.McuRows; }
  // The MCU rows from the top that the coefficient store holds decoded.
  int DecodedRows() const { return decodedRows_; }
  // Decodes the scans on to MCU row rows - 1, for a caller that decodes a picture a piece at a
  // time ahead of its trims: a sequential picture of one scan goes on from the rows decoded
  // before, others are decoded whole at once, as is a file cut off or damaged beyond repair. What
  // decoding finds (damaged regions, a cut-off file) is known once it returns. A refusal is
  // returned and reported as a trim's; what was read past is reported as warnings.
  TJpegStatus DecodeRows(int rows);
  // Lets the next decoding of a sequential file take only what cuts need, for a caller that
  // knows every cut it will make before the first (the command line): it stops after the last
  // MCU row one of them keeps, and with restart markers decodes only the restart intervals that
  // hold their blocks. A trim that needs more decodes the whole picture. Progressive files need
  // every scan to the end and are decoded whole. A new analysis forgets the cuts.
  void DecodeOnlyFor(std::span<const TOrientedTrim> cuts) {
    plannedCuts_.assign(cuts.begin(), cuts.end());
  }

  // How many threads code an output's scan at once, each a share of its rows: 0 for one per
  // hardware thread once the output is large enough to pay for starting them. The bytes are the
  // same either way.
  int CodingThreads = 0;
  // Whether AnalyzeFile maps the file (TMappedFile) instead of reading it into memory, for a
  // caller that is done with it soon and checks SourceChanged before it keeps any output: the
  // mapping stays until the next analysis, and outputs written as pieces borrow from it. A
  // caller that holds a file open for long, while other programs may rewrite it, reads it.
  bool MapsSourceFile = false;
  // Whether analysing a file whose coded data run to its end decodes them, to learn how many
  // rows arrived whole. A caller that wants only the frame's geometry saves that work, which for
  // an arithmetic-coded scan of a few bytes can be a picture of any size.
  bool AnalysisDecodes = true;
  // The most memory the decoded coefficients may take; a picture that needs more is refused as
  // out of memory before any of it is allocated. The machine's physical memory by default.
  void LimitMemory(std::uint64_t bytes) { store_.MemoryLimit = bytes; }
  // How the thumbnail, previews and gain maps the file holds follow each trim.
  TEmbeddedPictureOptions Pictures;
  // Regions blanked in every trim, in stored pixels of the source, applied in order before the
  // trim cuts and turns. A wiped picture's thumbnail and previews are always drawn anew.
  std::vector<TWipe> Wipes;
  TMessageProc OnMessage;
  // Set, it is told what OnMessage would be, as data, in its place.
  std::function<void(const TEngineReport&)> OnReport;
  TProgressProc OnProgressStart;
  TProgressProc OnProgress;

 private:
  TJpegStatus Analyze();
  // A file cut off inside its coded data has no marker after them. Only decoding tells it from
  // a whole scan that merely lacks its EOI, so such a file is decoded at analysis, as its first
  // trim would; when it is cut, the rows that arrived are what trims may take.
  EJpegError DecodeUnlessMarkerFollows(std::vector<TJpegWarning>& warnings);
  // mayCopy: a wipe of the whole picture may copy the rows it leaves (DecodeForCopy).
  TJpegStatus WriteCut(TOutputPieces& output, const TOrientedTrim& cut, bool dropExif,
                       TOrientedTrim* written, bool mayCopy);
  // cut snapped (Snapped) and the MCUs it takes; kNone, or why a trim refuses it.
  EJpegError WindowFor(const TOrientedTrim& cut, TOrientedTrim& snapped, TTrimWindow& window) const;
  // Whether the store holds every block of window.
  bool Decoded(const TTrimWindow& window) const;
  // For a wipe of the whole picture: where the coded rows that the wipes change start and end,
  // with where each of their MCUs starts and the DC values of their blocks (TScanCopy), so that
  // the rest is copied. A picture not yet decoded is walked as far as that takes, the DC values
  // of the rows above the band going to dc if given, without decoding into the store; one
  // decoded whole on from the top knows where its rows start. Nothing when the picture cannot
  // be copied so, or was decoded otherwise.
  std::optional<TScanCopy> DecodeForCopy(const TTrimWindow& window, TDcPicture* dc);
  // Whether the wipes of window may copy what they leave from the source's scan: window is the
  // whole picture, the scan codes it as a trim's does, and decoded or nothing is decoded yet.
  bool WipeMayCopy(const TTrimWindow& window, bool decoded) const;
  // Whether the MCU at row and col was read from the file: not past where it is cut off, nor in
  // damage, whose blocks the store never had written.
  bool KnownMcu(int row, int col) const;
  // For a wipe of the whole picture whose one scan has restart markers: the intervals the wipes
  // change, where every marker stands and where the changed intervals' MCUs end (TRestartCopy),
  // so that the rest is copied. Nothing is decoded: a picture not yet decoded has every interval
  // walked, its fills averaging the DC values the walk notes. Nothing when the picture cannot be
  // copied so.
  std::optional<TRestartCopy> DecodeForRestartCopy(const TTrimWindow& window);
  // Notes the DC value of every block of blocks, a picture decoded whole, in dc.
  void PutDecodedDc(const TBlockSource& blocks, TDcPicture& dc) const;
  // The MCUs whose blocks the fills of Wipes average: a flat fill's region with the ring
  // around it, a mosaic's region; none for grey.
  std::vector<TTrimWindow> WipeWindows() const;
  // Decodes what window needs: only what the planned cuts need when one of them holds it (see
  // DecodeOnlyFor), else as DecodeThrough does.
  EJpegError DecodeFor(const TTrimWindow& window, std::vector<TJpegWarning>& warnings);
  // Decodes the scans so that at least the first rows MCU rows are decoded: on from the rows
  // decoded before where the picture allows it (DecodeOn), else the whole picture afresh
  // (DecodeScans).
  EJpegError DecodeThrough(int rows, std::vector<TJpegWarning>& warnings);
  // Decodes a one-scan sequential picture on to MCU row rows - 1 from where it stopped before,
  // from the top when the store lacks rows above that.
  EJpegError DecodeOn(int rows, std::vector<TJpegWarning>& warnings);
  // DecodeOn's decoding from where sequential_ stands, whatever the store holds above.
  EJpegError DecodeFurther(int rows, std::vector<TJpegWarning>& warnings);
  // Starts a sequential decoding from the top, into a store whose pages are faulted in ahead
  // for the first rowsInOrder MCU rows (TCoefficientStore::Allocate).
  void StartSequential(int rowsInOrder);
  // Forgets which rows and intervals the store holds and what decoding found in them.
  void ForgetDecoded();
  // Takes a decoding's warnings into warnings, noting stray bytes before markers.
  void TakeScanWarnings(const std::vector<TJpegWarning>& found,
                        std::vector<TJpegWarning>& warnings);
  // Decodes the scans into the store, those of a sequential file up to MCU row mcuRows - 1;
  // what it read past goes to warnings. A one-scan file with restart markers may then decode
  // only the intervals that hold only's blocks, which all lie above that row.
  EJpegError DecodeScans(int mcuRows, std::span<const TTrimWindow> only,
                         std::vector<TJpegWarning>& warnings);
  // True when a progressive frame's scans bring every coefficient of every component down to
  // its last bit (ITU-T T.81 G.1.1.1): no scan a whole picture needs is missing.
  bool ProgressionComplete() const;
  // Reports a failed status through OnMessage, in the trim's words for trimWording, and
  // returns it: the one place where errors become text.
  TJpegStatus Reported(TJpegStatus status, bool trimWording);
  void ReportProgress(int position);
  // Tells what the engine read past, once what it read has been used: a refusal says enough.
  void Warn(std::span<const TJpegWarning> warnings);
  // A sequential scan that meets something out of place (error, with completeRows whole MCU rows
  // above it) holds those rows as libjpeg reads them: the rows from there down are damaged, and
  // the user is told. False, leaving the error to refuse the file, when no whole row is above.
  bool KeepRowsAbove(EJpegError error, int completeRows, std::vector<TJpegWarning>& warnings);

  std::unique_ptr<TMappedFile> mappedSource_;  // what sourceStream_ borrows, if mapped
  TByteStream sourceStream_;
  TJpegModel model_;
  bool modelValid_ = false;
  TCoefficientStore store_;
  // The MCU rows of the store that hold decoded blocks: all of them, or the first ones for a
  // limited decoding, or none.
  int decodedRows_ = 0;
  // The restart intervals a limited decoding took, beyond decodedRows_; empty for none.
  TIntervalSet decodedIntervals_;
  std::vector<TOrientedTrim> plannedCuts_;  // DecodeOnlyFor's
  // Where the decoding that DecodeOn goes on from stopped; nothing before it starts.
  std::unique_ptr<TSequentialScanDecoding> sequential_;
  TOrientation exifOrientation_;
  int cutRows_ = -1;  // the MCU rows that arrived whole in a cut-off file; -1 for a whole one
  // The MCU rows above the first thing out of place in a scan that could not be read on past it
  // (KeepRowsAbove); -1 for none.
  int intactRows_ = -1;
  // The decoding skipped bytes before a restart marker that start no block: the intervals they
  // follow cannot go over byte for byte, as if read as they stand.
  bool strayBytes_ = false;
};

}  // namespace tarvo
