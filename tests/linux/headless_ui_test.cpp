// Alerts and the start-up choice without a display.
#include "platform/linux/ui/headless_ui.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

using linux_platform::HeadlessUi;

// A memory stream pair: what the user types, and what the tool wrote.
class Terminal {
 public:
  explicit Terminal(const std::string& typed)
      : typed_(typed),
        in_(fmemopen(typed_.data(), typed_.size(), "r")),
        out_(open_memstream(&buffer_, &size_)) {}
  ~Terminal() {
    if (in_) std::fclose(in_);
    std::fclose(out_);
    std::free(buffer_);
  }
  std::FILE* in() { return in_; }
  std::FILE* out() { return out_; }
  std::string written() {
    std::fflush(out_);
    return std::string(buffer_, size_);
  }

 private:
  std::string typed_;
  std::FILE* in_;
  char* buffer_ = nullptr;
  size_t size_ = 0;
  std::FILE* out_;
};

platform::AlertSpec Choice() {
  return {"Tool",
          "Choose how to start the program.",
          {"Install as a Service", "Start Program", "Cancel"}};
}

TEST(HeadlessUiTest, AlertsGoToTheStreamWithTheTitle) {
  Terminal t(" ");
  HeadlessUi ui(t.in(), t.out(), true);
  EXPECT_EQ(ui.RunModalAlert({"Tool", "Tool started successfully.", {"OK"}}), 1000);
  EXPECT_EQ(ui.RunModalAlert({"Tool", "", {"OK"}}), 1000);
  EXPECT_EQ(t.written(), "Tool: Tool started successfully.\nTool: \n");
  EXPECT_EQ(ui.CreateStatusItem(), nullptr);
}

TEST(HeadlessUiTest, TheChoiceIsAskedByNumberUntilAnswered) {
  Terminal t("x\n0\n2 junk\n3\n");
  HeadlessUi ui(t.in(), t.out(), true);
  EXPECT_EQ(ui.RunModalAlert(Choice()), 1002);
  const std::string out = t.written();
  EXPECT_NE(out.find("  1) Install as a Service\n"), std::string::npos);
  size_t complaints = 0;
  for (size_t at = 0; (at = out.find("Please type a number", at)) != std::string::npos; ++at) {
    ++complaints;
  }
  EXPECT_EQ(complaints, 3u);
}

TEST(HeadlessUiTest, FirstButtonAndEndOfInput) {
  {
    Terminal t("1\n");
    HeadlessUi ui(t.in(), t.out(), true);
    EXPECT_EQ(ui.RunModalAlert(Choice()), 1000);
  }
  {
    Terminal t("");
    HeadlessUi ui(t.in(), t.out(), true);
    EXPECT_EQ(ui.RunModalAlert(Choice()), 1002);  // end of input cancels
  }
}

TEST(HeadlessUiTest, WithoutATerminalTheToolStartsAndSaysSo) {
  Terminal t("1\n");
  HeadlessUi ui(t.in(), t.out(), false);
  EXPECT_EQ(ui.RunModalAlert(Choice()), 1001);
  const std::string out = t.written();
  EXPECT_NE(out.find("going on as with \"Start Program\""), std::string::npos);
  // One line, and nothing read from the stream.
  EXPECT_EQ(std::count(out.begin(), out.end(), '\n'), 2);
  EXPECT_EQ(std::fgetc(t.in()), '1');
}

}  // namespace
