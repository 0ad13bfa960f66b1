// The switch lock as a file, for a hub without a device node to lock (the
// macOS build uses it; the code is plain POSIX, so it is proven here).
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "platform/posix/switch_lock.h"
#include "support/hostile_support.h"

namespace {

class SwitchLockFileTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_FALSE(folder_.empty()); }
  hostile::TempFolder made_{"qs-switch-lock"};
  const std::string folder_ = made_.path();
  const std::string path_ = folder_ + "/hub.lock";
};

TEST_F(SwitchLockFileTest, OneHolderAtATimeAndReadableByEveryUser) {
  const mode_t umask_before = ::umask(077);
  auto first = posix::LockSwitchFile(path_);
  ::umask(umask_before);
  ASSERT_NE(first.lock, nullptr);
  EXPECT_FALSE(first.busy);
  struct stat info {};
  ASSERT_EQ(::stat(path_.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 07777, 0644u);

  // flock belongs to the open file, so a second open in this process stands
  // for another process.
  auto second = posix::LockSwitchFile(path_);
  EXPECT_TRUE(second.busy);
  EXPECT_EQ(second.lock, nullptr);

  first.lock.reset();
  auto third = posix::LockSwitchFile(path_);
  EXPECT_NE(third.lock, nullptr);
  EXPECT_FALSE(third.busy);
}

TEST_F(SwitchLockFileTest, WhatIsNotAPlainFileGivesNeitherLockNorBusy) {
  const std::string target = folder_ + "/target";
  struct Case {
    const char* what;
    void (*make)(const std::string& path, const std::string& target);
  };
  const Case cases[] = {
      {"a symbolic link",
       [](const std::string& path, const std::string& to) {
         ASSERT_EQ(::symlink(to.c_str(), path.c_str()), 0);
       }},
      {"a folder", [](const std::string& path,
                      const std::string&) { ASSERT_EQ(::mkdir(path.c_str(), 0755), 0); }},
  };
  for (const Case& c : cases) {
    std::filesystem::remove_all(path_);
    c.make(path_, target);
    const auto attempt = posix::LockSwitchFile(path_);
    EXPECT_EQ(attempt.lock, nullptr) << c.what;
    EXPECT_FALSE(attempt.busy) << c.what;
    // Never created through the link.
    EXPECT_FALSE(std::filesystem::exists(target)) << c.what;
  }
}

}  // namespace
