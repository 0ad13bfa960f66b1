// What the hooks stand on, against the real system: programs started and
// watched from the main run loop, IOKit's presence notifications, and
// argument lists in the user defaults.
#include <CoreFoundation/CoreFoundation.h>
#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/macos/mac_processes.h"
#include "platform/macos/mac_settings.h"
#include "platform/macos/mac_usb.h"

namespace {

using platform::ProcessEnd;

// Runs the main run loop until `done` holds, for at most ten seconds of
// waiting (a bound against hanging, not a speed goal).
template <class Done>
void RunUntil(Done done) {
  for (int i = 0; i < 100 && !done(); ++i) CFRunLoopRunInMode(kCFRunLoopDefaultMode, 0.1, true);
}

struct HookRun {
  std::vector<std::string> lines;
  std::optional<ProcessEnd> end;
  std::unique_ptr<platform::Process> process;
};

void Start(platform::macos::MacProcesses& processes, HookRun& run,
           const std::vector<std::string>& argv, const std::vector<std::string>& env = {}) {
  auto started = processes.Start(argv, env,
                                 {[&run](const std::string& line) { run.lines.push_back(line); },
                                  [&run](const ProcessEnd& end) { run.end = end; }});
  ASSERT_TRUE(started.ok()) << started.description();
  run.process = std::move(started.value());
}

TEST(MacHooksTest, OutputLinesEnvironmentAndExitStatusComeFromTheRunLoop) {
  platform::macos::MacProcesses processes;
  HookRun run;
  Start(processes, run,
        {"/bin/sh", "-c", "echo \"$QUEMBRASTELLA_HUB_EVENT\"; echo two >&2; printf three; exit 3"},
        {"QUEMBRASTELLA_HUB_EVENT=left"});
  EXPECT_FALSE(run.end);  // started without waiting
  RunUntil([&] { return run.end.has_value(); });
  ASSERT_TRUE(run.end);
  EXPECT_FALSE(run.end->signalled);
  EXPECT_EQ(run.end->code, 3);
  EXPECT_EQ(run.lines, (std::vector<std::string>{"left", "two", "three"}));
}

TEST(MacHooksTest, TermAndKillEndTheProgramAndItsChildren) {
  platform::macos::MacProcesses processes;
  HookRun gentle;
  HookRun stubborn;
  Start(processes, gentle, {"/bin/sh", "-c", "sleep 30"});
  Start(processes, stubborn, {"/bin/sh", "-c", "trap '' TERM; sleep 30 & wait; sleep 30"});
  CFRunLoopRunInMode(kCFRunLoopDefaultMode, 0.3, false);  // the traps are set
  gentle.process->Signal(platform::ProcessSignal::kTerminate);
  stubborn.process->Signal(platform::ProcessSignal::kTerminate);
  RunUntil([&] { return gentle.end.has_value(); });
  ASSERT_TRUE(gentle.end);
  EXPECT_TRUE(gentle.end->signalled);
  EXPECT_EQ(gentle.end->code, 15);
  EXPECT_FALSE(stubborn.end);
  stubborn.process->Signal(platform::ProcessSignal::kKill);
  RunUntil([&] { return stubborn.end.has_value(); });
  ASSERT_TRUE(stubborn.end);
  EXPECT_TRUE(stubborn.end->signalled);
  EXPECT_EQ(stubborn.end->code, 9);
}

TEST(MacHooksTest, ProgramsAreLocatedWithoutBeingRun) {
  platform::macos::MacProcesses processes;
  const std::string sh = processes.Locate("sh").value();  // /bin/sh, first on every PATH
  EXPECT_EQ(sh.substr(sh.size() - 3), "/sh");
  EXPECT_EQ(processes.Locate("no-such-program-qs-test").description(), "no such program on PATH");
  EXPECT_EQ(processes.Locate("/etc/hosts").description(), "permission denied");
  auto refused = processes.Start({"no-such-program-qs-test"}, {}, {});
  EXPECT_FALSE(refused.ok());
}

TEST(MacHooksTest, PresenceWatchIsArmedAndQuietForIdsNoDeviceCarries) {
  platform::macos::MacUsb usb;
  int changes = 0;
  // Vendor 0xFFFF is reserved: no real device reports it.
  auto watch = usb.WatchPresence(0xFFFF, 0xFFFE,
                                 [&changes](const platform::UsbPresenceChange&) { ++changes; });
  ASSERT_NE(watch, nullptr);
  CFRunLoopRunInMode(kCFRunLoopDefaultMode, 0.3, false);
  EXPECT_EQ(changes, 0);
  watch.reset();  // iterators released, port off the loop
  CFRunLoopRunInMode(kCFRunLoopDefaultMode, 0.1, false);
}

TEST(MacHooksTest, ArgumentListsInTheUserDefaultsAreReadAsLists) {
  const CFStringRef domain = CFSTR("org.quembrastella.switch.test-hooks");
  const void* words[] = {CFSTR("/opt/homebrew/bin/m1ddc"), CFSTR("set"), CFSTR("input")};
  const CFArrayRef array = CFArrayCreate(kCFAllocatorDefault, words, 3, &kCFTypeArrayCallBacks);
  CFPreferencesSetValue(CFSTR("OnHubLeft"), array, domain, kCFPreferencesCurrentUser,
                        kCFPreferencesAnyHost);
  CFRelease(array);
  CFPreferencesSynchronize(domain, kCFPreferencesCurrentUser, kCFPreferencesAnyHost);
  platform::macos::MacSettings settings("org.quembrastella.switch.test-hooks");
  const platform::SettingsRead read = settings.Read();
  CFPreferencesSetValue(CFSTR("OnHubLeft"), nullptr, domain, kCFPreferencesCurrentUser,
                        kCFPreferencesAnyHost);
  CFPreferencesSynchronize(domain, kCFPreferencesCurrentUser, kCFPreferencesAnyHost);
  ASSERT_EQ(read.entries.size(), 1u);
  const platform::SettingValue& value = read.entries[0].value;
  ASSERT_EQ(value.kind, platform::SettingValue::Kind::kList);
  ASSERT_EQ(value.items.size(), 3u);
  EXPECT_EQ(value.items[0].text, "/opt/homebrew/bin/m1ddc");
  EXPECT_EQ(value.items[2].kind, platform::SettingValue::Kind::kText);
}

}  // namespace
