#pragma once

// The binding of a data-aware control to one field of a data source's dataset. The control is the
// DataLink that the data source notifies; this class keeps the registration and finds the field.

#include "toolkit/DataSet.h"

#include <string>

namespace tk {

// The text a display shows for the field's current value: its get-text handler's display text when it
// has one, otherwise the value formatted through the field's edit mask.
std::string fieldDisplayText(const Field& field);

class FieldLink {
public:
    explicit FieldLink(DataLink& owner) : owner_(owner) {}
    ~FieldLink();
    FieldLink(const FieldLink&) = delete;
    FieldLink& operator=(const FieldLink&) = delete;

    // Registers the owner with the new source (and leaves the old one).
    void setDataSource(DataSource* source);
    DataSource* dataSource() const { return source_; }
    void setFieldName(std::string name);
    const std::string& fieldName() const { return fieldName_; }

    DataSet* dataSet() const { return source_ ? source_->dataSet() : nullptr; }
    // The bound field, or nullptr when there is no dataset or it has no such field.
    Field* field() const;
    bool active() const;
    bool editing() const;
    // The dataset is open and stands on a record (a new record in insert counts).
    bool hasRecord() const;

private:
    DataLink& owner_;
    DataSource* source_ = nullptr;
    std::string fieldName_;
    // Fields are only ever added to a dataset, so a field once found stays valid while its dataset
    // does; the cache is dropped when the source points at another dataset.
    mutable DataSet* cachedSet_ = nullptr;
    mutable Field* cachedField_ = nullptr;
};

} // namespace tk
