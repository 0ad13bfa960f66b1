#include "platform/posix/console_writer.h"

#include <errno.h>
#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <string>
#include <thread>
#include <utility>

namespace posix {

struct ConsoleWriter::State {
  int fd = -1;
  size_t capacity = 0;
  std::mutex mutex;
  std::condition_variable wake;  // something to write, or stop
  std::condition_variable idle;  // all written
  std::deque<std::string> queue;
  size_t dropped = 0;
  bool writing = false;
  bool stopping = false;

  bool Idle() const { return queue.empty() && dropped == 0 && !writing; }

  void Queue(const char* text, size_t length) {
    std::lock_guard<std::mutex> lock(mutex);
    if (stopping) return;
    if (queue.size() >= capacity) {
      ++dropped;
      return;
    }
    queue.emplace_back(text, length);
    wake.notify_one();
  }

  // Every byte, or until the descriptor refuses for good (a reader gone):
  // then the text is lost, as on any console nobody reads.
  void WriteAll(const std::string& text) const {
    size_t done = 0;
    while (done < text.size()) {
      const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) return;
      done += static_cast<size_t>(n);
    }
  }

  void Run() {
    // Signals are the main thread's business.
    sigset_t all;
    sigfillset(&all);
    pthread_sigmask(SIG_BLOCK, &all, nullptr);
    std::unique_lock<std::mutex> lock(mutex);
    for (;;) {
      wake.wait(lock, [this] { return !queue.empty() || dropped != 0 || stopping; });
      if (queue.empty() && dropped == 0) break;  // stopping, all written
      std::string text;
      if (!queue.empty()) {
        text = std::move(queue.front());
        queue.pop_front();
      } else {
        // The queue ran dry after text was dropped: output flows again.
        text = DroppedLine(dropped);
        dropped = 0;
      }
      writing = true;
      lock.unlock();
      WriteAll(text);
      lock.lock();
      writing = false;
      if (Idle()) idle.notify_all();
    }
  }
};

namespace {

std::mutex gCurrentMutex;
std::weak_ptr<ConsoleWriter::State> gCurrent;

}  // namespace

std::string DroppedLine(size_t count) {
  return "(" + std::to_string(count) + (count == 1 ? " console line was" : " console lines were") +
         " dropped: the output was not read in time)\n";
}

ConsoleWriter::ConsoleWriter(int fd, size_t queued_messages) : state_(std::make_shared<State>()) {
  state_->fd = fd;
  state_->capacity = queued_messages;
  std::thread([state = state_] { state->Run(); }).detach();
  std::lock_guard<std::mutex> lock(gCurrentMutex);
  gCurrent = state_;
}

ConsoleWriter::~ConsoleWriter() {
  (void)Flush(1000);
  {
    std::lock_guard<std::mutex> lock(gCurrentMutex);
    if (gCurrent.lock() == state_) gCurrent.reset();
  }
  std::lock_guard<std::mutex> lock(state_->mutex);
  state_->stopping = true;
  state_->wake.notify_all();
  // The thread holds the state; it ends when the queue is out, or with the
  // process.
}

void ConsoleWriter::Write(const char* text, size_t length) {
  state_->Queue(text, length);
}

bool ConsoleWriter::Flush(int ms) {
  std::unique_lock<std::mutex> lock(state_->mutex);
  return state_->idle.wait_for(lock, std::chrono::milliseconds(ms),
                               [this] { return state_->Idle(); });
}

void ConsoleWriter::WriteToCurrent(const char* text, size_t length) {
  std::shared_ptr<State> state;
  {
    std::lock_guard<std::mutex> lock(gCurrentMutex);
    state = gCurrent.lock();
  }
  if (state) state->Queue(text, length);
}

}  // namespace posix
