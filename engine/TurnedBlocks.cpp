#include "TurnedBlocks.h"

#include <array>
#include <cstddef>
#include <utility>

namespace tarvo {

namespace {

constexpr int kBlockSize = 64;

// Zig-zag index -> row-major position of the frequency (ITU-T T.81 Figure A.6).
constexpr std::array<int, kBlockSize> kNatural = {
    0,  1,  8,  16, 9,  2,  3,  10, 17, 24, 32, 25, 18, 11, 4,  5,  12, 19, 26, 33, 40, 48,
    41, 34, 27, 20, 13, 6,  7,  14, 21, 28, 35, 42, 49, 56, 57, 50, 43, 36, 29, 22, 15, 23,
    30, 37, 44, 51, 58, 59, 52, 45, 38, 31, 39, 46, 53, 60, 61, 54, 47, 55, 62, 63};

constexpr std::array<int, kBlockSize> kZigzag = [] {
  std::array<int, kBlockSize> zigzag{};
  for (int k = 0; k < kBlockSize; ++k) zigzag[static_cast<std::size_t>(kNatural[k])] = k;
  return zigzag;
}();

// Where each coefficient of a turned block comes from. The DCT basis of horizontal frequency v
// is symmetric about the block's middle for even v and antisymmetric for odd v, so mirroring
// the samples negates exactly the odd ones; transposing the samples transposes the frequencies.
struct TCoefficientMove {
  std::array<std::uint8_t, kBlockSize> From{};
  std::array<std::int16_t, kBlockSize> Sign{};
};

TCoefficientMove MoveOf(TOrientation turn) {
  TCoefficientMove move;
  for (int k = 0; k < kBlockSize; ++k) {
    const int row = kNatural[static_cast<std::size_t>(k)] / 8;
    const int col = kNatural[static_cast<std::size_t>(k)] % 8;
    const int from = turn.Transpose ? col * 8 + row : row * 8 + col;
    const bool negated = (turn.MirrorX && col % 2 == 1) != (turn.MirrorY && row % 2 == 1);
    move.From[static_cast<std::size_t>(k)] =
        static_cast<std::uint8_t>(kZigzag[static_cast<std::size_t>(from)]);
    move.Sign[static_cast<std::size_t>(k)] = negated ? -1 : 1;
  }
  return move;
}

// Source block index along one source axis for output block i along the output axis it
// becomes. A reversed axis counts back from the rectangle's far edge, which lies on the grid.
struct TBlockAxis {
  int Start = 0;
  int End = 0;
  bool Reversed = false;
  std::size_t At(int i) const {
    return static_cast<std::size_t>(Reversed ? End - 1 - i : Start + i);
  }
};

TBlockAxis BlockAxis(std::int32_t low, std::int32_t high, int mcu, int sampling, bool reversed) {
  return {low / mcu * sampling, high / mcu * sampling, reversed};
}

}  // namespace

int TransposedZigzag(int k) {
  const int natural = kNatural[static_cast<std::size_t>(k)];
  return kZigzag[static_cast<std::size_t>(natural % 8 * 8 + natural / 8)];
}

TJpegModel TurnedModel(const TJpegModel& model, const TOrientedTrim& cut) {
  TJpegModel turned = model;
  turned.Width = cut.Width();
  turned.Height = cut.Height();
  if (cut.Turn.Transpose) {
    for (TFrameComponent& component : turned.Components) {
      std::swap(component.HSampling, component.VSampling);
    }
  }
  turned.LayOutBlocks();
  return turned;
}

void TurnBlocks(const TJpegModel& model, const TCoefficientStore& source, const TOrientedTrim& cut,
                const TJpegModel& turned, TCoefficientStore& store) {
  store.Allocate(turned, false);
  struct TFinish {
    TCoefficientStore& store;
    ~TFinish() { store.Finish(); }
  } const finish{store};
  const TCoefficientMove move = MoveOf(cut.Turn);
  const TOrientation& turn = cut.Turn;
  const int mcuWidth = model.McuWidth();
  const int mcuHeight = model.McuHeight();
  for (int mcuRow = 0; mcuRow < turned.McuRows; ++mcuRow) {
    for (std::size_t slot = 0; slot < model.Components.size(); ++slot) {
      const TFrameComponent& component = model.Components[slot];
      const TBlockAxis xs =
          BlockAxis(cut.Source.Left, cut.Source.Right, mcuWidth, component.HSampling,
                    turn.Transpose ? turn.MirrorY : turn.MirrorX);
      const TBlockAxis ys =
          BlockAxis(cut.Source.Top, cut.Source.Bottom, mcuHeight, component.VSampling,
                    turn.Transpose ? turn.MirrorX : turn.MirrorY);
      const TFrameComponent& out = turned.Components[slot];
      const int cols = turned.McuCols * out.HSampling;
      const int s = static_cast<int>(slot);
      for (int r = mcuRow * out.VSampling; r < (mcuRow + 1) * out.VSampling; ++r) {
        for (int c = 0; c < cols; ++c) {
          const std::int16_t* from = turn.Transpose ? source.Block(s, ys.At(c), xs.At(r))
                                                    : source.Block(s, ys.At(r), xs.At(c));
          std::int16_t* to =
              store.Block(s, static_cast<std::size_t>(r), static_cast<std::size_t>(c));
          for (std::size_t k = 0; k < kBlockSize; ++k) {
            to[k] = static_cast<std::int16_t>(from[move.From[k]] * move.Sign[k]);
          }
        }
      }
    }
    store.Advance(mcuRow + 1);
  }
}

}  // namespace tarvo
