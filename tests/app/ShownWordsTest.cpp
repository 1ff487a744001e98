// What the window tells of reading and refusals, in the picture as it shows it.
#include "ShownWords.h"

#include <gtest/gtest.h>

#include "Messages.h"

void PrintTo(const QString& text, std::ostream* out);

namespace tarvo {
namespace {

using namespace Qt::StringLiterals;

// A 300 x 200 stored picture.
TShownPicture Shown(TOrientation orientation) { return {orientation, 300, 200}; }

TEST(ShownWords, RowsAndRegionsAreNamedWhereTheyShow) {
  const struct {
    TOrientation orientation;
    QString cutOff;   // 120 of 200 stored rows arrived
    QString beyond;   // a trim may reach the first 112
    QString damaged;  // stored {0, 16, 300, 32}
  } cases[] = {
      {kAsStored, u"全200行のうち上から120行まで"_s, u"上から112行目まで"_s,
       u"[1,17] - [300,32]"_s},
      {kRotate180, u"全200行のうち下から120行まで"_s, u"下から112行目まで"_s,
       u"[1,169] - [300,184]"_s},
      {kRotate90, u"全200列のうち右から120列まで"_s, u"右から112列目まで"_s,
       u"[169,1] - [184,300]"_s},
      {kRotate270, u"全200列のうち左から120列まで"_s, u"左から112列目まで"_s,
       u"[17,1] - [32,300]"_s},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.orientation.ExifValue());
    // A file cut off, and a scan damaged below the rows it keeps, are told alike.
    const struct {
      EJpegWarning found;
      EJpegError refused;
      QString cause;
    } kinds[] = {{EJpegWarning::kCutOff, EJpegError::kBeyondCutOff, u"途中で切れて"_s},
                 {EJpegWarning::kDamagedScan, EJpegError::kBeyondDamage, u"壊れて"_s}};
    for (const auto& kind : kinds) {
      TReadingFindings found;
      found.Add({kind.found, 120, 0, 200});
      const QString text = found.Text(Shown(c.orientation));
      EXPECT_TRUE(text.contains(c.cutOff) && text.contains(kind.cause)) << text.toStdString();
      TJpegStatus beyond(kind.refused);
      beyond.Rows = 112;
      const QString refusal = FailureText(beyond, true, Shown(c.orientation));
      EXPECT_TRUE(refusal.contains(c.beyond) && refusal.contains(kind.cause))
          << refusal.toStdString();
    }
    TJpegStatus damaged(EJpegError::kDamagedRegion);
    damaged.Region = {0, 16, 300, 32};
    EXPECT_TRUE(FailureText(damaged, true, Shown(c.orientation)).contains(c.damaged))
        << FailureText(damaged, true, Shown(c.orientation)).toStdString();
  }
}

TEST(ShownWords, WhatOneReadingFoundIsOneMessage) {
  TReadingFindings found;
  EXPECT_TRUE(found.Empty());
  found.Add({EJpegWarning::kExtraneousBytes, 5});
  EXPECT_EQ(found.Text(Shown(kAsStored)),
            QString::fromStdString(MessageText(TJpegWarning{EJpegWarning::kExtraneousBytes, 5})));
  for (int run = 0; run < 70; ++run) found.Add({EJpegWarning::kExtraneousBytes, 2});
  // The same segment found again on a second decoding is told once.
  found.Add({EJpegWarning::kEmptySegment, 0, 0xFFE3});
  found.Add({EJpegWarning::kEmptySegment, 0, 0xFFE3});
  EXPECT_EQ(found.Text(Shown(kAsStored)).split(u'\n'),
            QStringList({u"71か所で合わせて145バイトの余分なデータを読み飛ばしました。"_s,
                         QString::fromStdString(
                             MessageText(TJpegWarning{EJpegWarning::kEmptySegment, 0, 0xFFE3}))}));
}

}  // namespace
}  // namespace tarvo
