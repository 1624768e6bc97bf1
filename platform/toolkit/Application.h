#pragma once

// The host client as the screen sees it: one per browser session (or per test), holding the forms it
// created, the dialog port, the wait indicator, the cache notifications and the state of each loaded
// unit. Everything a screen does runs on its application's thread; Application::current() is that
// thread's application, installed by the host before it calls into a module.

#include <any>
#include <exception>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace tk {

// The library's silent abort: ends the current operation without a message. The event loop swallows
// it; handlers that must restore something catch it, act, and rethrow.
class SilentAbort : public std::exception {
public:
    const char* what() const noexcept override { return "Operação abortada"; }
};

// Rows offered to the user by a list picker or a record search.
struct DialogRows {
    std::vector<std::string> fields;            // field names, in column order
    std::vector<std::string> labels;            // column titles
    std::vector<std::vector<std::string>> rows; // display texts
    std::vector<std::string> keys;              // key value of each row (pickers)
};

// Answers of a modal question, as the classic toolkit numbers them.
inline constexpr int kAnswerOk = 1;
inline constexpr int kAnswerCancel = 2;
inline constexpr int kAnswerYes = 6;
inline constexpr int kAnswerNo = 7;

// A record another user changed or removed since this client read it, shown field by field so the
// user can choose between the two versions.
struct ConflictField {
    std::string field;  // the field's name
    std::string label;  // as the screen names it
    std::string mine;   // display text of this client's value
    std::string theirs; // display text of the stored value ("" when the record is gone)
};
struct ConflictDialog {
    std::string key;                   // catalogue key of the text
    std::string text;                  // what happened, for the user
    std::vector<ConflictField> fields; // the fields whose values differ
    std::string changedBy;             // who changed (or removed) it last; "" when not known
    std::string changedAt;             // when, as the user reads it; "" when not known
    bool removed = false;              // the other user removed the record
};
enum class ConflictChoice {
    Theirs,    // keep the stored version: this client's refused change is dropped
    Mine,      // apply this client's values again onto the stored version
    Dismissed, // no answer (the session is closing): treated as Theirs, nothing is overwritten
};

// Every dialog a screen opens goes through this port. The host implements it by suspending the
// handler until the user answers; tests implement it with scripted answers.
class DialogPort {
public:
    virtual ~DialogPort() = default;
    // A yes/no question; returns kAnswerYes or kAnswerNo (or kAnswerCancel when dismissed).
    // `defaultAnswer` (kAnswerYes or kAnswerNo) is what the question gives when the user just
    // confirms it (Enter): questions whose Yes throws work away default to No.
    virtual int confirm(const std::string& key, const std::string& text, int defaultAnswer) = 0;
    // The error box; returns when the user acknowledges it.
    virtual void error(const std::string& text) = 0;
    // Several rows picked from a list; `selected` holds the keys picked so far.
    // nullopt when the user cancels.
    virtual std::optional<std::vector<std::string>> pickMany(const std::string& title,
                                                             const std::string& emptyText,
                                                             const DialogRows& rows,
                                                             const std::vector<std::string>& selected) = 0;
    // One row picked from a list (search buttons); the 0-based row index, nullopt when cancelled.
    virtual std::optional<int> pickOne(const std::string& title, const std::string& emptyText,
                                       const DialogRows& rows) = 0;
    // The record search: the 0-based row the user found, nullopt when cancelled.
    virtual std::optional<int> search(const std::string& title, const DialogRows& rows) = 0;
    // Both versions of a record in conflict. A port that cannot show the table falls back to a yes/no
    // question (Yes keeps theirs, the default), so no port is left without an answer.
    virtual ConflictChoice conflict(const ConflictDialog& dialog);
};

struct WaitIndicator {
    int kind = 0;
    std::string text;
};

class MemberSink;

