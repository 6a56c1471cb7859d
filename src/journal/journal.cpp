#include "journal/journal.h"

#include <sqlite3.h>

#include <cstdio>
#include <utility>

#include "platform/fileops.h"
#include "platform/paths.h"

namespace kb {

namespace {

constexpr char kSchema[] =
    "CREATE TABLE IF NOT EXISTS activity("
    " id INTEGER PRIMARY KEY,"
    " time_ms INTEGER NOT NULL,"
    " service TEXT NOT NULL,"
    " rule TEXT NOT NULL,"
    " action TEXT NOT NULL,"
    " source TEXT NOT NULL,"
    " target TEXT NOT NULL,"
    " size INTEGER NOT NULL,"
    " ok INTEGER NOT NULL,"
    " error TEXT NOT NULL,"
    " mtime_ns INTEGER NOT NULL DEFAULT 0,"
    " undone_by INTEGER NOT NULL DEFAULT 0,"
    " client_move TEXT NOT NULL DEFAULT '',"
    " target_name TEXT NOT NULL DEFAULT '',"
    " replaced_trash TEXT NOT NULL DEFAULT '',"
    " repeats INTEGER NOT NULL DEFAULT 1,"
    " last_ms INTEGER NOT NULL DEFAULT 0);"
    "CREATE INDEX IF NOT EXISTS activity_by_rule ON activity(service, rule, id);";

// Made once the added columns are there (an older journal gains them first).
constexpr char kLaterIndexes[] =
    "CREATE INDEX IF NOT EXISTS activity_by_source ON activity(source, id);";

// Columns later versions added, with what an older row holds instead.
struct AddedColumn {
    const char* name;
    const char* declaration;
    const char* absent;  // selected in their place from a journal without them
};
constexpr AddedColumn kAdded[] = {
    {"client_move", "client_move TEXT NOT NULL DEFAULT ''", "''"},
    {"target_name", "target_name TEXT NOT NULL DEFAULT ''", "''"},
    {"replaced_trash", "replaced_trash TEXT NOT NULL DEFAULT ''", "''"},
    {"repeats", "repeats INTEGER NOT NULL DEFAULT 1", "1"},
    {"last_ms", "last_ms INTEGER NOT NULL DEFAULT 0", "0"},
};

constexpr char kBaseColumns[] =
    "id, time_ms, service, rule, action, source, target, size, ok, error, mtime_ns, undone_by";

// A prepared statement, finalised on every path out.
class Statement {
public:
    Statement(sqlite3* db, const char* sql) { sqlite3_prepare_v2(db, sql, -1, &stmt_, nullptr); }
    ~Statement() { sqlite3_finalize(stmt_); }
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;

