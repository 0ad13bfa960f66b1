// The tool on a Linux desktop.
#include <unistd.h>

#include <cstdio>
#include <optional>
#include <string>

#include "app/startup.h"
#include "commands/command_line.h"
#include "commands/commands.h"
#include "output/keep_running.h"
#include "output/show_msg.h"
#include "platform/linux/files/instance_quit.h"
#include "platform/linux/files/linux_files.h"
#include "platform/linux/tool_runner.h"
#include "platform/posix/console_writer.h"
#include "platform/posix/standard_descriptors.h"
#include "platform/toml/toml_settings.h"

namespace {

// An answer that could not be written (a full disk, /dev/full) is no
// answer: a status of 0 becomes 1, and the reason goes to standard error.
int Answered(int status) {
  std::string reason;
  if (posix::StandardOutputWritten(&reason)) return status;
  std::fprintf(stderr, "quembrastella-switch: the output could not be written (%s)\n",
               reason.c_str());
  return status == kCommandOk ? kCommandFailed : status;
}

}  // namespace

int main(int argc, char* argv[]) {
  // Before anything opens a descriptor (the toolkit, libusb, the lock file):
  // a closed standard output must not become one of them.
  posix::KeepStandardDescriptorsOpen();
  // Started in the background of a terminal set to "tostop", the first
  // line would stop the tool while it holds its lock.
  KeepRunningWhenOutputGoes();
  // --help, --version and arguments the tool does not know end here, before
  // the lock, the display or any device is touched.
  {
    linux_platform::LinuxFiles files;
    toml_settings::TomlSettingsFile settings(files.SettingsFilePath());
    if (const auto status =
            AnswerBeforeStart(argc, argv, UnknownArguments::kRefuse, files, &settings)) {
      return Answered(*status);
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
  // toolkit, libusb or the console writer start a thread, so that none of
  // them receives it.
  if (command == ToolCommand::kNone) linux_platform::BlockTerminateSignal();
  // The resident tool's console lines go through a writer of their own:
  // a terminal stopped with Ctrl-S or a pipe nobody reads never holds up
  // the gestures.
  std::optional<posix::ConsoleWriter> console;
  if (command == ToolCommand::kNone) {
    console.emplace(STDOUT_FILENO);
    SetConsoleSink(&posix::ConsoleWriter::WriteToCurrent);
  }
  const int status = linux_platform::RunTool(
      argc, argv, &ToolMain,
      shows_nothing ? linux_platform::Toolkit::kNever : linux_platform::Toolkit::kWhenDisplayed);
  SetConsoleSink(nullptr);
  return Answered(status);
}
