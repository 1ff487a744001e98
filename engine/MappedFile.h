// A regular file mapped read-only, for a caller that uses its bytes once, soon after opening it.
#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "ByteStream.h"

namespace tarvo {

// A photo's pages are mostly in the page cache already: mapping them costs a fraction of
// reading them into fresh memory, which the system must clear page by page first.
//
// Another program may cut the file short or rewrite it while it is mapped. A page past the new
// end would then raise SIGBUS when read; a process-wide handler (installed with the first
// mapping) puts zeros in its place and notes the change, so the reader goes on over zeros
// instead of crashing, and Changed tells the caller that what it read is not one file's bytes.
// A fault at any other address goes on to the handler that was there before.
//
// Where mapping is not possible (another system, a file system that cannot map, more mappings
// alive at once than the handler keeps track of), the file is read into memory instead, and a
// change while it is read is not seen.
class TMappedFile {
 public:
  // Maps the file at path; throws as TByteStream::LoadFromFile does: "ファイル %s は開けません"
  // for anything but a regular file. Of a file that does not begin with expectedStart, Bytes
  // shows only the first expectedStart.size() bytes.
  explicit TMappedFile(const std::string& path, std::span<const std::uint8_t> expectedStart = {});
  ~TMappedFile();
  TMappedFile(const TMappedFile&) = delete;
  TMappedFile& operator=(const TMappedFile&) = delete;

  // Valid as long as this object is.
  std::span<const std::uint8_t> Bytes() const { return bytes_; }
  // Whether the file was cut short or written to since it was mapped: some bytes read may then
  // be zeros or the new contents.
  bool Changed() const;

 private:
  std::span<const std::uint8_t> bytes_;
  TByteStream readInstead_;  // the bytes where the file is not mapped
  void* mapping_ = nullptr;
  std::size_t mappingSize_ = 0;
  int slot_ = -1;  // in the handler's list of live mappings
  int fd_ = -1;    // kept open to see whether the file changed
  // The file's size and modification time when it was mapped.
  std::int64_t size_ = 0;
  std::int64_t modifiedSeconds_ = 0;
  std::int64_t modifiedNanoseconds_ = 0;
};

}  // namespace tarvo
