// The listings kept from change notification against a fresh listing of the
// same folder, on a real folder the test changes behind the keeper's back.
#include "engine/listingkeeper.h"

#include <gtest/gtest.h>

#ifndef _WIN32
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#include <fstream>
#include <random>
#include <set>
#include <sstream>

#include "enginetest_util.h"
#include "platform/localtime.h"

namespace {

using kbtest::TempDir;
using kbtest::WriteFile;

std::vector<kb::filerec> ByName(const kb::SharedListing& l) {
    std::vector<kb::filerec> v = l.get();
    std::sort(v.begin(), v.end(),
              [](const kb::filerec& a, const kb::filerec& b) { return a.name < b.name; });
    return v;
}

std::string Describe(const std::vector<kb::filerec>& v) {
    std::ostringstream out;
    for (const kb::filerec& f : v) out << "  " << f.name << " " << f.size << " " << f.mtime << "\n";
    return out.str();
}

// The kept listing equals a fresh one: the same entries with the same sizes
// and times, the same total, and the entries that stayed in their places.
::testing::AssertionResult SameAsFresh(kb::ListingKeeper& keeper, const std::string& dir,
                                       const std::string& masks,
                                       kb::SharedListing* kept = nullptr) {
    const kb::ServiceListing got = keeper.List(dir, masks);
    const kb::ServiceListing fresh = kb::ListCompletedFiles(dir, masks);
    if (kept) *kept = got.files;
    const auto a = ByName(got.files), b = ByName(fresh.files);
    if (a != b)
        return ::testing::AssertionFailure() << "kept:\n"
                                             << Describe(a) << "fresh:\n"
                                             << Describe(b);
    if (got.total != fresh.total)
        return ::testing::AssertionFailure() << "total " << got.total << " != " << fresh.total;
    if (got.opened != fresh.opened) return ::testing::AssertionFailure() << "opened differs";
    return ::testing::AssertionSuccess();
}

TEST(ListingKeeper, WithoutChangesHandsBackTheSameListing) {
    TempDir d;
    WriteFile(d / "a.mp3", "aaa");
    WriteFile(d / "b.avi", "b");
    kb::ListingKeeper keeper;
    kb::SharedListing first, second, third;
    ASSERT_TRUE(SameAsFresh(keeper, d.str(), "", &first));
    ASSERT_TRUE(SameAsFresh(keeper, d.str(), "", &second));
    const auto state = keeper.State(d.str(), "");
    if (!state.kept) {
#ifdef _WIN32
        // Listed in full at every pass here, and said why.
        EXPECT_FALSE(state.why.empty());
        EXPECT_EQ(state.fullListings, 2);
        return;
#else
        GTEST_SKIP() << "not watched here: " << state.why;
#endif
    }
    EXPECT_TRUE(second.SameAs(first));
    WriteFile(d / "a.mp3", "longer now");
    ASSERT_TRUE(SameAsFresh(keeper, d.str(), "", &third));
    EXPECT_FALSE(third.SameAs(second));
    // The listing the earlier passes hold is left as it was.
    EXPECT_EQ(ByName(second)[0].size, 3);
    // Entries that stayed keep their places.
    EXPECT_EQ(third[0].name, second[0].name);
    EXPECT_EQ(keeper.State(d.str(), "").fullListings, 1);
}

#ifndef _WIN32

// A folder on a file system whose changes are all reported, or "" when the
// machine has none at hand.
std::string WatchableBase() {
    for (const std::string& base : {kbtest::SystemTemp(), std::string("/dev/shm")}) {
        if (kb::ChangesAreReported(base)) return base;
    }
    return "";
}

void Touch(const std::string& path, std::int64_t sec, long nsec) {
    const timespec t[2] = {{sec, nsec}, {sec, nsec}};
    utimensat(AT_FDCWD, path.c_str(), t, AT_SYMLINK_NOFOLLOW);
}

// A step that may fail (the name is a folder, or missing): what it did is
// what a fresh listing sees.
void Try(int) {}

// Writes whatever can be written, without waiting: a step may name a
// folder, a missing one, or a pipe nobody reads.
void Write(const std::string& path, const std::string& content, int flags) {
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_NONBLOCK | O_CLOEXEC | flags, 0644);
    if (fd < 0) return;
    Try(static_cast<int>(write(fd, content.data(), content.size())));
    close(fd);
}

