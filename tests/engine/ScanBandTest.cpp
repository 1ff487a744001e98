// The walk that notes each block's DC value and where each MCU starts: in two pieces as in runs
// short enough for one, every DC value the one libjpeg decodes, and nothing from data that stop
// before the rows do.
#include "ScanBand.h"

#include <gtest/gtest.h>

#include <optional>
#include <vector>

#include "EngineTestSupport.h"
#include "JpegModelReader.h"

namespace tarvo::testing {
namespace {

using fixtures::Sampling;

struct TWalked {
  std::optional<TMcuStart> end;
  TDcPicture dc;
  std::vector<TMcuStart> starts;
};

// Walks every row of jpeg's scan, in runs of step rows (0: all at once), noting what the walks
// note, the starts of the runs one after the other.
TWalked WalkAll(const TJpegModel& model, const Bytes& jpeg, int step) {
  TTrimWindow whole;
  whole.EndCol = model.McuCols;
  whole.EndRow = model.McuRows;
  whole.Width = model.Width;
  whole.Height = model.Height;
  TWalked walked{TMcuStart{{static_cast<std::size_t>(model.Scans[0].DataStart), 0}, {}},
                 DcPictureFor(model, whole),
                 {}};
  for (int row = 0; row < model.McuRows && walked.end; row += step == 0 ? model.McuRows : step) {
    TScanBand band;
    const int end = step == 0 ? model.McuRows : std::min(model.McuRows, row + step);
    walked.end = WalkDcValues(model, jpeg, *walked.end, row, end, &walked.dc, &band);
    if (walked.end)
      walked.starts.insert(walked.starts.end(), band.Starts.begin(), band.Starts.end() - 1);
  }
  return walked;
}

TEST(ScanBand, TwoPiecesNoteWhatOneWalkDoesAndEveryDcIsLibjpegs) {
  for (const Sampling sampling : {Sampling::kGrey, Sampling::k420}) {
    SCOPED_TRACE(static_cast<int>(sampling));
    fixtures::JpegOptions options;
    options.width = 2048;
    options.height = 1200;
    options.sampling = sampling;
    const Bytes jpeg = fixtures::MakeJpeg(options);
    TByteStream source;
    source.Assign(jpeg);
    TJpegModel model;
    ASSERT_TRUE(ReadJpegModel(source, model));
    // Runs of 4096 MCUs or fewer are walked as one piece.
    const int step = 4096 / model.McuCols;
    const TWalked split = WalkAll(model, jpeg, 0);
    const TWalked runs = WalkAll(model, jpeg, step);
    ASSERT_TRUE(split.end && runs.end);
    EXPECT_EQ(split.end->Place, runs.end->Place);
    ASSERT_EQ(split.starts.size(), runs.starts.size());
    for (std::size_t i = 0; i < split.starts.size(); ++i) {
      ASSERT_EQ(split.starts[i].Place, runs.starts[i].Place) << i;
      ASSERT_EQ(split.starts[i].Predictors, runs.starts[i].Predictors) << i;
    }
    const fixtures::Coefficients libjpeg = fixtures::ReadCoefficients(jpeg);
    for (std::size_t c = 0; c < split.dc.Planes.size(); ++c) {
      const TDcPicture::TPlane& plane = split.dc.Planes[c];
      for (int r = 0; r < plane.Rows; ++r) {
        for (int col = 0; col < plane.Cols; ++col) {
          const auto at = static_cast<std::size_t>(r * plane.Cols + col);
          ASSERT_EQ(plane.Dc[at], libjpeg.components[c].Block(r, col)[0]) << c << " " << r;
          ASSERT_EQ(runs.dc.Planes[c].Dc[at], plane.Dc[at]) << c << " " << r;
        }
      }
    }
  }
}

TEST(ScanBand, DataThatStopBeforeTheRowsDoNoteNothing) {
  fixtures::JpegOptions options;
  options.width = 2048;
  options.height = 1200;
  options.sampling = Sampling::kGrey;
  const Bytes clean = fixtures::MakeJpeg(options);
  TByteStream source;
  source.Assign(clean);
  TJpegModel model;
  ASSERT_TRUE(ReadJpegModel(source, model));
  // A third of the way into the coded data, past a byte that is no 0xFF.
  auto at = static_cast<std::size_t>(model.Scans[0].DataStart +
                                     (model.Scans[0].DataEnd - model.Scans[0].DataStart) / 3);
  while (clean[at - 1] == 0xFF || clean[at] == 0xFF) ++at;
  Bytes marker = clean;
  marker.insert(marker.begin() + static_cast<std::ptrdiff_t>(at), {0xFF, 0xD3});
  Bytes cutOff(clean.begin(), clean.begin() + static_cast<std::ptrdiff_t>(at));
  cutOff.insert(cutOff.end(), {0xFF, 0xD9});
  const Bytes cases[] = {marker, cutOff};
  for (const Bytes& jpeg : cases) {
    TByteStream damaged;
    damaged.Assign(jpeg);
    TJpegModel read;
    ASSERT_TRUE(ReadJpegModel(damaged, read));
    for (const int step : {0, 4096 / read.McuCols}) {
      EXPECT_FALSE(WalkAll(read, jpeg, step).end) << step;
    }
  }
}

}  // namespace
}  // namespace tarvo::testing
