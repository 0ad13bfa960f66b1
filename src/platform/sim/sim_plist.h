// Login agent files as real property lists, read and written with libplist.
#pragma once

#include <optional>
#include <string>

#include "platform/files.h"

namespace sim {

// Reads a property-list file in any encoding libplist knows (XML, binary).
// None when the file is missing, unreadable, malformed or its root is no
// dictionary. A Label that is no string, or ProgramArguments that is no
// array of strings, is left out.
std::optional<platform::AgentFileContents> ReadAgentPlist(const std::string& path);

// The XML property list of an agent, with its seven entries.
platform::Result<std::string> AgentToXml(const platform::AgentDefinition& agent);

}  // namespace sim
