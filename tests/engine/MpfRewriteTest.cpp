// MPF segments after a trim: the entries still find the images that follow the first one.
#include <gtest/gtest.h>

#include <algorithm>

#include "EngineTestSupport.h"
#include "JpegFixtures.h"
#include "JpegTrimming.h"

namespace tarvo::testing {
namespace {

// A MakeMpfJpeg file's MP header, and its entries' fields (fixed layout: header, an IFD of three
// entries, the next-IFD offset, then the entries), read in the file's byte order.
struct MpEntries {
  std::size_t base = 0;
  std::uint32_t firstSize = 0, previewSize = 0, previewOffset = 0;
  MpEntries(const Bytes& jpeg, bool little) {
    const Bytes tag = {'M', 'P', 'F', 0};
    base = static_cast<std::size_t>(std::search(jpeg.begin(), jpeg.end(), tag.begin(), tag.end()) -
                                    jpeg.begin()) +
           4;
    const auto get = [&](std::size_t at) {
      std::uint32_t value = 0;
      for (int k = 0; k < 4; ++k)
        value |= std::uint32_t{jpeg[base + at + k]} << 8 * (little ? k : 3 - k);
      return value;
    };
    firstSize = get(50 + 4);
    previewSize = get(50 + 16 + 4);
    previewOffset = get(50 + 16 + 8);
  }
};

Bytes Preview() {
  fixtures::JpegOptions options;
  options.width = 24;
  options.height = 16;
  options.seed = 7;
  return fixtures::MakeJpeg(options);
}

Bytes MpfSource(bool little, const Bytes& preview) {
  fixtures::JpegOptions options;
  options.width = 64;
  options.height = 48;
  // An Exif segment before the MPF one: dropping it moves the MP header.
  options.extraSegments.push_back(fixtures::MakeExifSegment(true, 64, 48));
  return fixtures::MakeMpfJpeg(options, preview, little);
}

TEST(MpfRewrite, EntriesFollowTheNewLengthInBothByteOrders) {
  const Bytes preview = Preview();
  for (const bool little : {true, false}) {
    TJpegTrimming engine;
    ASSERT_TRUE(engine.AnalyzeBytes(MpfSource(little, preview)));
    TByteStream output;
    for (const bool dropExif : {false, true}) {
      ASSERT_TRUE(engine.Trim(output, {16, 16, 45, 39}, dropExif));
      const Bytes trimmed = BytesOf(output);
      const MpEntries entries(trimmed, little);
      // The first image ends with the trim's EOI, where the preview starts.
      EXPECT_EQ(trimmed.size() - entries.firstSize, preview.size());
      EXPECT_EQ(entries.base + entries.previewOffset, entries.firstSize);
      EXPECT_EQ(entries.previewSize, preview.size());
    }
  }
}

// An entry of size and offset 0 stands for an image the file does not hold: it stays so, and
// the others are still rewritten.
TEST(MpfRewrite, EntriesOfImagesNotHeldStayEmpty) {
  Bytes file = MpfSource(false, Preview());
  const std::size_t base = MpEntries(file, false).base;
  std::fill_n(file.begin() + static_cast<std::ptrdiff_t>(base + 50 + 16 + 4), 8, 0);
  TJpegTrimming engine;
  ASSERT_TRUE(engine.AnalyzeBytes(file));
  TByteStream output;
  ASSERT_TRUE(engine.Trim(output, {16, 16, 45, 39}, false));
  const Bytes trimmed = BytesOf(output);
  const MpEntries entries(trimmed, false);
  EXPECT_EQ(entries.firstSize, trimmed.size() - (file.size() - MpEntries(file, false).firstSize));
  EXPECT_EQ(entries.previewSize, 0u);
  EXPECT_EQ(entries.previewOffset, 0u);
}

TEST(MpfRewrite, EntriesThatDoNotDescribeTheFileAreCopiedUnchanged) {
  const Bytes good = MpfSource(true, Preview());
  const std::size_t base = MpEntries(good, true).base;
  // The byte order "HI", the first image's size and offset, the preview's offset off its SOI
  // and its size far past the file's end.
  for (const std::size_t at : {0, 50 + 4, 50 + 8, 50 + 16 + 8, 50 + 16 + 4 + 3}) {
    Bytes file = good;
    file[base + at] ^= 0x01;
    TJpegTrimming engine;
    ASSERT_TRUE(engine.AnalyzeBytes(file));
    TByteStream output;
    ASSERT_TRUE(engine.Trim(output, {16, 16, 45, 39}, false));
    const Bytes segment(file.begin() + static_cast<std::ptrdiff_t>(base) - 8,
                        file.begin() + static_cast<std::ptrdiff_t>(base) + 50 + 32);
    const Bytes trimmed = BytesOf(output);
    EXPECT_NE(std::search(trimmed.begin(), trimmed.end(), segment.begin(), segment.end()),
              trimmed.end())
        << at;
  }
}

}  // namespace
}  // namespace tarvo::testing