    bool Valid() const { return stmt_ != nullptr; }
    sqlite3_stmt* get() const { return stmt_; }
    void Bind(int i, std::int64_t v) { sqlite3_bind_int64(stmt_, i, v); }
    void Bind(int i, const std::string& v) {
        sqlite3_bind_text(stmt_, i, v.data(), static_cast<int>(v.size()), SQLITE_TRANSIENT);
    }
    int Step() { return sqlite3_step(stmt_); }
    void Reset() {
        sqlite3_reset(stmt_);
        sqlite3_clear_bindings(stmt_);
    }
    std::int64_t Int(int col) const { return sqlite3_column_int64(stmt_, col); }
    std::string Text(int col) const {
        const auto* p = reinterpret_cast<const char*>(sqlite3_column_text(stmt_, col));
        return p ? std::string(p, static_cast<std::size_t>(sqlite3_column_bytes(stmt_, col)))
                 : std::string();
    }

private:
    sqlite3_stmt* stmt_ = nullptr;
};

JournalEntry RowOf(const Statement& s) {
    JournalEntry e;
    e.id = s.Int(0);
    e.timeMs = s.Int(1);
    e.service = s.Text(2);
    e.rule = s.Text(3);
    e.action = s.Text(4);
    e.source = s.Text(5);
    e.target = s.Text(6);
    e.size = s.Int(7);
    e.ok = s.Int(8) != 0;
    e.error = s.Text(9);
    e.mtimeNs = s.Int(10);
    e.undoneBy = s.Int(11);
    e.clientMove = s.Text(12);
    e.targetName = s.Text(13);
    e.replacedTrash = s.Text(14);
    e.repeats = s.Int(15);
    e.lastMs = s.Int(16);
    return e;
}

bool HasColumn(sqlite3* db, const char* name) {
    sqlite3_stmt* st = nullptr;
    if (sqlite3_prepare_v2(db, "PRAGMA table_info(activity)", -1, &st, nullptr) != SQLITE_OK)
        return false;
    bool found = false;
    while (!found && sqlite3_step(st) == SQLITE_ROW) {
        const auto* col = reinterpret_cast<const char*>(sqlite3_column_text(st, 1));
        found = col && std::string(col) == name;
    }
    sqlite3_finalize(st);
    return found;
}

// The columns to select from `db`, a journal of this version or an older one.
std::string ColumnsOf(sqlite3* db) {
    std::string cols = kBaseColumns;
    for (const AddedColumn& c : kAdded)
        cols += std::string(", ") + (HasColumn(db, c.name) ? c.name : c.absent);
    return cols;
}

// Brings a journal an older version made up to this one's columns.
int AddMissingColumns(sqlite3* db) {
    for (const AddedColumn& c : kAdded) {
        if (HasColumn(db, c.name)) continue;
        const int rc = sqlite3_exec(
            db, (std::string("ALTER TABLE activity ADD COLUMN ") + c.declaration).c_str(), nullptr,
            nullptr, nullptr);
        if (rc != SQLITE_OK) return rc;
    }
    return SQLITE_OK;
}

bool Damaged(int rc) {
    const int primary = rc & 0xff;
    return primary == SQLITE_CORRUPT || primary == SQLITE_NOTADB;
}

bool Busy(int rc) {
    const int primary = rc & 0xff;
    return primary == SQLITE_BUSY || primary == SQLITE_LOCKED;
}

int Exec(sqlite3* db, const char* sql) { return sqlite3_exec(db, sql, nullptr, nullptr, nullptr); }

std::string LikePattern(const std::string& text) {
    std::string p = "%";
    for (char c : text) {
        if (c == '%' || c == '_' || c == '\\') p += '\\';
        p += c;
    }
    return p + "%";
}

std::string Describe(sqlite3* db, int rc) { return db ? sqlite3_errmsg(db) : sqlite3_errstr(rc); }

}  // namespace

std::string JournalAction(const ActionOutcome& o) {
    switch (o.raction) {
        case actMove:
            return "move";
        case actCopy:
            return "copy";
        case actDelete:
            return o.trashed ? "trash" : "delete";
        case actFtp:
            return "ftp";
        case actLaunch:
            return "launch";
        case actRename:
            return "rename";
        default:
            if (o.raction == kPassFailure) return kPassFailureAction;
            return "action " + std::to_string(KindCode(o.raction));
    }
}

JournalEntry JournalEntryFor(const ActionOutcome& o) {
    JournalEntry e;
    e.timeMs = o.timeNs / 1000000;
    e.service = o.service;
    e.rule = o.rulename;
    e.action = JournalAction(o);
    e.source = o.source;
    e.target = o.target;
    e.size = o.size;
    e.ok = o.ok;
    e.error = o.ok ? o.note : o.error;
    e.mtimeNs = o.mtimeNs;
    e.clientMove = o.clientMove;
    e.targetName = o.targetName;
    e.replacedTrash = o.replacedTrash;
    return e;
}

JournalEntry WarningEntry(std::string text, std::int64_t timeMs) {
    JournalEntry e;
    e.timeMs = timeMs;
    e.action = kWarningAction;
    e.error = std::move(text);
    return e;
}

std::string Journal::DefaultPath() { return JoinPath(AppStateDir(), "activity.sqlite3"); }

Journal::Journal(std::string path, Mode mode) : path_(std::move(path)), mode_(mode) {}

Journal::~Journal() {
    sqlite3_close_v2(writer_);
    sqlite3_close_v2(reader_);
}

void Journal::SetProblem(std::string text) {
    std::lock_guard<std::mutex> lock(problemMutex_);
    problem_ = std::move(text);
    if (problem_.empty()) toldProblem_.clear();
}

std::string Journal::Problem() const {
    std::lock_guard<std::mutex> lock(problemMutex_);
    return problem_;
}

void Journal::AddNotice(std::string text) {
    std::lock_guard<std::mutex> lock(problemMutex_);
    notice_ = std::move(text);
}

bool Journal::TakeNewProblem(std::string& text) {
    std::lock_guard<std::mutex> lock(problemMutex_);
    if (!notice_.empty()) {
        text = std::move(notice_);
        notice_.clear();
        return true;
    }
    if (problem_.empty() || problem_ == toldProblem_) return false;
    toldProblem_ = problem_;
    text = problem_;
    return true;
}

// A damaged file is kept for whoever wants to look at it, and a new journal
// begun: what was recorded before is in the old file, not lost.
bool Journal::SetAside() {
    sqlite3_close_v2(writer_);
    writer_ = nullptr;
    ++generation_;
    const std::string aside = path_ + ".damaged";
    std::remove(aside.c_str());
    if (std::rename(path_.c_str(), aside.c_str()) != 0) return false;
    std::remove((path_ + "-wal").c_str());
    std::remove((path_ + "-shm").c_str());
    AddNotice("The activity journal was damaged. It was set aside as " + aside +
              " and a new one begun.");
    return true;
}

sqlite3* Journal::Writer() {
    if (writer_ || mode_ == Mode::ReadOnly) return writer_;
    for (int attempt = 0; attempt < 2; ++attempt) {
        const std::string dir = DirectoryOf(path_);
        if (!dir.empty()) MakeDirectories(dir);
        sqlite3* db = nullptr;
        int rc = sqlite3_open_v2(path_.c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE,
                                 nullptr);
        if (rc == SQLITE_OK) {
            sqlite3_extended_result_codes(db, 1);
            // Never more than a tenth of a second of the pass for a lock.
            sqlite3_busy_timeout(db, 100);
            rc = Exec(db, "PRAGMA journal_mode=WAL");
            if (rc == SQLITE_OK) rc = Exec(db, "PRAGMA synchronous=NORMAL");
            if (rc == SQLITE_OK) rc = Exec(db, kSchema);
            if (rc == SQLITE_OK) rc = AddMissingColumns(db);
            if (rc == SQLITE_OK) rc = Exec(db, kLaterIndexes);
        }
        if (rc == SQLITE_OK) {
            writer_ = db;
            return writer_;
        }
        const std::string why = Describe(db, rc);
        sqlite3_close_v2(db);
        if (Damaged(rc) && attempt == 0 && SetAside()) continue;
        if (Busy(rc))
            SetProblem(
                "The activity journal is in use by another program; entries wait and "
                "are written when it is free.");
        else
            SetProblem("Cannot open the activity journal " + path_ + ": " + why);
        return nullptr;
    }
    return nullptr;
}

sqlite3* Journal::Reader() {
    if (reader_ && readerGeneration_ != generation_) {
        sqlite3_close_v2(reader_);
        reader_ = nullptr;
    }
    if (reader_) return reader_;
    // The writer creates the file; reading waits until there is one.
    if (mode_ == Mode::ReadWrite) {
        std::lock_guard<std::mutex> lock(writeMutex_);
        if (!Writer()) return nullptr;
    }
    sqlite3* db = nullptr;
    if (sqlite3_open_v2(path_.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK) {
        sqlite3_close_v2(db);
        return nullptr;
    }
    sqlite3_busy_timeout(db, 100);
    reader_ = db;
    readerGeneration_ = generation_;
    return reader_;
}

std::size_t Journal::Waiting() const {
    std::lock_guard<std::mutex> lock(writeMutex_);
    return waiting_.size();
}

Status Journal::Append(std::vector<JournalEntry> entries, std::int64_t* lastId) {
    std::lock_guard<std::mutex> lock(writeMutex_);
    for (JournalEntry& e : entries) waiting_.push_back(std::move(e));
    while (waiting_.size() > kMaxWaiting) waiting_.pop_front();
    if (waiting_.empty()) return Status::Success();
    sqlite3* db = Writer();
    if (!db) return Status::Failure(Problem());

    int rc = Exec(db, "BEGIN IMMEDIATE");
    if (rc == SQLITE_OK) {
        Statement insert(db,
                         "INSERT INTO activity(time_ms, service, rule, action, source, target, "
                         "size, ok, error, mtime_ns, client_move, target_name, replaced_trash, "
                         "last_ms) VALUES(?,?,?,?,?,?,?,?,?,?,?,?,?,?)");
        // The same failure of a rule on the same file, pass after pass, is
        // one row that counts: the newest row about that file, when it is
        // that very failure, takes the repeat.
        Statement latest(db,
                         "SELECT id, ok, action, error, target FROM activity WHERE source = ?1 "
                         "AND service = ?2 AND rule = ?3 ORDER BY id DESC LIMIT 1");
        Statement repeat(db,
                         "UPDATE activity SET repeats = repeats + 1, last_ms = ?1 WHERE id = ?2");
        rc = insert.Valid() && latest.Valid() && repeat.Valid() ? SQLITE_OK : sqlite3_errcode(db);
        std::int64_t last = 0;
        for (const JournalEntry& e : waiting_) {
            if (rc != SQLITE_OK) break;
            if (!e.ok && e.action != kWarningAction) {
                latest.Bind(1, e.source);
                latest.Bind(2, e.service);
                latest.Bind(3, e.rule);
                std::int64_t same = 0;
                if (latest.Step() == SQLITE_ROW && latest.Int(1) == 0 &&
                    latest.Text(2) == e.action && latest.Text(3) == e.error &&
                    latest.Text(4) == e.target)
                    same = latest.Int(0);
                latest.Reset();
                if (same != 0) {
                    repeat.Bind(1, e.timeMs);
                    repeat.Bind(2, same);
                    rc = repeat.Step();
                    if (rc == SQLITE_DONE) rc = SQLITE_OK;
                    repeat.Reset();
                    last = same;
                    continue;
                }
            }
            insert.Bind(1, e.timeMs);
            insert.Bind(2, e.service);
            insert.Bind(3, e.rule);
            insert.Bind(4, e.action);
            insert.Bind(5, e.source);
            insert.Bind(6, e.target);
            insert.Bind(7, e.size);
            insert.Bind(8, std::int64_t{e.ok ? 1 : 0});
            insert.Bind(9, e.error);
            insert.Bind(10, e.mtimeNs);
            insert.Bind(11, e.clientMove);
            insert.Bind(12, e.targetName);
            insert.Bind(13, e.replacedTrash);
            insert.Bind(14, e.timeMs);
            rc = insert.Step();
            if (rc == SQLITE_DONE) rc = SQLITE_OK;
            insert.Reset();
            last = sqlite3_last_insert_rowid(db);
        }
        if (rc == SQLITE_OK && lastId) *lastId = last;
        if (rc == SQLITE_OK) rc = Exec(db, "COMMIT");
        if (rc != SQLITE_OK) Exec(db, "ROLLBACK");
    }
    if (rc == SQLITE_OK) {
        waiting_.clear();
        SetProblem({});
        return Status::Success();
    }
    const std::string why = sqlite3_errmsg(db);
    if (Damaged(rc)) {
        SetAside();
    } else if (Busy(rc)) {
        SetProblem(
            "The activity journal is in use by another program; entries wait and are "
            "written when it is free.");
    } else {
        SetProblem("Cannot write the activity journal " + path_ + ": " + why);
    }
    return Status::Failure(Problem());
}

Status Journal::Prune(std::int64_t nowMs, int maxAgeDays, std::int64_t maxRows) {
    std::lock_guard<std::mutex> lock(writeMutex_);
    sqlite3* db = Writer();
    if (!db) return Status::Failure(Problem());
    Statement old(db, "DELETE FROM activity WHERE time_ms < ?");
    old.Bind(1, nowMs - std::int64_t{maxAgeDays} * 86400000);
    int rc = old.Step();
    Statement excess(db,
                     "DELETE FROM activity WHERE id <= (SELECT id FROM activity ORDER BY id DESC "
                     "LIMIT 1 OFFSET ?)");
    excess.Bind(1, maxRows);
    if (rc == SQLITE_DONE) rc = excess.Step();
    return rc == SQLITE_DONE ? Status::Success() : Status::Failure(sqlite3_errmsg(db));
}

std::vector<JournalEntry> Journal::Read(const JournalQuery& q) {
    std::lock_guard<std::mutex> lock(readMutex_);
    std::vector<JournalEntry> out;
    sqlite3* db = Reader();
    if (!db) return out;
    std::string sql = "SELECT " + ColumnsOf(db) + " FROM activity WHERE 1";
    if (q.beforeId > 0) sql += " AND id < ?1";
    if (q.afterId > 0) sql += " AND id > ?2";
    if (q.failuresOnly) sql += " AND ok = 0";
    if (!q.text.empty()) {
        sql +=
            " AND (service LIKE ?3 ESCAPE '\\' OR rule LIKE ?3 ESCAPE '\\' OR source LIKE ?3 "
            "ESCAPE '\\' OR target LIKE ?3 ESCAPE '\\' OR error LIKE ?3 ESCAPE '\\' OR action "
            "LIKE ?3 ESCAPE '\\')";
    }
    sql += " ORDER BY id DESC LIMIT ?4";
    Statement s(db, sql.c_str());
    if (!s.Valid()) return out;
    if (q.beforeId > 0) s.Bind(1, q.beforeId);
    if (q.afterId > 0) s.Bind(2, q.afterId);
    if (!q.text.empty()) s.Bind(3, LikePattern(q.text));
    s.Bind(4, std::int64_t{q.limit});
    while (s.Step() == SQLITE_ROW) out.push_back(RowOf(s));
    return out;
}

std::optional<JournalEntry> Journal::Get(std::int64_t id) {
    std::lock_guard<std::mutex> lock(readMutex_);
    sqlite3* db = Reader();
    if (!db) return std::nullopt;
    Statement s(db, ("SELECT " + ColumnsOf(db) + " FROM activity WHERE id = ?").c_str());
    s.Bind(1, id);
    if (s.Step() != SQLITE_ROW) return std::nullopt;
    return RowOf(s);
}

std::vector<JournalEntry> Journal::Last(int n) {
    JournalQuery q;
    q.limit = n;
    std::vector<JournalEntry> newestFirst = Read(q);
    return {newestFirst.rbegin(), newestFirst.rend()};
}

RuleFigures Journal::Figures(const std::string& service, const std::string& rule) {
    std::lock_guard<std::mutex> lock(readMutex_);
    RuleFigures f;
    sqlite3* db = Reader();
    if (!db) return f;
    Statement s(db,
                "SELECT max(CASE WHEN ok THEN time_ms END), total(ok), "
                "(SELECT error FROM activity WHERE service = ?1 AND rule = ?2 AND ok = 0 "
                "AND action NOT LIKE 'undo %' ORDER BY id DESC LIMIT 1), "
                "(SELECT ok FROM activity WHERE service = ?1 AND rule = ?2 "
                "AND action NOT LIKE 'undo %' ORDER BY id DESC LIMIT 1) "
                "FROM activity WHERE service = ?1 AND rule = ?2 AND action NOT LIKE 'undo %'");
    s.Bind(1, service);
    s.Bind(2, rule);
    if (s.Step() == SQLITE_ROW) {
        f.lastTimeMs = s.Int(0);
        f.files = s.Int(1);
        f.lastError = s.Text(2);
        f.lastFailed = sqlite3_column_type(s.get(), 3) != SQLITE_NULL && s.Int(3) == 0;
    }
    return f;
}

Status Journal::MarkUndone(std::int64_t id, std::int64_t undoneBy) {
    std::lock_guard<std::mutex> lock(writeMutex_);
    sqlite3* db = Writer();
    if (!db) return Status::Failure(Problem());
    Statement s(db, "UPDATE activity SET undone_by = ? WHERE id = ?");
    s.Bind(1, undoneBy);
    s.Bind(2, id);
    return s.Step() == SQLITE_DONE ? Status::Success() : Status::Failure(sqlite3_errmsg(db));
}

}  // namespace kb
