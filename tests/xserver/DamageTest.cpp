// Damaged photos, as a user meets them through the X server: the window says so once the blocks
// are decoded, in one message and in the picture as shown, and Ctrl+A takes the rows below the
// damage.
#include "JpegFixtures.h"
#include "XWindow.h"

namespace tarvo::xtest {
namespace {

TEST_F(XWindow, CtrlAInADamagedPhotoSelectsTheIntactRows) {
  const struct {
    const char* name;
    unsigned restartInterval;
    QString intact;
  } cases[] = {
      // One row of 16 x 16 MCUs each: interval 3 is rows 48-63.
      {"restart interval", 20, QStringLiteral("[   1,  65] - [ 320, 240] ( 320, 176)")},
      // A code no table has halfway through the data, in MCU row 8.
      {"no restart markers", 0, QStringLiteral("[   1,   1] - [ 320, 128] ( 320, 128)")},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    fixtures::JpegOptions options;
    options.width = 320;
    options.height = 240;
    options.restartInterval = c.restartInterval;
    const fixtures::Bytes photo = fixtures::MakeJpeg(options);
    fixtures::WriteFile(Photo().toStdString(),
                        c.restartInterval == 0 ? fixtures::WithInsertedInScan(photo, 0.5)
                                               : fixtures::WithRestartIntervalScrambled(photo, 3));
    TTarvo tarvo(server_, {Photo()}, ConfigHome());
    ASSERT_TRUE(tarvo.WaitFor([](const TState& state) {
      return state.value(QStringLiteral("status"))
          .contains(QStringLiteral("データが壊れている部分"));
    })) << qPrintable(tarvo.State().value(QStringLiteral("status")));
    // Damage that ends what can be read is also told, with the rows that can be cut.
    if (c.restartInterval == 0) {
      ASSERT_TRUE(tarvo.WaitFor(QStringLiteral("active"), QStringLiteral("警告")));
      EXPECT_TRUE(tarvo.State()
                      .value(QStringLiteral("message"))
                      .contains(QStringLiteral("全240行のうち上から128行まで")))
          << qPrintable(tarvo.State().value(QStringLiteral("message")));
      tarvo.Key({QStringLiteral("Return")});
    }
    ASSERT_TRUE(tarvo.Activate());
    tarvo.Key({QStringLiteral("ctrl+a")});
    EXPECT_TRUE(tarvo.WaitFor(kInfo, c.intact)) << qPrintable(tarvo.State().value(kInfo));
    tarvo.Key({QStringLiteral("ctrl+x")});
    EXPECT_TRUE(tarvo.WaitFor(QStringLiteral("modified"), QStringLiteral("1")));
  }
}

// 320 x 240 stored, restart intervals of one MCU row, shown turned right (Orientation 6).
fixtures::Bytes SidewaysPhoto() {
  fixtures::JpegOptions options;
  options.width = 320;
  options.height = 240;
  options.restartInterval = 20;
  options.extraSegments.push_back(fixtures::MakeExifSegment(true, 320, 240, 4, true, 6));
  return fixtures::MakeJpeg(options);
}

// Three stray bytes before each of the segments that follow SOI, up to the scan: `runs` of them.
fixtures::Bytes WithStrayBytes(fixtures::Bytes jpeg, int& runs) {
  runs = 0;
  std::size_t at = 2;
  while (at + 4 <= jpeg.size() && jpeg[at] == 0xFF && jpeg[at + 1] != 0xDA) {
    const std::size_t length = std::size_t{jpeg[at + 2]} << 8 | jpeg[at + 3];
    jpeg.insert(jpeg.begin() + static_cast<std::ptrdiff_t>(at), {0x01, 0x02, 0x03});
    ++runs;
    at += 3 + 2 + length;
  }
  return jpeg;
}

TEST_F(XWindow, WhatReadingFoundIsOneMessageInThePictureAsShown) {
  int runs = 0;
  fixtures::Bytes jpeg = WithStrayBytes(SidewaysPhoto(), runs);
  ASSERT_GT(runs, 3);
  // Cut off inside the data: the stored rows that arrived are columns at the right on screen.
  jpeg.resize(jpeg.size() * 2 / 3);
  fixtures::WriteFile(Photo().toStdString(), jpeg);
  TTarvo tarvo(server_, {Photo()}, ConfigHome());
  const QString message = QStringLiteral("message");
  ASSERT_TRUE(tarvo.WaitFor([&](const TState& state) { return !state.value(message).isEmpty(); }));
  const QString text = tarvo.State().value(message);
  EXPECT_TRUE(
      text.startsWith(QStringLiteral("%1か所で合わせて%2バイトの余分なデータを読み飛ばしました。")
                          .arg(runs)
                          .arg(3 * runs)))
      << qPrintable(text);
  EXPECT_TRUE(text.contains(QStringLiteral("全240列のうち右から"))) << qPrintable(text);
  ASSERT_TRUE(tarvo.WaitFor(QStringLiteral("active"), QStringLiteral("警告")));
  tarvo.Key({QStringLiteral("Return")});
  // No second box follows.
  EXPECT_TRUE(tarvo.WaitFor([&](const TState& state) {
    return state.value(QStringLiteral("modal")).isEmpty() &&
           !state.value(QStringLiteral("status")).isEmpty();
  }));
  EXPECT_FALSE(
      tarvo.WaitFor([&](const TState& state) { return !state.value(message).isEmpty(); }, 1000));
}

TEST_F(XWindow, ATrimRefusedForDamageNamesItWhereItShows) {
  fixtures::WriteFile(Photo().toStdString(),
                      fixtures::WithRestartIntervalScrambled(SidewaysPhoto(), 3));
  const std::unique_ptr<TTarvo> tarvo = OpenPhoto();
  ASSERT_TRUE(tarvo->WaitFor([](const TState& state) {
    return state.value(QStringLiteral("status")).contains(QStringLiteral("(240x320)")) &&
           state.value(QStringLiteral("status")).contains(QStringLiteral("データが壊れている部分"));
  })) << qPrintable(tarvo->State().value(QStringLiteral("status")));
  tarvo->Drag(kPaintBox, {0, 0}, {240, 320});
  ASSERT_TRUE(tarvo->WaitFor(kInfo, QStringLiteral("[   1,   1] - [ 240, 320] ( 240, 320)  "
                                                   "壊れている部分を含むため切り出せません")))
      << qPrintable(tarvo->State().value(kInfo));
  tarvo->Key({QStringLiteral("ctrl+x")});
  // Stored rows 49-64 are the columns 177-192 on screen.
  EXPECT_TRUE(tarvo->WaitFor([](const TState& state) {
    return state.value(QStringLiteral("message")).contains(QStringLiteral("([177,1] - [192,320])"));
  })) << qPrintable(tarvo->State().value(QStringLiteral("message")));
}

}  // namespace
}  // namespace tarvo::xtest
