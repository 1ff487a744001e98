#include "Messages.h"

#include "JpegMarkers.h"

namespace tarvo {

std::string FormatMessage(std::string_view pattern, std::string_view argument) {
  std::string text(pattern);
  if (const auto at = text.find("%s"); at != std::string::npos) text.replace(at, 2, argument);
  return text;
}

namespace {

// pattern with its four "%s" replaced by region as 1-based inclusive corners.
std::string WithRegion(std::string_view pattern, const TTrimRect& region) {
  std::string text(pattern);
  for (const std::int32_t value : {region.Left + 1, region.Top + 1, region.Right, region.Bottom}) {
    text = FormatMessage(text, std::to_string(value));
  }
  return text;
}

}  // namespace

std::string MessageText(const TJpegStatus& status, bool trimWording) {
  switch (status.Error) {
    case EJpegError::kNone:
      return {};
    case EJpegError::kNoSoi:
      return std::string(trimWording ? kMsgTrimNoSoi : kMsgNoSoi);
    case EJpegError::kUnknownMarker:
      return FormatMessage(trimWording ? kMsgTrimUnknownMarker : kMsgUnknownMarker,
                           markers::HexWord(status.Marker));
    case EJpegError::kBadSegmentLength:
      return std::string(kMsgBadSegmentLength);
    case EJpegError::kBadFrame:
      return std::string(kMsgBadSof0);
    case EJpegError::kSecondFrame:
      return std::string(kMsgSecondFrame);
    case EJpegError::kComponentCount:
      return std::string(kMsgComponentCount);
    case EJpegError::kDuplicateComponentId:
      return std::string(kMsgDuplicateComponentId);
    case EJpegError::kBadSampling:
      return std::string(kMsgBadSampling);
    case EJpegError::kBadQuantSelector:
      return std::string(kMsgBadQuantSelector);
    case EJpegError::kNotEightBit:
      return std::string(kMsgNotEightBit);
    case EJpegError::kZeroSize:
      return std::string(kMsgZeroSize);
    case EJpegError::kTooLarge:
      return std::string(kMsgTooLarge);
    case EJpegError::kBadDht:
      return std::string(kMsgBadDht);
    case EJpegError::kBadDqt:
      return std::string(kMsgBadDqt);
    case EJpegError::kQuantRedefined:
      return std::string(kMsgQuantRedefined);
    case EJpegError::kNoDht:
      return std::string(kMsgNoDht);
    case EJpegError::kNoDqt:
      return std::string(kMsgNoDqt);
    case EJpegError::kBadSos:
      return std::string(kMsgBadSos);
    case EJpegError::kTooManyScans:
      return std::string(kMsgTooManyScans);
    case EJpegError::kComponentNotCoded:
      return std::string(kMsgComponentNotCoded);
    case EJpegError::kBadDac:
      return std::string(kMsgBadDac);
    case EJpegError::kLossless:
      return std::string(kMsgLossless);
    case EJpegError::kHierarchical:
      return std::string(kMsgHierarchical);
    case EJpegError::kBadTail:
      return std::string(kMsgBadTail);
    case EJpegError::kScanTooShort:
      return std::string(kMsgScanTooShort);
    case EJpegError::kBitStream:
      return std::string(kMsgBitStream);
    case EJpegError::kNoFrameDqt:
      return std::string(kMsgNoFrameDqt);
    case EJpegError::kHuffmanBlock:
      return std::string(kMsgHuffmanBlock);
    case EJpegError::kRectOutside:
      return std::string(kMsgRectOutside);
    case EJpegError::kTooSmallToTurn:
      return std::string(kMsgTooSmallToTurn);
    case EJpegError::kDamagedRegion:
      return WithRegion(kMsgDamagedRegion, status.Region);
    case EJpegError::kBeyondCutOff:
      return FormatMessage(kMsgBeyondCutOff, std::to_string(status.Rows));
    case EJpegError::kBeyondDamage:
      return FormatMessage(kMsgBeyondDamage, std::to_string(status.Rows));
    case EJpegError::kUncodableCoefficient:
      return std::string(kMsgUncodableCoefficient);
    case EJpegError::kOutOfMemory:
      return std::string(kMsgOutOfMemory);
  }
  return {};
}

std::string MessageText(const TJpegWarning& warning) {
  switch (warning.Kind) {
    case EJpegWarning::kExtraneousBytes:
      return FormatMessage(kMsgExtraneousBytes, std::to_string(warning.Count));
    case EJpegWarning::kEmptySegment:
      return FormatMessage(kMsgEmptySegmentSkipped, markers::HexWord(warning.Marker));
    case EJpegWarning::kCutOff:
    case EJpegWarning::kDamagedScan:
      return FormatMessage(
          FormatMessage(warning.Kind == EJpegWarning::kCutOff ? kMsgCutOff : kMsgDamagedScan,
                        std::to_string(warning.Rows)),
          std::to_string(warning.Count));
  }
  return {};
}

}  // namespace tarvo
