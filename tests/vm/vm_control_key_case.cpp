// The real-kernel case of control_key: a tool bound to the right Control
// key switches on its double-tap and not on the left key's, and the left key
// between two right taps breaks the pair. Both keys come from one uinput
// keyboard, through the kernel's key filter, which must pass both.
#include <linux/input.h>
#include <sys/stat.h>

#include <cstdlib>
#include <string>

#include "uinput_device.h"
#include "vm_cases.h"
#include "vm_world.h"

namespace vm {

void CaseRightControlOnly(World& w) {
  w.child.reset();  // a tool still running holds the lock
  const std::string config = "/tmp/right-control-config";
  ::mkdir(config.c_str(), 0755);
  ::mkdir((config + "/quembrastella-switch").c_str(), 0755);
  const std::string file = config + "/quembrastella-switch/config.toml";
  Check(CreateFile(file) && WriteFile(file, "control_key = \"right\"\n"), "settings written");
  ::setenv("XDG_CONFIG_HOME", config.c_str(), 1);
  const bool started = StartTool(w);
  ::unsetenv("XDG_CONFIG_HOME");
  if (!started) return;
  Check(w.child->CountSince(0, "double-tap right Control") == 1,
        "the banner names the right Control key");
  SleepMs(300);
  DoubleTap(*w.keyboard, KEY_LEFTCTRL);
  Check(HubLeftAlone(w, 400), "a left Control double-tap left the hub alone");
  SleepMs(800);  // past the double-tap window
  w.keyboard->Tap(KEY_RIGHTCTRL);
  SleepMs(80);
  w.keyboard->Tap(KEY_LEFTCTRL);
  SleepMs(80);
  w.keyboard->Tap(KEY_RIGHTCTRL);
  Check(HubLeftAlone(w, 400), "right, left, right Control taps left the hub alone");
  SleepMs(800);
  DoubleTap(*w.keyboard, KEY_RIGHTCTRL);
  ExpectSwitch(w, "ctrl-ctrl");
  DoubleTap(*w.keyboard, KEY_Q);
  Check(w.child->WaitExit(5000) == 0, "the tool bound to the right Control ended with status 0");
}

}  // namespace vm
