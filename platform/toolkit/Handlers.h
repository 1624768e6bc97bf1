#pragma once

// A screen's event handlers by name: the one list a screen writes, from which its definition's events
// are bound (the loader asks for each handler the definition names) and its unbound handlers are
// found (a name the definition uses that the list lacks).
//
//   #define SCREEN_HANDLER(name) tk::Handlers::entry<TfrmTela>(#name, &TfrmTela::name),
//   const tk::Handlers handlers{SCREEN_HANDLERS(SCREEN_HANDLER)};
//
// A handler binds to any event whose arguments it can take: a handler of the sender alone
// (`void f(tk::Component&)`) serves clicks, exits, changes, the form's creation and the search
// buttons' after-search alike.

#include "toolkit/Properties.h"

#include <functional>
#include <initializer_list>
#include <map>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>
#include <vector>

namespace tk {

class Handlers {
public:
    struct Entry {
        std::string name;
        // Binds the handler of `screen` into the slot; false when the handler cannot take the
        // event's arguments.
        std::function<bool(Form& screen, EventSlot slot)> bind;
    };

    // `Screen` is the form class the handlers run on; the method may be one of a base class.
    template <class Screen, class Base, class... Args>
    static Entry entry(std::string name, void (Base::*method)(Args...)) {
        static_assert(std::is_base_of_v<Form, Screen> && std::is_base_of_v<Base, Screen>);
        return {std::move(name), [method](Form& screen, EventSlot slot) {
                    auto& self = static_cast<Screen&>(screen);
                    return std::visit([&](auto* target) { return assign(self, method, target); }, slot);
                }};
    }

    Handlers(std::initializer_list<Entry> entries) : entries_(entries) {
        for (std::size_t i = 0; i < entries_.size(); ++i)
            index_.emplace(entries_[i].name, i);
    }

    const Entry* find(std::string_view name) const {
        const auto it = index_.find(name);
        return it == index_.end() ? nullptr : &entries_[it->second];
    }
    const std::vector<Entry>& entries() const { return entries_; }

private:
    template <class Screen, class Method, class... P>
    static bool assign(Screen& self, Method method, std::function<void(P...)>* target) {
        if constexpr (std::is_invocable_v<Method, Screen&, P...>) {
            *target = [&self, method](P... args) { (self.*method)(std::forward<P>(args)...); };
            return true;
        } else {
            return false;
        }
    }

    std::vector<Entry> entries_;
    std::map<std::string, std::size_t, std::less<>> index_;
};

} // namespace tk
