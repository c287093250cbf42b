#include "platform/store.h"

#include <errno.h>
#include <sqlite3.h>
#include <string.h>
#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <initializer_list>
#include <thread>
#include <utility>

#include "platform/paths.h"

namespace rd {

namespace {

constexpr int kBusyTimeoutMs = 10000;
// The busy handler gives up after kBusyTimeoutMs; a busy result is then tried again this many
// times before the call fails, so that a long burst of writes elsewhere does not lose a value.
constexpr int kBusyRetries = 3;

constexpr size_t kMaxKeyDepth = 512;
constexpr size_t kMaxKeyName = 255;
constexpr size_t kMaxValueName = 16383;

// Key paths and names are stored twice: folded to lower-case ASCII (what lookups compare) and
// as their first writer spelled them (what enumerations show). Both are BLOBs so that any
// byte, NUL included, survives and comparisons are plain byte comparisons.
constexpr const char* kSchema =
    "CREATE TABLE IF NOT EXISTS reg_keys("
    " root INTEGER NOT NULL,"
    " path BLOB NOT NULL,"
    " parent BLOB NOT NULL,"
    " name BLOB NOT NULL,"
    " PRIMARY KEY(root, path)) WITHOUT ROWID;"
    "CREATE INDEX IF NOT EXISTS reg_keys_parent ON reg_keys(root, parent, path);"
    "CREATE TABLE IF NOT EXISTS reg_values("
    " root INTEGER NOT NULL,"
    " key BLOB NOT NULL,"
    " fold BLOB NOT NULL,"
    " name BLOB NOT NULL,"
    " type INTEGER NOT NULL,"
    " ival INTEGER,"
    " tval BLOB,"
    " PRIMARY KEY(root, key, fold)) WITHOUT ROWID;";

// Statements that fail to prepare when a database holds tables of these names in another shape.
constexpr const char* kSchemaProbes[] = {
    "SELECT root, path, parent, name FROM reg_keys LIMIT 0",
    "SELECT root, key, fold, name, type, ival, tval FROM reg_values LIMIT 0",
};

bool IsBusy(int rc) {
    rc &= 0xff;
    return rc == SQLITE_BUSY || rc == SQLITE_LOCKED;
}

bool IsDamage(int rc) {
    rc &= 0xff;
    return rc == SQLITE_NOTADB || rc == SQLITE_CORRUPT;
}

template <class Attempt>
int Retrying(Attempt attempt) {
    int rc = attempt();
    for (int retry = 0; retry < kBusyRetries && IsBusy(rc); ++retry)
        rc = attempt();
    return rc;
}

// For the set-up of a connection: some of its steps (the switch to WAL, the first read of a
// database another process is creating or recovering) report busy at once, without waiting in
// the busy handler. They are tried again after short sleeps, for as long as the busy time-out.
template <class Attempt>
int Patiently(Attempt attempt) {
    int rc = attempt();
    for (int waited = 0; IsBusy(rc) && waited < kBusyTimeoutMs; waited += 10) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        rc = attempt();
    }
    return rc;
}

std::string Fold(std::string_view name) {
    std::string folded(name);
    for (char& c : folded) {
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    }
    return folded;
}

// A key path taken apart: its names as spelled, and the folded path, whose first ends[i]
// bytes are the folded path of level i.
struct KeyPath {
    explicit KeyPath(std::string_view path) {
        size_t start = 0;
        while (start < path.size()) {
            size_t end = path.find('\\', start);
            if (end == std::string_view::npos)
                end = path.size();
            if (end > start) {
                const std::string_view name = path.substr(start, end - start);
                if (name.size() > kMaxKeyName || names.size() == kMaxKeyDepth) {
                    valid = false;
                    return;
                }
                if (!folded.empty())
                    folded += '\\';
                folded += Fold(name);
                names.push_back(name);
                ends.push_back(folded.size());
            }
            start = end + 1;
        }
    }

    bool IsRoot() const { return names.empty(); }
    std::string_view Level(size_t i) const { return std::string_view(folded).substr(0, ends[i]); }

