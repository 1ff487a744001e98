// A scan without restart markers decoded in two pieces, the later one started at a guessed byte,
// leaves exactly what the one-thread decode leaves: blocks, error, complete rows and where the
// reader stands, wherever the later piece starts and whatever the data hold.
#include "SplitScanDecode.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "BitStreamFile.h"
#include "EngineTestSupport.h"
#include "JpegModelReader.h"

namespace tarvo::testing {
namespace {

using fixtures::Sampling;

struct TOutcome {
  TJpegModel model;
  TCoefficientStore store;
  EJpegError error = EJpegError::kNone;
  int completeRows = 0;
  std::int64_t position = 0;
  int bitPosition = 0;
};

// Decodes every scan of jpeg into a cleared store; with split, in two pieces where it can.
// splitsTaken counts the runs the later piece's blocks were taken for.
void Decode(const Bytes& jpeg, const TSplitTuning* split, TOutcome& out, int* splitsTaken) {
  TByteStream source;
  source.Assign(jpeg);
  ASSERT_TRUE(ReadJpegModel(source, out.model));
  out.store.Allocate(out.model, true);
  TInBitStreamFile reader(source);
  for (const TScan& scan : out.model.Scans) {
    TScanReport report;
    report.AtRow = [](int) {};
    reader.SetPosition(scan.DataStart);
    if (split != nullptr && splitsTaken != nullptr) {
      // Once on its own, to see whether the later piece is taken, then again as the decode
      // does it: the walk goes on wherever the split gives up.
      TCoefficientStore scratch;
      scratch.Allocate(out.model, true);
      std::array<int, TCoefficientStore::kMaxComponents> predictor{};
      TScanWalkState state;
      *splitsTaken += DecodeInTwoPieces(out.model, scan, reader, scratch, report, predictor, state,
                                        out.model.McuRows, *split);
      reader.SetPosition(scan.DataStart);
    }
    out.error = split == nullptr ? DecodeSequentialScan(out.model, scan, reader, out.store, report,
                                                        out.model.McuRows)
                                 : DecodeSequentialScan(out.model, scan, reader, out.store, report,
                                                        out.model.McuRows, 2, *split);
    out.completeRows = report.CompleteRows;
    out.position = reader.Position();
    out.bitPosition = reader.BitPosition();
    if (out.error != EJpegError::kNone) return;
  }
}

void ExpectSame(const TOutcome& plain, const TOutcome& split) {
  EXPECT_EQ(plain.error, split.error);
  EXPECT_EQ(plain.completeRows, split.completeRows);
  EXPECT_EQ(plain.position, split.position);
  EXPECT_EQ(plain.bitPosition, split.bitPosition);
  for (std::size_t slot = 0; slot < plain.model.Components.size(); ++slot) {
    const auto s = static_cast<int>(slot);
    const auto count =
        plain.store.RowBlocks(s) *
        static_cast<std::size_t>(plain.model.McuRows * plain.model.Components[slot].VSampling);
    const std::int16_t* a = plain.store.Block(s, 0, 0);
    const auto mismatch = std::mismatch(a, a + count * 64, split.store.Block(s, 0, 0));
    EXPECT_EQ(mismatch.first, a + count * 64)
        << "component " << slot << ", block " << (mismatch.first - a) / 64;
  }
}

Bytes Fixture(Sampling sampling, int width, int height,
              std::vector<fixtures::JpegOptions::Scan> scans = {}) {
  fixtures::JpegOptions options;
  options.sampling = sampling;
  options.width = width;
  options.height = height;
  options.scans = std::move(scans);
  return fixtures::MakeJpeg(options);
}

// The later piece started at some sixty bytes across the data: its MCUs fall into step at all
// alignments, and nothing differs; started in the last byte, the first piece takes the run.
TEST(SplitScanDecode, EqualsTheOneThreadDecodeWhereverTheLaterPieceStarts) {
  struct TCase {
    const char* name;
    Bytes jpeg;
  };
  const TCase cases[] = {
      {"grey", Fixture(Sampling::kGrey, 96, 64)},
      {"4:2:0, partial MCUs", Fixture(Sampling::k420, 90, 70)},
      {"4:2:2", Fixture(Sampling::k422, 96, 48)},
      {"4:4:4, partial MCUs", Fixture(Sampling::k444, 60, 44)},
      {"4:2:0, a scan per component", Fixture(Sampling::k420, 74, 50, {{{0}}, {{1}}, {{2}}})},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.name);
    TOutcome plain;
    Decode(c.jpeg, nullptr, plain, nullptr);
    ASSERT_EQ(plain.error, EJpegError::kNone);
    const TScan& scan = plain.model.Scans[0];
    int taken = 0, tried = 0;
    const auto start = static_cast<std::size_t>(scan.DataStart);
    const auto end = static_cast<std::size_t>(scan.DataEnd);
    for (std::size_t at = start + 1; at < end; at += (end - start) / 64 | 1, ++tried) {
      SCOPED_TRACE(::testing::Message() << "later piece at byte " << at);
      TOutcome split;
      const TSplitTuning tuning{at, 1};
      Decode(c.jpeg, &tuning, split, &taken);
      ExpectSame(plain, split);
    }
    EXPECT_GT(taken, tried * 3 / 4);
    TOutcome last;
    const TSplitTuning lastByte{end - 1, 1};
    Decode(c.jpeg, &lastByte, last, &taken);
    ExpectSame(plain, last);
  }
}

// Damage before or after where the later piece starts: the later piece is never taken, and the
// error, rows and blocks are the one-thread decode's. A marker just after its start leaves it no
// MCU start to share.
TEST(SplitScanDecode, DamageGivesTheOneThreadDecodesResult) {
  const Bytes clean = Fixture(Sampling::k420, 128, 96);
  TOutcome model;
  Decode(clean, nullptr, model, nullptr);
  const auto start = static_cast<std::size_t>(model.model.Scans[0].DataStart);
  const auto end = static_cast<std::size_t>(model.model.Scans[0].DataEnd);
  const std::size_t early = start + (end - start) / 5, late = start + (end - start) * 3 / 4;
  struct TCase {
    const char* name;
    std::size_t at;
    Bytes bytes;  // written over the data at at
    bool cut;     // the file ends after them
  };
  const TCase cases[] = {
      {"cut off in the later half", late, {}, true},
      {"bad code in the later half", late, {0xFF, 0x00, 0xFF, 0x00, 0xFF, 0x00}, false},
      {"stray marker in the later half", late, {0xFF, 0xC4}, false},
      {"end of image in the later half", late, {0xFF, 0xD9}, false},
      {"bad code in the first half", early, {0xFF, 0x00, 0xFF, 0x00, 0xFF, 0x00}, false},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.name);
    Bytes jpeg = clean;
    std::copy(c.bytes.begin(), c.bytes.end(), jpeg.begin() + static_cast<std::ptrdiff_t>(c.at));
    if (c.cut) jpeg.resize(c.at);
    TOutcome plain;
    Decode(jpeg, nullptr, plain, nullptr);
    ASSERT_NE(plain.error, EJpegError::kNone);
    for (const std::size_t split : {start + (end - start) / 2, late - 7, late - 2, late + 9}) {
      SCOPED_TRACE(::testing::Message() << "later piece at byte " << split);
      TOutcome twoPieces;
      const TSplitTuning tuning{split, 1};
      int taken = 0;
      Decode(jpeg, &tuning, twoPieces, &taken);
      EXPECT_EQ(taken, 0);
      ExpectSame(plain, twoPieces);
    }
  }
}

