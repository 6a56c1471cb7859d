#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QCursor>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QGroupBox>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolButton>

#include "editor/datesel.h"
#include "editor/fext.h"
#include "editor/filesized.h"
#include "editor/ftpoptions.h"
#include "editor/launchinput.h"
#include "editor/paramexchange.h"
#include "editor/path.h"
#include "gui_modal.h"

namespace kb {
namespace {

using kbtest::BoxAnswerer;

// Presses OK; the dialog either closes with OK or shows one message and
// stays open. Returns the messages shown.
QStringList pressOk(QDialog& dialog, QPushButton* ok) {
    BoxAnswerer boxes;
    if (!dialog.isVisible()) dialog.show();
    ok->click();
    return boxes.texts();
}

TEST(TypedWholeNumber, DecimalWithOptionalSignWithin32Bits) {
    EXPECT_EQ(TypedWholeNumber("0"), 0);
    EXPECT_EQ(TypedWholeNumber("+17"), 17);
    EXPECT_EQ(TypedWholeNumber("-5"), -5);
    EXPECT_EQ(TypedWholeNumber("2147483647"), 2147483647);
    EXPECT_EQ(TypedWholeNumber("-2147483648"), INT32_MIN);
    EXPECT_EQ(TypedWholeNumber("007"), 7);
    for (const char* bad : {"", "-", "+", "2147483648", "-2147483649", "99999999999999999999",
                            "abc", " 5", "5 ", "1e3", "0x10", "1.5", "--1", "+-1", "++1"}) {
        EXPECT_EQ(TypedWholeNumber(bad), std::nullopt) << bad;
    }
    EXPECT_EQ(TypedWholeNumber(QString::fromUtf8("\u0663")), std::nullopt);  // a non-ASCII digit
}

TEST(ExtensionsDialog, ExtensionListPrefillAndFreeText) {
    ParamExchange ex;
    ex.caption = "Enter File Extension";
    ex.prompt = "Enter file extensions separated by semicolans(mp2;mp3):";
    ex.linkText = "mp3;mp2";
    {
        ExtensionsDialog dialog(ex);
        EXPECT_EQ(dialog.windowTitle(), "Enter File Extension");
        EXPECT_EQ(dialog.Label1->text(), ex.prompt);
        EXPECT_EQ(dialog.teInput->text(), "mp3;mp2");
        EXPECT_FALSE(dialog.NumericMode());
        EXPECT_EQ(dialog.teInput->width(), 265);
        dialog.teInput->clear();
        EXPECT_TRUE(pressOk(dialog, dialog.Button2).isEmpty());
        EXPECT_EQ(dialog.result(), QDialog::Accepted);
        EXPECT_EQ(ex.linkText, "");
    }
    ex.linkText = "specified";
    ExtensionsDialog dialog(ex);
    EXPECT_EQ(dialog.teInput->text(), "");
}

TEST(ExtensionsDialog, NumericModeRefusesNegativeAndNonNumbers) {
    for (const char* caption : {"Enter File Count", "Enter File Size"}) {
        ParamExchange ex;
        ex.caption = caption;
        ex.input = ParamExchange::Input::WholeNumber;
        ex.linkText = "20";
        ex.number = -7;
        ExtensionsDialog dialog(ex);
        EXPECT_TRUE(dialog.NumericMode());
        EXPECT_EQ(dialog.teInput->width(), 40);
        EXPECT_EQ(dialog.teInput->text(), "20");
        for (const char* bad : {"-1", "abc", ""}) {
            dialog.teInput->setText(bad);
            EXPECT_EQ(pressOk(dialog, dialog.Button2), QStringList{"Invalid value for file count"})
                << caption << " / " << bad;
            EXPECT_TRUE(dialog.isVisible());
            EXPECT_EQ(dialog.teInput->text(), bad);  // the input stays as typed
        }
        dialog.teInput->setText("0");
        EXPECT_TRUE(pressOk(dialog, dialog.Button2).isEmpty());
        EXPECT_EQ(dialog.result(), QDialog::Accepted);
        EXPECT_EQ(ex.number, 0);
        EXPECT_EQ(ex.linkText, "0");
    }
    // The newest and oldest counts: none of the files is no condition.
    {
        ParamExchange newest;
        newest.caption = "Enter File Count";
        newest.input = ParamExchange::Input::WholeNumber;
        newest.least = 1;
        ExtensionsDialog dialog(newest);
        dialog.teInput->setText("0");
        EXPECT_EQ(pressOk(dialog, dialog.Button2),
                  QStringList{"The number of files must be 1 or more."});
        EXPECT_TRUE(dialog.isVisible());
        dialog.teInput->setText("3");
        EXPECT_TRUE(pressOk(dialog, dialog.Button2).isEmpty());
        EXPECT_EQ(newest.number, 3);
    }
    // Text input takes any text, whatever its caption says.
    ParamExchange ex;
    ex.caption = "Enter File Count";
    ExtensionsDialog dialog(ex);
    EXPECT_FALSE(dialog.NumericMode());
}

TEST(ExtensionsDialog, CancelAndTheCloseBoxEmptyTheLinkText) {
    ParamExchange ex;
    ex.caption = "Enter File Count";
    ex.linkText = "5";
    ExtensionsDialog dialog(ex);
    dialog.show();
    dialog.Button3->click();
    EXPECT_EQ(dialog.result(), QDialog::Rejected);
    EXPECT_EQ(ex.linkText, "");
    ex.linkText = "5";
    ExtensionsDialog again(ex);
    again.show();
    again.close();
    EXPECT_EQ(again.result(), QDialog::Rejected);
    EXPECT_EQ(ex.linkText, "");
}

TEST(FileSizeDialog, NewConditionShowsGreaterThanAndRefusesEmpty) {
    ParamExchange ex;
    ex.size = -1;
    ex.comparison = cmpLess;
    FileSizeDialog dialog(ex);
    EXPECT_EQ(dialog.windowTitle(), "Enter File Size");
    EXPECT_TRUE(dialog.rbgt->isChecked());
    EXPECT_EQ(dialog.teFileSize->text(), "");
    EXPECT_EQ(pressOk(dialog, dialog.Button1), QStringList{"Invalid file size value."});
    dialog.teFileSize->setText("-3");
    EXPECT_EQ(pressOk(dialog, dialog.Button1), QStringList{"Invalid file size value."});
    EXPECT_EQ(ex.size, -1);
    dialog.teFileSize->setText("0");
    EXPECT_TRUE(pressOk(dialog, dialog.Button1).isEmpty());
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_EQ(ex.size, 0);
    EXPECT_EQ(ex.comparison, cmpGreater);
}

TEST(FileSizeDialog, PrefillsAndWritesTheComparison) {
    ParamExchange ex;
    ex.size = 500;
    ex.comparison = 1;  // anything but 2 is "less than"
    FileSizeDialog dialog(ex);
    EXPECT_TRUE(dialog.rblt->isChecked());
    EXPECT_EQ(dialog.teFileSize->text(), "500");
    EXPECT_TRUE(pressOk(dialog, dialog.Button1).isEmpty());
    EXPECT_EQ(ex.comparison, cmpLess);
    ex.comparison = cmpGreater;
    FileSizeDialog second(ex);
    EXPECT_TRUE(second.rbgt->isChecked());
    second.rblt->setChecked(true);
    second.teFileSize->setText("64");
    EXPECT_TRUE(pressOk(second, second.Button1).isEmpty());
    EXPECT_EQ(ex.comparison, cmpLess);
    EXPECT_EQ(ex.size, 64);
}

TEST(FileDateDialog, NewConditionShowsGreaterThanTenAndArrowsStayInRange) {
    ParamExchange ex;
    ex.days = -1;
    FileDateDialog dialog(ex);
    EXPECT_EQ(dialog.windowTitle(), "File Date Definition");
    EXPECT_TRUE(dialog.rbgt->isChecked());
    EXPECT_EQ(dialog.teDays->text(), "10");
    dialog.UpDown1->btnUp->click();
    EXPECT_EQ(dialog.teDays->text(), "11");
    dialog.UpDown1->btnDown->click();
    dialog.UpDown1->btnDown->click();
    EXPECT_EQ(dialog.teDays->text(), "9");
    dialog.teDays->setText("100");
    dialog.UpDown1->btnUp->click();
    EXPECT_EQ(dialog.teDays->text(), "100");  // no wrap at the top
    dialog.teDays->setText("0");
    dialog.UpDown1->btnDown->click();
    EXPECT_EQ(dialog.teDays->text(), "0");  // nor at the bottom
    dialog.teDays->setText("365");          // typed beyond the arrows' range: the arrows clamp
    dialog.UpDown1->btnDown->click();
    EXPECT_EQ(dialog.teDays->text(), "99");
    dialog.teDays->setText("junk");  // not a number: the arrows go on from their position
    dialog.UpDown1->btnUp->click();
    EXPECT_EQ(dialog.teDays->text(), "100");
    QTest::keyClick(dialog.teDays, Qt::Key_Down);
    EXPECT_EQ(dialog.teDays->text(), "99");
}

TEST(FileDateDialog, ValidatesAndWritesDays) {
    ParamExchange ex;
    ex.days = 30;
    ex.comparison = cmpLess;
    FileDateDialog dialog(ex);
    EXPECT_TRUE(dialog.rblt->isChecked());
    EXPECT_EQ(dialog.teDays->text(), "30");
    dialog.teDays->setText("x");
    EXPECT_EQ(pressOk(dialog, dialog.Button1), QStringList{"Invalid number of days."});
    dialog.teDays->setText("-1");
    EXPECT_EQ(pressOk(dialog, dialog.Button1), QStringList{"Invalid number of days."});
    dialog.teDays->setText("365");  // typed values are not limited to the arrows' range
    dialog.rbgt->setChecked(true);
    EXPECT_TRUE(pressOk(dialog, dialog.Button1).isEmpty());
    EXPECT_EQ(ex.days, 365);
    EXPECT_EQ(ex.comparison, cmpGreater);
}

TEST(FolderDialog, PromptFollowsTheLinkAndPrefillSkipsSpecified) {
    ParamExchange ex;
    ex.linkName = "rMove";
    ex.linkText = "specified";
    FolderDialog move(ex);
    EXPECT_EQ(move.windowTitle(), "Enter Path");
    EXPECT_EQ(move.Label1->text(), "Enter path to move file to:");
    EXPECT_EQ(move.tePath->text(), "");
    ex.linkName = "rCopy";
    ex.linkText = "/srv/keep";
    FolderDialog copy(ex);
    EXPECT_EQ(copy.Label1->text(), "Enter path to copy to");
    EXPECT_EQ(copy.tePath->text(), "/srv/keep");
}

TEST(FolderDialog, AcceptsOnlyAnExistingDirectoryAsTyped) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString file = dir.filePath("a file");
    QFile f(file);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.close();
    ParamExchange ex;
    ex.linkName = "rMove";
    ex.linkText = "specified";
    FolderDialog dialog(ex);
    for (const QString& bad : {file, dir.filePath("missing"), QString()}) {
        dialog.tePath->setText(bad);
        EXPECT_EQ(pressOk(dialog, dialog.Button2), QStringList{"Path does not exist"})
            << bad.toStdString();
        EXPECT_TRUE(dialog.isVisible());
    }
    const QString withSlash = dir.path() + "/";
    dialog.tePath->setText(withSlash);
    EXPECT_TRUE(pressOk(dialog, dialog.Button2).isEmpty());
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_EQ(ex.path, withSlash);
}

TEST(FolderDialog, BrowseOpensAtTheFolderTheFieldHolds) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString held = QDir(dir.path()).absolutePath();
    ParamExchange ex;
    ex.linkName = "rMove";
    ex.linkText = held;
    FolderDialog dialog(ex);
    dialog.show();
    QString start;
    auto browse = [&] {
        QTimer::singleShot(50, [&] {
            auto* chooser = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
            ASSERT_NE(chooser, nullptr);
            EXPECT_EQ(chooser->objectName(), "BrowseForFolder1");
            start = chooser->directory().absolutePath();
            chooser->reject();
        });
        QTest::mouseClick(dialog.Button1, Qt::LeftButton);
    };
    browse();
    EXPECT_EQ(start, held);
    EXPECT_EQ(dialog.tePath->text(), held);  // a cancel changes nothing
    dialog.tePath->setText(held + "/not there");
    browse();
    EXPECT_EQ(start, QDir::homePath());
}

