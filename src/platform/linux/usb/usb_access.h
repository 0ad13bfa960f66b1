// Why opening the hub was refused, and the fix for this system: whether the
// udev rule is installed (where a package and a source install put it),
// whether the hub was plugged in before it, and whether this user has the
// active session at the seat, to which the rule's "uaccess" gives the hub.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace linux_platform {

// The rule's file name, as it is installed.
inline constexpr const char* kUdevRuleName = "70-quembrastella-switch.rules";

// Where to look. The tests give their own folders.
struct UsbAccessPlaces {
  std::vector<std::string> rule_dirs;  // searched in this order
  // systemd-logind's record of each user ("/run/systemd/users/UID").
  std::string users_dir = "/run/systemd/users";
  // The build folder a source install was made from, for its fix.
  std::string build_dir;
  // The folders udev reads rules from, and this build's own install folder;
  // $QS_TEST_UDEV_RULES_DIRS (colon-separated) and $QS_TEST_LOGIND_USERS_DIR
  // replace them, for the tests only.
  static UsbAccessPlaces ForThisSystem();
};

// Whether this user has a session in front at a seat, as logind says.
enum class SeatStanding {
  kActive,     // an active session at a seat: the rule's access is this user's
  kNotAtSeat,  // logind runs, but no session of this user is in front at a seat
  kNoLogind,   // no logind: "uaccess" gives nobody access
};

// What the refusal comes from.
struct UsbAccessFacts {
  std::optional<std::string> rule;   // the installed rule; none when missing
  bool plugged_before_rule = false;  // the node has not changed since the rule came
  SeatStanding seat = SeatStanding::kActive;
  bool package = false;   // the program runs from /usr/bin, as the package installs it
  std::string searched;   // the folders looked in, for the message
  std::string build_dir;  // see UsbAccessPlaces
  std::string node;       // the hub's device node
};

// The one line that names the cause and the fix.
std::string UsbAccessFixFor(const UsbAccessFacts& facts);

// Finds the installed rule; none when no folder holds it.
std::optional<std::string> FindUdevRule(const UsbAccessPlaces& places);
// The facts for the device node `node` of a hub whose opening was refused,
// for the program at `executable`.
UsbAccessFacts GatherUsbAccessFacts(const UsbAccessPlaces& places, const std::string& node,
                                    const std::string& executable);
// The fix of a missing rule, right for how the program was installed.
std::string InstallRuleFix(bool package, const std::string& build_dir);

}  // namespace linux_platform
