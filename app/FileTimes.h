// The opened file's creation and last-write times, and giving them to a saved file.
#pragma once

#include <QString>
#include <cstdint>

namespace tarvo {

// Times are file times: 100-nanosecond units since 1 January 1601, UTC; 0 means unknown.
struct TFileTimes {
  std::int64_t CreationTime = 0;
  std::int64_t LastWriteTime = 0;
  // The nanoseconds the file system keeps below LastWriteTime's unit (0-99), so that a copied
  // time is the file's own to the nanosecond.
  std::uint32_t LastWriteNanoseconds = 0;
};

std::int64_t FileTimeFromUnix(std::int64_t seconds, std::uint32_t nanoseconds);

// The birth time where the file system keeps one (statx), else 0; the last-write time.
TFileTimes ReadFileTimes(const QString& path);

// Sets the last-write time, plus nanoseconds below its unit, and leaves the access time alone;
// false on failure. A creation time cannot be set on Linux, so there is no counterpart for it.
bool SetLastWriteTime(const QString& path, std::int64_t lastWriteTime,
                      std::uint32_t nanoseconds = 0);

}  // namespace tarvo
