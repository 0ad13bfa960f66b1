// The tap and the poll timer as one unit: how they are made, scheduled and
// released, how events are routed, the quit, and a tap the system disabled.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <new>
#include <string>
#include <utility>
#include <vector>

#include "alloc_counter.h"
#include "gestures/event_types.h"
#include "switch_test_support.h"

namespace {

using Strings = std::vector<std::string>;

// --- Fakes that journal the platform objects' lives -----------------------

class FakeSource : public platform::RunLoopSource {
 public:
  explicit FakeSource(Strings* journal) : journal_(journal) {}
  ~FakeSource() override { journal_->push_back("release source"); }
  void AddToRunLoop(platform::RunLoopMode mode) override {
    journal_->push_back(mode == platform::RunLoopMode::kCommon ? "add source common"
                                                               : "add source default");
  }

 private:
  Strings* journal_;
};

class FakeTap : public platform::EventTap {
 public:
  FakeTap(Strings* journal, bool source_fails) : journal_(journal), source_fails_(source_fails) {}
  ~FakeTap() override { journal_->push_back("release tap"); }
  std::unique_ptr<platform::RunLoopSource> CreateRunLoopSource() override {
    journal_->push_back("create source");
    if (source_fails_) return nullptr;
    return std::make_unique<FakeSource>(journal_);
  }
  void Enable(bool on) override { journal_->push_back(on ? "enable" : "disable"); }

 private:
  Strings* journal_;
  bool source_fails_;
};

class FakeInput : public platform::Input {
 public:
  explicit FakeInput(Strings* journal) : journal_(journal) {}
  std::unique_ptr<platform::EventTap> CreateEventTap(uint64_t mask,
                                                     platform::EventCallback callback,
                                                     void* user_info) override {
    char line[64];
    std::snprintf(line, sizeof line, "create tap %08llX", static_cast<unsigned long long>(mask));
    journal_->push_back(line);
    callback_ = callback;
    user_info_ = user_info;
    if (refuse) return nullptr;
    return std::make_unique<FakeTap>(journal_, source_fails);
  }
  uint64_t FlagsState() override { return control ? platform::kEventFlagMaskControl : 0; }
  bool ButtonState(uint32_t button) override { return button < 3 && buttons[button]; }
  int64_t EventIntegerField(platform::EventRef, platform::EventField) override { return 0; }

  bool refuse = false;
  bool source_fails = false;
  bool control = false;
  bool buttons[3] = {false, false, false};
  platform::EventCallback callback_ = nullptr;
  void* user_info_ = reinterpret_cast<void*>(1);

 private:
  Strings* journal_;
};

// Timers of the simulated run loop, with their lives journalled. The
// callback receives the journalled handle, as the tool's own timers would.
class JournaledTimer : public platform::Timer {
 public:
  JournaledTimer(Strings* journal, std::string name, platform::TimerCallback callback, void* info)
      : journal_(journal), name_(std::move(name)), callback_(callback), info_(info) {}
  ~JournaledTimer() override {
    if (inner_) journal_->push_back("release " + name_);
  }
  void Invalidate() override {
    journal_->push_back("invalidate " + name_);
    inner_->Invalidate();
  }
  bool IsValid() const override { return inner_->IsValid(); }
  static void Fire(platform::Timer*, void* self) {
    auto* t = static_cast<JournaledTimer*>(self);
    t->callback_(t, t->info_);
  }
  std::unique_ptr<platform::Timer> inner_;

 private:
  Strings* journal_;
  std::string name_;
  platform::TimerCallback callback_;
  void* info_;
};

class JournaledRunLoop : public platform::RunLoop {
 public:
  explicit JournaledRunLoop(Strings* journal) : journal_(journal) {}
  std::unique_ptr<platform::Timer> AddTimer(double delay_sec, double interval_sec,
                                            platform::TimerCallback callback, void* info,
                                            platform::RunLoopMode mode) override {
    const std::string name = interval_sec > 0 ? "poll" : "hold";
    char line[96];
    std::snprintf(line, sizeof line, "add %s %.3f/%.3f %s", name.c_str(), delay_sec, interval_sec,
                  mode == platform::RunLoopMode::kCommon ? "common" : "default");
    journal_->push_back(line);
    if (fails) return nullptr;
    auto timer = std::make_unique<JournaledTimer>(journal_, name, callback, info);
    timer->inner_ =
        inner_->AddTimer(delay_sec, interval_sec, &JournaledTimer::Fire, timer.get(), mode);
    if (!timer->inner_) return nullptr;
    return timer;
  }
  bool fails = false;
  platform::RunLoop* inner_ = nullptr;  // the simulated run loop

