// A mapped file that another program cuts short or rewrites while it is read.
#include "MappedFile.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>
#include <functional>
#include <numeric>

#include "JpegFixtures.h"

namespace tarvo::fixtures {
namespace {

namespace fs = std::filesystem;

std::string Scratch(const std::string& name) {
  return (fs::temp_directory_path() / ("tarvo-mapped-" + std::to_string(::getpid()) + "-" + name))
      .string();
}

// Bytes that are nowhere zero, over several pages and a part of one.
Bytes Counting() {
  Bytes bytes(5 * 4096 + 100);
  for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<std::uint8_t>(i % 251 + 1);
  return bytes;
}

TEST(MappedFile, AFileChangedUnderItsMappingReadsWithoutACrashAndTellsOfIt) {
  struct TCase {
    const char* name;
    std::function<void(const std::string&)> change;
    std::size_t keptBytes;  // read as they were; the rest as zeros, or SIZE_MAX for all as now
  };
  const TCase cases[] = {
      {"cut short", [](const std::string& path) { ASSERT_EQ(::truncate(path.c_str(), 4096), 0); },
       4096},
      {"emptied", [](const std::string& path) { ASSERT_EQ(::truncate(path.c_str(), 0), 0); }, 0},
      {"rewritten in place",
       [](const std::string& path) {
         const int fd = ::open(path.c_str(), O_WRONLY);
         const std::uint8_t byte = 0;
         ASSERT_EQ(::pwrite(fd, &byte, 1, 4200), 1);
         ::close(fd);
       },
       SIZE_MAX},
  };
  const Bytes original = Counting();
  const std::string path = Scratch("changed");
  for (const TCase& test : cases) {
    SCOPED_TRACE(test.name);
    WriteFile(path, original);
    // A write in the same clock tick as the mapping must still show.
    const timespec past[2] = {{1000000000, 0}, {1000000000, 0}};
    ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), past, 0), 0);
    TMappedFile file(path);
    ASSERT_EQ(file.Bytes().size(), original.size());
    EXPECT_FALSE(file.Changed());
    test.change(path);
    const std::span<const std::uint8_t> bytes = file.Bytes();
    if (test.keptBytes == SIZE_MAX) {
      EXPECT_EQ(bytes[4200], 0);
    } else {
      EXPECT_TRUE(std::equal(bytes.begin(), bytes.begin() + test.keptBytes, original.begin()));
      EXPECT_EQ(std::accumulate(bytes.begin() + test.keptBytes, bytes.end(), 0u), 0u);
    }
    EXPECT_TRUE(file.Changed());
  }
  fs::remove(path);
}

// Faults that are not a mapped file's go on to the handler that was there before, here one that
// exits with 42: the threadsafe style runs the test in a new process, where the first mapping
// finds it.
TEST(MappedFileDeathTest, OtherFaultsGoOnToTheHandlerBefore) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  const std::string path = Scratch("other");
  WriteFile(path, Counting());
  const auto mapThen = [&path](const std::function<void()>& fault) {
    struct sigaction before {};
    before.sa_handler = [](int) { ::_exit(42); };
    ::sigaction(SIGBUS, &before, nullptr);
    const TMappedFile file(path);
    fault();
  };
  EXPECT_EXIT(mapThen([] { ::raise(SIGBUS); }), ::testing::ExitedWithCode(42), "");
  EXPECT_EXIT(mapThen([&path] {
                const int fd = ::open(path.c_str(), O_RDONLY);
                const auto* other = static_cast<const volatile std::uint8_t*>(
                    ::mmap(nullptr, 8192, PROT_READ, MAP_PRIVATE, fd, 0));
                ::truncate(path.c_str(), 0);
                static_cast<void>(other[4096]);
              }),
              ::testing::ExitedWithCode(42), "");
  fs::remove(path);
}

}  // namespace
}  // namespace tarvo::fixtures
