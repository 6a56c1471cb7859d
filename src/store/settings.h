// What Options › Settings... edits: the program's own settings, kept in the
// registry under "\SOFTWARE\Kestrelbox\Options" as typed values (never in
// kbconf.ini, whose format is fixed) and edited in Options › Settings....
// Each option is named once, in the table the reader and the writer share.
#pragma once

#include <cstdint>
#include <string>

namespace kb {

inline constexpr char kOptionsKey[] = "\\SOFTWARE\\Kestrelbox\\Options";

// The name endings of downloads in progress and of clients' control files,
// as the clients document them: browsers (.part, .crdownload, .download,
// .partial, .opdownload), torrent clients (.!qB, .!ut, .bc!), download
// managers (.aria2, .filepart, .dctmp), aMule's part files' records
// (.part.met).
inline constexpr char kDefaultPartialSuffixes[] =
    ".part;.!qB;.crdownload;.download;.partial;.aria2;.!ut;.bc!;.opdownload;.filepart;"
    ".dctmp;.part.met";

struct Settings {
    // The completion gate: act only on files that have stopped changing for
    // SettleSeconds (and that no program still writes).
    bool WaitSettled = true;
    std::int32_t SettleSeconds = 10;
    // Where nothing can tell whether a program still writes a file: how
    // long it must have been quiet.
    std::int32_t UnseenWriterMinutes = 10;
    // Files with these endings, and files beside one named after them, are
    // downloads in progress; ";"-separated.
    std::string PartialSuffixes = kDefaultPartialSuffixes;
    // A subfolder is one download: settled when all it holds is, moved,
    // copied and trashed whole.
    bool FoldersAsDownloads = true;
    // A rule's delete moves the file to the Trash instead of removing it.
    bool DeleteToTrash = true;
    // Desktop notifications: when actions of a pass fail; of every action.
    bool NotifyFailures = true;
    bool NotifyEvery = false;
    // The window has said once how to bring it back on a desktop without a
    // notification area.
    bool NoTrayNoticeShown = false;
    // Failure notices by mail (kbconf.ini holds whether, the server and the
    // address): the SMTP login, its password here or, when
    // SmtpPasswordInKeyring, in the desktop's secret store; and why the last
    // mail could not be delivered ("" once one was), kept so that a window
    // shows what a headless run met.
    std::string SmtpUser;
    std::string SmtpPassword;
    bool SmtpPasswordInKeyring = false;
    std::string MailLastError;
    // The Activity page's columns as the user left them (Qt's header state,
    // base64); empty: the page's own.
    std::string ActivityColumns;

    bool operator==(const Settings&) const = default;
};

inline constexpr std::int32_t kMaxSettleSeconds = 3600;
inline constexpr std::int32_t kMaxUnseenWriterMinutes = 1440;

// Reads every option; one that is missing, of another type or out of its
// range reads as its default. Never throws.
void LoadSettings(Settings& o);

// Writes every option, creating the key when absent. Throws RegistryError
// (with the system's message) when they cannot be written.
void SaveSettings(const Settings& o);

}  // namespace kb
