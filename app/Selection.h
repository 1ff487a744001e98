// The selection rectangle over the picture: its mouse and key gestures, worked out in view pixels.
#pragma once

#include <cstdint>
#include <string>

namespace tarvo {

// Right and Bottom are exclusive.
struct TSelectionRect {
  int32_t Left = 0;
  int32_t Top = 0;
  int32_t Right = 0;
  int32_t Bottom = 0;

  bool operator==(const TSelectionRect&) const = default;
};

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

// The picture as the view shows it: its size and the MCU grid, in view pixels.
struct TViewGrid {
  int32_t ViewWidth = 0;
  int32_t ViewHeight = 0;
  int32_t ViewMcuWidth = 1;
  int32_t ViewMcuHeight = 1;
};

// What the selection asks of the window. The frame is drawn by inverting pixels, so every
// DrawSelection call toggles it: the same rectangle drawn twice leaves the picture as it was.
class TSelectionHost {
 public:
  virtual ~TSelectionHost() = default;
  // Toggles the frame of rect and shows rect as the information text.
  virtual void DrawSelection(const TSelectionRect& rect) = 0;
  virtual void ClearInformation() = 0;
  // Trim and "選択範囲の調整", menu items and toolbar buttons together.
  virtual void EnableSelectionCommands(bool enabled) = 0;
  // For the whole application, until set again.
  virtual void SetPointer(TPointerShape shape) = 0;
};

// The information text: first and last image pixel counted from 1, then the size, at the view
// rate num/den.
std::string SelectionInformation(const TSelectionRect& rect, int32_t num, int32_t den);

class TSelection {
 public:
  explicit TSelection(TSelectionHost& host) : Host(host) {}

  // The grid the gestures snap to; the window keeps it in line with the view rate.
  void SetViewGrid(const TViewGrid& grid) { Grid = grid; }
  const TViewGrid& ViewGrid() const { return Grid; }

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
  // An arrow key; resize when Shift or Ctrl is held. (pointerX, pointerY) is where the pointer
  // stands on the paint area, for its shape afterwards.
  void ArrowKey(TArrowKey key, bool resize, int32_t pointerX, int32_t pointerY);
  // "選択範囲の調整": widens the right and bottom edges to whole MCUs or the picture's edge.
  void AdjustToMcus();

  // Replaces the selection by rect (kept inside the picture), shows it and enables the
  // selection commands.
  void Place(const TSelectionRect& rect);
  // The picture was replaced and is about to be repainted: no frame is left to erase.
  void Clear();
  // Shows rect as an idle selection on a picture that is about to be repainted.
  void Restore(const TSelectionRect& rect);

  // Whether the frame is on the paint area: a full repaint draws it once after the picture.
  bool FrameShown() const { return Shown; }

  // Whether AspectX : AspectY can be kept at all; a zero or negative term cannot.
  bool RatioUsable() const { return AspectX > 0 && AspectY > 0; }

  TSelectionRect SelectionRect;
  TSelectionState SelectionState = selNone;
  // At mouse-down: the anchor of a new selection in all four edges, or the rectangle a move
  // starts from.
  TSelectionRect DragStartRect;
  // The press point of a move, snapped down to the MCU grid.
  TGrabPoint MoveGrabPoint;
  int32_t AspectX = 0;
  int32_t AspectY = 0;
  bool KeepAspect = false;

 private:
  bool GridUsable() const;
  void EraseFrame();
  void DrawFrame();
  void Create(int32_t x, int32_t y, TTrimModeKind mode);
  void Move(int32_t x, int32_t y);
  void Resize(int32_t x, int32_t y);
  void ApplyRatio(TSelectionState handle);
  void KeepInsidePicture();

  TSelectionHost& Host;
  TViewGrid Grid;
  bool Shown = false;
};

}  // namespace tarvo
