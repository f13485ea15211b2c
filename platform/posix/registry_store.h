// The POSIX registry's store: the process's one SQLite connection, its
// schema and prepared statements, and what a failed call means.
#pragma once

#include <sqlite3.h>
#include <sys/types.h>

#include <cstdint>
#include <mutex>
#include <string>

namespace platform::posix {

// The statements the registry runs, prepared once per connection.
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

void BindText(sqlite3_stmt* stmt, int index, const std::string& text);

// The process's one connection to the store.
class Store {
  public:
    std::mutex mutex;
    uint64_t generation = 0;

    // Makes sure the connection to the configured database is open (reopening
    // when ORVELLA_REGISTRY names another file, or in a forked child).
    long Connect();

    sqlite3_stmt* Get(Statement which) { return m_stmt[which]; }
    sqlite3* db() { return m_db; }

    // Maps a failed SQLite call to the platform's error number; a damaged
    // store is given up for the rest of the process.
    long Failure(int rc);

    bool Exec(const char* sql) { return sqlite3_exec(m_db, sql, nullptr, nullptr, nullptr) == 0; }

    // Closing the last connection folds the write-ahead log back into the
    // database file and removes it, so the file is whole after the process.
    void CloseForExit();

    bool ReadOnly() const { return m_readOnly; }

  private:
    long Configure();
    // A read-only store must be whole and of this version as it stands.
    long CheckReadOnly();
    long Broken(const char* why);
    void Disconnect();

    sqlite3* m_db = nullptr;
    sqlite3_stmt* m_stmt[kStatementCount] = {};
    std::string m_path;
    pid_t m_pid = 0;
    bool m_broken = false;
    bool m_closedForExit = false;
    bool m_readOnly = false;
    bool m_readOnlyTold = false;
};

// The one store of the process; it is never destroyed, as other exit code
// may still call in, and is closed at exit.
Store& TheStore();

}  // namespace platform::posix
