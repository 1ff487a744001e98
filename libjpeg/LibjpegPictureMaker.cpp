#include "LibjpegPictureMaker.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdlib>

#include "AreaScaler.h"
#include "LibjpegErrors.h"

namespace tarvo {

namespace {

// ITU-T T.81 Table K.1, in natural order: what libjpeg scales by quality.
constexpr std::array<int, 64> kStandardLuminance = {
    16, 11, 10, 16, 24,  40,  51,  61,  12, 12, 14, 19, 26,  58,  60,  55,
    14, 13, 16, 24, 40,  57,  69,  56,  14, 17, 22, 29, 51,  87,  80,  62,
    18, 22, 37, 56, 68,  109, 103, 77,  24, 35, 55, 64, 81,  104, 113, 92,
    49, 64, 78, 87, 103, 121, 120, 101, 72, 92, 95, 98, 112, 100, 103, 99};
// A thumbnail whose tables say nothing is made at the quality cameras commonly use.
constexpr int kDefaultQuality = 90;

// What a decode needs to know to encode the same way again.
struct TCodingParameters {
  int Components = 0;
  J_COLOR_SPACE ColorSpace = JCS_UNKNOWN;
  std::array<std::array<unsigned, 64>, NUM_QUANT_TBLS> Tables{};
  unsigned TablesPresent = 0;
  std::array<int, MAX_COMPONENTS> HSampling{}, VSampling{}, TableOf{};
};

// The functions below hold libjpeg's setjmp and no C++ object with a destructor on their frames:
// a longjmp from the library skips nothing. Their outputs live in the caller's frame.

// The size that fits width x height into a box keeping its aspect, never larger than it is.
void FitInto(unsigned width, unsigned height, int boxWidth, int boxHeight, int* fitWidth,
             int* fitHeight) {
  const double scale = std::min(
      {1.0, static_cast<double>(boxWidth) / width, static_cast<double>(boxHeight) / height});
  *fitWidth = std::max(1, static_cast<int>(std::lround(width * scale)));
  *fitHeight = std::max(1, static_cast<int>(std::lround(height * scale)));
}

// Decodes jpeg as RGB at 1/denominator of its size, the largest of 1, 2, 4 and 8 that keeps it
// at least the size *fitWidth x *fitHeight that fits the box; with boxWidth 0 instead whole, in
// its own components (grey or YCbCr), filling parameters.
bool Decode(const std::uint8_t* data, std::size_t size, int boxWidth, int boxHeight,
            TPixelPicture* picture, TCodingParameters* parameters, int* fitWidth, int* fitHeight) {
  jpeg_decompress_struct info{};
  TLibjpegErrors errors;
  info.err = UseLibjpegErrors(errors);
  if (setjmp(errors.Jump)) {
    jpeg_destroy_decompress(&info);
    return false;
  }
  jpeg_create_decompress(&info);
  jpeg_mem_src(&info, data, static_cast<unsigned long>(size));
  jpeg_read_header(&info, TRUE);
  if (boxWidth == 0) {
    const bool grey = info.jpeg_color_space == JCS_GRAYSCALE;
    if (!grey && info.jpeg_color_space != JCS_YCbCr) {
      jpeg_destroy_decompress(&info);
      return false;
    }
    info.out_color_space = grey ? JCS_GRAYSCALE : JCS_YCbCr;
    parameters->Components = info.num_components;
    parameters->ColorSpace = info.out_color_space;
    for (int t = 0; t < NUM_QUANT_TBLS; ++t) {
      if (info.quant_tbl_ptrs[t] == nullptr) continue;
      parameters->TablesPresent |= 1u << t;
      for (int k = 0; k < 64; ++k) parameters->Tables[t][k] = info.quant_tbl_ptrs[t]->quantval[k];
    }
    for (int c = 0; c < info.num_components; ++c) {
      parameters->HSampling[c] = info.comp_info[c].h_samp_factor;
      parameters->VSampling[c] = info.comp_info[c].v_samp_factor;
      parameters->TableOf[c] = info.comp_info[c].quant_tbl_no;
    }
  } else {
    if (info.jpeg_color_space == JCS_CMYK || info.jpeg_color_space == JCS_YCCK) {
      jpeg_destroy_decompress(&info);
      return false;
    }
    info.out_color_space = JCS_RGB;
    FitInto(info.image_width, info.image_height, boxWidth, boxHeight, fitWidth, fitHeight);
    for (const unsigned denominator : {8u, 4u, 2u}) {
      if ((info.image_width + denominator - 1) / denominator >= static_cast<unsigned>(*fitWidth) &&
          (info.image_height + denominator - 1) / denominator >=
              static_cast<unsigned>(*fitHeight)) {
        info.scale_num = 1;
        info.scale_denom = denominator;
        break;
      }
    }
  }
  jpeg_start_decompress(&info);
  picture->Width = static_cast<int>(info.output_width);
  picture->Height = static_cast<int>(info.output_height);
  picture->Channels = info.output_components;
  const std::size_t row = static_cast<std::size_t>(picture->Width) * picture->Channels;
  picture->Samples.resize(row * picture->Height);
  while (info.output_scanline < info.output_height) {
    JSAMPROW line = &picture->Samples[info.output_scanline * row];
    jpeg_read_scanlines(&info, &line, 1);
  }
  jpeg_finish_decompress(&info);
  const bool clean = errors.Base.num_warnings == 0;
  jpeg_destroy_decompress(&info);
  return clean;
}

// Encodes picture as a baseline JPEG without JFIF or Adobe segments: at quality, or with
// parameters' tables and sampling when given.
bool Encode(const TPixelPicture* picture, int quality, const TCodingParameters* parameters,
            std::vector<std::uint8_t>* jpeg) {
  jpeg_compress_struct info{};
  TLibjpegErrors errors;
  info.err = UseLibjpegErrors(errors);
  unsigned char* buffer = nullptr;
  unsigned long size = 0;
  if (setjmp(errors.Jump)) {
    jpeg_destroy_compress(&info);
    std::free(buffer);
    return false;
  }
  jpeg_create_compress(&info);
  jpeg_mem_dest(&info, &buffer, &size);
  info.image_width = static_cast<JDIMENSION>(picture->Width);
  info.image_height = static_cast<JDIMENSION>(picture->Height);
  info.input_components = picture->Channels;
  info.in_color_space = parameters != nullptr ? parameters->ColorSpace
                                              : (picture->Channels == 1 ? JCS_GRAYSCALE : JCS_RGB);
  jpeg_set_defaults(&info);
  info.write_JFIF_header = FALSE;
  info.write_Adobe_marker = FALSE;
  info.optimize_coding = TRUE;
  if (parameters == nullptr) {
    jpeg_set_quality(&info, quality, TRUE);
  } else {
    jpeg_set_colorspace(&info, parameters->ColorSpace);
    for (int t = 0; t < NUM_QUANT_TBLS; ++t) {
      if ((parameters->TablesPresent >> t & 1) == 0) continue;
      // libjpeg scales a basic table by a percentage; at 100 it takes the values as they are.
      jpeg_add_quant_table(&info, t, parameters->Tables[t].data(), 100, FALSE);
    }
    for (int c = 0; c < info.num_components; ++c) {
      info.comp_info[c].h_samp_factor = parameters->HSampling[c];
      info.comp_info[c].v_samp_factor = parameters->VSampling[c];
      info.comp_info[c].quant_tbl_no = parameters->TableOf[c];
    }
  }
  jpeg_start_compress(&info, TRUE);
  const std::size_t row = static_cast<std::size_t>(picture->Width) * picture->Channels;
  while (info.next_scanline < info.image_height) {
    auto line = const_cast<JSAMPROW>(&picture->Samples[info.next_scanline * row]);
    jpeg_write_scanlines(&info, &line, 1);
  }
  jpeg_finish_compress(&info);
  jpeg_destroy_compress(&info);
  jpeg->assign(buffer, buffer + size);
  std::free(buffer);
  return true;
}

// What drawing a DC picture of jpeg at an eighth takes from jpeg's header: each component's DC
// quantiser, and whether its samples are grey or YCbCr. False when jpeg's header cannot be read,
// does not describe dc, or an eighth of its size is smaller than *fitWidth x *fitHeight, the
// size that fits the box.
bool ReadEighthScaling(const std::uint8_t* data, std::size_t size, const TDcPicture* dc,
                       int boxWidth, int boxHeight, std::array<int, MAX_COMPONENTS>* quantisers,
                       int* fitWidth, int* fitHeight) {
  jpeg_decompress_struct info{};
  TLibjpegErrors errors;
  info.err = UseLibjpegErrors(errors);
  if (setjmp(errors.Jump)) {
    jpeg_destroy_decompress(&info);
    return false;
  }
  jpeg_create_decompress(&info);
  jpeg_mem_src(&info, data, static_cast<unsigned long>(size));
  jpeg_read_header(&info, TRUE);
  bool usable = (info.jpeg_color_space == JCS_GRAYSCALE || info.jpeg_color_space == JCS_YCbCr) &&
                info.image_width == static_cast<JDIMENSION>(dc->Width) &&
                info.image_height == static_cast<JDIMENSION>(dc->Height) &&
                info.num_components == static_cast<int>(dc->Planes.size());
  for (int c = 0; usable && c < info.num_components; ++c) {
    // libjpeg checks the selector only once decoding starts.
    const int selector = info.comp_info[c].quant_tbl_no;
    const JQUANT_TBL* table =
        selector >= 0 && selector < NUM_QUANT_TBLS ? info.quant_tbl_ptrs[selector] : nullptr;
    usable = table != nullptr;
    if (usable) (*quantisers)[static_cast<std::size_t>(c)] = table->quantval[0];
  }
  if (usable) {
    FitInto(info.image_width, info.image_height, boxWidth, boxHeight, fitWidth, fitHeight);
    usable = (info.image_width + 7) / 8 >= static_cast<unsigned>(*fitWidth) &&
             (info.image_height + 7) / 8 >= static_cast<unsigned>(*fitHeight);
  }
  jpeg_destroy_decompress(&info);
  return usable;
}

// A sample of a block that holds its DC coefficient alone, as libjpeg's 1 x 1 inverse DCT
// gives it: the dequantised value divided by 8, rounded, and moved to the unsigned range.
std::uint8_t DcSample(int dc, int quantiser) {
  return static_cast<std::uint8_t>(std::clamp(((dc * quantiser + 4) >> 3) + 128, 0, 255));
}

// dc drawn as RGB at an eighth of its size, by libjpeg's 1/8 scaled decode's own arithmetic:
// each block one pixel, chroma repeated over the luma pixels it covers, and libjpeg's fixed-point
// YCbCr to RGB conversion.
TPixelPicture EighthOf(const TDcPicture& dc, const std::array<int, MAX_COMPONENTS>& quantisers) {
  TPixelPicture picture;
  picture.Width = (dc.Width + 7) / 8;
  picture.Height = (dc.Height + 7) / 8;
  picture.Channels = 3;
  picture.Samples.resize(static_cast<std::size_t>(picture.Width) * picture.Height * 3);
  int maxH = 1;
  int maxV = 1;
  for (const TDcPicture::TPlane& plane : dc.Planes) {
    maxH = std::max(maxH, plane.HSampling);
    maxV = std::max(maxV, plane.VSampling);
  }
  // Each component's samples, and for each pixel column the sample column it repeats; a grey
  // frame's one component is never subsampled.
  const bool grey = dc.Planes.size() == 1;
  std::vector<std::vector<std::uint8_t>> samples;
  std::vector<std::vector<int>> columns;
  for (std::size_t c = 0; c < dc.Planes.size(); ++c) {
    const TDcPicture::TPlane& plane = dc.Planes[c];
    std::vector<std::uint8_t>& sample = samples.emplace_back(plane.Dc.size());
    for (std::size_t i = 0; i < plane.Dc.size(); ++i)
      sample[i] = DcSample(plane.Dc[i], quantisers[c]);
    std::vector<int>& column = columns.emplace_back(static_cast<std::size_t>(picture.Width));
    for (int x = 0; x < picture.Width; ++x) {
      column[static_cast<std::size_t>(x)] =
          std::min(plane.Cols - 1, grey ? x : x * plane.HSampling / maxH);
    }
  }
  // libjpeg's conversion: 16 fraction bits, rounding added before the shift.
  constexpr int kHalf = 1 << 15;
  const auto fix = [](double x) { return static_cast<int>(x * 65536 + 0.5); };
  std::uint8_t* out = picture.Samples.data();
  for (int y = 0; y < picture.Height; ++y) {
    std::array<const std::uint8_t*, 3> rows{};
    for (std::size_t c = 0; c < dc.Planes.size() && c < rows.size(); ++c) {
      const TDcPicture::TPlane& plane = dc.Planes[c];
      const int row = std::min(plane.Rows - 1, grey ? y : y * plane.VSampling / maxV);
      rows[c] = &samples[c][static_cast<std::size_t>(row) * plane.Cols];
    }
    for (int x = 0; x < picture.Width; ++x, out += 3) {
      const int luma = rows[0][columns[0][static_cast<std::size_t>(x)]];
      if (grey) {
        out[0] = out[1] = out[2] = static_cast<std::uint8_t>(luma);
        continue;
      }
      const int cb = rows[1][columns[1][static_cast<std::size_t>(x)]] - 128;
      const int cr = rows[2][columns[2][static_cast<std::size_t>(x)]] - 128;
      const int red = luma + ((fix(1.40200) * cr + kHalf) >> 16);
      const int green = luma + ((-fix(0.34414) * cb - fix(0.71414) * cr + kHalf) >> 16);
      const int blue = luma + ((fix(1.77200) * cb + kHalf) >> 16);
      out[0] = static_cast<std::uint8_t>(std::clamp(red, 0, 255));
      out[1] = static_cast<std::uint8_t>(std::clamp(green, 0, 255));
      out[2] = static_cast<std::uint8_t>(std::clamp(blue, 0, 255));
    }
  }
  return picture;
}

bool ReadFirstTable(const std::uint8_t* data, std::size_t size, std::array<unsigned, 64>* table) {
  jpeg_decompress_struct info{};
  TLibjpegErrors errors;
  info.err = UseLibjpegErrors(errors);
  if (setjmp(errors.Jump)) {
    jpeg_destroy_decompress(&info);
    return false;
  }
  jpeg_create_decompress(&info);
  jpeg_mem_src(&info, data, static_cast<unsigned long>(size));
  jpeg_read_header(&info, TRUE);
  const JQUANT_TBL* first = info.quant_tbl_ptrs[0];
  if (first != nullptr) std::copy(first->quantval, first->quantval + 64, table->begin());
  jpeg_destroy_decompress(&info);
  return first != nullptr;
}

// picture's pixels moved as turn shows them.
TPixelPicture Turned(const TPixelPicture& picture, const TOrientation& turn) {
  if (turn.IsIdentity()) return picture;
  const int width = picture.Width;
  const int height = picture.Height;
  const int channels = picture.Channels;
  TPixelPicture out{turn.Transpose ? height : width, turn.Transpose ? width : height, channels, {}};
  out.Samples.resize(picture.Samples.size());
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      const TTrimRect to = turn.Map({x, y, x + 1, y + 1}, width, height);
      const auto from = static_cast<std::size_t>(y * width + x) * channels;
      const auto at = static_cast<std::size_t>(to.Top * out.Width + to.Left) * channels;
      std::copy_n(picture.Samples.begin() + static_cast<std::ptrdiff_t>(from), channels,
                  out.Samples.begin() + static_cast<std::ptrdiff_t>(at));
    }
  }
  return out;
}

