#include "toolkit/DataSet.h"

#include "toolkit/DataSetRow.h"

#include <algorithm>
#include <map>
#include <unordered_map>

namespace tk {

using detail::RowView;
using detail::Slot;

const char* toString(DataSetState state) {
    switch (state) {
    case DataSetState::Inactive:
        return "inactive";
    case DataSetState::Browse:
        return "browse";
    case DataSetState::Edit:
        return "edit";
    case DataSetState::Insert:
        return "insert";
    }
    return "?";
}

namespace {

std::string upperAscii(std::string_view name) {
    std::string out(name);
    for (char& c : out)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
    return out;
}

// Runs a dataset event. The handler is copied first: a handler may replace itself while it runs.
void fire(const std::function<void(DataSet&)>& event, DataSet& dataSet) {
    if (!event) return;
    auto handler = event;
    handler(dataSet);
}

std::vector<std::string> splitKeyFields(std::string_view text) {
    std::vector<std::string> out;
    std::size_t start = 0;
    while (start <= text.size()) {
        const std::size_t end = std::min(text.find(';', start), text.size());
        std::string_view part = text.substr(start, end - start);
        while (!part.empty() && part.front() == ' ')
            part.remove_prefix(1);
        while (!part.empty() && part.back() == ' ')
            part.remove_suffix(1);
        if (!part.empty()) out.emplace_back(part);
        start = end + 1;
    }
    return out;
}

void showRecord(const std::vector<DataSource*>& sources, const Field* field) {
    for (std::size_t s = 0; s < sources.size(); ++s)
        sources[s]->notifyRecordChanged(field);
}

void reportState(const std::vector<DataSource*>& sources) {
    for (std::size_t s = 0; s < sources.size(); ++s)
        sources[s]->notifyStateChange();
}

} // namespace

// ---------------------------------------------------------------------------------------------------
// Rows, position, edit buffer and change log.

struct DataSet::Impl {
    struct StoredRow {
        std::string bytes;
        std::uint32_t id = 0;  // identity across edits, for the change log; base rows are numbered in order
        std::uint64_t gen = 0; // changes whenever the bytes do (see rowGeneration)
    };
    struct LogEntry {
        wire::ChangeOp op = wire::ChangeOp::Insert;
        std::uint32_t id = 0;
        std::string original; // the base row of a modify or delete
    };

    std::vector<StoredRow> rows; // in index order
    int pos = -1;                // current row; -1 when there is none
    bool bof = true;
    bool eof = true;

    std::vector<Value> buffer; // the record being edited or inserted
    std::uint64_t bufferGen = 0;
    std::uint64_t nextGen = 1;
    int insertPos = 0;        // where the new record shows while inserting
    int posBeforeInsert = -1; // the record a cancelled insert returns to
    bool modified = false;

    std::vector<LogEntry> log;
    std::uint32_t nextId = 0;

    int indexField = -1;
    bool descending = false; // the index runs from the greatest key down
    // What multiplies a key comparison so that it follows the index's direction.
    int direction() const { return descending ? -1 : 1; }
    std::map<std::string, int, std::less<>> byName; // upper-case name -> field index

    int findRow(std::uint32_t id) const {
        for (std::size_t i = 0; i < rows.size(); ++i)
            if (rows[i].id == id) return static_cast<int>(i);
        return -1;
    }
    LogEntry* findEntry(std::uint32_t id) {
        for (auto& e : log)
            if (e.id == id) return &e;
        return nullptr;
    }
    void eraseEntry(std::uint32_t id) {
        std::erase_if(log, [id](const LogEntry& e) { return e.id == id; });
    }

    // Makes row `to` current: the controls show it, then after-scroll runs.
    static void scroll(DataSet& ds, int to, bool bof, bool eof) {
        ds.impl_->pos = to;
        ds.impl_->bof = bof;
        ds.impl_->eof = eof;
        showRecord(ds.sources_, nullptr);
        fire(ds.afterScroll, ds);
    }

