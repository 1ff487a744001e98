#include "StateReport.h"

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QRegularExpression>
#include <QTimer>
#include <cstdio>
#include <memory>

#include "MainWindow.h"

namespace tarvo {
namespace {

// Often enough that a test never waits long, seldom enough to cost nothing.
constexpr int kPollIntervalMs = 40;

// A value never breaks the line or its fields.
QString Field(const char* name, QString value) {
  value.replace(QLatin1Char('\t'), QLatin1Char(' ')).replace(QLatin1Char('\n'), QLatin1Char(' '));
  return QString::fromLatin1(name) + QLatin1Char('=') + value;
}

QString NameOf(const QWidget* widget) {
  if (widget == nullptr) return {};
  return widget->objectName().isEmpty() ? widget->windowTitle() : widget->objectName();
}

// Where a control sits in the window's client area: x,y,width,height.
QString PlaceOf(const QWidget& window, const char* name) {
  const auto* widget = window.findChild<QWidget*>(QString::fromLatin1(name));
  if (widget == nullptr || !widget->isVisible()) return {};
  const QPoint at = widget->mapTo(&window, QPoint(0, 0));
  return QStringLiteral("%1,%2,%3,%4")
      .arg(at.x())
      .arg(at.y())
      .arg(widget->width())
      .arg(widget->height());
}

// The default button of the modal dialog on top, by its text.
QString DefaultButtonOf(const QWidget* modal) {
  if (modal == nullptr) return {};
  for (const QPushButton* button : modal->findChildren<QPushButton*>()) {
    if (button->isDefault() && button->isVisible()) return button->text();
  }
  return {};
}

// The text of a message box on top, the folder and typed name of a file dialog.
QString MessageOf(const QWidget* modal) {
  const auto* box = qobject_cast<const QMessageBox*>(modal);
  return box != nullptr ? box->text() : QString();
}

QString FolderOf(const QWidget* modal) {
  const auto* dialog = qobject_cast<const QFileDialog*>(modal);
  return dialog != nullptr ? dialog->directory().absolutePath() : QString();
}

QString TypedNameOf(const QWidget* modal) {
  const auto* edit =
      modal != nullptr ? modal->findChild<QLineEdit*>(QStringLiteral("fileNameEdit")) : nullptr;
  return edit != nullptr ? edit->text() : QString();
}

// The item a menu open on top has active, without its mnemonic, as the keys reach it.
QString ActiveMenuItem(const QWidget* popup) {
  const auto* menu = qobject_cast<const QMenu*>(popup);
  const QAction* item = menu != nullptr ? menu->activeAction() : nullptr;
  if (item == nullptr) return {};
  return item->text().remove(QRegularExpression(QStringLiteral("\\(&.\\)$")));
}

QString Report(TFm_Main& window) {
  const auto* rate = window.findChild<QComboBox*>(QStringLiteral("Cbo_ViewRate"));
  const auto* mode = window.findChild<QComboBox*>(QStringLiteral("Cbo_TrimMode"));
  const auto* info = window.findChild<QLabel*>(QStringLiteral("Lbl_Information"));
  const QWidget* modal = QApplication::activeModalWidget();
  const QWidget* popup = QApplication::activePopupWidget();
  const QRect frame = window.frameGeometry();
  const QStringList fields = {
      // Asking for the id of a window not yet shown would create it early.
      Field("wid", window.isVisible() ? QString::number(window.winId()) : QString()),
      Field("active", NameOf(QApplication::activeWindow())),
      Field("focus", NameOf(QApplication::focusWidget())),
      Field("modal", NameOf(modal)),
      Field("default", DefaultButtonOf(modal)),
      Field("message", MessageOf(modal)),
      Field("folder", FolderOf(modal)),
      Field("typed", TypedNameOf(modal)),
      Field("popup",
            popup != nullptr ? QString::fromLatin1(popup->metaObject()->className()) : QString()),
      Field("menuItem", ActiveMenuItem(popup)),
      Field("rate", rate->currentText()),
      Field("mode", QString::number(mode->currentIndex())),
      Field("status", window.StatusText()),
      Field("info", info->text()),
      Field("modified", QString::number(window.Document().ModifyCount())),
      Field("frame", QStringLiteral("%1,%2,%3,%4")
                         .arg(frame.x())
                         .arg(frame.y())
                         .arg(frame.width())
                         .arg(frame.height())),
      Field("Cbo_ViewRate", PlaceOf(window, "Cbo_ViewRate")),
      Field("Cbo_TrimMode", PlaceOf(window, "Cbo_TrimMode")),
      Field("PaintBox", PlaceOf(window, "PaintBox")),
  };
  return fields.join(QLatin1Char('\t'));
}

}  // namespace

void StartStateReport(TFm_Main& window) {
  auto* timer = new QTimer(&window);
  auto last = std::make_shared<QString>();
  QObject::connect(timer, &QTimer::timeout, &window, [&window, last] {
    const QString now = Report(window);
    if (now == *last) return;
    *last = now;
    std::fputs((now + QLatin1Char('\n')).toUtf8().constData(), stdout);
    std::fflush(stdout);
  });
  timer->start(kPollIntervalMs);
}

}  // namespace tarvo
