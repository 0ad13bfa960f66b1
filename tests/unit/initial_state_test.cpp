// The process-wide variables as the process starts: read by a static
// initialiser of this file, before any test (or the tool) has touched them.
// They are constant-initialised, so they hold these values before any
// dynamic initialiser runs.
#include <gtest/gtest.h>

#include <cstdint>

#include "app/instance_lock.h"
#include "app/startup.h"
#include "gestures/event_tap.h"
#include "gestures/keyboard_gestures.h"
#include "gestures/mouse_chord.h"
#include "hub/port_switch.h"
#include "output/show_msg.h"
#include "ui/app_delegate.h"

namespace {

struct AtStart {
  bool console_mode, log_file, dbg_msg;
  bool has_lock;
  bool started_from_service, installed_this_run, has_delegate;
  uint64_t last_switch_ms;
  bool control_down;
  uint64_t last_control_release_ms;
  int32_t pre_key;
  uint32_t key_time_ms;
  uint8_t buttons;
  bool has_hold_timer, triggered;
  bool has_tap, has_source, has_poll_timer;
};

const AtStart kAtStart = {
    gConsoleMode,
    gLogFile,
    gDbgMsg,
    gSingleInstanceLockFd != nullptr,
    gStartedFromService,
    gInstalledServiceThisRun,
    gAppDelegate != nullptr,
    gLastSwitchMs,
    gControlKeyDown,
    gLastControlReleaseMs,
    wPreKBKey,
    uKBTimeMs,
    MSButton,
    gMouseComboTimer != nullptr,
    gMouseComboTriggered,
    gEventTap != nullptr,
    gEventTapSource != nullptr,
    gInputPollTimer != nullptr,
};

TEST(InitialStateTest, OutputSwitchesStartWithOnlyTheTraceOn) {
  EXPECT_FALSE(kAtStart.console_mode);
  EXPECT_FALSE(kAtStart.log_file);
  EXPECT_TRUE(kAtStart.dbg_msg);
}

TEST(InitialStateTest, NoLockNoFlagsNoDelegate) {
  EXPECT_FALSE(kAtStart.has_lock);
  EXPECT_FALSE(kAtStart.started_from_service);
  EXPECT_FALSE(kAtStart.installed_this_run);
  EXPECT_FALSE(kAtStart.has_delegate);
}

TEST(InitialStateTest, RecognisersAndSwitchStartIdle) {
  EXPECT_EQ(kAtStart.last_switch_ms, 0u);
  EXPECT_FALSE(kAtStart.control_down);
  EXPECT_EQ(kAtStart.last_control_release_ms, 0u);
  EXPECT_EQ(kAtStart.pre_key, 0);
  EXPECT_EQ(kAtStart.key_time_ms, 0u);
  EXPECT_EQ(kAtStart.buttons, 0);
  EXPECT_FALSE(kAtStart.has_hold_timer);
  EXPECT_FALSE(kAtStart.triggered);
}

TEST(InitialStateTest, InputWatchingStartsStopped) {
  EXPECT_FALSE(kAtStart.has_tap);
  EXPECT_FALSE(kAtStart.has_source);
  EXPECT_FALSE(kAtStart.has_poll_timer);
}

}  // namespace
