#include "PngWriter.h"

#include <zlib.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <thread>
#include <vector>

namespace tarvo {
namespace {

// Rows are turned and compressed this many at a time: a transposed picture reads this many
// source pixels side by side from each of its rows, and a band's stop is checked between groups.
constexpr int kRowGroup = 16;

void AppendU32(QByteArray& out, std::uint32_t value) {
  const char bytes[4] = {static_cast<char>(value >> 24), static_cast<char>(value >> 16),
                         static_cast<char>(value >> 8), static_cast<char>(value)};
  out.append(bytes, 4);
}

// The CRC-32 a chunk ends with, of its type and data.
std::uint32_t ChunkCrc(const char* type, const QByteArray& data) {
  const uLong crc = crc32(0, reinterpret_cast<const Bytef*>(type), 4);
  return static_cast<std::uint32_t>(crc32_z(crc, reinterpret_cast<const Bytef*>(data.constData()),
                                            static_cast<z_size_t>(data.size())));
}

// A chunk: its data's length, type, data and CRC (PNG 5.3).
void AppendChunk(QByteArray& out, const char* type, const QByteArray& data, std::uint32_t crc) {
  AppendU32(out, static_cast<std::uint32_t>(data.size()));
  out.append(type, 4);
  out.append(data);
  AppendU32(out, crc);
}

void AppendChunk(QByteArray& out, const char* type, const QByteArray& data) {
  AppendChunk(out, type, data, ChunkCrc(type, data));
}

// The rows of the picture as shown, each its filter byte (0, none) and its RGB pixels. A shown
// pixel (x, y) is the stored pixel at (mx(x), my(y)), those two exchanged where the orientation
// transposes, with mx and my reversing where it mirrors.
class TUprightRows {
 public:
  TUprightRows(const QImage& picture, TOrientation orientation)
      : picture_(picture), orientation_(orientation) {
    width_ = orientation.Transpose ? picture.height() : picture.width();
    height_ = orientation.Transpose ? picture.width() : picture.height();
  }

  int Width() const { return width_; }
  int Height() const { return height_; }
  qsizetype RowBytes() const { return 1 + qsizetype{3} * width_; }

  // Rows first to first + count - 1 into out, RowBytes() apart.
  void Fill(int first, int count, std::uint8_t* out) const {
    for (int g = 0; g < count; ++g) out[g * RowBytes()] = 0;
    if (orientation_.Transpose) {
      FillTransposed(first, count, out);
      return;
    }
    for (int g = 0; g < count; ++g) {
      const std::uint8_t* source = picture_.constScanLine(My(first + g));
      std::uint8_t* row = out + g * RowBytes() + 1;
      if (!orientation_.MirrorX) {
        std::memcpy(row, source, static_cast<std::size_t>(3 * width_));
        continue;
      }
      for (int x = 0; x < width_; ++x) std::memcpy(row + 3 * x, source + 3 * (width_ - 1 - x), 3);
    }
  }

 private:
  int Mx(int x) const { return orientation_.MirrorX ? width_ - 1 - x : x; }
  int My(int y) const { return orientation_.MirrorY ? height_ - 1 - y : y; }

  // Shown row y is stored column My(y), read down the stored rows Mx(x): each stored row gives
  // the group's pixels side by side.
  void FillTransposed(int first, int count, std::uint8_t* out) const {
    for (int x = 0; x < width_; ++x) {
      const std::uint8_t* source = picture_.constScanLine(Mx(x));
      std::uint8_t* column = out + 1 + 3 * x;
      for (int g = 0; g < count; ++g) {
        std::memcpy(column + g * RowBytes(), source + 3 * My(first + g), 3);
      }
    }
  }

