// The document's questions and save dialog as the window asks them: modal boxes and a dialog.
#pragma once

#include "Document.h"

class QFileDialog;
class QWidget;

namespace tarvo {

class TWindowPrompts final : public TDocumentPrompts {
 public:
  // The save dialog belongs to the window; it keeps its state between saves.
  TWindowPrompts(QWidget* owner, QFileDialog* saveDialog);

  TAnswer Ask(const QString& text, bool withCancel) override;
  QString RunSaveDialog(const QString& folder, const QString& fileName) override;

 private:
  QWidget* owner_;
  QFileDialog* saveDialog_;
};

}  // namespace tarvo
