// tarvo-trim over hundreds of damaged files, each in a process of its own: it exits 0 with
// trims libjpeg-turbo reads cleanly, or 1 (2 for a rectangle the damaged picture is too small
// for) with a message and no output at all. Never a signal, never another code.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "HostileInputSupport.h"
#include "JpegFixtures.h"

extern char** environ;

namespace tarvo::testing {
namespace {

namespace fs = std::filesystem;

// Damages a copy of file in one of six ways, chosen by kind.
Bytes Damaged(const Bytes& file, int kind, std::mt19937& random) {
  const auto anywhere = [&](std::size_t size) { return static_cast<std::size_t>(random() % size); };
  Bytes out = file;
  switch (kind) {
    case 0: {  // cut, half of the time with an EOI after the cut
      out.resize(anywhere(file.size()));
      if (random() % 2 == 0) out.insert(out.end(), {0xFF, 0xD9});
      break;
    }
    case 1: {  // one byte changed, half of the time in the headers
      const std::size_t at = random() % 2 == 0 ? anywhere(ScanStart(file)) : anywhere(file.size());
      out[at] ^= static_cast<std::uint8_t>(1 + random() % 255);
      break;
    }
    case 2: {  // a marker put in anywhere
      static constexpr std::uint8_t kCodes[] = {0xD0, 0xD3, 0xD8, 0xD9, 0xC0, 0xC2,
                                                0xC4, 0xDA, 0xDB, 0xDD, 0xE1, 0xFE};
      const std::uint8_t marker[] = {0xFF, kCodes[random() % std::size(kCodes)]};
      out.insert(out.begin() + static_cast<std::ptrdiff_t>(anywhere(file.size())), marker,
                 marker + 2);
      break;
    }
    case 3: {  // a segment length changed
      const auto segments = HeaderSegments(file);
      std::size_t at = 2;
      const std::size_t pick = anywhere(segments.size());
      for (std::size_t i = 0; i < pick; ++i) at += segments[i].second.size();
      const auto length = static_cast<std::uint16_t>(random());
      out[at + 2] = static_cast<std::uint8_t>(length >> 8);
      out[at + 3] = static_cast<std::uint8_t>(length);
      break;
    }
    case 4: {  // a run of the file copied over another place
      const std::size_t from = anywhere(file.size());
      const std::size_t to = anywhere(file.size());
      const std::size_t count =
          std::min<std::size_t>({1 + random() % 64, file.size() - from, file.size() - to});
      std::copy_n(file.begin() + static_cast<std::ptrdiff_t>(from), count,
                  out.begin() + static_cast<std::ptrdiff_t>(to));
      break;
    }
    default: {  // eight bytes of garbage
      const std::size_t at = anywhere(file.size() - 8);
      for (std::size_t k = 0; k < 8; ++k) out[at + k] = static_cast<std::uint8_t>(random());
      break;
    }
  }
  return out;
}

struct ToolRun {
  bool exited = false;
  int code = 0;  // exit code, or the signal that ended the process
  std::string err;
};

// Runs tarvo-trim without a shell, so that a signal is seen as one.
ToolRun RunTool(const std::vector<std::string>& args, const std::string& errPath) {
  std::vector<char*> argv;
  std::string program = TARVO_TRIM_PATH;
  argv.push_back(program.data());
  std::vector<std::string> copies = args;
  for (std::string& arg : copies) argv.push_back(arg.data());
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, errPath.c_str(),
                                   O_WRONLY | O_CREAT | O_TRUNC, 0644);
  pid_t pid = 0;
  ToolRun run;
  const int spawned = posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (spawned != 0) return run;
  int status = 0;
  waitpid(pid, &status, 0);
  run.exited = WIFEXITED(status);
  run.code = run.exited ? WEXITSTATUS(status) : WTERMSIG(status);
  std::ifstream in(errPath);
  std::stringstream text;
  text << in.rdbuf();
  run.err = text.str();
  return run;
}

TEST(TarvoTrimHostile, ExitsZeroWithCleanTrimsOrOneWithAMessage) {
  const fs::path folder =
      fs::temp_directory_path() / ("tarvo-trim-hostile-" + std::to_string(::getpid()));
  fs::remove_all(folder);
  fs::create_directories(folder);
  std::mt19937 random(1506);
  int trimmed = 0;
  int refused = 0;
  for (const auto& [name, file] : HostileFixtures(false)) {
    for (int i = 0; i < 100; ++i) {
      const std::string label = name + " #" + std::to_string(i);
      const std::string input = (folder / "in.jpg").string();
      const std::string first = (folder / "first.jpg").string();
      const std::string second = (folder / "second.jpg").string();
      fs::remove(first);
      fs::remove(second);
      fixtures::WriteFile(input, Damaged(file, i % 6, random));
      // A corner, then another rectangle from the store the first trim decoded.
      const ToolRun run =
          RunTool({input, first, "0,0,16,16", second, "16,16,40,24"}, (folder / "stderr").string());
      ASSERT_TRUE(run.exited) << label << ": ended by signal " << run.code;
      // 2: damage to the frame header made the picture smaller than a rectangle.
      ASSERT_TRUE(run.code == 0 || run.code == 1 ||
                  (run.code == 2 && run.err.find("does not lie inside") != std::string::npos))
          << label << ": exit code " << run.code;
      if (run.code != 0) {
        ++refused;
        EXPECT_FALSE(run.err.empty()) << label << ": refused without a message";
        // A failed command writes none of its outputs.
        EXPECT_FALSE(fs::exists(first)) << label;
        EXPECT_FALSE(fs::exists(second)) << label;
      } else {
        ++trimmed;
      }
      for (const auto& [path, rect] : {std::pair{first, TTrimRect{0, 0, 16, 16}},
                                       std::pair{second, TTrimRect{16, 16, 40, 24}}}) {
        if (!fs::exists(path)) continue;
        Outcome outcome;
        outcome.trimmed = true;
        outcome.output = fixtures::ReadFile(path);
        outcome.rect = rect;
        ExpectSound(outcome, label + " " + path);
      }
      // Outputs go through temporary files that must not stay behind.
      int files = 0;
      for ([[maybe_unused]] const auto& entry : fs::directory_iterator(folder)) ++files;
      EXPECT_LE(files, 4) << label;
    }
  }
  fs::remove_all(folder);
  RecordProperty("trimmed", trimmed);
  RecordProperty("refused", refused);
  // The damage is varied enough to reach both outcomes often.
  EXPECT_GT(trimmed, 20);
  EXPECT_GT(refused, 100);
}

}  // namespace
}  // namespace tarvo::testing
