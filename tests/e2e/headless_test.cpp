// The program where no desktop is: --headless scanning with no display at
// all, the guard it shares with the window, the dry run that changes
// nothing, and the command line's refusals.
#include <nlohmann/json.hpp>
#include <set>
#include <sstream>
#include <tuple>

#include "journal/journal.h"
#include "program_fixture.h"

namespace {

using namespace kbe2e;

// No display of any kind, and no platform plug-in asked for.
const std::map<std::string, std::string> kNoDisplay = {
    {"DISPLAY", kUnset}, {"WAYLAND_DISPLAY", kUnset}, {"QT_QPA_PLATFORM", kUnset}};

ruleactionrec MoveTo(const std::string& dir) {
    ruleactionrec a;
    a.raction = actMove;
    a.move.filepath = dir;
    return a;
}

RuleRec NamedRule(const std::string& name, TriggerKind trigger, std::vector<ruleactionrec> acts,
                  std::vector<ruleacondrec> conds = {}) {
    RuleRec r;
    r.rulename = name;
    r.enabled = true;
    r.mcond = trigger;
    r.actions = std::move(acts);
    r.conds = std::move(conds);
    return r;
}

// Everything below `root` (but the log): names, contents (as a hash) and times.
using Tree = std::set<std::tuple<std::string, std::size_t, std::int64_t>>;
Tree Snapshot(const std::string& root, const std::string& skip) {
    Tree t;
    for (const auto& e : fs::recursive_directory_iterator(root)) {
        if (e.path() == skip) continue;
        const std::string content = e.is_regular_file() ? test::XdgSandbox::Read(e.path()) : "";
        t.emplace(e.path().string(), std::hash<std::string>{}(content),
                  e.last_write_time().time_since_epoch().count());
    }
    return t;
}

class HeadlessTest : public ProgramTest {
protected:
    void SetUp() override {
        ProgramTest::SetUp();
        share_ = sandbox_.Root() + "/share";
        dest_ = sandbox_.Root() + "/music";
        fs::create_directories(share_);
        fs::create_directories(dest_);
    }

    // Kazaa on the share with `rules`; the other networks as a first start leaves them.
    void WriteRules(std::vector<RuleRec> rules, const std::string& path = "") {
        ServiceStore store;
        store.InitServiceTable(nullptr);
        rServiceRules& kazaa = store.ServiceTable[0];
        kazaa.enabled = true;
        kazaa.sharedir = share_;
        kazaa.rulelist.rules = std::move(rules);
        ASSERT_EQ(WriteConfigFile(path.empty() ? configFile() : path, store), 0);
    }

    bool logSays(const std::string& text, std::chrono::milliseconds limit = 15000ms) {
        return waitFor([&] { return test::XdgSandbox::Read(log_).find(text) != std::string::npos; },
                       limit);
    }

