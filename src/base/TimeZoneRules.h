#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

// Offset of local time from universal time, read once from the system's
// zone files, so a later change of /etc/localtime or $TZ moves nothing.
namespace tw {

class TimeZoneRules {
public:
    virtual ~TimeZoneRules() = default;
    // Seconds east of Greenwich in effect at a universal moment (seconds since 1970).
    virtual int64_t UtcOffsetSeconds(int64_t utcSeconds) const = 0;

    // A zone by name ("Europe/Berlin", under /usr/share/zoneinfo) or a TZif
    // file by absolute path; nullptr when it cannot be read.
    static std::unique_ptr<TimeZoneRules> Load(const std::string& nameOrPath);
    // A POSIX rule such as "CET-1CEST,M3.5.0,M10.5.0/3"; nullptr when malformed.
    static std::unique_ptr<TimeZoneRules> FromPosixRule(std::string_view rule);
    // The zone of $TZ (":name", "name", a path or a POSIX rule), else
    // /etc/localtime, else universal time. Never nullptr.
    static std::unique_ptr<TimeZoneRules> LoadSystem();
    static std::unique_ptr<TimeZoneRules> Utc();
};

}  // namespace tw