// The quality a picture is first encoded at: quality when given, else like's.
int StartQuality(std::span<const std::uint8_t> like, int quality);

// picture encoded at quality, or lower ones until it takes at most maxBytes; empty when even the
// lowest does not fit.
std::vector<std::uint8_t> EncodeWithin(const TPixelPicture& picture, int quality,
                                       std::size_t maxBytes) {
  // Below this, a picture shows blocks more than anything; a smaller one would not be worth it.
  constexpr int kLowestQuality = 10;
  std::vector<std::uint8_t> jpeg;
  for (;;) {
    if (!Encode(&picture, quality, nullptr, &jpeg)) return {};
    if (jpeg.size() <= maxBytes) return jpeg;
    if (quality <= kLowestQuality) return {};
    quality = std::max(kLowestQuality, quality * 3 / 4);
  }
}

}  // namespace

int EstimateJpegQuality(std::span<const std::uint8_t> jpeg) {
  std::array<unsigned, 64> table{};
  if (jpeg.empty() || !ReadFirstTable(jpeg.data(), jpeg.size(), &table)) return 0;
  double sum = 0;
  double standard = 0;
  for (int k = 0; k < 64; ++k) {
    sum += table[k];
    standard += kStandardLuminance[k];
  }
  // libjpeg multiplies the standard table by scale / 100, where scale is 5000 / quality below
  // 50 and 200 - 2 * quality above: inverted on the table's average ratio.
  const double scale = 100 * sum / standard;
  const double quality = scale <= 100 ? (200 - scale) / 2 : 5000 / scale;
  return std::clamp(static_cast<int>(std::lround(quality)), 1, 100);
}

