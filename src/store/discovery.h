// Finding the built-in networks' shared directories in the registry
// settings their client programs leave behind.
#pragma once

#include <cstdint>
#include <string>

#include "store/servicetable.h"

namespace kb {

// The shared directory recorded by the client of network `serviceid`, or ""
// when the client left none (or the network has no client settings).
std::string ReadClientShareDir(std::uint8_t serviceid);

// Discovery through the registry, for ServiceStore::InitServiceTable.
ShareDirDiscovery DiscoverFromRegistry();

// Builds the six built-in network records with their discovered directories.
void InitServiceTable(ServiceStore& store);

}  // namespace kb
