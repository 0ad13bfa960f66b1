// The shared POSIX file helpers and the single-instance lock between two
// processes, on real files in a sandbox.
#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/posix/posix_files.h"
#include "platform/posix/posix_lock.h"
#include "platform/sim/sim_world.h"

namespace {

namespace fs = std::filesystem;

class SimFilesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    world_ = sim::World::Create(sim::Config{});
    ASSERT_NE(world_, nullptr);
    root_ = world_->FilesControl().Home();
  }
  static std::string Slurp(const std::string& path) {
    auto r = posix::ReadWholeFile(path);
    return r.ok() ? r.value() : "<" + r.description() + ">";
  }
  static size_t EntriesIn(const std::string& dir) {
    size_t n = 0;
    for ([[maybe_unused]] const auto& e : fs::directory_iterator(dir)) ++n;
    return n;
  }

  // Temporary files are hidden (dot) files beside their target.
  static size_t HiddenIn(const std::string& dir) {
    size_t n = 0;
    for (const auto& e : fs::directory_iterator(dir)) n += e.path().filename().string()[0] == '.';
    return n;
  }

  std::unique_ptr<sim::World> world_;
  std::string root_;
};

TEST_F(SimFilesTest, CreateDirectoriesMakesParentsAndAcceptsAnExistingFolder) {
  const std::string deep = root_ + "/a/b c/d";
  EXPECT_TRUE(posix::CreateDirectories(deep).ok());
  EXPECT_TRUE(fs::is_directory(deep));
  EXPECT_TRUE(posix::CreateDirectories(deep).ok());
  EXPECT_TRUE(posix::CreateDirectories(deep + "/").ok());

  ASSERT_TRUE(posix::WriteFileAtomically(root_ + "/plain", "x").ok());
  const platform::Status blocked = posix::CreateDirectories(root_ + "/plain/sub");
  ASSERT_FALSE(blocked.ok());
  EXPECT_NE(blocked.description().find("Not a directory"), std::string::npos)
      << blocked.description();
  EXPECT_NE(blocked.description().find(root_ + "/plain"), std::string::npos);
  EXPECT_FALSE(posix::CreateDirectories("").ok());
}

TEST_F(SimFilesTest, AtomicWriteReplacesTheFileWholly) {
  const std::string path = root_ + "/agent.plist";
  ASSERT_TRUE(posix::WriteFileAtomically(path, "old contents").ok());
  ASSERT_TRUE(posix::WriteFileAtomically(path, "new").ok());
  EXPECT_EQ(Slurp(path), "new");
  EXPECT_EQ(HiddenIn(root_), 0u) << "no temporary file may be left behind";
  struct stat st {};
  ASSERT_EQ(::stat(path.c_str(), &st), 0);
  const mode_t mask = ::umask(0);
  ::umask(mask);
  EXPECT_EQ(st.st_mode & 0777, 0666u & ~mask);
}

TEST_F(SimFilesTest, AtomicWriteFailingMidWayKeepsTheOldFileAndLeavesNoTemporary) {
  const std::string dir = root_ + "/w";
  const std::string path = dir + "/agent.plist";
  ASSERT_TRUE(posix::CreateDirectories(dir).ok());
  ASSERT_TRUE(posix::WriteFileAtomically(path, "previous").ok());
  // In a child, so the file-size limit touches nothing else: the write of
  // the temporary file fails with EFBIG after it was created.
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    ::signal(SIGXFSZ, SIG_IGN);
    rlimit limit{16, 16};
    ::setrlimit(RLIMIT_FSIZE, &limit);
    const platform::Status s = posix::WriteFileAtomically(path, std::string(4096, 'n'));
    ::_exit(!s.ok() && s.description().find("File too large") != std::string::npos ? 0 : 1);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0) << "the write should have failed with EFBIG";
  EXPECT_EQ(Slurp(path), "previous");
  EXPECT_EQ(EntriesIn(dir), 1u);
}

