#include "ReadmeLocation.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

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

}  // namespace
}  // namespace tarvo
