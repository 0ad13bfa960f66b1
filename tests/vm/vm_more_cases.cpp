// The real-kernel cases of the hooks, of taps served out of order by two
// keyboards, of a keyboard leaving with keys held, and of clean Control taps.
#include <linux/input.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "uinput_device.h"
#include "vm_cases.h"
#include "vm_world.h"

namespace vm {

bool HubLeftAlone(World& w, int ms) {
  std::vector<HubRequest> none;
  return !w.hub->WaitFor("read", ms, &none) && none.empty();
}

namespace {

// A second keyboard, opened by the tool after the first.
std::unique_ptr<UinputDevice> SecondKeyboard(World& w) {
  auto second = std::make_unique<UinputDevice>(UinputDevice::Kind::kKeyboard);
  if (!Check(second->ok(), "a second keyboard: " + second->error())) return nullptr;
  if (!Check(w.child->WaitForNode(second->node(), true, 5000),
             "the tool opened the second keyboard")) {
    return nullptr;
  }
  SleepMs(300);
  return second;
}

// The tool stopped (SIGSTOP) while `typing` runs: the kernel keeps each
// keyboard's events, and the tool, going on, serves the keyboard it opened
// first before the one it opened later, so a release typed earlier on the
// later one is handled second.
template <class F>
void WhileStopped(World& w, F typing) {
  ::kill(w.child->pid(), SIGSTOP);
  typing();
  ::kill(w.child->pid(), SIGCONT);
}

}  // namespace

void CaseHubHooks(World& w) {
  // With both hooks set the tool listens to the bus too: idle, it still
  // sleeps.
  const uint64_t idle = WakeupsDuring(w, [] { SleepMs(2000); });
  std::printf("  idle for 2 s with both hooks set: %llu wake-ups\n",
              static_cast<unsigned long long>(idle));
  Check(idle <= 1, "idle with hooks set: at most 1 wake-up");
  Check(w.gadget.Unbind(), "the gadget unbound (the other computer took the hub)");
  Check(w.child->WaitForLine("on_hub_left: exited with status 0", 5000), "on_hub_left ran");
  Check(w.gadget.Bind(), "the gadget bound again (the hub came back)");
  Check(w.child->WaitForLine("on_hub_arrived: exited with status 0", 5000), "on_hub_arrived ran");
  std::ifstream log(kHookLog);
  std::string left, arrived;
  std::getline(log, left);
  std::getline(log, arrived);
  Check(left.rfind("left bus ", 0) == 0 && arrived.rfind("arrived bus ", 0) == 0,
        "the hooks knew the event and that the bus told: '" + left + "', '" + arrived + "'");
  for (int i = 0; i < 250 && HubAddress().empty(); ++i) SleepMs(20);
  SleepMs(200);
}

void CaseTapsOutOfOrder(World& w) {
  std::unique_ptr<UinputDevice> second = SecondKeyboard(w);
  if (!second) return;
  for (int round = 1; round <= 3; ++round) {
    WhileStopped(w, [&] {
      second->Tap(KEY_LEFTCTRL);
      SleepMs(1500);
      w.keyboard->Tap(KEY_LEFTCTRL);
      SleepMs(50);
    });
    Check(HubLeftAlone(w, 600), "round " + std::to_string(round) +
                                    ": taps 1.5 s apart, handled newest first, switched nothing");
    SleepMs(300);
  }
  // A double-tap typed across the two keyboards while stopped switches.
  WhileStopped(w, [&] {
    second->Tap(KEY_LEFTCTRL);
    SleepMs(250);
    w.keyboard->Tap(KEY_LEFTCTRL);
    SleepMs(50);
  });
  ExpectSwitch(w, "ctrl-ctrl");
}

void CaseKeyboardLeavesWithKeysHeld(World& w) {
  std::unique_ptr<UinputDevice> second = SecondKeyboard(w);
  if (!second) return;
  // Unplugged with Control held, then one tap on the other keyboard: the
  // release made up for the unplugged one is no tap.
  second->Key(KEY_LEFTCTRL, true);
  SleepMs(100);
  second.reset();
  SleepMs(400);
  w.keyboard->Tap(KEY_LEFTCTRL);
  Check(HubLeftAlone(w, 800), "Control held as its keyboard left, then one tap: no switch");
  // The same with Q: no quit.
  second = SecondKeyboard(w);
  if (!second) return;
  second->Key(KEY_Q, true);
  SleepMs(100);
  second.reset();
  SleepMs(300);
  w.keyboard->Tap(KEY_Q);
  Check(w.child->WaitExit(800) == -1, "Q held as its keyboard left, then one Q: still running");
  // That Q is pending (the Q double-tap has no expiry): one more, late,
  // ends it, so that the next case starts clean.
  w.keyboard->Tap(KEY_Q);
  SleepMs(300);
}

// A second tool, started with the settings file asking for clean Control
// taps: the kernel must then hand it every key (its key mask widened), or
// the shortcuts' letters would never reach it and Control+C, Control+V
// would make a double-tap.
void CaseCleanControlTaps(World& w) {
  w.child.reset();  // the first tool, should it still run, holds the lock
  const std::string config = "/tmp/clean-config";
  ::mkdir(config.c_str(), 0755);
  ::mkdir((config + "/quembrastella-switch").c_str(), 0755);
  const std::string file = config + "/quembrastella-switch/config.toml";
  Check(CreateFile(file) && WriteFile(file, "control_taps = \"clean\"\n"), "settings written");
  ::setenv("XDG_CONFIG_HOME", config.c_str(), 1);
  const bool started = StartTool(w);
  ::unsetenv("XDG_CONFIG_HOME");
  if (!started) return;
  SleepMs(300);
  for (uint16_t letter : {KEY_C, KEY_V}) {
    w.keyboard->Key(KEY_LEFTCTRL, true);
    SleepMs(40);
    w.keyboard->Tap(letter, 30);
    SleepMs(40);
    w.keyboard->Key(KEY_LEFTCTRL, false);
    SleepMs(120);
  }
  Check(HubLeftAlone(w, 400), "Control+C then Control+V left the hub alone");
  SleepMs(800);  // past the double-tap window
  // Shift held first, then Control tapped twice (a layout switch on many
  // desktops): a modifier held at any moment spoils the taps.
  w.keyboard->Key(KEY_LEFTSHIFT, true);
  SleepMs(60);
  DoubleTap(*w.keyboard, KEY_LEFTCTRL);
  SleepMs(60);
  w.keyboard->Key(KEY_LEFTSHIFT, false);
  Check(HubLeftAlone(w, 400), "Shift held, then two Control taps, left the hub alone");
  w.child->Drain();
  Check(w.child->CountSince(0, "Switch (") == 0, "the tool announced no switch");
  SleepMs(800);  // past the double-tap window
  DoubleTap(*w.keyboard, KEY_LEFTCTRL);
  ExpectSwitch(w, "ctrl-ctrl");
  DoubleTap(*w.keyboard, KEY_Q);
  Check(w.child->WaitExit(5000) == 0, "the second tool ended with status 0");
}

}  // namespace vm
