#include "platform/posix/registry_store.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>

#include "platform/posix/registry_location.h"
#include "platform/registry.h"

namespace platform::posix {

namespace {

constexpr int kBusyTimeoutMs = 5000;
constexpr int kSchemaVersion = 1;

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

}  // namespace

void BindText(sqlite3_stmt* stmt, int index, const std::string& text) {
    sqlite3_bind_text(stmt, index, text.data(), static_cast<int>(text.size()), SQLITE_TRANSIENT);
}

long Store::Connect() {
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
    const int flags = m_readOnly ? SQLITE_OPEN_READONLY | SQLITE_OPEN_URI : SQLITE_OPEN_READWRITE;
    if (sqlite3_open_v2(name.c_str(), &m_db, flags | SQLITE_OPEN_NOMUTEX, nullptr) != SQLITE_OK) {
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
        if (sqlite3_prepare_v3(m_db, kStatementText[i], -1, SQLITE_PREPARE_PERSISTENT, &m_stmt[i],
                               nullptr) != SQLITE_OK) {
            return Broken(sqlite3_errmsg(m_db));
        }
    }
    return kRegSuccess;
}

long Store::Failure(int rc) {
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

void Store::CloseForExit() {
    Disconnect();
    m_closedForExit = true;
}

long Store::Configure() {
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

long Store::CheckReadOnly() {
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

long Store::Broken(const char* why) {
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

void Store::Disconnect() {
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

namespace {

Store* const g_store = [] {
    auto* store = new Store;  // never destroyed: other exit code may still call in
    std::atexit([] {
        std::lock_guard lock(g_store->mutex);
        g_store->CloseForExit();
    });
    return store;
}();

}  // namespace

Store& TheStore() {
    return *g_store;
}

}  // namespace platform::posix
