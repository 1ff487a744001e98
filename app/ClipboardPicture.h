// The document's picture on the clipboard: its JPEG bytes as they are, under "JFIF" and
// image/jpeg, and a PNG of it for programs that paste no JPEG, made only when one asks.
#pragma once

#include <QByteArray>
#include <QMimeData>

namespace tarvo {

class TClipboardPicture : public QMimeData {
  Q_OBJECT

 public:
  explicit TClipboardPicture(QByteArray jpeg);

  QStringList formats() const override;
  bool hasFormat(const QString& mimeType) const override;

 protected:
  // Decoding and compressing a large photo takes a while; done at copy time it would hold up
  // every "コピー", though most pastes take the JPEG.
  QVariant retrieveData(const QString& mimeType, QMetaType type) const override;

 private:
  QByteArray jpeg_;
};

}  // namespace tarvo
