#pragma once

#include <mutex>
#include <string>

namespace appserver {

// The --trace file: one JSON object per line and per call, appended; shared by every connection.
class Trace {
public:
    explicit Trace(const std::string& path); // throws std::runtime_error naming the file
    ~Trace();
    Trace(const Trace&) = delete;
    Trace& operator=(const Trace&) = delete;

    void write(std::string line);

private:
    int fd_ = -1;
    std::mutex mutex_;
};

} // namespace appserver
