#include "store/options.h"

#include "platform/registry.h"

namespace kb {

namespace {

// One stored option: a dword holding either a switch (exactly 0 or 1) or a
// number within [least, most], or a text.
struct OptionField {
    const char* name;
    bool Options::*flag;
    std::int32_t Options::*number;
    std::int32_t least, most;
    std::string Options::*text = nullptr;
};

constexpr OptionField kFields[] = {
    {"WaitSettled", &Options::WaitSettled, nullptr, 0, 1},
    {"SettleSeconds", nullptr, &Options::SettleSeconds, 0, kMaxSettleSeconds},
    {"UnseenWriterMinutes", nullptr, &Options::UnseenWriterMinutes, 0, kMaxUnseenWriterMinutes},
    {"PartialSuffixes", nullptr, nullptr, 0, 0, &Options::PartialSuffixes},
    {"FoldersAsDownloads", &Options::FoldersAsDownloads, nullptr, 0, 1},
    {"DeleteToTrash", &Options::DeleteToTrash, nullptr, 0, 1},
    {"NotifyFailures", &Options::NotifyFailures, nullptr, 0, 1},
    {"NotifyEvery", &Options::NotifyEvery, nullptr, 0, 1},
    {"NoTrayNoticeShown", &Options::NoTrayNoticeShown, nullptr, 0, 1},
};

}  // namespace

void LoadOptions(Options& o) {
    const Options defaults;
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

void SaveOptions(const Options& o) {
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
