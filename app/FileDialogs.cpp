#include "FileDialogs.h"

#include <QPixmapCache>

#include "WindowTexts.h"

namespace tarvo {
namespace {

std::unique_ptr<QFileDialog> NewJpegDialog(QWidget* owner, const QString& name) {
  auto dialog = std::make_unique<QFileDialog>(owner);
  dialog->setObjectName(name);
  dialog->setOption(QFileDialog::HideNameFilterDetails);
  dialog->setNameFilter(QString::fromUtf8(kJpegFilter));
  return dialog;
}

}  // namespace

std::unique_ptr<QFileDialog> NewOpenDialog(QWidget* owner) {
  auto dialog = NewJpegDialog(owner, QStringLiteral("OpenDialog"));
  dialog->setFileMode(QFileDialog::ExistingFile);
  dialog->setAcceptMode(QFileDialog::AcceptOpen);
  return dialog;
}

std::unique_ptr<QFileDialog> NewSaveDialog(QWidget* owner) {
  auto dialog = NewJpegDialog(owner, QStringLiteral("SaveDialog"));
  dialog->setFileMode(QFileDialog::AnyFile);
  dialog->setAcceptMode(QFileDialog::AcceptSave);
  dialog->setOption(QFileDialog::DontConfirmOverwrite);
  dialog->setDefaultSuffix(QString::fromUtf8(kJpegSuffix));
  return dialog;
}

QString RunFileDialog(QFileDialog& dialog, const QString& folder, const QString& fileName) {
  if (!folder.isEmpty()) dialog.setDirectory(folder);
  if (!fileName.isEmpty()) dialog.selectFile(fileName);
  const bool accepted = dialog.exec() == QDialog::Accepted;
  // The dialog paints its icons into Qt's shared pixmap cache under keys that die with it;
  // left there, each use would add its own copies until the cache is full (10 MB).
  QPixmapCache::clear();
  if (!accepted) return {};
  const QStringList chosen = dialog.selectedFiles();
  return chosen.isEmpty() ? QString() : chosen.constFirst();
}

}  // namespace tarvo
