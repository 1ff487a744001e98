// Bit-level reading and writing: stuffing, padding, markers inside data, positions.
#include "BitStreamFile.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "EngineTestSupport.h"
#include "JpegError.h"
#include "Messages.h"

namespace tarvo {
namespace {

using testing::BytesOf;

TByteStream StreamOf(std::vector<std::uint8_t> bytes) {
  TByteStream stream;
  stream.Assign(bytes);
  return stream;
}

TEST(InBitStream, StuffedZeroIsNeverData) {
  TByteStream stream = StreamOf({0xFF, 0x00, 0x80});
  TInBitStreamFile reader(stream);
  EXPECT_EQ(reader.ReadBits(9), 0x1FFu);
  EXPECT_EQ(reader.BitPosition(), 6);
  EXPECT_EQ(reader.Position(), 3);
  EXPECT_FALSE(reader.MarkerMet());
}

TEST(InBitStream, MarkerInsideDataIsNotedOnceAndServedAsOnes) {
  // EOI, also after a fill byte, says the data end too early; another marker says they are
  // damaged. The first marker met decides.
  const std::pair<std::vector<std::uint8_t>, EJpegError> cases[] = {
      {{0xFF, 0xD3, 0x00, 0xFF, 0xD9}, EJpegError::kBitStream},
      {{0xFF, 0xD9, 0x00, 0xFF, 0xD3}, EJpegError::kScanTooShort},
      {{0xFF, 0xFF, 0xD9, 0xFF, 0xD3}, EJpegError::kScanTooShort}};
  for (const auto& [bytes, fault] : cases) {
    TByteStream stream = StreamOf(bytes);
    TInBitStreamFile reader(stream);
    for (int i = 0; i < 8; ++i) EXPECT_EQ(reader.ReadBit(), 1) << i;
    EXPECT_EQ(reader.MarkerFault(), fault);
    // The marker code was dropped: the next byte is the one after it.
    EXPECT_EQ(reader.ReadBits(8), bytes[2]);
    EXPECT_EQ(reader.ReadBits(8), 0xFFu);
    EXPECT_EQ(reader.MarkerFault(), fault);
  }
}

TEST(InBitStream, MarkerIsNotReportedUntilOneOfItsBitsIsNeeded) {
  // The data end exactly before an RST marker, as at the end of a restart interval.
  TByteStream stream = StreamOf({0x12, 0x34, 0xFF, 0xD0, 0x56});
  TInBitStreamFile reader(stream);
  EXPECT_EQ(reader.ReadBits(16), 0x1234u);
  EXPECT_FALSE(reader.MarkerMet());
  EXPECT_EQ(reader.ReadWord(), 0xFFD0);
  EXPECT_EQ(reader.ReadBits(8), 0x56u);
  EXPECT_FALSE(reader.MarkerMet());
}

TEST(InBitStream, ByteReadDropsTheRestOfTheCurrentByte) {
  TByteStream stream = StreamOf({0xA0, 0x42, 0x43});
  TInBitStreamFile reader(stream);
  EXPECT_EQ(reader.ReadBits(3), 5u);
  EXPECT_EQ(reader.ReadByte(), 0x42);
  EXPECT_EQ(reader.BitPosition(), 7);
  EXPECT_EQ(reader.ReadBits(8), 0x43u);
}

TEST(InBitStream, MarkingAPositionKeepsTheRestOfTheCurrentByte) {
  TByteStream stream = StreamOf({0xA5, 0xFF, 0x00, 0x3C});
  TInBitStreamFile reader(stream);
  EXPECT_EQ(reader.ReadBits(3), 5u);
  EXPECT_EQ(reader.MarkPosition(), 1);
  EXPECT_EQ(reader.ReadBits(5), 5u);
  EXPECT_EQ(reader.ReadBits(4), 0xFu);
  EXPECT_EQ(reader.BytesSinceMark(), 2);
  EXPECT_EQ(reader.ReadBits(8), 0xF3u);
  EXPECT_EQ(reader.Position(), 4);
}

TEST(InBitStream, ZeroBitsReadNothing) {
  TByteStream stream = StreamOf({0x12});
  TInBitStreamFile reader(stream);
  EXPECT_EQ(reader.ReadBits(0), 0u);
  EXPECT_EQ(reader.Position(), 0);
  EXPECT_EQ(reader.BitPosition(), 7);
}

TEST(InBitStream, ReadEndingOnByteBoundaryLeavesNextByteUnread) {
  TByteStream stream = StreamOf({0xFF, 0x00, 0x12, 0xFF, 0x00, 0x34});
  TInBitStreamFile reader(stream);
  EXPECT_EQ(reader.ReadBits(16), 0xFF12u);
  EXPECT_EQ(reader.BitPosition(), 7);
  EXPECT_EQ(reader.Position(), 3);
  EXPECT_EQ(reader.MarkPosition(), 3);
  EXPECT_EQ(reader.ReadBits(4), 0xFu);
  EXPECT_EQ(reader.BytesSinceMark(), 2);  // 0xFF and its stuffed zero
  reader.ReturnToMark();
  EXPECT_EQ(reader.ReadByte(), 0xFF);
}

TEST(InBitStream, ConstructorRewindsAndWordsAreBigEndian) {
  TByteStream stream = StreamOf({0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07});
  stream.SetPosition(5);
  TInBitStreamFile reader(stream);
  EXPECT_EQ(reader.ReadWord(), 0x0102);
  EXPECT_EQ(reader.ReadDWord(), 0x03040506u);
  std::uint8_t last = 0;
  reader.ReadBlock(&last, 1);
  EXPECT_EQ(last, 0x07);
}

TEST(InBitStream, ReadingPastTheEndRaisesTheStreamError) {
  for (const auto& bytes : {std::vector<std::uint8_t>{0x12}, std::vector<std::uint8_t>{0xFF}}) {
    TByteStream stream = StreamOf(bytes);
    TInBitStreamFile reader(stream);
    try {
      reader.ReadBits(9);
      FAIL() << "no exception";
    } catch (const EStreamError& error) {
      EXPECT_EQ(std::string(error.what()), kMsgStreamReadError);
    }
  }
  TByteStream stream = StreamOf({0x12});
  TInBitStreamFile reader(stream);
  reader.ReadByte();
  EXPECT_THROW(reader.ReadByte(), EStreamError);
  EXPECT_THROW(reader.ReadBit(), EStreamError);
}

TEST(OutBitStream, FirstByteLevelWritePadsWithOnes) {
  TByteStream stream;
  TOutBitStreamFile writer(stream);
  writer.WriteBit(1);
  writer.WriteBit(0);
  writer.WriteBit(1);
  writer.WriteWord(0xFFD9);
  EXPECT_EQ(BytesOf(stream), (std::vector<std::uint8_t>{0xBF, 0xFF, 0xD9}));
}

TEST(OutBitStream, PaddedByteOfOnesIsStuffed) {
  TByteStream stream;
  TOutBitStreamFile writer(stream);
  writer.WriteBits(7, 3);
  writer.WriteByte(0x12);
  EXPECT_EQ(BytesOf(stream), (std::vector<std::uint8_t>{0xFF, 0x00, 0x12}));
}

TEST(OutBitStream, WholeByteGoesOutAtOnce) {
  TByteStream stream;
  TOutBitStreamFile writer(stream);
  for (int i = 0; i < 8; ++i) writer.WriteBit(1);
  EXPECT_EQ(BytesOf(stream), (std::vector<std::uint8_t>{0xFF, 0x00}));
  EXPECT_EQ(writer.BitPosition(), 7);
  writer.WriteBits(0x12345, 0);
  writer.WriteBits(0x12345, -3);
  writer.FlushBits();  // nothing pending: nothing written
  writer.WriteDWord(0x01020304);
  EXPECT_EQ(BytesOf(stream), (std::vector<std::uint8_t>{0xFF, 0x00, 1, 2, 3, 4}));
}

TEST(OutBitStream, FieldsWiderThanTheValueGetLeadingZeros) {
  TByteStream stream;
  TOutBitStreamFile writer(stream);
  writer.WriteBits(0x80000001u, 40);
  EXPECT_EQ(BytesOf(stream), (std::vector<std::uint8_t>{0x00, 0x80, 0x00, 0x00, 0x01}));
}

TEST(OutBitStream, AppendsAtTheStreamsPosition) {
  TByteStream stream = StreamOf({0xAA, 0xBB});
  stream.SetPosition(2);
  TOutBitStreamFile writer(stream);
  writer.WriteBits(0x5, 4);
  const std::uint8_t block[] = {0xCC};
  writer.WriteBlock(block, 1);
  EXPECT_EQ(BytesOf(stream), (std::vector<std::uint8_t>{0xAA, 0xBB, 0x5F, 0xCC}));
}

// A writer that continues with bits another writer coded from a byte boundary writes what one
// writer coding them all would: after every count of pending bits, with 0xFF bytes that the move
// makes and unmakes, and parts long and short.
TEST(OutBitStream, AppendedCodedBitsAreTheBytesOfOneWriter) {
  for (unsigned seed = 1; seed <= 60; ++seed) {
    std::mt19937 random(seed);
    std::vector<std::pair<std::uint32_t, int>> fields;
    const int count = static_cast<int>(random() % 300);
    for (int i = 0; i < count; ++i) {
      const int bits = 1 + static_cast<int>(random() % 16);
      fields.emplace_back(random() % 2 == 0 ? (1u << bits) - 1 : random() & ((1u << bits) - 1),
                          bits);
    }
    const std::size_t split = fields.empty() ? 0 : random() % fields.size();
    TByteStream whole;
    TByteStream joined;
    TByteStream part;
    {
      TOutBitStreamFile one(whole);
      TOutBitStreamFile first(joined);
      TOutBitStreamFile second(part);
      for (std::size_t i = 0; i < fields.size(); ++i) {
        one.WriteBits(fields[i].first, fields[i].second);
        (i < split ? first : second).WriteBits(fields[i].first, fields[i].second);
      }
      first.AppendCoded(part.Bytes(), second.PendingValue(), second.PendingCount());
      EXPECT_EQ(first.PendingCount(), one.PendingCount()) << seed;
      one.WriteWord(0xFFD9);
      first.WriteWord(0xFFD9);
    }
    EXPECT_EQ(BytesOf(joined), BytesOf(whole)) << seed;
  }
}

// Bits copied from between two places of stuffed data, after any bits pending, are the bytes
// of the same fields written anew: the places a reader finds between fields, inside a 0xFF or
// not, and the stuffing undone and done again where the bits land elsewhere in the byte.
TEST(OutBitStream, CopiedCodedBitsAreTheFieldsWrittenAnew) {
  for (unsigned seed = 1; seed <= 60; ++seed) {
    std::mt19937 random(seed);
    std::vector<std::pair<std::uint32_t, int>> fields;
    for (int i = 0; i < 200; ++i) {
      const int bits = 1 + static_cast<int>(random() % 16);
      fields.emplace_back(random() % 2 == 0 ? (1u << bits) - 1 : random() & ((1u << bits) - 1),
                          bits);
    }
    TByteStream coded;
    {
      TOutBitStreamFile writer(coded);
      for (const auto& [value, bits] : fields) writer.WriteBits(value, bits);
      writer.FlushBits();
    }
    std::vector<TBitPlace> places;
    TInBitStreamFile reader(coded);
    for (const auto& [value, bits] : fields) {
      places.push_back(reader.Place());
      ASSERT_EQ(reader.ReadBits(bits), value);
    }
    places.push_back(reader.Place());
    const std::size_t first = random() % fields.size();
    const std::size_t end = first + random() % (fields.size() - first + 1);
    const int pending = static_cast<int>(random() % 8);
    const std::uint32_t lead = random() % 2 == 0 ? 0xFF : random() & 0xFF;
    TByteStream copied;
    TByteStream written;
    {
      TOutBitStreamFile copier(copied);
      TOutBitStreamFile writer(written);
      copier.WriteBits(lead, pending);
      writer.WriteBits(lead, pending);
      copier.CopyCoded(coded.Bytes(), places[first], places[end]);
      for (std::size_t i = first; i < end; ++i) writer.WriteBits(fields[i].first, fields[i].second);
      EXPECT_EQ(copier.PendingCount(), writer.PendingCount()) << seed;
      copier.WriteWord(0xFFD9);
      writer.WriteWord(0xFFD9);
    }
    EXPECT_EQ(BytesOf(copied), BytesOf(written)) << seed;
  }
}

// Random runs of bit fields, written and read back, with raw bytes and words in between as an
// entropy-coded segment meets a restart marker.
TEST(BitStreams, SeededRoundTrips) {
  for (unsigned seed = 1; seed <= 40; ++seed) {
    std::mt19937 random(seed);
    struct Field {
      int bits;  // 0 for a marker word
      std::uint32_t value;
    };
    std::vector<Field> fields;
    TByteStream stream;
    {
      TOutBitStreamFile writer(stream);
      for (int i = 0; i < 400; ++i) {
        Field field{};
        if (random() % 50 == 0) {
          field.value = 0xFFD0 + random() % 8;
          writer.WriteWord(static_cast<std::uint16_t>(field.value));
        } else {
          field.bits = 1 + static_cast<int>(random() % 16);
          // Long runs of ones make plenty of 0xFF bytes to stuff.
          field.value =
              random() % 3 == 0 ? (1u << field.bits) - 1 : random() & ((1u << field.bits) - 1);
          writer.WriteBits(field.value, field.bits);
        }
        fields.push_back(field);
      }
      writer.FlushBits();
    }
    TInBitStreamFile reader(stream);
    for (std::size_t i = 0; i < fields.size(); ++i) {
      if (fields[i].bits == 0) {
        ASSERT_EQ(reader.ReadWord(), fields[i].value) << "seed " << seed << " field " << i;
      } else {
        ASSERT_EQ(reader.ReadBits(fields[i].bits), fields[i].value)
            << "seed " << seed << " field " << i;
      }
    }
    EXPECT_FALSE(reader.MarkerMet());
    EXPECT_EQ(reader.Position(), stream.Size());
  }
}

}  // namespace
}  // namespace tarvo
