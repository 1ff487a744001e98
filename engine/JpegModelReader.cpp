#include "JpegModelReader.h"

#include <algorithm>
#include <cstring>
#include <span>
#include <string>
#include <string_view>

#include "BitStreamFile.h"
#include "JpegError.h"
#include "JpegMarkers.h"
#include "StandardHuffmanTables.h"

namespace tarvo {

using namespace markers;

namespace {

constexpr int kMaxSampling = 4;  // ITU-T T.81 B.2.2: H and V run from 1 to 4
// ITU-T T.81 B.2.3: an interleaved MCU holds at most ten blocks.
constexpr int kMaxBlocksInMcu = 10;
// libjpeg, which shows the picture, refuses larger frames, so no trim of one could be opened.
constexpr int kMaxDimension = 65500;
constexpr int kQuantTables = 4;
constexpr int kMaxComponents = 4;

// Why the engine cannot take the components of a frame ({id, sampling, table} each), or kNone.
EJpegError FrameComponentFault(const std::uint8_t (&fields)[kMaxComponents][3], int count) {
  int blocksInMcu = 0;
  for (int i = 0; i < count; ++i) {
    const int id = fields[i][0];
    const int h = fields[i][1] >> 4;
    const int v = fields[i][1] & 15;
    blocksInMcu += h * v;
    // A scan names components by identifier, so two with one identifier cannot be told apart.
    for (int j = 0; j < i; ++j) {
      if (fields[j][0] == id) return EJpegError::kDuplicateComponentId;
    }
    if (h < 1 || h > kMaxSampling || v < 1 || v > kMaxSampling ||
        (count > 1 && blocksInMcu > kMaxBlocksInMcu)) {
      return EJpegError::kBadSampling;
    }
    if (fields[i][2] >= kQuantTables) return EJpegError::kBadQuantSelector;
  }
  return EJpegError::kNone;
}

// kExif, kApp1 or kMpf for a metadata segment by its identifier; kOther for any other. body
// follows the length word.
TSegment::TKind SegmentKind(std::uint16_t marker, std::span<const std::uint8_t> body) {
  const auto startsWith = [&](std::string_view identifier, std::size_t least) {
    return body.size() >= least &&
           std::memcmp(body.data(), identifier.data(), identifier.size()) == 0;
  };
  if (marker == kApp1) {
    // The identifier, two pad bytes, then a TIFF header of eight bytes.
    return startsWith("Exif", 14) ? TSegment::TKind::kExif : TSegment::TKind::kApp1;
  }
  // "MPF" and its terminating zero, then the MP header of eight bytes.
  if (marker == kApp2 && startsWith(std::string_view("MPF", 4), 12)) return TSegment::TKind::kMpf;
  return TSegment::TKind::kOther;
}

class TModelReader {
 public:
  TModelReader(TByteStream& source, TJpegModel& model)
      : source_(source), reader_(source), model_(model) {}

  // Fills the model; false when the file is refused, with the reason in Status().
  bool Read();
  const TJpegStatus& Status() const { return status_; }

