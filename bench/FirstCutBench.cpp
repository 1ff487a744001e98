// How far the first cut is from its floor: on the same 24-megapixel baseline photos, with and
// without restart markers, and in the same run, times
//   one sequential Huffman pass over the whole scan that keeps nothing (the one-core floor),
//   tarvo-trim's first cut as a whole process, and
//   jpegtran -copy all -crop (when it is installed),
// for a 640 x 480 rectangle in the top quarter, one at the bottom, and three at once.
#include <array>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "BestTime.h"
#include "BitStreamFile.h"
#include "ByteStream.h"
#include "HuffmanBlockCoder.h"
#include "JpegFixtures.h"
#include "JpegModelReader.h"
#include "ScanWalk.h"

namespace {

using tarvo::bench::BestMilliseconds;

void Fail(const std::string& what) {
  std::fprintf(stderr, "%s\n", what.c_str());
  std::exit(1);
}

// Decodes every block of a one-scan baseline file into one scratch block.
void HuffmanPass(tarvo::TByteStream& source) {
  tarvo::TJpegModel model;
  if (!tarvo::ReadJpegModel(source, model) || !model.SingleScan()) Fail("not one baseline scan");
  const tarvo::TScan& scan = model.Scans[0];
  tarvo::TInBitStreamFile reader(source);
  reader.SetPosition(scan.DataStart);
  std::array<int, tarvo::TCoefficientStore::kMaxComponents> predictor{};
  std::array<std::int16_t, tarvo::kBlockSize> scratch{};
  int restartNumber = 0;
  const tarvo::TMcuLayout layout = tarvo::ScanLayout(model, scan);
  const bool decoded = tarvo::WalkMcus(
      layout, [](int) {},
      [&](int c, std::size_t, std::size_t) {
        const tarvo::TScanComponent& component = scan.Components[static_cast<std::size_t>(c)];
        return tarvo::DecodeBlock(reader.Bits(), model.Table(component.DcTable),
                                  model.Table(component.AcTable),
                                  predictor[static_cast<std::size_t>(c)], scratch.data());
      },
      [&] {
        predictor.fill(0);
        std::size_t skipped = 0;
        const bool next =
            tarvo::ReadRestartMarker(reader, restartNumber, skipped) == tarvo::EJpegError::kNone;
        restartNumber = (restartNumber + 1) % 8;
        return next;
      });
  if (!decoded) Fail("the Huffman pass failed");
}

double ProcessMilliseconds(int runs, const std::string& command) {
  return BestMilliseconds(runs, [&] {
    if (std::system(command.c_str()) != 0) Fail("failed: " + command);
  });
}

struct TRects {
  const char* name;
  std::vector<std::string> rects;  // WIDTHxHEIGHT+X+Y
};

void BenchFile(const std::string& path, int width, int height, int runs, bool jpegtran) {
  const std::string out = (std::filesystem::temp_directory_path() / "tarvo-first-cut").string();
  const tarvo::fixtures::Bytes bytes = tarvo::fixtures::ReadFile(path);
  tarvo::TByteStream source;
  source.Assign(bytes);
  const double floor = BestMilliseconds(runs, [&] { HuffmanPass(source); });
  std::printf("%s\n  one Huffman pass, nothing kept   %8.1f ms\n", path.c_str(), floor);
  const int top = height / 8 / 16 * 16;
  const int bottom = height - 480;
  const int middle = height / 2 / 16 * 16;
  const TRects cases[] = {
      {"top quarter", {"640x480+0+" + std::to_string(top)}},
      {"at the bottom", {"640x480+" + std::to_string(width - 640) + "+" + std::to_string(bottom)}},
      {"three at once",
       {"640x480+0+" + std::to_string(top), "640x480+1600+" + std::to_string(middle),
        "640x480+3200+" + std::to_string(bottom)}},
  };
  for (const TRects& c : cases) {
    std::string trim = std::string(TARVO_TRIM_PATH) + " '" + path + "'";
    std::string crops = "true";
    for (std::size_t i = 0; i < c.rects.size(); ++i) {
      const std::string target = out + std::to_string(i) + ".jpg";
      trim += " " + target + " " + c.rects[i];
      crops +=
          " && jpegtran -copy all -crop " + c.rects[i] + " -outfile " + target + " '" + path + "'";
    }
    const double tarvo = ProcessMilliseconds(runs, trim);
    std::printf("  %-14s tarvo-trim first cut %8.1f ms  (%.2f x the pass)", c.name, tarvo,
                tarvo / floor);
    if (jpegtran) {
      const double reference = ProcessMilliseconds(runs, crops);
      std::printf("  jpegtran %8.1f ms  ratio %.3f", reference, tarvo / reference);
    }
    std::printf("\n");
  }
  for (int i = 0; i < 3; ++i) std::filesystem::remove(out + std::to_string(i) + ".jpg");
}

}  // namespace

int main(int argc, char** argv) {
  int runs = 3;
  if (argc > 1 && std::string(argv[1]).rfind("--runs=", 0) == 0) {
    runs = std::max(1, std::atoi(argv[1] + 7));
  }
  const bool jpegtran = std::system("command -v jpegtran > /dev/null 2>&1") == 0;
  if (!jpegtran) std::printf("jpegtran is not installed: its column is left out\n");
  // 24 megapixels, 4:2:0, quality 95: without restart markers, and with one every 8 MCUs.
  tarvo::fixtures::JpegOptions options;
  options.width = 6000;
  options.height = 4000;
  options.sampling = tarvo::fixtures::Sampling::k420;
  options.quality = 95;
  for (const unsigned interval : {0u, 8u}) {
    options.restartInterval = interval;
    const auto path = std::filesystem::temp_directory_path() /
                      ("tarvo-bench-24mp" + std::string(interval ? "-restart8" : "") + ".jpg");
    if (!std::filesystem::exists(path)) {
      std::printf("generating %s ...\n", path.c_str());
      tarvo::fixtures::WriteFile(path.string(), tarvo::fixtures::MakeJpeg(options));
    }
    BenchFile(path.string(), options.width, options.height, runs, jpegtran);
  }
  return 0;
}
