#include "toolkit/ControlKinds.h"

#include "toolkit/Bevel.h"
#include "toolkit/GroupBox.h"
#include "toolkit/Label.h"
#include "toolkit/MenuItem.h"
#include "toolkit/PageControl.h"
#include "toolkit/Panel.h"
#include "toolkit/ScrollBox.h"
#include "toolkit/SpeedButton.h"
#include "toolkit/TabSheet.h"

#include <mutex>

namespace tk {

namespace {

struct Registry {
    std::mutex mutex;
    std::map<std::string, std::unique_ptr<ControlKind>, std::less<>> kinds;
};

Registry& registry() {
    static Registry r;
    return r;
}

} // namespace

void ControlKinds::add(ControlKind kind) {
    Registry& r = registry();
    std::lock_guard lock(r.mutex);
    const std::string name = kind.name();
    if (r.kinds.count(name)) throw std::logic_error("tipo de controle registrado duas vezes: " + name);
    r.kinds.emplace(name, std::make_unique<ControlKind>(std::move(kind)));
}

void ControlKinds::remove(std::string_view name) {
    Registry& r = registry();
    std::lock_guard lock(r.mutex);
    if (const auto it = r.kinds.find(name); it != r.kinds.end()) r.kinds.erase(it);
}

KindRegistration::KindRegistration(ControlKind kind) : name_(kind.name()) {
    ControlKinds::add(std::move(kind));
}

KindRegistration::~KindRegistration() {
    ControlKinds::remove(name_);
}

const ControlKind* ControlKinds::find(std::string_view name) {
    Registry& r = registry();
    std::lock_guard lock(r.mutex);
    const auto it = r.kinds.find(name);
    // Kinds are never removed, so the pointer stays valid after the lock is released.
    return it == r.kinds.end() ? nullptr : it->second.get();
}

const ControlKind& ControlKinds::of(const Control& control) {
    if (const ControlKind* kind = find(control.typeName())) return *kind;
    throw std::logic_error(std::string("tipo de controle não registrado: ") + control.typeName());
}

const ControlKind* ControlKind::base() const {
    return baseName_.empty() ? nullptr : ControlKinds::find(baseName_);
}

Control& ControlKind::create(Form& form, std::string name, Control* parent) const {
    if (!create_) throw std::invalid_argument("o tipo de controle " + name_ + " não pode ser criado");
    return create_(form, std::move(name), parent);
}

const ControlKind::Setter* ControlKind::findSetter(std::string_view property) const {
    for (const ControlKind* k = this; k; k = k->base())
        if (const auto it = k->setters_.find(property); it != k->setters_.end()) return &it->second;
    return nullptr;
}

void ControlKind::set(Control& control, std::string_view property, const PropertyValue& value) const {
    const Setter* setter = findSetter(property);
    if (!setter)
        throw std::invalid_argument("o controle " + control.name() + " (" + name_ +
                                    ") não tem a propriedade " + std::string(property));
    (*setter)(control, value);
}

std::optional<EventSlot> ControlKind::event(Control& control, std::string_view name) const {
    for (const ControlKind* k = this; k; k = k->base())
        if (const auto it = k->events_.find(name); it != k->events_.end()) return it->second(control);
    return std::nullopt;
}

namespace {

// What every control takes, and the kinds that add nothing of their own.
const KindRegistration control{
    KindOf<Control>("Control", "")
        .property("caption", &Control::setCaption)
        .property("text", &Control::setText)
        .property("enabled", &Control::setEnabled)
        .property("visible", &Control::setVisible)
        .property("color", &Control::setColor)
        .property("hint", &Control::setHint)
        .property("tabStop", &Control::setTabStop)
        .property<Bounds>("bounds", [](Control& c, const Bounds& b) { c.setBounds(b); })
        .event("OnClick", &Control::onClick)
        .event("OnChange", &Control::onChange)
        .event("OnEnter", &Control::onEnter)
        .event("OnExit", &Control::onExit)
        .event("OnKeyDown", &Control::onKeyDown)
        .event("OnKeyPress", &Control::onKeyPress)};
const KindRegistration label{KindOf<TLabel>("TLabel", "Control")};
const KindRegistration bevel{KindOf<TBevel>("TBevel", "Control")};
const KindRegistration groupBox{KindOf<TGroupBox>("TGroupBox", "Control")};
const KindRegistration panel{KindOf<TPanel>("TPanel", "Control")};
const KindRegistration scrollBox{KindOf<TScrollBox>("TScrollBox", "Control")};
const KindRegistration pageControl{KindOf<TPageControl>("TPageControl", "Control")};
const KindRegistration tabSheet{KindOf<TTabSheet>("TTabSheet", "Control")};
const KindRegistration speedButton{KindOf<TSpeedButton>("TSpeedButton", "Control")};
const KindRegistration menuItem{KindOf<TMenuItem>("TMenuItem", "Control")};

} // namespace

} // namespace tk
