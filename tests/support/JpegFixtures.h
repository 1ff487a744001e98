// Test and benchmark fixtures: JPEG files written and read back by libjpeg-turbo itself.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace tarvo::fixtures {

using Bytes = std::vector<std::uint8_t>;

enum class Sampling { kGrey, k420, k422, k444, k440 };

struct JpegOptions {
  int width = 64;
  int height = 48;
  Sampling sampling = Sampling::k420;
  int quality = 90;
  // Restart interval in MCUs (0: none).
  unsigned restartInterval = 0;
  bool optimizeCoding = false;
  bool progressive = false;
  bool arithmetic = false;
  // Conditioning of the arithmetic coder's statistics (the DAC segment's L, U and Kx).
  std::uint8_t arithmeticDcLower = 0;
  std::uint8_t arithmeticDcUpper = 1;
  std::uint8_t arithmeticAcThreshold = 5;
  // Four-component (CMYK) frame instead of YCbCr; with ycck, stored as YCCK.
  bool cmyk = false;
  bool ycck = false;
  // RGB stored as RGB (component identifiers 'R', 'G', 'B'), not converted to YCbCr.
  bool rgb = false;
  // False lets low qualities take quantisation steps above 255: 16-bit tables in an SOF1 frame.
  bool forceBaseline = true;
  // A scan script of its own (libjpeg's scan_info): components by frame index, spectral
  // selection and successive approximation. Empty: one scan, or libjpeg's own progression.
  struct Scan {
    std::vector<int> components;
    int ss = 0, se = 63, ah = 0, al = 0;
  };
  std::vector<Scan> scans;
  // Component identifiers 0,1,2 instead of 1,2,3 (as some encoders with an Adobe segment write).
  bool zeroBasedIds = false;
  bool writeJfif = true;
  bool writeAdobe = false;
  // Segments written right after the JFIF/Adobe headers, each complete with marker and length.
  std::vector<Bytes> extraSegments;
  unsigned seed = 1;
  // RGB pixels MakeJpeg compresses instead of PhotoPixels of the seed.
  std::vector<std::uint8_t> pixels;
};

// Photo-like RGB pixels (sky gradient, hills, texture and noise): not flat, not periodic.
std::vector<std::uint8_t> PhotoPixels(int width, int height, unsigned seed);

// Compresses PhotoPixels (or explicit RGB pixels) with the options; throws std::runtime_error.
Bytes MakeJpeg(const JpegOptions& options);
Bytes MakeJpegFromPixels(const JpegOptions& options, const std::vector<std::uint8_t>& rgb);

// An APP1 "Exif" segment (marker included) with IFD0 -> Exif IFD holding PixelXDimension and
// PixelYDimension of the given type (3 SHORT, 4 LONG, 8 SSHORT or 9 SLONG) and an Orientation tag
// in IFD0.
Bytes MakeExifSegment(bool littleEndian, std::uint32_t width, std::uint32_t height,
                      std::uint16_t type = 4, bool withExifIfdPointer = true,
                      std::uint16_t orientation = 1);

// A Motion-JPEG frame: an AVI1 APP0 in place of JFIF and no DHT, so that a decoder takes the
// standard tables of ITU-T T.81 K.3, which are the ones libjpeg codes with unless it optimises.
Bytes MakeMotionJpegFrame(JpegOptions options);

// jpeg, a one-scan file with restart markers, with the data of restart interval k (0 the first)
// overwritten by bytes that are not its blocks and never 0xFF: damage within that interval.
Bytes WithRestartIntervalScrambled(Bytes jpeg, int k);

// jpeg, a one-scan file, with what inserted at share (0 to 1) of its scan's coded data. The
// default, sixty-four 1-bits (0xFF stuffed with 0x00), starts no Huffman code: damage that a
// decoder meets right where it lies.
Bytes WithInsertedInScan(Bytes jpeg, double share,
                         const Bytes& what = Bytes{0xFF, 0, 0xFF, 0, 0xFF, 0, 0xFF, 0, 0xFF, 0,
                                                   0xFF, 0, 0xFF, 0, 0xFF, 0});

// A camera-like file with a preview: options' JPEG carrying an APP2 "MPF" segment whose two MP
// entries point at itself and at preview, which follows its EOI after padding bytes (counted in
// the first entry's size, as some writers do). The second entry's attribute says what it is.
Bytes MakeMpfJpeg(JpegOptions options, const Bytes& preview, bool littleEndian,
                  std::uint32_t secondAttribute = 0x00010001, std::size_t padding = 0);

// An APP1 "Exif" segment whose IFD0 states ImageWidth and ImageLength and points at an Exif IFD
// with PixelXDimension and PixelYDimension, and whose IFD1 holds thumbnail, as a JPEG or with
// strips as one uncompressed strip, and links a second Exif IFD, as some cameras do.
Bytes MakeExifWithThumbnail(bool littleEndian, std::uint32_t width, std::uint32_t height,
                            const Bytes& thumbnail, bool strips);

// Reads the Exif pixel dimensions back from a JPEG file's first Exif APP1 (false if absent).
bool ReadExifPixelSize(const Bytes& jpeg, std::uint32_t& width, std::uint32_t& height);

struct ComponentCoefficients {
  int id = 0;
  int h = 0;
  int v = 0;
  int widthInBlocks = 0;   // blocks libjpeg keeps per row (padded to whole MCUs)
  int heightInBlocks = 0;  // block rows libjpeg keeps (padded to whole MCUs)
  // Blocks row by row, 64 quantised coefficients each in natural (row-major) order.
  std::vector<std::int16_t> blocks;
  const std::int16_t* Block(int row, int col) const {
    return blocks.data() + (static_cast<std::size_t>(row) * widthInBlocks + col) * 64;
  }
};

struct Coefficients {
  int width = 0;
  int height = 0;
  int maxH = 1;
  int maxV = 1;
  long warnings = 0;  // libjpeg warnings while reading (corrupt data, premature end …)
  std::vector<ComponentCoefficients> components;
};

// Reads every block with jpeg_read_coefficients; throws std::runtime_error on a libjpeg error.
Coefficients ReadCoefficients(const Bytes& jpeg);

struct Pixels {
  int width = 0;
  int height = 0;
  int components = 0;
  long warnings = 0;
  std::vector<std::uint8_t> samples;
};

// Decodes to RGB (or grey) pixels; throws std::runtime_error on a libjpeg error.
Pixels Decode(const Bytes& jpeg);

// Writes the cropped blocks with jpeg_write_coefficients, as jpegtran's crop does: the reference
// for what a lossless crop must contain. Left/top must be on the MCU grid.
Bytes LibjpegCrop(const Bytes& jpeg, int left, int top, int width, int height);

Bytes ReadFile(const std::string& path);
void WriteFile(const std::string& path, const Bytes& bytes);

}  // namespace tarvo::fixtures
