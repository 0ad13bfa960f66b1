// Programs the tool starts and does not wait for (the hooks): started at
// once, watched from the run loop, their output read line by line.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/result.h"

namespace platform {

// How a started program ended.
struct ProcessEnd {
  bool signalled = false;  // ended by a signal, not by exiting
  int code = 0;            // its exit status, or the signal's number
};

enum class ProcessSignal { kTerminate, kKill };

// A started program. Destroying it stops the calls and lets go of the pipe
// and handles; it does not end the program. It may be destroyed from inside
// its own callbacks.
class Process {
 public:
  virtual ~Process() = default;
  // Sends TERM or KILL; nothing once the program has ended.
  virtual void Signal(ProcessSignal signal) = 0;
};

// Called on the main thread, from the run loop.
struct ProcessCallbacks {
  // Each line the program writes to its standard output or error, without
  // the newline, as the lines come (a last line without one too).
  std::function<void(const std::string& line)> line;
  // Once, after the program has ended and its output has been read to the
  // end (or closed by a program it left running).
  std::function<void(const ProcessEnd& end)> ended;
};

class Processes {
 public:
  virtual ~Processes() = default;
  // Starts argv[0] (looked up on PATH when it holds no slash) with `argv`,
  // the tool's own environment plus `environment` ("NAME=VALUE" each,
  // replacing a variable of that name), standard input from /dev/null, and
  // no descriptor of the tool's but the output pipe; returns at once.
  // Failure: why it could not be started, as a phrase ("no such program on
  // PATH", "permission denied").
  virtual Result<std::unique_ptr<Process>> Start(const std::vector<std::string>& argv,
                                                 const std::vector<std::string>& environment,
                                                 ProcessCallbacks callbacks) = 0;
  // Where `program` would be found and that it may be run, without running
  // it: the path it resolves to, or why it cannot be run (as for Start).
  virtual Result<std::string> Locate(const std::string& program) = 0;
};

}  // namespace platform