TEST(LaunchDialog, PrefillValidationAndResult) {
    ParamExchange ex;
    ex.linkText = "specified";
    ex.parameters = "-q mfile";
    LaunchDialog empty(ex);
    EXPECT_EQ(empty.windowTitle(), "Enter Program/Script to Launch");
    EXPECT_EQ(empty.teProgram->text(), "");
    EXPECT_EQ(empty.teParam->text(), "");
    EXPECT_EQ(pressOk(empty, empty.Button2), QStringList{"Please enter a filename"});
    EXPECT_TRUE(empty.isVisible());

    ex.linkText = "/usr/bin/player";
    LaunchDialog dialog(ex);
    EXPECT_EQ(dialog.teProgram->text(), "/usr/bin/player");
    EXPECT_EQ(dialog.teParam->text(), "-q mfile");
    dialog.teProgram->setText("/no/such/program");  // existence is not checked
    dialog.teParam->clear();
    EXPECT_TRUE(pressOk(dialog, dialog.Button2).isEmpty());
    EXPECT_EQ(ex.path, "/no/such/program");
    EXPECT_EQ(ex.parameters, "");
}

RuleRec ruleWithFtp() {
    RuleRec rule;
    ruleactionrec del;
    del.raction = actDelete;
    ruleactionrec ftp;
    ftp.raction = actFtp;
    rule.actions = {del, ftp, ftp};
    return rule;
}

