// Whether the tool may read input, asked without making a tap: the event
// nodes this user can open, and membership of the group that owns them.
#include <dirent.h>
#include <fcntl.h>
#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <string>
#include <vector>

#include "platform/linux/input/input_access.h"

namespace linux_platform {
namespace {

bool IsEventNode(const char* name) {
  return std::strncmp(name, "event", 5) == 0 && name[5] != '\0';
}

// Whether the process is in group `name` (primary or supplementary).
bool InGroup(const char* name) {
  const struct group* g = ::getgrnam(name);
  if (g == nullptr) return false;
  if (::getegid() == g->gr_gid) return true;
  const int count = ::getgroups(0, nullptr);
  if (count <= 0) return false;
  std::vector<gid_t> groups(static_cast<size_t>(count));
  const int got = ::getgroups(count, groups.data());
  for (int i = 0; i < got; ++i) {
    if (groups[static_cast<size_t>(i)] == g->gr_gid) return true;
  }
  return false;
}

}  // namespace

InputGroupStanding InputGroupStandingNow(const char* group) {
  if (InGroup(group)) return InputGroupStanding::kInGroup;
  // The group database may list the user already: the session's groups
  // were fixed at login.
  const struct group* g = ::getgrnam(group);
  const struct passwd* pw = ::getpwuid(::getuid());
  if (g == nullptr || pw == nullptr || pw->pw_name == nullptr)
    return InputGroupStanding::kNotMember;
  if (pw->pw_gid == g->gr_gid) return InputGroupStanding::kJoinedNotActive;
  for (char** member = g->gr_mem; member != nullptr && *member != nullptr; ++member) {
    if (std::strcmp(*member, pw->pw_name) == 0) return InputGroupStanding::kJoinedNotActive;
  }
  return InputGroupStanding::kNotMember;
}

std::string InputAccessAdvice(InputGroupStanding standing) {
  switch (standing) {
    case InputGroupStanding::kInGroup:
      return "you are in the input group, so the devices' own permissions refuse it; check that "
             "they belong to the group input and that it may read them (ls -l /dev/input)";
    case InputGroupStanding::kJoinedNotActive:
      return "you joined the input group after this session started; log out and in again";
    case InputGroupStanding::kNotMember:
      break;
  }
  return "add yourself to the input group (sudo usermod -aG input $USER), then log out and in "
         "again";
}

std::string InputAccessFix() {
  return "No input device can be read: " + InputAccessAdvice(InputGroupStandingNow()) + ".";
}

bool CheckInputAccessIn(const std::string& dir, std::string* detail, std::string* fix) {
  int nodes = 0;
  int readable = 0;
  if (DIR* folder = ::opendir(dir.c_str())) {
    while (const struct dirent* entry = ::readdir(folder)) {
      if (!IsEventNode(entry->d_name)) continue;
      ++nodes;
      const std::string path = dir + "/" + entry->d_name;
      const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
      if (fd >= 0) {
        ++readable;
        ::close(fd);
      }
    }
    ::closedir(folder);
  }
  const InputGroupStanding standing = InputGroupStandingNow();
  std::string found = std::to_string(readable) + " of " + std::to_string(nodes) +
                      " event devices in " + dir + " readable";
  found += standing == InputGroupStanding::kInGroup ? "; in the input group"
           : standing == InputGroupStanding::kJoinedNotActive
               ? "; in the input group from the next login"
               : "; not in the input group";
  if (detail) *detail = found;
  if (readable > 0) return true;
  if (fix) *fix = "No input device can be read: " + InputAccessAdvice(standing) + ".";
  return false;
}

}  // namespace linux_platform
