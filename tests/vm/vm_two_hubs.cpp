// The real-kernel case of two devices with the hub's IDs: a second stand-in
// hub (made unbound by init as /run/hub2) bound to the second dummy
// controller, so that the kernel enumerates two 2109:8822 on two buses.
#include <dirent.h>
#include <limits.h>
#include <linux/input.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <fstream>
#include <string>
#include <vector>

#include "vm_cases.h"
#include "vm_world.h"

namespace vm {
namespace {

constexpr const char* kSecondUdcFile = "/sys/kernel/config/usb_gadget/hub2/UDC";
constexpr const char* kSecondLog = "/run/hub2/log";

// The dummy controller that is not `taken`: "dummy_udc.1"; "" when there is
// none (dummy_hcd loaded without num=2).
std::string OtherUdc(const std::string& taken) {
  std::string other;
  DIR* d = ::opendir("/sys/class/udc");
  if (d == nullptr) return other;
  while (dirent* entry = ::readdir(d)) {
    const std::string name = entry->d_name;
    if (name[0] != '.' && name != taken) other = name;
  }
  ::closedir(d);
  return other;
}

// The port path ("2-1") of each 2109:8822 on the bus; `on_udc` receives the
// one whose host controller is the partner of that gadget controller
// (dummy_udc.N pairs with dummy_hcd.N).
std::vector<std::string> HubPorts(const std::string& udc, std::string* on_udc) {
  std::vector<std::string> ports;
  const std::string hcd = "/dummy_hcd." + udc.substr(udc.rfind('.') + 1) + "/";
  const std::string root = "/sys/bus/usb/devices/";
  DIR* d = ::opendir(root.c_str());
  if (d == nullptr) return ports;
  while (dirent* entry = ::readdir(d)) {
    const std::string dev = root + entry->d_name;
    std::string v, p;
    std::ifstream(dev + "/idVendor") >> v;
    std::ifstream(dev + "/idProduct") >> p;
    if (v != "2109" || p != "8822") continue;
    ports.push_back(entry->d_name);
    char real[PATH_MAX];
    if (::realpath(dev.c_str(), real) != nullptr &&
        std::string(real).find(hcd) != std::string::npos) {
      *on_udc = entry->d_name;
    }
  }
  ::closedir(d);
  return ports;
}

// Runs the tool once with `args` (a shell's words), its settings from
// `config_home`; its output into `out`, its exit status returned.
int RunOnce(const World& w, const std::string& args, const std::string& config_home,
            std::string* out) {
  ::setenv("XDG_CONFIG_HOME", config_home.c_str(), 1);
  ChildProcess run({"/bin/sh", "-c", w.tool + " " + args});
  ::unsetenv("XDG_CONFIG_HOME");
  const int status = run.WaitExit(10000);
  for (const std::string& line : run.lines()) *out += line + "\n";
  return status;
}

}  // namespace

void CaseTwoHubs(World& w) {
  const std::string udc = OtherUdc(w.gadget.udc_name);
  if (!Check(!udc.empty(), "a second dummy controller (dummy_hcd num=2)")) return;
  HubLog second(kSecondLog);
  second.ReadNew();
  w.hub->ReadNew();
  w.child->Drain();
  const size_t from = w.child->lines().size();
  const Gadget gadget{kSecondUdcFile, udc};
  if (!Check(gadget.Bind(), "the second hub bound to " + udc)) return;
  std::string chosen;
  std::vector<std::string> ports;
  for (int i = 0; i < 250 && ports.size() < 2; ++i) {
    SleepMs(20);
    ports = HubPorts(udc, &chosen);
  }
  std::printf("  two hubs 2109:8822 at ports %s, %s; the second at %s\n",
              ports.size() > 0 ? ports[0].c_str() : "?", ports.size() > 1 ? ports[1].c_str() : "?",
              chosen.c_str());
  if (!Check(ports.size() == 2 && !chosen.empty(), "both hubs on the bus")) return;
  SleepMs(500);

  // The resident tool, its hooks set, heard no arrival of its hub, and
  // switches neither on a gesture.
  DoubleTap(*w.keyboard, KEY_LEFTCTRL);
  Check(w.child->WaitForLine("none is chosen, so none is used", 5000),
        "a gesture with two hubs: the resident tool refused to guess");
  std::vector<HubRequest> none;
  Check(!w.hub->WaitFor("read", 300, &none) && !second.WaitFor("read", 100, &none) && none.empty(),
        "neither hub was read or written");

  // Once, nothing chosen: refused, both named.
  const std::string config = "/tmp/two-hubs-config";
  ::mkdir(config.c_str(), 0755);
  ::mkdir((config + "/quembrastella-switch").c_str(), 0755);
  const std::string file = config + "/quembrastella-switch/config.toml";
  Check(CreateFile(file), "an empty settings file");
  std::string out;
  const int refused = RunOnce(w, "--switch --console 2>&1", config, &out);
  Check(refused == 1, "--switch with two hubs and none chosen ended with status 1");
  Check(out.find("2 hubs 2109:8822 are attached (port " + ports[0] + "; port " + ports[1] +
                 ") and none is chosen") != std::string::npos ||
            out.find("2 hubs 2109:8822 are attached (port " + ports[1] + "; port " + ports[0] +
                     ") and none is chosen") != std::string::npos,
        "the refusal named both ports");
  Check(!w.hub->WaitFor("read", 200, &none) && !second.WaitFor("read", 100, &none) && none.empty(),
        "neither hub was read or written");

  // Chosen by its port path: that one is switched, the other left alone.
  Check(WriteFile(file, "hub = \"" + chosen + "\"\n"), "hub = \"" + chosen + "\" set");
  out.clear();
  const int status = RunOnce(w, "--switch --console 2>&1", config, &out);
  std::printf("  --switch with hub = \"%s\": status %d\n", chosen.c_str(), status);
  std::vector<HubRequest> seen;
  Check(second.WaitFor("write", 3000, &seen) && seen.size() == 3 && seen[1].reg == "F5-0000" &&
            seen[2].reg == "F5-0000" && seen[2].value == ((seen[1].value & 1) ^ 1),
        "the chosen hub was read and its port bit written inverted");
  Check(!w.hub->WaitFor("read", 200, &none) && none.empty(), "the other hub was left alone");

  // The second leaves: it was never the hub in use, so no hook ran.
  Check(gadget.Unbind(), "the second hub unbound");
  for (int i = 0; i < 250 && HubPorts(udc, &chosen).size() > 1; ++i) SleepMs(20);
  SleepMs(500);
  w.child->Drain();
  Check(w.child->CountSince(from, "Hub arrived") == 0 &&
            w.child->CountSince(from, "Hub left") == 0 && w.child->CountSince(from, "on_hub_") == 0,
        "the second hub came and went without a hook");
  SleepMs(300);
}

}  // namespace vm
