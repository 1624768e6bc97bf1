#pragma once

// Client datasets, their fields and data sources: the data half of the screen model.
//
// Event order (the screen's rules depend on it):
//   open:    state browse -> links show the first record (an empty dataset shows empty values)
//            -> state-change -> after-open -> after-scroll (only when not empty)
//   close:   state inactive -> state-change -> links show nothing
//   setData: close, replace every row, open (so both sequences above run)
//   edit:    state edit -> state-change
//   insert:  state insert -> state-change -> on-new-record (each assignment shows at once)
//            -> links show the new record -> after-insert -> after-scroll
//   post:    links write marked controls back (updateData) -> before-post -> stored in index order,
//            change logged -> state browse -> state-change -> links show the stored record
//            (it may have moved in the list) -> after-post
//   cancel:  insert: state browse -> state-change -> links show -> after-cancel -> after-scroll
//            edit:   state browse -> state-change -> links show (restored values) -> after-cancel
//   delete:  (an edit in progress is cancelled first; during an insert, delete only cancels the
//            unsaved record) removed, change logged
//            -> links show the record now current -> after-delete -> after-scroll
//   move/locate: links show the record -> after-scroll (also when the record was already current)
// An exception in before-post abandons the post: the state and the edit buffer stay as they were.

#include "wire/Packet.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tk {

using Value = wire::Value;

enum class DataSetState { Inactive, Browse, Edit, Insert };
const char* toString(DataSetState state); // "inactive", "browse", "edit", "insert"

class DataSet;
class DataSource;
class Control;

// Raised for an operation the dataset's state does not allow (a Portuguese message).
class DataSetError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

class Field {
public:
    Field(DataSet& owner, std::string name, int size, int index);

    const std::string& name() const { return name_; }
    int size() const { return size_; }
    int index() const { return index_; }
    DataSet& dataSet() const { return *owner_; }

    std::string displayLabel;
    bool visible = true;
    bool required = false;

    // Value in the current record (the edit buffer while editing). Null is distinct from "".
    Value value() const;
    bool isNull() const;
    std::string asString() const; // "" for null
    // Assigning cuts the value to the field's size; it needs edit or insert state (DataSetError
    // otherwise) and shows the value at once in every linked control.
    void setValue(Value v);
    void setAsString(std::string text) { setValue(Value(std::move(text))); }
    void clear() { setValue(std::nullopt); }

    // Text handlers. `text` goes through onGetText when set (displayText tells display from edit use),
    // setText through onSetText when set; otherwise both are the plain string value.
    std::function<void(Field& sender, std::string& text, bool displayText)> onGetText;
    std::function<void(Field& sender, const std::string& text)> onSetText;
    std::string text() const;
    std::string displayText() const;
    void setText(const std::string& text);

    // Edit mask ("999.999.999-99;0;_"); an empty mask shows the raw text. Linked controls re-show.
    const std::string& editMask() const { return editMask_; }
    void setEditMask(std::string mask);

    // Moves the focus to the first control linked to this field (a grid focuses the field's column).
    void focusControl();

private:
    DataSet* owner_;
    std::string name_;
    int size_;
    int index_;
    std::string editMask_;
};

struct LocateOptions {
    bool caseInsensitive = false;
    bool partialKey = false;
};

// Receives a data source's notifications; data-bound controls implement it.
class DataLink {
public:
    virtual ~DataLink() = default;
    // The record shown changed: field == nullptr for the whole record (open, close, scroll, insert,
    // cancel, delete, a new packet), otherwise one field of the current record was assigned.
    virtual void recordChanged(const Field* field) = 0;
    // Before a post: a control whose value the user changed writes it into its field now.
    virtual void updateData() {}
    // The field this link shows, if any (for focusControl and snapshots).
    virtual const std::string& fieldName() const = 0;
    // The control to focus for Field::focusControl; may select a grid column.
    virtual void focusField(const Field& field) = 0;
    // Shows several fields and can select one of them (a grid): the control a field focuses when no
    // control is bound to it by name.
    virtual bool selectsFields() const { return false; }
};

class DataSource {
public:
    explicit DataSource(std::string name);
    ~DataSource();
    DataSource(const DataSource&) = delete;
    DataSource& operator=(const DataSource&) = delete;

    const std::string& name() const { return name_; }
    void setDataSet(DataSet* dataSet);
    DataSet* dataSet() const { return dataSet_; }
    DataSetState state() const; // inactive without a dataset

    std::function<void(DataSource& sender)> onStateChange;
    std::function<void(DataSource& sender, const Field* field)> onDataChange;

    void addLink(DataLink* link);
    void removeLink(DataLink* link);
    const std::vector<DataLink*>& links() const { return links_; }