    // Before a move: the controls write what the user typed; a record that was changed is then
    // posted and one that was not is cancelled, as a classic data-aware toolkit does.
    static void checkBrowseMode(DataSet& ds) {
        if (!ds.isEditing()) return;
        for (std::size_t s = 0; s < ds.sources_.size(); ++s)
            ds.sources_[s]->notifyUpdateData();
        if (ds.impl_->modified)
            ds.post();
        else
            ds.cancel();
    }
};

namespace {

// Index order: null first, then the empty text, then byte order (UTF-8 sorts by code point).
int compareKeys(const RowView& a, const RowView& b, int field) {
    const bool an = a.isNull(field), bn = b.isNull(field);
    if (an || bn) return an == bn ? 0 : (an ? -1 : 1);
    return a.text(field).compare(b.text(field));
}

} // namespace

// ---------------------------------------------------------------------------------------------------
// Field

Field::Field(DataSet& owner, std::string name, int size, int index)
    : owner_(&owner), name_(std::move(name)), size_(size), index_(index) {}

Value Field::value() const {
    return owner_->currentValue(index_);
}

bool Field::isNull() const {
    return !owner_->currentValue(index_).has_value();
}

std::string Field::asString() const {
    return owner_->currentValue(index_).value_or(std::string());
}

void Field::setValue(Value v) {
    owner_->assignCurrent(index_, std::move(v));
}

std::string Field::text() const {
    std::string out = asString();
    if (onGetText) onGetText(const_cast<Field&>(*this), out, false);
    return out;
}

std::string Field::displayText() const {
    std::string out = asString();
    if (onGetText) onGetText(const_cast<Field&>(*this), out, true);
    return out;
}

void Field::setText(const std::string& text) {
    if (onSetText) {
        auto handler = onSetText;
        handler(*this, text);
    } else {
        setValue(text);
    }
}

void Field::setEditMask(std::string mask) {
    if (mask == editMask_) return;
    editMask_ = std::move(mask);
    // Only the shown text changes: the controls re-show, the data source's data-change does not run.
    const auto& sources = owner_->sources_;
    for (std::size_t s = 0; s < sources.size(); ++s) {
        const auto& links = sources[s]->links();
        for (std::size_t i = 0; i < links.size(); ++i)
            links[i]->recordChanged(this);
    }
}

void Field::focusControl() {
    // A control bound to this field by name wins; otherwise the first control that shows several
    // fields (a grid) gets the chance to select the field's column.
    DataLink* fallback = nullptr;
    for (DataSource* source : owner_->sources_) {
        for (DataLink* link : source->links()) {
            const std::string& shown = link->fieldName();
            if (shown.empty()) {
                if (!fallback && link->selectsFields()) fallback = link;
            } else if (upperAscii(shown) == upperAscii(name_)) {
                link->focusField(*this);
                return;
            }
        }
    }
    if (fallback) fallback->focusField(*this);
}

// ---------------------------------------------------------------------------------------------------
// DataSource

DataSource::DataSource(std::string name) : name_(std::move(name)) {}

DataSource::~DataSource() {
    // Quietly: the handlers may belong to a form that is being destroyed too.
    if (dataSet_) dataSet_->detachSource(this);
}

void DataSource::setDataSet(DataSet* dataSet) {
    if (dataSet == dataSet_) return;
    const DataSetState before = state();
    if (dataSet_) dataSet_->detachSource(this);
    dataSet_ = dataSet;
    if (dataSet_) dataSet_->attachSource(this);
    const DataSetState after = state();
    // Nothing shown changes when neither side is open (a dataset being destroyed reports inactive).
    if (before == DataSetState::Inactive && after == DataSetState::Inactive) return;
    for (std::size_t i = 0; i < links_.size(); ++i)
        links_[i]->recordChanged(nullptr);
    if (before != after) notifyStateChange();
}

DataSetState DataSource::state() const {
    return dataSet_ ? dataSet_->state() : DataSetState::Inactive;
}

void DataSource::addLink(DataLink* link) {
    if (link && std::find(links_.begin(), links_.end(), link) == links_.end()) links_.push_back(link);
}

void DataSource::removeLink(DataLink* link) {
    std::erase(links_, link);
}

void DataSource::notifyStateChange() {
    if (!onStateChange) return;
    auto handler = onStateChange;
    handler(*this);
}

void DataSource::notifyRecordChanged(const Field* field) {
    // By index: a control may add or remove links while it is being notified.
    for (std::size_t i = 0; i < links_.size(); ++i)
        links_[i]->recordChanged(field);
    if (onDataChange) {
        auto handler = onDataChange;
        handler(*this, field);
    }
}

void DataSource::notifyUpdateData() {
    for (std::size_t i = 0; i < links_.size(); ++i)
        links_[i]->updateData();
}

// ---------------------------------------------------------------------------------------------------
// DataSet: definition

DataSet::DataSet(std::string name) : impl_(std::make_unique<Impl>()), name_(std::move(name)) {}

DataSet::~DataSet() {
    // Detach without events: handlers may point into a form that is going away.
    state_ = DataSetState::Inactive;
    const auto sources = sources_;
    for (DataSource* source : sources)
        source->setDataSet(nullptr);
}

Field& DataSet::addField(std::string name, int size, std::string label, bool visible) {
    if (active())
        throw DataSetError(name_ + ": campos só podem ser definidos com o conjunto de dados fechado.");
    std::string key = upperAscii(name);
    if (impl_->byName.count(key)) throw DataSetError(name_ + ": o campo " + name + " já está definido.");
    const int index = fieldCount();
    auto field = std::make_unique<Field>(*this, std::move(name), size, index);
    field->displayLabel = std::move(label);
    field->visible = visible;
    impl_->byName.emplace(std::move(key), index);
    if (!indexField_.empty() && upperAscii(indexField_) == upperAscii(field->name()))
        impl_->indexField = index;
    fields_.push_back(std::move(field));
    return *fields_.back();
}

Field* DataSet::findField(std::string_view name) {
    auto it = impl_->byName.find(upperAscii(name));
    return it == impl_->byName.end() ? nullptr : fields_[static_cast<std::size_t>(it->second)].get();
}

Field& DataSet::fieldByName(std::string_view name) {
    if (Field* f = findField(name)) return *f;
    throw DataSetError(name_ + ": campo " + std::string(name) + " não encontrado.");
}

void DataSet::setIndexFieldName(std::string name) {
    sortBy(std::move(name), false);
}

void DataSet::sortBy(std::string name, bool descending) {
    if (isEditing())
        throw DataSetError(name_ + ": não é possível trocar o índice durante a edição ou inclusão.");
    indexField_ = std::move(name);
    impl_->descending = descending;
    const Field* f = indexField_.empty() ? nullptr : findField(indexField_);
    impl_->indexField = f ? f->index() : -1;
    if (!active()) return;
    if (!indexField_.empty() && !f)
        throw DataSetError(name_ + ": o índice usa o campo " + indexField_ + ", que não existe.");
    if (impl_->rows.empty()) return;
    // Re-sort, keeping the current record current.
    const std::uint32_t currentId = impl_->rows[static_cast<std::size_t>(impl_->pos)].id;
    const int n = fieldCount();
    const int key = impl_->indexField;
    const int direction = impl_->direction();
    std::stable_sort(impl_->rows.begin(), impl_->rows.end(), [&](const auto& a, const auto& b) {
        if (key < 0) return a.id < b.id;
        return direction * compareKeys(RowView(a.bytes, n), RowView(b.bytes, n), key) < 0;
    });
    impl_->pos = impl_->findRow(currentId);
    for (std::size_t s = 0; s < sources_.size(); ++s)
        sources_[s]->notifyRecordChanged(nullptr);
}

// ---------------------------------------------------------------------------------------------------
// DataSet: notifications

void DataSet::attachSource(DataSource* source) {
    if (std::find(sources_.begin(), sources_.end(), source) == sources_.end()) sources_.push_back(source);
}

void DataSet::detachSource(DataSource* source) {
    std::erase(sources_, source);
}

// ---------------------------------------------------------------------------------------------------
// DataSet: open, close, packets

void DataSet::open() {
    if (active()) return;
    if (!indexField_.empty() && impl_->indexField < 0)
        throw DataSetError(name_ + ": o índice usa o campo " + indexField_ + ", que não existe.");
    state_ = DataSetState::Browse;
    impl_->pos = impl_->rows.empty() ? -1 : 0;
    impl_->bof = true;
    impl_->eof = impl_->rows.empty();
    showRecord(sources_, nullptr);
    reportState(sources_);
    fire(afterOpen, *this);
    if (!impl_->rows.empty()) fire(afterScroll, *this);
}

void DataSet::close() {
    if (!active()) return;
    // A pending edit is dropped without its events, as a closing dataset discards its data anyway.
    state_ = DataSetState::Inactive;
    impl_->buffer.clear();
    impl_->modified = false;
    std::vector<Impl::StoredRow>().swap(impl_->rows);
    impl_->log.clear();
    impl_->pos = -1;
    impl_->bof = impl_->eof = true;
    reportState(sources_);
    showRecord(sources_, nullptr);
    fire(afterClose, *this);
}

void DataSet::setData(const wire::DataPacket& packet) {
    // A dataset without declared fields takes the packet's (lookup lists need no definition).
    if (fields_.empty()) {
        close();
        for (const auto& def : packet.fields)
            addField(def.name, def.size);
    }
    if (!indexField_.empty() && impl_->indexField < 0)
        throw DataSetError(name_ + ": o índice usa o campo " + indexField_ + ", que não existe.");

    const int n = fieldCount();
    std::vector<int> column(static_cast<std::size_t>(n), -1); // declared field -> packet column
    for (std::size_t c = 0; c < packet.fields.size(); ++c) {
        auto it = impl_->byName.find(upperAscii(packet.fields[c].name));
        if (it != impl_->byName.end() && column[static_cast<std::size_t>(it->second)] < 0)
            column[static_cast<std::size_t>(it->second)] = static_cast<int>(c);
    }

    std::vector<int> limit(static_cast<std::size_t>(n));
    for (int f = 0; f < n; ++f)
        limit[static_cast<std::size_t>(f)] = fields_[static_cast<std::size_t>(f)]->size();

    const int key = impl_->indexField;
    const int direction = impl_->direction();
    auto less = [n, key, direction](const Impl::StoredRow& a, const Impl::StoredRow& b) {
        return direction * compareKeys(RowView(a.bytes, n), RowView(b.bytes, n), key) < 0;
    };
    std::vector<Impl::StoredRow> rows;
    rows.reserve(packet.rows.size());
    std::vector<Slot> slots(static_cast<std::size_t>(n));
    bool sorted = true; // checked while each row is still in cache; the server usually sends code order
    std::uint32_t id = 0;
    for (const auto& in : packet.rows) {
        const std::size_t width = in.size();
        for (std::size_t f = 0; f < static_cast<std::size_t>(n); ++f) {
            const int c = column[f];
            const Value* v =
                c >= 0 && static_cast<std::size_t>(c) < width ? &in[static_cast<std::size_t>(c)] : nullptr;
            if (!v || !*v) {
                slots[f] = Slot{};
                continue;
            }
            const std::string_view text = **v;
            slots[f] = Slot{text.substr(0, detail::utf8PrefixBytes(text, limit[f])), false};
        }
        rows.push_back({detail::packRow(slots.data(), n), id++, impl_->nextGen++});
        if (key >= 0 && sorted && rows.size() > 1 && less(rows.back(), rows[rows.size() - 2])) sorted = false;
    }
    if (!sorted) {
        std::stable_sort(rows.begin(), rows.end(), less);
        for (std::size_t i = 0; i < rows.size(); ++i)
            rows[i].id = static_cast<std::uint32_t>(i);
    }
    // The new rows are built before the old ones are freed: freeing first hands the pages back to
    // the system only to fault them in again for the new rows.
    close();
    impl_->rows = std::move(rows);
    impl_->nextId = id;
    impl_->log.clear();
    open();
}

wire::DataPacket DataSet::data() const {
    wire::DataPacket out;
    const int n = fieldCount();
    out.fields.reserve(static_cast<std::size_t>(n));
    for (const auto& f : fields_)
        out.fields.push_back({f->name(), "string", f->size()});
    out.rows.reserve(impl_->rows.size());
    for (const auto& row : impl_->rows) {
        RowView view(row.bytes, n);
        std::vector<Value> values;
        values.reserve(static_cast<std::size_t>(n));
        for (int f = 0; f < n; ++f)
            values.push_back(view.value(f));
        out.rows.push_back(std::move(values));
    }
    return out;
}

// ---------------------------------------------------------------------------------------------------
// DataSet: position

bool DataSet::indexDescending() const {
    return impl_->descending;
}

int DataSet::recordCount() const {
    if (!active()) return 0;
    const int stored = static_cast<int>(impl_->rows.size());
    return state_ == DataSetState::Insert ? stored + 1 : stored;
}

int DataSet::recNo() const {
    if (!active()) return 0;
    if (state_ == DataSetState::Insert) return impl_->insertPos + 1;
    return impl_->pos + 1;
}

bool DataSet::bof() const {
    return !active() || impl_->bof;
}
bool DataSet::eof() const {
    return !active() || impl_->eof;
}

namespace {

DataSetError notOpen(const std::string& name) {
    return DataSetError(name + ": operação não permitida com o conjunto de dados fechado.");
}

} // namespace

void DataSet::moveTo(int target) {
    if (!active()) throw notOpen(name_);
    Impl::checkBrowseMode(*this);
    if (impl_->rows.empty()) return; // no record to show
    Impl::scroll(*this, std::clamp(target, 1, static_cast<int>(impl_->rows.size())) - 1, false, false);
}

void DataSet::first() {
    if (!active()) throw notOpen(name_);
    Impl::checkBrowseMode(*this);
    if (impl_->rows.empty()) return;
    Impl::scroll(*this, 0, true, false);
}

void DataSet::last() {
    if (!active()) throw notOpen(name_);
    Impl::checkBrowseMode(*this);
    if (impl_->rows.empty()) return;
    Impl::scroll(*this, static_cast<int>(impl_->rows.size()) - 1, false, true);
}

void DataSet::next() {
    if (!active()) throw notOpen(name_);
    Impl::checkBrowseMode(*this);
    // Past the end nothing moves and nothing runs; eof tells the caller's loop to stop.
    if (impl_->pos + 1 >= static_cast<int>(impl_->rows.size())) {
        impl_->eof = true;
        return;
    }
    Impl::scroll(*this, impl_->pos + 1, false, false);
}

void DataSet::prior() {
    if (!active()) throw notOpen(name_);
    Impl::checkBrowseMode(*this);
    if (impl_->pos <= 0) {
        impl_->bof = true;
        return;
    }
    Impl::scroll(*this, impl_->pos - 1, false, false);
}

bool DataSet::locate(std::string_view keyFields, const std::vector<std::string>& values,
                     LocateOptions options) {
    if (!active()) throw notOpen(name_);
    const auto names = splitKeyFields(keyFields);
    if (names.empty() || names.size() != values.size())
        throw DataSetError(name_ + ": a pesquisa tem " + std::to_string(names.size()) + " campo(s) e " +
                           std::to_string(values.size()) + " valor(es).");
    std::vector<int> keys;
    keys.reserve(names.size());
    for (const auto& n : names)
        keys.push_back(fieldByName(n).index());

    Impl::checkBrowseMode(*this);

    const int n = fieldCount();
    for (std::size_t r = 0; r < impl_->rows.size(); ++r) {
        RowView view(impl_->rows[r].bytes, n);
        bool hit = true;
        for (std::size_t k = 0; k < keys.size() && hit; ++k) {
            const std::string_view stored = view.text(keys[k]); // null compares as ""
            hit = options.partialKey ? detail::startsWithText(stored, values[k], options.caseInsensitive)
                                     : detail::sameText(stored, values[k], options.caseInsensitive);
        }
        if (hit) {
            Impl::scroll(*this, static_cast<int>(r), false, false);
            return true;
        }
    }
    return false;
}

// ---------------------------------------------------------------------------------------------------
// DataSet: editing

void DataSet::edit() {
    if (!active()) throw DataSetError(name_ + ": não é possível alterar com o conjunto de dados fechado.");
    if (isEditing()) return;
    // Alter on an empty list starts a new record, as the classic toolkit does.
    if (impl_->rows.empty()) {
        insert();
        return;
    }
    const int n = fieldCount();
    RowView view(impl_->rows[static_cast<std::size_t>(impl_->pos)].bytes, n);
    impl_->buffer.clear();
    impl_->buffer.reserve(static_cast<std::size_t>(n));
    for (int f = 0; f < n; ++f)
        impl_->buffer.push_back(view.value(f));
    impl_->bufferGen = impl_->nextGen++;
    impl_->modified = false;
    state_ = DataSetState::Edit;
    reportState(sources_);
    fire(afterEdit, *this);
}

void DataSet::insert() {
    if (!active()) throw DataSetError(name_ + ": não é possível incluir com o conjunto de dados fechado.");
    Impl::checkBrowseMode(*this);

    impl_->posBeforeInsert = impl_->pos;
    impl_->insertPos = std::max(impl_->pos, 0);
    impl_->buffer.assign(static_cast<std::size_t>(fieldCount()), std::nullopt);
    impl_->bufferGen = impl_->nextGen++;
    impl_->modified = false;
    impl_->bof = impl_->eof = false;
    state_ = DataSetState::Insert;
    reportState(sources_);
    try {
        fire(onNewRecord, *this);
    } catch (...) {
        // A failing new-record handler leaves no half-made record behind.
        state_ = DataSetState::Browse;
        impl_->buffer.clear();
        impl_->pos = impl_->posBeforeInsert;
        impl_->bof = impl_->eof = impl_->rows.empty();
        reportState(sources_);
        showRecord(sources_, nullptr);
        throw;
    }
    // Defaults alone do not make the record worth keeping when the user moves away.
    impl_->modified = false;
    showRecord(sources_, nullptr);
    fire(afterInsert, *this);
    fire(afterScroll, *this);
}

void DataSet::post() {
    if (!active()) throw DataSetError(name_ + ": não é possível gravar com o conjunto de dados fechado.");
    if (!isEditing()) return;
    for (std::size_t s = 0; s < sources_.size(); ++s)
        sources_[s]->notifyUpdateData();
    fire(beforePost, *this);
    if (!isEditing()) return; // the handler cancelled or closed: nothing left to store
    for (const auto& f : fields_)
        if (f->required && !impl_->buffer[static_cast<std::size_t>(f->index())])
            throw DataSetError(name_ + ": o campo " +
                               (f->displayLabel.empty() ? f->name() : f->displayLabel) +
                               " deve ser informado.");

    const int n = fieldCount();
    std::vector<Slot> slots(static_cast<std::size_t>(n));
    for (int f = 0; f < n; ++f) {
        const Value& v = impl_->buffer[static_cast<std::size_t>(f)];
        slots[static_cast<std::size_t>(f)] = v ? Slot{*v, false} : Slot{};
    }
    Impl::StoredRow row{detail::packRow(slots.data(), n), 0, impl_->nextGen++};

    auto& rows = impl_->rows;
    int at;
    if (state_ == DataSetState::Insert) {
        row.id = impl_->nextId++;
        at = std::clamp(impl_->insertPos, 0, static_cast<int>(rows.size()));
        if (logChanges_) impl_->log.push_back({wire::ChangeOp::Insert, row.id, {}});
    } else {
        at = impl_->pos;
        Impl::StoredRow& stored = rows[static_cast<std::size_t>(at)];
        row.id = stored.id;
        if (logChanges_) {
            if (Impl::LogEntry* entry = impl_->findEntry(row.id)) {
                // Still one insert, or one modify against the original base values; a row edited back
                // to its base values has nothing left to send.
                if (entry->op == wire::ChangeOp::Modify && entry->original == row.bytes)
                    impl_->eraseEntry(row.id);
            } else if (stored.bytes != row.bytes) {
                impl_->log.push_back({wire::ChangeOp::Modify, row.id, stored.bytes});
            }
        }
    }

    // The stored record takes its place in index order (after equal keys) and stays current.
    const int key = impl_->indexField;
    const RowView mine(row.bytes, n);
    const int direction = impl_->direction();
    auto keyOrder = [&](std::size_t other) {
        return direction * compareKeys(mine, RowView(rows[other].bytes, n), key);
    };
    const auto here = static_cast<std::size_t>(at);
    const bool editing = state_ == DataSetState::Edit;
    const bool staysHere = key < 0 || (editing && (here == 0 || keyOrder(here - 1) >= 0) &&
                                       (here + 1 == rows.size() || keyOrder(here + 1) < 0));
    if (editing && staysHere) {
        rows[here] = std::move(row); // the common case: no key change, nothing shifts
    } else {
        if (editing) rows.erase(rows.begin() + at);
        if (key >= 0) {
            auto it = std::upper_bound(rows.begin(), rows.end(), mine,
                                       [n, key, direction](const RowView& v, const auto& other) {
                                           return direction * compareKeys(v, RowView(other.bytes, n), key) < 0;
                                       });
            at = static_cast<int>(it - rows.begin());
        }
        rows.insert(rows.begin() + at, std::move(row));
    }
    impl_->pos = at;
    impl_->bof = impl_->eof = false;
    impl_->buffer.clear();
    impl_->modified = false;
    state_ = DataSetState::Browse;
    reportState(sources_);
    // The record may have moved in the list: controls that show several rows re-read them.
    showRecord(sources_, nullptr);
    fire(afterPost, *this);
}

void DataSet::cancel() {
    if (!isEditing()) return;
    const bool wasInsert = state_ == DataSetState::Insert;
    impl_->buffer.clear();
    impl_->modified = false;
    if (wasInsert) {
        impl_->pos = std::min(impl_->posBeforeInsert, static_cast<int>(impl_->rows.size()) - 1);
        impl_->bof = impl_->eof = impl_->rows.empty();
    }
    state_ = DataSetState::Browse;
    reportState(sources_);
    showRecord(sources_, nullptr);
    fire(afterCancel, *this);
    if (wasInsert) fire(afterScroll, *this);
}

void DataSet::remove() {
    if (!active()) throw DataSetError(name_ + ": não é possível excluir com o conjunto de dados fechado.");
    if (state_ == DataSetState::Insert) {
        // The record being inserted was never stored: deleting it is cancelling it. Going on to
        // delete the record current after the cancel would remove one the user did not choose.
        cancel();
        return;
    }
    if (state_ == DataSetState::Edit) cancel();
    if (impl_->rows.empty()) throw DataSetError(name_ + ": não há registro para excluir.");
    fire(beforeDelete, *this);
    if (!active() || isEditing() || impl_->rows.empty()) return;

    auto& rows = impl_->rows;
    const auto at = static_cast<std::size_t>(impl_->pos);
    if (logChanges_) {
        const std::uint32_t id = rows[at].id;
        if (Impl::LogEntry* entry = impl_->findEntry(id)) {
            if (entry->op == wire::ChangeOp::Insert) {
                impl_->eraseEntry(id); // never reached the server: nothing to send
            } else {
                entry->op = wire::ChangeOp::Delete; // keeps the original values
            }
        } else {
            impl_->log.push_back({wire::ChangeOp::Delete, id, rows[at].bytes});
        }
    }
    rows.erase(rows.begin() + static_cast<std::ptrdiff_t>(at));
    impl_->pos = std::min(impl_->pos, static_cast<int>(rows.size()) - 1);
    impl_->bof = impl_->eof = rows.empty();
    showRecord(sources_, nullptr);
    fire(afterDelete, *this);
    fire(afterScroll, *this);
}

// ---------------------------------------------------------------------------------------------------
// DataSet: change log

int DataSet::changeCount() const {
    return static_cast<int>(impl_->log.size());
}

wire::ChangePacket DataSet::changePacket() const {
    wire::ChangePacket out;
    if (impl_->log.empty()) return out;
    const int n = fieldCount();
    std::unordered_map<std::uint32_t, std::size_t> rowOf;
    for (std::size_t i = 0; i < impl_->rows.size(); ++i)
        rowOf.emplace(impl_->rows[i].id, i);

    auto whole = [&](std::string_view bytes) {
        wire::Row row;
        row.values.reserve(static_cast<std::size_t>(n));
        RowView view(bytes, n);
        for (int f = 0; f < n; ++f)
            row.values.emplace_back(fields_[static_cast<std::size_t>(f)]->name(), view.value(f));
        return row;
    };
    for (const auto& entry : impl_->log) {
        wire::Change change;
        change.op = entry.op;
        if (entry.op != wire::ChangeOp::Insert) change.oldRow = whole(entry.original);
        if (entry.op != wire::ChangeOp::Delete) {
            auto it = rowOf.find(entry.id);
            if (it == rowOf.end()) continue; // cannot happen: deleting a logged row rewrites its entry
            change.newRow = whole(impl_->rows[it->second].bytes);
        }
        out.changes.push_back(std::move(change));
    }
    return out;
}

void DataSet::mergeChangeLog() {
    impl_->log.clear();
    // Renumber in list order: a later cancel of all changes restores this order.
    for (std::size_t i = 0; i < impl_->rows.size(); ++i)
        impl_->rows[i].id = static_cast<std::uint32_t>(i);
    impl_->nextId = static_cast<std::uint32_t>(impl_->rows.size());
}

void DataSet::cancelUpdates() {
    cancel();
    if (impl_->log.empty()) return;
    auto& rows = impl_->rows;
    const int n = fieldCount();
    const int key = impl_->indexField;

    // Remember where the user was: the same row if it survives, else the same key, else the first.
    std::optional<std::uint32_t> currentId;
    std::optional<Value> currentKey;
    if (impl_->pos >= 0 && impl_->pos < static_cast<int>(rows.size())) {
        currentId = rows[static_cast<std::size_t>(impl_->pos)].id;
        if (key >= 0) currentKey = RowView(rows[static_cast<std::size_t>(impl_->pos)].bytes, n).value(key);
    }

    for (auto it = impl_->log.rbegin(); it != impl_->log.rend(); ++it) {
        const int at = impl_->findRow(it->id);
        switch (it->op) {
        case wire::ChangeOp::Insert:
            if (at >= 0) rows.erase(rows.begin() + at);
            break;
        case wire::ChangeOp::Modify:
            if (at >= 0) {
                rows[static_cast<std::size_t>(at)].bytes = std::move(it->original);
                rows[static_cast<std::size_t>(at)].gen = impl_->nextGen++;
            }
            break;
        case wire::ChangeOp::Delete:
            rows.push_back({std::move(it->original), it->id, impl_->nextGen++});
            break;
        }
    }
    impl_->log.clear();
    // Base rows are numbered in their base order, so (key, id) restores it exactly.
    const int direction = impl_->direction();
    std::sort(rows.begin(), rows.end(), [n, key, direction](const Impl::StoredRow& a, const Impl::StoredRow& b) {
        if (key >= 0) {
            const int c = direction * compareKeys(RowView(a.bytes, n), RowView(b.bytes, n), key);
            if (c != 0) return c < 0;
        }
        return a.id < b.id;
    });

    int pos = rows.empty() ? -1 : 0;
    if (currentId) {
        if (int at = impl_->findRow(*currentId); at >= 0) {
            pos = at;
        } else if (currentKey) {
            for (std::size_t i = 0; i < rows.size(); ++i)
                if (RowView(rows[i].bytes, n).value(key) == *currentKey) {
                    pos = static_cast<int>(i);
                    break;
                }
        }
    }
    impl_->pos = pos;
    impl_->bof = impl_->eof = rows.empty();
    if (active()) showRecord(sources_, nullptr);
}

// ---------------------------------------------------------------------------------------------------
// DataSet: values

Value DataSet::currentValue(int fieldIndex) const {
    if (fieldIndex < 0 || fieldIndex >= fieldCount())
        throw DataSetError(name_ + ": campo fora do intervalo.");
    if (isEditing()) return impl_->buffer[static_cast<std::size_t>(fieldIndex)];
    if (!active() || impl_->pos < 0) return std::nullopt;
    return RowView(impl_->rows[static_cast<std::size_t>(impl_->pos)].bytes, fieldCount()).value(fieldIndex);
}

void DataSet::assignCurrent(int fieldIndex, Value value) {
    if (fieldIndex < 0 || fieldIndex >= fieldCount())
        throw DataSetError(name_ + ": campo fora do intervalo.");
    const Field& field = *fields_[static_cast<std::size_t>(fieldIndex)];
    if (!isEditing())
        throw DataSetError(name_ + ": o campo " + field.name() +
                           " só pode ser alterado em modo de edição ou inclusão.");
    if (value) value->resize(detail::utf8PrefixBytes(*value, field.size()));
    Value& slot = impl_->buffer[static_cast<std::size_t>(fieldIndex)];
    if (slot == value) return;
    slot = std::move(value);
    impl_->bufferGen = impl_->nextGen++;
    impl_->modified = true;
    showRecord(sources_, &field);
}

Value DataSet::valueAt(int row, int fieldIndex) const {
    if (fieldIndex < 0 || fieldIndex >= fieldCount())
        throw DataSetError(name_ + ": campo fora do intervalo.");
    if (row < 0 || row >= recordCount())
        throw DataSetError(name_ + ": registro " + std::to_string(row + 1) + " fora do intervalo.");
    const int stored = storedRow(row);
    if (stored < 0) return impl_->buffer[static_cast<std::size_t>(fieldIndex)];
    return RowView(impl_->rows[static_cast<std::size_t>(stored)].bytes, fieldCount()).value(fieldIndex);
}

namespace {

std::optional<std::string_view> view(const Value& value) {
    if (!value) return std::nullopt;
    return std::string_view(*value);
}

} // namespace

int DataSet::storedRow(int row) const {
    if (state_ == DataSetState::Insert) {
        if (row == impl_->insertPos) return -1;
        if (row > impl_->insertPos) return row - 1;
    } else if (state_ == DataSetState::Edit && row == impl_->pos) {
        return -1;
    }
    return row;
}

std::optional<std::string_view> DataSet::peekCurrent(int fieldIndex) const {
    if (isEditing()) return view(impl_->buffer[static_cast<std::size_t>(fieldIndex)]);
    if (!active() || impl_->pos < 0) return std::nullopt;
    const RowView row(impl_->rows[static_cast<std::size_t>(impl_->pos)].bytes, fieldCount());
    if (row.isNull(fieldIndex)) return std::nullopt;
    return row.text(fieldIndex);
}

std::optional<std::string_view> DataSet::peekAt(int row, int fieldIndex) const {
    const int stored = storedRow(row);
    if (stored < 0) return view(impl_->buffer[static_cast<std::size_t>(fieldIndex)]);
    const RowView r(impl_->rows[static_cast<std::size_t>(stored)].bytes, fieldCount());
    if (r.isNull(fieldIndex)) return std::nullopt;
    return r.text(fieldIndex);
}

std::uint64_t DataSet::rowGeneration(int row) const {
    const int stored = storedRow(row);
    return stored < 0 ? impl_->bufferGen : impl_->rows[static_cast<std::size_t>(stored)].gen;
}

std::size_t DataSet::memoryBytes() const {
    std::size_t total = impl_->rows.capacity() * sizeof(Impl::StoredRow);
    for (const auto& row : impl_->rows)
        total += detail::heapBytesOf(row.bytes);
    total += impl_->log.capacity() * sizeof(Impl::LogEntry);
    for (const auto& entry : impl_->log)
        total += detail::heapBytesOf(entry.original);
    return total;
}

} // namespace tk
