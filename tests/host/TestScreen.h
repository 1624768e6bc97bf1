#pragma once

// A small screen built from the toolkit, standing in for the screen module in the session tests. It
// uses the same entry points the host calls in the module (Initialize, IniProc, Finalize), keeps its
// globals per application, and has one button per behaviour the host must cope with: a question, an
// error box followed by the silent abort, a crash, list pickers, a search, a slow call.

#include "host/ScreenModule.h"

#include <future>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace hosttest {

// What the test screens did, across sessions, in order.
class Journal {
public:
    void add(std::string entry) {
        std::lock_guard lock(mutex_);
        entries_.push_back(std::move(entry));
    }
    std::vector<std::string> entries() const {
        std::lock_guard lock(mutex_);
        return entries_;
    }
    // The slow button waits for this before it hides its wait indicator.
    std::shared_future<void> release;

private:
    mutable std::mutex mutex_;
    std::vector<std::string> entries_;
};

inline constexpr const char* kTestForm = "frmTeste";
inline constexpr const char* kTestUnit = "Cli_teste";

host::ScreenModule testModule(std::shared_ptr<Journal> journal);

} // namespace hosttest
