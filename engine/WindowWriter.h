// Writes the window of a trim as a complete JPEG file from the model and the coefficient store.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>

#include "BlockSource.h"
#include "ByteStream.h"
#include "DcPicture.h"
#include "JpegError.h"
#include "JpegModel.h"
#include "Orientation.h"
#include "TrimWindow.h"

namespace tarvo {

// What every trim of one analysed file is written from.
struct TTrimSource {
  std::span<const std::uint8_t> Bytes;
  const TJpegModel& Model;
  // The blocks, laid out for Model.
  const TBlockSource& Blocks;
};

// What the output's header says besides the window's size.
struct TWindowHeader {
  // Every APP1 segment, before or after the scan, is left out.
  bool DropExif = false;
  // The blocks were transposed: the frame's sampling factors and every quantisation table are
  // written transposed with them.
  bool Transposed = false;
  // The Exif Orientation the output states: written into the kept Exif data, or with DropExif
  // and a value other than "as stored", in an Exif segment of its own.
  TOrientation Orientation;
};

// Where the main picture ends (one past its EOI) in the source and in the output.
struct TImageEnds {
  std::size_t Source = 0;
  std::size_t Output = 0;
};

// Writes the header segments, the window coded with tables chosen for it, and the source's
// tail (its APPn and COM segments, EOI and whatever follows) into output, which is empty, as
// header says; a kept Exif segment states the window's size. atRow is told each MCU row about to be
// coded. Up to parts threads code the scan at once, each a share of the window's MCU rows, with
// the bytes of one. Returns why the window cannot be written, or kNone with ends telling where the
// main picture ends, for the images stored after it to be put right. A dcPicture laid out by
// DcPictureFor for window is filled with the DC values of the blocks as they are coded.
EJpegError WriteWindow(const TTrimSource& source, const TTrimWindow& window,
                       const TWindowHeader& header, TByteStream& output,
                       const std::function<void(int)>& atRow, int parts, TImageEnds& ends,
                       TDcPicture* dcPicture = nullptr);

}  // namespace tarvo