void Put(const std::string& path, const std::string& content) { Write(path, content, O_TRUNC); }

void Append(const std::string& path, std::size_t n) { Write(path, std::string(n, 'x'), O_APPEND); }

// Long random sequences of what happens to a download folder, with the kept
// listing compared with a fresh one after every step. Some of the steps
// change an entry without any event on the folder (inside a subfolder, at a
// link's target, through a file's second name).
TEST(ListingKeeper, RandomChangesMatchAFreshListingAfterEveryStep) {
    const std::string base = WatchableBase();
    if (base.empty()) GTEST_SKIP() << "no file system here reports its changes";
    TempDir root(base);
    const std::string dir = root / "share", away = root / "away";
    kbtest::MakeDir(dir);
    kbtest::MakeDir(away);
    const std::string masks = "*.part;skip*";
    const std::vector<std::string> names = {"a.mp3", "b.avi",   "c d.txt", "e.part", "skip.me",
                                            "f",     ".hidden", "g.ogg",   "h.zip",  "i.iso",
                                            "sub",   "sub2",    "link",    "link2",  "j.mp3"};
    // KB_KEEPER_SEED=<n> runs another sequence.
    const char* seed = std::getenv("KB_KEEPER_SEED");
    std::mt19937 rng(seed ? static_cast<unsigned>(std::strtoul(seed, nullptr, 10)) : 20261209u);
    auto pick = [&](const std::vector<std::string>& from) {
        return from[std::uniform_int_distribution<std::size_t>(0, from.size() - 1)(rng)];
    };
    auto in = [&](const std::string& n) { return kb::JoinPath(dir, n); };
    auto out = [&](const std::string& n) { return kb::JoinPath(away, n); };
    Put(out("target"), "t");
    kb::ListingKeeper keeper;
    ASSERT_TRUE(SameAsFresh(keeper, dir, masks));
    ASSERT_TRUE(keeper.State(dir, masks).kept) << keeper.State(dir, masks).why;

    std::error_code ec;
    std::int64_t fullBefore = 0;
    kb::SharedListing previous = keeper.List(dir, masks).files;
    int steps = 0;
    for (int step = 0; step < 1500; ++step) {
        const std::string n = pick(names), m = pick(names);
        const int op = std::uniform_int_distribution<int>(0, 19)(rng);
        std::string what;
        switch (op) {
            case 0:
            case 1:
                what = "create " + n;
                Put(in(n), std::string(rng() % 50, 'c'));
                break;
            case 2:
                what = "delete " + n;
                unlink(in(n).c_str());
                break;
            case 3:
                what = "rename " + n + " -> " + m;
                rename(in(n).c_str(), in(m).c_str());
                break;
            case 4:
                what = "rename out " + n;
                rename(in(n).c_str(), out(n).c_str());
                break;
            case 5:
                what = "rename in " + n;
                rename(out(n).c_str(), in(n).c_str());
                break;
            case 6:
                what = "append " + n;
                Append(in(n), 1 + rng() % 9);
                break;
            case 7:
                what = "truncate " + n;
                Try(truncate(in(n).c_str(), static_cast<off_t>(rng() % 5)));
                break;
            case 8:
                what = "touch " + n;
                Touch(in(n), 1700000000 + static_cast<std::int64_t>(rng() % 1000), rng() % 1000);
                break;
            case 9:
                what = "chmod " + n;
                chmod(in(n).c_str(), rng() % 2 ? 0600 : 0644);
                break;
            case 10:
                what = "mkdir " + n;
                mkdir(in(n).c_str(), 0755);
                break;
            case 11:
                what = "rmdir " + n;
                rmdir(in(n).c_str());
                break;
            case 12:
                // Inside a subfolder: the subfolder's time changes, the folder hears nothing.
                what = "write inside " + n;
                Put(kb::JoinPath(in(n), m), "x");
                break;
            case 13: {
                // A link pointed elsewhere the way tools do it: a new link renamed over the old.
                what = "point " + n + " at " + m;
                const std::string tmp = in(".tmp-link");
                Try(symlink(rng() % 3 ? in(m).c_str() : out("target").c_str(), tmp.c_str()));
                rename(tmp.c_str(), in(n).c_str());
                break;
            }
            case 14:
                what = "write at the link target";
                Append(out("target"), 3);
                break;
            case 15:
                // A second name in the folder, then written through the other one.
                what = "link " + n + " as " + m;
                Try(link(in(n).c_str(), in(m).c_str()));
                Append(in(m), 2);
                break;
            case 16:
                // A second name brought in from outside, then written from outside.
                what = "link in " + n;
                Put(out("linked"), "l");
                Try(link(out("linked").c_str(), in(n).c_str()));
                Append(out("linked"), 4);
                unlink(out("linked").c_str());
                break;
            case 17:
                if (rng() % 8 == 0) {
                    what = "folder deleted and made again";
                    kbtest::fs::remove_all(dir, ec);
                    kbtest::MakeDir(dir);
                    if (rng() % 2) Put(in(n), "new");
                } else {
                    what = "mkfifo " + n;
                    mkfifo(in(n).c_str(), 0644);
                }
                break;
            case 18:
                if (rng() % 8 == 0) {
                    what = "folder moved away, another moved in";
                    kbtest::fs::remove_all(root / "old", ec);
                    rename(dir.c_str(), (root / "old").c_str());
                    kbtest::MakeDir(root / "new");
                    Put(kb::JoinPath(root / "new", n), "moved in");
                    rename((root / "new").c_str(), dir.c_str());
                } else {
                    what = "write into the folder moved away";
                    Put(kb::JoinPath(root / "old", n), "unseen");
                }
                break;
            default:
                what = "nothing";
                break;
        }
        kb::SharedListing now;
        ASSERT_TRUE(SameAsFresh(keeper, dir, masks, &now)) << "step " << step << ": " << what;
        // Entries that stayed keep their order, unless the folder itself was replaced.
        if (what.rfind("folder", 0) != 0) {
            std::set<std::string> stayed;
            for (const kb::filerec& f : now) stayed.insert(f.name);
            std::vector<std::string> before, after;
            for (const kb::filerec& f : previous)
                if (stayed.count(f.name)) before.push_back(f.name);
            for (const kb::filerec& f : now)
                if (before.size() > after.size()) after.push_back(f.name);
            ASSERT_EQ(after, before) << "step " << step << ": " << what;
        }
        previous = now;
        ++steps;
        if (step == 0) fullBefore = keeper.State(dir, masks).fullListings;
    }
    const auto state = keeper.State(dir, masks);
    EXPECT_TRUE(state.kept) << state.why;
    // Most steps were answered from events, not by listing again.
    EXPECT_GT(state.keptListings, 3 * (state.fullListings - fullBefore));
    EXPECT_EQ(state.keptListings + state.fullListings, steps + 2);
}

