// Keyboard focus can be seen on every control that takes it: in each page of
// the window and in the dialogs a new user meets first, a control looks
// different with the focus than without it.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QImage>
#include <QPushButton>
#include <QStackedWidget>
#include <QTabWidget>
#include <QTest>
#include <QToolButton>
#include <filesystem>

#include "builders.h"
#include "editor/ftpoptions.h"
#include "editor/ruledef.h"
#include "shell/addservice.h"
#include "shell/settingsdialog.h"
#include "ui/sidebar.h"
#include "window_fixture.h"

namespace {

using namespace kb;
namespace fs = std::filesystem;

// The controls of `window` shown now that take the focus from the keyboard
// but look the same with it as without it.
QStringList FocusUnseen(QWidget& window) {
    QStringList unseen;
    window.show();
    window.activateWindow();
    EXPECT_TRUE(QTest::qWaitForWindowActive(&window));
    // As after the user has pressed Tab: styles show focus from then on.
    window.setAttribute(Qt::WA_KeyboardFocusChange);
    for (QWidget* w : window.findChildren<QWidget*>()) {
        if (!w->isVisible() || !w->isEnabled() || w->focusProxy() ||
            !(w->focusPolicy() & Qt::TabFocus) || w->width() == 0)
            continue;
        w->clearFocus();
        if (QWidget* f = QApplication::focusWidget()) f->clearFocus();
        const QImage without = w->grab().toImage();
        w->setFocus(Qt::TabFocusReason);
        if (!w->hasFocus()) continue;  // a window that is not active: nothing to learn
        const QImage with = w->grab().toImage();
        if (with == without)
            unseen << (w->objectName().isEmpty() ? QString::fromLatin1(w->metaObject()->className())
                                                 : w->objectName());
    }
    return unseen;
}

class Focus : public kbtest::WindowFixture {
protected:
    void SetUp() override {
        WindowFixture::SetUp();
        fs::create_directories(root_ + "/share");
        state_.store.ServiceTable[0].sharedir = root_ + "/share";
        state_.store.ServiceTable[0].rulelist.rules = {
            kbtest::Rule(kb::trgNewFile, {kbtest::MoveTo(root_ + "/music")})};
        create();
    }
};

TEST_F(Focus, EveryControlOfEveryPageShowsWhenItHasTheFocus) {
    auto* bar = window_->findChild<SideBar*>(QStringLiteral("dxSideBar1"));
    ASSERT_NE(bar, nullptr);
    EXPECT_EQ(FocusUnseen(*window_).join(QStringLiteral(", ")).toStdString(), "") << "at start";
    for (int g = 0; g < bar->GroupCount(); ++g) {
        for (int i = 0; i < bar->ItemCount(g); ++i) {
            QTest::mouseClick(bar->Item(g, i), Qt::LeftButton);
            SCOPED_TRACE(bar->Item(g, i)->text().toStdString());
            EXPECT_EQ(FocusUnseen(*window_).join(QStringLiteral(", ")).toStdString(), "");
        }
    }
}

// The dialogs of a first rule: the wizard's two pages, the upload's options,
// a new service and the settings.
TEST_F(Focus, TheDialogsOfAFirstRuleShowWhereTheFocusIs) {
    window_->show();
    {
        RuleWizard wizard(*session_, false, 0, window_.get());
        EXPECT_EQ(FocusUnseen(wizard).join(QStringLiteral(", ")).toStdString(), "") << "triggers";
        QTest::mouseClick(wizard.findChild<QPushButton*>(QStringLiteral("btnNext")),
                          Qt::LeftButton);
        EXPECT_EQ(FocusUnseen(wizard).join(QStringLiteral(", ")).toStdString(), "") << "rule";
    }
    {
        RuleRec rule = kbtest::Rule(kb::trgNewFile, {});
        rule.actions.emplace_back().raction = kb::actFtp;
        FtpOptionsDialog ftp(rule, window_.get());
        auto* tabs = ftp.findChild<QTabWidget*>();
        ASSERT_NE(tabs, nullptr);
        for (int t = 0; t < tabs->count(); ++t) {
            tabs->setCurrentIndex(t);
            EXPECT_EQ(FocusUnseen(ftp).join(QStringLiteral(", ")).toStdString(), "")
                << tabs->tabText(t).toStdString();
        }
    }
    {
        AddServiceDialog add(*session_, false, window_.get());
        EXPECT_EQ(FocusUnseen(add).join(QStringLiteral(", ")).toStdString(), "");
    }
    {
        SettingsDialog settings(state_.settings, window_.get(), session_.get());
        EXPECT_EQ(FocusUnseen(settings).join(QStringLiteral(", ")).toStdString(), "");
    }
}

}  // namespace
