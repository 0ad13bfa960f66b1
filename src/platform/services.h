// The platform seam: the few services the portable tool runs on. Each
// platform (macos, linux, sim) installs one set before the tool's main runs.
#pragma once

#include "platform/app.h"
#include "platform/clock.h"
#include "platform/files.h"
#include "platform/input.h"
#include "platform/processes.h"
#include "platform/run_loop.h"
#include "platform/settings.h"
#include "platform/ui.h"
#include "platform/usb.h"

namespace platform {

// Not owned; every pointer must outlive the tool's main. All must be set,
// except `settings` (a platform without one runs with the default settings)
// and `processes` (without it no hook runs).
struct Services {
  Clock* clock = nullptr;
  RunLoop* run_loop = nullptr;
  Input* input = nullptr;
  Usb* usb = nullptr;
  Ui* ui = nullptr;
  Files* files = nullptr;
  App* app = nullptr;
  SettingsSource* settings = nullptr;
  Processes* processes = nullptr;
};

// Installs the services the tool uses from now on.
void InstallServices(const Services& services);
// The installed services.
const Services& Sys();

}  // namespace platform
