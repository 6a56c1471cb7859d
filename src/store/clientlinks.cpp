#include "store/clientlinks.h"

#include "platform/registry.h"

namespace kb {

namespace {

std::string KeyOf(std::size_t n) { return std::string(kClientsKey) + "\\" + std::to_string(n); }

std::string Text(const std::string& key, const char* name) {
    std::string v;
    ReadRegString(RegRoot::LocalMachine, key, name, v);
    return v;
}

}  // namespace

std::vector<ClientLink> LoadClientLinks() {
    std::vector<ClientLink> out;
    std::int32_t count = 0;
    if (ReadRegInteger(RegRoot::LocalMachine, kClientsKey, "Count", count) != 0) return out;
    for (std::int32_t n = 1; n <= count && n <= 1000; ++n) {
        const std::string key = KeyOf(static_cast<std::size_t>(n));
        if (!RegKeyExists(RegRoot::LocalMachine, key)) continue;
        ClientLink l;
        l.folder = CleanFolderPath(Text(key, "Folder"));
        if (l.folder.empty() || l.folder == ".") continue;
        l.kind = ClientKindNamed(Text(key, "Kind"));
        l.address = Text(key, "Address");
        l.user = Text(key, "User");
        l.password = Text(key, "Password");
        std::int32_t relocate = 1;
        ReadRegInteger(RegRoot::LocalMachine, key, "Relocate", relocate);
        l.relocate = relocate != 0;
        out.push_back(std::move(l));
    }
    return out;
}

void SaveClientLinks(const std::vector<ClientLink>& links) {
    std::int32_t before = 0;
    ReadRegInteger(RegRoot::LocalMachine, kClientsKey, "Count", before);
    for (std::size_t n = 1; n <= links.size(); ++n) {
        const ClientLink& l = links[n - 1];
        const std::string key = KeyOf(n);
        WriteRegValue(RegRoot::LocalMachine, key, "Folder", l.folder, regText);
        WriteRegValue(RegRoot::LocalMachine, key, "Kind", ClientKindName(l.kind), regText);
        WriteRegValue(RegRoot::LocalMachine, key, "Address", l.address, regText);
        WriteRegValue(RegRoot::LocalMachine, key, "User", l.user, regText);
        WriteRegValue(RegRoot::LocalMachine, key, "Password", l.password, regText);
        WriteRegInteger(RegRoot::LocalMachine, key, "Relocate", l.relocate ? 1 : 0);
    }
    // Links beyond the new count are emptied, so no old password stays behind.
    for (std::int32_t n = static_cast<std::int32_t>(links.size()) + 1; n <= before; ++n) {
        const std::string key = KeyOf(static_cast<std::size_t>(n));
        for (const char* name : {"Folder", "Kind", "Address", "User", "Password", "Relocate"})
            DeleteRegValue(RegRoot::LocalMachine, key, name);
    }
    WriteRegInteger(RegRoot::LocalMachine, kClientsKey, "Count",
                    static_cast<std::int32_t>(links.size()));
}

std::optional<ClientLink> LinkFor(const std::string& folder, const std::vector<ClientLink>& stored,
                                  const std::vector<FoundClient>& found) {
    const std::string clean = CleanFolderPath(folder);
    for (const ClientLink& l : stored)
        if (l.folder == clean) return l;
    for (const FoundClient& f : found) {
        if (f.folder != clean || f.iface.kind == ClientKind::None || !f.iface.enabled) continue;
        ClientLink l;
        l.folder = clean;
        l.kind = f.iface.kind;
        l.address = f.iface.address;
        l.user = f.iface.user;
        l.password = f.iface.secret;
        return l;
    }
    return std::nullopt;
}

}  // namespace kb
