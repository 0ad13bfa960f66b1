// The autostart entry in hostile surroundings: entries the tool did not
// write, executable paths that are hard to quote, HOME unset or relative,
// and installs that fail part-way. Nothing may crash, stall or be lost.
#include <fcntl.h>
#include <glib.h>
#include <gtest/gtest.h>
#include <pwd.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <functional>
#include <optional>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "platform/linux/files/linux_files.h"
#include "platform/services.h"
#include "service/launch_agent.h"
#include "support/hostile_support.h"

namespace {

using hostile::kLimitAddressSpace;
using hostile::kNobody;
using linux_platform::LinuxFiles;
using linux_platform::XdgEnvironment;

// Runs `body` in a forked child, as `uid` when it is not root's; its exit
// status, or -1 when it was killed (a hang ends by SIGALRM).
int InChild(const std::function<int()>& body, uid_t uid = 0) {
  return uid == 0 ? hostile::InChild(body, 20) : hostile::AsUser(uid, body);
}

// The tool's files with the executable path a test chooses.
class FilesAt : public LinuxFiles {
 public:
  FilesAt(XdgEnvironment env, std::string exe) : LinuxFiles(std::move(env)), exe_(std::move(exe)) {}
  std::optional<std::string> ExecutablePath() override { return exe_; }

 private:
  std::string exe_;
};

class FailingAutostartTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(home_.empty());
    ASSERT_EQ(chmod(home_.c_str(), 0755), 0);
  }
  void TearDown() override { platform::InstallServices(platform::Services{}); }
  // Makes `files` the platform's.
  static void Use(platform::Files& files) {
    platform::Services services;
    services.files = &files;
    platform::InstallServices(services);
  }
  // An executable at `path` (made with its folders).
  static void MakeExecutable(const std::string& path) {
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    ASSERT_TRUE(hostile::Spit(path, "#!/bin/sh\nexit 0\n"));
    ASSERT_EQ(chmod(path.c_str(), 0755), 0);
  }
  XdgEnvironment Env() const { return {home_, std::nullopt, std::nullopt, std::nullopt}; }
  hostile::TempFolder made_{"qs-autostart"};
  const std::string home_ = made_.path();
};

// What may be found at the entry's path. The right label and this
// executable, in a file that is otherwise hostile, must not count either.
struct Hostile {
  std::string name;
  std::function<bool(const std::string& path, const std::string& good)> plant;
};

std::vector<Hostile> HostileEntries() {
  auto bytes = [](std::function<std::string(const std::string& good)> make) {
    return [make](const std::string& path, const std::string& good) {
      return hostile::Spit(path, make(good));
    };
  };
  std::mt19937 random(7);
  std::string noise(4096, '\0');
  for (char& c : noise) c = static_cast<char>(random() & 0xFF);
  return {
      {"sparse 6 GiB",
       [](const std::string& path, const std::string&) {
         const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
         const bool ok = fd >= 0 && ftruncate(fd, off_t{6} << 30) == 0;
         if (fd >= 0) close(fd);
         return ok;
       }},
      {"good entry padded past 64 KiB",
       bytes([](const std::string& good) { return good + "#" + std::string(70000, 'x') + "\n"; })},
      {"random bytes", bytes([noise](const std::string&) { return noise; })},
      {"good entry with a NUL byte",
       bytes([](const std::string& good) { return good + std::string(1, '\0'); })},
      {"good entry with invalid UTF-8",
       bytes([](const std::string& good) { return good + "Comment=\xC3\x28\n"; })},
      {"no group", bytes([](const std::string& good) { return good.substr(good.find('\n') + 1); })},
      {"another group only", bytes([](const std::string& good) {
         return "[Desktop Action x]" + good.substr(good.find('\n'));
       })},
      {"unbalanced quote in Exec", bytes([](const std::string& good) {
         std::string s = good;
         s.insert(s.find("\nExec=") + 6, "\"");
         return s;
       })},
      {"unknown escape in Exec", bytes([](const std::string& good) {
         std::string s = good;
         s.insert(s.find("\nExec=") + 6, "\\q");
         return s;
       })},
      {"only field codes in Exec", bytes([](const std::string& good) {
         std::string s = good;
         const size_t exec = s.find("\nExec=") + 6;
         s.replace(exec, s.find('\n', exec) - exec, "%f %U");
         return s;
       })},
      {"folder",
       [](const std::string& path, const std::string&) { return mkdir(path.c_str(), 0755) == 0; }},
      {"named pipe without writer",
       [](const std::string& path, const std::string&) { return mkfifo(path.c_str(), 0644) == 0; }},
      {"link to /dev/zero",
       [](const std::string& path, const std::string&) {
         return symlink("/dev/zero", path.c_str()) == 0;
       }},
      {"link to itself",
       [](const std::string& path, const std::string&) {
         return symlink(path.c_str(), path.c_str()) == 0;
       }},
  };
}

