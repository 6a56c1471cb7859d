// Download folders of the file-sharing clients installed for this user, read
// from the clients' own configuration files. They are offered when a service
// is added; nothing here ever writes to those files.
#pragma once

#include <QString>
#include <QStringList>
#include <optional>
#include <string>
#include <vector>

namespace kb {

// What one client's configuration says about where its files go.
struct ClientFolders {
    std::string save;        // where finished downloads land
    std::string incomplete;  // where unfinished ones are kept, when apart
};

// The readers, one per format. Each returns nothing when the text is not a
// configuration of that client or names no download folder. The paths are
// returned as the file holds them.

// qBittorrent.conf (Qt's INI format, read by Qt itself).
std::optional<ClientFolders> ReadQBittorrentConf(const QString& path);
// Transmission's settings.json (GTK, Qt and daemon variants alike).
std::optional<ClientFolders> ReadTransmissionSettings(const std::string& text);
// Deluge's core.conf: a JSON header object followed by the settings object.
std::optional<ClientFolders> ReadDelugeCore(const std::string& text);
// Nicotine+'s config (Python's configparser format).
std::optional<ClientFolders> ReadNicotineConfig(const std::string& text);
// aMule's amule.conf (wxWidgets' configuration file format).
std::optional<ClientFolders> ReadAmuleConf(const std::string& text);

// One folder offered as a new service.
struct ClientOffer {
    QString client;  // who it belongs to, as shown: "qBittorrent"
    QString name;    // the service name suggested
    QString folder;  // an existing folder, native separators
    QString masks;   // exclusion masks for the client's unfinished files
};

// Where to look. The defaults come from the environment: the home folder,
// the configuration folder (XDG_CONFIG_HOME or ~/.config) and the desktop's
// Downloads folder (xdg-user-dirs).
struct ClientPlaces {
    QString home;
    QString configHome;
    QString downloads;
    static ClientPlaces FromEnvironment();
};

// Every client found with an existing download folder, in a fixed order,
// each folder once, leaving out the folders listed in `taken` (those that
// already are a service's folder).
std::vector<ClientOffer> FindClientFolders(const ClientPlaces& places,
                                           const QStringList& taken = {});

// The offers as the welcome page lists them: "qBittorrent and Transmission".
QString ClientNames(const std::vector<ClientOffer>& offers);

}  // namespace kb