namespace {

int StartQuality(std::span<const std::uint8_t> like, int quality) {
  if (quality > 0) return std::min(quality, 100);
  const int estimated = EstimateJpegQuality(like);
  return estimated > 0 ? estimated : kDefaultQuality;
}

}  // namespace

std::vector<std::uint8_t> TLibjpegPictureMaker::Smaller(std::span<const std::uint8_t> picture,
                                                        int maxWidth, int maxHeight,
                                                        std::span<const std::uint8_t> like,
                                                        std::size_t maxBytes, int quality) const {
  std::vector<std::uint8_t> jpeg;
  TPixelPicture decoded;
  TCodingParameters unused;
  int width = 0;
  int height = 0;
  // libjpeg's scaled decode does most of the reduction cheaply; the area filter the rest.
  if (maxWidth < 1 || maxHeight < 1 ||
      !Decode(picture.data(), picture.size(), maxWidth, maxHeight, &decoded, &unused, &width,
              &height)) {
    return jpeg;
  }
  return EncodeWithin(ScaleByArea(decoded, width, height), StartQuality(like, quality), maxBytes);
}

std::vector<std::uint8_t> TLibjpegPictureMaker::SmallerFromDc(
    const TDcPicture& dc, std::span<const std::uint8_t> picture, int maxWidth, int maxHeight,
    std::span<const std::uint8_t> like, std::size_t maxBytes, int quality) const {
  std::vector<std::uint8_t> jpeg;
  std::array<int, MAX_COMPONENTS> quantisers{};
  int width = 0;
  int height = 0;
  const bool whole = std::all_of(dc.Planes.begin(), dc.Planes.end(), [](const auto& plane) {
    return plane.Cols > 0 && plane.Rows > 0 &&
           plane.Dc.size() == static_cast<std::size_t>(plane.Cols) * plane.Rows;
  });
  if (maxWidth < 1 || maxHeight < 1 || dc.Planes.empty() || !whole ||
      dc.Planes.size() > quantisers.size() ||
      !ReadEighthScaling(picture.data(), picture.size(), &dc, maxWidth, maxHeight, &quantisers,
                         &width, &height)) {
    return jpeg;
  }
  return EncodeWithin(ScaleByArea(EighthOf(dc, quantisers), width, height),
                      StartQuality(like, quality), maxBytes);
}

