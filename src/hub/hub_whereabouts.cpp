#include "hub/hub_whereabouts.h"

#include <string>
#include <utility>

#include "shared/tool_state.h"

namespace {

HubWhereabouts gWhereabouts;
WhereaboutsObserver gWhereaboutsObserver = nullptr;

const ToolStateMember kWhereaboutsState{
    "gWhereabouts, gWhereaboutsObserver",
    [] {
      gWhereabouts = HubWhereabouts{};
      gWhereaboutsObserver = nullptr;
    },
    [] {
      return gWhereabouts.place == HubWhereabouts::Place::kUnknown &&
             gWhereabouts.upstream_port == -1 && gWhereabouts.last_switch.empty() &&
             gWhereaboutsObserver == nullptr;
    }};

}  // namespace

const HubWhereabouts& CurrentHubWhereabouts() {
  return gWhereabouts;
}

void SetHubPlace(HubWhereabouts::Place place, int upstream_port) {
  gWhereabouts.place = place;
  gWhereabouts.upstream_port = place == HubWhereabouts::Place::kHere ? upstream_port : -1;
  TellHubWhereabouts();
}

void NoteHubPlace(bool here) {
  SetHubPlace(here ? HubWhereabouts::Place::kHere : HubWhereabouts::Place::kAway);
}

void SetHubLastSwitch(std::string local_time) {
  gWhereabouts.last_switch = std::move(local_time);
}

void TellHubWhereabouts() {
  if (gWhereaboutsObserver != nullptr) gWhereaboutsObserver();
}

void SetWhereaboutsObserver(WhereaboutsObserver observer) {
  gWhereaboutsObserver = observer;
}
