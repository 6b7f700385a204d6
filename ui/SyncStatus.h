// The synchronization status window: the plan of a run for review and editing.
#pragma once

namespace corvane {
class tProfile;
}

namespace corvane::gui {

// Shows the profile's plan modally; true when the user pressed "Start". The user may change
// actions and filters meanwhile; the plan then holds what the window showed.
bool ReviewPlan(tProfile& profile);

} // namespace corvane::gui
