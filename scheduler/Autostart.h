// The XDG autostart entry that starts the scheduler when the user logs in.
#pragma once

#include <string>

namespace corvane {

inline constexpr const char* kDesktopId = "org.corvane.Corvane";

// $XDG_CONFIG_HOME/autostart/org.corvane.Corvane.desktop, with $HOME/.config in place of
// an XDG_CONFIG_HOME that is unset, empty or not absolute.
std::string AutostartEntryFileName();

// The entry exists and is not switched off (desktops write Hidden=true for that).
bool AutostartEnabled();

// The entry's text: an application entry running program with "/autostart".
std::string AutostartEntryText(const std::string& program);

// Writes the entry (its folders made as needed) or removes it. "" on success, else what
// went wrong; a missing entry to remove is no error.
std::string SetAutostart(bool on, const std::string& program);

// The running program file, "corvane" when it cannot be told.
std::string ProgramFile();

} // namespace corvane
