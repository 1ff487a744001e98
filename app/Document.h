// The document of the main window: the opened JPEG's bytes, its history of trims, undo, saving,
// closing and copying. No widgets: questions and the save dialog go through TDocumentPrompts.
#pragma once

#include <QByteArray>
#include <QSize>
#include <QString>
#include <atomic>
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
#include "ClipboardPicture.h"
#include "DocumentJobs.h"
#include "EngineCallbacks.h"
#include "FileTimes.h"
#include "LibjpegPictureMaker.h"
#include "Orientation.h"
#include "OrientedTrim.h"
#include "PictureCache.h"
#include "ShownWords.h"
#include "TrimRect.h"
#include "WorkQueue.h"

class QMimeData;

namespace tarvo {

class TJpegTrimming;

enum class TAnswer { Yes, No, Cancel };

// What a change did to the document, told as it happens so that the window refreshes once.
struct TDocumentChange {
  enum TKind {
    Opened,  // another file, or the first
    Trimmed,
    Turned,
    Wiped,
    Undone,
    Redone,        // a step undone is done again
    Saved,         // the file name may be another now
    Closed,        // by "閉じる", or after a failure the document would not survive
    PictureReady,  // a picture decoded on the side is held now, at Reduction
    WorkChanged,   // Working changed
    // The source's coefficients, decoded on the side, reach further down: what decoding found
    // (damaged regions, a file cut off) is known that far.
    Decoded,
    // The patch of a wipe under way is shown (see Patch), or taken back off after the wipe failed.
    Patched,
  };
  TKind Kind = Opened;
  // After Undone: the rectangle that made the undone trim or wipe, in pixels of the picture now
  // shown; nothing after undoing a turn.
  std::optional<TTrimRect> Restored;
  int Reduction = 1;
  // After Turned: what the turn cut off at which edge; after Wiped with a mosaic, that it can be
  // partly reversed; or empty.
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
  // an engine of its own, whose messages go to onMessage (on this thread).
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

  // The document's work is queued (see TWorkQueue) and done off this thread, so that the window
  // answers meanwhile; each step reads the document as it stands when its turn comes. Its outcome
  // comes as a change (Opened, Trimmed, Turned, Undone, Redone), a message or a failure, on this
  // thread. A later open drops an earlier one, which stops at its next piece, and an open that
  // replaces the document drops the outcome of a change still running on it.
  //
  // Analyses path in an engine of its own and decodes its picture at reduction (the view's); only
  // when both succeed does it replace the document. A refusal is told by the engine; a file that
  // cannot be read fails with EStreamError, a picture that cannot be decoded with EPictureError.
  // Either way the earlier document stays exactly as it was.
  void StartOpen(const QString& path, int reduction);
  // The opens asked for so far are no longer wanted: the one running stops at its next piece, and
  // those waiting never begin.
  void StopOpens() { ++*lastOpen_; }
  // Trims the document to rect; the engine says why when it refuses, and the document keeps its
  // bytes, as the trim writes apart from them. Reduced pictures held are cut to the trim; should
  // that fail the document closes rather than show another state's picture.
  void StartTrim(const TTrimRect& rect);
  // Turns or mirrors the picture as shown by turn, losslessly: one step, undone as a trim is;
  // with nothing, turns the stored pixels the way they are shown and states "as stored" (nothing
  // to do when they already are). Partial MCUs that the turn would bring to the left or top are
  // cut off, and the Turned notice says so.
  void StartTurn(std::optional<TOrientation> turn);
  // Blanks every MCU rect (as for StartTrim) touches with fill: a step like a trim, which later
  // trims and turns keep and an undo takes back. Its outcome comes as Wiped.
  void StartWipe(const TTrimRect& rect, EWipeFill fill);
  // Goes back one trim, turn or wipe; Undone tells the rectangle that produced the undone trim or
  // wipe, in pixels of the picture now shown.
  void StartUndo();
  // Does again the last step undone, until a new trim, turn or wipe.
  void StartRedo();
  // Runs command on this thread once the work asked for before it is done; at once when none is.
  void RunInTurn(std::function<void()> command);
  // An open or a change runs, or work waits for its turn.
  bool Working() const { return queue_.Working(); }
  // A trim, turn, wipe, undo or redo runs.
  bool Changing() const { return queue_.Changing(); }
  // The change running turns or mirrors the picture.
  bool Turning() const { return queue_.Changing() && turning_; }
  // The change running wipes a region or takes a wipe back.
  bool Wiping() const { return queue_.Changing() && wiping_; }
  // A picture is being decoded on the side for the document as it stands.
  bool Decoding() const { return !decoding_.empty(); }
  // Every MCU row of the opened file's coefficients is decoded, or decoding cannot go on.
  bool CoefficientsDecoded() const { return source_.Decoded(); }
  // The MCU rows of the opened file's coefficients decoded so far.
  int DecodedRows() const { return source_.Rows; }
  // Turns the event loop until all work given and its outcomes are done, and waits for the PNG of
  // the last copy (tests, benchmarks).
  void WaitForWork() {
    queue_.WaitForAll();
    pngMaker_.Wait();
  }

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
  // The PNG of the last copy is being made; WorkChanged is told once it is there.
  bool MakingPng() const { return pngMaker_.Making(); }

