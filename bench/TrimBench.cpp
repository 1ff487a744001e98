// Times the engine against libjpeg-turbo's own crop path on a generated 24-megapixel photo and
// on any files given: analysis, the first trim (which decodes the scan) and a further trim.
#include <algorithm>
#include <array>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "BestTime.h"
#include "ByteStream.h"
#include "HuffmanBlockCoder.h"
#include "JpegFixtures.h"
#include "JpegModelReader.h"
#include "JpegTrimming.h"
#include "RestartParts.h"
#include "ScanWalk.h"

namespace {

using tarvo::bench::BestMilliseconds;

using Clock = std::chrono::steady_clock;
using tarvo::fixtures::Bytes;

void Fail(const std::string& what) {
  std::fprintf(stderr, "%s\n", what.c_str());
  std::exit(1);
}

// Milliseconds of the calling thread's CPU time for the fastest of runs calls of work: other work
// on the machine, which a wall clock counts in, disturbs it less.
double BestCpuMilliseconds(int runs, const std::function<void()>& work) {
  double best = 1e300;
  for (int i = 0; i < runs; ++i) {
    timespec start{};
    timespec end{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &start);
    work();
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &end);
    best = std::min(best, static_cast<double>(end.tv_sec - start.tv_sec) * 1e3 +
                              static_cast<double>(end.tv_nsec - start.tv_nsec) / 1e6);
  }
  return best;
}

// Milliseconds of one thread reading the first scan's blocks from start to end, read past MCU by
// MCU or decoded block by block, up to the first restart marker or fault, of CPU time with cpu;
// blocks tells how many it read (a fault in an MCU read past leaves its blocks out).
double BestBlockWalk(const Bytes& bytes, int runs, bool decode, long& blocks, bool cpu = false) {
  tarvo::TByteStream source;
  source.Assign(bytes);
  tarvo::TJpegModel model;
  if (!tarvo::ReadJpegModel(source, model) || model.Scans.empty()) return 0;
  const tarvo::TScan& scan = model.Scans[0];
  const tarvo::TScanTables tables = tarvo::ScanTables(model, scan);
  const tarvo::TMcuLayout layout = tarvo::ScanLayout(model, scan);
  const std::optional<tarvo::TMcuTables> mcuTables =
      tarvo::McuTablesOf(tables.Dc, tables.Ac, layout);
  if (!mcuTables) return 0;
  std::int16_t block[tarvo::kBlockSize];
  std::array<std::int16_t, tarvo::kMaxMcuBlocks> dcs;
  const auto walk = [&] {
    tarvo::EJpegError marker = tarvo::EJpegError::kNone;
    tarvo::TBitBuffer bits(bytes.data(), bytes.size(), &marker);
    bits.Start(static_cast<std::size_t>(scan.DataStart));
    std::array<int, tarvo::TCoefficientStore::kMaxComponents> predictor{};
    blocks = 0;
    const long mcus = static_cast<long>(layout.EndCol) * layout.EndRow;
    for (long m = 0; m < mcus; ++m) {
      if (!decode) {
        if (!tarvo::SkipMcu(bits, *mcuTables, predictor.data(), dcs.data())) return;
        blocks += mcuTables->Count;
        continue;
      }
      for (int j = 0; j < mcuTables->Count; ++j) {
        const auto k = static_cast<std::size_t>(j);
        const auto c = mcuTables->Component[k];
        if (!tarvo::DecodeBlock(bits, *mcuTables->Dc[k], *mcuTables->Ac[k], predictor[c], block) ||
            bits.MarkerMet()) {
          return;
        }
        ++blocks;
      }
    }
  };
  return cpu ? BestCpuMilliseconds(runs, walk) : BestMilliseconds(runs, walk);
}

// The best and the median milliseconds of CPU time of runs calls of work.
std::pair<double, double> BestAndMedian(int runs, const std::function<void()>& work) {
  std::vector<double> times;
  for (int i = 0; i < runs; ++i) times.push_back(BestCpuMilliseconds(1, work));
  std::sort(times.begin(), times.end());
  return {times.front(), times[times.size() / 2]};
}

