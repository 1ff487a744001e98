// The view inside the real window: the rate combo, zoom commands and the picture they lay out.
#include <gtest/gtest.h>

#include <QComboBox>
#include <QLabel>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTest>

#include <cmath>

#include "JpegFixtures.h"
#include "MainWindow.h"
#include "PictureCache.h"
#include "PictureDecoder.h"
#include "PictureView.h"
#include "SettingsStore.h"

namespace tarvo {
namespace {

// Peak signal-to-noise ratio of what the view shows against the picture averaged over blocks
// of reduction x reduction pixels, the reference for a shrunk photo.
double PsnrAgainstAreaAverage(const QImage& shown, const fixtures::Pixels& full, int reduction) {
  double squares = 0;
  for (int y = 0; y < shown.height(); ++y) {
    for (int x = 0; x < shown.width(); ++x) {
      const QRgb pixel = shown.pixel(x, y);
      const int channels[] = {qRed(pixel), qGreen(pixel), qBlue(pixel)};
      for (int c = 0; c < 3; ++c) {
        double sum = 0;
        for (int dy = 0; dy < reduction; ++dy) {
          for (int dx = 0; dx < reduction; ++dx) {
            sum += full.samples[(static_cast<std::size_t>(y * reduction + dy) * full.width +
                                 x * reduction + dx) *
                                    3 +
                                c];
          }
        }
        const double error = channels[c] - sum / (reduction * reduction);
        squares += error * error;
      }
    }
  }
  const double meanSquare = squares / (3.0 * shown.width() * shown.height());
  return 10 * std::log10(255.0 * 255.0 / meanSquare);
}

class ViewWindow : public testing::Test {
 protected:
  QComboBox& Rate() { return *window.findChild<QComboBox*>(QStringLiteral("Cbo_ViewRate")); }
  TPaintBox& PaintBox() { return *window.findChild<TPaintBox*>(QStringLiteral("PaintBox")); }
  QSize PaintArea() { return PaintBox().size(); }
  // Opens a photo of that size; its bytes.
  fixtures::Bytes Open(int width, int height) {
    fixtures::JpegOptions options;
    options.width = width;
    options.height = height;
    const fixtures::Bytes jpeg = fixtures::MakeJpeg(options);
    const QString path = folder.filePath(QStringLiteral("open.jpg"));
    fixtures::WriteFile(path.toStdString(), jpeg);
    window.OpenDocument(path);
    return jpeg;
  }
  // A 1203 x 917 photo in the test's folder; its path.
  QString WritePhoto() {
    EXPECT_TRUE(folder.isValid());
    const QString path = folder.filePath(QStringLiteral("photo.jpg"));
    fixtures::JpegOptions options;
    options.width = 1203;
    options.height = 917;
    fixtures::WriteFile(path.toStdString(), fixtures::MakeJpeg(options));
    return path;
  }
  void ChooseRate(int index) {
    Rate().setCurrentIndex(index);
    window.Cbo_ViewRateSelect();
  }

