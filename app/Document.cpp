#include "Document.h"

#include <QFile>
#include <QFileInfo>
#include <QMimeData>

#include "AtomicFileWriter.h"
#include "ClipboardPicture.h"
#include "DesktopThumbnails.h"
#include "JpegTrimming.h"
#include "Messages.h"
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

TDocument::TDocument(TAppSettings& settings, TDocumentPrompts& prompts, TMessageProc onMessage)
    : settings_(settings),
      prompts_(prompts),
      onMessage_(std::move(onMessage)),
      engine_(std::make_unique<TJpegTrimming>()) {}

TDocument::~TDocument() = default;

bool TDocument::OpenDocument(const QString& path, int reduction) {
  // The new file is analysed and decoded on the side; a refusal or a read error leaves the
  // document the user has been working on untouched.
  auto analysed = std::make_unique<TJpegTrimming>();
  analysed->OnMessage = onMessage_;
  analysed->Pictures.Maker = &pictureMaker_;
  if (!analysed->AnalyzeFile(QFile::encodeName(path).toStdString())) return false;
  const TFileTimes times = ReadFileTimes(path);
  TPicture picture = pictures_.Decode(analysed->SourceStream().Bytes(), reduction);
  Forget();
  engine_ = std::move(analysed);
  pictures_.Hold(std::move(picture));
  sourceTimes_ = times;
  PresetSaveDialog(path);
  docFileName_ = path;
  opened_ = true;
  Tell({TDocumentChange::Opened, {}});
  return true;
}

std::span<const std::uint8_t> TDocument::Bytes() const {
  return trimHistory_.empty() ? engine_->SourceStream().Bytes() : docStream_.Bytes();
}

const TPicture& TDocument::Picture(int reduction) { return pictures_.At(Bytes(), reduction); }

int TDocument::McuWidth() const { return engine_->McuWidth(); }

int TDocument::McuHeight() const { return engine_->McuHeight(); }

int TDocument::SelectableHeight() const {
  // A trim's result lies inside the rows the engine let it take.
  if (!trimHistory_.empty()) return trimHistory_.back().Rect.Bottom - trimHistory_.back().Rect.Top;
  return engine_->TrimmableHeight();
}

QString TDocument::StatusText() const {
  if (!opened_) return {};
  if (trimHistory_.empty()) {
    return QStringLiteral("%1 (%2x%3)")
        .arg(docFileName_)
        .arg(engine_->ImageWidth())
        .arg(engine_->ImageHeight());
  }
  const TTrimRect& r = trimHistory_.back().Rect;
  // Shown 1-based and inclusive, then the width and height.
  return QString::asprintf("%s トリミング範囲 : [%4u,%4u] - [%4u,%4u] (%4u,%4u)",
                           docFileName_.toUtf8().constData(), static_cast<unsigned>(r.Left + 1),
                           static_cast<unsigned>(r.Top + 1), static_cast<unsigned>(r.Right),
                           static_cast<unsigned>(r.Bottom), static_cast<unsigned>(r.Right - r.Left),
                           static_cast<unsigned>(r.Bottom - r.Top));
}

QString TDocument::TitleText() const {
  const QString caption = QString::fromUtf8(kMainCaption);
  if (!opened_) return caption;
  return QFileInfo(docFileName_).fileName() + QStringLiteral("[*] — ") + caption;
}

bool TDocument::Trim(const TTrimRect& pictureRect) {
  if (!opened_) return false;
  // The picture shown starts at the last trim's top-left corner.
  TTrimRect rect = pictureRect;
  if (!trimHistory_.empty()) {
    const TTrimRect& p = trimHistory_.back().Rect;
    rect = rect.Shifted(p.Left, p.Top);
  }
  const bool dropExif = settings_.gAllowDropExif;
  engine_->Pictures.KeepThumbnails = settings_.gKeepThumbnails;
  bool trimmed = false;
  TTrimRect cut;
  try {
    trimmed = static_cast<bool>(engine_->Trim(docStream_, rect, dropExif, &cut));
  } catch (...) {
    RecoverDocStream();
    throw;
  }
  if (!trimmed) {
    RecoverDocStream();
    return false;
  }
  // What the engine cut, its origin on the MCU grid: the next trim and the undo start from it.
  trimHistory_.push_back({cut, dropExif, settings_.gKeepThumbnails});
  if (modifyCount_ >= 0) ++modifyCount_;
  try {
    pictures_.KeepTrimmed(Bytes(), LastTrimOffset());
  } catch (...) {
    Close();
    throw;
  }
  Tell({TDocumentChange::Trimmed, {}});
  return true;
}

