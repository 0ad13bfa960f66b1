// Gestures under the conditions that fooled them: taps from two keyboards
// served out of order or late, device clocks that run ahead, releases made
// up for a device that went away, and keys held around a "clean" tap. Each
// case is a timeline in the scenario language, fed to the running tap.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <variant>

#include "gestures/gesture_settings.h"
#include "gestures/settings_change.h"
#include "scenario_runner/parser.h"
#include "switch_test_support.h"

namespace {

struct Case {
  const char* name;
  bool clean;  // control_taps = "clean"
  const char* scenario;
  size_t switches;
  int quits;
};

// Device 1 and 2 are keyboards, 3 and 4 mice; device input is read as on
// Linux (input by-device) unless a case says otherwise.
const Case kCases[] = {
    // Taps pair on their true distance, whichever is served first. Where a
    // gesture is expected the hold stays under a second: one read later is
    // let go.
    {"two taps 1.5 s apart, the later-opened keyboard's first, served together", false,
     "at 900 hold 2500\n"
     "at 1000 device 2 ctrl down\nat 1050 device 2 ctrl up\n"
     "at 2500 device 1 ctrl down\nat 2550 device 1 ctrl up\n",
     0, 0},
    {"a double-tap across keyboards served out of order still switches", false,
     "at 900 hold 600\n"
     "at 1000 device 2 ctrl down\nat 1050 device 2 ctrl up\n"
     "at 1300 device 1 ctrl down\nat 1350 device 1 ctrl up\n",
     1, 0},
    {"a keyboard 10 s ahead, then single taps 1.5 s apart", false,
     "device 2 clock +10000\n"
     "at 1000 device 2 ctrl down\nat 1050 device 2 ctrl up\n"
     "at 2500 device 1 ctrl down\nat 2550 device 1 ctrl up\n",
     0, 0},
    {"a keyboard 10 s ahead, its own taps 1.5 s apart served together", false,
     "device 2 clock +10000\nat 900 hold 2500\n"
     "at 1000 device 2 ctrl down\nat 1050 device 2 ctrl up\n"
     "at 2500 device 2 ctrl down\nat 2550 device 2 ctrl up\n",
     0, 0},
    {"a keyboard 10 s ahead still double-taps on its own", false,
     "device 2 clock +10000\n"
     "at 1000 device 2 ctrl down\nat 1050 device 2 ctrl up\n"
     "at 1300 device 2 ctrl down\nat 1350 device 2 ctrl up\n",
     1, 0},
    {"a keyboard 10 s ahead, Qs 1.5 s apart served together", false,
     "device 2 clock +10000\nat 900 hold 2500\n"
     "at 1000 device 2 key down 12\nat 1050 device 2 key up 12\n"
     "at 2500 device 2 key down 12\nat 2550 device 2 key up 12\n",
     0, 0},
    {"a Q pair across keyboards served out of order quits", false,
     "at 900 hold 600\n"
     "at 1000 device 2 key down 12\nat 1050 device 2 key up 12\n"
     "at 1300 device 1 key down 12\nat 1350 device 1 key up 12\n",
     0, 1},
    {"a chord whose release comes from a mouse 10 s ahead", false,
     "device 4 clock +10000\n"
     "at 1000 device 4 button right down\nat 1010 device 3 button left down\n"
     "at 1300 device 4 button right up\nat 1310 device 3 button left up\n",
     0, 0},
    {"a chord made during a hold by a press served after an older one", false,
     "at 900 hold 1300\n"
     "at 1000 device 4 button left down\nat 1500 device 3 button right down\n"
     "at 2300 device 3 button right up\nat 2310 device 4 button left up\n",
     0, 0},
    // A made-up release completes no gesture.
    {"Control held through a 300 ms glitch of its keyboard, then let go", false,
     "at 1000 device 1 ctrl down\nat 1200 device 1 gone\n"
     "at 1500 device 1 ctrl down\nat 1600 device 1 ctrl up\n",
     0, 0},
    {"Control held as its keyboard left, then one tap on the other", false,
     "at 1000 device 1 ctrl down\nat 1200 device 1 gone\n"
     "at 1550 device 2 ctrl down\nat 1600 device 2 ctrl up\n",
     0, 0},
    {"a tap, then Control held as its keyboard left: no pair", false,
     "at 1000 device 2 ctrl down\nat 1050 device 2 ctrl up\n"
     "at 1100 device 1 ctrl down\nat 1200 device 1 gone\n"
     "at 1500 device 2 ctrl down\nat 1550 device 2 ctrl up\n",
     0, 0},
    {"Q held as its keyboard left, then one Q on the other", false,
     "at 1000 device 1 key down 12\nat 1100 device 1 gone\n"
     "at 1300 device 2 key down 12\nat 1350 device 2 key up 12\n",
     0, 0},
    {"a mouse gone 500 ms into the chord", false,
     "at 1000 device 3 button left down\nat 1010 device 3 button right down\n"
     "at 1500 device 3 gone\n",
     0, 0},
    {"made-up releases served in order of happening, without by-device", false,
     "at 0 hold 0\n"
     "at 1000 device 1 ctrl down\nat 1200 device 1 gone\n"
     "at 1550 device 2 ctrl down\nat 1600 device 2 ctrl up\n",
     0, 0},
    // A clean tap has nothing else held at any moment of it.
    {"clean: Shift held, Control tapped twice", true,
     "at 900 device 1 shift down\n"
     "at 1000 device 1 ctrl down\nat 1050 device 1 ctrl up\n"
     "at 1300 device 1 ctrl down\nat 1350 device 1 ctrl up\nat 1500 device 1 shift up\n",
     0, 0},
    {"clean: Alt held on the other keyboard", true,
     "at 900 device 2 alt down\n"
     "at 1000 device 1 ctrl down\nat 1050 device 1 ctrl up\n"
     "at 1300 device 1 ctrl down\nat 1350 device 1 ctrl up\nat 1500 device 2 alt up\n",
     0, 0},
    {"clean: a letter held from before Control", true,
     "at 900 device 1 key down 0\n"
     "at 1000 device 1 ctrl down\nat 1050 device 1 ctrl up\n"
     "at 1300 device 1 ctrl down\nat 1350 device 1 ctrl up\nat 1500 device 1 key up 0\n",
     0, 0},
    {"clean: a letter let go while Control is held", true,
     "at 900 device 1 key down 0\n"
     "at 1000 device 1 ctrl down\nat 1020 device 1 key up 0\nat 1050 device 1 ctrl up\n"
     "at 1300 device 1 ctrl down\nat 1350 device 1 ctrl up\n",
     0, 0},
    {"clean: Shift let go before Control, then two taps", true,
     "at 900 device 1 shift down\nat 950 device 1 shift up\n"
     "at 1000 device 1 ctrl down\nat 1050 device 1 ctrl up\n"
     "at 1300 device 1 ctrl down\nat 1350 device 1 ctrl up\n",
     1, 0},
    {"any: Shift held, Control tapped twice", false,
     "at 900 device 1 shift down\n"
     "at 1000 device 1 ctrl down\nat 1050 device 1 ctrl up\n"
     "at 1300 device 1 ctrl down\nat 1350 device 1 ctrl up\nat 1500 device 1 shift up\n",
     1, 0},
};

class GestureTrustTest : public switch_test::SimTest, public ::testing::WithParamInterface<Case> {
 protected:
  void TearDown() override {
    platform::Sys().app->SetDelegate(nullptr);
    SimTest::TearDown();
  }