TEST(ParamDialogs, TheNumberFieldHasTheCursorSoTypedDigitsLandThere) {
    ParamExchange ex;
    ex.size = 700;
    ex.comparison = cmpGreater;
    FileSizeDialog size(ex);
    EXPECT_EQ(size.focusWidget(), size.teFileSize);
    EXPECT_EQ(size.teFileSize->selectedText(), "700");
    ParamExchange days;
    days.days = -1;
    FileDateDialog date(days);
    EXPECT_EQ(date.focusWidget(), date.teDays);
}

TEST(FtpOptionsDialog, NewActionShowsTheDefaults) {
    RuleRec rule = ruleWithFtp();
    FtpOptionsDialog dialog(rule);
    EXPECT_EQ(dialog.windowTitle(), "FTP Options");
    EXPECT_EQ(dialog.PageControl1->currentIndex(), 0);
    EXPECT_EQ(dialog.PageControl1->tabText(0), "FTP Options");
    EXPECT_EQ(dialog.PageControl1->tabText(1), "Transfer Options");
    EXPECT_EQ(dialog.teFTPPort->text(), "21");
    EXPECT_EQ(dialog.teFTPServer->text(), "");
    // A new upload sends files unchanged, in passive mode.
    EXPECT_TRUE(dialog.rbBinary->isChecked());
    EXPECT_TRUE(dialog.chkPassive->isChecked());
    EXPECT_EQ(dialog.teFTPPass->echoMode(), QLineEdit::Password);
    EXPECT_EQ(dialog.cbSecurity->currentIndex(), 0);
    EXPECT_FALSE(dialog.teKeyFile->isEnabled());
}

