#include "toolkit/Snapshot.h"

#include "toolkit/Application.h"
#include "toolkit/Control.h"
#include "toolkit/DataSet.h"
#include "toolkit/Form.h"
#include "toolkit/JsonText.h"
#include "toolkit/MemberSink.h"

#include <algorithm>
#include <unordered_map>

namespace tk {

namespace {

enum class Kind : std::uint8_t { Unset, Null, False, True, Int, Text, Json, Box };

// One member as last recorded, and the version of its last change.
struct Leaf {
    std::string name;
    // Where the name was given last time: members name themselves with literals and the fields'
    // own names, so the same member comes with the same characters at the same address and is
    // recognised without comparing them.
    std::string_view given;
    Kind kind = Kind::Unset;
    long long number = 0;
    Bounds box;
    std::string text; // Text: the raw value; Json: the JSON text
    std::uint64_t stamp = 0;
};

// An object of members.
struct Node {
    std::vector<Leaf> leaves;
    std::uint64_t newest = 0; // the highest stamp of its leaves

    const Leaf* find(std::string_view name) const {
        for (const Leaf& l : leaves)
            if (l.name == name) return &l;
        return nullptr;
    }
};

void writeValue(std::string& out, const Leaf& l) {
    switch (l.kind) {
    case Kind::Unset:
    case Kind::Null:
        out += "null";
        break;
    case Kind::False:
        out += "false";
        break;
    case Kind::True:
        out += "true";
        break;
    case Kind::Int:
        json::appendInt(out, l.number);
        break;
    case Kind::Text:
        json::appendString(out, l.text);
        break;
    case Kind::Json:
        out += l.text;
        break;
    case Kind::Box:
        out += "{\"left\":";
        json::appendInt(out, l.box.left);
        out += ",\"top\":";
        json::appendInt(out, l.box.top);
        out += ",\"width\":";
        json::appendInt(out, l.box.width);
        out += ",\"height\":";
        json::appendInt(out, l.box.height);
        out += '}';
        break;
    }
}

void writeMember(std::string& out, bool& first, std::string_view name) {
    if (!first) out += ',';
    first = false;
    json::appendString(out, name);
    out += ':';
}

// The members of a node newer than `since` (all of them for a whole snapshot, since = 0).
void writeLeaves(std::string& out, bool& first, const Node& node, std::uint64_t since) {
    for (const Leaf& l : node.leaves) {
        if (l.stamp <= since) continue;
        writeMember(out, first, l.name);
        writeValue(out, l);
    }
}

void writeObject(std::string& out, const Node& node, std::uint64_t since) {
    out += '{';
    bool first = true;
    writeLeaves(out, first, node, since);
    out += '}';
}

void writeTexts(std::string& out, const std::vector<std::string>& values) {
    out += '[';
    for (std::size_t i = 0; i < values.size(); ++i) {
        if (i) out += ',';
        json::appendString(out, values[i]);
    }
    out += ']';
}

// Records members into a node in the order they come, stamping those that differ from what the node
// holds. A member that is not where the node had it changes the node's shape.
class Recorder final : public MemberSink {
public:
    Recorder(Node& node, std::uint64_t version, bool& changed, bool& reshaped)
        : node_(node), version_(version), changed_(changed), reshaped_(reshaped) {}

    void null(std::string_view name) override { set(slot(name), Kind::Null); }
    void boolean(std::string_view name, bool value) override {
        set(slot(name), value ? Kind::True : Kind::False);
    }
    void integer(std::string_view name, long long value) override {
        Leaf& l = slot(name);
        if (l.kind == Kind::Int && l.number == value) return;
        l.kind = Kind::Int;
        l.number = value;
        stamp(l);
    }
    void text(std::string_view name, std::string_view value) override {
        Leaf& l = slot(name);
        if (l.kind == Kind::Text && l.text == value) return;
        l.kind = Kind::Text;
        l.text.assign(value);
        stamp(l);
    }
    void texts(std::string_view name, const std::vector<std::string>& values) override {
        scratch_.clear();
        writeTexts(scratch_, values);
        json(name, scratch_);
    }
    void bounds(std::string_view name, const Bounds& value) override {
        Leaf& l = slot(name);
        if (l.kind == Kind::Box && l.box == value) return;
        l.kind = Kind::Box;
        l.box = value;
        stamp(l);
    }
    void json(std::string_view name, std::string_view jsonText) override {
        Leaf& l = slot(name);
        if (l.kind == Kind::Json && l.text == jsonText) return;
        l.kind = Kind::Json;
        l.text.assign(jsonText);
        stamp(l);
    }
    // An optional text: the value, or null.
    void maybe(std::string_view name, const std::optional<std::string_view>& value) {
        if (value)
            text(name, *value);
        else
            null(name);
    }

