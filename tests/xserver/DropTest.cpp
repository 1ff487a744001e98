// A file dragged from another program and dropped on the window, through the X server's own
// drag-and-drop protocol.
#include <QDeadlineTimer>
#include <QPoint>

#include "XWindow.h"

namespace tarvo::xtest {
namespace {

// The drag source's lines, read as they come.
bool WaitForLine(QProcess& process, const QByteArray& prefix, QByteArray* line) {
  const QDeadlineTimer deadline(kTimeoutMs);
  while (!deadline.hasExpired()) {
    while (process.canReadLine()) {
      *line = process.readLine().trimmed();
      if (line->startsWith(prefix)) return true;
    }
    if (!process.waitForReadyRead(100) && process.state() == QProcess::NotRunning) return false;
  }
  return false;
}

// With a trim not saved, a file dropped from another program asks first, the program sees its
// file taken as a copy, and "いいえ" lets the dropped file in.
TEST_F(XWindow, ADroppedFileAsksAboutUnsavedTrimsFirst) {
  const QString other = files_.filePath(QStringLiteral("other.jpg"));
  ASSERT_TRUE(QFile::copy(Photo(), other));
  const std::unique_ptr<TTarvo> tarvo = OpenPhoto();
  tarvo->Key({QStringLiteral("ctrl+a"), QStringLiteral("ctrl+x")});
  ASSERT_TRUE(tarvo->WaitFor(QStringLiteral("modified"), QStringLiteral("1")));

  QProcess source;
  source.setProcessEnvironment(server_.Environment());
  source.setProcessChannelMode(QProcess::ForwardedErrorChannel);
  source.start(QStringLiteral(TARVO_DRAG_SOURCE), {other});
  QByteArray line;
  ASSERT_TRUE(WaitForLine(source, "wid=", &line));
  const QString sourceWindow = QString::fromLatin1(line.mid(4));
  const QPoint target = QPoint(40, 40) + [&] {
    const QStringList place = tarvo->State().value(QStringLiteral("PaintBox")).split(u',');
    return QPoint(place.value(0).toInt(), place.value(1).toInt());
  }();
  const QString window = tarvo->State().value(QStringLiteral("wid"));
  // Small steps with pauses, so that the two programs can talk at every position.
  server_.Run(QStringLiteral("xdotool"), {QStringLiteral("mousemove"),
                                          QStringLiteral("--window"),
                                          sourceWindow,
                                          QStringLiteral("60"),
                                          QStringLiteral("60"),
                                          QStringLiteral("mousedown"),
                                          QStringLiteral("1"),
                                          QStringLiteral("mousemove"),
                                          QStringLiteral("--window"),
                                          sourceWindow,
                                          QStringLiteral("80"),
                                          QStringLiteral("80"),
                                          QStringLiteral("sleep"),
                                          QStringLiteral("0.3"),
                                          QStringLiteral("mousemove"),
                                          QStringLiteral("--window"),
                                          window,
                                          QString::number(target.x()),
                                          QString::number(target.y()),
                                          QStringLiteral("sleep"),
                                          QStringLiteral("0.3"),
                                          QStringLiteral("mousemove"),
                                          QStringLiteral("--window"),
                                          window,
                                          QString::number(target.x() + 10),
                                          QString::number(target.y() + 10),
                                          QStringLiteral("sleep"),
                                          QStringLiteral("0.3"),
                                          QStringLiteral("mouseup"),
                                          QStringLiteral("1")});

  ASSERT_TRUE(tarvo->WaitFor(QStringLiteral("modal"), QStringLiteral("警告")));
  ASSERT_TRUE(WaitForLine(source, "dropped=", &line));
  EXPECT_EQ(line, QByteArray("dropped=1"));  // Qt::CopyAction
  ASSERT_TRUE(tarvo->WaitFor(QStringLiteral("active"), QStringLiteral("警告")));
  tarvo->Key({QStringLiteral("alt+n")});
  EXPECT_TRUE(tarvo->WaitFor([&](const TState& state) {
    return state.value(QStringLiteral("status")).startsWith(other + u' ');
  }));
  source.kill();
  source.waitForFinished();
}

}  // namespace
}  // namespace tarvo::xtest
