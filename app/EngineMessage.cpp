#include "EngineMessage.h"

#include <QApplication>
#include <QMainWindow>
#include <QMessageBox>

#include "WindowTexts.h"

namespace tarvo {

std::optional<TMessageBoxContent> EngineMessageBox(const std::string& text, int severity) {
  // The engine breaks its lines with a carriage return; a message box breaks them at '\n'.
  QString message = QString::fromStdString(text);
  message.replace(QLatin1Char('\r'), QLatin1Char('\n'));
  switch (severity) {
    case 0:
      return TMessageBoxContent{TMessageBoxKind::Plain, QString::fromUtf8(kAppTitle), message,
                                QString::fromUtf8(kButtonOk)};
    case 1:
      return TMessageBoxContent{TMessageBoxKind::Warning, QString::fromUtf8(kCaptionWarning),
                                message, QString::fromUtf8(kButtonOk)};
    case 2:
      return TMessageBoxContent{TMessageBoxKind::Error, QString::fromUtf8(kCaptionError),
                                message + QLatin1Char('\n') + QString::fromUtf8(kMsgCannotProcess),
                                QString::fromUtf8(kButtonOk)};
    default:
      return std::nullopt;
  }
}

QWidget* MessageBoxOwner() {
  if (QWidget* active = QApplication::activeWindow()) return active;
  // Right after a file dialog closes, or before the window is first activated, no window is
  // active; the box still belongs to the main window, centred over it and kept above it.
  for (QWidget* window : QApplication::topLevelWidgets()) {
    if (qobject_cast<QMainWindow*>(window) != nullptr && window->isVisible()) return window;
  }
  return nullptr;
}

namespace {

void Show(const TMessageBoxContent& content) {
  QMessageBox::Icon icon = QMessageBox::NoIcon;
  if (content.Kind == TMessageBoxKind::Warning) icon = QMessageBox::Warning;
  if (content.Kind == TMessageBoxKind::Error) icon = QMessageBox::Critical;
  QMessageBox box(icon, content.Caption, content.Text, QMessageBox::NoButton, MessageBoxOwner());
  box.addButton(content.Button, QMessageBox::AcceptRole);
  box.exec();
}

}  // namespace

void EngineMessage(const std::string& text, int severity) {
  const std::optional<TMessageBoxContent> content = EngineMessageBox(text, severity);
  if (content) Show(*content);
}

void ErrorMessage(const QString& text) {
  Show({TMessageBoxKind::Error, QString::fromUtf8(kCaptionError), text,
        QString::fromUtf8(kButtonOk)});
}

}  // namespace tarvo
