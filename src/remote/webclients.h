// The download clients Kestrelbox can ask, each through its documented
// local interface: qBittorrent's Web API, Transmission's RPC, aria2's
// JSON-RPC. Each request has a short timeout, so a client that hangs
// costs a pass at most that long.
#pragma once

#include <memory>
#include <string>

#include "engine/downloadclients.h"
#include "store/clientconfig.h"

namespace kb {

struct ClientAccess {
    ClientKind kind = ClientKind::None;
    std::string address;   // as ClientInterface::address
    std::string user;      // qBittorrent's and Transmission's user name
    std::string password;  // their password, or aria2's secret
    long timeoutMs = 1000;
};

// The client `access` describes; null for ClientKind::None.
std::shared_ptr<DownloadClient> MakeDownloadClient(const ClientAccess& access);

// `text` with every byte but unreserved ones as %XX, for a form's values.
std::string FormEncode(const std::string& text);

}  // namespace kb
