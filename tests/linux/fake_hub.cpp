#include "fake_hub.h"

#include <linux/usbdevice_fs.h>
#include <sys/ioctl.h>
#include <umockdev.h>
#include <unistd.h>

#include <cerrno>
#include <cstddef>
#include <cstdio>

namespace linux_test {
namespace {

// Device descriptor (USB 2.0 hub class, given IDs) and one configuration
// with one interface, as the sysfs "descriptors" attribute holds them.
std::string Descriptors(uint16_t vendor_id, uint16_t product_id) {
  char ids[16];
  std::snprintf(ids, sizeof ids, "%02x%02x%02x%02x", vendor_id & 0xFF, vendor_id >> 8,
                product_id & 0xFF, product_id >> 8);
  return std::string("1201000209000140") + ids + "0000" + "000000" + "01" +  // device
         "0902190001010080fa" +                                              // configuration
         "090400000109000000" +                                              // interface
         "0705810301000c";                                                   // endpoint
}

uint32_t Key(uint8_t request, uint16_t address) {
  return (uint32_t{request} << 16) | address;
}

}  // namespace

FakeHub::FakeHub(Testbed& testbed, uint16_t vendor_id, uint16_t product_id, int devnum,
                 bool announce, const std::string& serial)
    : testbed_(testbed), handler_(umockdev_ioctl_base_new()) {
  char node[64];
  std::snprintf(node, sizeof node, "bus/usb/001/%03d", devnum);
  devnode_ = std::string("/dev/") + node;
  char path[96];
  std::snprintf(path, sizeof path, "/devices/pci0000:00/0000:00:14.0/usb1/1-%d", devnum);
  g_signal_connect(handler_, "handle-ioctl", G_CALLBACK(&FakeHub::OnIoctl), this);
  testbed_.Attach(devnode_, handler_);
  char dev[16];
  std::snprintf(dev, sizeof dev, "%03d", devnum);
  // The kernel's own key for the IDs, in every event of the device.
  char product[32];
  std::snprintf(product, sizeof product, "%x/%x/100", vendor_id, product_id);
  const std::string description = std::string("P: ") + path + "\nN: " + node +
                                  "\nE: SUBSYSTEM=usb\nE: DEVTYPE=usb_device\nE: DRIVER=usb\n"
                                  "E: BUSNUM=001\nE: DEVNUM=" +
                                  dev + "\nE: PRODUCT=" + product + "\nE: DEVNAME=" + devnode_ +
                                  "\nA: busnum=1\\n\nA: devnum=" + std::to_string(devnum) +
                                  "\\n\nA: bConfigurationValue=1\\n\nA: speed=480\\n\n" +
                                  (serial.empty() ? "" : "A: serial=" + serial + "\\n\n") +
                                  "H: descriptors=" + Descriptors(vendor_id, product_id) + "\n";
  syspath_ = testbed_.Add(description, std::string("/sys") + path, announce);
  plugged_ = !syspath_.empty();
}

FakeHub::~FakeHub() {
  Unplug();
  testbed_.Detach(devnode_);
  if (in_flight_ != nullptr) umockdev_ioctl_data_unref(in_flight_);
  g_object_unref(handler_);
}

void FakeHub::Unplug() {
  Remove(true);
}

void FakeHub::UnplugSilently() {
  Remove(false);
}

void FakeHub::Remove(bool announce) {
  if (!plugged_) return;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    faults_.clear();
    for (int i = next_index_; i < next_index_ + 1000; ++i) faults_[i] = HubFault::kVanished;
  }
  testbed_.Remove(syspath_, announce);
  // The kernel takes the usbfs node away with the device.
  ::unlink((testbed_.Root() + devnode_).c_str());
  plugged_ = false;
}

void FakeHub::SetRegister(uint8_t request, uint16_t address, uint8_t value) {
  std::lock_guard<std::mutex> lock(mutex_);
  registers_[Key(request, address)] = value;
}

uint8_t FakeHub::Register(uint8_t request, uint16_t address) {
  std::lock_guard<std::mutex> lock(mutex_);
  return registers_[Key(request, address)];
}

void FakeHub::FailRequest(int index, HubFault fault) {
  std::lock_guard<std::mutex> lock(mutex_);
  faults_[next_index_ + index] = fault;
}

void FakeHub::FailRequestWithErrno(int index, int submit_errno, int status_errno) {
  std::lock_guard<std::mutex> lock(mutex_);
  errno_faults_[next_index_ + index] = {submit_errno, status_errno};
}

std::vector<RecordedRequest> FakeHub::Requests() {
  std::lock_guard<std::mutex> lock(mutex_);
  return requests_;
}

int FakeHub::DiscardCount() {
  std::lock_guard<std::mutex> lock(mutex_);
  return discards_;
}

int FakeHub::OnIoctl(UMockdevIoctlBase*, UMockdevIoctlClient* client, void* self) {
  return static_cast<FakeHub*>(self)->HandleIoctl(client) ? TRUE : FALSE;
}

