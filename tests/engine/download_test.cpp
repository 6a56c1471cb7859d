// Downloads in progress, written by another process the way download clients
// write them, while scan passes run at a quick rhythm with the real clock and
// the real writer probe: a move or copy must end with the whole file at the
// target and nothing lost or split on the way.
#ifndef _WIN32  // writer processes made with fork: POSIX only
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <thread>

#include "enginetest_util.h"

namespace {

using kbtest::Exists;
using kbtest::ReadFile;
using kbtest::TempDir;
using namespace std::chrono_literals;

constexpr std::size_t kChunk = 32 * 1024;
constexpr int kChunks = 16;

enum class Writer { KeepsItOpen, ReopensEachChunk };

std::string Chunk(int k) {
    std::string c(kChunk, '\0');
    for (std::size_t i = 0; i < kChunk; ++i) c[i] = static_cast<char>((k * 7 + i) % 251);
    return c;
}

std::string WholeDownload() {
    std::string all;
    for (int k = 0; k < kChunks; ++k) all += Chunk(k);
    return all;
}

// A child process writing `path` in 32 KiB pieces 40 ms apart, with one
// longer stall half-way (longer than a pass interval, shorter than the settle
// time), as a client does when its peers slow down.
class SlowWriter {
public:
    SlowWriter(const std::string& path, Writer how) {
        std::vector<std::string> chunks;
        for (int k = 0; k < kChunks; ++k) chunks.push_back(Chunk(k));
        pid_ = fork();
        if (pid_ != 0) return;
        prctl(PR_SET_PDEATHSIG, SIGKILL);
        const int flags = O_WRONLY | O_CREAT | O_APPEND;
        int fd = how == Writer::KeepsItOpen ? open(path.c_str(), flags, 0644) : -1;
        for (int k = 0; k < kChunks; ++k) {
            if (how == Writer::ReopensEachChunk) fd = open(path.c_str(), flags, 0644);
            if (fd < 0 || write(fd, chunks[k].data(), kChunk) != static_cast<ssize_t>(kChunk))
                _exit(1);
            if (how == Writer::ReopensEachChunk) close(fd);
            const timespec pause{0, (k == kChunks / 2 ? 450 : 40) * 1000000L};
            nanosleep(&pause, nullptr);
        }
        _exit(0);
    }
    ~SlowWriter() {
        if (pid_ > 0 && !done_) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
    }
    bool Finished() {
        int st = 0;
        if (!done_ && waitpid(pid_, &st, WNOHANG) == pid_) {
            done_ = true;
            ok_ = WIFEXITED(st) && WEXITSTATUS(st) == 0;
        }
        return done_;
    }
    bool Succeeded() const { return ok_; }

private:
    pid_t pid_ = -1;
    bool done_ = false;
    bool ok_ = false;
};

bool AcrossFileSystems() {
    struct stat a, b;
    return ::stat("/tmp", &a) == 0 && ::stat("/dev/shm", &b) == 0 && a.st_dev != b.st_dev;
}

struct Case {
    const char* name;
    kb::ActionKind action;
    Writer writer;
    bool acrossFileSystems;
    // The folder's listing kept from change notification, and no help from
    // the writer probe: only the listing can tell that the file still grows.
    bool watched = false;
};

void PrintTo(const Case& c, std::ostream* os) { *os << c.name; }

class Download : public ::testing::TestWithParam<Case> {};

TEST_P(Download, EndsWholeAtTheTargetWithNothingLost) {
    const Case c = GetParam();
    if (c.acrossFileSystems && !AcrossFileSystems())
        GTEST_SKIP() << "needs /tmp and /dev/shm on different file systems";
    TempDir shared("/tmp"), target(c.acrossFileSystems ? "/dev/shm" : "/tmp");
    kb::ServiceStore store;
    const kb::ruleactionrec act =
        c.action == kb::actMove ? kbtest::MoveTo(target.str()) : kbtest::CopyTo(target.str());
    kbtest::AddService(store, shared.str(), "", {kbtest::Rule(kb::trgNewFile, {act})});
    kb::ScanEnvironment env = kb::DefaultScanEnvironment();
    env.gate = kb::CompletionGate{true, 1};
    if (c.watched) {
        env.keeper = std::make_shared<kb::ListingKeeper>();
        env.writers = [](const std::string&) { return kb::WriterState::Unknown; };
    }

    kb::ScanState state;
    auto pass = [&] {
        auto r = kb::RunScanPass(kb::TakeScanSnapshot(store), state, env);
        state.Store(r);
        return r.outcomes;
    };
    pass();  // the baseline, before the download starts
    const std::string name = "album.zip";
    SlowWriter writer(shared / name, c.writer);
    std::vector<kb::ActionOutcome> done;
    const auto deadline = std::chrono::steady_clock::now() + 12s;
    bool written = false;
    while (std::chrono::steady_clock::now() < deadline) {
        for (auto& o : pass()) done.push_back(o);
        written = writer.Finished();
        if (written && !done.empty()) break;
        std::this_thread::sleep_for(100ms);
    }
    ASSERT_TRUE(written && writer.Succeeded());
    ASSERT_EQ(done.size(), 1u) << "acted on more than once, or never";
    EXPECT_TRUE(done[0].ok) << done[0].error;

    const std::string whole = WholeDownload();
    EXPECT_TRUE(ReadFile(target / name) == whole)
        << "the target holds " << ReadFile(target / name).size() << " bytes";
    if (c.action == kb::actMove) {
        // Not left behind, and not begun again as a second piece.
        EXPECT_FALSE(Exists(shared / name));
    } else {
        EXPECT_TRUE(ReadFile(shared / name) == whole);
    }
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(target.str()), {}), 1);
    if (c.watched) {
        const auto state = env.keeper->State(shared.str(), "");
        EXPECT_TRUE(state.kept) << state.why;
        EXPECT_GT(state.keptListings, state.fullListings);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Writers, Download,
    ::testing::Values(Case{"MoveKeptOpen", kb::actMove, Writer::KeepsItOpen, false},
                      Case{"MoveReopened", kb::actMove, Writer::ReopensEachChunk, false},
                      Case{"MoveAcrossKeptOpen", kb::actMove, Writer::KeepsItOpen, true},
                      Case{"MoveAcrossReopened", kb::actMove, Writer::ReopensEachChunk, true},
                      Case{"CopyReopened", kb::actCopy, Writer::ReopensEachChunk, false},
                      Case{"CopyKeptOpen", kb::actCopy, Writer::KeepsItOpen, false},
                      Case{"MoveReopenedWatched", kb::actMove, Writer::ReopensEachChunk, false,
                           true},
                      Case{"CopyKeptOpenWatched", kb::actCopy, Writer::KeepsItOpen, false, true}),
    [](const ::testing::TestParamInfo<Case>& info) { return std::string(info.param.name); });

}  // namespace
#endif
