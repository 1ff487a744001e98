// Times lossless turns once the picture is decoded, as the window does them: a quarter turn
// followed by a 640 x 480 cut, and a quarter turn of the whole picture. The first decode is not
// timed; compare-turn.sh sets these against a whole jpegtran process.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "BestTime.h"
#include "ByteStream.h"
#include "JpegTrimming.h"
#include "LibjpegPictureMaker.h"
#include "OrientedTrim.h"

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: turn_bench FILE [RUNS]\n");
    return 2;
  }
  const std::string path = argv[1];
  const int runs = argc > 2 ? std::max(1, std::atoi(argv[2])) : 5;
  tarvo::TJpegTrimming engine;
  // As the window and tarvo-trim do, so that a photo's thumbnail and previews are made anew.
  const tarvo::TLibjpegPictureMaker maker;
  engine.Pictures.Maker = &maker;
  tarvo::TByteStream output;
  // The first trim decodes the scans; every later one starts from the decoded coefficients.
  if (!engine.AnalyzeFile(path) || !engine.Trim(output, {0, 0, 8, 8}, false)) {
    std::fprintf(stderr, "the engine refuses %s\n", path.c_str());
    return 1;
  }
  const tarvo::TMcuGrid grid = engine.Grid();
  tarvo::TTurnLoss loss;
  const tarvo::TOrientedTrim turned = tarvo::Turned(
      tarvo::WholePicture(grid, engine.ExifOrientation()), tarvo::kRotate90, grid, loss);
  const tarvo::TOrientedTrim window =
      tarvo::Trimmed(turned,
                     {turned.Width() / 2 - 320, turned.Height() / 2 - 240, turned.Width() / 2 + 320,
                      turned.Height() / 2 + 240},
                     grid);
  bool ok = true;
  const double crop = tarvo::bench::BestMilliseconds(
      runs, [&] { ok = ok && engine.TrimCut(output, window, false); });
  const double whole = tarvo::bench::BestMilliseconds(
      runs, [&] { ok = ok && engine.TrimCut(output, turned, false); });
  if (!ok) {
    std::fprintf(stderr, "a turn failed\n");
    return 1;
  }
  std::printf("turn+crop %.2f\nwhole-turn %.2f\n", crop, whole);
  return 0;
}
