// The document of the main window: the opened JPEG's bytes, its history of trims, undo, saving,
// closing and copying. No widgets: questions and the save dialog go through TDocumentPrompts.
#pragma once

#include <QByteArray>
#include <QSize>
#include <QString>
#include <cstdint>
#include <exception>
#include <functional>
#include <future>
#include <memory>
#include <optional>
#include <set>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "AppSettings.h"
#include "BackgroundWork.h"
#include "ByteStream.h"
#include "EngineCallbacks.h"
#include "FileTimes.h"
#include "LibjpegPictureMaker.h"
#include "Orientation.h"
#include "OrientedTrim.h"
#include "PictureCache.h"
#include "TrimRect.h"

class QMimeData;

namespace tarvo {

class TJpegTrimming;

// One trim or turn: the source rectangle the engine cut, whether that step dropped the Exif
// segment, and the turn of the kept blocks and the orientation the result states, all composed
// from the source, so that every step is written from the source in one go.
struct TTrimStep {
  TTrimRect Rect;
  bool DropExif = false;
  bool KeepThumbnails = false;
  TOrientation Turn;
  TOrientation Tag;

  friend bool operator==(const TTrimStep&, const TTrimStep&) = default;
};

enum class TAnswer { Yes, No, Cancel };

// What a change did to the document, told as it happens so that the window refreshes once.
struct TDocumentChange {
  enum TKind {
    Opened,  // another file, or the first
    Trimmed,
    Turned,
    Undone,
    Saved,         // the file name may be another now
    Closed,        // by "閉じる", or after a failure the document would not survive
    PictureReady,  // a picture decoded on the side is held now, at Reduction
    WorkChanged,   // an open, trim or undo started or ended without changing the document
    // The source's coefficients, decoded on the side, reach further down: what decoding found
    // (damaged regions, a file cut off) is known that far.
    Decoded,
  };
  TKind Kind = Opened;
  // After Undone: the rectangle that made the undone trim, in pixels of the picture now shown;
  // nothing after undoing a turn.
  std::optional<TTrimRect> Restored;
  int Reduction = 1;
  // After Turned: what the turn cut off at which edge, or empty.
  QString Notice;
};

// The document's questions and its save dialog, answered by the user (or a test's script).
class TDocumentPrompts {
 public:
  virtual ~TDocumentPrompts() = default;
  // A warning with "はい(&Y)" and "いいえ(&N)", and "キャンセル" when withCancel.
  virtual TAnswer Ask(const QString& text, bool withCancel) = 0;
  // The save dialog, opened in folder with fileName proposed; the chosen path, or empty when
  // the user cancels.
  virtual QString RunSaveDialog(const QString& folder, const QString& fileName) = 0;
};

// How the document does its work: where (see TBackgroundWork) and with which decoder.
struct TDocumentWork {
  TBackgroundWork::TThreads Threads = TBackgroundWork::TThreads::Own;
  TPictureDecode Decode = DecodePicture;
  // The source's coefficients are decoded on the side in pieces of MCU rows holding about this
  // many pixels: a trim waits for the piece under way, a few tens of milliseconds, and no longer.
  std::int64_t RowPiecePixels = 2'000'000;
};

// Rectangles given to and returned by the document are in pixels of the picture it shows,
// before the mirrors of its orientation (see TUprightMirror): its stored picture, transposed when
// the orientation transposes it. The document composes them with its last step to reach the
// source's pixels.
class TDocument {
 public:
  // settings and prompts belong to the window and outlive the document; each file opened gets
  // an engine of its own, which reports through onMessage (on this thread).
  TDocument(TAppSettings& settings, TDocumentPrompts& prompts, TMessageProc onMessage,
            TDocumentWork work = {});
  // Waits for the work still running; its outcome is dropped.
  ~TDocument();

  // Told after each change, once the document is in its new state.
  void SetChangeNotice(std::function<void(const TDocumentChange&)> notice) {
    changeNotice_ = std::move(notice);
  }
  // Told what a Start... call or a picture decoded on the side raised, on this thread.
  void SetFailureNotice(std::function<void(std::exception_ptr)> notice) {
    failureNotice_ = std::move(notice);
  }

  // OpenDocument, Trim and Undo off this thread, so that the window answers meanwhile. Their
  // outcome comes as a change (Opened, Trimmed, Undone), a message or a failure, on this thread.
  // A later open drops an earlier one's outcome, and an open that replaces the document drops
  // that of a trim or undo still running on it. While one runs (Working) the commands that
  // change the document must wait; only another open may start.
  void StartOpen(const QString& path, int reduction);
  void StartTrim(const TTrimRect& rect);
  void StartUndo();
  // A turn of the picture as shown, or with nothing the stored pixels turned the way they are
  // shown ("Exifの向きに合わせて回転"), off this thread; its outcome comes as Turned.
  void StartTurn(std::optional<TOrientation> turn);
  bool Working() const { return opening_ != 0 || changing_ != 0; }
  // A trim or undo runs.
  bool Changing() const { return changing_ != 0; }
  // A picture is being decoded on the side for the document as it stands.
  bool Decoding() const { return !decoding_.empty(); }
  // Every MCU row of the opened file's coefficients is decoded, or decoding cannot go on.
  bool CoefficientsDecoded() const { return found_.Failed || found_.Rows >= found_.McuRows; }
  // The MCU rows of the opened file's coefficients decoded so far.
  int DecodedRows() const { return found_.Rows; }
  // Turns the event loop until every Start... and decode has come back (tests, benchmarks).
  void WaitForWork() { work_.WaitForAll(); }

