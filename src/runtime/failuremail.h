// Failure notices by mail: what a pass failed at is gathered per rule and
// mailed at most once an hour per rule, the first failure at once, later
// ones with a count of what happened since the last mail.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "engine/scanpass.h"

namespace kb {

class FailureMail {
public:
    static constexpr std::int64_t kIntervalMs = 60 * 60 * 1000;
    // How many failures a mail lists one by one; the rest are counted.
    static constexpr std::size_t kListed = 20;

    struct Mail {
        std::string service, rule;
        std::string subject, body;
        int count = 0;  // failures it tells of
    };

    // The failures among a pass's outcomes, at `nowMs` (ms since 1970).
    void Add(const std::vector<ActionOutcome>& outcomes, std::int64_t nowMs);
    // The mails due now: a rule with failures not yet mailed whose last mail
    // is an interval ago (or that had none). Taking them counts as sent.
    std::vector<Mail> TakeDue(std::int64_t nowMs);
    // A mail that could not be delivered: its failures wait again and are
    // tried with the next due mail of its rule, `retryMs` from now.
    void PutBack(const Mail& mail, std::int64_t nowMs, std::int64_t retryMs);
    // Whether anything waits to be mailed.
    bool Waiting() const;

private:
    struct Failure {
        std::int64_t timeMs = 0;
        std::string line;
    };
    struct RuleState {
        std::int64_t lastMailMs = -1;  // -1: none yet
        std::int64_t sinceMs = -1;     // the last mail's time, for the text
        std::vector<Failure> pending;
        int more = 0;  // failures beyond those listed
    };
    std::map<std::pair<std::string, std::string>, RuleState> rules_;
    struct Sent {
        std::vector<Failure> failures;
        std::int64_t sinceMs = -1;  // what the rule's text said before this mail
    };
    std::map<std::pair<std::string, std::string>, Sent> inFlight_;
};

// "14:05" today, else "2026-12-09 14:05", in local time.
std::string MailTimeText(std::int64_t ms, std::int64_t nowMs);

}  // namespace kb
