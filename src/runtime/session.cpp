#include "runtime/session.h"

#include <QDateTime>

#include "journal/journal.h"
#include "remote/clientdesk.h"
#include "runtime/outcometext.h"
#include "store/configfile.h"

namespace kb {

Session::Session(ProgramState& state, ScanEnvironment env, QObject* parent)
    : QObject(parent),
      state_(state),
      scheduler_(std::make_unique<ScanScheduler>(state_.store, std::move(env), state_.journal)) {
    ApplySettings();
    RefreshClients();
}

Session::~Session() = default;

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
