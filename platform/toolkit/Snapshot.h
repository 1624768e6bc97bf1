#pragma once

// The state of a screen as JSON, whole or as the changes since a version its reader names.
//
// Whole, a snapshot is:
//   version     an integer that grows whenever the state changes
//   base        null (a whole snapshot) or the version a delta starts from
//   controls    name -> {type, parent, caption, text, enabled, visible, checked (true, false, or null
//               for an undetermined box and for kinds without a check), itemIndex and items (null for
//               kinds without items), color, tabOrder, bounds and hint (when set), index (creation
//               order), tabIndex (place in the focus order, null when it cannot take the focus now),
//               plus what each kind adds: data-bound controls dataSet (and field when bound to one),
//               edits displayText, maxLength, readOnly; grids editing, column, columns, options; page
//               controls activePage and pages; search buttons title and associate}
//   activePage  the active page of the form's first page control (null without one)
//   focus       the focused control's name, or null
//   datasets    name -> {state ("inactive", "browse", "edit", "insert"), recordCount, recNo,
//               changeCount, current (field -> value, null apart from ""; all null without a
//               record), editMasks (field -> mask, non-empty masks only), and rows (every row in order,
//               field -> value) when asked}
//   unit        the unit's variables, or null without a unit
//   and the members the caller adds (the host's dialog, result, wait, ...).
//
// A delta {"version": N, "base": V, ...} holds only what changed since V, merged by the reader key by
// key into the root, `controls`, each control, `datasets`, each dataset, a dataset's `current` and
// `unit`; any other value (arrays, bounds, editMasks, the caller's members) comes whole. Rows, when
// asked, come as an object of the changed rows by 0-based index (as a string); the reader keeps rows
// [0, recordCount). The caller's "always" members come in every delta.
//
// How: record() compares the state with what it recorded last, member by member (each control's
// members, each dataset's members and each field of its current record, each row by its generation,
// the unit's variables, the caller's members), and stamps each member that changed with the new
// version. Any version since the last change of shape (controls or datasets added or removed, a
// member that appears or disappears, another form) is answered from the stamps alone, for any number
// of readers; nothing older is kept, and an older version gets the whole snapshot.
//
// record() reads the form and must run on the thread that owns it; write() may run on any thread,
// and reads rows from the form it is given, so that one must be read on its owner's thread too.

#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace tk {

class Form;
class UnitState;

class Snapshot {
public:
    // A member of the root supplied by the caller, as JSON text.
    struct Member {
        std::string_view name;
        std::string_view json;
    };
    struct Options {
        // The unit's variables shown, in this order; one the unit lacks shows null. Empty: every
        // variable the unit lists, in its order.
        std::vector<std::string> unitMembers;
        // Caller's members written in every delta, changed or not.
        std::vector<std::string> alwaysMembers;
    };

    Snapshot();
    explicit Snapshot(Options options);
    ~Snapshot();
    Snapshot(const Snapshot&) = delete;
    Snapshot& operator=(const Snapshot&) = delete;

    // Records the state; returns the version that stands for it (the same as before when nothing
    // changed). `form` and `unit` may be null (no screen, no unit). The caller's members are given in
    // the same order every time.
    std::uint64_t record(const Form* form, const UnitState* unit, std::span<const Member> members = {});
    // Records one of the caller's members alone, from any thread (the wait indicator while the state
    // is being changed and cannot be read).
    std::uint64_t recordMember(std::string_view name, std::string_view json);

    std::uint64_t version() const;
    // Whether a delta since `since` can be written.
    bool answers(std::uint64_t since) const;

    // Writes the recorded state: whole when `since` is not given or cannot be answered, else the
    // changes since it. With `rows` (the form recorded last), datasets carry their rows.
    void write(std::string& out, std::optional<std::uint64_t> since = std::nullopt,
               const Form* rows = nullptr) const;
    // A delta that claims nothing changed since `since` but the always members and `names`: for a
    // reader who must not move on while the state cannot be read. `since` must be answerable.
    void writeOnly(std::string& out, std::uint64_t since, std::span<const std::string_view> names) const;

    // The whole snapshot of a form at once (tests and tools).
    static std::string of(const Form& form, bool withRows = false);

private:
    struct State;
    mutable std::mutex mutex_;
    std::unique_ptr<State> state_;
};

} // namespace tk
