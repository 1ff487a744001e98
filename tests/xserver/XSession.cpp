#include "XSession.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/prctl.h>
#include <unistd.h>

#include <QDeadlineTimer>
#include <QDir>
#include <QFileInfo>
#include <QPoint>
#include <QThread>

namespace tarvo::xtest {
namespace {

// A child that outlives a crashed test would hold its display until the machine restarts.
void DieWithParent(QProcess& process) {
  process.setChildProcessModifier([] { prctl(PR_SET_PDEATHSIG, SIGKILL); });
}

void Stop(QProcess& process) {
  if (process.state() == QProcess::NotRunning) return;
  process.terminate();
  if (!process.waitForFinished(5000)) {
    process.kill();
    process.waitForFinished(5000);
  }
}

TState Parse(const QByteArray& line) {
  TState state;
  for (const QString& field : QString::fromUtf8(line.trimmed()).split(QLatin1Char('\t'))) {
    const qsizetype equals = field.indexOf(QLatin1Char('='));
    if (equals > 0) state.insert(field.left(equals), field.mid(equals + 1));
  }
  return state;
}

// Display numbers the tests take, well above those of a desktop session.
constexpr int kFirstDisplay = 90;
constexpr int kLastDisplay = 899;
// One try at a server; a try that fails is repeated on another number.
constexpr int kStartTimeoutMs = 20000;
constexpr int kStartTries = 3;

// Takes a display number that no other test holds and no other server uses, from `from` on.
// Xvfb's own choice (-displayfd without a number) probes every number in use by binding its
// socket, which for that moment takes the socket of the server already there, so a client of
// a test running beside it fails to connect. A lock on a file of our own instead lasts as long
// as the returned descriptor, and so as long as the server on that number.
int LockDisplay(int from, int* number) {
  for (int n = from; n <= kLastDisplay; ++n) {
    const QByteArray path =
        QStringLiteral("%1/tarvo-xtest-%2.lock").arg(QDir::tempPath()).arg(n).toLocal8Bit();
    const int fd = open(path.constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
    if (fd < 0) continue;
    if (flock(fd, LOCK_EX | LOCK_NB) == 0 &&
        !QFileInfo::exists(QStringLiteral("/tmp/.X11-unix/X%1").arg(n)) &&
        !QFileInfo::exists(QStringLiteral("/tmp/.X%1-lock").arg(n))) {
      *number = n;
      return fd;
    }
    close(fd);
  }
  return -1;
}

}  // namespace

TXServer::TXServer(QSize screen) {
  DieWithParent(xvfb_);
  DieWithParent(windowManager_);
  windowManager_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
  int from = kFirstDisplay;
  for (int tries = 0; tries < kStartTries; ++tries) {
    int number = 0;
    lock_ = LockDisplay(from, &number);
    if (lock_ < 0) return;
    if (Start(number, screen)) return;
    StopAll();
    from = number + 1;
  }
}

bool TXServer::Start(int number, QSize screen) {
  const QString display = QStringLiteral(":%1").arg(number);
  // With the number given, -displayfd only tells us when the server accepts clients.
  xvfb_.start(
      QStringLiteral("Xvfb"),
      {display, QStringLiteral("-displayfd"), QStringLiteral("1"), QStringLiteral("-screen"),
       QStringLiteral("0"), QStringLiteral("%1x%2x24").arg(screen.width()).arg(screen.height()),
       QStringLiteral("-nolisten"), QStringLiteral("tcp")});
  const QDeadlineTimer deadline(kStartTimeoutMs);
  QByteArray ready;
  while (!ready.endsWith('\n') && !deadline.hasExpired() && xvfb_.state() != QProcess::NotRunning) {
    if (xvfb_.waitForReadyRead(100)) ready += xvfb_.readAllStandardOutput();
  }
  if (!ready.endsWith('\n')) return false;

  QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
  environment.insert(QStringLiteral("DISPLAY"), display);
  windowManager_.setProcessEnvironment(environment);
  windowManager_.start(QStringLiteral("openbox"), {QStringLiteral("--sm-disable")});
  display_ = display;
  // The manager is up once it has named its supporting window on the root window.
  while (!deadline.hasExpired() && windowManager_.state() != QProcess::NotRunning) {
    int status = -1;
    const QByteArray root =
        Run(QStringLiteral("xprop"),
            {QStringLiteral("-root"), QStringLiteral("_NET_SUPPORTING_WM_CHECK")}, &status,
            static_cast<int>(deadline.remainingTime()));
    if (status == 0 && root.contains("window id")) return true;
    QThread::msleep(100);
  }
  return false;
}

void TXServer::StopAll() {
  Stop(windowManager_);
  Stop(xvfb_);
  log_ += QString::fromLocal8Bit(xvfb_.readAllStandardError());
  display_.clear();
  if (lock_ >= 0) close(lock_);
  lock_ = -1;
}

TXServer::~TXServer() { StopAll(); }

QProcessEnvironment TXServer::Environment() const {
  QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
  environment.insert(QStringLiteral("DISPLAY"), display_);
  environment.remove(QStringLiteral("WAYLAND_DISPLAY"));
  environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
  return environment;
}

QByteArray TXServer::Run(const QString& program, const QStringList& arguments, int* exitCode,
                         int timeoutMs) const {
  QProcess client;
  DieWithParent(client);
  client.setProcessEnvironment(Environment());
  client.start(program, arguments);
  const bool done = client.waitForFinished(timeoutMs);
  if (!done) Stop(client);
  if (exitCode != nullptr) {
    *exitCode = done && client.exitStatus() == QProcess::NormalExit ? client.exitCode() : -1;
  }
  return client.readAllStandardOutput();
}

TTarvo::TTarvo(const TXServer& server, const QStringList& arguments, const QString& configHome)
    : server_(server) {
  DieWithParent(process_);
  QProcessEnvironment environment = server.Environment();
  environment.insert(QStringLiteral("XDG_CONFIG_HOME"), configHome);
  process_.setProcessEnvironment(environment);
  process_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
  process_.start(QStringLiteral(TARVO_BINARY), arguments);
}

TTarvo::~TTarvo() { Stop(process_); }

bool TTarvo::ReadLine(int timeoutMs) {
  if (!process_.canReadLine() && !process_.waitForReadyRead(timeoutMs)) return false;
  if (!process_.canReadLine()) return true;
  state_ = Parse(process_.readLine());
  return true;
}

bool TTarvo::WaitFor(const std::function<bool(const TState&)>& test, int timeoutMs) {
  const QDeadlineTimer deadline(timeoutMs);
  while (!test(state_)) {
    if (deadline.hasExpired() || process_.state() == QProcess::NotRunning) {
      // What the program showed last tells most about a failure.
      qWarning("last state:");
      for (auto field = state_.cbegin(); field != state_.cend(); ++field) {
        qWarning("  %s=%s", qPrintable(field.key()), qPrintable(field.value()));
      }
      return false;
    }
    ReadLine(100);
  }
  return true;
}

bool TTarvo::WaitFor(const QString& field, const QString& value, int timeoutMs) {
  return WaitFor([&](const TState& state) { return state.value(field) == value; }, timeoutMs);
}

bool TTarvo::Activate() {
  if (!WaitFor([](const TState& state) { return !state.value(QStringLiteral("wid")).isEmpty(); }))
    return false;
  Xdotool({QStringLiteral("windowactivate"), QStringLiteral("--sync"),
           state_.value(QStringLiteral("wid"))});
  return WaitFor(QStringLiteral("active"), QStringLiteral("Fm_Main"));
}

void TTarvo::Key(const QStringList& keys) {
  Xdotool(QStringList{QStringLiteral("key"), QStringLiteral("--delay"), QStringLiteral("30")} +
          keys);
}

void TTarvo::Type(const QString& text) {
  Xdotool({QStringLiteral("type"), QStringLiteral("--delay"), QStringLiteral("30"), text});
}

QPoint TTarvo::PointIn(const QString& control, QPoint offset) const {
  const QStringList place = state_.value(control).split(QLatin1Char(','));
  if (place.size() != 4) return offset;
  return QPoint(place[0].toInt(), place[1].toInt()) + offset;
}

void TTarvo::Click(const QString& control, int x, int y, int button, const QString& heldKey) {
  const QPoint at = PointIn(control, QPoint(x, y));
  QStringList arguments = {QStringLiteral("mousemove"), QStringLiteral("--window"),
                           state_.value(QStringLiteral("wid")), QString::number(at.x()),
                           QString::number(at.y())};
  if (!heldKey.isEmpty()) arguments << QStringLiteral("keydown") << heldKey;
  arguments << QStringLiteral("click") << QString::number(button);
  if (!heldKey.isEmpty()) arguments << QStringLiteral("keyup") << heldKey;
  Xdotool(arguments);
}

void TTarvo::Point(const QString& control, QPoint at) {
  const QPoint point = PointIn(control, at);
  Xdotool({QStringLiteral("mousemove"), QStringLiteral("--window"),
           state_.value(QStringLiteral("wid")), QString::number(point.x()),
           QString::number(point.y())});
}

void TTarvo::Drag(const QString& control, QPoint from, QPoint to) {
  const QString window = state_.value(QStringLiteral("wid"));
  const QPoint start = PointIn(control, from);
  const QPoint end = PointIn(control, to);
  const QPoint middle = (start + end) / 2;
  Xdotool({QStringLiteral("mousemove"), QStringLiteral("--window"), window,
           QString::number(start.x()), QString::number(start.y()), QStringLiteral("mousedown"),
           QStringLiteral("1"), QStringLiteral("mousemove"), QStringLiteral("--window"), window,
           QString::number(middle.x()), QString::number(middle.y()), QStringLiteral("mousemove"),
           QStringLiteral("--window"), window, QString::number(end.x()), QString::number(end.y()),
           QStringLiteral("mouseup"), QStringLiteral("1")});
}

bool TTarvo::Close() {
  // The window manager's close key: the same request as the close box.
  Key({QStringLiteral("alt+F4")});
  return process_.waitForFinished(kTimeoutMs);
}

QByteArray TTarvo::Clipboard(const QString& target) const {
  int status = -1;
  const QByteArray data = server_.Run(QStringLiteral("xclip"),
                                      {QStringLiteral("-o"), QStringLiteral("-selection"),
                                       QStringLiteral("clipboard"), QStringLiteral("-t"), target},
                                      &status);
  return status == 0 ? data : QByteArray();
}

void TTarvo::Xdotool(const QStringList& arguments) const {
  server_.Run(QStringLiteral("xdotool"), arguments);
}

}  // namespace tarvo::xtest