TEST(ListingKeeper, TakesTheFolderAfreshWhenTheKeptListingIsOld) {
    // A second name made from another folder raises no event here, and a
    // write through it neither: only listing again finds the change.
    const std::string base = WatchableBase();
    if (base.empty()) GTEST_SKIP() << "no file system here reports its changes";
    TempDir dir(base), away(base);
    WriteFile(dir / "song.mp3", "abc");
    std::int64_t now = 0;
    kb::ListingKeeper::Options options;
    options.clock = [&] { return now; };
    options.refreshNs = 1000;
    kb::ListingKeeper keeper(options);
    ASSERT_TRUE(SameAsFresh(keeper, dir.str(), ""));
    ASSERT_EQ(link((dir / "song.mp3").c_str(), (away / "other").c_str()), 0);
    Append(away / "other", 10);
    // Still inside the refresh time: the kept listing has not seen it.
    EXPECT_EQ(keeper.List(dir.str(), "").files[0].size, 3);
    now += 1000;
    ASSERT_TRUE(SameAsFresh(keeper, dir.str(), ""));
    EXPECT_EQ(keeper.State(dir.str(), "").fullListings, 2);
    // It now has two names, and is looked at in every pass.
    Append(away / "other", 1);
    ASSERT_TRUE(SameAsFresh(keeper, dir.str(), ""));
    EXPECT_EQ(keeper.State(dir.str(), "").fullListings, 2);
}

