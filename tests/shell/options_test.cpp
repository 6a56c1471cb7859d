// The options dialog, the about box, the help window and the Links entries,
// driven through their widgets in a private configuration directory.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QFile>
#include <QLabel>
#include <QListWidget>
#include <QMainWindow>
#include <QMenu>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QRegularExpression>
#include <QScrollBar>
#include <QTest>
#include <QTextBrowser>
#include <QTimer>
#include <QToolButton>
#include <cstring>
#include <filesystem>
#include <functional>

#include "gui_modal.h"
#include "platform/autostart.h"
#include "platform/paths.h"
#include "platform/registry.h"
#include "platform/shellopen.h"
#include "platform/xdg_sandbox.h"
#include "shell/about.h"
#include "shell/additional.h"
#include "shell/help.h"
#include "shell/links.h"
#include "store/additionaloptions.h"

namespace {

using namespace kb;

constexpr char kExe[] = "/opt/kestrelbox/kestrelbox";

using kbtest::ModalAnswerer;

// Records every message box (text, title, icon, position) and presses its OK.
struct BoxRecorder {
    QStringList texts;
    QList<QPoint> positions;
    QList<QMessageBox::Icon> icons;
    ModalAnswerer answerer{[this](QWidget* w) {
        auto* box = qobject_cast<QMessageBox*>(w);
        if (!box) return;
        texts << box->text();
        positions << box->pos();
        icons << box->icon();
        QTest::mouseClick(box->button(QMessageBox::Ok), Qt::LeftButton);
    }};
};

std::string Entry() {
    std::string command = "<none>";
    ReadAutoStartEntry(kAppTitle, command);
    return command;
}

class OptionsTest : public ::testing::Test {
protected:
    void SetUp() override {
        main_.setGeometry(100, 100, 440, 400);
        main_.show();
    }
    void TearDown() override { SetShellOpenProgram(""); }

    // A stand-in for the desktop's opener that records its one argument.
    void UseOpener(int exitCode) {
        const std::string path = box_.Root() + "/opener.sh";
        test::XdgSandbox::Write(path, "#!/bin/sh\nprintf '%s' \"$1\" > \"" + OpenedFile() +
                                          "\"\nexit " + std::to_string(exitCode) + "\n");
        chmod(path.c_str(), 0755);
        std::filesystem::remove(OpenedFile());
        SetShellOpenProgram(path);
    }
    std::string OpenedFile() const { return box_.Root() + "/opened"; }
    std::string Opened() const {
        return std::filesystem::exists(OpenedFile()) ? test::XdgSandbox::Read(OpenedFile())
                                                     : "<nothing>";
    }

