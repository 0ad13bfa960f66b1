// The single-instance lock file in a folder that every user may write to:
// what another user may have left at its path.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>

#include "app_world_fixture.h"
#include "platform/posix/posix_lock.h"
#include "support/hostile_support.h"

namespace {

using hostile::Slurp;
using hostile::Spit;

std::string CannotCreate(int error) {
  return std::string("Cannot create the program lock file: ") + std::strerror(error);
}

class HostileLockTest : public ToolWorldTest {
 protected:
  std::string LockPath() const { return SingleInstanceLockPath(); }
  std::string Sandbox() const { return world_->FilesControl().Home(); }
};

TEST_F(HostileLockTest, SymbolicLinkAtTheLockPathIsRefusedAndNeverFollowed) {
  // A link to a file of the victim's, one to a file that does not exist yet
  // (following it would create it), and one to a folder.
  const std::string victim = Sandbox() + "/victim.txt";
  const std::string planted = Sandbox() + "/planted-by-other";
  ASSERT_TRUE(Spit(victim, "precious"));
  ASSERT_EQ(::chmod(victim.c_str(), 0600), 0);
  for (const std::string& target : {victim, planted, Sandbox() + "/Library"}) {
    SCOPED_TRACE(target);
    ::unlink(LockPath().c_str());
    ASSERT_EQ(::symlink(target.c_str(), LockPath().c_str()), 0);

    std::string message;
    EXPECT_FALSE(AcquireSingleInstanceLock(&message));
    EXPECT_EQ(message, CannotCreate(ELOOP));
    EXPECT_EQ(gSingleInstanceLockFd, nullptr);
  }
  EXPECT_EQ(Slurp(victim), "precious");
  struct stat st {};
  ASSERT_EQ(::stat(victim.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
  EXPECT_NE(::access(planted.c_str(), F_OK), 0) << "the link was followed and its target made";

  // The whole tool: the refusal is shown and the start ends with status 0,
  // before the start-up choice.
  EXPECT_EQ(RunTool({}), 0);
  ASSERT_EQ(AlertTexts().size(), 1u);
  EXPECT_EQ(AlertTexts()[0], CannotCreate(ELOOP));
  EXPECT_EQ(ObservationIndex("lock acquired"), -1);
}

TEST_F(HostileLockTest, LockDescriptorIsNotInheritedByStartedPrograms) {
  platform::LockAttempt taken = posix::TakeLockAt(LockPath());
  ASSERT_NE(taken.lock, nullptr) << taken.reason;
  const auto* held = dynamic_cast<const posix::PosixInstanceLock*>(taken.lock.get());
  ASSERT_NE(held, nullptr);
  const int flags = ::fcntl(held->fd(), F_GETFD);
  ASSERT_GE(flags, 0);
  EXPECT_NE(flags & FD_CLOEXEC, 0);
  // A lock file left by an earlier run is a plain file and still opens.
  taken.lock.reset();
  EXPECT_TRUE(AcquireSingleInstanceLock(nullptr));
}

TEST_F(HostileLockTest, FolderAtTheLockPathIsRefusedAndLeftAlone) {
  ASSERT_EQ(::mkdir(LockPath().c_str(), 0755), 0);
  ASSERT_TRUE(Spit(LockPath() + "/inside", "x"));
  std::string message;
  EXPECT_FALSE(AcquireSingleInstanceLock(&message));
  EXPECT_EQ(message, CannotCreate(EISDIR));
  EXPECT_EQ(gSingleInstanceLockFd, nullptr);
  EXPECT_EQ(Slurp(LockPath() + "/inside"), "x");
}

TEST_F(HostileLockTest, AnotherUsersLockFileIsACreateFailureNotARunningInstance) {
  // The lock file of a run by root, left in a sticky folder open to all.
  ASSERT_TRUE(AcquireSingleInstanceLock(nullptr));
  ASSERT_EQ(::chmod(Sandbox().c_str(), 0755), 0);
  ASSERT_EQ(::chmod((Sandbox() + "/tmp").c_str(), 01777), 0);
  const std::string expected = CannotCreate(EACCES);

  // While root's instance holds it, and after it has let go: either way
  // the other user is told the file cannot be opened, and root's lock is
  // untouched.
  for (bool held : {true, false}) {
    SCOPED_TRACE(held ? "held" : "released");
    if (!held) ReleaseSingleInstanceLock();
    const int failures = hostile::AsNobody([&expected] {
      // The child's copy of root's handle is not its lock.
      (void)gSingleInstanceLockFd.release();
      std::string message;
      int failed = 0;
      if (AcquireSingleInstanceLock(&message)) ++failed;
      if (message != expected) ++failed;
      if (gSingleInstanceLockFd != nullptr) ++failed;
      return failed;
    });
    EXPECT_EQ(failures, 0);
    EXPECT_EQ(LockFreeForOthers(), !held);
  }
  struct stat st {};
  ASSERT_EQ(::stat(LockPath().c_str(), &st), 0);
  EXPECT_EQ(st.st_uid, 0u);
  EXPECT_EQ(st.st_size, 0);
}

}  // namespace
