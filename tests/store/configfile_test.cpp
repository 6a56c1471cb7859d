#include "store/configfile.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <random>

#include "platform/atomicfile.h"

namespace kb {
namespace {

namespace fs = std::filesystem;

class ConfigFileTest : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ =
            fs::temp_directory_path() / ("kbconf-test-" + std::to_string(std::random_device{}()));
        fs::create_directories(dir_);
        path_ = (dir_ / "kbconf.ini").string();
    }
    void TearDown() override {
        InjectAtomicWriteFaultForTests(-1);
        fs::remove_all(dir_);
    }

    void Put(const std::string& text) { std::ofstream(path_, std::ios::binary) << text; }
    std::string Get(const std::string& path) const {
        std::ifstream in(path, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }
    std::string Get() const { return Get(path_); }
    // Reads `text` over the six built-in networks, collecting the warnings.
    int Load(const std::string& text) {
        Put(text);
        store_.InitServiceTable({});
        warnings_.clear();
        return ReadConfigFile(path_, store_, Collect());
    }
    ConfigWarning Collect() {
        return [this](const std::string& w) { warnings_.push_back(w); };
    }

    fs::path dir_;
    std::string path_;
    ServiceStore store_;
    std::vector<std::string> warnings_;
};

// Writes LF-separated lines with the file's CR LF endings.
std::string Crlf(const std::string& lf) {
    std::string out;
    for (char c : lf) {
        if (c == '\n') out += '\r';
        out += c;
    }
    return out;
}

void ExpectSameTable(const ServiceStore& a, const ServiceStore& b) {
    ASSERT_EQ(a.ServiceCount(), b.ServiceCount());
    EXPECT_EQ(a.UseSMTP, b.UseSMTP);
    EXPECT_EQ(a.SmtpServer, b.SmtpServer);
    EXPECT_EQ(a.ReplyTo, b.ReplyTo);
    for (int i = 0; i < a.ServiceCount(); ++i) {
        const rServiceRules& x = a.ServiceTable[i];
        const rServiceRules& y = b.ServiceTable[i];
        SCOPED_TRACE("service position " + std::to_string(i));
        EXPECT_EQ(x.serviceid, y.serviceid);
        EXPECT_EQ(x.othernum, y.othernum);
        EXPECT_EQ(x.othername, y.othername);
        EXPECT_EQ(x.enabled, y.enabled);
        EXPECT_EQ(x.sharedir, y.sharedir);
        EXPECT_EQ(x.excludefiles, y.excludefiles);
        EXPECT_TRUE(x.rulelist == y.rulelist);
    }
}

const char kExample[] =
    "[Main Info]\nVersion=1.00\nUseSMTP=0\nSMTP Server=\nReplyTo=\nService Count=7\n"
    "Custom Count=1\n[Service 1]\nserviceid=0\nothernum=0\nothername=\nenabled=0\n"
    "sharedir=C:\\Program Files\\KaZaA\\My Shared Folder\nexcludefiles=kazaa*;*.dat\n"
    "rulecnt=1\n[Rule 1]\nrulename=Move music\nenabled=0\nmcond=0\ncondcnt=1\nfcnt=0\n"
    "fsize=0\nrcond=0\next=mp3;wma\nactioncnt=1\nraction=0\nfilepath=D:\\Music\n"
    "[Service 2]\nserviceid=1\nothernum=0\nothername=\nenabled=1\nsharedir=\n"
    "excludefiles=morpheus*;*.dat\nrulecnt=0\n[Service 3]\nserviceid=2\nothernum=0\n"
    "othername=\nenabled=1\nsharedir=\nexcludefiles=grokster*;*.dat\nrulecnt=0\n"
    "[Service 4]\nserviceid=3\nothernum=0\nothername=\nenabled=1\nsharedir=\n"
    "excludefiles=*.txt;*.dat;*.tmp;*.dll;*.exe;*.dll;*.ico;*.\nrulecnt=0\n[Service 5]\n"
    "serviceid=4\nothernum=0\nothername=\nenabled=1\nsharedir=\nexcludefiles=bear*;*.dat\n"
    "rulecnt=0\n[Service 6]\nserviceid=6\nothernum=0\nothername=\nenabled=1\nsharedir=\n"
    "excludefiles=limewire*\nrulecnt=0\n[Service 7]\nserviceid=5\nothernum=1\n"
    "othername=Archive share\nenabled=0\nsharedir=E:\\Shared\nexcludefiles=*.dat\nrulecnt=0\n";

ServiceStore ExampleStore() {
    ServiceStore s;
    s.InitServiceTable([](std::uint8_t id) {
        return id == sidKazaa ? std::string("C:\\Program Files\\KaZaA\\My Shared Folder") : "";
    });
    RuleRec r;
    r.rulename = "Move music";
    r.enabled = true;
    ruleacondrec c;
    c.fileext.ext = "mp3;wma";
    r.conds.push_back(c);
    ruleactionrec a;
    a.move.filepath = "D:\\Music";
    r.actions.push_back(a);
    s.ServiceTable[0].rulelist.rules.push_back(r);
    s.ServiceTable[0].enabled = true;
    const int other = s.AppendAdditional("Archive share", "E:\\Shared", "*.dat");
    s.ServiceTable[other].enabled = true;
    return s;
}

// A table using every condition and action kind, values with "[", "=" and
// blanks, an FTP action in the second rule of the fifth service and a launch
// after a move.
ServiceStore FullStore() {
    ServiceStore s;
    s.InitServiceTable([](std::uint8_t id) { return "D:\\share " + std::to_string(id); });
    s.UseSMTP = false;
    s.SmtpServer = "mail.example.org";
    s.ReplyTo = "me@example.org";
    RuleRec first;
    first.rulename = "[old] mp3";
    first.mcond = trgFileCount;
    first.fcnt = 20;
    first.fsize = -1;
    ruleacondrec ext;
    ext.fileext.ext = "mp3;[x]";
    ruleacondrec size;
    size.rcond = condSize;
    size.rnum = cmpGreater;
    size.size = 4096;
    ruleacondrec date;
    date.rcond = condDate;
    date.rdayscmp = cmpGreater;
    date.rdays = 30;
    ruleacondrec newest;
    newest.rcond = condNewest;
    newest.newestcnt = -1;
    first.conds = {ext, size, date, newest};
    ruleactionrec move;
    move.move.filepath = "E:\\[music]\\a=b";
    ruleactionrec launch;
    launch.raction = actLaunch;
    launch.launch.fprogram = "C:\\bin\\play.exe";
    launch.launch.fparams = "/q mfile";
    first.actions = {move, launch};
    RuleRec second;
    second.rulename = "archive";
    second.enabled = true;
    second.mcond = trgTotalSize;
    second.fsize = 10;
    ruleacondrec oldest;
    oldest.rcond = condOldest;
    oldest.oldestcnt = 3;
    second.conds = {oldest};
    ruleactionrec copy;
    copy.raction = actCopy;
    copy.copy.filepath = "F:\\backup";
    ruleactionrec ftp;
    ftp.raction = actFtp;
    ftp.ftp = {"ftp.example.org", "/in[1]", 2121, "anon", "p=[a-2]w", true, false, {}, {}, false};
    ruleactionrec del;
    del.raction = actDelete;
    second.actions = {copy, ftp, del};
    s.ServiceTable[4].rulelist.rules = {first, second};
    s.ServiceTable[0].rulelist.rules = {second};
    const int other = s.AppendAdditional("[Archive]", "E:\\Shared [2]", "*.dat;*.[ab]");
    s.ServiceTable[other].rulelist.rules = {first};
    s.AppendAdditional("empty", "", "");
    return s;
}

TEST_F(ConfigFileTest, ExampleTableIsWrittenByteForByteAndReadsBack) {
    const ServiceStore example = ExampleStore();
    ASSERT_EQ(WriteConfigFile(path_, example), 0);
    EXPECT_EQ(Get(), Crlf(kExample));

    EXPECT_EQ(Load(Crlf(kExample)), 0);
    EXPECT_TRUE(warnings_.empty());
    ASSERT_NO_FATAL_FAILURE(ExpectSameTable(store_, example));
    EXPECT_DOUBLE_EQ(store_.ConfigVersion, 1.0);
}

TEST_F(ConfigFileTest, SixNetworksWithoutRulesWriteSevenLinesThenSixShortGroups) {
    ServiceStore s;
    s.InitServiceTable({});
    const std::string text = FormatConfigFile(s);
    EXPECT_EQ(text.find("[Service 1]\r\n"), text.find("Custom Count=0\r\n") + 16);
    EXPECT_EQ(text.rfind("[Service 6]"), text.find("[Service 6]"));
    EXPECT_EQ(text.find("[Service 7]"), std::string::npos);
    EXPECT_EQ(text.substr(text.size() - 11), "rulecnt=0\r\n");
}

TEST_F(ConfigFileTest, WriteReadWriteIsAFixedPointForEveryKind) {
    const ServiceStore full = FullStore();
    ASSERT_EQ(WriteConfigFile(path_, full), 0);
    const std::string written = Get();
    EXPECT_NE(written.find("rdays=30\r\nrdayscmp=2\r\n"), std::string::npos);
    EXPECT_NE(written.find("raction=2\r\n[Service 2]\r\n"), std::string::npos);

    EXPECT_EQ(Load(written), 0);
    EXPECT_TRUE(warnings_.empty());
    ASSERT_NO_FATAL_FAILURE(ExpectSameTable(store_, full));
    const racftp& ftp = store_.ServiceTable[4].rulelist.rules[1].actions[1].ftp;
    EXPECT_EQ(ftp.ftppass, "p=[a-2]w");
    EXPECT_EQ(ftp.ftpport, 2121);
    EXPECT_EQ(store_.ServiceTable[4].rulelist.rules[0].conds[2].rdayscmp, cmpGreater);
    EXPECT_EQ(FormatConfigFile(store_), written);
}

TEST_F(ConfigFileTest, OnlyTheOwnKindsFieldsAreStored) {
    ServiceStore s;
    s.InitServiceTable({});
    RuleRec r;
    r.rulename = "r";
    ruleacondrec c;
    c.rcond = condSize;
    c.size = 5;
    c.rdays = 9;  // belongs to another kind
    c.fileext.ext = "mp3";
    r.conds = {c};
    ruleactionrec a;
    a.raction = actDelete;
    a.move.filepath = "X:\\stale";
    r.actions = {a};
    s.ServiceTable[2].rulelist.rules = {r};
    Put("");
    ASSERT_EQ(Load(FormatConfigFile(s)), 0);
    const RuleRec& back = store_.ServiceTable[2].rulelist.rules[0];
    EXPECT_EQ(back.conds[0].size, 5);
    EXPECT_EQ(back.conds[0].rdays, 0);
    EXPECT_EQ(back.conds[0].fileext.ext, "");
    EXPECT_EQ(back.actions[0].move.filepath, "");
}

TEST_F(ConfigFileTest, ValuesAreTakenByPositionAndHeadersSearchedForward) {
    std::string text = Crlf(kExample);
    // A wrong key name still fills the field in that position.
    text.replace(text.find("sharedir=E:"), 8, "sharedirectory");
    // Stray lines ahead of a header are skipped.
    text.insert(text.find("[Service 2]"), "junk line\r\nkey=value\r\n");
    // A second service with its own "[Rule 1]", found after the first one's.
    const std::string rule =
        "[Rule 1]\r\nrulename=second\r\nenabled=1\r\nmcond=2\r\ncondcnt=0\r\nfcnt=7\r\n"
        "fsize=0\r\nactioncnt=1\r\nraction=2\r\n";
    const std::size_t at = text.find("rulecnt=0", text.find("[Service 3]"));
    text.replace(at, 11, "rulecnt=1\r\nstray\r\n" + rule);
    ASSERT_EQ(Load(text), 0);
    EXPECT_TRUE(warnings_.empty());
    EXPECT_EQ(store_.ServiceTable[6].sharedir, "E:\\Shared");
    ASSERT_EQ(store_.ServiceTable[2].rulelist.rulecnt(), 1);
    EXPECT_EQ(store_.ServiceTable[2].rulelist.rules[0].rulename, "second");
    EXPECT_EQ(store_.ServiceTable[2].rulelist.rules[0].fcnt, 7);
    EXPECT_EQ(store_.ServiceTable[0].rulelist.rules[0].rulename, "Move music");
}

TEST_F(ConfigFileTest, KindsNoOneKnowsAreKeptAsTheirNumbersAndWrittenBack) {
    std::string text = Crlf(kExample);
    text.replace(text.find("mcond=0"), 7, "mcond=9");
    // A kind no one knows has no fields of its own (values are taken by
    // position): a hand-edited file holding one has none after it either.
    const std::string ext = "rcond=0\r\next=mp3;wma\r\n";
    text.replace(text.find(ext), ext.size(), "rcond=7\r\n");
    const std::string move = "raction=0\r\nfilepath=D:\\Music\r\n";
    text.replace(text.find(move), move.size(), "raction=200\r\n");
    ASSERT_EQ(Load(text), 0);
    const RuleRec& rule = store_.ServiceTable[0].rulelist.rules[0];
    EXPECT_EQ(KindCode(rule.mcond), 9);
    EXPECT_EQ(KindCode(rule.conds[0].rcond), 7);
    EXPECT_EQ(KindCode(rule.actions[0].raction), 200);
    const std::string written = FormatConfigFile(store_);
    EXPECT_NE(written.find("mcond=9\r\n"), std::string::npos);
    EXPECT_NE(written.find("rcond=7\r\n"), std::string::npos);
    EXPECT_NE(written.find("raction=200\r\n"), std::string::npos);
    ASSERT_EQ(Load(written), 0);
    EXPECT_EQ(FormatConfigFile(store_), written);
}

TEST_F(ConfigFileTest, OnlyExactlyZeroReadsAsTrue) {
    const char* values[] = {"0", "1", "", "yes", " 0"};
    const bool expected[] = {true, false, false, false, false};
    for (int i = 0; i < 5; ++i) {
        std::string text = Crlf(kExample);
        const std::size_t at = text.find("enabled=", text.find("[Service 2]"));
        text.replace(at, 9, std::string("enabled=") + values[i]);
        ASSERT_EQ(Load(text), 0);
        EXPECT_EQ(store_.ServiceTable[1].enabled, expected[i]) << "enabled=" << values[i];
    }
}

TEST_F(ConfigFileTest, AWrongFirstLineReadsNothing) {
    std::string text = Crlf(kExample);
    text.replace(0, 11, "[Main]");
    EXPECT_EQ(Load(text), -1);
    EXPECT_EQ(warnings_, std::vector<std::string>{"Error: Invalid alarm file"});
    EXPECT_EQ(store_.ServiceCount(), 6);
    EXPECT_EQ(store_.ServiceTable[0].sharedir, "");
    EXPECT_DOUBLE_EQ(store_.ConfigVersion, 0.0);
    EXPECT_EQ(Load(""), -1);
}

TEST_F(ConfigFileTest, AMissingServiceHeaderStopsWithWhatWasRead) {
    std::string text = Crlf(kExample);
    text.erase(text.find("[Service 7]"));
    EXPECT_EQ(Load(text), -1);
    EXPECT_EQ(warnings_,
              std::vector<std::string>{"Error reading alarm file.  Tag, [Service 7] not found."});
    // The six networks were read; no empty seventh record appears.
    EXPECT_EQ(store_.ServiceCount(), 6);
    EXPECT_TRUE(store_.ServiceTable[0].enabled);
    EXPECT_EQ(store_.ServiceTable[0].rulelist.rulecnt(), 1);
}

TEST_F(ConfigFileTest, AnUnreadableOrMissingFileIsSilent) {
    EXPECT_EQ(ReadConfigFile((dir_ / "absent.ini").string(), store_, Collect()), -2);
    EXPECT_EQ(ReadConfigFile(dir_.string(), store_, Collect()), -2);
    EXPECT_TRUE(warnings_.empty());
}

TEST_F(ConfigFileTest, DamagedCountsAndNumbersStopReadingAndKeepWhatWasRead) {
    struct Case {
        const char* find;
        const char* replace;
        const char* warning;
        int rulesKept;  // of Kazaa's one rule; -1: the built-in table stays as it was
    };
    const Case cases[] = {
        {"Service Count=7", "Service Count=2000000000", "Service Count", -1},
        {"Service Count=7", "Service Count=3", "Service Count", -1},
        {"Service Count=7", "Service Count=seven", "Service Count", -1},
        {"Custom Count=1", "Custom Count=-1", "Custom Count", -1},
        {"rulecnt=1", "rulecnt=-5", "rulecnt", -1},
        {"condcnt=1", "condcnt=99999999", "condcnt", 0},
        {"fcnt=0", "fcnt=0x10", "fcnt", 0},
        {"mcond=0", "mcond=", "mcond", 0},
        {"Service 2]\r\nserviceid=1", "Service 2]\r\nserviceid=1.5", "serviceid", 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.replace);
        std::string text = Crlf(kExample);
        text.replace(text.find(c.find), std::string(c.find).size(), c.replace);
        EXPECT_EQ(Load(text), -1);
        EXPECT_EQ(warnings_,
                  std::vector<std::string>{std::string("Error Reading Input File: ") + c.warning});
        EXPECT_EQ(store_.ServiceCount(), 6);
        EXPECT_EQ(store_.ServiceTable[0].enabled, c.rulesKept >= 0);
        EXPECT_EQ(store_.ServiceTable[0].rulelist.rulecnt(), std::max(c.rulesKept, 0));
        EXPECT_FALSE(store_.ServiceTable[1].enabled);  // never reached
    }
}

TEST_F(ConfigFileTest, AFileCutAtAnyLineKeepsOnlyCompleteRecords) {
    ServiceStore full = FullStore();
    // The file ends inside an FTP action: its last lines are text and flags,
    // which an empty line would otherwise fill without a word.
    RuleRec last = full.ServiceTable[4].rulelist.rules[1];
    last.actions = {last.actions[1]};
    full.ServiceTable.back().rulelist.rules = {last};
    const std::string text = FormatConfigFile(full);
    ServiceStore builtIn;
    builtIn.InitServiceTable({});

    for (std::size_t cut = text.find("\r\n") + 2; cut < text.size();
         cut = text.find("\r\n", cut) + 2) {
        SCOPED_TRACE("cut after byte " + std::to_string(cut));
        EXPECT_EQ(Load(text.substr(0, cut)), -1);
        EXPECT_EQ(warnings_.size(), 1u);
        for (int i = 0; i < store_.ServiceCount(); ++i) {
            const rServiceRules& got = store_.ServiceTable[i];
            const rServiceRules& want = full.ServiceTable[i];
            if (i < builtIn.ServiceCount() && got.sharedir == builtIn.ServiceTable[i].sharedir &&
                got.rulelist.rules.empty()) {
                continue;  // not reached: the built-in record as it was
            }
            ASSERT_EQ(got.sharedir, want.sharedir) << "service " << i;
            ASSERT_EQ(got.excludefiles, want.excludefiles);
            // A prefix of the rules, each one whole.
            ASSERT_LE(got.rulelist.rules.size(), want.rulelist.rules.size());
            for (std::size_t j = 0; j < got.rulelist.rules.size(); ++j)
                ASSERT_TRUE(got.rulelist.rules[j] == want.rulelist.rules[j]) << "rule " << j;
        }
    }
    EXPECT_EQ(Load(text), 0);
    EXPECT_TRUE(warnings_.empty());

    // At start-up the cut file is kept beside the rewritten one.
    const std::string cutInFtp = text.substr(0, text.rfind("ftppass="));
    Put(cutInFtp);
    store_.InitServiceTable({});
    warnings_.clear();
    LoadConfigAtStartup(path_, store_, Collect());
    EXPECT_EQ(warnings_, std::vector<std::string>{"Error Reading Input File: ftppass"});
    EXPECT_TRUE(store_.ServiceTable.back().rulelist.rules.empty());
    EXPECT_EQ(Get(BackupConfigPath(path_)), cutInFtp);

    // A copy that cannot be kept (a folder stands in its way) is said.
    fs::remove(BackupConfigPath(path_));
    fs::create_directories(BackupConfigPath(path_) + "/in the way");
    Put(cutInFtp);
    store_.InitServiceTable({});
    warnings_.clear();
    LoadConfigAtStartup(path_, store_, Collect());
    ASSERT_EQ(warnings_.size(), 2u);
    EXPECT_EQ(
        warnings_[1].rfind(
            "Could not keep a copy of the damaged file as " + BackupConfigPath(path_) + ": ", 0),
        0u)
        << warnings_[1];
}

TEST_F(ConfigFileTest, LinesTheReaderPassesOverAreKeptInTheBackup) {
    const std::string clean = Crlf(kExample);
    Put(clean);
    store_.InitServiceTable({});
    LoadConfigAtStartup(path_, store_, Collect());
    EXPECT_FALSE(fs::exists(BackupConfigPath(path_)));

    for (const std::string& damaged :
         {clean + "some notes\r\nleft=here\r\n",
          std::string(clean).insert(clean.find("[Service 2]"), "stray=line\r\n")}) {
        fs::remove(BackupConfigPath(path_));
        Put(damaged);
        store_.InitServiceTable({});
        warnings_.clear();
        bool skipped = false;
        EXPECT_EQ(ReadConfigFile(path_, store_, Collect(), &skipped), 0);
        EXPECT_TRUE(skipped);
        EXPECT_EQ(store_.ServiceCount(), 7);
        LoadConfigAtStartup(path_, store_, Collect());
        EXPECT_TRUE(warnings_.empty());
        EXPECT_EQ(Get(BackupConfigPath(path_)), damaged);
    }
}

// The scan passes keep their baselines by identity: a record read afresh
// has a new one, so no earlier pass's baseline applies to it.
TEST_F(ConfigFileTest, LoadedRecordsStartWithoutBaselineAndWithFreshIds) {
    Put(Crlf(kExample));
    store_.InitServiceTable({});
    const std::uint64_t before = store_.ServiceTable[0].uid;
    ASSERT_EQ(ReadConfigFile(path_, store_, Collect()), 0);
    EXPECT_NE(store_.ServiceTable[0].uid, before);
    for (int i = 0; i < 7; ++i) {
        EXPECT_NE(store_.ServiceTable[i].uid, 0u);
        EXPECT_EQ(store_.FindByUid(store_.ServiceTable[i].uid), i);
    }
}

TEST_F(ConfigFileTest, DateComparisonSurvivesAndOldFilesReadAsLessThan) {
    const std::string rule =
        "[Rule 1]\nrulename=old\nenabled=0\nmcond=2\ncondcnt=2\nfcnt=5\nfsize=0\n"
        "rcond=2\nrdays=30\nrcond=1\nrnum=2\nsize=100\nactioncnt=1\nraction=2\n";
    std::string text = Crlf(kExample);
    text.replace(text.find("[Rule 1]"), text.find("[Service 2]") - text.find("[Rule 1]"),
                 Crlf(rule));
    ASSERT_EQ(Load(text), 0);
    const RuleRec& r = store_.ServiceTable[0].rulelist.rules[0];
    EXPECT_EQ(r.conds[0].rdays, 30);
    EXPECT_EQ(r.conds[0].rdayscmp, cmpLess);
    EXPECT_EQ(r.conds[1].size, 100);
    EXPECT_EQ(r.actions[0].raction, actDelete);

    text.replace(text.find("rdays=30\r\n"), 10, "rdays=30\r\nrdayscmp=2\r\n");
    ASSERT_EQ(Load(text), 0);
    EXPECT_EQ(store_.ServiceTable[0].rulelist.rules[0].conds[0].rdayscmp, cmpGreater);
    EXPECT_EQ(store_.ServiceTable[0].rulelist.rules[0].conds[1].size, 100);
}

TEST_F(ConfigFileTest, ControlLinesAndForeignLineEndings) {
    std::string text = kExample;  // LF only, as after a hand edit elsewhere
    // A numbered control line stands in for the value two lines further on.
    text.replace(text.find("sharedir=E:\\Shared"), 18, "[skip-2]\nignored\nsharedir=G:\\x");
    ASSERT_EQ(Load(text), 0);
    EXPECT_EQ(store_.ServiceTable[6].sharedir, "G:\\x");
    EXPECT_EQ(store_.ServiceTable[6].excludefiles, "*.dat");
    EXPECT_EQ(store_.ServiceTable[0].rulelist.rules[0].actions[0].move.filepath, "D:\\Music");
}

TEST_F(ConfigFileTest, LineBreaksInValuesCannotShiftLaterLines) {
    ServiceStore s = ExampleStore();
    s.ServiceTable[0].rulelist.rules[0].rulename = "two\r\nlines";
    ASSERT_EQ(Load(FormatConfigFile(s)), 0);
    EXPECT_EQ(store_.ServiceTable[0].rulelist.rules[0].rulename, "two  lines");
    EXPECT_EQ(store_.ServiceTable[6].othername, "Archive share");
}

#ifndef _WIN32  // permission bits; Windows keeps an access list instead
TEST_F(ConfigFileTest, TheFileIsReadableByItsOwnerOnly) {
    ASSERT_EQ(WriteConfigFile(path_, ExampleStore()), 0);
    struct stat st {};
    ASSERT_EQ(stat(path_.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
}
#endif

TEST_F(ConfigFileTest, AFailedWriteLeavesTheOldFileIntact) {
    ASSERT_EQ(WriteConfigFile(path_, ExampleStore()), 0);
    const std::string before = Get();
    InjectAtomicWriteFaultForTests(100);
    EXPECT_EQ(WriteConfigFile(path_, FullStore()), -2);
    EXPECT_EQ(Get(), before);
    EXPECT_EQ(std::distance(fs::directory_iterator(dir_), fs::directory_iterator()), 1);
    // The fault is used up; the next save goes through.
    EXPECT_EQ(WriteConfigFile(path_, FullStore()), 0);
    EXPECT_EQ(Get(), FormatConfigFile(FullStore()));
    EXPECT_EQ(WriteConfigFile((dir_ / "no" / "kbconf.ini").string(), FullStore()), -2);
}

TEST(ConfigVersion, PointFirstThenTheSystemSeparator) {
    EXPECT_EQ(ParseConfigVersion("1.00", '.'), 1.0);
    EXPECT_EQ(ParseConfigVersion("1.00", ','), 1.0);
    EXPECT_EQ(ParseConfigVersion("1,00", ','), 1.0);
    EXPECT_EQ(ParseConfigVersion("0.9", ','), 0.9);
    EXPECT_EQ(ParseConfigVersion("1,00", '.'), std::nullopt);
    EXPECT_EQ(ParseConfigVersion("", ','), std::nullopt);
    EXPECT_EQ(ParseConfigVersion("1.0.0", '.'), std::nullopt);
    EXPECT_EQ(ParseConfigVersion("nan", '.'), std::nullopt);
}

TEST_F(ConfigFileTest, StartupRewritesOlderFilesOnly) {
    std::string text = Crlf(kExample);
    text.replace(text.find("Version=1.00"), 12, "Version=0.9");
    Put(text);
    store_.InitServiceTable({});
    LoadConfigAtStartup(path_, store_, Collect());
    EXPECT_TRUE(warnings_.empty());
    EXPECT_EQ(Get(), Crlf(kExample));
    EXPECT_FALSE(fs::exists(BackupConfigPath(path_)));

    // A current file is left as it stands, stray line and all.
    text = Crlf(kExample) + "stray\r\n";
    Put(text);
    store_.InitServiceTable({});
    LoadConfigAtStartup(path_, store_, Collect());
    EXPECT_EQ(Get(), text);

    // No file, nothing written.
    fs::remove(path_);
    LoadConfigAtStartup(path_, store_, Collect());
    EXPECT_FALSE(fs::exists(path_));
}

TEST_F(ConfigFileTest, StartupRewritesAnUnreadableVersionAfterReadingOn) {
    std::string text = Crlf(kExample);
    text.replace(text.find("Version=1.00"), 12, "Version=one");
    Put(text);
    store_.InitServiceTable({});
    LoadConfigAtStartup(path_, store_, Collect());
    EXPECT_EQ(warnings_, std::vector<std::string>{"Error retrieving version number."});
    EXPECT_EQ(store_.ServiceCount(), 7);
    EXPECT_EQ(Get(), Crlf(kExample));
}

TEST_F(ConfigFileTest, StartupKeepsABackupOfAFileItCouldNotRead) {
    std::string text = Crlf(kExample);
    text.replace(0, 11, "[Main]");
    Put(text);
    store_.InitServiceTable({});
    LoadConfigAtStartup(path_, store_, Collect());
    EXPECT_EQ(warnings_, std::vector<std::string>{"Error: Invalid alarm file"});
    ServiceStore builtIn;
    builtIn.InitServiceTable({});
    EXPECT_EQ(Get(), FormatConfigFile(builtIn));
    EXPECT_EQ(Get(BackupConfigPath(path_)), text);
}

}  // namespace
}  // namespace kb