  // The picture of the document's bytes at reduction as it is shown (see UprightPicture), when
  // held; otherwise nothing, and it is decoded and turned on the side, told by PictureReady once
  // held. Bytes that do not decode close the document and go to the failure notice: the window
  // must not show another state's picture.
  const TPicture* PictureOrDecode(int reduction);
  // The held picture nearest to reduction, to show until that one is decoded; nothing when none
  // is held.
  const TPicture* Preview(int reduction) const;
  // The size of the picture the document's bytes hold.
  QSize FrameSize() const;
  const TPictureCache& Pictures() const { return pictures_; }
  // The wipe under way shows before its file is written: its patch, to show over the picture held
  // at the patch's reduction until the wipe is done. Nothing when none is shown.
  const TPicturePatch* Patch() const { return patch_ ? &*patch_ : nullptr; }

  const QString& DocFileName() const { return docFileName_; }
  // The document's JPEG as it stands: the opened file's bytes, or those of the last trim.
  std::span<const std::uint8_t> Bytes() const { return SharedBytes().Bytes; }
  const std::vector<TTrimStep>& TrimHistory() const { return trimHistory_; }
  // The steps undone that a redo does again, the next one last.
  const std::vector<TTrimStep>& RedoSteps() const { return redoSteps_; }
  std::int32_t ModifyCount() const { return modifyCount_; }
  const TFileTimes& SourceTimes() const { return sourceTimes_; }
  // The name the save dialog proposes.
  const QString& SaveDialogFileName() const { return saveDialogFileName_; }

