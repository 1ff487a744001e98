#include "ByteStream.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>

#include <cstdio>
#include <filesystem>
#include <functional>

#include "Messages.h"

namespace tarvo {
namespace {

TEST(ByteStream, ReadPastEndThrowsReadErrorAndKeepsPosition) {
  TByteStream stream;
  const std::uint8_t bytes[] = {1, 2, 3};
  stream.Assign(bytes);
  std::uint8_t buffer[4] = {};
  EXPECT_THROW(stream.Read(buffer, 4), EStreamError);
  EXPECT_EQ(stream.Position(), 0);
  stream.Read(buffer, 3);
  try {
    stream.ReadByte();
    FAIL() << "no exception";
  } catch (const EStreamError& error) {
    EXPECT_EQ(std::string(error.what()), kMsgStreamReadError);
  }
}

TEST(ByteStream, WritesOverwriteGrowAndFillGaps) {
  TByteStream stream;
  stream.WriteByte(0xAA);
  stream.WriteByte(0xBB);
  stream.SetPosition(0);
  stream.WriteByte(0xCC);
  EXPECT_EQ(stream.Size(), 2);
  stream.SetPosition(4);
  stream.WriteByte(0xDD);
  ASSERT_EQ(stream.Size(), 5);
  EXPECT_EQ(stream.Bytes()[0], 0xCC);
  EXPECT_EQ(stream.Bytes()[3], 0x00);
  EXPECT_EQ(stream.Bytes()[4], 0xDD);
}

TEST(ByteStream, FileErrorsNameThePath) {
  TByteStream stream;
  const std::string missing = "/nonexistent-dir/photo.jpg";
  // A folder is refused with the system's own words for it.
  try {
    stream.LoadFromFile("/");
    FAIL() << "no exception";
  } catch (const EStreamError& error) {
    EXPECT_EQ(std::string(error.what()),
              FormatMessage(kMsgCannotOpenFile, "/") + ": " + std::strerror(EISDIR));
  }
  try {
    stream.LoadFromFile(missing);
    FAIL() << "no exception";
  } catch (const EStreamError& error) {
    EXPECT_EQ(std::string(error.what()),
              FormatMessage(kMsgCannotOpenFile, missing) + ": " + std::strerror(ENOENT));
  }
  try {
    stream.SaveToFile(missing);
    FAIL() << "no exception";
  } catch (const EStreamError& error) {
    EXPECT_EQ(std::string(error.what()), FormatMessage(kMsgCannotCreateFile, missing));
  }
}

TEST(ByteStream, AFileShorterThanItsSizeIsNamed) {
  // Files under /sys state a page as their size and hold a line: as a file cut while it is read.
  const std::string path = "/sys/kernel/mm/transparent_hugepage/enabled";
  std::error_code error;
  if (std::filesystem::file_size(path, error) <= 64) GTEST_SKIP() << "no such file";
  TByteStream stream;
  try {
    stream.LoadFromFile(path);
    FAIL() << "no exception";
  } catch (const EStreamError& thrown) {
    EXPECT_EQ(std::string(thrown.what()), FormatMessage(kMsgFileShrank, path));
  }
}

TEST(ByteStream, ABorrowedViewIsReadInPlaceAndCopiedBeforeAnyWrite) {
  const std::uint8_t source[] = {1, 2, 3, 4};
  const std::function<void(TByteStream&)> writes[] = {
      [](TByteStream& stream) { stream.WriteByte(9); },
      [](TByteStream& stream) {
        const std::uint8_t nine = 9;
        stream.Write(&nine, 1);
      },
      [](TByteStream& stream) { stream.MutableBytes()[1] = 9; },
      [](TByteStream& stream) { stream.Resize(6); },
      [](TByteStream& stream) { stream.TakeBytes().at(1) = 9; },
  };
  for (const auto& write : writes) {
    TByteStream stream;
    stream.WriteByte(7);
    stream.Borrow(source);
    EXPECT_EQ(stream.Bytes().data(), source);
    EXPECT_EQ(stream.Size(), 4);
    EXPECT_EQ(stream.ReadByte(), 1);
    write(stream);
    EXPECT_NE(stream.Bytes().data(), source);
    EXPECT_EQ(source[1], 2);
  }
}

TEST(ByteStream, SaveThenLoadRoundTrips) {
  const auto path = std::filesystem::temp_directory_path() / "tarvo-bytestream-test.bin";
  TByteStream out;
  const std::uint8_t bytes[] = {0xFF, 0xD8, 0x00, 0x7F};
  out.Assign(bytes);
  out.SaveToFile(path.string());
  TByteStream in;
  in.WriteByte(9);
  in.LoadFromFile(path.string());
  EXPECT_EQ(in.Position(), 0);
  ASSERT_EQ(in.Size(), 4);
  EXPECT_EQ(in.Bytes()[0], 0xFF);
  TByteStream copy;
  copy.CopyFrom(in);
  EXPECT_EQ(copy.Size(), 4);
  std::filesystem::remove(path);
}

}  // namespace
}  // namespace tarvo
