// The tool on a Linux desktop.
#include "app/startup.h"
#include "platform/linux/tool_runner.h"
#include "platform/posix/standard_descriptors.h"

int main(int argc, char* argv[]) {
  // Before anything opens a descriptor (the toolkit, libusb, the lock file):
  // a closed standard output must not become one of them.
  posix::KeepStandardDescriptorsOpen();
  return linux_platform::RunTool(argc, argv, &ToolMain);
}
