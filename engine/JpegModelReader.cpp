#include "JpegModelReader.h"

#include <algorithm>
#include <cstring>
#include <span>
#include <string>
#include <string_view>

#include "BitStreamFile.h"
#include "JpegMarkers.h"
#include "Messages.h"
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

// Why the engine cannot take the components of a frame ({id, sampling, table} each), or empty.
std::string_view FrameComponentFault(const std::uint8_t (&fields)[kMaxComponents][3], int count) {
  int blocksInMcu = 0;
  for (int i = 0; i < count; ++i) {
    const int id = fields[i][0];
    const int h = fields[i][1] >> 4;
    const int v = fields[i][1] & 15;
    blocksInMcu += h * v;
    // A scan names components by identifier, so two with one identifier cannot be told apart.
    for (int j = 0; j < i; ++j) {
      if (fields[j][0] == id) return kMsgDuplicateComponentId;
    }
    if (h < 1 || h > kMaxSampling || v < 1 || v > kMaxSampling ||
        (count > 1 && blocksInMcu > kMaxBlocksInMcu)) {
      return kMsgBadSampling;
    }
    if (fields[i][2] >= kQuantTables) return kMsgBadQuantSelector;
  }
  return {};
}

class TModelReader {
 public:
  TModelReader(TByteStream& source, const TMessageProc& onMessage, bool forTrim, TJpegModel& model)
      : source_(source),
        reader_(source, onMessage),
        onMessage_(onMessage),
        forTrim_(forTrim),
        model_(model) {}

  bool Read();

 private:
  void Report(std::string_view text) {
    if (onMessage_) onMessage_(std::string(text), kSeverityError);
  }
  // The next marker word, past any fill bytes 0xFF before it (ITU-T T.81 B.1.1.2).
  std::uint16_t ReadMarker() {
    std::uint16_t word = reader_.ReadWord();
    while (word == 0xFFFF) word = static_cast<std::uint16_t>(0xFF00 | reader_.ReadByte());
    return word;
  }
  // Reads a segment's length word; false (after a report) when it is below 2 or the segment
  // runs past the end of the stream.
  bool ReadSegmentLength(std::uint16_t& length);
  // Refuses, with the reason, the codings the engine cannot decode: arithmetic, lossless and
  // hierarchical frames (ITU-T T.81 Table B.1).
  bool CheckCoding(std::uint16_t marker);
  bool ReadFrame(std::uint16_t marker);
  // The scans after the first, up to the last: a sequential frame's last scan is the one that
  // completes its components, a progressive frame's the one before EOI. The segments between
  // scans may define tables and restart intervals; anything else ends the walk.
  bool ReadLaterScans();
  // Where the coded data from start ends: the first marker other than RSTn, or the end.
  std::int64_t FindDataEnd(std::int64_t start) const;
  bool Progressive() const { return model_.FrameMarker == kSof2; }
  // Baseline frames have two tables of each class, the others four (ITU-T T.81 B.2.4.2).
  int MaxTableDestination() const { return model_.FrameMarker == kSof0 ? 1 : 3; }
  bool ReadDht();
  bool ReadDqt();
  bool ReadDri();
  bool ReadSos();
  // A scan may select a table that its file never defines, as Motion-JPEG frames do for all of
  // them; decoders then take the table of ITU-T T.81 K.3, and so does the engine. There are
  // such tables for destinations 0 and 1 only: any other is refused, false after a report.
  bool SupplyStandardTable(int tableClass, int destination);
  bool SkipSegment();
  bool CheckScanLength();
  void AddSegment(TSegment::TKind kind, std::uint16_t marker, std::int64_t start) {
    model_.Header.push_back({kind, marker, start, reader_.Position()});
  }

  TByteStream& source_;
  TInBitStreamFile reader_;
  const TMessageProc& onMessage_;
  bool forTrim_;
  TJpegModel& model_;
  bool frameSeen_ = false;
  unsigned quantDefined_ = 0;  // bit t set once DQT has defined table t
  // Bit t set once a scan has coded a component with table t: decoders take a component's
  // table as it stands at its first scan, so the frame can no longer have t redefined.
  unsigned quantInUse_ = 0;
  std::array<int, kHuffmanSlots> tables_{};
  int restartInterval_ = 0;
  unsigned coded_ = 0;  // bit c set once a sequential scan has coded component c
};

