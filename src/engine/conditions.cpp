#include "engine/conditions.h"

#include <algorithm>
#include <cmath>
#include <numeric>

#include "engine/folders.h"
#include "engine/matchmask.h"
#include "engine/namepattern.h"

namespace kb {

namespace {

template <typename Pred>
void KeepIf(std::vector<std::uint32_t>& candidates, Pred keep) {
    // One stable sweep: removing entries one at a time would shift the tail
    // for every removal, quadratic on a big folder.
    std::erase_if(candidates, [&](std::uint32_t i) { return !keep(i); });
}

// A comparison code other than "less" and "greater" (only a hand-edited
// configuration holds one) can be satisfied by no file, so the rule acts on
// nothing rather than on files the user never chose.
template <typename T>
bool Compare(std::uint8_t code, T value, T limit) {
    if (code == cmpLess) return value < limit;
    if (code == cmpGreater) return value > limit;
    return false;
}

void KeepRanked(std::vector<std::uint32_t>& candidates, const std::vector<filerec>& listing,
                std::int32_t n, bool newest, const RankFilter& rankable) {
    const std::size_t count = listing.size();
    // Every file is selected (all of them rank, and there are at most n).
    if (!rankable && n >= 0 && static_cast<std::size_t>(n) >= count) return;
    if (n <= 0) {
        // None selected; a count below zero was never entered and selects nothing.
        candidates.clear();
        return;
    }
    // Ties keep listing order: rank by (date, position), a strict order, so a
    // partial selection gives exactly what a stable sort would.
    std::vector<std::uint32_t> rank(count);
    std::iota(rank.begin(), rank.end(), 0u);
    auto before = [&](std::uint32_t a, std::uint32_t b) {
        const double da = listing[a].date, db = listing[b].date;
        if (da != db) return newest ? da > db : da < db;
        return a < b;
    };
    // Names within one directory are unique, so a position identifies a name.
    std::vector<bool> selected(count, false);
    // Take the best `need` of the rest, keep those that may rank, and go on
    // with the next best for each that may not: the filter is asked only
    // about entries near the top.
    std::size_t need = static_cast<std::size_t>(n), from = 0;
    while (need > 0 && from < count) {
        const std::size_t take = std::min(need, count - from);
        const auto first = rank.begin() + static_cast<std::ptrdiff_t>(from);
        std::nth_element(first, first + static_cast<std::ptrdiff_t>(take - 1), rank.end(), before);
        for (std::size_t k = from; k < from + take; ++k) {
            if (rankable && !rankable(rank[k])) continue;
            selected[rank[k]] = true;
            --need;
        }
        from += take;
    }
    KeepIf(candidates, [&](std::uint32_t i) { return selected[i]; });
}

}  // namespace

bool FileExtension(std::string_view name, std::string_view& ext) {
    const auto dot = name.rfind('.');
    if (dot == std::string_view::npos) return false;
    ext = name.substr(dot + 1);
    return true;
}

std::int64_t AgeInDays(double date, double now) {
    return static_cast<std::int64_t>(std::trunc(std::floor(now) - date));
}

void ApplyCondition(const ruleacondrec& cond, std::vector<std::uint32_t>& candidates,
                    const std::vector<filerec>& listing, double now, const RankFilter& rankable) {
    switch (cond.rcond) {
        case condExtension: {
            if (candidates.empty()) return;
            const std::vector<std::string_view> items = SplitList(cond.fileext.ext);
            auto listed = [&](std::string_view name) {
                // A name without "." has no extension and fails every list.
                std::string_view ext;
                if (!FileExtension(name, ext)) return false;
                return std::find(items.begin(), items.end(), ext) != items.end();
            };
            KeepIf(candidates, [&](std::uint32_t i) {
                // A folder taken as one download passes when it holds a
                // file with one of the extensions, at any depth.
                if (const FolderContents* c = listing[i].contents.get()) {
                    return std::any_of(c->files.begin(), c->files.end(), [&](const FolderFile& f) {
                        return listed(std::string_view(f.path).substr(f.path.rfind('/') + 1));
                    });
                }
                return listed(listing[i].name);
            });
            return;
        }
        case condSize:
            KeepIf(candidates, [&](std::uint32_t i) {
                return Compare<std::int64_t>(cond.rnum, listing[i].size / kConditionKB, cond.size);
            });
            return;
        case condDate:
            KeepIf(candidates, [&](std::uint32_t i) {
                return Compare<std::int64_t>(cond.rdayscmp, AgeInDays(listing[i].date, now),
                                             cond.rdays);
            });
            return;
        case condNewest:
            KeepRanked(candidates, listing, cond.newestcnt, true, rankable);
            return;
        case condOldest:
            KeepRanked(candidates, listing, cond.oldestcnt, false, rankable);
            return;
        case condNameWildcard:
        case condNameRegex: {
            if (candidates.empty()) return;
            // A pattern that does not compile selects nothing (the editor
            // refuses one; only a file edited by hand holds it).
            const NamePattern pattern(cond);
            KeepIf(candidates, [&](std::uint32_t i) { return pattern.Matches(listing[i].name); });
            return;
        }
        default:
            return;
    }
}

}  // namespace kb
