// The tool's fixed identity.
#pragma once

// The user-visible name: every alert's title, the status item's tooltip, the
// log folder's name.
inline constexpr const char* kProductName = "Quembrastella USB-C Switch";

// The login agent's label and the stem of the lock file's name; also the
// macOS bundle's identifier, so the build defines it (cmake/identity.cmake).
#ifndef QS_AGENT_LABEL
#error "QS_AGENT_LABEL is defined by the build: see cmake/identity.cmake"
#endif
inline constexpr const char* kAgentLabel = QS_AGENT_LABEL;
