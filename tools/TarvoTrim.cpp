// tarvo-trim: the command-line front end of the trimming engine.
#include <algorithm>
#include <charconv>
#include <exception>
#include <iostream>
#include <new>
#include <string>
#include <string_view>
#include <vector>

#include "AtomicFileWriter.h"
#include "ByteStream.h"
#include "JpegTrimming.h"
#include "LibjpegPictureMaker.h"
#include "Messages.h"
#include "StreamError.h"

namespace {

constexpr int kExitOk = 0;
constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;

constexpr std::string_view kUsage =
    "Usage:\n"
    "  tarvo-trim --info FILE\n"
    "  tarvo-trim [--drop-exif] [--in-place] [--keep-thumbnails] INPUT OUTPUT RECT\n"
    "             [OUTPUT RECT ...]\n"
    "  tarvo-trim --help\n";

constexpr std::string_view kHelp =
    "tarvo-trim crops JPEG files losslessly: the kept blocks carry the source's quantised\n"
    "coefficients unchanged, so the pixels inside the rectangle lose nothing. Baseline,\n"
    "extended (8-bit) and progressive Huffman-coded files are read; progressive ones are\n"
    "written as baseline.\n"
    "\n"
    "  --info FILE   Analyse FILE and print width=, height=, components=, mcu=WxH (MCU size in\n"
    "                pixels) and restart= (restart interval in MCUs, 0 without one).\n"
    "  INPUT OUTPUT RECT [OUTPUT RECT ...]\n"
    "                Write the rectangle RECT of INPUT to OUTPUT; further pairs cut more\n"
    "                rectangles from the same source, which is decoded only once.\n"
    "  --drop-exif   Leave every APP1 segment (Exif and others) out of the outputs; without\n"
    "                it the Exif pixel dimensions are set to the size of each rectangle.\n"
    "  --in-place    Allow an OUTPUT that is INPUT itself: the source is replaced by its cut.\n"
    "                Without it, such a command is refused.\n"
    "  --keep-thumbnails\n"
    "                Keep the Exif thumbnail and the MPF previews byte for byte. Without it they\n"
    "                are made again from each rectangle, so that none shows what was cut away.\n"
    "                HDR gain maps and views of the same size are cut to the rectangle either\n"
    "                way.\n"
    "\n"
    "RECT is LEFT,TOP,RIGHT,BOTTOM in source pixels (right and bottom exclusive) or\n"
    "WIDTHxHEIGHT+X+Y. As given, it must have a positive width and height and lie inside the\n"
    "image; otherwise the command is wrong usage. Then LEFT and TOP move down to the MCU grid\n"
    "(see --info); RIGHT and BOTTOM stay, and a partial MCU at the right or bottom edge is\n"
    "hidden by the declared size.\n"
    "\n"
    "INPUT must be a regular file. Each OUTPUT is written to a temporary file in its folder;\n"
    "only when every rectangle has been cut are they renamed into place, so a failed command\n"
    "leaves all outputs as they were. An existing OUTPUT keeps its mode and owner, one the\n"
    "user may not write is refused, a symbolic link is followed to the file it names, and a\n"
    "device or FIFO is written into, never replaced.\n"
    "\n"
    "Exit status: 0 success, 1 the file was refused or could not be read or written,\n"
    "2 wrong usage.\n";

int Usage(std::string_view reason = {}) {
  if (!reason.empty()) std::cerr << "tarvo-trim: " << reason << '\n';
  std::cerr << kUsage;
  return kExitUsage;
}

bool ParseNumber(std::string_view text, std::int64_t& value) {
  if (text.empty()) return false;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  return error == std::errc() && end == text.data() + text.size();
}

// "LEFT,TOP,RIGHT,BOTTOM" or "WIDTHxHEIGHT+X+Y".
bool ParseRect(std::string_view text, tarvo::TTrimRect& rect) {
  std::int64_t a, b, c, d;
  if (const auto x = text.find('x'); x != std::string_view::npos) {
    const auto plus1 = text.find('+', x);
    const auto plus2 = plus1 == std::string_view::npos ? plus1 : text.find('+', plus1 + 1);
    if (plus2 == std::string_view::npos || !ParseNumber(text.substr(0, x), a) ||
        !ParseNumber(text.substr(x + 1, plus1 - x - 1), b) ||
        !ParseNumber(text.substr(plus1 + 1, plus2 - plus1 - 1), c) ||
        !ParseNumber(text.substr(plus2 + 1), d)) {
      return false;
    }
    a += c;
    b += d;
    std::swap(a, c);
    std::swap(b, d);
  } else {
    std::string_view parts[4];
    for (int i = 0; i < 3; ++i) {
      const auto comma = text.find(',');
      if (comma == std::string_view::npos) return false;
      parts[i] = text.substr(0, comma);
      text.remove_prefix(comma + 1);
    }
    parts[3] = text;
    if (!ParseNumber(parts[0], a) || !ParseNumber(parts[1], b) || !ParseNumber(parts[2], c) ||
        !ParseNumber(parts[3], d)) {
      return false;
    }
  }
  for (const std::int64_t value : {a, b, c, d}) {
    if (value < INT32_MIN || value > INT32_MAX) return false;
  }
  rect = {static_cast<std::int32_t>(a), static_cast<std::int32_t>(b), static_cast<std::int32_t>(c),
          static_cast<std::int32_t>(d)};
  return true;
}

int Run(int argc, char** argv) {
  std::vector<std::string_view> args(argv + 1, argv + argc);
  if (args.size() == 1 && args[0] == "--help") {
    std::cout << kUsage << '\n' << kHelp;
    return kExitOk;
  }
  tarvo::TJpegTrimming engine;
  std::string message;
  engine.OnMessage = [&message](const std::string& text, int) {
    if (message.empty()) message = text;
  };
  // A rectangle the engine will not cut is wrong usage; anything else refuses the file.
  const auto refuse = [&message](const tarvo::TJpegStatus& status) {
    std::cerr << message << '\n';
    return status.Error == tarvo::EJpegError::kRectOutside ? kExitUsage : kExitFailed;
  };

  if (!args.empty() && args[0] == "--info") {
    if (args.size() != 2) return Usage();
    if (const auto status = engine.AnalyzeFile(std::string(args[1])); !status) {
      return refuse(status);
    }
    std::cout << "width=" << engine.ImageWidth() << '\n'
              << "height=" << engine.ImageHeight() << '\n'
              << "components=" << engine.ComponentCount() << '\n'
              << "mcu=" << engine.McuWidth() << 'x' << engine.McuHeight() << '\n'
              << "restart=" << engine.RestartInterval() << '\n';
    return kExitOk;
  }

  bool dropExif = false;
  bool inPlace = false;
  const tarvo::TLibjpegPictureMaker maker;
  engine.Pictures.Maker = &maker;
  for (; !args.empty() &&
         (args[0] == "--drop-exif" || args[0] == "--in-place" || args[0] == "--keep-thumbnails");
       args.erase(args.begin())) {
    (args[0] == "--drop-exif"  ? dropExif
     : args[0] == "--in-place" ? inPlace
                               : engine.Pictures.KeepThumbnails) = true;
  }
  if (args.size() < 3 || args.size() % 2 != 1) return Usage();
  const std::string input(args[0]);
  std::vector<tarvo::TTrimRect> rects;
  for (std::size_t i = 2; i < args.size(); i += 2) {
    tarvo::TTrimRect rect;
    if (args[i - 1].starts_with("--") || !ParseRect(args[i], rect)) return Usage();
    if (rect.Left >= rect.Right || rect.Top >= rect.Bottom) {
      return Usage(std::string(args[i]) + ": the rectangle has no positive width and height");
    }
    if (!inPlace && tarvo::IsSameFile(std::string(args[i - 1]), input)) {
      return Usage(std::string(args[i - 1]) +
                   " is the input file; give --in-place to replace it with its cut");
    }
    rects.push_back(rect);
  }
  if (const auto status = engine.AnalyzeFile(input); !status) return refuse(status);
  for (std::size_t k = 0; k < rects.size(); ++k) {
    if (!tarvo::LiesInside(rects[k], engine.ImageWidth(), engine.ImageHeight())) {
      return Usage(std::string(args[2 + 2 * k]) + ": the rectangle does not lie inside the " +
                   std::to_string(engine.ImageWidth()) + "x" +
                   std::to_string(engine.ImageHeight()) + " image");
    }
  }
  // Every rectangle is known: decoding stops below the lowest one.
  std::int32_t bottom = 0;
  for (const tarvo::TTrimRect& rect : rects) bottom = std::max(bottom, rect.Bottom);
  engine.DecodeOnlyTo(bottom);
  // Temporary files first; the outputs change only once every rectangle has been cut.
  tarvo::TAtomicFileWriter writer({.SyncToDisk = false, .WaitForReader = true});
  tarvo::TByteStream output;
  for (std::size_t k = 0; k < rects.size(); ++k) {
    const auto status = engine.Trim(output, engine.SnapToGrid(rects[k]), dropExif);
    if (!status) return refuse(status);
    writer.Add(std::string(args[1 + 2 * k]), output.Bytes());
  }
  writer.Commit();
  return kExitOk;
}

}  // namespace

int main(int argc, char** argv) {
  try {
    return Run(argc, argv);
  } catch (const tarvo::EStreamError& error) {
    std::cerr << error.what() << '\n';
    return kExitFailed;
  } catch (const std::bad_alloc&) {
    std::cerr << tarvo::kMsgOutOfMemory << '\n';
    return kExitFailed;
  } catch (const std::exception& error) {
    // Whatever else the library raises is still a failed run with a reason, never an abort.
    std::cerr << error.what() << '\n';
    return kExitFailed;
  }
}
