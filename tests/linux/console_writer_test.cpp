// The resident tool's console never holds up the gestures: with standard
// output on a pipe nobody reads, every message returns at once, what does
// not fit is counted, and the count follows the rest once output flows. The
// pipe's own flags are never touched.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <unistd.h>

#include <string>

#include "output/show_msg.h"
#include "platform/posix/console_writer.h"
#include "support/hostile_support.h"

namespace {

constexpr int kMessages = 2000;

// Reads `fd` until `last_line_start` has arrived on a line of its own, or
// nothing comes for five seconds.
std::string ReadUntilLine(int fd, const std::string& last_line_start) {
  std::string got;
  char buffer[65536];
  for (;;) {
    const size_t line = got.rfind("\n(");
    if (line != std::string::npos &&
        got.compare(line + 1, last_line_start.size(), last_line_start) == 0 && got.back() == '\n') {
      return got;
    }
    pollfd p{fd, POLLIN, 0};
    if (::poll(&p, 1, 5000) <= 0) return got;
    const ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n <= 0) return got;
    got.append(buffer, static_cast<size_t>(n));
  }
}

TEST(ConsoleWriterTest, APipeNobodyReadsNeverHoldsUpMessagesAndLearnsWhatWasDropped) {
  // In a child, so that a message that blocks shows as a failure (the guard
  // ends it) rather than a stuck test.
  const int failures = hostile::InChild(
      [] {
        int pipe_fds[2];
        if (::pipe(pipe_fds) != 0) return 100;
        const int flags = ::fcntl(pipe_fds[1], F_GETFL);
        int failed = 0;
        {
          posix::ConsoleWriter writer(pipe_fds[1]);
          SetConsoleSink(&posix::ConsoleWriter::WriteToCurrent);
          gConsoleMode = true;
          const std::string padding(180, '.');
          // Far more than the pipe holds (64 KiB) and the queue together.
          for (int i = 0; i < kMessages; ++i)
            showMsg("Switch (ctrl-ctrl) %d %s\n", i, padding.c_str());
          if (::fcntl(pipe_fds[1], F_GETFL) != flags) ++failed;

          // Output flows again: what was queued, then the count of the rest.
          const std::string got = ReadUntilLine(pipe_fds[0], "(");
          size_t lines = 0;
          for (char c : got) lines += c == '\n' ? 1 : 0;
          const size_t report = got.rfind("\n(") + 1;
          const size_t dropped = std::stoul(got.substr(report + 1));
          if (got.compare(report, std::string::npos, posix::DroppedLine(dropped)) != 0) failed += 2;
          if (dropped == 0 || lines - 1 + dropped != kMessages) failed += 4;
          // In order, from the first message on.
          if (got.rfind("Switch (ctrl-ctrl) 0 ", 0) != 0) failed += 8;
          SetConsoleSink(nullptr);
        }
        return failed;
      },
      20);
  EXPECT_EQ(failures, 0);
}

}  // namespace
