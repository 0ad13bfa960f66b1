// The per-user login agent that starts the tool at every login.
#pragma once

#include <string>

// The folder that holds the user's login agents.
std::string LaunchAgentDirectoryPath();
// The agent file: the folder joined with the label and the file ending.
std::string LaunchAgentPlistPath();
// The log folder: the first Application Support folder (or the home folder)
// joined with the product name. Not created here.
std::string ApplicationSupportDirectoryPath();
// True only when an installed agent file names this executable under the label.
bool LaunchAgentServiceExists();
// Writes the agent file and creates the log folder (where the platform
// writes logs there); on failure `message` (when given) receives the text
// to show.
bool InstallLaunchAgent(std::string* message);