TEST_F(SimFilesTest, AtomicWriteIntoAMissingFolderOrOverAFolderFails) {
  EXPECT_FALSE(posix::WriteFileAtomically(root_ + "/none/x.plist", "x").ok());
  ASSERT_TRUE(posix::CreateDirectories(root_ + "/d/inner").ok());
  const platform::Status s = posix::WriteFileAtomically(root_ + "/d", "x");
  EXPECT_FALSE(s.ok());
  EXPECT_TRUE(fs::is_directory(root_ + "/d/inner"));
  EXPECT_EQ(EntriesIn(root_ + "/d"), 1u);
}

TEST_F(SimFilesTest, ExecutableTestNeedsARegularFileWithExecuteRight) {
  const std::string exe = world_->FilesControl().ExecutablePathValue();
  EXPECT_TRUE(posix::IsExecutableFile(exe));
  world_->FilesControl().SetExecutable(sim::SimFiles::Exe::kNotExecutable);
  EXPECT_FALSE(posix::IsExecutableFile(exe));
  EXPECT_EQ(world_->Services().files->ExecutablePath(), exe);
  EXPECT_TRUE(posix::SetPermissions(exe, 0700));
  EXPECT_TRUE(posix::IsExecutableFile(exe));
  EXPECT_FALSE(posix::IsExecutableFile(root_ + "/tmp"));
  EXPECT_FALSE(posix::IsExecutableFile(root_ + "/missing"));
  EXPECT_FALSE(posix::IsExecutableFile(""));
  EXPECT_FALSE(posix::SetPermissions(root_ + "/missing", 0644));

  world_->FilesControl().SetExecutable(sim::SimFiles::Exe::kEmpty);
  EXPECT_EQ(world_->Services().files->ExecutablePath(), std::string());
  world_->FilesControl().SetExecutable(sim::SimFiles::Exe::kNone);
  EXPECT_EQ(world_->Services().files->ExecutablePath(), std::nullopt);
}

TEST_F(SimFilesTest, SandboxLayoutAndApplicationSupportSwitch) {
  platform::Files& files = *world_->Services().files;
  EXPECT_EQ(files.HomeDirectory(), root_);
  EXPECT_EQ(files.AgentDirectory(), root_ + "/Library/LaunchAgents");
  EXPECT_EQ(files.InstanceLockPath("x"), root_ + "/tmp/x.lock");
  EXPECT_TRUE(fs::is_directory(root_ + "/tmp"));
  EXPECT_EQ(files.ApplicationSupportDirectory(), root_ + "/Library/Application Support");
  world_->FilesControl().SetApplicationSupport(false);
  EXPECT_EQ(files.ApplicationSupportDirectory(), std::nullopt);
}

TEST(SimSandbox, TemporaryHomeIsRemovedAGivenOneIsKept) {
  std::string temp;
  {
    auto world = sim::World::Create(sim::Config{});
    ASSERT_NE(world, nullptr);
    temp = world->FilesControl().Home();
    EXPECT_TRUE(fs::is_directory(temp));
  }
  EXPECT_FALSE(fs::exists(temp));

  const std::string given = temp + "-kept/home";
  {
    sim::Config config;
    config.home = given;
    auto world = sim::World::Create(config);
    ASSERT_NE(world, nullptr);
    EXPECT_EQ(world->FilesControl().Home(), given);
  }
  EXPECT_TRUE(fs::is_directory(given + "/tmp"));
  fs::remove_all(temp + "-kept");
}

