// A fake 2109:8822 hub on umockdev's in-process ioctl handler: its vendor
// registers keep state, every control request is recorded, and each
// exchange can stall, hang, fail or find the hub gone.
#pragma once

#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "testbed.h"

typedef struct _UMockdevIoctlBase UMockdevIoctlBase;
typedef struct _UMockdevIoctlClient UMockdevIoctlClient;
typedef struct _UMockdevIoctlData UMockdevIoctlData;

namespace linux_test {

struct RecordedRequest {
  uint8_t bmRequestType;
  uint8_t bRequest;
  uint16_t wValue;
  uint16_t wIndex;
  uint16_t wLength;
};

// How the hub answers the n-th control request from now on.
enum class HubFault {
  kNone,
  kStall,     // the request completes with a stalled pipe
  kHang,      // the request never completes (until it is discarded)
  kIoError,   // the request completes with a protocol error
  kVanished,  // the hub is gone: submitting fails with ENODEV
};

class FakeHub {
 public:
  // Plugs the hub into `testbed` at bus 1, address `devnum` (on port
  // `devnum` of the root hub: port path "1-<devnum>"), announced by an "add"
  // uevent unless `announce` is false (as without udevd). With `serial`, the
  // kernel read that serial number from it.
  FakeHub(Testbed& testbed, uint16_t vendor_id = 0x2109, uint16_t product_id = 0x8822,
          int devnum = 2, bool announce = true, const std::string& serial = "");
  ~FakeHub();
  FakeHub(const FakeHub&) = delete;
  FakeHub& operator=(const FakeHub&) = delete;

  bool plugged() const { return plugged_; }
  // Unplugs the hub, announced by a "remove" uevent; its node goes too.
  void Unplug();
  // Unplugs the hub with no uevent, as a system without udevd sees it
  // (its hot-plug listeners hear nothing).
  void UnplugSilently();

  void SetRegister(uint8_t request, uint16_t address, uint8_t value);
  uint8_t Register(uint8_t request, uint16_t address);
  // Fault for the request with this zero-based index, counted from now.
  void FailRequest(int index, HubFault fault);
  // Fault for the request with this zero-based index, counted from now, as
  // the kernel reports it: submitting fails with `submit_errno`, or, when
  // that is 0, the request completes with status -`status_errno`.
  void FailRequestWithErrno(int index, int submit_errno, int status_errno);
  std::vector<RecordedRequest> Requests();
  int DiscardCount();

 private:
  static int OnIoctl(UMockdevIoctlBase* handler, UMockdevIoctlClient* client, void* self);
  bool HandleIoctl(UMockdevIoctlClient* client);
  bool Submit(UMockdevIoctlClient* client);
  bool Reap(UMockdevIoctlClient* client);
  void Remove(bool announce);

  Testbed& testbed_;
  std::string syspath_;
  std::string devnode_;
  UMockdevIoctlBase* handler_;
  bool plugged_ = false;

  std::mutex mutex_;  // the handler runs on umockdev's worker thread
  std::map<uint32_t, uint8_t> registers_;
  std::map<int, HubFault> faults_;
  std::map<int, std::pair<int, int>> errno_faults_;  // submit errno, status errno
  int next_index_ = 0;
  std::vector<RecordedRequest> requests_;
  UMockdevIoctlData* in_flight_ = nullptr;  // submitted, not reaped
  bool in_flight_ready_ = false;            // reapable now
  int discards_ = 0;
};

}  // namespace linux_test