 private:
  // Walks the marker segments up to EOI or the end of the file.
  bool ReadSegments();
  // Refuses the file for error: returns false for the caller to pass on.
  bool Fail(TJpegStatus error) {
    status_ = error;
    return false;
  }
  // The next marker word, past any fill bytes before it and any bytes that start no marker
  // (noted as a warning); the two bytes where the skip started when no marker follows.
  std::uint16_t ReadMarker();
  // Whether a segment of length, its length word just read, is at least that word and fits in
  // the stream.
  bool LengthFits(std::uint16_t length) const {
    return length >= 2 && length - 2 <= reader_.Size() - reader_.Position();
  }
  // Reads a segment's length word; false (after a report) unless LengthFits.
  bool ReadSegmentLength(std::uint16_t& length);
  // Finds the end of the last scan's coded data and goes there. True once the scans are
  // complete: the tail after them has been read as well.
  bool SkipCodedData();
  // At a marker that no scan can follow: a progressive frame is complete, a sequential one
  // lacks components. Reads the tail of a complete one.
  bool EndScans();
  // Reads the APPn and COM segments after the coded data up to EOI, noting in TailFault, not
  // refusing, what a trim cannot carry: analysis accepts such a file as before.
  void ReadTail();
  TSegment::TKind MetadataKind(std::uint16_t marker, std::int64_t start, std::int64_t end) const {
    return SegmentKind(marker, source_.Bytes().subspan(static_cast<std::size_t>(start + 2),
                                                       static_cast<std::size_t>(end - start - 2)));
  }
  // Refuses, with the reason, the codings the engine cannot decode: lossless and hierarchical
  // frames (ITU-T T.81 Table B.1).
  bool CheckCoding(std::uint16_t marker);
  bool ReadFrame(std::uint16_t marker);
  // Where the coded data from start end: the marker after them (its last fill byte), or the
  // end of the stream.
  std::int64_t FindDataEnd(std::int64_t start) const;
  bool Progressive() const { return model_.Progressive(); }
  // Baseline frames have two tables of each class, the others four (ITU-T T.81 B.2.4.2).
  int MaxTableDestination() const { return model_.FrameMarker == kSof0 ? 1 : 3; }
  bool ReadDht();
  bool ReadDqt();
  bool ReadDri();
  // Conditioning tables for arithmetic coding (ITU-T T.81 B.2.4.3); they apply to the scans
  // that follow.
  bool ReadDac();
  bool ReadSos();
  // A scan may select a table that its file never defines, as Motion-JPEG frames do for all of
  // them; decoders then take the table of ITU-T T.81 K.3, and so does the engine. There are
  // such tables for destinations 0 and 1 only: any other is refused, false after a report.
  bool SupplyStandardTable(int tableClass, int destination);
  // Skips an APPn or COM segment. One whose length is below 2 reads as empty, as libjpeg reads
  // it, with a warning; kept is then false, for it has no place in a trim.
  bool SkipSegment(std::uint16_t marker, bool& kept);
  bool CheckScanLength();
  void AddSegment(TSegment::TKind kind, std::uint16_t marker, std::int64_t start) {
    model_.Segments.push_back({kind, marker, start, reader_.Position()});
  }