  const QImage& picture_;
  TOrientation orientation_;
  int width_ = 0;
  int height_ = 0;
};

// One band of rows, compressed on its own: its deflate output, whole bytes, the Adler-32 of the
// rows it took, and the CRC of the IDAT chunk that carries it.
struct TBand {
  int First = 0;
  int Rows = 0;
  bool Last = false;
  QByteArray Deflated;
  uLong Adler = 1;
  std::uint32_t Crc = 0;
  bool Done = false;
};

void Compress(const TUprightRows& rows, TBand& band, const std::atomic<bool>* stop) {
  z_stream stream{};
  // Raw deflate: the zlib header and the sum are the whole stream's, written around the bands.
  if (deflateInit2(&stream, 1, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY) != Z_OK) return;
  const qsizetype rawBytes = rows.RowBytes() * band.Rows;
  // A sync flush adds an empty stored block of five bytes, and the last block may need a few more.
  band.Deflated.resize(static_cast<qsizetype>(deflateBound(&stream, static_cast<uLong>(rawBytes))) +
                       64);
  stream.next_out = reinterpret_cast<Bytef*>(band.Deflated.data());
  stream.avail_out = static_cast<uInt>(band.Deflated.size());
  std::vector<std::uint8_t> group(static_cast<std::size_t>(rows.RowBytes() * kRowGroup));
  bool ok = true;
  for (int row = band.First; ok && row < band.First + band.Rows; row += kRowGroup) {
    if (stop != nullptr && stop->load(std::memory_order_relaxed)) ok = false;
    const int count = std::min(kRowGroup, band.First + band.Rows - row);
    const bool end = row + count == band.First + band.Rows;
    rows.Fill(row, count, group.data());
    const auto size = static_cast<uInt>(rows.RowBytes() * count);
    band.Adler = adler32(band.Adler, group.data(), size);
    stream.next_in = group.data();
    stream.avail_in = size;
    const int flush = !end ? Z_NO_FLUSH : band.Last ? Z_FINISH : Z_SYNC_FLUSH;
    const int result = deflate(&stream, flush);
    // The output was sized for the worst case: all input is taken, and a finish ends the stream.
    ok =
        ok && stream.avail_in == 0 && (flush == Z_FINISH ? result == Z_STREAM_END : result == Z_OK);
  }
  band.Deflated.resize(static_cast<qsizetype>(stream.total_out));
  deflateEnd(&stream);
  band.Crc = ChunkCrc("IDAT", band.Deflated);
  band.Done = ok;
}

}  // namespace

QByteArray UprightPng(const QImage& picture, TOrientation orientation, int bands,
                      const std::atomic<bool>* stop) {
  if (picture.isNull() || picture.format() != QImage::Format_RGB888) return {};
  const TUprightRows rows(picture, orientation);
  if (bands <= 0) bands = static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
  bands = std::clamp(bands, 1, rows.Height());

  std::vector<TBand> parts(static_cast<std::size_t>(bands));
  for (int i = 0; i < bands; ++i) {
    TBand& band = parts[static_cast<std::size_t>(i)];
    band.First = static_cast<int>(std::int64_t{rows.Height()} * i / bands);
    band.Rows = static_cast<int>(std::int64_t{rows.Height()} * (i + 1) / bands) - band.First;
    band.Last = i == bands - 1;
  }
  {
    std::vector<std::jthread> helpers;
    for (std::size_t i = 1; i < parts.size(); ++i) {
      helpers.emplace_back([&rows, &band = parts[i], stop] { Compress(rows, band, stop); });
    }
    Compress(rows, parts[0], stop);
  }

  uLong adler = 1;
  qsizetype size = 0;
  for (const TBand& band : parts) {
    if (!band.Done) return {};
    adler = adler32_combine(adler, band.Adler, static_cast<z_off_t>(rows.RowBytes() * band.Rows));
    size += band.Deflated.size();
  }

  QByteArray png("\x89PNG\r\n\x1a\n", 8);
  // Signature, header, the bands and the chunks around them.
  png.reserve(size + 128 + 12 * bands);
  QByteArray header;
  AppendU32(header, static_cast<std::uint32_t>(rows.Width()));
  AppendU32(header, static_cast<std::uint32_t>(rows.Height()));
  // 8 bits a sample, RGB (colour type 2), deflate, adaptive filtering (every row's byte 0), no
  // interlace.
  header.append("\x08\x02\x00\x00\x00", 5);
  AppendChunk(png, "IHDR", header);
  // A zlib header for deflate with a 32 KB window, the fastest level (RFC 1950 2.2); the data
  // may be split among IDAT chunks anywhere, so each band goes in one of its own.
  AppendChunk(png, "IDAT", QByteArray("\x78\x01", 2));
  for (const TBand& band : parts) AppendChunk(png, "IDAT", band.Deflated, band.Crc);
  QByteArray sum;
  AppendU32(sum, static_cast<std::uint32_t>(adler));
  AppendChunk(png, "IDAT", sum);
  AppendChunk(png, "IEND", {});
  return png;
}

}  // namespace tarvo
