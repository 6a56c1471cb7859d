// Other clients' download folders, read from sample configuration files in
// each client's own format, written here as the clients write them.
#include "store/clientconfig.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

#include "platform/xdg_sandbox.h"

namespace {

using namespace kb;
namespace fs = std::filesystem;

void Write(const std::string& path, const std::string& text) {
    fs::create_directories(fs::path(path).parent_path());
    std::ofstream(path, std::ios::binary) << text;
}

std::string Read(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

std::optional<ClientFolders> QbFrom(const std::string& text) { return ReadQBittorrentConf(text); }

const char* kQbNew =
    "[Application]\n"
    "FileLogger\\Enabled=true\n"
    "\n"
    "[BitTorrent]\n"
    "Session\\DefaultSavePath=/home/anna/Torrents\n"
    "Session\\Port=51234\n"
    "Session\\TempPath=/home/anna/Torrents/incomplete/\n"
    "Session\\TempPathEnabled=true\n"
    "\n"
    "[LegalNotice]\n"
    "Accepted=true\n";

const char* kTransmission = R"({
    "alt-speed-down": 50,
    "download-dir": "/home/anna/Downloads",
    "incomplete-dir": "/home/anna/Downloads/.incomplete",
    "incomplete-dir-enabled": true,
    "rename-partial-files": true,
    "rpc-whitelist": "127.0.0.1,::1"
}
)";

const char* kDeluge = R"({
    "file": 1,
    "format": 1
}{
    "add_paused": false,
    "download_location": "/home/anna/Downloads",
    "move_completed": true,
    "move_completed_path": "/home/anna/Done",
    "listen_ports": [6881, 6891]
})";

const char* kNicotine =
    "[server]\n"
    "server = ('server.slsknet.org', 2242)\n"
    "login = anna\n"
    "\n"
    "[transfers]\n"
    "incompletedir = /home/anna/.local/share/nicotine/incomplete\n"
    "downloaddir = /home/anna/Music/Soulseek Downloads\n"
    "sharedfiles = [('Music', '/home/anna/Music'),\n"
    "    ('Films', '/home/anna/Films')]\n";

const char* kAmule =
    "[eMule]\n"
    "AppVersion=2.3.3\n"
    "Nick=http://www.aMule.org\n"
    "IncomingDir=/home/anna/.aMule/Incoming\n"
    "TempDir=/home/anna/.aMule/Temp\n"
    "\n"
    "[Browser]\n"
    "IncomingDir=/elsewhere\n";

TEST(ClientReaders, EachReadsItsClientsFoldersFromItsOwnFormat) {
    auto qb = QbFrom(kQbNew);
    ASSERT_TRUE(qb);
    EXPECT_EQ(qb->save, "/home/anna/Torrents");
    EXPECT_EQ(qb->incomplete, "/home/anna/Torrents/incomplete/");

    // Before 4.4 the settings sat under [Preferences]; a temporary folder
    // switched off is none; Qt's quoting keeps a comma in a path.
    qb = QbFrom(
        "[Preferences]\n"
        "Downloads\\SavePath=\"/home/anna/Films, 2024/\"\n"
        "Downloads\\TempPath=/home/anna/temp/\n"
        "Downloads\\TempPathEnabled=false\n");
    ASSERT_TRUE(qb);
    EXPECT_EQ(qb->save, "/home/anna/Films, 2024/");
    EXPECT_EQ(qb->incomplete, "");
    // A temporary folder given relative to the save folder, or not at all.
    qb = QbFrom(
        "[BitTorrent]\nSession\\DefaultSavePath=/d\nSession\\TempPathEnabled=true\n"
        "Session\\TempPath=part\n");
    ASSERT_TRUE(qb);
    EXPECT_EQ(qb->incomplete, "/d/part");
    qb = QbFrom("[BitTorrent]\nSession\\DefaultSavePath=/d\nSession\\TempPathEnabled=true\n");
    ASSERT_TRUE(qb);
    EXPECT_EQ(qb->incomplete, "/d/temp");

    auto tr = ReadTransmissionSettings(kTransmission);
    ASSERT_TRUE(tr);
    EXPECT_EQ(tr->save, "/home/anna/Downloads");
    EXPECT_EQ(tr->incomplete, "/home/anna/Downloads/.incomplete");
    tr = ReadTransmissionSettings(R"({"download-dir": "/x", "incomplete-dir": "/y"})");
    ASSERT_TRUE(tr);
    EXPECT_EQ(tr->incomplete, "");  // not enabled

    auto de = ReadDelugeCore(kDeluge);
    ASSERT_TRUE(de);
    EXPECT_EQ(de->save, "/home/anna/Done");  // finished downloads move there
    EXPECT_EQ(de->incomplete, "/home/anna/Downloads");
    de = ReadDelugeCore(R"({"download_location": "/old/style"})");
    ASSERT_TRUE(de);
    EXPECT_EQ(de->save, "/old/style");

    auto ni = ReadNicotineConfig(kNicotine);
    ASSERT_TRUE(ni);
    EXPECT_EQ(ni->save, "/home/anna/Music/Soulseek Downloads");
    EXPECT_EQ(ni->incomplete, "/home/anna/.local/share/nicotine/incomplete");
    // Keys are case-insensitive, ":" also separates, comments are skipped.
    ni = ReadNicotineConfig("# made by hand\n[transfers]\n; old\nDownloadDir: /m\n");
    ASSERT_TRUE(ni);
    EXPECT_EQ(ni->save, "/m");

    auto am = ReadAmuleConf(kAmule);
    ASSERT_TRUE(am);
    EXPECT_EQ(am->save, "/home/anna/.aMule/Incoming");  // [eMule]'s, not [Browser]'s
    EXPECT_EQ(am->incomplete, "/home/anna/.aMule/Temp");
    am = ReadAmuleConf("[eMule]\r\nIncomingDir=\"  /home/anna/back\\\\slash\\tend\"\r\n");
    ASSERT_TRUE(am);
    EXPECT_EQ(am->save, "  /home/anna/back\\slash\tend");
}

