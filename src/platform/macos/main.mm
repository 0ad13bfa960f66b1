// The executable's entry point on macOS: installs the platform's services,
// then runs the tool. This file must not see the delegate's Objective-C
// class: the tool's headers name a C++ class of the same name.
#import <Foundation/Foundation.h>

#include "app/startup.h"
#include "commands/command_line.h"
#include "platform/macos/mac_app.h"
#include "platform/macos/mac_files.h"
#include "platform/macos/mac_input.h"
#include "platform/macos/mac_processes.h"
#include "platform/macos/mac_run_loop.h"
#include "platform/macos/mac_settings.h"
#include "platform/macos/mac_ui.h"
#include "platform/macos/mac_usb.h"
#include "platform/posix/posix_clock.h"
#include "platform/posix/standard_descriptors.h"
#include "platform/services.h"
#include "shared/product.h"

int main(int argc, char* argv[]) {
  // Before anything opens a descriptor: a closed standard output must not
  // become the lock file.
  posix::KeepStandardDescriptorsOpen();
  @autoreleasepool {
    // --help and --version end here, before the application object, the lock
    // or any window exists. Every other argument the tool does not know is
    // skipped: the system passes applications arguments of its own
    // (-psn_0_12345 from the Finder of older releases, "-NSKey value" and
    // "-AppleKey value" pairs from `open --args` and the debugger).
    {
      platform::macos::MacFiles files;
      platform::macos::MacSettings settings(kAgentLabel);
      if (const auto status =
              AnswerBeforeStart(argc, argv, UnknownArguments::kIgnore, files, &settings)) {
        return *status;
      }
    }
    // They live until the process ends: the terminate request ends it
    // inside the run loop, with these still in place. A run that ends in a
    // failure (no input) returns from the loop instead, and ends with the
    // tool's status.
    posix::SystemClock system_clock;
    platform::macos::MacRunLoop run_loop;
    platform::macos::MacInput input;
    platform::macos::MacUsb usb;
    platform::macos::MacUi ui;
    platform::macos::MacFiles files;
    platform::macos::MacApp app;
    platform::macos::MacSettings settings(kAgentLabel);
    platform::macos::MacProcesses processes;
    platform::InstallServices(platform::Services{.clock = &system_clock,
                                                 .run_loop = &run_loop,
                                                 .input = &input,
                                                 .usb = &usb,
                                                 .ui = &ui,
                                                 .files = &files,
                                                 .app = &app,
                                                 .settings = &settings,
                                                 .processes = &processes});
    return ToolMain(argc, argv);
  }
}
