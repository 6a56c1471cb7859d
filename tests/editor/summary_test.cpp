#include "runtime/summary.h"

#include <gtest/gtest.h>

#include <QString>

#include "builders.h"
#include "editor/parammarkup.h"

namespace kb {
namespace {

using Lines = std::vector<std::string>;

using kbtest::Action;
using kbtest::UnenteredCondition;

TEST(SummaryLines, TheFiveLineExampleReadsExactly) {
    RuleRec rule;
    rule.mcond = trgFileCount;
    rule.fcnt = 20;
    ruleacondrec ext = UnenteredCondition(condExtension);
    ext.fileext.ext = "mp3;mp2";
    ruleacondrec size = UnenteredCondition(condSize);
    size.rnum = cmpGreater;
    size.size = 500;
    rule.conds = {ext, size};
    ruleactionrec move = Action(actMove);
    move.move.filepath = "D:\\Done";
    rule.actions = {move, Action(actDelete)};

    EXPECT_EQ(SummaryLines(rule),
              (Lines{"Whenever the total completed file count exceeds <a href=\"FileCount\">20</a>",
                     "    Where file extension is <a href=\"FileExt\">mp3;mp2</a>",
                     "      and file size is <a href=\"FileSize\">greater than 500 KB</a>",
                     "    Move file(s) to <a href=\"rMove\">D:\\Done</a> directory",
                     "      and <a href=\"rDelete\">Delete file</a>(s)"}));
}

TEST(SummaryLines, TriggerLineForEachKind) {
    RuleRec rule;
    rule.fcnt = 7;
    rule.fsize = 0;
    rule.mcond = trgNewFile;
    EXPECT_EQ(SummaryLines(rule), Lines{"Whenever a new completed file exists"});
    rule.mcond = trgFileExists;
    EXPECT_EQ(SummaryLines(rule), Lines{"Whenever a completed file exists"});
    rule.mcond = trgFileCount;
    EXPECT_EQ(SummaryLines(rule),
              Lines{"Whenever the total completed file count exceeds <a href=\"FileCount\">7</a>"});
    rule.mcond = trgTotalSize;  // a threshold of 0 is shown as 0
    EXPECT_EQ(
        SummaryLines(rule),
        Lines{"Whenever the total completed file size exceeds <a href=\"TotalFileSize\">0</a> MB"});
    rule.mcond =
        static_cast<TriggerKind>(9);  // unknown kinds have no trigger line but keep the rest
    rule.actions = {Action(actDelete)};
    EXPECT_EQ(SummaryLines(rule), Lines{"    <a href=\"rDelete\">Delete file</a>(s)"});
}

TEST(SummaryLines, ConditionsNotYetSupplied) {
    RuleRec rule;
    rule.conds = {UnenteredCondition(condExtension), UnenteredCondition(condSize),
                  UnenteredCondition(condDate), UnenteredCondition(condNewest),
                  UnenteredCondition(condOldest)};
    EXPECT_EQ(
        SummaryLines(rule),
        (Lines{
            "Whenever a new completed file exists",
            "    Where file extension is <a href=\"FileExt\">specified</a> extension",
            "      and file size is <a href=\"FileSize\">specified</a>",
            "      and file date is <a href=\"FileDate\">specified</a>",
            "      and file date is the newest <a href=\"FileDateNew\">specified</a> of all files",
            "      and file date is the oldest <a href=\"FileDateOld\">specified</a> of all "
            "files"}));
}

TEST(SummaryLines, ConditionsSuppliedIncludingZero) {
    RuleRec rule;
    rule.mcond = trgFileExists;
    ruleacondrec date = UnenteredCondition(condDate);
    date.rdays = 0;
    date.rdayscmp = cmpGreater;
    ruleacondrec size = UnenteredCondition(condSize);
    size.size = 0;
    size.rnum = 1;  // anything but 2 reads "less than"
    ruleacondrec oldest = UnenteredCondition(condOldest);
    oldest.oldestcnt = 0;
    ruleacondrec newest = UnenteredCondition(condNewest);
    newest.newestcnt = 12;
    ruleacondrec dateLess = UnenteredCondition(condDate);
    dateLess.rdays = 30;
    dateLess.rdayscmp = cmpLess;
    rule.conds = {date, size, oldest, newest, dateLess};
    EXPECT_EQ(
        SummaryLines(rule),
        (Lines{"Whenever a completed file exists",
               "    Where file date is <a href=\"FileDate\">greater than 0 days old.</a>",
               "      and file size is <a href=\"FileSize\">less than 0 KB</a>",
               "      and file date is the oldest <a href=\"FileDateOld\">0</a> of all files",
               "      and file date is the newest <a href=\"FileDateNew\">12</a> of all files",
               "      and file date is <a href=\"FileDate\">less than 30 days old.</a>"}));
}

TEST(SummaryLines, ActionsNotYetSuppliedUnderPerFileTrigger) {
    RuleRec rule;
    rule.mcond = trgNewFile;
    rule.actions = {Action(actMove), Action(actCopy), Action(actDelete), Action(actLaunch),
                    Action(actFtp)};
    EXPECT_EQ(SummaryLines(rule),
              (Lines{"Whenever a new completed file exists",
                     "    Move file to <a href=\"rMove\">specified</a> directory",
                     "      and Copy file to <a href=\"rCopy\">specified</a> directory",
                     "      and <a href=\"rDelete\">Delete file</a>",
                     "      and Launch <a href=\"rLaunch\">specified</a> program",
                     "      and FTP file to <a href=\"rFTP\">specified</a> server"}));
}

TEST(SummaryLines, ActionsSuppliedCarryThePluralUnderOtherTriggers) {
    RuleRec rule;
    rule.mcond = trgTotalSize;
    rule.fsize = 10;
    ruleactionrec launch = Action(actLaunch);
    launch.launch.fprogram = "/usr/bin/player";
    launch.launch.fparams = "mfile";  // parameters are not shown
    ruleactionrec ftp = Action(actFtp);
    ftp.ftp.ftpserver = "files.example.org";
    ruleactionrec copy = Action(actCopy);
    copy.copy.filepath = "/srv/keep";
    rule.actions = {launch, ftp, copy, Action(actDelete)};
    EXPECT_EQ(
        SummaryLines(rule),
        (Lines{"Whenever the total completed file size exceeds <a href=\"TotalFileSize\">10</a> MB",
               "    Launch <a href=\"rLaunch\">/usr/bin/player</a>",
               "      and FTP file(s) to <a href=\"rFTP\">files.example.org</a> server",
               "      and Copy file(s) to <a href=\"rCopy\">/srv/keep</a> directory",
               "      and <a href=\"rDelete\">Delete file</a>(s)"}));
}

TEST(SummaryLines, ConditionAndActionPrefixesCountSeparately) {
    RuleRec rule;
    rule.conds = {UnenteredCondition(condSize)};
    rule.actions = {Action(actDelete)};
    const Lines lines = SummaryLines(rule);
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[1].rfind("    Where ", 0), 0u);
    EXPECT_EQ(lines[2], "    <a href=\"rDelete\">Delete file</a>");
}

TEST(SummaryLines, ValuesWithMarkupCharactersShowAsTyped) {
    RuleRec rule;
    ruleacondrec ext = UnenteredCondition(condExtension);
    ext.fileext.ext = "a<b>&\"c\"";
    ruleactionrec move = Action(actMove);
    move.move.filepath = "/music/R&B <new>";
    rule.conds = {ext};
    rule.actions = {move};
    const Lines lines = SummaryLines(rule);
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[1],
              "    Where file extension is <a href=\"FileExt\">a&lt;b&gt;&amp;&quot;c&quot;</a>");
    EXPECT_EQ(MarkupParamValue(QString::fromStdString(lines[1]), "FileExt").toStdString(),
              ext.fileext.ext);
    EXPECT_EQ(MarkupParamValue(QString::fromStdString(lines[2]), "rMove").toStdString(),
              move.move.filepath);
    // The words after the link are still plain text, not swallowed by the value.
    const std::vector<MarkupRun> runs = ParseMarkup(QString::fromStdString(lines[2]));
    ASSERT_FALSE(runs.empty());
    EXPECT_FALSE(runs.back().link);
    EXPECT_EQ(runs.back().text, " directory");
}

