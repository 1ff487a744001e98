#include "XSession.h"

#include <signal.h>
#include <sys/prctl.h>

#include <QDeadlineTimer>
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

}  // namespace

TXServer::TXServer(QSize screen) {
  DieWithParent(xvfb_);
  // -displayfd: the server picks a free display itself and writes its number to our pipe, so
  // test runs at the same time never race for one.
  xvfb_.start(
      QStringLiteral("Xvfb"),
      {QStringLiteral("-displayfd"), QStringLiteral("1"), QStringLiteral("-screen"),
       QStringLiteral("0"), QStringLiteral("%1x%2x24").arg(screen.width()).arg(screen.height()),
       QStringLiteral("-nolisten"), QStringLiteral("tcp")});
  const QDeadlineTimer deadline(kTimeoutMs);
  QByteArray number;
  while (!number.endsWith('\n') && !deadline.hasExpired() &&
         xvfb_.state() != QProcess::NotRunning) {
    if (xvfb_.waitForReadyRead(100)) number += xvfb_.readAllStandardOutput();
  }
  if (!number.endsWith('\n')) return;
  const QString display = QStringLiteral(":") + QString::fromLatin1(number.trimmed());

  DieWithParent(windowManager_);
  QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
  environment.insert(QStringLiteral("DISPLAY"), display);
  windowManager_.setProcessEnvironment(environment);
  windowManager_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
  windowManager_.start(QStringLiteral("openbox"), {QStringLiteral("--sm-disable")});
  display_ = display;
  // The manager is up once it has named its supporting window on the root window.
  while (!deadline.hasExpired()) {
    int status = -1;
    const QByteArray root =
        Run(QStringLiteral("xprop"),
            {QStringLiteral("-root"), QStringLiteral("_NET_SUPPORTING_WM_CHECK")}, &status);
    if (status == 0 && root.contains("window id")) return;
    QThread::msleep(100);
  }
  display_.clear();
}

TXServer::~TXServer() {
  Stop(windowManager_);
  Stop(xvfb_);
}

QProcessEnvironment TXServer::Environment() const {
  QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
  environment.insert(QStringLiteral("DISPLAY"), display_);
  environment.remove(QStringLiteral("WAYLAND_DISPLAY"));
  environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
  return environment;
}

QByteArray TXServer::Run(const QString& program, const QStringList& arguments,
                         int* exitCode) const {
  QProcess client;
  DieWithParent(client);
  client.setProcessEnvironment(Environment());
  client.start(program, arguments);
  const bool done = client.waitForFinished(kTimeoutMs);
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
  environment.insert(QStringLiteral("TARVO_STATE_REPORT"), QStringLiteral("1"));
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

void TTarvo::Click(const QString& control, int x, int y, int button) {
  const QPoint at = PointIn(control, QPoint(x, y));
  Xdotool({QStringLiteral("mousemove"), QStringLiteral("--window"),
           state_.value(QStringLiteral("wid")), QString::number(at.x()), QString::number(at.y()),
           QStringLiteral("click"), QString::number(button)});
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
