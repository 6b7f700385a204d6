#include "ui/SyncStatus.h"

// Placeholder until the window is built: nothing is reviewed, so nothing runs.
namespace corvane::gui {

bool ReviewPlan(tProfile&) { return false; }

} // namespace corvane::gui