TEST(FtpOptionsDialog, TheConnectionChoiceAndTheServerFieldFollowEachOther) {
    RuleRec rule = ruleWithFtp();
    FtpOptionsDialog dialog(rule);
    dialog.teFTPServer->setText("files.example.org");
    dialog.cbSecurity->setCurrentIndex(3);
    emit dialog.cbSecurity->activated(3);
    EXPECT_EQ(dialog.teFTPServer->text(), "sftp://files.example.org");
    EXPECT_EQ(dialog.teFTPPort->text(), "22");
    EXPECT_TRUE(dialog.teKeyFile->isEnabled());
    EXPECT_FALSE(dialog.rbASCII->isEnabled());
    EXPECT_EQ(dialog.btnTrust->text(), "Trust this server's host key...");

    // Typed by hand: the choice follows, a port of one's own stays.
    dialog.teFTPPort->setText("2222");
    QTest::keyClicks(dialog.teFTPServer, "x");
    dialog.teFTPServer->clear();
    QTest::keyClicks(dialog.teFTPServer, "ftpes://nas");
    EXPECT_EQ(dialog.cbSecurity->currentIndex(), 1);
    EXPECT_EQ(dialog.teFTPPort->text(), "2222");
    EXPECT_EQ(dialog.btnTrust->text(), "Accept this server's certificate...");
    dialog.cbSecurity->setCurrentIndex(0);
    emit dialog.cbSecurity->activated(0);
    EXPECT_EQ(dialog.teFTPServer->text(), "nas");

    // A scheme without a host is no server.
    const QString server = dialog.teFTPServer->text();
    dialog.teFTPServer->setText("sftp://");
    EXPECT_EQ(pressOk(dialog, dialog.Button1), QStringList{"FTP server name required"});
    dialog.teFTPServer->setText(server);

    // Refused on the Transfer Options tab: the field's own tab is shown.
    dialog.show();
    dialog.PageControl1->setCurrentIndex(1);
    dialog.teFTPUser->clear();
    EXPECT_EQ(pressOk(dialog, dialog.Button1), QStringList{"FTP username required"});
    EXPECT_EQ(dialog.PageControl1->currentIndex(), 0);
    EXPECT_EQ(dialog.focusWidget(), dialog.teFTPUser);

    // An SFTP login with a key needs no password; the key goes with the action.
    dialog.cbSecurity->setCurrentIndex(3);
    emit dialog.cbSecurity->activated(3);
    dialog.teFTPUser->setText("me");
    dialog.teKeyFile->setText("/home/me/.ssh/backup");
    EXPECT_TRUE(pressOk(dialog, dialog.Button1).isEmpty());
    const racftp& ftp = rule.actions[1].ftp;
    EXPECT_EQ(ftp.ftpserver, "sftp://nas");
    EXPECT_EQ(ftp.ftpport, 2222);
    EXPECT_EQ(ftp.keyFile, "/home/me/.ssh/backup");
    EXPECT_EQ(ftp.ftppass, "");
    EXPECT_FALSE(ftp.passwordInKeyring);
}