std::optional<TTrimRect> TDocument::Undo() {
  if (!opened_ || trimHistory_.empty()) return std::nullopt;
  const TTrimStep undone = trimHistory_.back();
  TTrimRect restored = undone.Rect;
  if (trimHistory_.size() >= 2) {
    // In pixels of the earlier result, which starts at the step before's corner.
    const TTrimRect& previous = trimHistory_[trimHistory_.size() - 2].Rect;
    restored = restored.Shifted(-previous.Left, -previous.Top);
  }
  trimHistory_.pop_back();
  bool rendered = false;
  try {
    rendered = RenderLastStep();
  } catch (...) {
    trimHistory_.push_back(undone);
    RecoverDocStream();
    throw;
  }
  if (!rendered) {
    trimHistory_.push_back(undone);
    RecoverDocStream();
    return std::nullopt;
  }
  if (modifyCount_ >= 0) --modifyCount_;
  pictures_.Clear();
  Tell({TDocumentChange::Undone, restored});
  return restored;
}

bool TDocument::RenderLastStep() {
  if (trimHistory_.empty()) {
    docStream_.Clear();
    return true;
  }
  // Redone with the Exif and thumbnail choices recorded then, not today's settings.
  const TTrimStep& last = trimHistory_.back();
  engine_->Pictures.KeepThumbnails = last.KeepThumbnails;
  return static_cast<bool>(engine_->Trim(docStream_, last.Rect, last.DropExif));
}

void TDocument::RecoverDocStream() {
  bool recovered = false;
  try {
    recovered = RenderLastStep();
  } catch (...) {
    recovered = false;
  }
  // Partial output must never pass for the document.
  if (!recovered) Close();
}

bool TDocument::SaveFile() {
  if (!opened_) return false;
  if (prompts_.Ask(QString::fromUtf8(kMsgSaveOver), false) != TAnswer::Yes) return false;
  return SaveDocument(docFileName_);
}

bool TDocument::SaveDocument(QString path) {
  if (!opened_) return false;
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
  WriteFileAtomically(path, Bytes());
  ForgetDesktopThumbnails(path);
  docFileName_ = path;
  SetSourceTimesOn(path);
  modifyCount_ = 0;
  Tell({TDocumentChange::Saved, {}});
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
  if (wasOpen) Tell({TDocumentChange::Closed, {}});
}

void TDocument::Tell(const TDocumentChange& change) const {
  if (changeNotice_) changeNotice_(change);
}

void TDocument::Forget() {
  opened_ = false;
  trimHistory_.clear();
  docFileName_.clear();
  docStream_.Clear();
  modifyCount_ = 0;
  pictures_.Clear();
  // The file's bytes go with their engine.
  engine_ = std::make_unique<TJpegTrimming>();
}

std::unique_ptr<QMimeData> TDocument::ClipboardData() const {
  if (!HasDocument()) return nullptr;
  const std::span<const std::uint8_t> bytes = Bytes();
  return std::make_unique<TClipboardPicture>(QByteArray(reinterpret_cast<const char*>(bytes.data()),
                                                        static_cast<qsizetype>(bytes.size())));
}

QPoint TDocument::LastTrimOffset() const {
  const auto start = [](const TTrimStep& step) { return QPoint(step.Rect.Left, step.Rect.Top); };
  const std::size_t steps = trimHistory_.size();
  const QPoint before = steps >= 2 ? start(trimHistory_[steps - 2]) : QPoint();
  return start(trimHistory_.back()) - before;
}

void TDocument::PresetSaveDialog(const QString& path) {
  saveDialogFolder_ = FolderOf(path);
  saveDialogFileName_ = QFileInfo(path).fileName();
}

}  // namespace tarvo