TEST(ListingKeeper, ListingAgainKeepsTheEntriesInTheirPlaces) {
    // "Listed first" decides between equal dates: it must not change when the
    // kept listing is taken afresh in the file system's own order.
    const std::string base = WatchableBase();
    if (base.empty()) GTEST_SKIP() << "no file system here reports its changes";
    TempDir dir(base);
    for (int i = 0; i < 40; ++i) WriteFile(dir / ("old" + std::to_string(i)), "o");
    std::int64_t now = 0;
    kb::ListingKeeper::Options options;
    options.clock = [&] { return now; };
    options.refreshNs = 1000;
    kb::ListingKeeper keeper(options);
    keeper.List(dir.str(), "");
    for (int i = 0; i < 40; ++i) WriteFile(dir / ("new" + std::to_string(i)), "n");
    unlink((dir / "old3").c_str());
    std::vector<std::string> kept;
    for (const kb::filerec& f : keeper.List(dir.str(), "").files) kept.push_back(f.name);
    // The new ones follow the old ones, in the order they came.
    ASSERT_EQ(kept.size(), 79u);
    for (int i = 0; i < 40; ++i)
        EXPECT_EQ(kept[39 + static_cast<std::size_t>(i)], "new" + std::to_string(i));
    now += 1000;
    std::vector<std::string> again;
    for (const kb::filerec& f : keeper.List(dir.str(), "").files) again.push_back(f.name);
    EXPECT_EQ(keeper.State(dir.str(), "").fullListings, 2);
    EXPECT_EQ(again, kept);
}

TEST(ListingKeeper, ListsInFullAfterTheEventQueueOverflowed) {
    const std::string base = WatchableBase();
    if (base.empty()) GTEST_SKIP() << "no file system here reports its changes";
    long limit = 0;
    std::ifstream("/proc/sys/fs/inotify/max_queued_events") >> limit;
    if (limit <= 0 || limit > 100000) GTEST_SKIP() << "event queue limit " << limit;
    TempDir dir(base);
    kb::ListingKeeper keeper;
    ASSERT_TRUE(SameAsFresh(keeper, dir.str(), ""));
    ASSERT_TRUE(keeper.State(dir.str(), "").kept);
    // More events than the queue holds, each about another name.
    for (long i = 0; i < limit + 100; ++i) {
        const int fd = open((dir / ("f" + std::to_string(i))).c_str(), O_CREAT | O_WRONLY, 0644);
        ASSERT_GE(fd, 0);
        close(fd);
    }
    ASSERT_TRUE(SameAsFresh(keeper, dir.str(), ""));
    auto state = keeper.State(dir.str(), "");
    EXPECT_EQ(state.fullListings, 2) << "the lost events were not noticed";
    // And kept again from then on.
    unlink((dir / "f7").c_str());
    ASSERT_TRUE(SameAsFresh(keeper, dir.str(), ""));
    state = keeper.State(dir.str(), "");
    EXPECT_TRUE(state.kept);
    EXPECT_EQ(state.fullListings, 2);
    EXPECT_EQ(state.keptListings, 1);
}

