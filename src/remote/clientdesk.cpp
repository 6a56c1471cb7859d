#include "remote/clientdesk.h"

#include <algorithm>

#include "remote/webclients.h"

namespace kb {

std::shared_ptr<DownloadClient> ClientOf(const ClientLink& link) {
    return MakeDownloadClient(ClientAccess{link.kind, link.address, link.user, link.password});
}

std::vector<ClientLink> PlanClientLinks(const ServiceStore& store,
                                        const std::vector<ClientLink>& links,
                                        const std::vector<FoundClient>& found) {
    std::vector<ClientLink> plan;
    std::vector<std::string> folders;
    for (const rServiceRules& svc : store.ServiceTable) {
        if (!svc.enabled || svc.sharedir.empty()) continue;
        const std::string folder = CleanFolderPath(svc.sharedir);
        if (std::find(folders.begin(), folders.end(), folder) != folders.end()) continue;
        folders.push_back(folder);
        if (std::optional<ClientLink> link = LinkFor(folder, links, found);
            link && link->kind != ClientKind::None)
            plan.push_back(std::move(*link));
    }
    return plan;
}

std::vector<ClientLink> PlanClientLinks(const ServiceStore& store) {
    return PlanClientLinks(store, LoadClientLinks(), FindClients(ClientPlaces::FromEnvironment()));
}

std::shared_ptr<ClientDesk> BuildClientDesk(const std::vector<ClientLink>& plan) {
    std::vector<ClientDesk::Entry> entries;
    for (const ClientLink& link : plan)
        if (std::shared_ptr<DownloadClient> client = ClientOf(link))
            entries.push_back(ClientDesk::Entry{link.folder, std::move(client), link.relocate});
    return std::make_shared<ClientDesk>(std::move(entries));
}

}  // namespace kb
