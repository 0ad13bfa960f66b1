// The single-instance lock on Linux belongs to the user, whatever the
// environment: a per-user name in the temporary folder, made for the user
// alone, where a file of anybody else's is refused.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <optional>
#include <string>
#include <utility>

#include "platform/linux/files/linux_files.h"
#include "platform/services.h"
#include "service/instance_lock.h"
#include "shared/product.h"
#include "support/hostile_support.h"

namespace {

using linux_platform::LinuxFiles;
using linux_platform::XdgEnvironment;

constexpr const char* kName = "org.example.lock-test";

class UserLockTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char dir[] = "/tmp/qs-lock-XXXXXX";
    ASSERT_NE(::mkdtemp(dir), nullptr);
    root_ = dir;
    // A shared temporary folder as /tmp is: open to all, sticky.
    temp_ = root_ + "/tmp";
    runtime_ = root_ + "/run-user";
    ASSERT_EQ(::mkdir(temp_.c_str(), 01777), 0);
    ASSERT_EQ(::chmod(temp_.c_str(), 01777), 0);
    ASSERT_EQ(::mkdir(runtime_.c_str(), 0700), 0);
    ASSERT_EQ(::chmod(root_.c_str(), 0755), 0);
  }
  void TearDown() override {
    ReleaseSingleInstanceLock();
    platform::InstallServices(platform::Services{});
    std::system(("rm -rf '" + root_ + "'").c_str());
  }

  LinuxFiles Files(std::optional<std::string> runtime) const {
    return LinuxFiles(XdgEnvironment{root_, std::nullopt, std::nullopt, std::move(runtime)}, temp_);
  }
  std::string Fallback(uid_t uid) const {
    return temp_ + "/" + kName + "-" + std::to_string(uid) + ".lock";
  }

  std::string root_, temp_, runtime_;
};

TEST_F(UserLockTest, OneLockPerUserWhateverTheEnvironment) {
  // A login session's runtime folder, none (cron, su, sudo -u), a missing,
  // relative or shared one, or a plain file: always the same lock.
  const mode_t umask_before = ::umask(0);
  std::ofstream(root_ + "/file") << "x";
  const std::string shared = root_ + "/shared";
  ASSERT_EQ(::mkdir(shared.c_str(), 0755), 0);
  platform::LockAttempt held = Files(runtime_).TakeInstanceLock(kName);
  ASSERT_NE(held.lock, nullptr) << held.reason;
  for (const std::optional<std::string>& env :
       {std::optional<std::string>(runtime_), std::optional<std::string>(),
        std::optional<std::string>(root_ + "/missing"), std::optional<std::string>("run-user"),
        std::optional<std::string>(shared), std::optional<std::string>(root_ + "/file")}) {
    EXPECT_EQ(Files(env).InstanceLockPath(kName), Fallback(::geteuid())) << env.value_or("");
    EXPECT_EQ(Files(env).TakeInstanceLock(kName).refusal, platform::LockRefusal::kHeld)
        << env.value_or("");
  }
  // Made for the user alone, umask or not: nobody else can open it to hold
  // it.
  struct stat st {};
  ASSERT_EQ(::stat(Fallback(::geteuid()).c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0600u);
  ::umask(umask_before);
  held.lock.reset();
  EXPECT_NE(Files(std::nullopt).TakeInstanceLock(kName).lock, nullptr);
}

TEST_F(UserLockTest, AnotherUsersInstanceNeitherBlocksNorIsBlocked) {
  if (::geteuid() != 0) GTEST_SKIP() << "needs root to run a second user's instance";
  LinuxFiles files = Files(std::nullopt);
  platform::LockAttempt mine = files.TakeInstanceLock(kName);
  ASSERT_NE(mine.lock, nullptr) << mine.reason;

  // Nobody's instance, while root's runs, takes its own lock, and holds it
  // while root takes its lock again.
  const std::string temp = temp_;
  const int failures = hostile::AsNobody([&temp] {
    LinuxFiles theirs(XdgEnvironment{std::nullopt, std::nullopt, std::nullopt, std::nullopt}, temp);
    const platform::LockAttempt attempt = theirs.TakeInstanceLock(kName);
    return attempt.lock ? 0 : 1;
  });
  EXPECT_EQ(failures, 0);
  struct stat st {};
  ASSERT_EQ(::stat(Fallback(hostile::kNobody).c_str(), &st), 0);
  EXPECT_EQ(st.st_uid, hostile::kNobody);
  EXPECT_EQ(files.TakeInstanceLock(kName).refusal, platform::LockRefusal::kHeld);
}

TEST_F(UserLockTest, AFileAtTheUsersNameOwnedBySomebodyElseIsRefusedWithItsFix) {
  if (::geteuid() != 0) GTEST_SKIP() << "needs root to make a file owned by another user";
  // Planted by another user, open to all so that it would open and lock.
  LinuxFiles files = Files(std::nullopt);
  const std::string planted = files.InstanceLockPath(kAgentLabel);
  ASSERT_EQ(planted, temp_ + "/" + kAgentLabel + "-" + std::to_string(::geteuid()) + ".lock");
  std::ofstream(planted) << "";
  ASSERT_EQ(::chmod(planted.c_str(), 0666), 0);
  ASSERT_EQ(::chown(planted.c_str(), hostile::kNobody, hostile::kNobody), 0);

  platform::Services services;
  services.files = &files;
  platform::InstallServices(services);
  std::string message;
  EXPECT_FALSE(AcquireSingleInstanceLock(&message));
  EXPECT_EQ(gSingleInstanceLockFd, nullptr);
  EXPECT_EQ(message.rfind("Cannot create the program lock file: " + planted +
                              " belongs to another user (uid 65534): ",
                          0),
            0u)
      << message;
  EXPECT_NE(message.find("an administrator can remove it"), std::string::npos) << message;
}

}  // namespace
