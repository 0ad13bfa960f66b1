// Builds the Linux services around the tool's main and tears them down
// after it: headless or with Qt Widgets, settled before the application
// object exists.
#pragma once

namespace linux_platform {

using ToolMainFunction = int (*)(int argc, char* argv[]);

// Runs `tool_main` on the Linux services; returns its exit status.
int RunTool(int argc, char* argv[], ToolMainFunction tool_main);

}  // namespace linux_platform
