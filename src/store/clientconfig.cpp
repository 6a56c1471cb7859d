#include "store/clientconfig.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <nlohmann/json.hpp>
#include <sstream>

#include "platform/numbers.h"
#include "platform/paths.h"

namespace kb {

namespace {

using nlohmann::json;

// Configuration files are small; anything larger is not one.
constexpr std::size_t kMaxConfigBytes = 4 << 20;

std::optional<std::string> ReadSmallFile(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    if (!f) return std::nullopt;
    std::string text;
    text.resize(kMaxConfigBytes + 1);
    f.read(text.data(), static_cast<std::streamsize>(text.size()));
    const auto got = static_cast<std::size_t>(f.gcount());
    if (got > kMaxConfigBytes) return std::nullopt;
    text.resize(got);
    return text;
}

std::string StringAt(const json& object, const char* key) {
    const auto it = object.find(key);
    return it != object.end() && it->is_string() ? it->get<std::string>() : std::string();
}

bool BoolAt(const json& object, const char* key, bool fallback) {
    const auto it = object.find(key);
    return it != object.end() && it->is_boolean() ? it->get<bool>() : fallback;
}

long IntAt(const json& object, const char* key, long fallback) {
    const auto it = object.find(key);
    return it != object.end() && it->is_number_integer() ? it->get<long>() : fallback;
}

std::string Trimmed(const std::string& s) {
    const auto first = s.find_first_not_of(" \t\r\n\f\v");
    if (first == std::string::npos) return {};
    const auto last = s.find_last_not_of(" \t\r\n\f\v");
    return s.substr(first, last - first + 1);
}

std::vector<std::string> Lines(const std::string& text) {
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

std::string Lowered(std::string s) {
    for (char& c : s)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return s;
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// A host a server listens on, as a client connecting from this machine
// reaches it: "any address" is the loopback address.
std::string LocalHost(std::string host) {
    if (host.empty() || host == "*" || host == "0.0.0.0" || host == "::" || host == "[::]")
        return "127.0.0.1";
    if (host.find(':') != std::string::npos && host.front() != '[') return "[" + host + "]";
    return host;
}

std::string Address(bool secure, const std::string& host, long port, std::string path) {
    if (path.empty() || path.front() != '/') path.insert(path.begin(), '/');
    if (path.back() != '/') path += '/';
    return std::string(secure ? "https://" : "http://") + LocalHost(host) + ":" +
           std::to_string(port) + path;
}

// Qt's INI format as QSettings writes it: "[section]" headers ("[General]"
// for keys at the top), "key=value" with "\" between the parts of a key. A
// value in double quotes is one string (commas included), with backslash
// escapes; one without quotes that holds a comma is a list, and one that
// starts with "@" a typed value (a byte array, a variant): neither is a
// string. Comments start with ";" or "#".
class QtIni {
public:
    explicit QtIni(const std::string& text) {
        std::string section;
        for (const std::string& raw : Lines(text)) {
            const std::string line = Trimmed(raw);
            if (line.empty() || line[0] == ';' || line[0] == '#') continue;
            if (line[0] == '[') {
                const std::size_t close = line.find(']');
                if (close == std::string::npos) continue;
                section = line.substr(1, close - 1);
                if (section == "General") section.clear();
                continue;
            }
            const std::size_t eq = line.find('=');
            if (eq == std::string::npos) continue;
            std::string key = Trimmed(line.substr(0, eq));
            for (char& c : key)
                if (c == '\\') c = '/';
            if (!section.empty()) key = section + "/" + key;
            values_[key] = Decode(Trimmed(line.substr(eq + 1)));
        }
    }
    bool Empty() const { return values_.empty(); }
    // The string at `key`; nothing when absent or not a string.
    std::optional<std::string> Text(const std::string& key) const {
        const auto it = values_.find(key);
        if (it == values_.end()) return std::nullopt;
        return it->second;
    }
    std::string TextOr(const std::string& key, const std::string& fallback) const {
        return Text(key).value_or(fallback);
    }

private:
    static std::optional<std::string> Decode(const std::string& v) {
        if (!v.empty() && v[0] == '@') return std::nullopt;
        const bool quoted = v.size() >= 2 && v.front() == '"' && v.back() == '"';
        if (!quoted && v.find(',') != std::string::npos) return std::nullopt;
        std::string out;
        const std::size_t end = quoted ? v.size() - 1 : v.size();
        for (std::size_t i = quoted ? 1 : 0; i < end; ++i) {
            if (v[i] != '\\' || i + 1 >= end) {
                out += v[i];
                continue;
            }
            const char c = v[++i];
            switch (c) {
                case 'n':
                    out += '\n';
                    break;
                case 't':
                    out += '\t';
                    break;
                case 'r':
                    out += '\r';
                    break;
                case 'x': {
                    // \xhhhh: one UTF-16 unit, written as UTF-8.
                    std::size_t n = 0;
                    unsigned cp = 0;
                    while (n < 4 && i + 1 < end && HexDigit(v[i + 1]) >= 0) {
                        cp = cp * 16 + static_cast<unsigned>(HexDigit(v[++i]));
                        ++n;
                    }
                    if (cp < 0x80) {
                        out += static_cast<char>(cp);
                    } else if (cp < 0x800) {
                        out += static_cast<char>(0xC0 | (cp >> 6));
                        out += static_cast<char>(0x80 | (cp & 0x3F));
                    } else {
                        out += static_cast<char>(0xE0 | (cp >> 12));
                        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
                        out += static_cast<char>(0x80 | (cp & 0x3F));
                    }
                    break;
                }
                default:
                    out += c;
                    break;
            }
        }
        return out;
    }

    std::map<std::string, std::optional<std::string>> values_;
};

// Python's configparser, as Nicotine+ writes it: "[section]" headers,
// "key = value" or "key: value" (keys are case-insensitive), whole-line
// comments starting with "#" or ";", indented lines continuing the value
// above. A line it cannot read makes the whole file unreadable, as it does
// for configparser.
std::optional<std::string> ConfigParserValue(const std::string& text, const std::string& section,
                                             const std::string& key) {
    std::string current;
    bool inSection = false;
    bool inOption = false;             // an indented line continues it
    std::string* continued = nullptr;  // set when that option is the one asked for
    std::string found;
    bool have = false;
    for (const std::string& raw : Lines(text)) {
        const std::string line = Trimmed(raw);
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
        if (inSection && Lowered(Trimmed(line.substr(0, delim))) == key) {
            found = Trimmed(line.substr(delim + 1));
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
std::string WxValue(const std::string& text, const std::string& group, const std::string& key) {
    std::string current;
    std::string found;
    for (const std::string& raw : Lines(text)) {
        const std::string line = Trimmed(raw);
        if (line.empty() || line[0] == ';' || line[0] == '#') continue;
        if (line[0] == '[') {
            const std::size_t close = line.find(']');
            if (close != std::string::npos) current = line.substr(1, close - 1);
            continue;
        }
        const std::size_t eq = line.find('=');
        if (eq == std::string::npos || current != group || Trimmed(line.substr(0, eq)) != key)
            continue;
        std::string value = Trimmed(line.substr(eq + 1));
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

std::optional<ClientFolders> WithSave(ClientFolders f) {
    if (f.save.empty()) return std::nullopt;
    return f;
}

bool IsAbsolute(const std::string& p) {
    return (!p.empty() && (p[0] == '/' || p[0] == '\\')) ||
           (p.size() >= 3 && p[1] == ':' && (p[2] == '\\' || p[2] == '/'));
}

// A path from a client's file: "~/" is the home folder; relative paths are
// not trusted (the client resolves them against a folder we do not know).
std::string Resolve(std::string p, const std::string& home) {
    if (p == "~" || p.rfind("~/", 0) == 0) p = home + p.substr(1);
    if (p.empty() || !IsAbsolute(p)) return {};
    return CleanFolderPath(p);
}

bool IsFolder(const std::string& path) {
    std::error_code ec;
    return std::filesystem::is_directory(path, ec);
}

std::string ParentOf(const std::string& path) {
    const auto slash = path.find_last_of('/');
    if (slash == std::string::npos) return {};
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::string LastPart(const std::string& path) { return path.substr(path.find_last_of('/') + 1); }

// "$HOME/x" as xdg-user-dirs writes it.
std::string UserDir(const std::string& configHome, const std::string& home, const char* key) {
    const std::optional<std::string> text = ReadSmallFile(configHome + "/user-dirs.dirs");
    if (!text) return {};
    const std::string wanted = std::string(key) + "=";
    for (const std::string& raw : Lines(*text)) {
        const std::string line = Trimmed(raw);
        if (line.rfind(wanted, 0) != 0) continue;
        std::string v = line.substr(wanted.size());
        if (v.size() >= 2 && v.front() == '"' && v.back() == '"') v = v.substr(1, v.size() - 2);
        if (v.rfind("$HOME", 0) == 0) v = home + v.substr(5);
        return IsAbsolute(v) ? CleanFolderPath(v) : std::string();
    }
    return {};
}

struct Candidate {
    const char* client;
    const char* name;
    std::string file;
    std::optional<ClientFolders> (*read)(const std::string& text);
    const char* masks;
};

}  // namespace

const char* ClientKindName(ClientKind kind) {
    switch (kind) {
        case ClientKind::QBittorrent:
            return "qBittorrent";
        case ClientKind::Transmission:
            return "Transmission";
        case ClientKind::Aria2:
            return "aria2";
        case ClientKind::None:
            break;
    }
    return "";
}

ClientKind ClientKindNamed(const std::string& name) {
    for (ClientKind k : {ClientKind::QBittorrent, ClientKind::Transmission, ClientKind::Aria2})
        if (Lowered(name) == Lowered(ClientKindName(k))) return k;
    return ClientKind::None;
}

std::string CleanFolderPath(const std::string& path) {
    if (path.empty()) return path;
    const bool absolute = path[0] == '/';
    std::vector<std::string> parts;
    std::size_t start = 0;
    while (start <= path.size()) {
        std::size_t end = path.find('/', start);
        if (end == std::string::npos) end = path.size();
        const std::string part = path.substr(start, end - start);
        if (part == "..") {
            if (!parts.empty() && parts.back() != "..")
                parts.pop_back();
            else if (!absolute)
                parts.push_back(part);
        } else if (!part.empty() && part != ".") {
            parts.push_back(part);
        }
        start = end + 1;
    }
    std::string out = absolute ? "/" : "";
    for (std::size_t i = 0; i < parts.size(); ++i) out += (i ? "/" : "") + parts[i];
    return out.empty() ? "." : out;
}

std::optional<ClientFolders> ReadQBittorrentConf(const std::string& text) {
    const QtIni ini(text);
    if (ini.Empty()) return std::nullopt;
    ClientFolders f;
    bool tempOn = false;
    std::string temp;
    // Since 4.4 the settings live under [BitTorrent]; before, under
    // [Preferences].
    f.save = ini.TextOr("BitTorrent/Session/DefaultSavePath", {});
    if (!f.save.empty()) {
        tempOn = ini.TextOr("BitTorrent/Session/TempPathEnabled", {}) == "true";
        temp = ini.TextOr("BitTorrent/Session/TempPath", {});
    } else {
        f.save = ini.TextOr("Preferences/Downloads/SavePath", {});
        tempOn = ini.TextOr("Preferences/Downloads/TempPathEnabled", {}) == "true";
        temp = ini.TextOr("Preferences/Downloads/TempPath", {});
    }
    if (f.save.empty()) return std::nullopt;
    if (tempOn) {
        // The temporary folder defaults to "temp" and may be given relative
        // to the save folder.
        if (temp.empty()) temp = "temp";
        if (!IsAbsolute(temp) && temp[0] != '~') temp = f.save + "/" + temp;
        f.incomplete = temp;
    }
    // The Web UI: on unless switched off (always on for qbittorrent-nox),
    // port 8080, all addresses; from this machine a login is needed unless
    // "Bypass authentication for clients on localhost" is ticked.
    ClientInterface& i = f.iface;
    i.kind = ClientKind::QBittorrent;
    i.enabled = ini.TextOr("Preferences/WebUI/Enabled", "true") == "true";
    const long port =
        ParseNumber<long>(ini.TextOr("Preferences/WebUI/Port", "8080")).value_or(8080);
    i.address = Address(ini.TextOr("Preferences/WebUI/HTTPS/Enabled", "false") == "true",
                        ini.TextOr("Preferences/WebUI/Address", "*"), port, "/");
    i.authentication = ini.TextOr("Preferences/WebUI/LocalHostAuth", "true") == "true";
    i.user = ini.TextOr("Preferences/WebUI/Username", "admin");
    return f;
}

std::optional<ClientFolders> ReadTransmissionSettings(const std::string& text) {
    const json j = json::parse(text, nullptr, false);
    if (!j.is_object()) return std::nullopt;
    ClientFolders f;
    f.save = StringAt(j, "download-dir");
    if (BoolAt(j, "incomplete-dir-enabled", false)) f.incomplete = StringAt(j, "incomplete-dir");
    ClientInterface& i = f.iface;
    i.kind = ClientKind::Transmission;
    i.enabled = BoolAt(j, "rpc-enabled", true);
    std::string url = StringAt(j, "rpc-url");
    if (url.empty()) url = "/transmission/";
    i.address =
        Address(false, StringAt(j, "rpc-bind-address"), IntAt(j, "rpc-port", 9091), url + "rpc");
    i.address.pop_back();  // ".../rpc", the endpoint itself
    i.authentication = BoolAt(j, "rpc-authentication-required", false);
    i.user = StringAt(j, "rpc-username");
    return WithSave(f);
}

std::optional<ClientFolders> ReadAria2Conf(const std::string& text) {
    std::map<std::string, std::string> v;
    for (const std::string& raw : Lines(text)) {
        const std::string line = Trimmed(raw);
        if (line.empty() || line[0] == '#') continue;
        const std::size_t eq = line.find('=');
        if (eq == std::string::npos) continue;
        v[Trimmed(line.substr(0, eq))] = Trimmed(line.substr(eq + 1));
    }
    ClientFolders f;
    f.save = v["dir"];
    ClientInterface& i = f.iface;
    i.kind = ClientKind::Aria2;
    i.enabled = v["enable-rpc"] == "true";
    const long port = ParseNumber<long>(v["rpc-listen-port"]).value_or(6800);
    i.address = Address(v["rpc-secure"] == "true", "127.0.0.1", port, "/jsonrpc");
    i.address.pop_back();
    i.secret = v["rpc-secret"];
    i.authentication = !i.secret.empty() || !v["rpc-user"].empty();
    i.user = v["rpc-user"];
    return WithSave(f);
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
    f.save = StringAt(settings, "download_location");
    // With "move completed" on, finished downloads go to their own folder.
    const std::string completed = StringAt(settings, "move_completed_path");
    if (BoolAt(settings, "move_completed", false) && !completed.empty()) {
        f.incomplete = f.save;
        f.save = completed;
    }
    return WithSave(f);
}

std::optional<ClientFolders> ReadNicotineConfig(const std::string& text) {
    const std::optional<std::string> save = ConfigParserValue(text, "transfers", "downloaddir");
    if (!save) return std::nullopt;
    ClientFolders f;
    f.save = *save;
    f.incomplete = ConfigParserValue(text, "transfers", "incompletedir").value_or(std::string());
    return WithSave(f);
}

std::optional<ClientFolders> ReadAmuleConf(const std::string& text) {
    ClientFolders f;
    f.save = WxValue(text, "eMule", "IncomingDir");
    f.incomplete = WxValue(text, "eMule", "TempDir");
    return WithSave(f);
}

ClientPlaces ClientPlaces::FromEnvironment() {
    ClientPlaces p;
    const char* home =
        std::getenv("HOME");  // NOLINT(concurrency-mt-unsafe): read before threads write it
    p.home = home ? CleanFolderPath(home) : std::string();
    p.configHome = ConfigHome();
    p.downloads = UserDir(p.configHome, p.home, "XDG_DOWNLOAD_DIR");
    if (p.downloads.empty() && !p.home.empty()) p.downloads = p.home + "/Downloads";
    return p;
}

std::vector<FoundClient> FindClients(const ClientPlaces& places,
                                     const std::vector<std::string>& taken) {
    const std::string& cfg = places.configHome;
    const std::string flatpak = places.home + "/.var/app/";
    const std::vector<Candidate> candidates = {
        {"qBittorrent", "qBittorrent", cfg + "/qBittorrent/qBittorrent.conf", ReadQBittorrentConf,
         "*.!qB"},
        {"qBittorrent", "qBittorrent",
         flatpak + "org.qbittorrent.qBittorrent/config/qBittorrent/qBittorrent.conf",
         ReadQBittorrentConf, "*.!qB"},
        {"Transmission", "Transmission", cfg + "/transmission/settings.json",
         ReadTransmissionSettings, "*.part"},
        {"Transmission", "Transmission",
         flatpak + "com.transmissionbt.Transmission/config/transmission/settings.json",
         ReadTransmissionSettings, "*.part"},
        {"Transmission", "Transmission daemon", cfg + "/transmission-daemon/settings.json",
         ReadTransmissionSettings, "*.part"},
        {"aria2", "aria2", cfg + "/aria2/aria2.conf", ReadAria2Conf, "*.aria2"},
        {"aria2", "aria2", places.home + "/.aria2/aria2.conf", ReadAria2Conf, "*.aria2"},
        {"Deluge", "Deluge", cfg + "/deluge/core.conf", ReadDelugeCore, ""},
        {"Deluge", "Deluge", flatpak + "org.deluge_torrent.deluge/config/deluge/core.conf",
         ReadDelugeCore, ""},
        {"Nicotine+", "Nicotine+", cfg + "/nicotine/config", ReadNicotineConfig, "INCOMPLETE*"},
        {"Nicotine+", "Nicotine+", places.home + "/.nicotine/config", ReadNicotineConfig,
         "INCOMPLETE*"},
        {"aMule", "aMule", places.home + "/.aMule/amule.conf", ReadAmuleConf, "*.part;*.part.met"},
    };

    std::vector<std::string> seen;
    for (const std::string& t : taken)
        if (!t.empty()) seen.push_back(CleanFolderPath(t));
    auto isSeen = [&](const std::string& f) {
        return std::find(seen.begin(), seen.end(), f) != seen.end();
    };
    std::vector<FoundClient> found;
    auto offer = [&](const char* client, const char* name, const std::string& folder,
                     std::string masks, const ClientInterface& iface) {
        if (folder.empty() || !IsFolder(folder) || isSeen(folder)) return;
        for (const FoundClient& o : found)
            if (o.name == name) return;  // one folder per client variant
        seen.push_back(folder);
        found.push_back({client, name, folder, std::move(masks), iface});
    };
    for (const Candidate& c : candidates) {
        const std::optional<std::string> text = ReadSmallFile(c.file);
        if (!text) continue;
        const std::optional<ClientFolders> f = c.read(*text);
        if (!f) continue;
        const std::string save = Resolve(f->save, places.home);
        std::string masks = c.masks;
        // Unfinished downloads kept in a folder inside the save folder: its
        // name joins the masks, so no rule touches it.
        const std::string incomplete = Resolve(f->incomplete, places.home);
        if (!incomplete.empty() && incomplete != save && ParentOf(incomplete) == save) {
            const std::string sub = LastPart(incomplete);
            masks = masks.empty() ? sub : masks + ";" + sub;
        }
        offer(c.client, c.name, save, masks, f->iface);
    }
    const std::string downloads =
        places.downloads.empty() ? std::string() : CleanFolderPath(places.downloads);
    // xdg-user-dirs names the home folder itself when there is no Downloads.
    if (downloads != CleanFolderPath(places.home))
        offer("Downloads", "Downloads", downloads, "*.part;*.crdownload;*.partial;*.download", {});
    return found;
}

std::string ClientNames(const std::vector<FoundClient>& found) {
    std::vector<std::string> names;
    for (const FoundClient& o : found) {
        const std::string n = o.client == "Downloads" ? "your Downloads folder" : o.client;
        if (std::find(names.begin(), names.end(), n) == names.end()) names.push_back(n);
    }
    if (names.size() <= 1) return names.empty() ? std::string() : names[0];
    std::string out;
    for (std::size_t i = 0; i + 1 < names.size(); ++i) out += (i ? ", " : "") + names[i];
    return out + " and " + names.back();
}

}  // namespace kb
