// The one-shot commands on the Linux services against the fake hub: every
// exit status of --switch and --status (found, absent, refused, a failing
// transfer), --diagnose on a healthy and a broken set-up, and the real
// executable's --switch while another process holds the instance lock.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>

#include "commands/commands.h"
#include "fake_hub.h"
#include "hub/hub_failure.h"
#include "hub/port_switch.h"
#include "hub/switch_check.h"
#include "output/show_msg.h"
#include "platform/linux/files/linux_files.h"
#include "platform/linux/input/input_linux.h"
#include "platform/linux/loop/poll_loop.h"
#include "platform/linux/ui/headless_ui.h"
#include "platform/linux/usb/usb_linux.h"
#include "platform/posix/posix_clock.h"
#include "platform/services.h"
#include "service/instance_lock.h"
#include "support/hostile_support.h"

namespace {

using linux_test::FakeHub;
using linux_test::HubFault;
using linux_test::Testbed;

class CommandsLinuxTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!Testbed::InMockEnvironment()) GTEST_SKIP() << "needs umockdev-wrapper";
    char pattern[] = "/tmp/qs-commands-XXXXXX";
    ASSERT_NE(::mkdtemp(pattern), nullptr);
    dir_ = pattern;
    std::filesystem::create_directories(dir_ + "/input");
    std::filesystem::create_directories(dir_ + "/home");
    linux_platform::XdgEnvironment env;
    env.home = dir_ + "/home";
    files_ = std::make_unique<linux_platform::LinuxFiles>(env, dir_ + "/");
    input_ = std::make_unique<linux_platform::LinuxInput>(&loop_, dir_ + "/input");
    usb_ = std::make_unique<linux_platform::LinuxUsb>(200);
    usb_->SetWatcher(&loop_);
    platform::Services services;
    services.clock = &clock_;
    services.run_loop = &loop_;
    services.input = input_.get();
    services.usb = usb_.get();
    services.ui = &ui_;
    services.files = files_.get();
    services.app = &loop_;
    platform::InstallServices(services);
  }
  void TearDown() override {
    CancelSwitchCheck();
    ReleaseSwitchLock();
    gConsoleMode = false;
    platform::InstallServices(platform::Services{});
    usb_.reset();
    hub_.reset();
    if (!dir_.empty()) std::filesystem::remove_all(dir_);
  }

  FakeHub& PlugHub(uint8_t f5 = 0x01) {
    hub_ = std::make_unique<FakeHub>(testbed_);
    EXPECT_TRUE(hub_->plugged());
    hub_->SetRegister(0xF8, 0x008F, 0x20);
    hub_->SetRegister(0xF5, 0x0000, f5);
    return *hub_;
  }

  // Runs `command`; its status, with standard output and error captured.
  template <class F>
  int Run(F command) {
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    const int status = command();
    out_ = testing::internal::GetCapturedStdout();
    err_ = testing::internal::GetCapturedStderr();
    return status;
  }

  // The number of control requests of each direction the hub saw.
  int Writes() const {
    int n = 0;
    for (const auto& r : hub_->Requests()) n += r.bmRequestType == 0x40 ? 1 : 0;
    return n;
  }

  Testbed testbed_;
  std::unique_ptr<FakeHub> hub_;
  std::string dir_;
  posix::SystemClock clock_;
  linux_platform::PollLoop loop_;
  linux_platform::HeadlessUi ui_{stdin, stderr, false};
  std::unique_ptr<linux_platform::LinuxFiles> files_;
  std::unique_ptr<linux_platform::LinuxInput> input_;
  std::unique_ptr<linux_platform::LinuxUsb> usb_;
  std::string out_;
  std::string err_;
};

TEST_F(CommandsLinuxTest, StatusReadsBothRegistersAndWritesNothing) {
  PlugHub(0x01);
  EXPECT_EQ(Run([] { return RunStatusCommand(false); }), kCommandOk);
  EXPECT_EQ(out_, "hub 2109:8822 on bus 1 port 2: upstream port 1 (F5-0000 = 0x01)\n");
  EXPECT_EQ(err_, "");
  EXPECT_EQ(hub_->Requests().size(), 2u);
  EXPECT_EQ(Writes(), 0);

  EXPECT_EQ(Run([] { return RunStatusCommand(true); }), kCommandOk);
  EXPECT_EQ(out_,
            "{\"hub\":\"2109:8822\",\"bus\":1,\"port\":\"2\",\"f5\":1,\"upstream_port\":1,"
            "\"f8\":32}\n");
}

TEST_F(CommandsLinuxTest, StatusWithoutAHubIsOneAndAFailingReadIsTwo) {
  EXPECT_EQ(Run([] { return RunStatusCommand(false); }), kCommandFailed);
  EXPECT_EQ(out_, "");
  EXPECT_NE(err_.find("USB device not found (VID=0x2109 PID=0x8822)\n"), std::string::npos);

  PlugHub();
  hub_->FailRequest(1, HubFault::kStall);  // the read of F5-0000
  EXPECT_EQ(Run([] { return RunStatusCommand(false); }), kCommandHubUnreadable);
  EXPECT_EQ(out_, "");
  EXPECT_EQ(err_.rfind("Read-Reg F5-0000 Fail\n", 0), 0u) << err_;
}

