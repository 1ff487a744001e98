// The document's picture on the clipboard: its JPEG bytes as they are, under "JFIF" and
// image/jpeg, and a PNG of it for programs that paste no JPEG, made on the side.
#pragma once

#include <QByteArray>
#include <QMimeData>
#include <future>

#include "Orientation.h"

namespace tarvo {

// The PNG of a JPEG for pasting, its pixels turned upright as orientation says: quick to compress
// rather than small, as a paste of a large photo should not wait seconds for a few percent less.
// Empty when the bytes do not decode.
QByteArray PngOf(const QByteArray& jpeg, TOrientation orientation);

class TClipboardPicture : public QMimeData {
  Q_OBJECT

 public:
  // png: PngOf(jpeg, ...), being made elsewhere. Until it is done the picture is offered as JPEG
  // only: a paste is answered in the window's thread, and waiting there for the PNG of a large
  // photo would freeze the window for seconds. A program that pastes no JPEG finds the PNG
  // offered as soon as it is made.
  TClipboardPicture(QByteArray jpeg, std::shared_future<QByteArray> png);

  // The PNG is made: it is offered, and a paste of it is served at once.
  bool PngReady() const;

  QStringList formats() const override;
  bool hasFormat(const QString& mimeType) const override;

 protected:
  QVariant retrieveData(const QString& mimeType, QMetaType type) const override;

 private:
  QByteArray jpeg_;
  std::shared_future<QByteArray> png_;
};

}  // namespace tarvo
