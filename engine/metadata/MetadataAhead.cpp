#include "MetadataAhead.h"

#include <utility>

namespace tarvo {

TMetadataAhead::TMetadataAhead(const TCutContext& context) : model_(context.Model) {
  TCutContext ahead{
      .Source = context.Source,
      .Model = model_,
      .ImageEnd = context.ImageEnd,
      .Rect = context.Rect,
      .Turn = context.Turn,
      .Orientation = context.Orientation,
      .Width = context.Width,
      .Height = context.Height,
      .DropExif = context.DropExif,
      .KeepThumbnails = context.KeepThumbnails,
      .StoredImages = context.StoredImages,
      .Maker = context.Maker,
      .Cutter = context.Cutter,
      .DrawCut =
          [this](const TDrawRequest& request) {
            const TCutDrawer draw = AwaitDrawer();
            return draw ? draw(request) : std::vector<std::uint8_t>();
          },
      .Stored = context.Stored,
      .Wipes = context.Wipes,
  };
  plan_ = std::async(std::launch::async, [ahead] { return DecideMetadata(ahead); });
}

TMetadataAhead::~TMetadataAhead() {
  {
    const std::lock_guard lock(mutex_);
    if (state_ == EState::kWaiting) state_ = EState::kDropped;
  }
  changed_.notify_all();
  if (plan_.valid()) plan_.wait();
}

TMetadataPlan TMetadataAhead::Take(TCutDrawer draw) {
  {
    const std::lock_guard lock(mutex_);
    draw_ = std::move(draw);
    state_ = EState::kDrawing;
  }
  changed_.notify_all();
  return plan_.get();
}

TMetadataAhead::TCutDrawer TMetadataAhead::AwaitDrawer() {
  std::unique_lock lock(mutex_);
  changed_.wait(lock, [this] { return state_ != EState::kWaiting; });
  return state_ == EState::kDrawing ? draw_ : TCutDrawer();
}

}  // namespace tarvo
