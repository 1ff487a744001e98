// The document's file: saving it, letting it go, and offering it to the clipboard.
#include <QFile>
#include <QFileInfo>
#include <QMimeData>

#include "AtomicFileWriter.h"
#include "ClipboardPicture.h"
#include "DesktopThumbnails.h"
#include "Document.h"
#include "WindowTexts.h"

namespace tarvo {
namespace {

// The folder of path with its trailing separator, as the save dialog and gSaveFolderName keep it.
QString FolderOf(const QString& path) {
  QString folder = QFileInfo(path).absolutePath();
  if (!folder.endsWith(QLatin1Char('/'))) folder += QLatin1Char('/');
  return folder;
}

// Writes to a temporary file beside path and renames it into place, so a failure midway leaves
// an existing file as it was.
void WriteFileAtomically(const QString& path, std::span<const std::uint8_t> bytes) {
  TAtomicFileWriter writer({.SyncToDisk = true, .WaitForReader = false});
  writer.Add(QFile::encodeName(path).toStdString(), bytes);
  writer.Commit();
}

}  // namespace

bool TDocument::SaveFile() {
  if (!opened_) return false;
  if (prompts_.Ask(QString::fromUtf8(kMsgSaveOver), false) != TAnswer::Yes) return false;
  return SaveDocument(docFileName_);
}

bool TDocument::SaveDocument(QString path) {
  if (!opened_) return false;
  // A folder that could not be written to is not where the next save should start.
  const QString folderBefore = saveDialogFolder_;
  const QString fileNameBefore = saveDialogFileName_;
  const QString rememberedBefore = settings_.gSaveFolderName;
  if (path.isEmpty()) {
    if (settings_.gSaveFolder && !settings_.gSaveFolderName.isEmpty()) {
      saveDialogFolder_ = settings_.gSaveFolderName;
    }
    const QString chosen = prompts_.RunSaveDialog(saveDialogFolder_, saveDialogFileName_);
    if (chosen.isEmpty()) return false;
    PresetSaveDialog(chosen);
    // Recorded before the overwrite question, so declining it still remembers the folder.
    if (settings_.gSaveFolder) settings_.gSaveFolderName = saveDialogFolder_;
    path = chosen;
    if (QFileInfo::exists(path) &&
        prompts_.Ask(QString::fromUtf8(kMsgFileExists), false) != TAnswer::Yes) {
      return false;
    }
  }
  try {
    WriteFileAtomically(path, Bytes());
  } catch (...) {
    saveDialogFolder_ = folderBefore;
    saveDialogFileName_ = fileNameBefore;
    settings_.gSaveFolderName = rememberedBefore;
    throw;
  }
  ForgetDesktopThumbnails(path);
  docFileName_ = path;
  SetSourceTimesOn(path);
  modifyCount_ = 0;
  Tell({TDocumentChange::Saved, {}, 1, {}});
  return true;
}

void TDocument::SetSourceTimesOn(const QString& path) const {
  // A creation time cannot be set on Linux; gKeepTimeStamp_Create is kept for the stored
  // settings and otherwise has nothing to act on. Failures are ignored: the file is saved.
  if (settings_.gKeepTimeStamp_Write)
    SetLastWriteTime(path, sourceTimes_.LastWriteTime, sourceTimes_.LastWriteNanoseconds);
}

bool TDocument::CloseQuery() {
  while (modifyCount_ != 0) {
    switch (prompts_.Ask(QString::fromUtf8(kMsgModified), true)) {
      case TAnswer::Yes:
        if (SaveDocument({})) return true;
        break;
      case TAnswer::No:
        return true;
      case TAnswer::Cancel:
        return false;
    }
  }
  return true;
}

void TDocument::Close() {
  const bool wasOpen = opened_;
  Forget();
  if (wasOpen) Tell({TDocumentChange::Closed, {}, 1, {}});
}

std::unique_ptr<QMimeData> TDocument::ClipboardData() {
  if (!HasDocument()) return nullptr;
  const std::span<const std::uint8_t> bytes = Bytes();
  const QByteArray jpeg(reinterpret_cast<const char*>(bytes.data()),
                        static_cast<qsizetype>(bytes.size()));
  // Made once for this state, on threads of its own at the window's priority, from the full-size
  // picture when the view holds it, upright already: a paste of the JPEG should not wait for it.
  const bool held = pictures_.Holds(1);
  std::shared_future<QByteArray> png =
      pngMaker_.For(state_, jpeg, held ? pictures_.Nearest(1)->Pixels : QImage(),
                    held ? TOrientation{} : ShownOrientation());
  return std::make_unique<TClipboardPicture>(jpeg, std::move(png));
}

void TDocument::PresetSaveDialog(const QString& path) {
  saveDialogFolder_ = FolderOf(path);
  saveDialogFileName_ = QFileInfo(path).fileName();
}

}  // namespace tarvo
