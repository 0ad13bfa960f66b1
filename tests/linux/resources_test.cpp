// The shipped udev rule grants access to the hub and to nothing else.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {

std::vector<std::string> RuleLines() {
  std::ifstream in(std::string(QS_SOURCE_DIR) + "/resources/linux/70-quembrastella-switch.rules");
  std::vector<std::string> rules;
  std::string line;
  while (std::getline(in, line)) {
    if (!line.empty() && line[0] != '#') rules.push_back(line);
  }
  return rules;
}

TEST(ResourcesTest, UdevRuleMatchesOnlyTheHubAndGrantsSeatAccess) {
  const std::vector<std::string> rules = RuleLines();
  ASSERT_EQ(rules.size(), 1u);
  const std::string& rule = rules[0];
  EXPECT_NE(rule.find("SUBSYSTEM==\"usb\""), std::string::npos);
  EXPECT_NE(rule.find("ATTR{idVendor}==\"2109\""), std::string::npos);
  EXPECT_NE(rule.find("ATTR{idProduct}==\"8822\""), std::string::npos);
  EXPECT_NE(rule.find("TAG+=\"uaccess\""), std::string::npos);
  // No blanket permissions.
  EXPECT_EQ(rule.find("MODE"), std::string::npos);
  EXPECT_EQ(rule.find("GROUP"), std::string::npos);
}

}  // namespace