// Runs of rows that stop inside the picture: the later piece is told where to stop, and the
// run after goes on from where the split run left the reader and predictors, also from the
// middle of a 0xFF whose stuffed 0x00 follows.
TEST(SplitScanDecode, RunsOfRowsGoOnWhereTheSplitRunStopped) {
  // A photo in whose data some MCU row ends inside a stuffed 0xFF: the tables of standard EOB
  // codes, which end in a 0-bit, never let it.
  Bytes jpeg;
  TJpegModel model;
  int insideFf = 0;
  for (unsigned seed = 1; seed < 40 && insideFf == 0; ++seed) {
    fixtures::JpegOptions options;
    options.sampling = Sampling::kGrey;
    options.width = 16;
    options.height = 2048;
    options.optimizeCoding = true;
    options.seed = seed;
    jpeg = fixtures::MakeJpeg(options);
    TByteStream source;
    source.Assign(jpeg);
    ASSERT_TRUE(ReadJpegModel(source, model));
    TCoefficientStore store;
    store.Allocate(model, true);
    for (int rows = 1; rows < model.McuRows && insideFf == 0; ++rows) {
      TInBitStreamFile reader(source);
      reader.SetPosition(model.Scans[0].DataStart);
      TScanReport report;
      report.AtRow = [](int) {};
      DecodeSequentialScan(model, model.Scans[0], reader, store, report, rows);
      const auto at = static_cast<std::size_t>(reader.Position());
      if (reader.BitPosition() != 7 && jpeg[at - 1] == 0x00 && jpeg[at - 2] == 0xFF) {
        insideFf = rows;
      }
    }
  }
  ASSERT_GT(insideFf, 0);
  TOutcome plain;
  Decode(jpeg, nullptr, plain, nullptr);
  TByteStream source;
  source.Assign(jpeg);
  for (const int rows : {insideFf, 7, plain.model.McuRows / 2}) {
    SCOPED_TRACE(::testing::Message() << "first run of " << rows << " rows");
    TOutcome runs;
    runs.model = plain.model;
    runs.store.Allocate(runs.model, true);
    TSequentialScanDecoding decoding(runs.model, source);
    TScanReport report;
    report.AtRow = [](int) {};
    ASSERT_EQ(decoding.DecodeTo(rows, runs.store, report, 2, {0, 1}), EJpegError::kNone);
    ASSERT_EQ(decoding.DecodeTo(runs.model.McuRows, runs.store, report, 2, {0, 1}),
              EJpegError::kNone);
    runs.completeRows = report.CompleteRows;
    runs.position = plain.position;
    runs.bitPosition = plain.bitPosition;
    ExpectSame(plain, runs);
  }
}

