#include "runtime/session.h"

#include <QDateTime>
#include <QFileInfo>
#include <QFutureWatcher>
#include <QtConcurrent>
#include <fstream>
#include <sstream>

#include "journal/journal.h"
#include "platform/secrets.h"
#include "remote/clientdesk.h"
#include "runtime/outcometext.h"
#include "store/configfile.h"
#include "store/discovery.h"
#include "store/settings.h"

namespace kb {

Session::Session(ProgramState& state, ScanEnvironment env, QObject* parent)
    : QObject(parent),
      state_(state),
      scheduler_(std::make_unique<ScanScheduler>(state_.store, std::move(env), state_.journal)) {
    ApplySettings();
    RefreshClients();
    sendMail_ = [](const MailMessage& m) { return SendMail(m); };
    connect(scheduler_.get(), &ScanScheduler::PassFinished, this, [this] {
        if (!MailConfigured()) return;
        mail_.Add(scheduler_->LastOutcomes(), QDateTime::currentMSecsSinceEpoch());
        SendDueMail();
    });
    mailTimer_.setInterval(60 * 1000);
    connect(&mailTimer_, &QTimer::timeout, this, &Session::SendDueMail);
    mailTimer_.start();
}

void Session::remember(Deletion d) {
    deletions_.push_back(std::move(d));
    if (deletions_.size() > kKeptDeletions) deletions_.erase(deletions_.begin());
    emit DeletionsChanged();
}

void Session::RememberDeletedRule(int serviceIndex, int ruleIndex, const RuleRec& rule) {
    if (serviceIndex < 0 || serviceIndex >= state_.store.ServiceCount()) return;
    const rServiceRules& s = state_.store.ServiceTable[static_cast<std::size_t>(serviceIndex)];
    Deletion d;
    d.serviceUid = s.uid;
    d.index = ruleIndex;
    d.rule = rule;
    d.text =
        QStringLiteral("Rule \"%1\" of %2 deleted.")
            .arg(QString::fromStdString(rule.rulename), QString::fromStdString(ServiceName(s)));
    remember(std::move(d));
}

void Session::RememberDeletedService(int index, const rServiceRules& record) {
    Deletion d;
    d.service = true;
    d.index = index;
    d.record = record;
    d.text =
        QStringLiteral("Service \"%1\" deleted.").arg(QString::fromStdString(record.othername));
    remember(std::move(d));
}

QString Session::LastDeletionText() const {
    return deletions_.empty() ? QString() : deletions_.back().text;
}

bool Session::UndoDeletion() {
    if (deletions_.empty()) return false;
    Deletion d = std::move(deletions_.back());
    deletions_.pop_back();
    ServiceStore& store = state_.store;
    bool done = false;
    std::uint8_t serviceId = 0;
    int otherLine = -1;
    if (d.service) {
        rServiceRules rec = std::move(d.record);
        // A new identity: what the passes knew of it went with it, and the
        // folder's files are its baseline again, not new files.
        store.AssignUid(rec);
        const int at = std::clamp(d.index, 0, store.ServiceCount());
        store.InsertService(at, std::move(rec));
        serviceId = store.ServiceTable[static_cast<std::size_t>(at)].serviceid;
        if (serviceId == sidOther)
            otherLine = store.ServiceTable[static_cast<std::size_t>(at)].othernum - 1;
        done = true;
    } else if (const int s = store.FindByUid(d.serviceUid); s >= 0) {
        rServiceRules& service = store.ServiceTable[static_cast<std::size_t>(s)];
        auto& rules = service.rulelist.rules;
        const auto at = static_cast<std::ptrdiff_t>(std::clamp<std::size_t>(
            static_cast<std::size_t>(std::max(d.index, 0)), 0, rules.size()));
        rules.insert(rules.begin() + at, std::move(d.rule));
        serviceId = service.serviceid;
        if (serviceId == sidOther) otherLine = service.othernum - 1;
        done = true;
    }
    emit DeletionsChanged();
    if (!done) return false;
    SaveConfig();
    emit DeletionUndone(serviceId, otherLine);
    emit RulesChanged(serviceId);
    return true;
}

bool Session::MailConfigured() const {
    const ServiceStore& s = state_.store;
    return s.UseSMTP && !s.SmtpServer.empty() && !s.ReplyTo.empty();
}

MailMessage Session::MailTemplate(std::string* problem) const {
    MailMessage m;
    m.server = state_.store.SmtpServer;
    m.from = m.to = state_.store.ReplyTo;
    m.user = state_.settings.SmtpUser;
    m.password = state_.settings.SmtpPassword;
    m.caFile = mailCaFile_;
    if (state_.settings.SmtpPasswordInKeyring && !m.user.empty()) {
        const std::optional<std::string> p =
            LookupSecret({state_.store.SmtpServer, 0, m.user}, problem);
        if (p) m.password = *p;
    }
    return m;
}

void Session::SendDueMail() {
    if (mailSending_ || !MailConfigured()) return;
    std::vector<FailureMail::Mail> due = mail_.TakeDue(QDateTime::currentMSecsSinceEpoch());
    if (due.empty()) return;
    mailSending_ = true;
    const MailMessage base = MailTemplate();
    struct Result {
        FailureMail::Mail mail;
        Status status = Status::Success();
    };
    auto* watcher = new QFutureWatcher<std::vector<Result>>(this);
    connect(watcher, &QFutureWatcher<std::vector<Result>>::finished, this, [this, watcher] {
        watcher->deleteLater();
        mailSending_ = false;
        for (const Result& r : watcher->result()) mailDone(r.mail, r.status);
    });
    MailSender send = sendMail_;
    watcher->setFuture(QtConcurrent::run([send, base, due = std::move(due)] {
        std::vector<Result> results;
        for (const FailureMail::Mail& mail : due) {
            MailMessage m = base;
            m.subject = mail.subject;
            m.body = mail.body;
            results.push_back({mail, send(m)});
        }
        return results;
    }));
}

void Session::mailDone(const FailureMail::Mail& mail, const Status& st) {
    const std::int64_t now = QDateTime::currentMSecsSinceEpoch();
    const std::string before = state_.settings.MailLastError;
    if (st) {
        state_.settings.MailLastError.clear();
        emit MailDelivered(QString::fromStdString(mail.subject));
    } else {
        // Tried again in ten minutes, with whatever failed meanwhile.
        mail_.PutBack(mail, now, 10 * 60 * 1000);
        state_.settings.MailLastError = st.error;
        const std::string text = "The failure notice could not be mailed to " +
                                 state_.store.ReplyTo + ": " + st.error + ".";
        // A journal that cannot be written says so itself.
        if (state_.journal && before != st.error)
            (void)state_.journal->Append({WarningEntry(text, now)});
        emit MailFailed(QString::fromStdString(text));
    }
    if (before != state_.settings.MailLastError) {
        try {
            SaveSettings(state_.settings);
        } catch (const std::exception&) {
            // Shown from memory; stored with the next save.
        }
    }
}

Session::~Session() = default;

void Session::WatchConfigFile() {
    if (state_.ConfigFilePath.empty()) return;
    {
        std::ifstream in(state_.ConfigFilePath, std::ios::binary);
        std::stringstream bytes;
        bytes << in.rdbuf();
        knownBytes_ = bytes.str();
    }
    watcher_ = std::make_unique<QFileSystemWatcher>();
    settle_ = std::make_unique<QTimer>();
    settle_->setSingleShot(true);
    settle_->setInterval(1000);
    // The file is replaced whole (a new file renamed over it), so its folder
    // is watched too: the new file is watched once it is there.
    const QString file = QString::fromStdString(state_.ConfigFilePath);
    const QString folder = QFileInfo(file).absolutePath();
    auto rewatch = [this, file] {
        if (!watcher_->files().contains(file) && QFileInfo::exists(file)) watcher_->addPath(file);
        settle_->start();
    };
    watcher_->addPath(folder);
    if (QFileInfo::exists(file)) watcher_->addPath(file);
    connect(watcher_.get(), &QFileSystemWatcher::fileChanged, this, rewatch);
    connect(watcher_.get(), &QFileSystemWatcher::directoryChanged, this, rewatch);
    connect(settle_.get(), &QTimer::timeout, this, &Session::ReloadConfig);
}

void Session::ReloadConfig() {
    const std::string path = state_.ConfigFilePath;
    std::ifstream in(path, std::ios::binary);
    if (!in) return;  // gone for a moment (being replaced), or never made
    std::stringstream bytes;
    bytes << in.rdbuf();
    if (bytes.str() == knownBytes_) return;
    ServiceStore fresh;
    InitServiceTable(fresh);
    std::vector<std::string> warnings;
    const int rc =
        ReadConfigTextLocated(bytes.str(), fresh, [&](const std::string& w, std::size_t line) {
            warnings.push_back(path + ':' + std::to_string(line) + ": " + w);
        });
    if (rc != 0 || !warnings.empty()) {
        QString why = QStringLiteral(
                          "%1 was changed but does not read cleanly, so the rules "
                          "stay as they were")
                          .arg(QString::fromStdString(path));
        if (!warnings.empty())
            why +=
                QStringLiteral(" (") + QString::fromStdString(warnings.front()) + QLatin1Char(')');
        // Said once per version of the file.
        knownBytes_ = bytes.str();
        emit ReloadRefused(why + QLatin1Char('.'));
        return;
    }
    knownBytes_ = bytes.str();
    auto taken = std::make_shared<ServiceStore>(std::move(fresh));
    scheduler_->RunBetweenPasses({}, [this, taken, path] {
        ServiceStore& store = state_.store;
        // A service keeps its identity, and with it what the passes know of
        // it, when the same service still watches the same folder.
        std::vector<bool> used(store.ServiceTable.size(), false);
        for (rServiceRules& s : taken->ServiceTable) {
            s.uid = 0;
            for (std::size_t i = 0; i < store.ServiceTable.size(); ++i) {
                const rServiceRules& old = store.ServiceTable[i];
                if (used[i] || old.serviceid != s.serviceid || old.sharedir != s.sharedir ||
                    (s.serviceid == sidOther && old.othername != s.othername))
                    continue;
                s.uid = old.uid;
                used[i] = true;
                break;
            }
            if (s.uid == 0) store.AssignUid(s);
        }
        store.ServiceTable = std::move(taken->ServiceTable);
        store.UseSMTP = taken->UseSMTP;
        store.SmtpServer = taken->SmtpServer;
        store.ReplyTo = taken->ReplyTo;
        RefreshClients();
        for (const rServiceRules& s : store.ServiceTable) emit RulesChanged(s.serviceid);
        int rules = 0;
        for (const rServiceRules& s : store.ServiceTable)
            if (s.enabled && !s.sharedir.empty())
                for (const RuleRec& r : s.rulelist.rules) rules += r.enabled ? 1 : 0;
        emit ConfigReloaded(QStringLiteral("The rules were read again from %1: %2 switched on.")
                                .arg(QString::fromStdString(path))
                                .arg(rules == 1 ? QStringLiteral("1 rule")
                                                : QStringLiteral("%1 rules").arg(rules)));
    });
}

int Session::RecordFor(std::uint8_t serviceId) const {
    if (serviceId != sidOther) return state_.store.FindNetwork(serviceId);
    return selectedOtherLine_ < 0 ? -1 : state_.store.FindAdditional(selectedOtherLine_ + 1);
}

int Session::CurrentServiceIndex() const { return RecordFor(currentServiceId_); }

void Session::SaveConfig() {
    // A failed save leaves the old file intact; the table in memory keeps the
    // change and the next save writes it. No box: saves come with every
    // click; the status bar says it until one succeeds.
    const Status st = SaveConfigFile(state_.ConfigFilePath, state_.store);
    if (st) knownBytes_ = FormatConfigFile(state_.store);
    if (st)
        emit Saved();
    else
        emit SaveFailed(SaveFailedText(QString::fromStdString(st.error)));
    RefreshClients();
}

ScanEnvironment Session::PreviewEnvironment() const {
    ScanEnvironment env;
    kb::ApplySettings(env, state_.settings);
    return env;
}

void Session::ApplySettings() { scheduler_->SetSettings(state_.settings); }

void Session::RefreshClients() {
    std::vector<ClientLink> plan = PlanClientLinks(state_.store);
    if (scheduler_->Clients() && plan == clientPlan_) return;
    clientPlan_ = std::move(plan);
    scheduler_->SetClients(BuildClientDesk(clientPlan_));
}

QString Session::RuleFailure(const rServiceRules& service, const RuleRec& rule) const {
    if (!state_.journal) return {};
    const RuleFigures f = state_.journal->Figures(ServiceName(service), rule.rulename);
    return f.lastFailed ? QString::fromStdString(f.lastError) : QString();
}

QString Session::RuleTip(const rServiceRules& service, const RuleRec& rule) const {
    if (!state_.journal) return {};
    const RuleFigures f = state_.journal->Figures(ServiceName(service), rule.rulename);
    if (f.files == 0 && f.lastError.empty()) return QStringLiteral("Not acted on any file yet.");
    QString tip;
    if (f.lastTimeMs > 0)
        tip = QStringLiteral("Last acted %1, on %2 files in all.")
                  .arg(QDateTime::fromMSecsSinceEpoch(f.lastTimeMs)
                           .toString(QStringLiteral("yyyy-MM-dd HH:mm")))
                  .arg(f.files);
    if (!f.lastError.empty()) {
        if (!tip.isEmpty()) tip += QLatin1Char('\n');
        tip += QStringLiteral("Last failure: ") + QString::fromStdString(f.lastError);
    }
    return tip;
}

}  // namespace kb
