// A hub whose device node refuses this user: the cause is named from where
// the udev rule is installed (or not), whether the hub was plugged in
// before it, and whether the user has the session at the seat; in the
// library and in the real executable, with the rule folders and logind's
// records of the test's own.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "fake_hub.h"
#include "platform/linux/usb/usb_access.h"
#include "platform/linux/usb/usb_linux.h"
#include "support/hostile_support.h"

namespace {

using linux_platform::SeatStanding;
using linux_platform::UsbAccessFacts;

bool Has(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

TEST(UsbAccessFix, EachCauseNamesItsOwnFix) {
  struct Case {
    std::optional<std::string> rule;
    bool before;
    SeatStanding seat;
    bool package;
    std::vector<std::string> says;
    std::vector<std::string> never;
  };
  const std::string rule = "/usr/lib/udev/rules.d/70-quembrastella-switch.rules";
  const std::vector<Case> cases = {
      // Missing: the fix of the way the program was installed.
      {std::nullopt,
       false,
       SeatStanding::kActive,
       true,
       {"is not installed (looked in /a, /b)", "apt-get install --reinstall"},
       {"cmake", "replug the hub, or"}},
      {std::nullopt,
       false,
       SeatStanding::kActive,
       false,
       {"is not installed", "sudo cmake --install BUILD-FOLDER"},
       {"apt-get"}},
      // Present, but the hub came first: replug or trigger; the seat does
      // not matter then.
      {rule,
       true,
       SeatStanding::kNotAtSeat,
       true,
       {rule, "came after the hub was plugged in", "udevadm trigger"},
       {"not installed", "ssh"}},
      {rule,
       false,
       SeatStanding::kNotAtSeat,
       true,
       {"not over ssh or su"},
       {"not installed", "usermod", "udevadm"}},
      {rule, false, SeatStanding::kNoLogind, false, {"systemd-logind", "plugdev"}, {"cmake"}},
      {rule,
       false,
       SeatStanding::kActive,
       false,
       {"although the udev rule", "getfacl /dev/bus/usb/001/002"},
       {"not installed", "ssh"}},
  };
  for (const Case& c : cases) {
    UsbAccessFacts facts;
    facts.rule = c.rule;
    facts.plugged_before_rule = c.before;
    facts.seat = c.seat;
    facts.package = c.package;
    facts.searched = "/a, /b";
    facts.build_dir = "/nonexistent/build";
    facts.node = "/dev/bus/usb/001/002";
    const std::string fix = linux_platform::UsbAccessFixFor(facts);
    for (const std::string& part : c.says) EXPECT_TRUE(Has(fix, part)) << part << "\n" << fix;
    for (const std::string& part : c.never) EXPECT_FALSE(Has(fix, part)) << part << "\n" << fix;
    EXPECT_FALSE(Has(fix, "USBDeviceOpen")) << fix;
  }
}

class RefusedHubTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (geteuid() != 0) GTEST_SKIP() << "needs root to drop to another account";
    if (!linux_test::Testbed::InMockEnvironment()) GTEST_SKIP() << "needs umockdev-wrapper";
    ASSERT_FALSE(dir_.empty());
    for (const char* sub : {"/etc-rules", "/lib-rules", "/users", "/home"}) {
      std::filesystem::create_directories(dir_ + sub);
    }
    ASSERT_EQ(std::system(("chmod -R a+rwX '" + dir_ + "'").c_str()), 0);
    hub_ = std::make_unique<linux_test::FakeHub>(testbed_);
    ASSERT_TRUE(hub_->plugged());
    // The test bed is open to all (its sockets stand in for the kernel's);
    // only the hub's node is kept to root, as without the rule's access.
    ASSERT_EQ(std::system(("chmod -R a+rwX '" + testbed_.Root() + "'").c_str()), 0);
    ASSERT_EQ(::chmod(Node().c_str(), 0600), 0);
    places_.rule_dirs = {dir_ + "/etc-rules", dir_ + "/lib-rules"};
    places_.users_dir = dir_ + "/users";
  }
  void TearDown() override { hub_.reset(); }

  std::string Node() const { return testbed_.Root() + "/dev/bus/usb/001/002"; }

  void InstallRule(const std::string& folder) {
    // ctime order is what is compared: a little later than the node's.
    ::usleep(20000);
    ASSERT_TRUE(hostile::Spit(dir_ + folder + "/" + linux_platform::kUdevRuleName,
                              "SUBSYSTEM==\"usb\", TAG+=\"uaccess\"\n"));
  }
  // The node changes now, as udev's handling of the hub changes it.
  void TouchNode() {
    ::usleep(20000);
    ASSERT_EQ(::chmod(Node().c_str(), 0600), 0);
  }

