// What Options › Additional Options edits, kept outside the configuration
// file: the auto-start switch; beside it the main window's last position and
// size, in the registry key
// "\SOFTWARE\Kestrelbox" and its subkey "Main"; and the log-on entry that
// follows the switch.
#pragma once

#include <cstdint>
#include <string>

namespace kb {

// The application title: the registry key's name, the log-on entry's name
// and the single-instance guard's name.
inline constexpr char kAppTitle[] = "Kestrelbox";

// Registry locations (under the local machine's root).
inline constexpr char kProgramKey[] = "\\SOFTWARE\\Kestrelbox";
inline constexpr char kWindowKey[] = "\\Software\\Kestrelbox\\Main";

struct AdditionalOptions {
    bool AutoStart = true;
    std::int32_t WinStatus = 0;  // 1 once the window was closed maximised
    std::int32_t WinLeft = 50;
    std::int32_t WinTop = 50;
    std::int32_t WinWidth = 440;
    std::int32_t WinHeight = 400;
    bool operator==(const AdditionalOptions&) const = default;
};

// True when the program's key exists, i.e. this is not the first run.
bool ProgramKeyExists();

// Reads the six settings. A value that is missing or not a 32-bit integer
// reads as its default; "AutoStart" is true for any non-zero value.
void LoadAdditionalOptions(AdditionalOptions& s);

// Writes the six settings, creating the keys when absent. Throws
// RegistryError (with the system's message) when they cannot be written; the
// settings in memory stay as they are.
void SaveAdditionalOptions(const AdditionalOptions& s);

// The start-up step: LoadAdditionalOptions when the key exists, otherwise SaveAdditionalOptions
// to store the defaults. Returns "" or, when the defaults could not be
// stored, the error message to show; the program goes on with `s` in memory.
std::string LoadOrCreateAdditionalOptions(AdditionalOptions& s);

// The log-on entry upkeep at every start: an entry that exists, is not empty
// and lacks "startup" is rewritten for `executable`, and when AutoStart is on
// the entry is written whether it exists or not (so it follows a moved
// program). Throws RegistryError when the entry cannot be written.
void UpdateRunEntry(const AdditionalOptions& s, const std::string& executable);

// The auto-start switch as the options dialog applies it: on writes the entry
// anew, off deletes it; AutoStart follows the switch in memory only (it
// reaches the registry with the next SaveAdditionalOptions). Throws RegistryError when
// the entry cannot be written or removed; AutoStart is changed only on
// success.
void ApplyAutoStartSwitch(AdditionalOptions& s, bool on, const std::string& executable);

}  // namespace kb
