// Writes the fuzz seed corpus: small JPEGs of every kind the engine accepts, each behind the
// five steering bytes the fuzz target reads first.
#include <algorithm>
#include <cstdio>
#include <random>
#include <string>
#include <string_view>

#include "EmbeddedCopyFixtures.h"
#include "JpegFixtures.h"

using namespace tarvo::fixtures;

namespace {

const Bytes kSof10 = {0xFF, 0xCA};

void Write(const std::string& folder, const std::string& name, const Bytes& jpeg,
           std::uint8_t flags, std::uint8_t left, std::uint8_t top) {
  Bytes seed(5 + jpeg.size());
  seed[0] = flags;
  seed[1] = left;
  seed[2] = top;
  seed[3] = 200;  // right and bottom: most of the way to the picture's far edges
  seed[4] = 180;
  std::copy(jpeg.begin(), jpeg.end(), seed.begin() + 5);
  WriteFile(folder + "/seed-" + name, seed);
}

JpegOptions Small(Sampling sampling, int width, int height) {
  JpegOptions options;
  options.sampling = sampling;
  options.width = width;
  options.height = height;
  options.quality = 75;
  return options;
}

// jpeg with what inserted before its first marker 0xFF code: damage libjpeg reads past.
Bytes InsertedBefore(Bytes jpeg, std::uint8_t code, const Bytes& what) {
  for (std::size_t at = 2; at + 1 < jpeg.size(); ++at) {
    if (jpeg[at] == 0xFF && jpeg[at + 1] == code) {
      jpeg.insert(jpeg.begin() + static_cast<std::ptrdiff_t>(at), what.begin(), what.end());
      break;
    }
  }
  return jpeg;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: make-fuzz-seeds FOLDER\n");
    return 2;
  }
  const std::string folder = argv[1];
  Write(folder, "grey", MakeJpeg(Small(Sampling::kGrey, 37, 21)), 0, 100, 90);
  Write(folder, "420", MakeJpeg(Small(Sampling::k420, 50, 34)), 0, 128, 128);
  Write(folder, "422", MakeJpeg(Small(Sampling::k422, 41, 17)), 1, 60, 10);
  Write(folder, "444", MakeJpeg(Small(Sampling::k444, 24, 24)), 0, 0, 0);

  JpegOptions restart = Small(Sampling::k420, 72, 40);
  restart.restartInterval = 3;
  Write(folder, "420-restart3", MakeJpeg(restart), 0, 70, 0);
  Write(folder, "420-restart3-stopped", MakeJpeg(restart), 4, 70, 0);
  restart.sampling = Sampling::k444;
  restart.restartInterval = 1;
  Write(folder, "444-restart1", MakeJpeg(restart), 1, 200, 100);
  // Five MCUs a row and an interval of five: rows start intervals, so the scan is decoded in
  // parts where the machine has two cores or more.
  restart = Small(Sampling::k420, 80, 64);
  restart.restartInterval = 5;
  Write(folder, "420-restart5-parts", MakeJpeg(restart), 0, 10, 0);
  // A cut low on the right of ten by six MCUs in intervals of two: the intervals left of and
  // above it are never decoded.
  JpegOptions skipping = Small(Sampling::k420, 160, 96);
  skipping.restartInterval = 2;
  Write(folder, "420-restart2-skipping", MakeJpeg(skipping), 4, 200, 200);

  JpegOptions exif = Small(Sampling::k420, 33, 33);
  exif.writeJfif = false;
  exif.extraSegments.push_back(MakeExifSegment(true, 33, 33, 3));
  Write(folder, "exif-le-short", MakeJpeg(exif), 0, 0, 0);
  exif.extraSegments = {MakeExifSegment(false, 33, 33, 4)};
  Write(folder, "exif-be-long", MakeJpeg(exif), 0, 128, 0);
  Write(folder, "exif-be-long-dropped", MakeJpeg(exif), 1, 128, 0);

  JpegOptions optimized = Small(Sampling::k420, 48, 48);
  optimized.optimizeCoding = true;
  Write(folder, "420-optimized", MakeJpeg(optimized), 0, 170, 170);

  JpegOptions zeroIds = Small(Sampling::k444, 16, 16);
  zeroIds.zeroBasedIds = true;
  zeroIds.writeJfif = false;
  zeroIds.writeAdobe = true;
  Write(folder, "444-zero-ids-adobe", MakeJpeg(zeroIds), 0, 0, 0);

  Bytes trailing = MakeJpeg(Small(Sampling::k422, 20, 20));
  for (const char c : std::string("trailing bytes after EOI")) trailing.push_back(c);
  Write(folder, "422-trailing", trailing, 0, 0, 0);

  Write(folder, "raw-rect", MakeJpeg(Small(Sampling::k420, 30, 30)), 2, 7, 9);

