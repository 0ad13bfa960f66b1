// Whether this user may read the input devices, and what to do where not:
// the words the tap, the follower of new devices and --diagnose share.
#pragma once

#include <string>

namespace linux_platform {

// Where this user stands with the group that owns the input devices.
enum class InputGroupStanding {
  kInGroup,          // this process has the group: it is not what refuses
  kJoinedNotActive,  // a member, but this session started before joining
  kNotMember,
};
// `group` is the input group's name; the tests give another.
InputGroupStanding InputGroupStandingNow(const char* group = "input");
// What to do about an input device that cannot be read, for that standing:
// a clause that starts in lower case and has no full stop.
std::string InputAccessAdvice(InputGroupStanding standing);
// The line a user reads when no input device could be opened.
std::string InputAccessFix();

// Counts the event nodes in `dir` this user can open for reading, as the
// tap would open them: true when there is one. `detail` receives what was
// found, `fix` (when none is readable) what to do.
bool CheckInputAccessIn(const std::string& dir, std::string* detail, std::string* fix);

}  // namespace linux_platform