    bool valid = true;
    std::string folded;
    std::vector<std::string_view> names;
    std::vector<size_t> ends;
};

class Statement {
public:
    Statement(sqlite3* db, const char* sql) : db_(db), sql_(sql) {
        error_ = sqlite3_prepare_v2(db, sql, -1, &stmt_, nullptr);
    }
    ~Statement() { sqlite3_finalize(stmt_); }
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;

    void Bind(int index, int64_t value) { Check(sqlite3_bind_int64(stmt_, index, value)); }
    // Binds bytes; an empty value stays a zero-length BLOB rather than NULL.
    void Bind(int index, std::string_view value) {
        Check(sqlite3_bind_blob64(stmt_, index, value.empty() ? "" : value.data(), value.size(),
                                  SQLITE_TRANSIENT));
    }
    void BindNull(int index) { Check(sqlite3_bind_null(stmt_, index)); }

    // SQLITE_ROW, SQLITE_DONE, or the error of preparing, binding or stepping.
    int Step() { return error_ != SQLITE_OK ? error_ : sqlite3_step(stmt_); }
    // SQLITE_OK when a statement without result rows ran to its end.
    int Run() {
        const int rc = Step();
        return rc == SQLITE_DONE ? SQLITE_OK : rc;
    }
    // Ready to step again from the start; bindings stay. A statement whose preparation failed
    // (the schema was locked) is prepared again.
    void Reset() {
        if (stmt_) {
            sqlite3_reset(stmt_);
            return;
        }
        error_ = sqlite3_prepare_v2(db_, sql_, -1, &stmt_, nullptr);
    }

    int64_t Int(int column) const { return sqlite3_column_int64(stmt_, column); }
    std::string Bytes(int column) const {
        const void* data = sqlite3_column_blob(stmt_, column);
        const int size = sqlite3_column_bytes(stmt_, column);
        return data ? std::string(static_cast<const char*>(data), static_cast<size_t>(size))
                    : std::string();
    }

private:
    void Check(int rc) {
        if (error_ == SQLITE_OK)
            error_ = rc;
    }

