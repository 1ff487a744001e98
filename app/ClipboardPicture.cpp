#include "ClipboardPicture.h"

#include <QBuffer>
#include <QImage>
#include <chrono>
#include <cstdint>
#include <span>

#include "PictureDecoder.h"
#include "UprightPicture.h"

namespace tarvo {
namespace {

const QString kJfif = QStringLiteral("JFIF");
const QString kJpeg = QStringLiteral("image/jpeg");
const QString kPng = QStringLiteral("image/png");

}  // namespace

QByteArray PngOf(const QByteArray& jpeg, TOrientation orientation) {
  QImage picture;
  try {
    picture = UprightPicture(
                  DecodePicture(std::span(reinterpret_cast<const std::uint8_t*>(jpeg.constData()),
                                          static_cast<std::size_t>(jpeg.size()))),
                  orientation)
                  .Pixels;
  } catch (const EPictureError&) {
    // The document is shown, so its bytes decode; should they not, the paste gets nothing.
    return {};
  }
  QByteArray png;
  QBuffer buffer(&png);
  buffer.open(QIODevice::WriteOnly);
  // Qt turns quality 80 into zlib's level 1, its fastest that still compresses.
  if (!picture.save(&buffer, "PNG", 80)) return {};
  return png;
}

TClipboardPicture::TClipboardPicture(QByteArray jpeg, std::shared_future<QByteArray> png)
    : jpeg_(std::move(jpeg)), png_(std::move(png)) {}

bool TClipboardPicture::PngReady() const {
  return png_.wait_for(std::chrono::seconds(0)) == std::future_status::ready;
}

QStringList TClipboardPicture::formats() const {
  if (PngReady()) return {kJfif, kJpeg, kPng};
  return {kJfif, kJpeg};
}

bool TClipboardPicture::hasFormat(const QString& mimeType) const {
  return formats().contains(mimeType);
}

QVariant TClipboardPicture::retrieveData(const QString& mimeType, QMetaType) const {
  if (mimeType == kJfif || mimeType == kJpeg) return jpeg_;
  if (mimeType == kPng && PngReady()) {
    try {
      return png_.get();
    } catch (...) {
      // Made without memory enough, say: the paste gets nothing rather than the program ending.
      return QByteArray();
    }
  }
  return {};
}

}  // namespace tarvo
