// The add/edit service dialog driven through its real widgets over a real
// service table; modal boxes and the folder chooser are answered from a timer.
#include "shell/addservice.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QFontMetrics>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <functional>
#include <string>

#include "gui_modal.h"
#include "runtime/servicecontext.h"
#include "ui/folderchooser.h"
#include "ui/placement.h"

namespace {

using namespace kb;

class DialogContext : public ServiceContext {
public:
    DialogContext() { store.InitServiceTable(nullptr); }

    ServiceStore store;
    int othersLine = -1;
    QWidget* mainWindow = nullptr;

    ServiceStore& Store() override { return store; }
    std::uint8_t CurrentServiceId() const override { return sidOther; }
    int CurrentServiceIndex() const override {
        return othersLine < 0 ? -1 : store.FindAdditional(othersLine + 1);
    }
    void BuildRuleLists(std::uint8_t) override {}
    void SaveConfig() override {}
    QWidget* MainWindow() const override { return mainWindow; }

    rServiceRules& additional(int othernum) {
        return store.ServiceTable[store.FindAdditional(othernum)];
    }
};

using kbtest::ModalAnswerer;

// Records the text and position of every warning box and presses its OK.
struct WarningRecorder {
    QStringList texts;
    QList<QPoint> positions;
    ModalAnswerer answerer{[this](QWidget* w) {
        auto* box = qobject_cast<QMessageBox*>(w);
        ASSERT_NE(box, nullptr);
        texts << box->text();
        positions << box->pos();
        QTest::mouseClick(box->button(QMessageBox::Ok), Qt::LeftButton);
    }};
};

class AddServiceDialogTest : public ::testing::Test {
protected:
    void addService(const std::string& name, const std::string& dir, bool enabled) {
        const int idx = ctx.store.AppendAdditional(name, dir, "*.dat");
        ctx.store.ServiceTable[idx].enabled = enabled;
    }
    static void pressOk(AddServiceDialog& dlg) { QTest::mouseClick(dlg.Button1, Qt::LeftButton); }

