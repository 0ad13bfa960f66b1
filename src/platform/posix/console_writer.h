// Console text written by a thread of its own, so that a reader who does not
// read (a terminal stopped with Ctrl-S, a pipe nobody drains) never holds up
// the thread that queues it.
#pragma once

#include <cstddef>
#include <memory>
#include <string>

namespace posix {

// Writes what is queued to `fd`, in order, on its own thread. The
// descriptor's flags are left as they are: it may be shared with a terminal
// or a shell. Text that does not fit in the queue is dropped and counted,
// and once the queue has been written out the count is written as a line of
// its own.
class ConsoleWriter {
 public:
  // Messages (showMsg calls) the queue holds.
  static constexpr size_t kQueuedMessages = 256;

  explicit ConsoleWriter(int fd, size_t queued_messages = kQueuedMessages);
  // Waits up to a second for the queue to be written, then lets the thread
  // go: one blocked on a reader that never reads ends with the process.
  ~ConsoleWriter();
  ConsoleWriter(const ConsoleWriter&) = delete;
  ConsoleWriter& operator=(const ConsoleWriter&) = delete;

  // Queues `length` bytes of `text`; never waits for the reader.
  void Write(const char* text, size_t length);
  // Waits up to `ms` for everything queued (and the count of what was
  // dropped) to be written; true when it was.
  bool Flush(int ms);

  // Write() on the writer made last and not yet destroyed; text for no
  // writer is dropped. A plain function, for the message routine.
  static void WriteToCurrent(const char* text, size_t length);

  // The queue and its thread; the thread shares it, so that one still
  // blocked when the writer goes away never writes through a dangling
  // pointer.
  struct State;

 private:
  std::shared_ptr<State> state_;
};

// The line that tells how many messages were dropped.
std::string DroppedLine(size_t count);

}  // namespace posix
