// The command-line front end, run as a separate process: output, exit codes, atomic files.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "JpegFixtures.h"
#include "Messages.h"

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

  // Runs tarvo-trim with args; returns its exit status and keeps its output.
  int Run(const std::string& args) {
    const std::string command = std::string("'") + TARVO_TRIM_PATH + "' " + args + " > '" +
                                Path("stdout") + "' 2> '" + Path("stderr") + "'";
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
  EXPECT_EQ(out_, "width=100\nheight=70\ncomponents=3\nmcu=16x16\nrestart=3\n");
}

TEST_F(TarvoTrimTool, RefusalsAndStreamErrorsExitWithOne) {
  JpegOptions arithmetic;
  arithmetic.progressive = arithmetic.arithmetic = true;
  WriteFile(Path("arithmetic.jpg"), MakeJpeg(arithmetic));
  EXPECT_EQ(Run("--info '" + Path("arithmetic.jpg") + "'"), 1);
  EXPECT_EQ(err_, std::string(kMsgArithmetic) + "\n");
  WriteFile(Path("empty.jpg"), {});
  EXPECT_EQ(Run("--info '" + Path("empty.jpg") + "'"), 1);
  EXPECT_EQ(err_, std::string(kMsgStreamReadError) + "\n");
  EXPECT_EQ(Run("--info '" + Path("missing.jpg") + "'"), 1);
  EXPECT_EQ(err_, FormatMessage(kMsgCannotOpenFile, Path("missing.jpg")) + "\n");
}

TEST_F(TarvoTrimTool, WrongUsageExitsWithTwo) {
  EXPECT_EQ(Run(""), 2);
  EXPECT_NE(err_.find("Usage"), std::string::npos);
  EXPECT_EQ(Run("--info"), 2);
  EXPECT_EQ(Run("'" + Path("in.jpg") + "' '" + Path("out.jpg") + "'"), 2);
  EXPECT_EQ(Run("'" + Path("in.jpg") + "' '" + Path("out.jpg") + "' 1,2,3"), 2);
  EXPECT_EQ(Run("'" + Path("in.jpg") + "' '" + Path("out.jpg") + "' 10x10+a+0"), 2);
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

TEST_F(TarvoTrimTool, DropExifLeavesApp1Out) {
  ASSERT_EQ(Run("--drop-exif '" + Path("in.jpg") + "' '" + Path("a.jpg") + "' 0,0,32,32"), 0);
  std::uint32_t width = 0, height = 0;
  EXPECT_FALSE(ReadExifPixelSize(ReadFile(Path("a.jpg")), width, height));
}

TEST_F(TarvoTrimTool, FailedTrimLeavesNoFileBehind) {
  WriteFile(Path("keep.jpg"), {1, 2, 3});
  EXPECT_EQ(Run("'" + Path("in.jpg") + "' '" + Path("a.jpg") + "' 0,0,32,32 '" + Path("keep.jpg") +
                "' 0,0,101,70"),
            1);
  EXPECT_FALSE(err_.empty());
  EXPECT_TRUE(fs::exists(Path("a.jpg")));
  // The existing file is untouched and no temporary file is left.
  EXPECT_EQ(ReadFile(Path("keep.jpg")), (Bytes{1, 2, 3}));
  EXPECT_EQ(OtherFiles(), 2);
  EXPECT_EQ(Run("'" + Path("in.jpg") + "' '" + Path("nofolder/x.jpg") + "' 0,0,32,32"), 1);
  EXPECT_EQ(OtherFiles(), 2);
}

}  // namespace
}  // namespace tarvo::fixtures
