#include "testbed.h"

#include <umockdev.h>

#include <glob.h>
#include <stdio.h>

#include <cstddef>
#include <fstream>
#include <optional>
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

namespace {

// umockdev announces a device to every listener socket named event<N> in the
// test bed's root (from 0.19 on also a removed one, by itself); while they
// are moved aside, nobody hears of it.
class ListenersAside {
 public:
  explicit ListenersAside(const std::string& root) : root_(root) {
    glob_t listeners{};
    if (::glob((root_ + "/event[0-9]*").c_str(), 0, nullptr, &listeners) == 0) {
      for (size_t i = 0; i < listeners.gl_pathc; ++i) {
        const std::string path = listeners.gl_pathv[i];
        if (::rename(path.c_str(), Aside(path).c_str()) == 0) hidden_.push_back(path);
      }
    }
    ::globfree(&listeners);
  }
  ~ListenersAside() {
    for (const std::string& path : hidden_) ::rename(Aside(path).c_str(), path.c_str());
  }
  ListenersAside(const ListenersAside&) = delete;
  ListenersAside& operator=(const ListenersAside&) = delete;

 private:
  std::string Aside(const std::string& path) const {
    return root_ + "/quiet-" + path.substr(path.rfind('/') + 1);
  }

  std::string root_;
  std::vector<std::string> hidden_;
};

}  // namespace

std::string Testbed::Add(const std::string& description, const std::string& syspath,
                         bool announce) {
  std::optional<ListenersAside> quiet;
  if (!announce) quiet.emplace(Root());
  GError* error = nullptr;
  const bool added = umockdev_testbed_add_from_string(testbed_, description.c_str(), &error);
  g_clear_error(&error);
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

void Testbed::Remove(const std::string& syspath, bool announce) {
  if (announce) Uevent(syspath, "remove");
  // Exactly one "remove" uevent, or none, whichever umockdev this is.
  ListenersAside quiet(Root());
  umockdev_testbed_remove_device(testbed_, syspath.c_str());
}

std::string Testbed::Root() const {
  gchar* root = umockdev_testbed_get_root_dir(testbed_);
  std::string out = root != nullptr ? root : "";
  g_free(root);
  return out;
}

}  // namespace linux_test
