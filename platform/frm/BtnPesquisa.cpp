#include "frm/BtnPesquisa.h"

#include "frm/LookupRows.h"
#include "lib/Consiste.h"
#include "toolkit/Application.h"
#include "toolkit/ControlKinds.h"
#include "toolkit/DataSet.h"
#include "toolkit/MemberSink.h"

#include <stdexcept>

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

void TBtnPesquisa::describeKind(tk::MemberSink& out) const {
    out.text("title", Title);
    out.nameOf("associate", Associate);
}

namespace {

const tk::KindRegistration registration{
    tk::KindOf<TBtnPesquisa>("TBtnPesquisa", "TSpeedButton")
        .property<std::string>("title", [](TBtnPesquisa& b, const std::string& v) { b.Title = v; })
        .property<std::string>("emptyError", [](TBtnPesquisa& b, const std::string& v) { b.EmptyError = v; })
        .property<std::string>("searchDataSource",
                               [](TBtnPesquisa& b, const std::string& v) {
                                   b.DataSource = b.form().dataSource(v);
                                   if (!b.DataSource)
                                       throw std::invalid_argument("fonte de dados inexistente para " +
                                                                   b.name() + ": " + v);
                               })
        .property<std::string>("associate",
                               [](TBtnPesquisa& b, const std::string& v) {
                                   b.Associate = b.form().control(v);
                                   if (!b.Associate)
                                       throw std::invalid_argument("controle associado inexistente para " +
                                                                   b.name() + ": " + v);
                               })
        .event("OnBeforePesq", &TBtnPesquisa::onBeforePesq)
        .event("OnAfterPesq", &TBtnPesquisa::onAfterPesq)};

} // namespace

} // namespace frm
