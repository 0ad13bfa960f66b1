// --status: the hub's two registers read, nothing written.
#pragma once

#include <string>

// Prints the hub's state (with `json`, one JSON object in every outcome);
// the exit status.
int RunStatusCommand(bool json);
// The one line of --status --json for a failure: the hub it looks for, the
// error and its fix, as a JSON object, with its newline.
std::string StatusErrorJson(const std::string& error, const std::string& fix);
