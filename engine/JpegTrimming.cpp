#include "JpegTrimming.h"

#include <algorithm>

#include "JpegMarkers.h"
#include "Messages.h"

namespace tarvo {

using namespace markers;

namespace {

constexpr int kMaxSampling = 4;  // ITU-T T.81 B.2.2: H and V run from 1 to 4
// ITU-T T.81 B.2.3: an interleaved MCU holds at most ten blocks.
constexpr int kMaxBlocksInMcu = 10;
// libjpeg, which shows the picture, refuses larger frames, so no trim of one could be opened.
constexpr int kMaxDimension = 65500;
constexpr int kQuantTables = 4;

}  // namespace

TJpegTrimming::TJpegTrimming()
    : OnMessage([](const std::string&, int) {}),
      OnProgressStart([](int) {}),
      OnProgress([](int) {}) {}

// A caller may have installed an empty procedure; the engine then reports to no one.
void TJpegTrimming::Report(std::string_view text) {
  if (OnMessage) OnMessage(std::string(text), kSeverityError);
}

void TJpegTrimming::ReportProgressStart(int total) {
  if (OnProgressStart) OnProgressStart(total);
}

void TJpegTrimming::ReportProgress(int position) {
  if (OnProgress) OnProgress(position);
}

bool TJpegTrimming::AnalyzeFile(const std::string& fileName) {
  decodedValid_ = false;
  sourceStream_.Clear();
  sourceStream_.LoadFromFile(fileName);
  return ParseHeaders();
}

bool TJpegTrimming::AnalyzeBytes(std::span<const std::uint8_t> bytes) {
  decodedValid_ = false;
  sourceStream_.Assign(bytes);
  return ParseHeaders();
}

void TJpegTrimming::ResetHeaderState() {
  imageWidth_ = 0;
  imageHeight_ = 0;
  maxHSampling_ = 1;
  maxVSampling_ = 1;
  componentCount_ = 0;
  frameSeen_ = false;
  restartEnabled_ = false;
  restartInterval_ = 0;
  hSampling_.fill(0);
  vSampling_.fill(0);
  quantDefined_ = 0;
  // A table the file does not define must not be left over from an earlier file.
  for (THuffmanTable& table : huffmanTables_) table.Clear();
}

TJpegTrimming::TOperationStreams::TOperationStreams(TJpegTrimming& engine, TByteStream& target)
    : engine_(engine) {
  engine.reader_.emplace(engine.sourceStream_, engine.OnMessage);
  engine.writer_.emplace(target);
}

TJpegTrimming::TOperationStreams::~TOperationStreams() {
  engine_.reader_.reset();
  engine_.writer_.reset();
}

bool TJpegTrimming::ParseHeaders() {
  ResetHeaderState();
  TByteStream scratch;
  const TOperationStreams streams(*this, scratch);

  if (reader_->ReadWord() != kSoi) {
    Report(kMsgNoSoi);
    return false;
  }
  for (;;) {
    const std::uint16_t marker = ReadMarker();
    bool ok = true;
    if (marker == kSof0) {
      const int components = ReadSof0();
      if (components == 4) Report(kMsgNotYCbCr);
      ok = components > 0 && components != 4;
    } else if (marker == kSof2) {
      Report(kMsgProgressive);
      return false;
    } else if (marker == kDht) {
      ok = ReadDht();
    } else if (marker == kDqt) {
      ok = CopyDqt();
    } else if (marker == kDri) {
      ok = ReadDri();
    } else if (IsAppOrCom(marker)) {
      ok = SkipSegment();
    } else if (marker == kSos) {
      return ReadSos() && CheckScanLength();
    } else {
      Report(FormatMessage(kMsgUnknownMarker, HexWord(marker)));
      return false;
    }
    if (!ok) return false;
  }
}

std::uint16_t TJpegTrimming::ReadMarker() {
  std::uint16_t word = reader_->ReadWord();
  while (word == 0xFFFF) word = static_cast<std::uint16_t>(0xFF00 | reader_->ReadByte());
  return word;
}

bool TJpegTrimming::ReadSegmentLength(std::uint16_t& length, bool copy) {
  length = reader_->ReadWord();
  if (copy) writer_->WriteWord(length);
  if (length < 2 || length - 2 > reader_->Size() - reader_->Position()) {
    Report(kMsgBadSegmentLength);
    return false;
  }
  return true;
}

void TJpegTrimming::CopyBytes(std::size_t count) {
  const std::int64_t at = reader_->Position();
  if (at > sourceStream_.Size() || count > static_cast<std::size_t>(sourceStream_.Size() - at)) {
    throw EStreamError(kMsgStreamReadError);
  }
  reader_->SetPosition(at + static_cast<std::int64_t>(count));
  writer_->WriteBlock(sourceStream_.Bytes().data() + at, count);
}

int TJpegTrimming::ReadSof0() {
  writer_->WriteWord(kSof0);
  std::uint16_t length;
  if (!ReadSegmentLength(length, true)) return -1;
  const std::uint8_t precision = reader_->ReadByte();
  writer_->WriteByte(precision);
  const std::uint16_t height = reader_->ReadWord();
  const std::uint16_t width = reader_->ReadWord();
  writer_->WriteWord(static_cast<std::uint16_t>(trimHeight_));
  writer_->WriteWord(static_cast<std::uint16_t>(trimWidth_));
  const int count = reader_->ReadByte();
  writer_->WriteByte(static_cast<std::uint8_t>(count));
  // The segment must be exactly its components long: 8 + 3 x Nf (ITU-T T.81 B.2.2).
  if (count == 0 || count > 4 || length != 8 + 3 * count || precision != 8) {
    Report(kMsgBadSof0);
    return -1;
  }
  std::uint8_t fields[4][3];
  for (int i = 0; i < count; ++i) {
    for (std::uint8_t& field : fields[i]) {
      field = reader_->ReadByte();
      writer_->WriteByte(field);
    }
  }
  // Four components are not YCbCr; the caller says so before anything is stored.
  if (count == 4) return count;
  if (frameSeen_) {
    Report(kMsgSecondFrame);
    return -1;
  }
  if (width == 0 || height == 0) {
    Report(kMsgBadSof0);
    return -1;
  }
  if (width > kMaxDimension || height > kMaxDimension) {
    Report(kMsgTooLarge);
    return -1;
  }
  int blocksInMcu = 0;
  for (int i = 0; i < count; ++i) {
    const int id = fields[i][0];
    const int h = fields[i][1] >> 4;
    const int v = fields[i][1] & 15;
    const int quant = fields[i][2];
    blocksInMcu += h * v;
    // The blocks of an MCU are coded in slot order, so the frame must list its components in
    // that order too: a scan follows the frame's order (ITU-T T.81 B.2.3).
    if (id >= kSlots || (i > 0 && id <= fields[i - 1][0]) || h < 1 || h > kMaxSampling || v < 1 ||
        v > kMaxSampling || quant >= kQuantTables || (count > 1 && blocksInMcu > kMaxBlocksInMcu)) {
      Report(kMsgBadSof0);
      return -1;
    }
    hSampling_[static_cast<std::size_t>(id)] = h;
    vSampling_[static_cast<std::size_t>(id)] = v;
    quantSelector_[static_cast<std::size_t>(id)] = quant;
  }
  // A scan of one component codes single blocks in raster order whatever its sampling
  // factors say (ITU-T T.81 A.2.2), which is the layout of a 1x1 MCU.
  if (count == 1) {
    hSampling_[fields[0][0]] = 1;
    vSampling_[fields[0][0]] = 1;
  }
  for (int slot = 0; slot < kSlots; ++slot) {
    maxHSampling_ = std::max(maxHSampling_, hSampling_[static_cast<std::size_t>(slot)]);
    maxVSampling_ = std::max(maxVSampling_, vSampling_[static_cast<std::size_t>(slot)]);
  }
  imageWidth_ = width;
  imageHeight_ = height;
  componentCount_ = count;
  frameSeen_ = true;
  return count;
}

bool TJpegTrimming::ReadDht() {
  writer_->WriteWord(kDht);
  std::uint16_t length;
  if (!ReadSegmentLength(length, true)) return false;
  int remaining = length - 2;
  while (remaining > 0) {
    // Class/destination byte and sixteen counts precede the symbols.
    if (remaining < 17) {
      Report(kMsgBadDht);
      return false;
    }
    const std::uint8_t classAndDestination = reader_->ReadByte();
    writer_->WriteByte(classAndDestination);
    const int tableClass = classAndDestination >> 4;
    const int destination = classAndDestination & 15;
    std::uint8_t counts[16];
    reader_->ReadBlock(counts, sizeof counts);
    writer_->WriteBlock(counts, sizeof counts);
    int total = 0;
    for (const std::uint8_t count : counts) total += count;
    remaining -= 17;
    if (tableClass > 1 || destination > 1 || total > remaining ||
        !IsValidCodeLengthCounts(counts)) {
      Report(kMsgBadDht);
      return false;
    }
    std::uint8_t symbols[256];
    reader_->ReadBlock(symbols, static_cast<std::size_t>(total));
    writer_->WriteBlock(symbols, static_cast<std::size_t>(total));
    remaining -= total;
    // A DC symbol is a magnitude category, 0 to 15 (ITU-T T.81 F.1.2.1.1).
    if (tableClass == 0 &&
        std::any_of(symbols, symbols + total, [](std::uint8_t symbol) { return symbol > 15; })) {
      Report(kMsgBadDht);
      return false;
    }
    huffmanTables_[static_cast<std::size_t>(tableClass * 2 + destination)].Assign(counts, symbols);
  }
  return true;
}

bool TJpegTrimming::CopyDqt() {
  writer_->WriteWord(kDqt);
  std::uint16_t length;
  if (!ReadSegmentLength(length, true)) return false;
  // Each table: precision and destination, then 64 entries of one or two bytes (B.2.4.1).
  for (int remaining = length - 2; remaining > 0;) {
    const std::uint8_t precisionAndDestination = reader_->ReadByte();
    writer_->WriteByte(precisionAndDestination);
    const int precision = precisionAndDestination >> 4;
    const int destination = precisionAndDestination & 15;
    const int size = precision == 0 ? 64 : 128;
    if (precision > 1 || destination >= kQuantTables || remaining < 1 + size) {
      Report(kMsgBadDqt);
      return false;
    }
    CopyBytes(static_cast<std::size_t>(size));
    quantDefined_ |= 1u << destination;
    remaining -= 1 + size;
  }
  return true;
}

bool TJpegTrimming::ReadSos() {
  std::uint16_t length;
  if (!ReadSegmentLength(length, false)) return false;
  const int count = reader_->ReadByte();
  if (!frameSeen_ || count != componentCount_ || length != 6 + 2 * count) {
    Report(frameSeen_ && count >= 1 && count < componentCount_ && length == 6 + 2 * count
               ? kMsgNotInterleaved
               : kMsgBadSos);
    return false;
  }
  // In the frame's order, which is ascending (ReadSof0), so no component is named twice.
  int previousId = -1;
  for (int i = 0; i < count; ++i) {
    const int id = reader_->ReadByte();
    const int selectors = reader_->ReadByte();
    const int dc = selectors >> 4;
    const int ac = selectors & 15;
    if (id >= kSlots || hSampling_[static_cast<std::size_t>(id)] == 0 || id <= previousId ||
        dc > 1 || ac > 1) {
      Report(kMsgBadSos);
      return false;
    }
    if ((quantDefined_ >> quantSelector_[static_cast<std::size_t>(id)] & 1) == 0) {
      Report(kMsgNoDqt);
      return false;
    }
    previousId = id;
    dcSelector_[static_cast<std::size_t>(id)] = dc;
    acSelector_[static_cast<std::size_t>(id)] = ac;
  }
  // Ss, Se and Ah/Al are fixed for a sequential scan: 0, 63 and 0 (ITU-T T.81 B.2.3).
  const std::uint8_t ss = reader_->ReadByte();
  const std::uint8_t se = reader_->ReadByte();
  const std::uint8_t approximation = reader_->ReadByte();
  if (ss != 0 || se != 63 || approximation != 0) {
    Report(kMsgBadSos);
    return false;
  }
  return true;
}

bool TJpegTrimming::ReadDri() {
  restartEnabled_ = true;
  std::uint16_t length;
  if (!ReadSegmentLength(length, false)) return false;
  if (length != 4) {
    Report(kMsgBadSegmentLength);
    return false;
  }
  restartInterval_ = reader_->ReadWord();
  if (restartInterval_ == 0) restartEnabled_ = false;
  return true;
}

bool TJpegTrimming::SkipSegment() {
  std::uint16_t length;
  if (!ReadSegmentLength(length, false)) return false;
  reader_->SetPosition(reader_->Position() + (length - 2));
  return true;
}

void TJpegTrimming::ComputeMcuGrid() {
  const int mcuWidth = 8 * maxHSampling_;
  const int mcuHeight = 8 * maxVSampling_;
  mcuCols_ = (imageWidth_ + mcuWidth - 1) / mcuWidth;
  mcuRows_ = (imageHeight_ + mcuHeight - 1) / mcuHeight;
}

bool TJpegTrimming::CheckScanLength() {
  ComputeMcuGrid();
  std::int64_t blocksPerMcu = 0;
  for (int slot = 0; slot < kSlots; ++slot) {
    blocksPerMcu +=
        hSampling_[static_cast<std::size_t>(slot)] * vSampling_[static_cast<std::size_t>(slot)];
  }
  // Every block takes at least two bits (a DC code and an EOB code, or a DC code and a
  // coefficient), so a scan shorter than that cannot fill the store: refuse before allocating.
  const std::int64_t blocks = blocksPerMcu * mcuCols_ * mcuRows_;
  const std::int64_t bytesLeft = reader_->Size() - reader_->Position();
  if (blocks * 2 > bytesLeft * 8) {
    Report(kMsgScanTooShort);
    return false;
  }
  return true;
}

}  // namespace tarvo
