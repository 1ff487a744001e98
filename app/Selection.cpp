#include "Selection.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "OrientedTrim.h"
#include "TrimRect.h"
#include "ViewMapping.h"

namespace tarvo {

namespace {

// The handles are this many view pixels deep at every view rate.
constexpr int32_t kHandleTolerance = 4;

// The smallest multiple of m not below v.
int32_t SnapUp(int32_t v, int32_t m) {
  const int64_t t = int64_t{v} + m - 1;
  return static_cast<int32_t>(t - t % m);
}

bool IsSizing(TSelectionState state) { return state >= selSizeTopLeft && state <= selSizeBottom; }

// ⌈x × num ÷ den⌉ with the quotient in floating point. The result is kept far inside 64 bits;
// callers clamp it to the picture.
int64_t CeilQuotient(int64_t x, int32_t num, int32_t den) {
  constexpr double kLimit = 1e15;
  const double q = std::ceil(static_cast<double>(x) * num / den);
  return static_cast<int64_t>(std::clamp(q, -kLimit, kLimit));
}

int32_t ClampEdge(int64_t v, int32_t high) {
  return static_cast<int32_t>(std::clamp<int64_t>(v, 0, high));
}

}  // namespace

std::string SelectionInformation(const TTrimRect& rect) {
  const auto u = [](int64_t v) { return static_cast<unsigned>(v); };
  char text[96];
  std::snprintf(text, sizeof text, "[%4u,%4u] - [%4u,%4u] (%4u,%4u)", u(rect.Left) + 1,
                u(rect.Top) + 1, u(rect.Right), u(rect.Bottom), u(int64_t{rect.Right} - rect.Left),
                u(int64_t{rect.Bottom} - rect.Top));
  return text;
}

bool TSelection::GridUsable() const {
  return Grid.PictureWidth >= 1 && Grid.PictureHeight >= 1 && Grid.McuWidth >= 1 &&
         Grid.McuHeight >= 1 && Grid.ViewScaleNum >= 1 && Grid.ViewScaleDen >= 1;
}

int32_t TSelection::ImageX(int32_t x) const {
  return PointerToImage(x, Grid.PictureWidth, Grid.ViewScaleNum, Grid.ViewScaleDen);
}

int32_t TSelection::ImageY(int32_t y) const {
  return PointerToImage(y, Grid.PictureHeight, Grid.ViewScaleNum, Grid.ViewScaleDen);
}

TTrimRect TSelection::ToViewRect(const TTrimRect& rect) const {
  const auto view = [this](int32_t v) {
    return ImageToView(v, Grid.ViewScaleNum, Grid.ViewScaleDen);
  };
  return {view(rect.Left), view(rect.Top), view(rect.Right), view(rect.Bottom)};
}

void TSelection::EraseFrame() {
  if (Shown) {
    Host.DrawSelection(Rect);
    Shown = false;
  }
}

void TSelection::DrawFrame() {
  if (!Shown) {
    Host.DrawSelection(Rect);
    Shown = true;
  }
}

TSelectionState TSelection::HitTest(int32_t x, int32_t y) const {
  // The handles are view pixels deep, whatever the rate.
  const TTrimRect r = ViewRect();
  if (x < r.Left || x > r.Right || y < r.Top || y > r.Bottom) return selNone;
  // Left before right and top before bottom: on a narrow rectangle the left and top handles win.
  const bool nearLeft = x <= r.Left + kHandleTolerance;
  const bool nearRight = !nearLeft && x >= r.Right - kHandleTolerance;
  const bool nearTop = y <= r.Top + kHandleTolerance;
  const bool nearBottom = !nearTop && y >= r.Bottom - kHandleTolerance;
  if (nearLeft) return nearTop ? selSizeTopLeft : nearBottom ? selSizeBottomLeft : selSizeLeft;
  if (nearRight) return nearTop ? selSizeTopRight : nearBottom ? selSizeBottomRight : selSizeRight;
  if (nearTop) return selSizeTop;
  if (nearBottom) return selSizeBottom;
  return selMoving;
}

TPointerShape TSelection::PointerAt(int32_t x, int32_t y) const {
  switch (HitTest(x, y)) {
    case selSizeTopLeft:
    case selSizeBottomRight:
      return TPointerShape::SizeDiagonalNwSe;
    case selSizeBottomLeft:
    case selSizeTopRight:
      return TPointerShape::SizeDiagonalNeSw;
    case selSizeLeft:
    case selSizeRight:
      return TPointerShape::SizeHorizontal;
    case selSizeTop:
    case selSizeBottom:
      return TPointerShape::SizeVertical;
    default:
      return TPointerShape::Arrow;
  }
}

void TSelection::MouseDown(int32_t x, int32_t y) {
  if (!GridUsable()) return;
  x = std::min(x, ImageToView(Grid.PictureWidth, Grid.ViewScaleNum, Grid.ViewScaleDen));
  y = std::min(y, ImageToView(Grid.PictureHeight, Grid.ViewScaleNum, Grid.ViewScaleDen));
  const TSelectionState hit = State == selNone ? selNone : HitTest(x, y);
  if (hit != selNone) {
    State = hit;
    if (hit == selMoving) {
      GrabPoint = {McuGridLine(ImageX(x), Grid.McuWidth), McuGridLine(ImageY(y), Grid.McuHeight)};
      DragStart = Rect;
    }
    return;
  }
  // Any frame still shown goes, also that of a creation a second button interrupts.
  EraseFrame();
  // The anchor is at least 1 so that a one-pixel selection always fits left of and above it.
  x = std::clamp(ImageX(x), 1, Grid.PictureWidth);
  y = std::clamp(ImageY(y), 1, Grid.PictureHeight);
  Rect = {x, y, x, y};
  DragStart = Rect;
  State = selCreating;
}

void TSelection::MouseMove(int32_t x, int32_t y, bool leftHeld, TTrimModeKind mode) {
  if (!GridUsable()) return;
  if (leftHeld) {
    if (State == selCreating) {
      Create(x, y, mode);
    } else if (State == selMoving) {
      Move(x, y);
    } else if (IsSizing(State)) {
      Resize(x, y);
    }
  } else if (State == selIdle) {
    Host.SetPointer(PointerAt(x, y));
  }
}

void TSelection::Create(int32_t x, int32_t y, TTrimModeKind mode) {
  EraseFrame();
  x = std::clamp(ImageX(x), 1, Grid.PictureWidth);
  y = std::clamp(ImageY(y), 1, Grid.PictureHeight);
  const int32_t ax = DragStart.Left;
  const int32_t ay = DragStart.Top;
  TTrimRect& r = Rect;
  if (x > ax) {
    r.Left = McuGridLine(ax, Grid.McuWidth);
    r.Right = x;
  } else {
    r.Left = McuGridLine(x, Grid.McuWidth);
    r.Right = ax;
  }
  if (y > ay) {
    r.Top = McuGridLine(ay, Grid.McuHeight);
    r.Bottom = y;
  } else {
    r.Top = McuGridLine(y, Grid.McuHeight);
    r.Bottom = ay;
  }
  if (r.Top == r.Bottom) ++r.Bottom;
  if (r.Left == r.Right) ++r.Right;
  KeepInsidePicture();
  if (mode == TTrimModeKind::Preset) {
    // The corner on the pointer's side of the anchor leads, whatever RatioKept says.
    const bool left = x < ax;
    const bool above = y < ay;
    ApplyRatio(left ? (above ? selSizeTopLeft : selSizeBottomLeft)
                    : (above ? selSizeTopRight : selSizeBottomRight));
  }
  DrawFrame();
}

void TSelection::Move(int32_t x, int32_t y) {
  EraseFrame();
  // The pointer unclamped at the far edges, where the rectangle is pushed back below; left of
  // and above the picture the rectangle stops at the edge whatever the pointer's MCU there.
  const int32_t snappedX = McuGridLine(std::max(ImageX(x), 0), Grid.McuWidth);
  const int32_t snappedY = McuGridLine(std::max(ImageY(y), 0), Grid.McuHeight);
  TTrimRect& r = Rect;
  const int32_t w = r.Right - r.Left;
  const int32_t h = r.Bottom - r.Top;
  r.Left = std::max(DragStart.Left + snappedX - GrabPoint.X, 0);
  r.Top = std::max(DragStart.Top + snappedY - GrabPoint.Y, 0);
  r.Right = r.Left + w;
  r.Bottom = r.Top + h;
  // Pushed back at the right and bottom edges, off the grid until the release snaps it.
  if (r.Right > Grid.PictureWidth) {
    r.Right = Grid.PictureWidth;
    r.Left = Grid.PictureWidth - w;
  }
  if (r.Bottom > Grid.PictureHeight) {
    r.Bottom = Grid.PictureHeight;
    r.Top = Grid.PictureHeight - h;
  }
  KeepInsidePicture();
  DrawFrame();
}

void TSelection::Resize(int32_t x, int32_t y) {
  EraseFrame();
  TTrimRect& r = Rect;
  const TSelectionState s = State;
  // A left or top edge stays at least one MCU inside the opposite edge; a right or bottom edge
  // one pixel.
  x = ImageX(x);
  y = ImageY(y);
  if (s == selSizeTopLeft || s == selSizeBottomLeft || s == selSizeLeft) {
    r.Left = McuGridLine(std::max(std::min(r.Right - Grid.McuWidth, x), 0), Grid.McuWidth);
  }
  if (s == selSizeTopRight || s == selSizeBottomRight || s == selSizeRight) {
    r.Right = std::max(r.Left + 1, std::min(x, Grid.PictureWidth));
  }
  if (s == selSizeTopLeft || s == selSizeTopRight || s == selSizeTop) {
    r.Top = McuGridLine(std::max(std::min(r.Bottom - Grid.McuHeight, y), 0), Grid.McuHeight);
  }
  if (s == selSizeBottomLeft || s == selSizeBottomRight || s == selSizeBottom) {
    r.Bottom = std::max(r.Top + 1, std::min(y, Grid.PictureHeight));
  }
  if (RatioKept) ApplyRatio(s);
  KeepInsidePicture();
  DrawFrame();
}

void TSelection::ApplyRatio(TSelectionState handle) {
  if (!RatioUsable()) return;
  const int32_t ax = RatioX;
  const int32_t ay = RatioY;
  const auto ratioHeight = [ax, ay](int64_t x) { return CeilQuotient(x, ay, ax); };
  const auto ratioWidth = [ax, ay](int64_t y) { return CeilQuotient(y, ax, ay); };
  const int64_t vw = Grid.PictureWidth;
  const int64_t vh = Grid.PictureHeight;
  int64_t left = Rect.Left;
  int64_t top = Rect.Top;
  int64_t right = Rect.Right;
  int64_t bottom = Rect.Bottom;
  const int64_t w = right - left;
  const int64_t h = bottom - top;
  const bool widthLeads = w * ay / ax > h;

  // Each rule assigns its edges in this order, so a later formula sees an edge pinned before it.
  // The following side grows away from the fixed corner; where it would cross the picture's
  // border it is pinned there, the helper says so, and the rule recomputes the leading side.
  const auto heightFromTop = [&] {
    if (top + ratioHeight(w) < vh) {
      bottom = top + ratioHeight(w);
      return true;
    }
    bottom = vh;
    return false;
  };
  const auto heightFromBottom = [&] {
    if (bottom - ratioHeight(w) > 0) {
      top = bottom - ratioHeight(w);
      return true;
    }
    top = 0;
    return false;
  };
  const auto widthFromLeft = [&] {
    if (left + ratioWidth(h) < vw) {
      right = left + ratioWidth(h);
      return true;
    }
    right = vw;
    return false;
  };
  const auto widthFromRight = [&] {
    if (right - ratioWidth(h) > 0) {
      left = right - ratioWidth(h);
      return true;
    }
    left = 0;
    return false;
  };
  const auto leftFromHeight = [&] {
    left = std::max<int64_t>(right - ratioWidth(bottom - top), 0);
  };
  const auto rightFromHeight = [&] { right = std::min(left + ratioWidth(bottom - top), vw); };
  const auto topFromWidth = [&] { top = std::max<int64_t>(bottom - ratioHeight(right - left), 0); };
  const auto bottomFromWidth = [&] { bottom = std::min(top + ratioHeight(right - left), vh); };

  switch (handle) {
    case selSizeTopLeft:
      if (widthLeads) {
        if (!heightFromBottom()) left = right - ratioWidth(bottom);
      } else if (!widthFromRight()) {
        top = bottom - ratioHeight(right);
      }
      break;
    case selSizeBottomLeft:
      if (widthLeads) {
        if (!heightFromTop()) leftFromHeight();
      } else if (!widthFromRight()) {
        bottom = top + ratioHeight(right);
      }
      break;
    case selSizeTopRight:
      if (widthLeads) {
        if (!heightFromBottom()) right = left + ratioWidth(bottom);
      } else if (!widthFromLeft()) {
        topFromWidth();
      }
      break;
    case selSizeBottomRight:
      if (widthLeads) {
        if (!heightFromTop()) rightFromHeight();
      } else if (!widthFromLeft()) {
        bottomFromWidth();
      }
      break;
    case selSizeLeft:
      if (!heightFromTop()) leftFromHeight();
      break;
    case selSizeRight:
      if (!heightFromTop()) rightFromHeight();
      break;
    case selSizeTop:
      if (!widthFromLeft()) topFromWidth();
      break;
    case selSizeBottom:
      if (!widthFromLeft()) bottomFromWidth();
      break;
    default:
      return;
  }
  // Edges recomputed from a rounded-up quotient can end a pixel or so beyond the picture.
  Rect = {ClampEdge(left, Grid.PictureWidth), ClampEdge(top, Grid.PictureHeight),
          ClampEdge(right, Grid.PictureWidth), ClampEdge(bottom, Grid.PictureHeight)};
  KeepInsidePicture();
}

void TSelection::KeepInsidePicture() {
  TTrimRect& r = Rect;
  r.Left = std::clamp(r.Left, 0, Grid.PictureWidth);
  r.Top = std::clamp(r.Top, 0, Grid.PictureHeight);
  r.Right = std::clamp(r.Right, 0, Grid.PictureWidth);
  r.Bottom = std::clamp(r.Bottom, 0, Grid.PictureHeight);
  // An empty side, such as the one-pixel minimum pushed beyond the right or bottom border, takes
  // the last MCU column or row inside the picture instead, so Left and Top stay on the grid.
  if (r.Right <= r.Left) {
    r.Right = std::max(r.Right, 1);
    r.Left = McuGridLine(r.Right - 1, Grid.McuWidth);
  }
  if (r.Bottom <= r.Top) {
    r.Bottom = std::max(r.Bottom, 1);
    r.Top = McuGridLine(r.Bottom - 1, Grid.McuHeight);
  }
}

void TSelection::MouseUp(TTrimModeKind mode) {
  if (State == selNone) return;
  TTrimRect& r = Rect;
  if (State == selMoving || IsSizing(State)) {
    // Onto the grid, keeping the size: the rectangle shifts left and up.
    EraseFrame();
    r = r.Shifted(McuGridLine(r.Left, Grid.McuWidth) - r.Left,
                  McuGridLine(r.Top, Grid.McuHeight) - r.Top);
    DrawFrame();
  } else if (State == selCreating) {
    if (r.Left == r.Right) {
      // Released without a drag: the click removes the selection.
      EraseFrame();
      State = selNone;
      Host.ClearInformation();
      Host.EnableSelectionCommands(false);
      return;
    }
    if (mode == TTrimModeKind::FixedRatio) {
      RatioX = r.Right - r.Left;
      RatioY = r.Bottom - r.Top;
    }
    // A ratio rule may have left the left or top edge off the grid. A trim starts at the grid
    // line before it, so the edge goes there now: the selection shows what a trim keeps.
    const TTrimRect onGrid = SnapToMcuGrid(r, Grid.McuWidth, Grid.McuHeight);
    if (onGrid != r) {
      EraseFrame();
      r = onGrid;
      DrawFrame();
    }
  }
  Host.EnableSelectionCommands(true);
  State = selIdle;
  Host.SetPointer(TPointerShape::Arrow);
}

bool TSelection::SelectAll() { return SelectPart({0, 0, Grid.PictureWidth, Grid.PictureHeight}); }

bool TSelection::SelectPart(const TTrimRect& rect) {
  if (!GridUsable() || (State != selNone && State != selIdle)) return false;
  EraseFrame();
  Rect = rect;
  State = selIdle;
  DrawFrame();
  return true;
}

void TSelection::ArrowKey(TArrowKey key, bool resize, int32_t pointerX, int32_t pointerY) {
  if (!GridUsable() || State != selIdle) return;
  EraseFrame();
  TTrimRect& r = Rect;
  const int32_t mw = Grid.McuWidth;
  const int32_t mh = Grid.McuHeight;
  switch (key) {
    case TArrowKey::Left:
      if (resize) {
        r.Right = std::max(r.Left + 1, r.Right - mw);
      } else if (r.Left - mw >= 0) {
        r.Left -= mw;
        r.Right = std::max(r.Left + 1, r.Right - mw);
      }
      break;
    case TArrowKey::Up:
      if (resize) {
        r.Bottom = std::max(r.Top + 1, r.Bottom - mh);
      } else if (r.Top - mh >= 0) {
        r.Top -= mh;
        r.Bottom -= mh;
      }
      break;
    case TArrowKey::Right:
      if (r.Right + mw <= Grid.PictureWidth) {
        if (!resize) r.Left += mw;
        r.Right += mw;
      }
      break;
    case TArrowKey::Down:
      if (r.Bottom + mh <= Grid.PictureHeight) {
        if (!resize) r.Top += mh;
        r.Bottom += mh;
      }
      break;
  }
  DrawFrame();
  Host.SetPointer(PointerAt(pointerX, pointerY));
}

void TSelection::AdjustToMcus() {
  if (!GridUsable() || State == selNone) return;
  EraseFrame();
  TTrimRect& r = Rect;
  r.Right = std::min(Grid.PictureWidth, SnapUp(r.Right, Grid.McuWidth));
  r.Bottom = std::min(Grid.PictureHeight, SnapUp(r.Bottom, Grid.McuHeight));
  DrawFrame();
}

void TSelection::Place(const TTrimRect& rect) {
  if (!GridUsable()) return;
  EraseFrame();
  Rect = rect;
  KeepInsidePicture();
  State = selIdle;
  DrawFrame();
  Host.EnableSelectionCommands(true);
}

void TSelection::Clear() {
  State = selNone;
  Shown = false;
}

void TSelection::Restore(const TTrimRect& rect) {
  Rect = rect;
  State = selIdle;
  Shown = true;
}

}  // namespace tarvo