TEST(ClientReaders, TheClientsInterfacesAreReadWithTheirDefaults) {
    // qBittorrent: the Web UI on 8080, a login unless localhost is trusted.
    auto qb = QbFrom(kQbNew);
    ASSERT_TRUE(qb);
    EXPECT_EQ(qb->iface, (ClientInterface{ClientKind::QBittorrent, "http://127.0.0.1:8080/", true,
                                          true, "admin", ""}));
    qb = QbFrom(std::string(kQbNew) +
                "[Preferences]\n"
                "WebUI\\Address=192.168.1.5\nWebUI\\Port=9999\nWebUI\\HTTPS\\Enabled=true\n"
                "WebUI\\LocalHostAuth=false\nWebUI\\Username=anna\n"
                "WebUI\\Password_PBKDF2=\"@ByteArray(c2FsdA==:aGFzaA==)\"\n"
                "WebUI\\Enabled=false\n");
    ASSERT_TRUE(qb);
    EXPECT_EQ(qb->iface, (ClientInterface{ClientKind::QBittorrent, "https://192.168.1.5:9999/",
                                          false, false, "anna", ""}));

    // Transmission: RPC on 9091 at /transmission/rpc, all addresses.
    auto tr = ReadTransmissionSettings(kTransmission);
    ASSERT_TRUE(tr);
    EXPECT_EQ(tr->iface,
              (ClientInterface{ClientKind::Transmission, "http://127.0.0.1:9091/transmission/rpc",
                               true, false, "", ""}));
    tr = ReadTransmissionSettings(
        R"({"download-dir": "/d", "rpc-port": 9999, "rpc-url": "/tr/", "rpc-bind-address": "::",)"
        R"( "rpc-authentication-required": true, "rpc-username": "anna", "rpc-enabled": false})");
    ASSERT_TRUE(tr);
    EXPECT_EQ(tr->iface, (ClientInterface{ClientKind::Transmission, "http://127.0.0.1:9999/tr/rpc",
                                          false, true, "anna", ""}));

    // aria2: its own secret in plain text, RPC on 6800 only when switched on.
    auto ar = ReadAria2Conf(
        "# mine\ndir=/home/anna/Downloads\nenable-rpc=true\n"
        "rpc-listen-port = 6801\nrpc-secret=s3cret\n");
    ASSERT_TRUE(ar);
    EXPECT_EQ(ar->save, "/home/anna/Downloads");
    EXPECT_EQ(ar->iface, (ClientInterface{ClientKind::Aria2, "http://127.0.0.1:6801/jsonrpc", true,
                                          true, "", "s3cret"}));
    ar = ReadAria2Conf("dir=/d\n");
    ASSERT_TRUE(ar);
    EXPECT_FALSE(ar->iface.enabled);
    EXPECT_EQ(ar->iface.address, "http://127.0.0.1:6800/jsonrpc");
    EXPECT_FALSE(ReadAria2Conf("enable-rpc=true\n"));  // no folder

    EXPECT_STREQ(ClientKindName(ClientKind::Aria2), "aria2");
    EXPECT_EQ(ClientKindNamed("QBITTORRENT"), ClientKind::QBittorrent);
    EXPECT_EQ(ClientKindNamed("deluge"), ClientKind::None);
}

