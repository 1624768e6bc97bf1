#include "frm/BtnPesquisa.h"

#include "frm/LookupRows.h"
#include "lib/Consiste.h"
#include "toolkit/Application.h"
#include "toolkit/DataSet.h"

#include <nlohmann/json.hpp>

namespace frm {

void TBtnPesquisa::click() {
    if (onClick) {
        tk::TSpeedButton::click();
        return;
    }
    bool allowPesq = true;
    if (onBeforePesq) {
        auto handler = onBeforePesq;
        handler(*this, allowPesq);
    }
    if (!allowPesq) return;

    tk::DataSet* set = DataSource ? DataSource->dataSet() : nullptr;
    if (!set || !set->active() || set->isEmpty()) {
        Consiste::MensErro(EmptyError, false);
        return;
    }
    const tk::DialogRows rows = lookupRows(*set);
    const auto picked = tk::Application::current().dialogs().pickOne(Title, EmptyError, rows);
    if (!picked || *picked < 0 || *picked >= set->recordCount()) return;
    set->moveTo(*picked + 1);
    if (onAfterPesq) {
        auto handler = onAfterPesq;
        handler(*this);
    }
}

void TBtnPesquisa::describe(nlohmann::json& out) const {
    tk::TSpeedButton::describe(out);
    out["title"] = Title;
    if (Associate) out["associate"] = Associate->name();
}

} // namespace frm