    std::string share_, dest_;
};

TEST_F(HeadlessTest, WithNoDisplayItMovesANewFileJournalsItAndEndsOnSigterm) {
    test::XdgSandbox::Write(share_ + "/old.mp3", "already here");
    WriteRules({NamedRule("Move new music", trgNewFile, {MoveTo(dest_)})});
    Settings immediate;
    immediate.WaitSettled = false;
    SaveSettings(immediate);
    const std::string config = test::XdgSandbox::Read(configFile());

    auto p = start({"--headless"}, kNoDisplay);
    ASSERT_TRUE(logSays("runs headless (process ")) << test::XdgSandbox::Read(log_);
    EXPECT_TRUE(logSays("1 service with 1 rule switched on, from " + configFile()));
    const std::string moved = DropUntilMoved(share_, dest_, "new song", "fresh download");
    ASSERT_FALSE(moved.empty());
    EXPECT_EQ(test::XdgSandbox::Read(dest_ + "/" + moved), "fresh download");
    EXPECT_TRUE(fs::exists(share_ + "/old.mp3"));
    EXPECT_TRUE(logSays("Kazaa / Move new music: Move " + share_ + "/" + moved + " to " + dest_ +
                        ": Done"));
    EXPECT_TRUE(fs::exists(journalFile()));

    p->signal(SIGTERM);
    EXPECT_TRUE(exitedWith(p->waitExit(10000ms), 0));
    EXPECT_TRUE(logSays("Kestrelbox ends.", 1000ms));
    // Nothing in the rules changed, so the file was left as it was.
    EXPECT_EQ(test::XdgSandbox::Read(configFile()), config);
}

TEST_F(HeadlessTest, OneCopyAtATimeWithOrWithoutAWindowAndEachSaysWhoRuns) {
    WriteRules({});
    auto headless = start({"--headless"}, kNoDisplay);
    ASSERT_TRUE(logSays("runs headless (process "));
    const std::string lock = sandbox_.Run() + "/Kestrelbox.lock";
    const std::string holder = test::XdgSandbox::Read(lock);
    const std::string pid = holder.substr(0, holder.find('\n'));

    // A window needs no display to be told, and a second headless copy likewise.
    for (const std::vector<std::string>& args :
         std::vector<std::vector<std::string>>{{}, {"startup"}, {"--headless"}}) {
        fs::remove(log_);
        auto later = start(args, kNoDisplay);
        EXPECT_TRUE(exitedWith(later->waitExit(10000ms), 0));
        EXPECT_NE(test::XdgSandbox::Read(log_).find("Kestrelbox already runs headless (process " +
                                                    pid + ")."),
                  std::string::npos)
            << test::XdgSandbox::Read(log_);
    }
    EXPECT_TRUE(headless->running());
    headless->signal(SIGINT);  // Ctrl+C ends it as cleanly
    EXPECT_TRUE(exitedWith(headless->waitExit(10000ms), 0));

    // The other way round: a headless copy started while the window runs.
    auto window = start();
    ASSERT_TRUE(waitFor(
        [&] {
            const std::string now = test::XdgSandbox::Read(lock);
            return now.find('\n') != std::string::npos && now.find("headless") == std::string::npos;
        },
        15000ms));
    fs::remove(log_);
    auto late = start({"--headless"}, kNoDisplay);
    EXPECT_TRUE(exitedWith(late->waitExit(10000ms), 0));
    const std::string said = test::XdgSandbox::Read(log_);
    EXPECT_NE(said.find("Kestrelbox already runs (process "), std::string::npos) << said;
    EXPECT_EQ(said.find("headless"), std::string::npos) << said;
    EXPECT_TRUE(window->running());
    window->signal(SIGTERM);
    EXPECT_TRUE(exitedWith(window->waitExit(10000ms), 0));
}

TEST_F(HeadlessTest, ADryRunPrintsEachTriggersChoiceAndChangesNothing) {
    for (const char* n : {"a.mp3", "b.mp3", "c.txt", "kazaa.dat"})
        test::XdgSandbox::Write(share_ + "/" + n, std::string(1000, 'x'));
    ruleacondrec mp3;
    mp3.rcond = condExtension;
    mp3.fileext.ext = "mp3";
    ruleacondrec oldest;
    oldest.rcond = condOldest;
    oldest.oldestcnt = 1;
    ruleactionrec del;
    del.raction = actDelete;
    RuleRec count = NamedRule("Tidy", trgFileCount, {del}, {oldest});
    count.fcnt = 2;
    RuleRec size = NamedRule("Big", trgTotalSize, {MoveTo(dest_)});
    size.fsize = 1;
    RuleRec off = NamedRule("Off", trgFileCount, {del});
    off.enabled = false;
    WriteRules({NamedRule("Music", trgNewFile, {MoveTo(dest_)}, {mp3}), count, size, off});
    // Files the last minute wrote are still settling in a real pass.
    const auto old = fs::file_time_type::clock::now() - std::chrono::hours(1);
    for (const char* n : {"a.mp3", "b.mp3", "c.txt"}) fs::last_write_time(share_ + "/" + n, old);
    // A journal from earlier runs, which the dry run must not touch either.
    test::XdgSandbox::Write(journalFile(), "earlier entries");
    std::this_thread::sleep_for(20ms);  // so that any rewrite would show in the times
    const Tree before = Snapshot(sandbox_.Root(), log_);

    auto text = start({"--dry-run"}, kNoDisplay);
    EXPECT_TRUE(exitedWith(text->waitExit(10000ms), 0));
    const std::string said = test::XdgSandbox::Read(log_);
    for (const std::string& line :
         {std::string("Dry run: nothing is moved, copied, deleted, uploaded or started.\n"),
          "Kazaa: " + share_ + " (3 files, 2.9 kB)\n",
          std::string("  Rule \"Music\", when a new file is present:\n"
                      "    acts on such files when they arrive; of those present now it would "
                      "take 2:\n"),
          "    then: move to " + dest_ + "\n",
          std::string("  Rule \"Tidy\", when more than 2 files:\n"
                      "    holds now and would act on 1 file:\n"),
          std::string("    then: move to the Trash\n"),
          std::string("  Rule \"Big\", when more than 1 MB:\n"
                      "    does not hold now (3 files, 2.9 kB)\n")})
        EXPECT_NE(said.find(line), std::string::npos) << line << "\nin:\n" << said;
    EXPECT_EQ(said.find("\"Off\""), std::string::npos);

    fs::remove(log_);
    auto json = start({"--dry-run", "--json", "--config", configFile()}, kNoDisplay);
    EXPECT_TRUE(exitedWith(json->waitExit(10000ms), 0));
    std::istringstream lines(test::XdgSandbox::Read(log_));
    std::vector<nlohmann::json> rules;
    for (std::string line; std::getline(lines, line);) rules.push_back(nlohmann::json::parse(line));
    ASSERT_EQ(rules.size(), 3u);
    EXPECT_EQ(rules[0]["trigger"], "new-file");
    EXPECT_EQ(rules[0]["onArrival"], true);
    EXPECT_EQ(rules[0]["files"].size(), 2u);
    EXPECT_EQ(rules[1]["trigger"], "file-count");
    EXPECT_EQ(rules[1]["holds"], true);
    ASSERT_EQ(rules[1]["files"].size(), 1u);
    EXPECT_EQ(rules[1]["files"][0]["size"], 1000);
    EXPECT_EQ(rules[1]["actions"], nlohmann::json::array({"move to the Trash"}));
    EXPECT_EQ(rules[2]["trigger"], "total-size");
    EXPECT_EQ(rules[2]["holds"], false);
    EXPECT_EQ(rules[2]["listed"], 3);
    EXPECT_EQ(rules[2]["totalBytes"], 3000);

    // Folder, kbconf.ini, journal, settings: byte for byte and time for time.
    EXPECT_EQ(Snapshot(sandbox_.Root(), log_), before);
}

TEST_F(HeadlessTest, ABadCommandLineOrAMissingConfigurationEndsWithStatusTwoTouchingNothing) {
    const Tree before = Snapshot(sandbox_.Root(), log_);
    for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
             {"--config", sandbox_.Root() + "/nowhere.ini"},
             {"--headless", "--config", sandbox_.Root() + "/nowhere.ini"},
             {"--dry-run", "--config", share_},
             {"--config"},
             {"--json"},
             {"--headless", "--dry-run"},
             {"--history", "--dry-run"}}) {
        fs::remove(log_);
        auto p = start(args, kNoDisplay);
        EXPECT_TRUE(exitedWith(p->waitExit(10000ms), 2)) << args[0];
        const std::string said = test::XdgSandbox::Read(log_);
        EXPECT_EQ(said.rfind("kestrelbox: ", 0), 0u) << said;
        // One line saying what is wrong, then where to look.
        EXPECT_EQ(said.substr(said.find('\n') + 1), "Try 'kestrelbox --help'.\n") << said;
    }
    fs::remove(log_);
    EXPECT_EQ(Snapshot(sandbox_.Root(), log_), before);
}

