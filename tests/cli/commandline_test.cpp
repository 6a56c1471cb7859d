// The command line as start-up reads it, the dry run's two printed forms,
// and where an installed copy finds its files.
#include "cli/commandline.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>

#include "cli/dryrunreport.h"
#include "platform/xdg_sandbox.h"
#include "runtime/startup.h"

namespace {

using namespace kb;
using Mode = CommandLine::Mode;

CommandLine Parse(QStringList args) {
    args.prepend(QStringLiteral("/usr/bin/kestrelbox"));
    return ParseCommandLine(args);
}

TEST(CommandLineParse, EachModeAndItsValues) {
    EXPECT_EQ(Parse({}).mode, Mode::Window);
    EXPECT_FALSE(Parse({}).startHidden);
    EXPECT_TRUE(Parse({"StartUp"}).startHidden);
    EXPECT_EQ(Parse({"--headless"}).mode, Mode::Headless);
    EXPECT_EQ(Parse({"--help"}).mode, Mode::Help);
    EXPECT_EQ(Parse({"-h"}).mode, Mode::Help);
    EXPECT_EQ(Parse({"--version"}).mode, Mode::Version);

    const CommandLine dry = Parse({"--dry-run", "--json", "--config", "/etc/kb.ini"});
    EXPECT_EQ(dry.mode, Mode::DryRun);
    EXPECT_TRUE(dry.json);
    EXPECT_EQ(dry.configFile, "/etc/kb.ini");
    EXPECT_FALSE(Parse({"--dry-run"}).json);
    EXPECT_EQ(Parse({"--headless", "--config=/srv/kb.ini"}).configFile, "/srv/kb.ini");

    EXPECT_EQ(Parse({"--history"}).historyCount, 20);
    const CommandLine history = Parse({"--history", "5"});
    EXPECT_EQ(history.mode, Mode::History);
    EXPECT_EQ(history.historyCount, 5);
    // "startup" is never taken for the count, wherever it stands.
    EXPECT_EQ(Parse({"startup", "--history", "7"}).historyCount, 7);
    EXPECT_EQ(Parse({"--history", "startup"}).historyCount, 20);

    EXPECT_EQ(Parse({"--rules", "--json"}).mode, Mode::Rules);
    EXPECT_TRUE(Parse({"--rules", "--json"}).json);
    EXPECT_EQ(Parse({"--export-rules", "out.toml"}).rulesFile, "out.toml");
    EXPECT_EQ(Parse({"--export-rules"}).rulesFile, "");
    EXPECT_EQ(Parse({"--import-rules", "in.toml"}).mode, Mode::ImportRules);
    EXPECT_EQ(Parse({"STARTUP"}).mode, Mode::Window);
    EXPECT_TRUE(Parse({"STARTUP"}).startHidden);
}

TEST(CommandLineParse, WhatIsWrongIsSaidInOneLine) {
    const std::vector<std::pair<QStringList, QString>> cases = {
        {{"--frobnicate"}, "Unknown option 'frobnicate'."},
        {{"--config"}, "Missing value after '--config'."},
        {{"--config="}, "--config wants a file name"},
        {{"--json"}, "--json goes with --dry-run"},
        {{"--headless", "--dry-run"}, "cannot be used together"},
        {{"--history", "--headless"}, "cannot be used together"},
        {{"--history", "0"}, "a count of 1 or more, not \"0\""},
        {{"--history", "many"}, "not \"many\""},
        {{"--history", "3", "4"}, "takes one count"},
        {{"--history", "-1"}, "--history wants a count of 1 or more, not \"-1\"."},
        {{"-dry-run"}, "unknown option '-dry-run'; long options take two dashes (--dry-run)."},
        {{"-history"}, "long options take two dashes (--history)."},
        {{"--json", "--headless"}, "--json goes with --dry-run or --rules."},
        {{"--import-rules"}, "Missing value after '--import-rules'."},
        {{"--rules", "--export-rules"}, "cannot be used together."},
        {{"whatever"}, "unexpected \"whatever\"; the only word it takes is \"startup\"."},
        {{"startup", "--headless", "now"}, "unexpected \"now\""},
        {{"--dry-run", "folder"}, "unexpected \"folder\""},
    };
    for (const auto& [args, said] : cases) {
        const CommandLine c = Parse(args);
        EXPECT_EQ(c.mode, Mode::Error) << args.join(' ').toStdString();
        EXPECT_TRUE(c.error.startsWith("kestrelbox: ")) << c.error.toStdString();
        EXPECT_TRUE(c.error.contains(said)) << c.error.toStdString();
        EXPECT_FALSE(c.error.contains('\n'));
    }
    // The usage names every option.
    for (const char* option :
         {"--headless", "--dry-run", "--json", "--config FILE", "--history [N]", "-h, --help",
          "--version", "startup", "--rules", "--export-rules [FILE]", "--import-rules FILE"})
        EXPECT_TRUE(UsageText().contains(QLatin1String(option))) << option;
}

RulePreview Preview(const std::string& rule, TriggerKind trigger) {
    RulePreview p;
    p.service = "Kazaa";
    p.folder = "/srv/share";
    p.rule = rule;
    p.trigger = trigger;
    p.listed = 3;
    p.total = 3 * 1024 * 1024;
    return p;
}

std::vector<RulePreview> Sample() {
    RulePreview music = Preview("Music", trgNewFile);
    music.triggerText = "a new file is present";
    music.onArrival = music.holds = true;
    music.files = {{"song.mp3", 2'202'010, false},
                   {"next.mp3", 1024, true, "still open for writing"},
                   {"Album", 4096, true, "holds a download in progress: Album/02.flac.part", true}};
    music.actions = {"move to /music", "launch /usr/bin/player \"<file>\""};
    RulePreview tidy = Preview("Tidy", trgFileCount);
    tidy.triggerText = "more than 20 files";
    tidy.threshold = 20;
    tidy.actions = {"delete"};
    RulePreview other = Preview("Gone", trgTotalSize);
    other.service = "Other: music";
    other.folder = "/gone";
    other.folderMissing = true;
    other.folderProblem = "does not exist";
    other.actions = {"move to /archive", "delete"};
    other.listed = other.total = 0;
    other.triggerText = "more than 5 MB";
    other.threshold = 5;
    return {music, tidy, other};
}

TEST(DryRunReport, TextGroupsRulesUnderTheirServiceAndSaysWhatEachWouldDo) {
    std::ostringstream out;
    PrintDryRunText(Sample(), out);
    EXPECT_EQ(out.str(),
              "Dry run: nothing is moved, copied, deleted, uploaded or started.\n"
              "\n"
              "Kazaa: /srv/share (3 files, 3.0 MB)\n"
              "  Rule \"Music\", when a new file is present:\n"
              "    acts on such files when they arrive; of those present now it would take 3:\n"
              "      song.mp3 (2.1 MB)\n"
              "      next.mp3 (1.0 kB), waits: still open for writing\n"
              "      Album/ (4.0 kB), waits: holds a download in progress: Album/02.flac.part\n"
              "    then: move to /music\n"
              "          launch /usr/bin/player \"<file>\"\n"
              "  Rule \"Tidy\", when more than 20 files:\n"
              "    does not hold now (3 files, 3.0 MB)\n"
              "    its actions: delete\n"
              "\n"
              "Other: music: /gone (the folder does not exist)\n"
              "  Rule \"Gone\", when more than 5 MB:\n"
              "    nothing to act on now; its actions: move to /archive\n"
              "                                        delete\n");

    // Files still downloading are listed but not counted as acted on now.
    std::vector<RulePreview> holding = Sample();
    holding.resize(2);
    holding[1].holds = true;
    holding[1].files = {{"a.bin", 10, false},
                        {"b.bin", 2, true, "still open for writing"},
                        {"c.bin", 3, true,
                         "left out of the oldest 2 files while it downloads "
                         "(still open for writing)"}};
    std::ostringstream some;
    PrintDryRunText(holding, some);
    EXPECT_NE(some.str().find("  Rule \"Tidy\", when more than 20 files:\n"
                              "    holds now and would act on 1 file (2 more still downloading):\n"
                              "      a.bin (10 bytes)\n"),
              std::string::npos)
        << some.str();
    for (FilePreview& f : holding[1].files) f.waiting = true;
    std::ostringstream none;
    PrintDryRunText(holding, none);
    EXPECT_NE(none.str().find("    holds now, but the 3 files it takes still download:\n"),
              std::string::npos)
        << none.str();
    std::ostringstream empty;
    PrintDryRunText({}, empty);
    EXPECT_NE(empty.str().find("No service with a folder has a switched-on rule."),
              std::string::npos);
}

TEST(DryRunReport, JsonIsOneObjectPerRuleWithBadNamesReplaced) {
    std::vector<RulePreview> previews = Sample();
    previews[1].files = {{"bad\xff.bin", 7, false}};
    std::ostringstream out;
    PrintDryRunJson(previews, out);
    std::istringstream lines(out.str());
    std::vector<std::string> got;
    for (std::string line; std::getline(lines, line);) got.push_back(line);
    ASSERT_EQ(got.size(), 3u);
    EXPECT_EQ(got[0],
              "{\"service\":\"Kazaa\",\"folder\":\"/srv/share\",\"folderReadable\":true,"
              "\"rule\":\"Music\",\"trigger\":\"new-file\",\"triggerText\":\"a new file is "
              "present\",\"onArrival\":true,\"holds\":true,\"listed\":3,\"totalBytes\":3145728,"
              "\"files\":[{\"name\":\"song.mp3\",\"size\":2202010,\"waiting\":false},"
              "{\"name\":\"next.mp3\",\"size\":1024,\"waiting\":true,"
              "\"why\":\"still open for writing\"},{\"name\":\"Album\",\"size\":4096,"
              "\"waiting\":true,\"why\":\"holds a download in progress: Album/02.flac.part\","
              "\"folder\":true}],"
              "\"actions\":[\"move to /music\",\"launch /usr/bin/player \\\"<file>\\\"\"]}");
    EXPECT_NE(got[1].find("\"trigger\":\"file-count\",\"threshold\":20"), std::string::npos);
    EXPECT_NE(got[1].find("\"name\":\"bad\xef\xbf\xbd.bin\""), std::string::npos);
    EXPECT_NE(got[2].find("\"folderReadable\":false"), std::string::npos);
}

TEST(InstalledLayout, AnInstalledCopyFindsItsHelpAndKeepsItsRulesWithTheUser) {
    test::XdgSandbox sandbox;
    namespace fs = std::filesystem;
    const std::string prefix = sandbox.Root() + "/usr";
    fs::create_directories(prefix + "/bin");
    fs::create_directories(prefix + "/share/kestrelbox");
    const std::string bin = prefix + "/bin/";
    // Without its data folder a copy is portable: everything beside it.
    EXPECT_EQ(InstalledDataDir(bin), "");
    EXPECT_EQ(ChooseConfigFilePath(bin), bin + "kbconf.ini");
    EXPECT_EQ(HelpFilePath(QString::fromStdString(bin)).toStdString(), bin + "kestrbx.hlp");

    test::XdgSandbox::Write(prefix + "/share/kestrelbox/kestrbx.hlp", "help");
    EXPECT_EQ(InstalledDataDir(bin), prefix + "/share/kestrelbox/");
    // Even where the program's folder takes files (root's /usr/bin).
    const std::string perUser = sandbox.Config() + "/Kestrelbox/kbconf.ini";
    EXPECT_EQ(ChooseConfigFilePath(bin), perUser);
    EXPECT_EQ(HelpFilePath(QString::fromStdString(bin)).toStdString(),
              prefix + "/share/kestrelbox/kestrbx.hlp");
    // A help file beside the program still comes first.
    test::XdgSandbox::Write(bin + "kestrbx.hlp", "help");
    EXPECT_EQ(HelpFilePath(QString::fromStdString(bin)).toStdString(), bin + "kestrbx.hlp");

    // A run that writes nothing reads the per-user file for an installed copy,
    // even when one lies beside the program.
    test::XdgSandbox::Write(bin + "kbconf.ini", "x");
    EXPECT_EQ(FindConfigFilePath(bin), perUser);
    fs::remove(prefix + "/share/kestrelbox/kestrbx.hlp");
    EXPECT_EQ(FindConfigFilePath(bin), bin + "kbconf.ini");
    fs::remove(bin + "kbconf.ini");
    EXPECT_EQ(FindConfigFilePath(bin), perUser);
}

TEST(InstalledLayout, TheConfigArgumentMustNameAReadableFile) {
    test::XdgSandbox sandbox;
    EXPECT_NE(ConfigArgumentProblem(QString::fromStdString(sandbox.Root() + "/none.ini")), "");
    EXPECT_NE(ConfigArgumentProblem(QString::fromStdString(sandbox.Root())), "");
    test::XdgSandbox::Write(sandbox.Root() + "/kb.ini", "[Main Info]\r\n");
    EXPECT_EQ(ConfigArgumentProblem(QString::fromStdString(sandbox.Root() + "/kb.ini")), "");

    EXPECT_EQ(AlreadyRunningText({123, true}).toStdString(),
              "Kestrelbox already runs headless (process 123).");
    EXPECT_EQ(AlreadyRunningText({45, false}).toStdString(),
              "Kestrelbox already runs (process 45).");
    EXPECT_EQ(AlreadyRunningText({0, true}).toStdString(), "Kestrelbox already runs headless.");
}

}  // namespace
