// Which download client serves which shared folder, and how to reach it:
// what the user entered in a service's client settings, kept in the
// registry under "\SOFTWARE\Kestrelbox\Clients" (a "Count" and one subkey
// "1", "2", ... per folder), beside what the clients' own configuration
// files say (store/clientconfig.h).
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "store/clientconfig.h"

namespace kb {

inline constexpr char kClientsKey[] = "\\SOFTWARE\\Kestrelbox\\Clients";

struct ClientLink {
    std::string folder;                  // the shared folder, cleaned
    ClientKind kind = ClientKind::None;  // None: never ask a client about this folder
    std::string address;
    std::string user;
    std::string password;  // or aria2's secret
    // A move of a finished torrent asks the client to move it, so it goes on
    // seeding.
    bool relocate = true;
    bool operator==(const ClientLink&) const = default;
};

// Every stored link; a damaged or missing one is left out. Never throws.
std::vector<ClientLink> LoadClientLinks();
// Replaces the stored links; throws RegistryError when they cannot be written.
void SaveClientLinks(const std::vector<ClientLink>& links);

// The link for `folder`: the stored one (even one saying "no client"), else
// the client found downloading into that folder with an interface that is
// switched on; nothing otherwise.
std::optional<ClientLink> LinkFor(const std::string& folder, const std::vector<ClientLink>& stored,
                                  const std::vector<FoundClient>& found);

}  // namespace kb
