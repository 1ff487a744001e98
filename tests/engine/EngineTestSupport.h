// Helpers shared by the engine tests: hand-built segments, a message recorder, zig-zag order.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "ByteStream.h"
#include "EmbeddedCopyFixtures.h"
#include "JpegFixtures.h"
#include "JpegTrimming.h"

namespace tarvo::testing {

using fixtures::Bytes;

// A marker segment: the marker word, the length word (body + 2), the body.
inline Bytes Segment(std::uint16_t marker, const Bytes& body) {
  Bytes out = {static_cast<std::uint8_t>(marker >> 8), static_cast<std::uint8_t>(marker),
               static_cast<std::uint8_t>((body.size() + 2) >> 8),
               static_cast<std::uint8_t>(body.size() + 2)};
  out.insert(out.end(), body.begin(), body.end());
  return out;
}

inline Bytes Concat(std::initializer_list<Bytes> parts) {
  Bytes out;
  for (const Bytes& part : parts) out.insert(out.end(), part.begin(), part.end());
  return out;
}

inline const Bytes kSoi = {0xFF, 0xD8};
inline const Bytes kEoi = {0xFF, 0xD9};

// One 8-bit quantisation table of ones.
inline Bytes Dqt() {
  Bytes body = {0x00};
  body.resize(65, 1);
  return Segment(0xFFDB, body);
}

// SOF0 with components given as {id, sampling byte} (quantisation table 0).
inline Bytes Sof0(int width, int height, const std::vector<std::pair<int, int>>& components) {
  Bytes body = {8,
                static_cast<std::uint8_t>(height >> 8),
                static_cast<std::uint8_t>(height),
                static_cast<std::uint8_t>(width >> 8),
                static_cast<std::uint8_t>(width),
                static_cast<std::uint8_t>(components.size())};
  for (const auto& [id, sampling] : components) {
    body.push_back(static_cast<std::uint8_t>(id));
    body.push_back(static_cast<std::uint8_t>(sampling));
    body.push_back(0);
  }
  return Segment(0xFFC0, body);
}

// The smallest useful tables: one 1-bit code each, DC category 0 and AC EOB, so that every
// block is the two bits 00. classAndDestination bytes are given.
inline Bytes TinyTable(std::uint8_t classAndDestination) {
  Bytes table = {classAndDestination, 1};
  table.resize(17, 0);
  table.push_back(0x00);
  return table;
}

inline Bytes Dht(std::initializer_list<std::uint8_t> classesAndDestinations) {
  Bytes body;
  for (const std::uint8_t cd : classesAndDestinations) {
    const Bytes table = TinyTable(cd);
    body.insert(body.end(), table.begin(), table.end());
  }
  return Segment(0xFFC4, body);
}

// SOS with components given as {id, selector byte}.
inline Bytes Sos(const std::vector<std::pair<int, int>>& components) {
  Bytes body = {static_cast<std::uint8_t>(components.size())};
  for (const auto& [id, selectors] : components) {
    body.push_back(static_cast<std::uint8_t>(id));
    body.push_back(static_cast<std::uint8_t>(selectors));
  }
  body.insert(body.end(), {0, 63, 0});
  return Segment(0xFFDA, body);
}

// A complete tiny grey-scale file whose blocks are all zero: width x height pixels.
inline Bytes TinyGreyJpeg(int width = 16, int height = 8) {
  const int blocks = ((width + 7) / 8) * ((height + 7) / 8);
  Bytes scan(static_cast<std::size_t>((blocks * 2 + 7) / 8), 0x00);
  // Two zero bits per block; the last byte is filled with 1-bits.
  const int usedBits = blocks * 2 % 8;
  if (usedBits != 0) scan.back() = static_cast<std::uint8_t>((1 << (8 - usedBits)) - 1);
  return Concat({kSoi, Dqt(), Sof0(width, height, {{1, 0x11}}), Dht({0x00, 0x10}), Sos({{1, 0x00}}),
                 scan, kEoi});
}

inline Bytes BytesOf(const TByteStream& stream) {
  return {stream.Bytes().begin(), stream.Bytes().end()};
}

// Header segments up to and including SOS: marker and whole segment bytes.
inline std::vector<std::pair<std::uint16_t, Bytes>> HeaderSegments(const Bytes& jpeg) {
  std::vector<std::pair<std::uint16_t, Bytes>> segments;
  std::size_t pos = 2;
  while (pos + 4 <= jpeg.size()) {
    const auto marker = static_cast<std::uint16_t>(jpeg[pos] << 8 | jpeg[pos + 1]);
    const std::size_t length = static_cast<std::size_t>(jpeg[pos + 2] << 8 | jpeg[pos + 3]);
    segments.emplace_back(marker,
                          Bytes(jpeg.begin() + static_cast<std::ptrdiff_t>(pos),
                                jpeg.begin() + static_cast<std::ptrdiff_t>(pos + 2 + length)));
    pos += 2 + length;
    if (marker == 0xFFDA) break;
  }
  return segments;
}

inline std::size_t ScanStart(const Bytes& jpeg) {
  std::size_t pos = 2;
  for (const auto& segment : HeaderSegments(jpeg)) pos += segment.second.size();
  return pos;
}

using fixtures::HasRed;
using fixtures::RedCornerPixels;

// Records what the engine reports.
struct MessageLog {
  std::vector<std::pair<std::string, int>> messages;
  void Attach(TJpegTrimming& engine) {
    engine.OnMessage = [this](const std::string& text, int severity) {
      messages.emplace_back(text, severity);
    };
  }
  std::string Only() const {
    if (messages.size() != 1) return "(" + std::to_string(messages.size()) + " messages)";
    return messages[0].second == 2 ? messages[0].first : "(severity not 2)";
  }
};

// Zig-zag position -> natural (row-major) position (ITU-T T.81 Figure A.6).
inline constexpr std::array<int, 64> kNaturalOrder = {
    0,  1,  8,  16, 9,  2,  3,  10, 17, 24, 32, 25, 18, 11, 4,  5,  12, 19, 26, 33, 40, 48,
    41, 34, 27, 20, 13, 6,  7,  14, 21, 28, 35, 42, 49, 56, 57, 50, 43, 36, 29, 22, 15, 23,
    30, 37, 44, 51, 58, 59, 52, 45, 38, 31, 39, 46, 53, 60, 61, 54, 47, 55, 62, 63};

}  // namespace tarvo::testing
