#include "editor/paramedit.h"

#include <gtest/gtest.h>

#include <QFontMetrics>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTest>

#include "editor/datesel.h"
#include "editor/fext.h"
#include "editor/filesized.h"
#include "editor/ftpoptions.h"
#include "editor/launchinput.h"
#include "editor/paramlistbox.h"
#include "editor/path.h"
#include "gui_modal.h"
#include "runtime/summary.h"

namespace kb {
namespace {

using kbtest::DialogDriver;

// Every kind of line, nothing entered yet.
RuleRec fullRule(TriggerKind trigger) {
    RuleRec rule;
    rule.mcond = trigger;
    rule.fcnt = 20;
    rule.fsize = 10;
    for (ConditionKind kind : {condExtension, condSize, condDate, condOldest, condNewest}) {
        ruleacondrec c;
        c.rcond = kind;
        c.size = c.rdays = c.newestcnt = c.oldestcnt = -1;
        rule.conds.push_back(c);
    }
    for (ActionKind kind : {actMove, actCopy, actDelete, actLaunch, actFtp}) {
        ruleactionrec a;
        a.raction = kind;
        rule.actions.push_back(a);
    }
    return rule;
}

template <class T>
bool editWith(RuleRec& rule, const QString& href, std::function<void(T*)> act, bool* opened) {
    DialogDriver<T> driver(std::move(act));
    const bool ok = EditRuleParam(nullptr, rule, href);
    *opened = driver.called;
    return ok;
}

TEST(EditRuleParam, CountsGoThroughTheNumericTextInput) {
    struct Case {
        const char* href;
        TriggerKind trigger;
        const char* caption;
        const char* prompt;
        const char* prefill;
        std::function<std::int32_t(const RuleRec&)> field;
        int typed = 0;  // the newest and oldest counts take 1 or more
    };
    const Case cases[] = {
        {"FileCount", trgFileCount, "Enter File Count", "Enter file count:", "20",
         [](const RuleRec& r) { return r.fcnt; }},
        {"TotalFileSize", trgTotalSize, "Enter File Size", "Enter total file size (MB):", "10",
         [](const RuleRec& r) { return r.fsize; }},
        {"FileDateNew", trgFileCount, "Enter File Count", "Enter number of files:", "",
         [](const RuleRec& r) { return r.conds[4].newestcnt; }, 7},
        {"FileDateOld", trgFileCount, "Enter File Count", "Enter number of files:", "",
         [](const RuleRec& r) { return r.conds[3].oldestcnt; }, 7},
    };
    for (const Case& c : cases) {
        RuleRec rule = fullRule(c.trigger);
        bool opened = false;
        const bool ok = editWith<ExtensionsDialog>(
            rule, c.href,
            [&](ExtensionsDialog* d) {
                EXPECT_EQ(d->windowTitle(), c.caption) << c.href;
                EXPECT_EQ(d->Label1->text(), c.prompt) << c.href;
                EXPECT_EQ(d->teInput->text(), c.prefill) << c.href;
                EXPECT_TRUE(d->NumericMode()) << c.href;
                d->teInput->setText(QString::number(c.typed));
                d->Button2->click();
            },
            &opened);
        EXPECT_TRUE(opened) << c.href;
        EXPECT_TRUE(ok) << c.href;
        EXPECT_EQ(c.field(rule), c.typed) << c.href;
    }
}

TEST(EditRuleParam, ExtensionListTakesAnyTextIncludingEmpty) {
    RuleRec rule = fullRule(trgNewFile);
    rule.conds[0].fileext.ext = "mp3;mp2";
    bool opened = false;
    EXPECT_TRUE(editWith<ExtensionsDialog>(
        rule, "FileExt",
        [](ExtensionsDialog* d) {
            EXPECT_EQ(d->windowTitle(), "Enter File Extension");
            EXPECT_EQ(d->Label1->text(), "Enter file extensions separated by semicolans(mp2;mp3):");
            EXPECT_EQ(d->teInput->text(), "mp3;mp2");
            EXPECT_FALSE(d->NumericMode());
            d->teInput->clear();
            d->Button2->click();
        },
        &opened));
    EXPECT_EQ(rule.conds[0].fileext.ext, "");
    EXPECT_EQ(SummaryLines(rule)[1],
              "    Where file extension is <a href=\"FileExt\">specified</a> extension");
}

TEST(EditRuleParam, SizeAndDatePrefillFromTheConditionAndWriteBack) {
    RuleRec rule = fullRule(trgFileCount);
    bool opened = false;
    EXPECT_TRUE(editWith<FileSizeDialog>(
        rule, "FileSize",
        [](FileSizeDialog* d) {
            EXPECT_TRUE(d->rbgt->isChecked());
            EXPECT_EQ(d->teFileSize->text(), "");
            d->rblt->setChecked(true);
            d->teFileSize->setText("700");
            d->Button1->click();
        },
        &opened));
    EXPECT_EQ(rule.conds[1].size, 700);
    EXPECT_EQ(rule.conds[1].rnum, cmpLess);

    rule.conds[2].rdays = 45;
    rule.conds[2].rdayscmp = cmpLess;  // as loaded from the configuration file
    EXPECT_TRUE(editWith<FileDateDialog>(
        rule, "FileDate",
        [](FileDateDialog* d) {
            EXPECT_TRUE(d->rblt->isChecked());
            EXPECT_EQ(d->teDays->text(), "45");
            d->rbgt->setChecked(true);
            d->Button1->click();
        },
        &opened));
    EXPECT_EQ(rule.conds[2].rdays, 45);
    EXPECT_EQ(rule.conds[2].rdayscmp, cmpGreater);
}

TEST(EditRuleParam, PathsGoToTheFirstMoveOrCopyAction) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    RuleRec rule = fullRule(trgNewFile);
    bool opened = false;
    EXPECT_TRUE(editWith<FolderDialog>(
        rule, "rCopy",
        [&](FolderDialog* d) {
            EXPECT_EQ(d->Label1->text(), "Enter path to copy to");
            EXPECT_EQ(d->tePath->text(), "");
            d->tePath->setText(dir.path());
            d->Button2->click();
        },
        &opened));
    EXPECT_EQ(rule.actions[1].copy.filepath, dir.path().toStdString());
    EXPECT_EQ(rule.actions[0].move.filepath, "");
    EXPECT_TRUE(editWith<FolderDialog>(
        rule, "rMove",
        [&](FolderDialog* d) {
            EXPECT_EQ(d->Label1->text(), "Enter path to move file to:");
            d->tePath->setText(dir.path());
            d->Button2->click();
        },
        &opened));
    EXPECT_EQ(rule.actions[0].move.filepath, dir.path().toStdString());
}

TEST(EditRuleParam, LaunchPrefillsProgramAndParameters) {
    RuleRec rule = fullRule(trgNewFile);
    rule.actions[3].launch = {"/usr/bin/player", "--queue mfile"};
    bool opened = false;
    EXPECT_TRUE(editWith<LaunchDialog>(
        rule, "rLaunch",
        [](LaunchDialog* d) {
            EXPECT_EQ(d->teProgram->text(), "/usr/bin/player");
            EXPECT_EQ(d->teParam->text(), "--queue mfile");
            d->teProgram->setText("/opt/tag.sh");
            d->teParam->setText("mfile");
            d->Button2->click();
        },
        &opened));
    EXPECT_EQ(rule.actions[3].launch.fprogram, "/opt/tag.sh");
    EXPECT_EQ(rule.actions[3].launch.fparams, "mfile");
}

TEST(EditRuleParam, CancelLeavesTheRuleUntouched) {
    QTemporaryDir dir;
    RuleRec rule = fullRule(trgFileCount);
    rule.actions[3].launch = {"/usr/bin/player", "mfile"};
    const RuleRec before = rule;
    bool opened = false;
    EXPECT_FALSE(editWith<LaunchDialog>(
        rule, "rLaunch",
        [](LaunchDialog* d) {
            d->teProgram->setText("/other");
            d->Button3->click();
        },
        &opened));
    EXPECT_TRUE(opened);
    EXPECT_FALSE(editWith<ExtensionsDialog>(
        rule, "FileCount",
        [](ExtensionsDialog* d) {
            d->teInput->setText("99");
            d->Button3->click();
        },
        &opened));
    EXPECT_FALSE(editWith<FolderDialog>(
        rule, "rMove",
        [&](FolderDialog* d) {
            d->tePath->setText(dir.path());
            d->reject();  // the close box
        },
        &opened));
    EXPECT_FALSE(editWith<FtpOptionsDialog>(
        rule, "rFTP",
        [](FtpOptionsDialog* d) {
            d->teFTPServer->setText("host");
            d->Button2->click();
        },
        &opened));
    EXPECT_EQ(rule, before);
}

TEST(EditRuleParam, FtpLinkEditsTheFirstFtpAction) {
    RuleRec rule = fullRule(trgNewFile);
    bool opened = false;
    EXPECT_TRUE(editWith<FtpOptionsDialog>(
        rule, "rFTP",
        [](FtpOptionsDialog* d) {
            d->teFTPServer->setText("files.example.org");
            d->teFTPUser->setText("u");
            d->teFTPPass->setText("p");
            d->Button1->click();
        },
        &opened));
    EXPECT_EQ(rule.actions[4].ftp.ftpserver, "files.example.org");
    EXPECT_EQ(rule.actions[4].ftp.ftpport, 21);
    EXPECT_EQ(SummaryLines(rule).back(),
              "      and FTP file to <a href=\"rFTP\">files.example.org</a> server");
}

TEST(EditRuleParam, LinksWithoutADialogChangeNothing) {
    RuleRec rule = fullRule(trgNewFile);
    const RuleRec before = rule;
    bool opened = false;
    // Any dialog opening here would be a fault; the driver would cancel it.
    for (const char* href : {"rDelete", "Unknown", "filecount", "FileCount", "TotalFileSize"}) {
        EXPECT_FALSE(editWith<QDialog>(
            rule, href, [](QDialog* d) { d->reject(); }, &opened))
            << href;
        EXPECT_FALSE(opened) << href;
    }
    rule.conds.clear();
    EXPECT_FALSE(editWith<QDialog>(
        rule, "FileExt", [](QDialog* d) { d->reject(); }, &opened));
    EXPECT_FALSE(opened);
    EXPECT_EQ(rule.actions, before.actions);
}

// The wiring the wizard uses: a click on a link in the list opens that
// link's dialog, and the list is rebuilt from the rule afterwards.
TEST(EditRuleParam, AClickInTheListOpensTheLinksDialog) {
    RuleRec rule = fullRule(trgFileCount);
    LinkedSentenceList list;
    list.resize(500, 300);
    auto rebuild = [&] {
        list.Clear();
        for (const std::string& line : SummaryLines(rule))
            list.AddLine(QString::fromStdString(line));
    };
    rebuild();
    QObject::connect(&list, &LinkedSentenceList::OnParamClick,
                     [&](int, const QString& href, const QString&) {
                         EditRuleParam(&list, rule, href);
                         rebuild();
                     });
    list.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&list));

    const QString prefix = "Whenever the total completed file count exceeds ";
    const QRect r = list.visualRect(list.model()->index(0, 0));
    const QPoint onCount(r.left() + 2 + QFontMetrics(list.font()).horizontalAdvance(prefix) + 3,
                         r.center().y());
    DialogDriver<ExtensionsDialog> driver([](ExtensionsDialog* d) {
        EXPECT_EQ(d->windowTitle(), "Enter File Count");
        d->teInput->setText("35");
        d->Button2->click();
    });
    QTest::mouseClick(list.viewport(), Qt::LeftButton, {}, onCount);
    EXPECT_TRUE(driver.called);
    EXPECT_EQ(rule.fcnt, 35);
    EXPECT_EQ(list.GetParamValue(0, "FileCount"), "35");
}

}  // namespace
}  // namespace kb
