// The log-on entry that starts the program when the user logs on. On Windows
// it is a text value named after the application under the machine's "Run"
// key; on Linux it is the desktop's autostart file
// $XDG_CONFIG_HOME/autostart/<name>.desktop.
#pragma once

#include <string>

namespace kb {

// The command the entry holds: `executable` followed by " startup". On Linux
// the path is quoted when the Desktop Entry rules require it.
std::string AutoStartCommand(const std::string& executable);

// Reads the entry's command. Returns 0 and sets `command` (possibly "");
// returns -1 and leaves it unchanged when there is no readable entry.
int ReadAutoStartEntry(const std::string& name, std::string& command);

// Writes (or rewrites) the entry so that it starts `executable` with the
// argument "startup". Throws RegistryError with the system's message.
void WriteAutoStartEntry(const std::string& name, const std::string& executable);

// Removes the entry; no entry is not an error. Throws RegistryError with the
// system's message when it cannot be removed.
void DeleteAutoStartEntry(const std::string& name);

}  // namespace kb
