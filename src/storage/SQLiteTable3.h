#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "base/Exceptions.h"

struct sqlite3;
struct sqlite3_stmt;

// A thin layer over the SQLite library: one connection per file, and query
// results copied whole into memory. Values go into the SQL text as literals;
// nothing is bound.
namespace tw {

// Column types: the codes of SQLite's fundamental types.
enum TSQLiteColumnType : int {
    dtInt = 1,
    dtNumeric = 2,
    dtStr = 3,
    dtBlob = 4,
    dtNull = 5,
};

using TSQLiteBlob = std::vector<uint8_t>;

// Description of a primary SQLite result code, as the layer's messages carry it.
std::string SQLiteErrorDescription(int code);

// `text` as an SQL string literal: single quotes, inner quotes doubled. A NUL
// byte would end the statement's text inside the literal, so each one is
// written as char(0) joined to its neighbours and the value is stored byte
// for byte.
std::string SQLiteQuotedStr(std::string_view text);

// Sees every statement before it runs, with the file it runs on. Tests use it
// to count statements and to inject failures (by throwing); empty for none.
using TSQLiteStatementHook =
    std::function<void(const std::string& fileName, const std::string& sql)>;
void SetSQLiteStatementHook(TSQLiteStatementHook hook);

class TSQLiteTable;

class TSQLiteDatabase {
public:
    // Opens an existing file for reading and writing; a missing one is not
    // created. ESQLiteException on failure.
    explicit TSQLiteDatabase(const std::string& fileName);
    ~TSQLiteDatabase();
    TSQLiteDatabase(const TSQLiteDatabase&) = delete;
    TSQLiteDatabase& operator=(const TSQLiteDatabase&) = delete;

    sqlite3* Handle() const noexcept { return handle_; }
    const std::string& FileName() const noexcept { return fileName_; }

    // Runs the first statement of `sql`, which returns no rows.
    void ExecSQL(const std::string& sql);
    // Runs the first statement of `sql` and returns its whole result.
    std::unique_ptr<TSQLiteTable> GetTable(const std::string& sql);

    // Whether a transaction is open on this connection.
    bool InTransaction() const noexcept;
    // The library's result code behind the last error this connection raised; 0 for none.
    int LastErrorCode() const noexcept { return lastErrorCode_; }

private:
    [[noreturn]] void RaiseError(const std::string& message, const std::string& sql);
    // Compiles the first statement; the caller finalises it.
    sqlite3_stmt* Prepare(const std::string& sql);

    std::string fileName_;
    sqlite3* handle_ = nullptr;
    int lastErrorCode_ = 0;
};

// Runs statements as one transaction: everything is committed or, when one of
// them fails, nothing is, and the previous rows stay.
class TSQLiteTransaction {
public:
    explicit TSQLiteTransaction(TSQLiteDatabase& db);
    // Rolls back unless committed.
    ~TSQLiteTransaction();
    TSQLiteTransaction(const TSQLiteTransaction&) = delete;
    TSQLiteTransaction& operator=(const TSQLiteTransaction&) = delete;

    void Commit();

private:
    TSQLiteDatabase& db_;
    bool done_ = false;
};

// The complete, read-only result of one query with a row cursor.
class TSQLiteTable {
public:
    using Cell = std::variant<std::monostate, int64_t, double, std::string, TSQLiteBlob>;

    TSQLiteTable(const TSQLiteTable&) = delete;
    TSQLiteTable& operator=(const TSQLiteTable&) = delete;

    int32_t RowCount() const noexcept { return rowCount_; }
    int32_t ColumnCount() const noexcept { return columnCount_; }
    int32_t CurrentRow() const noexcept { return currentRow_; }
    const std::vector<std::string>& ColumnNames() const noexcept { return columnNames_; }
    const std::vector<TSQLiteColumnType>& ColumnTypes() const noexcept { return columnTypes_; }

    bool AtEnd() const noexcept { return currentRow_ >= rowCount_; }
    bool First() noexcept;
    bool Next() noexcept;

    int ColumnIndex(std::string_view columnName) const;

    std::string AsText(std::string_view columnName) const {
        return AsText(ColumnIndex(columnName));
    }
    int64_t AsInteger(std::string_view columnName) const {
        return AsInteger(ColumnIndex(columnName));
    }
    std::string AsText(int i) const;
    int64_t AsInteger(int i) const;
    double AsDouble(int i) const;
    // Owned by the table; nullptr for NULL and for a blob of zero bytes.
    const TSQLiteBlob* AsBlob(int i) const;
    std::string AsBlobText(int i) const;

private:
    friend class TSQLiteDatabase;
    TSQLiteTable() = default;
    const Cell& CurrentCell(int i) const;

    std::vector<Cell> cells_;
    int32_t rowCount_ = 0;
    int32_t columnCount_ = 0;
    std::vector<std::string> columnNames_;
    std::vector<TSQLiteColumnType> columnTypes_;
    int32_t currentRow_ = 0;
};

}  // namespace tw
