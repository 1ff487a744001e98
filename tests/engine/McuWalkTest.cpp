// The one MCU walk behind reading and writing scans: block order and where restarts fall.
#include "McuWalk.h"

#include <gtest/gtest.h>

#include <string>

namespace tarvo {
namespace {

// Each block as "c:row,col", each restart as "|", each row as "/".
std::string Trace(const TMcuLayout& layout) {
  std::string trace;
  WalkMcus(
      layout, [&](int) { trace += "/"; },
      [&](int c, std::size_t row, std::size_t col) {
        trace += std::to_string(c) + ":" + std::to_string(row) + "," + std::to_string(col) + " ";
        return true;
      },
      [&] {
        trace += "| ";
        return true;
      });
  return trace;
}

TEST(McuWalk, BlocksInCodingOrderAndRestartsBetweenIntervalsOnly) {
  TMcuLayout twoByOne;  // a 2x1 component and a 1x1 one, MCUs 1..2 of rows 1..2
  twoByOne.Components[0] = {0, 2, 1};
  twoByOne.Components[1] = {1, 1, 1};
  twoByOne.Count = 2;
  twoByOne.FirstCol = 1;
  twoByOne.EndCol = 3;
  twoByOne.FirstRow = 1;
  twoByOne.EndRow = 3;
  TMcuLayout oneBlock;  // a scan of one component: MCUs of one block, 3 x 1
  oneBlock.Count = 1;
  oneBlock.EndCol = 3;
  oneBlock.EndRow = 1;
  struct TCase {
    TMcuLayout layout;
    int interval;
    std::string trace;
  };
  const TCase cases[] = {
      {twoByOne, 0, "/0:1,2 0:1,3 1:1,1 0:1,4 0:1,5 1:1,2 /0:2,2 0:2,3 1:2,1 0:2,4 0:2,5 1:2,2 "},
      // An interval that divides the MCU count: no restart after the last MCU.
      {twoByOne, 2, "/0:1,2 0:1,3 1:1,1 0:1,4 0:1,5 1:1,2 | /0:2,2 0:2,3 1:2,1 0:2,4 0:2,5 1:2,2 "},
      {oneBlock, 1, "/0:0,0 | 0:0,1 | 0:0,2 "},
      {oneBlock, 2, "/0:0,0 0:0,1 | 0:0,2 "},
  };
  for (TCase c : cases) {
    c.layout.RestartInterval = c.interval;
    EXPECT_EQ(Trace(c.layout), c.trace) << c.interval;
  }
}

}  // namespace
}  // namespace tarvo
