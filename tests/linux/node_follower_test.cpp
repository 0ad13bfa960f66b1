// The input tap never goes deaf without a word: without inotify it reads
// /dev/input every two seconds (and says so once), a lost inotify queue
// makes it read the folder again, and a node that stays closed is reported
// with its fix.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <linux/input-event-codes.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <fstream>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "fake_input.h"
#include "gestures/event_tap.h"
#include "manual_loop.h"
#include "platform/linux/input/evdev_tap.h"
#include "platform/linux/input/input_linux.h"
#include "support/hostile_support.h"

namespace {

using linux_platform::InputOptions;
using linux_platform::LinuxInput;
using linux_test::FakeInput;
using linux_test::FakeKind;
using linux_test::ManualClock;
using linux_test::ManualRunLoop;
using linux_test::ManualWatcher;
using linux_test::Testbed;

constexpr uint64_t kMask = platform::kEventTapMask;

int NoInotify(int) {
  errno = EMFILE;  // as when the per-user limit of instances is reached
  return -1;
}

platform::EventRef Count(platform::TapProxy, uint32_t, platform::EventRef event, void* count) {
  ++*static_cast<int*>(count);
  return event;
}

// A tap over `options.dir` as the tool makes it, with the loop's stand-ins
// and the lines it tells the user.
struct TapBed {
  explicit TapBed(InputOptions options) : input(&watcher, With(std::move(options))) {}
  InputOptions With(InputOptions options) {
    options.run_loop = &loop;
    options.report = [this](const std::string& line) { lines.push_back(line); };
    return options;
  }
  bool Start() {
    tap = input.CreateEventTap(kMask, &Count, &events);
    if (!tap) return false;
    source = tap->CreateRunLoopSource();
    source->AddToRunLoop(platform::RunLoopMode::kCommon);
    tap->Enable(true);
    return true;
  }
  // Lets `ms` pass with the loop serving the descriptors and the timers.
  void Run(uint64_t ms) {
    for (uint64_t t = 0; t < ms; t += 100) {
      watcher.Pump();
      loop.Advance(100);
    }
    watcher.Pump();
  }
  linux_platform::EvdevTap* Tap() { return input.current_tap(); }

  ManualClock clock;
  ManualRunLoop loop{&clock};
  ManualWatcher watcher;
  std::vector<std::string> lines;
  int events = 0;
  LinuxInput input;
  std::unique_ptr<platform::EventTap> tap;
  std::unique_ptr<platform::RunLoopSource> source;
};

class NodeFollowerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!Testbed::InMockEnvironment()) GTEST_SKIP() << "needs umockdev-wrapper";
  }
  Testbed testbed_;
};

TEST_F(NodeFollowerTest, WithoutInotifyTheFolderIsReadEveryTwoSecondsAndThatIsSaidOnce) {
  auto keyboard = std::make_unique<FakeInput>(testbed_, FakeKind::kKeyboard, 3);
  InputOptions options;
  options.inotify_init = &NoInotify;
  TapBed bed(options);
  ASSERT_TRUE(bed.Start());
  ASSERT_EQ(bed.lines.size(), 1u);
  EXPECT_NE(bed.lines[0].find("Cannot watch /dev/input"), std::string::npos) << bed.lines[0];
  EXPECT_NE(bed.lines[0].find("every 2 seconds"), std::string::npos);
  EXPECT_NE(bed.lines[0].find("fs.inotify.max_user_instances"), std::string::npos);
  EXPECT_EQ(bed.Tap()->device_count(), 1u);
  EXPECT_EQ(bed.watcher.live_watches(), 1u);  // the keyboard; no folder watch

  // The keyboard leaves with the switch and comes back under another name.
  keyboard.reset();
  bed.Run(100);
  EXPECT_EQ(bed.Tap()->device_count(), 0u);
  FakeInput back(testbed_, FakeKind::kKeyboard, 6);
  bed.Run(1500);
  EXPECT_FALSE(bed.Tap()->HasDevice("/dev/input/event6"));  // not read yet
  bed.Run(600);
  ASSERT_TRUE(bed.Tap()->HasDevice("/dev/input/event6"));
  back.Key(KEY_LEFTCTRL, true);
  bed.Run(100);
  EXPECT_EQ(bed.events, 1);

  // A second tap of the same run does not say it again.
  bed.source.reset();
  bed.tap.reset();
  ASSERT_TRUE(bed.Start());
  EXPECT_EQ(bed.lines.size(), 1u);
  EXPECT_EQ(bed.Tap()->device_count(), 1u);
}

TEST_F(NodeFollowerTest, InotifyRefusedForWantOfDescriptorsInAChild) {
  // The real inotify_init1, in a child that has no descriptor left.
  const std::string dir = testbed_.Root() + "/dev/input";
  const int status = hostile::InChild([&dir] {
    const int lowest_free = ::dup(0);
    if (lowest_free < 0) return 50;
    ::close(lowest_free);
    const rlimit limit{static_cast<rlim_t>(lowest_free), static_cast<rlim_t>(lowest_free)};
    if (::setrlimit(RLIMIT_NOFILE, &limit) != 0) return 51;
    linux_platform::DirWatch watch(dir);
    int failed = 0;
    if (watch.ok()) failed |= 1;
    if (!watch.init_failed()) failed |= 2;
    if (watch.error() != EMFILE) failed |= 4;
    if (linux_platform::NoWatchLine("/dev/input", watch).find("max_user_instances") ==
        std::string::npos) {
      failed |= 8;
    }
    return failed;
  });
  EXPECT_EQ(status, 0);
}