TEST(ListingKeeper, ListsInFullWhenNoWatchCanBeHad) {
    // No change notification instance to be had (the open-file limit stands
    // in for the system's limit on instances): every pass lists in full.
    TempDir dir;
    rlimit old;
    ASSERT_EQ(getrlimit(RLIMIT_NOFILE, &old), 0);
    rlimit none = old;
    none.rlim_cur = 0;
    ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &none), 0);
    auto keeper = std::make_unique<kb::ListingKeeper>();
    setrlimit(RLIMIT_NOFILE, &old);
    WriteFile(dir / "a", "1");
    ASSERT_TRUE(SameAsFresh(*keeper, dir.str(), ""));
    WriteFile(dir / "b", "22");
    ASSERT_TRUE(SameAsFresh(*keeper, dir.str(), ""));
    const auto state = keeper->State(dir.str(), "");
    EXPECT_FALSE(state.kept);
    EXPECT_NE(state.why.find("limit"), std::string::npos) << state.why;
    EXPECT_EQ(state.fullListings, 2);
    EXPECT_EQ(state.keptListings, 0);
}

TEST(ListingKeeper, ListsANetworkFileSystemInFullEveryPass) {
    TempDir dir;
    kb::ListingKeeper::Options options;
    options.changesReported = [](const std::string& d, std::string* fs) {
        return kb::IsLocalFileSystemType(0x6969 /* NFS */, fs) && !d.empty();
    };
    kb::ListingKeeper keeper(options);
    for (int i = 0; i < 3; ++i) {
        WriteFile(dir / ("f" + std::to_string(i)), std::string(static_cast<std::size_t>(i), 'x'));
        ASSERT_TRUE(SameAsFresh(keeper, dir.str(), ""));
    }
    const auto state = keeper.State(dir.str(), "");
    EXPECT_FALSE(state.kept);
    EXPECT_NE(state.why.find("NFS"), std::string::npos) << state.why;
    EXPECT_EQ(state.fullListings, 3);
}

TEST(ListingKeeper, OnlyLocalFileSystemsAreTakenAtTheirWord) {
    std::string name;
    for (const std::uint64_t remote :
         {0x6969ull, 0x517Bull, 0xFF534D42ull, 0xFE534D42ull, 0x65735546ull, 0x01021997ull,
          0x794C7630ull, 0x12345678ull}) {
        EXPECT_FALSE(kb::IsLocalFileSystemType(remote, &name)) << name;
    }
    EXPECT_TRUE(kb::IsLocalFileSystemType(0xEF53, &name));
    EXPECT_EQ(name, "ext2/ext3/ext4");
    EXPECT_TRUE(kb::IsLocalFileSystemType(0x01021994, &name));
    EXPECT_FALSE(kb::IsLocalFileSystemType(0x65735546, &name));
    EXPECT_EQ(name, "FUSE");
    if (kbtest::OtherFileSystem() == "/dev/shm") {
        EXPECT_TRUE(kb::ChangesAreReported("/dev/shm"));
    }
}

TEST(ListingKeeper, ServicesOnOneFolderWithOtherMasksEachKeepTheirOwn) {
    const std::string base = WatchableBase();
    if (base.empty()) GTEST_SKIP() << "no file system here reports its changes";
    TempDir dir(base);
    WriteFile(dir / "a.mp3", "a");
    WriteFile(dir / "b.dat", "b");
    kb::ListingKeeper keeper;
    ASSERT_TRUE(SameAsFresh(keeper, dir.str(), "*.dat"));
    ASSERT_TRUE(SameAsFresh(keeper, dir.str(), ""));
    keeper.Sweep();
    WriteFile(dir / "c.dat", "c");
    // The second stops (its service was removed): the first must still hear.
    ASSERT_TRUE(SameAsFresh(keeper, dir.str(), "*.dat"));
    keeper.Sweep();
    EXPECT_FALSE(keeper.State(dir.str(), "").known);
    WriteFile(dir / "d.mp3", "d");
    ASSERT_TRUE(SameAsFresh(keeper, dir.str(), "*.dat"));
    const auto state = keeper.State(dir.str(), "*.dat");
    EXPECT_TRUE(state.kept);
    EXPECT_EQ(state.fullListings, 1);
}

