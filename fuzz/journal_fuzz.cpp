// The activity journal's rows. Through the journal itself every entry reads
// back exactly as it was written and is found by a search for its service
// name in any letter case; rows of any SQLite type, as an older version, a
// hand edit or another program may leave them, decode without harm and can
// be asked whether they can be taken back.
#include <fuzzer/FuzzedDataProvider.h>
#include <sqlite3.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "fuzz_check.h"
#include "journal/journal.h"
#include "journal/undo.h"

namespace {

struct Scratch {
    kb::Journal* journal = nullptr;
    sqlite3* raw = nullptr;
};

Scratch& Open() {
    static Scratch s = [] {
        Scratch n;
        const std::string file = (ScratchDir("journal") / "activity.sqlite3").string();
        n.journal = new kb::Journal(file);
        FUZZ_CHECK(n.journal->Append({kb::WarningEntry("start", 0)}).ok);
        FUZZ_CHECK(sqlite3_open(file.c_str(), &n.raw) == SQLITE_OK);
        sqlite3_busy_timeout(n.raw, 2000);
        return n;
    }();
    return s;
}

std::string Flipped(std::string s) {
    for (char& c : s) {
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 32);
        else if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c + 32);
    }
    return s;
}

// The rule figures leave out undo entries the way SQLite's LIKE 'undo %'
// does: ASCII letters in either case.
bool StartsUndo(const std::string& action) {
    if (action.size() < 5) return false;
    for (std::size_t i = 0; i < 5; ++i) {
        const char c = action[i];
        const char lower = (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c;
        if (lower != "undo "[i]) return false;
    }
    return true;
}

void RoundTrip(Scratch& s, FuzzedDataProvider& in) {
    kb::JournalEntry e;
    e.timeMs = in.ConsumeIntegral<std::int64_t>();
    e.service = in.ConsumeRandomLengthString(64);
    e.rule = in.ConsumeRandomLengthString(64);
    e.action = in.ConsumeRandomLengthString(16);
    e.source = in.ConsumeRandomLengthString(256);
    e.target = in.ConsumeRandomLengthString(256);
    e.size = in.ConsumeIntegral<std::int64_t>();
    e.ok = in.ConsumeBool();
    e.error = in.ConsumeRandomLengthString(128);
    e.mtimeNs = in.ConsumeIntegral<std::int64_t>();
    std::int64_t id = 0;
    FUZZ_CHECK(s.journal->Append({e}, &id).ok);
    e.id = id;
    const auto got = s.journal->Get(id);
    FUZZ_CHECK(got);
    FUZZ_CHECK(got->id == e.id && got->timeMs == e.timeMs && got->service == e.service &&
               got->rule == e.rule && got->action == e.action && got->source == e.source &&
               got->target == e.target && got->size == e.size && got->ok == e.ok &&
               got->error == e.error && got->mtimeNs == e.mtimeNs && got->undoneBy == 0);

    // The search box: the service name in any ASCII case finds the entry
    // (SQLite's LIKE stops at a NUL, which nobody can type).
    if (!e.service.empty() && e.service.find('\0') == std::string::npos) {
        kb::JournalQuery q;
        q.text = Flipped(e.service);
        q.limit = 1;
        q.afterId = id - 1;
        const std::vector<kb::JournalEntry> found = s.journal->Read(q);
        FUZZ_CHECK(found.size() == 1 && found[0].id == id);
    }
    kb::JournalQuery failures;
    failures.failuresOnly = true;
    failures.afterId = id - 1;
    FUZZ_CHECK(s.journal->Read(failures).size() == (e.ok ? 0u : 1u));

    if (e.service.find('\0') == std::string::npos && e.rule.find('\0') == std::string::npos &&
        e.action.find('\0') == std::string::npos) {
        const kb::RuleFigures f = s.journal->Figures(e.service, e.rule);
        const bool counts = e.ok && !StartsUndo(e.action);
        FUZZ_CHECK(f.files == (counts ? 1 : 0));
        if (counts) FUZZ_CHECK(f.lastTimeMs == e.timeMs);
    }
    (void)kb::CanUndo(*got);
}

// One row of whatever types the fuzzer picks, put in behind the journal's back.
void StrangeRow(Scratch& s, FuzzedDataProvider& in) {
    sqlite3_stmt* st = nullptr;
    FUZZ_CHECK(sqlite3_prepare_v2(s.raw,
                                  "INSERT INTO activity(id, time_ms, service, rule, action, "
                                  "source, target, size, ok, error, mtime_ns, undone_by) "
                                  "VALUES (?,?,?,?,?,?,?,?,?,?,?,?)",
                                  -1, &st, nullptr) == SQLITE_OK);
    for (int col = 1; col <= 12; ++col) {
        switch (in.ConsumeIntegralInRange(0, 4)) {
            case 0:
                sqlite3_bind_null(st, col);
                break;
            case 1:
                sqlite3_bind_int64(st, col, in.ConsumeIntegral<std::int64_t>());
                break;
            case 2:
                sqlite3_bind_double(st, col, in.ConsumeFloatingPoint<double>());
                break;
            case 3: {
                const std::string t = in.ConsumeRandomLengthString(128);
                sqlite3_bind_text(st, col, t.data(), static_cast<int>(t.size()), SQLITE_TRANSIENT);
                break;
            }
            default: {
                const std::string b = in.ConsumeRandomLengthString(128);
                sqlite3_bind_blob(st, col, b.data(), static_cast<int>(b.size()), SQLITE_TRANSIENT);
                break;
            }
        }
    }
    sqlite3_step(st);  // NOT NULL, a taken id or a non-integer id refuse the row: fine
    sqlite3_finalize(st);

    for (const kb::JournalEntry& e : s.journal->Last(3)) {
        (void)kb::CanUndo(e);
        (void)s.journal->Get(e.id);
        (void)s.journal->Figures(e.service, e.rule);
    }
    kb::JournalQuery q;
    q.text = in.ConsumeRandomLengthString(16);
    (void)s.journal->Read(q);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    Scratch& s = Open();
    FUZZ_CHECK(sqlite3_exec(s.raw, "DELETE FROM activity", nullptr, nullptr, nullptr) == SQLITE_OK);
    FuzzedDataProvider in(data, size);
    if (in.ConsumeBool())
        RoundTrip(s, in);
    else
        StrangeRow(s, in);
    return 0;
}
