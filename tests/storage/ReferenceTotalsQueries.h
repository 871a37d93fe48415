#pragma once

#include <initializer_list>
#include <string>
#include <string_view>

// The totals queries the activity log was first written with: slow on a large
// table (the date filter runs after the joins), but they define the rows and
// values the program's queries must give. Kept character for character.
namespace tw::test {

inline constexpr std::string_view kReferenceApplicationTotalsFormat =
    R"sql(SELECT x.caption as caption, x.active as active, x.name as name, SUM(x.duration) as total_duration FROM (SELECT  al.caption as caption, al.active as active, al.name as name, duration, date_created FROM applications_list al LEFT JOIN applications a ON al.name = a.app_name WHERE a.origin = 1 UNION ALL SELECT  al.caption as caption, al.active as active, al.name as name, 0 as duration, null as date_created FROM applications_list al) X WHERE (x.date_created between '%s' and '%s') or (x.date_created is null) GROUP BY x.name)sql";

inline constexpr std::string_view kReferenceWebSiteTotalsFormat =
    R"sql(SELECT x.caption as caption, x.active as active, x.name as name, SUM(x.duration) as total_duration FROM (SELECT  wl.caption as caption, wl.active as active, wl.name as name, duration, date_created FROM websites_list wl %s UNION ALL SELECT  wl.caption as caption, wl.active as active, wl.name as name, 0 as duration, null as date_created FROM websites_list wl) X WHERE (x.date_created between '%s' and '%s') or  (x.date_created is null) GROUP BY x.name)sql";

inline constexpr std::string_view kReferenceWebSiteJoin =
    R"sql(LEFT JOIN applications a ON a.browser_url  LIKE "%"||wl.name|| "%")sql";

// Fills the "%s" placeholders of `format` in order.
inline std::string FillPlaceholders(std::string_view format,
                                    std::initializer_list<std::string> values) {
    std::string out;
    auto next = values.begin();
    for (size_t i = 0; i < format.size(); ++i) {
        if (format[i] == '%' && i + 1 < format.size() && format[i + 1] == 's' &&
            next != values.end()) {
            out += *next++;
            ++i;
        } else {
            out += format[i];
        }
    }
    return out;
}

inline std::string ReferenceApplicationTotalsSQL(const std::string& from, const std::string& to) {
    return FillPlaceholders(kReferenceApplicationTotalsFormat, {from, to});
}

inline std::string ReferenceWebSiteTotalsSQL(const std::string& from, const std::string& to) {
    return FillPlaceholders(kReferenceWebSiteTotalsFormat,
                            {std::string(kReferenceWebSiteJoin), from, to});
}

}  // namespace tw::test