TEST_F(CommandsLinuxTest, SwitchExitStatusesForEachOutcome) {
  // Absent: 1.
  EXPECT_EQ(Run([] { return RunSwitchCommand(false); }), kCommandFailed);
  EXPECT_NE(err_.find("USB device not found"), std::string::npos) << err_;

  // The write refused: 1, and no check waits.
  PlugHub(0x00);
  hub_->FailRequest(2, HubFault::kIoError);
  EXPECT_EQ(Run([] { return RunSwitchCommand(false); }), kCommandFailed);
  EXPECT_EQ(err_.rfind("Write-Reg F5-0000 Fail\n", 0), 0u) << err_;
  EXPECT_FALSE(SwitchCheckPending());

  // The port register unreadable: 1, nothing written, no check waits.
  hub_->FailRequest(1, HubFault::kStall);
  EXPECT_EQ(Run([] { return RunSwitchCommand(false); }), kCommandFailed);
  EXPECT_EQ(err_.rfind("Switch abandoned: the port register F5-0000 could not be read", 0), 0u)
      << err_;
  EXPECT_EQ(hub_->Requests().back().bmRequestType, 0xC0) << "the last request was the read";
  EXPECT_FALSE(SwitchCheckPending());

  // The write taken and the hub leaving soon after, while the loop waits: 0.
  FakeHub* hub = hub_.get();
  auto leave = loop_.AddTimer(
      0.05, 0, [](platform::Timer*, void* h) { static_cast<FakeHub*>(h)->Unplug(); }, hub,
      platform::RunLoopMode::kCommon);
  gConsoleMode = true;
  EXPECT_EQ(Run([] { return RunSwitchCommand(false); }), kCommandOk);
  EXPECT_NE(out_.find("Hub left this computer after "), std::string::npos) << out_;
  EXPECT_EQ(err_, "");
  EXPECT_EQ(hub->Register(0xF5, 0x0000), 0x01);
}

TEST_F(CommandsLinuxTest, SwitchThatDoesNotTakeIsThree) {
  PlugHub(0x01);
  EXPECT_EQ(Run([] { return RunSwitchCommand(false); }), kCommandSwitchNotTaken);
  EXPECT_EQ(err_, std::string(kSwitchNotTakenLine) + "\n" + kSwitchNotTakenFix + "\n");
  EXPECT_EQ(hub_->Register(0xF5, 0x0000), 0x00);
  EXPECT_TRUE(hub_->plugged());
}

TEST_F(CommandsLinuxTest, StatusAndSwitchRefusedByPermissionNameTheUdevRule) {
  if (geteuid() != 0) GTEST_SKIP() << "needs root to drop to another account";
  PlugHub();
  // The test bed is open to all; only the device node is kept to root, as
  // it is without the udev rule.
  ASSERT_EQ(std::system(("chmod -R a+rwX '" + testbed_.Root() + "'").c_str()), 0);
  ASSERT_EQ(::chmod((testbed_.Root() + "/dev/bus/usb/001/002").c_str(), 0600), 0);
  const std::string err_file = dir_ + "/err";
  ASSERT_EQ(::chmod(dir_.c_str(), 0777), 0);
  const int failures = hostile::AsNobody([&err_file] {
    if (std::freopen(err_file.c_str(), "w", stderr) == nullptr) return 50;
    int failed = 0;
    if (RunStatusCommand(false) != kCommandHubUnreadable) ++failed;
    if (RunSwitchCommand(false) != kCommandFailed) ++failed;
    std::fflush(stderr);
    // Each names the udev rule (usb_access_test.cpp checks which cause),
    // once, in Linux words.
    const std::string err = hostile::Slurp(err_file);
    const std::string lines =
        "Cannot open the hub: Access denied (insufficient permissions)\nPermission denied on the "
        "hub: the udev rule ";
    const size_t first = err.find(lines);
    if (first == std::string::npos) ++failed;
    if (err.find(lines, first + 1) == std::string::npos) ++failed;
    if (err.find("USBDeviceOpen") != std::string::npos) ++failed;
    return failed;
  });
  EXPECT_EQ(failures, 0);
  EXPECT_EQ(Writes(), 0);
}

