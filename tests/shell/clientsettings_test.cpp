// A service's download client, through the real widgets: the row on a
// service's page, the Download Client dialog, and the Add Service dialog's
// word on a found client; the links land in a private registry file.
#include "shell/clientsettings.h"

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <filesystem>
#include <fstream>

#include "gui_modal.h"
#include "platform/xdg_sandbox.h"
#include "runtime/servicecontext.h"
#include "shell/addservice.h"
#include "store/clientlinks.h"

namespace {

using namespace kb;
namespace fs = std::filesystem;

// A port nobody listens on: a client there cannot be asked.
const char kNobody[] = "http://127.0.0.1:9/";

class ClientSettings : public ::testing::Test {
protected:
    void SetUp() override {
        folder_ = sandbox_.Root() + "/Torrents";
        fs::create_directories(folder_);
    }
    template <class T>
    T* Find(QWidget* w, const char* name) {
        return w->findChild<T*>(QString::fromLatin1(name));
    }
    test::XdgSandbox sandbox_;
    std::string folder_;
};

TEST_F(ClientSettings, TheRowSaysWhatIsSetAndTheDialogStoresALink) {
    ClientRow row;
    row.SetFolder(folder_);
    auto* label = Find<QLabel>(&row, "lblClient");
    EXPECT_EQ(label->text(), "Download client: none");
    EXPECT_FALSE(Find<QPushButton>(&row, "btnClientTest")->isEnabled());

    QSignalSpy changed(&row, &ClientRow::LinkChanged);
    kbtest::DialogDriver<ClientSettingsDialog> driver([](ClientSettingsDialog* d) {
        EXPECT_EQ(d->windowTitle(), "Download Client");
        auto* kind = d->findChild<QComboBox*>("cbClientKind");
        kind->setCurrentIndex(kind->findText("qBittorrent"));
        // The client's own default address comes with it.
        EXPECT_EQ(d->findChild<QLineEdit*>("teClientAddress")->text(), "http://127.0.0.1:8080/");
        d->findChild<QLineEdit*>("teClientUser")->setText("anna");
        d->findChild<QLineEdit*>("teClientPassword")->setText("s3cret");
        EXPECT_EQ(d->findChild<QLineEdit*>("teClientPassword")->echoMode(), QLineEdit::Password);
        EXPECT_TRUE(d->findChild<QCheckBox*>("chkClientRelocate")->isChecked());
        d->findChild<QDialogButtonBox*>("Buttons")->button(QDialogButtonBox::Ok)->click();
    });
    QTest::mouseClick(Find<QPushButton>(&row, "btnClient"), Qt::LeftButton);
    ASSERT_TRUE(driver.called);
    EXPECT_EQ(changed.count(), 1);
    const std::vector<ClientLink> links = LoadClientLinks();
    ASSERT_EQ(links.size(), 1u);
    EXPECT_EQ(links[0], (ClientLink{CleanFolderPath(folder_), ClientKind::QBittorrent,
                                    "http://127.0.0.1:8080/", "anna", "s3cret", true}));
    EXPECT_EQ(label->text(), "Download client: qBittorrent at http://127.0.0.1:8080/");
    // Never shown, nor written to the registry file where others may read it.
    EXPECT_EQ(label->text().indexOf("s3cret"), -1);
    EXPECT_EQ(fs::status(sandbox_.RegistryFile()).permissions() &
                  (fs::perms::group_all | fs::perms::others_all),
              fs::perms::none);
}

TEST_F(ClientSettings, AClientNobodyAnswersForSaysWhy) {
    SaveClientLinks({ClientLink{folder_, ClientKind::Transmission, kNobody, "", "", true}});
    ClientRow row;
    row.SetFolder(folder_);
    auto* test = Find<QPushButton>(&row, "btnClientTest");
    ASSERT_TRUE(test->isEnabled());
    QTest::mouseClick(test, Qt::LeftButton);
    auto* label = Find<QLabel>(&row, "lblClient");
    QTRY_VERIFY_WITH_TIMEOUT(label->text().contains("cannot be asked"), 5000);
    EXPECT_TRUE(label->text().startsWith("Download client: Transmission at " + QString(kNobody) +
                                         ": cannot be asked: "))
        << label->text().toStdString();

    // "None" is a choice too, and stays: no client is asked, even a found one.
    kbtest::DialogDriver<ClientSettingsDialog> none([](ClientSettingsDialog* d) {
        d->findChild<QComboBox*>("cbClientKind")->setCurrentIndex(0);
        EXPECT_FALSE(d->findChild<QLineEdit*>("teClientAddress")->isEnabled());
        d->findChild<QDialogButtonBox*>("Buttons")->button(QDialogButtonBox::Ok)->click();
    });
    QTest::mouseClick(Find<QPushButton>(&row, "btnClient"), Qt::LeftButton);
    EXPECT_EQ(label->text(), "Download client: none");
    ASSERT_EQ(LoadClientLinks().size(), 1u);
    EXPECT_EQ(LoadClientLinks()[0].kind, ClientKind::None);
}

TEST_F(ClientSettings, AClientFoundInItsOwnSettingsIsUsedAndAria2HasASecret) {
    fs::create_directories(sandbox_.Config() + "/aria2");
    std::ofstream(sandbox_.Config() + "/aria2/aria2.conf")
        << "dir=" << folder_ << "\nenable-rpc=true\nrpc-secret=tok\n";
    ClientRow row;
    row.SetFolder(folder_);
    EXPECT_EQ(Find<QLabel>(&row, "lblClient")->text(),
              "Download client: aria2 at http://127.0.0.1:6800/jsonrpc (from its settings)");
    kbtest::DialogDriver<ClientSettingsDialog> look([](ClientSettingsDialog* d) {
        EXPECT_EQ(d->findChild<QComboBox*>("cbClientKind")->currentText(), "aria2");
        EXPECT_FALSE(d->findChild<QLineEdit*>("teClientUser")->isVisible());
        EXPECT_EQ(d->findChild<QLineEdit*>("teClientPassword")->text(), "tok");
        EXPECT_FALSE(d->findChild<QCheckBox*>("chkClientRelocate")->isEnabled());
        d->reject();
    });
    QTest::mouseClick(Find<QPushButton>(&row, "btnClient"), Qt::LeftButton);
    ASSERT_TRUE(look.called);
    EXPECT_TRUE(LoadClientLinks().empty());  // Cancel stores nothing
}

class NoContext : public ServiceContext {
public:
    NoContext() { store.InitServiceTable(nullptr); }
    ServiceStore store;
    ServiceStore& Store() override { return store; }
    std::uint8_t CurrentServiceId() const override { return sidOther; }
    int CurrentServiceIndex() const override { return -1; }
    void BuildRuleLists(std::uint8_t) override {}
    void SaveConfig() override {}
    QWidget* MainWindow() const override { return nullptr; }
};

TEST_F(ClientSettings, AddServiceSaysWhetherAFoundClientCanBeAsked) {
    NoContext ctx;
    ClientInterface tr{
        ClientKind::Transmission, std::string(kNobody) + "transmission/rpc", true, false, "", ""};
    const std::vector<FoundClient> found = {
        {"Transmission", "Transmission daemon", folder_, "*.part", tr},
        {"Deluge", "Deluge", folder_ + "/d", "", {}},
    };
    AddServiceDialog dlg(ctx, false, nullptr, found);
    dlg.show();
    ASSERT_NE(dlg.btnTestFoundClient, nullptr);
    EXPECT_FALSE(dlg.btnTestFoundClient->isEnabled());
    dlg.cbFound->setCurrentIndex(1);
    emit dlg.cbFound->activated(1);
    EXPECT_EQ(dlg.lblFoundClient->text(), "Kestrelbox cannot ask this client.");
    EXPECT_FALSE(dlg.btnTestFoundClient->isEnabled());
    dlg.cbFound->setCurrentIndex(0);
    emit dlg.cbFound->activated(0);
    EXPECT_EQ(dlg.lblFoundClient->text(), "Asked at " + QString(kNobody) + "transmission/rpc");
    QTest::mouseClick(dlg.btnTestFoundClient, Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(
        dlg.lblFoundClient->text().startsWith("Transmission cannot be asked: "), 5000);
}

}  // namespace
