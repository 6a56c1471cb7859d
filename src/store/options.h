// The program's own options, beside the specified settings: kept in the
// registry under "\SOFTWARE\Kestrelbox\Options" as typed values (never in
// kbconf.ini, whose format is fixed) and edited in Options › Settings....
// Each option is named once, in the table the reader and the writer share.
#pragma once

#include <cstdint>

namespace kb {

inline constexpr char kOptionsKey[] = "\\SOFTWARE\\Kestrelbox\\Options";

struct Options {
    // The completion gate: act only on files that have stopped changing for
    // SettleSeconds (and that no program still writes).
    bool WaitSettled = true;
    std::int32_t SettleSeconds = 10;
    // A rule's delete moves the file to the Trash instead of removing it.
    bool DeleteToTrash = true;
    // Desktop notifications: when actions of a pass fail; of every action.
    bool NotifyFailures = true;
    bool NotifyEvery = false;
    // The window has said once how to bring it back on a desktop without a
    // notification area.
    bool NoTrayNoticeShown = false;

    bool operator==(const Options&) const = default;
};

inline constexpr std::int32_t kMaxSettleSeconds = 3600;

// Reads every option; one that is missing, of another type or out of its
// range reads as its default. Never throws.
void LoadOptions(Options& o);

// Writes every option, creating the key when absent. Throws RegistryError
// (with the system's message) when they cannot be written.
void SaveOptions(const Options& o);

}  // namespace kb
