#include "toolkit/Form.h"

#include "toolkit/Application.h"
#include "toolkit/ControlKinds.h"

#include <algorithm>
#include <atomic>

namespace tk {

namespace {

void run(const std::function<void(Control&)>& handler, Control& control) {
    if (!handler) return;
    auto copy = handler;
    copy(control);
}

} // namespace

const char* toString(WindowState state) {
    switch (state) {
    case WindowState::Normal:
        return "normal";
    case WindowState::Minimized:
        return "minimized";
    case WindowState::Maximized:
        return "maximized";
    }
    return "normal";
}

namespace {
std::atomic<std::uint64_t> formSerials{0};
} // namespace

Form::Form(std::string name) : Component(std::move(name)), serial_(++formSerials) {}

Form::~Form() {
    destroying_ = true;
    active_ = nullptr;
    // Children before parents: controls are created after their parents, so reverse creation order.
    while (!controls_.empty())
        controls_.pop_back();
    while (!dataSources_.empty())
        dataSources_.pop_back();
    while (!dataSets_.empty())
        dataSets_.pop_back();
}

void Form::checkName(const std::string& name) const {
    if (name.empty()) throw std::invalid_argument("componente sem nome no formulário " + this->name());
    const bool taken =
        byName_.count(name) != 0 ||
        std::any_of(dataSets_.begin(), dataSets_.end(), [&](const auto& d) { return d->name() == name; }) ||
        std::any_of(dataSources_.begin(), dataSources_.end(),
                    [&](const auto& d) { return d->name() == name; });
    if (taken)
        throw std::invalid_argument("nome de componente repetido no formulário " + this->name() + ": " +
                                    name);
}

void Form::adopt(std::unique_ptr<Control> control) {
    Control* raw = control.get();
    if (raw->parent() && &raw->parent()->form() != this)
        throw std::invalid_argument("o pai de " + raw->name() + " pertence a outro formulário");
    byName_.emplace(raw->name(), raw);
    if (!raw->parent()) roots_.push_back(raw);
    controls_.push_back(std::move(control));
}

Control& Form::createControl(std::string_view type, std::string name, Control* parent) {
    const ControlKind* kind = ControlKinds::find(type);
    if (!kind || !kind->creatable())
        throw std::invalid_argument("tipo de controle desconhecido: " + std::string(type));
    return kind->create(*this, std::move(name), parent);
}

DataSet& Form::addDataSet(std::string name) {
    checkName(name);
    dataSets_.push_back(std::make_unique<DataSet>(std::move(name)));
    return *dataSets_.back();
}

DataSource& Form::addDataSource(std::string name, DataSet* dataSet) {
    checkName(name);
    dataSources_.push_back(std::make_unique<DataSource>(std::move(name)));
    DataSource& source = *dataSources_.back();
    if (dataSet) source.setDataSet(dataSet);
    return source;
}

Control* Form::control(std::string_view name) const {
    const auto it = byName_.find(name);
    return it == byName_.end() ? nullptr : it->second;
}

DataSet* Form::dataSet(std::string_view name) const {
    for (const auto& d : dataSets_)
        if (d->name() == name) return d.get();
    return nullptr;
}

DataSource* Form::dataSource(std::string_view name) const {
    for (const auto& d : dataSources_)
        if (d->name() == name) return d.get();
    return nullptr;
}

void Form::create() {
    if (onCreate) {
        auto handler = onCreate;
        handler(*this);
    }
}

void Form::show() {
    const bool wasVisible = visible_;
    visible_ = true;
    if (!wasVisible && onShow) {
        auto handler = onShow;
        handler(*this);
    }
}

void Form::close(CloseQuery query) {
    if (query == CloseQuery::Ask && onCloseQuery) {
        bool canClose = true;
        auto handler = onCloseQuery;
        handler(*this, canClose);
        if (!canClose) return;
    }
    CloseAction action = CloseAction::Hide;
    if (onClose) {
        auto handler = onClose;
        handler(*this, action);
    }
    switch (action) {
    case CloseAction::None:
        break;
    case CloseAction::Hide:
        visible_ = false;
        break;
    case CloseAction::Minimize:
        windowState_ = WindowState::Minimized;
        break;
    case CloseAction::Free:
        visible_ = false;
        // Released after the event that closed it: handlers of this form may still be on the stack.
        if (Application* app = Application::currentOrNull()) app->releaseLater(this);
        break;
    }
}

void Form::setFocus(Control* target) {
    if (target && (&target->form() != this || !target->canFocus())) return;
    if (leaving_) {
        // An exit handler asks for the focus while a move runs: the request replaces the move's
        // target (asking for the control being left keeps the focus there).
        redirected_ = true;
        redirect_ = target;
        return;
    }
    if (target == active_) return;

    Control* old = active_;
    leaving_ = true;
    leavingControl_ = old;
    redirected_ = false;
    redirect_ = nullptr;
    try {
        if (old) {
            old->writeBack();
            run(old->onExit, *old);
            for (Control* c = old->parent(); c; c = c->parent()) {
                if (target && c->isAncestorOf(target)) break;
                run(c->onExit, *c);
            }
        }
    } catch (...) {
        leaving_ = false;
        leavingControl_ = nullptr;
        if (redirected_ && redirect_ && redirect_ != old && redirect_->canFocus()) {
            active_ = redirect_;
            enter(redirect_, old);
        }
        throw;
    }
    leaving_ = false;
    leavingControl_ = nullptr;
    if (redirected_) {
        if (redirect_ == old) return;
        target = redirect_;
        if (target && !target->canFocus()) return;
    }
    active_ = target;
    if (target) enter(target, old);
}

void Form::enter(Control* target, const Control* previous) {
    std::vector<Control*> entered;
    for (Control* c = target->parent(); c; c = c->parent()) {
        if (previous && c->isAncestorOf(previous)) break;
        entered.push_back(c);
    }
    for (auto it = entered.rbegin(); it != entered.rend(); ++it) {
        run((*it)->onEnter, **it);
        // An enter handler that moved the focus elsewhere ends this move.
        if (active_ != target) return;
    }
    run(target->onEnter, *target);
}

std::vector<Control*> Form::tabOrderList() const {
    std::vector<Control*> result;
    std::function<void(const std::vector<Control*>&)> visit = [&](const std::vector<Control*>& siblings) {
        std::vector<Control*> ordered(siblings);
        std::stable_sort(ordered.begin(), ordered.end(),
                         [](const Control* a, const Control* b) { return a->tabOrder() < b->tabOrder(); });
        for (Control* c : ordered) {
            if (c->canFocus() && c->tabStop()) result.push_back(c);
            if (!c->children().empty()) visit(c->children());
        }
    };
    visit(roots_);
    return result;
}

void Form::focusNext(bool backwards) {
    const auto order = tabOrderList();
    if (order.empty()) return;
    const auto n = static_cast<long>(order.size());
    const auto it = std::find(order.begin(), order.end(), active_);
    long index;
    if (it == order.end())
        index = backwards ? n - 1 : 0;
    else
        index = ((it - order.begin()) + (backwards ? n - 1 : 1)) % n;
    setFocus(order[static_cast<std::size_t>(index)]);
}

} // namespace tk
