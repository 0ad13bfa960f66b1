// What the cases on the real kernel drive and watch: the tool as a child
// process, the stand-in hub's request log and the gadget that carries it.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <string>
#include <vector>

namespace vm {

// The kernel's own count of a process's wake-ups, summed over its threads.
struct WakeCounts {
  uint64_t voluntary = 0;    // /proc/PID/status voluntary_ctxt_switches
  uint64_t involuntary = 0;  // nonvoluntary_ctxt_switches
  uint64_t run_ns = 0;       // /proc/PID/schedstat: time on a CPU
  uint64_t slices = 0;       // /proc/PID/schedstat: times it was scheduled
};
WakeCounts ReadWakeCounts(pid_t pid);

// A program started with its standard output on a pipe, read line by line.
class ChildProcess {
 public:
  explicit ChildProcess(const std::vector<std::string>& argv);
  // Kills the process if it still runs, and reaps it.
  ~ChildProcess();
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  pid_t pid() const { return pid_; }
  // Waits up to `timeout_ms` for a line of output containing `text` after
  // the lines already matched; true when one came.
  bool WaitForLine(const std::string& text, int timeout_ms);
  // Reads what is there to read, without waiting.
  void Drain();
  // Every line read so far, and where the next search starts.
  const std::vector<std::string>& lines() const { return lines_; }
  size_t cursor() const { return cursor_; }
  // Lines read since `from` that contain `text`.
  size_t CountSince(size_t from, const std::string& text) const;
  // Waits up to `timeout_ms` for the process to end; its exit status, or
  // -1 when it is still running.
  int WaitExit(int timeout_ms);
  // Whether one of its descriptors is open on `node`.
  bool Holds(const std::string& node) const;
  // Waits until Holds(node) is `open` (or `timeout_ms` passes).
  bool WaitForNode(const std::string& node, bool open, int timeout_ms) const;

 private:
  bool ReadSome(int timeout_ms);

  pid_t pid_ = -1;
  int out_ = -1;
  bool exited_ = false;
  int status_ = -1;
  std::string partial_;
  std::vector<std::string> lines_;
  size_t cursor_ = 0;
};

// One request the stand-in hub saw.
struct HubRequest {
  uint64_t at_ns = 0;
  std::string kind;  // "read", "write" or "stall"
  std::string reg;   // "F5-0000"
  int value = -1;
};

// The stand-in hub's log, read from where the last call stopped.
class HubLog {
 public:
  explicit HubLog(std::string path);
  ~HubLog();
  HubLog(const HubLog&) = delete;
  HubLog& operator=(const HubLog&) = delete;

  // The requests logged since the last call.
  std::vector<HubRequest> ReadNew();
  // Waits up to `timeout_ms` for a request of `kind`; collects everything
  // read meanwhile into `seen`. Sleeps until the hub writes to its log, so
  // that the waiting takes no CPU from the program being watched.
  bool WaitFor(const std::string& kind, int timeout_ms, std::vector<HubRequest>* seen);
  // Whether each request read is also printed (on by default). A timed
  // wait turns it off: on the serial console every line costs the machine
  // time while the program being timed still runs.
  void set_echo(bool echo) { echo_ = echo; }

 private:
  std::string path_;
  long offset_ = 0;
  std::string partial_;
  int watch_ = -1;  // inotify descriptor on the log, -1 when none could be made
  bool echo_ = true;
};

// The gadget in configfs: unbinding it from the dummy controller and
// binding it again makes the host enumerate the hub anew.
struct Gadget {
  std::string udc_file;  // configfs .../UDC
  std::string udc_name;  // e.g. dummy_udc.0
  bool Unbind() const;
  bool Bind() const;
};

// The bus address of the first 2109:8822 under /sys/bus/usb/devices, or
// "" when none is there.
std::string HubAddress();

// Creates an empty file at `path`; false on failure.
bool CreateFile(const std::string& path);
// Writes `text` to the existing file `path`; false on failure.
bool WriteFile(const std::string& path, const std::string& text);

}  // namespace vm
