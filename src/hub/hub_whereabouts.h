// Where this process last saw the hub, from its switches and the bus, and
// when it last switched it: what the status item's tooltip says.
#pragma once

#include <string>

struct HubWhereabouts {
  enum class Place { kUnknown, kHere, kAway };
  Place place = Place::kUnknown;
  int upstream_port = -1;   // this computer's upstream port (0 or 1) when here
  std::string last_switch;  // local time of the last accepted write, "HH:MM"
};

// The hub's whereabouts as last told.
const HubWhereabouts& CurrentHubWhereabouts();
// The hub is here (on `upstream_port`, -1 when not known) or away; the
// observer hears of it.
void SetHubPlace(HubWhereabouts::Place place, int upstream_port = -1);
// The bus told that the hub arrived here (true) or left (false).
void NoteHubPlace(bool here);
// The local time of a write the hub took; told with the place that follows
// (TellHubWhereabouts when none does).
void SetHubLastSwitch(std::string local_time);
// Tells the observer the whereabouts as they are.
void TellHubWhereabouts();
// Called after every change of the whereabouts; none by default.
using WhereaboutsObserver = void (*)();
void SetWhereaboutsObserver(WhereaboutsObserver observer);