    sqlite3* db_;
    const char* sql_;
    sqlite3_stmt* stmt_ = nullptr;
    int error_ = SQLITE_OK;
};

// A value row as the queries below select it: name, type, ival, tval.
StoreValue ValueOfRow(const Statement& row) {
    StoreValue value;
    value.name = row.Bytes(0);
    value.type = static_cast<ValueType>(row.Int(1));
    value.intValue = static_cast<int32_t>(row.Int(2));
    value.text = row.Bytes(3);
    return value;
}

// Creates every level of `key` that is missing; the first writer's spelling stays.
int EnsureKey(sqlite3* db, StoreRoot root, const KeyPath& key) {
    Statement insert(db,
                     "INSERT OR IGNORE INTO reg_keys(root, path, parent, name) "
                     "VALUES(?1, ?2, ?3, ?4)");
    for (size_t i = 0; i < key.names.size(); ++i) {
        insert.Reset();
        insert.Bind(1, static_cast<int>(root));
        insert.Bind(2, key.Level(i));
        insert.Bind(3, i == 0 ? std::string_view() : key.Level(i - 1));
        insert.Bind(4, key.names[i]);
        if (int rc = insert.Run(); rc != SQLITE_OK)
            return rc;
    }
    return SQLITE_OK;
}

// Stores one value inside the caller's transaction; `text` null writes the integer.
int PutValue(sqlite3* db, StoreRoot root, const KeyPath& key, std::string_view name, int32_t number,
             const std::string_view* text) {
    if (int rc = EnsureKey(db, root, key); rc != SQLITE_OK)
        return rc;
    Statement put(db,
                  "INSERT INTO reg_values(root, key, fold, name, type, ival, tval) "
                  "VALUES(?1, ?2, ?3, ?4, ?5, ?6, ?7) "
                  "ON CONFLICT(root, key, fold) DO UPDATE SET "
                  "type = excluded.type, ival = excluded.ival, tval = excluded.tval");
    put.Bind(1, static_cast<int>(root));
    put.Bind(2, key.folded);
    put.Bind(3, Fold(name));
    put.Bind(4, name);
    if (text) {
        put.Bind(5, static_cast<int>(ValueType::Text));
        put.BindNull(6);
        put.Bind(7, *text);
    } else {
        put.Bind(5, static_cast<int>(ValueType::Int));
        put.Bind(6, number);
        put.BindNull(7);
    }
    return put.Run();
}

// Reads one value; nullopt when it is absent or cannot be read.
std::optional<StoreValue> ReadValue(sqlite3* db, StoreRoot root, std::string_view key,
                                    std::string_view name) {
    const KeyPath path(key);
    if (!db || !path.valid || !Store::ValidValueName(name))
        return std::nullopt;
    std::optional<StoreValue> value;
    Retrying([&] {
        value.reset();
        Statement query(db,
                        "SELECT name, type, ival, tval FROM reg_values "
                        "WHERE root = ?1 AND key = ?2 AND fold = ?3 AND type IN (1, 2)");
        query.Bind(1, static_cast<int>(root));
        query.Bind(2, path.folded);
        query.Bind(3, Fold(name));
        const int rc = query.Step();
        if (rc == SQLITE_ROW)
            value = ValueOfRow(query);
        return rc;
    });
    return value;
}

// True when `key` is in the store; the root always is.
bool KeyFound(sqlite3* db, StoreRoot root, const KeyPath& key) {
    if (key.IsRoot())
        return true;
    bool found = false;
    const int rc = Retrying([&] {
        Statement query(db, "SELECT 1 FROM reg_keys WHERE root = ?1 AND path = ?2");
        query.Bind(1, static_cast<int>(root));
        query.Bind(2, key.folded);
        const int step = query.Step();
        found = step == SQLITE_ROW;
        return step;
    });
    return (rc == SQLITE_ROW || rc == SQLITE_DONE) && found;
}

// True when `key` holds a value named `name`, of whatever type.
bool ValueFound(sqlite3* db, StoreRoot root, const KeyPath& key, std::string_view name) {
    bool found = false;
    const int rc = Retrying([&] {
        Statement query(db, "SELECT 1 FROM reg_values WHERE root = ?1 AND key = ?2 AND fold = ?3");
        query.Bind(1, static_cast<int>(root));
        query.Bind(2, key.folded);
        query.Bind(3, Fold(name));
        const int step = query.Step();
        found = step == SQLITE_ROW;
        return step;
    });
    // A store that cannot be read now is left to the delete to report.
    return found || (rc != SQLITE_ROW && rc != SQLITE_DONE);
}

// Reads every value of each of `keys`, and which keys exist, in one read transaction; SQLite's
// result code.
int ReadKeyValues(sqlite3* db, const std::vector<KeyName>& keys,
                  std::vector<std::vector<StoreValue>>& values, std::vector<bool>& exists) {
    values.assign(keys.size(), {});
    exists.assign(keys.size(), false);
    int rc = sqlite3_exec(db, "BEGIN", nullptr, nullptr, nullptr);
    if (rc != SQLITE_OK)
        return rc;
    Statement found(db, "SELECT 1 FROM reg_keys WHERE root = ?1 AND path = ?2");
    Statement query(db,
                    "SELECT name, type, ival, tval FROM reg_values "
                    "WHERE root = ?1 AND key = ?2 AND type IN (1, 2) ORDER BY fold");
    for (size_t i = 0; i < keys.size() && rc == SQLITE_OK; ++i) {
        const KeyPath path(keys[i].path);
        if (!path.valid)
            continue;
        for (Statement* statement : {&found, &query}) {
            statement->Reset();
            statement->Bind(1, static_cast<int>(keys[i].root));
            statement->Bind(2, path.folded);
        }
        int step = found.Step();
        exists[i] = path.IsRoot() || step == SQLITE_ROW;
        if (step == SQLITE_ROW || step == SQLITE_DONE) {
            while ((step = query.Step()) == SQLITE_ROW)
                values[i].push_back(ValueOfRow(query));
        }
        rc = step == SQLITE_DONE ? SQLITE_OK : step;
    }
    if (rc == SQLITE_OK)
        return sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr);
    sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
    return rc;
}

struct FileIdentity {
    bool exists = false;
    dev_t device = 0;
    ino_t inode = 0;
    bool operator==(const FileIdentity&) const = default;
};

