// The desk of download clients a scan pass asks: for each switched-on
// service's folder, the client the user linked to it in the service's client
// settings, or the client found downloading into it with its interface on.
#pragma once

#include <memory>
#include <vector>

#include "engine/downloadclients.h"
#include "store/clientlinks.h"
#include "store/servicetable.h"

namespace kb {

// The link of each switched-on service's folder that has one, each folder once.
std::vector<ClientLink> PlanClientLinks(const ServiceStore& store,
                                        const std::vector<ClientLink>& links,
                                        const std::vector<FoundClient>& found);
// The same from what is stored and found now (the registry, the clients'
// configuration files for this user).
std::vector<ClientLink> PlanClientLinks(const ServiceStore& store);

// A desk of one client per planned link.
std::shared_ptr<ClientDesk> BuildClientDesk(const std::vector<ClientLink>& plan);
inline std::shared_ptr<ClientDesk> BuildClientDesk(const ServiceStore& store) {
    return BuildClientDesk(PlanClientLinks(store));
}

// The client `link` names; null when it names none.
std::shared_ptr<DownloadClient> ClientOf(const ClientLink& link);

}  // namespace kb
