// A one-scan sequential picture decoded restart interval by restart interval: every interval
// starts with fresh DC predictors (ITU-T T.81 F.2.1.3.1), so the intervals a trim needs can be
// decoded alone, and the parts of a picture on several threads at once.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "BitStreamFile.h"
#include "CoefficientStore.h"
#include "DcPicture.h"
#include "JpegModel.h"
#include "ScanBand.h"
#include "ScanDecoder.h"
#include "TrimWindow.h"

namespace tarvo {

// One flag per restart interval of a one-scan picture with restart markers, in coding order:
// whether a decoding takes that interval.
using TIntervalSet = std::vector<char>;

// A restart marker inside the coded data: its first 0xFF (fill bytes included), where the next
// interval's data start, and its number n of RSTn.
struct TRestartMarker {
  std::size_t Start = 0;
  std::size_t Next = 0;
  int Number = 0;
};

// The restart intervals of model's one scan (SingleScan, RestartInterval not 0).
std::size_t RestartIntervalCount(const TJpegModel& model);
// The first count restart markers of model's one scan, found by their bytes; nothing unless
// there are as many, each numbered in turn.
std::optional<std::vector<TRestartMarker>> RestartMarkersInTurn(const TJpegModel& model,
                                                                std::span<const std::uint8_t> bytes,
                                                                std::size_t count);
// Reads past the intervals of model's one sequential Huffman scan that intervals flags, as
// DecodeRestartIntervals would decode them, in up to parts parts at once, noting every block's
// DC value in dc if given. restarts are every marker of the scan (RestartMarkersInTurn). True
// once each interval read ends exactly where its marker starts, the scan's last where the scan's
// data end: the sequential decode then reads them as they were read here. mcuEnds, if given and
// holding a place for every MCU of the scan, receives where each MCU read ends and the DC
// predictors there, in coding order: the last blocks of an MCU at the picture's right or bottom
// edge pad it, and dc leaves them out.
bool WalkRestartIntervals(const TJpegModel& model, std::span<const std::uint8_t> bytes,
                          const std::vector<TRestartMarker>& restarts,
                          const TIntervalSet& intervals, int parts, TDcPicture* dc,
                          std::vector<TMcuStart>* mcuEnds = nullptr);

// The intervals of model's one scan (SingleScan, RestartInterval not 0) that hold any MCU of
// windows, which lie inside the picture.
TIntervalSet IntervalsHolding(const TJpegModel& model, std::span<const TTrimWindow> windows);
// Whether intervals, made for model, hold every MCU of window.
bool IntervalsCover(const TJpegModel& model, const TIntervalSet& intervals,
                    const TTrimWindow& window);

// Decodes the intervals of model's one sequential Huffman scan (SingleScan) from the file's bytes
// in up to parts parts, the first on the calling thread, which alone calls atRow with the MCU row
// it reaches. The restart markers are found by their bytes; intervals no flag asks for are never
// decoded. True once every block of the intervals is decoded exactly as the sequential decode
// decodes it: every restart marker up to the last interval taken stands in turn, and every
// interval taken ends exactly where its marker starts. False when that cannot be shown: the
// caller then decodes the scan sequentially, which also tells why a damaged scan fails.
bool DecodeRestartIntervals(const TJpegModel& model, std::span<const std::uint8_t> bytes,
                            TCoefficientStore& store, const TRowProc& atRow,
                            const TIntervalSet& intervals, int parts);

// Decodes MCU rows firstRow to endRow - 1 as DecodeRestartIntervals does, in two parts or more:
// firstRow must start an interval, and rows that end before the scan does must end one. False
// also when they do not, or for fewer than two rows or parts. markerAfter, when given, then
// receives where the marker after the rows starts, for a sequential decode to go on from.
bool DecodeInRestartParts(const TJpegModel& model, std::span<const std::uint8_t> bytes,
                          TCoefficientStore& store, const TRowProc& atRow, int firstRow, int endRow,
                          int parts, std::size_t* markerAfter = nullptr);

}  // namespace tarvo
