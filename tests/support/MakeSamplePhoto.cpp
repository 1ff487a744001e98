// Writes the bundled sample photo: procedural landscape, 4:2:0, with an Exif segment.
#include <cstdio>

#include "JpegFixtures.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: make-sample-photo OUTPUT.jpg\n");
    return 2;
  }
  using namespace tarvo::fixtures;
  JpegOptions options;
  options.width = 1203;  // deliberately not a multiple of the 16-pixel MCU
  options.height = 917;
  options.sampling = Sampling::k420;
  options.quality = 92;
  options.writeJfif = false;  // as camera files: Exif instead of JFIF
  options.extraSegments.push_back(MakeExifSegment(true, 1203, 917, 4));
  options.seed = 2026;
  WriteFile(argv[1], MakeJpeg(options));
  return 0;
}
