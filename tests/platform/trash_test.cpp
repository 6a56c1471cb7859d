// Deleting to the Trash on real files: into the home trash of a private
// XDG_DATA_HOME, into a volume's own .Trash-<uid>, refused where there is no
// trash (the file then stays), and back again.
#include "platform/trash.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>

#include "platform/fileops.h"
#ifndef _WIN32
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace {

namespace fs = std::filesystem;

std::string Read(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// The desktop's data folder is read once per process by GIO, so every test
// of this program shares one private one, made on first use and removed at
// exit.
const fs::path& DataHome() {
    static const struct Private {
        fs::path dir;
        Private() {
            dir = fs::temp_directory_path() /
                  ("kbtrash-data-" + std::to_string(std::random_device{}()));
            fs::create_directories(dir);
#ifdef _WIN32
            _putenv_s("XDG_DATA_HOME", dir.string().c_str());
#else
            setenv("XDG_DATA_HOME", dir.c_str(), 1);
#endif
        }
        ~Private() {
            std::error_code ec;
            fs::remove_all(dir, ec);
        }
    } data;
    return data.dir;
}

class Trash : public ::testing::Test {
protected:
    void SetUp() override {
        DataHome();
        root_ = fs::temp_directory_path() / ("kbtrash-" + std::to_string(std::random_device{}()));
        fs::create_directories(root_ / "files");
    }
    void TearDown() override {
        std::error_code ec;
        fs::remove_all(root_, ec);
    }
    std::string File(const std::string& name, const std::string& text) {
        const std::string p = kb::JoinPath((root_ / "files").string(), name);
        std::ofstream(p, std::ios::binary) << text;
        return p;
    }

    fs::path root_;
};

TEST_F(Trash, ADeletedFileIsEitherInTheTrashOrStillInItsPlace) {
    const std::string f = File("song.mp3", "tune");
    const kb::TrashResult r = kb::MoveToTrash(f);
    if (r.ok)
        EXPECT_FALSE(fs::exists(f));
    else
        EXPECT_EQ(Read(f), "tune") << r.error;  // never deleted for good
    fs::create_directory(root_ / "files" / "folder");
    EXPECT_FALSE(kb::MoveToTrash((root_ / "files" / "folder").string()));
    EXPECT_TRUE(fs::is_directory(root_ / "files" / "folder"));
    EXPECT_FALSE(kb::RestoreFromTrash("", f));
}

#ifndef _WIN32  // the freedesktop Trash as GIO writes it
TEST_F(Trash, TheHomeTrashKeepsEachFileWithItsOriginalPath) {
    const std::string first = File("a song #1.mp3", "first");
    const kb::TrashResult one = kb::MoveToTrash(first);
    ASSERT_TRUE(one) << one.error;
    // A second file of the same name gets a place of its own.
    const std::string second = File("a song #1.mp3", "second");
    const kb::TrashResult two = kb::MoveToTrash(second);
    ASSERT_TRUE(two) << two.error;
    const std::string trash = (DataHome() / "Trash").string();
    EXPECT_EQ(one.location, trash + "/files/a song #1.mp3");
    ASSERT_NE(two.location, one.location);
    EXPECT_EQ(two.location.rfind(trash + "/files/", 0), 0u) << two.location;
    EXPECT_EQ(Read(one.location), "first");
    EXPECT_EQ(Read(two.location), "second");
    const std::string info = Read(trash + "/info/a song #1.mp3.trashinfo");
    EXPECT_NE(info.find("Path=" + (root_ / "files").string() + "/a%20song%20%231.mp3"),
              std::string::npos)
        << info;

    // Back where it was; the desktop's trash no longer lists it.
    ASSERT_TRUE(kb::RestoreFromTrash(two.location, second));
    EXPECT_EQ(Read(second), "second");
    EXPECT_FALSE(fs::exists(two.location));
    // Refused while something stands at the old place.
    const kb::Status blocked = kb::RestoreFromTrash(one.location, second);
    EXPECT_FALSE(blocked);
    EXPECT_NE(blocked.error.find("something else"), std::string::npos) << blocked.error;
    EXPECT_EQ(Read(one.location), "first");
}

TEST_F(Trash, AFolderGoesWholeWhenAskedAndComesBackWhole) {
    const fs::path album = root_ / "files" / "Album";
    fs::create_directories(album / "CD1");
    std::ofstream(album / "CD1" / "01.flac") << "one";
    std::ofstream(album / "cover.jpg") << "cover";
    const kb::TrashResult r = kb::MoveToTrash(album.string(), true);
    ASSERT_TRUE(r) << r.error;
    EXPECT_FALSE(fs::exists(album));
    EXPECT_EQ(Read(r.location + "/CD1/01.flac"), "one");
    ASSERT_TRUE(kb::RestoreFromTrash(r.location, album.string()));
    EXPECT_EQ(Read((album / "cover.jpg").string()), "cover");
    EXPECT_EQ(Read((album / "CD1" / "01.flac").string()), "one");
}

TEST_F(Trash, AVolumeKeepsItsOwnTrashAndASystemMountHasNone) {
    // A file system of its own, as a USB disk would be (needs loop mounts).
    const fs::path image = root_ / "disk.img", mnt = root_ / "mnt";
    fs::create_directories(mnt);
    {
        std::ofstream(image, std::ios::binary).close();
        fs::resize_file(image, 4 << 20);
    }
    const std::string mkfs = "mkfs.ext2 -q -F " + image.string() + " >/dev/null 2>&1";
    const std::string mount =
        "mount -o loop " + image.string() + " " + mnt.string() + " 2>/dev/null";
    if (std::system(mkfs.c_str()) != 0 || std::system(mount.c_str()) != 0)
        GTEST_SKIP() << "cannot mount a loop file system here";
    struct Unmount {
        fs::path at;
        ~Unmount() { ::umount2(at.c_str(), MNT_DETACH); }
    } unmount{mnt};

    const std::string f = (mnt / "clip.avi").string();
    std::ofstream(f) << "clip";
    const kb::TrashResult r = kb::MoveToTrash(f);
    ASSERT_TRUE(r) << r.error;
    EXPECT_EQ(r.location,
              (mnt / (".Trash-" + std::to_string(::getuid())) / "files" / "clip.avi").string());
    ASSERT_TRUE(kb::RestoreFromTrash(r.location, f));
    EXPECT_EQ(Read(f), "clip");

    // /dev/shm is a system mount: no trash there, and the file stays.
    struct stat shm;
    if (::stat("/dev/shm", &shm) == 0) {
        const std::string s = "/dev/shm/kbtrash-" + std::to_string(::getpid());
        std::ofstream(s) << "stay";
        const kb::TrashResult none = kb::MoveToTrash(s);
        EXPECT_FALSE(none);
        EXPECT_FALSE(none.error.empty());
        EXPECT_EQ(Read(s), "stay");
        fs::remove(s);
    }
}
#endif

}  // namespace
