#include "shell/clients.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <QStandardPaths>
#include <nlohmann/json.hpp>
#include <sstream>

namespace kb {

namespace {

using nlohmann::json;

// Configuration files are small; anything larger is not one.
constexpr qint64 kMaxConfigBytes = 4 << 20;

std::optional<std::string> readSmallFile(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly) || f.size() > kMaxConfigBytes) return std::nullopt;
    const QByteArray data = f.read(kMaxConfigBytes + 1);
    if (data.size() > kMaxConfigBytes) return std::nullopt;
    return data.toStdString();
}

std::string stringAt(const json& object, const char* key) {
    const auto it = object.find(key);
    return it != object.end() && it->is_string() ? it->get<std::string>() : std::string();
}

bool boolAt(const json& object, const char* key, bool fallback) {
    const auto it = object.find(key);
    return it != object.end() && it->is_boolean() ? it->get<bool>() : fallback;
}

std::string trimmed(const std::string& s) {
    const auto first = s.find_first_not_of(" \t\r\n\f\v");
    if (first == std::string::npos) return {};
    const auto last = s.find_last_not_of(" \t\r\n\f\v");
    return s.substr(first, last - first + 1);
}

std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> out;
    std::size_t start = 0;
    while (start <= text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        std::string line = text.substr(start, end - start);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        out.push_back(std::move(line));
        start = end + 1;
    }
    return out;
}

std::string lowered(std::string s) {
    for (char& c : s)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return s;
}

// Python's configparser, as Nicotine+ writes it: "[section]" headers,
// "key = value" or "key: value" (keys are case-insensitive), whole-line
// comments starting with "#" or ";", indented lines continuing the value
// above. A line it cannot read makes the whole file unreadable, as it does
// for configparser.
std::optional<std::string> configParserValue(const std::string& text, const std::string& section,
                                             const std::string& key) {
    std::string current;
    bool inSection = false;
    bool inOption = false;             // an indented line continues it
    std::string* continued = nullptr;  // set when that option is the one asked for
    std::string found;
    bool have = false;
    for (const std::string& raw : lines(text)) {
        const std::string line = trimmed(raw);
        if (line.empty()) {
            inOption = false;
            continue;
        }
        if (line[0] == '#' || line[0] == ';') continue;
        if (inOption && (raw[0] == ' ' || raw[0] == '\t')) {
            if (continued != nullptr) *continued += "\n" + line;
            continue;
        }
        inOption = false;
        continued = nullptr;
        if (line.front() == '[') {
            if (line.back() != ']') return std::nullopt;
            current = line.substr(1, line.size() - 2);
            inSection = current == section;
            continue;
        }
        if (current.empty()) return std::nullopt;  // an option before any section
        const std::size_t delim = line.find_first_of("=:");
        if (delim == std::string::npos || delim == 0) return std::nullopt;
        inOption = true;
        if (inSection && lowered(trimmed(line.substr(0, delim))) == key) {
            found = trimmed(line.substr(delim + 1));
            have = true;
            continued = &found;
        }
    }
    if (!have) return std::string();
    return found;
}

// wxWidgets' configuration file: "[group]" headers, "key=value", comments
// starting with ";" or "#". A value may be quoted and uses backslash escapes.
// Lines it cannot read are passed over, as wxWidgets does.
std::string wxValue(const std::string& text, const std::string& group, const std::string& key) {
    std::string current;
    std::string found;
    for (const std::string& raw : lines(text)) {
        const std::string line = trimmed(raw);
        if (line.empty() || line[0] == ';' || line[0] == '#') continue;
        if (line[0] == '[') {
            const std::size_t close = line.find(']');
            if (close != std::string::npos) current = line.substr(1, close - 1);
            continue;
        }
        const std::size_t eq = line.find('=');
        if (eq == std::string::npos || current != group || trimmed(line.substr(0, eq)) != key)
            continue;
        std::string value = trimmed(line.substr(eq + 1));
        std::size_t i = 0, end = value.size();
        if (end >= 2 && value[0] == '"' && value[end - 1] == '"') {
            i = 1;
            --end;
        }
        found.clear();
        for (; i < end; ++i) {
            if (value[i] != '\\' || i + 1 >= end) {
                found += value[i];
                continue;
            }
            switch (value[++i]) {
                case 'n':
                    found += '\n';
                    break;
                case 't':
                    found += '\t';
                    break;
                case 'r':
                    found += '\r';
                    break;
                default:
                    found += value[i];
                    break;
            }
        }
    }
    return found;
}