std::vector<std::uint8_t> TLibjpegPictureMaker::Recoded(std::span<const std::uint8_t> picture,
                                                        const TTrimRect& rect,
                                                        const TOrientation& turn) const {
  std::vector<std::uint8_t> jpeg;
  TPixelPicture whole;
  TCodingParameters parameters;
  int unusedWidth = 0;
  int unusedHeight = 0;
  if (!Decode(picture.data(), picture.size(), 0, 0, &whole, &parameters, &unusedWidth,
              &unusedHeight) ||
      rect.Left < 0 || rect.Top < 0 || rect.Right > whole.Width || rect.Bottom > whole.Height ||
      rect.Left >= rect.Right || rect.Top >= rect.Bottom) {
    return jpeg;
  }
  TPixelPicture cut{rect.Right - rect.Left, rect.Bottom - rect.Top, whole.Channels, {}};
  const std::size_t row = static_cast<std::size_t>(whole.Width) * whole.Channels;
  for (int y = rect.Top; y < rect.Bottom; ++y) {
    const auto from =
        whole.Samples.begin() +
        static_cast<std::ptrdiff_t>(y * row + static_cast<std::size_t>(rect.Left) * whole.Channels);
    cut.Samples.insert(cut.Samples.end(), from, from + cut.Width * whole.Channels);
  }
  const TPixelPicture turned = Turned(cut, turn);
  if (!Encode(&turned, 0, &parameters, &jpeg)) jpeg.clear();
  return jpeg;
}

}  // namespace tarvo
