// The tool on a real kernel: run inside the test machine by its init, with
// the stand-in hub already bound. Each case drives uinput devices, reads
// the tool's console and the hub's request log, and prints one verdict
// line; the last line counts them.
//
//   vm-cases TOOL HUB_LOG HUB_CONTROL_DIR UDC_FILE UDC_NAME
#include <dirent.h>
#include <fcntl.h>
#include <linux/input.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "uinput_device.h"
#include "vm_cases.h"
#include "vm_world.h"

namespace vm {

int gFailures = 0;

// Records a failed check and says which.
bool Check(bool ok, const std::string& what) {
  if (!ok) {
    std::printf("  check failed: %s\n", what.c_str());
    ++gFailures;
  }
  return ok;
}

void DoubleTap(UinputDevice& device, uint16_t key) {
  device.Tap(key);
  SleepMs(120);
  device.Tap(key);
}

// Waits for a whole switch: the tool's line for `source`, and the hub's
// write of the inverted port bit. Returns the value written, or -1.
int ExpectSwitch(World& w, const std::string& source) {
  std::vector<HubRequest> seen;
  const bool said = w.child->WaitForLine("Switch (" + source + ")", 5000);
  const bool wrote = w.hub->WaitFor("write", 5000, &seen);
  Check(said, "the tool announced Switch (" + source + ")");
  if (!Check(wrote, "the hub saw the write request")) return -1;
  Check(seen.size() == 3 && seen[0].reg == "F8-008F" && seen[1].reg == "F5-0000",
        "two reads (F8-008F, F5-0000) came ahead of the write");
  const int read_back = seen.size() >= 2 ? seen[seen.size() - 2].value : -1;
  const int written = seen.back().value;
  Check(seen.back().reg == "F5-0000" && written == ((read_back & 1) ^ 1),
        "the write inverted bit 0 of F5-0000");
  SleepMs(600);  // past the switch debounce, so the next case starts clean
  return written;
}

namespace {

// The cases the kernel command line leaves out: qs.skip=id,id,...
std::string SkippedCases() {
  std::ifstream cmdline("/proc/cmdline");
  std::string word;
  while (cmdline >> word) {
    if (word.rfind("qs.skip=", 0) == 0) return word.substr(8);
  }
  return "";
}

// Both hooks, set before the tool starts: every case runs with them, the
// idle one included.
std::string SettingsDir() {
  return std::string(std::getenv("HOME")) + "/.config/quembrastella-switch";
}
// Written to a new file renamed into place, as an editor saves.
bool WriteHookSettings() {
  const std::string dir = SettingsDir();
  if (::system(("mkdir -p " + dir).c_str()) != 0) return false;
  {
    std::ofstream out(dir + "/.config.toml.new");
    for (const char* event : {"left", "arrived"}) {
      out << "on_hub_" << event << " = [\"/bin/sh\", \"-c\", \"echo " << event
          << " $QUEMBRASTELLA_HUB_SEEN_BY $QUEMBRASTELLA_HUB_BUS-$QUEMBRASTELLA_HUB_PORT >> "
          << kHookLog << "\"]\n";
    }
    if (!out.flush()) return false;
  }
  return ::rename((dir + "/.config.toml.new").c_str(), (dir + "/config.toml").c_str()) == 0;
}

// Whether the process holds an inotify watch on `path`: /proc/PID/fdinfo
// lists each watch with the inode it is on ("inotify wd:1 ino:2a3 ...").
bool WatchesInode(pid_t pid, const std::string& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return false;
  char ino[40];
  std::snprintf(ino, sizeof ino, " ino:%llx ", static_cast<unsigned long long>(st.st_ino));
  const std::string fdinfo = "/proc/" + std::to_string(pid) + "/fdinfo";
  DIR* dir = ::opendir(fdinfo.c_str());
  if (dir == nullptr) return false;
  bool found = false;
  while (dirent* entry = ::readdir(dir)) {
    std::ifstream in(fdinfo + "/" + entry->d_name);
    std::string line;
    while (!found && std::getline(in, line)) {
      found = line.rfind("inotify wd:", 0) == 0 && line.find(ino) != std::string::npos;
    }
  }
  ::closedir(dir);
  return found;
}

}  // namespace

bool StartTool(World& w) {
  w.child =
      std::make_unique<ChildProcess>(std::vector<std::string>{w.tool, "--console", "--service"});
  if (!Check(w.child->WaitForLine("Running...", 20000), "the tool started")) return false;
  return Check(w.child->WaitForNode(w.keyboard->node(), true, 5000) &&
                   w.child->WaitForNode(w.mouse->node(), true, 5000),
               "the tool opened the keyboard and the mouse");
}

namespace {

void CaseNothingToDoWakesNothing(World& w) {
  SleepMs(300);
  // The settings folder is watched all along: it costs nothing while the
  // file stays as it is.
  Check(WatchesInode(w.child->pid(), SettingsDir()), "the tool watches the settings folder");
  const uint64_t idle = WakeupsDuring(w, [] { SleepMs(2000); });
  std::printf("  idle for 2 s, settings folder watched: %llu wake-ups\n",
              static_cast<unsigned long long>(idle));
  Check(idle <= 1, "idle for 2 s: " + std::to_string(idle) + " wake-ups (at most 1)");
  // Saved again, as an editor saves: read once, and then idle again.
  Check(WriteHookSettings(), "the settings saved again");
  Check(w.child->WaitForLine("Settings: read " + SettingsDir() + "/config.toml again.", 5000),
        "the tool read the saved settings");
  SleepMs(300);
  const uint64_t after = WakeupsDuring(w, [] { SleepMs(2000); });
  std::printf("  idle for 2 s after the settings were read again: %llu wake-ups\n",
              static_cast<unsigned long long>(after));
  Check(after <= 1,
        "idle for 2 s after a change: " + std::to_string(after) + " wake-ups (at most 1)");
  const uint64_t motion = WakeupsDuring(w, [&w] {
    for (int i = 0; i < 500; ++i) {
      w.mouse->Move(1, 1);
      SleepMs(2);
    }
    SleepMs(100);
  });
  Check(motion <= 2, "500 motion reports: " + std::to_string(motion) + " wake-ups (at most 2)");
  const uint64_t typing = WakeupsDuring(w, [&w] {
    for (uint16_t key : {KEY_A, KEY_S, KEY_D, KEY_F, KEY_J, KEY_K, KEY_L, KEY_W, KEY_E, KEY_R}) {
      w.keyboard->Tap(key, 20);
      SleepMs(30);
    }
    SleepMs(100);
  });
  Check(typing <= 1, "10 letters typed: " + std::to_string(typing) + " wake-ups (at most 1)");
}

void CaseControlDoubleTap(World& w) {
  DoubleTap(*w.keyboard, KEY_LEFTCTRL);
  const int first = ExpectSwitch(w, "ctrl-ctrl");
  // Right Control counts as Control too, and the register flips back.
  DoubleTap(*w.keyboard, KEY_RIGHTCTRL);
  const int second = ExpectSwitch(w, "ctrl-ctrl");
  Check(first >= 0 && second == (first ^ 1), "a second switch flipped the port back");
  // Two taps further apart than the double-tap window switch nothing.
  w.keyboard->Tap(KEY_LEFTCTRL);
  SleepMs(900);
  w.keyboard->Tap(KEY_LEFTCTRL);
  SleepMs(300);
  std::vector<HubRequest> none;
  Check(!w.hub->WaitFor("read", 200, &none) && none.empty(), "slow taps left the hub alone");
}

void CaseChord(World& w) {
  w.mouse->Key(BTN_LEFT, true);
  w.mouse->Key(BTN_RIGHT, true);
  // Motion while held, as a hand does: it must not restart the hold.
  for (int i = 0; i < 20; ++i) {
    w.mouse->Move(1, 0);
    SleepMs(20);
  }
  ExpectSwitch(w, "mouse");
  w.mouse->Key(BTN_RIGHT, false);
  w.mouse->Key(BTN_LEFT, false);
  // Left with middle is a chord too.
  w.mouse->Key(BTN_MIDDLE, true);
  w.mouse->Key(BTN_LEFT, true);
  ExpectSwitch(w, "mouse");
  w.mouse->Key(BTN_LEFT, false);
  w.mouse->Key(BTN_MIDDLE, false);
  // A short chord switches nothing.
  w.mouse->Key(BTN_LEFT, true);
  w.mouse->Key(BTN_RIGHT, true);
  SleepMs(300);
  w.mouse->Key(BTN_RIGHT, false);
  w.mouse->Key(BTN_LEFT, false);
  SleepMs(1000);
  std::vector<HubRequest> none;
  Check(!w.hub->WaitFor("read", 100, &none) && none.empty(), "a short chord left the hub alone");
}

void CaseKeyboardReplug(World& w) {
  // Unplugged with Control held: the tool must not keep a Control that is
  // no longer down.
  // A reader of our own shows whether the kernel hands out a release for
  // a key held while its device goes away.
  const std::string old_node = w.keyboard->node();
  const int reader = ::open(old_node.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  w.keyboard->Key(KEY_LEFTCTRL, true);
  SleepMs(100);
  input_event ev{};
  while (reader >= 0 && ::read(reader, &ev, sizeof(ev)) == sizeof(ev)) {
  }
  w.keyboard.reset();
  SleepMs(100);
  int releases = 0;
  ssize_t n = 0;
  while (reader >= 0 && (n = ::read(reader, &ev, sizeof(ev))) == sizeof(ev)) {
    if (ev.type == EV_KEY && ev.code == KEY_LEFTCTRL && ev.value == 0) ++releases;
  }
  std::printf("  observed: a reader of the unplugged keyboard got %d Control release(s), then %s\n",
              releases, n < 0 ? std::strerror(errno) : "end of file");
  if (reader >= 0) ::close(reader);
  Check(w.child->WaitForNode(old_node, false, 5000), "the tool dropped the unplugged keyboard");
  w.keyboard = std::make_unique<UinputDevice>(UinputDevice::Kind::kKeyboard);
  if (!Check(w.keyboard->ok(), "a keyboard plugged back: " + w.keyboard->error())) return;
  Check(w.child->WaitForNode(w.keyboard->node(), true, 5000),
        "the tool opened the keyboard plugged back in");
  SleepMs(800);
  DoubleTap(*w.keyboard, KEY_LEFTCTRL);
  ExpectSwitch(w, "ctrl-ctrl");
}

void CaseHubReenumerated(World& w) {
  const std::string before = HubAddress();
  Check(!before.empty(), "the hub is on the bus");
  Check(w.gadget.Unbind(), "the gadget unbound");
  SleepMs(300);
  Check(HubAddress().empty(), "the hub left the bus");
  Check(w.gadget.Bind(), "the gadget bound again");
  std::string after;
  for (int i = 0; i < 250 && after.empty(); ++i) {
    SleepMs(20);
    after = HubAddress();
  }
  Check(!after.empty() && after != before,
        "the hub came back at a new address (" + before + " -> " + after + ")");
  SleepMs(200);
  DoubleTap(*w.keyboard, KEY_LEFTCTRL);
  ExpectSwitch(w, "ctrl-ctrl");
}

void CaseStall(World& w) {
  const std::string stall = w.control_dir + "/stall";
  Check(CreateFile(stall), "stalls armed");
  DoubleTap(*w.keyboard, KEY_LEFTCTRL);
  Check(w.child->WaitForLine("Switch (ctrl-ctrl)", 5000), "the tool tried the switch");
  Check(w.child->WaitForLine("Read-Reg F8-008F Fail", 5000), "the stalled read failed");
  // Without the port register's value there is nothing to invert: the
  // switch is given up and nothing is written.
  Check(w.child->WaitForLine("Switch abandoned", 5000), "the switch was abandoned");
  std::vector<HubRequest> seen;
  w.hub->WaitFor("none", 300, &seen);
  Check(seen.size() == 2 && seen.back().kind == "stall",
        "the hub stalled both reads, no write came");
  ::unlink(stall.c_str());
  SleepMs(600);
  // The tool goes on: the next switch works.
  DoubleTap(*w.keyboard, KEY_LEFTCTRL);
  ExpectSwitch(w, "ctrl-ctrl");
}

void CaseQuit(World& w) {
  // Other keys between the taps leave the pending Q alone.
  w.keyboard->Tap(KEY_Q);
  w.keyboard->Tap(KEY_A);
  SleepMs(100);
  w.keyboard->Tap(KEY_Q);
  Check(w.child->WaitForLine("Quit", 5000), "the tool said Quit");
  Check(w.child->WaitExit(5000) == 0, "the tool ended with status 0");
}

}  // namespace
}  // namespace vm

int main(int argc, char** argv) {
  using namespace vm;
  if (argc != 6) {
    std::fprintf(stderr, "usage: %s TOOL HUB_LOG HUB_CONTROL_DIR UDC_FILE UDC_NAME\n", argv[0]);
    return 2;
  }
  setvbuf(stdout, nullptr, _IOLBF, 0);
  HubLog hub(argv[2]);
  World w;
  w.tool = argv[1];
  w.hub = &hub;
  w.control_dir = argv[3];
  w.gadget = Gadget{argv[4], argv[5]};
  hub.ReadNew();
  w.keyboard = std::make_unique<UinputDevice>(UinputDevice::Kind::kKeyboard);
  w.mouse = std::make_unique<UinputDevice>(UinputDevice::Kind::kMouse);
  if (!w.keyboard->ok() || !w.mouse->ok()) {
    std::printf("uinput: %s%s\n0 passed, 1 failed\n", w.keyboard->error().c_str(),
                w.mouse->error().c_str());
    return 1;
  }
  struct Case {
    const char* id;
    const char* name;
    std::function<void(World&)> run;
  };
  const Case cases[] = {
      {"idle", "idle (settings folder watched), motion and typing wake the tool not at all",
       CaseNothingToDoWakesNothing},
      {"hooks", "the hub taken and given back runs both hooks", CaseHubHooks},
      {"control", "control double-tap switches", CaseControlDoubleTap},
      {"chord", "held chord switches", CaseChord},
      {"replug", "keyboard unplugged and plugged back", CaseKeyboardReplug},
      {"order", "taps served out of order by two keyboards pair by their true distance",
       CaseTapsOutOfOrder},
      {"vanish", "a keyboard leaving with a key held completes no gesture",
       CaseKeyboardLeavesWithKeysHeld},
      {"stall", "stalled transfers fail and the tool goes on", CaseStall},
      {"reenumerated", "hub re-enumerated at a new address", CaseHubReenumerated},
      {"two-hubs", "two hubs with the same IDs: refused without a choice, hub = chooses one",
       CaseTwoHubs},
      {"quit", "Q double-tap quits", CaseQuit},
      {"clean", "clean Control taps: shortcuts do not switch, a clean double-tap does",
       CaseCleanControlTaps},
      {"rightctrl", "control_key = \"right\": the right Control switches, the left does not",
       CaseRightControlOnly},
  };
  const std::string skip = "," + SkippedCases() + ",";
  int passed = 0;
  int failed = 0;
  int skipped = 0;
  const bool started = Check(WriteHookSettings(), "the hooks are set") && StartTool(w);
  for (const Case& c : cases) {
    if (skip.find("," + std::string(c.id) + ",") != std::string::npos) {
      std::printf("SKIPPED (qs.skip): %s\n", c.name);
      ++skipped;
      continue;
    }
    std::printf("--- %s\n", c.name);
    const int before = gFailures;
    if (started) c.run(w);
    const bool ok = started && gFailures == before;
    std::printf("%s: %s\n", ok ? "PASS" : "FAIL", c.name);
    (ok ? passed : failed)++;
  }
  if (skipped > 0) {
    std::printf("%d passed, %d failed, %d skipped\n", passed, failed, skipped);
    return failed == 0 ? 0 : 1;
  }
  std::printf("%d passed, %d failed\n", passed, failed);
  return failed == 0 ? 0 : 1;
}