 private:
  Strings* journal_;
};

class EventTapLifeTest : public switch_test::SimTest {
 protected:
  void SetUp() override {
    SimTest::SetUp();
    platform::Services services = World().Services();
    loop_.inner_ = services.run_loop;
    services.input = &input_;
    services.run_loop = &loop_;
    platform::InstallServices(services);
  }
  void TearDown() override {
    ResetAllAndReinstall();
    SimTest::TearDown();
  }
  void ResetAllAndReinstall() {
    switch_test::ResetSwitchState();
    World().Install();
  }
  bool NothingHeld() const { return !gEventTap && !gEventTapSource && !gInputPollTimer; }

  Strings journal_;
  FakeInput input_{&journal_};
  JournaledRunLoop loop_{&journal_};
};

TEST_F(EventTapLifeTest, StartMakesSchedulesAndEnablesTheTapThenStartsThePoll) {
  ASSERT_TRUE(StartEventTap());
  EXPECT_EQ(journal_, (Strings{"create tap 0E001CDE", "create source", "add source common",
                               "enable", "add poll 0.050/0.050 common"}));
  EXPECT_EQ(input_.callback_, &eventCallback);
  EXPECT_EQ(input_.user_info_, nullptr);
  EXPECT_TRUE(gEventTap && gEventTapSource && gInputPollTimer);
}

TEST_F(EventTapLifeTest, StopReleasesPollThenHoldThenSourceThenTap) {
  ASSERT_TRUE(StartEventTap());
  input_.buttons[0] = input_.buttons[1] = true;
  UpdateMouseComboState(0, nullptr);
  ASSERT_NE(gMouseComboTimer, nullptr);
  journal_.clear();
  StopEventTap();
  EXPECT_EQ(journal_, (Strings{"invalidate poll", "release poll", "invalidate hold", "release hold",
                               "release source", "release tap"}));
  EXPECT_TRUE(NothingHeld());
  EXPECT_EQ(gMouseComboTimer, nullptr);
  journal_.clear();
  StopEventTap();  // a second stop does nothing
  EXPECT_TRUE(journal_.empty());
}

TEST_F(EventTapLifeTest, RefusedTapLeavesNothingAndNoPoll) {
  input_.refuse = true;
  EXPECT_FALSE(StartEventTap());
  EXPECT_EQ(journal_, Strings{"create tap 0E001CDE"});
  EXPECT_TRUE(NothingHeld());
  StopEventTap();
  EXPECT_EQ(journal_, Strings{"create tap 0E001CDE"});
}

TEST_F(EventTapLifeTest, SourceFailureReleasesTheTap) {
  input_.source_fails = true;
  EXPECT_FALSE(StartEventTap());
  EXPECT_EQ(journal_, (Strings{"create tap 0E001CDE", "create source", "release tap"}));
  EXPECT_TRUE(NothingHeld());
}

TEST_F(EventTapLifeTest, FailedPollTimerStillStartsTheTap) {
  loop_.fails = true;
  EXPECT_TRUE(StartEventTap());
  EXPECT_TRUE(gEventTap && gEventTapSource);
  EXPECT_EQ(gInputPollTimer, nullptr);
  // Events alone still feed the recognisers.
  input_.buttons[0] = input_.buttons[1] = true;
  sim::SimEvent press{3, 0, 1};
  eventCallback(nullptr, 3, sim::ToEventRef(&press), nullptr);
  EXPECT_EQ(journal_.back(), "add hold 1.000/0.000 common");
}

TEST_F(EventTapLifeTest, PollTimerStartSeedsControlOnlyOnce) {
  input_.control = true;
  StartInputPollTimer();
  EXPECT_TRUE(gControlKeyDown) << "Control held at start is not a change";
  input_.control = false;
  gControlKeyDown = true;
  const size_t lines = journal_.size();
  StartInputPollTimer();
  EXPECT_TRUE(gControlKeyDown);
  EXPECT_EQ(journal_.size(), lines);
  StopInputPollTimer();
  StopInputPollTimer();
  EXPECT_EQ(gInputPollTimer, nullptr);
}

TEST_F(EventTapLifeTest, HoldTimerExpiryForgetsItsHandle) {
  input_.buttons[0] = input_.buttons[1] = true;
  StartMouseComboTimer();
  EXPECT_EQ(journal_.back(), "add hold 1.000/0.000 common");
  StartMouseComboTimer();  // pending already
  EXPECT_EQ(std::count(journal_.begin(), journal_.end(), "add hold 1.000/0.000 common"), 1);
  World().RunUntil(1001);
  EXPECT_EQ(gMouseComboTimer, nullptr);
  EXPECT_TRUE(gMouseComboTriggered);
  StartMouseComboTimer();  // latched: no new hold
  EXPECT_EQ(gMouseComboTimer, nullptr);
}

// --- The running tap on the simulated input -------------------------------

class EventTapTest : public switch_test::SimTest {
 protected:
  void SetUp() override {
    SimTest::SetUp();
    ASSERT_TRUE(StartEventTap());  // at T = 0: ticks at 50, 100, ...
  }
  void ControlAt(uint64_t t, bool down, bool with_event) {
    RunAt(t, [this, down, with_event] {
      In().SetLiveControl(down);
      if (with_event) In().Deliver(kEventFlagsChanged);
    });
  }
  void KeyAt(uint64_t t, uint32_t type, int64_t code) {
    RunAt(t, [this, type, code] { In().Deliver(type, code); });
  }
  size_t Switches() const { return WrittenPortSelects().size(); }
};

TEST_F(EventTapTest, PollTicksFirst50MsAfterStartThenEvery50) {
  ControlAt(1, true, false);
  World().RunUntil(49);
  EXPECT_FALSE(gControlKeyDown);
  World().RunUntil(51);
  EXPECT_TRUE(gControlKeyDown);
  ControlAt(60, false, false);
  World().RunUntil(99);
  EXPECT_TRUE(gControlKeyDown);
  World().RunUntil(101);
  EXPECT_FALSE(gControlKeyDown);
  // The release was taken at the tick of T = 100.
  EXPECT_EQ(gLastControlReleaseMs, GetMilliseconds() - (World().NowMs() - 100));
}

TEST_F(EventTapTest, ControlReleaseSeenByEventAndTickCountsOnce) {
  ControlAt(1000, true, true);
  ControlAt(1120, false, true);
  const uint64_t release = GetMilliseconds();
  World().RunUntil(1160);  // the tick at 1150 sees Control up as well
  EXPECT_EQ(gLastControlReleaseMs, release);
  ControlAt(1300, true, true);
  ControlAt(1420, false, true);
  World().RunUntil(1500);
  EXPECT_EQ(Switches(), 1u);
  EXPECT_EQ(gLastControlReleaseMs, 0u);
}

TEST_F(EventTapTest, ControlShortcutsTypedInQuickSuccessionSwitch) {
  // Control-C, then Control-V, releases 400 ms apart.
  ControlAt(1000, true, true);
  KeyAt(1010, kEventKeyDown, 8);
  KeyAt(1030, kEventKeyUp, 8);
  ControlAt(1060, false, true);
  ControlAt(1400, true, true);
  KeyAt(1410, kEventKeyDown, 9);
  KeyAt(1430, kEventKeyUp, 9);
  ControlAt(1460, false, true);
  EXPECT_EQ(Switches(), 1u);
}

TEST_F(EventTapTest, EachEventTypeReachesOnlyItsRecogniser) {
  // Run between ticks (T = 1010..1040) so that only events act.
  RunAt(1010, [this] {
    // Live state that disagrees with what the events say.
    In().SetLiveControl(true);
    In().SetLiveButton(0, true);
    In().SetLiveButton(1, true);
    In().Deliver(kEventKeyDown, 12);
    In().Deliver(kEventKeyUp, 13);
  });
  EXPECT_FALSE(gControlKeyDown) << "key events do not run the Control recogniser";
  EXPECT_EQ(gMouseComboTimer, nullptr) << "nor the chord";
  RunAt(1020, [this] { In().Deliver(kEventLeftMouseDown, 0, 0); });
  EXPECT_EQ(MSButton, 0x10);
  EXPECT_FALSE(gControlKeyDown) << "a mouse event does not run the Control recogniser";
  EXPECT_NE(gMouseComboTimer, nullptr) << "the chord predicate read the live state";
  EXPECT_EQ(uKBTimeMs, 0u);
  RunAt(1030, [this] {
    In().SetLiveButton(0, false);
    In().Deliver(kEventFlagsChanged);
  });
  EXPECT_TRUE(gControlKeyDown);
  EXPECT_NE(gMouseComboTimer, nullptr) << "flags-changed does not run the chord";
  RunAt(1040, [this] { In().Deliver(kEventKeyUp, 12); });
  EXPECT_EQ(wPreKBKey, 12);
  EXPECT_EQ(MSButton, 0x10);
}

// Stands in for the application delegate's termination hook.
class StoppingDelegate : public platform::AppDelegate {
 public:
  void applicationDidFinishLaunching() override {}
  void applicationWillTerminate() override {
    ++terminations;
    StopEventTap();
  }
  bool applicationShouldTerminateAfterLastWindowClosed() override { return false; }
  int terminations = 0;
};

TEST_F(EventTapTest, QDoubleTapWritesQuitAndTerminates) {
  StoppingDelegate delegate;
  platform::Sys().app->SetDelegate(&delegate);
  CaptureConsole();
  KeyAt(1000, kEventKeyDown, 12);
  KeyAt(1050, kEventKeyUp, 12);
  KeyAt(1200, kEventKeyDown, 12);
  EXPECT_EQ(delegate.terminations, 0);
  KeyAt(1250, kEventKeyUp, 12);
  EXPECT_EQ(Console(), "Quit\n");
  EXPECT_EQ(delegate.terminations, 1);
  EXPECT_FALSE(gEventTap || gEventTapSource || gInputPollTimer);
  EXPECT_FALSE(In().TapExists());
  platform::Sys().app->SetDelegate(nullptr);
}

TEST_F(EventTapTest, AfterTheSystemDisablesTheTapOnlyTheTickFeedsTheRecognisers) {
  RunAt(1000, [this] { In().DisableTapByTimeout(); });
  // Control double-tap in live state; its events are no longer delivered.
  ControlAt(1100, true, true);
  ControlAt(1200, false, true);
  ControlAt(1300, true, true);
  ControlAt(1400, false, true);
  World().RunUntil(1460);
  EXPECT_EQ(Switches(), 1u);
  // The chord in live state.
  RunAt(3000, [this] {
    In().SetLiveButton(0, true);
    In().Deliver(kEventLeftMouseDown, 0, 0);
    In().SetLiveButton(1, true);
    In().Deliver(kEventRightMouseDown, 0, 1);
  });
  EXPECT_EQ(MSButton, 0) << "button events no longer arrive";
  World().RunUntil(4100);
  EXPECT_EQ(Switches(), 2u);
  // Q double-tap: key-ups no longer arrive, so no quit.
  StoppingDelegate delegate;
  platform::Sys().app->SetDelegate(&delegate);
  KeyAt(5000, kEventKeyUp, 12);
  KeyAt(5100, kEventKeyUp, 12);
  EXPECT_EQ(delegate.terminations, 0);
  EXPECT_NE(gEventTap, nullptr);
  platform::Sys().app->SetDelegate(nullptr);
}

TEST(EventCallbackTest, ReturnsTheEventUnchangedForEveryType) {
  auto world = sim::World::Create({});
  world->Install();
  switch_test::ResetSwitchState();
  sim::SimEvent event{};
  const platform::EventRef ref = sim::ToEventRef(&event);
  for (uint32_t type : {0u, 1u, 2u, 5u, 10u, 11u, 12u, 22u, 27u, kEventTapDisabledByTimeout,
                        kEventTapDisabledByUserInput}) {
    event.type = type;
    EXPECT_EQ(eventCallback(nullptr, type, ref, nullptr), ref) << type;
    EXPECT_EQ(eventCallback(nullptr, type, nullptr, nullptr), nullptr) << type;
  }
  switch_test::ResetSwitchState();
}

TEST(EventCallbackTest, MouseTypesAndTheMaskAgree) {
  const std::vector<uint32_t> mouse = {1, 2, 3, 4, 6, 7, 25, 26, 27};
  uint64_t mask = (1u << kEventKeyDown) | (1u << kEventKeyUp) | (1u << kEventFlagsChanged);
  for (uint32_t type = 0; type < 64; ++type) {
    const bool expected = std::find(mouse.begin(), mouse.end(), type) != mouse.end();
    EXPECT_EQ(IsMouseEvent(type), expected) << type;
    if (expected) mask |= uint64_t{1} << type;
  }
  EXPECT_FALSE(IsMouseEvent(kEventTapDisabledByTimeout));
  EXPECT_FALSE(IsMouseEvent(kEventTapDisabledByUserInput));
  EXPECT_EQ(kEventTapMask, mask);
  EXPECT_EQ(kEventTapMask & ((1u << kEventMouseMoved) | (1u << kEventScrollWheel)), 0u);
}

TEST_F(EventTapTest, CallbackAllocatesNothingForEventsThatRequestNothing) {
  long allocations = -1;
  RunAt(1010, [this, &allocations] {
    sim::SimEvent events[] = {{kEventKeyDown, 12, 0},      {kEventKeyUp, 12, 0},
                              {kEventKeyUp, 13, 0},        {kEventFlagsChanged, 0, 0},
                              {kEventLeftMouseDown, 0, 0}, {kEventLeftMouseDragged, 0, 0},
                              {kEventLeftMouseUp, 0, 0},   {kEventTapDisabledByTimeout, 0, 0}};
    In().SetLiveControl(true);
    alloc_counter::Start();
    for (sim::SimEvent& e : events) eventCallback(nullptr, e.type, sim::ToEventRef(&e), nullptr);
    allocations = alloc_counter::Stop();
  });
  EXPECT_EQ(allocations, 0);
  EXPECT_TRUE(gControlKeyDown) << "the events were handled";
  EXPECT_EQ(wPreKBKey, 12);
}

}  // namespace
