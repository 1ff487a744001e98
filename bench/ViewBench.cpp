// Display cost. Without arguments: the decode and the repaint of one screenful at each view rate
// on a generated 24-megapixel photo (what a scroll step or a zoom costs). With --first-picture
// FILE: how long the real window takes from opening FILE, or from a trim, until its picture
// is painted, and from opening FILE until every block is decoded too, against a plain full-size
// libjpeg-turbo decode of FILE in the same run, and
// the peak memory of an open at 25 %. With --responsiveness FILE: the longest time the real
// window's event loop goes without processing events while it opens FILE, zooms to a new scale,
// trims, undoes, wipes 640 x 480 at 25 % and at 100 % once every block is decoded (and how long
// until the wiped pixels are painted, and until the step is done) and serves a paste of image/png
// as another program would ask for it, and again on the same photo stored turned (Exif Orientation
// 6), the longest zoom stall that of the rates from 100 % up. With
// --first-trim FILE: how long the real window takes from opening FILE until a 640 x 480 trim at
// its top, asked for as soon as the picture shows, is done: with the coefficients decoded in
// pieces of rows after the open, and with every row decoded before the trim, as one piece. With
// --opens-in-a-row FILE: thirty opens of FILE asked for in a row, until the last shows.
// --copy FILE: how long after Ctrl+C the PNG of FILE is offered on the clipboard, and the CPU time
// it took, with the view at 25 % (the full-size picture decoded for it) and at 100 % (the picture
// shown taken as it is).
// --write-photo FILE [WIDTHxHEIGHT] writes a 4:2:0 quality-95 photo-like image (5640 x 3172
// unless sized) to try them on.
#include <time.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <functional>
#include <limits>
#include <memory>
#include <string>

#include <QApplication>
#include <QBuffer>
#include <QClipboard>
#include <QComboBox>
#include <QElapsedTimer>
#include <QImage>
#include <QImageReader>
#include <QMimeData>
#include <QTemporaryDir>
#include <QTimer>

#include "BestTime.h"
#include "ClipboardPicture.h"
#include "ExifOrientation.h"
#include "JpegFixtures.h"
#include "MainWindow.h"
#include "PictureCache.h"
#include "PictureDecoder.h"
#include "PictureView.h"
#include "Resources.h"
#include "SettingsStore.h"
#include "ViewMapping.h"

namespace {

using tarvo::bench::BestMilliseconds;

constexpr int kRuns = 7;
constexpr int kRateQuarter = 1;

void RepaintTable() {
  tarvo::fixtures::JpegOptions options;
  options.width = 6000;
  options.height = 4000;
  options.quality = 92;
  const tarvo::fixtures::Bytes jpeg = tarvo::fixtures::MakeJpeg(options);

  // A full-HD viewport scrolled to the middle of the picture, and a one-notch scroll strip.
  for (int index = 0; index < static_cast<int>(tarvo::kViewRates.size()); ++index) {
    const tarvo::TViewRate rate = tarvo::ViewRateAt(index);
    const int reduction = tarvo::TPictureCache::ReductionFor(rate.Num, rate.Den);
    tarvo::TPicture picture;
    const double decode =
        BestMilliseconds(3, [&] { picture = tarvo::DecodePicture(jpeg, reduction); });
    tarvo::TViewMapping view;
    view.SetPicture(picture.Frame.width(), picture.Frame.height(), 16, 16);
    view.SetRateIndex(index);
    const QSize size(view.ViewWidth(), view.ViewHeight());
    const QRect screen =
        QRect(size.width() / 2, size.height() / 2, 1920, 1080).intersected(QRect({0, 0}, size));
    const QRect strip(screen.left(), screen.top(), screen.width(),
                      tarvo::VerticalScrollSteps(screen.height()).Line);
    const std::int32_t num = rate.Num * reduction;
    const double full = BestMilliseconds(
        10, [&] { tarvo::RenderViewRegion(picture.Pixels, num, rate.Den, screen); });
    const double notch = BestMilliseconds(
        10, [&] { tarvo::RenderViewRegion(picture.Pixels, num, rate.Den, strip); });
    std::printf(
        "%s  decode 1/%d %7.1f ms  screen %4dx%-4d %6.2f ms   wheel strip %4dx%-3d %6.2f ms\n",
        std::string(rate.Text).c_str(), reduction, decode, screen.width(), screen.height(), full,
        strip.width(), strip.height(), notch);
  }
}

// A window as the program shows it, with settings of its own, at a view rate.
class TBenchWindow {
 public:
  explicit TBenchWindow(int rateIndex, tarvo::TDocumentWork work = {})
      : window_(
            std::make_unique<tarvo::TFm_Main>(std::make_unique<tarvo::TQSettingsStore>(
                                                  folder_.filePath(QStringLiteral("tarvo.conf"))),
                                              std::move(work))) {
    window_->findChild<QComboBox*>(QStringLiteral("Cbo_ViewRate"))->setCurrentIndex(rateIndex);
    window_->show();
    window_->repaint();
  }
  tarvo::TFm_Main& operator*() { return *window_; }
  tarvo::TFm_Main* operator->() { return window_.get(); }