TEST(FtpOptionsDialog, AsciiIsWarnedAboutUnlessTheRuleTakesOnlyTextAndAPinShows) {
    RuleRec rule = ruleWithFtp();
    rule.actions[1].ftp = {"ftpes://nas",  "/in", 21, "u", "p", true, true, {},
                           "sha256//abc=", false};
    FtpOptionsDialog dialog(rule);
    dialog.show();
    dialog.PageControl1->setCurrentIndex(1);
    EXPECT_TRUE(dialog.lblAsciiWarning->isVisible());
    dialog.rbBinary->setChecked(true);
    EXPECT_FALSE(dialog.lblAsciiWarning->isVisible());
    EXPECT_EQ(dialog.lblTrust->text(), "Accepted key: sha256//abc=");
    EXPECT_TRUE(pressOk(dialog, dialog.Button1).isEmpty());
    EXPECT_EQ(rule.actions[1].ftp.pinnedKey, "sha256//abc=");

    RuleRec text = ruleWithFtp();
    ruleacondrec ext;
    ext.fileext.ext = "txt;nfo";
    text.conds = {ext};
    text.actions[1].ftp = {"host", "/in", 21, "u", "p", true, true, {}, {}, false};
    FtpOptionsDialog forText(text);
    forText.show();
    forText.PageControl1->setCurrentIndex(1);
    EXPECT_FALSE(forText.lblAsciiWarning->isVisible());
}