TEST_F(CommandsLinuxTest, DiagnoseHealthyAndBroken) {
  // Broken: no readable event device, no hub.
  EXPECT_EQ(Run([] { return RunDiagnoseCommand(); }), kCommandFailed);
  EXPECT_NE(out_.find("FAIL  input access: 0 of 0 event devices"), std::string::npos) << out_;
  EXPECT_NE(out_.find("fix: No input device can be read: add yourself to the input group"),
            std::string::npos)
      << out_;
  EXPECT_NE(out_.find("FAIL  hub present: no hub 2109:8822 on the bus"), std::string::npos);
  EXPECT_NE(out_.find("warn  login entry: not installed"), std::string::npos) << out_;
  EXPECT_NE(out_.find("warn  tray host: none reachable"), std::string::npos) << out_;
  EXPECT_NE(out_.find("info  running instance: none"), std::string::npos) << out_;

  // Healthy: a readable event device and the hub; the login entry and the
  // tray still warn, which does not change the status.
  ASSERT_TRUE(hostile::Spit(dir_ + "/input/event3", ""));
  PlugHub();
  EXPECT_EQ(Run([] { return RunDiagnoseCommand(); }), kCommandOk);
  EXPECT_NE(out_.find("ok    input access: 1 of 1 event devices"), std::string::npos) << out_;
  EXPECT_NE(out_.find("ok    hub present: found on bus 1 port 2"), std::string::npos) << out_;
  EXPECT_NE(out_.find("ok    hub openable"), std::string::npos) << out_;
  EXPECT_EQ(Writes(), 0);
  EXPECT_EQ(hub_->Requests().size(), 0u);
  // Each check on one line, in order.
  const size_t input = out_.find("input access"), present = out_.find("hub present"),
               openable = out_.find("hub openable"), entry = out_.find("login entry"),
               tray = out_.find("tray host"), running = out_.find("running instance");
  EXPECT_LT(input, present);
  EXPECT_LT(present, openable);
  EXPECT_LT(openable, entry);
  EXPECT_LT(entry, tray);
  EXPECT_LT(tray, running);
}

TEST_F(CommandsLinuxTest, DiagnoseSeesTheLockOfARunningInstance) {
  const std::string lock = SingleInstanceLockPath();
  const int fd = ::open(lock.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(::flock(fd, LOCK_EX | LOCK_NB), 0);
  Run([] { return RunDiagnoseCommand(); });
  ::close(fd);
  EXPECT_NE(out_.find("info  running instance: Quembrastella USB-C Switch is running already."),
            std::string::npos)
      << out_;
}

TEST_F(CommandsLinuxTest, DiagnoseLooksAtTheLockWithoutTakingIt) {
  // Free: not even made, so never held for a moment.
  ASSERT_TRUE(hostile::Spit(dir_ + "/input/event3", ""));
  PlugHub();
  const std::string lock = SingleInstanceLockPath();
  EXPECT_EQ(Run([] { return RunDiagnoseCommand(); }), kCommandOk);
  EXPECT_NE(out_.find("info  running instance: none ("), std::string::npos) << out_;
  EXPECT_FALSE(std::filesystem::exists(lock));

  // No start could take it: the tool cannot start, so nothing it needs is
  // there, and the status says so.
  std::filesystem::create_directories(lock);
  EXPECT_EQ(Run([] { return RunDiagnoseCommand(); }), kCommandFailed);
  EXPECT_NE(out_.find("FAIL  running instance: none, and the tool cannot start: Cannot create "
                      "the program lock file: Is a directory\n      fix: "),
            std::string::npos)
      << out_;
  EXPECT_NE(out_.find("A switch by gesture cannot work"), std::string::npos) << out_;
}

TEST_F(CommandsLinuxTest, ExecutableSwitchesWhileAnotherProcessHoldsTheLock) {
  PlugHub(0x00);
  // The lock where the executable looks for it, held as a resident
  // instance holds it.
  platform::Services services = platform::Sys();
  linux_platform::LinuxFiles real_files;
  services.files = &real_files;
  platform::InstallServices(services);
  const std::string lock = SingleInstanceLockPath();
  const int fd = ::open(lock.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(::flock(fd, LOCK_EX | LOCK_NB), 0) << "is a resident instance running here?";

  const hostile::ChildRun run =
      hostile::Run(QS_TOOL_BINARY, {"--switch", "--console"}, hostile::Stdout::kCaptured,
                   {{"DISPLAY", ":99"}, {"HOME", dir_ + "/home"}});
  ::close(fd);
  ASSERT_TRUE(run.exited);
  // Switched (the hub saw the write) and, since the fake hub stays, the
  // check reports that it did not take.
  EXPECT_EQ(hub_->Register(0xF5, 0x0000), 0x01);
  EXPECT_EQ(run.status, kCommandSwitchNotTaken) << run.out << run.err;
  EXPECT_EQ(run.out.rfind("Switch (command line)\n", 0), 0u) << run.out;
  EXPECT_NE(run.out.find("    Write-Reg F5-0000 OK\n"), std::string::npos) << run.out;
  // With --console the verdict is among the console lines, once.
  EXPECT_NE(run.out.find(kSwitchNotTakenLine), std::string::npos) << run.out;
  EXPECT_EQ(run.err.find(kSwitchNotTakenLine), std::string::npos) << run.err;
}

TEST_F(CommandsLinuxTest, AStatusThatCannotBeWrittenEndsNonZero) {
  PlugHub(0x01);
  const hostile::ChildRun run =
      hostile::Run("/bin/sh", {"-c", "exec \"$0\" --status >/dev/full", QS_TOOL_BINARY},
                   hostile::Stdout::kCaptured, {{"HOME", dir_ + "/home"}});
  ASSERT_TRUE(run.exited);
  EXPECT_EQ(run.status, kCommandFailed) << run.err;
  EXPECT_NE(run.err.find("the output could not be written ("), std::string::npos) << run.err;
}

}  // namespace
