// The lock file that every account of a machine shares (macOS): another
// account's file still locks, and this account's file stays open to others.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>

#include "platform/posix/posix_lock.h"
#include "support/hostile_support.h"

namespace {

class SharedLockTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(dir_.empty());
    ASSERT_EQ(::chmod(dir_.c_str(), 0755), 0);  // another account may look in
  }
  unsigned Mode() const {
    struct stat st {};
    return ::stat(path_.c_str(), &st) == 0 ? st.st_mode & 07777 : 0;
  }
  hostile::TempFolder made_{"qs-shared-lock"};
  const std::string dir_ = made_.path();
  const std::string path_ = dir_ + "/org.example.tool.lock";
};

// The file this account cannot write: made by another account (as root, a
// child becomes one), or, without root, this account's own made read-only.
// It locks, and a second taker finds it held.
TEST_F(SharedLockTest, AFileThisAccountCannotWriteStillLocks) {
  platform::LockAttempt first = posix::TakeLockSharedByAccounts(path_);
  ASSERT_NE(first.lock, nullptr) << first.reason;
  first.lock.reset();
  if (::geteuid() != 0) {
    ASSERT_EQ(::chmod(path_.c_str(), 0444), 0);
    platform::LockAttempt mine = posix::TakeLockSharedByAccounts(path_);
    ASSERT_NE(mine.lock, nullptr) << mine.reason;
    EXPECT_EQ(posix::TakeLockSharedByAccounts(path_).refusal, platform::LockRefusal::kHeld);
    return;
  }
  // 0: taken; 1: refused as held; 2: refused otherwise.
  const auto other_account_takes = [this] {
    const pid_t child = ::fork();
    if (child == 0) {
      if (::setgid(65534) != 0 || ::setuid(65534) != 0) ::_exit(3);
      const platform::LockAttempt a = posix::TakeLockSharedByAccounts(path_);
      ::_exit(a.lock ? 0 : a.refusal == platform::LockRefusal::kHeld ? 1 : 2);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  };
  EXPECT_EQ(other_account_takes(), 0);
  platform::LockAttempt held = posix::TakeLockSharedByAccounts(path_);
  ASSERT_NE(held.lock, nullptr);
  EXPECT_EQ(other_account_takes(), 1);
}

TEST_F(SharedLockTest, TheFileIsMadeReadableToAllWhateverTheUmask) {
  const mode_t old = ::umask(077);
  platform::LockAttempt taken = posix::TakeLockSharedByAccounts(path_);
  ::umask(old);
  ASSERT_NE(taken.lock, nullptr) << taken.reason;
  EXPECT_EQ(Mode(), 0644u);
  // One left 0600 by an earlier run of this account is opened up again.
  taken.lock.reset();
  ASSERT_EQ(::chmod(path_.c_str(), 0600), 0);
  EXPECT_NE(posix::TakeLockSharedByAccounts(path_).lock, nullptr);
  EXPECT_EQ(Mode(), 0644u);
}

TEST_F(SharedLockTest, ALinkAtThePathIsRefusedAsForTheOtherLock) {
  ASSERT_EQ(::symlink((dir_ + "/elsewhere").c_str(), path_.c_str()), 0);
  const platform::LockAttempt a = posix::TakeLockSharedByAccounts(path_);
  EXPECT_EQ(a.lock, nullptr);
  EXPECT_EQ(a.refusal, platform::LockRefusal::kCannotOpen);
  EXPECT_NE(::access((dir_ + "/elsewhere").c_str(), F_OK), 0);
}

}  // namespace