// A first import on a new account: the file goes where the program itself
// would make it, so the next start runs on the imported rules.
TEST_F(HeadlessTest, AFirstImportWritesTheFileTheProgramThenRunsOn) {
    ASSERT_FALSE(fs::exists(configFile()));
    const std::string rules = sandbox_.Root() + "/rules.toml";
    test::XdgSandbox::Write(
        rules,
        "version = 1\n[[service]]\nnetwork = \"kazaa\"\nfolder = \"" + share_ +
            "\"\n[[service.rule]]\nname = \"All\"\n"
            "when = \"file-count\"\nlimit = 1000\n[[service.rule.action]]\nkind = \"delete\"\n");
    auto import = start({"--import-rules", rules}, kNoDisplay);
    EXPECT_TRUE(exitedWith(import->waitExit(10000ms), 0)) << test::XdgSandbox::Read(log_);
    ASSERT_TRUE(fs::exists(configFile())) << test::XdgSandbox::Read(log_);
    fs::remove(log_);
    auto p = start({"--headless"}, kNoDisplay);
    EXPECT_TRUE(logSays("1 service with 1 rule switched on, from " + configFile()));
    p->signal(SIGTERM);
    EXPECT_TRUE(exitedWith(p->waitExit(10000ms), 0));
}

// A damaged kbconf.ini: every command points at the line and ends with
// status 1 the same way, and none of them writes over the file.
TEST_F(HeadlessTest, ADamagedFileIsRefusedAtItsLineTheSameWayByEveryCommand) {
    const std::string damaged =
        "[Main Info]\r\nVersion=1.00\r\nUseSMTP=0\r\nSMTP Server=\r\n"
        "ReplyTo=\r\nService Count=x\r\n";
    test::XdgSandbox::Write(configFile(), damaged);
    const std::string expected =
        "kestrelbox: " + configFile() +
        ":6: Error Reading Input File: Service Count.\nkestrelbox: " + configFile() +
        " does not read cleanly, so it is not used and nothing was "
        "changed.\n";
    for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
             {"--headless"}, {"--dry-run"}, {"--rules"}, {"--export-rules"}}) {
        fs::remove(log_);
        auto p = start(args, kNoDisplay);
        EXPECT_TRUE(exitedWith(p->waitExit(10000ms), 1)) << args[0];
        EXPECT_EQ(test::XdgSandbox::Read(log_), expected) << args[0];
    }
    EXPECT_EQ(test::XdgSandbox::Read(configFile()), damaged);
    EXPECT_FALSE(fs::exists(configFile() + ".bak"));

    // A folder that cannot be read is a failure of the dry run, not a report.
    WriteRules({NamedRule("A", trgFileCount, {MoveTo(dest_)})});
    fs::remove_all(share_);
    fs::remove(log_);
    auto p = start({"--dry-run"}, kNoDisplay);
    EXPECT_TRUE(exitedWith(p->waitExit(10000ms), 1));
    const std::string said = test::XdgSandbox::Read(log_);
    EXPECT_NE(said.find("share (the folder does not exist)\n"), std::string::npos) << said;
    // What the rule would do there is still told.
    EXPECT_NE(said.find("    nothing to act on now; its actions: move to " + dest_ + "\n"),
              std::string::npos)
        << said;
}

