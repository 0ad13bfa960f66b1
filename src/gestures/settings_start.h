// The user's gesture settings at start: read once from the platform's
// source, the problems reported, and the usage lines that say which
// gestures are on.
#pragma once

#include <string>
#include <vector>

#include "gestures/gesture_settings.h"

// Reads the installed settings source, puts its gesture settings in force
// (ApplyGestureSettings) with the hooks and the hub setting, and writes one
// line per problem to standard error. Started from the desktop or at login
// (`started_from_service`), where nobody reads standard error, one desktop
// notice names the file and the first problem as well. Without a source, or
// with nothing in it, every setting keeps its default. Never stops the tool.
void LoadGestureSettings(bool started_from_service);

// Writes one line per problem to standard error and, where nobody reads it
// (started at login, or from the desktop with no terminal), one desktop
// notice naming the location and the first problem.
void ReportSettingsProblems(const std::vector<std::string>& problems, const std::string& location,
                            bool started_from_service);

// Desktop notices about the settings are of this kind.
inline constexpr const char* kSettingsNoticeKind = "settings";
// The notice for settings with problems (at least one): the file, with the
// home folder written "~", and what is wrong in the first problem.
std::string SettingsNoticeText(const std::vector<std::string>& problems,
                               const std::string& location, const std::string& home);

// The notice for a desktop where nothing shows the tray item: that the tool
// runs, the gestures that are on, and how to end it.
std::string NoTrayNoticeText(const GestureSettings& settings);

// How the installed source spells the settings' names (a file's when there
// is none).
platform::SettingNames SettingsNames();

// The usage lines of the banner: only the gestures that are on, with their
// times; with every setting at its default, exactly the tool's classic two
// lines and the blank line after them.
std::string GestureUsageLines(const GestureSettings& settings);

// Where the settings come from, for the help and the diagnosis: "Settings:
// LOCATION", or that the platform has none.
std::string SettingsSourceLine();
