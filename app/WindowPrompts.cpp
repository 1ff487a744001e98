#include "WindowPrompts.h"

#include <QMessageBox>
#include <QPushButton>

#include "FileDialogs.h"
#include "WindowTexts.h"

namespace tarvo {

TWindowPrompts::TWindowPrompts(QWidget* owner) : owner_(owner) {}

TAnswer TWindowPrompts::Ask(const QString& text, bool withCancel) {
  QMessageBox box(QMessageBox::Warning, QString::fromUtf8(kCaptionWarning), text,
                  QMessageBox::NoButton, owner_);
  QPushButton* yes = box.addButton(QString::fromUtf8(kButtonYes), QMessageBox::YesRole);
  QPushButton* no = box.addButton(QString::fromUtf8(kButtonNo), QMessageBox::NoRole);
  QPushButton* cancel =
      withCancel ? box.addButton(QString::fromUtf8(kButtonCancel), QMessageBox::RejectRole)
                 : nullptr;
  // A question without a way out is about writing over a file: Enter must not destroy it. The
  // question with キャンセル offers to save, where yes is the safe answer.
  box.setDefaultButton(withCancel ? yes : no);
  // Escape means the most cautious answer.
  box.setEscapeButton(withCancel ? cancel : no);
  box.exec();
  if (box.clickedButton() == yes) return TAnswer::Yes;
  if (box.clickedButton() == no) return TAnswer::No;
  return withCancel ? TAnswer::Cancel : TAnswer::No;
}

QString TWindowPrompts::RunSaveDialog(const QString& folder, const QString& fileName) {
  return RunFileDialog(*NewSaveDialog(owner_), folder, fileName);
}

}  // namespace tarvo
