#include "support/tracker_state.h"

#include <cstring>

TrackerState Tracker = {
    0, 0, 0, 1, 0, 0, 1, 0, {}, "say", "", 0, 0, 0, 0, 0, 0, 0,
};

void ResetTrackerState() {
    std::memset(&Tracker, 0, sizeof Tracker);
    Tracker.Power = 1;
    Tracker.PlayerMode = 1;
    std::strcpy(Tracker.ChatPrefix, "say");
}