FileIdentity Identify(const std::string& path) {
    struct stat st;
    if (::stat(path.c_str(), &st) != 0)
        return {};
    return {true, st.st_dev, st.st_ino};
}

// Renames a damaged database, with its journal files, to one unused name; returns that name, or
// an empty string with `error` set.
std::string MoveAside(const std::string& path, std::string* error) {
    const std::string base = path + ".damaged-" + std::to_string(std::time(nullptr));
    std::string target = base;
    struct stat st;
    for (int n = 2; ::lstat(target.c_str(), &st) == 0; ++n)
        target = base + "-" + std::to_string(n);
    if (::rename(path.c_str(), target.c_str()) != 0) {
        *error = strerror(errno);
        return {};
    }
    // A journal left in place would be replayed into the fresh database.
    for (const char* suffix : {"-wal", "-shm", "-journal"})
        ::rename((path + suffix).c_str(), (target + suffix).c_str());
    return target;
}

enum class OpenOutcome { Ready, Damaged, Foreign, Failed };

// Opens, checks and sets up one connection to `path`; `error` gets the reason of a failure.
OpenOutcome Connect(const std::string& path, sqlite3** out, std::string* error) {
    sqlite3* db = nullptr;
    auto fail = [&](OpenOutcome outcome, const std::string& reason) {
        *error = reason;
        sqlite3_close_v2(db);
        return outcome;
    };
    auto failWith = [&](int rc) {
        return fail(IsDamage(rc) ? OpenOutcome::Damaged : OpenOutcome::Failed,
                    db ? sqlite3_errmsg(db) : sqlite3_errstr(rc));
    };
    int rc =
        sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
    if (rc != SQLITE_OK)
        return failWith(rc);
    sqlite3_busy_timeout(db, kBusyTimeoutMs);
    auto exec = [db](const char* sql) { return sqlite3_exec(db, sql, nullptr, nullptr, nullptr); };
    if (rc = Patiently([&] { return exec("PRAGMA journal_mode=WAL"); }); rc != SQLITE_OK)
        return failWith(rc);
    // Commits reach the disk at checkpoints and at Flush(), not one by one.
    if (rc = Patiently([&] { return exec("PRAGMA synchronous=NORMAL"); }); rc != SQLITE_OK)
        return failWith(rc);
    {
        Statement check(db, "PRAGMA quick_check");
        rc = Patiently([&] {
            check.Reset();
            return check.Step();
        });
        if (rc != SQLITE_ROW)
            return failWith(rc);
        if (const std::string finding = check.Bytes(0); finding != "ok")
            return fail(OpenOutcome::Damaged, finding);
    }
    // Each statement is atomic on its own, so processes creating the tables at once agree. A
    // plain SQL error means tables of these names exist in another shape.
    rc = Patiently([&] { return exec(kSchema); });
    if (rc == SQLITE_ERROR)
        return fail(OpenOutcome::Foreign, sqlite3_errmsg(db));
    if (rc != SQLITE_OK)
        return failWith(rc);
    for (const char* probe : kSchemaProbes) {
        Statement statement(db, probe);
        if (rc = Patiently([&] {
                statement.Reset();
                return statement.Step();
            });
            rc != SQLITE_DONE)
            return fail(OpenOutcome::Foreign, sqlite3_errmsg(db));
    }
    *out = db;
    return OpenOutcome::Ready;
}

}  // namespace

Store::Store(std::string databasePath) : path_(std::move(databasePath)) {
    OpenDatabase();
}

Store::~Store() {
    sqlite3_close_v2(db_);
}

Store& Store::Default() {
    static Store store(paths::ConfigDir() + "/registry.db");
    return store;
}

bool Store::ValidKey(std::string_view key) {
    return KeyPath(key).valid;
}

bool Store::ValidValueName(std::string_view name) {
    return name.size() <= kMaxValueName;
}

int Store::Exec(const char* sql) {
    return sqlite3_exec(db_, sql, nullptr, nullptr, nullptr);
}

