#include "toolkit/FieldLink.h"

#include "toolkit/EditMask.h"

namespace tk {

std::string fieldDisplayText(const Field& field) {
    if (field.onGetText) return field.displayText();
    return FormatMaskText(field.editMask(), field.asString());
}

FieldLink::~FieldLink() {
    if (source_) source_->removeLink(&owner_);
}

void FieldLink::setDataSource(DataSource* source) {
    if (source == source_) return;
    if (source_) source_->removeLink(&owner_);
    source_ = source;
    cachedSet_ = nullptr;
    cachedField_ = nullptr;
    if (source_) source_->addLink(&owner_);
}

void FieldLink::setFieldName(std::string name) {
    fieldName_ = std::move(name);
    cachedSet_ = nullptr;
    cachedField_ = nullptr;
}

Field* FieldLink::field() const {
    DataSet* set = dataSet();
    if (!set || fieldName_.empty()) return nullptr;
    if (set != cachedSet_ || !cachedField_) {
        cachedSet_ = set;
        cachedField_ = set->findField(fieldName_);
    }
    return cachedField_;
}

bool FieldLink::active() const {
    const DataSet* set = dataSet();
    return set && set->active();
}

bool FieldLink::editing() const {
    const DataSet* set = dataSet();
    return set && set->isEditing();
}

bool FieldLink::hasRecord() const {
    const DataSet* set = dataSet();
    return set && set->active() && (set->isEditing() || set->recordCount() > 0);
}

} // namespace tk