bool TModelReader::Read() {
  model_ = TJpegModel{};
  tables_.fill(-1);
  if (reader_.ReadWord() != kSoi) {
    Report(forTrim_ ? kMsgTrimNoSoi : kMsgNoSoi);
    return false;
  }
  for (;;) {
    const std::uint16_t marker = ReadMarker();
    const std::int64_t start = reader_.Position();
    TSegment::TKind kind = TSegment::TKind::kCopied;
    bool ok = true;
    if (IsFrameMarker(marker)) {
      if (!CheckCoding(marker)) return false;
      kind = TSegment::TKind::kFrame;
      ok = ReadFrame(marker);
    } else if (marker == kDac || marker == kDhp || marker == kExp) {
      Report(marker == kDac ? kMsgArithmetic : kMsgHierarchical);
      return false;
    } else if (marker == kDht) {
      kind = TSegment::TKind::kHuffman;
      ok = ReadDht();
    } else if (marker == kDqt) {
      ok = ReadDqt();
    } else if (marker == kDri) {
      ok = ReadDri();
    } else if (IsAppOrCom(marker)) {
      if (marker == kApp1) kind = TSegment::TKind::kExif;
      ok = SkipSegment();
    } else if (marker == kSos) {
      if (!ReadSos()) return false;
      AddSegment(TSegment::TKind::kScanHeader, marker, start);
      model_.HeaderTables = tables_;
      return CheckScanLength() && (model_.SingleScan() || ReadLaterScans());
    } else {
      Report(FormatMessage(forTrim_ ? kMsgTrimUnknownMarker : kMsgUnknownMarker, HexWord(marker)));
      return false;
    }
    if (!ok) return false;
    AddSegment(kind, marker, start);
  }
}

bool TModelReader::ReadSegmentLength(std::uint16_t& length) {
  length = reader_.ReadWord();
  if (length < 2 || length - 2 > reader_.Size() - reader_.Position()) {
    Report(kMsgBadSegmentLength);
    return false;
  }
  return true;
}

bool TModelReader::CheckCoding(std::uint16_t marker) {
  const int type = marker & 15;
  if (type == 3 || type == 11) {
    Report(kMsgLossless);
  } else if (type == 5 || type == 6 || type == 7 || type >= 13) {
    Report(kMsgHierarchical);
  } else if (type >= 9) {
    Report(kMsgArithmetic);
  } else {
    return true;
  }
  return false;
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
    Report(kMsgBadSof0);
    return false;
  }
  if (count == 0 || count > kMaxComponents) {
    Report(kMsgComponentCount);
    return false;
  }
  if (precision != 8) {
    Report(kMsgNotEightBit);
    return false;
  }
  std::uint8_t fields[kMaxComponents][3];
  for (int i = 0; i < count; ++i) reader_.ReadBlock(fields[i], 3);
  if (frameSeen_) {
    Report(kMsgSecondFrame);
    return false;
  }
  if (width == 0 || height == 0) {
    Report(kMsgZeroSize);
    return false;
  }
  if (width > kMaxDimension || height > kMaxDimension) {
    Report(kMsgTooLarge);
    return false;
  }
  const std::string_view fault = FrameComponentFault(fields, count);
  if (!fault.empty()) {
    Report(fault);
    return false;
  }
  for (int i = 0; i < count; ++i) {
    TFrameComponent component;
    component.Id = fields[i][0];
    component.HSampling = fields[i][1] >> 4;
    component.VSampling = fields[i][1] & 15;
    component.QuantTable = fields[i][2];
    model_.Components.push_back(component);
  }
  if (count == 1) model_.Components[0].HSampling = model_.Components[0].VSampling = 1;
  for (const TFrameComponent& component : model_.Components) {
    model_.MaxHSampling = std::max(model_.MaxHSampling, component.HSampling);
    model_.MaxVSampling = std::max(model_.MaxVSampling, component.VSampling);
  }
  const int mcuWidth = model_.McuWidth();
  const int mcuHeight = model_.McuHeight();
  model_.McuCols = (width + mcuWidth - 1) / mcuWidth;
  model_.McuRows = (height + mcuHeight - 1) / mcuHeight;
  for (TFrameComponent& component : model_.Components) {
    // ITU-T T.81 A.1.1: a component has ceil(X * H / Hmax) samples per line.
    const int samplesWide =
        (width * component.HSampling + model_.MaxHSampling - 1) / model_.MaxHSampling;
    const int samplesHigh =
        (height * component.VSampling + model_.MaxVSampling - 1) / model_.MaxVSampling;
    component.BlocksWide = (samplesWide + 7) / 8;
    component.BlocksHigh = (samplesHigh + 7) / 8;
  }
  model_.FrameMarker = marker;
  model_.Width = width;
  model_.Height = height;
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
      Report(kMsgBadDht);
      return false;
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
      Report(kMsgBadDht);
      return false;
    }
    std::uint8_t symbols[256];
    reader_.ReadBlock(symbols, static_cast<std::size_t>(total));
    remaining -= total;
    // A DC symbol is a magnitude category, 0 to 15 (ITU-T T.81 F.1.2.1.1).
    if (tableClass == 0 &&
        std::any_of(symbols, symbols + total, [](std::uint8_t symbol) { return symbol > 15; })) {
      Report(kMsgBadDht);
      return false;
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
      Report(kMsgBadDqt);
      return false;
    }
    if ((quantInUse_ >> destination & 1) != 0) {
      Report(kMsgQuantRedefined);
      return false;
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
    Report(kMsgBadSegmentLength);
    return false;
  }
  restartInterval_ = reader_.ReadWord();
  return true;
}

