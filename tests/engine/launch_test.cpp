#ifndef _WIN32  // programs started as POSIX shell scripts
#include <dirent.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <sstream>
#include <thread>

#include "engine/launchargs.h"
#include "engine/scanpass.h"
#include "enginetest_util.h"
#include "platform/process.h"

namespace {

using kbtest::TempDir;
using kbtest::WriteFile;
using Names = std::vector<std::string>;

TEST(SplitParams, QuotingRules) {
    EXPECT_EQ(kb::SplitParams(""), Names{});
    EXPECT_EQ(kb::SplitParams("  /add   mfile  "), (Names{"/add", "mfile"}));
    EXPECT_EQ(kb::SplitParams(R"("a b" 'c d' e\ f)"), (Names{"a b", "c d", "e f"}));
    EXPECT_EQ(kb::SplitParams(R"(x"y z"w)"), (Names{"xy zw"}));
    EXPECT_EQ(kb::SplitParams(R"("" '')"), (Names{"", ""}));
    EXPECT_EQ(kb::SplitParams(R"("say \"hi\" \$HOME \n")"), (Names{R"(say "hi" $HOME \n)"}));
    EXPECT_EQ(kb::SplitParams(R"('it''s' "a\\b")"), (Names{"its", R"(a\b)"}));
    EXPECT_EQ(kb::SplitParams(R"($(x) `y` ; |)"), (Names{"$(x)", "`y`", ";", "|"}));
    EXPECT_EQ(kb::SplitParams(R"("unclosed mfile)"), (Names{"unclosed mfile"}));
    EXPECT_EQ(kb::SplitParams("\"mfile\""), (Names{"mfile"}));
}

TEST(SplitParams, SubstitutionStaysInOneArgument) {
    const Names args = kb::SplitParams(R"(--file=mfile "two words mfile" plain)");
    EXPECT_TRUE(kb::HasPlaceholder(args));
    EXPECT_FALSE(kb::HasPlaceholder(kb::SplitParams("mfil e MFILE")));
    EXPECT_EQ(kb::SubstitutePath(args, "/s/a b\"c"),
              (Names{"--file=/s/a b\"c", "two words /s/a b\"c", "plain"}));
    EXPECT_EQ(kb::SubstitutePath({"mfilemfile"}, "/mfile"), (Names{"/mfile/mfile"}));
}

// A script that writes its arguments, NUL-separated, to a file of its own
// beside it, named after its pid; the first line holds its parent's pid.
class RecordingScript {
public:
    RecordingScript() {
        path_ = dir_ / "record.sh";
        WriteFile(path_,
                  "#!/bin/sh\n"
                  "out=\"$(dirname \"$0\")/out\"\n"
                  "{ echo \"$PPID\"; for a in \"$@\"; do printf '%s\\0' \"$a\"; done; } "
                  "> \"$out/.$$\" && mv \"$out/.$$\" \"$out/$$\"\n");
        ::chmod(path_.c_str(), 0755);
        ::mkdir((dir_ / "out").c_str(), 0755);
    }
    const std::string& path() const { return path_; }

    struct Call {
        long ppid = 0;
        Names args;
    };

    // Waits until `n` calls have been recorded (at most ten seconds).
    std::vector<Call> WaitFor(size_t n) {
        std::vector<Call> calls;
        for (int i = 0; i < 1000; ++i) {
            calls.clear();
            for (const auto& e : std::filesystem::directory_iterator(dir_ / "out")) {
                if (e.path().filename().string()[0] == '.') continue;
                const std::string text = kbtest::ReadFile(e.path().string());
                Call c;
                const auto nl = text.find('\n');
                c.ppid = std::stol(text.substr(0, nl));
                for (size_t at = nl + 1; at < text.size();) {
                    const auto end = text.find('\0', at);
                    c.args.push_back(text.substr(at, end - at));
                    at = end + 1;
                }
                calls.push_back(std::move(c));
            }
            if (calls.size() >= n) break;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return calls;
    }

private:
    TempDir dir_;
    std::string path_;
};

// Children of this process that have ended but were never reaped.
int ZombieChildren() {
    int zombies = 0;
    for (const auto& task : std::filesystem::directory_iterator("/proc/self/task")) {
        std::ifstream children(task.path() / "children");
        long pid;
        while (children >> pid) {
            std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
            std::string line;
            std::getline(stat, line);
            const auto close = line.rfind(')');
            if (close != std::string::npos && line.size() > close + 2 && line[close + 2] == 'Z') {
                ++zombies;
            }
        }
    }
    return zombies;
}

TEST(Launch, HostileFileNamesReachTheProgramAsOneLiteralArgument) {
    RecordingScript script;
    TempDir shared;
    const Names hostile{"$(rm -rf ~).mp3", "a\" ; reboot ; \".mp3", "-rf.mp3",
                        "new\nline.mp3",   "it's `id`.mp3",         "tab\there *.mp3"};
    for (const auto& n : hostile) WriteFile(shared / n, "x");

    kb::ruleactionrec launch;
    launch.raction = kb::actLaunch;
    launch.launch.fprogram = script.path();
    launch.launch.fparams = "--add mfile \"--title=mfile done\"";
    const kb::ServiceStore store = kbtest::StoreWithEveryPassRule(shared.str(), "play", {launch});

    const auto result = kb::RunScanPass(kb::TakeScanSnapshot(store), kb::ScanState{},
                                        kbtest::WithoutGate(kb::DefaultScanEnvironment()));
    ASSERT_EQ(result.outcomes.size(), hostile.size());
    for (const auto& o : result.outcomes) EXPECT_TRUE(o.ok) << o.file << ": " << o.error;

    const auto calls = script.WaitFor(hostile.size());
    ASSERT_EQ(calls.size(), hostile.size());
    std::vector<Names> got, want;
    for (const auto& c : calls) {
        got.push_back(c.args);
        // Started detached: the program is not this process's child.
        EXPECT_NE(c.ppid, static_cast<long>(::getpid()));
    }
    for (const auto& n : hostile) {
        const std::string path = shared / n;
        want.push_back({"--add", path, "--title=" + path + " done"});
    }
    std::sort(got.begin(), got.end());
    std::sort(want.begin(), want.end());
    EXPECT_EQ(got, want);
    // Every file is still there: nothing was run through a shell.
    for (const auto& n : hostile) EXPECT_TRUE(kbtest::Exists(shared / n)) << n;
    EXPECT_EQ(ZombieChildren(), 0);
}

TEST(Launch, ManyStartsLeaveNoZombies) {
    for (int i = 0; i < 30; ++i) {
        const kb::Status st = kb::StartDetached("/bin/true", {});
        ASSERT_TRUE(st) << st.error;
    }
    EXPECT_EQ(ZombieChildren(), 0);
}

TEST(Launch, ProgramOnSearchPathAndFailures) {
    const kb::Status onPath = kb::OpenProgramOrDocument("true", {"ignored"});
    EXPECT_TRUE(onPath) << onPath.error;
    const kb::Status none = kb::OpenProgramOrDocument("", {});
    EXPECT_FALSE(none);
    EXPECT_FALSE(none.error.empty());
    // An executable that cannot be run reports its failure.
    TempDir d;
    WriteFile(d / "broken", "#!/nonexistent/interpreter\n");
    ::chmod((d / "broken").c_str(), 0755);
    const kb::Status broken = kb::StartDetached(d / "broken", {});
    EXPECT_FALSE(broken);
    EXPECT_NE(broken.error.find("No such file"), std::string::npos) << broken.error;
}

TEST(Launch, DocumentsGoToTheDefaultHandler) {
    RecordingScript opener;
    TempDir d;
    const std::string doc = d / "notes; echo hi.txt";
    WriteFile(doc, "not executable");
    const kb::Status opened = kb::OpenProgramOrDocument(doc, {"--ignored"}, opener.path());
    ASSERT_TRUE(opened) << opened.error;
    const auto calls = opener.WaitFor(1);
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].args, (Names{doc}));
    EXPECT_FALSE(kb::OpenProgramOrDocument(doc, {}, d / "no-such-opener"));
}

}  // namespace
#endif
