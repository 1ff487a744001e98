// MPF segments after a trim: the entries still find the images that follow the first one.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include "EngineTestSupport.h"
#include "JpegFixtures.h"
#include "JpegTrimming.h"

namespace tarvo::testing {
namespace {

// What the two MP entries of a MakeMpfJpeg file say, read from the fixture's fixed layout.
struct MpEntries {
  std::size_t base = 0;  // the MP header, which offsets count from
  std::uint32_t firstSize = 0, previewSize = 0, previewOffset = 0;
};

MpEntries ReadMpEntries(const Bytes& jpeg, bool little) {
  const Bytes tag = {'M', 'P', 'F', 0};
  MpEntries read;
  read.base = static_cast<std::size_t>(
                  std::search(jpeg.begin(), jpeg.end(), tag.begin(), tag.end()) - jpeg.begin()) +
              4;
  const auto get = [&](std::size_t at) {
    const std::uint8_t* p = &jpeg[read.base + at];
    return little ? p[0] | p[1] << 8 | p[2] << 16 | std::uint32_t{p[3]} << 24
                  : std::uint32_t{p[0]} << 24 | p[1] << 16 | p[2] << 8 | p[3];
  };
  constexpr std::size_t kEntries = 50;  // header, IFD of three entries, next-IFD offset
  read.firstSize = get(kEntries + 4);
  read.previewSize = get(kEntries + 16 + 4);
  read.previewOffset = get(kEntries + 16 + 8);
  return read;
}

std::size_t FirstEoiEnd(const Bytes& jpeg) {
  const Bytes eoi = {0xFF, 0xD9};
  return static_cast<std::size_t>(
             std::search(jpeg.begin() + static_cast<std::ptrdiff_t>(ScanStart(jpeg)), jpeg.end(),
                         eoi.begin(), eoi.end()) -
             jpeg.begin()) +
         2;
}

fixtures::JpegOptions Primary() {
  fixtures::JpegOptions options;
  options.width = 64;
  options.height = 48;
  // An Exif segment before the MPF one: dropping it moves the MP header.
  options.extraSegments.push_back(fixtures::MakeExifSegment(true, 64, 48));
  return options;
}

Bytes Preview() {
  fixtures::JpegOptions options;
  options.width = 24;
  options.height = 16;
  options.seed = 7;
  return fixtures::MakeJpeg(options);
}

TEST(MpfRewrite, EntriesFollowTheNewLengthInBothByteOrders) {
  const Bytes preview = Preview();
  for (const bool little : {true, false}) {
    const Bytes source = fixtures::MakeMpfJpeg(Primary(), preview, little);
    TJpegTrimming engine;
    ASSERT_TRUE(engine.AnalyzeBytes(source));
    TByteStream output;
    for (const bool dropExif : {false, true}) {
      ASSERT_TRUE(engine.Trim(output, {16, 16, 45, 39}, dropExif));
      const Bytes trimmed = BytesOf(output);
      const MpEntries entries = ReadMpEntries(trimmed, little);
      EXPECT_EQ(entries.firstSize, FirstEoiEnd(trimmed)) << little << dropExif;
      ASSERT_EQ(entries.previewSize, preview.size());
      ASSERT_LE(entries.base + entries.previewOffset + preview.size(), trimmed.size());
      EXPECT_TRUE(std::equal(
          preview.begin(), preview.end(),
          trimmed.begin() + static_cast<std::ptrdiff_t>(entries.base + entries.previewOffset)))
          << little << dropExif;
    }
  }
}

TEST(MpfRewrite, EntriesThatDoNotDescribeTheFileAreCopiedUnchanged) {
  const Bytes preview = Preview();
  const Bytes good = fixtures::MakeMpfJpeg(Primary(), preview, true);
  const MpEntries entries = ReadMpEntries(good, true);
  const auto changed = [&](std::size_t at) {
    Bytes file = good;
    file[entries.base + at] ^= 0x01;
    return file;
  };
  constexpr std::size_t kEntries = 50;
  const Bytes cases[] = {
      changed(kEntries + 4),           // the first image's size
      changed(kEntries + 8),           // the first image's offset, not 0
      changed(kEntries + 16 + 8),      // the preview's offset, off its SOI
      changed(0),                      // byte order "HI"
      changed(kEntries + 16 + 4 + 3),  // the preview's size, far past the file's end
  };
  for (const Bytes& file : cases) {
    TJpegTrimming engine;
    ASSERT_TRUE(engine.AnalyzeBytes(file));
    TByteStream output;
    ASSERT_TRUE(engine.Trim(output, {16, 16, 45, 39}, false));
    const Bytes trimmed = BytesOf(output);
    const auto segment = [](const Bytes& jpeg) {
      for (const auto& [marker, bytes] : HeaderSegments(jpeg)) {
        if (marker == 0xFFE2) return bytes;
      }
      return Bytes{};
    };
    EXPECT_EQ(segment(trimmed), segment(file));
  }
}

}  // namespace
}  // namespace tarvo::testing
