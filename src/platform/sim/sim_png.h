// The picture put where the tool looks for its status icon.
#pragma once

#include <string>

namespace sim {

// The project's icon file when the source tree has one, else a tiny valid
// PNG of our own.
std::string IconPngBytes();

}  // namespace sim
