// Texts that speak of the picture as the window shows it, not as its pixels are stored: the
// engine counts rows and pixels of the stored picture, and a photo stored turned shows its top
// rows as a column at one side.
#pragma once

#include <QString>
#include <cstdint>
#include <vector>

#include "JpegError.h"
#include "Orientation.h"
#include "TrimRect.h"

namespace tarvo {

// The stored picture, Width x Height pixels, and how the window shows it.
struct TShownPicture {
  TOrientation Shown;
  std::int32_t Width = 0;
  std::int32_t Height = 0;

  TTrimRect Map(const TTrimRect& rect) const { return Shown.Map(rect, Width, Height); }
};

// The edge of the picture as shown where the stored picture's edge strip lies (a strip the full
// width or height of the stored picture, along one of its edges): "左", "右", "上" or "下".
QString ShownEdge(const TShownPicture& picture, const TTrimRect& strip);

// A refusal of the engine in words, its damaged region and the rows a trim may reach named as
// the picture shows them.
QString FailureText(const TJpegStatus& status, bool trimWording, const TShownPicture& picture);

// What reading one file found, told once in one message however many times the engine read past
// something: a motion-JPEG frame may hold dozens of stray-byte runs.
class TReadingFindings {
 public:
  void Add(const TJpegWarning& warning);
  bool Empty() const { return strayRuns_ == 0 && others_.empty(); }
  // The stray-byte runs as their count and total, each other finding on a line of its own.
  QString Text(const TShownPicture& picture) const;

 private:
  std::int64_t strayRuns_ = 0;
  std::int64_t strayBytes_ = 0;
  std::vector<TJpegWarning> others_;
};

}  // namespace tarvo
