// The profile commands of the command line: --show, --set, --rename and --delete, on the
// preferences file the window uses.
#pragma once

#include <string>
#include <vector>

namespace corvane {

// Prints every field of the stored profile as "Field=value" lines. 0, or 2 for an unknown
// profile.
int ShowProfileCommand(const std::string& name);

// Creates the profile (first-start values) or changes it by "Field=value" assignments and
// stores it. 0; 2 for a bad name, an unknown field, a bad value or a profile the edit page
// would not store (nothing is stored then); 1 when the profile is being run or the
// preferences file cannot be written.
int SetProfileCommand(const std::string& name, const std::vector<std::string>& assignments);

// Renames a stored profile, keeping every entry. 0; 2 for an unknown profile, a bad new name
// or one that is taken; 1 when either is being run or the file cannot be written.
int RenameProfileCommand(const std::string& oldName, const std::string& newName);

// Deletes a stored profile. Without confirmed it asks on the terminal, and refuses (2) when
// standard input is none. 0; 2 for an unknown profile or a refusal; 1 when the profile is
// being run or the file cannot be written.
int DeleteProfileCommand(const std::string& name, bool confirmed);

} // namespace corvane
