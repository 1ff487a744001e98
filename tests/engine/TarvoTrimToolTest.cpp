// The command-line front end, run as a separate process: output, exit codes, atomic files.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <thread>

#include "AtomicFileWriter.h"
#include "JpegFixtures.h"
#include "JpegTrimming.h"
#include "Messages.h"
#include "StreamError.h"

namespace tarvo::fixtures {
namespace {

namespace fs = std::filesystem;

class TarvoTrimTool : public ::testing::Test {
 protected:
  void SetUp() override {
    folder_ = fs::temp_directory_path() /
              ("tarvo-trim-test-" + std::to_string(::getpid()) + "-" +
               ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(folder_);
    fs::create_directories(folder_);
    JpegOptions options;
    options.width = 100;
    options.height = 70;
    options.restartInterval = 3;
    options.extraSegments.push_back(MakeExifSegment(false, 100, 70, 3));
    WriteFile(Path("in.jpg"), MakeJpeg(options));
  }
  void TearDown() override { fs::remove_all(folder_); }

  std::string Path(const std::string& name) const { return (folder_ / name).string(); }

  // Runs tarvo-trim with args; returns its exit status and keeps its output. wrapper runs it
  // as another user or under a tracer.
  int Run(const std::string& args, const std::string& wrapper = "") {
    // A tool that blocks on a FIFO fails the test instead of hanging it.
    const std::string command = "timeout 20 " + wrapper + "'" + TARVO_TRIM_PATH + "' " + args +
                                " > '" + Path("stdout") + "' 2> '" + Path("stderr") + "'";
    const int status = std::system(command.c_str());
    out_ = Slurp(Path("stdout"));
    err_ = Slurp(Path("stderr"));
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }

  static std::string Slurp(const std::string& path) {
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
  }

  // Files in the folder besides the input and the captured output.
  int OtherFiles() const {
    int count = 0;
    for (const auto& entry : fs::directory_iterator(folder_)) {
      const std::string name = entry.path().filename().string();
      count += name != "in.jpg" && name != "stdout" && name != "stderr";
    }
    return count;
  }

  fs::path folder_;
  std::string out_, err_;
};

TEST_F(TarvoTrimTool, InfoPrintsTheGeometry) {
  EXPECT_EQ(Run("--info '" + Path("in.jpg") + "'"), 0);
  EXPECT_EQ(out_, "width=100\nheight=70\ncomponents=3\nmcu=16x16\nrestart=3\norientation=1\n");
}

TEST_F(TarvoTrimTool, RefusalsAndStreamErrorsExitWithOne) {
  // A lossless frame: SOI, then SOF3.
  WriteFile(Path("lossless.jpg"), {0xFF, 0xD8, 0xFF, 0xC3, 0, 11, 8, 0, 8, 0, 8, 1, 1, 0x11, 0});
  EXPECT_EQ(Run("--info '" + Path("lossless.jpg") + "'"), 1);
  EXPECT_EQ(err_, std::string(kMsgLossless) + "\n");
  WriteFile(Path("empty.jpg"), {});
  EXPECT_EQ(Run("--info '" + Path("empty.jpg") + "'"), 1);
  EXPECT_EQ(err_, std::string(kMsgStreamReadError) + "\n");
  EXPECT_EQ(Run("--info '" + Path("missing.jpg") + "'"), 1);
  EXPECT_EQ(err_, FormatMessage(kMsgCannotOpenFile, Path("missing.jpg")) + ": " +
                      std::strerror(ENOENT) + "\n");
}

// Stray bytes before RST2, which ends the third interval of three MCUs: MCUs 6 to 8, which the
// cut takes (the second MCU row starts at MCU 7). Intervals no cut takes are never read.
TEST_F(TarvoTrimTool, WhatWasSkippedGoesToStandardErrorAndTheTrimSucceeds) {
  Bytes damaged = ReadFile(Path("in.jpg"));
  for (std::size_t at = 2; at + 1 < damaged.size(); ++at) {
    if (damaged[at] == 0xFF && damaged[at + 1] == 0xD2) {
      damaged.insert(damaged.begin() + static_cast<std::ptrdiff_t>(at), {0x12, 0x34});
      break;
    }
  }
  WriteFile(Path("damaged.jpg"), damaged);
  EXPECT_EQ(Run("'" + Path("damaged.jpg") + "' '" + Path("out.jpg") + "' 16,16,60,50"), 0);
  EXPECT_EQ(err_, FormatMessage(kMsgExtraneousBytes, "2") + "\n");
  EXPECT_TRUE(fs::exists(Path("out.jpg")));
}

TEST_F(TarvoTrimTool, ACutOffFileIsTrimmedInsideTheRowsThatArrived) {
  const Bytes whole = ReadFile(Path("in.jpg"));
  WriteFile(
      Path("cut.jpg"),
      Bytes(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(whole.size() * 7 / 10)));
  EXPECT_EQ(Run("'" + Path("cut.jpg") + "' '" + Path("top.jpg") + "' 0,0,40,16"), 0);
  const std::string_view cutOff = kMsgCutOff.substr(0, kMsgCutOff.find("%s"));
  EXPECT_EQ(err_.rfind(cutOff, 0), 0u) << err_;
  EXPECT_TRUE(fs::exists(Path("top.jpg")));
  EXPECT_EQ(Run("'" + Path("cut.jpg") + "' '" + Path("all.jpg") + "' 0,0,40,70"), 1);
  const std::string_view beyond = kMsgBeyondCutOff.substr(0, kMsgBeyondCutOff.find("%s"));
  EXPECT_NE(err_.find(beyond), std::string::npos) << err_;
  EXPECT_FALSE(fs::exists(Path("all.jpg")));
}

TEST_F(TarvoTrimTool, WrongUsageExitsWithTwo) {
  EXPECT_EQ(Run(""), 2);
  EXPECT_NE(err_.find("Usage"), std::string::npos);
  EXPECT_EQ(Run("--info"), 2);
  EXPECT_EQ(Run("'" + Path("in.jpg") + "' '" + Path("out.jpg") + "'"), 2);
  EXPECT_EQ(Run("'" + Path("in.jpg") + "' '" + Path("out.jpg") + "' 1,2,3"), 2);
  EXPECT_EQ(Run("'" + Path("in.jpg") + "' '" + Path("out.jpg") + "' 10x10+a+0"), 2);
  for (const char* turn : {"--rotate 45", "--flip diagonal", "--rotate", "--turn"}) {
    EXPECT_EQ(
        Run(std::string(turn) + " '" + Path("in.jpg") + "' '" + Path("out.jpg") + "' 0,0,8,8"), 2)
        << turn;
  }
  EXPECT_EQ(OtherFiles(), 0);
  EXPECT_EQ(Run("--help"), 0);
  EXPECT_NE(out_.find("WIDTHxHEIGHT+X+Y"), std::string::npos);
}

TEST_F(TarvoTrimTool, TrimsSeveralRectanglesInBothNotations) {
  ASSERT_EQ(Run("'" + Path("in.jpg") + "' '" + Path("a.jpg") + "' 16,16,60,50 '" + Path("b.jpg") +
                "' 44x34+16+16 '" + Path("c.jpg") + "' 20,21,60,50"),
            0)
      << err_;
  const Bytes a = ReadFile(Path("a.jpg"));
  EXPECT_EQ(a, ReadFile(Path("b.jpg")));
  const Coefficients coefficients = ReadCoefficients(a);
  EXPECT_EQ(coefficients.width, 44);
  EXPECT_EQ(coefficients.height, 34);
  std::uint32_t width = 0, height = 0;
  ASSERT_TRUE(ReadExifPixelSize(a, width, height));
  EXPECT_EQ(width, 44u);
  // Left and top move down to the grid (16, 16); right and bottom stay.
  const Coefficients snapped = ReadCoefficients(ReadFile(Path("c.jpg")));
  EXPECT_EQ(snapped.width, 44);
  EXPECT_EQ(snapped.height, 34);
  EXPECT_EQ(snapped.components[0].blocks, coefficients.components[0].blocks);
  // Pixels agree with libjpeg's own crop.
  EXPECT_EQ(Decode(a).samples,
            Decode(LibjpegCrop(ReadFile(Path("in.jpg")), 16, 16, 44, 34)).samples);
}

// The tool and the engine's own trim snap a rectangle off the grid alike: left and top move down
// to the grid, right and bottom stay, turned or not.
TEST_F(TarvoTrimTool, AnUnsnappedRectangleCutsWhatTheEngineCuts) {
  struct TCase {
    const char* turn;
    TOrientation engineTurn;
  };
  const TCase cases[] = {{"", kAsStored}, {"--rotate 180 ", kRotate180}};
  TJpegTrimming engine;
  ASSERT_TRUE(engine.AnalyzeFile(TARVO_SAMPLE_PATH));
  for (const TCase& c : cases) {
    ASSERT_EQ(
        Run(std::string(c.turn) + "'" TARVO_SAMPLE_PATH "' '" + Path("a.jpg") + "' 5,5,100,100"), 0)
        << err_;
    TTurnLoss loss;
    const TOrientedTrim turned =
        Turned(WholePicture(engine.Grid(), kAsStored), c.engineTurn, engine.Grid(), loss);
    TByteStream out;
    TOrientedTrim written;
    ASSERT_TRUE(engine.TrimCut(out, Within(turned, {5, 5, 100, 100}), false, &written));
    EXPECT_EQ(written.Width(), 100) << c.turn;
    EXPECT_EQ(written.Height(), 100) << c.turn;
    const Coefficients tool = ReadCoefficients(ReadFile(Path("a.jpg")));
    EXPECT_EQ(tool.width, 100) << c.turn;
    EXPECT_EQ(tool.height, 100) << c.turn;
    EXPECT_EQ(tool.components[0].blocks,
              ReadCoefficients(Bytes(out.Bytes().begin(), out.Bytes().end())).components[0].blocks)
        << c.turn;
  }
  TByteStream out;
  TTrimRect cut;
  ASSERT_TRUE(engine.Trim(out, {5, 5, 100, 100}, false, &cut));
  EXPECT_EQ(cut, (TTrimRect{0, 0, 100, 100}));
}

TEST_F(TarvoTrimTool, DropExifLeavesApp1Out) {
  ASSERT_EQ(Run("--drop-exif '" + Path("in.jpg") + "' '" + Path("a.jpg") + "' 0,0,32,32"), 0);
  std::uint32_t width = 0, height = 0;
  EXPECT_FALSE(ReadExifPixelSize(ReadFile(Path("a.jpg")), width, height));
}

TEST_F(TarvoTrimTool, ThumbnailIsDrawnAgainUnlessAskedToKeepIt) {
  JpegOptions options;
  options.width = 40;
  options.height = 28;
  const Bytes thumbnail = MakeJpeg(options);
  options.width = 100;
  options.height = 70;
  options.extraSegments.push_back(MakeExifWithThumbnail(true, 100, 70, thumbnail, false));
  WriteFile(Path("in.jpg"), MakeJpeg(options));
  const auto holds = [](const Bytes& file, const Bytes& part) {
    return std::search(file.begin(), file.end(), part.begin(), part.end()) != file.end();
  };
  for (const bool keep : {false, true}) {
    ASSERT_EQ(Run(std::string(keep ? "--keep-thumbnails " : "") + "'" + Path("in.jpg") + "' '" +
                  Path("a.jpg") + "' 16,16,60,50"),
              0)
        << err_;
    EXPECT_EQ(holds(ReadFile(Path("a.jpg")), thumbnail), keep);
  }
}

TEST_F(TarvoTrimTool, FailedCommandLeavesNoFileBehind) {
  WriteFile(Path("keep.jpg"), {1, 2, 3});
  EXPECT_EQ(Run("'" + Path("in.jpg") + "' '" + Path("a.jpg") + "' 0,0,32,32 '" + Path("keep.jpg") +
                "' 0,0,101,70"),
            2);
  EXPECT_NE(err_.find("does not lie inside the 100x70 image"), std::string::npos) << err_;
  // The existing file is untouched, the earlier output is not written, no temporary file stays.
  EXPECT_EQ(ReadFile(Path("keep.jpg")), (Bytes{1, 2, 3}));
  EXPECT_EQ(OtherFiles(), 1);
  EXPECT_EQ(Run("'" + Path("in.jpg") + "' '" + Path("nofolder/x.jpg") + "' 0,0,32,32"), 1);
  EXPECT_NE(err_.find(std::strerror(ENOENT)), std::string::npos) << err_;
  EXPECT_EQ(OtherFiles(), 1);
}

// Each case prepares the folder, runs one command and looks at what is there afterwards.
TEST_F(TarvoTrimTool, OutputsAreWrittenIntoOrRefusedNeverClobbered) {
  const bool root = geteuid() == 0;
  const std::string in = "'" + Path("in.jpg") + "' ";
  const Bytes source = ReadFile(Path("in.jpg"));
  const auto isJpeg = [](const Bytes& bytes) { return bytes.size() > 2 && bytes[0] == 0xFF; };
  const auto mode = [](const std::string& path) {
    return fs::symlink_status(path).permissions() & fs::perms::mask;
  };
  const auto node = [&](const char* name, mode_t type, dev_t device) {
    ASSERT_EQ(::mknod(Path(name).c_str(), type | 0666, device), 0) << name;
  };
  Bytes fromFifo;
  std::thread reader;
  int status = 0;
  struct Case {
    const char* what;
    bool needsRoot;
    std::function<void()> prepare;
    std::string args;
    int status;
    std::function<void()> check;
  } cases[] = {
      {"fifo gets the bytes", false,
       [&] {
         ASSERT_EQ(::mkfifo(Path("fifo").c_str(), 0666), 0);
         reader = std::thread([&] { fromFifo = ReadFile(Path("fifo")); });
       },
       in + "'" + Path("fifo") + "' 0,0,32,32", 0,
       [&] {
         // A tool that never opened the FIFO leaves the reader waiting for a writer.
         if (status != 0) ::close(::open(Path("fifo").c_str(), O_WRONLY));
         reader.join();
         EXPECT_TRUE(fs::is_fifo(Path("fifo")));
         EXPECT_EQ(ReadCoefficients(fromFifo).width, 32);
       }},
      {"device is written into", true, [&] { node("null", S_IFCHR, makedev(1, 3)); },
       in + "'" + Path("null") + "' 0,0,32,32", 0,
       [&] { EXPECT_TRUE(fs::is_character_file(Path("null"))); }},
      {"full device fails", true, [&] { node("full", S_IFCHR, makedev(1, 7)); },
       in + "'" + Path("a.jpg") + "' 0,0,32,32 '" + Path("full") + "' 0,0,16,16", 1,
       [&] {
         EXPECT_TRUE(fs::is_character_file(Path("full")));
         EXPECT_FALSE(fs::exists(Path("a.jpg")));
         EXPECT_NE(err_.find(std::strerror(ENOSPC)), std::string::npos) << err_;
       }},
      {"private output stays private", false,
       [&] {
         WriteFile(Path("private.jpg"), {1});
         fs::permissions(Path("private.jpg"), fs::perms::owner_read | fs::perms::owner_write);
       },
       in + "'" + Path("private.jpg") + "' 0,0,32,32", 0,
       [&] {
         EXPECT_EQ(mode(Path("private.jpg")), fs::perms::owner_read | fs::perms::owner_write);
         EXPECT_TRUE(isJpeg(ReadFile(Path("private.jpg"))));
       }},
      {"read-only output: refused, or kept read-only for root as cp does", false,
       [&] {
         WriteFile(Path("ro.jpg"), {1});
         fs::permissions(Path("ro.jpg"), fs::perms::owner_read | fs::perms::group_read);
       },
       in + "'" + Path("ro.jpg") + "' 0,0,32,32", root ? 0 : 1,
       [&] {
         EXPECT_EQ(mode(Path("ro.jpg")), fs::perms::owner_read | fs::perms::group_read);
         EXPECT_EQ(isJpeg(ReadFile(Path("ro.jpg"))), root);
       }},
      {"owner is kept", true,
       [&] {
         WriteFile(Path("theirs.jpg"), {1});
         ASSERT_EQ(::chown(Path("theirs.jpg").c_str(), 65534, 65534), 0);
       },
       in + "'" + Path("theirs.jpg") + "' 0,0,32,32", 0,
       [&] {
         struct stat info;
         ASSERT_EQ(::stat(Path("theirs.jpg").c_str(), &info), 0);
         EXPECT_EQ(info.st_uid, 65534u);
         EXPECT_EQ(info.st_gid, 65534u);
       }},
      {"link is followed, also to a file not there yet", false,
       [&] {
         fs::create_symlink("target.jpg", Path("link.jpg"));
         fs::create_symlink("new.jpg", Path("dangling.jpg"));
         WriteFile(Path("target.jpg"), {1});
       },
       in + "'" + Path("link.jpg") + "' 0,0,32,32 '" + Path("dangling.jpg") + "' 0,0,16,16", 0,
       [&] {
         EXPECT_TRUE(fs::is_symlink(Path("link.jpg")));
         EXPECT_TRUE(fs::is_symlink(Path("dangling.jpg")));
         EXPECT_EQ(ReadCoefficients(ReadFile(Path("target.jpg"))).width, 32);
         EXPECT_EQ(ReadCoefficients(ReadFile(Path("new.jpg"))).width, 16);
       }},
      {"input as output is refused", false, [&] { fs::create_symlink("in.jpg", Path("alias")); },
       in + "'" + Path("a.jpg") + "' 0,0,16,16 '" + Path("alias") + "' 0,0,32,32", 2,
       [&] {
         EXPECT_NE(err_.find("--in-place"), std::string::npos) << err_;
         EXPECT_FALSE(fs::exists(Path("a.jpg")));
       }},
      {"--in-place replaces the input", false, [] {}, "--in-place " + in + in + "0,0,32,32", 0,
       [&] { EXPECT_EQ(ReadCoefficients(ReadFile(Path("in.jpg"))).width, 32); }},
      {"folder as output", false, [&] { fs::create_directory(Path("dir")); },
       in + "'" + Path("dir") + "' 0,0,32,32", 1,
       [&] { EXPECT_NE(err_.find(std::strerror(EISDIR)), std::string::npos) << err_; }},
      {"no permission in the folder", false,
       [&] {
         fs::create_directory(Path("locked"));
         fs::permissions(Path("locked"), fs::perms::owner_read | fs::perms::owner_exec);
       },
       in + "'" + Path("locked/a.jpg") + "' 0,0,32,32", root ? 0 : 1,
       [&] {
         if (!root) {
           EXPECT_NE(err_.find(std::strerror(EACCES)), std::string::npos) << err_;
         }
         fs::permissions(Path("locked"), fs::perms::owner_all);
       }},
      {"empty size", false, [] {}, in + "'" + Path("a.jpg") + "' 0x0+5+5", 2, [] {}},
      {"right before left", false, [] {}, in + "'" + Path("a.jpg") + "' 105,0,100,100", 2, [] {}},
      {"negative width", false, [] {}, in + "'" + Path("a.jpg") + "' -3x10+20+0", 2, [] {}},
      {"outside the picture", false, [] {}, in + "'" + Path("a.jpg") + "' 90x10+20+0", 2, [] {}},
      {"fifo input is refused unopened", false,
       [&] { ASSERT_EQ(::mkfifo(Path("fifo").c_str(), 0666), 0); }, "--info '" + Path("fifo") + "'",
       1, [&] { EXPECT_EQ(err_, FormatMessage(kMsgCannotOpenFile, Path("fifo")) + "\n"); }},
      {"device input is refused", false, [] {}, "/dev/zero '" + Path("a.jpg") + "' 0,0,8,8", 1,
       [&] { EXPECT_EQ(err_, FormatMessage(kMsgCannotOpenFile, "/dev/zero") + "\n"); }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    if (c.needsRoot && !root) continue;
    for (const auto& entry : fs::directory_iterator(folder_)) {
      if (entry.path().filename() != "in.jpg") fs::remove_all(entry.path());
    }
    WriteFile(Path("in.jpg"), source);
    c.prepare();
    status = Run(c.args);
    EXPECT_EQ(status, c.status) << err_;
    c.check();
    if (c.status != 0) {
      EXPECT_EQ(ReadFile(Path("in.jpg")), source);
      EXPECT_FALSE(fs::exists(Path("a.jpg")));
    }
    for (const auto& entry : fs::recursive_directory_iterator(folder_)) {
      EXPECT_NE(entry.path().filename().string().front(), '.') << "left behind: " << entry.path();
    }
  }
}

TEST_F(TarvoTrimTool, TurnsBeforeCuttingAsJpegtranDoes) {
  struct Case {
    const char* ours;
    const char* jpegtran;
    const char* rect;  // in the turned picture
    const char* crop;  // jpegtran's, empty for all of it
  };
  const Case cases[] = {
      {"--rotate 90", "-rotate 90", "0,0,64,100", ""},
      {"--rotate 270", "-rotate 270", "20x30+5+7", "20x30+5+7"},
      {"--flip horizontal", "-flip horizontal", "50x40+20+17", "50x40+20+17"},
      {"--transverse", "-transverse", "0,0,64,96", ""},
      {"--flip vertical --rotate 90", "-transpose", "30x30+3+3", "30x30+3+3"},
  };
  for (const Case& c : cases) {
    ASSERT_EQ(
        Run(std::string(c.ours) + " '" + Path("in.jpg") + "' '" + Path("a.jpg") + "' " + c.rect), 0)
        << c.ours << ": " << err_;
    const std::string crop = *c.crop != '\0' ? std::string(" -crop ") + c.crop : "";
    const std::string jpegtran = std::string("jpegtran -trim ") + c.jpegtran + crop +
                                 " -outfile '" + Path("b.jpg") + "' '" + Path("in.jpg") + "'";
    ASSERT_EQ(std::system(jpegtran.c_str()), 0);
    const Bytes ours = ReadFile(Path("a.jpg"));
    const Bytes theirs = ReadFile(Path("b.jpg"));
    EXPECT_EQ(Decode(ours).samples, Decode(theirs).samples) << c.ours;
    EXPECT_EQ(ReadCoefficients(ours).components[1].blocks,
              ReadCoefficients(theirs).components[1].blocks)
        << c.ours;
  }
  // A rectangle of the stored picture no longer fits once it is turned.
  EXPECT_EQ(Run("--rotate 90 '" + Path("in.jpg") + "' '" + Path("a.jpg") + "' 0,0,100,64"), 2);
  EXPECT_NE(err_.find("64x100"), std::string::npos);
}

TEST_F(TarvoTrimTool, WipesInThePictureAsTurnedAsJpegtranDoes) {
  ASSERT_EQ(Run("--rotate 90 --wipe 20x30+5+7 --wipe 60,90,64,100:grey '" + Path("in.jpg") + "' '" +
                Path("a.jpg") + "' 64x100+0+0 '" + Path("b.jpg") + "' 30x30+8+8"),
            0)
      << err_;
  const std::string chain = "jpegtran -rotate 90 -trim '" + Path("in.jpg") +
                            "' | jpegtran -wipe 20x30+5+7 | jpegtran -wipe 4x10+60+90 > '" +
                            Path("c.jpg") + "' && jpegtran -crop 30x30+8+8 -outfile '" +
                            Path("d.jpg") + "' '" + Path("c.jpg") + "'";
  ASSERT_EQ(std::system(chain.c_str()), 0);
  for (const auto& [ours, theirs] : {std::pair{"a.jpg", "c.jpg"}, std::pair{"b.jpg", "d.jpg"}}) {
    EXPECT_EQ(Decode(ReadFile(Path(ours))).samples, Decode(ReadFile(Path(theirs))).samples) << ours;
  }
  for (const char* wipe : {"0x10+0+0", "10x10+60+0", "10x10+0+0:blur", "10x10"}) {
    EXPECT_EQ(Run(std::string("--rotate 90 --wipe ") + wipe + " '" + Path("in.jpg") + "' '" +
                  Path("e.jpg") + "' 8x8+0+0"),
              2)
        << wipe;
  }
  EXPECT_EQ(Run("--wipe 10x10+0+0:mosaic --wipe 10x10+20+20:flat '" + Path("in.jpg") + "' '" +
                Path("e.jpg") + "' 100x70+0+0"),
            0)
      << err_;
}

TEST_F(TarvoTrimTool, AutoOrientTurnsUprightAndClearsTheTag) {
  JpegOptions options;
  options.width = 100;
  options.height = 70;
  options.extraSegments.push_back(MakeExifSegment(true, 100, 70, 4, true, 6));
  WriteFile(Path("six.jpg"), MakeJpeg(options));
  ASSERT_EQ(Run("--info '" + Path("six.jpg") + "'"), 0);
  EXPECT_NE(out_.find("orientation=6\n"), std::string::npos);
  ASSERT_EQ(Run("--auto-orient '" + Path("six.jpg") + "' '" + Path("a.jpg") + "' 0,0,64,100 '" +
                Path("b.jpg") + "' 0,0,64,100"),
            0)
      << err_;
  ASSERT_EQ(Run("--info '" + Path("a.jpg") + "'"), 0);
  EXPECT_NE(out_.find("width=64\nheight=100\n"), std::string::npos);
  EXPECT_NE(out_.find("orientation=1\n"), std::string::npos);
  ASSERT_EQ(Run("--rotate 90 '" + Path("six.jpg") + "' '" + Path("c.jpg") + "' 0,0,64,100"), 0);
  EXPECT_EQ(Decode(ReadFile(Path("a.jpg"))).samples, Decode(ReadFile(Path("c.jpg"))).samples);
  EXPECT_EQ(ReadFile(Path("a.jpg")), ReadFile(Path("b.jpg")));
}

// Where the test runs as root, the checks of permissions run as another user.
std::string AsNobody() {
  return geteuid() == 0 ? "setpriv --reuid=65534 --regid=65534 --clear-groups " : "";
}

TEST_F(TarvoTrimTool, AnotherUsersFileInAStickyFolderIsWrittenIntoWithTheRest) {
  if (geteuid() != 0) GTEST_SKIP() << "only root can make a file another user owns";
  fs::create_directory(Path("sticky"));
  ASSERT_EQ(::chmod(Path("sticky").c_str(), 01777), 0);
  WriteFile(Path("sticky/theirs.jpg"), {1});
  ASSERT_EQ(::chmod(Path("sticky/theirs.jpg").c_str(), 0666), 0);
  ASSERT_EQ(Run("'" + Path("in.jpg") + "' '" + Path("sticky/new.jpg") + "' 0,0,32,32 '" +
                    Path("sticky/theirs.jpg") + "' 0,0,16,16",
                AsNobody()),
            0)
      << err_;
  EXPECT_EQ(ReadCoefficients(ReadFile(Path("sticky/new.jpg"))).width, 32);
  EXPECT_EQ(ReadCoefficients(ReadFile(Path("sticky/theirs.jpg"))).width, 16);
  struct stat info;
  ASSERT_EQ(::stat(Path("sticky/theirs.jpg").c_str(), &info), 0);
  EXPECT_EQ(info.st_uid, 0u);
  EXPECT_EQ(std::distance(fs::directory_iterator(Path("sticky")), fs::directory_iterator()), 2);
}

TEST_F(TarvoTrimTool, AFolderThatTakesNoNewFileIsNamedAsTheCause) {
  fs::create_directory(Path("shut"));
  WriteFile(Path("shut/mine.jpg"), {1});
  ASSERT_EQ(::chmod(Path("shut/mine.jpg").c_str(), 0666), 0);
  ASSERT_EQ(::chmod(Path("shut").c_str(), 0555), 0);
  EXPECT_EQ(Run("'" + Path("in.jpg") + "' '" + Path("shut/mine.jpg") + "' 0,0,32,32", AsNobody()),
            1);
  EXPECT_EQ(err_.rfind(FormatMessage(FormatMessage(kMsgCannotWriteFolder, Path("shut")),
                                     Path("shut/mine.jpg")),
                       0),
            0u)
      << err_;
  ::chmod(Path("shut").c_str(), 0755);
}

TEST_F(TarvoTrimTool, ABrokenPipeIsReportedAndLeavesNoTemporaryFile) {
  JpegOptions options;
  options.width = options.height = 512;
  options.sampling = Sampling::k444;
  options.quality = 98;
  WriteFile(Path("in.jpg"), MakeJpeg(options));
  ASSERT_EQ(::mkfifo(Path("fifo").c_str(), 0666), 0);
  // Reads one byte and goes, leaving more than a pipe holds unread.
  std::thread reader([this] {
    const int fd = ::open(Path("fifo").c_str(), O_RDONLY);
    char byte;
    EXPECT_EQ(::read(fd, &byte, 1), 1);
    ::close(fd);
  });
  const int status = Run("'" + Path("in.jpg") + "' '" + Path("a.jpg") + "' 0,0,512,512 '" +
                         Path("fifo") + "' 0,0,512,512");
  ::close(::open(Path("fifo").c_str(), O_WRONLY | O_NONBLOCK));
  reader.join();
  EXPECT_EQ(status, 1);
  EXPECT_NE(err_.find(std::strerror(EPIPE)), std::string::npos) << err_;
  EXPECT_EQ(OtherFiles(), 1);
}

TEST_F(TarvoTrimTool, ASignalRemovesTheTemporaryFilesAndEndsWithItsStatus) {
  ASSERT_EQ(::mkfifo(Path("fifo").c_str(), 0666), 0);
  for (const int signal : {SIGTERM, SIGINT, SIGHUP}) {
    SCOPED_TRACE(signal);
    // The FIFO has no reader: the tool waits there with the temporary file of a.jpg made.
    const std::string tool = TARVO_TRIM_PATH, in = Path("in.jpg"), a = Path("a.jpg"),
                      fifo = Path("fifo");
    const char* argv[] = {tool.c_str(), in.c_str(),  a.c_str(), "0,0,32,32",
                          fifo.c_str(), "0,0,16,16", nullptr};
    pid_t pid = 0;
    ASSERT_EQ(
        ::posix_spawn(&pid, tool.c_str(), nullptr, nullptr, const_cast<char**>(argv), environ), 0);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (OtherFiles() < 2 && std::chrono::steady_clock::now() < deadline) {
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    EXPECT_EQ(OtherFiles(), 2);
    ::kill(pid, signal);
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 128 + signal);
    EXPECT_EQ(OtherFiles(), 1);
  }
}

TEST_F(TarvoTrimTool, OutputsReachTheDiskBeforeTheyReplaceAnythingUnlessNoSync) {
  if (std::system("strace -o /dev/null true > /dev/null 2>&1") != 0) GTEST_SKIP() << "no strace";
  for (const bool sync : {true, false}) {
    ASSERT_EQ(
        Run(std::string(sync ? "--in-place " : "--in-place --no-sync ") + "'" + Path("in.jpg") +
                "' '" + Path("in.jpg") + "' 0,0,64,64",
            // LeakSanitizer cannot run under a tracer; the syncs are what is counted here.
            "env \"ASAN_OPTIONS=${ASAN_OPTIONS:+$ASAN_OPTIONS:}detect_leaks=0\" strace -f -qq "
            "-e trace=fsync,fdatasync -o '" +
                Path("trace") + "' "),
        0)
        << err_;
    const std::string trace = Slurp(Path("trace"));
    // The file before its rename, its folder after.
    int syncs = 0;
    for (auto at = trace.find("sync("); at != std::string::npos; at = trace.find("sync(", at + 1)) {
      ++syncs;
    }
    EXPECT_EQ(syncs, sync ? 2 : 0) << trace;
  }
}

TEST_F(TarvoTrimTool, ASourceCutShortWhileItIsReadLeavesNoOutput) {
  if (std::system("strace -o /dev/null true > /dev/null 2>&1") != 0) GTEST_SKIP() << "no strace";
  // The tracer stops the tool as it makes its first temporary file, after the cut, before the
  // cut's bytes are written; the source is cut short there, and the tool goes on.
  const std::string command =
      "exec env \"ASAN_OPTIONS=${ASAN_OPTIONS:+$ASAN_OPTIONS:}"
      "detect_leaks=0\" strace -qq -e trace=fchmod "
      "-e inject=fchmod:signal=SIGSTOP:when=1 -o '" +
      Path("trace") + "' '" + TARVO_TRIM_PATH + "' '" + Path("in.jpg") + "' '" + Path("a.jpg") +
      "' 0,0,64,64 2> '" + Path("stderr") + "'";
  const char* argv[] = {"/bin/sh", "-c", command.c_str(), nullptr};
  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP);
  pid_t pid = 0;
  ASSERT_EQ(::posix_spawn(&pid, "/bin/sh", nullptr, &attributes, const_cast<char**>(argv), environ),
            0);
  posix_spawnattr_destroy(&attributes);
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  while (Slurp(Path("trace")).find("stopped by SIGSTOP") == std::string::npos &&
         std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  ASSERT_EQ(::truncate(Path("in.jpg").c_str(), 0), 0);
  ::kill(-pid, SIGCONT);
  int status = 0;
  ASSERT_EQ(::waitpid(pid, &status, 0), pid);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 1);
  EXPECT_NE(Slurp(Path("stderr")).find(FormatMessage(kMsgFileShrank, Path("in.jpg"))),
            std::string::npos);
  EXPECT_EQ(OtherFiles(), 1);  // the trace
}

TEST_F(TarvoTrimTool, AutoOrientReadsAndWritesBackAnOrientationStoredAsLong) {
  for (const bool little : {true, false}) {
    SCOPED_TRACE(little);
    // IFD0's Orientation entry: tag, type, count, value; SHORT 6 as written, then as a LONG.
    const auto entry = [little](std::uint8_t type, std::uint8_t value) {
      return little ? Bytes{0x12, 0x01, type, 0, 1, 0, 0, 0, value, 0, 0, 0}
                    : Bytes{0x01, 0x12, 0, type, 0, 0, 0, 1, 0, 0, 0, value};
    };
    Bytes exif = MakeExifSegment(little, 100, 70, 4, true, 6);
    const Bytes asShort = little ? entry(3, 6) : Bytes{0x01, 0x12, 0, 3, 0, 0, 0, 1, 0, 6, 0, 0};
    const auto at = std::search(exif.begin(), exif.end(), asShort.begin(), asShort.end());
    ASSERT_NE(at, exif.end());
    const Bytes asLong = entry(4, 6);
    std::copy(asLong.begin(), asLong.end(), at);
    JpegOptions options;
    options.width = 100;
    options.height = 70;
    options.extraSegments.push_back(exif);
    WriteFile(Path("long.jpg"), MakeJpeg(options));
    ASSERT_EQ(Run("--auto-orient '" + Path("long.jpg") + "' '" + Path("a.jpg") + "' 0,0,64,100"), 0)
        << err_;
    const Bytes out = ReadFile(Path("a.jpg"));
    EXPECT_EQ(ReadCoefficients(out).width, 64);
    const Bytes upright = entry(4, 1);
    EXPECT_NE(std::search(out.begin(), out.end(), upright.begin(), upright.end()), out.end());
  }
}

int renamesBeforeFailure = 0;

int FailingRename(const char* from, const char* to) {
  if (renamesBeforeFailure-- == 0) {
    errno = EIO;
    return -1;
  }
  return std::rename(from, to);
}

// The writer on its own: a rename that fails after others succeeded.
TEST_F(TarvoTrimTool, ARenameThatFailsPutsBackWhatTheOthersReplaced) {
  for (const int failing : {0, 1, 2}) {
    SCOPED_TRACE(failing);
    WriteFile(Path("first.jpg"), {1});
    WriteFile(Path("last.jpg"), {3});
    renamesBeforeFailure = failing;
    {
      TAtomicFileWriter writer({.Rename = &FailingRename});
      writer.Add(Path("first.jpg"), Bytes{10});
      writer.Add(Path("new.jpg"), Bytes{20});
      writer.Add(Path("last.jpg"), Bytes{30});
      EXPECT_THROW(writer.Commit(), EStreamError);
    }
    EXPECT_EQ(ReadFile(Path("first.jpg")), Bytes{1});
    EXPECT_EQ(ReadFile(Path("last.jpg")), Bytes{3});
    EXPECT_EQ(OtherFiles(), 2);
  }
}

TEST_F(TarvoTrimTool, PiecesAreWrittenOneAfterTheOther) {
  // More pieces than one gathering write takes, empty ones among them.
  Bytes many;
  for (int i = 0; i < 2500; ++i) many.push_back(static_cast<std::uint8_t>(i % 3 == 0 ? 0 : i));
  std::vector<std::span<const std::uint8_t>> manyPieces;
  for (std::size_t i = 0; i < many.size(); ++i) {
    manyPieces.push_back(std::span(many).subspan(i, many[i] == 0 ? 0 : 1));
  }
  Bytes expected;
  std::copy_if(many.begin(), many.end(), std::back_inserter(expected), [](auto b) { return b; });
  const Bytes a{1, 2, 3}, b{4};
  const std::vector<std::span<const std::uint8_t>> few{a, {}, b, a};
  // Pieces that a synced write, which goes a megabyte at a time, cuts across.
  Bytes large(3 << 20);
  for (std::size_t i = 0; i < large.size(); ++i) large[i] = static_cast<std::uint8_t>(i * 7 / 5);
  const std::span<const std::uint8_t> whole = large;
  const std::vector<std::span<const std::uint8_t>> largePieces{
      whole.first(300000), whole.subspan(300000, 1500000), whole.subspan(1800000, 1),
      whole.subspan(1800001)};
  struct TCase {
    std::vector<std::span<const std::uint8_t>> pieces;
    Bytes expected;
  } cases[] = {
      {{}, {}}, {few, {1, 2, 3, 4, 1, 2, 3}}, {manyPieces, expected}, {largePieces, large}};
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.expected.size());
    // A new file, and one replaced, synced or not.
    for (const int way : {0, 1, 2}) {
      const bool replace = way == 1;
      if (replace) WriteFile(Path("out.jpg"), {9, 9});
      TAtomicFileWriter writer({.SyncToDisk = way == 2});
      writer.Add(Path("out.jpg"), c.pieces);
      writer.Commit();
      EXPECT_EQ(ReadFile(Path("out.jpg")), c.expected);
      fs::remove(Path("out.jpg"));
    }
  }
}

TEST_F(TarvoTrimTool, NamesAsLongAsAFolderHoldsAreWritten) {
  std::string japanese;
  for (int i = 0; i < 85; ++i) japanese += "写";  // three bytes each: 255 in all
  for (const std::string& name : {std::string(243, 'a') + ".jpg", std::string(244, 'b') + ".jpg",
                                  std::string(251, 'c') + ".jpg", japanese}) {
    SCOPED_TRACE(name.size());
    ASSERT_EQ(Run("'" + Path("in.jpg") + "' '" + Path(name) + "' 0,0,32,32"), 0) << err_;
    fs::remove(Path(name));
    EXPECT_EQ(OtherFiles(), 0);
  }
}

}  // namespace
}  // namespace tarvo::fixtures
