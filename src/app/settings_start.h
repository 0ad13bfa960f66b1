// The user's gesture settings at start: read once from the platform's
// source, the problems reported, and the usage lines that say which
// gestures are on.
#pragma once

#include <string>

#include "gestures/gesture_settings.h"

// Reads the installed settings source into gGestureSettings and gHubHooks
// and writes one line per problem to standard error. Without a source, or
// with nothing in it, every setting keeps its default. Never stops the tool.
void LoadGestureSettings();

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
