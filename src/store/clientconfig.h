// The download clients installed for this user, read from the clients' own
// configuration files: where their files go, and how their local interface
// (qBittorrent's Web API, Transmission's RPC, aria2's RPC) is reached. They
// are offered when a service is added, and asked whether a download is
// finished; nothing here ever writes to those files.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace kb {

// The clients whose interface Kestrelbox can ask.
enum class ClientKind { None, QBittorrent, Transmission, Aria2 };

// "qBittorrent", "Transmission", "aria2"; "" for None.
const char* ClientKindName(ClientKind kind);
// The kind of that name (any letter case), None when there is none.
ClientKind ClientKindNamed(const std::string& name);

// How a client's local interface is reached, as its configuration says.
struct ClientInterface {
    ClientKind kind = ClientKind::None;
    std::string address;          // "http://127.0.0.1:8080/" with the path the client serves
    bool enabled = false;         // switched on in the configuration
    bool authentication = false;  // it asks for a user name and password, or a secret
    std::string user;             // the user name the configuration names, when it does
    std::string secret;           // aria2's rpc-secret, which aria2 keeps in plain text
    bool operator==(const ClientInterface&) const = default;
};

// What one client's configuration says about where its files go.
struct ClientFolders {
    std::string save;        // where finished downloads land
    std::string incomplete;  // where unfinished ones are kept, when apart
    ClientInterface iface;   // how it is asked, for the clients that can be
};

// The readers, one per format, each given the file's text. Each returns
// nothing when the text is not a configuration of that client or names no
// download folder. The paths are returned as the file holds them.

// qBittorrent.conf (Qt's INI format).
std::optional<ClientFolders> ReadQBittorrentConf(const std::string& text);
// Transmission's settings.json (GTK, Qt and daemon variants alike).
std::optional<ClientFolders> ReadTransmissionSettings(const std::string& text);
// aria2.conf ("key=value" lines).
std::optional<ClientFolders> ReadAria2Conf(const std::string& text);
// Deluge's core.conf: a JSON header object followed by the settings object.
std::optional<ClientFolders> ReadDelugeCore(const std::string& text);
// Nicotine+'s config (Python's configparser format).
std::optional<ClientFolders> ReadNicotineConfig(const std::string& text);
// aMule's amule.conf (wxWidgets' configuration file format).
std::optional<ClientFolders> ReadAmuleConf(const std::string& text);

// Where to look. The defaults come from the environment: the home folder,
// the configuration folder (XDG_CONFIG_HOME or ~/.config) and the desktop's
// Downloads folder (xdg-user-dirs' user-dirs.dirs, else ~/Downloads).
struct ClientPlaces {
    std::string home;
    std::string configHome;
    std::string downloads;
    static ClientPlaces FromEnvironment();
};

// One client found, with the folder it downloads into.
struct FoundClient {
    std::string client;  // who it belongs to, as shown: "qBittorrent"
    std::string name;    // the service name suggested
    std::string folder;  // an existing folder, cleaned ("/x/y", no trailing "/")
    std::string masks;   // exclusion masks for the client's unfinished files
    ClientInterface iface;
};

// Every client found with an existing download folder, in a fixed order,
// each folder once, leaving out the folders listed in `taken` (those that
// already are a service's folder).
std::vector<FoundClient> FindClients(const ClientPlaces& places,
                                     const std::vector<std::string>& taken = {});

// The clients as the welcome page lists them: "qBittorrent and Transmission".
std::string ClientNames(const std::vector<FoundClient>& found);

// `path` with "." and ".." resolved and repeated or trailing separators
// dropped, as two paths to one folder compare.
std::string CleanFolderPath(const std::string& path);

}  // namespace kb
