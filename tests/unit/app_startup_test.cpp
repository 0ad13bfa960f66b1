// The entry point: the two flags, the start-up choice and every way the
// start can end, with its exit status and what is left of the lock.
#include <sys/stat.h>

#include <fstream>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "app/startup.h"
#include "app_world_fixture.h"
#include "forwarding_files.h"
#include "service/launch_agent.h"

namespace {

using Texts = std::vector<std::string>;

constexpr const char* kStarted = "Quembrastella USB-C Switch started successfully.";
constexpr const char* kInstalled = "Installed as a service and started successfully.";
constexpr int kInstallButton = 0, kStartButton = 1, kCancelButton = 2;

bool Has(std::vector<const char*> args, const char* name) {
  return HasArgument(static_cast<int>(args.size()), const_cast<char**>(args.data()), name);
}

TEST(HasArgumentTest, MatchesWholeArgumentsAfterTheProgramName) {
  EXPECT_TRUE(Has({"tool", "--console"}, "--console"));
  EXPECT_TRUE(Has({"tool", "x", "--service", "y", "--console"}, "--console"));
  EXPECT_TRUE(Has({"tool", "x", "--service", "y", "--console"}, "--service"));
  // The program name itself never counts, nor do near misses.
  EXPECT_FALSE(Has({"--console"}, "--console"));
  EXPECT_FALSE(Has({"tool", "--Console"}, "--console"));
  EXPECT_FALSE(Has({"tool", "--CONSOLE"}, "--console"));
  EXPECT_FALSE(Has({"tool", "-console"}, "--console"));
  EXPECT_FALSE(Has({"tool", "--console=1"}, "--console"));
  EXPECT_FALSE(Has({"tool", "--consol"}, "--console"));
  EXPECT_FALSE(Has({"tool", "--console "}, "--console"));
}

TEST(HasArgumentTest, CountBoundsTheScan) {
  const char* args[] = {"tool", "--console", "--service"};
  char** argv = const_cast<char**>(args);
  EXPECT_FALSE(HasArgument(0, argv, "--console"));
  EXPECT_FALSE(HasArgument(1, argv, "--console"));
  EXPECT_TRUE(HasArgument(2, argv, "--console"));
  EXPECT_FALSE(HasArgument(2, argv, "--service"));  // beyond the count
  EXPECT_TRUE(HasArgument(3, argv, "--service"));
}

class StartupTest : public ToolWorldTest {
 protected:
  // Ends a run that got as far as the run loop, through "Exit".
  void ExitAt(uint64_t t_ms) {
    world().At(t_ms, [this] { ui().RightClickStatusItem("Exit"); });
  }
  // Puts a plain file where the agent folder should be.
  void BlockAgentFolder() {
    const std::string dir = platform::Sys().files->AgentDirectory();
    ASSERT_EQ(::mkdir(DeletingLast(dir).c_str(), 0755) == 0 || errno == EEXIST, true);
    std::ofstream(dir) << "not a folder";
  }
  static std::string DeletingLast(const std::string& p) { return p.substr(0, p.rfind('/')); }
};

TEST_F(StartupTest, PromptOffersThreeButtonsAndMapsTheAnswer) {
  ui().SetChoice(kInstallButton);
  EXPECT_EQ(PromptStartupAction(), 2);
  ui().SetChoice(kStartButton);
  EXPECT_EQ(PromptStartupAction(), 1);
  ui().SetChoice(kCancelButton);
  EXPECT_EQ(PromptStartupAction(), 0);

  ASSERT_EQ(ui().Alerts().size(), 3u);
  const platform::AlertSpec& spec = ui().Alerts()[0].spec;
  EXPECT_EQ(spec.message_text, "Quembrastella USB-C Switch");
  EXPECT_EQ(spec.informative_text, "Choose how to start the program.");
  EXPECT_EQ(spec.buttons, Texts({"Install as a Service", "Start Program", "Cancel"}));
}

TEST_F(StartupTest, HeldLockEndsWithStatusZeroBeforeAnyChoice) {
  ASSERT_TRUE(AcquireSingleInstanceLock(nullptr));
  // As if another instance held it: this process's hold is set aside.
  std::unique_ptr<platform::InstanceLock> mine = std::move(gSingleInstanceLockFd);

  for (const std::vector<std::string>& args :
       {std::vector<std::string>{}, std::vector<std::string>{"--service"}}) {
    EXPECT_EQ(RunTool(args), 0);
    EXPECT_EQ(AlertTexts().back(), "Quembrastella USB-C Switch is running already.");
    EXPECT_EQ(gSingleInstanceLockFd, nullptr);
  }
  EXPECT_EQ(AlertTexts().size(), 2u);  // no choice was shown either time
  EXPECT_FALSE(ui().StatusItemExists());
  EXPECT_EQ(gAppDelegate, nullptr);

  gSingleInstanceLockFd = std::move(mine);
}

TEST_F(StartupTest, UnopenableLockIsShownAndEndsWithStatusZero) {
  files().SetLockUnopenable(true);
  EXPECT_EQ(RunTool({}), 0);
  ASSERT_EQ(AlertTexts().size(), 1u);
  EXPECT_EQ(AlertTexts()[0].rfind("Cannot create the program lock file: ", 0), 0u);
}

TEST_F(StartupTest, CancelLeavesNothingBehind) {
  ui().SetChoice(kCancelButton);
  std::string out;
  EXPECT_EQ(RunToolCapturing({"--console"}, &out), 0);
  EXPECT_EQ(out, "");                  // no banner
  EXPECT_EQ(AlertTexts().size(), 1u);  // the choice only
  EXPECT_FALSE(ui().StatusItemExists());
  EXPECT_EQ(gSingleInstanceLockFd, nullptr);
  EXPECT_TRUE(LockFreeForOthers());
  EXPECT_EQ(gAppDelegate, nullptr);
}

TEST_F(StartupTest, FailedInstallShowsWhyAndEndsWithStatusOneAfterTheAlert) {
  BlockAgentFolder();
  ui().SetChoice(kInstallButton);
  EXPECT_EQ(RunTool({}), 1);

  ASSERT_EQ(AlertTexts().size(), 2u);
  EXPECT_EQ(AlertTexts()[1].rfind("Cannot create LaunchAgent folder: ", 0), 0u);
  EXPECT_FALSE(ui().StatusItemExists());
  EXPECT_TRUE(LockFreeForOthers());
  // The lock was still held while the alert was up.
  const int alert = ObservationIndex("alert " + AlertTexts()[1]);
  const int released = ObservationIndex("lock released");
  ASSERT_GE(alert, 0);
  EXPECT_GT(released, alert);
}

TEST_F(StartupTest, SuccessfulInstallRunsAndSaysSo) {
  ui().SetChoice(kInstallButton);
  ExitAt(100);
  EXPECT_EQ(RunTool({}), 0);

  EXPECT_EQ(AlertTexts(), Texts({"Choose how to start the program.", kInstalled}));
  EXPECT_TRUE(gInstalledServiceThisRun);
  EXPECT_TRUE(LaunchAgentServiceExists());
  EXPECT_TRUE(LockFreeForOthers());  // released by the termination hook
  EXPECT_EQ(world().HowEnded(), sim::World::Ending::kTerminated);
}

// A platform whose login start may not happen (a compositor that runs no
// autostart entries) confirms in its own words, naming the entry and the
// program; one without a log folder gets none.
class OwnNoticeFiles : public test_support::ForwardingFiles {
 public:
  using ForwardingFiles::ForwardingFiles;
  std::string AgentInstalledNotice(const std::string& agent_file,
                                   const std::string& program) override {
    return "Add " + program + " to your session; " + agent_file + " is not read here.";
  }
  bool AgentLogsInFolder() override { return false; }
};

TEST_F(StartupTest, TheInstalledNoticeIsThePlatformsWhereItHasOne) {
  OwnNoticeFiles files(platform::Sys().files);
  platform::Services services = platform::Sys();
  services.files = &files;
  platform::InstallServices(services);
  ui().SetChoice(kInstallButton);
  ExitAt(100);
  EXPECT_EQ(RunTool({}), 0);
  const std::string program = files.ExecutablePath().value_or("");
  ASSERT_FALSE(program.empty());
  EXPECT_EQ(AlertTexts(), Texts({"Choose how to start the program.",
                                 "Add " + program + " to your session; " + LaunchAgentPlistPath() +
                                     " is not read here."}));
  EXPECT_TRUE(LaunchAgentServiceExists());
  struct stat st {};
  EXPECT_NE(::stat(ApplicationSupportDirectoryPath().c_str(), &st), 0) << "no log folder";
  world().Install();
}

TEST_F(StartupTest, StartProgramRunsWithoutInstalling) {
  ui().SetChoice(kStartButton);
  ExitAt(100);
  EXPECT_EQ(RunTool({}), 0);
  EXPECT_EQ(AlertTexts(), Texts({"Choose how to start the program.", kStarted}));
  EXPECT_FALSE(gInstalledServiceThisRun);
  EXPECT_FALSE(LaunchAgentServiceExists());
}

TEST_F(StartupTest, ServiceStartShowsNoAlertAtAll) {
  ExitAt(100);
  std::string out;
  EXPECT_EQ(RunToolCapturing({"--service", "--console"}, &out), 0);
  EXPECT_EQ(AlertTexts(), Texts{});
  EXPECT_NE(out.find("Running...\n"), std::string::npos);
}

TEST_F(StartupTest, InstalledAgentSkipsTheChoiceOnInteractiveStart) {
  ASSERT_TRUE(InstallLaunchAgent(nullptr));
  ExitAt(100);
  EXPECT_EQ(RunTool({"unrelated", "-x"}), 0);
  EXPECT_EQ(AlertTexts(), Texts({kStarted}));
}

TEST_F(StartupTest, FlagsAreOnlyRecognisedExactly) {
  ui().SetChoice(kCancelButton);
  std::string out;
  EXPECT_EQ(RunToolCapturing({"--Service", "-service", "--service=1", "-console"}, &out), 0);
  EXPECT_FALSE(gStartedFromService);
  EXPECT_FALSE(gConsoleMode);
  EXPECT_EQ(AlertTexts(), Texts({"Choose how to start the program."}));
}

TEST_F(StartupTest, KilledRunStillFreesPlatformObjects) {
  // A chord held when the run is killed leaves a hold timer pending.
  world().At(100, [this] {
    world().InputControl().SetLiveButton(0, true);
    world().InputControl().SetLiveButton(1, true);
  });
  bool hold_pending = false;
  world().At(199, [&] { hold_pending = gMouseComboTimer != nullptr; });
  world().KillAt(200);
  EXPECT_EQ(RunTool({"--service"}), 0);
  EXPECT_TRUE(hold_pending);
  EXPECT_EQ(world().HowEnded(), sim::World::Ending::kKilled);
  // Nothing the platform made outlives the entry point, hook or no hook.
  EXPECT_EQ(gAppDelegate, nullptr);
  EXPECT_FALSE(ui().StatusItemExists());
  EXPECT_EQ(gEventTap, nullptr);
  EXPECT_EQ(gEventTapSource, nullptr);
  EXPECT_EQ(gInputPollTimer, nullptr);
  EXPECT_EQ(gMouseComboTimer, nullptr);
}

}  // namespace
