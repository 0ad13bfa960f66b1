// How a one-shot command tells a failure: its line and fix on standard
// error, as the error object of --status --json, and as a desktop notice
// where nobody reads standard error.
#pragma once

#include <string>

#include "hub/hub_failure.h"

// Writes `line` and, when not empty, `fix` on standard error, one line each.
void PrintFailure(const std::string& line, const std::string& fix);
// A failure of the hub's road, whose line and fix are on the console
// already when --console is on: written on standard error only when it is
// off, so that no line shows twice.
void PrintHubFailure(const HubFailure& failure);
// Started from a desktop shortcut, nobody reads standard error: the
// failure is shown as a desktop notice as well.
void NoticeHubFailureUnlessSeen(const HubFailure& failure);

// `text` as a JSON string, quotes included.
std::string JsonString(const std::string& text);
// The one line of --status --json for a failure: the hub it looks for, the
// error and its fix, and `members` (more ,"key":value pairs, or ""), as a
// JSON object, with its newline.
std::string StatusErrorJson(const std::string& error, const std::string& fix,
                            const std::string& members = "");
