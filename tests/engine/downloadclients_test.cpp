// Asking the download clients, with a client the tests play: an unfinished
// download waits whatever the file system says, a finished torrent is moved
// by its client, and a client that cannot be asked is said once and leaves
// the file system to decide.
#include "engine/downloadclients.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "engine/dryrun.h"
#include "enginetest_util.h"
#include "fakescan.h"
#include "platform/localtime.h"

namespace {

using kbtest::AddService;
using kbtest::CopyTo;
using kbtest::LaunchOf;
using kbtest::MoveTo;
using kbtest::ReadFile;
using kbtest::Rule;
using kbtest::TempDir;
using kbtest::WriteFile;
namespace fs = std::filesystem;

constexpr std::int64_t kSecond = 1'000'000'000;

// A client whose downloads the test sets; it moves what it is asked to.
class PlayedClient : public kb::DownloadClient {
public:
    std::string Describe() const override { return "Played at http://127.0.0.1:1/"; }
    std::string Kind() const override { return "Played"; }
    bool CanRelocate() const override { return true; }
    kb::Status List(std::vector<kb::ClientDownload>& out) override {
        ++asked;
        if (!reachable) return kb::Status::Failure("connection refused");
        out = downloads;
        return kb::Status::Success();
    }
    kb::Status Relocate(const std::string& id, const std::string& folder, int,
                        const std::atomic<bool>*) override {
        moves.push_back(id + " -> " + folder);
        for (kb::ClientDownload& d : downloads) {
            if (d.id != id) continue;
            const std::string to = folder + "/" + d.name;
            fs::rename(d.path, to);
            d.path = to;
            return kb::Status::Success();
        }
        return kb::Status::Failure("no such torrent");
    }
    void Add(const std::string& id, const std::string& path, bool complete) {
        downloads.push_back(kb::ClientDownload{id, fs::path(path).filename().string(), path,
                                               complete, complete,
                                               complete ? "uploading" : "pausedDL"});
    }

    std::vector<kb::ClientDownload> downloads;
    bool reachable = true;
    int asked = 0;
    std::vector<std::string> moves;
};

struct Env : kbtest::FakeScan {
    std::shared_ptr<PlayedClient> client = std::make_shared<PlayedClient>();
    std::vector<std::string> launched;

