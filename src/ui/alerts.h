// The modal alert every user-facing message goes through, and the status icon.
#pragma once

#include <memory>

#include "platform/ui.h"

// Shows `text` (none: "") under the product name with one "OK" button and
// returns once it was pressed.
void ShowAlert(const char* text);
// The status icon at 18 x 18 points, from the bundle or beside the
// executable; null when there is none.
std::shared_ptr<platform::Image> LoadStatusIcon();
