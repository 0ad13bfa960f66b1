// Joining and splitting paths.
#include <gtest/gtest.h>

#include "shared/paths.h"

namespace {

TEST(JoinPathTest, ExactlyOneSlashBetween) {
  EXPECT_EQ(JoinPath("/home/a", "Library/LaunchAgents"), "/home/a/Library/LaunchAgents");
  EXPECT_EQ(JoinPath("/home/a/", "x"), "/home/a/x");
  EXPECT_EQ(JoinPath("/home/a//", "//x"), "/home/a/x");
  EXPECT_EQ(JoinPath("/", "x"), "/x");
  EXPECT_EQ(JoinPath("/home/a", "Quembrastella USB-C Switch"),
            "/home/a/Quembrastella USB-C Switch");
  EXPECT_EQ(JoinPath("", "x"), "x");
}

TEST(DeletingLastPathComponentTest, KeepsTheFolder) {
  EXPECT_EQ(DeletingLastPathComponent("/opt/tool/bin/switch"), "/opt/tool/bin");
  EXPECT_EQ(DeletingLastPathComponent("/opt/tool/bin/"), "/opt/tool");
  EXPECT_EQ(DeletingLastPathComponent("/opt//switch"), "/opt");
  EXPECT_EQ(DeletingLastPathComponent("/switch"), "/");
  EXPECT_EQ(DeletingLastPathComponent("/"), "/");
  EXPECT_EQ(DeletingLastPathComponent("switch"), "");
  EXPECT_EQ(DeletingLastPathComponent(""), "");
}

}  // namespace