bool FakeHub::HandleIoctl(UMockdevIoctlClient* client) {
  std::lock_guard<std::mutex> lock(mutex_);
  const unsigned long request = umockdev_ioctl_client_get_request(client);
  UMockdevIoctlData* arg = umockdev_ioctl_client_get_arg(client);
  switch (request) {
    case USBDEVFS_GET_CAPABILITIES: {
      UMockdevIoctlData* caps = umockdev_ioctl_data_resolve(arg, 0, sizeof(uint32_t), nullptr);
      *reinterpret_cast<uint32_t*>(caps->data) = USBDEVFS_CAP_REAP_AFTER_DISCONNECT;
      umockdev_ioctl_data_unref(caps);
      umockdev_ioctl_client_complete(client, 0, 0);
      return true;
    }
    case USBDEVFS_SUBMITURB:
      return Submit(client);
    case USBDEVFS_REAPURB:
    case USBDEVFS_REAPURBNDELAY:
      return Reap(client);
    case USBDEVFS_DISCARDURB:
      if (in_flight_ == nullptr) {
        umockdev_ioctl_client_complete(client, -1, EINVAL);
        return true;
      }
      ++discards_;
      reinterpret_cast<usbdevfs_urb*>(in_flight_->data)->status = -ENOENT;
      in_flight_ready_ = true;
      umockdev_ioctl_client_complete(client, 0, 0);
      return true;
    default:
      umockdev_ioctl_client_complete(client, -1, ENOTTY);
      return true;
  }
}

bool FakeHub::Submit(UMockdevIoctlClient* client) {
  const int index = next_index_++;
  const auto found = faults_.find(index);
  const HubFault fault = found == faults_.end() ? HubFault::kNone : found->second;
  const auto by_errno = errno_faults_.find(index);
  const int submit_errno = by_errno == errno_faults_.end() ? 0 : by_errno->second.first;
  const int status_errno = by_errno == errno_faults_.end() ? 0 : by_errno->second.second;
  if (fault == HubFault::kVanished || submit_errno != 0 || in_flight_ != nullptr) {
    const int error = fault == HubFault::kVanished ? ENODEV
                      : submit_errno != 0          ? submit_errno
                                                   : EBUSY;
    umockdev_ioctl_client_complete(client, -1, error);
    return true;
  }
  UMockdevIoctlData* arg = umockdev_ioctl_client_get_arg(client);
  UMockdevIoctlData* urb_data = umockdev_ioctl_data_resolve(arg, 0, sizeof(usbdevfs_urb), nullptr);
  auto* urb = reinterpret_cast<usbdevfs_urb*>(urb_data->data);
  UMockdevIoctlData* buffer = umockdev_ioctl_data_resolve(
      urb_data, offsetof(usbdevfs_urb, buffer), static_cast<gsize>(urb->buffer_length), nullptr);
  auto* bytes = static_cast<uint8_t*>(urb->buffer);
  RecordedRequest r{bytes[0], bytes[1], static_cast<uint16_t>(bytes[2] | (bytes[3] << 8)),
                    static_cast<uint16_t>(bytes[4] | (bytes[5] << 8)),
                    static_cast<uint16_t>(bytes[6] | (bytes[7] << 8))};
  requests_.push_back(r);
  urb->actual_length = 0;
  urb->status = 0;
  in_flight_ready_ = true;
  if (status_errno != 0) {
    urb->status = -status_errno;
    if (buffer != nullptr) umockdev_ioctl_data_unref(buffer);
    in_flight_ = urb_data;
    umockdev_ioctl_client_complete(client, 0, 0);
    return true;
  }
  switch (fault) {
    case HubFault::kStall:
      urb->status = -EPIPE;
      break;
    case HubFault::kIoError:
      urb->status = -EPROTO;
      break;
    case HubFault::kHang:
      in_flight_ready_ = false;
      break;
    default:
      if (r.bmRequestType == 0xC0 && r.wLength >= 1 && urb->buffer_length >= 9) {
        bytes[8] = registers_[Key(r.bRequest, r.wValue)];
        urb->actual_length = 1;
      } else if (r.bmRequestType == 0x40) {
        registers_[Key(r.bRequest, r.wValue)] = static_cast<uint8_t>(r.wIndex & 0xFF);
      }
  }
  if (buffer != nullptr) umockdev_ioctl_data_unref(buffer);
  in_flight_ = urb_data;  // keeps the reference until reaped
  umockdev_ioctl_client_complete(client, 0, 0);
  return true;
}

bool FakeHub::Reap(UMockdevIoctlClient* client) {
  if (in_flight_ == nullptr || !in_flight_ready_) {
    umockdev_ioctl_client_complete(client, -1, EAGAIN);
    return true;
  }
  UMockdevIoctlData* arg = umockdev_ioctl_client_get_arg(client);
  UMockdevIoctlData* slot = umockdev_ioctl_data_resolve(arg, 0, sizeof(void*), nullptr);
  umockdev_ioctl_data_set_ptr(slot, 0, in_flight_);
  umockdev_ioctl_data_unref(slot);
  umockdev_ioctl_data_unref(in_flight_);
  in_flight_ = nullptr;
  umockdev_ioctl_client_complete(client, 0, 0);
  return true;
}

}  // namespace linux_test