  // Runs the case's timeline on the running tap; the by-device reading is
  // on unless the timeline starts with "at 0 hold 0".
  void Run(const Case& c) {
    auto parsed = runner::ParseScenario(c.scenario);
    ASSERT_TRUE(std::holds_alternative<runner::Scenario>(parsed))
        << std::get<runner::ParseError>(parsed).what;
    const runner::Scenario& scenario = std::get<runner::Scenario>(parsed);
    const bool by_device = std::string(c.scenario).rfind("at 0 hold 0", 0) != 0;
    In().SetServeByDevice(by_device);
    In().SetStateChangesArriveAsEvents(by_device);
    for (const auto& [device, offset] : scenario.setup.device_clocks) {
      In().SetDeviceClockOffset(device, offset);
    }
    GestureSettings settings;
    settings.control_taps = c.clean ? ControlTapRule::kClean : ControlTapRule::kAny;
    ApplyGestureSettings(settings);
    ASSERT_TRUE(StartEventTap());
    platform::Sys().app->SetDelegate(&delegate_);
    for (const runner::Step& step : scenario.timeline) {
      World().At(step.t_ms, [this, step] { Perform(step); });
    }
    World().RunUntil(scenario.timeline.back().t_ms + 3000);
  }

  void Perform(const runner::Step& step) {
    if (step.kind == runner::Step::Kind::kHold) {
      World().HoldMainThread(step.hold_ms);
      return;
    }
    const runner::DeviceInput& d = *step.device;
    if (d.kind == runner::DeviceInput::Kind::kGone) {
      In().DeviceGone(d.device);
    } else if (d.kind == runner::DeviceInput::Kind::kButton) {
      In().DeviceButton(d.device, static_cast<uint32_t>(d.code), d.down);
    } else {
      In().DeviceKey(d.device, d.code, d.down);
    }
  }

  switch_test::StoppingDelegate delegate_;
};

TEST_P(GestureTrustTest, SwitchesAndQuitsAsTheUserMeant) {
  const Case& c = GetParam();
  Run(c);
  EXPECT_EQ(WrittenPortSelects().size(), c.switches) << c.name;
  EXPECT_EQ(delegate_.terminations, c.quits) << c.name;
  EXPECT_EQ(gMouseComboTimer, nullptr) << c.name;
}

INSTANTIATE_TEST_SUITE_P(Cases, GestureTrustTest, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<Case>& info) {
                           return "case" + std::to_string(info.index);
                         });

}  // namespace
