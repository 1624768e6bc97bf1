#include "toolkit/Input.h"

#include "toolkit/ComboBox.h"
#include "toolkit/DBCheckBox.h"
#include "toolkit/DBComboBox.h"
#include "toolkit/DBEdit.h"
#include "toolkit/DBGrid.h"
#include "toolkit/Edit.h"
#include "toolkit/EditMask.h"
#include "toolkit/Form.h"
#include "toolkit/PageControl.h"
#include "toolkit/TabSheet.h"
#include "toolkit/Utf8.h"

#include <cctype>

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

InputResult notOperable(const Control& c) {
    return InputResult::refused(
        "O controle " + c.name() +
        " não pode ser operado: está oculto, desabilitado ou dentro de um contêiner desabilitado.");
}

InputResult notEditing(const Control& c) {
    return InputResult::refused("O registro de " + c.name() + " não está em edição ou inclusão.");
}

// Looks the control up and checks that the user can reach it.
InputResult reach(Form& form, std::string_view name, Control*& out) {
    out = form.control(name);
    if (!out) return InputResult::unknown("Controle inexistente: " + std::string(name) + ".");
    if (!out->canOperate()) return notOperable(*out);
    return InputResult::done();
}

bool sourceEditing(const DataSource* source) {
    const DataSet* set = source ? source->dataSet() : nullptr;
    return set && set->isEditing();
}

// Whether the act would change a bound value while its dataset does not edit.
bool changesUneditedData(const Control& c) {
    if (auto* box = dynamic_cast<const TDBCheckBox*>(&c)) return !sourceEditing(box->dataSource());
    if (auto* edit = dynamic_cast<const TDBEdit*>(&c)) return !sourceEditing(edit->dataSource());
    if (auto* combo = dynamic_cast<const TDBComboBox*>(&c)) return !sourceEditing(combo->dataSource());
    if (auto* grid = dynamic_cast<const TDBGrid*>(&c)) return !sourceEditing(grid->dataSource());
    return false;
}

// Moves the focus to a control that takes it. Returns false when the focus ended elsewhere (an exit
// handler sent it back): the act then stops there, as a click swallowed by a refused focus change.
bool focusFirst(Form& form, Control& c) {
    if (!c.canFocus()) return true;
    form.setFocus(&c);
    return form.activeControl() == &c;
}

// After the focus moved, exit handlers may have changed what the act relies on.
InputResult recheck(const Control& c, bool needsEditing) {
    if (!c.canOperate()) return notOperable(c);
    if (needsEditing && changesUneditedData(c)) return notEditing(c);
    return InputResult::done();
}

int itemForKey(const std::vector<std::string>& items, int current, std::uint16_t key) {
    const int n = static_cast<int>(items.size());
    for (int step = 1; step <= n; ++step) {
        const int i = (current + step + n) % n;
        const std::string& item = items[static_cast<std::size_t>(i)];
        if (!item.empty() && std::toupper(static_cast<unsigned char>(item[0])) == key) return i;
    }
    return -1;
}

// The drop-down list's own handling of a key it was given: a letter or digit picks the next item
// starting with it, the arrows step through the items.
void comboKey(Control& c, std::uint16_t key) {
    const bool letter = (key >= '0' && key <= '9') || (key >= 'A' && key <= 'Z');
    if (!letter && key != keys::Up && key != keys::Down) return;
    auto choose = [&](const std::vector<std::string>& items, int current) {
        if (items.empty()) return -1;
        if (letter) return itemForKey(items, current, key);
        const int next = current + (key == keys::Down ? 1 : -1);
        if (current < 0) return 0;
        return next >= 0 && next < static_cast<int>(items.size()) ? next : -1;
    };
    if (auto* combo = dynamic_cast<TComboBox*>(&c)) {
        if (const int i = choose(combo->items(), combo->itemIndex()); i >= 0 && i != combo->itemIndex())
            combo->userPick(i);
    } else if (auto* bound = dynamic_cast<TDBComboBox*>(&c)) {
        // A bound list changes nothing unless its record is being edited.
        if (!sourceEditing(bound->dataSource())) return;
        if (const int i = choose(bound->items(), bound->itemIndex()); i >= 0 && i != bound->itemIndex())
            bound->userPick(i);
    }
}

} // namespace

InputResult Input::click(Form& form, std::string_view name) {
    Control* c = nullptr;
    if (auto r = reach(form, name, c); !r.ok()) return r;
    auto* box = dynamic_cast<TDBCheckBox*>(c);
    if (box) {
        if (box->readOnly()) return InputResult::refused("A caixa " + box->name() + " é somente leitura.");
        if (changesUneditedData(*box)) return notEditing(*box);
    }
    if (!focusFirst(form, *c)) return InputResult::done();
    if (auto r = recheck(*c, box != nullptr); !r.ok()) return r;
    c->userClick();
    return InputResult::done();
}

InputResult Input::focus(Form& form, std::string_view name) {
    Control* c = nullptr;
    if (auto r = reach(form, name, c); !r.ok()) return r;
    if (!c->focusable()) return InputResult::refused("O controle " + c->name() + " não recebe o foco.");
    form.setFocus(c);
    return InputResult::done();
}

