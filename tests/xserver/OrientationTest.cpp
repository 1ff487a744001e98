// A phone photo stored on its side, as a user sees and turns it through the X server.
#include <QBuffer>
#include <QColor>
#include <QImage>
#include <QImageReader>
#include <algorithm>
#include <cstdlib>

#include "XWindow.h"

namespace tarvo::xtest {
namespace {

const QString kModified = QStringLiteral("modified");

// 160 x 96 stored, its top-left 32 x 32 red, with Exif data asking for Orientation 6: shown
// upright it is 96 x 160 and the red corner lies top right.
QByteArray SidewaysPhoto() {
  QImage pixels(160, 96, QImage::Format_RGB888);
  pixels.fill(QColor(40, 120, 200));
  for (int y = 0; y < 32; ++y) {
    for (int x = 0; x < 32; ++x) pixels.setPixelColor(x, y, Qt::red);
  }
  QByteArray jpeg;
  QBuffer buffer(&jpeg);
  buffer.open(QIODevice::WriteOnly);
  pixels.save(&buffer, "JPEG", 95);
  const QByteArray exif(
      "\xFF\xE1\x00\x22"   // APP1, length 34
      "Exif\x00\x00"       // identifier
      "MM\x00\x2A"         // big-endian TIFF
      "\x00\x00\x00\x08"   // IFD0 follows
      "\x00\x01"           // one entry:
      "\x01\x12\x00\x03"   //   Orientation, SHORT
      "\x00\x00\x00\x01"   //   one value
      "\x00\x06\x00\x00"   //   6: turned clockwise
      "\x00\x00\x00\x00",  // no next IFD
      36);
  return jpeg.left(2) + exif + jpeg.mid(2);
}

bool Red(const QImage& image, int x, int y) {
  const QColor c = image.pixelColor(x, y);
  return c.red() > 200 && c.green() < 80 && c.blue() < 80;
}

// A JPEG file decoded and turned as its Orientation tag asks, as viewers show it.
QImage Upright(const QString& path) {
  QImageReader reader(path);
  reader.setAutoTransform(true);
  return reader.read().convertToFormat(QImage::Format_RGB888);
}

// The largest difference of a colour channel between two pictures of one size.
int WorstDifference(const QImage& one, const QImage& other) {
  int worst = 0;
  for (int y = 0; y < one.height(); ++y) {
    for (int x = 0; x < one.width(); ++x) {
      const QColor a = one.pixelColor(x, y);
      const QColor b = other.pixelColor(x, y);
      worst = std::max({worst, std::abs(a.red() - b.red()), std::abs(a.green() - b.green()),
                        std::abs(a.blue() - b.blue())});
    }
  }
  return worst;
}

void WriteSidewaysPhoto(const QString& path) {
  QFile file(path);
  ASSERT_TRUE(file.open(QIODevice::WriteOnly));
  file.write(SidewaysPhoto());
}

TEST_F(XWindow, ASidewaysPhotoStandsUprightAndTurnsByKeyboard) {
  WriteSidewaysPhoto(Photo());
  const std::unique_ptr<TTarvo> tarvo = OpenPhoto();
  ASSERT_TRUE(tarvo->WaitFor([](const TState& state) {
    return state.value(kPaintBox).endsWith(QStringLiteral(",96,160"));
  })) << qPrintable(tarvo->State().value(kPaintBox));

  const QStringList box = tarvo->State().value(kPaintBox).split(u',');
  ASSERT_EQ(box.size(), 4);
  const QString shot = files_.filePath(QStringLiteral("shot.png"));
  int status = -1;
  server_.Run(QStringLiteral("import"),
              {QStringLiteral("-window"), tarvo->State().value(QStringLiteral("wid")), shot},
              &status);
  ASSERT_EQ(status, 0);
  const QImage window(shot);
  const int left = box[0].toInt();
  const int top = box[1].toInt();
  EXPECT_TRUE(Red(window, left + 96 - 8, top + 8));
  EXPECT_FALSE(Red(window, left + 8, top + 8));

  // "Ｌ版(横)", the third mode, is wide on screen.
  tarvo->Click(QStringLiteral("Cbo_TrimMode"), 10, 8);
  ASSERT_TRUE(tarvo->WaitFor(
      [](const TState& state) { return !state.value(QStringLiteral("popup")).isEmpty(); }));
  tarvo->Key({QStringLiteral("Down"), QStringLiteral("Down"), QStringLiteral("Return")});
  ASSERT_TRUE(tarvo->WaitFor(QStringLiteral("mode"), QStringLiteral("2")));
  EXPECT_TRUE(tarvo->WaitFor(QStringLiteral("info"),
                             QStringLiteral("[   1,   1] - [  96,  68] (  96,  68)")))
      << qPrintable(tarvo->State().value(QStringLiteral("info")));

  // Turned right, the picture is wide; undone, tall again.
  tarvo->Key({QStringLiteral("ctrl+r")});
  EXPECT_TRUE(tarvo->WaitFor([](const TState& state) {
    return state.value(kModified) == QStringLiteral("1") &&
           state.value(kPaintBox).endsWith(QStringLiteral(",160,96"));
  })) << qPrintable(tarvo->State().value(kPaintBox));
  tarvo->Key({QStringLiteral("ctrl+z")});
  EXPECT_TRUE(tarvo->WaitFor([](const TState& state) {
    return state.value(kModified) == QStringLiteral("0") &&
           state.value(kPaintBox).endsWith(QStringLiteral(",96,160"));
  })) << qPrintable(tarvo->State().value(kPaintBox));
}

// Zoomed by keys from the smallest rate to the largest while the pointer moves over it, the photo
// stands upright at every rate, and each step's rate and size show before the next key.
TEST_F(XWindow, ASidewaysPhotoZoomsThroughEveryRateWhileThePointerMoves) {
  WriteSidewaysPhoto(Photo());
  const std::unique_ptr<TTarvo> tarvo = OpenPhoto();
  ASSERT_TRUE(tarvo->WaitFor([](const TState& state) {
    return state.value(kPaintBox).endsWith(QStringLiteral(",96,160"));
  }));
  const QString minus = QStringLiteral("ctrl+KP_Subtract");
  tarvo->Key({minus, minus, minus});
  struct Rate {
    const char* text;
    int num, den;
  };
  const Rate rates[] = {{" 12.5% (1/8)", 1, 8}, {" 25.0% (1/4)", 1, 4}, {" 50.0% (1/2)", 1, 2},
                        {"100.0% (1/1)", 1, 1}, {"200.0% (2/1)", 2, 1}, {"400.0% (4/1)", 4, 1},
                        {"800.0% (8/1)", 8, 1}};
  for (const Rate& rate : rates) {
    if (&rate != rates) tarvo->Key({QStringLiteral("ctrl+KP_Add")});
    const QString size =
        QStringLiteral(",%1,%2").arg(96 * rate.num / rate.den).arg(160 * rate.num / rate.den);
    EXPECT_TRUE(tarvo->WaitFor([&](const TState& state) {
      return state.value(kRate) == QString::fromUtf8(rate.text) &&
             state.value(kPaintBox).endsWith(size);
    })) << rate.text
        << ": " << qPrintable(tarvo->State().value(kPaintBox));
    for (int step = 0; step < 4; ++step) tarvo->Point(kPaintBox, {3 + 2 * step, 5 + 3 * step});
  }
}

// The upper half as shown, trimmed and saved, is what a viewer that applies the Orientation tag
// shows: the upper half of the photo upright, red corner and all.
TEST_F(XWindow, TheUpperHalfShownIsTheUpperHalfViewersShow) {
  WriteSidewaysPhoto(Photo());
  const std::unique_ptr<TTarvo> tarvo = OpenPhoto();
  ASSERT_TRUE(tarvo->WaitFor([](const TState& state) {
    return state.value(kPaintBox).endsWith(QStringLiteral(",96,160"));
  }));
  tarvo->Drag(kPaintBox, {0, 0}, {96, 80});
  ASSERT_TRUE(tarvo->WaitFor(QStringLiteral("info"),
                             QStringLiteral("[   1,   1] - [  96,  80] (  96,  80)")))
      << qPrintable(tarvo->State().value(QStringLiteral("info")));
  tarvo->Key({QStringLiteral("ctrl+x")});
  ASSERT_TRUE(tarvo->WaitFor(kModified, QStringLiteral("1")));
  // The range in the status bar is the one the screen shows, not the stored 80 x 96.
  EXPECT_TRUE(tarvo->WaitFor([](const TState& state) {
    return state.value(QStringLiteral("status"))
        .endsWith(QStringLiteral("[   1,   1] - [  96,  80] (  96,  80)"));
  })) << qPrintable(tarvo->State().value(QStringLiteral("status")));
  tarvo->Key({QStringLiteral("ctrl+s")});
  ASSERT_TRUE(tarvo->WaitFor(QStringLiteral("focus"), QStringLiteral("fileNameEdit")));
  const QString upper = files_.filePath(QStringLiteral("upper.jpg"));
  tarvo->Key({QStringLiteral("ctrl+a")});
  tarvo->Type(upper);
  tarvo->Key({QStringLiteral("Return")});
  ASSERT_TRUE(tarvo->WaitFor(kModified, QStringLiteral("0")));

  const QImage expected = Upright(Photo()).copy(0, 0, 96, 80);
  const QImage saved = Upright(upper);
  ASSERT_EQ(saved.size(), expected.size());
  EXPECT_TRUE(Red(saved, 96 - 8, 8));
  // The kept blocks are the photo's own: only the smoothing of colour across the cut edge may
  // tell the two apart.
  EXPECT_LE(WorstDifference(saved, expected), 2);
}

// The PNG a paste gets is the photo as shown, read alike by Qt and by ImageMagick.
TEST_F(XWindow, TheClipboardsPngOfASidewaysPhotoIsUpright) {
  WriteSidewaysPhoto(Photo());
  const std::unique_ptr<TTarvo> tarvo = OpenPhoto();
  tarvo->Key({QStringLiteral("ctrl+c")});
  QByteArray targets;
  for (int i = 0; i < 100 && !targets.contains("image/png"); ++i) {
    targets = tarvo->Clipboard(QStringLiteral("TARGETS"));
  }
  ASSERT_TRUE(targets.contains("image/png")) << targets.constData();
  const QByteArray bytes = tarvo->Clipboard(QStringLiteral("image/png"));
  const QImage png = QImage::fromData(bytes, "PNG").convertToFormat(QImage::Format_RGB888);
  ASSERT_EQ(png.size(), QSize(96, 160));
  EXPECT_TRUE(Red(png, 96 - 8, 8));
  EXPECT_FALSE(Red(png, 8, 8));
  EXPECT_LE(WorstDifference(png, Upright(Photo())), 2);
  QFile file(files_.filePath(QStringLiteral("pasted.png")));
  ASSERT_TRUE(file.open(QIODevice::WriteOnly));
  file.write(bytes);
  file.close();
  int status = -1;
  const QByteArray identified = server_.Run(
      QStringLiteral("identify"),
      {QStringLiteral("-format"), QStringLiteral("%m %wx%h %k"), file.fileName()}, &status);
  EXPECT_EQ(status, 0);
  EXPECT_TRUE(identified.startsWith("PNG 96x160 ")) << identified.constData();
}

}  // namespace
}  // namespace tarvo::xtest