    DialogContext ctx;
};

TEST_F(AddServiceDialogTest, AddModeOpensEmptyWithItsCaptionAndFixedLayout) {
    // In a font as narrow as the one the layout was drawn for, every caption
    // fits on its line and the layout is exactly the fixed one.
    const QFont desktop = QApplication::font();
    QFont narrow = desktop;
    narrow.setPointSizeF(6.5);
    QApplication::setFont(narrow);
    {
        AddServiceDialog dlg(ctx, false);
        EXPECT_EQ(dlg.size(), QSize(295, 178));
        EXPECT_EQ(dlg.teExclude->geometry().topLeft(), QPoint(8, 112));
        EXPECT_FALSE(dlg.findChild<QLabel*>("Label3")->wordWrap());
    }
    QApplication::setFont(desktop);

    AddServiceDialog dlg(ctx, false);
    EXPECT_EQ(dlg.windowTitle(), "Add Service");
    EXPECT_TRUE(dlg.teService->text().isEmpty());
    EXPECT_TRUE(dlg.teSharedDir->text().isEmpty());
    EXPECT_TRUE(dlg.teExclude->text().isEmpty());
    const QLabel* masks = dlg.findChild<QLabel*>("Label3");
    EXPECT_EQ(masks->text(), "Enter Files To Be Excluded From Rules (Ex. *.dat;kazaa*)");
    // The caption is in the dialog's own font, as the others are, and whole:
    // where it is wider than the dialog it takes a second line and what is
    // below it moves down by that line.
    EXPECT_EQ(masks->font(), dlg.findChild<QLabel*>("Label1")->font());
    EXPECT_EQ(masks->font().pointSizeF(), desktop.pointSizeF());
    EXPECT_LE(masks->geometry().right(), dlg.width());
    EXPECT_GE(masks->height(), masks->heightForWidth(masks->width()));
    const int extra = dlg.height() - 178;
    EXPECT_EQ(dlg.teExclude->geometry().top(), 112 + extra);
    EXPECT_GE(dlg.teExclude->geometry().top(), masks->geometry().bottom());
    if (QFontMetrics(desktop).horizontalAdvance(masks->text()) > 283)
        EXPECT_GT(extra, 0);
    else
        EXPECT_EQ(extra, 0);
    EXPECT_EQ(dlg.teSharedDir->geometry().topLeft(), QPoint(8, 66));
    EXPECT_EQ(dlg.teSharedDir->width(), 177);
    EXPECT_EQ(dlg.Button2->mapTo(&dlg, QPoint(0, 0)), QPoint(144, dlg.height() - 33 + 4));
}

TEST_F(AddServiceDialogTest, OkRefusesInvalidInputWithTheThreeMessagesInOrder) {
    addService("First", "/one", true);
    AddServiceDialog dlg(ctx, false);
    dlg.show();
    WarningRecorder warnings;

    pressOk(dlg);  // name and directory both empty: the name is reported
    dlg.teService->setText("First");
    pressOk(dlg);
    dlg.teSharedDir->setText("/two");
    dlg.teExclude->setText("*.tmp");
    pressOk(dlg);

    EXPECT_EQ(warnings.texts, QStringList({"Service name required", "Shared directory required",
                                           "Service name matches existing name"}));
    for (const QPoint& p : warnings.positions) EXPECT_EQ(p, dlg.frameGeometry().topLeft());
    EXPECT_TRUE(dlg.isVisible());
    EXPECT_NE(dlg.result(), QDialog::Accepted);
    EXPECT_EQ(dlg.teService->text(), "First");
    EXPECT_EQ(dlg.teSharedDir->text(), "/two");
    EXPECT_EQ(dlg.teExclude->text(), "*.tmp");
    EXPECT_EQ(ctx.store.CustomCount(), 1);
}

TEST_F(AddServiceDialogTest, AddingAppendsADisabledServiceNumberedAfterTheLast) {
    addService("First", "/one", true);
    addService("Second", "/two", true);
    AddServiceDialog dlg(ctx, false);
    dlg.show();
    WarningRecorder warnings;
    dlg.teService->setText("first");  // differs from "First" only in case
    dlg.teSharedDir->setText("/three");
    pressOk(dlg);

    EXPECT_TRUE(warnings.texts.isEmpty());
    EXPECT_EQ(dlg.result(), QDialog::Accepted);
    ASSERT_EQ(ctx.store.ServiceCount(), 9);
    const rServiceRules& added = ctx.store.ServiceTable.back();
    EXPECT_EQ(added.serviceid, sidOther);
    EXPECT_EQ(added.othernum, 3);
    EXPECT_EQ(added.othername, "first");
    EXPECT_EQ(added.sharedir, "/three");
    EXPECT_EQ(added.excludefiles, "");
    EXPECT_FALSE(added.enabled);
    EXPECT_TRUE(added.rulelist.rules.empty());
}

TEST_F(AddServiceDialogTest, EditingChangesOnlyNameDirectoryAndMasks) {
    addService("First", "/one", false);
    addService("Second", "/two", true);
    addService("Third", "/three", false);
    rServiceRules& second = ctx.additional(2);
    RuleRec rule;
    rule.rulename = "Keep me";
    second.rulelist.rules.push_back(rule);
    const std::uint64_t uid = second.uid;
    ctx.othersLine = 1;

    AddServiceDialog dlg(ctx, true);
    dlg.show();
    EXPECT_EQ(dlg.windowTitle(), "Edit Service");
    EXPECT_EQ(dlg.teService->text(), "Second");
    EXPECT_EQ(dlg.teSharedDir->text(), "/two");
    EXPECT_EQ(dlg.teExclude->text(), "*.dat");

    WarningRecorder warnings;
    dlg.teService->setText("First");
    pressOk(dlg);
    EXPECT_EQ(warnings.texts, QStringList({"Service name matches existing name"}));
    EXPECT_EQ(ctx.additional(2).othername, "Second");

    // Its own unchanged name does not count as taken.
    dlg.teService->setText("Second");
    dlg.teSharedDir->setText("/moved");
    dlg.teExclude->setText("");
    pressOk(dlg);
    EXPECT_EQ(warnings.texts.size(), 1);
    EXPECT_EQ(dlg.result(), QDialog::Accepted);

    ASSERT_EQ(ctx.store.CustomCount(), 3);
    const rServiceRules& edited = ctx.additional(2);
    // Its identity stays, and with it what the scan passes keep of it.
    EXPECT_EQ(edited.uid, uid);
    EXPECT_EQ(edited.sharedir, "/moved");
    EXPECT_EQ(edited.excludefiles, "");
    EXPECT_TRUE(edited.enabled);
    ASSERT_EQ(edited.rulelist.rules.size(), 1u);
    EXPECT_EQ(edited.rulelist.rules[0].rulename, "Keep me");
    EXPECT_EQ(ctx.additional(1).sharedir, "/one");
    EXPECT_EQ(ctx.additional(3).sharedir, "/three");
}

TEST_F(AddServiceDialogTest, EditingAServiceThatVanishedMeanwhileStoresNothing) {
    addService("First", "/one", false);
    addService("Second", "/two", false);
    ctx.othersLine = 0;
    AddServiceDialog dlg(ctx, true);
    dlg.show();
    ctx.store.DeleteService(ctx.store.FindAdditional(1));
    dlg.teSharedDir->setText("/elsewhere");
    pressOk(dlg);
    EXPECT_EQ(dlg.result(), QDialog::Rejected);
    EXPECT_EQ(ctx.additional(1).othername, "Second");
    EXPECT_EQ(ctx.additional(1).sharedir, "/two");
}

TEST_F(AddServiceDialogTest, CancelAndTheCloseBoxStoreNothing) {
    for (bool useCloseBox : {false, true}) {
        AddServiceDialog dlg(ctx, false);
        dlg.show();
        dlg.teService->setText("Name");
        dlg.teSharedDir->setText("/dir");
        if (useCloseBox)
            dlg.close();
        else
            QTest::mouseClick(dlg.Button2, Qt::LeftButton);
        EXPECT_EQ(dlg.result(), QDialog::Rejected);
        EXPECT_EQ(ctx.store.CustomCount(), 0);
    }
}

TEST_F(AddServiceDialogTest, BrowseFillsTheDirectoryAndStartsNextTimeWhereItLeftOff) {
    QTemporaryDir tmp;
    ASSERT_TRUE(tmp.isValid());
    const QString chosen = QDir(tmp.path()).absolutePath();
    AddServiceDialog dlg(ctx, false);
    dlg.show();

    QString title, firstStart, secondStart;
    bool cancel = false;
    ModalAnswerer answerer([&](QWidget* w) {
        auto* chooser = qobject_cast<QFileDialog*>(w);
        ASSERT_NE(chooser, nullptr);
        title = chooser->windowTitle();
        (firstStart.isEmpty() ? firstStart : secondStart) = chooser->directory().absolutePath();
        if (cancel) {
            chooser->reject();
            return;
        }
        chooser->setDirectory(chosen);
        chooser->selectFile(chosen);
        QMetaObject::invokeMethod(chooser, "accept");
    });

    QTest::mouseClick(dlg.Button3, Qt::LeftButton);
    EXPECT_EQ(title, "Select Folder");
    EXPECT_EQ(firstStart, QDir::homePath());
    EXPECT_EQ(dlg.teSharedDir->text(), QDir::toNativeSeparators(chosen));

    cancel = true;
    QTest::mouseClick(dlg.Button3, Qt::LeftButton);
    EXPECT_EQ(secondStart, chosen);
    EXPECT_EQ(dlg.teSharedDir->text(), QDir::toNativeSeparators(chosen));
}

TEST_F(AddServiceDialogTest, NamesAreTrimmedAndABlankNameIsNoName) {
    addService("Alpha", "/one", true);
    AddServiceDialog dlg(ctx, false);
    dlg.show();
    WarningRecorder warnings;
    dlg.teService->setText("   ");
    dlg.teSharedDir->setText("/two");
    pressOk(dlg);
    dlg.teService->setText("Alpha ");
    pressOk(dlg);
    EXPECT_EQ(warnings.texts,
              QStringList({"Service name required", "Service name matches existing name"}));
    EXPECT_EQ(ctx.store.CustomCount(), 1);
    dlg.teService->setText("  Beta\t");
    pressOk(dlg);
    EXPECT_EQ(dlg.result(), QDialog::Accepted);
    EXPECT_EQ(ctx.additional(2).othername, "Beta");

    // An old name stored with a trailing space still counts as taken.
    ctx.store.ServiceTable[ctx.store.FindAdditional(1)].othername = "Alpha ";
    AddServiceDialog again(ctx, false);
    again.show();
    again.teService->setText("Alpha");
    again.teSharedDir->setText("/three");
    pressOk(again);
    EXPECT_EQ(warnings.texts.size(), 3);
    EXPECT_EQ(warnings.texts.last(), "Service name matches existing name");
}

TEST_F(AddServiceDialogTest, FoldersFoundOnThisComputerFillInTheFieldsWhichStayEditable) {
    const std::vector<FoundClient> found = {
        {"qBittorrent", "qBittorrent", "/home/anna/Torrents", "*.!qB;incomplete", {}},
        {"Downloads", "Downloads", "/home/anna/Downloads", "*.part;*.crdownload", {}},
    };
    AddServiceDialog dlg(ctx, false, nullptr, found);
    dlg.show();
    ASSERT_NE(dlg.cbFound, nullptr);
    EXPECT_EQ(dlg.lblFound->text(), "Found on this computer:");
    ASSERT_EQ(dlg.cbFound->count(), 2);
    EXPECT_EQ(dlg.cbFound->itemText(0), "qBittorrent: /home/anna/Torrents");
    EXPECT_EQ(dlg.cbFound->currentIndex(), -1);  // nothing filled in unasked
    EXPECT_TRUE(dlg.teService->text().isEmpty());
    // The dialog grows to hold the list; OK and Cancel stay at the bottom,
    // below everything else.
    EXPECT_GT(dlg.height(), 178);
    EXPECT_EQ(dlg.Panel1->geometry().bottom(), dlg.height() - 1);
    EXPECT_LT(dlg.cbFound->geometry().bottom(), dlg.Panel1->geometry().top());
    EXPECT_GT(dlg.cbFound->geometry().top(), dlg.teExclude->geometry().bottom());

    // Chosen from the keyboard, as a user would.
    dlg.cbFound->setFocus();
    QTest::keyClick(dlg.cbFound, Qt::Key_Down);
    EXPECT_EQ(dlg.teService->text(), "qBittorrent");
    EXPECT_EQ(dlg.teSharedDir->text(), "/home/anna/Torrents");
    EXPECT_EQ(dlg.teExclude->text(), "*.!qB;incomplete");
    QTest::keyClick(dlg.cbFound, Qt::Key_Down);
    EXPECT_EQ(dlg.teService->text(), "Downloads");
    dlg.teService->setText("Browser downloads");
    dlg.teExclude->setText("*.part");
    WarningRecorder warnings;
    pressOk(dlg);
    EXPECT_TRUE(warnings.texts.isEmpty());
    const rServiceRules& added = ctx.additional(1);
    EXPECT_EQ(added.othername, "Browser downloads");
    EXPECT_EQ(added.sharedir, "/home/anna/Downloads");
    EXPECT_EQ(added.excludefiles, "*.part");

    // Nothing found, or editing: the dialog as it always was.
    AddServiceDialog plain(ctx, false, nullptr, {});
    EXPECT_EQ(plain.cbFound, nullptr);
    EXPECT_EQ(plain.size(), QSize(295, dlg.height() - 46 - 26));
    ctx.othersLine = 0;
    AddServiceDialog edit(ctx, true, nullptr, found);
    EXPECT_EQ(edit.cbFound, nullptr);
    EXPECT_EQ(edit.size(), plain.size());
}

TEST_F(AddServiceDialogTest, BrowseOpensAtTheFolderTheFieldHolds) {
    QTemporaryDir tmp;
    ASSERT_TRUE(tmp.isValid());
    const QString held = QDir(tmp.path()).absolutePath();
    addService("First", held.toStdString(), true);
    addService("Second", (held + "/gone").toStdString(), true);
    QString start;
    ModalAnswerer answerer([&](QWidget* w) {
        auto* chooser = qobject_cast<QFileDialog*>(w);
        ASSERT_NE(chooser, nullptr);
        start = chooser->directory().absolutePath();
        chooser->reject();
    });
    ctx.othersLine = 0;
    AddServiceDialog edit(ctx, true);
    edit.show();
    QTest::mouseClick(edit.Button3, Qt::LeftButton);
    EXPECT_EQ(start, held);
    // A folder that no longer exists: the home folder, as at first.
    ctx.othersLine = 1;
    AddServiceDialog gone(ctx, true);
    gone.show();
    QTest::mouseClick(gone.Button3, Qt::LeftButton);
    EXPECT_EQ(start, QDir::homePath());
    EXPECT_EQ(ChooserStart(QString(), held), held);
    EXPECT_EQ(ChooserStart(held + "/gone", held + "/also gone"), QDir::homePath());
}

TEST_F(AddServiceDialogTest, PlacesItselfAgainstTheMainWindow) {
    QWidget main;
    main.setGeometry(120, 90, 578, 414);
    ctx.mainWindow = &main;
    AddServiceDialog dlg(ctx, false);
    const QSize screen = QGuiApplication::primaryScreen()->geometry().size();
    EXPECT_EQ(dlg.pos(), DialogPlacement(main.frameGeometry(), dlg.size(), screen));
    EXPECT_NE(dlg.pos(), QPoint(0, 0));
}

}  // namespace
