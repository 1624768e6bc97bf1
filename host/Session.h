#pragma once

// One browser session: one host client with its own tk::Application and its own thread, which is the
// client's event loop. HTTP threads never touch the screen: they hand events to the session thread and
// wait until the handler has finished or has stopped on a dialog. A handler waiting for the user's
// answer stays suspended on the session thread; the next "answer" event resumes it.
//
// Everything a handler throws ends that event only ("failed" or "aborted"); the session goes on. A
// session whose handler waits on a dialog can still be closed: the dialog is dismissed (No / Cancel),
// the handler runs to its end, then the screen is closed and the unit finalized.

#include "Event.h"
#include "SessionScreen.h"
#include "toolkit/Snapshot.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <nlohmann/json.hpp>
#include <optional>
#include <pthread.h>
#include <string>
#include <utility>
#include <vector>

namespace tk {
class Application;
}

namespace host {

// A finished request: HTTP status and the JSON body, already serialized, and any headers of its own
// (a cookie, Retry-After).
struct Reply {
    Reply() = default;
    Reply(int status_, std::string body_) : status(status_), body(std::move(body_)) {}

    int status = 200;
    std::string body;
    std::vector<std::pair<std::string, std::string>> headers;
};

// {"error": message, "code": code}: the message is Portuguese, the code stable (docs/api.md).
Reply errorReply(int status, const std::string& code, const std::string& message);
// The same with the code every answer of that status carries when nothing more precise applies.
Reply errorReply(int status, const std::string& message);

// How a snapshot is asked for: with every dataset's rows, and as the changes since a version.
struct ReadOptions {
    bool rows = false;
    std::optional<std::uint64_t> since;
};

struct SessionOptions {
    std::size_t stackBytes = 512 * 1024; // the session thread's stack
};

using ScreenFactory = std::function<std::unique_ptr<SessionScreen>()>;

class Session {
public:
    // Starts the session thread, which creates the screen through `factory` and runs its start().
    Session(std::string id, ScreenFactory factory, SessionOptions options = {});
    ~Session(); // closes if needed and joins the thread
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    const std::string& id() const { return id_; }

    // Runs one event and returns the snapshot after it (or 404/409 with {"error", "code"} when the act
    // was not accepted). Blocks until the handler finished or waits on a dialog. Events of one session
    // are handled one at a time, in arrival order.
    Reply event(const Event& event, const ReadOptions& options);
    // The snapshot. While an event is running the screen cannot be read: the answer is the state after
    // the previous event with the wait indicator as it is now (asked with `since`, a delta that moves
    // the reader nowhere but shows the indicator), so a renderer polling during a slow call sees it.
    // Rows are not read then.
    Reply snapshot(const ReadOptions& options);
    // Asks the session to end (idempotent) and waits up to `grace` for the thread to finish its clean-up.
    // Returns whether it finished in time; a thread busy in a long call ends by itself afterwards.
    bool close(std::chrono::milliseconds grace);
    bool ended() const;
    void join();

    std::chrono::steady_clock::time_point lastActivity() const;

private:
    enum class Phase { Starting, Idle, Running, InDialog, Ended };
    enum class Outcome { Done, Waiting, Aborted, Failed };
    struct Completion {
        bool ready = false;
        Reply reply;
    };
    struct SnapshotRequest {
        ReadOptions options;
        Completion* completion = nullptr;
    };
    class Dialogs;
    friend class Dialogs;

    static void* threadMain(void* self);
    void run();
    void runEvent(tk::Application& app, const Event& event);
    // Serves the snapshot requests queued so far; called with lock held, releases it while composing.
    void serveSnapshots(std::unique_lock<std::mutex>& lock, tk::Application& app);
    // Records the session's state (on its thread) and writes it as asked.
    std::string compose(tk::Application& app, const ReadOptions& options);
    void finish(Completion* completion, Reply reply);
    void touch();

    // Called on the session thread by the dialog port: publishes the dialog, waits for the answer (or
    // for the session to close, which dismisses it) and returns the answer event.
    std::optional<Event> awaitAnswer(tk::Application& app, nlohmann::json dialog);
    std::optional<Reply> checkAnswer(const Event& answer) const; // an error reply when unfit

    std::string id_;
    ScreenFactory factory_;
    std::unique_ptr<SessionScreen> screen_;
    std::unique_ptr<Dialogs> dialogs_;

    pthread_t thread_{};
    bool threadStarted_ = false;
    bool joined_ = false;
    std::mutex joinMutex_;

    std::mutex requestMutex_; // one event at a time per session
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    Phase phase_ = Phase::Starting;
    bool closing_ = false;
    // Event handed to the session thread, and where its reply goes.
    std::optional<Event> pendingEvent_;
    ReadOptions pendingOptions_;
    Completion* current_ = nullptr;
    std::deque<SnapshotRequest> snapshotRequests_;
    // The dialog the handler waits on, and the answer once given.
    std::optional<nlohmann::json> dialog_;
    std::optional<Event> answer_;
    // What the last event ended with.
    Outcome outcome_ = Outcome::Done;
    std::string error_;
    // Every change of the session's state is stamped here; reads while an event runs are answered from
    // what it recorded after the previous one.
    tk::Snapshot snapshot_;
    std::string liveWait_ = "null"; // the wait indicator as JSON, as it is now
    std::string startError_;

    std::atomic<std::chrono::steady_clock::rep> lastActivity_;
};

} // namespace host
