#include "PictureDecoder.h"

#include <cstdint>
#include <cstdio>

#include <jerror.h>
#include <jpeglib.h>

#include "LibjpegErrors.h"
#include "WindowTexts.h"

namespace tarvo {

namespace {

// Everything the decode needs, kept off DecodeInto's frame. Pixels is allocated once the
// header gives the size; Allocate must not throw and returns null when there is no memory.
struct TDecodeJob {
  const unsigned char* Data;
  unsigned long Size;
  unsigned Reduction;
  bool HeaderOnly;
  unsigned FrameWidth;
  unsigned FrameHeight;
  jpeg_decompress_struct Info;
  TLibjpegErrors Error;
  void* Target;
  unsigned char* (*Allocate)(void* target, unsigned width, unsigned height, std::size_t* stride);
};

constexpr int kRowsPerRead = 16;

// libjpeg-turbo gives four-component pictures as CMYK only. Adobe's applications write CMYK
// inverted (0 is full ink), and a file with their segment is read that way; others directly.
void CmykToRgb(const JSAMPLE* cmyk, unsigned char* rgb, JDIMENSION width, bool inverted) {
  for (JDIMENSION x = 0; x < width; ++x, cmyk += 4, rgb += 3) {
    const unsigned k = inverted ? cmyk[3] : 255u - cmyk[3];
    for (int i = 0; i < 3; ++i) {
      const unsigned ink = inverted ? cmyk[i] : 255u - cmyk[i];
      rgb[i] = static_cast<unsigned char>((ink * k + 127) / 255);
    }
  }
}

// Returns 0 on success or libjpeg's message code of the failure.
int DecodeInto(TDecodeJob* job) {
  // Corrupt-data warnings are not errors for display: libjpeg fills what it cannot decode.
  job->Info.err = UseLibjpegErrors(job->Error);
  if (setjmp(job->Error.Jump) != 0) {
    jpeg_destroy_decompress(&job->Info);
    return job->Error.Code;
  }
  jpeg_create_decompress(&job->Info);
  jpeg_mem_src(&job->Info, job->Data, job->Size);
  jpeg_read_header(&job->Info, TRUE);
  job->FrameWidth = job->Info.image_width;
  job->FrameHeight = job->Info.image_height;
  if (job->HeaderOnly) {
    jpeg_destroy_decompress(&job->Info);
    return 0;
  }
  const bool fourComponents =
      job->Info.jpeg_color_space == JCS_CMYK || job->Info.jpeg_color_space == JCS_YCCK;
  job->Info.out_color_space = fourComponents ? JCS_CMYK : JCS_RGB;
  job->Info.scale_num = 1;
  job->Info.scale_denom = job->Reduction;
  jpeg_start_decompress(&job->Info);
  std::size_t stride = 0;
  unsigned char* pixels =
      job->Allocate(job->Target, job->Info.output_width, job->Info.output_height, &stride);
  if (pixels == nullptr) {
    jpeg_destroy_decompress(&job->Info);
    return JERR_OUT_OF_MEMORY;
  }
  if (fourComponents) {
    // One row at a time through a row of libjpeg's own memory, freed with the decompressor.
    JSAMPARRAY row = (*job->Info.mem->alloc_sarray)(reinterpret_cast<j_common_ptr>(&job->Info),
                                                    JPOOL_IMAGE, job->Info.output_width * 4, 1);
    while (job->Info.output_scanline < job->Info.output_height) {
      unsigned char* target = pixels + job->Info.output_scanline * stride;
      jpeg_read_scanlines(&job->Info, row, 1);
      CmykToRgb(row[0], target, job->Info.output_width, job->Info.saw_Adobe_marker != 0);
    }
    jpeg_finish_decompress(&job->Info);
    jpeg_destroy_decompress(&job->Info);
    return 0;
  }
  JSAMPROW rows[kRowsPerRead];
  while (job->Info.output_scanline < job->Info.output_height) {
    const JDIMENSION first = job->Info.output_scanline;
    const JDIMENSION left = job->Info.output_height - first;
    const JDIMENSION count = left < kRowsPerRead ? left : kRowsPerRead;
    for (JDIMENSION i = 0; i < count; ++i) {
      rows[i] = pixels + (first + i) * stride;
    }
    jpeg_read_scanlines(&job->Info, rows, count);
  }
  jpeg_finish_decompress(&job->Info);
  jpeg_destroy_decompress(&job->Info);
  return 0;
}

// Frame sizes go up to 65535 x 65535, 12 GiB of pixels. A file that claims that much is not a
// photo to show; refusing it beats letting the system run out of memory.
constexpr std::uint64_t kMaxPictureBytes = std::uint64_t{1} << 31;

unsigned char* AllocateImage(void* target, unsigned width, unsigned height,
                             std::size_t* stride) noexcept {
  if (std::uint64_t{width} * height * 3 > kMaxPictureBytes) {
    return nullptr;
  }
  auto* image = static_cast<QImage*>(target);
  *image = QImage(static_cast<int>(width), static_cast<int>(height), QImage::Format_RGB888);
  if (image->isNull()) {
    return nullptr;
  }
  *stride = static_cast<std::size_t>(image->bytesPerLine());
  return image->bits();
}

}  // namespace

namespace {

std::string PictureErrorText(int code, QSize frame) {
  // Memory is what a picture of a frame this size lacks: the user learns it is the size.
  if (code == JERR_OUT_OF_MEMORY && !frame.isEmpty()) {
    return QString::fromUtf8(kMsgPictureTooLarge)
        .arg(frame.width())
        .arg(frame.height())
        .toStdString();
  }
  return "JPEG エラー #" + std::to_string(code);
}

}  // namespace

EPictureError::EPictureError(int code, QSize frame)
    : std::runtime_error(PictureErrorText(code, frame)), code_(code) {}

QSize ReadPictureFrame(std::span<const std::uint8_t> jpeg) {
  TDecodeJob job{};
  job.Data = jpeg.data();
  job.Size = static_cast<unsigned long>(jpeg.size());
  job.HeaderOnly = true;
  const int code = DecodeInto(&job);
  if (code != 0) {
    throw EPictureError(code);
  }
  return QSize(static_cast<int>(job.FrameWidth), static_cast<int>(job.FrameHeight));
}

TPicture DecodePicture(std::span<const std::uint8_t> jpeg, int reduction) {
  TPicture picture;
  TDecodeJob job{};
  job.Data = jpeg.data();
  job.Size = static_cast<unsigned long>(jpeg.size());
  job.Reduction = static_cast<unsigned>(reduction);
  job.Target = &picture.Pixels;
  job.Allocate = AllocateImage;
  const int code = DecodeInto(&job);
  if (code != 0) {
    throw EPictureError(code,
                        QSize(static_cast<int>(job.FrameWidth), static_cast<int>(job.FrameHeight)));
  }
  picture.Frame = QSize(static_cast<int>(job.FrameWidth), static_cast<int>(job.FrameHeight));
  picture.Reduction = reduction;
  return picture;
}

}  // namespace tarvo
