// Agent files the tool did not write: huge, binary, of the wrong shape or
// types, or impossible to read. Each must count as no matching agent (the
// start-up choice comes back) without ending, stalling or bloating the tool,
// and installing must then put a good file in its place.
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <functional>
#include <random>
#include <string>
#include <vector>

#include "app_world_fixture.h"
#include "service/launch_agent.h"
#include "support/hostile_support.h"

namespace {

using hostile::kLimitAddressSpace;
using hostile::Slurp;
using hostile::Spit;

constexpr const char* kLabel = "org.quembrastella.switch";

std::string Plist(const std::string& root) {
  return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\">\n" + root +
         "\n</plist>\n";
}

std::string Dict(const std::string& label_value, const std::string& args_value) {
  return Plist("<dict><key>Label</key>" + label_value + "<key>ProgramArguments</key>" + args_value +
               "</dict>");
}

std::string Noise(size_t size, unsigned seed) {
  std::mt19937 random(seed);
  std::string bytes(size, '\0');
  for (char& c : bytes) c = static_cast<char>(random() & 0xFF);
  return bytes;
}

// One thing found at the agent path. `plant` puts it there; `replaceable`
// says whether an install can put a file in its place.
struct Hostile {
  std::string name;
  std::function<bool(const std::string& path, const std::string& exe)> plant;
  bool replaceable = true;
};

std::vector<Hostile> HostileAgentFiles() {
  auto bytes = [](std::function<std::string(const std::string& exe)> make) {
    return
        [make](const std::string& path, const std::string& exe) { return Spit(path, make(exe)); };
  };
  auto args = [](const std::string& exe) {
    return "<array><string>" + exe + "</string><string>--service</string></array>";
  };
  const std::string label = std::string("<string>") + kLabel + "</string>";
  return {
      {"sparse 6 GiB",
       [](const std::string& path, const std::string&) {
         const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
         const bool ok = fd >= 0 && ::ftruncate(fd, off_t{6} << 30) == 0;
         if (fd >= 0) ::close(fd);
         return ok;
       }},
      {"right entries padded to 3 MiB", bytes([=](const std::string& exe) {
         return Plist("<dict><key>Label</key>" + label + "<key>ProgramArguments</key>" + args(exe) +
                      std::string(3 << 20, ' ') + "</dict>");
       })},
      {"random bytes", bytes([](const std::string&) { return Noise(4096, 1); })},
      {"binary header then noise",
       bytes([](const std::string&) { return "bplist00" + Noise(300, 2); })},
      {"NUL bytes", bytes([](const std::string&) { return std::string(512, '\0'); })},
      {"empty", bytes([](const std::string&) { return std::string(); })},
      {"array root", bytes([=](const std::string& exe) {
         return Plist("<array>" + label + args(exe) + "</array>");
       })},
      {"string root", bytes([](const std::string&) {
         return Plist(std::string("<string>") + kLabel + "</string>");
       })},
      {"Label as data", bytes([=](const std::string& exe) {
         return Dict("<data>b3JnLnF1ZW1icmFzdGVsbGEuc3dpdGNo</data>", args(exe));
       })},
      {"Label as dictionary", bytes([=](const std::string& exe) {
         return Dict("<dict><key>Label</key>" + label + "</dict>", args(exe));
       })},
      {"Label as array", bytes([=](const std::string& exe) {
         return Dict("<array>" + label + "</array>", args(exe));
       })},
      {"Label as boolean",
       bytes([=](const std::string& exe) { return Dict("<true/>", args(exe)); })},
      {"ProgramArguments as dictionary", bytes([=](const std::string& exe) {
         return Dict(label, "<dict><key>0</key><string>" + exe + "</string></dict>");
       })},
      {"ProgramArguments nested", bytes([=](const std::string& exe) {
         return Dict(label, "<array>" + args(exe) + "</array>");
       })},
      {"ProgramArguments as data",
       bytes([=](const std::string&) { return Dict(label, "<array><data>AAAA</data></array>"); })},
      {"ProgramArguments as real",
       bytes([=](const std::string&) { return Dict(label, "<array><real>1.5</real></array>"); })},
      {"folder",
       [](const std::string& path, const std::string&) { return ::mkdir(path.c_str(), 0755) == 0; },
       false},
      {"named pipe without writer",
       [](const std::string& path, const std::string&) {
         return ::mkfifo(path.c_str(), 0644) == 0;
       }},
      {"link to /dev/zero",
       [](const std::string& path, const std::string&) {
         return ::symlink("/dev/zero", path.c_str()) == 0;
       }},
      {"link to itself",
       [](const std::string& path, const std::string&) {
         return ::symlink(path.c_str(), path.c_str()) == 0;
       }},
  };
}

class HostileAgentFileTest : public ToolWorldTest {
 protected:
  std::string AgentPath() { return LaunchAgentPlistPath(); }
  std::string Exe() { return files().ExecutablePathValue(); }

