// Refusals for want of permission, seen by an unprivileged process: the
// test forks a child that drops to the nobody account, so that root's
// override of file permissions does not hide the refusal.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <functional>
#include <string>

#include "fake_hub.h"
#include "gestures/event_tap.h"
#include "manual_loop.h"
#include "platform/linux/input_linux.h"
#include "platform/linux/usb_linux.h"

namespace {

constexpr uid_t kNobody = 65534;

// Runs `check` as nobody in a child process; its exit status is the
// number of failed expectations (0 = all held), 100 when the drop failed.
int AsNobody(const std::function<int()>& check) {
  const pid_t pid = fork();
  if (pid == 0) {
    if (setgid(kNobody) != 0 || setuid(kNobody) != 0) _exit(100);
    _exit(check());
  }
  int status = 0;
  if (waitpid(pid, &status, 0) != pid || !WIFEXITED(status)) return -1;
  return WEXITSTATUS(status);
}

class PermissionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (geteuid() != 0) GTEST_SKIP() << "needs root to drop to another account";
    char dir[] = "/tmp/qs-input-XXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    dir_ = dir;
    ASSERT_EQ(chmod(dir_.c_str(), 0755), 0);
  }
  void TearDown() override {
    if (!dir_.empty()) std::system(("rm -rf '" + dir_ + "'").c_str());
  }
  std::string dir_;
};

TEST_F(PermissionTest, UnreadableInputDevicesRefuseTheTapWithTheGroupFix) {
  // A device node only root may read, as /dev/input is for users outside
  // the input group.
  const std::string node = dir_ + "/event0";
  const int fd = open(node.c_str(), O_CREAT | O_WRONLY, 0600);
  ASSERT_GE(fd, 0);
  close(fd);
  const int failures = AsNobody([this] {
    linux_test::ManualWatcher watcher;
    linux_platform::LinuxInput input(&watcher, dir_);
    int failed = 0;
    if (input.CreateEventTap(platform::kEventTapMask, nullptr, nullptr) != nullptr) ++failed;
    if (input.RefusedTapFix().find("input group") == std::string::npos) ++failed;
    // Linux words only: no macOS permission or settings pane is named.
    for (const std::string& words :
         {input.RefusedTapLine(), input.RefusedTapAlert(), input.RefusedTapFix()}) {
      if (words.find("Cannot create event tap") == std::string::npos &&
          words != input.RefusedTapFix()) {
        ++failed;
      }
      if (words.find("Accessibility") != std::string::npos) ++failed;
      if (words.find("System Settings") != std::string::npos) ++failed;
    }
    return failed;
  });
  EXPECT_EQ(failures, 0);
}

TEST_F(PermissionTest, AFolderWithoutDevicesIsNoRefusal) {
  const int failures = AsNobody([this] {
    linux_test::ManualWatcher watcher;
    linux_platform::LinuxInput input(&watcher, dir_);
    return input.CreateEventTap(platform::kEventTapMask, nullptr, nullptr) != nullptr ? 0 : 1;
  });
  EXPECT_EQ(failures, 0);
}

TEST_F(PermissionTest, HubRefusedToOpenNamesTheUdevRule) {
  if (!linux_test::Testbed::InMockEnvironment()) GTEST_SKIP() << "needs umockdev-wrapper";
  linux_test::Testbed testbed;
  linux_test::FakeHub hub(testbed);
  ASSERT_TRUE(hub.plugged());
  // The test bed is open to all (its sockets stand in for the kernel's);
  // only the device node is kept to root, as it is without the udev rule.
  ASSERT_EQ(std::system(("chmod -R a+rwX '" + testbed.Root() + "'").c_str()), 0);
  const std::string node = testbed.Root() + "/dev/bus/usb/001/002";
  ASSERT_EQ(chmod(node.c_str(), 0600), 0);
  const int failures = AsNobody([] {
    linux_platform::LinuxUsb usb;
    platform::UsbFindResult found = usb.FindDevice(0x2109, 0x8822);
    // A lookup that fails is reported apart (10 + its outcome).
    if (found.outcome != platform::UsbFindOutcome::kFound)
      return 10 + static_cast<int>(found.outcome);
    platform::UsbFailure refused;
    int failed = 0;
    if (found.device->Open(&refused)) ++failed;
    if (refused.line != "USBDeviceOpen failed") ++failed;
    if (refused.fix != linux_platform::UsbAccessFix()) ++failed;
    return failed;
  });
  EXPECT_EQ(failures, 0);
}

}  // namespace