std::optional<ClientFolders> withSave(ClientFolders f) {
    if (f.save.empty()) return std::nullopt;
    return f;
}

QString cleanDir(const QString& path) { return QDir::cleanPath(path); }

// A path from a client's file: "~/" is the home folder; relative paths are
// not trusted (the client resolves them against a folder we do not know).
QString resolve(const std::string& path, const QString& home) {
    QString p = QString::fromStdString(path);
    if (p == QLatin1String("~") || p.startsWith(QLatin1String("~/"))) p = home + p.mid(1);
    if (p.isEmpty() || QDir::isRelativePath(p)) return {};
    return cleanDir(p);
}

struct Candidate {
    const char* client;
    const char* name;
    QString file;
    std::optional<ClientFolders> (*read)(const QString& file);
    const char* masks;
};

template <std::optional<ClientFolders> (*Reader)(const std::string&)>
std::optional<ClientFolders> fromFile(const QString& file) {
    const std::optional<std::string> text = readSmallFile(file);
    if (!text) return std::nullopt;
    return Reader(*text);
}

std::optional<ClientFolders> qbFromFile(const QString& file) { return ReadQBittorrentConf(file); }

}  // namespace

std::optional<ClientFolders> ReadQBittorrentConf(const QString& path) {
    if (!QFileInfo(path).isFile() || QFileInfo(path).size() > kMaxConfigBytes) return std::nullopt;
    QSettings s(path, QSettings::IniFormat);
    if (s.status() != QSettings::NoError || s.allKeys().isEmpty()) return std::nullopt;
    auto text = [&](const char* key) {
        const QVariant v = s.value(QLatin1String(key));
        return v.typeId() == QMetaType::QString ? v.toString().toStdString() : std::string();
    };
    auto flag = [&](const char* key) {
        const QVariant v = s.value(QLatin1String(key));
        return v.typeId() == QMetaType::QString && v.toString() == QLatin1String("true");
    };
    ClientFolders f;
    bool tempOn = false;
    std::string temp;
    // Since 4.4 the settings live under [BitTorrent]; before, under
    // [Preferences].
    f.save = text("BitTorrent/Session/DefaultSavePath");
    if (!f.save.empty()) {
        tempOn = flag("BitTorrent/Session/TempPathEnabled");
        temp = text("BitTorrent/Session/TempPath");
    } else {
        f.save = text("Preferences/Downloads/SavePath");
        tempOn = flag("Preferences/Downloads/TempPathEnabled");
        temp = text("Preferences/Downloads/TempPath");
    }
    if (f.save.empty()) return std::nullopt;
    if (tempOn) {
        // The temporary folder defaults to "temp" and may be given relative
        // to the save folder.
        if (temp.empty()) temp = "temp";
        if (QDir::isRelativePath(QString::fromStdString(temp)) && temp[0] != '~')
            temp = f.save + "/" + temp;
        f.incomplete = temp;
    }
    return f;
}

std::optional<ClientFolders> ReadTransmissionSettings(const std::string& text) {
    const json j = json::parse(text, nullptr, false);
    if (!j.is_object()) return std::nullopt;
    ClientFolders f;
    f.save = stringAt(j, "download-dir");
    if (boolAt(j, "incomplete-dir-enabled", false)) f.incomplete = stringAt(j, "incomplete-dir");
    return withSave(f);
}

std::optional<ClientFolders> ReadDelugeCore(const std::string& text) {
    // Version 1.3 on writes {"file": 1, "format": 1} and then the settings;
    // older versions the settings alone.
    std::istringstream in(text);
    json settings;
    try {
        in >> settings;
        if (settings.is_object() && !settings.contains("download_location") &&
            settings.contains("file"))
            in >> settings;
    } catch (const json::exception&) {
        return std::nullopt;
    }
    if (!settings.is_object()) return std::nullopt;
    ClientFolders f;
    f.save = stringAt(settings, "download_location");
    // With "move completed" on, finished downloads go to their own folder.
    const std::string completed = stringAt(settings, "move_completed_path");
    if (boolAt(settings, "move_completed", false) && !completed.empty()) {
        f.incomplete = f.save;
        f.save = completed;
    }
    return withSave(f);
}

std::optional<ClientFolders> ReadNicotineConfig(const std::string& text) {
    const std::optional<std::string> save = configParserValue(text, "transfers", "downloaddir");
    if (!save) return std::nullopt;
    ClientFolders f;
    f.save = *save;
    f.incomplete = configParserValue(text, "transfers", "incompletedir").value_or(std::string());
    return withSave(f);
}