TEST_F(HeadlessTest, HeadlessRunsOnTheConfigurationItIsGiven) {
    const std::string elsewhere = sandbox_.Root() + "/etc/kb.ini";
    fs::create_directories(sandbox_.Root() + "/etc");
    WriteRules({NamedRule("A", trgFileCount, {MoveTo(dest_)}),
                NamedRule("B", trgFileCount, {MoveTo(dest_)})},
               elsewhere);
    auto p = start({"--headless", "--config", elsewhere}, kNoDisplay);
    EXPECT_TRUE(logSays("1 service with 2 rules switched on, from " + elsewhere));
    // No file appears beside the program.
    EXPECT_FALSE(fs::exists(configFile()));
    p->signal(SIGTERM);
    EXPECT_TRUE(exitedWith(p->waitExit(10000ms), 0));
}

// The rule extensions through the built program, from kbconf.ini to the
// files: sorted into dated folders without overwriting, chosen by name
// pattern, and a rule failing on a file every pass written once with a
// count that grows as the retries back off.
TEST_F(HeadlessTest, ARuleSortsIntoDatedFoldersKeepsBothAndSaysARepeatedFailureOnce) {
    constexpr std::int64_t kMarch2026 = 1772841600 + 43200;          // 2026-03-07 12:00 UTC
    constexpr std::int64_t kDecember2025 = kMarch2026 - 90 * 86400;  // 2025-12-07
    auto dated = [&](const std::string& path, const std::string& text, std::int64_t when) {
        test::XdgSandbox::Write(path, text);
        fs::last_write_time(path, std::chrono::file_clock::from_sys(
                                      std::chrono::sys_seconds{std::chrono::seconds(when)}));
    };
    dated(share_ + "/a live.mp3", "new recording", kMarch2026);
    dated(share_ + "/old live.mp3", "last year's", kDecember2025);
    dated(share_ + "/studio.mp3", "not live", kMarch2026);
    dated(share_ + "/b live.txt", "notes", kMarch2026);
    fs::create_directories(dest_ + "/2026/03");
    test::XdgSandbox::Write(dest_ + "/2026/03/a live.mp3", "the one already there");

    ruleacondrec mp3;
    mp3.fileext.ext = "mp3";
    ruleacondrec live;
    live.rcond = condNameWildcard;
    live.pattern = "*LIVE*";
    ruleactionrec sort = MoveTo(dest_ + "/{year}/{month}");
    sort.conflict = ConflictMode::KeepBoth;
    RuleRec every = NamedRule("Sort live", trgFileCount, {sort}, {mp3, live});
    ruleacondrec txt;
    txt.fileext.ext = "txt";
    RuleRec failing = NamedRule("Notes", trgFileCount, {MoveTo(dest_ + "/gone/{year}")}, {txt});
    failing.actions[0].move.filepath = sandbox_.Root() + "/no-such-drive/{year}";
    WriteRules({every, failing});
    ASSERT_NE(test::XdgSandbox::Read(configFile()).find("[Extension 1.1]"), std::string::npos);

    auto p = start({"--headless"}, kNoDisplay);
    ASSERT_TRUE(waitFor([&] { return fs::exists(dest_ + "/2026/03/a live (2).mp3"); }, 20000ms))
        << test::XdgSandbox::Read(log_);
    EXPECT_EQ(test::XdgSandbox::Read(dest_ + "/2026/03/a live (2).mp3"), "new recording");
    EXPECT_EQ(test::XdgSandbox::Read(dest_ + "/2026/03/a live.mp3"), "the one already there");
    // Another month, another folder, made for it.
    EXPECT_TRUE(waitFor([&] { return fs::exists(dest_ + "/2025/12/old live.mp3"); }, 10000ms));
    EXPECT_EQ(test::XdgSandbox::Read(dest_ + "/2025/12/old live.mp3"), "last year's");
    EXPECT_TRUE(fs::exists(share_ + "/studio.mp3"));
    EXPECT_FALSE(fs::exists(share_ + "/a live.mp3"));

    // Tried at once and again after 5 seconds: one row that counts.
    kb::Journal journal(journalFile(), kb::Journal::Mode::ReadOnly);
    auto failures = [&] {
        kb::JournalQuery q;
        q.failuresOnly = true;
        return journal.Read(q);
    };
    EXPECT_TRUE(waitFor(
        [&] {
            const auto rows = failures();
            return rows.size() == 1 && rows[0].repeats >= 2;
        },
        20000ms));
    const auto rows = failures();
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0].rule, "Notes");
    EXPECT_EQ(rows[0].error, "the folder " + sandbox_.Root() + "/no-such-drive does not exist");
    EXPECT_TRUE(fs::exists(share_ + "/b live.txt"));
    p->signal(SIGTERM);
    EXPECT_TRUE(exitedWith(p->waitExit(10000ms), 0));
}

