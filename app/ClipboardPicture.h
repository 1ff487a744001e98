// The document's picture on the clipboard: its JPEG bytes as they are, under "JFIF" and
// image/jpeg, and a PNG of it for programs that paste no JPEG, made on the side.
#pragma once

#include <QByteArray>
#include <QImage>
#include <QMimeData>
#include <QObject>
#include <atomic>
#include <cstdint>
#include <functional>
#include <future>
#include <memory>
#include <thread>
#include <vector>

#include "Orientation.h"

namespace tarvo {

// The PNG of a JPEG for pasting, its pixels turned upright as orientation says (see UprightPng):
// decoded, unless decoded holds its full-size pixels already. Empty when the bytes do not decode
// or stop turns true first.
QByteArray PngOf(const QByteArray& jpeg, const QImage& decoded, TOrientation orientation,
                 const std::atomic<bool>* stop = nullptr);

// Makes the clipboard's PNG of the document, for one state of it at a time. The user waits for
// it: it runs on a thread started from the window's, at the window's priority, and its
// compression takes every core. The window's thread is told through made once it is there.
class TClipboardPngMaker {
 public:
  explicit TClipboardPngMaker(std::function<void()> made) : made_(std::move(made)) {}
  // Stops the PNG being made and waits for its thread.
  ~TClipboardPngMaker();
  TClipboardPngMaker(const TClipboardPngMaker&) = delete;
  TClipboardPngMaker& operator=(const TClipboardPngMaker&) = delete;

  // The PNG of the document's state `state`, begun now unless it is made or being made already.
  // A PNG being made of another state is stopped: its clipboard has been replaced.
  std::shared_future<QByteArray> For(std::uint64_t state, QByteArray jpeg, QImage decoded,
                                     TOrientation orientation);
  bool Making() const { return making_; }
  // Waits until the PNG last asked for is made or stopped, and its notice posted (tests,
  // benchmarks).
  void Wait();

 private:
  struct TJob;

  std::function<void()> made_;
  // The job of the last state asked for, and every job whose thread has not been joined yet.
  std::shared_ptr<TJob> job_;
  std::vector<std::shared_ptr<TJob>> jobs_;
  bool making_ = false;
  // Last: let go first, so nothing posted to it runs once the maker is going.
  QObject receiver_;
};

class TClipboardPicture : public QMimeData {
  Q_OBJECT

 public:
  // png: PngOf(jpeg, ...), being made elsewhere. Until it is done the picture is offered as JPEG
  // only: a paste is answered in the window's thread, and waiting there for the PNG of a large
  // photo would freeze the window. A program that pastes no JPEG finds the PNG offered as soon as
  // it is made.
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
