#include "frm/LookupRows.h"

#include "toolkit/DataSet.h"
#include "toolkit/EditMask.h"
#include "toolkit/FieldLink.h"

#include <functional>

namespace frm {

namespace {

// Holds the dataset's scroll event back while rows are read, and returns to the starting record.
class QuietWalk {
public:
    explicit QuietWalk(tk::DataSet& set)
        : set_(set), saved_(std::move(set.afterScroll)), recNo_(set.recNo()) {
        set_.afterScroll = nullptr;
    }
    ~QuietWalk() {
        try {
            if (recNo_ > 0 && set_.recNo() != recNo_) set_.moveTo(recNo_);
        } catch (...) {
            // The dataset refuses to move back only when it was closed meanwhile; nothing to restore.
        }
        set_.afterScroll = std::move(saved_);
    }
    QuietWalk(const QuietWalk&) = delete;
    QuietWalk& operator=(const QuietWalk&) = delete;

private:
    tk::DataSet& set_;
    std::function<void(tk::DataSet&)> saved_;
    int recNo_;
};

} // namespace

tk::DialogRows lookupRows(tk::DataSet& set, std::string_view keyField) {
    tk::DialogRows out;
    std::vector<tk::Field*> shown;
    bool needsWalk = false;
    for (const auto& field : set.fields()) {
        if (!field->visible) continue;
        shown.push_back(field.get());
        out.fields.push_back(field->name());
        out.labels.push_back(field->displayLabel.empty() ? field->name() : field->displayLabel);
        if (field->onGetText) needsWalk = true;
    }
    const tk::Field* key = keyField.empty() ? nullptr : set.findField(keyField);
    const int count = set.active() ? set.recordCount() : 0;
    // A record being edited cannot be left; its rows are then read as stored.
    if (set.isEditing()) needsWalk = false;

    auto rowTexts = [&](int row) {
        std::vector<std::string> texts;
        texts.reserve(shown.size());
        for (tk::Field* field : shown) {
            if (needsWalk) {
                texts.push_back(tk::fieldDisplayText(*field));
            } else {
                const tk::Value value = set.valueAt(row, field->index());
                texts.push_back(tk::FormatMaskText(field->editMask(), value.value_or("")));
            }
        }
        return texts;
    };

    if (needsWalk) {
        QuietWalk walk(set);
        for (int row = 0; row < count; ++row) {
            set.moveTo(row + 1);
            out.rows.push_back(rowTexts(row));
        }
    } else {
        for (int row = 0; row < count; ++row)
            out.rows.push_back(rowTexts(row));
    }
    if (key)
        for (int row = 0; row < count; ++row)
            out.keys.push_back(set.valueAt(row, key->index()).value_or(""));
    return out;
}

} // namespace frm