TEST(ListingKeeper, AMissingFolderIsListedAsMissingUntilItComes) {
    TempDir root;
    const std::string dir = root / "later";
    kb::ListingKeeper keeper;
    EXPECT_FALSE(keeper.List(dir, "").opened);
    kbtest::MakeDir(dir);
    WriteFile(kb::JoinPath(dir, "x"), "x");
    ASSERT_TRUE(SameAsFresh(keeper, dir, ""));
    kbtest::fs::remove_all(dir);
    const auto gone = keeper.List(dir, "");
    EXPECT_FALSE(gone.opened);
    EXPECT_TRUE(gone.files.empty());
}

// The completion gate through the watch: a file that keeps growing keeps
// raising events, its kept entry follows, and it waits until it stops.
TEST(ListingKeeper, AGrowingFileWaitsUntilItStops) {
    const std::string base = WatchableBase();
    if (base.empty()) GTEST_SKIP() << "no file system here reports its changes";
    TempDir dir(base);
    kb::ServiceStore store;
    kbtest::AddService(store, dir.str(), "",
                       {kbtest::Rule(kb::trgNewFile, {kbtest::LaunchOf("p")})});
    kb::ScanEnvironment env;
    env.keeper = std::make_shared<kb::ListingKeeper>();
    env.gate = kb::CompletionGate{true, 10};
    // Every time is long past: only a change between two passes holds a file back.
    const std::int64_t later = kb::WallClockNs() + std::int64_t{3600} * 1000000000;
    env.clock = [later] { return later; };
    env.writers = [](const std::string&) { return kb::WriterState::Unknown; };
    int launches = 0;
    env.launch = [&](const std::string&, const std::vector<std::string>&) {
        ++launches;
        return kb::Status{true, {}};
    };
    kb::ScanState state;
    auto pass = [&] {
        kb::ScanResult r = kb::RunScanPass(kb::TakeScanSnapshot(store), state, env);
        state.Store(r);
        return r;
    };
    pass();
    const kb::SharedListing empty = state.Of(store.ServiceTable[0].uid).baseline;
    WriteFile(dir / "album.zip", "x");
    for (int i = 0; i < 4; ++i) {
        const kb::ScanResult r = pass();
        EXPECT_EQ(launches, 0) << "acted on while still growing, pass " << i;
        ASSERT_EQ(r.baselines[0].pending, (std::vector<std::string>{"album.zip"}));
        EXPECT_EQ(r.baselines[0].files[0].size, i + 1);
        Append(dir / "album.zip", 1);
    }
    pass();  // the last append seen
    EXPECT_EQ(launches, 0);
    const kb::SharedListing before = state.Of(store.ServiceTable[0].uid).baseline;
    const kb::ScanResult r = pass();  // unchanged since: settled
    EXPECT_EQ(launches, 1);
    EXPECT_TRUE(r.baselines[0].pending.empty());
    EXPECT_TRUE(r.baselines[0].files.SameAs(before)) << "an unchanged folder was listed again";
    EXPECT_FALSE(before.SameAs(empty));
    const auto folder = env.keeper->State(dir.str(), "");
    EXPECT_TRUE(folder.kept) << folder.why;
    EXPECT_EQ(folder.fullListings, 1);
}

#endif

}  // namespace
