#include "platform/services.h"

namespace platform {
namespace {
Services g_services;
}  // namespace

void InstallServices(const Services& services) {
  g_services = services;
}
const Services& Sys() {
  return g_services;
}

}  // namespace platform