    test::XdgSandbox box_;
    QMainWindow main_;
};

// ---- Additional Options ------------------------------------------------------

TEST_F(OptionsTest, AdditionalOptionsShowsTheSwitchAsStored) {
    AdditionalOptions s;
    s.AutoStart = false;
    AdditionalOptionsDialog off(s, kExe, &main_);
    EXPECT_EQ(off.windowTitle(), "Additional Options");
    EXPECT_EQ(off.height(), 106);
    EXPECT_GE(off.width(), 262);
    // The caption is never cut off.
    EXPECT_GE(off.chkAuto->width(), off.chkAuto->sizeHint().width());
    EXPECT_EQ(off.chkAuto->text(), "Auto-Start Kestrelbox on Windows Startup");
    EXPECT_EQ(off.findChild<QCheckBox*>("chkAuto"), off.chkAuto);
    EXPECT_FALSE(off.chkAuto->isChecked());
    EXPECT_EQ(off.BitBtn1->text(), "OK");
    EXPECT_EQ(off.BitBtn2->text(), "Cancel");
    EXPECT_TRUE(off.BitBtn1->isDefault());

    s.AutoStart = true;
    AdditionalOptionsDialog on(s, kExe, &main_);
    EXPECT_TRUE(on.chkAuto->isChecked());
}

TEST_F(OptionsTest, UncheckingAndOkRemovesTheEntryAtOnceButSavesTheFlagLater) {
    AdditionalOptions s;
    SaveAdditionalOptions(s);
    UpdateRunEntry(s, kExe);
    ASSERT_EQ(Entry(), std::string(kExe) + " startup");

    // Cancel first: nothing changes.
    {
        AdditionalOptionsDialog dlg(s, kExe, &main_);
        dlg.show();
        dlg.chkAuto->setChecked(false);
        QTest::mouseClick(dlg.BitBtn2, Qt::LeftButton);
        EXPECT_EQ(dlg.result(), QDialog::Rejected);
        EXPECT_TRUE(s.AutoStart);
        EXPECT_EQ(Entry(), std::string(kExe) + " startup");
    }
    // Esc is Cancel too.
    {
        AdditionalOptionsDialog dlg(s, kExe, &main_);
        dlg.show();
        dlg.chkAuto->setChecked(false);
        QTest::keyClick(&dlg, Qt::Key_Escape);
        EXPECT_EQ(dlg.result(), QDialog::Rejected);
        EXPECT_TRUE(s.AutoStart);
    }
    {
        AdditionalOptionsDialog dlg(s, kExe, &main_);
        dlg.show();
        dlg.chkAuto->setChecked(false);
        QTest::mouseClick(dlg.BitBtn1, Qt::LeftButton);
        EXPECT_EQ(dlg.result(), QDialog::Accepted);
    }
    EXPECT_FALSE(s.AutoStart);
    EXPECT_EQ(Entry(), "<none>");
    std::int32_t stored = -1;
    ASSERT_EQ(ReadRegInteger(RegRoot::LocalMachine, kProgramKey, "AutoStart", stored), 0);
    EXPECT_EQ(stored, 1);
}

TEST_F(OptionsTest, OkWithTheBoxCheckedWritesTheEntryAgain) {
    AdditionalOptions s;
    WriteAutoStartEntry(kAppTitle, "/somewhere/else/kestrelbox");
    AdditionalOptionsDialog dlg(s, kExe, &main_);
    dlg.show();
    ASSERT_TRUE(dlg.chkAuto->isChecked());
    QTest::keyClick(&dlg, Qt::Key_Return);
    EXPECT_EQ(dlg.result(), QDialog::Accepted);
    EXPECT_TRUE(s.AutoStart);
    EXPECT_EQ(Entry(), std::string(kExe) + " startup");
}

TEST_F(OptionsTest, AnEntryThatCannotBeWrittenIsReportedAndTheDialogStaysOpen) {
    AdditionalOptions s;
    s.AutoStart = false;
    box_.MakeConfigUnwritable();
    AdditionalOptionsDialog dlg(s, kExe, &main_);
    dlg.show();
    dlg.chkAuto->setChecked(true);
    BoxRecorder boxes;
    QTest::mouseClick(dlg.BitBtn1, Qt::LeftButton);
    ASSERT_EQ(boxes.texts.size(), 1);
    EXPECT_EQ(boxes.texts[0], QString::fromLocal8Bit(std::strerror(ENOTDIR)));
    EXPECT_TRUE(dlg.isVisible());
    EXPECT_FALSE(s.AutoStart);
}

// ---- About -------------------------------------------------------------------

TEST_F(OptionsTest, TheAboutBoxShowsTheProgramsTexts) {
    AboutDialog about(&main_);
    EXPECT_EQ(about.windowTitle(), "About Kestrelbox");
    EXPECT_EQ(about.size(), QSize(247, 153));
    EXPECT_EQ(about.lblPName->text(), "Kestrelbox");
    EXPECT_TRUE(about.lblPName->font().bold());
    EXPECT_EQ(about.lblVersion->text(), "Version 1.00");
    EXPECT_EQ(about.Label1->text(), "Build 2");
    EXPECT_EQ(about.lblComment->text(), "Thank you for using Kestrelbox.");
    EXPECT_TRUE(about.lblComment->wordWrap());
    EXPECT_FALSE(about.Image1->pixmap().isNull());
    about.show();
    QTest::mouseClick(about.Button1, Qt::LeftButton);
    EXPECT_FALSE(about.isVisible());
    EXPECT_EQ(about.result(), QDialog::Accepted);
}

// ---- Help --------------------------------------------------------------------

QString SourceHelpFile() { return QStringLiteral(KB_SOURCE_DIR "/resources/kestrbx.hlp"); }

TEST_F(OptionsTest, AMissingHelpFileIsNamedInFullAtTheMainWindowsCorner) {
    const QString dir = QString::fromStdString(box_.Root()) + "/program/";
    BoxRecorder boxes;
    EXPECT_EQ(ShowHelpContents(&main_, dir), nullptr);
    ASSERT_EQ(boxes.texts.size(), 1);
    EXPECT_EQ(boxes.texts[0], "Unable to find help file: " + dir + "kestrbx.hlp");
    EXPECT_EQ(boxes.icons[0], QMessageBox::Warning);
    EXPECT_EQ(boxes.positions[0], main_.frameGeometry().topLeft());
}

TEST_F(OptionsTest, TheHelpFileIsShownWithWorkingSectionLinks) {
    const QString dir = QString::fromStdString(box_.Root()) + "/program/";
    std::filesystem::create_directories(dir.toStdString());
    ASSERT_TRUE(QFile::copy(SourceHelpFile(), dir + "kestrbx.hlp"))
        << SourceHelpFile().toStdString();

    HelpWindow* w = ShowHelpContents(&main_, dir);
    ASSERT_NE(w, nullptr);
    EXPECT_TRUE(w->isVisible());
    EXPECT_EQ(w->windowTitle(), "Kestrelbox Help");
    EXPECT_EQ(w->FilePath(), dir + "kestrbx.hlp");
    // One help window, reused.
    EXPECT_EQ(ShowHelpContents(&main_, dir), w);

    // Every section link of the file leads to an anchor that exists.
    QFile f(dir + "kestrbx.hlp");
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QString html = QString::fromUtf8(f.readAll());
    QStringList targets;
    for (const auto& m : QRegularExpression("href=\"#([^\"]+)\"").globalMatch(html))
        targets << m.captured(1);
    EXPECT_GE(targets.size(), 12);
    for (const QString& t : targets)
        EXPECT_TRUE(html.contains("name=\"" + t + "\"")) << "no section " << t.toStdString();
    // The topics the help must cover.
    for (const char* topic : {"services", "rules", "triggers", "conditions", "actions", "masks",
                              "mfile", "ftp", "files", "autostart", "support"})
        EXPECT_TRUE(targets.contains(topic)) << topic;

    // The Links entries open their sections further down the page (a small
    // window, so no section sits on the last screenful).
    w->resize(400, 200);
    QScrollBar* bar = w->Browser->verticalScrollBar();
    ShowHelpContents(&main_, dir);
    EXPECT_EQ(bar->value(), 0);
    OpenSupportLink(&main_, dir);
    const int support = bar->value();
    EXPECT_GT(support, 0);
    OpenForumsLink(&main_, dir);
    const int questions = bar->value();
    OpenAuthorLink(&main_, dir);
    EXPECT_GT(questions, support);
    EXPECT_GE(bar->value(), questions);

    // A section link scrolls without the desktop's opener; others go to it.
    UseOpener(0);
    emit w->Browser->anchorClicked(QUrl("#top"));
    EXPECT_LT(bar->value(), support / 10);
    EXPECT_EQ(Opened(), "<nothing>");
    emit w->Browser->anchorClicked(QUrl("https://example.org/a?b=1&c=2"));
    EXPECT_EQ(Opened(), "https://example.org/a?b=1&c=2");
    w->close();
}

TEST_F(OptionsTest, TheHelpWindowHasContentsHistoryAndClosesLikeADocumentWindow) {
    const QString dir = QString::fromStdString(box_.Root()) + "/program/";
    std::filesystem::create_directories(dir.toStdString());
    ASSERT_TRUE(QFile::copy(SourceHelpFile(), dir + "kestrbx.hlp"));
    main_.setGeometry(0, 0, 300, 300);  // the offscreen screen is small
    main_.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&main_));

    QPointer<HelpWindow> w = ShowHelpContents(&main_, dir);
    ASSERT_TRUE(w);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(w.data()));
    // Beside the main window, not over it.
    EXPECT_FALSE(w->frameGeometry().intersects(main_.frameGeometry()))
        << w->frameGeometry().x() << "," << w->frameGeometry().y();

    // The contents list: every section heading of the file, in order.
    QStringList lines;
    for (int i = 0; i < w->Contents->count(); ++i) lines << w->Contents->item(i)->text();
    ASSERT_GE(lines.size(), 12);
    EXPECT_EQ(lines[0], "Kestrelbox Help");
    EXPECT_EQ(lines[1], "Services");
    EXPECT_TRUE(lines.contains("Exclusion masks"));
    EXPECT_TRUE(lines.contains("FTP options"));

    // Choosing a line shows its section; Back and Forward walk the sections seen.
    w->resize(500, 250);
    QScrollBar* bar = w->Browser->verticalScrollBar();
    EXPECT_FALSE(w->BackButton->isEnabled());
    const int masks = lines.indexOf("Exclusion masks");
    emit w->Contents->itemClicked(w->Contents->item(masks));
    const int atMasks = bar->value();
    EXPECT_GT(atMasks, 0);
    emit w->Browser->anchorClicked(QUrl("#support"));
    const int atSupport = bar->value();
    EXPECT_GT(atSupport, atMasks);
    EXPECT_EQ(w->Contents->currentRow(), lines.indexOf("When something goes wrong"));
    EXPECT_TRUE(w->BackButton->isEnabled());
    EXPECT_FALSE(w->ForwardButton->isEnabled());
    QTest::mouseClick(w->BackButton, Qt::LeftButton);
    EXPECT_EQ(bar->value(), atMasks);
    EXPECT_EQ(w->Contents->currentRow(), masks);
    QTest::keyClick(w.data(), Qt::Key_Left, Qt::AltModifier);
    EXPECT_EQ(bar->value(), 0);
    EXPECT_FALSE(w->BackButton->isEnabled());
    QTest::mouseClick(w->ForwardButton, Qt::LeftButton);
    QTest::keyClick(w.data(), Qt::Key_Right, Qt::AltModifier);
    EXPECT_EQ(bar->value(), atSupport);
    EXPECT_FALSE(w->ForwardButton->isEnabled());
    // A new step from the middle drops the steps ahead.
    w->GoBack();
    emit w->Browser->anchorClicked(QUrl("#ftp"));
    EXPECT_FALSE(w->ForwardButton->isEnabled());

    // Esc closes it, and so does Ctrl+W.
    w->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(w.data()));
    QTest::keyClick(w->Browser, Qt::Key_Escape);
    QTRY_VERIFY(!w);
    w = ShowHelpContents(&main_, dir);
    ASSERT_TRUE(w);
    w->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(w.data()));
    QTest::keyClick(w->Contents, Qt::Key_W, Qt::ControlModifier);
    QTRY_VERIFY(!w);
}

