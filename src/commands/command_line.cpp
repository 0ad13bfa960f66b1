#include "commands/command_line.h"

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

#include "commands/command_failure.h"
#include "hub/hook_settings.h"
#include "platform/services.h"
#include "service/instance_lock.h"
#include "service/launch_agent.h"

#ifndef QS_VERSION
#error "QS_VERSION must be set by the build to the project's version"
#endif

namespace {

constexpr const char* kProgram = "quembrastella-switch";

struct Option {
  const char* long_name;
  const char* short_name;  // nullptr when there is none
  bool CommandLine::*flag;
  const char* summary;
};

// Every option the tool knows, in the order the usage text lists them.
constexpr Option kOptions[] = {
    {"--console", nullptr, &CommandLine::console,
     "print a banner, each action and each hub register access"},
    {"--service", nullptr, &CommandLine::service,
     "start as the login entry does: no question, no notice"},
    {"--help", "-h", &CommandLine::help, "print this help and exit"},
    {"--version", "-V", &CommandLine::version, "print the version and exit"},
    {"--switch", nullptr, &CommandLine::switch_hub, "switch the hub once now and exit"},
    {"--status", nullptr, &CommandLine::status, "print which upstream port the hub is on"},
    {"--json", nullptr, &CommandLine::json, "with --status: one JSON object instead"},
    {"--diagnose", nullptr, &CommandLine::diagnose,
     "check input access, the hub, the login entry, the tray"},
    {"--quit", nullptr, &CommandLine::quit, "end the running instance of this user"},
};

const Option* FindOption(const char* argument) {
  for (const Option& option : kOptions) {
    if (std::strcmp(argument, option.long_name) == 0) return &option;
    if (option.short_name && std::strcmp(argument, option.short_name) == 0) return &option;
  }
  return nullptr;
}

std::string OptionLine(const Option& option) {
  std::string names = option.short_name ? std::string(option.short_name) + ", " : "    ";
  names += option.long_name;
  constexpr size_t kColumn = 18;
  std::string line = "  " + names;
  line.append(names.size() < kColumn ? kColumn - names.size() : 1, ' ');
  return line + option.summary + "\n";
}

std::string Quoted(const std::string& argument) {
  return "'" + argument + "'";
}

// "700 ms", "1 s", "1.5 s" hold no locale's decimal comma: built from digits.
std::string Duration(uint32_t ms) {
  if (ms % 1000 != 0) return std::to_string(ms) + " ms";
  return std::to_string(ms / 1000) + " s";
}

// The gestures of --help, with the times and rules the settings give.
std::string GestureHelpLines(const GestureSettings& s) {
  const std::string window = "tap twice within " + Duration(s.double_tap_ms);
  std::string text = "  Control, Control  ";
  if (s.control_double_tap) {
    text += window + (s.control_taps == ControlTapRule::kClean ? ", no other key" : "") +
            (s.control_key == ControlKey::kLeft    ? ", left key only"
             : s.control_key == ControlKey::kRight ? ", right key only"
                                                   : "") +
            ": switch the hub\n";
  } else {
    text += "off\n";
  }
  text += "  mouse chord       ";
  text += s.mouse_chord ? "hold left and right (or middle) button for " +
                              Duration(s.chord_hold_ms) + ": switch\n"
                        : "off\n";
  text += "  Q, Q              ";
  if (s.quit_double_tap) {
    text +=
        window + (s.quit_taps == QuitTapRule::kConsecutive ? ", no key between" : "") + ": quit\n";
  } else {
    text += "off (quit from the tray's Exit, or with --quit)\n";
  }
  return text;
}

}  // namespace

CommandLine ParseCommandLine(int argc, char* argv[], UnknownArguments unknown) {
  CommandLine result;
  if (!argv) return result;
  for (int i = 1; i < argc; ++i) {
    const char* argument = argv[i];
    if (!argument) continue;
    if (const Option* option = FindOption(argument)) {
      result.*(option->flag) = true;
    } else if (unknown == UnknownArguments::kRefuse && !result.unknown) {
      result.unknown = argument;
    }
  }
  return result;
}

