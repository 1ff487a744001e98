#include "OutputPieces.h"

namespace tarvo {

TByteStream& TOutputPieces::Own() {
  TByteStream& stream = owned_.emplace_back();
  pieces_.push_back({.Borrowed = {}, .Owned = &stream});
  return stream;
}

void TOutputPieces::Borrow(std::span<const std::uint8_t> bytes) {
  if (!bytes.empty()) pieces_.push_back({.Borrowed = bytes, .Owned = nullptr});
}

void TOutputPieces::Keep(TStreamBytes bytes) { kept_.push_back(std::move(bytes)); }

void TOutputPieces::Clear() {
  pieces_.clear();
  owned_.clear();
  kept_.clear();
}

std::size_t TOutputPieces::Size() const {
  std::size_t size = 0;
  for (const std::span<const std::uint8_t> piece : Spans()) size += piece.size();
  return size;
}

std::vector<std::span<const std::uint8_t>> TOutputPieces::Spans() const {
  std::vector<std::span<const std::uint8_t>> spans;
  spans.reserve(pieces_.size());
  for (const TPiece& piece : pieces_) {
    spans.push_back(piece.Owned != nullptr ? piece.Owned->Bytes() : piece.Borrowed);
  }
  return spans;
}

void TOutputPieces::CopyTo(TByteStream& output) const {
  output.Clear();
  output.Reserve(Size());
  for (const std::span<const std::uint8_t> piece : Spans())
    output.Write(piece.data(), piece.size());
  output.SetPosition(0);
}

}  // namespace tarvo