    // The next `count` members are the node's as recorded (members that never change, recorded once).
    void keep(std::size_t count) { at_ = std::min(at_ + count, node_.leaves.size()); }

    // Members the node had and that did not come again change its shape.
    void finish() {
        if (at_ < node_.leaves.size()) {
            node_.leaves.resize(at_);
            reshaped_ = true;
            changed_ = true;
        }
    }

private:
    Leaf& slot(std::string_view name) {
        if (at_ < node_.leaves.size()) {
            Leaf& l = node_.leaves[at_];
            if ((l.given.data() == name.data() && l.given.size() == name.size()) || l.name == name) {
                l.given = name;
                ++at_;
                return l;
            }
            node_.leaves.resize(at_);
        }
        // A new node takes its members as they come; an old one that gains one changes its shape.
        if (node_.newest != 0) reshaped_ = true;
        Leaf fresh;
        fresh.name.assign(name);
        fresh.given = name;
        node_.leaves.push_back(std::move(fresh));
        ++at_;
        return node_.leaves.back();
    }
    void set(Leaf& l, Kind kind) {
        if (l.kind == kind) return;
        l.kind = kind;
        stamp(l);
    }
    void stamp(Leaf& l) {
        l.stamp = version_;
        node_.newest = version_;
        changed_ = true;
    }

    Node& node_;
    std::uint64_t version_;
    bool& changed_;
    bool& reshaped_;
    std::size_t at_ = 0;
    std::string scratch_;
};

// Takes the unit's variables in any order and gives them on in the order the snapshot shows them.
class UnitFilter final : public MemberSink {
public:
    explicit UnitFilter(const std::vector<std::string>& names) : names_(names), values_(names.size()) {}

    void null(std::string_view name) override { keep(name, {Kind::Null, 0, {}}); }
    void boolean(std::string_view name, bool value) override {
        keep(name, {value ? Kind::True : Kind::False, 0, {}});
    }
    void integer(std::string_view name, long long value) override { keep(name, {Kind::Int, value, {}}); }
    void text(std::string_view name, std::string_view value) override {
        keep(name, {Kind::Text, 0, std::string(value)});
    }
    void texts(std::string_view name, const std::vector<std::string>& values) override {
        std::string out;
        writeTexts(out, values);
        keep(name, {Kind::Json, 0, std::move(out)});
    }
    void bounds(std::string_view name, const Bounds& value) override {
        std::string out;
        Leaf l;
        l.kind = Kind::Box;
        l.box = value;
        writeValue(out, l);
        keep(name, {Kind::Json, 0, std::move(out)});
    }
    void json(std::string_view name, std::string_view jsonText) override {
        keep(name, {Kind::Json, 0, std::string(jsonText)});
    }

    void replay(Recorder& to) const {
        for (std::size_t i = 0; i < names_.size(); ++i) {
            const Value& v = values_[i];
            switch (v.kind) {
            case Kind::True:
            case Kind::False:
                to.boolean(names_[i], v.kind == Kind::True);
                break;
            case Kind::Int:
                to.integer(names_[i], v.number);
                break;
            case Kind::Text:
                to.text(names_[i], v.text);
                break;
            case Kind::Json:
                to.json(names_[i], v.text);
                break;
            default:
                to.null(names_[i]);
            }
        }
    }

private:
    struct Value {
        Kind kind = Kind::Null;
        long long number = 0;
        std::string text;
    };
    void keep(std::string_view name, Value value) {
        for (std::size_t i = 0; i < names_.size(); ++i)
            if (names_[i] == name) values_[i] = std::move(value);
    }

    const std::vector<std::string>& names_;
    std::vector<Value> values_;
};

} // namespace

struct Snapshot::State {
    struct ControlRecord {
        std::string name;
        Node node;
    };
    struct DataSetRecord {
        std::string name;
        Node members; // state, recordCount, recNo, changeCount, editMasks
        Node current;
        std::vector<std::uint64_t> generations; // of each row, as last recorded
        std::vector<std::uint64_t> rowStamps;
        std::uint64_t rowsNewest = 0;

        std::uint64_t newest() const { return std::max({members.newest, current.newest, rowsNewest}); }
    };