TEST_F(FailingAutostartTest, HostileEntriesCountAsNoAgentAndTheInstallReplacesThem) {
  const std::string exe = home_ + "/bin/quembrastella-switch";
  MakeExecutable(exe);
  FilesAt files(Env(), exe);
  Use(files);
  ASSERT_TRUE(InstallLaunchAgent(nullptr));
  const std::string path = LaunchAgentPlistPath();
  const std::string good = hostile::Slurp(path);
  ASSERT_TRUE(LaunchAgentServiceExists());

  for (const Hostile& h : HostileEntries()) {
    SCOPED_TRACE(h.name);
    ASSERT_EQ(std::system(("rm -rf '" + path + "'").c_str()), 0);
    ASSERT_TRUE(h.plant(path, good));
    // Within 256 MiB of address space and without waiting.
    EXPECT_EQ(InChild([] {
                rlimit memory{256u << 20, 256u << 20};
                if (kLimitAddressSpace) setrlimit(RLIMIT_AS, &memory);
                return LaunchAgentServiceExists() ? 1 : 0;
              }),
              0);
    if (h.name == "folder") {
      std::string message;
      EXPECT_FALSE(InstallLaunchAgent(&message));
      EXPECT_EQ(message.rfind("Cannot write autostart entry: ", 0), 0u) << message;
    } else {
      EXPECT_TRUE(InstallLaunchAgent(nullptr));
      EXPECT_EQ(hostile::Slurp(path), good);
    }
  }
}

TEST_F(FailingAutostartTest, AnEntryOthersCannotReadCountsAsNoAgent) {
  const std::string exe = home_ + "/bin/quembrastella-switch";
  MakeExecutable(exe);
  FilesAt files(Env(), exe);
  Use(files);
  ASSERT_TRUE(InstallLaunchAgent(nullptr));
  ASSERT_EQ(chmod(LaunchAgentPlistPath().c_str(), 0), 0);
  EXPECT_EQ(InChild([] { return LaunchAgentServiceExists() ? 1 : 0; }, kNobody), 0);
}

// The Exec line as a desktop reads it: GLib's key-file reader undoes the
// value escapes, its shell-style splitter the quoting.
std::vector<std::string> ExecAsGlibReadsIt(const std::string& entry_path) {
  std::vector<std::string> argv;
  GKeyFile* key_file = g_key_file_new();
  if (g_key_file_load_from_file(key_file, entry_path.c_str(), G_KEY_FILE_NONE, nullptr)) {
    gchar* exec = g_key_file_get_string(key_file, "Desktop Entry", "Exec", nullptr);
    gchar** words = nullptr;
    if (exec != nullptr && g_shell_parse_argv(exec, nullptr, &words, nullptr)) {
      for (gchar** w = words; *w != nullptr; ++w) argv.emplace_back(*w);
      g_strfreev(words);
    }
    g_free(exec);
  }
  g_key_file_free(key_file);
  return argv;
}

