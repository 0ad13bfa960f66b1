// One switch at a time across processes: the resident tool's gesture (in
// this process, on the evdev road) and the executable's --switch, run
// several at once, against one fake hub. Requests within the debounce of
// an accepted switch give no second write, whoever makes them; later ones
// each give one.
#include <gtest/gtest.h>
#include <linux/input-event-codes.h>

#include <chrono>
#include <future>
#include <string>
#include <thread>
#include <vector>

#include "commands/commands.h"
#include "evdev_road_fixture.h"
#include "support/hostile_support.h"

namespace {

using linux_test::FakeInput;
using linux_test::FakeKind;

class SwitchLockTest : public linux_test::EvdevRoadTest {
 protected:
  void DoubleTapControl(FakeInput& keyboard) {
    for (int tap = 0; tap < 2; ++tap) {
      keyboard.Key(KEY_LEFTCTRL, true);
      Run(40);
      keyboard.Key(KEY_LEFTCTRL, false);
      Run(60);
    }
  }
  int Writes() {
    int n = 0;
    for (const auto& r : hub_->Requests()) n += r.bmRequestType == 0x40 ? 1 : 0;
    return n;
  }
  // --switch in a process of its own, asked for at once by `n` of them.
  static std::vector<hostile::ChildRun> SwitchAtOnce(int n) {
    std::vector<std::future<hostile::ChildRun>> started;
    for (int i = 0; i < n; ++i) {
      started.push_back(std::async(std::launch::async, [] {
        return hostile::Run(QS_TOOL_BINARY, {"--switch"}, hostile::Stdout::kCaptured);
      }));
    }
    std::vector<hostile::ChildRun> runs;
    for (auto& run : started) runs.push_back(run.get());
    return runs;
  }
};

TEST_F(SwitchLockTest, RequestsWithinTheDebounceGiveOneSwitchLaterOnesOneEach) {
  FakeInput keyboard(testbed_, FakeKind::kKeyboard, 3);
  ASSERT_TRUE(StartEventTap());
  // The gesture switches and keeps the hub locked for the debounce; this
  // loop is not served meanwhile, so every --switch below comes within it.
  DoubleTapControl(keyboard);
  ASSERT_EQ(Writes(), 1);
  ASSERT_TRUE(SwitchLockKept());
  for (const hostile::ChildRun& run : SwitchAtOnce(8)) {
    EXPECT_TRUE(run.exited);
    EXPECT_EQ(run.status, kCommandSwitchDropped) << run.out << run.err;
    EXPECT_EQ(run.err, std::string(kSwitchDroppedLine) + "\n");
  }
  EXPECT_EQ(Writes(), 1);
  EXPECT_EQ(hub_->Register(0xF5, 0x0000), 0x01);

  // After the debounce each request switches once: a --switch (the fake
  // hub stays, so its check reports 3), then the gesture again.
  Run(500);
  EXPECT_FALSE(SwitchLockKept());
  const std::vector<hostile::ChildRun> later = SwitchAtOnce(1);
  EXPECT_EQ(later[0].status, kCommandSwitchNotTaken) << later[0].out << later[0].err;
  EXPECT_EQ(Writes(), 2);
  DoubleTapControl(keyboard);
  EXPECT_EQ(Writes(), 3);
  EXPECT_EQ(hub_->Register(0xF5, 0x0000), 0x01);
}

TEST_F(SwitchLockTest, AGestureWhileAnotherProcessSwitchesIsDropped) {
  FakeInput keyboard(testbed_, FakeKind::kKeyboard, 3);
  ASSERT_TRUE(StartEventTap());
  std::future<std::vector<hostile::ChildRun>> command =
      std::async(std::launch::async, [] { return SwitchAtOnce(1); });
  // As soon as the command's write has reached the hub, the gesture.
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  while (Writes() == 0 && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  ASSERT_EQ(Writes(), 1);
  DoubleTapControl(keyboard);
  EXPECT_EQ(Writes(), 1) << "the gesture put the port back";
  EXPECT_EQ(hub_->Register(0xF5, 0x0000), 0x01);
  EXPECT_EQ(command.get()[0].status, kCommandSwitchNotTaken);
  // Its request did not move the tool's own window: the next gesture,
  // when nobody else switches, is taken.
  DoubleTapControl(keyboard);
  EXPECT_EQ(Writes(), 2);
}

}  // namespace
