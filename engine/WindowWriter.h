// Writes the window of a trim as a complete JPEG file from the model and the coefficient store:
// the scan is coded first, then written once between the segments its metadata plan decides.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>

#include "BitStreamFile.h"
#include "BlockSource.h"
#include "ByteStream.h"
#include "CutMetadata.h"
#include "DcPicture.h"
#include "JpegError.h"
#include "JpegModel.h"
#include "OutputPieces.h"
#include "RestartParts.h"
#include "ScanBand.h"
#include "TrimWindow.h"
#include "WindowTables.h"
#include "Wipe.h"

namespace tarvo {

// What every trim of one analysed file is written from.
struct TTrimSource {
  std::span<const std::uint8_t> Bytes;
  const TJpegModel& Model;
  // The blocks, laid out for Model.
  const TBlockSource& Blocks;
};

// The window's scan coded, and the tables it was coded with.
struct TCodedWindow {
  TWindowTables Tables;
  // The coded data are Before, Scan and After one after the other, the last byte padded with
  // 1-bits. Before and After are the source's own bytes where a copy takes them (TScanCopy),
  // else empty.
  std::span<const std::uint8_t> Before;
  TByteStream Scan;
  std::span<const std::uint8_t> After;
};

// A whole picture with rows FirstRow to EndRow - 1 changed (wiped): the other rows are copied
// byte for byte from the source's single scan, which codes them as the output does with the
// source's tables, and only the changed rows are written anew. First and End are the places in
// the source's coded data where rows FirstRow and EndRow start. Band holds where each MCU of the
// changed rows starts, from the row above them on: an MCU no wipe touches whose DC predictors
// are the source's is copied bit for bit, the others are coded, with the wipes' fills or their
// blocks decoded anew. The last blocks before EndRow must end with the DC values the source's
// do, so that its rows decode the same, and the changed rows are made to end in the bit of a
// byte where the source's do: coded blocks without AC coefficients take runs of 16 zeros (ZRL)
// before their end of block, which decode to the same block.
struct TScanCopy {
  int FirstRow = 0;
  int EndRow = 0;
  TBitPlace First;
  TBitPlace End;
  TScanBand Band;
  // The source's DC values of the band's blocks, which the fills average.
  TDcPicture BandDc;
  const TWipes* Wipes = nullptr;
  // Whether the rows after the band are known to stand as coded: a whole decoding read them, or
  // there are none.
  bool RestRead = false;
};

// A whole picture whose one scan has restart markers, with the intervals Changed flags changed
// (wiped): the others are copied byte for byte from the source, markers and all, and in the
// changed ones, from fresh DC predictors, the MCUs no wipe touches whose predictors are the
// source's go over bit for bit, the others are coded as a band's are (TScanCopy); each changed
// interval is padded to a byte with 1-bits and ended by its own marker, so that every interval
// keeps its place and number.
struct TRestartCopy {
  TIntervalSet Changed;
  // Every restart marker of the source's scan, in turn.
  std::vector<TRestartMarker> Markers;
  // Where each MCU of the changed intervals ends in the source's coded data, and the DC
  // predictors there, in coding order.
  std::vector<TMcuStart> Ends;
  // The source's DC values, of the changed intervals' blocks at least.
  TDcPicture Dc;
  const TWipes* Wipes = nullptr;
};

// Codes window with the file's own tables where they code every symbol in it, else with tables
// chosen for it. atRow is told each MCU row about to be coded. Up to parts threads code the scan
// at once, each a share of the window's MCU rows, with the bytes of one. A dcPicture laid out by
// DcPictureFor for window is filled with the DC values of the blocks as they are coded. Returns
// why the window cannot be written, or kNone. With copy, only its changed rows are written, with
// the source's tables, and dcPicture is left as it is; kUncodableCoefficient when they cannot
// be, as the rows copied are not decoded. With restarts likewise, only its changed intervals.
EJpegError CodeWindow(const TTrimSource& source, const TTrimWindow& window,
                      const std::function<void(int)>& atRow, int parts, TCodedWindow& coded,
                      TDcPicture* dcPicture = nullptr, const TScanCopy* copy = nullptr,
                      const TRestartCopy* restarts = nullptr);

// The coded window as a picture with no metadata, for a picture maker to draw from: its header
// keeps only the APP0 and APP14 segments, which tell how its colours are coded, and without
// withScan the coded data are left out (the header is all a DC picture needs). transposed: the
// blocks were, and the frame's sampling factors and quantisation tables are written so.
void WriteBarePicture(const TTrimSource& source, const TTrimWindow& window, bool transposed,
                      const TCodedWindow& coded, bool withScan, TByteStream& output);

// Writes the whole cut into output: SOI, the header segments as plan decides them, the coded
// window, the segments before EOI likewise, EOI, then the images stored after the main picture
// and what the source holds after them. The MP entries of plan's index are then set to where
// each image landed: the only bytes written twice. The pieces borrow the coded window's bytes
// and the source's: both must outlive them.
void WriteOutput(const TTrimSource& source, const TTrimWindow& window, bool transposed,
                 const TCodedWindow& coded, const TMetadataPlan& plan, TOutputPieces& output);

}  // namespace tarvo