bool Store::Write(const std::function<int()>& body) {
    if (!db_)
        return false;
    const int rc = Retrying([&] {
        int step = Exec("BEGIN IMMEDIATE");
        if (step != SQLITE_OK)
            return step;
        step = body();
        if (step == SQLITE_OK)
            step = Exec("COMMIT");
        if (step != SQLITE_OK && !sqlite3_get_autocommit(db_))
            Exec("ROLLBACK");
        return step;
    });
    return rc == SQLITE_OK;
}

bool Store::OpenDatabase() {
    const std::string folder = std::filesystem::path(path_).parent_path().string();
    if (!folder.empty()) {
        if (int error = paths::MakePath(folder, 0700); error != 0) {
            std::fprintf(stderr,
                         "redodori: cannot create the folder of the settings store %s (%s); "
                         "settings are not kept\n",
                         path_.c_str(), strerror(error));
            return false;
        }
    }

    // Another process may find the same damage and replace the file first; the identity check
    // keeps this one from moving that fresh database aside as well.
    constexpr int kAttempts = 3;
    std::string error;
    for (int attempt = 0; attempt < kAttempts; ++attempt) {
        const FileIdentity before = Identify(path_);
        const OpenOutcome outcome = Connect(path_, &db_, &error);
        if (outcome == OpenOutcome::Ready)
            return true;
        if (outcome == OpenOutcome::Failed) {
            std::fprintf(stderr,
                         "redodori: cannot open the settings store %s (%s); settings are not "
                         "kept\n",
                         path_.c_str(), error.c_str());
            return false;
        }
        if (outcome == OpenOutcome::Foreign) {
            std::fprintf(stderr,
                         "redodori: %s is not a settings store of this program (%s); settings "
                         "are not kept\n",
                         path_.c_str(), error.c_str());
            return false;
        }
        if (Identify(path_) != before)
            continue;
        const std::string moved = MoveAside(path_, &error);
        if (moved.empty()) {
            std::fprintf(stderr,
                         "redodori: the settings store %s is damaged and could not be moved "
                         "aside (%s); settings are not kept\n",
                         path_.c_str(), error.c_str());
            return false;
        }
        if (Connect(path_, &db_, &error) == OpenOutcome::Ready) {
            std::fprintf(stderr,
                         "redodori: the settings store %s was damaged; it was moved to %s and a "
                         "fresh one is used\n",
                         path_.c_str(), moved.c_str());
            return true;
        }
        std::fprintf(stderr,
                     "redodori: the settings store %s was damaged; it was moved to %s, but a "
                     "fresh one cannot be used (%s); settings are not kept\n",
                     path_.c_str(), moved.c_str(), error.c_str());
        return false;
    }
    std::fprintf(stderr,
                 "redodori: cannot open the settings store %s: other programs keep replacing "
                 "it; settings are not kept\n",
                 path_.c_str());
    return false;
}

bool Store::CreateKey(StoreRoot root, std::string_view key) {
    std::lock_guard lock(mutex_);
    const KeyPath path(key);
    if (!path.valid)
        return false;
    // Keys are opened far more often than made: one that exists costs a read, not the write
    // lock other processes may be waiting for.
    if (db_ && KeyFound(db_, root, path))
        return true;
    return Write([&] { return EnsureKey(db_, root, path); });
}

bool Store::KeyExists(StoreRoot root, std::string_view key) {
    std::lock_guard lock(mutex_);
    const KeyPath path(key);
    return db_ && path.valid && KeyFound(db_, root, path);
}

bool Store::DeleteKey(StoreRoot root, std::string_view key) {
    std::lock_guard lock(mutex_);
    const KeyPath path(key);
    // A root is not a key of its own and cannot be deleted.
    if (!path.valid || path.IsRoot())
        return false;
    // Every path below the key starts with its path and '\', and sorts before its path and
    // ']', the byte after '\'.
    const std::string below = path.folded + '\\';
    const std::string beyond = path.folded + ']';
    bool deleted = false;
    const bool written = Write([&] {
        Statement values(db_,
                         "DELETE FROM reg_values WHERE root = ?1 AND "
                         "(key = ?2 OR (key >= ?3 AND key < ?4))");
        Statement keys(db_,
                       "DELETE FROM reg_keys WHERE root = ?1 AND "
                       "(path = ?2 OR (path >= ?3 AND path < ?4))");
        for (Statement* statement : {&values, &keys}) {
            statement->Bind(1, static_cast<int>(root));
            statement->Bind(2, path.folded);
            statement->Bind(3, below);
            statement->Bind(4, beyond);
            if (int rc = statement->Run(); rc != SQLITE_OK)
                return rc;
        }
        deleted = sqlite3_changes(db_) > 0;
        return SQLITE_OK;
    });
    return written && deleted;
}

