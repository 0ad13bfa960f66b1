// Builds the Linux services around the tool's main and tears them down
// after it: headless or with Qt Widgets, settled before the application
// object exists.
#pragma once

namespace linux_platform {

using ToolMainFunction = int (*)(int argc, char* argv[]);

// Whether the toolkit module is loaded where a display can be reached, or
// never (a command that shows nothing).
enum class Toolkit { kWhenDisplayed, kNever };

// Runs `tool_main` on the Linux services; returns its exit status.
int RunTool(int argc, char* argv[], ToolMainFunction tool_main,
            Toolkit toolkit = Toolkit::kWhenDisplayed);

}  // namespace linux_platform