  TByteStream& source_;
  TInBitStreamFile reader_;
  TJpegModel& model_;
  TJpegStatus status_;
  bool frameSeen_ = false;
  unsigned quantDefined_ = 0;  // bit t set once DQT has defined table t
  // Bit t set once a scan has coded a component with table t: decoders take a component's
  // table as it stands at its first scan, so the frame can no longer have t redefined.
  unsigned quantInUse_ = 0;
  std::array<int, kHuffmanSlots> tables_{};
  int restartInterval_ = 0;
  TArithmeticConditioning conditioning_;
  unsigned coded_ = 0;  // bit c set once a sequential scan has coded component c
  // The number of segments before the last scan's coded data ended.
  std::size_t afterData_ = 0;
};

bool TModelReader::Read() {
  if (!ReadSegments()) return false;
  // A component no scan codes has no table checked yet; the trim's header must still carry
  // one for it, and libjpeg's transcoder refuses a file without it too.
  for (const TFrameComponent& component : model_.Components) {
    if ((quantDefined_ >> component.QuantTable & 1) == 0) return Fail(EJpegError::kNoFrameDqt);
  }
  return true;
}

bool TModelReader::ReadSegments() {
  model_ = TJpegModel{};
  tables_.fill(-1);
  if (reader_.ReadWord() != kSoi) return Fail(EJpegError::kNoSoi);
  for (;;) {
    const bool afterScan = !model_.Scans.empty();
    if (afterScan && reader_.Position() >= reader_.Size()) return EndScans();
    const std::int64_t markerStart = reader_.Position();
    const std::uint16_t marker = ReadMarker();
    const std::int64_t start = reader_.Position();
    TSegment::TKind kind = TSegment::TKind::kOther;
    bool ok = true;
    if (marker == kDht) {
      kind = TSegment::TKind::kHuffman;
      ok = ReadDht();
    } else if (marker == kDqt) {
      kind = TSegment::TKind::kQuant;
      ok = ReadDqt();
    } else if (marker == kDri) {
      ok = ReadDri();
    } else if (IsAppOrCom(marker)) {
      bool kept = true;
      ok = SkipSegment(marker, kept);
      if (ok && !kept) continue;
      if (ok) kind = MetadataKind(marker, start, reader_.Position());
    } else if (marker == kDac) {
      // A trim is Huffman-coded: the segment has no place in it.
      if (!ReadDac()) return false;
      continue;
    } else if (marker == kSos) {
      if (!ReadSos()) return false;
      AddSegment(TSegment::TKind::kScanHeader, marker, start);
      if (!afterScan) {
        model_.HeaderTables = tables_;
        if (!CheckScanLength()) return false;
      }
      if (SkipCodedData()) return true;
      continue;
    } else if (afterScan && marker == kDnl) {
      // The frame gives the height already: libjpeg passes the segment over, and a trim,
      // whose frame states its own height, leaves it out.
      std::uint16_t length;
      if (!ReadSegmentLength(length)) return false;
      reader_.SetPosition(reader_.Position() + (length - 2));
      continue;
    } else if (afterScan) {
      // EOI, or what a trim refuses to carry after its scan: the scans end before it.
      reader_.SetPosition(markerStart);
      return EndScans();
    } else if (IsFrameMarker(marker)) {
      if (!CheckCoding(marker)) return false;
      kind = TSegment::TKind::kFrame;
      ok = ReadFrame(marker);
    } else if (marker == kDhp || marker == kExp) {
      return Fail(EJpegError::kHierarchical);
    } else {
      return Fail({EJpegError::kUnknownMarker, marker});
    }
    if (!ok) return false;
    AddSegment(kind, marker, start);
  }
}

std::uint16_t TModelReader::ReadMarker() {
  const std::span<const std::uint8_t> bytes = source_.Bytes();
  const auto at = static_cast<std::size_t>(reader_.Position());
  // Bytes before a marker belong to no segment: libjpeg skips them with a warning, and so does
  // the engine. Where no marker follows them, they are what the refusal shows.
  std::size_t skipped = 0;
  const std::size_t code = NextMarkerCode(bytes, at, skipped);
  if (code == bytes.size()) {
    // Fill bytes up to the end are an end of the stream: reading on raises.
    if (skipped == 0) reader_.SetPosition(static_cast<std::int64_t>(code));
    return reader_.ReadWord();
  }
  if (skipped != 0) {
    model_.Warnings.push_back({EJpegWarning::kExtraneousBytes, static_cast<std::int64_t>(skipped)});
  }
  reader_.SetPosition(static_cast<std::int64_t>(code));
  return MarkerOf(reader_.ReadByte());
}

bool TModelReader::SkipCodedData() {
  TScan& scan = model_.Scans.back();
  scan.DataEnd = FindDataEnd(scan.DataStart);
  reader_.SetPosition(scan.DataEnd);
  afterData_ = model_.Segments.size();
  // A sequential frame's last scan is the one that completes its components; whatever follows
  // it is the tail.
  const unsigned all = (1u << model_.Components.size()) - 1;
  if (Progressive() || coded_ != all) return false;
  ReadTail();
  return true;
}

bool TModelReader::EndScans() {
  if (!Progressive()) {
    return Fail(EJpegError::kComponentNotCoded);
  }
  ReadTail();
  return true;
}

void TModelReader::ReadTail() {
  model_.Eoi = reader_.Size();
  // A progressive frame's walk has taken the segments after its last scan already.
  for (std::size_t i = afterData_; i < model_.Segments.size(); ++i) {
    if (!IsAppOrCom(model_.Segments[i].Marker)) {
      model_.TailFault = EJpegError::kBadTail;
      return;
    }
  }
  const std::span<const std::uint8_t> bytes = source_.Bytes();
  while (reader_.Position() < reader_.Size()) {
    std::size_t skipped = 0;
    const std::size_t code =
        NextMarkerCode(bytes, static_cast<std::size_t>(reader_.Position()), skipped);
    if (code == bytes.size()) {
      model_.TailFault = EJpegError::kBadTail;
      return;
    }
    const std::uint16_t marker = ReadMarker();
    if (marker == kEoi) {
      model_.Eoi = static_cast<std::int64_t>(code) - 1;
      return;
    }
    // Comments, application data and a DNL segment may sit between the scan and EOI; another
    // scan, frame or table would not survive the trim, and a decoder would read the output
    // wrongly.
    if (!IsAppOrCom(marker) && marker != kDnl) {
      model_.TailFault = EJpegError::kBadTail;
      return;
    }
    const std::int64_t start = reader_.Position();
    const bool lengthRead = reader_.Size() - start >= 2;
    const std::uint16_t length = lengthRead ? reader_.ReadWord() : 0;
    // An APPn or COM segment too short for its length word reads as empty, as libjpeg reads it,
    // and has no place in a trim.
    if (lengthRead && length < 2 && marker != kDnl) {
      model_.Warnings.push_back({EJpegWarning::kEmptySegment, 0, marker});
      continue;
    }
    if (!LengthFits(length)) {
      model_.TailFault = EJpegError::kBadSegmentLength;
      return;
    }
    reader_.SetPosition(start + length);
    // The trim's frame states its height: a DNL segment has no place in it.
    if (marker != kDnl) AddSegment(MetadataKind(marker, start, start + length), marker, start);
  }
}

bool TModelReader::ReadSegmentLength(std::uint16_t& length) {
  length = reader_.ReadWord();
  if (!LengthFits(length)) {
    return Fail(EJpegError::kBadSegmentLength);
  }
  return true;
}

bool TModelReader::CheckCoding(std::uint16_t marker) {
  const int type = marker & 15;
  if (type == 3 || type == 11) return Fail(EJpegError::kLossless);
  if (type == 5 || type == 6 || type == 7 || type >= 13) return Fail(EJpegError::kHierarchical);
  return true;
}

bool TModelReader::ReadFrame(std::uint16_t marker) {
  std::uint16_t length;
  if (!ReadSegmentLength(length)) return false;
  const std::uint8_t precision = reader_.ReadByte();
  const std::uint16_t height = reader_.ReadWord();
  const std::uint16_t width = reader_.ReadWord();
  const int count = reader_.ReadByte();
  // The segment must be exactly its components long: 8 + 3 x Nf (ITU-T T.81 B.2.2).
  if (length != 8 + 3 * count) {
    return Fail(EJpegError::kBadFrame);
  }
  if (count == 0 || count > kMaxComponents) {
    return Fail(EJpegError::kComponentCount);
  }
  if (precision != 8) {
    return Fail(EJpegError::kNotEightBit);
  }
  std::uint8_t fields[kMaxComponents][3];
  for (int i = 0; i < count; ++i) reader_.ReadBlock(fields[i], 3);
  if (frameSeen_) {
    return Fail(EJpegError::kSecondFrame);
  }
  if (width == 0 || height == 0) {
    return Fail(EJpegError::kZeroSize);
  }
  if (width > kMaxDimension || height > kMaxDimension) {
    return Fail(EJpegError::kTooLarge);
  }
  const EJpegError fault = FrameComponentFault(fields, count);
  if (fault != EJpegError::kNone) return Fail(fault);
  for (int i = 0; i < count; ++i) {
    TFrameComponent component;
    component.Id = fields[i][0];
    component.HSampling = fields[i][1] >> 4;
    component.VSampling = fields[i][1] & 15;
    component.QuantTable = fields[i][2];
    model_.Components.push_back(component);
  }
  if (count == 1) model_.Components[0].HSampling = model_.Components[0].VSampling = 1;
  model_.FrameMarker = marker;
  model_.Width = width;
  model_.Height = height;
  model_.LayOutBlocks();
  frameSeen_ = true;
  return true;
}

bool TModelReader::ReadDht() {
  std::uint16_t length;
  if (!ReadSegmentLength(length)) return false;
  int remaining = length - 2;
  while (remaining > 0) {
    // Class/destination byte and sixteen counts precede the symbols.
    if (remaining < 17) {
      return Fail(EJpegError::kBadDht);
    }
    const std::uint8_t classAndDestination = reader_.ReadByte();
    const int tableClass = classAndDestination >> 4;
    const int destination = classAndDestination & 15;
    std::uint8_t counts[16];
    reader_.ReadBlock(counts, sizeof counts);
    int total = 0;
    for (const std::uint8_t count : counts) total += count;
    remaining -= 17;
    if (tableClass > 1 || destination > (frameSeen_ ? MaxTableDestination() : 3) ||
        total > remaining || !IsValidCodeLengthCounts(counts)) {
      return Fail(EJpegError::kBadDht);
    }
    std::uint8_t symbols[256];
    reader_.ReadBlock(symbols, static_cast<std::size_t>(total));
    remaining -= total;
    // A DC symbol is a magnitude category, 0 to 15 (ITU-T T.81 F.1.2.1.1).
    if (tableClass == 0 &&
        std::any_of(symbols, symbols + total, [](std::uint8_t symbol) { return symbol > 15; })) {
      return Fail(EJpegError::kBadDht);
    }
    model_.HuffmanTables.emplace_back().Assign(counts, symbols);
    tables_[static_cast<std::size_t>(HuffmanSlot(tableClass, destination))] =
        static_cast<int>(model_.HuffmanTables.size() - 1);
  }
  return true;
}

bool TModelReader::ReadDqt() {
  std::uint16_t length;
  if (!ReadSegmentLength(length)) return false;
  // Each table: precision and destination, then 64 entries of one or two bytes (B.2.4.1).
  for (int remaining = length - 2; remaining > 0;) {
    const std::uint8_t precisionAndDestination = reader_.ReadByte();
    const int precision = precisionAndDestination >> 4;
    const int destination = precisionAndDestination & 15;
    const int size = precision == 0 ? 64 : 128;
    if (precision > 1 || destination >= kQuantTables || remaining < 1 + size) {
      return Fail(EJpegError::kBadDqt);
    }
    if ((quantInUse_ >> destination & 1) != 0) {
      return Fail(EJpegError::kQuantRedefined);
    }
    reader_.SetPosition(reader_.Position() + size);
    quantDefined_ |= 1u << destination;
    if (precision == 1) {
      model_.SixteenBitQuant |= 1u << destination;
    } else {
      model_.SixteenBitQuant &= ~(1u << destination);
    }
    remaining -= 1 + size;
  }
  return true;
}

bool TModelReader::ReadDri() {
  std::uint16_t length;
  if (!ReadSegmentLength(length)) return false;
  if (length != 4) {
    return Fail(EJpegError::kBadSegmentLength);
  }
  restartInterval_ = reader_.ReadWord();
  return true;
}

bool TModelReader::ReadDac() {
  std::uint16_t length;
  if (!ReadSegmentLength(length)) return false;
  // Each table: class and destination, then its value (ITU-T T.81 B.2.4.3).
  if (length % 2 != 0) {
    return Fail(EJpegError::kBadDac);
  }
  for (int remaining = length - 2; remaining > 0; remaining -= 2) {
    const std::uint8_t classAndDestination = reader_.ReadByte();
    const std::uint8_t value = reader_.ReadByte();
    const int destination = classAndDestination & 15;
    const int lower = value & 15;
    const int upper = value >> 4;
    if (classAndDestination >> 4 > 1 || destination > 3 ||
        (classAndDestination >> 4 == 0 && lower > upper)) {
      return Fail(EJpegError::kBadDac);
    }
    const auto d = static_cast<std::size_t>(destination);
    if (classAndDestination >> 4 == 0) {
      conditioning_.DcLower[d] = static_cast<std::uint8_t>(lower);
      conditioning_.DcUpper[d] = static_cast<std::uint8_t>(upper);
    } else {
      conditioning_.AcThreshold[d] = value;
    }
  }
  return true;
}

bool TModelReader::ReadSos() {
  std::uint16_t length;
  if (!ReadSegmentLength(length)) return false;
  const int count = reader_.ReadByte();
  const int frameCount = static_cast<int>(model_.Components.size());
  if (!frameSeen_ || count == 0 || count > frameCount || length != 6 + 2 * count) {
    return Fail(EJpegError::kBadSos);
  }
  if (model_.Scans.size() == kMaxScans) {
    return Fail(EJpegError::kTooManyScans);
  }
  TScan scan;
  // In the frame's order, so no component is named twice.
  int previous = -1;
  std::uint8_t selectors[kMaxComponents];
  for (int i = 0; i < count; ++i) {
    const int id = reader_.ReadByte();
    selectors[i] = reader_.ReadByte();
    const auto found =
        std::find_if(model_.Components.begin(), model_.Components.end(),
                     [id](const TFrameComponent& component) { return component.Id == id; });
    const int index = static_cast<int>(found - model_.Components.begin());
    if (found == model_.Components.end() || index <= previous ||
        (selectors[i] >> 4) > MaxTableDestination() ||
        (selectors[i] & 15) > MaxTableDestination()) {
      return Fail(EJpegError::kBadSos);
    }
    if ((quantDefined_ >> found->QuantTable & 1) == 0) {
      return Fail(EJpegError::kNoDqt);
    }
    previous = index;
    quantInUse_ |= 1u << found->QuantTable;
    scan.Components.push_back({index, -1, -1, selectors[i]});
  }
  const int ss = reader_.ReadByte();
  const int se = reader_.ReadByte();
  const int approximation = reader_.ReadByte();
  scan.SpectralStart = ss;
  scan.SpectralEnd = se;
  scan.ApproximationHigh = approximation >> 4;
  scan.ApproximationLow = approximation & 15;
  bool valid;
  if (Progressive()) {
    // The progression libjpeg decodes (ITU-T T.81 G.1.1.1): a DC scan is DC alone, an AC scan
    // one component's band, a refinement one bit below the scan before it.
    valid = ss == 0 ? se == 0 : se >= ss && se <= 63 && count == 1;
    valid = valid &&
            (scan.ApproximationHigh == 0 || scan.ApproximationLow == scan.ApproximationHigh - 1) &&
            scan.ApproximationLow <= 13;
  } else {
    // Ss, Se and Ah/Al are fixed for a sequential scan: 0, 63 and 0 (ITU-T T.81 B.2.3), and
    // each component is coded by one scan.
    valid = ss == 0 && se == 63 && approximation == 0;
    for (const TScanComponent& component : scan.Components) {
      valid = valid && (coded_ >> component.Component & 1) == 0;
      coded_ |= 1u << component.Component;
    }
  }
  if (!valid) {
    return Fail(EJpegError::kBadSos);
  }
  // The Huffman tables the scan codes with: a DC refinement needs none, an AC scan no DC
  // table, an arithmetic-coded scan none at all.
  const bool huffman = !model_.Arithmetic();
  const bool needsDc = huffman && ss == 0 && (scan.ApproximationHigh == 0 || !Progressive());
  const bool needsAc = huffman && se > 0;
  for (int i = 0; i < count; ++i) {
    TScanComponent& component = scan.Components[static_cast<std::size_t>(i)];
    if (needsDc) {
      if (!SupplyStandardTable(0, selectors[i] >> 4)) return false;
      component.DcTable = tables_[static_cast<std::size_t>(HuffmanSlot(0, selectors[i] >> 4))];
    }
    if (needsAc) {
      if (!SupplyStandardTable(1, selectors[i] & 15)) return false;
      component.AcTable = tables_[static_cast<std::size_t>(HuffmanSlot(1, selectors[i] & 15))];
    }
  }
  scan.RestartInterval = restartInterval_;
  scan.Conditioning = conditioning_;
  scan.DataStart = reader_.Position();
  model_.Scans.push_back(std::move(scan));
  return true;
}

bool TModelReader::SupplyStandardTable(int tableClass, int destination) {
  const auto slot = static_cast<std::size_t>(HuffmanSlot(tableClass, destination));
  if (tables_[slot] >= 0) return true;
  if (destination >= kStandardHuffmanDestinations) {
    return Fail(EJpegError::kNoDht);
  }
  const TStandardHuffmanTable& standard = StandardHuffmanTable(tableClass, destination);
  model_.HuffmanTables.emplace_back().Assign(standard.Counts, standard.Symbols.data());
  tables_[slot] = static_cast<int>(model_.HuffmanTables.size() - 1);
  model_.StandardTables |= 1u << slot;
  return true;
}

std::int64_t TModelReader::FindDataEnd(std::int64_t start) const {
  const std::span<const std::uint8_t> bytes = source_.Bytes();
  const std::uint8_t* const begin = bytes.data();
  for (auto at = static_cast<std::size_t>(start); at < bytes.size();) {
    const void* found = std::memchr(begin + at, 0xFF, bytes.size() - at);
    if (found == nullptr) break;
    const std::size_t code = MarkerCodeAt(
        bytes, static_cast<std::size_t>(static_cast<const std::uint8_t*>(found) - begin));
    if (code == bytes.size()) break;
    if (EndsCodedData(bytes[code])) return static_cast<std::int64_t>(code) - 1;
    at = code + 1;
  }
  return source_.Size();
}

bool TModelReader::SkipSegment(std::uint16_t marker, bool& kept) {
  const std::uint16_t length = reader_.ReadWord();
  kept = length >= 2;
  if (!kept) {
    model_.Warnings.push_back({EJpegWarning::kEmptySegment, 0, marker});
    return true;
  }
  if (!LengthFits(length)) return Fail(EJpegError::kBadSegmentLength);
  reader_.SetPosition(reader_.Position() + (length - 2));
  return true;
}

bool TModelReader::CheckScanLength() {
  // An arithmetic decoder reads zeros past the end of a scan's data, and a decision can cost
  // far less than a bit: no length is too short for it.
  if (model_.Arithmetic()) return true;
  std::int64_t blocksPerMcu = 0;
  for (const TFrameComponent& component : model_.Components) {
    blocksPerMcu += component.HSampling * component.VSampling;
  }
  // Every block takes at least two bits (a DC code and an EOB code, or a DC code and a
  // coefficient), or in a progressive frame one (its DC code). A sequential file cut off early
  // keeps the MCU rows that arrived, so its data must hold one; a progressive one needs every
  // block, so its data must hold them all: refuse before allocating.
  const std::int64_t blocks = blocksPerMcu * model_.McuCols * (Progressive() ? model_.McuRows : 1);
  const std::int64_t bytesLeft = reader_.Size() - reader_.Position();
  if (blocks * (Progressive() ? 1 : 2) > bytesLeft * 8) {
    return Fail(EJpegError::kScanTooShort);
  }
  return true;
}

}  // namespace

TJpegStatus ReadJpegModel(TByteStream& source, TJpegModel& model) {
  TModelReader reader(source, model);
  reader.Read();
  return reader.Status();
}

std::vector<TSegment> ReadHeaderLayout(std::span<const std::uint8_t> jpeg) {
  std::vector<TSegment> segments;
  if (!StartsWithSoi(jpeg)) return segments;
  std::size_t at = 2;
  while (at < jpeg.size() && jpeg[at] == 0xFF) {
    const std::size_t code = MarkerCodeAt(jpeg, at);
    const std::size_t start = code + 1;
    if (start + 2 > jpeg.size()) break;
    const std::size_t length = jpeg[start] << 8 | jpeg[start + 1];
    if (length < 2 || length > jpeg.size() - start) break;
    const std::uint16_t marker = MarkerOf(jpeg[code]);
    const std::span<const std::uint8_t> body = jpeg.subspan(start + 2, length - 2);
    const TSegment::TKind kind =
        marker == kSos ? TSegment::TKind::kScanHeader : SegmentKind(marker, body);
    segments.push_back({kind, marker, static_cast<std::int64_t>(start),
                        static_cast<std::int64_t>(start + length)});
    if (marker == kSos) break;
    at = start + length;
  }
  return segments;
}

}  // namespace tarvo
