#include "ReadmeLocation.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include "ReadmeOpener.h"

namespace tarvo {
namespace {

void Touch(const QString& path) {
  QDir().mkpath(QFileInfo(path).path());
  QFile file(path);
  ASSERT_TRUE(file.open(QIODevice::WriteOnly));
}

TEST(ReadmeLocation, PrefersTheCopyBesideTheProgramThenTheDataFolder) {
  QTemporaryDir root;
  ASSERT_TRUE(root.isValid());
  const QString bin = root.filePath(QStringLiteral("bin"));
  QDir().mkpath(bin);
  EXPECT_TRUE(ReadmePath(bin).isEmpty());

  const QString installed = root.filePath(QStringLiteral("share/tarvo/readme.txt"));
  Touch(installed);
  EXPECT_EQ(ReadmePath(bin), QFileInfo(installed).canonicalFilePath());

  const QString beside = root.filePath(QStringLiteral("bin/readme.txt"));
  Touch(beside);
  EXPECT_EQ(ReadmePath(bin), QFileInfo(beside).canonicalFilePath());
}

// "トピックの検索" says so, naming the file, when there is no guide or nothing opens it.
TEST(ReadmeOpener, FailureIsReportedNamingTheFile) {
  QTemporaryDir root;
  ASSERT_TRUE(root.isValid());
  const QString bin = root.filePath(QStringLiteral("bin"));
  QDir().mkpath(bin);
  const QString tools = root.filePath(QStringLiteral("tools"));
  QDir().mkpath(tools);
  const QByteArray path = qgetenv("PATH");
  qputenv("PATH", tools.toLocal8Bit());
  const struct {
    bool guide;
    const char* opener;  // the xdg-open script's body; none when null
    const char* reported;
  } cases[] = {
      {false, "exit 0", "readme.txt"},
      {true, nullptr, "bin/readme.txt"},
      {true, "exit 3", "bin/readme.txt"},
      {true, "exit 0", ""},
  };
  for (const auto& c : cases) {
    QFile::remove(bin + QStringLiteral("/readme.txt"));
    if (c.guide) Touch(bin + QStringLiteral("/readme.txt"));
    const QString script = tools + QStringLiteral("/xdg-open");
    QFile::remove(script);
    if (c.opener != nullptr) {
      QFile file(script);
      ASSERT_TRUE(file.open(QIODevice::WriteOnly));
      file.write(QByteArray("#!/bin/sh\n") + c.opener + '\n');
      file.close();
      file.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }
    QObject context;
    QString message;
    bool done = false;
    OpenReadme(bin, &context, [&](const QString& text) { message = text, done = true; });
    for (int i = 0; i < 300 && !done && context.children().size() > 0; ++i) QTest::qWait(10);
    EXPECT_EQ(message.isEmpty(), *c.reported == 0) << c.reported << ' ' << message.toStdString();
    EXPECT_TRUE(message.contains(QString::fromUtf8(c.reported))) << message.toStdString();
  }
  qputenv("PATH", path);
}

}  // namespace
}  // namespace tarvo
