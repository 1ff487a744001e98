#include "OutputCheck.h"

#include <csetjmp>
#include <cstdio>

#include <jpeglib.h>
// jerror.h needs jpeglib.h first.
#include <jerror.h>

namespace tarvo::fuzzing {
namespace {

struct ErrorManager {
  jpeg_error_mgr pub;
  std::jmp_buf jump;
};

void ErrorExit(j_common_ptr info) {
  std::longjmp(reinterpret_cast<ErrorManager*>(info->err)->jump, 1);
}

// Counts libjpeg's warnings and says which they are, so that a finding explains itself.
// Warnings about what an APP0 or APP14 segment says are the source's: those segments are
// copied unchanged, and the picture decodes all the same.
void CountWarning(j_common_ptr info, int level) {
  if (level >= 0) return;
  const int code = info->err->msg_code;
  if (code == JWRN_JFIF_MAJOR || code == JWRN_ADOBE_XFORM) return;
  ++info->err->num_warnings;
  char text[JMSG_LENGTH_MAX];
  info->err->format_message(info, text);
  std::fprintf(stderr, "libjpeg: %s\n", text);
}

}  // namespace

// No C++ objects with destructors on this frame: libjpeg's errors leave it by longjmp.
bool OutputDecodes(std::span<const std::uint8_t> jpeg, const TTrimRect& rect) {
  ErrorManager errors;
  jpeg_decompress_struct info;
  info.err = jpeg_std_error(&errors.pub);
  errors.pub.error_exit = ErrorExit;
  errors.pub.emit_message = CountWarning;
  if (setjmp(errors.jump)) {
    char text[JMSG_LENGTH_MAX];
    errors.pub.format_message(reinterpret_cast<j_common_ptr>(&info), text);
    jpeg_destroy_decompress(&info);
    std::fprintf(stderr, "trimmed output does not decode: %s\n", text);
    return false;
  }
  jpeg_create_decompress(&info);
  jpeg_mem_src(&info, jpeg.data(), static_cast<unsigned long>(jpeg.size()));
  jpeg_read_header(&info, TRUE);
  const bool sizeMatches = static_cast<std::int64_t>(info.image_width) == rect.Right - rect.Left &&
                           static_cast<std::int64_t>(info.image_height) == rect.Bottom - rect.Top;
  jpeg_read_coefficients(&info);
  jpeg_finish_decompress(&info);
  const long warnings = errors.pub.num_warnings;
  jpeg_destroy_decompress(&info);
  if (!sizeMatches) std::fprintf(stderr, "trimmed output declares the wrong size\n");
  if (warnings != 0) std::fprintf(stderr, "trimmed output decodes with %ld warnings\n", warnings);
  return sizeMatches && warnings == 0;
}

}  // namespace tarvo::fuzzing
