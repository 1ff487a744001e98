#include "ShownWords.h"

#include <algorithm>

#include "Messages.h"
#include "WindowTexts.h"

namespace tarvo {
namespace {

QString Utf8(const char* utf8) { return QString::fromUtf8(utf8); }

// The stored picture's top rows as shown: the edge they lie at, and the unit they are counted in
// there, rows or columns.
struct TShownRows {
  QString Edge;
  QString Unit;
};

TShownRows ShownRows(const TShownPicture& picture) {
  const TTrimRect top{0, 0, picture.Width, 1};
  return {ShownEdge(picture, top), Utf8(picture.Shown.Transpose ? kUnitColumns : kUnitRows)};
}

}  // namespace

QString ShownEdge(const TShownPicture& picture, const TTrimRect& strip) {
  const TTrimRect edge = picture.Map(strip);
  const std::int32_t shownHeight = picture.Shown.Transpose ? picture.Width : picture.Height;
  if (edge.Bottom - edge.Top == shownHeight && edge.Right - edge.Left == 1) {
    return Utf8(edge.Left == 0 ? kEdgeLeft : kEdgeRight);
  }
  return Utf8(edge.Top == 0 ? kEdgeTop : kEdgeBottom);
}

QString FailureText(const TJpegStatus& status, bool trimWording, const TShownPicture& picture) {
  if (status.Error == EJpegError::kDamagedRegion) {
    TJpegStatus shown = status;
    shown.Region = picture.Map(status.Region);
    return QString::fromStdString(MessageText(shown, trimWording));
  }
  if (status.Error == EJpegError::kBeyondCutOff || status.Error == EJpegError::kBeyondDamage) {
    const TShownRows rows = ShownRows(picture);
    const char* pattern =
        status.Error == EJpegError::kBeyondCutOff ? kMsgBeyondCutOffShown : kMsgBeyondDamageShown;
    return Utf8(pattern).arg(rows.Edge).arg(status.Rows).arg(rows.Unit);
  }
  return QString::fromStdString(MessageText(status, trimWording));
}

void TReadingFindings::Add(const TJpegWarning& warning) {
  if (warning.Kind == EJpegWarning::kExtraneousBytes) {
    ++strayRuns_;
    strayBytes_ += warning.Count;
    return;
  }
  // Decoding the same rows again finds the same again.
  if (std::find(others_.begin(), others_.end(), warning) == others_.end()) {
    others_.push_back(warning);
  }
}

QString TReadingFindings::Text(const TShownPicture& picture) const {
  QStringList lines;
  if (strayRuns_ == 1) {
    lines << QString::fromStdString(
        MessageText(TJpegWarning{EJpegWarning::kExtraneousBytes, strayBytes_}));
  } else if (strayRuns_ > 1) {
    lines << Utf8(kMsgStrayBytes).arg(strayRuns_).arg(strayBytes_);
  }
  for (const TJpegWarning& warning : others_) {
    if (warning.Kind != EJpegWarning::kCutOff && warning.Kind != EJpegWarning::kDamagedScan) {
      lines << QString::fromStdString(MessageText(warning));
      continue;
    }
    const TShownRows rows = ShownRows(picture);
    const char* pattern =
        warning.Kind == EJpegWarning::kCutOff ? kMsgCutOffShown : kMsgDamagedScanShown;
    lines << Utf8(pattern).arg(warning.Rows).arg(rows.Edge).arg(warning.Count).arg(rows.Unit);
  }
  return lines.join(QLatin1Char('\n'));
}

}  // namespace tarvo
