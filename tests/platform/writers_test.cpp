// The writer probe on real files: a writer in this process and, on Linux,
// in other processes, and the lease-break race (a writer opening the file
// while the probe holds its lease).
#include "platform/writers.h"

#include <gtest/gtest.h>
#ifndef _WIN32
#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <thread>

namespace {

using kb::WriterState;

TEST(Writers, AFileThisProgramHoldsOpenForWritingIsOpen) {
    const auto dir = std::filesystem::temp_directory_path() /
                     ("kbwriters-" + std::to_string(std::random_device{}()));
    std::filesystem::create_directory(dir);
    const std::string file = (dir / "download.part").string();
    std::ofstream(file) << "some bytes";
    EXPECT_EQ(kb::ProbeWriters(file), WriterState::None);
    std::FILE* writer = std::fopen(file.c_str(), "ab");
    ASSERT_NE(writer, nullptr);
    EXPECT_EQ(kb::ProbeWriters(file), WriterState::Open);
    std::fclose(writer);
    EXPECT_EQ(kb::ProbeWriters(file), WriterState::None);
    EXPECT_EQ(kb::ProbeWriters((dir / "absent").string()), WriterState::Unknown);
    std::filesystem::remove_all(dir);
}

#ifndef _WIN32  // writers in other processes, made with fork; leases and their signal

class Probe : public ::testing::Test {
protected:
    void SetUp() override {
        std::string tmpl = "/tmp/kbwriters-XXXXXX";
        ASSERT_NE(mkdtemp(tmpl.data()), nullptr);
        dir_ = tmpl;
        file_ = dir_ + "/download.part";
        std::ofstream(file_) << "some bytes";
    }
    void TearDown() override { std::filesystem::remove_all(dir_); }

    // A child that opens the file with `flags`, says so through a pipe and
    // holds it until killed.
    pid_t HoldOpen(int flags) {
        int ready[2];
        EXPECT_EQ(pipe(ready), 0);
        const pid_t pid = fork();
        if (pid == 0) {
            const int fd = open(file_.c_str(), flags);
            const char c = fd >= 0 ? 'y' : 'n';
            [[maybe_unused]] ssize_t w = write(ready[1], &c, 1);
            for (;;) pause();
        }
        char c = 0;
        EXPECT_EQ(read(ready[0], &c, 1), 1);
        EXPECT_EQ(c, 'y');
        close(ready[0]);
        close(ready[1]);
        return pid;
    }
    static void Stop(pid_t pid) {
        kill(pid, SIGKILL);
        waitpid(pid, nullptr, 0);
    }

    std::string dir_, file_;
};

TEST_F(Probe, TellsAWriterFromAReader) {
    EXPECT_EQ(kb::ProbeWriters(file_), WriterState::None);

    const pid_t reader = HoldOpen(O_RDONLY);
    EXPECT_EQ(kb::ProbeWriters(file_), WriterState::None);
    Stop(reader);

    const pid_t writer = HoldOpen(O_WRONLY | O_APPEND);
    EXPECT_EQ(kb::ProbeWriters(file_), WriterState::Open);
    Stop(writer);
    EXPECT_EQ(kb::ProbeWriters(file_), WriterState::None);

    // A descriptor of this very process counts as well.
    const int fd = open(file_.c_str(), O_RDWR);
    EXPECT_EQ(kb::ProbeWriters(file_), WriterState::Open);
    close(fd);
    // The probe itself leaves the file as it was.
    std::ifstream in(file_);
    std::string text((std::istreambuf_iterator<char>(in)), {});
    EXPECT_EQ(text, "some bytes");
}

TEST_F(Probe, SaysUnknownWhereTheSystemCannotTell) {
    EXPECT_EQ(kb::ProbeWriters(dir_ + "/absent"), WriterState::Unknown);
    // A named pipe: no lease, and the probe must not wait for a writer.
    const std::string fifo = dir_ + "/pipe";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0644), 0);
    EXPECT_EQ(kb::ProbeWriters(fifo), WriterState::Unknown);
}

TEST_F(Probe, AWriterOpeningDuringTheLeaseDoesNotEndTheProgram) {
    // The child opens the file for writing over and over; each open that
    // lands while a probe holds its lease makes the kernel signal this
    // process. Unhandled, the signal would end the test program.
    const pid_t pid = fork();
    if (pid == 0) {
        prctl(PR_SET_PDEATHSIG, SIGKILL);  // gone with the test, however it ends
        for (;;) {
            const int fd = open(file_.c_str(), O_WRONLY);
            if (fd >= 0) close(fd);
        }
    }
    int open = 0, none = 0;
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(2);
    while (std::chrono::steady_clock::now() < end) {
        const WriterState s = kb::ProbeWriters(file_);
        if (s == WriterState::Open) ++open;
        if (s == WriterState::None) ++none;
    }
    Stop(pid);
    // Both answers came up, so the race was really run.
    EXPECT_GT(open, 0);
    EXPECT_GT(none, 0);
    EXPECT_EQ(kb::ProbeWriters(file_), WriterState::None);
}

#endif

}  // namespace
