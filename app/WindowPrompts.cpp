#include "WindowPrompts.h"

#include <QFileDialog>
#include <QMessageBox>
#include <QPushButton>

#include "WindowTexts.h"

namespace tarvo {

TWindowPrompts::TWindowPrompts(QWidget* owner, QFileDialog* saveDialog)
    : owner_(owner), saveDialog_(saveDialog) {}

TAnswer TWindowPrompts::Ask(const QString& text, bool withCancel) {
  QMessageBox box(QMessageBox::Warning, QString::fromUtf8(kCaptionWarning), text,
                  QMessageBox::NoButton, owner_);
  QPushButton* yes = box.addButton(QString::fromUtf8(kButtonYes), QMessageBox::YesRole);
  QPushButton* no = box.addButton(QString::fromUtf8(kButtonNo), QMessageBox::NoRole);
  QPushButton* cancel =
      withCancel ? box.addButton(QString::fromUtf8(kButtonCancel), QMessageBox::RejectRole)
                 : nullptr;
  box.setDefaultButton(yes);
  // Escape means the most cautious answer.
  box.setEscapeButton(withCancel ? cancel : no);
  box.exec();
  if (box.clickedButton() == yes) return TAnswer::Yes;
  if (box.clickedButton() == no) return TAnswer::No;
  return withCancel ? TAnswer::Cancel : TAnswer::No;
}

QString TWindowPrompts::RunSaveDialog(const QString& folder, const QString& fileName) {
  saveDialog_->setDirectory(folder);
  saveDialog_->selectFile(fileName);
  if (saveDialog_->exec() != QDialog::Accepted) return {};
  const QStringList chosen = saveDialog_->selectedFiles();
  return chosen.isEmpty() ? QString() : chosen.constFirst();
}

}  // namespace tarvo
