// The tap and the poll timer as one unit: how they are made, scheduled and
// released, seen through platform objects that journal their lives.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "platform/event_types.h"
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
  platform::InputEvent press{platform::kEventRightMouseDown, 0, 1};
  eventCallback(nullptr, platform::kEventRightMouseDown, &press, nullptr);
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

}  // namespace
