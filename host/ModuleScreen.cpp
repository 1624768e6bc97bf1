#include "ModuleScreen.h"

#include "toolkit/Application.h"
#include "toolkit/DBGrid.h"
#include "toolkit/DBNavigator.h"
#include "toolkit/Form.h"
#include "toolkit/Input.h"
#include "toolkit/PageControl.h"
#include "toolkit/Snapshot.h"
#include "wire/Packet.h"

#ifdef TIPOPER_HOST_HAS_LIB
#include "lib/Morvala.h"
#endif

#include <unordered_map>

namespace host {

using nlohmann::json;

namespace {

// The unit globals a reviewer checks, in this order; a unit that lacks one shows it as null.
constexpr const char* kUnitMembers[] = {"boStCriado",  "boControlDocOrig", "boControlEncRat",
                                        "stDocOrigem", "stListaEncRat",    "stCampoNull"};

ActResult fromInput(const tk::InputResult& result) {
    switch (result.status) {
    case tk::InputStatus::Ok:
        return ActResult::ok();
    case tk::InputStatus::Unknown:
        return ActResult::unknown(result.reason);
    case tk::InputStatus::Refused:
        return ActResult::refused(result.reason);
    }
    return ActResult::ok();
}

} // namespace

tk::Form* ModuleScreen::form() const {
    for (const auto& f : tk::Application::current().forms())
        if (f->name() == module_.formName) return f.get();
    return nullptr;
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
    module_.initialize();
    started_ = true;
}

void ModuleScreen::stop() {
    // Closed as the user closes it, so the screen's close handler disconnects and clears its flags
    // before the unit is finalized; without the question about unsaved edits, since a session that
    // ends has nobody left to answer it.
    if (tk::Form* f = form(); f && f->visible()) tk::Input::close(*f, tk::CloseQuery::Skip);
    afterAct();
    if (started_) {
        started_ = false;
        module_.finalize();
    }
}

void ModuleScreen::afterAct() {
    tk::Application::current().collectReleased();
}

ActResult ModuleScreen::act(const Event& event) {
    if (event.type == EventType::Open) {
        module_.iniProc();
        return ActResult::ok();
    }
    tk::Form* f = form();
    if (!f || !f->visible())
        return ActResult::refused("A tela não está aberta: envie antes o evento \"open\".");
    tk::Form& screen = *f;
    switch (event.type) {
    case EventType::Click:
        return fromInput(tk::Input::click(screen, event.control));
    case EventType::Focus:
        return fromInput(event.column ? tk::Input::gridFocus(screen, event.control, *event.column)
                                      : tk::Input::focus(screen, event.control));
    case EventType::Type:
        return fromInput(event.column ? tk::Input::gridType(screen, event.control, *event.column, event.text)
                                      : tk::Input::type(screen, event.control, event.text));
    case EventType::Pick:
        return fromInput(tk::Input::pick(screen, event.control, event.index));
    case EventType::Key: {
        tk::ShiftState shift;
        shift.shift = event.shift;
        shift.alt = event.alt;
        shift.ctrl = event.ctrl;
        return fromInput(tk::Input::key(screen, event.control, event.key, shift));
    }
    case EventType::Page:
        return fromInput(tk::Input::page(screen, event.page));
    case EventType::Move:
        return fromInput(tk::Input::move(screen, event.dataSet, event.recNo));
    case EventType::Close:
        return fromInput(tk::Input::close(screen));
    case EventType::Open:
    case EventType::Answer:
        break;
    }
    return ActResult::refused("Evento não aplicável à tela.");
}

std::string ModuleScreen::view(bool withRows) const {
    std::string out;
    out.reserve(64 * 1024);
    tk::Form* f = form();
    json activePage = nullptr;
    out += "{\"controls\":{";
    if (f) {
        // Where each control stands in the focus order, its creation order and the dataset a grid or
        // navigator shows: the renderer follows them.
        std::unordered_map<const tk::Control*, int> tabIndex;
        int i = 0;
        for (const tk::Control* c : f->tabOrderList())
            tabIndex[c] = i++;
        int index = 0;
        bool pagesSeen = false;
        for (const auto& c : f->controls()) {
            json entry = tk::Snapshot::control(*c);
            if (!pagesSeen && dynamic_cast<const tk::TPageControl*>(c.get())) {
                pagesSeen = true;
                activePage = entry.value("activePage", json(nullptr));
            }
            entry["index"] = index;
            auto it = tabIndex.find(c.get());
            entry["tabIndex"] = it == tabIndex.end() ? json(nullptr) : json(it->second);
            const tk::DataSource* source = nullptr;
            if (auto* grid = dynamic_cast<const tk::TDBGrid*>(c.get()))
                source = grid->dataSource();
            else if (auto* nav = dynamic_cast<const tk::TDBNavigator*>(c.get()))
                source = nav->dataSource();
            if (source && source->dataSet()) entry["dataSet"] = source->dataSet()->name();
            if (index++) out += ',';
            wire::appendJsonString(out, c->name());
            out += ':';
            auto& cached = written_[c->name()];
            if (cached.text.empty() || cached.value != entry) {
                cached.text = entry.dump();
                cached.value = std::move(entry);
            }
            out += cached.text;
        }
    }
    out += "},\"activePage\":";
    out += activePage.dump();
    out += ",\"focus\":";
    if (f && f->activeControl())
        wire::appendJsonString(out, f->activeControl()->name());
    else
        out += "null";
    out += ",\"datasets\":{";
    if (f) {
        bool first = true;
        for (const auto& set : f->dataSets()) {
            if (!first) out += ',';
            first = false;
            wire::appendJsonString(out, set->name());
            out += ':';
            out += tk::Snapshot::dataSet(*set, withRows).dump();
        }
    }
    out += "},\"unit\":";
    const auto& units = tk::Application::current().units();
    auto unit = units.find(module_.unitName);
    if (unit == units.end() || !unit->second) {
        out += "null";
    } else {
        const json all = json::parse(unit->second->snapshotJson(), nullptr, false);
        json picked = json::object();
        for (const char* member : kUnitMembers)
            picked[member] = all.is_object() && all.contains(member) ? all[member] : json(nullptr);
        out += picked.dump();
    }
    out += '}';
    return out;
}

} // namespace host