TEST_F(FailingAutostartTest, HardToQuotePathsAreInstalledFoundAgainAndReadRightByGlib) {
  const std::vector<std::string> names = {
      "Zoë Ñandú/quembrastella switch", "日本語/スイッチ",
      "it's \"quoted\"/tool",           "cost $HOME `id`/tool",
      "semi;colon & pipe|<angle>/tool", "tab\tand=equals#hash/tool",
  };
  for (const std::string& name : names) {
    SCOPED_TRACE(name);
    const std::string exe = home_ + "/apps/" + name;
    MakeExecutable(exe);
    FilesAt files(Env(), exe);
    Use(files);
    std::string message;
    const bool installed = InstallLaunchAgent(&message);
    if (name.find('\t') != std::string::npos) {
      // A control character cannot be written into an entry: refused
      // whole, with no file left.
      EXPECT_FALSE(installed);
      EXPECT_EQ(message.rfind("Cannot create autostart entry: ", 0), 0u) << message;
      continue;
    }
    ASSERT_TRUE(installed) << message;
    EXPECT_TRUE(LaunchAgentServiceExists());
    // Started with its console on, so that its lines reach the session's log.
    EXPECT_EQ(ExecAsGlibReadsIt(LaunchAgentPlistPath()),
              (std::vector<std::string>{exe, "--service", "--console"}));
  }
}

TEST_F(FailingAutostartTest, PathsThatNoEntryHoldsSoundlyAreRefusedWithTheFix) {
  struct Case {
    std::string exe;
    bool exists;
    const char* says;  // in the message: the fix, or what no entry can hold
  };
  const Case cases[] = {
      // A per-cent sign is a field code and a backslash an escape, each read
      // differently by systemd's autostart generator, GLib and the
      // launchers: such an entry might never start, so none is written.
      {home_ + "/apps/100% sure/tool", true, "install again"},
      {home_ + "/apps/back\\slash/tool", true, "install again"},
      // The same for a program that is gone from its path.
      {home_ + "/apps/gone/tool", false, "install again"},
      // A name that is not UTF-8 is legal on Linux, but no entry can hold
      // it: written as is it would be an invalid entry that the desktop and
      // the tool both reject, so every start would ask again and each
      // install would "succeed".
      {home_ + "/apps/caf\xE9/tool", true, "UTF-8"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.exe);
    if (c.exists) MakeExecutable(c.exe);
    FilesAt files(Env(), c.exe);
    Use(files);
    std::string message;
    EXPECT_FALSE(InstallLaunchAgent(&message));
    EXPECT_EQ(message.rfind("Cannot create autostart entry: ", 0), 0u) << message;
    EXPECT_NE(message.find(c.says), std::string::npos) << message;
    EXPECT_NE(access(LaunchAgentPlistPath().c_str(), F_OK), 0);
  }
}

TEST_F(FailingAutostartTest, HomeUnsetOrRelativeFallsBackToTheAccountsHome) {
  const passwd* pw = getpwuid(getuid());
  ASSERT_NE(pw, nullptr);
  const std::string account_home = pw->pw_dir;
  for (const std::optional<std::string>& home :
       {std::optional<std::string>(), std::optional<std::string>("relative/home"),
        std::optional<std::string>("")}) {
    SCOPED_TRACE(home.value_or("(unset)"));
    LinuxFiles files(XdgEnvironment{home, std::nullopt, std::nullopt, std::nullopt});
    EXPECT_EQ(files.HomeDirectory(), account_home);
    EXPECT_EQ(files.AgentDirectory(), account_home + "/.config/autostart");
    EXPECT_EQ(files.ApplicationSupportDirectory(), account_home + "/.local/state");
  }
  // An account the system does not know, without HOME: the paths are still
  // absolute, and the install fails with its message instead of writing
  // somewhere relative to the working folder.
  const std::string cwd = home_ + "/cwd";
  ASSERT_EQ(mkdir(cwd.c_str(), 0777), 0);
  ASSERT_EQ(chmod(cwd.c_str(), 0777), 0);
  const int failures = InChild(
      [&cwd] {
        if (chdir(cwd.c_str()) != 0) return 50;
        LinuxFiles files(XdgEnvironment{std::nullopt, std::nullopt, std::nullopt, std::nullopt});
        Use(files);
        std::string message;
        int failed = 0;
        if (LaunchAgentDirectoryPath()[0] != '/') ++failed;
        if (InstallLaunchAgent(&message)) ++failed;
        if (message.rfind("Cannot create autostart folder: Permission denied", 0) != 0) ++failed;
        return failed;
      },
      54321);
  EXPECT_EQ(failures, 0);
  EXPECT_EQ(std::system(("test -z \"$(ls -A '" + cwd + "')\"").c_str()), 0);
}