// Milliseconds of one thread walking every restart interval of the first scan as a first wipe
// does, noting each block's DC value and each MCU's end; 0 for a scan without restart markers.
std::pair<double, double> RestartWalk(const Bytes& bytes, int runs) {
  tarvo::TByteStream source;
  source.Assign(bytes);
  tarvo::TJpegModel model;
  if (!tarvo::ReadJpegModel(source, model) || model.Scans.size() != 1 ||
      model.Scans[0].RestartInterval == 0) {
    return {0, 0};
  }
  const std::size_t intervals = tarvo::RestartIntervalCount(model);
  const auto markers = tarvo::RestartMarkersInTurn(model, bytes, intervals - 1);
  if (!markers) Fail("restart markers out of turn");
  const tarvo::TMcuLayout layout = tarvo::ScanLayout(model, model.Scans[0]);
  tarvo::TTrimWindow window;
  window.EndCol = model.McuCols;
  window.EndRow = model.McuRows;
  window.Width = model.Width;
  window.Height = model.Height;
  tarvo::TDcPicture dc = tarvo::DcPictureFor(model, window);
  std::vector<tarvo::TMcuStart> ends(static_cast<std::size_t>(layout.EndCol) * layout.EndRow);
  return BestAndMedian(runs, [&] {
    if (!tarvo::WalkRestartIntervals(model, bytes, *markers, tarvo::TIntervalSet(intervals, 1), 1,
                                     &dc, &ends)) {
      Fail("restart walk failed");
    }
  });
}

// Only the walks that read past blocks: best and median of each, in CPU time.
void BenchWalks(const std::string& path, int runs) {
  const Bytes bytes = tarvo::fixtures::ReadFile(path);
  long blocks = 0;
  std::vector<double> skips;
  for (int i = 0; i < runs; ++i) skips.push_back(BestBlockWalk(bytes, 1, false, blocks, true));
  std::sort(skips.begin(), skips.end());
  std::printf("%s\n  SkipMcu walk    best %8.2f ms  median %8.2f ms (%ld blocks, one thread)\n",
              path.c_str(), skips.front(), skips[skips.size() / 2], blocks);
  const auto [best, median] = RestartWalk(bytes, runs);
  if (best > 0) {
    std::printf("  restart walk    best %8.2f ms  median %8.2f ms (every interval, one thread)\n",
                best, median);
  }
}

void BenchFile(const std::string& path, int runs) {
  const Bytes bytes = tarvo::fixtures::ReadFile(path);
  tarvo::TJpegTrimming probe;
  if (!probe.AnalyzeFile(path)) Fail("the engine refuses " + path);
  const int mcuW = probe.McuWidth();
  const int mcuH = probe.McuHeight();
  // A 640 x 480 window in the middle of the picture, on the MCU grid.
  const int width = std::min(640, probe.ImageWidth());
  const int height = std::min(480, probe.ImageHeight());
  const int left = (probe.ImageWidth() - width) / 2 / mcuW * mcuW;
  const int top = (probe.ImageHeight() - height) / 2 / mcuH * mcuH;
  const tarvo::TTrimRect rect{left, top, left + width, top + height};
  const tarvo::TTrimRect other{0, 0, width, height};

  std::printf("%s: %d x %d, %zu bytes, window %dx%d+%d+%d\n", path.c_str(), probe.ImageWidth(),
              probe.ImageHeight(), bytes.size(), width, height, left, top);

  tarvo::TJpegTrimming engine;
  tarvo::TByteStream output;
  const double analyze = BestMilliseconds(runs, [&] {
    if (!engine.AnalyzeFile(path)) Fail("analysis failed");
  });
  const double firstTrim = BestMilliseconds(
      runs,
      [&] {
        if (!engine.Trim(output, rect, false)) Fail("first trim failed");
      },
      [&] { engine.AnalyzeFile(path); });
  const double furtherTrim = BestMilliseconds(runs * 3, [&] {
    if (!engine.Trim(output, other, false)) Fail("further trim failed");
  });
  const double libjpeg = BestMilliseconds(
      runs, [&] { tarvo::fixtures::LibjpegCrop(bytes, left, top, width, height); });

  long blocks = 0;
  const double skipWalk = BestBlockWalk(bytes, runs, false, blocks);
  const double decodeWalk = BestBlockWalk(bytes, runs, true, blocks);

  std::printf("  AnalyzeFile          %9.2f ms\n", analyze);
  std::printf("  first Trim           %9.2f ms\n", firstTrim);
  std::printf("  further Trim         %9.2f ms\n", furtherTrim);
  std::printf(
      "  libjpeg-turbo crop   %9.2f ms (jpeg_read_coefficients + jpeg_write_coefficients)\n",
      libjpeg);
  std::printf("  SkipMcu walk         %9.2f ms (%ld blocks, one thread)\n", skipWalk, blocks);
  std::printf("  DecodeBlock walk     %9.2f ms\n", decodeWalk);
  std::printf("  ratio analyze+first trim / libjpeg   %.3f\n", (analyze + firstTrim) / libjpeg);
  std::printf("  ratio further trim / libjpeg         %.3f\n", furtherTrim / libjpeg);
}

}  // namespace

