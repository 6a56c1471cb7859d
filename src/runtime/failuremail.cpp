#include "runtime/failuremail.h"

#include <QDateTime>

#include "runtime/outcometext.h"

namespace kb {

std::string MailTimeText(std::int64_t ms, std::int64_t nowMs) {
    const QDateTime t = QDateTime::fromMSecsSinceEpoch(ms);
    const QDateTime now = QDateTime::fromMSecsSinceEpoch(nowMs);
    return (t.date() == now.date() ? t.toString(QStringLiteral("HH:mm"))
                                   : t.toString(QStringLiteral("yyyy-MM-dd HH:mm")))
        .toStdString();
}

void FailureMail::Add(const std::vector<ActionOutcome>& outcomes, std::int64_t nowMs) {
    for (const ActionOutcome& o : outcomes) {
        if (o.ok) continue;
        RuleState& r = rules_[{o.service, o.rulename}];
        if (r.pending.size() < kListed)
            r.pending.push_back({nowMs, OutcomeLine(o)});
        else
            ++r.more;
    }
}

std::vector<FailureMail::Mail> FailureMail::TakeDue(std::int64_t nowMs) {
    std::vector<Mail> due;
    for (auto& [key, r] : rules_) {
        if (r.pending.empty()) continue;
        if (r.lastMailMs >= 0 && nowMs - r.lastMailMs < kIntervalMs) continue;
        Mail m;
        m.service = key.first;
        m.rule = key.second;
        m.count = static_cast<int>(r.pending.size()) + r.more;
        const std::string what = m.count == 1 ? "1 action" : std::to_string(m.count) + " actions";
        m.subject = "Kestrelbox: " + what + " of the rule \"" + m.rule + "\" failed";
        m.body = "The rule \"" + m.rule + "\" of " + m.service + " failed " +
                 (m.count == 1 ? std::string("once") : std::to_string(m.count) + " times") +
                 (r.sinceMs >= 0
                      ? " since the last mail about it (" + MailTimeText(r.sinceMs, nowMs) + ")"
                      : std::string()) +
                 ":\n\n";
        for (const Failure& f : r.pending)
            m.body += MailTimeText(f.timeMs, nowMs) + "  " + f.line + "\n";
        if (r.more > 0) m.body += "... and " + std::to_string(r.more) + " more.\n";
        m.body +=
            "\nThe Activity page (or kestrelbox --history) shows every one. At most one mail "
            "an hour is sent about a rule.\n";
        inFlight_[key] = Sent{r.pending, r.sinceMs};
        r.pending.clear();
        r.more = 0;
        r.lastMailMs = nowMs;
        r.sinceMs = nowMs;
        due.push_back(std::move(m));
    }
    return due;
}

void FailureMail::PutBack(const Mail& mail, std::int64_t nowMs, std::int64_t retryMs) {
    const auto key = std::make_pair(mail.service, mail.rule);
    RuleState& r = rules_[key];
    Sent sent = std::move(inFlight_[key]);
    inFlight_.erase(key);
    std::vector<Failure> back = std::move(sent.failures);
    r.sinceMs = sent.sinceMs;
    const int listed = static_cast<int>(back.size());
    for (Failure& f : r.pending) {
        if (back.size() < kListed)
            back.push_back(std::move(f));
        else
            ++r.more;
    }
    r.more += mail.count - listed;
    r.pending = std::move(back);
    // Due again `retryMs` from now.
    r.lastMailMs = nowMs + retryMs - kIntervalMs;
}

bool FailureMail::Waiting() const {
    for (const auto& [key, r] : rules_)
        if (!r.pending.empty()) return true;
    return false;
}

}  // namespace kb