TEST(ClientReaders, QtsIniFormatIsReadAsQtWritesIt) {
    // Escapes and quoting, a typed value that is no string, a list.
    auto qb = QbFrom("[BitTorrent]\nSession\\DefaultSavePath=\"/home/anna/T\\xe9l\\xe9, x\"\n");
    ASSERT_TRUE(qb);
    EXPECT_EQ(qb->save, "/home/anna/Tél\xc3\xa9, x");
    EXPECT_FALSE(QbFrom("[BitTorrent]\nSession\\DefaultSavePath=@ByteArray(/x)\n"));
    EXPECT_FALSE(QbFrom("[BitTorrent]\nSession\\DefaultSavePath=/a, /b\n"));
    // [General] holds the keys at the top.
    EXPECT_FALSE(QbFrom("[General]\nDefaultSavePath=/x\n"));
    EXPECT_EQ(CleanFolderPath("/a//b/./c/../d/"), "/a/b/d");
    EXPECT_EQ(CleanFolderPath("/.."), "/");
}

TEST(ClientReaders, DamagedOrForeignFilesGiveNothing) {
    const std::string garbage("\x00\x01\xff[[[={\"\n\x7f", 12);
    EXPECT_FALSE(QbFrom(garbage));
    EXPECT_FALSE(QbFrom(""));
    EXPECT_FALSE(QbFrom("[BitTorrent]\nSession\\DefaultSa"));  // cut by a crash
    EXPECT_FALSE(QbFrom("[BitTorrent]\nSession\\Port=1\n"));   // no save folder

    const std::string tr(kTransmission);
    EXPECT_FALSE(ReadTransmissionSettings(tr.substr(0, tr.size() / 2)));
    EXPECT_FALSE(ReadTransmissionSettings(garbage));
    EXPECT_FALSE(ReadTransmissionSettings(R"({"download-dir": 5})"));
    EXPECT_FALSE(ReadTransmissionSettings(R"(["download-dir", "/x"])"));

    const std::string de(kDeluge);
    EXPECT_FALSE(ReadDelugeCore(de.substr(0, de.size() - 20)));
    EXPECT_FALSE(ReadDelugeCore(R"({"file": 1, "format": 1})"));   // header only
    EXPECT_FALSE(ReadDelugeCore("(dp0\nS'download_location'\n"));  // a pickle
    EXPECT_FALSE(ReadDelugeCore(garbage));

    // configparser refuses a line that is neither section, option nor
    // continuation, and an option before any section.
    EXPECT_FALSE(ReadNicotineConfig(std::string(kNicotine) + "this is not an option\n"));
    EXPECT_FALSE(ReadNicotineConfig("downloaddir = /m\n[transfers]\n"));
    EXPECT_FALSE(ReadNicotineConfig("[server]\nlogin = anna\n"));
    EXPECT_FALSE(ReadNicotineConfig(garbage));

    EXPECT_FALSE(ReadAmuleConf("[Browser]\nIncomingDir=/x\n"));
    EXPECT_FALSE(ReadAmuleConf(garbage));
}

class FindingClients : public ::testing::Test {
protected:
    void SetUp() override {
        home_ = sandbox_.Root() + "/home";
        places_.home = home_;
        places_.configHome = home_ + "/.config";
        places_.downloads = home_ + "/Downloads";
    }
    std::string Dir(const std::string& rel) const {
        fs::create_directories(home_ + "/" + rel);
        return home_ + "/" + rel;
    }
    std::map<std::string, std::string> Snapshot() const {
        std::map<std::string, std::string> files;
        for (const auto& e : fs::recursive_directory_iterator(home_))
            if (e.is_regular_file())
                files[e.path().string()] =
                    Read(e.path().string()) + "@" +
                    std::to_string(fs::last_write_time(e.path()).time_since_epoch().count());
        return files;
    }

    test::XdgSandbox sandbox_;
    std::string home_;
    ClientPlaces places_;
};

