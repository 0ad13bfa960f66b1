// --status: the hub's two registers read (never written), as one line of
// text or one JSON object.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>

#include "commands/command_failure.h"
#include "commands/commands.h"
#include "hub/hub_access.h"
#include "hub/hub_choice.h"
#include "hub/hub_device.h"
#include "hub/hub_failure.h"
#include "hub/hub_registers.h"
#include "output/show_msg.h"
#include "platform/usb.h"

namespace {

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

std::string StatusLine(const HubState& state) {
  std::string line = "hub " + HubIdText();
  if (state.location) {
    line += " on bus " + std::to_string(state.location->bus) + " port " + state.location->port;
  }
  line += ": upstream port " + std::to_string(state.f5 & 1u) + " (F5-0000 = 0x" + Hex(state.f5, 2) +
          ")";
  return line;
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
    if (opened.chosen == i) lines += ": used (hub = \"" + HubSettingInForce() + "\")";
    lines += "\n";
  }
  return lines;
}

std::string StatusJson(const HubState& state) {
  std::string json = "{\"hub\":" + JsonString(HubIdText());
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
int Failed(bool json, int status, const HubFailure& failure, const std::string& members) {
  if (json) {
    std::fputs(StatusErrorJson(HubFailureLine(failure), HubFailureFix(failure), members).c_str(),
               stdout);
  }
  PrintHubFailure(failure);
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

int RunStatusCommand(bool json) {
  // Standard output is the answer alone: with --json whatever --console
  // prints goes to standard error.
  const ConsoleOnStandardError console(json);
  LoadHubSetting();
  HubOpenResult opened = FindAndOpenHub();
  const bool list = ListsCandidates(opened);
  const std::string candidates = list ? CandidatesJson(opened) : "";
  if (!opened.hub) {
    const HubFailure& failure = *opened.failure;
    // No hub, or none chosen among several: nothing to read.
    const bool none = failure.kind == HubFailureKind::kNotFound ||
                      failure.kind == HubFailureKind::kSeveralHubs ||
                      failure.kind == HubFailureKind::kChosenNotUnique ||
                      failure.kind == HubFailureKind::kChosenAbsent;
    return Failed(json, none ? kCommandFailed : kCommandHubUnreadable, failure, candidates);
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
    const HubFailure failure(HubFailureKind::kPortUnread);
    TraceHubFailure(failure);
    return Failed(json, kCommandHubUnreadable, failure, candidates);
  }
  std::string out = json ? StatusJson(state) : StatusLine(state);
  if (json && list) out.insert(out.size() - 1, candidates);  // before the closing brace
  std::printf("%s\n", out.c_str());
  if (!json && list) std::fputs(CandidateLines(opened).c_str(), stdout);
  std::fflush(stdout);
  return kCommandOk;
}