    Options options;
    std::uint64_t version = 0;
    std::uint64_t shape = 0; // the version of the last change of shape
    std::uint64_t formSerial = 0;
    // The components recorded, in order: a form keeps them where they are for its whole life.
    std::vector<const Control*> controlsSeen;
    std::vector<const DataSet*> dataSetsSeen;
    std::unordered_map<const Control*, int> indexOf; // creation index of each control
    bool hasUnit = false;
    std::vector<ControlRecord> controls;
    std::vector<DataSetRecord> dataSets;
    Node root; // activePage, focus
    Node unit;
    Node extras; // the caller's members

    bool sameShape(const Form* form, const UnitState* unitState) const {
        if ((form ? form->serial() : 0) != formSerial || (unitState != nullptr) != hasUnit) return false;
        if (!form) return controls.empty() && dataSets.empty();
        const auto& cs = form->controls();
        const auto& ds = form->dataSets();
        if (cs.size() != controlsSeen.size() || ds.size() != dataSetsSeen.size()) return false;
        for (std::size_t i = 0; i < cs.size(); ++i)
            if (cs[i].get() != controlsSeen[i]) return false;
        for (std::size_t i = 0; i < ds.size(); ++i)
            if (ds[i].get() != dataSetsSeen[i]) return false;
        return true;
    }

    void reset(const Form* form, const UnitState* unitState) {
        formSerial = form ? form->serial() : 0;
        hasUnit = unitState != nullptr;
        controls.clear();
        dataSets.clear();
        controlsSeen.clear();
        dataSetsSeen.clear();
        indexOf.clear();
        root = {};
        unit = {};
        if (!form) return;
        for (const auto& c : form->controls()) {
            indexOf.emplace(c.get(), static_cast<int>(controls.size()));
            controls.push_back({c->name(), {}});
            controlsSeen.push_back(c.get());
        }
        for (const auto& d : form->dataSets()) {
            dataSets.push_back({d->name(), {}, {}, {}, {}, 0});
            dataSetsSeen.push_back(d.get());
        }
    }

