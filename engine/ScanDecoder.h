// The scan decoders, which fill the coefficient store from the coded data of a file's scans.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "BitStreamFile.h"
#include "CoefficientStore.h"
#include "JpegError.h"
#include "JpegModel.h"

namespace tarvo {

// Told the MCU row a scan decoder's walk has reached.
using TRowProc = std::function<void(int)>;

// What a scan decoder tells besides its blocks: the MCU row its walk has reached, as it goes;
// what it read past to go on, as libjpeg reads past it; and when its data end before its last
// block (kScanTooShort), the MCU rows whose every block it had decoded by then.
struct TScanReport {
  TRowProc AtRow;
  std::vector<TJpegWarning> Warnings;
  int CompleteRows = 0;
  // The MCUs of restart intervals whose data could not be read, which the walk passed over to
  // read on at the next restart marker, as libjpeg does.
  std::vector<TMcuRange> Damaged;
};

// Decodes a scan of a sequential frame: every block of its components whole (ITU-T T.81 F.2),
// in the first mcuRows MCU rows. Returns why it failed, also when the data end before the last
// block it decodes.
EJpegError DecodeSequentialScan(const TJpegModel& model, const TScan& scan,
                                TInBitStreamFile& reader, TCoefficientStore& store,
                                TScanReport& report, int mcuRows);

// Decodes a scan of a progressive frame into blocks that earlier scans of it may have begun:
// its band of coefficients, or one more bit of them (ITU-T T.81 G.1.2). The store must start
// cleared.
EJpegError DecodeProgressiveScan(const TJpegModel& model, const TScan& scan,
                                 TInBitStreamFile& reader, TCoefficientStore& store,
                                 TScanReport& report);

}  // namespace tarvo