std::vector<std::string> Store::SubKeys(StoreRoot root, std::string_view key) {
    std::lock_guard lock(mutex_);
    std::vector<std::string> names;
    const KeyPath path(key);
    if (!db_ || !path.valid)
        return names;
    Retrying([&] {
        names.clear();
        Statement query(db_,
                        "SELECT name FROM reg_keys WHERE root = ?1 AND parent = ?2 "
                        "ORDER BY path");
        query.Bind(1, static_cast<int>(root));
        query.Bind(2, path.folded);
        int rc;
        while ((rc = query.Step()) == SQLITE_ROW)
            names.push_back(query.Bytes(0));
        return rc;
    });
    return names;
}

std::optional<int32_t> Store::ReadInt(StoreRoot root, std::string_view key, std::string_view name) {
    std::lock_guard lock(mutex_);
    const auto value = ReadValue(db_, root, key, name);
    if (!value || value->type != ValueType::Int)
        return std::nullopt;
    return value->intValue;
}

std::optional<std::string> Store::ReadText(StoreRoot root, std::string_view key,
                                           std::string_view name) {
    std::lock_guard lock(mutex_);
    auto value = ReadValue(db_, root, key, name);
    if (!value || value->type != ValueType::Text)
        return std::nullopt;
    return std::move(value->text);
}

bool Store::ValueExists(StoreRoot root, std::string_view key, std::string_view name) {
    std::lock_guard lock(mutex_);
    return ReadValue(db_, root, key, name).has_value();
}

bool Store::WriteInt(StoreRoot root, std::string_view key, std::string_view name, int32_t value) {
    std::lock_guard lock(mutex_);
    const KeyPath path(key);
    return path.valid && ValidValueName(name) &&
           Write([&] { return PutValue(db_, root, path, name, value, nullptr); });
}

bool Store::WriteInts(StoreRoot root, std::string_view key,
                      const std::vector<std::pair<std::string, int32_t>>& values) {
    std::lock_guard lock(mutex_);
    const KeyPath path(key);
    if (!path.valid)
        return false;
    for (const auto& [name, value] : values)
        if (!ValidValueName(name))
            return false;
    return Write([&] {
        for (const auto& [name, value] : values)
            if (int rc = PutValue(db_, root, path, name, value, nullptr); rc != SQLITE_OK)
                return rc;
        return SQLITE_OK;
    });
}

bool Store::WriteText(StoreRoot root, std::string_view key, std::string_view name,
                      std::string_view value) {
    std::lock_guard lock(mutex_);
    const KeyPath path(key);
    return path.valid && ValidValueName(name) &&
           Write([&] { return PutValue(db_, root, path, name, 0, &value); });
}

bool Store::DeleteValue(StoreRoot root, std::string_view key, std::string_view name) {
    std::lock_guard lock(mutex_);
    const KeyPath path(key);
    if (!path.valid || !ValidValueName(name))
        return false;
    // Values are deleted to be sure they are gone, mostly when they are: nothing to delete
    // costs a read, not the write lock.
    if (db_ && !ValueFound(db_, root, path, name))
        return false;
    bool deleted = false;
    const bool written = Write([&] {
        Statement erase(db_, "DELETE FROM reg_values WHERE root = ?1 AND key = ?2 AND fold = ?3");
        erase.Bind(1, static_cast<int>(root));
        erase.Bind(2, path.folded);
        erase.Bind(3, Fold(name));
        const int rc = erase.Run();
        deleted = rc == SQLITE_OK && sqlite3_changes(db_) > 0;
        return rc;
    });
    return written && deleted;
}