 private:
  QTemporaryDir folder_;
  std::unique_ptr<tarvo::TFm_Main> window_;
};

void Fail(const char* what) {
  std::fprintf(stderr, "%s\n", what);
  std::exit(1);
}

// Turns the event loop until done() holds.
void TurnUntil(const std::function<bool()>& done) {
  while (!done()) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
}

// Opens path, as the command line, a drop or the open dialog would, and paints the window once
// its picture shows; the blocks below those needed so far may still be decoding.
void OpenAndPaint(tarvo::TFm_Main& window, const QString& path) {
  window.OpenDocument(path);
  TurnUntil([&] {
    return window.Document().HasDocument() && !window.Document().Working() &&
           !window.Document().Decoding();
  });
  window.repaint();
}

// OpenAndPaint, then every block decoded.
void OpenAndDecode(tarvo::TFm_Main& window, const QString& path) {
  OpenAndPaint(window, path);
  TurnUntil([&] { return window.Document().CoefficientsDecoded(); });
}

// VmHWM or VmRSS of this process, in MiB.
double StatusMebibytes(const std::string& field) {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind(field + ":", 0) == 0) return std::stod(line.substr(field.size() + 1)) / 1024;
  }
  return 0;
}

// The peak resident memory of one open at 25 %, measured before anything else of the run has
// grown the heap. Writing 5 to clear_refs starts the peak again from the present size.
void PrintPeakMemoryOfQuarterOpen(const QString& path) {
  TBenchWindow window(kRateQuarter);
  std::ofstream("/proc/self/clear_refs") << "5";
  const double before = StatusMebibytes("VmRSS");
  OpenAndDecode(*window, path);
  const double peak = StatusMebibytes("VmHWM");
  std::printf("peak_memory_25=%.1f MiB (%.1f MiB above the %.1f MiB before the open)\n", peak,
              peak - before, before);
}

void FirstPicture(const std::string& file) {
  const QString path = QString::fromStdString(file);
  const tarvo::fixtures::Bytes bytes = tarvo::fixtures::ReadFile(file);
  PrintPeakMemoryOfQuarterOpen(path);

  const double decode = BestMilliseconds(kRuns, [&] { tarvo::fixtures::Decode(bytes); });
  std::unique_ptr<TBenchWindow> window;
  const auto openAt = [&](int rateIndex) {
    return BestMilliseconds(
        kRuns, [&] { OpenAndPaint(**window, path); },
        [&] { window = std::make_unique<TBenchWindow>(rateIndex); });
  };
  const double open25 = openAt(kRateQuarter);
  const double open100 = openAt(tarvo::kViewRateOneToOne);
  const double decoded25 = BestMilliseconds(
      kRuns, [&] { OpenAndDecode(**window, path); },
      [&] { window = std::make_unique<TBenchWindow>(kRateQuarter); });
  const double trim25 = BestMilliseconds(
      kRuns,
      [&] {
        (*window)->mnu_GoOperationClick();
        (*window)->Controller().WaitForWork();
        (*window)->repaint();
      },
      [&] {
        window = std::make_unique<TBenchWindow>(kRateQuarter);
        OpenAndDecode(**window, path);
        // A centred selection of half the picture's width and height, in image pixels.
        const tarvo::TViewMapping& view = (*window)->View();
        const std::int32_t width = view.PictureWidth();
        const std::int32_t height = view.PictureHeight();
        (*window)->Selection().Place(
            {width / 4, height / 4, width / 4 + width / 2, height / 4 + height / 2});
      });
  if ((*window)->Document().TrimHistory().empty()) Fail("the window did not trim");

  std::printf(
      "full-size libjpeg-turbo decode %.1f ms; first picture at 25 %% %.1f ms, at 100 %% %.1f ms; "
      "every block decoded after an open at 25 %% %.1f ms; trim at 25 %% %.1f ms\n",
      decode, open25, open100, decoded25, trim25);
  std::printf("first_picture_25=%.3f\n", open25 / decode);
  std::printf("first_picture_100=%.3f\n", open100 / decode);
  std::printf("all_blocks_25=%.3f\n", decoded25 / decode);
  std::printf("trim_picture_25=%.3f\n", trim25 / decode);
}

