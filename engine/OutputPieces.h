// A file's bytes as pieces in order: some held here, some borrowed from buffers that outlive the
// pieces (the source file's bytes). A photo of several megabytes written from pieces with one
// gathering write is never copied into one buffer first, whose fresh pages the system would
// also have to clear.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <span>
#include <vector>

#include "ByteStream.h"

namespace tarvo {

class TOutputPieces {
 public:
  // A stream held here whose bytes are the next piece; written into until the next piece is
  // added. The reference stays valid until Clear.
  TByteStream& Own();
  // bytes, held elsewhere, as the next piece.
  void Borrow(std::span<const std::uint8_t> bytes);
  // Holds bytes for as long as the pieces, so that pieces may be borrowed from them.
  void Keep(TStreamBytes bytes);
  void Clear();

  std::size_t Size() const;
  // The pieces in order.
  std::vector<std::span<const std::uint8_t>> Spans() const;
  // The bytes of every piece one after the other, output left at position 0.
  void CopyTo(TByteStream& output) const;

 private:
  struct TPiece {
    std::span<const std::uint8_t> Borrowed;
    const TByteStream* Owned = nullptr;
  };
  std::deque<TByteStream> owned_;
  std::vector<TStreamBytes> kept_;
  std::vector<TPiece> pieces_;
};

}  // namespace tarvo
