#include "ModuleScreen.h"

#include "toolkit/Application.h"
#include "toolkit/Form.h"
#include "toolkit/Input.h"

#ifdef TIPOPER_HOST_HAS_LIB
#include "lib/Morvala.h"
#endif

namespace host {

namespace {

ActResult fromInput(const tk::InputResult& result) {
    switch (result.status) {
    case tk::InputStatus::Ok:
        return ActResult::ok();
    case tk::InputStatus::Unknown:
        return ActResult::unknown(result.code, result.reason);
    case tk::InputStatus::Refused:
        return ActResult::refused(result.code, result.reason);
    }
    return ActResult::ok();
}

} // namespace

tk::Form* ModuleScreen::screen() const {
    return module_->screen();
}

const tk::Form* ModuleScreen::form() const {
    return screen();
}

const tk::UnitState* ModuleScreen::unit() const {
    return module_->unit();
}

void ModuleScreen::start() {
#ifdef TIPOPER_HOST_HAS_LIB
    auto& client = tk::Application::current();
    if (!who_.credential.secret.empty())
        Morvala::setClientCredential(client, Morvala::Credential{who_.credential.kind == Credential::Kind::Ticket
                                                                     ? Morvala::Credential::Kind::Ticket
                                                                     : Morvala::Credential::Kind::Token,
                                                                 who_.credential.secret});
    if (!who_.user.empty()) Morvala::setClientUser(client, Morvala::ClientUser{who_.user, who_.role});
#endif
    module_->initialize();
    started_ = true;
}

void ModuleScreen::stop() {
    // Closed as the user closes it, so the screen's close handler disconnects and clears its flags
    // before the unit is finalized; without the question about unsaved edits, since a session that
    // ends has nobody left to answer it.
    if (tk::Form* f = screen(); f && f->visible()) tk::Input::close(*f, tk::CloseQuery::Skip);
    afterAct();
    if (started_) {
        started_ = false;
        module_->finalize();
    }
}

void ModuleScreen::afterAct() {
    tk::Application::current().collectReleased();
}

ActResult ModuleScreen::act(const Event& event) {
    if (event.type == EventType::Open) {
        module_->open();
        return ActResult::ok();
    }
    tk::Form* f = screen();
    if (!f || !f->visible())
        return ActResult::refused("screen-closed", "A tela não está aberta: envie antes o evento \"open\".");
    tk::Form& form = *f;
    switch (event.type) {
    case EventType::Click:
        return fromInput(tk::Input::click(form, event.control));
    case EventType::Focus:
        return fromInput(event.column ? tk::Input::gridFocus(form, event.control, *event.column)
                                      : tk::Input::focus(form, event.control));
    case EventType::Type:
        return fromInput(event.column ? tk::Input::gridType(form, event.control, *event.column, event.text)
                                      : tk::Input::type(form, event.control, event.text));
    case EventType::Pick:
        return fromInput(tk::Input::pick(form, event.control, event.index));
    case EventType::Key: {
        tk::ShiftState shift;
        shift.shift = event.shift;
        shift.alt = event.alt;
        shift.ctrl = event.ctrl;
        return fromInput(tk::Input::key(form, event.control, event.key, shift));
    }
    case EventType::Page:
        return fromInput(tk::Input::page(form, event.page));
    case EventType::Move:
        return fromInput(tk::Input::move(form, event.dataSet, event.recNo));
    case EventType::Sort:
        return fromInput(tk::Input::sort(form, event.control, *event.column, event.descending));
    case EventType::Close:
        return fromInput(tk::Input::close(form));
    case EventType::Open:
    case EventType::Answer:
        break;
    }
    return ActResult::refused("bad-request", "Evento não aplicável à tela.");
}

} // namespace host
