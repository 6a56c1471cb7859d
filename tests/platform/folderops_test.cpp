// Folders as one download, on real files: walked without following links,
// copied file by file (added to what is there), moved by rename or, across
// file systems, copied whole before anything of the source goes; a copy
// taken back only where it still is one. And the system's answers the
// completion gate asks for: holes, and files processes hold for writing.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "platform/dirlist.h"
#include "platform/fileops.h"
#include "platform/writers.h"
#ifndef _WIN32
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace {

namespace fs = std::filesystem;

std::string Read(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

void Write(const fs::path& path, const std::string& text) {
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << text;
}

fs::path FreshDir(const fs::path& base) {
    const fs::path p = base / ("kbfolders-" + std::to_string(std::random_device{}()));
    fs::create_directories(p);
    return p;
}

class Folders : public ::testing::Test {
protected:
    void SetUp() override { root_ = FreshDir(fs::temp_directory_path()); }
    void TearDown() override {
        std::error_code ec;
        fs::remove_all(root_, ec);
        if (!other_.empty()) fs::remove_all(other_, ec);
    }
    // A folder on another file system, or "" when there is none.
    fs::path Other() {
#ifndef _WIN32
        struct stat a, b;
        if (::stat(root_.c_str(), &a) == 0 && ::stat("/dev/shm", &b) == 0 && a.st_dev != b.st_dev)
            other_ = FreshDir("/dev/shm");
#endif
        return other_;
    }
    // An album of a few files two folders deep.
    fs::path Album(const fs::path& where) {
        Write(where / "Album" / "01.flac", "first track");
        Write(where / "Album" / "CD2" / "02.flac", "second track");
        Write(where / "Album" / "cover.jpg", "cover");
        return where / "Album";
    }
    std::vector<std::string> Walk(const fs::path& dir, kb::WalkEnd* end = nullptr,
                                  kb::WalkLimits limits = {}) {
        std::vector<std::string> seen;
        const kb::WalkEnd e = kb::WalkTree(dir.string(), limits, [&](const kb::TreeEntry& t) {
            seen.push_back(std::string(t.path) +
                           (t.kind == kb::TreeEntry::Kind::Folder ? "/" : ""));
        });
        if (end) *end = e;
        std::sort(seen.begin(), seen.end());
        return seen;
    }

    fs::path root_, other_;
};

TEST_F(Folders, AWalkReportsEverythingBelowOnceAndStopsAtItsBounds) {
    const fs::path album = Album(root_);
    kb::WalkEnd end;
    EXPECT_EQ(Walk(album, &end),
              (std::vector<std::string>{"01.flac", "CD2/", "CD2/02.flac", "cover.jpg"}));
    EXPECT_EQ(end, kb::WalkEnd::Complete);
    Walk(album, &end, kb::WalkLimits{0, 100});
    EXPECT_EQ(end, kb::WalkEnd::TooDeep);
    Walk(album, &end, kb::WalkLimits{8, 2});
    EXPECT_EQ(end, kb::WalkEnd::TooMany);
    EXPECT_EQ(kb::WalkTree((root_ / "none").string(), {}, [](const kb::TreeEntry&) {}),
              kb::WalkEnd::Unreadable);
}

#ifndef _WIN32
TEST_F(Folders, ALinkIsReportedAndNeverFollowed) {
    const fs::path album = Album(root_);
    fs::create_symlink("/", album / "root");
    fs::create_symlink(album, album / "loop");
    EXPECT_EQ(Walk(album), (std::vector<std::string>{"01.flac", "CD2/", "CD2/02.flac", "cover.jpg",
                                                     "loop", "root"}));
    // A link given as the folder itself is not walked either.
    EXPECT_EQ(kb::WalkTree((album / "loop").string(), {}, [](const kb::TreeEntry&) {}),
              kb::WalkEnd::Unreadable);
}
#endif

TEST_F(Folders, ACopyIsWholeAndAddsToAFolderAlreadyThere) {
    const fs::path album = Album(root_);
    const fs::path target = root_ / "Music";
    fs::create_directories(target / "Album");
    Write(target / "Album" / "cover.jpg", "an older cover");
    Write(target / "Album" / "notes.txt", "mine");
    const kb::FileOpResult r = kb::FolderCopy(album.string(), (target / "Album").string());
    ASSERT_TRUE(r) << r.error;
    EXPECT_EQ(Read(target / "Album" / "CD2" / "02.flac"), "second track");
    EXPECT_EQ(Read(target / "Album" / "cover.jpg"), "cover");
    EXPECT_EQ(Read(target / "Album" / "notes.txt"), "mine");  // what was there stays
    EXPECT_EQ(Read(album / "01.flac"), "first track");
    // Copied again: every file is there already.
    EXPECT_EQ(kb::FolderCopy(album.string(), (target / "Album").string()).status,
              kb::FileOpStatus::AlreadyThere);
    // Its times are the source's, so a later look sees the same download.
    EXPECT_EQ(fs::last_write_time(target / "Album" / "CD2"), fs::last_write_time(album / "CD2"));
    // A file in the folder's place is not replaced by a folder.
    Write(root_ / "Flat" / "Album", "a file");
    EXPECT_FALSE(kb::FolderCopy(album.string(), (root_ / "Flat" / "Album").string()));
}

#ifndef _WIN32
TEST_F(Folders, AFolderHoldingAPipeIsRefusedBeforeAnythingIsWritten) {
    const fs::path album = Album(root_);
    ASSERT_EQ(::mkfifo((album / "CD2" / "fifo").c_str(), 0600), 0);
    const kb::FileOpResult r = kb::FolderCopy(album.string(), (root_ / "Copy").string());
    EXPECT_FALSE(r);
    EXPECT_EQ(r.error, "the folder holds a device, pipe or socket: CD2/fifo");
    EXPECT_FALSE(fs::exists(root_ / "Copy"));
    // Nor moved across file systems, where it would have to be copied.
    const fs::path other = Other();
    if (!other.empty()) {
        EXPECT_FALSE(kb::FolderMove(album.string(), (other / "Album").string()));
        EXPECT_TRUE(fs::exists(album / "01.flac"));
    }
}

TEST_F(Folders, LinksInsideAreCopiedAsLinks) {
    const fs::path album = Album(root_);
    fs::create_symlink("/etc/hostname", album / "host");
    ASSERT_TRUE(kb::FolderCopy(album.string(), (root_ / "Copy").string()));
    EXPECT_TRUE(fs::is_symlink(root_ / "Copy" / "host"));
    EXPECT_EQ(fs::read_symlink(root_ / "Copy" / "host"), "/etc/hostname");
}
#endif

TEST_F(Folders, AMoveOnOneFileSystemIsARenameAndMergesIntoAFolderThere) {
    const fs::path album = Album(root_);
    const fs::path music = root_ / "Music";
    fs::create_directories(music);
    ASSERT_TRUE(kb::FolderMove(album.string(), (music / "Album").string()));
    EXPECT_FALSE(fs::exists(album));
    EXPECT_EQ(Read(music / "Album" / "CD2" / "02.flac"), "second track");
    // The same album again, with a new track: it joins the folder there.
    Write(root_ / "Album" / "CD2" / "03.flac", "third track");
    Write(root_ / "Album" / "cover.jpg", "new cover");
    ASSERT_TRUE(kb::FolderMove((root_ / "Album").string(), (music / "Album").string()));
    EXPECT_FALSE(fs::exists(root_ / "Album"));
    EXPECT_EQ(Read(music / "Album" / "CD2" / "03.flac"), "third track");
    EXPECT_EQ(Read(music / "Album" / "CD2" / "02.flac"), "second track");
    EXPECT_EQ(Read(music / "Album" / "cover.jpg"), "new cover");
    // Not onto itself.
    EXPECT_FALSE(kb::FolderMove((music / "Album").string(), (music / "Album").string()));
    EXPECT_TRUE(fs::exists(music / "Album" / "01.flac"));
}

TEST_F(Folders, AMoveAcrossFileSystemsRemovesTheSourceOnlyOnceAllIsCopied) {
    const fs::path other = Other();
    if (other.empty()) GTEST_SKIP() << "no second file system here";
    const fs::path album = Album(root_);
    // A file changes while the copy is under way: the copy is not whole, so
    // nothing of the source goes.
    int calls = 0;
    kb::SetCopyCheckHookForTests([&](const std::string& src) {
        if (src.find("cover.jpg") != std::string::npos && calls++ == 0)
            std::ofstream(src, std::ios::app) << " (bigger)";
    });
    kb::FileOpResult r = kb::FolderMove(album.string(), (other / "Album").string());
    kb::SetCopyCheckHookForTests({});
    EXPECT_FALSE(r);
    EXPECT_EQ(r.status, kb::FileOpStatus::SourceChanged);
    EXPECT_EQ(Read(album / "01.flac"), "first track");
    EXPECT_EQ(Read(album / "cover.jpg"), "cover (bigger)");
    EXPECT_FALSE(fs::exists(other / "Album" / "cover.jpg"));

    // Tried again: all of it is copied, then the source goes.
    r = kb::FolderMove(album.string(), (other / "Album").string());
    ASSERT_TRUE(r) << r.error;
    EXPECT_FALSE(fs::exists(album));
    EXPECT_EQ(Read(other / "Album" / "cover.jpg"), "cover (bigger)");
    EXPECT_EQ(Read(other / "Album" / "CD2" / "02.flac"), "second track");
}

TEST_F(Folders, TakingBackACopyRemovesOnlyWhatIsStillACopy) {
    const fs::path album = Album(root_);
    const fs::path copy = root_ / "Backup" / "Album";
    // Like a file's, a folder's copy needs its target folder to be there.
    EXPECT_FALSE(kb::FolderCopy(album.string(), copy.string()));
    fs::create_directories(root_ / "Backup");
    ASSERT_TRUE(kb::FolderCopy(album.string(), copy.string()));
    Write(copy / "CD2" / "mine.txt", "added by hand");
    kb::FileOpResult r = kb::FolderRemoveCopy(copy.string(), album.string());
    EXPECT_FALSE(r);
    EXPECT_EQ(Read(copy / "CD2" / "mine.txt"), "added by hand");
    EXPECT_FALSE(fs::exists(copy / "01.flac"));  // a copy, so it went
    fs::remove(copy / "CD2" / "mine.txt");
    r = kb::FolderRemoveCopy(copy.string(), album.string());
    EXPECT_TRUE(r) << r.error;
    EXPECT_FALSE(fs::exists(copy));
    EXPECT_EQ(Read(album / "01.flac"), "first track");
    // Never the original itself.
    EXPECT_FALSE(kb::FolderRemoveCopy(album.string(), album.string()));
    EXPECT_TRUE(fs::exists(album / "01.flac"));
}

#ifndef _WIN32
TEST(Writers, HolesBeforeTheEndAreFoundAndAWholeFileHasNone) {
    const fs::path dir = FreshDir(fs::temp_directory_path());
    const fs::path sparse = dir / "sparse", whole = dir / "whole";
    {
        std::ofstream(sparse, std::ios::binary).close();
        fs::resize_file(sparse, 1 << 22);
        std::fstream f(sparse, std::ios::in | std::ios::out | std::ios::binary);
        f.seekp((1 << 22) - 4);
        f << "tail";
    }
    std::ofstream(whole, std::ios::binary) << std::string(1 << 20, 'x');
    const kb::Holes h = kb::FindHoles(sparse.string());
    if (h != kb::Holes::Unknown) {
        EXPECT_EQ(h, kb::Holes::Some);
    }
    EXPECT_EQ(kb::FindHoles(whole.string()), kb::Holes::None);
    EXPECT_EQ(kb::FindHoles((dir / "none").string()), kb::Holes::Unknown);
    EXPECT_EQ(kb::FindHoles(dir.string()), kb::Holes::Unknown);  // not a file
    fs::remove_all(dir);
}

TEST(Writers, FilesHeldForWritingAreSeenAndFilesOnlyReadAreNot) {
    const fs::path dir = FreshDir(fs::temp_directory_path());
    const fs::path written = dir / "written", read = dir / "read", rdwr = dir / "rdwr";
    std::ofstream(read) << "r";
    std::ofstream(rdwr) << "rw";
    const int w = ::open(written.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0600);
    const int r = ::open(read.c_str(), O_RDONLY | O_CLOEXEC);
    const int rw = ::open(rdwr.c_str(), O_RDWR | O_CLOEXEC);
    ASSERT_TRUE(w >= 0 && r >= 0 && rw >= 0);
    const std::vector<kb::FileId> open = kb::FilesOpenForWriting();
    auto held = [&](const fs::path& p) {
        const std::optional<kb::FileId> id = kb::IdentifyFile(p.string());
        return id && std::binary_search(open.begin(), open.end(), *id);
    };
    EXPECT_TRUE(held(written));
    EXPECT_TRUE(held(rdwr));
    EXPECT_FALSE(held(read));
    ::close(w);
    ::close(r);
    ::close(rw);
    const std::vector<kb::FileId> after = kb::FilesOpenForWriting();
    const std::optional<kb::FileId> id = kb::IdentifyFile(written.string());
    ASSERT_TRUE(id);
    EXPECT_FALSE(std::binary_search(after.begin(), after.end(), *id));
    fs::remove_all(dir);
}
#endif

}  // namespace