  // A Motion-JPEG frame without DHT, and a camera file with an MPF preview after its EOI.
  Write(folder, "422-motion-jpeg", MakeMotionJpegFrame(Small(Sampling::k422, 40, 24)), 0, 90, 40);
  JpegOptions mpf = Small(Sampling::k420, 48, 32);
  mpf.extraSegments.push_back(MakeExifSegment(false, 48, 32, 3));
  Write(folder, "420-mpf-preview", MakeMpfJpeg(mpf, MakeJpeg(Small(Sampling::k420, 16, 16)), false),
        1, 128, 128);
  // The same with an Exif thumbnail, cut whole and turned a quarter (flags: turn 6 = transposed
  // and mirrored across, picture maker on), so thumbnail and preview follow the turn; and a
  // transverse cut of a thumbnail photo whose sides are not whole MCUs.
  JpegOptions camera = Small(Sampling::k420, 48, 32);
  camera.extraSegments.push_back(
      MakeExifWithThumbnail(true, 48, 32, MakeJpeg(Small(Sampling::k420, 16, 8)), false));
  Write(folder, "camera-turned-with-maker",
        MakeMpfJpeg(camera, MakeJpeg(Small(Sampling::k420, 16, 16)), true), 64 | 6 << 3, 0, 0);
  JpegOptions thumbnailed = Small(Sampling::k422, 37, 29);
  thumbnailed.extraSegments.push_back(
      MakeExifWithThumbnail(false, 37, 29, MakeJpeg(Small(Sampling::k420, 16, 8)), false));
  Write(folder, "thumbnail-transverse-with-maker", MakeJpeg(thumbnailed), 64 | 7 << 3, 60, 60);
  // A wipe (a mosaic, as the right byte says) of the second rectangle before a transposed cut,
  // whose thumbnail is drawn from the wiped blocks.
  Write(folder, "thumbnail-wiped-transposed", MakeJpeg(thumbnailed), 128 | 64 | 4 << 3, 60, 60);

  // Copies of the picture in Photoshop, JFXX, XMP, FlashPix, maker-note and trailing form, cut
  // with the picture maker on, and one turned; then the same copies damaged: a Photoshop
  // resource size past its segment, and a maker-note preview cut off inside its scan.
  Write(folder, "embedded-copies-le-with-maker", MakeJpegWithEmbeddedCopies(true), 64, 128, 128);
  Write(folder, "embedded-copies-be-turned-with-maker", MakeJpegWithEmbeddedCopies(false),
        64 | 1 << 3, 0, 0);
  Bytes copies = MakeJpegWithEmbeddedCopies(true);
  const auto find = [&](std::string_view what, std::size_t from = 0) {
    return static_cast<std::size_t>(std::search(copies.begin() + static_cast<std::ptrdiff_t>(from),
                                                copies.end(), what.begin(), what.end()) -
                                    copies.begin());
  };
  const std::size_t resource = find("8BIM\x04\x0C");
  if (resource + 12 < copies.size()) copies[resource + 8] = 0x7F;
  const std::size_t nikon = find(std::string_view("Nikon\0", 6));
  const std::size_t preview = find("\xFF\xD8\xFF", nikon);
  const std::size_t scan = find("\xFF\xDA", preview);
  if (scan + 40 < copies.size()) copies[scan + 40] = 0xD8, copies[scan + 39] = 0xFF;
  Write(folder, "embedded-copies-damaged-with-maker", copies, 64, 200, 10);

  JpegOptions progressive = Small(Sampling::k420, 40, 40);
  progressive.progressive = true;
  Write(folder, "progressive-420", MakeJpeg(progressive), 0, 128, 60);
  progressive.sampling = Sampling::kGrey;
  progressive.restartInterval = 2;
  // Successive approximation in DC and AC scans, with end-of-band runs across restarts.
  progressive.scans = {{{0}, 0, 0, 0, 1}, {{0}, 1, 9, 0, 2}, {{0}, 10, 63, 0, 1},
                       {{0}, 1, 9, 2, 1}, {{0}, 0, 0, 1, 0}, {{0}, 1, 63, 1, 0}};
  Write(folder, "progressive-grey-approximation-restart2", MakeJpeg(progressive), 1, 40, 200);

  JpegOptions scans = Small(Sampling::k422, 35, 27);
  scans.scans = {{{0}}, {{1, 2}}};
  Write(folder, "422-two-scans", MakeJpeg(scans), 0, 90, 90);

  JpegOptions cmyk = Small(Sampling::k444, 24, 16);
  cmyk.cmyk = cmyk.ycck = cmyk.writeAdobe = true;
  Write(folder, "ycck-adobe", MakeJpeg(cmyk), 0, 100, 0);

  JpegOptions extended = Small(Sampling::k420, 32, 32);
  extended.forceBaseline = false;
  extended.quality = 3;
  Write(folder, "sof1-sixteen-bit-tables", MakeJpeg(extended), 1, 0, 128);

