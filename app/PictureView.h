// The picture's paint area (PaintBox) and the scrolling view around it (ScrollBox).
#pragma once

#include <cstdint>
#include <vector>

#include <QImage>
#include <QRect>
#include <QScrollArea>
#include <QSize>
#include <QWidget>

#include "PictureDecoder.h"
#include "PicturePatch.h"

class QPainter;
class QTimer;

namespace tarvo {

// The part `region` of a view in which one pixel of a picture spans num / den view pixels: view
// pixel (x, y) shows picture pixel (x * den / num, y * den / num), the image pixel the view mapping
// gives for it, divided by the picture's reduction. Enlarged views repeat pixels as crisp blocks;
// a picture reduced to the view's own rate is shown one to one. The same formula for every
// region, so separately painted parts join without seams. pixels are the picture's from origin
// on. Returns a Format_RGB32 image of region's size; parts of region beyond pixels repeat their
// edge.
QImage RenderViewRegion(const QImage& pixels, std::int32_t num, std::int32_t den,
                        const QRect& region, QPoint origin = {});

class TScrollBox;

// The paint area. It paints only what the view exposes, straight from the decoded picture, so
// zooming and scrolling never decode or scale the whole picture. Its mouse events are reported
// by the scrolling view that owns it; the frame drawn over the picture belongs to the selection.
class TPaintBox : public QWidget {
  Q_OBJECT

 public:
  explicit TPaintBox(TScrollBox* owner);

  // The picture shown at the view rate viewNum / viewDen; one without pixels shows nothing, the
  // view's background stays visible. A picture of another reduction than the rate's shows too.
  void SetPicture(const TPicture& picture, std::int32_t viewNum, std::int32_t viewDen);
  const TPicture& Picture() const { return picture_; }
  // patch shown over the picture, one of its reduction, until the next picture or patch; one
  // without pixels shows the picture alone.
  void SetPatch(TPicturePatch patch);
  const TPicturePatch& Patch() const { return patch_; }
  std::int32_t ViewNum() const { return num_; }
  std::int32_t ViewDen() const { return den_; }
  // The damaged parts of the picture, in its pixels, hatched over it until set again.
  void SetDamage(std::vector<QRect> regions);

 signals:
  // After the picture of each paint, only while a picture is shown: the painter is clipped to
  // the exposed region and exposed is its bounding rectangle. The selection draws its frame here.
  void PaintOverlay(QPainter& painter, const QRect& exposed);

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;

 private:
  // The view pixels the patch covers.
  QRect PatchViewRect() const;

  TScrollBox* owner_;
  TPicture picture_;
  TPicturePatch patch_;
  std::vector<QRect> damage_;
  // View pixels per picture pixel: num_ / den_.
  std::int32_t num_ = 1;
  std::int32_t den_ = 1;
};

// The scrolling view. It owns the paint area at its origin and scrolls vertically by the smooth
// line step per wheel notch. Its mouse signals report the events of both in paint-area
// coordinates: moves keep coming outside the paint area while a button is held, and a point on
// the view around it is mapped through the scroll position, so a press beside a scrolled
// picture lands where the pointer is.
class TScrollBox : public QScrollArea {
  Q_OBJECT

 public:
  explicit TScrollBox(QWidget* parent = nullptr);

  TPaintBox* PaintBox() const { return paintBox_; }
  // Sizes the paint area to the view size and repaints it. When the paint area's rate changed
  // since it was last sized, this is a zoom and keeps the middle (ZoomViewSize); otherwise the
  // scroll position is only kept inside the new range.
  void SetViewSize(int width, int height);
  // The same for the picture at another view rate: the picture point at the middle of the view
  // stays there, so zooming keeps the user's place.
  void ZoomViewSize(int width, int height);
  // Moves the scroll position by one line step per notch (positive: right or down); a line
  // across is as far in view pixels as a line down is for the view's width.
  void WheelScroll(Qt::Orientation orientation, int notches);
  // Wheel travel in eighths of a degree, as QWheelEvent gives it, in each direction; whole
  // notches of 120 scroll, the rest is kept for the next event (fine-grained wheels and touch
  // pads). With Shift the vertical wheel scrolls sideways.
  void WheelDelta(QPoint angleDelta, Qt::KeyboardModifiers modifiers = {});

 signals:
  void MouseDown(Qt::MouseButton button, Qt::MouseButtons buttons, Qt::KeyboardModifiers modifiers,
                 int x, int y);
  void MouseMove(Qt::MouseButtons buttons, Qt::KeyboardModifiers modifiers, int x, int y);
  void MouseUp(Qt::MouseButton button, Qt::MouseButtons buttons, Qt::KeyboardModifiers modifiers,
               int x, int y);

 protected:
  void wheelEvent(QWheelEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;

 private:
  friend class TPaintBox;
  // Press (and double click), move and release, at in paint-area coordinates.
  void ReportMouse(const QMouseEvent& event, QPoint at);
  // While the left button drags past the view's edge, the view scrolls on and the drag sees the
  // pointer move over the picture as it would if the user moved it.
  void FollowDrag(Qt::MouseButtons buttons, QPoint at);
  void AutoScrollTick();
  void ApplyScrollSteps();
  void Resize(int width, int height);

  TPaintBox* paintBox_;
  QPoint wheelRemainder_;
  // The paint area's rate when the view was last sized; 0 before the first time.
  std::int32_t sizedNum_ = 0;
  std::int32_t sizedDen_ = 0;
  QTimer* autoScroll_;
  // The dragging pointer, in viewport coordinates, and what was held with it.
  QPoint dragPointer_;
  Qt::MouseButtons dragButtons_;
  Qt::KeyboardModifiers dragModifiers_;
};

}  // namespace tarvo