int main(int argc, char** argv) {
  int runs = 3;
  bool walks = false;
  std::vector<std::string> files;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg.rfind("--runs=", 0) == 0) {
      runs = std::max(1, std::stoi(arg.substr(7)));
    } else if (arg == "--walk") {
      walks = true;
    } else {
      files.push_back(arg);
    }
  }
  if (files.empty()) {
    // 24 megapixels, 4:2:0, quality 95, photo-like texture and noise: baseline; progressive
    // with libjpeg-turbo's own script; and baseline again as cameras write it, with an Exif
    // thumbnail and a full HD MPF preview after the picture, which every cut makes anew.
    tarvo::fixtures::JpegOptions options;
    options.width = 6000;
    options.height = 4000;
    options.sampling = tarvo::fixtures::Sampling::k420;
    options.quality = 95;
    tarvo::fixtures::JpegOptions thumbnail;
    thumbnail.width = 160;
    thumbnail.height = 120;
    tarvo::fixtures::JpegOptions progressive = options;
    progressive.progressive = true;
    tarvo::fixtures::JpegOptions camera = options;
    camera.extraSegments = {tarvo::fixtures::MakeExifWithThumbnail(
        true, 6000, 4000, tarvo::fixtures::MakeJpeg(thumbnail), false)};
    tarvo::fixtures::JpegOptions preview;
    preview.width = 1920;
    preview.height = 1280;
    constexpr std::uint32_t kFullHdPreview = 0x00010002;
    const std::pair<const char*, const tarvo::fixtures::JpegOptions*> made[] = {
        {"tarvo-bench-24mp.jpg", &options},
        {"tarvo-bench-24mp-progressive.jpg", &progressive},
        {"tarvo-bench-24mp-camera.jpg", &camera}};
    for (const auto& [name, madeWith] : made) {
      const auto path = std::filesystem::temp_directory_path() / name;
      if (!std::filesystem::exists(path)) {
        std::printf("generating %s ...\n", path.c_str());
        tarvo::fixtures::WriteFile(
            path.string(), madeWith == &camera ? tarvo::fixtures::MakeMpfJpeg(
                                                     camera, tarvo::fixtures::MakeJpeg(preview),
                                                     true, kFullHdPreview)
                                               : tarvo::fixtures::MakeJpeg(*madeWith));
      }
      files.push_back(path.string());
    }
  }
  for (const std::string& file : files) {
    if (walks) {
      BenchWalks(file, runs);
    } else {
      BenchFile(file, runs);
    }
  }
  return 0;
}
