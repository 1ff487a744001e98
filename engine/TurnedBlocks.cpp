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

// Where each coefficient of a turned block comes from, in zig-zag order, and whether it is
// negated. The DCT basis of horizontal frequency v is symmetric about the block's middle for
// even v and antisymmetric for odd v, so mirroring the samples negates exactly the odd ones;
// transposing the samples transposes the frequencies.
struct TCoefficientMove {
  std::array<int, kBlockSize> From{};
  std::array<bool, kBlockSize> Negated{};
};

constexpr TCoefficientMove MoveOf(TOrientation turn) {
  TCoefficientMove move;
  for (std::size_t k = 0; k < std::size_t{kBlockSize}; ++k) {
    const int row = kNatural[k] / 8;
    const int col = kNatural[k] % 8;
    move.From[k] =
        kZigzag[static_cast<std::size_t>(turn.Transpose ? col * 8 + row : row * 8 + col)];
    move.Negated[k] = (turn.MirrorX && col % 2 == 1) != (turn.MirrorY && row % 2 == 1);
  }
  return move;
}

// One function per turn, its moves known to the compiler: 64 loads and stores, some negated,
// with no table to read.
template <bool Transpose, bool MirrorX, bool MirrorY, std::size_t... K>
void MoveCoefficients(const std::int16_t* from, std::int16_t* to, std::index_sequence<K...>) {
  constexpr TCoefficientMove kMove = MoveOf({Transpose, MirrorX, MirrorY});
  ((to[K] =
        static_cast<std::int16_t>(kMove.Negated[K] ? -from[kMove.From[K]] : from[kMove.From[K]])),
   ...);
}

template <bool Transpose, bool MirrorX, bool MirrorY>
void TurnBlock(const std::int16_t* from, std::int16_t* to) {
  MoveCoefficients<Transpose, MirrorX, MirrorY>(from, to, std::make_index_sequence<kBlockSize>());
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

TTurnedBlocks::TTurnedBlocks(const TJpegModel& model, const TCoefficientStore& source,
                             const TOrientedTrim& cut, const TWipes* wipes)
    : source_(source),
      wipes_(wipes != nullptr && !wipes->Empty() ? wipes : nullptr),
      transpose_(cut.Turn.Transpose) {
  const TOrientation& turn = cut.Turn;
  constexpr TTurnBlock kTurns[] = {TurnBlock<false, false, false>, TurnBlock<false, false, true>,
                                   TurnBlock<false, true, false>,  TurnBlock<false, true, true>,
                                   TurnBlock<true, false, false>,  TurnBlock<true, false, true>,
                                   TurnBlock<true, true, false>,   TurnBlock<true, true, true>};
  turnBlock_ = kTurns[(turn.Transpose ? 4 : 0) + (turn.MirrorX ? 2 : 0) + (turn.MirrorY ? 1 : 0)];
  const int mcuWidth = model.McuWidth();
  const int mcuHeight = model.McuHeight();
  const bool reversedX = turn.Transpose ? turn.MirrorY : turn.MirrorX;
  const bool reversedY = turn.Transpose ? turn.MirrorX : turn.MirrorY;
  for (std::size_t slot = 0; slot < model.Components.size(); ++slot) {
    const TFrameComponent& component = model.Components[slot];
    xs_[slot] = {cut.Source.Left / mcuWidth * component.HSampling,
                 cut.Source.Right / mcuWidth * component.HSampling, reversedX};
    ys_[slot] = {cut.Source.Top / mcuHeight * component.VSampling,
                 cut.Source.Bottom / mcuHeight * component.VSampling, reversedY};
  }
}

const std::int16_t* TTurnedBlocks::Block(int slot, std::size_t row, std::size_t col,
                                         std::int16_t* scratch) const {
  const auto s = static_cast<std::size_t>(slot);
  const TAxis& xs = xs_[s];
  const TAxis& ys = ys_[s];
  if (!transpose_) return At(slot, ys.At(row), xs.At(col), scratch);
#if defined(__has_builtin)
#if __has_builtin(__builtin_prefetch)
  // Along an output row, a transposed view walks down a column of the source, a row of the
  // store apart each step, where the processor cannot guess the next block: it is asked for a
  // few blocks ahead.
  constexpr std::size_t kAhead = 4;
  if (col + kAhead < static_cast<std::size_t>(ys.End - ys.Start)) {
    const std::int16_t* ahead = source_.Block(slot, ys.At(col + kAhead), xs.At(row));
    __builtin_prefetch(ahead);
    __builtin_prefetch(ahead + kBlockSize / 2);
  }
#endif
#endif
  return At(slot, ys.At(col), xs.At(row), scratch);
}

const std::int16_t* TTurnedBlocks::At(int slot, std::size_t row, std::size_t col,
                                      std::int16_t* scratch) const {
  if (wipes_ != nullptr) {
    if (const std::int16_t* fill = wipes_->Fill(slot, row, col, scratch)) return fill;
  }
  turnBlock_(source_.Block(slot, row, col), scratch);
  return scratch;
}

}  // namespace tarvo
