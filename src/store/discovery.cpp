#include "store/discovery.h"

#include "platform/paths.h"
#include "platform/registry.h"

namespace kb {

std::string ReadClientShareDir(std::uint8_t serviceid) {
    const char* key = nullptr;
    const char* value = "DownloadDir";
    switch (serviceid) {
        case sidKazaa:
            key = "SOFTWARE\\KaZaA\\LocalContent";
            break;
        case sidMorpheus:
            key = "SOFTWARE\\Morpheus\\LocalContent";
            break;
        case sidGrokster:
            key = "SOFTWARE\\Grokster\\LocalContent";
            break;
        case sidBearShare:
            key = "SOFTWARE\\BearShare", value = "InstallDir";
            break;
        default:
            return {};
    }
    std::string dir;
    if (ReadRegString(RegRoot::LocalMachine, key, value, dir) != 0) return {};
    // The client records its installation folder; the shared folder is inside.
    // Joined as stored, without adding or removing a separator.
    if (serviceid == sidBearShare) dir += std::string(1, kPathSeparator) + "Shared";
    return dir;
}

ShareDirDiscovery DiscoverFromRegistry() { return &ReadClientShareDir; }

void InitServiceTable(ServiceStore& store) { store.InitServiceTable(DiscoverFromRegistry()); }

}  // namespace kb
