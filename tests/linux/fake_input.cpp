#include "fake_input.h"

#include <sys/ioctl.h>
#include <umockdev.h>

#include <cerrno>
#include <cstring>

namespace linux_test {
namespace {

void SetBit(std::vector<uint8_t>& bits, unsigned bit) {
  if (bit / 8 < bits.size()) bits[bit / 8] |= static_cast<uint8_t>(1u << (bit % 8));
}

}  // namespace

FakeInput::FakeInput(Testbed& testbed, FakeKind kind, int number)
    : testbed_(testbed), handler_(umockdev_ioctl_base_new()), state_(new State) {
  state_->kind = kind;
  g_object_set_data_full(G_OBJECT(handler_), "fake-input-state", state_,
                         [](gpointer state) { delete static_cast<State*>(state); });
  const std::string name = "event" + std::to_string(number);
  devnode_ = "/dev/input/" + name;
  const std::string path = "/devices/virtual/input/input" + std::to_string(number) + "/" + name;
  g_signal_connect(handler_, "handle-ioctl", G_CALLBACK(&FakeInput::OnIoctl), state_);
  g_signal_connect(handler_, "handle-read", G_CALLBACK(&FakeInput::OnRead), state_);
  testbed_.Attach(devnode_, handler_);
  const char* role = kind == FakeKind::kKeyboard ? "ID_INPUT_KEYBOARD"
                     : kind == FakeKind::kMouse  ? "ID_INPUT_MOUSE"
                                                 : "ID_INPUT_SWITCH";
  syspath_ = testbed_.Add("P: " + path + "\nN: input/" + name + "\nE: DEVNAME=" + devnode_ +
                              "\nE: SUBSYSTEM=input\nE: ID_INPUT=1\nE: " + role +
                              "=1\nA: dev=13:" + std::to_string(64 + number) + "\n",
                          "/sys" + path);
  plugged_ = !syspath_.empty();
}

FakeInput::~FakeInput() {
  Unplug();
  testbed_.Detach(devnode_);
  g_object_unref(handler_);
}

void FakeInput::State::Queue(uint16_t type, uint16_t code, int32_t value) {
  input_event ev{};
  ev.type = type;
  ev.code = code;
  ev.value = value;
  if (clock && clock_id >= 0) {
    const uint64_t ms = clock();
    ev.input_event_sec = static_cast<decltype(ev.input_event_sec)>(ms / 1000);
    ev.input_event_usec = static_cast<decltype(ev.input_event_usec)>((ms % 1000) * 1000);
  }
  queue.push_back(ev);
}

void FakeInput::AnswerClockId(std::function<uint64_t()> now_ms) {
  std::lock_guard<std::mutex> lock(state_->mutex);
  state_->clock = std::move(now_ms);
}

int FakeInput::clock_id() const {
  std::lock_guard<std::mutex> lock(state_->mutex);
  return state_->clock_id;
}

void FakeInput::Key(uint16_t code, bool down) {
  std::lock_guard<std::mutex> lock(state_->mutex);
  state_->keys[code] = down;
  state_->Queue(EV_KEY, code, down ? 1 : 0);
  state_->Queue(EV_SYN, SYN_REPORT, 0);
}

void FakeInput::ReleaseHeldKeysAsTheKernelDoes() {
  std::lock_guard<std::mutex> lock(state_->mutex);
  for (size_t code = 0; code < state_->keys.size(); ++code) {
    if (!state_->keys[code]) continue;
    state_->keys[code] = false;
    state_->Queue(EV_KEY, static_cast<uint16_t>(code), 0);
  }
  state_->Queue(EV_SYN, SYN_REPORT, 1);
}

void FakeInput::Move(int dx, int dy) {
  std::lock_guard<std::mutex> lock(state_->mutex);
  state_->Queue(EV_REL, REL_X, dx);
  state_->Queue(EV_REL, REL_Y, dy);
  state_->Queue(EV_SYN, SYN_REPORT, 0);
}

void FakeInput::KeyDropped(uint16_t code, bool down) {
  std::lock_guard<std::mutex> lock(state_->mutex);
  state_->keys[code] = down;
  state_->Queue(EV_SYN, SYN_DROPPED, 0);
}

void FakeInput::Unplug() {
  if (!plugged_) return;
  {
    std::lock_guard<std::mutex> lock(state_->mutex);
    state_->gone = true;
  }
  testbed_.Remove(syspath_);
  plugged_ = false;
}

int FakeInput::OnRead(UMockdevIoctlBase*, UMockdevIoctlClient* client, void* state) {
  auto* self = static_cast<State*>(state);
  std::lock_guard<std::mutex> lock(self->mutex);
  UMockdevIoctlData* arg = umockdev_ioctl_client_get_arg(client);
  if (self->gone) {
    umockdev_ioctl_client_complete(client, -1, ENODEV);
    return TRUE;
  }
  const size_t room = static_cast<size_t>(arg->data_len) / sizeof(input_event);
  if (self->queue.empty() || room == 0) {
    umockdev_ioctl_client_complete(client, -1, EAGAIN);
    return TRUE;
  }
  std::vector<input_event> out;
  while (!self->queue.empty() && out.size() < room) {
    out.push_back(self->queue.front());
    self->queue.pop_front();
  }
  const size_t bytes = out.size() * sizeof(input_event);
  umockdev_ioctl_data_update(arg, 0, reinterpret_cast<guint8*>(out.data()),
                             static_cast<gint>(bytes));
  umockdev_ioctl_client_complete(client, static_cast<glong>(bytes), 0);
  return TRUE;
}

int FakeInput::OnIoctl(UMockdevIoctlBase*, UMockdevIoctlClient* client, void* state) {
  auto* self = static_cast<State*>(state);
  std::lock_guard<std::mutex> lock(self->mutex);
  const unsigned long request = umockdev_ioctl_client_get_request(client);
  if (self->gone) {
    umockdev_ioctl_client_complete(client, -1, ENODEV);
    return TRUE;
  }
  if (request == EVIOCSCLOCKID && self->clock) {
    UMockdevIoctlData* arg = umockdev_ioctl_client_get_arg(client);
    UMockdevIoctlData* data = umockdev_ioctl_data_resolve(arg, 0, sizeof(int), nullptr);
    if (data == nullptr) {
      umockdev_ioctl_client_complete(client, -1, EFAULT);
      return TRUE;
    }
    std::memcpy(&self->clock_id, data->data, sizeof(int));
    umockdev_ioctl_data_unref(data);
    umockdev_ioctl_client_complete(client, 0, 0);
    return TRUE;
  }
  if (_IOC_TYPE(request) != 'E' || _IOC_DIR(request) != _IOC_READ) {
    umockdev_ioctl_client_complete(client, -1, EINVAL);
    return TRUE;
  }
  const unsigned nr = _IOC_NR(request);
  const size_t size = _IOC_SIZE(request);
  if (nr == _IOC_NR(EVIOCGPHYS(0)) || nr == _IOC_NR(EVIOCGUNIQ(0)) || size == 0) {
    umockdev_ioctl_client_complete(client, -1, ENOENT);
    return TRUE;
  }
  std::vector<uint8_t> reply(size, 0);
  long result = static_cast<long>(size);
  if (nr == _IOC_NR(EVIOCGVERSION)) {
    const int version = EV_VERSION;
    std::memcpy(reply.data(), &version, sizeof version);
    result = 0;
  } else if (nr == _IOC_NR(EVIOCGID)) {
    input_id id{BUS_USB, 0x1234, static_cast<uint16_t>(0x10 + static_cast<int>(self->kind)), 1};
    std::memcpy(reply.data(), &id, sizeof id);
    result = 0;
  } else if (nr == _IOC_NR(EVIOCGNAME(0))) {
    const char* name = self->kind == FakeKind::kKeyboard ? "fake keyboard"
                       : self->kind == FakeKind::kMouse  ? "fake mouse"
                                                         : "fake lid";
    const size_t n = std::min(size - 1, std::strlen(name));
    std::memcpy(reply.data(), name, n);
    result = static_cast<long>(n + 1);
  } else if (nr == _IOC_NR(EVIOCGKEY(0))) {
    for (unsigned code = 0; code < KEY_CNT; ++code) {
      if (self->keys[code]) SetBit(reply, code);
    }
  } else if (nr == _IOC_NR(EVIOCGBIT(0, 0))) {
    SetBit(reply, EV_SYN);
    if (self->kind == FakeKind::kLidSwitch) {
      SetBit(reply, EV_SW);
    } else {
      SetBit(reply, EV_KEY);
      if (self->kind == FakeKind::kMouse) SetBit(reply, EV_REL);
    }
  } else if (nr == _IOC_NR(EVIOCGBIT(EV_KEY, 0))) {
    if (self->kind == FakeKind::kKeyboard) {
      for (unsigned code = KEY_ESC; code <= KEY_COMPOSE; ++code) SetBit(reply, code);
    } else if (self->kind == FakeKind::kMouse) {
      for (unsigned code : {BTN_LEFT, BTN_RIGHT, BTN_MIDDLE, BTN_SIDE}) SetBit(reply, code);
    }
  } else if (nr == _IOC_NR(EVIOCGBIT(EV_REL, 0))) {
    if (self->kind == FakeKind::kMouse) {
      for (unsigned code : {REL_X, REL_Y, REL_WHEEL}) SetBit(reply, code);
    }
  } else if (nr == _IOC_NR(EVIOCGBIT(EV_SW, 0))) {
    if (self->kind == FakeKind::kLidSwitch) SetBit(reply, SW_LID);
  }
  // Every other query (properties, LEDs, switches, sounds, other bits)
  // answers with an empty set.
  UMockdevIoctlData* arg = umockdev_ioctl_client_get_arg(client);
  UMockdevIoctlData* data = umockdev_ioctl_data_resolve(arg, 0, size, nullptr);
  if (data != nullptr) {
    std::memcpy(data->data, reply.data(), size);
    umockdev_ioctl_data_unref(data);
  }
  umockdev_ioctl_client_complete(client, result, 0);
  return TRUE;
}

}  // namespace linux_test
