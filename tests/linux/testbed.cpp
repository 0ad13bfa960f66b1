#include "testbed.h"

#include <umockdev.h>

#include <fstream>
#include <string>

#include <fstream>
#include <string>

namespace linux_test {

Testbed::Testbed() : testbed_(umockdev_testbed_new()) {}

Testbed::~Testbed() {
  g_object_unref(testbed_);
}

bool Testbed::InMockEnvironment() {
  // umockdev's own check only tells whether a test bed exists; what matters
  // is whether its preload library redirects this process's device access.
  std::ifstream maps("/proc/self/maps");
  std::string line;
  while (std::getline(maps, line)) {
    if (line.find("libumockdev-preload") != std::string::npos) return true;
  }
  return false;
}

std::string Testbed::Add(const std::string& description, const std::string& syspath) {
  GError* error = nullptr;
  if (!umockdev_testbed_add_from_string(testbed_, description.c_str(), &error)) {
    g_clear_error(&error);
    return "";
  }
  return syspath;
}

bool Testbed::Attach(const std::string& devnode, UMockdevIoctlBase* handler) {
  GError* error = nullptr;
  const bool ok = umockdev_testbed_attach_ioctl(testbed_, devnode.c_str(), handler, &error);
  g_clear_error(&error);
  return ok;
}

void Testbed::Detach(const std::string& devnode) {
  GError* error = nullptr;
  umockdev_testbed_detach_ioctl(testbed_, devnode.c_str(), &error);
  g_clear_error(&error);
}

void Testbed::Uevent(const std::string& syspath, const std::string& action) {
  umockdev_testbed_uevent(testbed_, syspath.c_str(), action.c_str());
}

void Testbed::Remove(const std::string& syspath) {
  umockdev_testbed_remove_device(testbed_, syspath.c_str());
}

std::string Testbed::Root() const {
  gchar* root = umockdev_testbed_get_root_dir(testbed_);
  std::string out = root != nullptr ? root : "";
  g_free(root);
  return out;
}

}  // namespace linux_test
