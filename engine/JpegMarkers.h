// The marker words the engine knows (ITU-T T.81 Table B.1).
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <span>
#include <string>

namespace tarvo::markers {

inline constexpr std::uint16_t kSoi = 0xFFD8;
inline constexpr std::uint16_t kEoi = 0xFFD9;
inline constexpr std::uint16_t kSof0 = 0xFFC0;
inline constexpr std::uint16_t kSof1 = 0xFFC1;
inline constexpr std::uint16_t kSof2 = 0xFFC2;
inline constexpr std::uint16_t kSof9 = 0xFFC9;
inline constexpr std::uint16_t kSof10 = 0xFFCA;
inline constexpr std::uint16_t kDht = 0xFFC4;
inline constexpr std::uint16_t kDac = 0xFFCC;
inline constexpr std::uint16_t kDhp = 0xFFDE;
inline constexpr std::uint16_t kExp = 0xFFDF;
inline constexpr std::uint16_t kDqt = 0xFFDB;
inline constexpr std::uint16_t kDri = 0xFFDD;
inline constexpr std::uint16_t kDnl = 0xFFDC;
inline constexpr std::uint16_t kSos = 0xFFDA;
inline constexpr std::uint16_t kRst0 = 0xFFD0;
inline constexpr std::uint16_t kApp0 = 0xFFE0;
inline constexpr std::uint16_t kApp1 = 0xFFE1;
inline constexpr std::uint16_t kApp2 = 0xFFE2;
inline constexpr std::uint16_t kApp13 = 0xFFED;
inline constexpr std::uint16_t kApp14 = 0xFFEE;
inline constexpr std::uint16_t kApp15 = 0xFFEF;
inline constexpr std::uint16_t kCom = 0xFFFE;
inline constexpr std::uint16_t kTem = 0xFF01;

// The byte every marker starts with, and the fill byte that may stand before its code.
inline constexpr std::uint8_t kMarkerPrefix = 0xFF;

// The code of marker: the byte after its 0xFF.
constexpr std::uint8_t CodeOf(std::uint16_t marker) { return static_cast<std::uint8_t>(marker); }

// The marker whose code, after an 0xFF, is code.
constexpr std::uint16_t MarkerOf(std::uint8_t code) {
  return static_cast<std::uint16_t>(0xFF00 | code);
}

// Whether a JPEG stream starts at the first of bytes: with SOI.
inline bool StartsWithSoi(std::span<const std::uint8_t> bytes) {
  return bytes.size() >= 2 && bytes[0] == kMarkerPrefix && MarkerOf(bytes[1]) == kSoi;
}

// Whether a JPEG stream starts at bytes[at]: its SOI, and the first byte of the marker after
// it. Chance bytes inside other data seldom read this way; embedded pictures are found by it.
inline bool JpegStartsAt(std::span<const std::uint8_t> bytes, std::size_t at) {
  return at <= bytes.size() && StartsWithSoi(bytes.subspan(at)) && at + 3 <= bytes.size() &&
         bytes[at + 2] == kMarkerPrefix;
}

// RST0 to RST7, which stand alone among the coded data (ITU-T T.81 B.2.1).
constexpr bool IsRestartMarker(std::uint16_t marker) { return (marker & 0xFFF8) == kRst0; }

// The markers that carry no length: the restart markers, SOI, EOI and TEM (ITU-T T.81 B.1.1.4).
constexpr bool StandsAlone(std::uint16_t marker) {
  return IsRestartMarker(marker) || marker == kSoi || marker == kEoi || marker == kTem;
}

// SOF0 to SOF15, less DHT, JPG and DAC, which share their range (ITU-T T.81 Table B.1).
inline bool IsFrameMarker(std::uint16_t marker) {
  return (marker & 0xFFF0) == 0xFFC0 && marker != kDht && marker != 0xFFC8 && marker != kDac;
}

// Whether the marker code after an 0xFF inside entropy-coded data ends them: anything but the
// stuffed zero and the restart markers (ITU-T T.81 B.1.1.5, F.1.2.3).
inline bool EndsCodedData(std::uint8_t code) {
  return code != 0x00 && !IsRestartMarker(MarkerOf(code));
}

// Where the code of a marker is when bytes[at] is its 0xFF: past any fill bytes 0xFF before it
// (ITU-T T.81 B.1.1.2). bytes.size() when the bytes end first.
inline std::size_t MarkerCodeAt(std::span<const std::uint8_t> bytes, std::size_t at) {
  while (at < bytes.size() && bytes[at] == 0xFF) ++at;
  return at;
}

// Where the code of the next marker from at on is, as libjpeg finds it: past bytes that start
// no marker, stuffed 0xFF 0x00 pairs among them, and the fill bytes before the code. skipped
// receives how many bytes were passed over (fill bytes count none). bytes.size() when the
// bytes end first.
inline std::size_t NextMarkerCode(std::span<const std::uint8_t> bytes, std::size_t at,
                                  std::size_t& skipped) {
  skipped = 0;
  while (at < bytes.size()) {
    if (bytes[at] != 0xFF) {
      ++at;
      ++skipped;
      continue;
    }
    const std::size_t code = MarkerCodeAt(bytes, at);
    if (code == bytes.size() || bytes[code] != 0x00) return code;
    skipped += 2;
    at = code + 1;
  }
  return bytes.size();
}

// A marker's two bytes as a file holds them.
inline constexpr std::array<std::uint8_t, 2> MarkerBytes(std::uint16_t marker) {
  return {static_cast<std::uint8_t>(marker >> 8), static_cast<std::uint8_t>(marker)};
}

// Whether bytes hold marker at at.
inline bool MarkerAt(std::span<const std::uint8_t> bytes, std::size_t at, std::uint16_t marker) {
  return at + 2 <= bytes.size() && bytes[at] == MarkerBytes(marker)[0] &&
         bytes[at + 1] == MarkerBytes(marker)[1];
}

inline bool IsAppOrCom(std::uint16_t marker) {
  return (marker >= kApp0 && marker <= kApp15) || marker == kCom;
}

// Four upper-case hexadecimal digits, as the unrecognised-marker messages show a marker.
inline std::string HexWord(std::uint16_t word) {
  char digits[5];
  std::snprintf(digits, sizeof digits, "%04X", static_cast<unsigned>(word));
  return digits;
}

}  // namespace tarvo::markers