TEST_F(FailingAutostartTest, FailedInstallsKeepThePreviousEntryWhole) {
  const std::string exe = home_ + "/bin/quembrastella-switch";
  MakeExecutable(exe);
  FilesAt files(Env(), exe);
  Use(files);
  // The previous entry, for another place.
  {
    MakeExecutable(home_ + "/old/quembrastella-switch");
    FilesAt old(Env(), home_ + "/old/quembrastella-switch");
    Use(old);
    ASSERT_TRUE(InstallLaunchAgent(nullptr));
    Use(files);
  }
  const std::string path = LaunchAgentPlistPath();
  const std::string previous = hostile::Slurp(path);
  const std::string folder = path.substr(0, path.rfind('/'));
  auto expect_intact = [&] {
    EXPECT_EQ(hostile::Slurp(path), previous);
    EXPECT_EQ(std::system(("test \"$(ls -A '" + folder + "' | wc -l)\" = 1").c_str()), 0)
        << "a temporary file was left beside the entry";
  };

  // The write fails part-way: after 0, 1 and 40 bytes.
  for (rlim_t limit : {rlim_t{0}, rlim_t{1}, rlim_t{40}}) {
    SCOPED_TRACE(limit);
    EXPECT_EQ(InChild([limit] {
                signal(SIGXFSZ, SIG_IGN);
                rlimit size{limit, limit};
                setrlimit(RLIMIT_FSIZE, &size);
                std::string message;
                if (InstallLaunchAgent(&message)) return 1;
                return message.rfind("Cannot write autostart entry: File too large", 0) == 0 ? 0
                                                                                             : 2;
              }),
              0);
    expect_intact();
  }

  // No log folder is made on Linux, so a plain file where one would go
  // is left alone and stops nothing.
  const std::string state = home_ + "/.local/state";
  std::filesystem::remove_all(state);
  std::filesystem::create_directories(home_ + "/.local");
  ASSERT_TRUE(hostile::Spit(state, "plain"));
  {
    const std::string kept = previous;
    std::string message;
    EXPECT_TRUE(InstallLaunchAgent(&message)) << message;
    EXPECT_EQ(hostile::Slurp(state), "plain");
    // Put the previous entry back for the cases below.
    ASSERT_TRUE(hostile::Spit(path, kept));
  }
  ASSERT_EQ(unlink(state.c_str()), 0);

  // Another user may not write into the folder.
  EXPECT_EQ(InChild(
                [] {
                  std::string text;
                  if (InstallLaunchAgent(&text)) return 1;
                  return text.rfind("Cannot write autostart entry: Permission denied", 0) == 0 ? 0
                                                                                               : 2;
                },
                kNobody),
            0);
  expect_intact();

  // A plain file where the autostart folder belongs stays as it was.
  {
    FilesAt blocked(XdgEnvironment{home_, home_ + "/cfg", std::nullopt, std::nullopt}, exe);
    Use(blocked);
    ASSERT_TRUE(hostile::Spit(home_ + "/cfg", "notes"));
    std::string text;
    EXPECT_FALSE(InstallLaunchAgent(&text));
    EXPECT_EQ(text.rfind("Cannot create autostart folder: Not a directory", 0), 0u) << text;
    EXPECT_EQ(hostile::Slurp(home_ + "/cfg"), "notes");
    Use(files);
  }
  expect_intact();

  // And after all that, an install that can go through does.
  EXPECT_TRUE(InstallLaunchAgent(nullptr));
  EXPECT_TRUE(LaunchAgentServiceExists());
}

}  // namespace
