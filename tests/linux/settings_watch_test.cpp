// The settings folder's watch on its own: which changes reach the tool, the
// folder made after the start and moved away, and a watch that cannot be
// made.
#include "platform/linux/files/settings_watch.h"

#include <gtest/gtest.h>
#include <stdio.h>

#include <cerrno>
#include <chrono>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "platform/linux/loop/poll_loop.h"
#include "support/hostile_support.h"

namespace {

namespace fs = std::filesystem;

TEST(SettingsWatchTest, OnlyChangesOfTheFileReachTheToolWhereverItsFolderGoes) {
  const hostile::TempFolder made("qs-watch");
  ASSERT_FALSE(made.path().empty());
  const std::string base = made.path();
  const std::string dir = base + "/qs", file = dir + "/config.toml";
  linux_platform::PollLoop loop;
  linux_platform::WatchedSettingsFile settings(file);
  settings.SetWatcher(&loop);
  int calls = 0;
  std::string failure;
  // The folder does not exist yet: the one above it is watched.
  auto watch = settings.Watch(
      {}, [&calls] { ++calls; }, &failure);
  ASSERT_TRUE(watch) << failure;

  struct Step {
    const char* what;
    std::function<bool()> act;
    bool heard;
  };
  const std::vector<Step> steps = {
      {"the folder made, with the file",
       [&] { return fs::create_directory(dir) && hostile::Spit(file, "a = 1\n"); }, true},
      {"another file saved beside it", [&] { return hostile::Spit(dir + "/notes", "x"); }, false},
      {"the file renamed into place",
       [&] {
         return hostile::Spit(dir + "/.new", "a = 2\n") &&
                ::rename((dir + "/.new").c_str(), file.c_str()) == 0;
       },
       true},
      {"the folder moved away", [&] { return ::rename(dir.c_str(), (base + "/old").c_str()) == 0; },
       true},
      {"the file written in the moved folder",
       [&] { return hostile::Spit(base + "/old/config.toml", "a = 3\n"); }, false},
      {"the folder moved back", [&] { return ::rename((base + "/old").c_str(), dir.c_str()) == 0; },
       true},
      {"the file written in place", [&] { return hostile::Spit(file, "a = 4\n"); }, true},
      {"the file removed", [&] { return ::unlink(file.c_str()) == 0; }, true},
  };
  for (const Step& step : steps) {
    const int before = calls;
    ASSERT_TRUE(step.act()) << step.what;
    for (int i = 0; i < 5; ++i) loop.RunOnce(std::chrono::milliseconds(20));
    EXPECT_EQ(calls > before, step.heard) << step.what;
  }
  watch.reset();
}

int NoInotifyInstanceLeft(int /*flags*/) {
  errno = EMFILE;
  return -1;
}

TEST(SettingsWatchTest, AWatchThatCannotBeMadeSaysWhyAndTheFix) {
  linux_platform::PollLoop loop;
  linux_platform::WatchedSettingsFile settings("/tmp/qs/config.toml", NoInotifyInstanceLeft);
  settings.SetWatcher(&loop);
  std::string failure;
  EXPECT_FALSE(settings.Watch(
      {}, [] {}, &failure));
  EXPECT_EQ(failure.rfind("Cannot watch /tmp/qs for changed settings (inotify_init: ", 0), 0u)
      << failure;
  EXPECT_NE(failure.find("a change applies when the tool starts again. "), std::string::npos);
  EXPECT_NE(failure.find("sysctl fs.inotify.max_user_instances=512"), std::string::npos);
  // Nothing to follow where neither the folder nor the one above it exists:
  // no watch, and nothing said.
  linux_platform::WatchedSettingsFile nowhere("/nonexistent-qs/folder/config.toml");
  nowhere.SetWatcher(&loop);
  failure.clear();
  EXPECT_FALSE(nowhere.Watch(
      {}, [] {}, &failure));
  EXPECT_EQ(failure, "");
}

}  // namespace
