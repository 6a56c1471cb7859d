// How long a rule waits before it tries a failing file again, and what
// tells that the rule or its target folders changed meanwhile.
#include <algorithm>

#include "engine/nametemplate.h"
#include "engine/scanpass.h"
#include "engine/scanstate.h"
#include "platform/dirlist.h"

namespace kb {

std::int64_t RetryDelayNs(int failures) {
    constexpr std::int64_t kFirst = 5'000'000'000, kMost = 600'000'000'000;
    std::int64_t d = kFirst;
    for (int k = 1; k < failures && d < kMost; ++k) d *= 2;
    return std::min(d, kMost);
}

namespace {

// FNV-1a, over what is fed to it piece by piece.
struct Fingerprint {
    std::uint64_t h = 1469598103934665603ull;
    void Add(std::string_view s) {
        for (unsigned char c : s) h = (h ^ c) * 1099511628211ull;
        Add(std::int64_t{static_cast<std::int64_t>(s.size())});
    }
    void Add(std::int64_t v) {
        for (int k = 0; k < 8; ++k)
            h = (h ^ static_cast<std::uint8_t>(v >> (8 * k))) * 1099511628211ull;
    }
};

}  // namespace

std::uint64_t RuleFingerprint(const RuleRec& r) {
    Fingerprint f;
    f.Add(r.rulename);
    f.Add(std::int64_t{r.enabled} + 2 * KindCode(r.mcond));
    f.Add(std::int64_t{r.fcnt});
    f.Add(std::int64_t{r.fsize});
    for (const ruleacondrec& c : r.conds) {
        f.Add(std::int64_t{KindCode(c.rcond)});
        f.Add(c.fileext.ext);
        f.Add(std::int64_t{c.rnum} << 32 | static_cast<std::uint32_t>(c.size));
        f.Add(std::int64_t{c.rdayscmp} << 32 | static_cast<std::uint32_t>(c.rdays));
        f.Add(std::int64_t{c.newestcnt} << 32 | static_cast<std::uint32_t>(c.oldestcnt));
        f.Add(c.pattern);
        f.Add(std::int64_t{c.matchCase});
    }
    for (const ruleactionrec& a : r.actions) {
        f.Add(std::int64_t{KindCode(a.raction)} << 8 | static_cast<std::uint8_t>(a.conflict));
        f.Add(a.move.filepath);
        f.Add(a.copy.filepath);
        f.Add(a.newname);
        f.Add(a.ftp.ftpserver);
        f.Add(a.ftp.ftppath);
        f.Add(std::int64_t{a.ftp.ftpport});
        f.Add(a.ftp.ftpuser);
        f.Add(a.ftp.ftppass);
        f.Add(std::int64_t{a.ftp.ftpascmode} << 1 | std::int64_t{a.ftp.ftppassive});
        f.Add(a.launch.fprogram);
        f.Add(a.launch.fparams);
    }
    return f.h;
}

std::uint64_t TargetsFingerprint(const RuleRec& r) {
    Fingerprint f;
    for (const ruleactionrec& a : r.actions) {
        if (a.raction != actMove && a.raction != actCopy) continue;
        const std::string dir = FixedPart(a.raction == actMove ? a.move.filepath : a.copy.filepath);
        const auto sep = dir.find_last_of("/\\");
        const std::optional<DirEntryInfo> e =
            sep == std::string::npos
                ? std::nullopt
                : StatEntry(dir.substr(0, sep == 0 ? 1 : sep), dir.substr(sep + 1));
        f.Add(e ? e->mtimeNs : -1);
    }
    return f.h;
}

void ScanState::Keep(const ServiceStore& store) {
    std::erase_if(states_, [&](const auto& kv) { return store.FindByUid(kv.first) < 0; });
}

}  // namespace kb