  // Settings from a file of the test's own: the user's stored rate must not leak in.
  QTemporaryDir folder;
  TFm_Main window{std::make_unique<TQSettingsStore>(folder.filePath(QStringLiteral("tarvo.conf"))),
                  TDocumentWork{.Threads = TBackgroundWork::TThreads::Caller}};
};

TEST_F(ViewWindow, RateComboHoldsTheSevenRatesAndTheFitAtOneToOne) {
  const QStringList expected = {" 12.5% (1/8)", " 25.0% (1/4)",        " 50.0% (1/2)",
                                "100.0% (1/1)", "200.0% (2/1)",        "400.0% (4/1)",
                                "800.0% (8/1)", "ウィンドウに合わせる"};
  QStringList items;
  for (int i = 0; i < Rate().count(); ++i) items << Rate().itemText(i);
  EXPECT_EQ(items, expected);
  EXPECT_EQ(Rate().currentIndex(), 3);
}

TEST_F(ViewWindow, EachZoomStepLaysThePictureOutAtOnce) {
  Open(1203, 917);
  EXPECT_EQ(PaintArea(), QSize(1203, 917));
  window.mnu_ZoomInClick();
  EXPECT_EQ(PaintArea(), QSize(2406, 1834));
  EXPECT_EQ(window.View().ViewMcuWidth(), 32);
  window.mnu_ZoomOutClick();
  window.mnu_ZoomOutClick();
  EXPECT_EQ(Rate().currentIndex(), 2);
  EXPECT_EQ(PaintArea(), QSize(601, 458));
  for (int i = 0; i < 5; ++i) window.mnu_ZoomOutClick();
  EXPECT_EQ(Rate().currentIndex(), 0);
  EXPECT_EQ(PaintArea(), QSize(150, 114));
  EXPECT_EQ(window.View().ViewMcuWidth(), 2);
}

TEST_F(ViewWindow, ReducedRatesShowTheAreaAverage) {
  // On this texture nearest neighbour scores 23 to 30 dB, the reduced decode about 50.
  for (const int index : {0, 1, 2}) {
    ChooseRate(index);
    const fixtures::Bytes jpeg = Open(811, 613);
    const int reduction = ViewRateAt(index).Den;
    const QImage shown = PaintBox().grab().toImage();
    ASSERT_EQ(shown.size(), QSize(811 / reduction, 613 / reduction));
    EXPECT_GT(PsnrAgainstAreaAverage(shown, fixtures::Decode(jpeg), reduction), 40) << reduction;
  }
}

TEST_F(ViewWindow, EachReductionIsDecodedOnceAndOnlyWhenARateNeedsIt) {
  ChooseRate(1);
  Open(1203, 917);
  // At 1/4 no full-size picture is decoded at all.
  EXPECT_EQ(window.Document().Pictures().DecodeCount(), 1);
  EXPECT_FALSE(window.Document().Pictures().Holds(1));
  ChooseRate(3);
  EXPECT_EQ(window.Document().Pictures().DecodeCount(), 2);
  ChooseRate(6);
  ChooseRate(1);
  window.show();
  auto* scroll = window.findChild<QScrollArea*>(QStringLiteral("ScrollBox"));
  scroll->verticalScrollBar()->setValue(100);
  PaintBox().grab();
  EXPECT_EQ(window.Document().Pictures().DecodeCount(), 2);
  // The pictures of the bytes before are released with them.
  Open(640, 480);
  EXPECT_EQ(window.Document().Pictures().DecodeCount(), 3);
  EXPECT_TRUE(window.Document().Pictures().Holds(4));
  EXPECT_FALSE(window.Document().Pictures().Holds(1));
}

TEST_F(ViewWindow, TrimsAtAReducedRateAreCutFromThePictureShown) {
  ChooseRate(1);
  window.OpenDocument(WritePhoto());
  // The second trim starts inside the first: the cut must add up both offsets.
  const TTrimRect trims[] = {{64, 48, 664, 448}, {32, 16, 352, 256}};
  for (const TTrimRect& trim : trims) {
    window.Selection().Place(trim);
    window.mnu_GoOperationClick();
    const QImage shown = PaintBox().grab().toImage();
    ASSERT_EQ(shown.size(), QSize((trim.Right - trim.Left) / 4, (trim.Bottom - trim.Top) / 4));
    const std::span<const std::uint8_t> bytes = window.Document().Bytes();
    EXPECT_GT(PsnrAgainstAreaAverage(shown, fixtures::Decode({bytes.begin(), bytes.end()}), 4), 40);
  }
  EXPECT_EQ(window.Document().Pictures().DecodeCount(), 1);
  // At full size the trim's own bytes are decoded.
  ChooseRate(3);
  EXPECT_EQ(window.Document().Pictures().DecodeCount(), 2);
}

TEST_F(ViewWindow, WithoutAPictureOnlyTheComboMoves) {
  Open(64, 48);
  window.mnu_CloseFileClick();
  window.mnu_ZoomInClick();
  EXPECT_EQ(Rate().currentIndex(), 4);
  EXPECT_EQ(PaintArea(), QSize(64, 48));
  EXPECT_EQ(window.View().ViewScaleNum(), 1);
  // The next document is laid out at the chosen rate.
  Open(100, 60);
  EXPECT_EQ(PaintArea(), QSize(200, 120));
}

TEST_F(ViewWindow, NoItemChosenZoomsInToTheFirstRate) {
  Open(800, 600);
  Rate().setCurrentIndex(-1);
  window.mnu_ZoomOutClick();
  EXPECT_EQ(Rate().currentIndex(), -1);
  EXPECT_EQ(PaintArea(), QSize(800, 600));
  window.mnu_ZoomInClick();
  EXPECT_EQ(Rate().currentIndex(), 0);
  EXPECT_EQ(PaintArea(), QSize(100, 75));
}

// A reduction that fails to decode leaves the pictures held as they were.
TEST_F(ViewWindow, UndecodableBytesLeaveThePicturesHeld) {
  const fixtures::Bytes jpeg = Open(64, 48);
  TPictureCache pictures;
  pictures.Hold(DecodePicture(jpeg));
  const fixtures::Bytes garbage = {0xFF, 0xD8, 0x00, 0x01};
  EXPECT_THROW(pictures.At(garbage, 2, kAsStored), EPictureError);
  EXPECT_FALSE(pictures.Holds(2));
  EXPECT_EQ(pictures.At(garbage, 1, kAsStored).Frame, QSize(64, 48));
  EXPECT_EQ(pictures.DecodeCount(), 1);
}

// The selection is held in image pixels: zooming never moves or resizes it, Ctrl+A takes the
// whole picture at 1/8, and what the information text shows is what the trim keeps.
TEST_F(ViewWindow, SelectionKeepsItsImagePixelsAtEveryRate) {
  const QString path = WritePhoto();
  window.OpenDocument(path);
  auto* information = window.findChild<QLabel*>(QStringLiteral("Lbl_Information"));
  window.Selection().Place({16, 16, 533, 373});
  for (int i = 0; i < 3; ++i) window.mnu_ZoomOutClick();
  for (int i = 0; i < 3; ++i) window.mnu_ZoomInClick();
  EXPECT_EQ(window.Selection().SelectionRect(), (TTrimRect{16, 16, 533, 373}));
  EXPECT_EQ(information->text(), QStringLiteral("[  17,  17] - [ 533, 373] ( 517, 357)"));

  Rate().setCurrentIndex(0);
  window.Cbo_ViewRateSelect();
  ASSERT_EQ(PaintArea(), QSize(150, 114));
  QTest::keyClick(window.findChild<TPaintBox*>(QStringLiteral("PaintBox")), Qt::Key_A,
                  Qt::ControlModifier);
  ASSERT_EQ(window.Selection().SelectionState(), selIdle);
  EXPECT_EQ(information->text(), QStringLiteral("[   1,   1] - [1203, 917] (1203, 917)"));
  window.mnu_GoOperationClick();
  EXPECT_EQ(window.findChild<TPaintBox*>(QStringLiteral("PaintBox"))->Picture().Frame,
            QSize(1203, 917));
  EXPECT_EQ(window.StatusText(),
            path + QStringLiteral(" トリミング範囲 : [   1,   1] - [1203, 917] (1203, 917)"));
}

// Zooming in and out again keeps the picture point at the view's middle where it was.
TEST_F(ViewWindow, ZoomKeepsThePointAtTheViewsMiddle) {
  window.show();
  window.OpenDocument(WritePhoto());
  auto* box = window.findChild<TScrollBox*>(QStringLiteral("ScrollBox"));
  box->horizontalScrollBar()->setValue(300);
  box->verticalScrollBar()->setValue(200);
  const QSize visible = box->viewport()->size();
  const QPoint middle = QPoint(300, 200) + QPoint(visible.width() / 2, visible.height() / 2);
  window.mnu_ZoomInClick();
  const QSize after = box->viewport()->size();
  EXPECT_EQ(box->horizontalScrollBar()->value(), 2 * middle.x() - visible.width() / 2);
  EXPECT_EQ(box->verticalScrollBar()->value(), 2 * middle.y() - visible.height() / 2);
  window.mnu_ZoomOutClick();
  EXPECT_EQ(after, box->viewport()->size());
  EXPECT_EQ(box->horizontalScrollBar()->value(), 300);
  EXPECT_EQ(box->verticalScrollBar()->value(), 200);
}

}  // namespace
}  // namespace tarvo
