#include "FileTimes.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <QFile>

namespace tarvo {
namespace {

// Seconds from 1601-01-01 to 1970-01-01.
constexpr std::int64_t kUnixEpochInFileTimeSeconds = 11644473600;
constexpr std::int64_t kFileTimeUnitsPerSecond = 10'000'000;

std::int64_t FromTimestamp(const statx_timestamp& time) {
  return FileTimeFromUnix(time.tv_sec, time.tv_nsec);
}

}  // namespace

std::int64_t FileTimeFromUnix(std::int64_t seconds, std::uint32_t nanoseconds) {
  return (seconds + kUnixEpochInFileTimeSeconds) * kFileTimeUnitsPerSecond + nanoseconds / 100;
}

TFileTimes ReadFileTimes(const QString& path) {
  TFileTimes times;
  struct statx status {};
  const QByteArray name = QFile::encodeName(path);
  if (statx(AT_FDCWD, name.constData(), 0, STATX_BTIME | STATX_MTIME, &status) != 0) return times;
  if ((status.stx_mask & STATX_BTIME) != 0) times.CreationTime = FromTimestamp(status.stx_btime);
  if ((status.stx_mask & STATX_MTIME) != 0) {
    times.LastWriteTime = FromTimestamp(status.stx_mtime);
    times.LastWriteNanoseconds = status.stx_mtime.tv_nsec % 100;
  }
  return times;
}

bool SetLastWriteTime(const QString& path, std::int64_t lastWriteTime, std::uint32_t nanoseconds) {
  if (lastWriteTime <= 0 || nanoseconds >= 100) return false;
  const std::int64_t sinceUnixEpoch =
      lastWriteTime - kUnixEpochInFileTimeSeconds * kFileTimeUnitsPerSecond;
  std::int64_t seconds = sinceUnixEpoch / kFileTimeUnitsPerSecond;
  std::int64_t units = sinceUnixEpoch % kFileTimeUnitsPerSecond;
  if (units < 0) {
    units += kFileTimeUnitsPerSecond;
    --seconds;
  }
  timespec times[2] = {};
  times[0].tv_nsec = UTIME_OMIT;
  times[1].tv_sec = static_cast<time_t>(seconds);
  times[1].tv_nsec = static_cast<long>(units * 100 + nanoseconds);
  const QByteArray name = QFile::encodeName(path);
  return utimensat(AT_FDCWD, name.constData(), times, 0) == 0;
}

}  // namespace tarvo