TEST(SummaryLinkText, IsTheValueOrSpecifiedAndEmptyWithoutTheLink) {
    RuleRec rule;
    rule.mcond = trgFileCount;
    rule.fcnt = 20;
    ruleacondrec size = UnenteredCondition(condSize);
    size.size = 64;
    size.rnum = cmpGreater;
    ruleactionrec launch = Action(actLaunch);
    rule.conds = {UnenteredCondition(condExtension), size};
    rule.actions = {Action(actMove), launch};
    EXPECT_EQ(SummaryLinkText(rule, "FileCount"), "20");
    EXPECT_EQ(SummaryLinkText(rule, "TotalFileSize"), "");  // not the size trigger
    EXPECT_EQ(SummaryLinkText(rule, "FileExt"), "specified");
    EXPECT_EQ(SummaryLinkText(rule, "FileSize"), "greater than 64 KB");
    EXPECT_EQ(SummaryLinkText(rule, "FileDate"), "");
    EXPECT_EQ(SummaryLinkText(rule, "rMove"), "specified");
    EXPECT_EQ(SummaryLinkText(rule, "rLaunch"), "specified");
    EXPECT_EQ(SummaryLinkText(rule, "rCopy"), "");
    EXPECT_EQ(SummaryLinkText(rule, "rDelete"), "");
    EXPECT_EQ(SummaryLinkText(rule, "rFTP"), "");
    EXPECT_EQ(SummaryLinkText(rule, "filecount"), "");  // names are exact
    rule.actions[1].launch.fprogram = "/bin/true";
    EXPECT_EQ(SummaryLinkText(rule, "rLaunch"), "/bin/true");
}

}  // namespace
}  // namespace kb