// The longest gap between two turns of the event loop while a step runs, in milliseconds. A
// timer due every millisecond ticks once per turn; a gap between ticks is time the window could
// not answer.
class TStallMeter {
 public:
  TStallMeter() {
    ticker_.setTimerType(Qt::PreciseTimer);
    ticker_.setInterval(1);
    QObject::connect(&ticker_, &QTimer::timeout,
                     [this] { longest_ = std::max(longest_, sinceTick_.restart()); });
  }

  // Starts step from the event loop and turns the loop until done() holds.
  qint64 Measure(const std::function<void()>& step, const std::function<bool()>& done) {
    longest_ = 0;
    sinceTick_.start();
    ticker_.start();
    QTimer::singleShot(0, step);
    QElapsedTimer limit;
    limit.start();
    QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
    while (!done()) {
      if (limit.elapsed() > 120000) Fail("a step did not finish within two minutes");
      QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents | QEventLoop::AllEvents, 5);
    }
    ticker_.stop();
    return std::max(longest_, sinceTick_.elapsed());
  }

 private:
  QTimer ticker_;
  QElapsedTimer sinceTick_;
  qint64 longest_ = 0;
};

// The steps of the responsiveness run on the photo at path, their stalls printed with suffix.
void RespondWhileUsing(const QString& path, const char* suffix) {
  TBenchWindow window(kRateQuarter);
  TStallMeter meter;
  const auto idle = [&] { return !window->Controller().Working(); };
  const qint64 open = meter.Measure([&] { window->OpenDocument(path); },
                                    [&] { return idle() && window->Document().HasDocument(); });
  if (!window->Document().HasDocument()) Fail("the window did not open the file");

  // Every rate from 100 % up, where the picture shown is the full-size one, and back.
  qint64 zoom = 0;
  QString zoomSteps;
  for (const int rateIndex :
       {tarvo::kViewRateOneToOne, tarvo::kViewRateOneToOne + 1, tarvo::kViewRateOneToOne + 2,
        tarvo::kViewRateOneToOne + 3, tarvo::kViewRateOneToOne}) {
    const tarvo::TViewRate rate = tarvo::ViewRateAt(rateIndex);
    const qint64 step = meter.Measure(
        [&] {
          window->findChild<QComboBox*>(QStringLiteral("Cbo_ViewRate"))->setCurrentIndex(rateIndex);
          window->Cbo_ViewRateSelect();
        },
        [&] {
          return idle() && window->View().ViewScaleNum() == rate.Num &&
                 window->View().ViewScaleDen() == rate.Den;
        });
    zoom = std::max(zoom, step);
    zoomSteps += QStringLiteral(" %1").arg(step);
  }

  const qint64 trim = meter.Measure(
      [&] {
        // A centred selection of half the picture's width and height, in image pixels.
        const std::int32_t width = window->View().PictureWidth();
        const std::int32_t height = window->View().PictureHeight();
        window->Selection().Place(
            {width / 4, height / 4, width / 4 + width / 2, height / 4 + height / 2});
        window->RunCommand([&] { window->mnu_GoOperationClick(); });
      },
      [&] { return idle() && !window->Document().TrimHistory().empty(); });

  const qint64 undo =
      meter.Measure([&] { window->RunCommand([&] { window->mnu_UndoClick(); }); },
                    [&] { return idle() && window->Document().TrimHistory().empty(); });

  // A 640 x 480 wipe once every block is decoded, at 25 % and at 100 %, scrolled into view: how
  // long until the window paints the wiped pixels there, how long until the step is done, and the
  // longest stall meanwhile. Each is undone after.
  auto* const paintBox = window->findChild<tarvo::TPaintBox*>(QStringLiteral("PaintBox"));
  auto* const scrollBox = window->findChild<tarvo::TScrollBox*>(QStringLiteral("ScrollBox"));
  const auto wipeAt = [&](int rateIndex, qint64& stall, qint64& done) {
    window->findChild<QComboBox*>(QStringLiteral("Cbo_ViewRate"))->setCurrentIndex(rateIndex);
    window->Cbo_ViewRateSelect();
    TurnUntil([&] { return idle() && window->Document().CoefficientsDecoded(); });
    QElapsedTimer wiping;
    qint64 shown = 0;
    QRect region;
    const QMetaObject::Connection painted = QObject::connect(
        paintBox, &tarvo::TPaintBox::PaintOverlay, [&](QPainter&, const QRect& exposed) {
          const bool wiped =
              !paintBox->Patch().Pixels.isNull() || !window->Document().TrimHistory().empty();
          if (shown == 0 && wiped && exposed.intersects(region)) shown = wiping.elapsed();
        });
    stall = meter.Measure(
        [&] {
          const std::int32_t left = window->View().PictureWidth() / 4;
          const std::int32_t top = window->View().PictureHeight() / 4;
          window->Selection().Place({left, top, left + 640, top + 480});
          const tarvo::TTrimRect frame = window->Controller().FrameViewRect();
          region = QRect(frame.Left, frame.Top, frame.Right - frame.Left, frame.Bottom - frame.Top);
          scrollBox->ensureVisible(region.center().x(), region.center().y(), region.width() / 2,
                                   region.height() / 2);
          window->repaint();
          wiping.start();
          window->RunCommand([&] { window->mnu_WipeGreyClick(); });
        },
        [&] {
          if (!idle() || window->Document().TrimHistory().empty() || shown == 0) return false;
          done = wiping.elapsed();
          return true;
        });
    QObject::disconnect(painted);
    window->RunCommand([&] { window->mnu_UndoClick(); });
    TurnUntil([&] { return idle() && window->Document().TrimHistory().empty(); });
    return shown;
  };
  qint64 wipeStall25 = 0;
  qint64 wipeStall100 = 0;
  qint64 wipeDone25 = 0;
  qint64 wipeDone100 = 0;
  const qint64 wipe25 = wipeAt(kRateQuarter, wipeStall25, wipeDone25);
  const qint64 wipe100 = wipeAt(tarvo::kViewRateOneToOne, wipeStall100, wipeDone100);

  // The copy, then a paste of image/png once its PNG is made, as it is by the time a user has
  // switched to another program; the data is asked for on the window's thread, as a paste
  // request from another program arrives there. How long the PNG took is printed beside.
  QByteArray png;
  QElapsedTimer making;
  qint64 pngReady = 0;
  const auto copied = [] {
    return qobject_cast<const tarvo::TClipboardPicture*>(QGuiApplication::clipboard()->mimeData());
  };
  const qint64 copy = meter.Measure(
      [&] {
        making.start();
        window->RunCommand([&] { window->a1Click(); });
      },
      [&] {
        if (png.isEmpty() && copied() != nullptr && copied()->PngReady()) {
          pngReady = making.elapsed();
          png = copied()->data(QStringLiteral("image/png"));
        }
        return !png.isEmpty();
      });
  QBuffer pasted(&png);
  if (!QImageReader(&pasted, "PNG").size().isValid()) Fail("the paste got no PNG");

  std::printf("stall_ms_open%s=%lld\nstall_ms_zoom%s=%lld (100%%, 200%%, 400%%, 800%%, 100%%:%s)\n",
              suffix, open, suffix, zoom, qPrintable(zoomSteps));
  std::printf("stall_ms_trim%s=%lld\n", suffix, trim);
  std::printf("stall_ms_undo%s=%lld\nstall_ms_copy%s=%lld\n", suffix, undo, suffix, copy);
  std::printf("wipe_shown_ms_25%s=%lld (step done at %lld ms, longest stall %lld ms)\n", suffix,
              wipe25, wipeDone25, wipeStall25);
  std::printf("wipe_shown_ms_100%s=%lld (step done at %lld ms, longest stall %lld ms)\n", suffix,
              wipe100, wipeDone100, wipeStall100);
  std::printf("png_ready_ms%s=%lld (%lld bytes)\n", suffix, pngReady,
              static_cast<long long>(png.size()));
}

