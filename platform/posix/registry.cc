// The current user's registry on POSIX: one SQLite database per user.
//
// Keys are rows of `keys` (the full path folded to lower case is unique, the
// last component is kept as first written); values are rows of `vals`, their
// data stored as the bytes the caller gave. The root of the hive is the
// implicit key 0. The process keeps one connection, guarded by a mutex;
// opening a key is one lookup that yields a handle holding the key's row id.
#include "platform/registry.h"

#include <fcntl.h>
#include <pwd.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace platform {

struct RegKey {
    int64_t id = 0;
    uint32_t access = 0;
    uint64_t generation = 0;  // of the connection that opened the key
};

namespace {

constexpr int64_t kRootKey = 0;
constexpr uint32_t kKeyQueryValue = 0x0001;
constexpr uint32_t kKeySetValue = 0x0002;
constexpr uint32_t kKeyEnumerateSubKeys = 0x0008;
constexpr size_t kMaxKeyNameLength = 255;
constexpr int kBusyTimeoutMs = 5000;
constexpr int kSchemaVersion = 1;

// Case folding for key and value names: the ASCII and Latin-1 capitals.
wchar_t FoldChar(wchar_t c) {
    if ((c >= L'A' && c <= L'Z') || (c >= 0xC0 && c <= 0xDE && c != 0xD7))
        return c + 0x20;
    return c;
}

void AppendUtf8(wchar_t wc, std::string* out) {
    auto c = static_cast<uint32_t>(wc);
    if (c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF))
        c = 0xFFFD;
    if (c < 0x80) {
        out->push_back(static_cast<char>(c));
    } else if (c < 0x800) {
        out->push_back(static_cast<char>(0xC0 | (c >> 6)));
        out->push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else if (c < 0x10000) {
        out->push_back(static_cast<char>(0xE0 | (c >> 12)));
        out->push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        out->push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else {
        out->push_back(static_cast<char>(0xF0 | (c >> 18)));
        out->push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
        out->push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        out->push_back(static_cast<char>(0x80 | (c & 0x3F)));
    }
}

std::string Utf8(std::wstring_view text, bool fold) {
    std::string out;
    out.reserve(text.size());
    for (wchar_t c : text)
        AppendUtf8(fold ? FoldChar(c) : c, &out);
    return out;
}

// Decodes the UTF-8 this file wrote (names only; always well formed).
std::wstring FromUtf8(const unsigned char* p, int size) {
    std::wstring out;
    for (int i = 0; i < size;) {
        uint32_t c = p[i];
        int extra = c < 0x80 ? 0 : c < 0xE0 ? 1 : c < 0xF0 ? 2 : 3;
        if (extra)
            c &= 0x3F >> extra;
        ++i;
        for (int k = 0; k < extra && i < size; ++k, ++i)
            c = (c << 6) | (p[i] & 0x3F);
        out.push_back(static_cast<wchar_t>(c));
    }
    return out;
}

// Splits a key path at its backslashes; leading and trailing backslashes are
// ignored. False for an empty or over-long component.
bool SplitKeyPath(std::wstring_view path, std::vector<std::wstring_view>* parts) {
    while (!path.empty() && path.front() == L'\\')
        path.remove_prefix(1);
    while (!path.empty() && path.back() == L'\\')
        path.remove_suffix(1);
    while (!path.empty()) {
        size_t end = path.find(L'\\');
        std::wstring_view part = path.substr(0, end);
        if (part.empty() || part.size() > kMaxKeyNameLength)
            return false;
        parts->push_back(part);
        if (end == std::wstring_view::npos)
            break;
        path.remove_prefix(end + 1);
    }
    return true;
}

// A file path as the path of a file: URI, every byte but the unreserved
// ones and '/' percent-encoded.
std::string UriPath(const std::string& path) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string out;
    for (const char ch : path) {
        const auto c = static_cast<unsigned char>(ch);
        if ((c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') ||
            c == '/' || c == '-' || c == '.' || c == '_' || c == '~') {
            out.push_back(ch);
        } else {
            out.push_back('%');
            out.push_back(kHex[c >> 4]);
            out.push_back(kHex[c & 0xF]);
        }
    }
    return out;
}

std::string FoldedPath(const std::vector<std::wstring_view>& parts, size_t count) {
    std::string out;
    for (size_t i = 0; i < count; ++i) {
        if (i)
            out.push_back('\\');
        out += Utf8(parts[i], true);
    }
    return out;
}

// Where the store lives: $ORVELLA_REGISTRY, else the user's configuration
// folder.
std::string ConfiguredPath() {
    const char* explicitPath = std::getenv("ORVELLA_REGISTRY");
    if (explicitPath && *explicitPath)
        return explicitPath;
    const char* config = std::getenv("XDG_CONFIG_HOME");
    if (config && config[0] == '/')
        return std::string(config) + "/orvella/registry.db";
    const char* home = std::getenv("HOME");
    if (!home || !*home) {
        const passwd* pw = getpwuid(getuid());
        home = pw ? pw->pw_dir : nullptr;
    }
    if (!home || !*home)
        return {};
    return std::string(home) + "/.config/orvella/registry.db";
}

// Creates the folders of path's parent, readable by the user only.
bool CreateParentFolders(const std::string& path) {
    for (size_t pos = path.find('/', 1); pos != std::string::npos; pos = path.find('/', pos + 1)) {
        std::string folder = path.substr(0, pos);
        if (mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST)
            return false;
    }
    return true;
}

enum Statement {
    kFindKey,
    kInsertKey,
    kQueryValue,
    kSetValue,
    kDeleteValue,
    kEnumValues,
    kEnumSubkeys,
    kDeleteTreeValues,
    kDeleteTreeKeys,
    kStatementCount
};

constexpr const char* kStatementText[kStatementCount] = {
    "SELECT id FROM keys WHERE fold = ?1",
    "INSERT INTO keys(parent, name, fold) VALUES(?1, ?2, ?3)",
    "SELECT type, data FROM vals WHERE key = ?1 AND fold = ?2",
    // A key deleted while open takes no new values.
    "INSERT INTO vals(key, name, fold, type, data) SELECT ?1, ?2, ?3, ?4, ?5 "
    "WHERE ?1 = 0 OR EXISTS(SELECT 1 FROM keys WHERE id = ?1) "
    "ON CONFLICT(key, fold) DO UPDATE SET type = excluded.type, data = excluded.data",
    "DELETE FROM vals WHERE key = ?1 AND fold = ?2",
    "SELECT name, type, data FROM vals WHERE key = ?1 ORDER BY id",
    "SELECT name FROM keys WHERE parent = ?1 ORDER BY fold",
    // ?1 is the folded path; a subkey's folded path lies in [?1 "\", ?1 "]").
    "DELETE FROM vals WHERE ?1 = '' OR key IN (SELECT id FROM keys WHERE fold = ?1 "
    "OR (fold >= ?1 || '\\' AND fold < ?1 || ']'))",
    "DELETE FROM keys WHERE ?1 = '' OR fold = ?1 OR (fold >= ?1 || '\\' AND fold < ?1 || ']')",
};

constexpr const char kSchema[] =
    "CREATE TABLE IF NOT EXISTS keys(id INTEGER PRIMARY KEY, parent INTEGER NOT NULL, "
    "name TEXT NOT NULL, fold TEXT NOT NULL UNIQUE);"
    "CREATE INDEX IF NOT EXISTS keys_parent ON keys(parent);"
    "CREATE TABLE IF NOT EXISTS vals(id INTEGER PRIMARY KEY, key INTEGER NOT NULL, "
    "name TEXT NOT NULL, fold TEXT NOT NULL, type INTEGER NOT NULL, data BLOB NOT NULL, "
    "UNIQUE(key, fold));"
    "PRAGMA user_version = 1;";

// Resets a prepared statement when the access that used it ends.
class StatementScope {
  public:
    explicit StatementScope(sqlite3_stmt* stmt) : m_stmt(stmt) {}
    ~StatementScope() {
        sqlite3_reset(m_stmt);
        sqlite3_clear_bindings(m_stmt);
    }
    StatementScope(const StatementScope&) = delete;
    StatementScope& operator=(const StatementScope&) = delete;
    sqlite3_stmt* get() const { return m_stmt; }

  private:
    sqlite3_stmt* m_stmt;
};

void BindText(sqlite3_stmt* stmt, int index, const std::string& text) {
    sqlite3_bind_text(stmt, index, text.data(), static_cast<int>(text.size()), SQLITE_TRANSIENT);
}

// The process's one connection to the store.
class Store {
  public:
    std::mutex mutex;
    uint64_t generation = 0;

    // Makes sure the connection to the configured database is open (reopening
    // when ORVELLA_REGISTRY names another file, or in a forked child).
    long Connect() {
        if (m_closedForExit)
            return kRegBadDatabase;
        std::string wanted = ConfiguredPath();
        if (m_pid == getpid() && wanted == m_path) {
            if (m_broken) {
                Disconnect();
                return kRegBadDatabase;
            }
            if (m_db)
                return kRegSuccess;
        }
        Disconnect();
        m_path = wanted;
        m_pid = getpid();
        m_broken = false;
        ++generation;
        if (m_path.empty())
            return Broken("no home folder to keep it in");
        if (!CreateParentFolders(m_path))
            return Broken(std::strerror(errno));
        int fd = open(m_path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (fd < 0 && errno == EEXIST)
            fd = open(m_path.c_str(), O_RDWR | O_CLOEXEC);
        // A store the user may read but not write is still read.
        m_readOnly = false;
        if (fd < 0 && (errno == EACCES || errno == EPERM || errno == EROFS)) {
            fd = open(m_path.c_str(), O_RDONLY | O_CLOEXEC);
            m_readOnly = fd >= 0;
        }
        if (fd < 0)
            return Broken(std::strerror(errno));
        close(fd);
        // Read-only, the file is taken as it stands: no journal is set up
        // beside it, which its folder may not allow either.
        const std::string name = m_readOnly ? "file:" + UriPath(m_path) + "?immutable=1" : m_path;
        const int flags =
            m_readOnly ? SQLITE_OPEN_READONLY | SQLITE_OPEN_URI : SQLITE_OPEN_READWRITE;
        if (sqlite3_open_v2(name.c_str(), &m_db, flags | SQLITE_OPEN_NOMUTEX, nullptr) !=
            SQLITE_OK) {
            return Broken(m_db ? sqlite3_errmsg(m_db) : "out of memory");
        }
        if (m_readOnly && !m_readOnlyTold) {
            m_readOnlyTold = true;
            std::fprintf(stderr,
                         "orvella: the settings store %s is read-only; settings are read, "
                         "but changes cannot be saved\n",
                         m_path.c_str());
        }
        sqlite3_busy_timeout(m_db, kBusyTimeoutMs);
        if (long rc = Configure(); rc != kRegSuccess)
            return rc;
        for (int i = 0; i < kStatementCount; ++i) {
            if (sqlite3_prepare_v3(m_db, kStatementText[i], -1, SQLITE_PREPARE_PERSISTENT,
                                   &m_stmt[i], nullptr) != SQLITE_OK) {
                return Broken(sqlite3_errmsg(m_db));
            }
        }
        return kRegSuccess;
    }

    sqlite3_stmt* Get(Statement which) { return m_stmt[which]; }
    sqlite3* db() { return m_db; }

    // Maps a failed SQLite call to the platform's error number; a damaged
    // store is given up for the rest of the process.
    long Failure(int rc) {
        switch (rc & 0xFF) {
            case SQLITE_CORRUPT:
            case SQLITE_NOTADB:
                return Broken(sqlite3_errstr(rc));
            case SQLITE_BUSY:
            case SQLITE_LOCKED:
            case SQLITE_READONLY:
            case SQLITE_PERM:
            case SQLITE_CANTOPEN:
                return kRegAccessDenied;
            default:
                return kRegBadDatabase;
        }
    }

    bool Exec(const char* sql) { return sqlite3_exec(m_db, sql, nullptr, nullptr, nullptr) == 0; }

    // Closing the last connection folds the write-ahead log back into the
    // database file and removes it, so the file is whole after the process.
    void CloseForExit() {
        Disconnect();
        m_closedForExit = true;
    }

  private:
    long Configure() {
        if (m_readOnly)
            return CheckReadOnly();
        // Switching to WAL needs a moment alone with the file; another
        // process opening at the same time may hold it briefly.
        int rc = SQLITE_BUSY;
        for (int attempt = 0; attempt < 50 && (rc & 0xFF) == SQLITE_BUSY; ++attempt) {
            if (attempt)
                std::this_thread::sleep_for(std::chrono::milliseconds(100));
            rc = sqlite3_exec(m_db, "PRAGMA journal_mode=WAL", nullptr, nullptr, nullptr);
        }
        if (rc != SQLITE_OK)
            return Broken(sqlite3_errmsg(m_db));
        Exec("PRAGMA synchronous=NORMAL");
        sqlite3_stmt* check = nullptr;
        if (sqlite3_prepare_v2(m_db, "PRAGMA quick_check", -1, &check, nullptr) != SQLITE_OK) {
            return Broken(sqlite3_errmsg(m_db));
        }
        rc = sqlite3_step(check);
        std::string verdict =
            rc == SQLITE_ROW ? reinterpret_cast<const char*>(sqlite3_column_text(check, 0)) : "";
        sqlite3_finalize(check);
        if (rc != SQLITE_ROW)
            return Broken(sqlite3_errmsg(m_db));
        if (verdict != "ok") {
            // One line on standard error, however many faults the check found.
            for (char& c : verdict)
                c = c == '\n' ? ' ' : c;
            if (verdict.size() > 160)
                verdict = verdict.substr(0, 160) + "...";
            return Broken(("damaged: " + verdict).c_str());
        }
        int version = 0;
        sqlite3_stmt* stmt = nullptr;
        if (sqlite3_prepare_v2(m_db, "PRAGMA user_version", -1, &stmt, nullptr) == SQLITE_OK &&
            sqlite3_step(stmt) == SQLITE_ROW) {
            version = sqlite3_column_int(stmt, 0);
        }
        sqlite3_finalize(stmt);
        if (version > kSchemaVersion)
            return Broken("written by a newer version");
        if (version < kSchemaVersion) {
            if (!Exec("BEGIN IMMEDIATE"))
                return Broken(sqlite3_errmsg(m_db));
            if (!Exec(kSchema)) {
                std::string why = sqlite3_errmsg(m_db);
                Exec("ROLLBACK");
                return Broken(why.c_str());
            }
            if (!Exec("COMMIT"))
                return Broken(sqlite3_errmsg(m_db));
        }
        return kRegSuccess;
    }

    // A read-only store must be whole and of this version as it stands.
    long CheckReadOnly() {
        sqlite3_stmt* stmt = nullptr;
        int version = -1;
        if (sqlite3_prepare_v2(m_db, "PRAGMA user_version", -1, &stmt, nullptr) == SQLITE_OK &&
            sqlite3_step(stmt) == SQLITE_ROW) {
            version = sqlite3_column_int(stmt, 0);
        }
        sqlite3_finalize(stmt);
        if (version != kSchemaVersion)
            return Broken(version < 0 ? sqlite3_errmsg(m_db) : "read-only and not of this version");
        return kRegSuccess;
    }

    long Broken(const char* why) {
        if (!m_broken) {
            std::fprintf(stderr,
                         "orvella: the settings store %s cannot be used (%s); "
                         "default settings apply\n",
                         m_path.empty() ? "(none)" : m_path.c_str(), why);
        }
        // The connection is closed by the next Connect: a statement may still
        // be in use now.
        m_broken = true;
        return kRegBadDatabase;
    }

    void Disconnect() {
        // A connection inherited through fork belongs to the parent; the
        // child must neither use nor close it.
        if (m_db && m_pid == getpid()) {
            for (sqlite3_stmt*& stmt : m_stmt)
                sqlite3_finalize(stmt);
            sqlite3_close(m_db);
        }
        for (sqlite3_stmt*& stmt : m_stmt)
            stmt = nullptr;
        m_db = nullptr;
    }

    sqlite3* m_db = nullptr;
    sqlite3_stmt* m_stmt[kStatementCount] = {};
    std::string m_path;
    pid_t m_pid = 0;
    bool m_broken = false;
    bool m_closedForExit = false;
    bool m_readOnly = false;
    bool m_readOnlyTold = false;

  public:
    bool ReadOnly() const { return m_readOnly; }
};

Store* const g_store = [] {
    auto* store = new Store;  // never destroyed: other exit code may still call in
    std::atexit([] {
        std::lock_guard lock(g_store->mutex);
        g_store->CloseForExit();
    });
    return store;
}();

Store& TheStore() {
    return *g_store;
}

long FindKey(Store& store, const std::string& folded, int64_t* id) {
    if (folded.empty()) {
        *id = kRootKey;
        return kRegSuccess;
    }
    StatementScope q(store.Get(kFindKey));
    BindText(q.get(), 1, folded);
    int rc = sqlite3_step(q.get());
    if (rc == SQLITE_ROW) {
        *id = sqlite3_column_int64(q.get(), 0);
        return kRegSuccess;
    }
    return rc == SQLITE_DONE ? kRegFileNotFound : store.Failure(rc);
}

// Checks a handle against the current connection; locks nothing.
long CheckKey(Store& store, RegKey* key, uint32_t needed) {
    if (!key)
        return kRegInvalidHandle;
    if (long rc = store.Connect(); rc != kRegSuccess)
        return rc;
    if (key->generation != store.generation)
        return kRegInvalidHandle;
    if ((key->access & needed) != needed)
        return kRegAccessDenied;
    return kRegSuccess;
}

long OpenOrCreate(Hive hive, const std::wstring& path, uint32_t access, RegKey** key, bool create) {
    if (!key)
        return kRegInvalidParameter;
    *key = nullptr;
    if (hive != Hive::kCurrentUser)
        return kRegInvalidHandle;
    std::vector<std::wstring_view> parts;
    if (!SplitKeyPath(path, &parts))
        return kRegInvalidParameter;
    Store& store = TheStore();
    std::lock_guard lock(store.mutex);
    if (long rc = store.Connect(); rc != kRegSuccess)
        return rc;
    int64_t id = kRootKey;
    long rc = FindKey(store, FoldedPath(parts, parts.size()), &id);
    if (rc == kRegFileNotFound && create) {
        if (!store.Exec("BEGIN IMMEDIATE"))
            return store.Failure(sqlite3_errcode(store.db()));
        id = kRootKey;
        rc = kRegSuccess;
        for (size_t i = 1; i <= parts.size() && rc == kRegSuccess; ++i) {
            const int64_t parent = id;
            const std::string folded = FoldedPath(parts, i);
            rc = FindKey(store, folded, &id);
            if (rc != kRegFileNotFound)
                continue;
            StatementScope insert(store.Get(kInsertKey));
            sqlite3_bind_int64(insert.get(), 1, parent);
            BindText(insert.get(), 2, Utf8(parts[i - 1], false));
            BindText(insert.get(), 3, folded);
            int step = sqlite3_step(insert.get());
            rc = step == SQLITE_DONE ? kRegSuccess : store.Failure(step);
            id = sqlite3_last_insert_rowid(store.db());
        }
        if (rc == kRegSuccess && !store.Exec("COMMIT")) {
            rc = store.Failure(sqlite3_errcode(store.db()));
        }
        if (rc != kRegSuccess && store.db())
            store.Exec("ROLLBACK");
    }
    if (rc != kRegSuccess)
        return rc;
    *key = new RegKey{id, access, store.generation};
    return kRegSuccess;
}

}  // namespace

long RegOpenKey(Hive hive, const std::wstring& path, uint32_t access, RegKey** key) {
    return OpenOrCreate(hive, path, access, key, false);
}

long RegCreateKey(Hive hive, const std::wstring& path, uint32_t access, RegKey** key) {
    return OpenOrCreate(hive, path, access, key, true);
}

bool RegStoreIsReadOnly() {
    Store& store = TheStore();
    std::lock_guard lock(store.mutex);
    return store.Connect() == kRegSuccess && store.ReadOnly();
}

long RegCloseKey(RegKey* key) {
    if (!key)
        return kRegInvalidHandle;
    delete key;
    return kRegSuccess;
}

long RegQueryValue(RegKey* key, const std::wstring& name, uint32_t* type, uint8_t* data,
                   uint32_t* size) {
    if (data && !size)
        return kRegInvalidParameter;
    Store& store = TheStore();
    std::lock_guard lock(store.mutex);
    if (long rc = CheckKey(store, key, kKeyQueryValue); rc != kRegSuccess)
        return rc;
    StatementScope q(store.Get(kQueryValue));
    sqlite3_bind_int64(q.get(), 1, key->id);
    BindText(q.get(), 2, Utf8(name, true));
    int rc = sqlite3_step(q.get());
    if (rc == SQLITE_DONE)
        return kRegFileNotFound;
    if (rc != SQLITE_ROW)
        return store.Failure(rc);
    const auto storedType = static_cast<uint32_t>(sqlite3_column_int64(q.get(), 0));
    const void* blob = sqlite3_column_blob(q.get(), 1);
    const auto storedSize = static_cast<uint32_t>(sqlite3_column_bytes(q.get(), 1));
    if (type)
        *type = storedType;
    if (!size)
        return kRegSuccess;
    const uint32_t room = *size;
    *size = storedSize;
    if (!data)
        return kRegSuccess;
    if (room < storedSize)
        return kRegMoreData;
    if (storedSize)
        std::memcpy(data, blob, storedSize);
    return kRegSuccess;
}

long RegSetValue(RegKey* key, const std::wstring& name, uint32_t type, const uint8_t* data,
                 uint32_t size) {
    if (!data && size)
        return kRegInvalidParameter;
    Store& store = TheStore();
    std::lock_guard lock(store.mutex);
    if (long rc = CheckKey(store, key, kKeySetValue); rc != kRegSuccess)
        return rc;
    StatementScope q(store.Get(kSetValue));
    sqlite3_bind_int64(q.get(), 1, key->id);
    BindText(q.get(), 2, Utf8(name, false));
    BindText(q.get(), 3, Utf8(name, true));
    sqlite3_bind_int64(q.get(), 4, type);
    // A null pointer would bind NULL rather than an empty blob.
    static const uint8_t kEmpty = 0;
    sqlite3_bind_blob(q.get(), 5, size ? data : &kEmpty, static_cast<int>(size), SQLITE_TRANSIENT);
    int rc = sqlite3_step(q.get());
    if (rc != SQLITE_DONE)
        return store.Failure(rc);
    return sqlite3_changes(store.db()) ? kRegSuccess : kRegFileNotFound;  // key deleted
}

long RegDeleteValue(RegKey* key, const std::wstring& name) {
    Store& store = TheStore();
    std::lock_guard lock(store.mutex);
    if (long rc = CheckKey(store, key, kKeySetValue); rc != kRegSuccess)
        return rc;
    StatementScope q(store.Get(kDeleteValue));
    sqlite3_bind_int64(q.get(), 1, key->id);
    BindText(q.get(), 2, Utf8(name, true));
    int rc = sqlite3_step(q.get());
    if (rc != SQLITE_DONE)
        return store.Failure(rc);
    return sqlite3_changes(store.db()) ? kRegSuccess : kRegFileNotFound;
}

long RegDeleteTree(Hive hive, const std::wstring& path) {
    if (hive != Hive::kCurrentUser)
        return kRegInvalidHandle;
    std::vector<std::wstring_view> parts;
    if (!SplitKeyPath(path, &parts))
        return kRegInvalidParameter;
    const std::string folded = FoldedPath(parts, parts.size());
    Store& store = TheStore();
    std::lock_guard lock(store.mutex);
    if (long rc = store.Connect(); rc != kRegSuccess)
        return rc;
    if (!store.Exec("BEGIN IMMEDIATE"))
        return store.Failure(sqlite3_errcode(store.db()));
    int64_t id = kRootKey;
    long rc = FindKey(store, folded, &id);
    for (Statement which : {kDeleteTreeValues, kDeleteTreeKeys}) {
        if (rc != kRegSuccess)
            break;
        StatementScope q(store.Get(which));
        BindText(q.get(), 1, folded);
        int step = sqlite3_step(q.get());
        if (step != SQLITE_DONE)
            rc = store.Failure(step);
    }
    if (rc == kRegSuccess && !store.Exec("COMMIT"))
        rc = store.Failure(sqlite3_errcode(store.db()));
    if (rc != kRegSuccess && store.db())
        store.Exec("ROLLBACK");
    return rc;
}

long RegEnumValues(RegKey* key, std::vector<RegValueInfo>* values) {
    if (!values)
        return kRegInvalidParameter;
    values->clear();
    Store& store = TheStore();
    std::lock_guard lock(store.mutex);
    if (long rc = CheckKey(store, key, kKeyQueryValue); rc != kRegSuccess)
        return rc;
    StatementScope q(store.Get(kEnumValues));
    sqlite3_bind_int64(q.get(), 1, key->id);
    int rc;
    while ((rc = sqlite3_step(q.get())) == SQLITE_ROW) {
        RegValueInfo info;
        info.name = FromUtf8(sqlite3_column_text(q.get(), 0), sqlite3_column_bytes(q.get(), 0));
        info.type = static_cast<uint32_t>(sqlite3_column_int64(q.get(), 1));
        const auto* blob = static_cast<const uint8_t*>(sqlite3_column_blob(q.get(), 2));
        info.data.assign(blob, blob + sqlite3_column_bytes(q.get(), 2));
        values->push_back(std::move(info));
    }
    return rc == SQLITE_DONE ? kRegSuccess : store.Failure(rc);
}

long RegEnumSubkeys(RegKey* key, std::vector<std::wstring>* names) {
    if (!names)
        return kRegInvalidParameter;
    names->clear();
    Store& store = TheStore();
    std::lock_guard lock(store.mutex);
    if (long rc = CheckKey(store, key, kKeyEnumerateSubKeys); rc != kRegSuccess)
        return rc;
    StatementScope q(store.Get(kEnumSubkeys));
    sqlite3_bind_int64(q.get(), 1, key->id);
    int rc;
    while ((rc = sqlite3_step(q.get())) == SQLITE_ROW) {
        names->push_back(
            FromUtf8(sqlite3_column_text(q.get(), 0), sqlite3_column_bytes(q.get(), 0)));
    }
    return rc == SQLITE_DONE ? kRegSuccess : store.Failure(rc);
}

}  // namespace platform
