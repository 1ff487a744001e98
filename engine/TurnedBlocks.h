// Lossless turns in the coefficient domain: the blocks of a cut moved to their turned places,
// each block's coefficients transposed and, for a mirror, its odd frequencies negated.
#pragma once

#include "CoefficientStore.h"
#include "JpegModel.h"
#include "OrientedTrim.h"

namespace tarvo {

// The model of cut's output: its size, and under a transposition each component's sampling
// factors (and the MCU's) exchanged. Everything else, tables and header segments included, is
// the source's.
TJpegModel TurnedModel(const TJpegModel& model, const TOrientedTrim& cut);

// Fills store, laid out for turned (TurnedModel of cut), with the blocks of cut moved and
// turned. cut must be Writable on the source's grid. Throws std::bad_alloc.
void TurnBlocks(const TJpegModel& model, const TCoefficientStore& source, const TOrientedTrim& cut,
                const TJpegModel& turned, TCoefficientStore& store);

// The zig-zag index of the coefficient that lands on zig-zag index k of a block transposed.
int TransposedZigzag(int k);

}  // namespace tarvo
