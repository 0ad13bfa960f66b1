// The single-instance lock: between two processes, its three failure texts,
// release in any state and taking it again.
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>

#include "app_world_fixture.h"
#include "forwarding_files.h"
#include "service/instance_lock.h"

namespace {

// Runs `body` in a forked child and returns what it wrote to the pipe; the
// child ends with _exit, so nothing of this process's teardown runs twice.
template <class Body>
std::string InChild(Body body) {
  int fds[2];
  if (::pipe(fds) != 0) return "pipe failed";
  const pid_t pid = ::fork();
  if (pid == 0) {
    ::close(fds[0]);
    const std::string answer = body();
    ssize_t unused = ::write(fds[1], answer.data(), answer.size());
    (void)unused;
    ::_exit(0);
  }
  ::close(fds[1]);
  std::string answer;
  char buf[256];
  ssize_t n;
  while ((n = ::read(fds[0], buf, sizeof buf)) > 0) answer.append(buf, static_cast<size_t>(n));
  ::close(fds[0]);
  int status = 0;
  ::waitpid(pid, &status, 0);
  return answer;
}

std::string TryLockAnswer() {
  std::string message = "(none)";
  const bool ok = AcquireSingleInstanceLock(&message);
  return (ok ? "held " : "refused ") + message;
}

// Another process holds the lock until it reads a byte from `release`.
struct LockHolder {
  pid_t pid = -1;
  int release = -1;
};

LockHolder StartLockHolder() {
  int go[2], ready[2];
  if (::pipe(go) != 0 || ::pipe(ready) != 0) return {};
  const pid_t pid = ::fork();
  if (pid == 0) {
    ::close(go[1]);
    ::close(ready[0]);
    const char state = AcquireSingleInstanceLock(nullptr) ? 'y' : 'n';
    ssize_t unused = ::write(ready[1], &state, 1);
    char c;
    unused = ::read(go[0], &c, 1);
    (void)unused;
    ::_exit(0);  // the lock goes with the process, released or not
  }
  ::close(go[0]);
  ::close(ready[1]);
  char state = 'n';
  if (::read(ready[0], &state, 1) != 1 || state != 'y') state = 'n';
  ::close(ready[0]);
  return {state == 'y' ? pid : -1, go[1]};
}

void StopLockHolder(const LockHolder& holder) {
  ssize_t unused = ::write(holder.release, "x", 1);
  (void)unused;
  ::close(holder.release);
  int status = 0;
  if (holder.pid > 0) ::waitpid(holder.pid, &status, 0);
}

class InstanceLockTest : public ToolWorldTest {};

TEST_F(InstanceLockTest, SecondProcessIsRefusedAndFirstKeepsItsLock) {
  std::string message = "untouched";
  ASSERT_TRUE(AcquireSingleInstanceLock(&message));
  EXPECT_EQ(message, "untouched");  // success leaves the place alone
  const platform::InstanceLock* held = gSingleInstanceLockFd.get();
  EXPECT_NE(held, nullptr);

  EXPECT_EQ(InChild(TryLockAnswer), "refused Quembrastella USB-C Switch is running already.");

  // The refused attempt changed nothing here: the child's end of the lock
  // file went with the child, the lock stayed.
  EXPECT_EQ(gSingleInstanceLockFd.get(), held);
  EXPECT_FALSE(LockFreeForOthers());
  ReleaseSingleInstanceLock();
  EXPECT_TRUE(LockFreeForOthers());
}

TEST_F(InstanceLockTest, LockOfAnEndedProcessDoesNotBlockTheNextStart) {
  const LockHolder holder = StartLockHolder();
  ASSERT_GT(holder.pid, 0);

  std::string message;
  EXPECT_FALSE(AcquireSingleInstanceLock(&message));
  EXPECT_EQ(message, "Quembrastella USB-C Switch is running already.");
  EXPECT_EQ(gSingleInstanceLockFd, nullptr);

  StopLockHolder(holder);  // ends without giving the lock back itself
  EXPECT_TRUE(AcquireSingleInstanceLock(&message));
  EXPECT_NE(gSingleInstanceLockFd, nullptr);
}

TEST_F(InstanceLockTest, UnopenableLockFileIsNotReportedAsRunningInstance) {
  files().SetLockUnopenable(true);
  std::string message;
  EXPECT_FALSE(AcquireSingleInstanceLock(&message));
  EXPECT_EQ(message, std::string("Cannot create the program lock file: ") + std::strerror(EACCES));
  EXPECT_EQ(gSingleInstanceLockFd, nullptr);
}

TEST_F(InstanceLockTest, WithoutMessagePlaceOutcomesAreTheSame) {
  ASSERT_TRUE(AcquireSingleInstanceLock(nullptr));
  EXPECT_EQ(InChild([] { return std::string(AcquireSingleInstanceLock(nullptr) ? "y" : "n"); }),
            "n");
  ReleaseSingleInstanceLock();

  files().SetLockUnopenable(true);
  EXPECT_FALSE(AcquireSingleInstanceLock(nullptr));
  EXPECT_EQ(gSingleInstanceLockFd, nullptr);
}

TEST_F(InstanceLockTest, ReleaseIsIdempotentAndLockCanBeTakenAgain) {
  ReleaseSingleInstanceLock();  // never held: nothing happens
  EXPECT_EQ(gSingleInstanceLockFd, nullptr);

  ASSERT_TRUE(AcquireSingleInstanceLock(nullptr));
  ReleaseSingleInstanceLock();
  EXPECT_EQ(gSingleInstanceLockFd, nullptr);
  ReleaseSingleInstanceLock();
  EXPECT_EQ(gSingleInstanceLockFd, nullptr);
  EXPECT_TRUE(LockFreeForOthers());

  ASSERT_TRUE(AcquireSingleInstanceLock(nullptr));
  EXPECT_NE(gSingleInstanceLockFd, nullptr);
  EXPECT_FALSE(LockFreeForOthers());
}

// The sandbox's files, with the lock refused for a reason other than a
// holder; every other call goes to the sandbox.
class RefusingLockFiles : public test_support::ForwardingFiles {
 public:
  using ForwardingFiles::ForwardingFiles;
  platform::LockAttempt TakeInstanceLock(const std::string&) override {
    platform::LockAttempt refused;
    refused.refusal = platform::LockRefusal::kCannotLock;
    refused.reason = std::strerror(ENOLCK);
    return refused;
  }
};

TEST_F(InstanceLockTest, OtherLockErrorNamesTheErrorAndDropsWhatWasHeld) {
  ASSERT_TRUE(AcquireSingleInstanceLock(nullptr));
  platform::Services services = world().Services();
  RefusingLockFiles refusing(services.files);
  services.files = &refusing;
  platform::InstallServices(services);

  std::string message;
  EXPECT_FALSE(AcquireSingleInstanceLock(&message));
  EXPECT_EQ(message, std::string("Cannot lock the program instance: ") + std::strerror(ENOLCK));
  EXPECT_EQ(gSingleInstanceLockFd, nullptr);
  EXPECT_TRUE(LockFreeForOthers());

  world().Install();
}

}  // namespace