  // Analyses path in an engine of its own and decodes its picture at reduction (the view's);
  // only when both succeed does it replace the document. False when the engine refused the file
  // (it has said why); a file that cannot be read raises EStreamError, a picture that cannot be
  // decoded EPictureError. Either way the earlier document stays exactly as it was.
  bool OpenDocument(const QString& path, int reduction);
  bool HasDocument() const { return opened_; }

  // The MCU of the document's picture in pixels: the grid a trim's Left and Top lie on.
  int McuWidth() const;
  int McuHeight() const;
  // How the document's picture asks to be shown: the orientation its bytes state.
  TOrientation ShownOrientation() const;
  // How much of the picture a selection may take, in the selection's space (the stored picture,
  // transposed where the orientation transposes): all of it, except in a file cut off inside its
  // coded data, where only the stored rows that arrived whole can be trimmed. Those limit the
  // selection's height, or its width where the orientation transposes.
  QSize SelectableSize() const;
  // The parts of the picture shown whose data could not be read, as far as the coefficients are
  // decoded; none once it is trimmed or turned, as no trim takes them.
  std::vector<TTrimRect> DamagedRegions() const;
  // The largest band of whole MCU rows of the picture shown, within those a selection may reach,
  // that holds no damaged part; nothing when none is damaged.
  std::optional<TTrimRect> IntactRect() const;

  // The status-bar text: the path and the picture size, or the path and the last trim's range.
  QString StatusText() const;
  // The window title: the file's name, "[*]" where the desktop puts its modified marker, and the
  // program's caption; the caption alone without a document.
  QString TitleText() const;
  bool Modified() const { return modifyCount_ != 0; }

  // Trims the document to rect. False when the engine refused (it has said why) or another
  // change runs; the document keeps its bytes, as the trim writes apart from them. Reduced pictures
  // held are cut to the trim; should that fail the document closes rather than show another
  // state's picture, and the error is raised.
  bool Trim(const TTrimRect& rect);
  // Turns or mirrors the picture as shown by turn, losslessly: one step, undone as a trim is;
  // with nothing, turns the stored pixels the way they are shown and states "as stored" (false,
  // doing nothing, when they already are). Partial MCUs that the turn would bring to the left or
  // top are cut off, and the Turned notice says so. False when the engine refused (it has said
  // why) or another change runs.
  bool Turn(std::optional<TOrientation> turn);
  // Goes back one trim or turn. The rectangle that produced the undone trim, in pixels of the
  // picture now shown; nothing when there was no trim or the earlier trim could not be redone.
  std::optional<TTrimRect> Undo();

  // "上書き保存": asks first, then saves over DocFileName.
  bool SaveFile();
  // Writes the document's bytes to path, or to a path chosen in the save dialog when path is empty.
  // False when the user cancelled or declined to overwrite. A file that cannot be written raises
  // EStreamError and leaves any existing file untouched.
  bool SaveDocument(QString path);
  // May the document be let go (the window closing, another file opened, "閉じる")? Asks about
  // unsaved changes and saves on request.
  bool CloseQuery();
  // Lets the document go; Closed is told when there was one.
  void Close();

  // The clipboard's contents for "コピー": the document's picture (TClipboardPicture); nothing
  // without a document, so that the clipboard keeps what it holds. Its PNG is made on the side,
  // once for each state of the document however often it is copied.
  std::unique_ptr<QMimeData> ClipboardData();

  // The picture of the document's bytes at reduction, decoded on first use (EPictureError when
  // they do not decode; the document stays as it was).
  const TPicture& Picture(int reduction);
  // The picture at reduction when held; otherwise nothing, and it is decoded on the side, told
  // by PictureReady once held. Bytes that do not decode close the document and go to the
  // failure notice: the window must not show another state's picture.
  const TPicture* PictureOrDecode(int reduction);
  // The held picture nearest to reduction, to show until that one is decoded; nothing when none
  // is held.
  const TPicture* Preview(int reduction) const;
  // The size of the picture the document's bytes hold.
  QSize FrameSize() const;
  const TPictureCache& Pictures() const { return pictures_; }

  const QString& DocFileName() const { return docFileName_; }
  // The document's JPEG as it stands: the opened file's bytes, or those of the last trim.
  std::span<const std::uint8_t> Bytes() const;
  const std::vector<TTrimStep>& TrimHistory() const { return trimHistory_; }
  std::int32_t ModifyCount() const { return modifyCount_; }
  const TFileTimes& SourceTimes() const { return sourceTimes_; }
  // The name the save dialog proposes.
  const QString& SaveDialogFileName() const { return saveDialogFileName_; }