// The clients' own files are found where Linux desktops keep them (the XDG
// directories and the user's home); Windows has neither.
#ifndef _WIN32
TEST_F(FindingClients, OffersEachClientsExistingFolderWithItsMasksAndWritesNothing) {
    const std::string qbSave = Dir("Torrents");
    Dir("Torrents/incomplete");
    Write(home_ + "/.config/qBittorrent/qBittorrent.conf",
          "[BitTorrent]\nSession\\DefaultSavePath=" + qbSave +
              "/\nSession\\TempPathEnabled=true\nSession\\TempPath=" + qbSave + "/incomplete/\n");
    const std::string trSave = Dir("Transmission");
    Write(home_ + "/.config/transmission-daemon/settings.json",
          "{\"download-dir\": \"" + trSave + "\", \"incomplete-dir-enabled\": false}");
    Write(home_ + "/.config/deluge/core.conf",
          "{\"file\": 1, \"format\": 1}{\"download_location\": \"~/Deluge\"}");
    Dir("Deluge");
    Write(home_ + "/.config/nicotine/config", "[transfers]\ndownloaddir = " + home_ + "/Gone\n");
    Write(home_ + "/.aMule/amule.conf", std::string("[eMule]\nIncomingDir=") + home_ +
                                            "/Incoming\nTempDir=" + home_ + "/Incoming\n");
    Dir("Incoming");
    Dir("Downloads");
    const auto before = Snapshot();

    const std::vector<FoundClient> offers = FindClients(places_);
    std::vector<std::string> got;
    for (const FoundClient& o : offers)
        got.push_back(o.client + "|" + o.name + "|" + o.folder + "|" + o.masks);
    // Nicotine+'s folder does not exist, so it is not offered.
    EXPECT_EQ(got, (std::vector<std::string>{
                       "qBittorrent|qBittorrent|" + qbSave + "|*.!qB;incomplete",
                       "Transmission|Transmission daemon|" + trSave + "|*.part",
                       "Deluge|Deluge|" + home_ + "/Deluge|",
                       "aMule|aMule|" + home_ + "/Incoming|*.part;*.part.met",
                       "Downloads|Downloads|" + home_ +
                           "/Downloads|"
                           "*.part;*.crdownload;*.partial;*.download",
                   }));
    EXPECT_EQ(ClientNames(offers),
              "qBittorrent, Transmission, Deluge, aMule and your Downloads folder");
    // Not a byte of any client's file changed, and nothing was added.
    EXPECT_EQ(Snapshot(), before);

    // A folder that already is a service's is not offered again.
    const auto rest = FindClients(places_, {trSave + "/"});
    ASSERT_EQ(rest.size(), offers.size() - 1);
    EXPECT_EQ(rest[1].client, "Deluge");
}

#endif

TEST_F(FindingClients, DamagedConfigurationsAndAHomeDownloadsFolderAreNotOffered) {
    Dir("Torrents");
    Write(home_ + "/.config/qBittorrent/qBittorrent.conf", std::string("\0\0\0\0", 4));
    Write(home_ + "/.config/transmission/settings.json",
          "{\"download-dir\": \"" + home_ + "/Torrents\", ");  // cut off
    Write(home_ + "/.config/deluge/core.conf", "{\"file\": 1, \"format\": 1}");
    // Relative paths cannot be placed and are not trusted.
    Write(home_ + "/.aMule/amule.conf", "[eMule]\nIncomingDir=Torrents\n");
    places_.downloads = places_.home;  // xdg-user-dirs without a Downloads folder
    EXPECT_TRUE(FindClients(places_).empty());
    EXPECT_EQ(ClientNames({}), "");
}

#ifndef _WIN32
TEST(ClientPlaces, TheDesktopsDownloadsFolderComesFromXdgUserDirs) {
    kb::test::XdgSandbox sandbox;
    const std::string home = sandbox.Root() + "/home";
    fs::create_directories(home + "/Téléchargements");
    Write(sandbox.Config() + "/user-dirs.dirs",
          "# written by xdg-user-dirs-update\n"
          "XDG_DESKTOP_DIR=\"$HOME/Desktop\"\n"
          "XDG_DOWNLOAD_DIR=\"$HOME/Téléchargements\"\n");
    const ClientPlaces p = ClientPlaces::FromEnvironment();
    EXPECT_EQ(p.home, home);
    EXPECT_EQ(p.configHome, sandbox.Config());
    EXPECT_EQ(p.downloads, home + "/Téléchargements");
    const auto offers = FindClients(p);
    ASSERT_EQ(offers.size(), 1u);
    EXPECT_EQ(offers[0].name, "Downloads");
}

#endif

}  // namespace