TEST_F(SimFilesTest, LockIsExclusiveBetweenTwoProcessesAndDropsWithTheHolder) {
  const std::string path = root_ + "/tmp/x.lock";
  ASSERT_TRUE(posix::WriteFileAtomically(path, "contents stay").ok());
  platform::LockAttempt mine = posix::TakeLockAt(path);
  ASSERT_NE(mine.lock, nullptr) << mine.reason;

  // The child reports through its status what its own attempt gave.
  auto child_attempt = [&] {
    const pid_t child = ::fork();
    if (child == 0) {
      // The parent's handle is no lock of the child's: set aside, not
      // destroyed.
      (void)mine.lock.release();
      const platform::LockAttempt r = posix::TakeLockAt(path);
      if (r.lock) ::_exit(0);
      ::_exit(r.refusal == platform::LockRefusal::kHeld ? 1 : 2);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  };
  EXPECT_EQ(child_attempt(), 1) << "held elsewhere";
  EXPECT_NE(mine.lock, nullptr);
  mine.lock.reset();
  EXPECT_EQ(child_attempt(), 0) << "released: the other process gets it";
  // The child ended holding it; the lock went with it.
  EXPECT_NE(posix::TakeLockAt(path).lock, nullptr);
  EXPECT_EQ(Slurp(path), "contents stay") << "the lock file is never truncated";
}

TEST_F(SimFilesTest, NewLockFileHasMode0644AndMissingFolderGivesTheSystemsText) {
  const std::string path = root_ + "/tmp/new.lock";
  const mode_t old_mask = ::umask(022);
  const platform::LockAttempt made = posix::TakeLockAt(path);
  ::umask(old_mask);
  ASSERT_NE(made.lock, nullptr) << made.reason;
  struct stat st {};
  ASSERT_EQ(::stat(path.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0644u);
  const platform::LockAttempt missing = posix::TakeLockAt(root_ + "/nowhere/x.lock");
  EXPECT_EQ(missing.lock, nullptr);
  EXPECT_EQ(missing.refusal, platform::LockRefusal::kCannotOpen);
  EXPECT_EQ(missing.reason, std::strerror(ENOENT));
}

TEST_F(SimFilesTest, SimLockIsRecordedAndCanBeRefusedOrHeldElsewhere) {
  platform::Files& files = *world_->Services().files;
  const std::string path = files.InstanceLockPath("tool");

  world_->FilesControl().SetLockUnopenable(true);
  const platform::LockAttempt refused = files.TakeInstanceLock("tool");
  EXPECT_EQ(refused.lock, nullptr);
  EXPECT_EQ(refused.refusal, platform::LockRefusal::kCannotOpen);
  EXPECT_EQ(refused.reason, std::strerror(EACCES));
  EXPECT_TRUE(fs::exists(path)) << "the file is there, only not ours to open";
  world_->FilesControl().SetLockUnopenable(false);

  ASSERT_TRUE(world_->FilesControl().HoldLockElsewhere(path, true));
  const platform::LockAttempt held = files.TakeInstanceLock("tool");
  EXPECT_EQ(held.lock, nullptr);
  EXPECT_EQ(held.refusal, platform::LockRefusal::kHeld);
  ASSERT_TRUE(world_->FilesControl().HoldLockElsewhere(path, false));

  platform::LockAttempt taken = files.TakeInstanceLock("tool");
  ASSERT_NE(taken.lock, nullptr);
  taken.lock.reset();
  std::vector<std::string> texts;
  for (const auto& o : world_->Observations()) texts.push_back(o.text);
  EXPECT_EQ(texts, (std::vector<std::string>{"lock acquired", "lock released"}));
}

TEST(SimLockTest, AHandleThatOutlivesItsWorldRecordsNothing) {
  std::unique_ptr<platform::InstanceLock> lock;
  {
    auto world = sim::World::Create(sim::Config{});
    ASSERT_NE(world, nullptr);
    lock = world->Services().files->TakeInstanceLock("tool").lock;
    ASSERT_NE(lock, nullptr);
  }
  lock.reset();  // under the sanitizers, a note into the gone world would show
}

TEST_F(SimFilesTest, FailingAgentWriteKeepsTheOldFile) {
  platform::Files& files = *world_->Services().files;
  const std::string path = root_ + "/keep.plist";
  ASSERT_TRUE(files.WriteFileAtomically(path, "old").ok());
  world_->FilesControl().SetAgentWriteFails(true);
  const platform::Status s = files.WriteFileAtomically(path, "new");
  EXPECT_FALSE(s.ok());
  EXPECT_FALSE(s.description().empty());
  EXPECT_EQ(Slurp(path), "old");
}

}  // namespace
