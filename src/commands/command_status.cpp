// --status: the hub's two registers read (never written), as one line of
// text or one JSON object.
#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>

#include "commands/command_failure.h"
#include "commands/commands.h"
#include "hub/hub_access.h"
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
int Failed(bool json, int status, const HubFailure& failure) {
  if (json) {
    std::fputs(StatusErrorJson(HubFailureLine(failure), HubFailureFix(failure)).c_str(), stdout);
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
  HubOpenResult opened = FindAndOpenHub();
  if (!opened.hub) {
    const HubFailure& failure = *opened.failure;
    return Failed(
        json, failure.kind == HubFailureKind::kNotFound ? kCommandFailed : kCommandHubUnreadable,
        failure);
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
    return Failed(json, kCommandHubUnreadable, failure);
  }
  const std::string out = json ? StatusJson(state) : StatusLine(state);
  std::printf("%s\n", out.c_str());
  std::fflush(stdout);
  return kCommandOk;
}