std::vector<StoreValue> Store::Values(StoreRoot root, std::string_view key) {
    std::lock_guard lock(mutex_);
    std::vector<StoreValue> values;
    const KeyPath path(key);
    if (!db_ || !path.valid)
        return values;
    Retrying([&] {
        values.clear();
        Statement query(db_,
                        "SELECT name, type, ival, tval FROM reg_values "
                        "WHERE root = ?1 AND key = ?2 AND type IN (1, 2) ORDER BY fold");
        query.Bind(1, static_cast<int>(root));
        query.Bind(2, path.folded);
        int rc;
        while ((rc = query.Step()) == SQLITE_ROW)
            values.push_back(ValueOfRow(query));
        return rc;
    });
    return values;
}

std::vector<KeyValues> Store::ReadKeys(const std::vector<KeyName>& keys) {
    std::vector<std::vector<StoreValue>> values;
    std::vector<bool> exists;
    {
        std::lock_guard lock(mutex_);
        if (db_ && Retrying([&] { return ReadKeyValues(db_, keys, values, exists); }) != SQLITE_OK)
            values.assign(keys.size(), {});
    }
    std::vector<KeyValues> read;
    for (size_t i = 0; i < keys.size(); ++i) {
        if (db_ && !exists[i])
            CreateKey(keys[i].root, keys[i].path);
        read.emplace_back(i < values.size() ? std::move(values[i]) : std::vector<StoreValue>{});
    }
    return read;
}

bool Store::Flush() {
    std::lock_guard lock(mutex_);
    if (!db_)
        return false;
    bool complete = false;
    const int rc = Retrying([&] {
        Statement checkpoint(db_, "PRAGMA wal_checkpoint(FULL)");
        const int step = checkpoint.Step();
        // The first column is 1 when readers or writers kept the checkpoint from finishing.
        complete = step == SQLITE_ROW && checkpoint.Int(0) == 0;
        return step == SQLITE_ROW && !complete ? SQLITE_BUSY : step;
    });
    return rc == SQLITE_ROW && complete;
}

KeyValues::KeyValues(std::vector<StoreValue> values) {
    byName_.reserve(values.size());
    for (StoreValue& value : values)
        byName_.emplace_back(Fold(value.name), std::move(value));
    std::sort(byName_.begin(), byName_.end(),
              [](const auto& a, const auto& b) { return a.first < b.first; });
}

const StoreValue* KeyValues::Find(std::string_view name) const {
    const std::string folded = Fold(name);
    const auto at = std::lower_bound(
        byName_.begin(), byName_.end(), folded,
        [](const auto& entry, const std::string& key) { return entry.first < key; });
    return at != byName_.end() && at->first == folded ? &at->second : nullptr;
}

std::optional<int32_t> KeyValues::ReadInt(std::string_view name) const {
    const StoreValue* value = Find(name);
    if (!value || value->type != ValueType::Int)
        return std::nullopt;
    return value->intValue;
}

std::optional<std::string> KeyValues::ReadText(std::string_view name) const {
    const StoreValue* value = Find(name);
    if (!value || value->type != ValueType::Text)
        return std::nullopt;
    return value->text;
}

StoreKey::StoreKey(Store& store, StoreRoot root, std::string path)
    : store_(&store), root_(root), path_(std::move(path)) {
    store_->CreateKey(root_, path_);
}

std::optional<int32_t> StoreKey::ReadInt(std::string_view name) const {
    return store_->ReadInt(root_, path_, name);
}

std::optional<std::string> StoreKey::ReadText(std::string_view name) const {
    return store_->ReadText(root_, path_, name);
}

bool StoreKey::ValueExists(std::string_view name) const {
    return store_->ValueExists(root_, path_, name);
}

bool StoreKey::WriteInt(std::string_view name, int32_t value) {
    return store_->WriteInt(root_, path_, name, value);
}

bool StoreKey::WriteInts(const std::vector<std::pair<std::string, int32_t>>& values) {
    return store_->WriteInts(root_, path_, values);
}

bool StoreKey::WriteText(std::string_view name, std::string_view value) {
    return store_->WriteText(root_, path_, name, value);
}

bool StoreKey::DeleteValue(std::string_view name) {
    return store_->DeleteValue(root_, path_, name);
}

std::vector<StoreValue> StoreKey::Values() const {
    return store_->Values(root_, path_);
}

}  // namespace rd
