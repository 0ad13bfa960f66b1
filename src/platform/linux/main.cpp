// The tool on a Linux desktop.
#include <unistd.h>

#include "app/command_line.h"
#include "app/commands.h"
#include "app/startup.h"
#include "platform/linux/instance_quit.h"
#include "platform/linux/linux_files.h"
#include "platform/linux/tool_runner.h"
#include "platform/posix/standard_descriptors.h"
#include "platform/toml/toml_settings.h"

int main(int argc, char* argv[]) {
  // Before anything opens a descriptor (the toolkit, libusb, the lock file):
  // a closed standard output must not become one of them.
  posix::KeepStandardDescriptorsOpen();
  // --help, --version and arguments the tool does not know end here, before
  // the lock, the display or any device is touched.
  {
    linux_platform::LinuxFiles files;
    toml_settings::TomlSettingsFile settings(files.SettingsFilePath());
    if (const auto status =
            AnswerBeforeStart(argc, argv, UnknownArguments::kRefuse, files, &settings)) {
      return *status;
    }
  }
  // The one-shot commands show nothing, so they load no toolkit; the
  // diagnosis does, to ask it whether a tray host is there, and so does a
  // switch started where nobody reads standard error (a desktop shortcut),
  // to show its failure as a desktop notice.
  const ToolCommand command =
      ChooseCommand(ParseCommandLine(argc, argv, UnknownArguments::kRefuse)).command;
  const bool unseen_switch = command == ToolCommand::kSwitch && ::isatty(STDERR_FILENO) != 1;
  const bool shows_nothing = (command == ToolCommand::kSwitch && !unseen_switch) ||
                             command == ToolCommand::kStatus || command == ToolCommand::kQuit;
  // The resident tool ends in order when asked to (--quit, a service
  // manager's stop): SIGTERM is read by its main loop. Blocked before the
  // toolkit or libusb start a thread, so that none of them receives it.
  if (command == ToolCommand::kNone) linux_platform::BlockTerminateSignal();
  return linux_platform::RunTool(
      argc, argv, &ToolMain,
      shows_nothing ? linux_platform::Toolkit::kNever : linux_platform::Toolkit::kWhenDisplayed);
}
