#include "toolkit/Input.h"

#include "toolkit/DBGrid.h"
#include "toolkit/Form.h"
#include "toolkit/ListControl.h"
#include "toolkit/PageControl.h"
#include "toolkit/TabSheet.h"
#include "toolkit/TextControl.h"

namespace tk {

int InputResult::httpStatus() const {
    switch (status) {
    case InputStatus::Ok:
        return 200;
    case InputStatus::Unknown:
        return 404;
    case InputStatus::Refused:
        return 409;
    }
    return 200;
}

namespace {

InputResult unreachable(const Control& c, Reach why) {
    return InputResult::refused(
        why == Reach::Hidden ? refusal::Hidden : refusal::Disabled,
        "O controle " + c.name() +
            " não pode ser operado: está oculto, desabilitado ou dentro de um contêiner desabilitado.");
}

InputResult notEditing(const Control& c) {
    return InputResult::refused(refusal::NotEditing,
                                "O registro de " + c.name() + " não está em edição ou inclusão.");
}

InputResult wrongKind(const Control& c, const std::string& what) {
    return InputResult::refused(refusal::WrongKind, "O controle " + c.name() + " " + what + ".");
}

// Looks the control up and checks that the user can reach it.
InputResult reach(Form& form, std::string_view name, Control*& out) {
    out = form.control(name);
    if (!out)
        return InputResult::unknown(refusal::UnknownControl,
                                    "Controle inexistente: " + std::string(name) + ".");
    if (const Reach r = out->reach(); r != Reach::Ok) return unreachable(*out, r);
    return InputResult::done();
}

// Whether the act would change a bound value while its dataset does not edit.
bool changesUneditedData(const Control& c) {
    const DataControl* data = c.asData();
    return data && !data->editing();
}

// Moves the focus to a control that takes it. Returns false when the focus ended elsewhere (an exit
// handler sent it back): the act then stops there, as a click swallowed by a refused focus change.
bool focusFirst(Form& form, Control& c) {
    if (!c.canFocus()) return true;
    form.setFocus(&c);
    return form.activeControl() == &c;
}

// After the focus moved, exit handlers may have changed what the act relies on.
InputResult recheck(const Control& c, bool changesData) {
    if (const Reach r = c.reach(); r != Reach::Ok) return unreachable(c, r);
    if (changesData && changesUneditedData(c)) return notEditing(c);
    return InputResult::done();
}

} // namespace

InputResult Input::click(Form& form, std::string_view name) {
    Control* c = nullptr;
    if (auto r = reach(form, name, c); !r.ok()) return r;
    const bool writes = c->userClickWrites();
    if (writes) {
        if (const DataControl* data = c->asData(); data && data->readOnly())
            return InputResult::refused(refusal::ReadOnly, "A caixa " + c->name() + " é somente leitura.");
        if (changesUneditedData(*c)) return notEditing(*c);
    }
    if (!focusFirst(form, *c)) return InputResult::done();
    if (auto r = recheck(*c, writes); !r.ok()) return r;
    c->userClick();
    return InputResult::done();
}

InputResult Input::focus(Form& form, std::string_view name) {
    Control* c = nullptr;
    if (auto r = reach(form, name, c); !r.ok()) return r;
    if (!c->focusable())
        return InputResult::refused(refusal::NotFocusable, "O controle " + c->name() + " não recebe o foco.");
    form.setFocus(c);
    return InputResult::done();
}

InputResult Input::type(Form& form, std::string_view name, std::string_view text) {
    Control* c = nullptr;
    if (auto r = reach(form, name, c); !r.ok()) return r;
    TextControl* edit = c->asText();
    if (!edit) return wrongKind(*c, "não aceita texto");
    if (edit->readOnly())
        return InputResult::refused(refusal::ReadOnly, "O campo " + c->name() + " é somente leitura.");
    if (changesUneditedData(*c)) return notEditing(*c);

    if (!focusFirst(form, *c)) return InputResult::done();
    if (auto r = recheck(*c, true); !r.ok()) return r;
    edit->userType(text);
    return InputResult::done();
}

InputResult Input::pick(Form& form, std::string_view name, int index) {
    Control* c = nullptr;
    if (auto r = reach(form, name, c); !r.ok()) return r;
    ListControl* list = c->asList();
    if (!list) return wrongKind(*c, "não é uma lista de opções");
    if (index < 0 || static_cast<std::size_t>(index) >= list->items().size())
        return InputResult::refused(refusal::OutOfRange,
                                    "Item " + std::to_string(index) + " fora da lista de " + c->name() + ".");
    if (changesUneditedData(*c)) return notEditing(*c);

    if (!focusFirst(form, *c)) return InputResult::done();
    if (auto r = recheck(*c, true); !r.ok()) return r;
    list->userPick(index);
    return InputResult::done();
}

InputResult Input::key(Form& form, std::string_view name, std::uint16_t key, ShiftState shift) {
    Control* c = nullptr;
    if (auto r = reach(form, name, c); !r.ok()) return r;
    if (!focusFirst(form, *c)) return InputResult::done();
    if (auto r = recheck(*c, false); !r.ok()) return r;

    if (c->onKeyDown) {
        auto handler = c->onKeyDown;
        handler(*c, key, shift);
    }
    if (key == 0) return InputResult::done();
    if (c->userKey(key, shift)) return InputResult::done();
    if (key == keys::Tab && !shift.alt && !shift.ctrl) form.focusNext(shift.shift);
    return InputResult::done();
}

InputResult Input::page(Form& form, std::string_view name) {
    auto* sheet = form.find<TTabSheet>(name);
    if (!sheet)
        return InputResult::unknown(refusal::UnknownPage, "Página inexistente: " + std::string(name) + ".");
    TPageControl& pages = sheet->pageControl();
    if (const Reach r = pages.reach(); r != Reach::Ok) return unreachable(pages, r);
    if (!sheet->enabled() || !sheet->visible())
        return InputResult::refused(sheet->visible() ? refusal::Disabled : refusal::Hidden,
                                    "A página " + sheet->name() + " está desabilitada.");
    pages.userSelect(*sheet);
    return InputResult::done();
}

InputResult Input::move(Form& form, std::string_view name, int recNo) {
    DataSet* set = form.dataSet(name);
    if (!set)
        return InputResult::unknown(refusal::UnknownDataSet,
                                    "Conjunto de dados inexistente: " + std::string(name) + ".");
    if (!set->active())
        return InputResult::refused(refusal::DataSetClosed,
                                    "O conjunto de dados " + set->name() + " não está aberto.");
    if (set->isEditing())
        return InputResult::refused(refusal::Editing, "Confirme ou cancele a edição de " + set->name() +
                                                          " antes de mudar de registro.");
    if (recNo < 1 || recNo > set->recordCount())
        return InputResult::refused(refusal::OutOfRange,
                                    "Registro " + std::to_string(recNo) + " fora de " + set->name() + ".");
    set->moveTo(recNo);
    return InputResult::done();
}

namespace {

InputResult reachGrid(Form& form, std::string_view name, std::string_view column, TDBGrid*& grid,
                      int& index) {
    Control* c = form.control(name);
    if (!c)
        return InputResult::unknown(refusal::UnknownControl,
                                    "Controle inexistente: " + std::string(name) + ".");
    // The grid acts are the grid's own: only a grid has columns to select.
    grid = form.find<TDBGrid>(name);
    if (!grid) return wrongKind(*c, "não é uma grade");
    index = grid->columnOf(column);
    if (index < 0)
        return InputResult::unknown(refusal::UnknownColumn, "Coluna inexistente na grade " + grid->name() +
                                                                ": " + std::string(column) + ".");
    if (const Reach r = grid->reach(); r != Reach::Ok) return unreachable(*grid, r);
    return InputResult::done();
}

InputResult notEditable(const TDBGrid& grid) {
    return InputResult::refused(refusal::ReadOnly, "A grade " + grid.name() + " não permite edição.");
}

} // namespace

InputResult Input::gridFocus(Form& form, std::string_view name, std::string_view column) {
    TDBGrid* grid = nullptr;
    int index = -1;
    if (auto r = reachGrid(form, name, column, grid, index); !r.ok()) return r;
    if (!focusFirst(form, *grid)) return InputResult::done();
    grid->selectColumn(index);
    return InputResult::done();
}

InputResult Input::gridType(Form& form, std::string_view name, std::string_view column,
                            std::string_view text) {
    TDBGrid* grid = nullptr;
    int index = -1;
    if (auto r = reachGrid(form, name, column, grid, index); !r.ok()) return r;
    if (!grid->editingEnabled()) return notEditable(*grid);
    if (changesUneditedData(*grid)) return notEditing(*grid);

    if (!focusFirst(form, *grid)) return InputResult::done();
    grid->selectColumn(index);
    // The column-exit handler may have refused the move or ended the edit.
    if (grid->selectedIndex() != index) return InputResult::done();
    if (auto r = recheck(*grid, true); !r.ok()) return r;
    if (!grid->editingEnabled()) return notEditable(*grid);
    grid->typeText(text);
    return InputResult::done();
}

InputResult Input::close(Form& form, CloseQuery query) {
    form.close(query);
    return InputResult::done();
}

} // namespace tk
