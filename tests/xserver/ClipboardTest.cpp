// The clipboard as other programs see it through the X server.
#include <QImage>

#include "XWindow.h"

namespace tarvo::xtest {
namespace {

// What another program put there last.
void OfferText(const TXServer& server, const QString& path, const QByteArray& text) {
  QFile file(path);
  ASSERT_TRUE(file.open(QIODevice::WriteOnly));
  file.write(text);
  file.close();
  // xclip leaves a child behind that serves the text until the X server ends.
  int status = -1;
  server.Run(
      QStringLiteral("xclip"),
      {QStringLiteral("-i"), QStringLiteral("-selection"), QStringLiteral("clipboard"), path},
      &status);
  ASSERT_EQ(status, 0);
}

TEST_F(XWindow, CopyWithoutADocumentLeavesTheClipboardAlone) {
  OfferText(server_, files_.filePath(QStringLiteral("text")), "kept");
  TTarvo tarvo(server_, {}, ConfigHome());
  ASSERT_TRUE(tarvo.Activate());
  // The zoom key after the copy shows when the copy has been handled.
  tarvo.Key({QStringLiteral("ctrl+c"), QStringLiteral("ctrl+KP_Add")});
  ASSERT_TRUE(tarvo.WaitFor(QStringLiteral("rate"), QStringLiteral("200.0% (2/1)")));
  EXPECT_EQ(tarvo.Clipboard(QStringLiteral("UTF8_STRING")), QByteArray("kept"));
}

TEST_F(XWindow, CopyOffersTheJpegAndAPngOfIt) {
  const std::unique_ptr<TTarvo> tarvo = OpenPhoto();
  tarvo->Key({QStringLiteral("ctrl+c")});
  QFile photo(Photo());
  ASSERT_TRUE(photo.open(QIODevice::ReadOnly));
  const QByteArray jpeg = photo.readAll();
  QByteArray targets;
  for (int i = 0; i < 100 && !targets.contains("image/png"); ++i) {
    targets = tarvo->Clipboard(QStringLiteral("TARGETS"));
  }
  EXPECT_TRUE(targets.contains("JFIF")) << targets.constData();
  EXPECT_TRUE(targets.contains("image/jpeg")) << targets.constData();
  ASSERT_TRUE(targets.contains("image/png")) << targets.constData();
  EXPECT_EQ(tarvo->Clipboard(QStringLiteral("JFIF")), jpeg);
  EXPECT_EQ(tarvo->Clipboard(QStringLiteral("image/jpeg")), jpeg);
  const QImage png = QImage::fromData(tarvo->Clipboard(QStringLiteral("image/png")), "PNG");
  EXPECT_EQ(png.size(), QImage::fromData(jpeg).size());
  EXPECT_FALSE(png.isNull());
}

}  // namespace
}  // namespace tarvo::xtest
