#include "FileDialogs.h"

#include <QAbstractFileIconProvider>
#include <QMimeDatabase>
#include <QPixmapCache>

#include "WindowTexts.h"

namespace tarvo {
namespace {

// Icons and type names from what a file's name and kind say, never from its content: Qt's own
// reads the start of each file it lists to guess its type, and a file under /proc, /sys or /dev
// may block that read for ever, freezing the dialog as soon as such a folder is typed.
class TNameOnlyIcons : public QAbstractFileIconProvider {
 public:
  QIcon icon(IconType type) const override { return QAbstractFileIconProvider::icon(type); }
  QIcon icon(const QFileInfo& info) const override { return icon(info.isDir() ? Folder : File); }
  QString type(const QFileInfo& info) const override {
    if (!info.isFile()) return QAbstractFileIconProvider::type(info);
    const QMimeType mime = mimes_.mimeTypeForFile(info.fileName(), QMimeDatabase::MatchExtension);
    return mime.comment().isEmpty() ? mime.name() : mime.comment();
  }

 private:
  QMimeDatabase mimes_;
};

std::unique_ptr<QFileDialog> NewJpegDialog(QWidget* owner, const QString& name) {
  auto dialog = std::make_unique<QFileDialog>(owner);
  dialog->setObjectName(name);
  dialog->setOption(QFileDialog::HideNameFilterDetails);
  // Owned by the dialog's model, which asks it for every file shown.
  auto* icons = new TNameOnlyIcons;
  dialog->setIconProvider(icons);
  QObject::connect(dialog.get(), &QObject::destroyed, [icons] { delete icons; });
  dialog->setNameFilters({QString::fromUtf8(kJpegFilter), QString::fromUtf8(kAllFilesFilter)});
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
