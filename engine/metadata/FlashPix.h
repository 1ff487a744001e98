// FlashPix segments (APP2 "FPXR"), in which Kodak and Fujifilm cameras store a screen-nail of the
// whole picture as a stream spread over several segments.
#pragma once

#include "MetadataKind.h"

namespace tarvo {

// The kind that owns them. A cut leaves them all out: their contents lists and stream parts only
// describe the whole picture, and no reader needs them to show the file. With KeepThumbnails
// they stay.
TMetadataKind FlashPixKind();

}  // namespace tarvo
