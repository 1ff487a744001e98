// jpegtran as the oracle of lossless transforms: runs it on bytes, and compares its output with
// ours block for block and pixel for pixel.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <stdexcept>
#include <string>

#include "JpegFixtures.h"

namespace tarvo::testing {

class JpegtranRunner {
 public:
  JpegtranRunner()
      : folder_(std::filesystem::temp_directory_path() /
                ("tarvo-jpegtran-" + std::to_string(getpid()))) {
    std::filesystem::create_directories(folder_);
  }
  ~JpegtranRunner() { std::filesystem::remove_all(folder_); }
  JpegtranRunner(const JpegtranRunner&) = delete;
  JpegtranRunner& operator=(const JpegtranRunner&) = delete;

  // jpegtran with options (one transform, as it takes them) run on jpeg.
  fixtures::Bytes Run(const fixtures::Bytes& jpeg, const std::string& options) {
    const std::string in = (folder_ / "in.jpg").string();
    const std::string out = (folder_ / "out.jpg").string();
    fixtures::WriteFile(in, jpeg);
    const std::string command = "jpegtran " + options + " -outfile " + out + " " + in;
    if (std::system(command.c_str()) != 0) throw std::runtime_error(command);
    return fixtures::ReadFile(out);
  }

 private:
  std::filesystem::path folder_;
};

// Compares every block libjpeg reads inside the picture, and the decoded pixels.
inline void ExpectSameJpeg(const fixtures::Bytes& ours, const fixtures::Bytes& reference) {
  const fixtures::Coefficients a = fixtures::ReadCoefficients(ours);
  const fixtures::Coefficients b = fixtures::ReadCoefficients(reference);
  ASSERT_EQ(a.width, b.width);
  ASSERT_EQ(a.height, b.height);
  ASSERT_EQ(a.components.size(), b.components.size());
  for (std::size_t c = 0; c < a.components.size(); ++c) {
    const auto& x = a.components[c];
    const auto& y = b.components[c];
    ASSERT_EQ(x.h, y.h) << "component " << c;
    ASSERT_EQ(x.v, y.v) << "component " << c;
    const int rows = (a.height * x.v / a.maxV + 7) / 8;
    const int cols = (a.width * x.h / a.maxH + 7) / 8;
    for (int r = 0; r < rows; ++r) {
      for (int col = 0; col < cols; ++col) {
        ASSERT_TRUE(std::equal(x.Block(r, col), x.Block(r, col) + 64, y.Block(r, col)))
            << "component " << c << " block " << r << "," << col;
      }
    }
  }
  EXPECT_EQ(fixtures::Decode(ours).samples, fixtures::Decode(reference).samples);
}

}  // namespace tarvo::testing