    bool answers(std::uint64_t since) const { return version > 0 && since >= shape && since <= version; }
};

Snapshot::Snapshot() : Snapshot(Options{}) {}

Snapshot::Snapshot(Options options) : state_(std::make_unique<State>()) {
    state_->options = std::move(options);
}

Snapshot::~Snapshot() = default;

namespace {

// Where each control stands in the focus order, by creation index; -1 when it cannot take the focus.
std::vector<int> tabIndexes(const Form& form, const std::unordered_map<const Control*, int>& indexOf) {
    std::vector<int> out(form.controls().size(), -1);
    int place = 0;
    for (const Control* c : form.tabOrderList()) {
        if (const auto it = indexOf.find(c); it != indexOf.end())
            out[static_cast<std::size_t>(it->second)] = place;
        ++place;
    }
    return out;
}

void recordDataSet(const DataSet& set, Recorder& members, Recorder& current) {
    members.text("state", toString(set.state()));
    const bool active = set.active();
    const int count = active ? set.recordCount() : 0;
    members.integer("recordCount", count);
    members.integer("recNo", active ? set.recNo() : 0);
    members.integer("changeCount", active ? set.changeCount() : 0);
    std::string masks = "{";
    for (const auto& field : set.fields()) {
        if (field->editMask().empty()) continue;
        if (masks.size() > 1) masks += ',';
        json::appendString(masks, field->name());
        masks += ':';
        json::appendString(masks, field->editMask());
    }
    masks += '}';
    members.json("editMasks", masks);

    const bool hasRecord = active && (count > 0 || set.isEditing());
    for (const auto& field : set.fields())
        current.maybe(field->name(), hasRecord ? set.peekCurrent(field->index()) : std::nullopt);
}

} // namespace

std::uint64_t Snapshot::record(const Form* form, const UnitState* unitState,
                               std::span<const Member> members) {
    std::lock_guard lock(mutex_);
    State& st = *state_;
    const std::uint64_t next = st.version + 1;
    bool changed = false;
    bool reshaped = false;
    if (!st.sameShape(form, unitState)) {
        st.reset(form, unitState);
        reshaped = changed = true;
    }

    // A member's describe may run a screen's handler (a field's get-text) that throws: what was
    // stamped until then is committed, so no stamp stays above the version.
    struct Commit {
        State& st;
        std::uint64_t next;
        const bool& changed;
        const bool& reshaped;
        ~Commit() {
            if (changed) st.version = next;
            if (reshaped) st.shape = next;
        }
    } commit{st, next, changed, reshaped};

    std::optional<std::string_view> activePage;
    if (form) {
        const std::vector<int> tabIndex = tabIndexes(*form, st.indexOf);
        const auto& controls = form->controls();
        for (std::size_t i = 0; i < controls.size(); ++i) {
            const Control& c = *controls[i];
            Node& node = st.controls[i].node;
            Recorder r(node, next, changed, reshaped);
            // The kind, the parent and the place in creation order stay for the form's life.
            if (node.newest == 0) {
                r.text("type", c.typeName());
                r.nameOf("parent", c.parent());
                r.integer("index", static_cast<long long>(i));
            } else {
                r.keep(3);
            }
            c.describe(r);
            if (tabIndex[i] >= 0)
                r.integer("tabIndex", tabIndex[i]);
            else
                r.null("tabIndex");
            r.finish();
            // The root's page is the one shown by the form's first page control.
            if (!activePage && c.isContainer())
                if (const Leaf* page = node.find("activePage"))
                    activePage = page->kind == Kind::Text ? std::string_view(page->text) : std::string_view();
        }
        const auto& sets = form->dataSets();
        for (std::size_t i = 0; i < sets.size(); ++i) {
            State::DataSetRecord& rec = st.dataSets[i];
            Recorder scalars(rec.members, next, changed, reshaped);
            Recorder current(rec.current, next, changed, reshaped);
            recordDataSet(*sets[i], scalars, current);
            scalars.finish();
            current.finish();
            const DataSet& set = *sets[i];
            const auto count = static_cast<std::size_t>(set.active() ? set.recordCount() : 0);
            rec.generations.resize(count, 0);
            rec.rowStamps.resize(count, 0);
            for (std::size_t row = 0; row < count; ++row) {
                const std::uint64_t generation = set.rowGeneration(static_cast<int>(row));
                if (generation == rec.generations[row]) continue;
                rec.generations[row] = generation;
                rec.rowStamps[row] = next;
                rec.rowsNewest = next;
                changed = true;
            }
        }
    }

    {
        Recorder r(st.root, next, changed, reshaped);
        if (activePage && !activePage->empty())
            r.text("activePage", *activePage);
        else
            r.null("activePage");
        r.nameOf("focus", form ? form->activeControl() : nullptr);
        r.finish();
    }
    if (unitState) {
        Recorder r(st.unit, next, changed, reshaped);
        if (st.options.unitMembers.empty()) {
            unitState->describe(r);
        } else {
            UnitFilter filter(st.options.unitMembers);
            unitState->describe(filter);
            filter.replay(r);
        }
        r.finish();
    }
    {
        Recorder r(st.extras, next, changed, reshaped);
        for (const Member& m : members)
            r.json(m.name, m.json);
        r.finish();
    }

    return changed ? next : st.version; // st.version itself is updated by `commit` on the way out
}

std::uint64_t Snapshot::recordMember(std::string_view name, std::string_view jsonText) {
    std::lock_guard lock(mutex_);
    State& st = *state_;
    const std::uint64_t next = st.version + 1;
    for (Leaf& l : st.extras.leaves) {
        if (l.name != name) continue;
        if (l.kind == Kind::Json && l.text == jsonText) return st.version;
        l.kind = Kind::Json;
        l.text.assign(jsonText);
        l.stamp = st.extras.newest = st.version = next;
        return st.version;
    }
    Leaf added;
    added.name.assign(name);
    added.kind = Kind::Json;
    added.text.assign(jsonText);
    added.stamp = next;
    st.extras.leaves.push_back(std::move(added));
    st.extras.newest = st.version = st.shape = next;
    return st.version;
}

std::uint64_t Snapshot::version() const {
    std::lock_guard lock(mutex_);
    return state_->version;
}

bool Snapshot::answers(std::uint64_t since) const {
    std::lock_guard lock(mutex_);
    return state_->answers(since);
}

namespace {

// The rows of one dataset: each field's key is written once, then copied into every row.
class RowWriter {
public:
    explicit RowWriter(const DataSet& set) : set_(set) {
        for (const auto& field : set.fields()) {
            std::string key;
            json::appendString(key, field->name());
            key += ':';
            keys_.push_back(std::move(key));
        }
    }
    void write(std::string& out, int row) const {
        out += '{';
        for (std::size_t f = 0; f < keys_.size(); ++f) {
            if (f) out += ',';
            out += keys_[f];
            const auto value = set_.peekAt(row, static_cast<int>(f));
            if (value)
                json::appendString(out, *value);
            else
                out += "null";
        }
        out += '}';
    }

private:
    const DataSet& set_;
    std::vector<std::string> keys_;
};

} // namespace

void Snapshot::write(std::string& out, std::optional<std::uint64_t> since, const Form* rowsOf) const {
    std::lock_guard lock(mutex_);
    const State& st = *state_;
    const bool delta = since && st.answers(*since);
    const std::uint64_t from = delta ? *since : 0;
    // Rows only from the form recorded, whose datasets are the ones the records stand for.
    const Form* rows = rowsOf && rowsOf->serial() == st.formSerial ? rowsOf : nullptr;

    out += "{\"version\":";
    json::appendInt(out, static_cast<long long>(st.version));
    out += ",\"base\":";
    if (delta)
        json::appendInt(out, static_cast<long long>(from));
    else
        out += "null";
    bool first = false;

    if (delta)
        for (const std::string& name : st.options.alwaysMembers)
            if (const Leaf* l = st.extras.find(name)) {
                writeMember(out, first, l->name);
                writeValue(out, *l);
            }

    bool any = false;
    for (const auto& rec : st.controls) {
        if (rec.node.newest <= from) continue;
        if (!any) {
            writeMember(out, first, "controls");
            out += '{';
        }
        bool inner = !any;
        any = true;
        writeMember(out, inner, rec.name);
        writeObject(out, rec.node, from);
    }
    if (any)
        out += '}';
    else if (!delta)
        out += ",\"controls\":{}";

    writeLeaves(out, first, st.root, from);

    any = false;
    for (std::size_t i = 0; i < st.dataSets.size(); ++i) {
        const auto& rec = st.dataSets[i];
        const bool rowsChanged = rows && rec.rowsNewest > from;
        if (rec.members.newest <= from && rec.current.newest <= from && !rowsChanged && delta) continue;
        if (!any) {
            writeMember(out, first, "datasets");
            out += '{';
        }
        bool inner = !any;
        any = true;
        writeMember(out, inner, rec.name);
        out += '{';
        bool member = true;
        writeLeaves(out, member, rec.members, from);
        if (!delta || rec.current.newest > from) {
            writeMember(out, member, "current");
            writeObject(out, rec.current, from);
        }
        if (rows && (!delta || rec.rowsNewest > from)) {
            const RowWriter writer(*rows->dataSets()[i]);
            writeMember(out, member, "rows");
            if (delta) {
                out += '{';
                bool row = true;
                for (std::size_t r = 0; r < rec.rowStamps.size(); ++r) {
                    if (rec.rowStamps[r] <= from) continue;
                    writeMember(out, row, std::to_string(r));
                    writer.write(out, static_cast<int>(r));
                }
                out += '}';
            } else {
                out += '[';
                for (std::size_t r = 0; r < rec.rowStamps.size(); ++r) {
                    if (r) out += ',';
                    writer.write(out, static_cast<int>(r));
                }
                out += ']';
            }
        }
        out += '}';
    }
    if (any)
        out += '}';
    else if (!delta)
        out += ",\"datasets\":{}";

    if (!st.hasUnit) {
        if (!delta) out += ",\"unit\":null";
    } else if (!delta || st.unit.newest > from) {
        writeMember(out, first, "unit");
        writeObject(out, st.unit, from);
    }

    for (const Leaf& l : st.extras.leaves) {
        if (l.stamp <= from) continue;
        if (delta && std::find(st.options.alwaysMembers.begin(), st.options.alwaysMembers.end(), l.name) !=
                         st.options.alwaysMembers.end())
            continue;
        writeMember(out, first, l.name);
        writeValue(out, l);
    }
    out += '}';
}

void Snapshot::writeOnly(std::string& out, std::uint64_t since,
                         std::span<const std::string_view> names) const {
    std::lock_guard lock(mutex_);
    const State& st = *state_;
    out += "{\"version\":";
    json::appendInt(out, static_cast<long long>(since));
    out += ",\"base\":";
    json::appendInt(out, static_cast<long long>(since));
    bool first = false;
    auto member = [&](std::string_view name) {
        if (const Leaf* l = st.extras.find(name)) {
            writeMember(out, first, l->name);
            writeValue(out, *l);
        }
    };
    for (const std::string& name : st.options.alwaysMembers)
        member(name);
    for (std::string_view name : names)
        if (std::find(st.options.alwaysMembers.begin(), st.options.alwaysMembers.end(), name) ==
            st.options.alwaysMembers.end())
            member(name);
    out += '}';
}

std::string Snapshot::of(const Form& form, bool withRows) {
    Snapshot snapshot;
    snapshot.record(&form, nullptr);
    std::string out;
    snapshot.write(out, std::nullopt, withRows ? &form : nullptr);
    return out;
}

} // namespace tk
