// The menu-bar item's icon. The item itself and its menu belong to the
// application delegate (ui/app_delegate.h).
#pragma once

#include <memory>

#include "platform/ui.h"

// The status icon at 18 x 18 points, from the bundle or beside the
// executable; null when there is none.
std::shared_ptr<platform::Image> LoadStatusIcon();
