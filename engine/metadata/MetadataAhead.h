// Decides what a cut's metadata carries on a thread of its own while the cut is being made.
#pragma once

#include <condition_variable>
#include <future>
#include <mutex>

#include "CutMetadata.h"
#include "JpegModel.h"
#include "MetadataKind.h"

namespace tarvo {

// Much of a wipe's metadata needs nothing of the wiped picture: a preview stored beside it is
// wiped, and pictures drawn from that preview, while the scan is still being walked and its
// wiped rows coded. A picture drawn from the cut itself waits until Take hands over the drawer.
class TMetadataAhead {
 public:
  using TCutDrawer = decltype(TCutContext::DrawCut);

  // Starts deciding for context, on a copy of its model; its DrawCut is not used.
  explicit TMetadataAhead(const TCutContext& context);
  TMetadataAhead(const TMetadataAhead&) = delete;
  TMetadataAhead& operator=(const TMetadataAhead&) = delete;
  // Unless Take had the plan, it is dropped: whatever asks for a picture of the cut gets none,
  // and the thread is waited for.
  ~TMetadataAhead();

  // The plan, the pictures of the cut drawn by draw. draw and what it uses must stay as they are
  // until this returns.
  TMetadataPlan Take(TCutDrawer draw);

 private:
  enum class EState { kWaiting, kDrawing, kDropped };

  // The drawer once Take gives it, empty once the plan is dropped.
  TCutDrawer AwaitDrawer();

  TJpegModel model_;
  std::mutex mutex_;
  std::condition_variable changed_;
  EState state_ = EState::kWaiting;
  TCutDrawer draw_;
  std::future<TMetadataPlan> plan_;
};

}  // namespace tarvo