  // A fresh sandbox, as a new login session would find it.
  void RestartWorld() {
    TearDown();
    SetUp();
  }
  void Plant(const Hostile& h) {
    ASSERT_TRUE(platform::Sys().files->CreateDirectories(LaunchAgentDirectoryPath()).ok());
    ASSERT_TRUE(h.plant(AgentPath(), Exe())) << h.name;
  }
};

// In a child process with little memory and a hang guard: reading the file
// may neither stall nor take more than a small part of 256 MiB.
int CheckedInSmallChild(const std::function<bool()>& check) {
  return hostile::InChild(
      [&check] {
        rlimit memory{256u << 20, 256u << 20};
        if (kLimitAddressSpace) ::setrlimit(RLIMIT_AS, &memory);
        return check() ? 0 : 1;
      },
      20);
}

TEST_F(HostileAgentFileTest, EachCountsAsNoAgentWithinSmallMemoryAndNoWait) {
  for (const Hostile& h : HostileAgentFiles()) {
    SCOPED_TRACE(h.name);
    RestartWorld();
    Plant(h);
    EXPECT_EQ(CheckedInSmallChild([] { return !LaunchAgentServiceExists(); }), 0);
  }
}

TEST_F(HostileAgentFileTest, TheToolAsksAgainAndTheInstallPutsAGoodFileInPlace) {
  for (const Hostile& h : HostileAgentFiles()) {
    SCOPED_TRACE(h.name);
    RestartWorld();
    Plant(h);
    ui().SetChoice(0);  // "Install as a Service"
    const int status = RunTool({});
    ASSERT_EQ(ui().Alerts().size(), 2u);
    EXPECT_EQ(ui().Alerts()[0].spec.informative_text, "Choose how to start the program.");
    if (h.replaceable) {
      EXPECT_EQ(status, 0);
      EXPECT_EQ(ui().Alerts()[1].spec.informative_text,
                "Installed as a service and started successfully.");
      EXPECT_TRUE(LaunchAgentServiceExists());
    } else {
      // What stands there is left alone and the failure says why.
      EXPECT_EQ(status, 1);
      EXPECT_EQ(ui().Alerts()[1].spec.informative_text.rfind("Cannot write LaunchAgent plist: ", 0),
                0u);
      struct stat st {};
      EXPECT_EQ(::stat(AgentPath().c_str(), &st), 0);
      EXPECT_TRUE(S_ISDIR(st.st_mode));
    }
  }
}

TEST_F(HostileAgentFileTest, AnUnreadableFileCountsAsNoAgent) {
  // The right file, readable by nobody but its owner, seen by another user.
  ASSERT_TRUE(InstallLaunchAgent(nullptr));
  ASSERT_EQ(::chmod(AgentPath().c_str(), 0), 0);
  ASSERT_EQ(::chmod(files().Home().c_str(), 0755), 0);
  EXPECT_EQ(hostile::AsNobody([] { return LaunchAgentServiceExists() ? 1 : 0; }), 0);
  // Root reads it all the same: the content itself is the matching one.
  EXPECT_TRUE(LaunchAgentServiceExists());
}

}  // namespace
