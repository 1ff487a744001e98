// The document's questions and save dialog as the window asks them: modal boxes and a dialog.
#pragma once

#include "Document.h"

class QWidget;

namespace tarvo {

class TWindowPrompts final : public TDocumentPrompts {
 public:
  explicit TWindowPrompts(QWidget* owner);

  TAnswer Ask(const QString& text, bool withCancel) override;
  QString RunSaveDialog(const QString& folder, const QString& fileName) override;

 private:
  QWidget* owner_;
};

}  // namespace tarvo
