#include "commands/command_failure.h"

#include <cstdio>
#include <string>

#include "hub/hub_device.h"
#include "output/show_msg.h"
#include "platform/services.h"

namespace {

std::string Hex(unsigned value, int digits) {
  char text[16];
  std::snprintf(text, sizeof text, "%0*X", digits, value);
  return text;
}

}  // namespace

void PrintFailure(const std::string& line, const std::string& fix) {
  std::fflush(stdout);  // the console lines before it come first
  std::fprintf(stderr, "%s\n", line.c_str());
  if (!fix.empty()) std::fprintf(stderr, "%s\n", fix.c_str());
  std::fflush(stderr);
}

void PrintHubFailure(const HubFailure& failure) {
  if (!gConsoleMode) PrintFailure(HubFailureLine(failure), HubFailureFix(failure));
}

void NoticeHubFailureUnlessSeen(const HubFailure& failure) {
  if (!platform::Sys().ui->ConsoleSeen()) NoticeHubFailure(failure);
}

// Escapes what JSON requires: the port path is digits and dots, but it comes
// from the platform, and failure lines carry the platform's words.
std::string JsonString(const std::string& text) {
  std::string out = "\"";
  for (const char c : text) {
    if (c == '"' || c == '\\') {
      out += '\\';
      out += c;
    } else if (static_cast<unsigned char>(c) < 0x20) {
      out += "\\u00" + Hex(static_cast<unsigned char>(c), 2);
    } else {
      out += c;
    }
  }
  return out + "\"";
}

std::string StatusErrorJson(const std::string& error, const std::string& fix,
                            const std::string& members) {
  std::string json = "{\"hub\":" + JsonString(HubIdText()) + ",\"error\":" + JsonString(error);
  if (!fix.empty()) json += ",\"fix\":" + JsonString(fix);
  return json + members + "}\n";
}
