#include "scenario_runner/hubs.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace runner {
namespace {

// A bus number, then up to seven port numbers: "1-4", "3-1.2.4".
std::optional<platform::UsbLocation> PortPath(std::string_view text) {
  const size_t dash = text.find('-');
  if (dash == std::string_view::npos) return std::nullopt;
  const std::optional<uint64_t> bus = Decimal(text.substr(0, dash), 255);
  if (!bus || *bus == 0) return std::nullopt;
  platform::UsbLocation location;
  location.bus = static_cast<int>(*bus);
  std::string_view ports = text.substr(dash + 1);
  for (int depth = 0;; ++depth) {
    const size_t dot = ports.find('.');
    const std::optional<uint64_t> port = Decimal(ports.substr(0, dot), 255);
    if (!port || *port == 0 || depth == 7) return std::nullopt;
    location.port += (depth ? "." : "") + std::to_string(*port);
    if (dot == std::string_view::npos) return location;
    ports = ports.substr(dot + 1);
  }
}

std::optional<uint32_t> LocationId(std::string_view text) {
  if (text.size() < 3 || text.size() > 10 || text.substr(0, 2) != "0x") return std::nullopt;
  uint32_t id = 0;
  for (const char c : text.substr(2)) {
    const std::optional<uint8_t> digit = HexByte(std::string_view(&c, 1));
    if (!digit) return std::nullopt;
    id = id << 4 | *digit;
  }
  return id;
}

}  // namespace

std::optional<std::string> HubSetUpWords(const Tokens& t, HubSetup& hub) {
  const std::string name(t[0]);
  const std::string usage = "'" + name +
                            "' takes absent, F5=HH, F8=HH (hex bytes), port B-P, serial TEXT, "
                            "location 0xHEX";
  if (t.size() < 2) return usage;
  std::string seen;  // one letter per word given
  for (size_t i = 1; i < t.size(); ++i) {
    const std::string_view word = t[i];
    const std::string_view key = word.substr(0, 3);
    char letter = 0;
    if (word == "absent") {
      letter = 'a';
      hub.present = false;
    } else if (key == "F5=" || key == "F8=") {
      const std::optional<uint8_t> value = HexByte(word.substr(3));
      if (!value) return usage;
      letter = word[1];
      (key == "F5=" ? hub.reg_f5 : hub.reg_f8) = *value;
    } else if (i + 1 < t.size() && (word == "port" || word == "serial" || word == "location")) {
      const std::string_view value = t[++i];
      letter = word[0];
      if (word == "serial") {
        hub.identity.serial = std::string(value);
      } else if (word == "port") {
        hub.identity.port = PortPath(value);
        if (!hub.identity.port) return "'" + name + " port' takes a bus and port path: 1-4, 1-4.2";
      } else {
        const std::optional<uint32_t> id = LocationId(value);
        if (!id) return "'" + name + " location' takes 0x and up to 8 hex digits";
        hub.identity.location_id = *id;
      }
    } else {
      return usage;
    }
    if (seen.find(letter) != std::string::npos) {
      return "'" + name + "' sets " + std::string(word.substr(0, word[0] == 'F' ? 2 : 20)) +
             " twice";
    }
    seen += letter;
  }
  return std::nullopt;
}

std::optional<std::string> HubAction(const Tokens& w, Step& step) {
  if (w.size() != 2 || (w[1] != "absent" && w[1] != "present")) {
    return "'" + std::string(w[0]) + "' takes 'absent' or 'present'";
  }
  step.kind = w[1] == "absent" ? Step::Kind::kHubAbsent : Step::Kind::kHubPresent;
  step.hub = w[0] == "hub" ? 0 : 1;
  return std::nullopt;
}

}  // namespace runner
