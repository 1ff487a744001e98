#include "PictureView.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QScrollBar>
#include <QTimer>
#include <QWheelEvent>

#include "ViewMapping.h"

namespace tarvo {

namespace {

constexpr int kWheelNotch = 120;
// About 30 steps a second: steady to the eye, and little work.
constexpr int kAutoScrollIntervalMs = 33;

// Which of pixels, the picture's from origin on, a view pixel shows.
int SourceIndex(int view, std::int32_t num, std::int32_t den, int origin, int pixels) {
  const auto index = static_cast<std::int64_t>(view) * den / num - origin;
  return static_cast<int>(std::clamp<std::int64_t>(index, 0, pixels - 1));
}

// The first view pixel that shows picture pixel `picture` or one after it.
int FirstViewPixel(std::int64_t picture, std::int32_t num, std::int32_t den) {
  return static_cast<int>((picture * num + den - 1) / den);
}

}  // namespace

QImage RenderViewRegion(const QImage& pixels, std::int32_t num, std::int32_t den,
                        const QRect& region, QPoint origin) {
  QImage out(region.size(), QImage::Format_RGB32);
  if (out.isNull() || pixels.isNull() || num <= 0 || den <= 0) {
    return out;
  }
  const QImage source = pixels.format() == QImage::Format_RGB888
                            ? pixels
                            : pixels.convertToFormat(QImage::Format_RGB888);
  std::vector<int> columnOffsets(static_cast<std::size_t>(region.width()));
  for (int x = 0; x < region.width(); ++x) {
    columnOffsets[static_cast<std::size_t>(x)] =
        3 * SourceIndex(region.left() + x, num, den, origin.x(), source.width());
  }
  int previousRow = -1;
  for (int y = 0; y < region.height(); ++y) {
    auto* target = reinterpret_cast<std::uint32_t*>(out.scanLine(y));
    const int row = SourceIndex(region.top() + y, num, den, origin.y(), source.height());
    if (row == previousRow) {
      // Enlarged views repeat source rows: copy the row just made.
      std::memcpy(target, out.constScanLine(y - 1), static_cast<std::size_t>(out.bytesPerLine()));
      continue;
    }
    previousRow = row;
    const uchar* line = source.constScanLine(row);
    for (int x = 0; x < region.width(); ++x) {
      const uchar* p = line + columnOffsets[static_cast<std::size_t>(x)];
      target[x] = 0xFF000000u | (std::uint32_t{p[0]} << 16) | (std::uint32_t{p[1]} << 8) | p[2];
    }
  }
  return out;
}

TPaintBox::TPaintBox(TScrollBox* owner) : owner_(owner) {
  setObjectName(QStringLiteral("PaintBox"));
  setMouseTracking(true);
  resize(100, 100);
}

void TPaintBox::SetPicture(const TPicture& picture, std::int32_t viewNum, std::int32_t viewDen) {
  picture_ = picture;
  patch_ = {};
  if (!picture_.Pixels.isNull() && picture_.Pixels.format() != QImage::Format_RGB888) {
    picture_.Pixels = picture_.Pixels.convertToFormat(QImage::Format_RGB888);
  }
  num_ = viewNum * picture_.Reduction;
  den_ = viewDen;
  // A picture covers every exposed pixel, so the view behind need not be painted first; with
  // none the view's background shows through.
  setAttribute(Qt::WA_OpaquePaintEvent, !picture_.Pixels.isNull());
  update();
}

void TPaintBox::paintEvent(QPaintEvent* event) {
  if (picture_.Pixels.isNull()) {
    return;
  }
  QPainter painter(this);
  const QRect area = rect();
  for (const QRect& exposed : event->region()) {
    const QRect part = exposed.intersected(area);
    if (!part.isEmpty()) {
      painter.drawImage(part.topLeft(), RenderViewRegion(picture_.Pixels, num_, den_, part));
    }
    const QRect patched = part.intersected(PatchViewRect());
    if (!patched.isEmpty()) {
      painter.drawImage(patched.topLeft(),
                        RenderViewRegion(patch_.Pixels, num_, den_, patched, patch_.At));
    }
  }
  painter.setClipRegion(event->region());
  // Hatched in two tones crossing each other, so that damage shows on light and dark pictures.
  for (const QRect& region : damage_) {
    // num_ / den_ is the rate of the reduced picture's pixels; the regions are the whole one's.
    const std::int64_t den = std::int64_t{den_} * picture_.Reduction;
    const auto view = [this, den](int pixel, bool up) {
      const std::int64_t scaled = std::int64_t{pixel} * num_;
      return static_cast<int>((scaled + (up ? den - 1 : 0)) / den);
    };
    const QRect shown(QPoint(view(region.left(), false), view(region.top(), false)),
                      QPoint(view(region.left() + region.width(), true) - 1,
                             view(region.top() + region.height(), true) - 1));
    painter.fillRect(shown, QBrush(Qt::yellow, Qt::BDiagPattern));
    painter.fillRect(shown, QBrush(Qt::black, Qt::FDiagPattern));
  }
  emit PaintOverlay(painter, event->rect());
}

void TPaintBox::SetPatch(TPicturePatch patch) {
  update(PatchViewRect());
  patch_ = std::move(patch);
  update(PatchViewRect());
}

QRect TPaintBox::PatchViewRect() const {
  if (patch_.Pixels.isNull()) return {};
  const QPoint end = patch_.At + QPoint(patch_.Pixels.width(), patch_.Pixels.height());
  const QPoint first(FirstViewPixel(patch_.At.x(), num_, den_),
                     FirstViewPixel(patch_.At.y(), num_, den_));
  return QRect(first, QPoint(FirstViewPixel(end.x(), num_, den_) - 1,
                             FirstViewPixel(end.y(), num_, den_) - 1));
}

void TPaintBox::SetDamage(std::vector<QRect> regions) {
  if (regions == damage_) return;
  damage_ = std::move(regions);
  update();
}

void TPaintBox::mousePressEvent(QMouseEvent* event) {
  owner_->ReportMouse(*event, event->position().toPoint());
}

void TPaintBox::mouseMoveEvent(QMouseEvent* event) {
  owner_->ReportMouse(*event, event->position().toPoint());
}

void TPaintBox::mouseReleaseEvent(QMouseEvent* event) {
  owner_->ReportMouse(*event, event->position().toPoint());
}

TScrollBox::TScrollBox(QWidget* parent)
    : QScrollArea(parent), paintBox_(new TPaintBox(this)), autoScroll_(new QTimer(this)) {
  autoScroll_->setInterval(kAutoScrollIntervalMs);
  connect(autoScroll_, &QTimer::timeout, this, &TScrollBox::AutoScrollTick);
  setObjectName(QStringLiteral("ScrollBox"));
  setWidgetResizable(false);
  setAlignment(Qt::AlignLeft | Qt::AlignTop);
  setWidget(paintBox_);
  viewport()->setMouseTracking(true);
  // Arrow keys belong to the selection; a focused scroll area would also scroll with them.
  setFocusPolicy(Qt::NoFocus);
  // QScrollArea resets the steps whenever it lays the bars out; put ours back afterwards.
  connect(verticalScrollBar(), &QScrollBar::rangeChanged, this, &TScrollBox::ApplyScrollSteps,
          Qt::QueuedConnection);
  ApplyScrollSteps();
}

void TScrollBox::SetViewSize(int width, int height) {
  const bool zoomed =
      sizedNum_ != 0 && (paintBox_->ViewNum() != sizedNum_ || paintBox_->ViewDen() != sizedDen_);
  sizedNum_ = paintBox_->ViewNum();
  sizedDen_ = paintBox_->ViewDen();
  if (zoomed) {
    ZoomViewSize(width, height);
    return;
  }
  Resize(width, height);
}

void TScrollBox::Resize(int width, int height) {
  paintBox_->resize(width, height);
  paintBox_->update();
  ApplyScrollSteps();
}

void TScrollBox::ZoomViewSize(int width, int height) {
  const QSize before = paintBox_->size();
  const QSize visible = viewport()->size();
  const QPoint scroll(horizontalScrollBar()->value(), verticalScrollBar()->value());
  Resize(width, height);
  horizontalScrollBar()->setValue(
      ScrollKeepingMiddle(scroll.x(), visible.width(), before.width(), width));
  verticalScrollBar()->setValue(
      ScrollKeepingMiddle(scroll.y(), visible.height(), before.height(), height));
}

void TScrollBox::ApplyScrollSteps() {
  const TScrollSteps steps = VerticalScrollSteps(viewport()->height());
  verticalScrollBar()->setPageStep(steps.Page);
  verticalScrollBar()->setSingleStep(steps.Line);
}

void TScrollBox::WheelScroll(Qt::Orientation orientation, int notches) {
  const bool across = orientation == Qt::Horizontal;
  const int line = VerticalScrollSteps(across ? viewport()->width() : viewport()->height()).Line;
  QScrollBar* bar = across ? horizontalScrollBar() : verticalScrollBar();
  bar->setValue(bar->value() + notches * line);
}

void TScrollBox::WheelDelta(QPoint angleDelta, Qt::KeyboardModifiers modifiers) {
  // Some platforms turn Shift+wheel into sideways travel themselves; it is never turned twice.
  if (modifiers.testFlag(Qt::ShiftModifier) && angleDelta.x() == 0) {
    angleDelta = {angleDelta.y(), 0};
  }
  wheelRemainder_ += angleDelta;
  // Turning the wheel towards the user, or tilting it right (negative delta), scrolls down or
  // right.
  const QPoint notches(-(wheelRemainder_.x() / kWheelNotch), -(wheelRemainder_.y() / kWheelNotch));
  wheelRemainder_ = {wheelRemainder_.x() % kWheelNotch, wheelRemainder_.y() % kWheelNotch};
  if (notches.x() != 0) WheelScroll(Qt::Horizontal, notches.x());
  if (notches.y() != 0) WheelScroll(Qt::Vertical, notches.y());
}

void TScrollBox::wheelEvent(QWheelEvent* event) {
  // The wheel scrolls and never zooms.
  WheelDelta(event->angleDelta(), event->modifiers());
  event->accept();
}

void TScrollBox::resizeEvent(QResizeEvent* event) {
  QScrollArea::resizeEvent(event);
  ApplyScrollSteps();
}

void TScrollBox::mousePressEvent(QMouseEvent* event) {
  ReportMouse(*event, paintBox_->mapFrom(viewport(), event->position().toPoint()));
}

void TScrollBox::mouseMoveEvent(QMouseEvent* event) {
  ReportMouse(*event, paintBox_->mapFrom(viewport(), event->position().toPoint()));
}

void TScrollBox::mouseReleaseEvent(QMouseEvent* event) {
  ReportMouse(*event, paintBox_->mapFrom(viewport(), event->position().toPoint()));
}

void TScrollBox::ReportMouse(const QMouseEvent& event, QPoint at) {
  dragModifiers_ = event.modifiers();
  FollowDrag(event.buttons(), at);
  switch (event.type()) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonDblClick:
      emit MouseDown(event.button(), event.buttons(), event.modifiers(), at.x(), at.y());
      break;
    case QEvent::MouseMove:
      emit MouseMove(event.buttons(), event.modifiers(), at.x(), at.y());
      break;
    case QEvent::MouseButtonRelease:
      emit MouseUp(event.button(), event.buttons(), event.modifiers(), at.x(), at.y());
      break;
    default:
      break;
  }
}

void TScrollBox::FollowDrag(Qt::MouseButtons buttons, QPoint at) {
  dragButtons_ = buttons;
  dragPointer_ = paintBox_->mapTo(viewport(), at);
  const bool outside = !viewport()->rect().contains(dragPointer_);
  if (buttons.testFlag(Qt::LeftButton) && outside) {
    if (!autoScroll_->isActive()) autoScroll_->start();
  } else {
    autoScroll_->stop();
  }
}

void TScrollBox::AutoScrollTick() {
  QScrollBar* across = horizontalScrollBar();
  QScrollBar* down = verticalScrollBar();
  const QPoint before(across->value(), down->value());
  across->setValue(across->value() + AutoScrollStep(dragPointer_.x(), viewport()->width()));
  down->setValue(down->value() + AutoScrollStep(dragPointer_.y(), viewport()->height()));
  if (QPoint(across->value(), down->value()) == before) return;
  const QPoint at = paintBox_->mapFrom(viewport(), dragPointer_);
  emit MouseMove(dragButtons_, dragModifiers_, at.x(), at.y());
}

}  // namespace tarvo
