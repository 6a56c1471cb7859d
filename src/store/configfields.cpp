#include "store/configfields.h"

#include <array>

namespace kb {

namespace {

template <class R>
using F = ConfigField<R>;

const std::array<F<ServiceStore>, 3> kMainInfo{{
    {"UseSMTP", [](ServiceStore& s) -> FieldRef { return &s.UseSMTP; }},
    {"SMTP Server", [](ServiceStore& s) -> FieldRef { return &s.SmtpServer; }},
    {"ReplyTo", [](ServiceStore& s) -> FieldRef { return &s.ReplyTo; }},
}};

const std::array<F<rServiceRules>, 6> kService{{
    {"serviceid", [](rServiceRules& s) -> FieldRef { return &s.serviceid; }},
    {"othernum", [](rServiceRules& s) -> FieldRef { return &s.othernum; }},
    {"othername", [](rServiceRules& s) -> FieldRef { return &s.othername; }},
    {"enabled", [](rServiceRules& s) -> FieldRef { return &s.enabled; }},
    {"sharedir", [](rServiceRules& s) -> FieldRef { return &s.sharedir; }},
    {"excludefiles", [](rServiceRules& s) -> FieldRef { return &s.excludefiles; }},
}};

const std::array<F<RuleRec>, 3> kRule{{
    {"rulename", [](RuleRec& r) -> FieldRef { return &r.rulename; }},
    {"enabled", [](RuleRec& r) -> FieldRef { return &r.enabled; }},
    {"mcond", [](RuleRec& r) -> FieldRef { return &r.mcond; }},
}};

const std::array<F<RuleRec>, 2> kRuleLimits{{
    {"fcnt", [](RuleRec& r) -> FieldRef { return &r.fcnt; }},
    {"fsize", [](RuleRec& r) -> FieldRef { return &r.fsize; }},
}};

const std::array<F<ruleacondrec>, 1> kExtension{{
    {"ext", [](ruleacondrec& c) -> FieldRef { return &c.fileext.ext; }},
}};
const std::array<F<ruleacondrec>, 2> kSize{{
    {"rnum", [](ruleacondrec& c) -> FieldRef { return &c.rnum; }},
    {"size", [](ruleacondrec& c) -> FieldRef { return &c.size; }},
}};
// Without "rdayscmp" an "older than" rule came back as "newer than" and
// deleted the wrong files; files from before it existed lack the line.
const std::array<F<ruleacondrec>, 2> kDate{{
    {"rdays", [](ruleacondrec& c) -> FieldRef { return &c.rdays; }},
    {"rdayscmp", [](ruleacondrec& c) -> FieldRef { return &c.rdayscmp; }, true},
}};
const std::array<F<ruleacondrec>, 1> kNewest{{
    {"filecnt", [](ruleacondrec& c) -> FieldRef { return &c.newestcnt; }},
}};
const std::array<F<ruleacondrec>, 1> kOldest{{
    {"filecnt", [](ruleacondrec& c) -> FieldRef { return &c.oldestcnt; }},
}};

const std::array<F<ruleactionrec>, 1> kMove{{
    {"filepath", [](ruleactionrec& a) -> FieldRef { return &a.move.filepath; }},
}};
const std::array<F<ruleactionrec>, 1> kCopy{{
    {"filepath", [](ruleactionrec& a) -> FieldRef { return &a.copy.filepath; }},
}};
// The port comes before the path; the password is stored as it stands.
const std::array<F<ruleactionrec>, 7> kFtp{{
    {"ftpserver", [](ruleactionrec& a) -> FieldRef { return &a.ftp.ftpserver; }},
    {"ftpport", [](ruleactionrec& a) -> FieldRef { return &a.ftp.ftpport; }},
    {"ftppath", [](ruleactionrec& a) -> FieldRef { return &a.ftp.ftppath; }},
    {"ftpuser", [](ruleactionrec& a) -> FieldRef { return &a.ftp.ftpuser; }},
    {"ftppass", [](ruleactionrec& a) -> FieldRef { return &a.ftp.ftppass; }},
    {"ftpascmode", [](ruleactionrec& a) -> FieldRef { return &a.ftp.ftpascmode; }},
    {"ftppassive", [](ruleactionrec& a) -> FieldRef { return &a.ftp.ftppassive; }},
}};
const std::array<F<ruleactionrec>, 2> kLaunch{{
    {"fprogram", [](ruleactionrec& a) -> FieldRef { return &a.launch.fprogram; }},
    {"fparams", [](ruleactionrec& a) -> FieldRef { return &a.launch.fparams; }},
}};

}  // namespace

std::span<const ConfigField<ServiceStore>> MainInfoFields() { return kMainInfo; }
std::span<const ConfigField<rServiceRules>> ServiceFields() { return kService; }
std::span<const ConfigField<RuleRec>> RuleFields() { return kRule; }
std::span<const ConfigField<RuleRec>> RuleLimitFields() { return kRuleLimits; }

std::span<const ConfigField<ruleacondrec>> ConditionFields(ConditionKind rcond) {
    switch (rcond) {
        case condExtension:
            return kExtension;
        case condSize:
            return kSize;
        case condDate:
            return kDate;
        case condNewest:
            return kNewest;
        case condOldest:
            return kOldest;
        default:
            return {};
    }
}

std::span<const ConfigField<ruleactionrec>> ActionFields(ActionKind raction) {
    switch (raction) {
        case actMove:
            return kMove;
        case actCopy:
            return kCopy;
        case actFtp:
            return kFtp;
        case actLaunch:
            return kLaunch;
        default:
            return {};
    }
}

}  // namespace kb
