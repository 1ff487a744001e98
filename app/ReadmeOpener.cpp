#include "ReadmeOpener.h"

#include <QProcess>

#include "ReadmeLocation.h"
#include "WindowTexts.h"

namespace tarvo {

void OpenReadme(const QString& programDir, QObject* context,
                const std::function<void(const QString& message)>& onFailure) {
  const QString path = ReadmePath(programDir);
  if (path.isEmpty()) {
    onFailure(QString::fromUtf8(kMsgReadmeMissing).arg(QString::fromUtf8(kReadmeName)));
    return;
  }
  const QString failure = QString::fromUtf8(kMsgReadmeNotOpened).arg(path);
  auto* opener = new QProcess(context);
  // Its output would only reach the terminal the window may not have.
  opener->setProcessChannelMode(QProcess::ForwardedErrorChannel);
  QObject::connect(opener, &QProcess::errorOccurred, opener,
                   [opener, onFailure, failure](QProcess::ProcessError error) {
                     if (error != QProcess::FailedToStart) return;
                     onFailure(failure);
                     opener->deleteLater();
                   });
  QObject::connect(opener, &QProcess::finished, opener,
                   [opener, onFailure, failure](int exitCode, QProcess::ExitStatus status) {
                     if (status != QProcess::NormalExit || exitCode != 0) onFailure(failure);
                     opener->deleteLater();
                   });
  opener->start(QStringLiteral("xdg-open"), {path});
}

}  // namespace tarvo
