// Refusals for want of permission, seen by an unprivileged process: the
// test forks a child that drops to the nobody account, so that root's
// override of file permissions does not hide the refusal.
#include <fcntl.h>
#include <grp.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <functional>
#include <string>

#include "gestures/event_tap.h"
#include "manual_loop.h"
#include "platform/linux/input/input_access.h"
#include "platform/linux/input/input_linux.h"

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
    if (input.RefusedTapFix().find("sudo usermod -aG input") == std::string::npos) ++failed;
    // Linux words only: no event tap, no macOS permission or settings pane.
    for (const std::string& words :
         {input.RefusedTapLine(), input.RefusedTapAlert(), input.RefusedTapFix()}) {
      if (words.empty()) ++failed;
      if (words.find("event tap") != std::string::npos) ++failed;
      if (words.find("Accessibility") != std::string::npos) ++failed;
      if (words.find("System Settings") != std::string::npos) ++failed;
    }
    return failed;
  });
  EXPECT_EQ(failures, 0);
}

TEST_F(PermissionTest, GroupStandingFromTheProcessAndTheGroupDatabase) {
  using linux_platform::InputGroupStanding;
  // Nobody's own group stands in for the input group: its primary group in
  // the database, so a process without it has joined but not logged in.
  const struct group* own = getgrgid(kNobody);
  if (own == nullptr) GTEST_SKIP() << "no group 65534";
  const std::string name = own->gr_name;
  struct Case {
    gid_t gid;
    const char* group;
    InputGroupStanding expected;
  };
  for (const Case& c : {Case{kNobody, name.c_str(), InputGroupStanding::kInGroup},
                        Case{1, name.c_str(), InputGroupStanding::kJoinedNotActive},
                        Case{1, "root", InputGroupStanding::kNotMember}}) {
    const pid_t pid = fork();
    if (pid == 0) {
      if (setgroups(0, nullptr) != 0 || setgid(c.gid) != 0 || setuid(kNobody) != 0) _exit(100);
      _exit(linux_platform::InputGroupStandingNow(c.group) == c.expected ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << c.group << " gid " << c.gid;
  }
  // Only one who is not a member is told to join.
  EXPECT_NE(linux_platform::InputAccessAdvice(InputGroupStanding::kNotMember).find("usermod"),
            std::string::npos);
  for (InputGroupStanding member :
       {InputGroupStanding::kInGroup, InputGroupStanding::kJoinedNotActive}) {
    EXPECT_EQ(linux_platform::InputAccessAdvice(member).find("usermod"), std::string::npos);
  }
}

TEST_F(PermissionTest, AMemberOfTheInputGroupIsNotToldToJoinIt) {
  const struct group* input_group = getgrnam("input");
  if (input_group == nullptr) GTEST_SKIP() << "no input group on this system";
  const gid_t input_gid = input_group->gr_gid;
  const std::string node = dir_ + "/event0";
  const int fd = open(node.c_str(), O_CREAT | O_WRONLY, 0600);
  ASSERT_GE(fd, 0);
  close(fd);
  // Nobody with the input group among its groups, as a member's session
  // has it; the node still refuses (root's, mode 0600).
  const pid_t pid = fork();
  if (pid == 0) {
    if (setgroups(1, &input_gid) != 0 || setgid(kNobody) != 0 || setuid(kNobody) != 0) _exit(100);
    linux_test::ManualWatcher watcher;
    linux_platform::LinuxInput input(&watcher, dir_);
    int failed = 0;
    if (input.CreateEventTap(platform::kEventTapMask, nullptr, nullptr) != nullptr) ++failed;
    const std::string fix = input.RefusedTapFix();
    if (fix.find("usermod") != std::string::npos) ++failed;
    if (fix.find("you are in the input group") == std::string::npos) ++failed;
    std::string detail;
    std::string check_fix;
    if (input.CheckInputAccess(&detail, &check_fix)) ++failed;
    if (detail.find("; in the input group") == std::string::npos) ++failed;
    if (check_fix != fix) ++failed;
    _exit(failed);
  }
  int status = 0;
  ASSERT_EQ(waitpid(pid, &status, 0), pid);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
}

TEST_F(PermissionTest, AFolderWithoutDevicesIsNoRefusal) {
  const int failures = AsNobody([this] {
    linux_test::ManualWatcher watcher;
    linux_platform::LinuxInput input(&watcher, dir_);
    return input.CreateEventTap(platform::kEventTapMask, nullptr, nullptr) != nullptr ? 0 : 1;
  });
  EXPECT_EQ(failures, 0);
}

}  // namespace
