#include "JpegFixtures.h"

#include <algorithm>
#include <cmath>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <random>
#include <stdexcept>

#include <jpeglib.h>

#include "LibjpegErrors.h"

namespace tarvo::fixtures {
namespace {

std::uint8_t Clamp(double value) {
  return static_cast<std::uint8_t>(value < 0 ? 0 : value > 255 ? 255 : std::lround(value));
}

void PutU16(Bytes& out, std::uint16_t value, bool little) {
  if (little) {
    out.push_back(value & 0xFF);
    out.push_back(value >> 8);
  } else {
    out.push_back(value >> 8);
    out.push_back(value & 0xFF);
  }
}

void PutU32(Bytes& out, std::uint32_t value, bool little) {
  if (little) {
    PutU16(out, value & 0xFFFF, true);
    PutU16(out, value >> 16, true);
  } else {
    PutU16(out, value >> 16, false);
    PutU16(out, value & 0xFFFF, false);
  }
}

std::uint32_t GetU16(const std::uint8_t* p, bool little) {
  return little ? p[0] | (p[1] << 8) : (p[0] << 8) | p[1];
}

std::uint32_t GetU32(const std::uint8_t* p, bool little) {
  return little ? GetU16(p, true) | (GetU16(p + 2, true) << 16)
                : (GetU16(p, false) << 16) | GetU16(p + 2, false);
}

// One 12-byte IFD entry whose value fits the 4-byte field: one (S)SHORT or (S)LONG, or 4
// UNDEFINED bytes.
void PutEntry(Bytes& out, std::uint16_t tag, std::uint16_t type, std::uint32_t value, bool little) {
  PutU16(out, tag, little);
  PutU16(out, type, little);
  PutU32(out, type == 7 ? 4 : 1, little);  // UNDEFINED values here are 4 bytes long
  if (type == 3 || type == 8) {
    PutU16(out, static_cast<std::uint16_t>(value), little);
    PutU16(out, 0, little);
  } else {
    PutU32(out, value, little);
  }
}

void SetSampling(jpeg_compress_struct& info, Sampling sampling) {
  int h = 1, v = 1;
  switch (sampling) {
    case Sampling::kGrey:
    case Sampling::k444:
      break;
    case Sampling::k420:
      h = v = 2;
      break;
    case Sampling::k422:
      h = 2;
      break;
    case Sampling::k440:
      v = 2;
      break;
  }
  info.comp_info[0].h_samp_factor = h;
  info.comp_info[0].v_samp_factor = v;
  for (int c = 1; c < info.num_components; ++c) {
    info.comp_info[c].h_samp_factor = 1;
    info.comp_info[c].v_samp_factor = 1;
  }
}

// Returns an error text, or an empty string on success. No C++ objects live on this frame.
const char* Compress(const JpegOptions& options, const std::uint8_t* rgb,
                     const jpeg_scan_info* script, int scans, unsigned char** out,
                     unsigned long* outSize, TLibjpegErrors& errors) {
  jpeg_compress_struct info;
  info.err = &errors.Base;
  if (setjmp(errors.Jump)) {
    jpeg_destroy_compress(&info);
    return errors.Message;
  }
  jpeg_create_compress(&info);
  jpeg_mem_dest(&info, out, outSize);
  info.image_width = static_cast<JDIMENSION>(options.width);
  info.image_height = static_cast<JDIMENSION>(options.height);
  const bool grey = options.sampling == Sampling::kGrey;
  info.input_components = options.cmyk ? 4 : grey ? 1 : 3;
  info.in_color_space = options.cmyk ? JCS_CMYK : grey ? JCS_GRAYSCALE : JCS_RGB;
  jpeg_set_defaults(&info);
  if (options.rgb) jpeg_set_colorspace(&info, JCS_RGB);
  if (options.ycck) jpeg_set_colorspace(&info, JCS_YCCK);
  jpeg_set_quality(&info, options.quality, options.forceBaseline ? TRUE : FALSE);
  if (!options.cmyk && !options.rgb) SetSampling(info, options.sampling);
  info.restart_interval = options.restartInterval;
  info.optimize_coding = options.optimizeCoding ? TRUE : FALSE;
  info.arith_code = options.arithmetic ? TRUE : FALSE;
  for (int t = 0; t < NUM_ARITH_TBLS; ++t) {
    info.arith_dc_L[t] = options.arithmeticDcLower;
    info.arith_dc_U[t] = options.arithmeticDcUpper;
    info.arith_ac_K[t] = options.arithmeticAcThreshold;
  }
  info.write_JFIF_header = options.writeJfif ? TRUE : FALSE;
  info.write_Adobe_marker = options.writeAdobe ? TRUE : FALSE;
  if (options.zeroBasedIds) {
    for (int c = 0; c < info.num_components; ++c) info.comp_info[c].component_id = c;
  }
  if (options.progressive) jpeg_simple_progression(&info);
  if (scans > 0) {
    info.scan_info = script;
    info.num_scans = scans;
  }
  jpeg_start_compress(&info, TRUE);
  for (const Bytes& segment : options.extraSegments) {
    // jpeg_write_marker takes the body; the segment carries marker and length.
    if (segment.size() >= 4) {
      jpeg_write_marker(&info, segment[1], segment.data() + 4,
                        static_cast<unsigned>(segment.size() - 4));
    }
  }
  const int stride = options.width * info.input_components;
  while (info.next_scanline < info.image_height) {
    JSAMPROW row =
        const_cast<JSAMPROW>(rgb + static_cast<std::size_t>(info.next_scanline) * stride);
    jpeg_write_scanlines(&info, &row, 1);
  }
  jpeg_finish_compress(&info);
  jpeg_destroy_compress(&info);
  return "";
}

}  // namespace

std::vector<std::uint8_t> PhotoPixels(int width, int height, unsigned seed) {
  std::vector<std::uint8_t> rgb(static_cast<std::size_t>(width) * height * 3);
  std::mt19937 random(seed);
  std::uniform_real_distribution<double> noise(-12.0, 12.0);
  const double phase = (seed % 97) * 0.13;
  for (int y = 0; y < height; ++y) {
    const double fy = static_cast<double>(y) / height;
    for (int x = 0; x < width; ++x) {
      const double fx = static_cast<double>(x) / width;
      const double ridge = 0.55 + 0.08 * std::sin(fx * 9.0 + phase) + 0.04 * std::sin(fx * 31.0);
      double r, g, b;
      if (fy < ridge) {
        // Sky: a vertical gradient with soft clouds.
        const double cloud =
            0.5 + 0.5 * std::sin(fx * 17.0 + fy * 5.0 + phase) * std::cos(fx * 7.0 - fy * 11.0);
        r = 90 + 90 * fy + 50 * cloud;
        g = 140 + 70 * fy + 45 * cloud;
        b = 230 - 30 * fy + 20 * cloud;
      } else {
        // Hills: green-brown texture that gets finer towards the bottom.
        const double t = std::sin(x * 0.37 + y * 0.11) * std::cos(y * 0.29 - x * 0.05);
        r = 70 + 40 * t + 60 * (fy - ridge);
        g = 110 + 50 * t - 30 * (fy - ridge);
        b = 40 + 20 * t;
      }
      const double n = noise(random);
      std::uint8_t* p = &rgb[(static_cast<std::size_t>(y) * width + x) * 3];
      p[0] = Clamp(r + n);
      p[1] = Clamp(g + n);
      p[2] = Clamp(b + n);
    }
  }
  return rgb;
}

Bytes MakeJpegFromPixels(const JpegOptions& options, const std::vector<std::uint8_t>& rgb) {
  // Grey or CMYK input converted from the RGB pixels.
  std::vector<std::uint8_t> grey;
  const std::uint8_t* input = rgb.data();
  if (options.sampling == Sampling::kGrey) {
    grey.resize(static_cast<std::size_t>(options.width) * options.height);
    for (std::size_t i = 0; i < grey.size(); ++i) {
      grey[i] = static_cast<std::uint8_t>(
          (rgb[i * 3] * 3 + rgb[i * 3 + 1] * 5 + rgb[i * 3 + 2] * 2) / 10);
    }
    input = grey.data();
  } else if (options.cmyk) {
    grey.resize(static_cast<std::size_t>(options.width) * options.height * 4);
    // Inverted, as Adobe's applications write CMYK under their segment: 255 is no ink, so the
    // colours are R, G and B themselves over no black.
    for (std::size_t i = 0; i < grey.size() / 4; ++i) {
      for (int k = 0; k < 3; ++k) grey[i * 4 + k] = rgb[i * 3 + k];
      grey[i * 4 + 3] = 255;
    }
    input = grey.data();
  }
  TLibjpegErrors errors;
  UseLibjpegErrors(errors);
  unsigned char* out = nullptr;
  unsigned long outSize = 0;
  std::vector<jpeg_scan_info> script;
  for (const JpegOptions::Scan& scan : options.scans) {
    jpeg_scan_info& entry = script.emplace_back();
    entry.comps_in_scan = static_cast<int>(scan.components.size());
    std::copy(scan.components.begin(), scan.components.end(), entry.component_index);
    entry.Ss = scan.ss;
    entry.Se = scan.se;
    entry.Ah = scan.ah;
    entry.Al = scan.al;
  }
  const char* error = Compress(options, input, script.data(), static_cast<int>(script.size()), &out,
                               &outSize, errors);
  if (*error != '\0') {
    std::free(out);
    throw std::runtime_error(std::string("libjpeg compress: ") + error);
  }
  Bytes bytes(out, out + outSize);
  std::free(out);
  return bytes;
}

Bytes MakeJpeg(const JpegOptions& options) {
  if (!options.pixels.empty()) return MakeJpegFromPixels(options, options.pixels);
  return MakeJpegFromPixels(options, PhotoPixels(options.width, options.height, options.seed));
}

Bytes MakeExifSegment(bool littleEndian, std::uint32_t width, std::uint32_t height,
                      std::uint16_t type, bool withExifIfdPointer, std::uint16_t orientation) {
  const bool le = littleEndian;
  Bytes tiff;
  tiff.push_back(le ? 'I' : 'M');  // byte order
  tiff.push_back(le ? 'I' : 'M');
  PutU16(tiff, 42, le);  // TIFF magic
  PutU32(tiff, 8, le);   // IFD0 right after the header
  // IFD0: Orientation, and the Exif IFD pointer (tag 0x8769, LONG).
  const std::uint16_t ifd0Count = withExifIfdPointer ? 2 : 1;
  const std::uint32_t exifIfdOffset = 8 + 2 + 12 * ifd0Count + 4;
  PutU16(tiff, ifd0Count, le);
  PutEntry(tiff, 0x0112, 3, orientation, le);
  if (withExifIfdPointer) PutEntry(tiff, 0x8769, 4, exifIfdOffset, le);
  PutU32(tiff, 0, le);  // no IFD1
  if (withExifIfdPointer) {
    PutU16(tiff, 3, le);
    PutEntry(tiff, 0x9000, 7, 0x30333230, le);  // ExifVersion "0230" (UNDEFINED, 4 bytes)
    PutEntry(tiff, 0xA002, type, width, le);
    PutEntry(tiff, 0xA003, type, height, le);
    PutU32(tiff, 0, le);
  }
  Bytes segment = {0xFF, 0xE1};
  PutU16(segment, static_cast<std::uint16_t>(2 + 6 + tiff.size()), false);
  for (char c : std::string("Exif")) segment.push_back(static_cast<std::uint8_t>(c));
  segment.push_back(0);
  segment.push_back(0);
  segment.insert(segment.end(), tiff.begin(), tiff.end());
  return segment;
}

Bytes MakeExifWithThumbnail(bool littleEndian, std::uint32_t width, std::uint32_t height,
                            const Bytes& thumbnail, bool strips) {
  const bool le = littleEndian;
  constexpr std::uint32_t kExifIfd = 8 + 2 + 3 * 12 + 4;  // after IFD0
  constexpr std::uint32_t kIfd1 = kExifIfd + 2 + 2 * 12 + 4;
  const std::uint16_t ifd1Count = strips ? 6 : 4;
  const std::uint32_t secondExifIfd = kIfd1 + 2 + ifd1Count * 12 + 4;
  const std::uint32_t data = secondExifIfd + 2 + 2 * 12 + 4;
  Bytes tiff = {le ? std::uint8_t{'I'} : std::uint8_t{'M'},
                le ? std::uint8_t{'I'} : std::uint8_t{'M'}};
  PutU16(tiff, 42, le);
  PutU32(tiff, 8, le);
  PutU16(tiff, 3, le);  // IFD0
  PutEntry(tiff, 0x0100, 4, width, le);
  PutEntry(tiff, 0x0101, 4, height, le);
  PutEntry(tiff, 0x8769, 4, kExifIfd, le);
  PutU32(tiff, kIfd1, le);
  PutU16(tiff, 2, le);  // the Exif IFD
  PutEntry(tiff, 0xA002, 4, width, le);
  PutEntry(tiff, 0xA003, 3, height, le);
  PutU32(tiff, 0, le);
  PutU16(tiff, ifd1Count, le);  // IFD1
  if (strips) {
    PutEntry(tiff, 0x0100, 3, 4, le);  // a 4 x n RGB strip: thumbnail.size() / 12 rows
    PutEntry(tiff, 0x0101, 3, static_cast<std::uint32_t>(thumbnail.size() / 12), le);
    PutEntry(tiff, 0x0103, 3, 1, le);  // uncompressed
    PutEntry(tiff, 0x0111, 4, data, le);
    PutEntry(tiff, 0x0117, 4, static_cast<std::uint32_t>(thumbnail.size()), le);
  } else {
    PutEntry(tiff, 0x0103, 3, 6, le);  // JPEG
    PutEntry(tiff, 0x0201, 4, data, le);
    PutEntry(tiff, 0x0202, 4, static_cast<std::uint32_t>(thumbnail.size()), le);
  }
  PutEntry(tiff, 0x8769, 4, secondExifIfd, le);
  PutU32(tiff, 0, le);
  PutU16(tiff, 2, le);  // the second Exif IFD
  PutEntry(tiff, 0xA002, 3, width, le);
  PutEntry(tiff, 0xA003, 4, height, le);
  PutU32(tiff, 0, le);
  tiff.insert(tiff.end(), thumbnail.begin(), thumbnail.end());
  Bytes segment = {0xFF, 0xE1};
  PutU16(segment, static_cast<std::uint16_t>(2 + 6 + tiff.size()), false);
  for (const char c : std::string("Exif")) segment.push_back(static_cast<std::uint8_t>(c));
  segment.push_back(0);
  segment.push_back(0);
  segment.insert(segment.end(), tiff.begin(), tiff.end());
  return segment;
}

Bytes MakeMotionJpegFrame(JpegOptions options) {
  options.writeJfif = false;
  options.optimizeCoding = false;
  // "AVI1", polarity (0: not interlaced), a reserved byte, two 32-bit field sizes.
  const Bytes avi1 = {0xFF, 0xE0, 0x00, 0x0E, 'A', 'V', 'I', '1', 0, 0, 0, 0, 0, 0, 0, 0};
  options.extraSegments.insert(options.extraSegments.begin(), avi1);
  const Bytes jpeg = MakeJpeg(options);
  // Every header segment but DHT, then the scan as it is.
  Bytes frame = {0xFF, 0xD8};
  std::size_t at = 2;
  for (bool scan = false; !scan;) {
    const auto end = static_cast<std::ptrdiff_t>(at + 2 + (jpeg[at + 2] << 8 | jpeg[at + 3]));
    scan = jpeg[at + 1] == 0xDA;
    if (jpeg[at + 1] != 0xC4) {
      frame.insert(frame.end(), jpeg.begin() + static_cast<std::ptrdiff_t>(at), jpeg.begin() + end);
    }
    at = static_cast<std::size_t>(end);
  }
  frame.insert(frame.end(), jpeg.begin() + static_cast<std::ptrdiff_t>(at), jpeg.end());
  return frame;
}

Bytes MakeMpfJpeg(JpegOptions options, const Bytes& preview, bool littleEndian,
                  std::uint32_t secondAttribute, std::size_t padding) {
  const bool le = littleEndian;
  constexpr std::uint32_t kEntries = 8 + 2 + 3 * 12 + 4;  // after the MP Index IFD
  Bytes body = {'M', 'P', 'F', 0};
  body.push_back(le ? 'I' : 'M');
  body.push_back(le ? 'I' : 'M');
  PutU16(body, 42, le);
  PutU32(body, 8, le);  // the MP Index IFD right after the header
  PutU16(body, 3, le);
  PutEntry(body, 0xB000, 7, 0x30313030, le);  // MPFVersion "0100" (UNDEFINED, 4 bytes)
  PutEntry(body, 0xB001, 4, 2, le);           // NumberOfImages
  PutU16(body, 0xB002, le);                   // MPEntry: two 16-byte entries at kEntries
  PutU16(body, 7, le);
  PutU32(body, 32, le);
  PutU32(body, kEntries, le);
  PutU32(body, 0, le);  // no MP Attribute IFD
  // Entry 1: representative baseline primary image; entry 2: a large thumbnail (VGA). Sizes
  // and the preview's offset are filled in once the primary's length is known.
  const std::size_t entries = body.size();
  for (const std::uint32_t attribute : {0x20030000u, secondAttribute}) {
    PutU32(body, attribute, le);
    PutU32(body, 0, le);
    PutU32(body, 0, le);
    PutU32(body, 0, le);  // no dependent images
  }
  Bytes segment = {0xFF, 0xE2};
  PutU16(segment, static_cast<std::uint16_t>(2 + body.size()), false);
  segment.insert(segment.end(), body.begin(), body.end());
  options.extraSegments.push_back(segment);
  Bytes jpeg = MakeJpeg(options);
  const std::size_t at = static_cast<std::size_t>(
      std::search(jpeg.begin(), jpeg.end(), segment.begin(), segment.end()) - jpeg.begin());
  const std::size_t base = at + 4 + 4;  // the MP header, past marker, length and "MPF\0"
  const auto put = [&](std::size_t field, std::uint32_t value) {
    Bytes bytes;
    PutU32(bytes, value, le);
    std::copy(bytes.begin(), bytes.end(),
              jpeg.begin() + static_cast<std::ptrdiff_t>(at + 4 + field));
  };
  jpeg.resize(jpeg.size() + padding, 0);
  put(entries + 4, static_cast<std::uint32_t>(jpeg.size()));
  put(entries + 16 + 4, static_cast<std::uint32_t>(preview.size()));
  put(entries + 16 + 8, static_cast<std::uint32_t>(jpeg.size() - base));
  jpeg.insert(jpeg.end(), preview.begin(), preview.end());
  return jpeg;
}

bool ReadExifPixelSize(const Bytes& jpeg, std::uint32_t& width, std::uint32_t& height) {
  std::size_t pos = 2;
  while (pos + 4 <= jpeg.size() && jpeg[pos] == 0xFF && jpeg[pos + 1] != 0xDA) {
    const std::size_t length = (jpeg[pos + 2] << 8) | jpeg[pos + 3];
    if (jpeg[pos + 1] == 0xE1 && length >= 16 && pos + 2 + length <= jpeg.size() &&
        std::memcmp(&jpeg[pos + 4], "Exif", 4) == 0) {
      const std::uint8_t* tiff = &jpeg[pos + 10];
      const std::size_t tiffSize = length - 8;
      const bool le = tiff[0] == 'I';
      bool found = false;
      auto walk = [&](std::uint32_t ifd, auto&& onEntry) {
        if (ifd + 2 > tiffSize) return;
        const std::uint32_t count = GetU16(tiff + ifd, le);
        for (std::uint32_t i = 0; i < count && ifd + 2 + 12 * (i + 1) <= tiffSize; ++i) {
          onEntry(tiff + ifd + 2 + 12 * i);
        }
      };
      std::uint32_t exifIfd = 0;
      walk(GetU32(tiff + 4, le), [&](const std::uint8_t* e) {
        if (GetU16(e, le) == 0x8769) exifIfd = GetU32(e + 8, le);
      });
      if (exifIfd == 0) return false;
      walk(exifIfd, [&](const std::uint8_t* e) {
        const std::uint32_t tag = GetU16(e, le);
        const std::uint32_t type = GetU16(e + 2, le);
        // SHORT or SSHORT: two bytes; LONG or SLONG: four.
        const std::uint32_t value = type == 3 || type == 8 ? GetU16(e + 8, le) : GetU32(e + 8, le);
        if (tag == 0xA002) width = value, found = true;
        if (tag == 0xA003) height = value;
      });
      return found;
    }
    pos += 2 + length;
  }
  return false;
}

namespace {

const char* ReadCoefficientsC(const Bytes& jpeg, Coefficients& result, TLibjpegErrors& errors,
                              std::vector<ComponentCoefficients>& components) {
  jpeg_decompress_struct info;
  info.err = &errors.Base;
  if (setjmp(errors.Jump)) {
    jpeg_destroy_decompress(&info);
    return errors.Message;
  }
  jpeg_create_decompress(&info);
  jpeg_mem_src(&info, jpeg.data(), static_cast<unsigned long>(jpeg.size()));
  jpeg_read_header(&info, TRUE);
  jvirt_barray_ptr* arrays = jpeg_read_coefficients(&info);
  result.width = static_cast<int>(info.image_width);
  result.height = static_cast<int>(info.image_height);
  result.maxH = info.max_h_samp_factor;
  result.maxV = info.max_v_samp_factor;
  components.resize(static_cast<std::size_t>(info.num_components));
  for (int c = 0; c < info.num_components; ++c) {
    const jpeg_component_info& comp = info.comp_info[c];
    ComponentCoefficients& out = components[static_cast<std::size_t>(c)];
    out.id = comp.component_id;
    out.h = comp.h_samp_factor;
    out.v = comp.v_samp_factor;
    out.widthInBlocks = static_cast<int>((comp.width_in_blocks + comp.h_samp_factor - 1) /
                                         comp.h_samp_factor * comp.h_samp_factor);
    out.heightInBlocks = static_cast<int>((comp.height_in_blocks + comp.v_samp_factor - 1) /
                                          comp.v_samp_factor * comp.v_samp_factor);
    out.blocks.assign(static_cast<std::size_t>(out.widthInBlocks) * out.heightInBlocks * 64, 0);
    for (int row = 0; row < out.heightInBlocks; ++row) {
      JBLOCKARRAY rows = (*info.mem->access_virt_barray)(
          reinterpret_cast<j_common_ptr>(&info), arrays[c], static_cast<JDIMENSION>(row), 1, FALSE);
      for (int col = 0; col < out.widthInBlocks; ++col) {
        std::memcpy(&out.blocks[(static_cast<std::size_t>(row) * out.widthInBlocks + col) * 64],
                    rows[0][col], 64 * sizeof(JCOEF));
      }
    }
  }
  jpeg_finish_decompress(&info);
  result.warnings = errors.Base.num_warnings;
  jpeg_destroy_decompress(&info);
  return "";
}

const char* DecodeC(const Bytes& jpeg, Pixels& result, TLibjpegErrors& errors) {
  jpeg_decompress_struct info;
  info.err = &errors.Base;
  if (setjmp(errors.Jump)) {
    jpeg_destroy_decompress(&info);
    return errors.Message;
  }
  jpeg_create_decompress(&info);
  jpeg_mem_src(&info, jpeg.data(), static_cast<unsigned long>(jpeg.size()));
  jpeg_read_header(&info, TRUE);
  jpeg_start_decompress(&info);
  result.width = static_cast<int>(info.output_width);
  result.height = static_cast<int>(info.output_height);
  result.components = info.output_components;
  const std::size_t stride = static_cast<std::size_t>(result.width) * result.components;
  result.samples.resize(stride * static_cast<std::size_t>(result.height));
  while (info.output_scanline < info.output_height) {
    JSAMPROW row = result.samples.data() + info.output_scanline * stride;
    jpeg_read_scanlines(&info, &row, 1);
  }
  jpeg_finish_decompress(&info);
  result.warnings = errors.Base.num_warnings;
  jpeg_destroy_decompress(&info);
  return "";
}

const char* CropC(const Bytes& jpeg, int left, int top, int width, int height, unsigned char** out,
                  unsigned long* outSize, TLibjpegErrors& errors) {
  jpeg_decompress_struct src;
  jpeg_compress_struct dst;
  src.err = &errors.Base;
  dst.err = &errors.Base;
  jpeg_create_decompress(&src);
  jpeg_create_compress(&dst);
  if (setjmp(errors.Jump)) {
    jpeg_destroy_compress(&dst);
    jpeg_destroy_decompress(&src);
    return errors.Message;
  }
  jpeg_mem_src(&src, jpeg.data(), static_cast<unsigned long>(jpeg.size()));
  jpeg_save_markers(&src, JPEG_COM, 0xFFFF);
  for (int m = 0; m < 16; ++m) jpeg_save_markers(&src, JPEG_APP0 + m, 0xFFFF);
  jpeg_read_header(&src, TRUE);
  // The cropped arrays must be requested before jpeg_read_coefficients realises them all.
  jvirt_barray_ptr cropped[MAX_COMPONENTS];
  const int mcuW = src.max_h_samp_factor * DCTSIZE;
  const int mcuH = src.max_v_samp_factor * DCTSIZE;
  const int mcuCols = (width + mcuW - 1) / mcuW;
  const int mcuRows = (height + mcuH - 1) / mcuH;
  for (int c = 0; c < src.num_components; ++c) {
    const jpeg_component_info& comp = src.comp_info[c];
    cropped[c] =
        (*src.mem->request_virt_barray)(reinterpret_cast<j_common_ptr>(&src), JPOOL_IMAGE, FALSE,
                                        static_cast<JDIMENSION>(mcuCols * comp.h_samp_factor),
                                        static_cast<JDIMENSION>(mcuRows * comp.v_samp_factor),
                                        static_cast<JDIMENSION>(comp.v_samp_factor));
  }
  jvirt_barray_ptr* source = jpeg_read_coefficients(&src);
  for (int c = 0; c < src.num_components; ++c) {
    const jpeg_component_info& comp = src.comp_info[c];
    const int colOffset = left / mcuW * comp.h_samp_factor;
    const int rowOffset = top / mcuH * comp.v_samp_factor;
    const int cols = mcuCols * comp.h_samp_factor;
    for (int row = 0; row < mcuRows * comp.v_samp_factor; ++row) {
      JBLOCKARRAY to = (*src.mem->access_virt_barray)(
          reinterpret_cast<j_common_ptr>(&src), cropped[c], static_cast<JDIMENSION>(row), 1, TRUE);
      JBLOCKARRAY from =
          (*src.mem->access_virt_barray)(reinterpret_cast<j_common_ptr>(&src), source[c],
                                         static_cast<JDIMENSION>(row + rowOffset), 1, FALSE);
      std::memcpy(to[0][0], from[0][colOffset], static_cast<std::size_t>(cols) * sizeof(JBLOCK));
    }
  }
  jpeg_copy_critical_parameters(&src, &dst);
  dst.image_width = static_cast<JDIMENSION>(width);
  dst.image_height = static_cast<JDIMENSION>(height);
  jpeg_mem_dest(&dst, out, outSize);
  jpeg_write_coefficients(&dst, cropped);
  for (jpeg_saved_marker_ptr m = src.marker_list; m != nullptr; m = m->next) {
    jpeg_write_marker(&dst, m->marker, m->data, m->data_length);
  }
  jpeg_finish_compress(&dst);
  jpeg_destroy_compress(&dst);
  jpeg_finish_decompress(&src);
  jpeg_destroy_decompress(&src);
  return "";
}

}  // namespace

Coefficients ReadCoefficients(const Bytes& jpeg) {
  TLibjpegErrors errors;
  UseLibjpegErrors(errors);
  Coefficients result;
  const char* error = ReadCoefficientsC(jpeg, result, errors, result.components);
  if (*error != '\0') throw std::runtime_error(std::string("libjpeg read: ") + error);
  return result;
}

Pixels Decode(const Bytes& jpeg) {
  TLibjpegErrors errors;
  UseLibjpegErrors(errors);
  Pixels result;
  const char* error = DecodeC(jpeg, result, errors);
  if (*error != '\0') throw std::runtime_error(std::string("libjpeg decode: ") + error);
  return result;
}

Bytes LibjpegCrop(const Bytes& jpeg, int left, int top, int width, int height) {
  TLibjpegErrors errors;
  UseLibjpegErrors(errors);
  unsigned char* out = nullptr;
  unsigned long outSize = 0;
  const char* error = CropC(jpeg, left, top, width, height, &out, &outSize, errors);
  if (*error != '\0') {
    std::free(out);
    throw std::runtime_error(std::string("libjpeg crop: ") + error);
  }
  Bytes bytes(out, out + outSize);
  std::free(out);
  return bytes;
}

Bytes ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error("cannot open " + path);
  return Bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

void WriteFile(const std::string& path, const Bytes& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
  if (!out) throw std::runtime_error("cannot write " + path);
}

Bytes WithRestartIntervalScrambled(Bytes jpeg, int k) {
  std::size_t at = 2;
  while (!(jpeg[at] == 0xFF && jpeg[at + 1] == 0xDA)) ++at;
  at += 2 + (std::size_t{jpeg[at + 2]} << 8 | jpeg[at + 3]);
  for (int seen = 0; seen < k; ++at) seen += jpeg[at] == 0xFF && (jpeg[at + 1] & 0xF8) == 0xD0;
  if (k > 0) ++at;  // past the code of the marker before the interval
  for (int i = 0; !(jpeg[at] == 0xFF && jpeg[at + 1] != 0x00); ++at, ++i) {
    jpeg[at] = static_cast<std::uint8_t>((i * 97 + 13) % 251);  // never 0xFF
  }
  return jpeg;
}

Bytes WithInsertedInScan(Bytes jpeg, double share, const Bytes& what) {
  std::size_t start = 2;
  while (!(jpeg[start] == 0xFF && jpeg[start + 1] == 0xDA)) ++start;
  start += 2 + (std::size_t{jpeg[start + 2]} << 8 | jpeg[start + 3]);
  std::size_t end = start;
  while (!(jpeg[end] == 0xFF && jpeg[end + 1] == 0xD9)) ++end;
  std::size_t at = start + static_cast<std::size_t>(static_cast<double>(end - start) * share);
  if (jpeg[at - 1] == 0xFF) ++at;  // never between 0xFF and its stuffed 0x00
  jpeg.insert(jpeg.begin() + static_cast<std::ptrdiff_t>(at), what.begin(), what.end());
  return jpeg;
}

}  // namespace tarvo::fixtures
