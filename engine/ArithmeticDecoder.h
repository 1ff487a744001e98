// The adaptive binary arithmetic decoder of arithmetic-coded JPEG scans (ITU-T T.81 Annex D).
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace tarvo {

// One adaptive probability estimate (a statistics bin): the index of its state in the
// estimation table in the low seven bits, the more probable symbol in the top bit. A bin of 0
// is the initial estimate of every bin (ITU-T T.81 D.1.2).
using TArithmeticBin = std::uint8_t;

// Decodes binary decisions from the entropy-coded bytes of one scan or restart interval.
class TArithmeticDecoder {
 public:
  explicit TArithmeticDecoder(std::span<const std::uint8_t> bytes) : bytes_(bytes) {}

  // Starts decoding the coded data at position (ITU-T T.81 D.2.7, INITDEC).
  void Start(std::size_t position);
  // One decision coded with bin's estimate, which adapts to it (D.2.2 to D.2.6).
  int Decode(TArithmeticBin& bin);
  // One decision of even odds that never adapts: signs and correction bits (F.1.4.4.1.3).
  int DecodeFixed();

  // True once decoding has needed bytes beyond the end of the data: it was cut off. Past a
  // marker other than RSTn the data are zeros, and an encoder leaves out the zero bytes its data
  // end with; but more of them than kZerosPastEnd means the data ran out, as in a file that
  // declares a picture far larger than its few bytes.
  bool EndReached() const { return endReached_; }
  static constexpr int kZerosPastEnd = 8;
  // Where the code of the marker after the coded data is (NextMarkerCode from the first byte
  // the decoder left unread); skipped receives how many bytes before the marker it passed over.
  std::size_t MarkerCode(std::size_t& skipped) const;

 private:
  int DecodeWith(int qe, int mps, TArithmeticBin* bin);
  // Shifts A back up to at least 0x8000, taking in a byte for every eight bits (D.2.6).
  void Renormalise();
  // The next byte of coded data into C: a stuffed 0xFF 0x00 is 0xFF, and from a marker on,
  // or past the end, the data are zeros (D.2.8).
  void ReadByte();

  std::span<const std::uint8_t> bytes_;
  std::size_t next_ = 0;
  bool markerMet_ = false;
  int zerosPastEnd_ = 0;  // zero bytes fed since a marker that ends the scan
  bool endReached_ = false;
  // The code register: the 16 bits compared with A above the bits of the bytes read ahead.
  std::uint32_t c_ = 0;
  // The size of the interval, kept at 0x8000 or more between decisions; it starts at 0x10000.
  std::uint32_t a_ = 0;
  int bitsLeft_ = 0;  // bits of C's read-ahead byte not yet shifted up
};

}  // namespace tarvo
