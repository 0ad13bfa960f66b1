// Finding and opening the hub: the first half of every exchange with it,
// shared by the switch and the read-only status.
#pragma once

#include <cstddef>
#include <memory>
#include <optional>
#include <vector>

#include "hub/hub_failure.h"
#include "platform/usb.h"

// An opened hub. Teardown order: the device is closed first, then its
// interface is released (by destroying it).
class OpenedHub {
 public:
  explicit OpenedHub(std::unique_ptr<platform::UsbDevice> device);
  ~OpenedHub();
  OpenedHub(const OpenedHub&) = delete;
  OpenedHub& operator=(const OpenedHub&) = delete;
  platform::UsbDevice* get() const { return device_.get(); }

 private:
  std::unique_ptr<platform::UsbDevice> device_;
};

// Either the opened hub or why there is none.
struct HubOpenResult {
  std::unique_ptr<OpenedHub> hub;
  std::optional<HubFailure> failure;  // set exactly when `hub` is not
  // Every device with the hub's IDs the lookup found, and the one it took
  // (none when it took none).
  std::vector<platform::UsbCandidate> candidates;
  std::optional<size_t> chosen;
};

// A lookup that found no device, and an open the device refused, as
// failures in the platform's words.
HubFailure LookupFailure(const platform::UsbFindResult& found);
HubFailure RefusedOpen(const platform::UsbFailure& refused);

// Looks the hub up afresh and opens it: the only device with the hub's
// IDs, or the one the hub setting chooses among several. A
// failure is traced where it happens (TraceHubFailure).
HubOpenResult FindAndOpenHub();
