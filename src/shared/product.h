// The tool's fixed identity.
#pragma once

// The user-visible name: every alert's title, the status item's tooltip, the
// log folder's name.
inline constexpr const char* kProductName = "Quembrastella USB-C Switch";

// The login agent's label and the stem of the lock file's name.
inline constexpr const char* kAgentLabel = "org.quembrastella.switch";
