#include "storage/SQLiteTable3.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <filesystem>
#include <memory>
#include <string>

#include "support/TestSupport.h"

namespace tw {
namespace {

class SQLiteTable3Test : public ::testing::Test {
protected:
    std::unique_ptr<TSQLiteTable> Query(const std::string& sql) {
        TSQLiteDatabase db(file_);
        return db.GetTable(sql);
    }
    void Exec(const std::string& sql) {
        TSQLiteDatabase db(file_);
        db.ExecSQL(sql);
    }
    std::string ExecError(const std::string& sql) {
        try {
            Exec(sql);
        } catch (const ESQLiteException& e) {
            return e.Message();
        }
        return "(no error)";
    }
    int64_t Count(const std::string& table) {
        auto t = Query("SELECT COUNT(*) AS n FROM " + table);
        return t->AsInteger("n");
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
    try {
        t->ColumnIndex("total");
        FAIL() << "ColumnIndex found a column in an empty result";
    } catch (const ESQLiteException& e) {
        EXPECT_STREQ(e.what(), "Field total Not found. Empty dataset");
    }
    EXPECT_THROW(t->AsText(0), ESQLiteException);
}

struct DeclaredCase {
    const char* declared;
    TSQLiteColumnType type;
};
class DeclaredTypeRule : public SQLiteTable3Test,
                         public ::testing::WithParamInterface<DeclaredCase> {};

// Only the exact upper-case names count; anything else, even "int", is text.
// (The library itself reports the standard names INT and INTEGER in upper
// case, so a column declared "integer" is an integer column.)
INSTANTIATE_TEST_SUITE_P(
    Types, DeclaredTypeRule,
    ::testing::Values(DeclaredCase{"INTEGER", dtInt}, DeclaredCase{"BOOLEAN", dtInt},
                      DeclaredCase{"NUMERIC", dtNumeric}, DeclaredCase{"FLOAT", dtNumeric},
                      DeclaredCase{"DOUBLE", dtNumeric}, DeclaredCase{"REAL", dtNumeric},
                      DeclaredCase{"BLOB", dtBlob}, DeclaredCase{"int", dtStr},
                      DeclaredCase{"integer", dtInt}, DeclaredCase{"VARCHAR(20)", dtStr},
                      DeclaredCase{"TEXT", dtStr}, DeclaredCase{"BIGINT", dtStr}));

TEST_P(DeclaredTypeRule, DecidesColumnType) {
    Exec(std::string("CREATE TABLE t(v ") + GetParam().declared + ")");
    Exec("INSERT INTO t VALUES(42)");
    auto t = Query("SELECT v FROM t");
    ASSERT_EQ(t->ColumnTypes().size(), 1u);
    EXPECT_EQ(t->ColumnTypes()[0], GetParam().type);
    if (GetParam().type == dtStr) {
        EXPECT_EQ(t->AsText("v"), "42");
        try {
            t->AsInteger("v");
            FAIL() << "a text column read as an integer";
        } catch (const ESQLiteException& e) {
            EXPECT_STREQ(e.what(), "Not an integer or numeric field");
        }
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
    const int64_t expected[] = {0, -12, 0, 3};
    for (int64_t value : expected) {
        ASSERT_FALSE(t->AtEnd());
        EXPECT_EQ(t->AsInteger("v"), value);
        EXPECT_EQ(t->AsText("v"), "");
        if (t->CurrentRow() > 0) {  // a NULL cell reads 0; strings are no doubles
            EXPECT_THROW(t->AsDouble(0), ESQLiteException);
        }
        t->Next();
    }
    EXPECT_TRUE(t->AtEnd());
}

TEST_F(SQLiteTable3Test, NullCellsReadAsEmptyOrZero) {
    Exec("CREATE TABLE t(i INTEGER, r REAL, s TEXT, b BLOB)");
    Exec("INSERT INTO t VALUES(NULL, NULL, NULL, NULL)");
    auto t = Query("SELECT * FROM t");
    EXPECT_EQ(t->AsInteger(0), 0);
    EXPECT_EQ(t->AsText(0), "0");
    EXPECT_EQ(t->AsDouble(1), 0.0);
    EXPECT_EQ(t->AsText("s"), "");
    EXPECT_EQ(t->AsInteger("s"), 0);  // a NULL cell is 0 whatever the type
    EXPECT_EQ(t->AsBlob(3), nullptr);
    EXPECT_EQ(t->AsBlobText(3), "");
    EXPECT_EQ(t->AsBlob(2), nullptr);
}

TEST_F(SQLiteTable3Test, NumericAndBlobConversions) {
    Exec("CREATE TABLE t(r REAL, b BLOB, s TEXT)");
    Exec("INSERT INTO t VALUES(-2.75, x'610062', 'abc'), (1e300, x'', 'd')");
    auto t = Query("SELECT * FROM t");
    EXPECT_EQ(t->AsInteger(0), -2);  // toward zero
    EXPECT_EQ(t->AsText(0), "-2.75");
    EXPECT_EQ(t->AsBlobText(1), std::string("a\0b", 3));
    EXPECT_EQ(t->AsText(1), std::string("a\0b", 3));
    ASSERT_NE(t->AsBlob(1), nullptr);
    EXPECT_EQ(t->AsBlob(1)->size(), 3u);
    for (auto read :
         {+[](TSQLiteTable& x) { x.AsBlob(2); }, +[](TSQLiteTable& x) { x.AsBlob(0); }}) {
        try {
            read(*t);
            FAIL() << "a non-blob column read as a blob";
        } catch (const ESQLiteException& e) {
            EXPECT_STREQ(e.what(), "Not a Blob field");
        }
    }
    ASSERT_TRUE(t->Next());
    EXPECT_EQ(t->AsInteger(0), INT64_MAX);  // clamped, not undefined
    EXPECT_EQ(t->AsBlob(1), nullptr);       // zero bytes hold nothing
}

TEST_F(SQLiteTable3Test, EveryReadPastTheLastRowRaisesEndOfFile) {
    auto t = Query("SELECT 1 AS i, 'a' AS s, x'01' AS b, 2.5 AS d");
    ASSERT_TRUE(t->First());
    EXPECT_TRUE(t->Next());  // moving onto the end position is allowed
    EXPECT_TRUE(t->AtEnd());
    EXPECT_FALSE(t->Next());
    const std::function<void()> reads[] = {[&] { t->AsText(1); },     [&] { t->AsInteger(0); },
                                           [&] { t->AsDouble(3); },   [&] { t->AsBlob(2); },
                                           [&] { t->AsBlobText(2); }, [&] { t->AsText("i"); },
                                           [&] { t->AsInteger("d"); }};
    for (const auto& read : reads) {
        try {
            read();
            ADD_FAILURE() << "read past the end";
        } catch (const ESQLiteException& e) {
            EXPECT_STREQ(e.what(), "Table is at End of File");
        }
    }
    EXPECT_TRUE(t->First());
    EXPECT_EQ(t->AsInteger("I"), 1);
}

TEST_F(SQLiteTable3Test, UnknownColumnNameIsReported) {
    auto t = Query("SELECT 1 AS caption");
    EXPECT_EQ(t->ColumnIndex("Caption"), 0);
    try {
        t->ColumnIndex("name");
        FAIL();
    } catch (const ESQLiteException& e) {
        EXPECT_STREQ(e.what(), "Field not found in dataset: name");
    }
    EXPECT_THROW(t->AsText(1), EAssertionFailed);
}

TEST_F(SQLiteTable3Test, ExecSQLRunsOnlyTheFirstStatement) {
    Exec("CREATE TABLE a(x); CREATE TABLE b(x)");
    Exec("CREATE TABLE b(x)");
    Exec("INSERT INTO a VALUES(1)");
    Exec("INSERT INTO b VALUES(1)");
    Exec("DELETE FROM a; DELETE FROM b;");
    EXPECT_EQ(Count("a"), 0);
    EXPECT_EQ(Count("b"), 1);
}

TEST_F(SQLiteTable3Test, FailuresCarryTheThreeLineLayerError) {
    Exec("CREATE TABLE t(id INTEGER PRIMARY KEY)");
    Exec("INSERT INTO t VALUES(1)");
    EXPECT_EQ(ExecError("SELECT * FROM missing"),
              "Error executing SQL.\rError [1]: SQL error or missing database.\r"
              "\"SELECT * FROM missing\": no such table: missing");
    EXPECT_EQ(ExecError("INSERT INTO t VALUES(1)"),
              "Error executing SQL statement.\rError [19]: Abort due to contraint violation.\r"
              "\"INSERT INTO t VALUES(1)\": UNIQUE constraint failed: t.id");
    // A statement that returns rows is not one ExecSQL runs.
    EXPECT_EQ(ExecError("SELECT 1").rfind("Error executing SQL statement", 0), 0u);
    // Nothing to compile and no library error: the text alone.
    EXPECT_EQ(ExecError("  -- only a comment"), "Could not prepare SQL statement");
    try {
        Query("SELECT abs(-9223372036854775807 - 1)");
        FAIL();
    } catch (const ESQLiteException& e) {
        EXPECT_EQ(e.Message(),
                  "Could not retrieve data.\rError [1]: SQL error or missing database.\r"
                  "\"SELECT abs(-9223372036854775807 - 1)\": integer overflow");
    }
}

TEST_F(SQLiteTable3Test, OpeningFailsInAMissingFolderAndCreatesAMissingFile) {
    const std::string bad = dir_.Path() + "no/such/folder/x.sqlite";
    try {
        TSQLiteDatabase db(bad);
        FAIL();
    } catch (const ESQLiteException& e) {
        EXPECT_EQ(e.Message(),
                  "Failed to open database \"" + bad + "\" : unable to open database file");
    }
    // The library's default: a new empty file, whose first query fails.
    const std::string fresh = dir_.Path() + "fresh.sqlite";
    TSQLiteDatabase db(fresh);
    EXPECT_TRUE(std::filesystem::exists(fresh));
    EXPECT_THROW(db.GetTable("SELECT * FROM settings"), ESQLiteException);
}

TEST_F(SQLiteTable3Test, TextGoesThroughByteForByte) {
    const std::string text = "caf\xC3\xA9 \xE4\xF6 it''s \"q\"\r\nSELECT 1";
    Exec("CREATE TABLE t(s TEXT)");
    Exec("INSERT INTO t VALUES('" + text + "')");
    auto t = Query("SELECT s FROM t");
    EXPECT_EQ(t->AsText("s"), "caf\xC3\xA9 \xE4\xF6 it's \"q\"\r\nSELECT 1");
}

TEST_F(SQLiteTable3Test, DoubleQuotedStringsAreAcceptedOnEveryConnection) {
    TSQLiteDatabase db(file_);
    int dml = -1, ddl = -1;
    sqlite3_db_config(db.Handle(), SQLITE_DBCONFIG_DQS_DML, -1, &dml);
    sqlite3_db_config(db.Handle(), SQLITE_DBCONFIG_DQS_DDL, -1, &ddl);
    EXPECT_EQ(dml, 1);
    EXPECT_EQ(ddl, 1);
    db.ExecSQL("CREATE TABLE r(text, reminder_type)");
    db.ExecSQL("INSERT INTO r SELECT 'x', \"morning\"");
    auto t =
        db.GetTable("SELECT reminder_type FROM r WHERE reminder_type LIKE \"%\"||'orn'||\"%\"");
    EXPECT_EQ(t->AsText(0), "morning");
}

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
    {
        TSQLiteDatabase db(file_);
        TSQLiteTransaction transaction(db);
        db.ExecSQL("DELETE FROM t");
        db.ExecSQL("INSERT INTO t VALUES('new')");
        transaction.Commit();
        EXPECT_FALSE(db.InTransaction());
    }
    EXPECT_EQ(Query("SELECT v FROM t")->AsText(0), "new");
}

}  // namespace
}  // namespace tw