std::string UsageText(const UsageContext& context) {
  std::string text =
      std::string("Usage: ") + kProgram + " [OPTION]...\n" +
      "Moves the USB-C hub 2109:8822 to the other computer when you make a gesture.\n"
      "It lives in the tray (menu bar) and runs one instance at a time.\n"
      "\nOptions:\n";
  for (const Option& option : kOptions) text += OptionLine(option);
  text += "\nGestures" +
          std::string(context.settings.empty() ? "" : " (as the settings set them)") + ":\n" +
          GestureHelpLines(context.gestures);
  text +=
      "\nThe commands --switch, --status, --diagnose and --quit run beside the\n"
      "tool (they take no lock and show nothing), one at a time. To switch from a\n"
      "key, bind the command to it, for example in ~/.config/sxhkd/sxhkdrc:\n"
      "  super + F12\n"
      "      quembrastella-switch --switch\n"
      "\nFiles:\n"
      "  login entry       " +
      context.login_entry +
      "\n"
      "  lock              " +
      context.lock + "\n";
  if (!context.settings.empty()) {
    text += "  settings          " + context.settings + "\n";
    text += "\nHooks (in the settings):\n  " + context.hook_left + ", " + context.hook_arrived +
            "\n                    a program and its arguments, run when the hub leaves this\n"
            "                    computer or arrives (to move a monitor's input with DDC/CI)\n";
  }
  const bool refuses = context.unknown_arguments == UnknownArguments::kRefuse;
  text +=
      "\nExit status:\n"
      "  0  the tool ended, or another instance is running already; a command\n"
      "     did what it was asked\n"
      "  1  installing the login entry failed, or no input device could be read;\n"
      "     --switch failed; --status found no hub; --diagnose found something a\n"
      "     gesture needs missing; --quit found no instance, or it did not end\n"
      "  2  " +
      std::string(refuses ? "an argument the tool does not know, or " : "") +
      "two commands at once;\n"
      "     --status found the hub but could not open or read it\n"
      "  3  --switch: the hub did not leave this computer within 2 s\n"
      "  4  --switch: not switched again, another process switched the hub\n"
      "     less than 500 ms before\n";
  return text;
}

std::string VersionText() {
  return std::string(kProgram) + " " + QS_VERSION + "\n";
}

CommandChoice ChooseCommand(const CommandLine& command_line) {
  CommandChoice choice;
  choice.json = command_line.json;
  choice.service = command_line.service;
  const int commands = (command_line.switch_hub ? 1 : 0) + (command_line.status ? 1 : 0) +
                       (command_line.diagnose ? 1 : 0) + (command_line.quit ? 1 : 0);
  if (commands > 1) {
    choice.error = "give one of --switch, --status, --diagnose and --quit, not several";
    return choice;
  }
  if (command_line.json && !command_line.status) {
    choice.error = "--json goes with --status";
    return choice;
  }
  if (command_line.switch_hub) choice.command = ToolCommand::kSwitch;
  if (command_line.status) choice.command = ToolCommand::kStatus;
  if (command_line.diagnose) choice.command = ToolCommand::kDiagnose;
  if (command_line.quit) choice.command = ToolCommand::kQuit;
  return choice;
}

CommandLineAnswer UsageErrorAnswer(const std::string& error, bool json) {
  CommandLineAnswer answer;
  answer.status = kExitUsage;
  answer.standard_error = std::string(kProgram) + ": " + error + "\nTry '" + kProgram +
                          " --help' for more information.\n";
  // A script that asked for JSON gets JSON, whatever else is wrong.
  if (json)
    answer.standard_output = StatusErrorJson(error, "Run " + std::string(kProgram) + " --help.");
  return answer;
}

std::optional<CommandLineAnswer> AnswerCommandLine(const CommandLine& command_line,
                                                   const UsageContext& context) {
  std::string error;
  if (command_line.unknown) {
    const std::string& argument = *command_line.unknown;
    const bool looks_like_option = !argument.empty() && argument[0] == '-';
    error = (looks_like_option ? "unknown option " : "unexpected argument ") + Quoted(argument);
  } else {
    error = ChooseCommand(command_line).error;
  }
  if (!error.empty()) return UsageErrorAnswer(error, command_line.status && command_line.json);
  if (command_line.help) return CommandLineAnswer{0, UsageText(context), ""};
  if (command_line.version) return CommandLineAnswer{0, VersionText(), ""};
  return std::nullopt;
}

UsageContext InstalledUsageContext(UnknownArguments unknown) {
  platform::SettingsSource* settings = platform::Sys().settings;
  UsageContext context{LaunchAgentPlistPath(), SingleInstanceLockPath(), unknown,
                       settings ? settings->Location() : std::string(), GestureSettings{}};
  if (settings != nullptr) {
    context.gestures =
        CheckSettings(settings->Read(), settings->Names(), settings->Location()).settings;
    context.hook_left = HookSettingName(HubEvent::kLeft, settings->Names());
    context.hook_arrived = HookSettingName(HubEvent::kArrived, settings->Names());
  }
  return context;
}

std::optional<int> AnswerBeforeStart(int argc, char* argv[], UnknownArguments unknown,
                                     platform::Files& files, platform::SettingsSource* settings) {
  const CommandLine command_line = ParseCommandLine(argc, argv, unknown);
  if (!command_line.unknown && !command_line.help && !command_line.version &&
      ChooseCommand(command_line).error.empty()) {
    return std::nullopt;
  }

  const platform::Services before = platform::Sys();
  platform::Services only_files;
  only_files.files = &files;
  only_files.settings = settings;
  platform::InstallServices(only_files);
  const std::optional<CommandLineAnswer> answer =
      AnswerCommandLine(command_line, InstalledUsageContext(unknown));
  platform::InstallServices(before);
  if (!answer) return std::nullopt;

  std::fputs(answer->standard_output.c_str(), stdout);
  std::fputs(answer->standard_error.c_str(), stderr);
  std::fflush(stdout);
  return answer->status;
}