TEST_F(NodeFollowerTest, AnOverflowedQueueMakesTheTapReadTheFolderAgain) {
  FakeInput mouse(testbed_, FakeKind::kMouse, 4);
  TapBed bed(InputOptions{});
  ASSERT_TRUE(bed.Start());
  ASSERT_TRUE(bed.Tap()->nodes().watching());

  // Fill the queue with changes of two other files (alternating, so the
  // kernel cannot merge them), then plug a keyboard in: its creation is
  // lost, and the queue says it overflowed.
  int queued = 16384;
  std::ifstream("/proc/sys/fs/inotify/max_queued_events") >> queued;
  const std::string dir = testbed_.Root() + "/dev/input/";
  for (const char* name : {"flood-a", "flood-b"}) {
    const int fd = ::open((dir + name).c_str(), O_CREAT | O_WRONLY | O_CLOEXEC, 0644);
    ASSERT_GE(fd, 0);
    ::close(fd);
  }
  for (int i = 0; i <= queued / 2 + 1; ++i) {
    ASSERT_EQ(::chmod((dir + "flood-a").c_str(), (i & 1) != 0 ? 0644 : 0640), 0);
    ASSERT_EQ(::chmod((dir + "flood-b").c_str(), (i & 1) != 0 ? 0644 : 0640), 0);
  }
  FakeInput keyboard(testbed_, FakeKind::kKeyboard, 5);
  bed.Run(0);
  ASSERT_TRUE(bed.Tap()->HasDevice("/dev/input/event5"));
  keyboard.Key(KEY_Q, true);
  bed.Run(0);
  EXPECT_EQ(bed.events, 1);
  EXPECT_TRUE(bed.lines.empty());
}

// As a user outside the input group: nodes only root may read, in a folder
// of its own (no umockdev), seen by a child that dropped to nobody.
class DeniedNodeTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (geteuid() != 0) GTEST_SKIP() << "needs root to drop to another account";
    ASSERT_FALSE(dir_.empty());
    ASSERT_EQ(chmod(dir_.c_str(), 0777), 0);
  }
  // Runs the scenario as nobody, with inotify or without it.
  int Scenario(bool inotify) {
    return hostile::AsNobody([this, inotify] {
      InputOptions options;
      options.dir = dir_;
      if (!inotify) options.inotify_init = &NoInotify;
      TapBed bed(options);
      if (!bed.Start()) return 64;
      const size_t said = bed.lines.size();  // the line about inotify, if any
      int failed = 0;
      // A node udev opens up within the grace is never reported.
      const std::string late = dir_ + "/event1";
      const std::string closed = dir_ + "/event2";
      if (::mknod(late.c_str(), S_IFREG | 0000, 0) != 0) return 65;
      if (::mknod(closed.c_str(), S_IFREG | 0000, 0) != 0) return 66;
      bed.Run(500);
      if (::chmod(late.c_str(), 0644) != 0) return 67;
      bed.Run(1000);
      if (bed.lines.size() != said) failed |= 1;
      bed.Run(4000);
      // The one that stays closed: one line, naming it and the group.
      if (bed.lines.size() != said + 1) return failed | 2;
      if (bed.lines.back() != linux_platform::DeniedNodeLine(closed, EACCES)) failed |= 4;
      if (bed.lines.back().find("input group") == std::string::npos) failed |= 8;
      bed.Run(20000);
      if (bed.lines.size() != said + 1) failed |= 16;
      // With inotify, nothing is polled once it was told.
      if (inotify && bed.loop.live_timers() != 0) failed |= 32;
      return failed;
    });
  }
  hostile::TempFolder made_{"qs-nodes"};
  const std::string dir_ = made_.path();
};

TEST_F(DeniedNodeTest, ANodeThatStaysClosedIsReportedOnceWithTheGroup) {
  EXPECT_EQ(Scenario(true), 0);
}

TEST_F(DeniedNodeTest, WithoutInotifyTooANodeThatStaysClosedIsReportedOnce) {
  EXPECT_EQ(Scenario(false), 0);
}

TEST_F(DeniedNodeTest, RunningOutOfDescriptorsIsReportedAndTheNodeTriedUntilItOpens) {
  const int status = hostile::InChild([this] {
    InputOptions options;
    options.dir = dir_;
    TapBed bed(options);
    if (!bed.Start()) return 64;
    rlimit saved{};
    if (::getrlimit(RLIMIT_NOFILE, &saved) != 0) return 65;
    const int lowest_free = ::dup(0);
    if (lowest_free < 0) return 66;
    ::close(lowest_free);
    // No descriptor left when the node appears (mknod needs none).
    const rlimit none{static_cast<rlim_t>(lowest_free), saved.rlim_max};
    if (::setrlimit(RLIMIT_NOFILE, &none) != 0) return 67;
    const std::string node = dir_ + "/event3";
    if (::mknod(node.c_str(), S_IFREG | 0644, 0) != 0) return 68;
    bed.Run(4500);  // two retries, both failing
    int failed = 0;
    if (bed.lines.size() != 1) return 69;
    if (bed.lines[0] != linux_platform::NoDescriptorLine(node, EMFILE)) failed |= 1;
    if (bed.lines[0].find("ulimit -n") == std::string::npos) failed |= 2;
    if (bed.Tap()->nodes().waiting() != 1) failed |= 4;
    bed.Run(10000);
    if (bed.lines.size() != 1) failed |= 8;  // said once, still tried
    // Descriptors again: it opens at the next try, and the retries stop.
    if (::setrlimit(RLIMIT_NOFILE, &saved) != 0) return 70;
    bed.Run(2100);
    if (bed.Tap()->nodes().waiting() != 0) failed |= 16;
    if (bed.loop.live_timers() != 0) failed |= 32;
    return failed;
  });
  EXPECT_EQ(status, 0);
}

}  // namespace
