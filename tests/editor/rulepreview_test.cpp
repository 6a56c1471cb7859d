// The wizard's Preview... on real folders: what it says for each trigger,
// its progress and Stop on a big folder, and that nothing is touched.
#include "editor/rulepreview.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QTableView>
#include <QTest>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <set>

#include "builders.h"
#include "editor/ruledef.h"
#include "platform/fileops.h"
#include "runtime/servicecontext.h"

namespace kb {
namespace {

namespace fs = std::filesystem;

class Folder {
public:
    Folder() {
        path_ = fs::temp_directory_path() /
                ("kbpreview-" + std::to_string(getpid()) + "-" + std::to_string(counter_++));
        fs::create_directories(path_);
    }
    ~Folder() {
        std::error_code ec;
        fs::remove_all(path_, ec);
    }
    std::string str() const { return path_.string(); }
    // A finished file: `bytes` long, last written an hour ago.
    void Add(const std::string& name, std::size_t bytes = 100) const {
        std::ofstream(path_ / name, std::ios::binary) << std::string(bytes, 'x');
        fs::last_write_time(path_ / name, fs::file_time_type::clock::now() - std::chrono::hours(1));
    }
    // Names, sizes and times of everything in it.
    std::set<std::tuple<std::string, std::uintmax_t, std::int64_t>> State() const {
        std::set<std::tuple<std::string, std::uintmax_t, std::int64_t>> s;
        for (const auto& e : fs::directory_iterator(path_))
            s.emplace(e.path().filename().string(), e.is_regular_file() ? e.file_size() : 0,
                      e.last_write_time().time_since_epoch().count());
        return s;
    }

private:
    fs::path path_;
    static inline int counter_ = 0;
};

class Context : public ServiceContext {
public:
    explicit Context(const std::string& dir) {
        store.InitServiceTable([](std::uint8_t) { return std::string(); });
        store.ServiceTable[0].sharedir = dir;
    }
    ServiceStore& Store() override { return store; }
    std::uint8_t CurrentServiceId() const override { return 0; }
    int CurrentServiceIndex() const override { return 0; }
    void BuildRuleLists(std::uint8_t) override {}
    void SaveConfig() override { ++saves; }
    QWidget* MainWindow() const override { return nullptr; }
    ScanEnvironment PreviewEnvironment() const override { return env; }

    ServiceStore store;
    ScanEnvironment env;
    int saves = 0;
};

class Preview : public ::testing::Test {
protected:
    // The wizard on the rule page with `trigger` chosen.
    void openWizard(const char* trigger) {
        w = std::make_unique<RuleWizard>(ctx, false, 0);
        w->show();
        w->findChild<QRadioButton*>(trigger)->setChecked(true);
        QTest::mouseClick(w->findChild<QPushButton*>("btnNext"), Qt::LeftButton);
    }
    void check(const char* list, int row) {
        w->findChild<QListWidget*>(list)->item(row)->setCheckState(Qt::Checked);
    }
    // Presses Preview... and waits until the folder has been read.
    RulePreviewDialog* preview() {
        QTest::mouseClick(w->findChild<QPushButton*>("btnPreview"), Qt::LeftButton);
        auto* p = w->findChild<RulePreviewDialog*>();
        EXPECT_NE(p, nullptr);
        if (p && p->Running()) {
            QSignalSpy done(p, &RulePreviewDialog::Finished);
            EXPECT_TRUE(done.wait(30000));
        }
        return p;
    }
    std::vector<QString> rows(RulePreviewDialog* p) {
        std::vector<QString> out;
        const QAbstractItemModel* m = p->Files->model();
        for (int r = 0; r < m->rowCount(); ++r)
            out.push_back(m->index(r, 0).data().toString() + " | " +
                          m->index(r, 1).data().toString() + " | " +
                          m->index(r, 2).data().toString());
        return out;
    }

