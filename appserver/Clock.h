#pragma once

#include <chrono>
#include <cstdio>
#include <ctime>
#include <string>

namespace appserver {

// ISO 8601 UTC time with microseconds, e.g. "2024-05-01T12:34:56.123456Z".
inline std::string
isoTimestamp(std::chrono::system_clock::time_point when = std::chrono::system_clock::now()) {
    const auto micros =
        std::chrono::duration_cast<std::chrono::microseconds>(when.time_since_epoch()).count();
    const std::time_t seconds = static_cast<std::time_t>(micros / 1'000'000);
    std::tm tm{};
    gmtime_r(&seconds, &tm);
    char buf[96];
    std::snprintf(buf, sizeof buf, "%04d-%02d-%02dT%02d:%02d:%02d.%06lldZ", tm.tm_year + 1900, tm.tm_mon + 1,
                  tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec, static_cast<long long>(micros % 1'000'000));
    return buf;
}

} // namespace appserver
