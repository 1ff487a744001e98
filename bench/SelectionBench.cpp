// Cost of one pointer move while a selection is dragged on a 24-megapixel photo: the frame's old
// and new bands painted again from the picture with the frame's dashes, against one whole
// screenful.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <string>

#include <QGuiApplication>
#include <QImage>
#include <QPainter>

#include "BestTime.h"
#include "JpegFixtures.h"
#include "PictureCache.h"
#include "PictureDecoder.h"
#include "PictureView.h"
#include "SelectionFrame.h"
#include "ViewMapping.h"

namespace {

using tarvo::bench::BestMilliseconds;

// What a paint of region costs: the picture under each of its rectangles, then the frame.
void PaintRegion(const tarvo::TPicture& picture, const tarvo::TViewRate& rate,
                 const QRegion& region, const tarvo::TTrimRect& frame, QImage& screen) {
  QPainter painter(&screen);
  for (const QRect& part : region) {
    painter.drawImage(
        part.topLeft(),
        tarvo::RenderViewRegion(picture.Pixels, rate.Num * picture.Reduction, rate.Den, part));
  }
  painter.setClipRegion(region);
  tarvo::PaintSelectionFrame(painter, frame, region.boundingRect());
}

long long Pixels(const QRegion& region) {
  long long pixels = 0;
  for (const QRect& part : region) pixels += static_cast<long long>(part.width()) * part.height();
  return pixels;
}

}  // namespace

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QGuiApplication application(argc, argv);
  tarvo::fixtures::JpegOptions options;
  options.width = 6000;
  options.height = 4000;
  const tarvo::fixtures::Bytes jpeg = tarvo::fixtures::MakeJpeg(options);

  for (const int index : {0, 3, 6}) {
    // The picture the window paints at this rate.
    const tarvo::TViewRate rate = tarvo::ViewRateAt(index);
    const tarvo::TPicture picture =
        tarvo::DecodePicture(jpeg, tarvo::TPictureCache::ReductionFor(rate.Num, rate.Den));
    tarvo::TViewMapping view;
    view.SetPicture(picture.Frame.width(), picture.Frame.height(), 16, 16);
    view.SetRateIndex(index);
    const QSize size(view.ViewWidth(), view.ViewHeight());
    const QRect visible = QRect(0, 0, 1920, 1080).intersected(QRect({0, 0}, size));
    QImage screen(size.boundedTo(QSize(1920, 1080)), QImage::Format_RGB32);
    // A selection across most of the screen, its corner dragged by 3 view pixels.
    const tarvo::TTrimRect before{16, 16, visible.width() - 40, visible.height() - 40};
    const tarvo::TTrimRect after{16, 16, before.Right + 3, before.Bottom + 3};
    const QRegion move =
        (tarvo::SelectionFrameRegion(before) | tarvo::SelectionFrameRegion(after)) &
        QRegion(visible);
    const double pointer =
        BestMilliseconds(20, [&] { PaintRegion(picture, rate, move, after, screen); });
    const double whole =
        BestMilliseconds(10, [&] { PaintRegion(picture, rate, QRegion(visible), after, screen); });
    std::printf("%s  pointer move %6.3f ms (%lld pixels)   whole screen %6.2f ms\n",
                std::string(tarvo::kViewRates[static_cast<std::size_t>(index)].Text).c_str(),
                pointer, Pixels(move), whole);
  }
  return 0;
}