// A server's first start and its rules changed while it runs: the file is
// made with a word on how to add rules; rules imported from a rule file are
// taken at once by the running copy, a damaged kbconf.ini is refused with
// the rules kept, and SIGHUP reads the file again instead of ending it.
TEST_F(HeadlessTest, AFirstStartMakesTheFileAndRulesImportedWhileItRunsAreTaken) {
    Settings immediate;
    immediate.WaitSettled = false;
    SaveSettings(immediate);
    ASSERT_FALSE(fs::exists(configFile()));
    auto p = start({"--headless"}, kNoDisplay);
    ASSERT_TRUE(logSays("it is made now, with no rules")) << test::XdgSandbox::Read(log_);
    EXPECT_TRUE(logSays("No rule is switched on"));
    EXPECT_TRUE(fs::exists(configFile()));

    const std::string rules = sandbox_.Root() + "/rules.toml";
    test::XdgSandbox::Write(rules, "version = 1\n[[service]]\nnetwork = \"kazaa\"\nfolder = \"" +
                                       share_ +
                                       "\"\n[[service.rule]]\nname = \"Music\"\n"
                                       "when = \"new-file\"\n[[service.rule.action]]\n"
                                       "kind = \"move\"\nfolder = \"" +
                                       dest_ + "\"\n");
    const std::string out = sandbox_.Root() + "/import.txt";
    const std::string command = "'" + program() + "' --import-rules '" + rules + "' --config '" +
                                configFile() + "' >'" + out + "' 2>&1";
    ASSERT_EQ(std::system(command.c_str()), 0) << test::XdgSandbox::Read(out);
    EXPECT_TRUE(
        logSays("The rules were read again from " + configFile() + ": 1 rule switched on."));
    const std::string moved = DropUntilMoved(share_, dest_, "song", "tune");
    EXPECT_FALSE(moved.empty());

    // Damaged behind its back: refused, said, and the rules stay.
    test::XdgSandbox::Write(configFile(), "[Main Info]\r\nVersion=1.00\r\nUseSMTP=x\r\n");
    EXPECT_TRUE(logSays("does not read cleanly, so the rules stay as they were (" + configFile() +
                        ":3: Error Reading Input File: SMTP Server)."));
    EXPECT_FALSE(DropUntilMoved(share_, dest_, "later", "tune").empty());

    p->signal(SIGHUP);
    std::this_thread::sleep_for(500ms);
    EXPECT_TRUE(p->running()) << "SIGHUP reads the file again; it does not end the program";
    p->signal(SIGTERM);
    EXPECT_TRUE(exitedWith(p->waitExit(10000ms), 0));
}

}  // namespace
