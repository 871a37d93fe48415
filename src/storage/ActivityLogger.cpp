#include "storage/ActivityLogger.h"

#include <algorithm>
#include <limits>
#include <vector>

#include "base/AppClock.h"
#include "base/Exceptions.h"
#include "base/Paths.h"
#include "base/Strings.h"
#include "base/WriteLog.h"
#include "storage/HourSums.h"
#include "storage/SQLiteTable3.h"
#include "storage/TotalsQueries.h"

namespace tw {

namespace {

constexpr std::string_view kUnit = "ActivityLogger";

// Totals are whole seconds in 32 bits; a huge period saturates instead of wrapping.
int32_t Saturate(int64_t value) noexcept {
    return int32_t(std::clamp<int64_t>(value, std::numeric_limits<int32_t>::min(),
                                       std::numeric_limits<int32_t>::max()));
}

}  // namespace

TOnlineTimeApplicationLogger::TOnlineTimeApplicationLogger() {
    total_ = 0;
    ReloadDay(true);
}

TMonitoredList& TOnlineTimeApplicationLogger::PeriodItems() {
    if (!periodItems_) {
        periodItems_ = std::make_unique<TMonitoredList>();
    }
    return *periodItems_;
}

TMonitoredList& TOnlineTimeApplicationLogger::DayItems() {
    if (!dayItems_) {
        dayItems_ = std::make_unique<TMonitoredList>();
    }
    return *dayItems_;
}

void TOnlineTimeApplicationLogger::AddToTotal(int64_t seconds) noexcept {
    total_ = Saturate(int64_t(total_) + seconds);
}

void TOnlineTimeApplicationLogger::Log(const TActivitySource* application, int32_t seconds) {
    Require(application != nullptr, kUnit);
    const std::string moment = FormatDateTimeText(AppNow());
    const std::string& appName = application->AppName();
    const std::string& browserUrl = application->BrowserUrl();
    const char* typeName = application->GetAppTypeName();

    uint8_t matchKind = 0;
    const int index = DayItems().Match(appName, browserUrl, matchKind);
    if (index < 0) {
        return;
    }
    TMonitoredItem* item = DayItems().Items(index);
    item->Duration = Saturate(int64_t(item->Duration) + seconds);

    const std::string sql =
        "INSERT INTO applications(date_created, app_name, browser_url, app_type, duration, "
        "origin) VALUES(" +
        SQLiteQuotedStr(moment) + ", " + SQLiteQuotedStr(appName) + ", " +
        SQLiteQuotedStr(browserUrl) + ", " + SQLiteQuotedStr(typeName ? typeName : "") + ", " +
        IntToStr(seconds) + ", " + IntToStr(matchKind) + ")";
    try {
        TSQLiteDatabase db(GetActivityDBFileName());
        db.ExecSQL(sql);
    } catch (const std::exception& e) {
        LogException(e, "; TOnlineTimeApplicationLogger.Log: ");
        return;
    }
    AddToTotal(seconds);
}

void TOnlineTimeApplicationLogger::LoadRange(TMonitoredList& list, bool addToTotal, TDateTime from,
                                             TDateTime to) {
    const std::string fromText = FormatDateTimeText(from);
    const std::string toText = FormatDateTimeText(to);
    loadError_.clear();
    // The hour sums when they are there as created; otherwise the rows, and
    // a database that cannot be read fails in the totals queries below.
    bool sums = false;
    try {
        TSQLiteDatabase db(GetActivityDBFileName());
        sums = UseHourSums(db);
    } catch (const std::exception&) {
    }
    MonitoredItemsLoad(
        &list, sums ? WebSiteHourTotalsSQL(fromText, toText) : WebSiteTotalsSQL(fromText, toText),
        addToTotal, mitWebSite);
    MonitoredItemsLoad(
        &list,
        sums ? ApplicationHourTotalsSQL(fromText, toText) : ApplicationTotalsSQL(fromText, toText),
        addToTotal, mitApplication);
}

void TOnlineTimeApplicationLogger::ReloadDay(bool addToTotal) {
    DayItems().Clear();
    const TDateTime to = AppNow();
    TDateTime from = AppDayStart();
    // Before 04:00 the accounting day began at 04:00 yesterday.
    if (from > to) {
        from -= 1;
    }
    LoadRange(DayItems(), addToTotal, from, to);
}

void TOnlineTimeApplicationLogger::LoadPeriod(bool addToTotal, TDateTime toDateTime,
                                              TDateTime fromDateTime) {
    PeriodItems().Clear();
    LoadRange(PeriodItems(), addToTotal, fromDateTime, toDateTime);
}

void TOnlineTimeApplicationLogger::MonitoredItemsLoad(TMonitoredList* list, const std::string& sql,
                                                      bool addToTotal,
                                                      TMonitoredItemType itemType) {
    Require(list != nullptr, kUnit);
    // Rows are read completely before anything is added, so a failure
    // anywhere leaves the list and Total as they were.
    std::vector<std::unique_ptr<TMonitoredItem>> items;
    int64_t sum = 0;
    try {
        std::unique_ptr<TSQLiteTable> table;
        {
            TSQLiteDatabase db(GetActivityDBFileName());
            table = db.GetTable(sql);
        }
        items.reserve(size_t(table->RowCount()));
        for (table->First(); !table->AtEnd(); table->Next()) {
            auto item = std::make_unique<TMonitoredItem>();
            const int32_t duration = Saturate(table->AsInteger("total_duration"));
            item->Caption = table->AsText("caption");
            item->Name = table->AsText("name");
            item->Duration = duration;
            item->ItemType = itemType;
            item->Active = table->AsInteger("active") == 1;
            sum += duration;
            items.push_back(std::move(item));
        }
    } catch (const std::exception& e) {
        LogException(e, "; TOnlineTimeApplicationLogger.MonitoredItemsLoad: ");
        loadError_ = e.what();
        return;
    }
    list->SetCapacity(list->Count() + int(items.size()));
    for (auto& item : items) {
        const std::string caption = item->Caption;
        list->Add(caption, std::move(item));
    }
    if (addToTotal) {
        AddToTotal(sum);
    }
}

void TOnlineTimeApplicationLogger::ApplyDeleteAction(const TMonitoredItem* item, uint8_t action) {
    Require(item != nullptr, kUnit);
    if (action == 0) {
        return;
    }
    const int index = DayItems().IndexOfItem(item);
    if (index < 0) {
        return;
    }
    if (action == 2) {
        DayItems().Delete(index);
    } else if (action == 1) {
        DayItems().Items(index)->Active = false;
    }
}

}  // namespace tw
