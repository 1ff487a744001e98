// The fixture of the X server tests: a server per test, a settings folder and a copy of the
// sample photo per test, so that nothing a test does reaches the user's files.
#pragma once

#include <gtest/gtest.h>

#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <memory>

#include "XSession.h"

namespace tarvo::xtest {

// Fields of the state lines that several tests read.
inline const QString kInfo = QStringLiteral("info");
inline const QString kRate = QStringLiteral("rate");
inline const QString kPaintBox = QStringLiteral("PaintBox");

class XWindow : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(server_.Ready()) << "Xvfb or openbox did not start:\n"
                                 << server_.Log().toStdString();
    ASSERT_TRUE(QFile::copy(QStringLiteral(TARVO_SAMPLE), Photo()));
  }

  QString Photo() const { return files_.filePath(QStringLiteral("photo.jpg")); }
  QString ConfigHome() const { return config_.path(); }

  // The program with the photo open, its window active.
  std::unique_ptr<TTarvo> OpenPhoto() {
    auto tarvo = std::make_unique<TTarvo>(server_, QStringList{Photo()}, ConfigHome());
    EXPECT_TRUE(tarvo->WaitFor(
        [](const TState& state) { return !state.value(QStringLiteral("status")).isEmpty(); }));
    EXPECT_TRUE(tarvo->Activate());
    return tarvo;
  }

  TXServer server_;
  QTemporaryDir config_;
  QTemporaryDir files_;
};

}  // namespace tarvo::xtest