bool TModelReader::ReadSos() {
  std::uint16_t length;
  if (!ReadSegmentLength(length)) return false;
  const int count = reader_.ReadByte();
  const int frameCount = static_cast<int>(model_.Components.size());
  if (!frameSeen_ || count == 0 || count > frameCount || length != 6 + 2 * count) {
    Report(kMsgBadSos);
    return false;
  }
  if (model_.Scans.size() == kMaxScans) {
    Report(kMsgTooManyScans);
    return false;
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
      Report(kMsgBadSos);
      return false;
    }
    if ((quantDefined_ >> found->QuantTable & 1) == 0) {
      Report(kMsgNoDqt);
      return false;
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
    Report(kMsgBadSos);
    return false;
  }
  // The tables the scan codes with: a DC refinement needs none, an AC scan no DC table.
  const bool needsDc = ss == 0 && (scan.ApproximationHigh == 0 || !Progressive());
  const bool needsAc = se > 0;
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
  scan.DataStart = reader_.Position();
  model_.Scans.push_back(std::move(scan));
  return true;
}

bool TModelReader::SupplyStandardTable(int tableClass, int destination) {
  const auto slot = static_cast<std::size_t>(HuffmanSlot(tableClass, destination));
  if (tables_[slot] >= 0) return true;
  if (destination >= kStandardHuffmanDestinations) {
    Report(kMsgNoDht);
    return false;
  }
  const TStandardHuffmanTable& standard = StandardHuffmanTable(tableClass, destination);
  model_.HuffmanTables.emplace_back().Assign(standard.Counts, standard.Symbols.data());
  tables_[slot] = static_cast<int>(model_.HuffmanTables.size() - 1);
  model_.StandardTables |= 1u << slot;
  return true;
}

std::int64_t TModelReader::FindDataEnd(std::int64_t start) const {
  const std::span<const std::uint8_t> bytes = source_.Bytes();
  const std::uint8_t* const end = bytes.data() + bytes.size();
  for (const std::uint8_t* at = bytes.data() + start; at < end; ++at) {
    at =
        static_cast<const std::uint8_t*>(std::memchr(at, 0xFF, static_cast<std::size_t>(end - at)));
    if (at == nullptr || at + 1 == end) break;
    if (at[1] != 0x00 && (at[1] & 0xF8) != (kRst0 & 0xF8)) return at - bytes.data();
  }
  return source_.Size();
}

bool TModelReader::ReadLaterScans() {
  const unsigned all = (1u << model_.Components.size()) - 1;
  for (;;) {
    if (!Progressive() && coded_ == all) return true;
    TScan& scan = model_.Scans.back();
    scan.DataEnd = FindDataEnd(scan.DataStart);
    reader_.SetPosition(scan.DataEnd);
    bool nextScan = false;
    while (!nextScan && reader_.Position() < reader_.Size()) {
      const std::int64_t markerStart = reader_.Position();
      const std::uint16_t marker = ReadMarker();
      bool ok = true;
      if (marker == kDht) {
        ok = ReadDht();
      } else if (marker == kDqt) {
        // A table first defined for the components of a later scan: the trim, one scan,
        // carries it in its header, after whatever defined the table before.
        const std::int64_t start = reader_.Position();
        ok = ReadDqt();
        if (ok) {
          model_.Header.insert(model_.Header.end() - 1,
                               {TSegment::TKind::kCopied, marker, start, reader_.Position()});
        }
      } else if (marker == kDri) {
        ok = ReadDri();
      } else if (IsAppOrCom(marker)) {
        ok = SkipSegment();
      } else if (marker == kSos) {
        ok = ReadSos();
        nextScan = true;
      } else {
        // EOI or what the tail check refuses: the walk ends before it.
        reader_.SetPosition(markerStart);
        break;
      }
      if (!ok) return false;
    }
    if (!nextScan) break;
  }
  if (!Progressive()) {
    Report(kMsgComponentNotCoded);
    return false;
  }
  return true;
}

bool TModelReader::SkipSegment() {
  std::uint16_t length;
  if (!ReadSegmentLength(length)) return false;
  reader_.SetPosition(reader_.Position() + (length - 2));
  return true;
}

bool TModelReader::CheckScanLength() {
  std::int64_t blocksPerMcu = 0;
  for (const TFrameComponent& component : model_.Components) {
    blocksPerMcu += component.HSampling * component.VSampling;
  }
  // Every block takes at least two bits (a DC code and an EOB code, or a DC code and a
  // coefficient), or in a progressive frame one (its DC code), so scans shorter than that cannot
  // fill the store: refuse before allocating.
  const std::int64_t blocks = blocksPerMcu * model_.McuCols * model_.McuRows;
  const std::int64_t bytesLeft = reader_.Size() - reader_.Position();
  if (blocks * (Progressive() ? 1 : 2) > bytesLeft * 8) {
    Report(kMsgScanTooShort);
    return false;
  }
  return true;
}

}  // namespace

bool ReadJpegModel(TByteStream& source, const TMessageProc& onMessage, bool forTrim,
                   TJpegModel& model) {
  return TModelReader(source, onMessage, forTrim, model).Read();
}

}  // namespace tarvo
