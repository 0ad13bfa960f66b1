// The tool as the desktop sees it: one desktop ID for the applications
// entry, the autostart entry and the icon; the icon set in the hicolor
// theme; folders no other user may write to; the tray module loaded only
// from absolute places; and a background start that never waits on the
// terminal.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdint>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "platform/linux/files/linux_files.h"
#include "platform/linux/qt/notice_throttle.h"
#include "platform/linux/ui/gui_loader.h"
#include "platform/linux/ui/headless_ui.h"
#include "platform/services.h"
#include "service/launch_agent.h"
#include "shared/product.h"
#include "support/hostile_support.h"

namespace {

using linux_platform::LinuxFiles;
using linux_platform::XdgEnvironment;

const std::string kResources = std::string(QS_SOURCE_DIR) + "/resources/linux";

// The value of `key` in a desktop entry's text; "" when it has none.
std::string EntryValue(const std::string& text, const std::string& key) {
  std::istringstream lines(text);
  std::string line;
  while (std::getline(lines, line)) {
    if (line.rfind(key + "=", 0) == 0) return line.substr(key.size() + 1);
  }
  return "";
}

// Width and height from a PNG's header; 0 x 0 when it is no PNG.
std::pair<uint32_t, uint32_t> PngSize(const std::string& path) {
  const std::string bytes = hostile::Slurp(path);
  if (bytes.size() < 24 || bytes.compare(1, 3, "PNG") != 0) return {0, 0};
  auto word = [&](size_t at) {
    uint32_t v = 0;
    for (size_t i = 0; i < 4; ++i) v = (v << 8) | static_cast<unsigned char>(bytes[at + i]);
    return v;
  };
  return {word(16), word(20)};
}

class DesktopIdentityTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_FALSE(home_.empty()); }
  void TearDown() override { platform::InstallServices(platform::Services{}); }
  hostile::TempFolder made_{"qs-identity"};
  const std::string home_ = made_.path();
};

TEST_F(DesktopIdentityTest, MenuEntryAutostartEntryAndIconShareOneDesktopId) {
  const std::string id = kAgentLabel;
  // The applications entry as the build makes it for installing.
  const std::string menu_path = QS_MENU_ENTRY_FILE;
  EXPECT_EQ(menu_path.substr(menu_path.rfind('/') + 1), id + ".desktop");
  const std::string menu_entry = hostile::Slurp(menu_path);
  ASSERT_FALSE(menu_entry.empty()) << menu_path;
  EXPECT_EQ(EntryValue(menu_entry, "Icon"), id);
  EXPECT_EQ(EntryValue(menu_entry, "Name"), kProductName);

  // The autostart entry the tool writes: the same file name, the same icon.
  LinuxFiles files(XdgEnvironment{home_, std::nullopt, std::nullopt, std::nullopt});
  platform::Services services;
  services.files = &files;
  platform::InstallServices(services);
  ASSERT_TRUE(InstallLaunchAgent(nullptr));
  const std::string autostart = LaunchAgentPlistPath();
  EXPECT_EQ(autostart, home_ + "/.config/autostart/" + id + ".desktop");
  const std::string written = hostile::Slurp(autostart);
  EXPECT_EQ(EntryValue(written, "Icon"), id);
  EXPECT_EQ(EntryValue(written, "Name"), kProductName);
}

TEST_F(DesktopIdentityTest, TheIconSetCoversEveryHicolorSizeAndADarkPanelVariant) {
  const std::string id = kAgentLabel;
  const std::string hicolor = kResources + "/icons/hicolor";
  for (const uint32_t size : {16u, 22u, 24u, 32u, 48u, 64u, 128u, 256u}) {
    const std::string folder = std::to_string(size) + "x" + std::to_string(size);
    EXPECT_EQ(PngSize(hicolor + "/" + folder + "/apps/" + id + ".png"), std::make_pair(size, size))
        << folder;
  }
  const std::string scalable = hostile::Slurp(hicolor + "/scalable/apps/" + id + ".svg");
  EXPECT_NE(scalable.find("<svg"), std::string::npos);
  // The symbolic variant is one light grey ink, visible on dark panels too.
  const std::string symbolic = hostile::Slurp(hicolor + "/symbolic/apps/" + id + "-symbolic.svg");
  EXPECT_NE(symbolic.find("<svg"), std::string::npos);
  EXPECT_EQ(symbolic.find("#206ec8"), std::string::npos);
  EXPECT_EQ(symbolic.find("#282830"), std::string::npos);
}