    explicit Env(const std::string& folder, bool relocate = true)
        : FakeScan(Settings{true, 10, kb::WallClockNs()}) {
        env.now = [] { return 46000.5; };
        env.launch = [this](const std::string&, const std::vector<std::string>& args) {
            launched.push_back(fs::path(args.at(0)).filename().string());
            return kb::Status{true, {}};
        };
        env.clients = std::make_shared<kb::ClientDesk>(
            std::vector<kb::ClientDesk::Entry>{{folder, client, relocate}});
    }
    kb::ScanResult Pass(kb::ServiceStore& store) {
        Advance(6);
        return FakeScan::Pass(store);
    }
};

kb::RuleRec EveryPass(std::vector<kb::ruleactionrec> actions) {
    kb::RuleRec r = Rule(kb::trgFileCount, std::move(actions));
    r.fcnt = 0;
    return r;
}

TEST(DownloadClients, AnUnfinishedDownloadWaitsWhateverTheFileSystemSays) {
    TempDir shared;
    kb::ServiceStore store;
    AddService(store, shared.str(), "", {EveryPass({LaunchOf("p", "mfile")})});
    Env e(shared.str());
    // Paused with its files preallocated: full size, quiet for an hour.
    WriteFile(shared / "film.mkv", std::string(4096, 'f'));
    kbtest::SetMtime(shared / "film.mkv", e.now / kSecond - 3600);
    WriteFile(shared / "other.txt", "not the client's");
    kbtest::SetMtime(shared / "other.txt", e.now / kSecond - 3600);
    e.client->Add("h1", shared / "film.mkv", false);
    for (int k = 0; k < 3; ++k) e.Pass(store);
    EXPECT_EQ(e.launched, (std::vector<std::string>{"other.txt", "other.txt"}));
    // Asked once a pass, however many files it serves.
    EXPECT_EQ(e.client->asked, 3);

    // Resumed and finished.
    e.client->downloads[0].complete = true;
    e.launched.clear();
    e.Pass(store);
    std::sort(e.launched.begin(), e.launched.end());
    EXPECT_EQ(e.launched, (std::vector<std::string>{"film.mkv", "other.txt"}));

    const kb::RulePreview p =
        kb::PreviewRule(store.ServiceTable[0], store.ServiceTable[0].rulelist.rules[0], e.env);
    for (const kb::FilePreview& f : p.files)
        EXPECT_EQ(f.decidedBy, f.name == "film.mkv" ? "client" : "file system") << f.name;
    e.client->downloads[0].complete = false;
    const kb::RulePreview again =
        kb::PreviewRule(store.ServiceTable[0], store.ServiceTable[0].rulelist.rules[0], e.env);
    for (const kb::FilePreview& f : again.files) {
        if (f.name != "film.mkv") continue;
        EXPECT_TRUE(f.waiting);
        EXPECT_EQ(f.why, "the client reports it unfinished");
    }
}

TEST(DownloadClients, AFolderHoldingAnUnfinishedDownloadWaits) {
    TempDir shared;
    kb::ServiceStore store;
    AddService(store, shared.str(), "", {EveryPass({LaunchOf("p", "mfile")})});
    Env e(shared.str());
    e.env.foldersAsDownloads = true;
    fs::create_directories(shared.Path("Album/CD1"));
    WriteFile(shared.Path("Album/CD1/01.flac"), "x");
    kbtest::SetMtime(shared.Path("Album/CD1/01.flac"), e.now / kSecond - 3600);
    // aria2 names a torrent's files, not its folder.
    e.client->Add("g1", shared.Path("Album/CD1/01.flac"), false);
    for (int k = 0; k < 3; ++k) e.Pass(store);
    EXPECT_TRUE(e.launched.empty());
}

TEST(DownloadClients, AClientThatCannotBeAskedIsSaidOnceAndTheFileSystemDecides) {
    TempDir shared;
    kb::ServiceStore store;
    AddService(store, shared.str(), "", {EveryPass({LaunchOf("p", "mfile")})});
    Env e(shared.str());
    WriteFile(shared / "iso.img", "x");
    kbtest::SetMtime(shared / "iso.img", e.now / kSecond - 3600);
    e.client->Add("h1", shared / "iso.img", false);
    e.client->reachable = false;
    std::vector<std::string> notices;
    for (int k = 0; k < 3; ++k)
        for (auto& n : e.Pass(store).notices) notices.push_back(n);
    EXPECT_EQ(notices, (std::vector<std::string>{
                           "Played at http://127.0.0.1:1/ cannot be asked about downloads "
                           "(connection refused): the file system decides until it answers."}));
    EXPECT_EQ(e.launched.size(), 2u);  // settled by the file system's tests
    e.client->reachable = true;
    const kb::ScanResult back = e.Pass(store);
    EXPECT_EQ(back.notices,
              (std::vector<std::string>{"Played at http://127.0.0.1:1/ answers again."}));
    EXPECT_EQ(e.launched.size(), 2u);  // its client says it is unfinished again
}

TEST(DownloadClients, AFinishedTorrentIsMovedByItsClientAndACopyStaysACopy) {
    TempDir shared, music, backup;
    kb::ServiceStore store;
    AddService(store, shared.str(), "", {EveryPass({CopyTo(backup.str()), MoveTo(music.str())})});
    Env e(shared.str());
    WriteFile(shared / "album.zip", "zip");
    kbtest::SetMtime(shared / "album.zip", e.now / kSecond - 3600);
    e.client->Add("h1", shared / "album.zip", true);
    e.Pass(store);
    const kb::ScanResult r = e.Pass(store);
    ASSERT_EQ(r.outcomes.size(), 2u);
    EXPECT_TRUE(r.outcomes[0].ok);
    EXPECT_TRUE(r.outcomes[0].clientMove.empty());
    EXPECT_EQ(ReadFile(backup / "album.zip"), "zip");
    EXPECT_TRUE(r.outcomes[1].ok) << r.outcomes[1].error;
    EXPECT_EQ(r.outcomes[1].note, "moved by Played");
    EXPECT_EQ(r.outcomes[1].clientMove, "Played:h1");
    EXPECT_EQ(e.client->moves, (std::vector<std::string>{"h1 -> " + music.str()}));
    EXPECT_EQ(ReadFile(music / "album.zip"), "zip");
}

TEST(DownloadClients, SwitchedOffTheProgramMovesItAsBefore) {
    TempDir shared, music;
    kb::ServiceStore store;
    AddService(store, shared.str(), "", {EveryPass({MoveTo(music.str())})});
    Env e(shared.str(), false);
    WriteFile(shared / "album.zip", "zip");
    kbtest::SetMtime(shared / "album.zip", e.now / kSecond - 3600);
    e.client->Add("h1", shared / "album.zip", true);
    e.Pass(store);
    const kb::ScanResult r = e.Pass(store);
    ASSERT_EQ(r.outcomes.size(), 1u);
    EXPECT_TRUE(r.outcomes[0].clientMove.empty());
    EXPECT_TRUE(e.client->moves.empty());
    EXPECT_EQ(ReadFile(music / "album.zip"), "zip");
}

TEST(DownloadClients, ClientMoveTagsReadBack) {
    std::string kind, id;
    ASSERT_TRUE(kb::ParseClientMoveTag(kb::ClientMoveTag("qBittorrent", "abc:def"), kind, id));
    EXPECT_EQ(kind, "qBittorrent");
    EXPECT_EQ(id, "abc:def");
    EXPECT_FALSE(kb::ParseClientMoveTag(":x", kind, id));
    EXPECT_FALSE(kb::ParseClientMoveTag("x:", kind, id));
    EXPECT_FALSE(kb::ParseClientMoveTag("x", kind, id));
}

}  // namespace
