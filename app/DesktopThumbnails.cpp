#include "DesktopThumbnails.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QUrl>

namespace tarvo {

void ForgetDesktopThumbnails(const QString& path) {
  // The cache names an entry after the MD5 of the file's absolute URI, in hexadecimal.
  const QByteArray uri = QUrl::fromLocalFile(QFileInfo(path).absoluteFilePath()).toEncoded();
  const QString name =
      QString::fromLatin1(QCryptographicHash::hash(uri, QCryptographicHash::Md5).toHex()) +
      QStringLiteral(".png");
  QString cache = qEnvironmentVariable("XDG_CACHE_HOME");
  // XDG base directories ignore a relative value.
  if (QDir::isRelativePath(cache)) cache = QDir::homePath() + QStringLiteral("/.cache");
  const QDir thumbnails(cache + QStringLiteral("/thumbnails"));
  for (const char* size : {"normal", "large", "x-large", "xx-large"}) {
    QFile::remove(thumbnails.filePath(QLatin1String(size) + u'/' + name));
  }
  const QDir failures(thumbnails.filePath(QStringLiteral("fail")));
  for (const QString& program : failures.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
    QFile::remove(failures.filePath(program + u'/' + name));
  }
}

}  // namespace tarvo
