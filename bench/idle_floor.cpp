// The floor of an idle tool: a process that does nothing but wake every
// 50 ms from poll(2) on one descriptor, as the tool's poll tick must. Its
// CPU time, measured beside the tool's, is what the tick costs on this
// machine before the tool does any work of its own.
#include <poll.h>
#include <unistd.h>

#include <cstdio>

int main() {
  int fds[2];
  if (::pipe(fds) != 0) {
    std::perror("pipe");
    return 1;
  }
  std::puts("Running...");
  std::fflush(stdout);
  pollfd watched{fds[0], POLLIN, 0};
  for (;;) ::poll(&watched, 1, 50);
}