  // The refusal as nobody sees it: the open's line and fix.
  platform::UsbFailure RefusedAsNobody() {
    const std::string out = dir_ + "/refusal";
    const linux_platform::UsbAccessPlaces places = places_;
    const int status = hostile::AsNobody([&] {
      linux_platform::LinuxUsb usb;
      usb.SetAccessPlaces(places);
      platform::UsbFindResult found = usb.FindDevice(0x2109, 0x8822);
      if (found.outcome != platform::UsbFindOutcome::kFound) return 10;
      platform::UsbFailure refused;
      if (found.device->Open(&refused)) return 11;
      return hostile::Spit(out, refused.line + "\n" + refused.fix) ? 0 : 12;
    });
    EXPECT_EQ(status, 0);
    const std::string text = hostile::Slurp(out);
    const size_t newline = text.find('\n');
    if (newline == std::string::npos) return {};
    return {text.substr(0, newline), text.substr(newline + 1)};
  }

  linux_test::Testbed testbed_;
  std::unique_ptr<linux_test::FakeHub> hub_;
  hostile::TempFolder made_{"qs-usb-access"};
  const std::string dir_ = made_.path();
  linux_platform::UsbAccessPlaces places_;
};

TEST_F(RefusedHubTest, NoRuleInAnyFolder) {
  const platform::UsbFailure refused = RefusedAsNobody();
  EXPECT_EQ(refused.line, "Cannot open the hub: Access denied (insufficient permissions)");
  EXPECT_TRUE(Has(refused.fix,
                  "is not installed (looked in " + dir_ + "/etc-rules, " + dir_ + "/lib-rules)"))
      << refused.fix;
}

TEST_F(RefusedHubTest, RuleInstalledAfterTheHubWasPluggedIn) {
  InstallRule("/lib-rules");
  const platform::UsbFailure refused = RefusedAsNobody();
  EXPECT_TRUE(Has(refused.fix, dir_ + "/lib-rules/70-quembrastella-switch.rules came after the "
                                      "hub was plugged in"))
      << refused.fix;
  EXPECT_TRUE(Has(refused.fix, "udevadm trigger")) << refused.fix;
}

TEST_F(RefusedHubTest, RuleAppliedButNotTheSessionAtTheSeat) {
  InstallRule("/etc-rules");
  TouchNode();
  // logind runs (its folder is there) and has no session of nobody's.
  EXPECT_TRUE(Has(RefusedAsNobody().fix, "not over ssh or su"));

  ASSERT_TRUE(hostile::Spit(dir_ + "/users/65534", "STATE=active\nACTIVE_SEATS=seat0\n"));
  const platform::UsbFailure at_seat = RefusedAsNobody();
  EXPECT_TRUE(Has(at_seat.fix, "although the udev rule " + dir_ + "/etc-rules/")) << at_seat.fix;

  places_.users_dir = dir_ + "/no-logind";
  EXPECT_TRUE(Has(RefusedAsNobody().fix, "systemd-logind, which does not run here"));
}

// The real executable, as nobody: --switch and --diagnose name the cause.
TEST_F(RefusedHubTest, ExecutableNamesTheMissingRuleAndTheDiagnosisChecksIt) {
  const std::string rules = dir_ + "/etc-rules:" + dir_ + "/lib-rules";
  const std::string result = dir_ + "/result";
  auto run = [&](const std::vector<std::string>& args) {
    const std::string home = dir_ + "/home";
    const int status = hostile::AsNobody([&] {
      const hostile::ChildRun run = hostile::Run(QS_TOOL_BINARY, args, hostile::Stdout::kCaptured,
                                                 {{"HOME", home},
                                                  {"DISPLAY", std::nullopt},
                                                  {"WAYLAND_DISPLAY", std::nullopt},
                                                  {"XDG_RUNTIME_DIR", std::nullopt},
                                                  {"QS_TEST_UDEV_RULES_DIRS", rules},
                                                  {"QS_TEST_LOGIND_USERS_DIR", dir_ + "/users"}});
      if (!run.exited) return 50;
      return hostile::Spit(result, run.out + "\x1f" + run.err) ? run.status : 51;
    });
    return std::make_pair(status, hostile::Slurp(result));
  };

  const auto [switch_status, switched] = run({"--switch"});
  EXPECT_EQ(switch_status, 1);
  EXPECT_TRUE(Has(switched,
                  "\x1f"
                  "Cannot open the hub: Access denied (insufficient "
                  "permissions)\nPermission denied on the hub: the udev rule "
                  "70-quembrastella-switch.rules is not installed"))
      << switched;
  EXPECT_TRUE(Has(switched, "sudo cmake --install ")) << switched;

  const auto [diagnose_status, diagnosed] = run({"--diagnose"});
  EXPECT_EQ(diagnose_status, 1);
  EXPECT_TRUE(Has(diagnosed,
                  "FAIL  hub openable: opening the hub was refused\n"
                  "      fix: Permission denied on the hub: the udev rule"))
      << diagnosed;
  EXPECT_TRUE(Has(diagnosed, "warn  udev rule: 70-quembrastella-switch.rules is not in " + dir_ +
                                 "/etc-rules, " + dir_ + "/lib-rules\n"))
      << diagnosed;

  InstallRule("/lib-rules");
  const auto [again_status, again] = run({"--diagnose"});
  EXPECT_EQ(again_status, 1);
  EXPECT_TRUE(Has(
      again, "ok    udev rule: installed: " + dir_ + "/lib-rules/70-quembrastella-switch.rules\n"))
      << again;
  EXPECT_TRUE(Has(again, "came after the hub was plugged in")) << again;
}

}  // namespace