// Rows decoded in one piece or two, wherever the later one starts, leave the reader where the
// one-thread walk does, and each row's start is noted as that walk finds it: a copy of the rows a
// wipe leaves takes them from there.
TEST(SplitScanDecode, RowStartsAreNotedWhereverTheLaterPieceStarts) {
  const Bytes fixtures[] = {Fixture(Sampling::k420, 90, 70), Fixture(Sampling::kGrey, 96, 64),
                            Fixture(Sampling::k422, 96, 48)};
  for (const Bytes& jpeg : fixtures) {
    TOutcome plain;
    Decode(jpeg, nullptr, plain, nullptr);
    ASSERT_EQ(plain.error, EJpegError::kNone);
    TByteStream source;
    source.Assign(jpeg);
    const TScan& scan = plain.model.Scans[0];
    const auto start = static_cast<std::size_t>(scan.DataStart);
    const auto end = static_cast<std::size_t>(scan.DataEnd);
    for (const int rows : {1, plain.model.McuRows / 2, plain.model.McuRows - 1}) {
      TSequentialScanDecoding decoded(plain.model, source);
      TCoefficientStore store;
      store.Allocate(plain.model, true);
      TScanReport report;
      report.AtRow = [](int) {};
      ASSERT_EQ(decoded.DecodeTo(rows, store, report, 1), EJpegError::kNone);
      // Where each row starts, as a one-thread walk stopping there leaves the reader.
      std::vector<TBitPlace> starts;
      for (int row = 0; row < plain.model.McuRows; ++row) {
        TSequentialScanDecoding walk(plain.model, source);
        ASSERT_EQ(walk.DecodeTo(row, store, report, 1), EJpegError::kNone);
        starts.push_back(walk.Place());
      }
      for (std::size_t at = start + 1; at < end; at += (end - start) / 16 | 1) {
        SCOPED_TRACE(::testing::Message() << rows << " rows, later piece at byte " << at);
        TOutcome passed;
        passed.model = plain.model;
        passed.store.Allocate(passed.model, true);
        report.CompleteRows = 0;
        TSequentialScanDecoding decoding(passed.model, source);
        const TSplitTuning tuning{at, 1};
        ASSERT_EQ(decoding.DecodeTo(rows, passed.store, report, at == start + 1 ? 1 : 2, tuning),
                  EJpegError::kNone);
        EXPECT_EQ(decoding.Place().Byte, decoded.Place().Byte);
        EXPECT_EQ(decoding.Place().Bits, decoded.Place().Bits);
        ASSERT_EQ(decoding.DecodeTo(passed.model.McuRows, passed.store, report, 2, tuning),
                  EJpegError::kNone);
        for (int row = 0; row < plain.model.McuRows; ++row) {
          EXPECT_EQ(decoding.RowStart(row).Byte, starts[static_cast<std::size_t>(row)].Byte);
          EXPECT_EQ(decoding.RowStart(row).Bits, starts[static_cast<std::size_t>(row)].Bits);
        }
        passed.completeRows = report.CompleteRows;
        passed.position = plain.position;
        passed.bitPosition = plain.bitPosition;
        ExpectSame(plain, passed);
      }
    }
  }
}

}  // namespace
}  // namespace tarvo::testing
