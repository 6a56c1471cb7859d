#include "store/settings.h"

#include "platform/registry.h"

namespace kb {

namespace {

// One stored option: a dword holding either a switch (exactly 0 or 1) or a
// number within [least, most], or a text.
struct OptionField {
    const char* name;
    bool Settings::*flag;
    std::int32_t Settings::*number;
    std::int32_t least, most;
    std::string Settings::*text = nullptr;
};

constexpr OptionField kFields[] = {
    {"WaitSettled", &Settings::WaitSettled, nullptr, 0, 1},
    {"SettleSeconds", nullptr, &Settings::SettleSeconds, 0, kMaxSettleSeconds},
    {"UnseenWriterMinutes", nullptr, &Settings::UnseenWriterMinutes, 0, kMaxUnseenWriterMinutes},
    {"PartialSuffixes", nullptr, nullptr, 0, 0, &Settings::PartialSuffixes},
    {"FoldersAsDownloads", &Settings::FoldersAsDownloads, nullptr, 0, 1},
    {"DeleteToTrash", &Settings::DeleteToTrash, nullptr, 0, 1},
    {"NotifyFailures", &Settings::NotifyFailures, nullptr, 0, 1},
    {"NotifyEvery", &Settings::NotifyEvery, nullptr, 0, 1},
    {"NoTrayNoticeShown", &Settings::NoTrayNoticeShown, nullptr, 0, 1},
    {"SmtpUser", nullptr, nullptr, 0, 0, &Settings::SmtpUser},
    {"SmtpPassword", nullptr, nullptr, 0, 0, &Settings::SmtpPassword},
    {"SmtpPasswordInKeyring", &Settings::SmtpPasswordInKeyring, nullptr, 0, 1},
    {"MailLastError", nullptr, nullptr, 0, 0, &Settings::MailLastError},
    {"ActivityColumns", nullptr, nullptr, 0, 0, &Settings::ActivityColumns},
};

}  // namespace

void LoadSettings(Settings& o) {
    const Settings defaults;
    for (const OptionField& f : kFields) {
        if (f.text) {
            // An empty text is a choice; only a missing one is the default.
            std::string text;
            const bool read = RegValueExists(RegRoot::LocalMachine, kOptionsKey, f.name) &&
                              ReadRegString(RegRoot::LocalMachine, kOptionsKey, f.name, text) == 0;
            o.*f.text = read ? text : defaults.*f.text;
            continue;
        }
        std::int32_t v = 0;
        const bool read = ReadRegInteger(RegRoot::LocalMachine, kOptionsKey, f.name, v) == 0 &&
                          v >= f.least && v <= f.most;
        if (f.flag) o.*f.flag = read ? v == 1 : defaults.*f.flag;
        if (f.number) o.*f.number = read ? v : defaults.*f.number;
    }
}

void SaveSettings(const Settings& o) {
    for (const OptionField& f : kFields) {
        if (f.text) {
            WriteRegValue(RegRoot::LocalMachine, kOptionsKey, f.name, o.*f.text, regText);
            continue;
        }
        const std::int32_t v = f.flag ? (o.*f.flag ? 1 : 0) : o.*f.number;
        WriteRegInteger(RegRoot::LocalMachine, kOptionsKey, f.name, v);
    }
}

}  // namespace kb