  // Arithmetic coding: sequential with restarts and conditioning of its own, and progressive.
  JpegOptions arithmetic = Small(Sampling::k420, 40, 24);
  arithmetic.arithmetic = true;
  arithmetic.restartInterval = 2;
  arithmetic.arithmeticDcLower = 1;
  arithmetic.arithmeticDcUpper = 3;
  arithmetic.arithmeticAcThreshold = 9;
  Write(folder, "arithmetic-420-restart2", MakeJpeg(arithmetic), 0, 100, 0);
  JpegOptions arithmeticProgressive = Small(Sampling::k444, 24, 24);
  arithmeticProgressive.arithmetic = arithmeticProgressive.progressive = true;
  Write(folder, "arithmetic-progressive-444", MakeJpeg(arithmeticProgressive), 1, 0, 128);

  // Damage read past with a warning: stray bytes before a header marker and before a restart
  // marker, an empty comment, a DNL segment after the scan.
  const Bytes plain = MakeJpeg(Small(Sampling::k420, 32, 24));
  Write(folder, "stray-bytes-before-dqt", InsertedBefore(plain, 0xDB, {0x00, 0xFF, 0x00, 0x41}), 0,
        0, 0);
  restart.sampling = Sampling::k420;
  restart.restartInterval = 2;
  Write(folder, "stray-bytes-before-restart", InsertedBefore(MakeJpeg(restart), 0xD1, {0x5A, 0x00}),
        0, 128, 0);
  Write(folder, "empty-comment", InsertedBefore(plain, 0xDB, {0xFF, 0xFE, 0x00, 0x00}), 1, 0, 0);
  Write(folder, "dnl-after-scan", InsertedBefore(plain, 0xD9, {0xFF, 0xDC, 0x00, 0x04, 0x00, 24}),
        0, 90, 90);

  // Cut off inside the coded data: trims inside the rows that arrived, sequential with restart
  // markers, progressive in its last scan, arithmetic.
  const auto cut = [](const Bytes& jpeg, double kept) {
    return Bytes(jpeg.begin(), jpeg.begin() + static_cast<std::ptrdiff_t>(jpeg.size() * kept));
  };
  JpegOptions tall = Small(Sampling::k420, 40, 72);
  tall.restartInterval = 2;
  Write(folder, "cut-off-420-restart2", cut(MakeJpeg(tall), 0.6), 0, 0, 0);
  tall.restartInterval = 0;
  tall.progressive = true;
  Write(folder, "cut-off-progressive-last-scan", cut(MakeJpeg(tall), 0.97), 0, 50, 0);
  tall.progressive = false;
  tall.arithmetic = true;
  Write(folder, "cut-off-arithmetic", cut(MakeJpeg(tall), 0.5), 1, 0, 0);
  // Arithmetic data that stop halfway with EOI after them: cut off all the same.
  Bytes ended = cut(MakeJpeg(tall), 0.5);
  ended.insert(ended.end(), {0xFF, 0xD9});
  Write(folder, "arithmetic-ended-early", ended, 0, 0, 200);
  // A few bytes that declare a frame of 65500 x 65500: refused for memory before any of it is
  // allocated, in the engine and in libjpeg.
  JpegOptions huge = Small(Sampling::kGrey, 16, 16);
  huge.arithmetic = huge.progressive = true;
  Bytes hugeFrame = MakeJpeg(huge);
  const auto sof = std::search(hugeFrame.begin(), hugeFrame.end(), kSof10.begin(), kSof10.end());
  // Height and width, after the length and the precision.
  std::fill(sof + 5, sof + 9, 0xFF);
  sof[6] = sof[8] = 0xDC;
  Write(folder, "arithmetic-huge-frame", hugeFrame, 0, 0, 0);

  // One restart interval's data overwritten: the walk passes it over at the next marker, and
  // trims clear of it are exact.
  tall.arithmetic = false;
  tall.restartInterval = 2;
  Bytes damaged = MakeJpeg(tall);
  std::size_t at = 2;
  while (!(damaged[at] == 0xFF && damaged[at + 1] == 0xD1)) ++at;
  for (std::size_t i = at - 1; damaged[i] != 0xD0; --i) damaged[i] = 0x00;
  Write(folder, "damaged-interval", damaged, 0, 0, 200);
  // The same in an arithmetic-coded scan, with bytes that cannot make a block: intervals of a row
  // of 20 MCUs, the fourth one (after RST2) overwritten.
  JpegOptions arithmeticRows;
  arithmeticRows.sampling = Sampling::k444;
  arithmeticRows.width = 160;
  arithmeticRows.height = 96;
  arithmeticRows.restartInterval = 20;
  arithmeticRows.arithmetic = true;
  Bytes lost = MakeJpeg(arithmeticRows);
  at = 2;
  while (!(lost[at] == 0xFF && lost[at + 1] == 0xDA)) ++at;
  while (!(lost[at] == 0xFF && lost[at + 1] == 0xD2)) ++at;
  std::mt19937 random(1850);
  for (at += 2; !(lost[at] == 0xFF && lost[at + 1] != 0x00); ++at) {
    lost[at] = static_cast<std::uint8_t>(random() % 0xFF);
  }
  Write(folder, "damaged-arithmetic-interval", lost, 0, 0, 150);
  return 0;
}
