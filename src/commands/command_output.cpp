#include "commands/command_output.h"

#include <cstdio>
#include <string>

#include "output/show_msg.h"
#include "platform/services.h"

void PrintFailure(const std::string& line, const std::string& fix) {
  std::fflush(stdout);  // the console lines before it come first
  std::fprintf(stderr, "%s\n", line.c_str());
  if (!fix.empty()) std::fprintf(stderr, "%s\n", fix.c_str());
  std::fflush(stderr);
}

std::string HomeShortPath(const std::string& path) {
  const std::string home = platform::Sys().files->HomeDirectory();
  if (home.empty() || home == "/" || path.compare(0, home.size() + 1, home + "/") != 0) {
    return path;
  }
  // Appended, not joined with +: optimised g++ 12 builds warn on the join.
  std::string shortened = "~";
  shortened.append(path, home.size(), std::string::npos);
  return shortened;
}

void PrintHubFailure(const std::string& line, const std::string& fix) {
  if (!gConsoleMode) PrintFailure(line, fix);
}