TEST_F(DesktopIdentityTest, FoldersTheToolCreatesAreNeverWritableByOthers) {
  const int status = hostile::InChild(
      [this] {
        ::umask(0);
        LinuxFiles files(
            XdgEnvironment{home_ + "/fresh", std::nullopt, std::nullopt, std::nullopt});
        platform::Services services;
        services.files = &files;
        platform::InstallServices(services);
        if (!InstallLaunchAgent(nullptr)) return 1;
        int failed = 0;
        for (const std::string& folder :
             {home_ + "/fresh", home_ + "/fresh/.config", home_ + "/fresh/.config/autostart"}) {
          struct stat st {};
          if (::stat(folder.c_str(), &st) != 0 || (st.st_mode & 022) != 0) ++failed;
        }
        return failed;
      },
      20);
  EXPECT_EQ(status, 0);
}

TEST(GuiModuleCandidatesTest, OnlyAbsolutePlacesBesideTheExecutable) {
  EXPECT_EQ(linux_platform::GuiModuleCandidates("/opt/qs/bin/tool"),
            (std::vector<std::string>{
                "/opt/qs/bin/quembrastella-switch-qt.so",
                "/opt/qs/bin/../lib/quembrastella-switch/quembrastella-switch-qt.so"}));
  // Unknown (no /proc) or relative: nothing, never the working folder.
  EXPECT_TRUE(linux_platform::GuiModuleCandidates("").empty());
  EXPECT_TRUE(linux_platform::GuiModuleCandidates("tool").empty());
  EXPECT_TRUE(linux_platform::GuiModuleCandidates("./bin/tool").empty());
  std::string error;
  int argc = 1;
  char name[] = "tool";
  char* argv[] = {name, nullptr};
  EXPECT_EQ(linux_platform::GuiModule::Open("", &argc, argv, &error), nullptr);
  EXPECT_NE(error.find("/proc"), std::string::npos) << error;
}

// In a child that owns a new session with a pseudo-terminal as its
// controlling terminal: whether the terminal counts, in the foreground and
// after another process group has taken the foreground (as the shell does
// for `tool &`). Exit status: bit 0 foreground wrong, bit 1 background
// wrong, 8 when the set-up failed.
int ForegroundCheck() {
  const int master = ::posix_openpt(O_RDWR | O_NOCTTY);
  if (master < 0 || ::grantpt(master) != 0 || ::unlockpt(master) != 0) return 8;
  const char* slave_name = ::ptsname(master);
  if (slave_name == nullptr || ::setsid() < 0) return 8;
  const int slave = ::open(slave_name, O_RDWR);  // becomes the controlling terminal
  if (slave < 0) return 8;
  int result = 0;
  if (!linux_platform::IsForegroundTerminal(slave)) result |= 1;
  const pid_t other = ::fork();
  if (other == 0) {
    ::setpgid(0, 0);
    ::pause();
    ::_exit(0);
  }
  ::setpgid(other, other);
  ::signal(SIGTTOU, SIG_IGN);
  if (::tcsetpgrp(slave, other) != 0) result = 8;
  if (linux_platform::IsForegroundTerminal(slave)) result |= 2;
  ::kill(other, SIGKILL);
  ::waitpid(other, nullptr, 0);
  return result;
}

TEST(ForegroundTerminalTest, ABackgroundStartCountsAsNoTerminal) {
  EXPECT_EQ(hostile::InChild(ForegroundCheck, 20), 0);
  // Not a terminal at all.
  int pipe_fds[2];
  ASSERT_EQ(::pipe(pipe_fds), 0);
  EXPECT_FALSE(linux_platform::IsForegroundTerminal(pipe_fds[0]));
  ::close(pipe_fds[0]);
  ::close(pipe_fds[1]);
}

}  // namespace

namespace {

TEST(NoticeThrottleTest, OneNoticePerKindInEachWindow) {
  linux_platform::NoticeThrottle throttle(5000);
  EXPECT_TRUE(throttle.Allow("absent", 1000));
  EXPECT_FALSE(throttle.Allow("absent", 5999));     // 4999 ms later: still the same window
  EXPECT_TRUE(throttle.Allow("permission", 2000));  // another kind has its own window
  EXPECT_TRUE(throttle.Allow("absent", 6000));      // exactly one window later
  EXPECT_FALSE(throttle.Allow("absent", 6001));     // a shown notice restarts the window...
  EXPECT_FALSE(throttle.Allow("absent", 10999));
  EXPECT_TRUE(throttle.Allow("absent", 11000));  // ...a refused one does not
}

}  // namespace
