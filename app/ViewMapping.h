// The view rate and the mapping between view pixels (mouse, selection) and image pixels.
#pragma once

#include <array>
#include <cstdint>
#include <string_view>

namespace tarvo {

struct TViewRate {
  std::string_view Text;  // the item of the view-rate combo
  std::int32_t Num;
  std::int32_t Den;
};

// The items of Cbo_ViewRate, in item order. One of the two factors is always 1.
inline constexpr std::array<TViewRate, 7> kViewRates{{
    {" 12.5% (1/8)", 1, 8},
    {" 25.0% (1/4)", 1, 4},
    {" 50.0% (1/2)", 1, 2},
    {"100.0% (1/1)", 1, 1},
    {"200.0% (2/1)", 2, 1},
    {"400.0% (4/1)", 4, 1},
    {"800.0% (8/1)", 8, 1},
}};
inline constexpr int kViewRateOneToOne = 3;
// The combo's item after the rates: the picture shown whole in the view.
inline constexpr int kViewRateFit = static_cast<int>(kViewRates.size());
inline constexpr std::string_view kViewRateFitText = "ウィンドウに合わせる";

// The rate index kViewRateFit stands for: the largest of kViewRates at which a picture
// width x height pixels lies whole in an area areaWidth x areaHeight, else the smallest.
int FittingRateIndex(std::int32_t width, std::int32_t height, std::int32_t areaWidth,
                     std::int32_t areaHeight);

// The rate of a combo item index; no item (-1) or any index outside the list means 1/1.
TViewRate ViewRateAt(int index);

// The combo index after "拡大" / "縮小". With no item selected, zooming in picks the first item
// and zooming out stays without one.
int ZoomInIndex(int index);
int ZoomOutIndex(int index);

// Image to view, i * num / den, and view to image, v * den / num, each truncating.
std::int32_t ImageToView(std::int32_t image, std::int32_t num, std::int32_t den);
std::int32_t ViewToImage(std::int32_t view, std::int32_t num, std::int32_t den);
// A pointer position on a paint area showing a picture pictureSize image pixels wide (or high),
// in image pixels. The paint area's size is truncated, so its far edge may lie short of the
// picture's; a pointer on or past that edge reaches the picture's own edge.
std::int32_t PointerToImage(std::int32_t view, std::int32_t pictureSize, std::int32_t num,
                            std::int32_t den);

// Scroll-bar steps of the vertical bar for a visible height: one wheel notch is one line.
struct TScrollSteps {
  int Page;
  int Line;
};
TScrollSteps VerticalScrollSteps(int visibleHeight);

// The scroll position, along one axis, that keeps the picture point at the middle of a view
// visible pixels long where it was when the picture, oldSize view pixels long there, is shown
// newSize long; kept within the new scroll range. A zoom keeps the user's place this way.
int ScrollKeepingMiddle(int oldScroll, int visible, int oldSize, int newSize);

// How far the view scrolls on each tick of a drag held past its edge, per axis: towards the
// pointer, faster the farther out it is (up to a limit); 0 on an axis where it is inside.
// pointer is in the view's coordinates, visible the view's size.
int AutoScrollStep(int pointer, int visible);

// Width of the drop-down list of both toolbar combos: the trim-mode combo's widest title plus
// widest explanation, a margin, and room for a scroll bar when not every item fits.
int DropDownListWidth(int modeDropDownWidth, int itemCount, int visibleItems, int scrollBarWidth);

// Sizes and factors of the view at one rate. All arithmetic is integer and truncates, as the
// selection, the information text and the trim all convert with the same two formulas.
class TViewMapping {
 public:
  std::int32_t ViewScaleNum() const { return num_; }
  std::int32_t ViewScaleDen() const { return den_; }
  std::int32_t ViewWidth() const { return viewWidth_; }
  std::int32_t ViewHeight() const { return viewHeight_; }
  std::int32_t ViewMcuWidth() const { return viewMcuWidth_; }
  std::int32_t ViewMcuHeight() const { return viewMcuHeight_; }
  // The picture and its MCU in image pixels.
  std::int32_t PictureWidth() const { return pictureWidth_; }
  std::int32_t PictureHeight() const { return pictureHeight_; }
  std::int32_t McuWidth() const { return mcuWidth_; }
  std::int32_t McuHeight() const { return mcuHeight_; }

  // Image to view: i * Num / Den. View to image: v * Den / Num.
  std::int32_t ToView(std::int32_t image) const;
  std::int32_t ToImage(std::int32_t view) const;

  // Takes the rate of a combo item index (see ViewRateAt) and recomputes the sizes.
  void SetRateIndex(int index);
  // The picture's frame size and its MCU size in pixels (the engine's), which the sizes are
  // computed from.
  void SetPicture(std::int32_t width, std::int32_t height, std::int32_t mcuWidth,
                  std::int32_t mcuHeight);

 private:
  void Recompute();

  std::int32_t num_ = 1;
  std::int32_t den_ = 1;
  std::int32_t pictureWidth_ = 0;
  std::int32_t pictureHeight_ = 0;
  std::int32_t mcuWidth_ = 8;
  std::int32_t mcuHeight_ = 8;
  std::int32_t viewWidth_ = 0;
  std::int32_t viewHeight_ = 0;
  std::int32_t viewMcuWidth_ = 0;
  std::int32_t viewMcuHeight_ = 0;
};

}  // namespace tarvo