 private:
  using TMessages = std::vector<std::pair<std::string, int>>;
  struct TOpenJob;
  struct TTrimJob;
  struct TRowsJob;
  // What decoding the source's coefficients has found so far, read from the engine by the work
  // that decoded them, so that this thread never reads an engine another thread may use.
  struct TDecodeFound {
    int Rows = 0;
    int McuRows = 0;
    int TrimmableHeight = 0;
    std::vector<TTrimRect> Damaged;
    bool Failed = false;  // decoding cannot go on; a trim that needs the rows says why
  };
  static TDecodeFound FoundIn(const TJpegTrimming& engine);
  // The bytes of the document as it stands, with what keeps them alive for work on the side.
  struct TSharedBytes {
    std::shared_ptr<const void> Owner;
    std::span<const std::uint8_t> Bytes;
  };

  // Each operation in three steps: set up here, done on any thread with nothing but the job,
  // and taken over here (an outcome no longer wanted is dropped).
  std::shared_ptr<TOpenJob> PrepareOpen(const QString& path, int reduction);
  static void RunOpen(TOpenJob& job);
  bool FinishOpen(TOpenJob& job, std::exception_ptr error);
  std::shared_ptr<TTrimJob> PrepareTrim(const TTrimRect& pictureRect);
  std::shared_ptr<TTrimJob> PrepareTurn(std::optional<TOrientation> turn);
  std::shared_ptr<TTrimJob> PrepareUndo();
  // Runs a trim's or turn's job here, or on the side.
  bool RunChange(const std::shared_ptr<TTrimJob>& job);
  void StartChange(std::shared_ptr<TTrimJob> job,
                   std::function<void(TTrimJob&, std::exception_ptr)> finish);
  // Decodes the next rows of the source's coefficients on the side, unless a change runs or waits,
  // rows are being decoded already, or all are. The engine is used by one piece of work at a time:
  // rows, then a trim, then rows again.
  void DecodeMoreRows();
  // Waits for the rows being decoded, for a change made on this thread.
  void SettleRows();
  // Takes what a job's decoding found, when it decoded the document's source.
  void TakeFound(const std::shared_ptr<TJpegTrimming>& engine, const TDecodeFound& found);
  // What the document holds, from the source: the last step's, or the whole source as its Exif
  // data asks to show it.
  TOrientedTrim CurrentCut() const;
  static void RunTrim(TTrimJob& job);
  bool FinishTrim(TTrimJob& job, std::exception_ptr error);
  std::optional<TTrimRect> FinishUndo(TTrimJob& job, std::exception_ptr error);
  static TMessageProc Collector(std::shared_ptr<TMessages> messages);
  // The engine's messages of a job, told here on this thread.
  void Replay(const TMessages& messages) const;
  // A failure of work on the side, to the failure notice.
  void Report(std::exception_ptr error) const;
  TSharedBytes SharedBytes() const;
  // The document's bytes are another's now: pictures and work on the side for the old ones go.
  void NewState();
  // Back to no document, telling no one: opening replaces the document without closing it.
  void Forget();
  void Tell(const TDocumentChange& change) const;
  // Where the last trim's picture starts in the stored picture before it.
  QPoint LastTrimOffset() const;
  void PresetSaveDialog(const QString& path);
  void SetSourceTimesOn(const QString& path) const;

  TAppSettings& settings_;
  TDocumentPrompts& prompts_;
  TMessageProc onMessage_;
  TPictureDecode decode_;
  std::int64_t rowPiecePixels_;
  // Before the engine, which points at it.
  TLibjpegPictureMaker pictureMaker_;
  std::function<void(const TDocumentChange&)> changeNotice_;
  std::function<void(std::exception_ptr)> failureNotice_;
  // Shared with the work on the side that uses it; only one trim or undo uses it at a time.
  std::shared_ptr<TJpegTrimming> engine_;

  bool opened_ = false;
  QString docFileName_;
  // The last trim's output, or nothing when the opened file's bytes, which stay with the engine
  // alone, are the document's. Never changed once made: decodes on the side read it.
  std::shared_ptr<const TByteStream> docStream_;
  std::vector<TTrimStep> trimHistory_;
  std::int32_t modifyCount_ = 0;
  TFileTimes sourceTimes_;
  QString saveDialogFolder_;
  QString saveDialogFileName_;
  TPictureCache pictures_;

  // Counts the states of the document's bytes; work on the side for an older one is dropped.
  std::uint64_t state_ = 0;
  // The last open started, and whether it still runs.
  std::uint64_t lastOpen_ = 0;
  int opening_ = 0;
  // A trim or undo runs on the engine.
  int changing_ = 0;
  // Reductions being decoded for the present state.
  std::set<int> decoding_;
  TDecodeFound found_;
  // Rows of the coefficients are being decoded; the change that waits for them, if any.
  bool decodingRows_ = false;
  std::function<void()> afterRows_;
  // The PNG of the present state for the clipboard, once a copy asked for it.
  std::uint64_t pngState_ = 0;
  std::shared_future<QByteArray> png_;
  // Last: let go first, it waits for the work that still uses the members above.
  TBackgroundWork work_;
};

}  // namespace tarvo