// The photo as given, then the same pixels stored turned as phones store portraits: a
// segment stating Orientation 6 (shown turned clockwise) ahead of the photo's own.
void Responsiveness(const std::string& file) {
  RespondWhileUsing(QString::fromStdString(file), "");
  tarvo::fixtures::Bytes turned = tarvo::fixtures::ReadFile(file);
  const std::vector<std::uint8_t> exif = tarvo::OrientationOnlyExif(tarvo::kRotate90);
  turned.insert(turned.begin() + 2, exif.begin(), exif.end());
  QTemporaryDir folder;
  const QString path = folder.filePath(QStringLiteral("turned.jpg"));
  tarvo::fixtures::WriteFile(path.toStdString(), turned);
  RespondWhileUsing(path, "_turned");
}

// From the open of path until a 640 x 480 trim at its top, given once the picture shows, is done;
// the coefficients decoded in pieces of about piecePixels pixels. shown receives how long the
// picture took to show.
double OpenToFirstTrim(const QString& path, std::int64_t piecePixels, double& shown) {
  TBenchWindow window(kRateQuarter, {.RowPiecePixels = piecePixels});
  QElapsedTimer clock;
  clock.start();
  window->OpenDocument(path);
  TurnUntil([&] { return window->Document().HasDocument(); });
  window->repaint();
  shown = static_cast<double>(clock.nsecsElapsed()) / 1e6;
  window->Selection().Place({0, 0, 640, 480});
  window->mnu_GoOperationClick();
  TurnUntil([&] { return !window->Document().TrimHistory().empty(); });
  const double elapsed = static_cast<double>(clock.nsecsElapsed()) / 1e6;
  window->Controller().WaitForWork();
  return elapsed;
}

