// A fake evdev keyboard or mouse on umockdev's in-process handler: answers
// libevdev's queries, keeps a live key state that follows the events it
// sends, can drop events (SYN_DROPPED) and can be unplugged.
#pragma once

#include <linux/input.h>

#include <bitset>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "testbed.h"

typedef struct _UMockdevIoctlBase UMockdevIoctlBase;
typedef struct _UMockdevIoctlClient UMockdevIoctlClient;

namespace linux_test {

enum class FakeKind { kKeyboard, kMouse, kLidSwitch };

class FakeInput {
 public:
  // Creates /dev/input/event<number> in `testbed`.
  FakeInput(Testbed& testbed, FakeKind kind, int number);
  ~FakeInput();
  FakeInput(const FakeInput&) = delete;
  FakeInput& operator=(const FakeInput&) = delete;

  std::string devnode() const { return devnode_; }

  // Queues the key or button change and a SYN_REPORT; the live state
  // follows at once.
  void Key(uint16_t code, bool down);
  void Move(int dx, int dy);
  // The state changes but the events are lost: the reader sees SYN_DROPPED.
  void KeyDropped(uint16_t code, bool down);
  // The device goes away: reads fail with ENODEV and the node is removed.
  void Unplug();
  // What the kernel hands a reader as a device goes away (or is reset):
  // a release of every key held, ended by a SYN_REPORT of value 1.
  void ReleaseHeldKeysAsTheKernelDoes();
  // Answers EVIOCSCLOCKID as a kernel does (by default it is refused, as
  // umockdev's own devices refuse it); once a reader has set a clock, each
  // event is stamped with `now_ms()` at the moment it is queued, standing
  // for that clock.
  void AnswerClockId(std::function<uint64_t()> now_ms);
  // The clock id a reader set; -1 when none was set.
  int clock_id() const;

 private:
  // What the handler serves. It belongs to the handler object, which
  // umockdev keeps while the tool still has the node open, so it outlives
  // this fake: a reader that was not told of the unplug yet gets ENODEV.
  struct State {
    FakeKind kind;
    std::mutex mutex;  // the handler runs on umockdev's worker thread
    std::bitset<KEY_CNT> keys;
    std::deque<input_event> queue;
    bool gone = false;
    std::function<uint64_t()> clock;  // set: EVIOCSCLOCKID is answered
    int clock_id = -1;
    void Queue(uint16_t type, uint16_t code, int32_t value);
  };
  static int OnIoctl(UMockdevIoctlBase*, UMockdevIoctlClient* client, void* state);
  static int OnRead(UMockdevIoctlBase*, UMockdevIoctlClient* client, void* state);

  Testbed& testbed_;
  std::string devnode_;
  std::string syspath_;
  UMockdevIoctlBase* handler_;
  State* state_;  // owned by handler_
  bool plugged_ = false;
};

}  // namespace linux_test
