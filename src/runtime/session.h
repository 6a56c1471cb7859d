// The program's state for a run with a window, on QtCore alone: the service
// table and the settings, the scan scheduler with the options handed to its
// passes and the download clients it asks, and saving. It is the service
// contract the rule wizard, the rule list panels and the service commands
// work through; pages change the table through it and hear of changes from
// its signals, never from each other.
#pragma once

#include <QFileSystemWatcher>
#include <QObject>
#include <QString>
#include <QTimer>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "engine/scanpass.h"
#include "platform/mail.h"
#include "runtime/failuremail.h"
#include "runtime/scanscheduler.h"
#include "runtime/servicecontext.h"
#include "runtime/startup.h"
#include "store/clientlinks.h"

namespace kb {

class Session : public QObject, public ServiceContext {
    Q_OBJECT

public:
    // The scheduler is made here, switched off; the options and the client
    // links of `state` are handed to it.
    explicit Session(ProgramState& state, ScanEnvironment env = DefaultScanEnvironment(),
                     QObject* parent = nullptr);
    ~Session() override;

    ProgramState& State() { return state_; }
    const ProgramState& State() const { return state_; }
    ScanScheduler& Scheduler() { return *scheduler_; }

    // ServiceContext.
    ServiceStore& Store() override { return state_.store; }
    std::uint8_t CurrentServiceId() const override { return currentServiceId_; }
    int CurrentServiceIndex() const override;
    // The panel showing this service's rules refills itself: RulesChanged.
    void BuildRuleLists(std::uint8_t serviceId) override { emit RulesChanged(serviceId); }
    // Writes kbconf.ini; SaveFailed until a save succeeds, then Saved.
    void SaveConfig() override;
    QWidget* MainWindow() const override { return dialogParent_; }
    ScanEnvironment PreviewEnvironment() const override;
    QString RuleTip(const rServiceRules& service, const RuleRec& rule) const override;
    void RememberDeletedRule(int serviceIndex, int ruleIndex, const RuleRec& rule) override;
    // A service deleted from the table at `index`, kept whole with its rules.
    void RememberDeletedService(int index, const rServiceRules& record);
    // Whether a deletion of this run can be taken back, and what it was
    // ("Rule \"Sort\" of Kazaa deleted.").
    bool CanUndoDeletion() const { return !deletions_.empty(); }
    QString LastDeletionText() const;
    // Brings the last deletion back in its place and saves; false when its
    // service is gone (then it is dropped). DeletionUndone says where.
    bool UndoDeletion();
    static constexpr std::size_t kKeptDeletions = 10;
    // Why the rule's latest outcome failed; empty when it did not.
    QString RuleFailure(const rServiceRules& service, const RuleRec& rule) const;

    // What the window chose: the page (its service id) and, on the Others
    // page, the selected line of the additional services (-1 for none).
    void SetCurrentService(std::uint8_t serviceId) { currentServiceId_ = serviceId; }
    void SetSelectedOtherLine(int line) { selectedOtherLine_ = line; }
    int SelectedOtherLine() const { return selectedOtherLine_; }
    // The window dialogs are placed against.
    void SetDialogParent(QWidget* window) { dialogParent_ = window; }
    // The folder a folder chooser showed last, on any page: the next one
    // starts there.
    QString& LastChosenFolder() { return lastChosenFolder_; }

    // The record the page of `serviceId` shows (for Others, the selected
    // additional service), or -1.
    int RecordFor(std::uint8_t serviceId) const;

    // Hands the options (after Settings... changed them) to the passes.
    void ApplySettings();
    // Reads kbconf.ini again and, when it reads cleanly, makes it the
    // table (between two passes: the pass in progress finishes first).
    // Services whose folder did not change keep what the passes learnt of
    // them (baselines, files waiting to settle). A file that does not read
    // cleanly is not taken: the table stays, and ReloadRefused says why.
    // Nothing happens when the file holds what the table already is.
    void ReloadConfig();
    // Watches kbconf.ini for changes made by another program (an import, an
    // editor) and reloads once it has stopped changing for a second.
    void WatchConfigFile();

    // Asks the clients the links name now: rebuilt only when a folder's
    // client changed, so one that cannot be asked is not said again after
    // every change of the table.
    void RefreshClients();

    // Failure notices by mail: on when kbconf.ini says so and names a server
    // and an address (the address is the sender too).
    bool MailConfigured() const;
    // The message the notices are sent as, with the stored login; the
    // password read from the secret store when it is kept there.
    MailMessage MailTemplate(std::string* problem = nullptr) const;
    // Sends the mails that are due (off this thread); MailDelivered or
    // MailFailed when each has gone or not. Called after every pass and
    // once a minute.
    void SendDueMail();
    // What sends a message (tests give their own); SendMail by default.
    using MailSender = std::function<Status(const MailMessage&)>;
    void SetMailSender(MailSender send) { sendMail_ = std::move(send); }
    // A certificate file the mail's TLS trusts besides the system's (tests).
    void SetMailCaFile(std::string file) { mailCaFile_ = std::move(file); }
    // Why the last mail could not be delivered; empty once one was.
    QString MailLastError() const { return QString::fromStdString(state_.settings.MailLastError); }

signals:
    void RulesChanged(std::uint8_t serviceId);
    void SaveFailed(const QString& text);
    void Saved();
    // A reload took the file: what to tell the user ("The rules were read
    // again from ...").
    void ConfigReloaded(const QString& text);
    void ReloadRefused(const QString& text);
    void MailDelivered(const QString& subject);
    // The deletions that can be taken back changed.
    void DeletionsChanged();
    // A deletion was taken back: the service it is on, and for an
    // additional service its line in the list.
    void DeletionUndone(std::uint8_t serviceId, int otherLine);
    void MailFailed(const QString& why);

private:
    ProgramState& state_;
    std::unique_ptr<ScanScheduler> scheduler_;
    std::uint8_t currentServiceId_ = 0;
    int selectedOtherLine_ = -1;
    QWidget* dialogParent_ = nullptr;
    QString lastChosenFolder_;
    std::vector<ClientLink> clientPlan_;
    // What kbconf.ini holds as this run last wrote or read it: a change
    // notice for the program's own save is no reason to reload.
    std::string knownBytes_;
    std::unique_ptr<QFileSystemWatcher> watcher_;
    std::unique_ptr<QTimer> settle_;
    struct Deletion {
        bool service = false;
        std::uint64_t serviceUid = 0;  // a rule's service
        int index = 0;                 // the rule's, or the service's table position
        RuleRec rule;
        rServiceRules record;
        QString text;
    };
    std::vector<Deletion> deletions_;
    void remember(Deletion d);
    FailureMail mail_;
    QTimer mailTimer_;
    bool mailSending_ = false;
    MailSender sendMail_;
    std::string mailCaFile_;
    void mailDone(const FailureMail::Mail& mail, const Status& st);
};

}  // namespace kb
