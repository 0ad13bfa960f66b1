// What the real-kernel cases share: the machine as they see it, checks that
// count failures, and the steps of a gesture and a switch. The cases live in
// vm_cases.cpp (with the program's main) and vm_more_cases.cpp.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "uinput_device.h"
#include "vm_world.h"

namespace vm {

struct World {
  std::string tool;
  HubLog* hub = nullptr;
  std::string control_dir;
  Gadget gadget;
  std::unique_ptr<UinputDevice> keyboard;
  std::unique_ptr<UinputDevice> mouse;
  std::unique_ptr<ChildProcess> child;
};

// Failed checks so far.
extern int gFailures;

// Records a failed check and says which.
bool Check(bool ok, const std::string& what);
void DoubleTap(UinputDevice& device, uint16_t key);
// Waits for a whole switch: the tool's line for `source`, and the hub's
// write of the inverted port bit. Returns the value written, or -1.
int ExpectSwitch(World& w, const std::string& source);
// Starts the tool and waits until it has opened the keyboard and the mouse.
bool StartTool(World& w);
// True when no request reaches the hub for `ms` (nothing was switched).
bool HubLeftAlone(World& w, int ms);

// Where both hooks, set before the tool starts, write what they saw.
inline constexpr const char* kHookLog = "/tmp/hooks.log";

// Wake-ups of the tool, as the kernel counts them, during `action`.
template <class F>
uint64_t WakeupsDuring(World& w, F action) {
  const WakeCounts a = ReadWakeCounts(w.child->pid());
  action();
  const WakeCounts b = ReadWakeCounts(w.child->pid());
  return (b.voluntary + b.involuntary) - (a.voluntary + a.involuntary);
}

// The cases of vm_more_cases.cpp.
void CaseHubHooks(World& w);
void CaseTapsOutOfOrder(World& w);
void CaseKeyboardLeavesWithKeysHeld(World& w);
void CaseCleanControlTaps(World& w);
// The case of vm_two_hubs.cpp.
void CaseTwoHubs(World& w);
// vm_control_key_case.cpp.
void CaseRightControlOnly(World& w);

}  // namespace vm
