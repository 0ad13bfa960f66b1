#include "output/keep_running.h"

#include <csignal>

void KeepRunningWhenOutputGoes() {
  // The console output is a courtesy: when the tool was started with its
  // standard output on a pipe and the reader has gone (a closed terminal, a
  // "| head" that has had enough), the next message must not kill the switch
  // with SIGPIPE. Ignored, the write fails with EPIPE and showMsg drops the
  // text like any other output it cannot write.
#ifdef SIGPIPE
  std::signal(SIGPIPE, SIG_IGN);
#endif
  // Started in the background of a terminal whose "tostop" is set, the
  // first line written to it would stop the whole tool (and with it the
  // lock it holds) until brought to the foreground. Ignored, the line is
  // written and the tool goes on.
#ifdef SIGTTOU
  std::signal(SIGTTOU, SIG_IGN);
#endif
}
