#include "platform/linux/usb/usb_access.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <string>

#ifndef QS_UDEV_RULES_DIR
#define QS_UDEV_RULES_DIR ""
#endif
#ifndef QS_BUILD_DIR
#define QS_BUILD_DIR ""
#endif

namespace linux_platform {
namespace {

std::vector<std::string> SplitColons(const std::string& text) {
  std::vector<std::string> parts;
  size_t start = 0;
  while (start <= text.size()) {
    const size_t end = std::min(text.find(':', start), text.size());
    if (end > start) parts.push_back(text.substr(start, end - start));
    start = end + 1;
  }
  return parts;
}

bool Older(const struct timespec& a, const struct timespec& b) {
  return a.tv_sec < b.tv_sec || (a.tv_sec == b.tv_sec && a.tv_nsec < b.tv_nsec);
}

// The value of `key` in logind's record of this user; empty when missing.
std::string RecordValue(const std::string& path, const std::string& key) {
  std::ifstream in(path);
  std::string line;
  while (std::getline(in, line)) {
    if (line.compare(0, key.size() + 1, key + "=") == 0) return line.substr(key.size() + 1);
  }
  return "";
}

SeatStanding Standing(const std::string& users_dir) {
  struct stat st {};
  if (::stat(users_dir.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return SeatStanding::kNoLogind;
  const std::string record = users_dir + "/" + std::to_string(::geteuid());
  return RecordValue(record, "ACTIVE_SEATS").empty() ? SeatStanding::kNotAtSeat
                                                     : SeatStanding::kActive;
}

constexpr const char* kTrigger = "sudo udevadm trigger --subsystem-match=usb";

}  // namespace

UsbAccessPlaces UsbAccessPlaces::ForThisSystem() {
  UsbAccessPlaces places;
  if (const char* dirs = std::getenv("QS_TEST_UDEV_RULES_DIRS")) {
    places.rule_dirs = SplitColons(dirs);
  } else {
    // Where a source install (by default) and the package put it, and the
    // other folders udev reads.
    places.rule_dirs = {"/etc/udev/rules.d", "/run/udev/rules.d", "/usr/local/lib/udev/rules.d",
                        "/usr/lib/udev/rules.d", "/lib/udev/rules.d"};
    const std::string chosen = QS_UDEV_RULES_DIR;
    if (!chosen.empty()) places.rule_dirs.insert(places.rule_dirs.begin(), chosen);
  }
  if (const char* users = std::getenv("QS_TEST_LOGIND_USERS_DIR")) places.users_dir = users;
  places.build_dir = QS_BUILD_DIR;
  return places;
}

std::optional<std::string> FindUdevRule(const UsbAccessPlaces& places) {
  for (const std::string& dir : places.rule_dirs) {
    const std::string path = dir + "/" + kUdevRuleName;
    struct stat st {};
    // An empty file, or a link to /dev/null, masks the rule of that name.
    if (::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && st.st_size > 0) return path;
  }
  return std::nullopt;
}

UsbAccessFacts GatherUsbAccessFacts(const UsbAccessPlaces& places, const std::string& node,
                                    const std::string& executable) {
  UsbAccessFacts facts;
  facts.rule = FindUdevRule(places);
  for (const std::string& dir : places.rule_dirs) {
    facts.searched += (facts.searched.empty() ? "" : ", ") + dir;
  }
  facts.seat = Standing(places.users_dir);
  facts.package = executable.rfind("/usr/bin/", 0) == 0;
  facts.build_dir = places.build_dir;
  facts.node = node;
  if (facts.rule) {
    // udev gives the access when it handles the device; a node that has not
    // changed since the rule came was handled before it.
    struct stat rule {
    }, device{};
    if (::stat(facts.rule->c_str(), &rule) == 0 && ::stat(node.c_str(), &device) == 0) {
      facts.plugged_before_rule = Older(device.st_ctim, rule.st_ctim);
    }
  }
  return facts;
}

std::string InstallRuleFix(bool package, const std::string& build_dir) {
  if (package) {
    return "reinstall the package (sudo apt-get install --reinstall quembrastella-switch), "
           "which installs it and gives the hub its access at once";
  }
  struct stat st {};
  const bool built_here = !build_dir.empty() && ::stat(build_dir.c_str(), &st) == 0;
  return "install it from the source folder (sudo cmake --install " +
         (built_here ? build_dir : std::string("BUILD-FOLDER")) +
         "), then unplug and replug the hub";
}

std::string UsbAccessFixFor(const UsbAccessFacts& f) {
  if (!f.rule) {
    return "Permission denied on the hub: the udev rule " + std::string(kUdevRuleName) +
           " is not installed (looked in " + f.searched + "); " +
           InstallRuleFix(f.package, f.build_dir) + ".";
  }
  if (f.plugged_before_rule) {
    return "Permission denied on the hub: the udev rule " + *f.rule +
           " came after the hub was plugged in; unplug and replug the hub, or run " + kTrigger +
           ".";
  }
  switch (f.seat) {
    case SeatStanding::kNotAtSeat:
      return "Permission denied on the hub: the udev rule " + *f.rule +
             " gives it only to the user of the session in front at this computer, not over "
             "ssh or su; run the tool in your desktop session at this computer.";
    case SeatStanding::kNoLogind:
      return "Permission denied on the hub: the udev rule " + *f.rule +
             " gives it through systemd-logind, which does not run here; add GROUP=\"plugdev\", "
             "MODE=\"0660\" to a copy of it in /etc/udev/rules.d, join that group, then replug "
             "the hub.";
    case SeatStanding::kActive:
      break;
  }
  return "Permission denied on the hub although the udev rule " + *f.rule +
         " is installed: unplug and replug the hub, or run " + kTrigger + " (getfacl " + f.node +
         " shows who may open it).";
}

}  // namespace linux_platform
