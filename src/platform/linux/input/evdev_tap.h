// The listen-only tap over every keyboard and pointer under /dev/input:
// reads the devices, follows them as they come and go, and delivers the
// tool's events to its callback.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/input.h"
#include "platform/linux/input/evdev_device.h"
#include "platform/linux/input/event_map.h"
#include "platform/linux/input/node_follower.h"
#include "platform/linux/loop/fd_watch.h"

namespace linux_platform {

class EvdevTap : public platform::EventTap {
 public:
  // Opens every keyboard and pointer in `options.dir`. Null (the tap
  // refused) when devices exist but none could be opened for want of
  // permission. With no device at all the tap is made and waits for devices
  // to appear. `report` takes the lines the user should read.
  static std::unique_ptr<EvdevTap> Create(const InputOptions& options, FdWatcher* watcher,
                                          uint64_t mask, platform::EventCallback callback,
                                          void* user_info,
                                          std::function<void(const std::string&)> report);
  // Teardown order: the source must be gone first (it detaches the
  // watches); then the devices are closed, then the hot-plug watch.
  ~EvdevTap() override;
  EvdevTap(const EvdevTap&) = delete;
  EvdevTap& operator=(const EvdevTap&) = delete;

  std::unique_ptr<platform::RunLoopSource> CreateRunLoopSource() override;
  void Enable(bool on) override { enabled_ = on; }
  // Every key (true) or only the gesture keys (false) from every device,
  // those plugged in later included.
  void SetAllKeys(bool all_keys);

  // The live state across all open devices, as far as events were read.
  uint64_t Flags() const;
  bool Button(uint32_t button) const;
  // Buttons 0, 1 and 2 in one pass over the devices: bit n for button n.
  uint32_t Buttons() const;
  size_t device_count() const { return devices_.size(); }
  bool HasDevice(const std::string& path) const { return devices_.count(path) != 0; }

  // The readiness handler the loop calls (tests call it directly).
  void OnDeviceReadable(const std::string& path);
  // Delivers the releases of devices the folder watch dropped; run by a
  // timer from the loop.
  void DeliverDroppedReleases();
  NodeFollower& nodes() { return nodes_; }

  // Called by the source when it enters and leaves the run loop.
  void Attach();
  void Detach();

 private:
  EvdevTap(const InputOptions& options, FdWatcher* watcher, uint64_t mask,
           platform::EventCallback callback, void* user_info,
           std::function<void(const std::string&)> report);

  struct Entry {
    std::unique_ptr<EvdevDevice> device;
    std::unique_ptr<FdWatch> watch;  // destroyed before the device
  };

  // Opens `path` when it is a keyboard or pointer; the errno of a failed
  // open, else 0.
  int TryOpen(const std::string& path);
  void WatchDevice(const std::string& path, Entry& entry);
  void RemoveDevice(const std::string& path);
  // The folder watch saw the node go: the device is dropped at once, and a
  // release (marked made up) for each key and button it held is delivered
  // from the loop a moment later, each key leaving the live state with it, never from inside the
  // watch, since a release may end the tool (a Q that completes a pair) and with it the watch.
  void DropNode(const std::string& path);
  // Hands `event` to the callback; false when the tap was destroyed by it.
  bool Deliver(platform::InputEvent& event);

  FdWatcher* watcher_;
  platform::RunLoop* run_loop_;  // null: the installed services' run loop
  uint64_t mask_;
  platform::EventCallback callback_;
  void* user_info_;
  bool enabled_ = false;
  bool attached_ = false;
  bool all_keys_ = false;
  std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
  std::map<std::string, Entry> devices_;
  // Releases of dropped devices, waiting for the timer that delivers them;
  // their keys count as held until then.
  struct DroppedRelease {
    uint16_t code;
    platform::InputEvent event;
  };
  std::vector<DroppedRelease> dropped_releases_;
  bool DroppedKeyHeld(uint16_t code) const;
  std::unique_ptr<platform::Timer> release_timer_;
  NodeFollower nodes_;  // destroyed first: it calls into devices_
};

}  // namespace linux_platform
