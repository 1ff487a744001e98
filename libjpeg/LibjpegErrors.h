// One way of handling libjpeg-turbo's errors for every caller of it: the window's decoder,
// the fuzz target and the tests.
#pragma once

#include <csetjmp>
#include <cstdio>

#include <jpeglib.h>

namespace tarvo {

// libjpeg reports a fatal error by calling error_exit, which must not return: it jumps back to
// Jump, set by the caller with setjmp in a small function that holds no C++ objects with
// destructors on its frame, so the jump skips no cleanup. Warnings are counted in
// Base.num_warnings, except those about what a JFIF or Adobe segment says: such segments are
// the source's, copied as they stand, and the picture decodes all the same.
struct TLibjpegErrors {
  jpeg_error_mgr Base;
  std::jmp_buf Jump;
  int Code = 0;                        // the message code of the fatal error
  char Message[JMSG_LENGTH_MAX] = {};  // and its text
  bool PrintWarnings = false;          // each counted warning to stderr, to explain a finding
};

// Sets errors up and returns what goes into the err field of a libjpeg object.
jpeg_error_mgr* UseLibjpegErrors(TLibjpegErrors& errors);

}  // namespace tarvo
