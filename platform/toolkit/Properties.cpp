#include "toolkit/Properties.h"

#include "toolkit/DataSet.h"
#include "toolkit/Form.h"

#include <utility>

namespace tk {

namespace {

template <class Owner, class Slot, std::size_t N>
std::optional<EventSlot> lookup(Owner& owner, const std::pair<std::string_view, Slot Owner::*> (&table)[N],
                                std::string_view name) {
    for (const auto& [event, member] : table)
        if (event == name) return EventSlot(&(owner.*member));
    return std::nullopt;
}

using DataSetEvent = std::function<void(DataSet&)>;
using FormEvent = std::function<void(Form&)>;

} // namespace

std::optional<EventSlot> eventOf(Form& form, std::string_view name) {
    if (name == "OnClose") return EventSlot(&form.onClose);
    if (name == "OnCloseQuery") return EventSlot(&form.onCloseQuery);
    static const std::pair<std::string_view, FormEvent Form::*> table[] = {{"OnCreate", &Form::onCreate},
                                                                           {"OnShow", &Form::onShow}};
    return lookup(form, table, name);
}

std::optional<EventSlot> eventOf(DataSet& set, std::string_view name) {
    static const std::pair<std::string_view, DataSetEvent DataSet::*> table[] = {
        {"AfterOpen", &DataSet::afterOpen},     {"AfterClose", &DataSet::afterClose},
        {"BeforePost", &DataSet::beforePost},   {"AfterPost", &DataSet::afterPost},
        {"AfterScroll", &DataSet::afterScroll}, {"OnNewRecord", &DataSet::onNewRecord},
        {"AfterInsert", &DataSet::afterInsert}, {"AfterEdit", &DataSet::afterEdit},
        {"AfterCancel", &DataSet::afterCancel}, {"BeforeDelete", &DataSet::beforeDelete},
        {"AfterDelete", &DataSet::afterDelete}};
    return lookup(set, table, name);
}

std::optional<EventSlot> eventOf(DataSource& source, std::string_view name) {
    if (name == "OnStateChange") return EventSlot(&source.onStateChange);
    if (name == "OnDataChange") return EventSlot(&source.onDataChange);
    return std::nullopt;
}

std::optional<EventSlot> eventOf(Field& field, std::string_view name) {
    if (name == "OnGetText") return EventSlot(&field.onGetText);
    if (name == "OnSetText") return EventSlot(&field.onSetText);
    return std::nullopt;
}

} // namespace tk
