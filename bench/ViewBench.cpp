// Display cost on a 24-megapixel photo: the one decode per open, trim or undo, and the repaint of
// one screenful at each view rate (what a scroll step or a zoom costs).
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <string>

#include <QImage>

#include "BestTime.h"
#include "JpegFixtures.h"
#include "PictureDecoder.h"
#include "PictureView.h"
#include "ViewMapping.h"

namespace {

using tarvo::bench::BestMilliseconds;

}  // namespace

int main() {
  tarvo::fixtures::JpegOptions options;
  options.width = 6000;
  options.height = 4000;
  options.quality = 92;
  const tarvo::fixtures::Bytes jpeg = tarvo::fixtures::MakeJpeg(options);

  QImage picture;
  const double decode = BestMilliseconds(3, [&] { picture = tarvo::DecodePicture(jpeg); });
  std::printf("decode 6000x4000 4:2:0 (%zu bytes): %.1f ms\n", jpeg.size(), decode);

  // A full-HD viewport scrolled to the middle of the picture, and a one-notch scroll strip.
  for (int index = 0; index < static_cast<int>(tarvo::kViewRates.size()); ++index) {
    tarvo::TViewMapping view;
    view.SetPicture(picture.width(), picture.height(), 2, 2);
    view.SetRateIndex(index);
    const QSize size(view.ViewWidth(), view.ViewHeight());
    const QRect screen =
        QRect(size.width() / 2, size.height() / 2, 1920, 1080).intersected(QRect({0, 0}, size));
    const QRect strip(screen.left(), screen.top(), screen.width(),
                      tarvo::VerticalScrollSteps(screen.height()).Line);
    const double full =
        BestMilliseconds(10, [&] { tarvo::RenderViewRegion(picture, size, screen); });
    const double notch =
        BestMilliseconds(10, [&] { tarvo::RenderViewRegion(picture, size, strip); });
    std::printf("%s  screen %4dx%-4d %6.2f ms   wheel strip %4dx%-3d %6.2f ms\n",
                std::string(tarvo::kViewRates[static_cast<std::size_t>(index)].Text).c_str(),
                screen.width(), screen.height(), full, strip.width(), strip.height(), notch);
  }
  return 0;
}
