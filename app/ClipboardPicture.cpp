#include "ClipboardPicture.h"

#include <chrono>
#include <cstdint>
#include <span>

#include "PictureDecoder.h"
#include "PngWriter.h"

namespace tarvo {
namespace {

const QString kJfif = QStringLiteral("JFIF");
const QString kJpeg = QStringLiteral("image/jpeg");
const QString kPng = QStringLiteral("image/png");

}  // namespace

QByteArray PngOf(const QByteArray& jpeg, const QImage& decoded, TOrientation orientation,
                 const std::atomic<bool>* stop) {
  QImage picture = decoded;
  if (picture.isNull()) {
    try {
      picture = DecodePicture(std::span(reinterpret_cast<const std::uint8_t*>(jpeg.constData()),
                                        static_cast<std::size_t>(jpeg.size())))
                    .Pixels;
    } catch (const EPictureError&) {
      // The document is shown, so its bytes decode; should they not, the paste gets nothing.
      return {};
    }
  }
  return UprightPng(picture, orientation, 0, stop);
}

struct TClipboardPngMaker::TJob {
  std::uint64_t State = 0;
  std::promise<QByteArray> Made;
  std::shared_future<QByteArray> Png = Made.get_future().share();
  std::atomic<bool> Stop = false;
  std::atomic<bool> Finished = false;
  std::thread Thread;
};

void TClipboardPngMaker::Wait() {
  // Joined, the thread has posted its notice too: the event loop tells it next.
  if (job_ && job_->Thread.joinable()) job_->Thread.join();
}

TClipboardPngMaker::~TClipboardPngMaker() {
  for (const std::shared_ptr<TJob>& job : jobs_) {
    job->Stop = true;
    if (job->Thread.joinable()) job->Thread.join();
  }
}

std::shared_future<QByteArray> TClipboardPngMaker::For(std::uint64_t state, QByteArray jpeg,
                                                       QImage decoded, TOrientation orientation) {
  if (job_ && job_->State == state && !job_->Stop) return job_->Png;
  if (job_) job_->Stop = true;
  std::erase_if(jobs_, [](const std::shared_ptr<TJob>& job) {
    if (!job->Finished) return false;
    if (job->Thread.joinable()) job->Thread.join();
    return true;
  });
  auto job = std::make_shared<TJob>();
  job->State = state;
  job_ = job;
  jobs_.push_back(job);
  making_ = true;
  // Started from this thread, the job's thread and the compression's run at its priority.
  job->Thread = std::thread(
      [this, job = job.get(), jpeg = std::move(jpeg), decoded = std::move(decoded), orientation] {
        try {
          job->Made.set_value(PngOf(jpeg, decoded, orientation, &job->Stop));
        } catch (...) {
          // Without memory enough, say: the paste gets nothing rather than the program ending.
          job->Made.set_value({});
        }
        QMetaObject::invokeMethod(
            &receiver_,
            [this, job] {
              if (job != job_.get()) return;
              making_ = false;
              if (made_) made_();
            },
            Qt::QueuedConnection);
        job->Finished = true;
      });
  return job->Png;
}

TClipboardPicture::TClipboardPicture(QByteArray jpeg, std::shared_future<QByteArray> png)
    : jpeg_(std::move(jpeg)), png_(std::move(png)) {}

bool TClipboardPicture::PngReady() const {
  return png_.valid() && png_.wait_for(std::chrono::seconds(0)) == std::future_status::ready &&
         !png_.get().isEmpty();
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
  if (mimeType == kPng && PngReady()) return png_.get();
  return {};
}

}  // namespace tarvo
