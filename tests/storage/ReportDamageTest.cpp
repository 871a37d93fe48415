#include <gtest/gtest.h>
#include <sys/wait.h>

#include <algorithm>
#include <cstdlib>
#include <string>

#include "base/Paths.h"
#include "storage/SQLiteTable3.h"
#include "support/TestSupport.h"

// The report program on an activity database with one damaged page: the
// page lies past the rows its opening checks read, so only the totals query
// meets it. The panel logs such a failure and carries on; the report must
// say the data is damaged and end with an error instead of printing zeros.
// Damaged hour sums are another matter: they are only a copy, so the report
// reads the rows instead and prints their totals.
namespace tw {
namespace {

struct ReportRun {
    int status = -1;
    std::string out, err;
};

ReportRun Report(const std::string& folder, const std::string& period) {
    const std::string out = folder + "report.out";
    const std::string err = folder + "report.err";
    const std::string command = std::string("'") + TW_REPORT_PROGRAM + "' --data-folder '" +
                                folder + "' --period '" + period +
                                "' --at '2026-12-07 12:00:00' >'" + out + "' 2>'" + err + "'";
    ReportRun run;
    const int status = std::system(command.c_str());
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    run.out = test::ReadFileText(out);
    run.err = test::ReadFileText(err);
    return run;
}

uint32_t BigEndian32(const std::string& bytes, size_t at) {
    uint32_t value = 0;
    for (size_t i = 0; i < 4; ++i) {
        value = value << 8 | uint8_t(bytes[at + i]);
    }
    return value;
}

struct DamageCase {
    const char* what;
    const char* drop;     // run first
    const char* damaged;  // the b-tree whose last leaf page is zeroed
    char interiorPage;    // its page types
    char leafPage;
    bool fails;  // else the healthy totals
};

void PrintTo(const DamageCase& c, std::ostream* out) {
    *out << c.what;
}

class ReportDamageTest : public ::testing::TestWithParam<DamageCase> {};

TEST_P(ReportDamageTest, ADamagedActivityPageEndsTheReportWithAnError) {
    const DamageCase& c = GetParam();
    test::TempDir dir;
    InitPaths({TW_BUILD_BIN_DIR, "tallyward", dir.Path()});
    CopyDatabaseTemplates();
    const std::string file = GetActivityDBFileName();
    int64_t root = 0;
    int64_t pageSize = 0;
    {
        TSQLiteDatabase db(file);
        for (const char* drop :
             {"DROP TRIGGER applications_hours_insert", "DROP TRIGGER applications_hours_delete",
              "DROP TRIGGER applications_hours_update", "DROP TABLE applications_hours"}) {
            if (*c.drop) {
                db.ExecSQL(drop);
            }
        }
        db.ExecSQL("INSERT INTO websites_list VALUES('example.com', 'Example', 1)");
        // 3000 ticks of the morning, on some dozens of pages.
        db.ExecSQL(
            "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 3000) "
            "INSERT INTO applications SELECT printf('2026-12-07 %02d:%02d:%02d', 5 + i / 3600, "
            "i / 60 % 60, i % 60), '/usr/bin/chrome', 'https://example.com/page' || i, "
            "'Google Chrome', 3, 2 FROM n");
        // rootpage is declared "int", which the layer reads as text.
        root = db.GetTable("SELECT rootpage + 0 FROM sqlite_master WHERE name = '" +
                           std::string(c.damaged) + "'")
                   ->AsInteger(0);
        pageSize = db.GetTable("PRAGMA page_size")->AsInteger(0);
    }
    const ReportRun healthy = Report(dir.Path(), "day");
    ASSERT_EQ(healthy.status, 0) << healthy.err;
    ASSERT_NE(healthy.out.find("Total\t9000\n"), std::string::npos) << healthy.out;

    // Zeros over the table's last leaf page, the right-most child of its root.
    std::string bytes = test::ReadFileText(file);
    const size_t rootAt = size_t(root - 1) * size_t(pageSize);
    ASSERT_EQ(bytes.at(rootAt), c.interiorPage);
    // Down the right-most children to the last leaf.
    size_t leafAt = rootAt;
    while (bytes.at(leafAt) == c.interiorPage) {
        leafAt = size_t(BigEndian32(bytes, leafAt + 8) - 1) * size_t(pageSize);
    }
    ASSERT_EQ(bytes.at(leafAt), c.leafPage);
    std::fill_n(bytes.begin() + ptrdiff_t(leafAt), pageSize, '\0');
    test::WriteFileText(file, bytes);

    for (const char* period : {"day", "Last 7 Days"}) {
        const ReportRun damaged = Report(dir.Path(), period);
        if (!c.fails) {
            EXPECT_EQ(damaged.status, 0) << period << ": " << damaged.err;
            EXPECT_EQ(damaged.out, healthy.out) << period;
            continue;
        }
        EXPECT_EQ(damaged.status, 1) << period;
        EXPECT_EQ(damaged.out, "") << period;
        EXPECT_EQ(damaged.err.rfind("tallyward-report: damaged usage data: " + file + ": ", 0), 0u)
            << period << ": " << damaged.err;
        EXPECT_EQ(std::count(damaged.err.begin(), damaged.err.end(), '\n'), 1) << damaged.err;
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, ReportDamageTest,
                         ::testing::Values(DamageCase{"rows without hour sums", "drop",
                                                      "applications", '\x05', '\x0d', true},
                                           DamageCase{"hour sums", "", "applications_hours_key",
                                                      '\x02', '\x0a', false}),
                         [](const ::testing::TestParamInfo<DamageCase>& param) {
                             return test::CaseName(param.param.what);
                         });

}  // namespace
}  // namespace tw
