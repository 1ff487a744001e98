// The document of the main window: the opened JPEG's bytes, its history of trims, undo, saving,
// closing and copying. No widgets: questions and the save dialog go through TDocumentPrompts.
#pragma once

#include <QString>
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "AppSettings.h"
#include "ByteStream.h"
#include "FileTimes.h"
#include "Selection.h"
#include "TrimRect.h"

class QMimeData;

namespace tarvo {

class TJpegTrimming;

// One trim: the rectangle in source pixels and whether that trim dropped the Exif segment.
struct TTrimStep {
  std::int32_t Left = 0;
  std::int32_t Top = 0;
  std::int32_t Right = 0;
  std::int32_t Bottom = 0;
  bool DropExif = false;

  TTrimRect Rect() const { return {Left, Top, Right, Bottom}; }
  friend bool operator==(const TTrimStep&, const TTrimStep&) = default;
};

// The view rate: view pixels = picture pixels * Num / Den.
struct TViewScale {
  std::int32_t Num = 1;
  std::int32_t Den = 1;
};

enum class TAnswer { Yes, No, Cancel };

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

class TDocument {
 public:
  // engine, settings and prompts belong to the window and outlive the document.
  TDocument(TJpegTrimming& engine, TAppSettings& settings, TDocumentPrompts& prompts);

  // Loads and analyses path. False when the engine refused it (the engine has said why): the
  // document is then closed, so nothing of an earlier document survives under the new name.
  // A file that cannot be read raises EStreamError, likewise after closing the document.
  bool OpenDocument(const QString& path);
  bool HasDocument() const { return opened_; }

  // The status-bar text: the path and the picture size, or the path and the last trim's range.
  QString StatusText() const;

  // The selection (view pixels) in source pixels: the picture shown starts at the last trim's
  // top-left corner.
  TTrimRect SelectionToSource(const TSelectionRect& selection, TViewScale scale) const;

  // Trims the document to the selection. False when the engine refused (it has said why); the
  // document then holds its previous bytes again, or is closed should even they fail.
  bool Trim(const TSelectionRect& selection, TViewScale scale);
  // Goes back one trim. The selection that produced the undone trim, in view pixels of the
  // picture now shown; nothing when there was no trim or the earlier trim could not be redone.
  std::optional<TSelectionRect> Undo(TViewScale scale);

  // "上書き保存": asks first, then saves over DocFileName.
  bool SaveFile();
  // Writes DocStream to path, or to a path chosen in the save dialog when path is empty. False
  // when the user cancelled or declined to overwrite. A file that cannot be written raises
  // EStreamError and leaves any existing file untouched.
  bool SaveDocument(QString path);
  // May the window close? Asks about unsaved changes and saves on request.
  bool CloseQuery();
  void Close();

  // The clipboard's contents for "コピー": the document's JPEG bytes under "JFIF" and
  // "image/jpeg"; with no document, one empty "JFIF" entry.
  std::unique_ptr<QMimeData> ClipboardData() const;

  const QString& DocFileName() const { return docFileName_; }
  const TByteStream& DocStream() const { return docStream_; }
  const std::vector<TTrimStep>& TrimHistory() const { return trimHistory_; }
  std::int32_t ModifyCount() const { return modifyCount_; }
  const TFileTimes& SourceTimes() const { return sourceTimes_; }
  // Where the save dialog starts and the name it proposes.
  const QString& SaveDialogFolder() const { return saveDialogFolder_; }
  const QString& SaveDialogFileName() const { return saveDialogFileName_; }

 private:
  // DocStream for the history as it stands: the last step's trim, or the source.
  bool RenderLastStep();
  // After a failed trim: the bytes of the last step again, or no document if that fails too.
  void RecoverDocStream();
  void PresetSaveDialog(const QString& path);
  void SetSourceTimesOn(const QString& path) const;

  TJpegTrimming& engine_;
  TAppSettings& settings_;
  TDocumentPrompts& prompts_;

  bool opened_ = false;
  QString docFileName_;
  TByteStream docStream_;
  std::vector<TTrimStep> trimHistory_;
  std::int32_t modifyCount_ = 0;
  TFileTimes sourceTimes_;
  QString saveDialogFolder_;
  QString saveDialogFileName_;
};

}  // namespace tarvo
