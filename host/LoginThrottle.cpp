#include "LoginThrottle.h"

#include <algorithm>
#include <vector>

namespace host {

using std::chrono::milliseconds;

namespace {

milliseconds left(LoginThrottle::Clock::time_point until, LoginThrottle::Clock::time_point now) {
    return until > now ? std::chrono::ceil<milliseconds>(until - now) : milliseconds(0);
}

} // namespace

milliseconds LoginThrottle::begin(const std::string& key, Clock::time_point now) {
    std::lock_guard lock(mutex_);
    auto it = entries_.find(key);
    if (it != entries_.end() && now - it->second.last > options_.forgetAfter) {
        entries_.erase(it);
        it = entries_.end();
    }
    if (it == entries_.end()) {
        if (entries_.size() >= options_.maxKeys) forgetOld(now);
        it = entries_.emplace(key, Entry{}).first;
    }
    Entry& entry = it->second;
    if (const auto wait = left(entry.blockedUntil, now); wait.count() > 0) return wait;
    ++entry.failures;
    entry.last = now;
    if (entry.failures >= options_.freeFailures) {
        // 1, 2, 4, ... times the first pause; the shift stays small enough never to overflow.
        const int doublings = std::min(entry.failures - options_.freeFailures, 16);
        const milliseconds pause = std::min<milliseconds>(options_.firstPause * (1LL << doublings), options_.maxPause);
        entry.blockedUntil = now + pause;
    }
    return milliseconds(0);
}

void LoginThrottle::succeeded(const std::string& key) {
    std::lock_guard lock(mutex_);
    entries_.erase(key);
}

milliseconds LoginThrottle::pause(const std::string& key, Clock::time_point now) const {
    std::lock_guard lock(mutex_);
    const auto it = entries_.find(key);
    return it == entries_.end() ? milliseconds(0) : left(it->second.blockedUntil, now);
}

std::size_t LoginThrottle::size() const {
    std::lock_guard lock(mutex_);
    return entries_.size();
}

void LoginThrottle::forgetOld(Clock::time_point now) {
    std::erase_if(entries_, [&](const auto& e) { return now - e.second.last > options_.forgetAfter; });
    // Still full (a flood of names or addresses): the quietest half goes.
    if (entries_.size() >= options_.maxKeys) {
        std::vector<Clock::time_point> times;
        times.reserve(entries_.size());
        for (const auto& [key, entry] : entries_)
            times.push_back(entry.last);
        auto middle = times.begin() + static_cast<std::ptrdiff_t>(times.size() / 2);
        std::nth_element(times.begin(), middle, times.end());
        const auto cut = *middle;
        std::erase_if(entries_, [&](const auto& e) { return e.second.last <= cut; });
    }
}

} // namespace host
