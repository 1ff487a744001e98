#include "ClipboardPicture.h"

#include <QBuffer>
#include <QImage>
#include <cstdint>
#include <span>

#include "PictureDecoder.h"

namespace tarvo {
namespace {

const QString kJfif = QStringLiteral("JFIF");
const QString kJpeg = QStringLiteral("image/jpeg");
const QString kPng = QStringLiteral("image/png");

QByteArray PngOf(const QByteArray& jpeg) {
  QImage picture;
  try {
    picture = DecodePicture(std::span(reinterpret_cast<const std::uint8_t*>(jpeg.constData()),
                                      static_cast<std::size_t>(jpeg.size())))
                  .Pixels;
  } catch (const EPictureError&) {
    // The document is shown, so its bytes decode; should they not, the paste gets nothing.
    return {};
  }
  QByteArray png;
  QBuffer buffer(&png);
  buffer.open(QIODevice::WriteOnly);
  if (!picture.save(&buffer, "PNG")) return {};
  return png;
}

}  // namespace

TClipboardPicture::TClipboardPicture(QByteArray jpeg) : jpeg_(std::move(jpeg)) {}

QStringList TClipboardPicture::formats() const { return {kJfif, kJpeg, kPng}; }

bool TClipboardPicture::hasFormat(const QString& mimeType) const {
  return formats().contains(mimeType);
}

QVariant TClipboardPicture::retrieveData(const QString& mimeType, QMetaType) const {
  if (mimeType == kJfif || mimeType == kJpeg) return jpeg_;
  if (mimeType == kPng) return PngOf(jpeg_);
  return {};
}

}  // namespace tarvo
