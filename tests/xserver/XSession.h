// An X server of the test's own (Xvfb on a free display, with a window manager) and the real
// program running on it, driven by real input events (XTest through xdotool) and watched
// through the state lines it prints when TARVO_STATE_REPORT is set.
#pragma once

#include <QMap>
#include <QProcess>
#include <QSize>
#include <QString>
#include <QStringList>
#include <functional>

namespace tarvo::xtest {

// Generous: a loaded two-core machine running the sanitizer build is slow to start a program.
inline constexpr int kTimeoutMs = 60000;

// One state line of the program: field name to value.
using TState = QMap<QString, QString>;

class TXServer {
 public:
  // Starts Xvfb with one screen of the given size and a window manager on it, trying again on
  // another display should either fail to come up; both are stopped by the destructor, and
  // killed with the test process should it die first.
  explicit TXServer(QSize screen = QSize(1280, 1024));
  ~TXServer();
  TXServer(const TXServer&) = delete;
  TXServer& operator=(const TXServer&) = delete;

  bool Ready() const { return !display_.isEmpty(); }
  // What Xvfb printed, for the message of a test that could not start it.
  QString Log() const { return log_; }
  QProcessEnvironment Environment() const;

  // Runs an X client to its end and returns its standard output; exitCode gets its status
  // (-1 when it could not run or did not finish in time).
  QByteArray Run(const QString& program, const QStringList& arguments, int* exitCode = nullptr,
                 int timeoutMs = kTimeoutMs) const;

 private:
  bool Start(int number, QSize screen);
  void StopAll();

  QProcess xvfb_;
  QProcess windowManager_;
  QString display_;
  QString log_;
  int lock_ = -1;
};

class TTarvo {
 public:
  // Starts the program with arguments, its settings under configHome (XDG_CONFIG_HOME).
  TTarvo(const TXServer& server, const QStringList& arguments, const QString& configHome);
  ~TTarvo();
  TTarvo(const TTarvo&) = delete;
  TTarvo& operator=(const TTarvo&) = delete;

  // Waits until a state line satisfies test; false when none did in time.
  bool WaitFor(const std::function<bool(const TState&)>& test, int timeoutMs = kTimeoutMs);
  bool WaitFor(const QString& field, const QString& value, int timeoutMs = kTimeoutMs);
  // The last state line.
  const TState& State() const { return state_; }

  // Raises and focuses the main window and waits until the program sees it active.
  bool Activate();
  // xdotool key names, e.g. "ctrl+KP_Add", sent one after the other to the focused window.
  void Key(const QStringList& keys);
  // Types text as keys into the focused control.
  void Type(const QString& text);
  // Moves the pointer to a point of the control named in the state line (its x, y offset from
  // the control's top left corner), then presses and releases button there (4, 5: the wheel;
  // 6, 7: its tilt), holding the key named heldKey (e.g. "shift") around the click if given.
  void Click(const QString& control, int x, int y, int button = 1, const QString& heldKey = {});
  // Moves the pointer to a point of the control, as Click does, and presses nothing.
  void Point(const QString& control, QPoint at);
  // Drags with the left button from one point of the control to another.
  void Drag(const QString& control, QPoint from, QPoint to);
  // Closes the main window as its close box does and waits for the program to end.
  bool Close();

  QByteArray Clipboard(const QString& target) const;
  const TXServer& Server() const { return server_; }

 private:
  QPoint PointIn(const QString& control, QPoint offset) const;
  void Xdotool(const QStringList& arguments) const;
  bool ReadLine(int timeoutMs);

  const TXServer& server_;
  QProcess process_;
  TState state_;
};

}  // namespace tarvo::xtest
