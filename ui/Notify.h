// Desktop notifications of scheduled runs that failed.
#pragma once

#include <string>

namespace corvane::gui {

// Tells the desktop that a scheduled run of profileName failed, with its result line: a
// freedesktop notification over the session bus, else a tray balloon where only a tray
// exists, else nothing. Never waits for the user or for the notification service.
void NotifyFailedRun(const std::string& profileName, const std::string& result);

} // namespace corvane::gui
