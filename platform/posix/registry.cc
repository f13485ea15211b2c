// The current user's registry on POSIX: one SQLite database per user.
//
// Keys are rows of `keys` (the full path folded to lower case is unique, the
// last component is kept as first written); values are rows of `vals`, their
// data stored as the bytes the caller gave. The root of the hive is the
// implicit key 0. The process keeps one connection, guarded by a mutex;
// opening a key is one lookup that yields a handle holding the key's row id.
#include "platform/registry.h"

#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "platform/posix/registry_names.h"
#include "platform/posix/registry_store.h"

namespace platform {

struct RegKey {
    int64_t id = 0;
    uint32_t access = 0;
    uint64_t generation = 0;  // of the connection that opened the key
};

namespace {

using posix::BindText;
using posix::FoldedPath;
using posix::FromUtf8;
using posix::SplitKeyPath;
using posix::Statement;
using posix::StatementScope;
using posix::Store;
using posix::TheStore;
using posix::Utf8;
using enum posix::Statement;

constexpr int64_t kRootKey = 0;
constexpr uint32_t kKeyQueryValue = 0x0001;
constexpr uint32_t kKeySetValue = 0x0002;
constexpr uint32_t kKeyEnumerateSubKeys = 0x0008;

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

// Runs body(store, statement) with the store locked, the handle checked for
// the access it needs and the statement's first parameter bound to the key.
template <typename Body>
long WithKeyStatement(RegKey* key, uint32_t needed, Statement which, Body&& body) {
    Store& store = TheStore();
    std::lock_guard lock(store.mutex);
    if (long rc = CheckKey(store, key, needed); rc != kRegSuccess)
        return rc;
    StatementScope q(store.Get(which));
    sqlite3_bind_int64(q.get(), 1, key->id);
    return body(store, q.get());
}

// Hands every row of a key's listing (values or subkeys) to read.
template <typename ReadRow>
long EnumKeyRows(RegKey* key, uint32_t needed, Statement which, ReadRow&& read) {
    return WithKeyStatement(key, needed, which, [&](Store& store, sqlite3_stmt* q) -> long {
        int rc;
        while ((rc = sqlite3_step(q)) == SQLITE_ROW)
            read(q);
        return rc == SQLITE_DONE ? kRegSuccess : store.Failure(rc);
    });
}

std::wstring ColumnText(sqlite3_stmt* q, int column) {
    return FromUtf8(sqlite3_column_text(q, column), sqlite3_column_bytes(q, column));
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
    return WithKeyStatement(
        key, kKeyQueryValue, kQueryValue, [&](Store& store, sqlite3_stmt* q) -> long {
            BindText(q, 2, Utf8(name, true));
            int rc = sqlite3_step(q);
            if (rc == SQLITE_DONE)
                return kRegFileNotFound;
            if (rc != SQLITE_ROW)
                return store.Failure(rc);
            const auto storedType = static_cast<uint32_t>(sqlite3_column_int64(q, 0));
            const void* blob = sqlite3_column_blob(q, 1);
            const auto storedSize = static_cast<uint32_t>(sqlite3_column_bytes(q, 1));
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
        });
}

long RegSetValue(RegKey* key, const std::wstring& name, uint32_t type, const uint8_t* data,
                 uint32_t size) {
    if (!data && size)
        return kRegInvalidParameter;
    return WithKeyStatement(
        key, kKeySetValue, kSetValue, [&](Store& store, sqlite3_stmt* q) -> long {
            BindText(q, 2, Utf8(name, false));
            BindText(q, 3, Utf8(name, true));
            sqlite3_bind_int64(q, 4, type);
            // A null pointer would bind NULL rather than an empty blob.
            static const uint8_t kEmpty = 0;
            sqlite3_bind_blob(q, 5, size ? data : &kEmpty, static_cast<int>(size),
                              SQLITE_TRANSIENT);
            int rc = sqlite3_step(q);
            if (rc != SQLITE_DONE)
                return store.Failure(rc);
            return sqlite3_changes(store.db()) ? kRegSuccess : kRegFileNotFound;  // key deleted
        });
}

long RegDeleteValue(RegKey* key, const std::wstring& name) {
    return WithKeyStatement(key, kKeySetValue, kDeleteValue,
                            [&](Store& store, sqlite3_stmt* q) -> long {
                                BindText(q, 2, Utf8(name, true));
                                int rc = sqlite3_step(q);
                                if (rc != SQLITE_DONE)
                                    return store.Failure(rc);
                                return sqlite3_changes(store.db()) ? kRegSuccess : kRegFileNotFound;
                            });
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
    return EnumKeyRows(key, kKeyQueryValue, kEnumValues, [values](sqlite3_stmt* q) {
        RegValueInfo info;
        info.name = ColumnText(q, 0);
        info.type = static_cast<uint32_t>(sqlite3_column_int64(q, 1));
        const auto* blob = static_cast<const uint8_t*>(sqlite3_column_blob(q, 2));
        info.data.assign(blob, blob + sqlite3_column_bytes(q, 2));
        values->push_back(std::move(info));
    });
}

long RegEnumSubkeys(RegKey* key, std::vector<std::wstring>* names) {
    if (!names)
        return kRegInvalidParameter;
    names->clear();
    return EnumKeyRows(key, kKeyEnumerateSubKeys, kEnumSubkeys,
                       [names](sqlite3_stmt* q) { names->push_back(ColumnText(q, 0)); });
}

}  // namespace platform