void FirstTrim(const std::string& file) {
  const QString path = QString::fromStdString(file);
  // Best of the runs for each: the picture shown, the trim after it, and both.
  const auto measure = [&](std::int64_t piecePixels) {
    double shownBest = 1e12, trimBest = 1e12, doneBest = 1e12;
    for (int run = 0; run < kRuns; ++run) {
      double shown = 0;
      const double done = OpenToFirstTrim(path, piecePixels, shown);
      shownBest = std::min(shownBest, shown);
      trimBest = std::min(trimBest, done - shown);
      doneBest = std::min(doneBest, done);
    }
    std::printf("  picture shown %.1f ms, then the trim %.1f ms; open to trim done %.1f ms\n",
                shownBest, trimBest, doneBest);
  };
  std::printf("open to a 640x480 trim at the top, coefficients decoded in pieces:\n");
  measure(tarvo::TDocumentWork{}.RowPiecePixels);
  std::printf("the same with every row decoded before the trim, as one piece:\n");
  measure(std::numeric_limits<std::int64_t>::max());
}

// Thirty opens asked for in a row, as a user flicking through photos does, each before the one
// before it is shown: the time from the first until the last shows, against one open alone.
void OpensInARow(const std::string& file) {
  const QString path = QString::fromStdString(file);
  constexpr int kOpens = 30;
  const auto openUntilShown = [&](int opens) {
    TBenchWindow window(kRateQuarter);
    QElapsedTimer clock;
    clock.start();
    for (int open = 0; open < opens; ++open) window->OpenDocument(path);
    TurnUntil([&] {
      return window->Document().HasDocument() && !window->Document().Working() &&
             !window->Document().Decoding();
    });
    return static_cast<double>(clock.nsecsElapsed()) / 1e6;
  };
  const double one = openUntilShown(1);
  const double thirty = openUntilShown(kOpens);
  std::printf("one open %.1f ms; %d opens in a row %.1f ms\n", one, kOpens, thirty);
}

