#pragma once

// Pauses between failed logins, so that guessing passwords through the host is slow whatever the
// application server allows. Failures are counted per key (the host counts per user name and per client
// address); past `freeFailures` in a row, each further attempt must wait a pause that doubles with
// every failure, up to `maxPause`. A success forgets the key; so does a quiet `forgetAfter`.
//
// An attempt counts as a failure from the moment it starts (a success then forgets it): attempts
// sent at once cannot slip through together before the first of them has failed.

#include <chrono>
#include <cstddef>
#include <mutex>
#include <string>
#include <unordered_map>

namespace host {

struct ThrottleOptions {
    int freeFailures = 3;
    std::chrono::milliseconds firstPause{2000};
    std::chrono::milliseconds maxPause{30000};
    std::chrono::milliseconds forgetAfter{15 * 60 * 1000};
    std::size_t maxKeys = 10000; // the oldest are forgotten past this
};

class LoginThrottle {
public:
    using Clock = std::chrono::steady_clock;

    explicit LoginThrottle(ThrottleOptions options = {}) : options_(options) {}

    // How long the key must still wait (zero: it may try now). When it may, the attempt is counted
    // as a failure until succeeded() says otherwise.
    std::chrono::milliseconds begin(const std::string& key, Clock::time_point now = Clock::now());
    void succeeded(const std::string& key);
    // How long the key must wait, without counting anything.
    std::chrono::milliseconds pause(const std::string& key, Clock::time_point now = Clock::now()) const;
    std::size_t size() const;

private:
    struct Entry {
        int failures = 0;
        Clock::time_point last;
        Clock::time_point blockedUntil;
    };
    void forgetOld(Clock::time_point now);

    const ThrottleOptions options_;
    mutable std::mutex mutex_;
    std::unordered_map<std::string, Entry> entries_;
};

} // namespace host
