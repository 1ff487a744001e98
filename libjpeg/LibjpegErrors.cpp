#include "LibjpegErrors.h"

// jerror.h needs jpeglib.h first.
#include <jerror.h>

namespace tarvo {

namespace {

void JumpOnError(j_common_ptr info) {
  auto* errors = reinterpret_cast<TLibjpegErrors*>(info->err);
  errors->Code = info->err->msg_code;
  info->err->format_message(info, errors->Message);
  std::longjmp(errors->Jump, 1);
}

void CountWarning(j_common_ptr info, int level) {
  if (level >= 0) return;
  const int code = info->err->msg_code;
  if (code == JWRN_JFIF_MAJOR || code == JWRN_ADOBE_XFORM) return;
  ++info->err->num_warnings;
  if (!reinterpret_cast<TLibjpegErrors*>(info->err)->PrintWarnings) return;
  char text[JMSG_LENGTH_MAX];
  info->err->format_message(info, text);
  std::fprintf(stderr, "libjpeg: %s\n", text);
}

}  // namespace

jpeg_error_mgr* UseLibjpegErrors(TLibjpegErrors& errors) {
  jpeg_std_error(&errors.Base);
  errors.Base.error_exit = JumpOnError;
  errors.Base.emit_message = CountWarning;
  errors.Code = 0;
  errors.Message[0] = '\0';
  return &errors.Base;
}

}  // namespace tarvo
