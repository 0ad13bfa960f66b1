// Finding and opening the hub: the first half of every exchange with it,
// shared by the switch and the read-only status.
#pragma once

#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <vector>

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

// How far the lookup got.
enum class HubLookup {
  kOpened,       // found and opened
  kNotFound,     // no hub with the IDs is attached, or not the chosen one
  kUnavailable,  // found (or not knowable), but it could not be opened
  kNotChosen,    // several are attached, and the settings choose none of them
};

// A failure as a desktop notice shows it: what failed in a few words, and
// the fix in one short sentence, in plain words (no IDs, no system calls).
struct ShortNotice {
  std::string summary;
  std::string fix;
};

struct HubOpenResult {
  HubLookup lookup = HubLookup::kNotFound;
  std::unique_ptr<OpenedHub> hub;  // set exactly when kOpened
  // For a failure: the console line written (without its newline) and the
  // one line that tells the user how to fix it.
  std::string failure_line;
  std::string fix;
  ShortNotice notice;  // the same failure, short
  // Every hub with the IDs the lookup found, and the one it took (none when
  // it took none).
  std::vector<platform::UsbCandidate> candidates;
  std::optional<size_t> chosen;
};

// A refused open as a notice, from the platform's fix for it ("" when it
// gave none). A fix of the form "cause: remedy" gives the cause as the
// summary and the remedy as the body.
ShortNotice RefusedOpenNotice(const std::string& platform_fix);

// Looks the hub up afresh and opens it: the only hub with the IDs, or the
// one the hub setting (gHubSetting) chooses among several. A failure writes its console line
// and its fix (the platform's, where it gave one) through showMsg.
HubOpenResult FindAndOpenHub();
