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

// What came out of the pipe: the messages' lines and the counts of those
// dropped. The queue can run dry more than once while messages still come
// (the writer keeps up for a moment), so a count may stand between them.
struct Output {
  size_t messages = 0;
  size_t dropped = 0;
  bool well_formed = true;  // every line a message, in order, or a count
  long last = -1;           // the number of the last message shown
};

Output Tally(const std::string& text) {
  Output out;
  size_t start = 0;
  for (size_t end = text.find('\n'); end != std::string::npos;
       start = end + 1, end = text.find('\n', start)) {
    const std::string line = text.substr(start, end + 1 - start);
    if (line.rfind("(", 0) == 0) {
      const size_t count = std::stoul(line.substr(1));
      out.well_formed = out.well_formed && count != 0 && line == posix::DroppedLine(count);
      out.dropped += count;
    } else {
      // Messages keep their order; those dropped leave a gap, told later.
      const std::string head = "Switch (ctrl-ctrl) ";
      const bool message = line.rfind(head, 0) == 0;
      const long number = message ? std::stol(line.substr(head.size())) : -1;
      out.well_formed = out.well_formed && message && number > out.last;
      out.last = number;
      ++out.messages;
    }
  }
  return out;
}

// Reads `fd` until every message is accounted for, shown or dropped, or
// nothing comes for five seconds.
std::string ReadUntilAllTold(int fd) {
  std::string got;
  char buffer[65536];
  for (;;) {
    if (!got.empty() && got.back() == '\n') {
      const Output out = Tally(got);
      if (out.messages + out.dropped >= kMessages) return got;
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
          const std::string got = ReadUntilAllTold(pipe_fds[0]);
          const Output out = Tally(got);
          if (!out.well_formed) failed += 2;
          if (out.dropped == 0 || out.messages + out.dropped != kMessages) failed += 4;
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
