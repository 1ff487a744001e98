// A region blanked through the 編集 menu with real keys and mouse, undone, blanked again and
// saved: the file shows the fill where the MCUs were and nothing of them in its thumbnail.
#include <algorithm>
#include <cstdlib>
#include <vector>

#include "JpegFixtures.h"
#include "XWindow.h"

namespace tarvo::xtest {
namespace {

using fixtures::Bytes;

const QString kModified = QStringLiteral("modified");
const QString kMenuItem = QStringLiteral("menuItem");

// width x height blue, with the square of side width / 5 at (2 / 5, 1 / 3) of it red.
std::vector<std::uint8_t> RedSquare(int width, int height) {
  std::vector<std::uint8_t> rgb(static_cast<std::size_t>(width) * height * 3);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      const bool red =
          x >= width * 2 / 5 && x < width * 3 / 5 && y >= height / 3 && y < height / 3 + width / 5;
      std::uint8_t* pixel = &rgb[(static_cast<std::size_t>(y) * width + x) * 3];
      pixel[0] = red ? 255 : 40;
      pixel[1] = red ? 0 : 120;
      pixel[2] = red ? 0 : 200;
    }
  }
  return rgb;
}

bool AnyRed(const fixtures::Pixels& pixels) {
  for (std::size_t i = 0; i + 2 < pixels.samples.size(); i += 3) {
    if (pixels.samples[i] > 160 && pixels.samples[i + 1] < 100) return true;
  }
  return false;
}

// The JPEG thumbnail inside the Exif segment that follows SOI.
Bytes ExifThumbnail(const Bytes& jpeg) {
  const std::size_t end = 4 + (std::size_t{jpeg[4]} << 8 | jpeg[5]);
  const Bytes soi = {0xFF, 0xD8, 0xFF};
  const auto at = std::search(jpeg.begin() + 6, jpeg.begin() + static_cast<std::ptrdiff_t>(end),
                              soi.begin(), soi.end());
  return Bytes(at, jpeg.begin() + static_cast<std::ptrdiff_t>(end));
}

TEST_F(XWindow, AWipeFromTheMenuIsUndoneDoneAgainAndSavedWithoutATrace) {
  // 160 x 96, 4:4:4 (8 x 8 MCUs), so that no chroma is smoothed across the region's edge: the red
  // square is the MCUs from (64, 32) to (96, 64), and the Exif thumbnail shows it too.
  fixtures::JpegOptions options;
  options.sampling = fixtures::Sampling::k444;
  options.width = 40;
  options.height = 24;
  const Bytes thumbnail = fixtures::MakeJpegFromPixels(options, RedSquare(40, 24));
  options.width = 160;
  options.height = 96;
  options.quality = 95;
  options.writeJfif = false;
  options.extraSegments = {fixtures::MakeExifWithThumbnail(false, 160, 96, thumbnail, false)};
  const Bytes source = fixtures::MakeJpegFromPixels(options, RedSquare(160, 96));
  QFile::remove(Photo());
  fixtures::WriteFile(Photo().toStdString(), source);
  ASSERT_TRUE(AnyRed(fixtures::Decode(ExifThumbnail(source))));

  const std::unique_ptr<TTarvo> tarvo = OpenPhoto();
  ASSERT_TRUE(tarvo->WaitFor([](const TState& state) {
    return state.value(kPaintBox).endsWith(QStringLiteral(",160,96"));
  }));
  // 編集 and the fills with the keys, the frame grown to the MCUs while they are offered.
  const auto wipeFromMenu = [&](const QString& fillKey) {
    tarvo->Key({QStringLiteral("alt+e"), QStringLiteral("w")});
    ASSERT_TRUE(tarvo->WaitFor([](const TState& state) {
      return state.value(kMenuItem) == QStringLiteral("灰色") &&
             state.value(kInfo) == QStringLiteral("[  65,  33] - [  96,  64] (  32,  32)");
    })) << qPrintable(tarvo->State().value(kMenuItem) + u' ' + tarvo->State().value(kInfo));
    tarvo->Key({fillKey});
    ASSERT_TRUE(tarvo->WaitFor(kModified, QStringLiteral("1")));
  };
  // Inside the red square's MCUs, touching all of them.
  tarvo->Drag(kPaintBox, {67, 35}, {93, 61});
  ASSERT_TRUE(tarvo->WaitFor(kInfo, QStringLiteral("[  65,  33] - [  93,  61] (  29,  29)")));
  wipeFromMenu(QStringLiteral("Return"));
  // The undo gives the selection back, as it was before the menu grew its frame.
  tarvo->Key({QStringLiteral("ctrl+z")});
  ASSERT_TRUE(tarvo->WaitFor([](const TState& state) {
    return state.value(kModified) == QStringLiteral("0") &&
           state.value(kInfo) == QStringLiteral("[  65,  33] - [  93,  61] (  29,  29)");
  }));
  wipeFromMenu(QStringLiteral("g"));

  tarvo->Key({QStringLiteral("ctrl+s")});
  ASSERT_TRUE(tarvo->WaitFor(QStringLiteral("focus"), QStringLiteral("fileNameEdit")));
  const QString wiped = files_.filePath(QStringLiteral("wiped.jpg"));
  tarvo->Key({QStringLiteral("ctrl+a")});
  tarvo->Type(wiped);
  tarvo->Key({QStringLiteral("Return")});
  ASSERT_TRUE(tarvo->WaitFor(kModified, QStringLiteral("0")));

  const Bytes saved = fixtures::ReadFile(wiped.toStdString());
  const fixtures::Pixels after = fixtures::Decode(saved);
  const fixtures::Pixels before = fixtures::Decode(source);
  ASSERT_EQ(after.samples.size(), before.samples.size());
  for (int y = 0; y < 96; ++y) {
    for (int x = 0; x < 160; ++x) {
      const std::size_t i = (static_cast<std::size_t>(y) * 160 + x) * 3;
      const bool inside = x >= 64 && x < 96 && y >= 32 && y < 64;
      for (std::size_t c = 0; c < 3; ++c) {
        if (inside) {
          ASSERT_LE(std::abs(after.samples[i + c] - 128), 1) << x << "," << y;
        } else {
          ASSERT_EQ(after.samples[i + c], before.samples[i + c]) << x << "," << y;
        }
      }
    }
  }
  EXPECT_FALSE(AnyRed(fixtures::Decode(ExifThumbnail(saved))));
}

}  // namespace
}  // namespace tarvo::xtest
