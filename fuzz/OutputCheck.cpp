#include "OutputCheck.h"

#include <algorithm>
#include <cstdio>

#include <jpeglib.h>

#include "LibjpegErrors.h"

namespace tarvo::fuzzing {
namespace {

int RoundUp(unsigned value, int multiple) {
  return static_cast<int>((value + multiple - 1) / multiple * multiple);
}

}  // namespace

// No C++ objects with destructors on this frame: libjpeg's errors leave it by longjmp.
bool ReadCoefficientImage(std::span<const std::uint8_t> jpeg, TCoefficientImage& image,
                          bool reportWarnings) {
  TLibjpegErrors errors;
  jpeg_decompress_struct info;
  info.err = UseLibjpegErrors(errors);
  errors.PrintWarnings = reportWarnings;
  if (setjmp(errors.Jump)) {
    jpeg_destroy_decompress(&info);
    if (errors.PrintWarnings) std::fprintf(stderr, "libjpeg cannot read it: %s\n", errors.Message);
    return false;
  }
  jpeg_create_decompress(&info);
  // Beyond the bound libjpeg would need a backing store, which it lacks: it refuses the file.
  info.mem->max_memory_to_use = static_cast<long>(kMemoryBound);
  jpeg_mem_src(&info, jpeg.data(), static_cast<unsigned long>(jpeg.size()));
  jpeg_read_header(&info, TRUE);
  jvirt_barray_ptr* arrays = jpeg_read_coefficients(&info);
  image.width = static_cast<long>(info.image_width);
  image.height = static_cast<long>(info.image_height);
  image.components.resize(static_cast<std::size_t>(info.num_components));
  for (int c = 0; c < info.num_components; ++c) {
    const jpeg_component_info& from = info.comp_info[c];
    TCoefficientImage::TComponent& to = image.components[static_cast<std::size_t>(c)];
    to.h = from.h_samp_factor;
    to.v = from.v_samp_factor;
    to.widthInBlocks = static_cast<int>(from.width_in_blocks);
    to.heightInBlocks = static_cast<int>(from.height_in_blocks);
    to.storedWidth = RoundUp(from.width_in_blocks, from.h_samp_factor);
    to.storedHeight = RoundUp(from.height_in_blocks, from.v_samp_factor);
    to.blocks.resize(static_cast<std::size_t>(to.storedWidth) * to.storedHeight * 64);
    for (int row = 0; row < to.storedHeight; ++row) {
      JBLOCKARRAY rows = (*info.mem->access_virt_barray)(
          reinterpret_cast<j_common_ptr>(&info), arrays[c], static_cast<JDIMENSION>(row), 1, FALSE);
      for (int col = 0; col < to.storedWidth; ++col) {
        std::copy_n(
            rows[0][col], 64,
            to.blocks.begin() + (static_cast<std::ptrdiff_t>(row) * to.storedWidth + col) * 64);
      }
    }
  }
  jpeg_finish_decompress(&info);
  image.warnings = errors.Base.num_warnings;
  jpeg_destroy_decompress(&info);
  return true;
}

bool OutputDecodes(std::span<const std::uint8_t> jpeg, const TTrimRect& rect,
                   TCoefficientImage& image) {
  if (!ReadCoefficientImage(jpeg, image, true)) {
    std::fprintf(stderr, "trimmed output does not decode\n");
    return false;
  }
  const bool sizeMatches =
      image.width == rect.Right - rect.Left && image.height == rect.Bottom - rect.Top;
  if (!sizeMatches) std::fprintf(stderr, "trimmed output declares the wrong size\n");
  if (image.warnings != 0) {
    std::fprintf(stderr, "trimmed output decodes with %ld warnings\n", image.warnings);
  }
  return sizeMatches && image.warnings == 0;
}

bool WindowMatches(const TCoefficientImage& source, const TCoefficientImage& output, int firstCol,
                   int firstRow) {
  if (source.components.size() != output.components.size()) {
    std::fprintf(stderr, "trimmed output has another number of components\n");
    return false;
  }
  const bool single = source.components.size() == 1;
  for (std::size_t c = 0; c < output.components.size(); ++c) {
    const TCoefficientImage::TComponent& in = source.components[c];
    const TCoefficientImage::TComponent& out = output.components[c];
    const int h = single ? 1 : in.h;
    const int v = single ? 1 : in.v;
    for (int row = 0; row < out.heightInBlocks; ++row) {
      for (int col = 0; col < out.widthInBlocks; ++col) {
        const int sourceRow = firstRow * v + row;
        const int sourceCol = firstCol * h + col;
        if (sourceRow >= in.storedHeight || sourceCol >= in.storedWidth ||
            !std::equal(out.Block(row, col), out.Block(row, col) + 64,
                        in.Block(sourceRow, sourceCol))) {
          std::fprintf(stderr, "component %zu block (%d, %d) is not the source's\n", c, row, col);
          return false;
        }
      }
    }
  }
  return true;
}

}  // namespace tarvo::fuzzing
