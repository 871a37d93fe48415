#include "storage/SQLiteTable3.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <memory>
#include <string>

#include "support/TestSupport.h"

namespace tw {
namespace {

// The message a call raises, or "(no error)".
std::string ErrorOf(const std::function<void()>& call) {
    try {
        call();
    } catch (const Exception& e) {
        return e.Message();
    }
    return "(no error)";
}

class SQLiteTable3Test : public ::testing::Test {
protected:
    // The layer opens existing files only: each test starts from an empty one.
    void SetUp() override { test::WriteFileText(file_, ""); }
    std::unique_ptr<TSQLiteTable> Query(const std::string& sql) {
        TSQLiteDatabase db(file_);
        return db.GetTable(sql);
    }
    void Exec(const std::string& sql) {
        TSQLiteDatabase db(file_);
        db.ExecSQL(sql);
    }

    test::TempDir dir_;
    std::string file_ = dir_.Path() + "test.sqlite";
};

TEST_F(SQLiteTable3Test, EmptyResultIsAtEndAndHasNoColumns) {
    Exec("CREATE TABLE t(a INTEGER)");
    auto t = Query("SELECT a AS total FROM t");
    EXPECT_EQ(t->RowCount(), 0);
    EXPECT_TRUE(t->AtEnd());
    EXPECT_FALSE(t->First());
    EXPECT_FALSE(t->Next());
    EXPECT_EQ(ErrorOf([&] { t->ColumnIndex("total"); }), "Field total Not found. Empty dataset");
    EXPECT_THROW(t->AsText(0), ESQLiteException);
}

struct DeclaredCase {
    const char* declared;
    TSQLiteColumnType type;
};

void PrintTo(const DeclaredCase& c, std::ostream* out) {
    *out << c.declared;
}
class DeclaredTypeRule : public SQLiteTable3Test,
                         public ::testing::WithParamInterface<DeclaredCase> {};

// Only the exact upper-case names count; anything else, even "int", is text.
// (The library reports INT and INTEGER in upper case, so "integer" is an integer column.)
INSTANTIATE_TEST_SUITE_P(
    Types, DeclaredTypeRule,
    ::testing::Values(DeclaredCase{"INTEGER", dtInt}, DeclaredCase{"BOOLEAN", dtInt},
                      DeclaredCase{"NUMERIC", dtNumeric}, DeclaredCase{"FLOAT", dtNumeric},
                      DeclaredCase{"DOUBLE", dtNumeric}, DeclaredCase{"REAL", dtNumeric},
                      DeclaredCase{"BLOB", dtBlob}, DeclaredCase{"int", dtStr},
                      DeclaredCase{"integer", dtInt}, DeclaredCase{"VARCHAR(20)", dtStr},
                      DeclaredCase{"BIGINT", dtStr}),
    [](const auto& tp) { return test::CaseName(tp.param.declared); });

TEST_P(DeclaredTypeRule, DecidesColumnType) {
    Exec(std::string("CREATE TABLE t(v ") + GetParam().declared + ")");
    Exec("INSERT INTO t VALUES(42)");
    auto t = Query("SELECT v FROM t");
    ASSERT_EQ(t->ColumnTypes().size(), 1u);
    EXPECT_EQ(t->ColumnTypes()[0], GetParam().type);
    if (GetParam().type == dtStr) {
        EXPECT_EQ(t->AsText("v"), "42");
        EXPECT_EQ(ErrorOf([&] { t->AsInteger("v"); }), "Not an integer or numeric field");
    }
}

TEST_F(SQLiteTable3Test, UndeclaredColumnsTakeTheFirstRowsValueType) {
    Exec("CREATE TABLE t(n INTEGER, s TEXT)");
    Exec("INSERT INTO t VALUES(5, 'x'), (7, NULL)");
    auto t = Query(
        "SELECT SUM(n) AS total, 1.5 AS f, 'lit' AS s, x'0001' AS b, NULL AS z, "
        "(SELECT SUM(n) FROM t WHERE n > 100) AS none FROM t");
    const std::vector<TSQLiteColumnType> expected{dtInt, dtNumeric, dtStr, dtBlob, dtNull, dtNull};
    EXPECT_EQ(t->ColumnTypes(), expected);
    EXPECT_EQ(t->AsInteger("total"), 12);
    EXPECT_EQ(t->AsText("TOTAL"), "12");
    EXPECT_EQ(t->AsText("f"), "1.5");
    EXPECT_EQ(t->AsInteger("f"), 1);
    // A SUM over no rows is NULL: type 5, read as 0.
    EXPECT_EQ(t->AsInteger("none"), 0);
    EXPECT_EQ(t->AsText("none"), "");
    EXPECT_EQ(t->ColumnNames(), (std::vector<std::string>{"TOTAL", "F", "S", "B", "Z", "NONE"}));
}

TEST_F(SQLiteTable3Test, ColumnWhoseFirstValueIsNullKeepsLaterValuesAsStrings) {
    auto t =
        Query("SELECT NULL AS v UNION ALL SELECT -12.7 UNION ALL SELECT '' UNION ALL SELECT 3");
    ASSERT_EQ(t->RowCount(), 4);
    EXPECT_EQ(t->ColumnTypes()[0], dtNull);
    for (int64_t value : {0, -12, 0, 3}) {
        ASSERT_FALSE(t->AtEnd());
        EXPECT_EQ(t->AsInteger("v"), value);
        EXPECT_EQ(t->AsText("v"), "");
        if (t->CurrentRow() > 0) {  // a NULL cell reads 0; strings are no doubles
            EXPECT_THROW(t->AsDouble(0), ESQLiteException);
        }
        t->Next();
    }
}

TEST_F(SQLiteTable3Test, NullCellsReadAsEmptyOrZero) {
    Exec("CREATE TABLE t(i INTEGER, r REAL, s TEXT, b BLOB)");
    Exec("INSERT INTO t VALUES(NULL, NULL, NULL, NULL)");
    auto t = Query("SELECT * FROM t");
    EXPECT_EQ(t->AsText(0), "0");
    EXPECT_EQ(t->AsDouble(1), 0.0);
    EXPECT_EQ(t->AsText("s"), "");
    EXPECT_EQ(t->AsInteger("s"), 0);  // a NULL cell is 0 whatever the type
    EXPECT_EQ(t->AsBlob(3), nullptr);
    EXPECT_EQ(t->AsBlobText(3), "");
}

TEST_F(SQLiteTable3Test, NumericAndBlobConversions) {
    Exec("CREATE TABLE t(r REAL, b BLOB, s TEXT)");
    Exec("INSERT INTO t VALUES(-2.75, x'610062', 'abc'), (1e300, x'', 'd')");
    auto t = Query("SELECT * FROM t");
    EXPECT_EQ(t->AsInteger(0), -2);  // toward zero
    EXPECT_EQ(t->AsText(0), "-2.75");
    EXPECT_EQ(t->AsText(1), std::string("a\0b", 3));
    ASSERT_NE(t->AsBlob(1), nullptr);
    EXPECT_EQ(t->AsBlob(1)->size(), 3u);
    EXPECT_EQ(ErrorOf([&] { t->AsBlob(2); }), "Not a Blob field");
    EXPECT_EQ(ErrorOf([&] { t->AsBlob(0); }), "Not a Blob field");
    ASSERT_TRUE(t->Next());
    EXPECT_EQ(t->AsInteger(0), INT64_MAX);  // clamped, not undefined
    EXPECT_EQ(t->AsBlob(1), nullptr);       // zero bytes hold nothing
}

TEST_F(SQLiteTable3Test, EveryReadPastTheLastRowRaisesEndOfFile) {
    auto t = Query("SELECT 1 AS i, 'a' AS s, x'01' AS b, 2.5 AS d");
    ASSERT_TRUE(t->First());
    EXPECT_TRUE(t->Next());  // moving onto the end position is allowed
    EXPECT_FALSE(t->Next());
    const std::function<void()> reads[] = {[&] { t->AsText(1); },     [&] { t->AsInteger(0); },
                                           [&] { t->AsDouble(3); },   [&] { t->AsBlob(2); },
                                           [&] { t->AsBlobText(2); }, [&] { t->AsText("i"); }};
    for (const auto& read : reads) {
        EXPECT_EQ(ErrorOf(read), "Table is at End of File");
    }
    EXPECT_TRUE(t->First());
    EXPECT_EQ(t->AsInteger("I"), 1);
}

TEST_F(SQLiteTable3Test, UnknownColumnNameIsReported) {
    auto t = Query("SELECT 1 AS caption");
    EXPECT_EQ(t->ColumnIndex("Caption"), 0);
    EXPECT_EQ(ErrorOf([&] { t->ColumnIndex("name"); }), "Field not found in dataset: name");
    EXPECT_THROW(t->AsText(1), EAssertionFailed);
}

TEST_F(SQLiteTable3Test, ExecSQLRunsOnlyTheFirstStatement) {
    Exec("CREATE TABLE a(x); CREATE TABLE b(x)");
    Exec("CREATE TABLE b(x)");
    Exec("INSERT INTO a VALUES(1)");
    Exec("INSERT INTO b VALUES(1)");
    Exec("DELETE FROM a; DELETE FROM b;");
    EXPECT_EQ(Query("SELECT COUNT(*) FROM a")->AsInteger(0), 0);
    EXPECT_EQ(Query("SELECT COUNT(*) FROM b")->AsInteger(0), 1);
}

TEST_F(SQLiteTable3Test, FailuresCarryTheThreeLineLayerError) {
    Exec("CREATE TABLE t(id INTEGER PRIMARY KEY)");
    Exec("INSERT INTO t VALUES(1)");
    EXPECT_EQ(ErrorOf([&] { Exec("SELECT * FROM missing"); }),
              "Error executing SQL.\rError [1]: SQL error or missing database.\r"
              "\"SELECT * FROM missing\": no such table: missing");
    EXPECT_EQ(ErrorOf([&] { Exec("INSERT INTO t VALUES(1)"); }),
              "Error executing SQL statement.\rError [19]: Abort due to contraint violation.\r"
              "\"INSERT INTO t VALUES(1)\": UNIQUE constraint failed: t.id");
    // A statement that returns rows is not one ExecSQL runs.
    EXPECT_EQ(ErrorOf([&] { Exec("SELECT 1"); }).rfind("Error executing SQL statement", 0), 0u);
    // Nothing to compile and no library error: the text alone.
    EXPECT_EQ(ErrorOf([&] { Exec("  -- only a comment"); }), "Could not prepare SQL statement");
    EXPECT_EQ(ErrorOf([&] { Query("SELECT abs(-9223372036854775807 - 1)"); }),
              "Could not retrieve data.\rError [1]: SQL error or missing database.\r"
              "\"SELECT abs(-9223372036854775807 - 1)\": integer overflow");
    // A missing file is an error, and no empty database takes its place.
    for (const std::string& missing :
         {dir_.Path() + "no/such/folder/x.sqlite", dir_.Path() + "missing.sqlite"}) {
        EXPECT_EQ(ErrorOf([&] { TSQLiteDatabase db(missing); }),
                  "Failed to open database \"" + missing + "\" : unable to open database file");
        EXPECT_FALSE(std::filesystem::exists(missing)) << missing;
    }
}

// The stored queries write string literals in double quotes.
TEST_F(SQLiteTable3Test, DoubleQuotedStringsAreAcceptedOnEveryConnection) {
    Exec("CREATE TABLE r(text, reminder_type)");
    Exec("INSERT INTO r SELECT 'x', \"morning\"");
    auto t = Query("SELECT reminder_type FROM r WHERE reminder_type LIKE \"%\"||'orn'||\"%\"");
    EXPECT_EQ(t->AsText(0), "morning");
}

// A save empties a table and refills it; a failing insert must not leave it empty.
TEST_F(SQLiteTable3Test, TransactionKeepsPreviousRowsWhenAStatementFails) {
    Exec("CREATE TABLE t(v TEXT NOT NULL)");
    Exec("INSERT INTO t VALUES('old')");
    {
        TSQLiteDatabase db(file_);
        TSQLiteTransaction transaction(db);
        db.ExecSQL("DELETE FROM t");
        EXPECT_THROW(db.ExecSQL("INSERT INTO t VALUES(NULL)"), ESQLiteException);
    }
    auto t = Query("SELECT v FROM t");
    ASSERT_EQ(t->RowCount(), 1);
    EXPECT_EQ(t->AsText(0), "old");
}

}  // namespace
}  // namespace tw
