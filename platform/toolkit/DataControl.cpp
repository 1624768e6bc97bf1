#include "toolkit/DataControl.h"

#include "toolkit/ControlKinds.h"
#include "toolkit/Form.h"
#include "toolkit/MemberSink.h"

namespace tk {

DataControl::DataControl(Form& form, std::string name, Control* parent)
    : Control(form, std::move(name), parent), link_(*this) {}

void DataControl::setDataSource(DataSource* source) {
    link_.setDataSource(source);
    recordChanged(nullptr);
}

void DataControl::setDataField(std::string field) {
    link_.setFieldName(std::move(field));
    recordChanged(nullptr);
}

void DataControl::writeBack() {
    if (!marked_) return;
    Field* f = field();
    if (!f || !editing()) return;
    if (writeValue(*f)) marked_ = false;
}

void DataControl::recordChanged(const Field* changed) {
    if (changed && changed != field()) return;
    marked_ = false;
    showRecord();
}

void DataControl::focusField(const Field&) {
    form().setFocus(this);
}

void DataControl::describeKind(MemberSink& out) const {
    const DataSet* set = dataSet();
    if (set)
        out.text("dataSet", set->name());
    else
        out.null("dataSet");
}

void DataControl::describeField(MemberSink& out) const {
    if (const Field* f = field()) out.text("field", f->name());
}

namespace {

const KindRegistration registration{
    KindOf<DataControl>("DataControl", "Control", false)
        .property<std::string>("dataSource",
                               [](DataControl& c, const std::string& name) {
                                   DataSource* source = c.form().dataSource(name);
                                   if (!source)
                                       throw std::invalid_argument("fonte de dados inexistente para " +
                                                                   c.name() + ": " + name);
                                   c.setDataSource(source);
                               })
        .property("field", &DataControl::setDataField)
        .property("readOnly", &DataControl::setReadOnly)};

} // namespace

} // namespace tk
