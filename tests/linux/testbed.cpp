#include "testbed.h"

#include <umockdev.h>

#include <glob.h>
#include <stdio.h>

#include <fstream>
#include <string>
#include <vector>

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

std::string Testbed::Add(const std::string& description, const std::string& syspath,
                         bool announce) {
  // umockdev announces a new device to every listener socket named
  // event<N> in the test bed's root; moved aside, nobody hears of it.
  std::vector<std::string> hidden;
  if (!announce) {
    glob_t listeners{};
    if (::glob((Root() + "/event[0-9]*").c_str(), 0, nullptr, &listeners) == 0) {
      for (size_t i = 0; i < listeners.gl_pathc; ++i) {
        const std::string path = listeners.gl_pathv[i];
        const std::string aside = Root() + "/quiet-" + path.substr(path.rfind('/') + 1);
        if (::rename(path.c_str(), aside.c_str()) == 0) hidden.push_back(path);
      }
    }
    ::globfree(&listeners);
  }
  GError* error = nullptr;
  const bool added = umockdev_testbed_add_from_string(testbed_, description.c_str(), &error);
  g_clear_error(&error);
  for (const std::string& path : hidden) {
    const std::string aside = Root() + "/quiet-" + path.substr(path.rfind('/') + 1);
    ::rename(aside.c_str(), path.c_str());
  }
  return added ? syspath : "";
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