 private:
  // Each step begins here, reading the document as it stands, runs its job on any thread with
  // nothing but the job, and is taken over here (an outcome no longer wanted is dropped).
  std::optional<TWork> BeginOpen(const QString& path, int reduction);
  void FinishOpen(TOpenJob& job, std::exception_ptr error);
  std::shared_ptr<TChangeJob> PrepareTrim(const TTrimRect& pictureRect);
  std::shared_ptr<TChangeJob> PrepareTurn(std::optional<TOrientation> turn);
  std::shared_ptr<TChangeJob> PrepareWipe(const TTrimRect& pictureRect, EWipeFill fill);
  std::shared_ptr<TChangeJob> PrepareUndo();
  std::shared_ptr<TChangeJob> PrepareRedo();
  // A wipe of the picture shown, or its undo or redo: job mends it where region (in the
  // source's stored pixels) was wiped, and shows its patch first.
  void MendShown(TChangeJob& job, const TTrimRect& region) const;
  // The patch of the wipe begun in state, on this thread.
  void ShowPatch(std::uint64_t state, TPicturePatch patch);
  // A change of kind told (Trimmed, Turned, Wiped, Undone or Redone) as a step of the queue.
  void StartChange(TDocumentChange::TKind told,
                   std::function<std::shared_ptr<TChangeJob>()> prepare);
  void FinishChange(TDocumentChange::TKind told, TChangeJob& job, std::exception_ptr error);
  // The next rows of the source's coefficients, when some are left to decode.
  std::optional<TWork> DecodeAhead();
  // What the document holds, from the source: the last step's, or the whole source as its Exif
  // data asks to show it.
  TOrientedTrim CurrentCut() const;
  TOrientedTrim CutBefore(std::size_t steps) const;
  // The regions the document's last step has wiped, in the source's stored pixels.
  std::vector<TWipe> CurrentWipes() const {
    return trimHistory_.empty() ? std::vector<TWipe>() : trimHistory_.back().Wipes;
  }
  // The engine's reports of a job, back on this thread: refusals are told once the window is
  // brought up to the outcome (TellPending), what reading found once the whole file is read.
  void Replay(const TMessages& messages);
  // Refusals worded for shown, what reading found added to findings.
  void Replay(const TMessages& messages, TReadingFindings& findings, const TShownPicture& shown);
  // Tells the refusals replayed, then what reading the document's file found once it is all read
  // (or no more can be), over a window brought up to the document's state first.
  void TellPending();
  // The source's stored picture and how the document shows it now.
  TShownPicture ShownSource() const;
  // A failure of work on the side, to the failure notice.
  void Report(std::exception_ptr error) const;
  TSharedBytes SharedBytes() const;
  // The document's bytes are another's now: pictures and work on the side for the old ones go.
  void NewState();
  // Lets go of pictures and bytes of a state before on another thread, where the last of them
  // is given back to the system.
  void LetGoBeside(TPictureCache pictures, std::shared_ptr<const TByteStream> bytes);
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
  // Shared with the work on the side that uses it; the queue lets one piece of work use it at a
  // time. Never read on this thread: source_ holds what it knows.
  std::shared_ptr<TJpegTrimming> engine_;
  TSourceFacts source_;
  // The opened file's bytes, which stay with the engine.
  TSharedBytes sourceBytes_;

  bool opened_ = false;
  QString docFileName_;
  // The last trim's output, or nothing when the opened file's bytes are the document's. Never
  // changed once made: decodes on the side read it.
  std::shared_ptr<const TByteStream> docStream_;
  std::vector<TTrimStep> trimHistory_;
  std::vector<TTrimStep> redoSteps_;
  std::int32_t modifyCount_ = 0;
  TFileTimes sourceTimes_;
  QString saveDialogFolder_;
  QString saveDialogFileName_;
  TPictureCache pictures_;
  std::optional<TPicturePatch> patch_;

  // Counts the states of the document's bytes; work on the side for an older one is dropped.
  std::uint64_t state_ = 0;
  // The last open asked for, read by the opens running to stop once they are not.
  std::shared_ptr<std::atomic<std::uint64_t>> lastOpen_ =
      std::make_shared<std::atomic<std::uint64_t>>(0);
  // Reductions being decoded for the present state.
  std::set<int> decoding_;
  // The reduction the window last asked for: the one picture a wipe mends, as a full-size one
  // beside it would be copied for nothing.
  int shownReduction_ = 1;
  // Refusals to tell, and what reading the document's file has found that is not told yet; once
  // told, the same file read again finds nothing new.
  std::vector<QString> refusals_;
  TReadingFindings findings_;
  bool findingsTold_ = false;
  // The change running is a turn, or a wipe.
  bool turning_ = false;
  bool wiping_ = false;
  // The PNG of the state last copied, for the clipboard.
  TClipboardPngMaker pngMaker_;
  // Last: let go first, it waits for the work that still uses the members above.
  TWorkQueue queue_;
};

}  // namespace tarvo