InputResult Input::type(Form& form, std::string_view name, std::string_view text) {
    Control* c = nullptr;
    if (auto r = reach(form, name, c); !r.ok()) return r;
    auto* bound = dynamic_cast<TDBEdit*>(c);
    auto* plain = dynamic_cast<TEdit*>(c);
    if (!bound && !plain) return InputResult::refused("O controle " + c->name() + " não aceita texto.");
    if ((bound && bound->readOnly()) || (plain && plain->readOnly()))
        return InputResult::refused("O campo " + c->name() + " é somente leitura.");
    if (bound && changesUneditedData(*bound)) return notEditing(*bound);

    if (!focusFirst(form, *c)) return InputResult::done();
    if (auto r = recheck(*c, bound != nullptr); !r.ok()) return r;

    std::string typed(text);
    int maxLength = plain ? plain->maxLength() : 0;
    if (bound) {
        // Typing into a masked edit fills the mask's slots; the literals are not part of the value.
        if (const Field* f = bound->field()) typed = MaskRawText(f->editMask(), typed);
        maxLength = bound->maxLength();
    }
    if (maxLength > 0) typed = std::string(utf8::prefix(typed, static_cast<std::size_t>(maxLength)));
    c->setText(typed);
    return InputResult::done();
}

InputResult Input::pick(Form& form, std::string_view name, int index) {
    Control* c = nullptr;
    if (auto r = reach(form, name, c); !r.ok()) return r;
    auto* combo = dynamic_cast<TComboBox*>(c);
    auto* bound = dynamic_cast<TDBComboBox*>(c);
    if (!combo && !bound)
        return InputResult::refused("O controle " + c->name() + " não é uma lista de opções.");
    const std::size_t count = combo ? combo->items().size() : bound->items().size();
    if (index < 0 || static_cast<std::size_t>(index) >= count)
        return InputResult::refused("Item " + std::to_string(index) + " fora da lista de " + c->name() + ".");
    if (bound && changesUneditedData(*bound)) return notEditing(*bound);

    if (!focusFirst(form, *c)) return InputResult::done();
    if (auto r = recheck(*c, bound != nullptr); !r.ok()) return r;
    if (combo)
        combo->userPick(index);
    else
        bound->userPick(index);
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

    if (key == keys::Tab && !shift.alt && !shift.ctrl) {
        auto* grid = dynamic_cast<TDBGrid*>(c);
        if (grid && grid->hasOption("dgTabs")) {
            const int next = grid->selectedIndex() + (shift.shift ? -1 : 1);
            if (next >= 0 && next < static_cast<int>(grid->columns().size())) {
                grid->selectColumn(next);
                return InputResult::done();
            }
        }
        form.focusNext(shift.shift);
        return InputResult::done();
    }
    if (!shift.alt && !shift.ctrl) comboKey(*c, key);
    return InputResult::done();
}

InputResult Input::page(Form& form, std::string_view name) {
    auto* sheet = dynamic_cast<TTabSheet*>(form.control(name));
    if (!sheet) return InputResult::unknown("Página inexistente: " + std::string(name) + ".");
    TPageControl& pages = sheet->pageControl();
    if (!pages.canOperate()) return notOperable(pages);
    if (!sheet->enabled() || !sheet->visible())
        return InputResult::refused("A página " + sheet->name() + " está desabilitada.");
    pages.userSelect(*sheet);
    return InputResult::done();
}

InputResult Input::move(Form& form, std::string_view name, int recNo) {
    DataSet* set = form.dataSet(name);
    if (!set) return InputResult::unknown("Conjunto de dados inexistente: " + std::string(name) + ".");
    if (!set->active())
        return InputResult::refused("O conjunto de dados " + set->name() + " não está aberto.");
    if (set->isEditing())
        return InputResult::refused("Confirme ou cancele a edição de " + set->name() +
                                    " antes de mudar de registro.");
    if (recNo < 1 || recNo > set->recordCount())
        return InputResult::refused("Registro " + std::to_string(recNo) + " fora de " + set->name() + ".");
    set->moveTo(recNo);
    return InputResult::done();
}

namespace {

InputResult reachGrid(Form& form, std::string_view name, std::string_view column, TDBGrid*& grid,
                      int& index) {
    Control* c = form.control(name);
    if (!c) return InputResult::unknown("Controle inexistente: " + std::string(name) + ".");
    grid = dynamic_cast<TDBGrid*>(c);
    if (!grid) return InputResult::refused("O controle " + c->name() + " não é uma grade.");
    index = grid->columnOf(column);
    if (index < 0)
        return InputResult::unknown("Coluna inexistente na grade " + grid->name() + ": " +
                                    std::string(column) + ".");
    if (!grid->canOperate()) return notOperable(*grid);
    return InputResult::done();
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
    if (!grid->editingEnabled())
        return InputResult::refused("A grade " + grid->name() + " não permite edição.");
    if (changesUneditedData(*grid)) return notEditing(*grid);

    if (!focusFirst(form, *grid)) return InputResult::done();
    grid->selectColumn(index);
    // The column-exit handler may have refused the move or ended the edit.
    if (grid->selectedIndex() != index) return InputResult::done();
    if (auto r = recheck(*grid, true); !r.ok()) return r;
    if (!grid->editingEnabled())
        return InputResult::refused("A grade " + grid->name() + " não permite edição.");
    grid->typeText(text);
    return InputResult::done();
}

InputResult Input::close(Form& form, CloseQuery query) {
    form.close(query);
    return InputResult::done();
}

} // namespace tk