TEST(HelpWindowPlace, RightOfTheMainWindowElseLeftElseNarrowedElseOnTheRoomierSide) {
    const QRect screen(0, 0, 1920, 1080);
    const QSize help(760, 560);
    EXPECT_EQ(HelpWindowPlace(QRect(50, 50, 440, 400), help, screen), QRect(498, 50, 760, 560));
    EXPECT_EQ(HelpWindowPlace(QRect(1400, 600, 440, 400), help, screen), QRect(632, 520, 760, 560));
    const QRect small(0, 0, 1024, 768);
    // Narrowed to the room to the right (1024 - 540 - 8).
    EXPECT_EQ(HelpWindowPlace(QRect(100, 0, 440, 400), help, small), QRect(548, 0, 476, 560));
    // No readable room on either side: against the edge farther from it.
    EXPECT_EQ(HelpWindowPlace(QRect(200, 0, 440, 400), help, small), QRect(264, 0, 760, 560));
    EXPECT_EQ(HelpWindowPlace(QRect(400, 0, 440, 400), help, small), QRect(0, 0, 760, 560));
}

// ---- Links -------------------------------------------------------------------

TEST_F(OptionsTest, ProductEntriesOpenTheProgramsFolders) {
    UseOpener(0);
    QMenu links;
    AddProductLinkEntries(&links, &main_, "/opt/kestrelbox/");
    const QList<QAction*> actions = links.actions();
    ASSERT_EQ(actions.size(), 3);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(actions[i]->objectName(), ProductLinks()[i].objectName);
        EXPECT_EQ(actions[i]->text(), ProductLinks()[i].caption);
    }
    BoxRecorder boxes;
    actions[0]->trigger();
    EXPECT_EQ(Opened(), "/opt/kestrelbox/");
    actions[1]->trigger();
    EXPECT_EQ(Opened(), AppConfigDir());
    actions[2]->trigger();
    EXPECT_EQ(Opened(), box_.Config() + "/autostart");
    EXPECT_TRUE(boxes.texts.isEmpty());
}

TEST_F(OptionsTest, AnAddressTheDesktopCannotOpenShowsTheMessageCentred) {
    UseOpener(3);
    BoxRecorder boxes;
    EXPECT_EQ(ShellOpenReporting(&main_, "/no/such/folder"), -1);
    OpenProductLink(0, &main_, "/opt/kestrelbox/");
    ASSERT_EQ(boxes.texts.size(), 2);
    EXPECT_EQ(boxes.texts[0], "Error starting player program.");
    EXPECT_EQ(boxes.texts[1], "Error starting player program.");
    EXPECT_EQ(boxes.icons[0], QMessageBox::Question);
    EXPECT_TRUE(main_.isVisible());

    UseOpener(0);
    EXPECT_EQ(ShellOpenReporting(&main_, "/tmp"), 0);
    EXPECT_EQ(boxes.texts.size(), 2);
}

}  // namespace
