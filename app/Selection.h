// The selection rectangle over the picture: held in image pixels of the picture shown, so a zoom
// changes only how it is drawn; the gestures' pointer positions are converted at the view's edge.
#pragma once

#include <cstdint>
#include <string>

#include "TrimRect.h"

namespace tarvo {

struct TGrabPoint {
  int32_t X = 0;
  int32_t Y = 0;

  bool operator==(const TGrabPoint&) const = default;
};

// Whether a selection exists and which gesture is under way. The values are stored as bytes.
enum TSelectionState : uint8_t {
  selNone = 0,
  selIdle = 1,
  selCreating = 2,
  selMoving = 3,
  selSizeTopLeft = 4,
  selSizeBottomLeft = 5,
  selSizeTopRight = 6,
  selSizeBottomRight = 7,
  selSizeLeft = 8,
  selSizeTop = 9,
  selSizeRight = 10,
  selSizeBottom = 11,
};

enum class TPointerShape {
  Arrow,
  SizeDiagonalNwSe,  // north-west to south-east
  SizeDiagonalNeSw,  // north-east to south-west
  SizeHorizontal,
  SizeVertical,
};

// How the chosen trim mode shapes a selection while it is drawn and when it is released.
enum class TTrimModeKind {
  Free,        // "自由"
  FixedRatio,  // "固定比率": the drawn proportions become the ratio
  Preset,      // a preset: new selections follow its ratio
};

enum class TArrowKey { Left, Up, Right, Down };

// The picture shown and its MCU grid in image pixels, and the view rate the pointer comes at.
struct TSelectionGrid {
  int32_t PictureWidth = 0;
  int32_t PictureHeight = 0;
  int32_t McuWidth = 1;
  int32_t McuHeight = 1;
  int32_t ViewScaleNum = 1;
  int32_t ViewScaleDen = 1;
};

// What the selection asks of the window. Every DrawSelection call toggles the frame: the same
// rectangle drawn twice leaves the picture as it was.
class TSelectionHost {
 public:
  virtual ~TSelectionHost() = default;
  // Toggles the frame of rect (image pixels) and shows rect as the information text.
  virtual void DrawSelection(const TTrimRect& rect) = 0;
  virtual void ClearInformation() = 0;
  // Trim and "選択範囲の調整", menu items and toolbar buttons together.
  virtual void EnableSelectionCommands(bool enabled) = 0;
  // For the whole application, until set again.
  virtual void SetPointer(TPointerShape shape) = 0;
};

// The information text for a rectangle in image pixels: first and last pixel counted from 1,
// then the size. It is exactly what a trim of the rectangle keeps.
std::string SelectionInformation(const TTrimRect& rect);

class TSelection {
 public:
  explicit TSelection(TSelectionHost& host) : Host(host) {}

  // The picture, its grid and the view rate; the window keeps them in line with the view. A new
  // rate leaves the rectangle as it is.
  void SetGrid(const TSelectionGrid& grid) { Grid = grid; }

  // The rectangle on the paint area, in view pixels; rect is any in image pixels.
  TTrimRect ViewRect() const { return ToViewRect(Rect); }
  TTrimRect ToViewRect(const TTrimRect& rect) const;

  // The pointer positions below are in view pixels on the paint area.
  // Which gesture a press at (x, y) starts: a handle, selMoving inside, selNone outside.
  TSelectionState HitTest(int32_t x, int32_t y) const;
  // The pointer that tells what a press at (x, y) would do.
  TPointerShape PointerAt(int32_t x, int32_t y) const;

  void MouseDown(int32_t x, int32_t y);
  void MouseMove(int32_t x, int32_t y, bool leftHeld, TTrimModeKind mode);
  void MouseUp(TTrimModeKind mode);

  // Ctrl+A. Returns true when the whole picture was selected; the window then re-applies the
  // trim mode and enables the selection commands.
  bool SelectAll();
  // The same for rect, a part of the picture.
  bool SelectPart(const TTrimRect& rect);
  // An arrow key; resize when Shift or Ctrl is held. (pointerX, pointerY) is where the pointer
  // stands on the paint area, for its shape afterwards.
  void ArrowKey(TArrowKey key, bool resize, int32_t pointerX, int32_t pointerY);
  // "選択範囲の調整": widens the right and bottom edges to whole MCUs or the picture's edge.
  void AdjustToMcus();

  // Replaces the selection by rect (image pixels, kept inside the picture), shows it and enables
  // the selection commands.
  void Place(const TTrimRect& rect);
  // The picture was replaced and is about to be repainted: no frame is left to erase.
  void Clear();
  // Shows rect as an idle selection on a picture that is about to be repainted.
  void Restore(const TTrimRect& rect);

  // Whether the frame is on the paint area: a full repaint draws it once after the picture.
  bool FrameShown() const { return Shown; }

  // Whether AspectX : AspectY can be kept at all; a zero or negative term cannot.
  bool RatioUsable() const { return RatioX > 0 && RatioY > 0; }

  // Image pixels of the picture shown.
  const TTrimRect& SelectionRect() const { return Rect; }
  TSelectionState SelectionState() const { return State; }
  // At mouse-down: the anchor of a new selection in all four edges, or the rectangle a move
  // starts from (image pixels).
  const TTrimRect& DragStartRect() const { return DragStart; }
  // The press point of a move in image pixels, snapped down to the MCU grid.
  TGrabPoint MoveGrabPoint() const { return GrabPoint; }

  // The ratio AspectX : AspectY that presets and resizes keep, and whether resizes keep it; the
  // trim mode sets them, a creation in mode "固定比率" takes its own proportions.
  int32_t AspectX() const { return RatioX; }
  int32_t AspectY() const { return RatioY; }
  bool KeepAspect() const { return RatioKept; }
  void SetAspect(int32_t x, int32_t y) {
    RatioX = x;
    RatioY = y;
  }
  void SetKeepAspect(bool keep) { RatioKept = keep; }

 private:
  bool GridUsable() const;
  // A pointer position in image pixels; on or past the paint area's far edge it reaches the
  // picture's own edge, which the truncated view size may fall short of.
  int32_t ImageX(int32_t x) const;
  int32_t ImageY(int32_t y) const;
  void EraseFrame();
  void DrawFrame();
  void Create(int32_t x, int32_t y, TTrimModeKind mode);
  void Move(int32_t x, int32_t y);
  void Resize(int32_t x, int32_t y);
  void ApplyRatio(TSelectionState handle);
  void KeepInsidePicture();

  TSelectionHost& Host;
  TSelectionGrid Grid;
  bool Shown = false;
  TTrimRect Rect;
  TSelectionState State = selNone;
  TTrimRect DragStart;
  TGrabPoint GrabPoint;
  int32_t RatioX = 0;
  int32_t RatioY = 0;
  bool RatioKept = false;
};

}  // namespace tarvo