    Folder folder;
    Context ctx{folder.str()};
    std::unique_ptr<RuleWizard> w;
};

TEST_F(Preview, ANewFileRuleSaysWhichPresentFilesItWouldTakeIfTheyArrived) {
    folder.Add("a.mp3", 2048);
    folder.Add("b.avi");
    // Still being written: changed a moment ago.
    std::ofstream(folder.str() + "/c.mp3") << "partial";
    const auto before = folder.State();
    openWizard("rbNewComp");
    check("clConditions", 0);
    w->WorkRule.conds[0].fileext.ext = "mp3";
    check("clActions", 0);
    w->WorkRule.actions[0].move.filepath = "/music";
    w->findChild<QLineEdit*>("teRuleName")->setText("Music");

    RulePreviewDialog* p = preview();
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(p->windowTitle(), "Rule Preview");
    EXPECT_TRUE(p->isModal());
    EXPECT_EQ(p->Verdict->text(),
              "The rule acts on new files only, so it would do nothing now. If files like these "
              "arrived, it would act on 1 of the 3 files (2.1 kB) there now. 1 more file is "
              "still downloading and waits until it has finished.");
    std::vector<QString> got = rows(p);
    std::sort(got.begin(), got.end());
    EXPECT_EQ(got,
              (std::vector<QString>{"a.mp3 | 2.0 kB | would be acted on",
                                    "c.mp3 | 7 bytes | waits: written less than 10 seconds ago"}));
    EXPECT_EQ(p->Actions->text(), "Its actions, in order, on each file:\n1. move to /music");
    EXPECT_FALSE(p->Progress->isVisible());
    EXPECT_EQ(p->btnClose->text(), "Close");

    // Nothing happened to the folder, the table or the file.
    EXPECT_EQ(folder.State(), before);
    EXPECT_TRUE(ctx.store.ServiceTable[0].rulelist.rules.empty());
    EXPECT_EQ(ctx.saves, 0);
    // Closing it leaves the wizard where it was.
    QTest::mouseClick(p->btnClose, Qt::LeftButton);
    QTRY_VERIFY(w->findChild<RulePreviewDialog*>() == nullptr);
    EXPECT_TRUE(w->isVisible());
}

TEST_F(Preview, CountAndSizeTriggersSayWhetherTheyHoldAndWhatTheConditionsTake) {
    for (const char* n : {"old.bin", "older.bin", "new.bin"}) folder.Add(n, 1000);
    fs::last_write_time(folder.str() + "/older.bin",
                        fs::file_time_type::clock::now() - std::chrono::hours(5));
    openWizard("rbTotalFileCount");  // more than 20 files: does not hold
    check("clActions", 2);           // delete
    RulePreviewDialog* p = preview();
    EXPECT_EQ(p->Verdict->text(),
              "The rule would not act now: it waits for more than 20 files, and the folder holds "
              "3 files (2.9 kB).");
    EXPECT_FALSE(p->Files->isVisibleTo(p));
    EXPECT_EQ(p->Actions->text(), "Its actions, in order, on each file:\n1. delete");
    delete p;

    w->WorkRule.fcnt = 2;
    check("clConditions", 3);  // oldest
    w->WorkRule.conds[0].oldestcnt = 1;
    p = preview();
    EXPECT_EQ(p->Verdict->text(), "The rule would act now on 1 of the 3 files (2.9 kB).");
    EXPECT_EQ(rows(p), (std::vector<QString>{"older.bin | 1000 bytes | would be acted on"}));
    delete p;

    // A size trigger whose conditions take nothing. Sizes count in whole
    // megabytes, so "more than 0 MB" needs a full megabyte.
    folder.Add("big.bin", 1 << 20);
    w.reset();
    openWizard("rbTotalFileSize");
    w->WorkRule.fsize = 0;
    check("clConditions", 0);
    w->WorkRule.conds[0].fileext.ext = "mp3";
    check("clActions", 2);
    p = preview();
    EXPECT_EQ(p->Verdict->text(),
              "The trigger holds (4 files (1.0 MB)), but the conditions take none of the files.");
    delete p;
}

// Only finished files are counted as acted on now; a download the newest
// ranking passed over is listed with why another file was taken.
TEST_F(Preview, FilesStillDownloadingAreNotCountedAndTheRankingSaysWhomItPassedOver) {
    folder.Add("old.bin", 1000);
    folder.Add("older.bin", 1000);
    fs::last_write_time(folder.str() + "/older.bin",
                        fs::file_time_type::clock::now() - std::chrono::hours(5));
    fs::last_write_time(folder.str() + "/old.bin",
                        fs::file_time_type::clock::now() - std::chrono::hours(2));
    std::ofstream(folder.str() + "/fresh.bin") << "partial";  // the newest, still written
    openWizard("rbTotalFileCount");
    w->WorkRule.fcnt = 2;
    check("clConditions", 4);  // newest
    w->WorkRule.conds[0].newestcnt = 1;
    check("clActions", 2);
    RulePreviewDialog* p = preview();
    EXPECT_EQ(p->Verdict->text(),
              "The rule would act now on 1 of the 3 files (2.0 kB). 1 more file is still "
              "downloading and waits until it has finished.");
    std::vector<QString> got = rows(p);
    std::sort(got.begin(), got.end());  // in the folder's order, which is the file system's
    EXPECT_EQ(got, (std::vector<QString>{"fresh.bin | 7 bytes | waits: left out of the newest 1 "
                                         "file while it downloads (written less than 10 seconds "
                                         "ago)",
                                         "old.bin | 1000 bytes | would be acted on"}));
    delete p;

    // When every file it takes is still downloading, it acts on none now.
    fs::remove(folder.str() + "/old.bin");
    fs::remove(folder.str() + "/older.bin");
    w.reset();
    openWizard("rbTotalFileCount");
    w->WorkRule.fcnt = 0;
    check("clActions", 2);
    p = preview();
    EXPECT_EQ(p->Verdict->text(),
              "The rule would not act now. The one file it takes is still downloading and waits "
              "until it has finished.");
    delete p;
}

TEST_F(Preview, AMissingEmptyOrUnsetFolderIsSaidPlainly) {
    openWizard("rbNewComp");
    check("clActions", 2);
    RulePreviewDialog* p = preview();
    EXPECT_EQ(p->Verdict->text(), "The folder " + QString::fromStdString(folder.str()) +
                                      " is empty, so the rule has nothing to act on now.");
    delete p;

    ctx.store.ServiceTable[0].sharedir = folder.str() + "/gone";
    p = preview();
    EXPECT_EQ(p->Verdict->text(), "The folder " + QString::fromStdString(folder.str()) +
                                      "/gone does not exist, so the rule has nothing to act on "
                                      "now.");
    // What the rule would do is still told.
    EXPECT_TRUE(p->Actions->isVisibleTo(p));
    EXPECT_EQ(p->Actions->text(), "Its actions, in order, on each file:\n1. delete");
    delete p;

    ctx.store.ServiceTable[0].sharedir.clear();
    p = preview();
    EXPECT_EQ(p->Verdict->text(),
              "This service has no folder yet, so the rule has nothing to act on.");
    delete p;
}

TEST_F(Preview, ABigFolderShowsProgressStaysResponsiveAndCanBeStopped) {
    // A hundred thousand entries, made with bare system calls to be quick.
    constexpr int kFiles = 100000;
    for (int i = 0; i < kFiles; ++i) {
        const std::string name = folder.str() + "/f" + std::to_string(i) + ".bin";
        const int fd = ::open(name.c_str(), O_CREAT | O_WRONLY | O_CLOEXEC, 0600);
        ASSERT_GE(fd, 0);
        ::close(fd);
    }
    ctx.env.gate.enabled = false;
    openWizard("rbTotalFileCount");
    check("clActions", 2);

    // While it reads, the window goes on: the count shows and grows, and a
    // timer on the GUI thread keeps firing.
    QTest::mouseClick(w->findChild<QPushButton*>("btnPreview"), Qt::LeftButton);
    auto* p = w->findChild<RulePreviewDialog*>();
    ASSERT_NE(p, nullptr);
    int ticks = 0;
    QTimer tick;
    QObject::connect(&tick, &QTimer::timeout, [&] { ++ticks; });
    tick.start(10);
    QSignalSpy done(p, &RulePreviewDialog::Finished);
    bool sawProgress = false;
    while (p->Running() && done.isEmpty()) {
        QTest::qWait(20);
        sawProgress |= p->Verdict->text().startsWith("Reading the folder... ") &&
                       p->Verdict->text().endsWith(" files so far.");
    }
    EXPECT_TRUE(sawProgress);
    EXPECT_GT(ticks, 3);
    EXPECT_EQ(p->Verdict->text(), QStringLiteral("The rule would act now on %1 of the %1 files "
                                                 "(0 bytes).")
                                      .arg(QLocale::system().toString(kFiles)));
    EXPECT_EQ(p->Files->model()->rowCount(), kFiles);
    delete p;

    // Stop while it reads: it says how far it got, and a second press closes it.
    QTest::mouseClick(w->findChild<QPushButton*>("btnPreview"), Qt::LeftButton);
    p = w->findChild<RulePreviewDialog*>();
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(p->btnClose->text(), "Stop");
    QSignalSpy stopped(p, &RulePreviewDialog::Finished);
    QTest::mouseClick(p->btnClose, Qt::LeftButton);
    ASSERT_TRUE(stopped.wait(30000) || !stopped.isEmpty());
    if (p->Result().stopped) {
        EXPECT_TRUE(p->Verdict->text().startsWith("Stopped after reading "));
        EXPECT_EQ(p->Files->model()->rowCount(), 0);
    } else {
        // The whole folder was read before the press arrived.
        EXPECT_EQ(p->Result().listed, kFiles);
    }
    QPointer<RulePreviewDialog> alive(p);
    QTest::mouseClick(p->btnClose, Qt::LeftButton);
    QTRY_VERIFY(alive.isNull());
}

}  // namespace
}  // namespace kb
