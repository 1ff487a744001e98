// A region blanked through the 編集 menu with real keys and mouse, undone, blanked again and
// saved: the file shows the fill where the MCUs were and nothing of them in its thumbnail.
#include <algorithm>
#include <cstdlib>

#include "EmbeddedCopyFixtures.h"
#include "JpegFixtures.h"
#include "XWindow.h"

namespace tarvo::xtest {
namespace {

using fixtures::Bytes;

const QString kModified = QStringLiteral("modified");
const QString kMenuItem = QStringLiteral("menuItem");

// The JPEG thumbnail inside the Exif segment that follows SOI.
Bytes ExifThumbnail(const Bytes& jpeg) {
  const std::size_t end = 4 + (std::size_t{jpeg[4]} << 8 | jpeg[5]);
  const Bytes soi = {0xFF, 0xD8, 0xFF};
  const auto at = std::search(jpeg.begin() + 6, jpeg.begin() + static_cast<std::ptrdiff_t>(end),
                              soi.begin(), soi.end());
  return Bytes(at, jpeg.begin() + static_cast<std::ptrdiff_t>(end));
}

TEST_F(XWindow, AWipeFromTheMenuIsUndoneDoneAgainAndSavedWithoutATrace) {
  // 128 x 96, 4:4:4 (8 x 8 MCUs), so that no chroma is smoothed across the region's edge: the red
  // corner is the MCUs up to (32, 32), and the Exif thumbnail shows it too.
  fixtures::JpegOptions options;
  options.sampling = fixtures::Sampling::k444;
  options.width = 128;
  options.height = 96;
  options.quality = 95;
  options.writeJfif = false;
  options.extraSegments = {
      fixtures::MakeExifWithThumbnail(false, 128, 96, fixtures::RedCornerThumbnail(), false)};
  const Bytes source = fixtures::MakeJpegFromPixels(options, fixtures::RedCornerPixels(128, 96));
  QFile::remove(Photo());
  fixtures::WriteFile(Photo().toStdString(), source);
  ASSERT_TRUE(fixtures::HasRed(fixtures::Decode(ExifThumbnail(source))));

  const std::unique_ptr<TTarvo> tarvo = OpenPhoto();
  ASSERT_TRUE(tarvo->WaitFor([](const TState& state) {
    return state.value(kPaintBox).endsWith(QStringLiteral(",128,96"));
  }));
  // 編集 and the fills with the keys, the frame grown to the MCUs while they are offered.
  const auto wipeFromMenu = [&](const QString& fillKey) {
    tarvo->Key({QStringLiteral("alt+e"), QStringLiteral("w")});
    ASSERT_TRUE(tarvo->WaitFor([](const TState& state) {
      return state.value(kMenuItem) == QStringLiteral("灰色") &&
             state.value(kInfo) == QStringLiteral("[   1,   1] - [  32,  32] (  32,  32)");
    })) << qPrintable(tarvo->State().value(kMenuItem) + u' ' + tarvo->State().value(kInfo));
    tarvo->Key({fillKey});
    ASSERT_TRUE(tarvo->WaitFor(kModified, QStringLiteral("1")));
  };
  // Inside the red corner's MCUs, touching all of them.
  tarvo->Drag(kPaintBox, {3, 3}, {29, 29});
  ASSERT_TRUE(tarvo->WaitFor(kInfo, QStringLiteral("[   1,   1] - [  29,  29] (  29,  29)")));
  wipeFromMenu(QStringLiteral("Return"));
  // The undo gives the selection back, as it was before the menu grew its frame.
  tarvo->Key({QStringLiteral("ctrl+z")});
  ASSERT_TRUE(tarvo->WaitFor([](const TState& state) {
    return state.value(kModified) == QStringLiteral("0") &&
           state.value(kInfo) == QStringLiteral("[   1,   1] - [  29,  29] (  29,  29)");
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
  for (std::size_t i = 0; i < after.samples.size(); ++i) {
    const std::size_t x = i / 3 % 128;
    const std::size_t y = i / 3 / 128;
    if (x < 32 && y < 32) {
      ASSERT_LE(std::abs(after.samples[i] - 128), 1) << x << "," << y;
    } else {
      ASSERT_EQ(after.samples[i], before.samples[i]) << x << "," << y;
    }
  }
  EXPECT_FALSE(fixtures::HasRed(fixtures::Decode(ExifThumbnail(saved))));
}

}  // namespace
}  // namespace tarvo::xtest
