// The document of the main window: the opened JPEG's bytes, its history of trims, undo, saving,
// closing and copying. No widgets: questions and the save dialog go through TDocumentPrompts.
#pragma once

#include <QString>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <vector>

#include "AppSettings.h"
#include "ByteStream.h"
#include "EngineCallbacks.h"
#include "FileTimes.h"
#include "LibjpegPictureMaker.h"
#include "PictureCache.h"
#include "TrimRect.h"

class QMimeData;

namespace tarvo {

class TJpegTrimming;

// One trim: the source rectangle the engine cut and whether that trim dropped the Exif segment.
struct TTrimStep {
  TTrimRect Rect;
  bool DropExif = false;
  bool KeepThumbnails = false;

  friend bool operator==(const TTrimStep&, const TTrimStep&) = default;
};

enum class TAnswer { Yes, No, Cancel };

// What a change did to the document, told as it happens so that the window refreshes once.
struct TDocumentChange {
  enum TKind {
    Opened,  // another file, or the first
    Trimmed,
    Undone,
    Saved,   // the file name may be another now
    Closed,  // by "閉じる", or after a failure the document would not survive
  };
  TKind Kind = Opened;
  // After Undone: the rectangle that made the undone trim, in pixels of the picture now shown.
  TTrimRect Restored;
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

// Rectangles given to and returned by the document are in pixels of the picture it shows; the
// document adds the corner of its last trim to reach the source's pixels.
class TDocument {
 public:
  // settings and prompts belong to the window and outlive the document; each file opened gets
  // an engine of its own, which reports through onMessage.
  TDocument(TAppSettings& settings, TDocumentPrompts& prompts, TMessageProc onMessage);
  ~TDocument();

  // Told after each change, once the document is in its new state.
  void SetChangeNotice(std::function<void(const TDocumentChange&)> notice) {
    changeNotice_ = std::move(notice);
  }

  // Analyses path in an engine of its own and decodes its picture at reduction (the view's);
  // only when both succeed does it replace the document. False when the engine refused the file
  // (it has said why); a file that cannot be read raises EStreamError, a picture that cannot be
  // decoded EPictureError. Either way the earlier document stays exactly as it was.
  bool OpenDocument(const QString& path, int reduction);
  bool HasDocument() const { return opened_; }

  // The MCU of the document's file in pixels: the grid a trim's Left and Top lie on.
  int McuWidth() const;
  int McuHeight() const;
  // How far down the picture shown a selection may reach: all of it, except in a file cut off
  // inside its coded data, where only the rows that arrived whole can be trimmed.
  int SelectableHeight() const;

  // The status-bar text: the path and the picture size, or the path and the last trim's range.
  QString StatusText() const;
  // The window title: the file's name, "[*]" where the desktop puts its modified marker, and the
  // program's caption; the caption alone without a document.
  QString TitleText() const;
  bool Modified() const { return modifyCount_ != 0; }

  // Trims the document to rect. False when the engine refused (it has said why); the document
  // then holds its previous bytes again, or is closed should even they fail. Reduced pictures
  // held are cut to the trim; should that fail the document closes rather than show another
  // state's picture, and the error is raised.
  bool Trim(const TTrimRect& rect);
  // Goes back one trim. The rectangle that produced the undone trim, in pixels of the picture
  // now shown; nothing when there was no trim or the earlier trim could not be redone.
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
  // without a document, so that the clipboard keeps what it holds.
  std::unique_ptr<QMimeData> ClipboardData() const;

  // The picture of the document's bytes at reduction, decoded on first use (EPictureError when
  // they do not decode; the document stays as it was).
  const TPicture& Picture(int reduction);
  const TPictureCache& Pictures() const { return pictures_; }
  // See TPictureCache::SetSlowDecodeNotice.
  void SetSlowDecodeNotice(std::function<void(bool running)> notice) {
    pictures_.SetSlowDecodeNotice(std::move(notice));
  }

  const QString& DocFileName() const { return docFileName_; }
  // The document's JPEG as it stands: the opened file's bytes, or those of the last trim.
  std::span<const std::uint8_t> Bytes() const;
  const std::vector<TTrimStep>& TrimHistory() const { return trimHistory_; }
  std::int32_t ModifyCount() const { return modifyCount_; }
  const TFileTimes& SourceTimes() const { return sourceTimes_; }
  // The name the save dialog proposes.
  const QString& SaveDialogFileName() const { return saveDialogFileName_; }

 private:
  // docStream_ for the history as it stands: the last step's trim, or nothing for the source.
  bool RenderLastStep();
  // After a failed trim: the bytes of the last step again, or no document if that fails too.
  void RecoverDocStream();
  // Back to no document, telling no one: opening replaces the document without closing it.
  void Forget();
  void Tell(const TDocumentChange& change) const;
  // Where the last trim's picture starts in the picture before it.
  QPoint LastTrimOffset() const;
  void PresetSaveDialog(const QString& path);
  void SetSourceTimesOn(const QString& path) const;

  TAppSettings& settings_;
  TDocumentPrompts& prompts_;
  TMessageProc onMessage_;
  // Before the engine, which points at it.
  TLibjpegPictureMaker pictureMaker_;
  std::function<void(const TDocumentChange&)> changeNotice_;
  std::unique_ptr<TJpegTrimming> engine_;

  bool opened_ = false;
  QString docFileName_;
  // The last trim's output; the opened file's bytes stay with the engine alone.
  TByteStream docStream_;
  std::vector<TTrimStep> trimHistory_;
  std::int32_t modifyCount_ = 0;
  TFileTimes sourceTimes_;
  QString saveDialogFolder_;
  QString saveDialogFileName_;
  TPictureCache pictures_;
};

}  // namespace tarvo
