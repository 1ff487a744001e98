#include "ReadmeLocation.h"

#include <QDir>
#include <QFileInfo>

#include "WindowTexts.h"

namespace tarvo {

QString ReadmePath(const QString& programDir) {
  const QDir dir(programDir);
  const QString candidates[] = {
      dir.filePath(QString::fromUtf8(kReadmeName)),
      dir.filePath(QStringLiteral("../" TARVO_INSTALL_DATADIR "/tarvo/") +
                   QString::fromUtf8(kReadmeName)),
  };
  for (const QString& candidate : candidates) {
    const QFileInfo info(candidate);
    if (info.isFile()) return info.canonicalFilePath();
  }
  return {};
}

}  // namespace tarvo
