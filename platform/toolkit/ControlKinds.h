#pragma once

// The registry of control kinds: for each kind name ("TDBEdit", "TBtnPesquisa", ...) how to create
// one, the properties a definition may set on it and the events it may bind. Forms create controls
// by kind name through it and loaders set properties and bind events by name, so nothing outside a
// kind's own file needs to know its class.
//
// A kind inherits the properties and events of its base kind ("Control" for every kind, "DataControl"
// for the data-bound ones). Kinds register themselves when their library loads:
//
//   const tk::KindRegistration registration{tk::KindOf<TDBEdit>("TDBEdit", "DataControl")
//                                               .property("maxLength", &TDBEdit::setMaxLength)};

#include "toolkit/Form.h"
#include "toolkit/Properties.h"

#include <map>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <type_traits>

namespace tk {

class ControlKind {
public:
    using Factory = Control& (*)(Form& form, std::string name, Control* parent);
    using Setter = std::function<void(Control&, const PropertyValue&)>;
    using EventOf = std::function<EventSlot(Control&)>;

    const std::string& name() const { return name_; }
    // An abstract kind (a base such as "DataControl") cannot be created.
    bool creatable() const { return create_ != nullptr; }
    Control& create(Form& form, std::string name, Control* parent) const;

    bool hasProperty(std::string_view property) const { return findSetter(property) != nullptr; }
    // Sets a property of a control of this kind. Throws std::invalid_argument when the kind has no
    // such property or the value is of another type, and whatever the setter throws (an unknown
    // data source, ...).
    void set(Control& control, std::string_view property, const PropertyValue& value) const;
    // The slot of an event of a control of this kind; nullopt when the kind has no such event.
    std::optional<EventSlot> event(Control& control, std::string_view event) const;

private:
    template <class T> friend class KindOf;
    friend class ControlKinds;
    const Setter* findSetter(std::string_view property) const;

    const ControlKind* base() const;

    std::string name_;
    std::string baseName_;
    Factory create_ = nullptr;
    std::map<std::string, Setter, std::less<>> setters_;
    std::map<std::string, EventOf, std::less<>> events_;
};

class ControlKinds {
public:
    ControlKinds() = delete;
    // Registers a kind (its base may come later: bases are found by name when used). Throws on a
    // name registered twice.
    static void add(ControlKind kind);
    static void remove(std::string_view name);
    static const ControlKind* find(std::string_view name);
    // The kind of a control (by its type name); throws std::logic_error for a kind never registered.
    static const ControlKind& of(const Control& control);
};

// Keeps a kind registered while the library that defines it is loaded: a library unloaded (a
// package closed with dlclose) takes its kinds, whose code goes with it, out of the registry.
class KindRegistration {
public:
    explicit KindRegistration(ControlKind kind);
    ~KindRegistration();
    KindRegistration(const KindRegistration&) = delete;
    KindRegistration& operator=(const KindRegistration&) = delete;

private:
    std::string name_;
};

// Builds the registration of kind T.
template <class T> class KindOf {
public:
    // `base`: the kind whose properties and events T also takes (empty for the root).
    KindOf(std::string name, std::string base, bool creatable = true) {
        kind_.name_ = std::move(name);
        kind_.baseName_ = std::move(base);
        if constexpr (!std::is_abstract_v<T>) {
            if (creatable)
                kind_.create_ = [](Form& form, std::string n, Control* parent) -> Control& {
                    return form.add<T>(std::move(n), parent);
                };
        }
    }

    // A property set through a member function taking the value.
    template <class V> KindOf& property(std::string name, void (T::*setter)(V)) {
        using Plain = std::remove_cvref_t<V>;
        return property<Plain>(std::move(name),
                               [setter](T& control, const Plain& value) { (control.*setter)(value); });
    }
    // A property set by a function of the control and the value, of type V.
    template <class V, class F> KindOf& property(std::string name, F set) {
        const std::string key = name;
        kind_.setters_[key] = [set, name = std::move(name)](Control& control, const PropertyValue& value) {
            const V* typed = std::get_if<V>(&value);
            if (!typed)
                throw std::invalid_argument("valor de tipo errado para a propriedade " + name + " de " +
                                            control.name());
            set(static_cast<T&>(control), *typed);
        };
        return *this;
    }
    template <class Signature> KindOf& event(std::string name, std::function<Signature> T::*member) {
        kind_.events_[std::move(name)] = [member](Control& control) -> EventSlot {
            return &(static_cast<T&>(control).*member);
        };
        return *this;
    }

    operator ControlKind() const { return kind_; }

private:
    ControlKind kind_;
};

} // namespace tk