// A per-client slot for a unit's globals. The module defines the type; the snapshot reads the
// variables a reviewer checks through describe() without knowing it.
class UnitState {
public:
    virtual ~UnitState() = default;
    // Writes the unit's variables, each by its name.
    virtual void describe(MemberSink& out) const = 0;
};

class Form;

class Application {
public:
    Application();
    ~Application();
    Application(const Application&) = delete;
    Application& operator=(const Application&) = delete;

    // The application of the calling thread; throws std::logic_error when none is installed.
    static Application& current();
    static Application* currentOrNull();
    // Installs `app` as the calling thread's application for the scope's lifetime.
    class Scope {
    public:
        explicit Scope(Application& app);
        ~Scope();
        Scope(const Scope&) = delete;
        Scope& operator=(const Scope&) = delete;

    private:
        Application* previous_;
    };

    void setDialogs(DialogPort* port) { dialogs_ = port; }
    DialogPort& dialogs();

    // Messages shown to the user (questions, error boxes), in order; the host clears it per event.
    std::vector<std::string>& shown() { return shown_; }

    // Wait indicator (the library's wait animation). Nested shows keep the innermost text; each hide
    // undoes one show, and a hide with nothing shown throws std::logic_error (an unpaired hide would
    // take down an indicator some other caller still shows).
    void showWait(int kind, std::string text);
    void hideWait();
    const std::optional<WaitIndicator>& wait() const { return wait_; }
    // Told of every change of the wait indicator, so a host can show it while a call still runs.
    void setWaitListener(std::function<void(const std::optional<WaitIndicator>&)> listener) {
        waitListener_ = std::move(listener);
    }

    // Tables whose cached copy the host must treat as stale, in the order of the notifications.
    void notifyCacheStale(const std::vector<std::string>& tables);
    const std::vector<std::string>& cacheNotified() const { return cacheNotified_; }

    // Screen cursor: 0 default, -11 hourglass (the classic numbering).
    void setCursor(int cursor) { cursor_ = cursor; }
    int cursor() const { return cursor_; }

    // Forms owned by the application, in creation order; the first is the main form.
    Form* mainForm() const { return mainForm_; }
    void setMainForm(Form* form) { mainForm_ = form; }
    void adoptForm(std::unique_ptr<Form> form);
    void releaseForm(Form* form); // frees a closed form
    // A form closed with the Free action is released only after the event that closed it has
    // finished, since its handlers may still be running; the host calls collectReleased() after each
    // event. Asking twice for the same form releases it once.
    void releaseLater(Form* form);
    void collectReleased();
    const std::vector<Form*>& pendingRelease() const { return pendingRelease_; }
    const std::vector<std::unique_ptr<Form>>& forms() const { return forms_; }

    // Per-client unit globals, by unit name.
    template <class T> T& unit(const std::string& name) {
        auto& slot = units_[name];
        if (!slot) slot = std::make_unique<T>();
        return static_cast<T&>(*slot);
    }
    bool hasUnit(const std::string& name) const { return units_.count(name) != 0; }
    void dropUnit(const std::string& name) { units_.erase(name); }
    const std::map<std::string, std::unique_ptr<UnitState>>& units() const { return units_; }

    // What this client's connections present to the application server, installed by the host for the
    // user logged into this client (Morvala::setClientCredential keeps it here so that it lives and dies
    // with the client). Opaque to the toolkit, and never part of a snapshot.
    std::any& serverCredential() { return serverCredential_; }

private:
    DialogPort* dialogs_ = nullptr;
    std::vector<std::string> shown_;
    std::optional<WaitIndicator> wait_;
    std::vector<WaitIndicator> waitStack_;
    std::function<void(const std::optional<WaitIndicator>&)> waitListener_;
    std::vector<std::string> cacheNotified_;
    int cursor_ = 0;
    Form* mainForm_ = nullptr;
    std::vector<std::unique_ptr<Form>> forms_;
    std::vector<Form*> pendingRelease_;
    std::map<std::string, std::unique_ptr<UnitState>> units_;
    std::any serverCredential_;
};

} // namespace tk
