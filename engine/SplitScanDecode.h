// A scan without restart markers decoded in two pieces at once. Nothing in the coded data says
// where an MCU after the first starts, so the later piece guesses: it starts at a byte near the
// middle as if an MCU started there, with DC predictors 0. Huffman codes fall into step within a
// few MCUs, after which its MCUs start where the true ones do; the piece before finds the first
// start they share, and from there the later piece's blocks are the true blocks, their DC values
// offset by the difference of the two decoders' predictors.
#pragma once

#include <array>

#include "BitStreamFile.h"
#include "CoefficientStore.h"
#include "JpegModel.h"
#include "ScanDecoder.h"

namespace tarvo {

// Decodes a sequential Huffman scan without restart markers from where state stands to the end
// of MCU row mcuRows - 1, as WalkScanOn would with predictor, in two pieces at once when the run
// is long enough (tuning). True when it did, leaving store, report, reader, predictor and state
// as the one-thread walk leaves them. False for a run it does not split, and whenever the later
// piece cannot be shown to agree with the walk (no shared MCU start, an error or a marker in its
// data, an end elsewhere): state, predictor and the reader then stand at the start of an MCU
// row the rows above which are decoded, the later piece's blocks are cleared, and the walk goes
// on from there, meeting any fault exactly as it would have.
bool DecodeInTwoPieces(const TJpegModel& model, const TScan& scan, TInBitStreamFile& reader,
                       TCoefficientStore& store, TScanReport& report,
                       std::array<int, TCoefficientStore::kMaxComponents>& predictor,
                       TScanWalkState& state, int mcuRows, const TSplitTuning& tuning);

}  // namespace tarvo
