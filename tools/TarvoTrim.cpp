// tarvo-trim: the command-line front end of the trimming engine.
#include <algorithm>
#include <charconv>
#include <csignal>
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
#include "OrientedTrim.h"
#include "OutputPieces.h"
#include "StreamError.h"
#include "TemporaryFiles.h"
#include "Wipe.h"

namespace {

constexpr int kExitOk = 0;
constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;

constexpr std::string_view kUsage =
    "Usage:\n"
    "  tarvo-trim --info FILE\n"
    "  tarvo-trim [--drop-exif] [--in-place] [--keep-thumbnails] [--no-sync] [TURN ...]\n"
    "             [--wipe RECT[:FILL] ...] INPUT OUTPUT RECT [OUTPUT RECT ...]\n"
    "  tarvo-trim --help\n";

constexpr std::string_view kHelp =
    "tarvo-trim crops, turns and mirrors JPEG files losslessly: the kept blocks carry the\n"
    "source's quantised coefficients, moved and rearranged but never requantised, so the\n"
    "pixels inside the rectangle lose nothing. Baseline, extended (8-bit) and progressive\n"
    "files, Huffman- or arithmetic-coded, are read; each cut is written Huffman-coded, and\n"
    "progressive ones as baseline.\n"
    "\n"
    "  --info FILE   Analyse FILE and print width=, height=, components=, mcu=WxH (MCU size in\n"
    "                pixels), restart= (restart interval in MCUs, 0 without one) and\n"
    "                orientation= (the Exif Orientation, 1-8; 1 without one).\n"
    "  INPUT OUTPUT RECT [OUTPUT RECT ...]\n"
    "                Write the rectangle RECT of INPUT to OUTPUT; further pairs cut more\n"
    "                rectangles from the same source, which is decoded only once.\n"
    "  --drop-exif   Leave every APP1 segment (Exif and others) out of the outputs; without\n"
    "                it the Exif pixel dimensions are set to the size of each rectangle. A\n"
    "                picture that Exif asks to show turned keeps a small Exif segment that\n"
    "                holds only its orientation.\n"
    "  --in-place    Allow an OUTPUT that is INPUT itself: the source is replaced by its cut.\n"
    "                Without it, such a command is refused.\n"
    "  --keep-thumbnails\n"
    "                Keep every copy of the picture byte for byte: the Exif thumbnail, the MPF\n"
    "                previews, Photoshop, JFXX and XMP thumbnails, maker-note previews,\n"
    "                FlashPix segments and pictures after the end of the main one. Without it,\n"
    "                each is drawn again from the cut and turned picture at its old size\n"
    "                (maker-note previews and pictures after the end in their own bytes, so that\n"
    "                their offsets hold), or left out where it cannot be, so that none shows\n"
    "                what was cut away; FlashPix segments are left out. HDR gain maps and views\n"
    "                of the same size are cut and turned with the picture either way.\n"
    "  --wipe RECT[:grey|flat|mosaic]\n"
    "                Blank RECT (in the picture after the turns) in every output before the\n"
    "                rectangles are cut; may be given more than once, later wipes over earlier\n"
    "                ones. Every MCU the rectangle touches is blanked in all components, and\n"
    "                every other block keeps its coefficients. grey (the default) sets every\n"
    "                coefficient to zero, a mid grey; flat gives the region one colour, the\n"
    "                average of the blocks around it; mosaic gives each cell of\n"
    "                2x2 MCUs its average colour. A mosaic can be partly reversed: use grey or\n"
    "                flat where privacy matters. Every copy of a wiped picture is drawn again\n"
    "                from it, --keep-thumbnails notwithstanding, and an HDR gain map is wiped\n"
    "                under the region with the gain around it. The whole picture is written\n"
    "                with the rectangle WIDTHxHEIGHT+0+0.\n"
    "  --no-sync     Rename the outputs into place without waiting for them to reach the disk,\n"
    "                for batch work; a crash may then leave an output empty.\n"
    "\n"
    "TURN turns or mirrors the picture before the rectangles are cut; several apply in order:\n"
    "  --rotate 90|180|270            turn clockwise by so many degrees\n"
    "  --flip horizontal|vertical     mirror left to right, or top to bottom\n"
    "  --transpose                    mirror about the top-left to bottom-right diagonal\n"
    "  --transverse                   mirror about the top-right to bottom-left diagonal\n"
    "  --auto-orient                  turn the pixels the way the Exif Orientation says and\n"
    "                                 set it to 1\n"
    "Blocks can only move whole, so a partial MCU at the right or bottom edge that a turn\n"
    "would bring to the left or top is cut off. After a turn the Exif Orientation is changed\n"
    "so that viewers show the turned picture, and the Exif pixel dimensions follow.\n"
    "\n"
    "RECT is LEFT,TOP,RIGHT,BOTTOM in pixels of the picture after the turns (right and bottom\n"
    "exclusive) or WIDTHxHEIGHT+X+Y. As given, it must have a positive width and height and\n"
    "lie inside that picture; otherwise the command is wrong usage. Then LEFT and TOP move out\n"
    "to the MCU grid (see --info; a quarter turn exchanges the MCU's width and height); RIGHT\n"
    "and BOTTOM stay, and a partial MCU at the right or bottom edge is hidden by the declared\n"
    "size.\n"
    "\n"
    "INPUT must be a regular file; when another program cuts it short or writes to it while it\n"
    "is read, nothing is written. Each OUTPUT is written to a temporary file in its folder;\n"
    "only when every rectangle has been cut are they renamed into place, so a failed command\n"
    "leaves all outputs as they were. An existing OUTPUT keeps its mode and owner, one the\n"
    "user may not write is refused, a symbolic link is followed to the file it names, and a\n"
    "device or FIFO is written into, never replaced.\n"
    "\n"
    "Exit status: 0 success, 1 the file was refused or could not be read or written,\n"
    "2 wrong usage.\n";

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

// One TURN option: a turn, or --auto-orient, which depends on the file's tag.
struct TTurnStep {
  tarvo::TOrientation Turn;
  bool Upright = false;
};

// One --wipe: its rectangle in the picture after the turns, as given, and its fill.
struct TWipeStep {
  std::string_view Text;
  tarvo::TTrimRect Rect;
  tarvo::EWipeFill Fill = tarvo::EWipeFill::kGrey;
};

struct TOptions {
  bool DropExif = false;
  bool InPlace = false;
  bool KeepThumbnails = false;
  bool NoSync = false;
  std::vector<TTurnStep> Turns;
  std::vector<TWipeStep> Wipes;
};

// "RECT[:grey|flat|mosaic]".
bool ParseWipe(std::string_view text, TWipeStep& wipe) {
  wipe.Text = text;
  const auto colon = text.find(':');
  const std::string_view fill = colon == std::string_view::npos ? "grey" : text.substr(colon + 1);
  if (fill == "grey") {
    wipe.Fill = tarvo::EWipeFill::kGrey;
  } else if (fill == "flat") {
    wipe.Fill = tarvo::EWipeFill::kFlat;
  } else if (fill == "mosaic") {
    wipe.Fill = tarvo::EWipeFill::kMosaic;
  } else {
    return false;
  }
  return ParseRect(text.substr(0, colon), wipe.Rect);
}

// Reads the option at the front of args; returns how many arguments it took, 0 when it is not
// one of ours or its value is wrong.
std::size_t ParseOption(const std::vector<std::string_view>& args, TOptions& options) {
  const std::string_view option = args[0];
  const std::string_view value = args.size() > 1 ? args[1] : std::string_view();
  if (option == "--drop-exif" || option == "--in-place" || option == "--keep-thumbnails" ||
      option == "--no-sync") {
    (option == "--drop-exif"         ? options.DropExif
     : option == "--in-place"        ? options.InPlace
     : option == "--keep-thumbnails" ? options.KeepThumbnails
                                     : options.NoSync) = true;
    return 1;
  }
  if (option == "--auto-orient") {
    options.Turns.push_back({tarvo::kAsStored, true});
    return 1;
  }
  if (option == "--transpose" || option == "--transverse") {
    options.Turns.push_back({option == "--transpose" ? tarvo::kTransposed : tarvo::kTransverse});
    return 1;
  }
  if (option == "--rotate" && (value == "90" || value == "180" || value == "270")) {
    options.Turns.push_back({value == "90"    ? tarvo::kRotate90
                             : value == "180" ? tarvo::kRotate180
                                              : tarvo::kRotate270});
    return 2;
  }
  if (option == "--wipe" && args.size() > 1) {
    TWipeStep wipe;
    if (!ParseWipe(value, wipe)) return 0;
    options.Wipes.push_back(wipe);
    return 2;
  }
  if (option == "--flip" && (value == "horizontal" || value == "vertical")) {
    options.Turns.push_back(
        {value == "horizontal" ? tarvo::kMirrorHorizontal : tarvo::kMirrorVertical});
    return 2;
  }
  return 0;
}

int Usage(std::string_view reason = {}) {
  if (!reason.empty()) std::cerr << "tarvo-trim: " << reason << '\n';
  std::cerr << kUsage;
  return kExitUsage;
}

int Run(int argc, char** argv) {
  std::vector<std::string_view> args(argv + 1, argv + argc);
  if (args.size() == 1 && args[0] == "--help") {
    std::cout << kUsage << '\n' << kHelp;
    return kExitOk;
  }
  tarvo::TJpegTrimming engine;
  // The file is used once, right away: mapped, it need not be copied into fresh memory.
  engine.MapsSourceFile = true;
  std::string message;
  // What the engine read past in a damaged file is told as it goes, and the run still succeeds;
  // a refusal's reason is told when the run gives up.
  engine.OnMessage = [&message](const std::string& text, int severity) {
    if (severity < tarvo::kSeverityError) {
      std::cerr << text << '\n';
    } else if (message.empty()) {
      message = text;
    }
  };
  // A rectangle the engine will not cut is wrong usage; anything else refuses the file.
  const auto refuse = [&message](const tarvo::TJpegStatus& status) {
    std::cerr << message << '\n';
    return status.Error == tarvo::EJpegError::kRectOutside ? kExitUsage : kExitFailed;
  };

  if (!args.empty() && args[0] == "--info") {
    if (args.size() != 2) return Usage();
    // The geometry is in the headers; nothing is decoded.
    engine.AnalysisDecodes = false;
    if (const auto status = engine.AnalyzeFile(std::string(args[1])); !status) {
      return refuse(status);
    }
    std::cout << "width=" << engine.ImageWidth() << '\n'
              << "height=" << engine.ImageHeight() << '\n'
              << "components=" << engine.ComponentCount() << '\n'
              << "mcu=" << engine.McuWidth() << 'x' << engine.McuHeight() << '\n'
              << "restart=" << engine.RestartInterval() << '\n'
              << "orientation=" << engine.ExifOrientation().ExifValue() << '\n';
    return kExitOk;
  }

  TOptions options;
  const tarvo::TLibjpegPictureMaker maker;
  engine.Pictures.Maker = &maker;
  while (!args.empty() && args[0].starts_with("--")) {
    const std::size_t used = ParseOption(args, options);
    if (used == 0) return Usage(std::string(args[0]) + ": not an option, or a wrong value");
    args.erase(args.begin(), args.begin() + static_cast<std::ptrdiff_t>(used));
  }
  engine.Pictures.KeepThumbnails = options.KeepThumbnails;
  if (args.size() < 3 || args.size() % 2 != 1) return Usage();
  const std::string input(args[0]);
  std::vector<tarvo::TTrimRect> rects;
  for (std::size_t i = 2; i < args.size(); i += 2) {
    tarvo::TTrimRect rect;
    if (args[i - 1].starts_with("--") || !ParseRect(args[i], rect)) return Usage();
    if (rect.Left >= rect.Right || rect.Top >= rect.Bottom) {
      return Usage(std::string(args[i]) + ": the rectangle has no positive width and height");
    }
    if (!options.InPlace && tarvo::IsSameFile(std::string(args[i - 1]), input)) {
      return Usage(std::string(args[i - 1]) +
                   " is the input file; give --in-place to replace it with its cut");
    }
    rects.push_back(rect);
  }
  if (const auto status = engine.AnalyzeFile(input); !status) return refuse(status);
  const tarvo::TMcuGrid grid = engine.Grid();
  tarvo::TOrientedTrim cut = tarvo::WholePicture(grid, engine.ExifOrientation());
  for (const TTurnStep& step : options.Turns) {
    tarvo::TTurnLoss loss;
    cut =
        step.Upright ? tarvo::Upright(cut, grid, loss) : tarvo::Turned(cut, step.Turn, grid, loss);
  }
  if (!tarvo::Writable(cut, grid)) {
    std::cerr << tarvo::MessageText(tarvo::EJpegError::kTooSmallToTurn, true) << '\n';
    return kExitFailed;
  }
  const auto outside = [&cut](std::string_view text) {
    return Usage(std::string(text) + ": the rectangle does not lie inside the " +
                 std::to_string(cut.Width()) + "x" + std::to_string(cut.Height()) + " image");
  };
  for (std::size_t k = 0; k < rects.size(); ++k) {
    if (!tarvo::LiesInside(rects[k], cut.Width(), cut.Height())) return outside(args[2 + 2 * k]);
  }
  // A wipe's rectangle is in the picture as turned, like a cut's; the engine takes it in the
  // stored pixels.
  for (const TWipeStep& wipe : options.Wipes) {
    if (wipe.Rect.Left >= wipe.Rect.Right || wipe.Rect.Top >= wipe.Rect.Bottom) {
      return Usage(std::string(wipe.Text) + ": the rectangle has no positive width and height");
    }
    if (!tarvo::LiesInside(wipe.Rect, cut.Width(), cut.Height())) return outside(wipe.Text);
    engine.Wipes.push_back({tarvo::Within(cut, wipe.Rect).Source, wipe.Fill});
  }
  // Every rectangle is known: decoding takes only what they keep.
  std::vector<tarvo::TOrientedTrim> cuts;
  for (const tarvo::TTrimRect& rect : rects) cuts.push_back(tarvo::Trimmed(cut, rect, grid));
  engine.DecodeOnlyFor(cuts);
  // Temporary files first; the outputs change only once every rectangle has been cut.
  // With --in-place the output is the photo's only copy: it reaches the disk before it
  // replaces the source.
  tarvo::TAtomicFileWriter writer({.SyncToDisk = !options.NoSync, .WaitForReader = true});
  // Each cut is written from pieces, much of it straight from the source's bytes.
  tarvo::TOutputPieces output;
  for (std::size_t k = 0; k < rects.size(); ++k) {
    const auto status = engine.TrimCut(output, cuts[k], options.DropExif);
    if (!status) return refuse(status);
    writer.Add(std::string(args[1 + 2 * k]), output.Spans());
  }
  // Another program cut the source short or rewrote it while it was read: the outputs may mix
  // two files, or zeros, and none is kept.
  if (engine.SourceChanged()) {
    throw tarvo::EStreamError(tarvo::FormatMessage(tarvo::kMsgFileShrank, input));
  }
  writer.Commit();
  return kExitOk;
}

}  // namespace

int main(int argc, char** argv) {
  // A reader of a FIFO output that goes away is a failed write with a message, and the
  // temporary files go with the run, also when a signal ends it.
  std::signal(SIGPIPE, SIG_IGN);
  tarvo::RemoveTemporariesOnSignals();
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
