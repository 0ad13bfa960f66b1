// The tool on a Linux desktop.
#include "app/startup.h"
#include "platform/linux/tool_runner.h"

int main(int argc, char* argv[]) {
  return linux_platform::RunTool(argc, argv, &ToolMain);
}
