// The menu-bar item's icon. The item itself and its menu belong to the
// application delegate (ui/app_delegate.h).
#pragma once

#include <memory>
#include <string>

#include "hub/hub_whereabouts.h"
#include "platform/ui.h"

// The status icon at 18 x 18 points, from the bundle or beside the
// executable; null when there is none.
std::shared_ptr<platform::Image> LoadStatusIcon();

// The item's tooltip: the product name, then, once a switch has told, where
// the hub is (here on its upstream port N, or away) and when this tool last
// switched it.
std::string StatusToolTip(const HubWhereabouts& hub);