std::optional<ClientFolders> ReadAmuleConf(const std::string& text) {
    ClientFolders f;
    f.save = wxValue(text, "eMule", "IncomingDir");
    f.incomplete = wxValue(text, "eMule", "TempDir");
    return withSave(f);
}

ClientPlaces ClientPlaces::FromEnvironment() {
    ClientPlaces p;
    p.home = QDir::homePath();
    p.configHome = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
    p.downloads = QStandardPaths::writableLocation(QStandardPaths::DownloadLocation);
    return p;
}

std::vector<ClientOffer> FindClientFolders(const ClientPlaces& places, const QStringList& taken) {
    const QString cfg = places.configHome;
    const QString flatpak = places.home + QStringLiteral("/.var/app/");
    const std::vector<Candidate> candidates = {
        {"qBittorrent", "qBittorrent", cfg + "/qBittorrent/qBittorrent.conf", qbFromFile, "*.!qB"},
        {"qBittorrent", "qBittorrent",
         flatpak + "org.qbittorrent.qBittorrent/config/qBittorrent/qBittorrent.conf", qbFromFile,
         "*.!qB"},
        {"Transmission", "Transmission", cfg + "/transmission/settings.json",
         fromFile<ReadTransmissionSettings>, "*.part"},
        {"Transmission", "Transmission",
         flatpak + "com.transmissionbt.Transmission/config/transmission/settings.json",
         fromFile<ReadTransmissionSettings>, "*.part"},
        {"Transmission", "Transmission daemon", cfg + "/transmission-daemon/settings.json",
         fromFile<ReadTransmissionSettings>, "*.part"},
        {"Deluge", "Deluge", cfg + "/deluge/core.conf", fromFile<ReadDelugeCore>, ""},
        {"Deluge", "Deluge", flatpak + "org.deluge_torrent.deluge/config/deluge/core.conf",
         fromFile<ReadDelugeCore>, ""},
        {"Nicotine+", "Nicotine+", cfg + "/nicotine/config", fromFile<ReadNicotineConfig>,
         "INCOMPLETE*"},
        {"Nicotine+", "Nicotine+", places.home + "/.nicotine/config", fromFile<ReadNicotineConfig>,
         "INCOMPLETE*"},
        {"aMule", "aMule", places.home + "/.aMule/amule.conf", fromFile<ReadAmuleConf>,
         "*.part;*.part.met"},
    };

    QStringList seen;
    for (const QString& t : taken)
        if (!t.isEmpty()) seen << cleanDir(t);
    std::vector<ClientOffer> offers;
    auto offer = [&](const char* client, const char* name, const QString& folder, QString masks) {
        if (folder.isEmpty() || !QFileInfo(folder).isDir() || seen.contains(folder)) return;
        for (const ClientOffer& o : offers)
            if (o.name == QLatin1String(name)) return;  // one folder per client variant
        seen << folder;
        offers.push_back({QString::fromLatin1(client), QString::fromUtf8(name),
                          QDir::toNativeSeparators(folder), masks});
    };
    for (const Candidate& c : candidates) {
        const std::optional<ClientFolders> f = c.read(c.file);
        if (!f) continue;
        const QString save = resolve(f->save, places.home);
        QString masks = QString::fromLatin1(c.masks);
        // Unfinished downloads kept in a folder inside the save folder: its
        // name joins the masks, so no rule touches it.
        const QString incomplete = resolve(f->incomplete, places.home);
        if (!incomplete.isEmpty() && incomplete != save &&
            cleanDir(QFileInfo(incomplete).path()) == save) {
            const QString sub = QFileInfo(incomplete).fileName();
            masks = masks.isEmpty() ? sub : masks + QLatin1Char(';') + sub;
        }
        offer(c.client, c.name, save, masks);
    }
    const QString downloads = places.downloads.isEmpty() ? QString() : cleanDir(places.downloads);
    // xdg-user-dirs names the home folder itself when there is no Downloads.
    if (downloads != cleanDir(places.home))
        offer("Downloads", "Downloads", downloads,
              QStringLiteral("*.part;*.crdownload;*.partial;*.download"));
    return offers;
}

QString ClientNames(const std::vector<ClientOffer>& offers) {
    QStringList names;
    for (const ClientOffer& o : offers) {
        const QString n = o.client == QLatin1String("Downloads")
                              ? QStringLiteral("your Downloads folder")
                              : o.client;
        if (!names.contains(n)) names << n;
    }
    if (names.size() <= 1) return names.join(QString());
    const QString last = names.takeLast();
    return names.join(QStringLiteral(", ")) + QStringLiteral(" and ") + last;
}

}  // namespace kb