TEST(FtpOptionsDialog, ChecksInOrderThenWritesTheFirstFtpAction) {
    RuleRec rule = ruleWithFtp();
    const RuleRec before = rule;
    FtpOptionsDialog dialog(rule);
    dialog.teFTPPort->setText("port");
    EXPECT_EQ(pressOk(dialog, dialog.Button1), QStringList{"Invalid port number"});
    // Only real TCP ports: 1 to 65535.
    for (const char* bad : {"0", "-5", "65536", "70000"}) {
        dialog.teFTPPort->setText(bad);
        EXPECT_EQ(pressOk(dialog, dialog.Button1), QStringList{"Invalid port number"}) << bad;
    }
    dialog.teFTPPort->setText("1");
    EXPECT_EQ(pressOk(dialog, dialog.Button1), QStringList{"FTP server name required"});
    dialog.teFTPPort->setText("65535");
    EXPECT_EQ(pressOk(dialog, dialog.Button1), QStringList{"FTP server name required"});
    dialog.teFTPServer->setText("files.example.org");
    EXPECT_EQ(pressOk(dialog, dialog.Button1), QStringList{"FTP username required"});
    dialog.teFTPUser->setText("anna");
    EXPECT_EQ(pressOk(dialog, dialog.Button1), QStringList{"FTP password required"});
    EXPECT_EQ(rule, before);  // nothing written while refused
    dialog.teFTPPass->setText("s3cret");
    dialog.rbBinary->setChecked(true);
    dialog.chkPassive->setChecked(true);
    EXPECT_TRUE(pressOk(dialog, dialog.Button1).isEmpty());
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    const racftp& ftp = rule.actions[1].ftp;
    EXPECT_EQ(ftp.ftpport, 65535);
    EXPECT_EQ(ftp.ftpserver, "files.example.org");
    EXPECT_EQ(ftp.ftppath, "");
    EXPECT_EQ(ftp.ftpuser, "anna");
    EXPECT_EQ(ftp.ftppass, "s3cret");
    EXPECT_FALSE(ftp.ftpascmode);
    EXPECT_TRUE(ftp.ftppassive);
    EXPECT_EQ(rule.actions[2], before.actions[2]);  // only the first FTP action
}

TEST(FtpOptionsDialog, PrefillsFromAnActionWithAServer) {
    RuleRec rule = ruleWithFtp();
    racftp& ftp = rule.actions[1].ftp;
    ftp = {"host", "/in", 2121, "u", "p", false, true, {}, {}, false};
    FtpOptionsDialog dialog(rule);
    EXPECT_EQ(dialog.teFTPServer->text(), "host");
    EXPECT_EQ(dialog.teFTPPort->text(), "2121");
    EXPECT_EQ(dialog.teFTPPath->text(), "/in");
    EXPECT_EQ(dialog.teFTPUser->text(), "u");
    EXPECT_EQ(dialog.teFTPPass->text(), "p");
    EXPECT_TRUE(dialog.rbBinary->isChecked());
    EXPECT_TRUE(dialog.chkPassive->isChecked());
    dialog.show();
    dialog.Button2->click();
    EXPECT_EQ(dialog.result(), QDialog::Rejected);
    EXPECT_EQ(rule.actions[1].ftp.ftpserver, "host");
}

TEST(ParamDialogs, CentreOnThePointerButStayOnItsScreen) {
    QScreen* screen = QGuiApplication::primaryScreen();
    ASSERT_NE(screen, nullptr);
    const QRect avail = screen->availableGeometry();
    ParamExchange ex;
    ex.linkText = "specified";
    QCursor::setPos(avail.center());
    {
        LaunchDialog dialog(ex);
        const QRect g(dialog.pos(), dialog.frameSize());
        EXPECT_LE(std::abs(g.center().x() - avail.center().x()), 1);
        EXPECT_LE(std::abs(g.center().y() - avail.center().y()), 1);
    }
    QCursor::setPos(avail.bottomRight());
    LaunchDialog corner(ex);
    EXPECT_TRUE(avail.contains(QRect(corner.pos(), corner.frameSize())));
}

TEST(ParamDialogs, WarningsSitAtTheDialogsCornerExceptTheMissingPath) {
    QScreen* screen = QGuiApplication::primaryScreen();
    QCursor::setPos(screen->availableGeometry().topLeft() + QPoint(300, 300));
    ParamExchange ex;
    ex.linkText = "specified";
    LaunchDialog launch(ex);
    launch.show();
    {
        BoxAnswerer boxes;
        launch.Button2->click();
        ASSERT_EQ(boxes.seen.size(), 1u);
        EXPECT_EQ(boxes.seen[0].title, "Warning");
        EXPECT_EQ(boxes.seen[0].icon, QMessageBox::Warning);
        EXPECT_EQ(boxes.seen[0].pos, launch.frameGeometry().topLeft());
    }
    ex.linkName = "rMove";
    FolderDialog path(ex);
    path.show();
    BoxAnswerer boxes;
    path.Button2->click();
    ASSERT_EQ(boxes.seen.size(), 1u);
    EXPECT_NE(boxes.seen[0].pos, path.frameGeometry().topLeft());
}

}  // namespace
}  // namespace kb