    // Called by the dataset.
    void notifyStateChange();
    void notifyRecordChanged(const Field* field);
    void notifyUpdateData();

private:
    std::string name_;
    DataSet* dataSet_ = nullptr;
    std::vector<DataLink*> links_;
};

// A client dataset: rows held in memory, ordered by an optional index field, with a change log of
// the edits since the last merge that becomes the change packet sent to the server.
class DataSet {
public:
    explicit DataSet(std::string name);
    ~DataSet();
    DataSet(const DataSet&) = delete;
    DataSet& operator=(const DataSet&) = delete;

    const std::string& name() const { return name_; }

    // Definition (while inactive).
    Field& addField(std::string name, int size, std::string label = {}, bool visible = true);
    Field& fieldByName(std::string_view name); // DataSetError when absent
    Field* findField(std::string_view name);
    const std::vector<std::unique_ptr<Field>>& fields() const { return fields_; }
    int fieldCount() const { return static_cast<int>(fields_.size()); }
    // Rows are kept ordered by this field (ascending, byte order); empty name: arrival order.
    void setIndexFieldName(std::string name);
    const std::string& indexFieldName() const { return indexField_; }

    // Events.
    std::function<void(DataSet&)> afterOpen, afterClose, beforePost, afterPost, afterScroll, onNewRecord,
        afterInsert, afterEdit, afterCancel, beforeDelete, afterDelete;

    DataSetState state() const { return state_; }
    bool active() const { return state_ != DataSetState::Inactive; }
    bool isEditing() const { return state_ == DataSetState::Edit || state_ == DataSetState::Insert; }

    void open();
    void close();
    // Replaces every row with the packet's (fields matched by name; declared fields the packet lacks
    // are null); a closed dataset is opened, an open one closed and opened again. The change log is
    // emptied.
    void setData(const wire::DataPacket& packet);
    // The rows as a data packet of the declared fields, in index order.
    wire::DataPacket data() const;

    int recordCount() const;
    int recNo() const; // 1-based; 0 when empty or inactive
    bool isEmpty() const { return recordCount() == 0; }
    bool bof() const;
    bool eof() const;
    void first();
    void last();
    void next();
    void prior();
    void moveTo(int recNo); // clamps to the rows; runs after-scroll

    // keyFields separated by ';', one value per field. Returns whether a record was found; a miss
    // leaves the position alone and runs nothing.
    bool locate(std::string_view keyFields, const std::vector<std::string>& values,
                LocateOptions options = {});

    void edit();   // browse -> edit; no effect while editing
    void insert(); // a new empty record (all null) at the current position
    void post();   // no effect in browse
    void cancel(); // no effect in browse
    void remove(); // deletes the current record

    // Change log.
    bool logChanges() const { return logChanges_; }
    void setLogChanges(bool on) { logChanges_ = on; }
    int changeCount() const;
    wire::ChangePacket changePacket() const;
    void mergeChangeLog(); // the logged changes become base data
    void cancelUpdates();  // back to the base data: deleted rows return, inserted ones go

    // Current record access (used by Field).
    Value currentValue(int fieldIndex) const;
    void assignCurrent(int fieldIndex, Value value);
    // The value of row `row` (0-based, index order) without moving.
    Value valueAt(int row, int fieldIndex) const;

    // The same values without copying, for writers that only read them: valid until the dataset
    // changes. The caller checks the field index (and the row) against the dataset first.
    std::optional<std::string_view> peekCurrent(int fieldIndex) const;
    std::optional<std::string_view> peekAt(int row, int fieldIndex) const;
    // A number that changes whenever the content of row `row` (0-based, as recordCount counts them,
    // the record being edited or inserted included) may have changed, and never comes back: a writer
    // that remembers it per row knows which rows to send again. Rows that move keep theirs, so an
    // insert or delete changes it at every row index after the place.
    std::uint64_t rowGeneration(int row) const;

    // Data sources linked to this dataset (DataSource::setDataSet maintains the list).
    void attachSource(DataSource* source);
    void detachSource(DataSource* source);
    // Approximate bytes held by the rows, for the memory benchmark.
    std::size_t memoryBytes() const;

private:
    // The stored row shown at `row`, or -1 for the record being edited or inserted.
    int storedRow(int row) const;

    struct Impl;
    std::unique_ptr<Impl> impl_;
    std::string name_;
    std::vector<std::unique_ptr<Field>> fields_;
    std::string indexField_;
    DataSetState state_ = DataSetState::Inactive;
    bool logChanges_ = true;
    std::vector<DataSource*> sources_;
    friend class Field;
};

} // namespace tk
