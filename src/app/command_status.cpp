// --status: the hub's two registers read (never written), as one line of
// text or one JSON object.
#include <cstddef>
#include <cstdio>
#include <optional>
#include <string>

#include "app/commands.h"
#include "hub/hub_access.h"
#include "hub/hub_choice.h"
#include "hub/hub_registers.h"
#include "hub/port_switch.h"
#include "output/show_msg.h"

namespace {

constexpr const char* kReadFix = "Unplug the hub and plug it in again, then try again.";

struct HubState {
  std::optional<platform::UsbLocation> location;
  uint8_t f5 = 0;
  std::optional<uint8_t> f8;  // none when its read failed
};

std::string Hex(unsigned value, int digits) {
  char text[16];
  std::snprintf(text, sizeof text, "%0*X", digits, value);
  return text;
}

std::string HubName() {
  char text[16];
  std::snprintf(text, sizeof text, "%04x:%04x", kHubVendorId, kHubProductId);
  return text;
}

std::string StatusLine(const HubState& state) {
  std::string line = "hub " + HubName();
  if (state.location) {
    line += " on bus " + std::to_string(state.location->bus) + " port " + state.location->port;
  }
  line += ": upstream port " + std::to_string(state.f5 & 1u) + " (F5-0000 = 0x" + Hex(state.f5, 2) +
          ")";
  return line;
}

// Escapes what JSON requires: the port path is digits and dots, but it comes
// from the platform, and failure lines carry the platform's words.
std::string JsonString(const std::string& text) {
  std::string out = "\"";
  for (const char c : text) {
    if (c == '"' || c == '\\') {
      out += '\\';
      out += c;
    } else if (static_cast<unsigned char>(c) < 0x20) {
      out += "\\u00" + Hex(static_cast<unsigned char>(c), 2);
    } else {
      out += c;
    }
  }
  return out + "\"";
}

// Every hub with the IDs, when there was a choice to make: more than one
// attached, or the lookup took none.
bool ListsCandidates(const HubOpenResult& opened) {
  return opened.candidates.size() > 1 || (!opened.candidates.empty() && !opened.chosen);
}

std::string CandidatesJson(const HubOpenResult& opened) {
  std::string json = ",\"candidates\":[";
  for (size_t i = 0; i < opened.candidates.size(); ++i) {
    const platform::UsbCandidate& c = opened.candidates[i];
    json += i == 0 ? "{" : ",{";
    if (c.location) {
      json += "\"bus\":" + std::to_string(c.location->bus) +
              ",\"port\":" + JsonString(c.location->port) + ",";
    }
    if (c.location_id) json += "\"location_id\":" + JsonString(HubCandidateName(c)) + ",";
    if (!c.serial.empty()) json += "\"serial\":" + JsonString(c.serial) + ",";
    json += std::string("\"used\":") + (opened.chosen == i ? "true" : "false") + "}";
  }
  return json + "]";
}

// One line per hub, the one used marked, after the state of that one.
std::string CandidateLines(const HubOpenResult& opened) {
  std::string lines;
  for (size_t i = 0; i < opened.candidates.size(); ++i) {
    lines += "candidate " + HubCandidateText(opened.candidates[i]);
    if (opened.chosen == i) lines += ": used (hub = \"" + gHubSetting + "\")";
    lines += "\n";
  }
  return lines;
}

std::string StatusJson(const HubState& state) {
  std::string json = "{\"hub\":" + JsonString(HubName());
  if (state.location) {
    json += ",\"bus\":" + std::to_string(state.location->bus) +
            ",\"port\":" + JsonString(state.location->port);
  }
  json += ",\"f5\":" + std::to_string(state.f5) +
          ",\"upstream_port\":" + std::to_string(state.f5 & 1u) +
          ",\"f8\":" + (state.f8 ? std::to_string(*state.f8) : std::string("null")) + "}";
  return json;
}

// A failure: on standard error as every command's, and with --json also
// as the one object on standard output.
int Failed(bool json, int status, const std::string& line, const std::string& fix,
           const std::string& members = "") {
  if (json) std::fputs(StatusErrorJson(line, fix, members).c_str(), stdout);
  PrintHubFailure(line, fix);
  return status;
}

// While it lives, console lines go to standard error.
class ConsoleOnStandardError {
 public:
  explicit ConsoleOnStandardError(bool on) : before_(gConsoleOnStandardError) {
    if (on) gConsoleOnStandardError = true;
  }
  ~ConsoleOnStandardError() { gConsoleOnStandardError = before_; }
  ConsoleOnStandardError(const ConsoleOnStandardError&) = delete;
  ConsoleOnStandardError& operator=(const ConsoleOnStandardError&) = delete;

 private:
  bool before_;
};

}  // namespace

std::string StatusErrorJson(const std::string& error, const std::string& fix,
                            const std::string& members) {
  std::string json = "{\"hub\":" + JsonString(HubName()) + ",\"error\":" + JsonString(error);
  if (!fix.empty()) json += ",\"fix\":" + JsonString(fix);
  return json + members + "}\n";
}

int RunStatusCommand(bool json) {
  // Standard output is the answer alone: with --json whatever --console
  // prints goes to standard error.
  const ConsoleOnStandardError console(json);
  LoadHubSetting();
  HubOpenResult opened = FindAndOpenHub();
  const bool list = ListsCandidates(opened);
  const std::string candidates = list ? CandidatesJson(opened) : "";
  if (!opened.hub) {
    // Not found, or no single hub chosen: nothing to read.
    const bool none =
        opened.lookup == HubLookup::kNotFound || opened.lookup == HubLookup::kNotChosen;
    return Failed(json, none ? kCommandFailed : kCommandHubUnreadable, opened.failure_line,
                  opened.fix, candidates);
  }
  platform::UsbDevice* hub = opened.hub->get();
  HubState state;
  state.location = hub->Location();
  // The same two reads as a switch, in the same order; no write.
  uint8_t f8 = 0;
  if (Hub_Read_Register(hub, kStatusRequest, kStatusAddress, &f8)) state.f8 = f8;
  const bool f5_read = Hub_Read_Register(hub, kPortSelectRequest, kPortSelectAddress, &state.f5);
  opened.hub.reset();
  if (!f5_read) {
    // Its line is the transfer's own trace; the fix goes under it.
    showMsg("%s\n", kReadFix);
    return Failed(json, kCommandHubUnreadable, "Read-Reg F5-0000 Fail", kReadFix, candidates);
  }
  std::string out = json ? StatusJson(state) : StatusLine(state);
  if (json && list) out.insert(out.size() - 1, candidates);  // before the closing brace
  std::printf("%s\n", out.c_str());
  if (!json && list) std::fputs(CandidateLines(opened).c_str(), stdout);
  std::fflush(stdout);
  return kCommandOk;
}