// The CPU time this process has used, in milliseconds.
double ProcessCpuMilliseconds() {
  timespec now{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) * 1e3 + static_cast<double>(now.tv_nsec) / 1e6;
}

void CopyToPng(const std::string& file) {
  const QString path = QString::fromStdString(file);
  for (const int rate : {kRateQuarter, tarvo::kViewRateOneToOne}) {
    TBenchWindow window(rate);
    OpenAndPaint(*window, path);
    double best = std::numeric_limits<double>::max();
    double cpu = 0;
    qsizetype bytes = 0;
    for (int run = 0; run < 3; ++run) {
      // Each run copies a state of its own: a copy of the same state takes the PNG made already.
      QGuiApplication::clipboard()->clear();
      QElapsedTimer clock;
      clock.start();
      const double cpuBefore = ProcessCpuMilliseconds();
      window->RunCommand([&] { window->a1Click(); });
      const auto* copied =
          qobject_cast<const tarvo::TClipboardPicture*>(QGuiApplication::clipboard()->mimeData());
      if (copied == nullptr) Fail("the copy put nothing on the clipboard");
      while (!copied->PngReady()) QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
      const double elapsed = static_cast<double>(clock.nsecsElapsed()) / 1e6;
      if (elapsed < best) {
        best = elapsed;
        cpu = ProcessCpuMilliseconds() - cpuBefore;
      }
      QByteArray png = copied->data(QStringLiteral("image/png"));
      bytes = png.size();
      QBuffer pasted(&png);
      if (!QImageReader(&pasted, "PNG").size().isValid()) Fail("the paste got no PNG");
      // Turned twice by half a turn: the same picture, another state of the document.
      window->RunCommand([&] { window->mnu_Turn180Click(); });
      window->Controller().WaitForWork();
      window->RunCommand([&] { window->mnu_Turn180Click(); });
      window->Controller().WaitForWork();
      window->repaint();
    }
    std::printf("view %s: png offered %.0f ms after the copy, %.0f ms of CPU (%lld bytes)\n",
                std::string(tarvo::ViewRateAt(rate).Text).c_str(), best, cpu,
                static_cast<long long>(bytes));
  }
}

void WritePhoto(const std::string& file, const std::string& size) {
  tarvo::fixtures::JpegOptions options;
  options.width = 5640;
  options.height = 3172;
  if (!size.empty() && std::sscanf(size.c_str(), "%dx%d", &options.width, &options.height) != 2) {
    Fail("the size is WIDTHxHEIGHT");
  }
  options.sampling = tarvo::fixtures::Sampling::k420;
  options.quality = 95;
  tarvo::fixtures::WriteFile(file, tarvo::fixtures::MakeJpeg(options));
}

}  // namespace

int main(int argc, char** argv) {
  const std::string mode = argc >= 3 ? argv[1] : "";
  if (mode == "--write-photo" && argc <= 4) {
    WritePhoto(argv[2], argc == 4 ? argv[3] : "");
    return 0;
  }
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication application(argc, argv);
  tarvo::InitResources();
  if (mode == "--first-picture" && argc == 3) {
    FirstPicture(argv[2]);
  } else if (mode == "--first-trim" && argc == 3) {
    FirstTrim(argv[2]);
  } else if (mode == "--responsiveness" && argc == 3) {
    Responsiveness(argv[2]);
  } else if (mode == "--opens-in-a-row" && argc == 3) {
    OpensInARow(argv[2]);
  } else if (mode == "--copy" && argc == 3) {
    CopyToPng(argv[2]);
  } else if (argc == 1) {
    RepaintTable();
  } else {
    std::fprintf(stderr,
                 "usage: view_bench [--first-picture FILE | --first-trim FILE |\n"
                 "                   --responsiveness FILE | --opens-in-a-row FILE |\n"
                 "                   --copy FILE |\n"
                 "                   --write-photo FILE [WIDTHxHEIGHT]]\n");
    return 2;
  }
  return 0;
}
