// Starting a program without waiting for it, as the hooks need: looked up
// on PATH, started in a process group of its own with default signal
// handling, standard input from /dev/null and standard output and error
// into one pipe, and none of the tool's other descriptors.
#pragma once

#include <sys/types.h>

#include <functional>
#include <string>
#include <vector>

#include "platform/posix/unique_fd.h"
#include "platform/result.h"

namespace posix {

struct StartedProgram {
  pid_t pid = -1;   // also its process group
  UniqueFd output;  // the read end of its output pipe (non-blocking, close-on-exec)
};

// Where `program` would be run from: itself when it holds a slash, else
// the first directory of PATH ("/usr/local/bin:/usr/bin:/bin" when unset)
// that holds an executable regular file of that name. Failure: "no such
// program on PATH", "no such file", "permission denied", "not a file", in
// those words.
platform::Result<std::string> LocateProgram(const std::string& program);

// The process's environment without the variables named in `unset`, and
// with each of `extra` ("NAME=VALUE") put in, replacing one of that name.
std::vector<std::string> EnvironmentWith(const std::vector<std::string>& extra,
                                         const std::vector<std::string>& unset = {});

// Starts `argv` with the environment `environment`; returns at once.
// Failure: as LocateProgram's, or the system's words for why not.
platform::Result<StartedProgram> StartProgram(const std::vector<std::string>& argv,
                                              const std::vector<std::string>& environment);

// A line longer than this is passed on in pieces of this size.
inline constexpr size_t kMaxOutputLine = 400;

// Reads what `fd` holds now (non-blocking) onto `pending` and hands each
// complete line to `line` (without its newline); true when the writer has
// closed its end, after the last piece was handed on.
bool ReadLines(int fd, std::string& pending, const std::function<void(const std::string&)>& line);

// Reads `output` to its end and throws what it holds away, in a process of
// its own that holds none of the tool's other descriptors and outlives the
// tool: for a program the tool lets go of (it quits, or the hooks restart)
// while the program, or one it started, still writes. With the pipe's
// reader gone, its next line would end it with SIGPIPE.
void DrainInBackground(UniqueFd output);

}  // namespace posix
