#include "storage/SQLiteTable3.h"

#include <sqlite3.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <utility>

#include "base/Strings.h"

namespace tw {

namespace {

constexpr std::string_view kUnit = "SQLiteTable3";

TSQLiteStatementHook& StatementHook() {
    static TSQLiteStatementHook hook;
    return hook;
}

// Finalises a statement on every way out of the operation.
class StatementGuard {
public:
    explicit StatementGuard(sqlite3_stmt* stmt) noexcept : stmt_(stmt) {}
    ~StatementGuard() { sqlite3_finalize(stmt_); }
    StatementGuard(const StatementGuard&) = delete;
    StatementGuard& operator=(const StatementGuard&) = delete;

private:
    sqlite3_stmt* stmt_;
};

// Truncation toward zero that stays defined for values outside the 64-bit range.
int64_t TruncToInt64(double value) noexcept {
    if (std::isnan(value)) {
        return 0;
    }
    constexpr double kLimit = 9223372036854775808.0;  // 2^63
    if (value >= kLimit) {
        return std::numeric_limits<int64_t>::max();
    }
    if (value < -kLimit) {
        return std::numeric_limits<int64_t>::min();
    }
    return static_cast<int64_t>(value);
}

// The declared type decides, compared exactly; without one the first row's value does.
TSQLiteColumnType ColumnTypeOf(sqlite3_stmt* stmt, int column) {
    if (const char* declared = sqlite3_column_decltype(stmt, column)) {
        const std::string_view type(declared);
        if (type == "INTEGER" || type == "BOOLEAN") {
            return dtInt;
        }
        if (type == "NUMERIC" || type == "FLOAT" || type == "DOUBLE" || type == "REAL") {
            return dtNumeric;
        }
        if (type == "BLOB") {
            return dtBlob;
        }
        return dtStr;
    }
    switch (sqlite3_column_type(stmt, column)) {
        case SQLITE_INTEGER:
            return dtInt;
        case SQLITE_FLOAT:
            return dtNumeric;
        case SQLITE_BLOB:
            return dtBlob;
        case SQLITE_NULL:
            return dtNull;
        default:
            return dtStr;
    }
}

}  // namespace

std::string SQLiteErrorDescription(int code) {
    switch (code) {
        case 0:
            return "Successful result";
        case 1:
            return "SQL error or missing database";
        case 2:
            return "An internal logic error in SQLite";
        case 3:
            return "Access permission denied";
        case 4:
            return "Callback routine requested an abort";
        case 5:
            return "The database file is locked";
        case 6:
            return "A table in the database is locked";
        case 7:
            return "A malloc() failed";
        case 8:
            return "Attempt to write a readonly database";
        case 9:
            return "Operation terminated by sqlite3_interrupt()";
        case 10:
            return "Some kind of disk I/O error occurred";
        case 11:
            return "The database disk image is malformed";
        case 12:
            return "(Internal Only) Table or record not found";
        case 13:
            return "Insertion failed because database is full";
        case 14:
            return "Unable to open the database file";
        case 15:
            return "Database lock protocol error";
        case 16:
            return "Database is empty";
        case 17:
            return "The database schema changed";
        case 18:
            return "Too much data for one row of a table";
        case 19:
            return "Abort due to contraint violation";
        case 20:
            return "Data type mismatch";
        case 21:
            return "Library used incorrectly";
        case 22:
            return "Uses OS features not supported on host";
        case 23:
            return "Authorization denied";
        case 24:
            return "Auxiliary database format error";
        case 25:
            return "2nd parameter to sqlite3_bind out of range";
        case 26:
            return "File opened that is not a database file";
        case 100:
            return "sqlite3_step() has another row ready";
        case 101:
            return "sqlite3_step() has finished executing";
        default:
            return "Unknown SQLite Error Code \"" + std::to_string(code) + "\"";
    }
}

std::string SQLiteQuotedStr(std::string_view text) {
    std::string literal;
    for (size_t start = 0;;) {
        const size_t nul = text.find('\0', start);
        literal += QuotedStr(text.substr(start, nul - start));
        if (nul == std::string_view::npos) {
            return literal;
        }
        literal += "||char(0)||";
        start = nul + 1;
    }
}

void SetSQLiteStatementHook(TSQLiteStatementHook hook) {
    StatementHook() = std::move(hook);
}

// ---------------------------------------------------------------------------
// TSQLiteDatabase

TSQLiteDatabase::TSQLiteDatabase(const std::string& fileName) : fileName_(fileName) {
    sqlite3* handle = nullptr;
    // Never creates the file: a missing database is seeded from its template
    // at start-up, and an empty one made here would hide that it is missing.
    if (sqlite3_open_v2(fileName.c_str(), &handle, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK) {
        if (!handle) {
            throw ESQLiteException("Failed to open database \"" + fileName + "\" : unknown error");
        }
        std::string message =
            "Failed to open database \"" + fileName + "\" : " + sqlite3_errmsg(handle);
        sqlite3_close(handle);
        throw ESQLiteException(std::move(message));
    }
    handle_ = handle;
    // Our statements write string literals in double quotes ("morning", "%");
    // accept them whatever the library's compile-time default.
    sqlite3_db_config(handle_, SQLITE_DBCONFIG_DQS_DML, 1, nullptr);
    sqlite3_db_config(handle_, SQLITE_DBCONFIG_DQS_DDL, 1, nullptr);
    // Another reader (a backup, the sqlite3 shell) must not cost a tick:
    // wait a moment for its lock instead of failing at once.
    sqlite3_busy_timeout(handle_, 1000);
}

TSQLiteDatabase::~TSQLiteDatabase() {
    if (handle_) {
        sqlite3_close(handle_);
    }
}

bool TSQLiteDatabase::InTransaction() const noexcept {
    return handle_ && sqlite3_get_autocommit(handle_) == 0;
}

void TSQLiteDatabase::RaiseError(const std::string& message, const std::string& sql) {
    const int code = sqlite3_errcode(handle_);
    lastErrorCode_ = code;
    if (code == SQLITE_OK) {
        throw ESQLiteException(message);
    }
    throw ESQLiteException(message + ".\rError [" + std::to_string(code) +
                           "]: " + SQLiteErrorDescription(code) + ".\r\"" + sql +
                           "\": " + sqlite3_errmsg(handle_));
}

sqlite3_stmt* TSQLiteDatabase::Prepare(const std::string& sql) {
    if (const auto& hook = StatementHook()) {
        hook(fileName_, sql);
    }
    sqlite3_stmt* stmt = nullptr;
    const char* tail = nullptr;
    if (sqlite3_prepare_v2(handle_, sql.c_str(), -1, &stmt, &tail) != SQLITE_OK) {
        sqlite3_finalize(stmt);
        RaiseError("Error executing SQL", sql);
    }
    if (!stmt) {
        RaiseError("Could not prepare SQL statement", sql);
    }
    return stmt;
}

void TSQLiteDatabase::ExecSQL(const std::string& sql) {
    sqlite3_stmt* stmt = Prepare(sql);
    StatementGuard guard(stmt);
    if (sqlite3_step(stmt) != SQLITE_DONE) {
        sqlite3_reset(stmt);
        RaiseError("Error executing SQL statement", sql);
    }
}

std::unique_ptr<TSQLiteTable> TSQLiteDatabase::GetTable(const std::string& sql) {
    sqlite3_stmt* stmt = Prepare(sql);
    StatementGuard guard(stmt);
    std::unique_ptr<TSQLiteTable> table(new TSQLiteTable());
    for (;;) {
        const int rc = sqlite3_step(stmt);
        if (rc == SQLITE_DONE) {
            break;
        }
        if (rc == SQLITE_BUSY) {
            lastErrorCode_ = rc;
            throw ESQLiteException("Could not prepare SQL statement");
        }
        if (rc != SQLITE_ROW) {
            sqlite3_reset(stmt);
            RaiseError("Could not retrieve data", sql);
        }
        ++table->rowCount_;
        if (table->rowCount_ == 1) {
            table->columnCount_ = sqlite3_column_count(stmt);
            for (int j = 0; j < table->columnCount_; ++j) {
                const char* name = sqlite3_column_name(stmt, j);
                table->columnNames_.push_back(UpperCase(name ? name : ""));
                table->columnTypes_.push_back(ColumnTypeOf(stmt, j));
            }
        }
        for (int j = 0; j < table->columnCount_; ++j) {
            TSQLiteTable::Cell& cell = table->cells_.emplace_back();
            if (sqlite3_column_type(stmt, j) == SQLITE_NULL) {
                continue;
            }
            switch (table->columnTypes_[j]) {
                case dtInt:
                    cell = int64_t(sqlite3_column_int64(stmt, j));
                    break;
                case dtNumeric:
                    cell = sqlite3_column_double(stmt, j);
                    break;
                case dtBlob: {
                    const auto* bytes = static_cast<const uint8_t*>(sqlite3_column_blob(stmt, j));
                    const int size = sqlite3_column_bytes(stmt, j);
                    if (bytes && size > 0) {
                        cell = TSQLiteBlob(bytes, bytes + size);
                    }
                    break;
                }
                default: {
                    const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(stmt, j));
                    const int size = sqlite3_column_bytes(stmt, j);
                    cell = text ? std::string(text, size_t(size)) : std::string();
                    break;
                }
            }
        }
    }
    table->currentRow_ = 0;
    return table;
}

// ---------------------------------------------------------------------------
// TSQLiteTransaction

TSQLiteTransaction::TSQLiteTransaction(TSQLiteDatabase& db) : db_(db) {
    // Take the write lock at once, so the busy timeout covers waiting for it.
    db_.ExecSQL("BEGIN IMMEDIATE");
}

TSQLiteTransaction::~TSQLiteTransaction() {
    if (!done_ && db_.InTransaction()) {
        sqlite3_exec(db_.Handle(), "ROLLBACK", nullptr, nullptr, nullptr);
    }
}

void TSQLiteTransaction::Commit() {
    db_.ExecSQL("COMMIT");
    done_ = true;
}

// ---------------------------------------------------------------------------
// TSQLiteTable

bool TSQLiteTable::First() noexcept {
    if (rowCount_ == 0) {
        return false;
    }
    currentRow_ = 0;
    return true;
}

bool TSQLiteTable::Next() noexcept {
    if (AtEnd()) {
        return false;
    }
    ++currentRow_;
    return true;
}

int TSQLiteTable::ColumnIndex(std::string_view columnName) const {
    if (columnNames_.empty()) {
        throw ESQLiteException("Field " + std::string(columnName) + " Not found. Empty dataset");
    }
    const std::string wanted = UpperCase(columnName);
    for (size_t j = 0; j < columnNames_.size(); ++j) {
        if (columnNames_[j] == wanted) {
            return int(j);
        }
    }
    throw ESQLiteException("Field not found in dataset: " + std::string(columnName));
}

const TSQLiteTable::Cell& TSQLiteTable::CurrentCell(int i) const {
    if (AtEnd()) {
        throw ESQLiteException("Table is at End of File");
    }
    Require(i >= 0 && i < columnCount_, kUnit);
    return cells_[size_t(currentRow_) * size_t(columnCount_) + size_t(i)];
}

std::string TSQLiteTable::AsText(int i) const {
    const Cell& cell = CurrentCell(i);
    switch (columnTypes_[size_t(i)]) {
        case dtInt:
            return IntToStr(AsInteger(i));
        case dtNumeric:
            return FloatToStr(AsDouble(i));
        case dtStr:
            if (const auto* text = std::get_if<std::string>(&cell)) {
                return *text;
            }
            return std::string();
        case dtBlob:
            return AsBlobText(i);
        default:
            return std::string();
    }
}

int64_t TSQLiteTable::AsInteger(int i) const {
    const Cell& cell = CurrentCell(i);
    if (std::holds_alternative<std::monostate>(cell)) {
        return 0;
    }
    switch (columnTypes_[size_t(i)]) {
        case dtInt:
            return std::get<int64_t>(cell);
        case dtNumeric:
            return TruncToInt64(std::get<double>(cell));
        case dtNull: {
            const std::string& text = std::get<std::string>(cell);
            return text.empty() ? 0 : TruncToInt64(StrToFloat(text, '.'));
        }
        default:
            throw ESQLiteException("Not an integer or numeric field");
    }
}

double TSQLiteTable::AsDouble(int i) const {
    const Cell& cell = CurrentCell(i);
    if (std::holds_alternative<std::monostate>(cell)) {
        return 0;
    }
    switch (columnTypes_[size_t(i)]) {
        case dtInt:
            return double(std::get<int64_t>(cell));
        case dtNumeric:
            return std::get<double>(cell);
        default:
            throw ESQLiteException("Not an integer or numeric field");
    }
}

const TSQLiteBlob* TSQLiteTable::AsBlob(int i) const {
    const Cell& cell = CurrentCell(i);
    if (std::holds_alternative<std::monostate>(cell)) {
        return nullptr;
    }
    if (columnTypes_[size_t(i)] != dtBlob) {
        throw ESQLiteException("Not a Blob field");
    }
    return &std::get<TSQLiteBlob>(cell);
}

std::string TSQLiteTable::AsBlobText(int i) const {
    const TSQLiteBlob* blob = AsBlob(i);
    if (!blob) {
        return std::string();
    }
    return std::string(blob->begin(), blob->end());
}

}  // namespace tw
