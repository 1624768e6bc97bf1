// The handler table: every handler name the screen definition may bind, and the binding itself. A
// name the definition binds that is not in the table stays unbound and is reported by
// unboundHandlers(), so a gap is visible instead of silently doing nothing.

#include "shell/Toolkit.h"
#include "screen/ScreenDefinition.h"
#include "shell/TfrmTipOper.h"

#include <map>
#include <set>
#include <string_view>

namespace Cli_ger06600 {

namespace {

using SenderHandler = void (TfrmTipOper::*)(tk::Component&);
using DataSetHandler = void (TfrmTipOper::*)(tk::DataSet&);
using KeyDownHandler = void (TfrmTipOper::*)(tk::Component&, std::uint16_t&, tk::ShiftState);
using KeyPressHandler = void (TfrmTipOper::*)(tk::Component&, char&);
using GetTextHandler = void (TfrmTipOper::*)(tk::Field&, std::string&, bool);
using SetTextHandler = void (TfrmTipOper::*)(tk::Field&, const std::string&);
using BeforePesqHandler = void (TfrmTipOper::*)(tk::Component&, bool&);

const std::map<std::string_view, SenderHandler>& senderHandlers() {
    static const std::map<std::string_view, SenderHandler> table = {
        {"panFiltroEnter", &TfrmTipOper::panFiltroEnter},
        {"panFiltroExit", &TfrmTipOper::panFiltroExit},
        {"dbgMensagemColExit", &TfrmTipOper::dbgMensagemColExit},
        {"dbeCdTipoOperExit", &TfrmTipOper::dbeCdTipoOperExit},
        {"btpDocOrigemClick", &TfrmTipOper::btpDocOrigemClick},
        {"rbtListaFClick", &TfrmTipOper::rbtListaFClick},
        {"dckDocDevoClick", &TfrmTipOper::dckDocDevoClick},
        {"rbtNenhumClick", &TfrmTipOper::rbtNenhumClick},
        {"rbtTEncargoClick", &TfrmTipOper::rbtTEncargoClick},
        {"rbtEncargoClick", &TfrmTipOper::rbtEncargoClick},
        {"btnPesqEncargoClick", &TfrmTipOper::btnPesqEncargoClick},
        // The per-kind form page and the origin/destination.
        {"cbbEntSaidExit", &TfrmTipOper::cbbEntSaidExit},
        {"cbbEntSaidChange", &TfrmTipOper::cbbEntSaidChange},
        {"dcbIdOrigDestOpChange", &TfrmTipOper::dcbIdOrigDestOpChange},
        // The click rules between option flags.
        {"dckIdUtilVencClick", &TfrmTipOper::dckIdUtilVencClick},
        {"dckVencObriClick", &TfrmTipOper::dckVencObriClick},
        {"dckIdGeraVencClick", &TfrmTipOper::dckIdGeraVencClick},
        {"dckInfCPFClick", &TfrmTipOper::dckInfCPFClick},
        {"dckAtuaEstClick", &TfrmTipOper::dckAtuaEstClick},
        {"dbcBrindeTpOperClick", &TfrmTipOper::dbcBrindeTpOperClick},
        {"dckEstornoCancClick", &TfrmTipOper::dckEstornoCancClick},
        {"dbcNfAjusteClick", &TfrmTipOper::dbcNfAjusteClick},
        {"dbcUtCtrlAIDFClick", &TfrmTipOper::dbcUtCtrlAIDFClick},
        {"dbcInfNumeNfClick", &TfrmTipOper::dbcInfNumeNfClick},
        {"dckNotaDevoClick", &TfrmTipOper::dckNotaDevoClick},
        {"dckNotaPrestServClick", &TfrmTipOper::dckNotaPrestServClick},
        {"dckUtlEmisNFSeClick", &TfrmTipOper::dckUtlEmisNFSeClick},
        {"dckIDNFIMPORTACAOClick", &TfrmTipOper::dckIDNFIMPORTACAOClick},
        {"dckIDNFIMPORTACAOINDClick", &TfrmTipOper::dckIDNFIMPORTACAOINDClick},
        {"dckSugQtdTotDevClick", &TfrmTipOper::dckSugQtdTotDevClick},
        // Code edits and the choices of the search buttons.
        {"dbeSetorExit", &TfrmTipOper::dbeSetorExit},
        {"dbePrecoExit", &TfrmTipOper::dbePrecoExit},
        {"dbeSetorChange", &TfrmTipOper::dbeSetorChange},
        {"dbePrecoChange", &TfrmTipOper::dbePrecoChange},
        {"btpPesqSetorAfterPesq", &TfrmTipOper::btpPesqSetorAfterPesq},
        {"btnPesqPrecoAfterPesq", &TfrmTipOper::btnPesqPrecoAfterPesq},
        {"dbeBonificacaoExit", &TfrmTipOper::dbeBonificacaoExit},
        {"dbeBonificacaoChange", &TfrmTipOper::dbeBonificacaoChange},
        {"btnPesqTpBonifAfterPesq", &TfrmTipOper::btnPesqTpBonifAfterPesq},
        {"dbeCdFornePadrExit", &TfrmTipOper::dbeCdFornePadrExit},
        {"dbeCdFornePadrChange", &TfrmTipOper::dbeCdFornePadrChange},
        {"dbeCdFornePadrEnter", &TfrmTipOper::dbeCdFornePadrEnter},
        {"btpFornecedorAfterPesq", &TfrmTipOper::btpFornecedorAfterPesq},
    };
    return table;
}

const std::map<std::string_view, DataSetHandler>& dataSetHandlers() {
    static const std::map<std::string_view, DataSetHandler> table = {
        {"cdsTipOperAfterOpen", &TfrmTipOper::cdsTipOperAfterOpen},
        {"cdsTipOperAfterInsert", &TfrmTipOper::cdsTipOperAfterInsert},
        {"cdsTipOperNewRecord", &TfrmTipOper::cdsTipOperNewRecord},
        {"cdsTipOperBeforePost", &TfrmTipOper::cdsTipOperBeforePost},
        {"cdsTipOperAfterPost", &TfrmTipOper::cdsTipOperAfterPost},
        {"cdsTipOperAfterDelete", &TfrmTipOper::cdsTipOperAfterDelete},
        {"cdsTipOperAfterScroll", &TfrmTipOper::cdsTipOperAfterScroll},
        {"cdsMensTipoOperNewRecord", &TfrmTipOper::cdsMensTipoOperNewRecord},
        {"cdsMensTipoOperBeforePost", &TfrmTipOper::cdsMensTipoOperBeforePost},
        {"cdsMensTipoOperAfterPost", &TfrmTipOper::cdsMensTipoOperAfterPost},
        {"cdsMensTipoOperAfterCancel", &TfrmTipOper::cdsMensTipoOperAfterCancel},
        {"cdsMensTipoOperAfterDelete", &TfrmTipOper::cdsMensTipoOperAfterDelete},
    };
    return table;
}

const std::map<std::string_view, KeyDownHandler>& keyDownHandlers() {
    static const std::map<std::string_view, KeyDownHandler> table = {
        {"dbgMensagemKeyDown", &TfrmTipOper::dbgMensagemKeyDown},
        {"dbcIdGeraNFCmpKeyDown", &TfrmTipOper::dbcIdGeraNFCmpKeyDown},
    };
    return table;
}

const std::map<std::string_view, KeyPressHandler>& keyPressHandlers() {
    static const std::map<std::string_view, KeyPressHandler> table = {
        {"dbgMensagemKeyPress", &TfrmTipOper::dbgMensagemKeyPress},
    };
    return table;
}

const std::map<std::string_view, GetTextHandler>& getTextHandlers() {
    static const std::map<std::string_view, GetTextHandler> table = {
        {"cdsTipOperIDGERANFCMPGetText", &TfrmTipOper::cdsTipOperIDGERANFCMPGetText},
        {"cdsTipOperIDORIGDESTOPGetText", &TfrmTipOper::cdsTipOperIDORIGDESTOPGetText},
        {"qryFornecedorNRINSJURFORNGetText", &TfrmTipOper::qryFornecedorNRINSJURFORNGetText},
    };
    return table;
}

const std::map<std::string_view, SetTextHandler>& setTextHandlers() {
    static const std::map<std::string_view, SetTextHandler> table = {
        {"cdsTipOperIDGERANFCMPSetText", &TfrmTipOper::cdsTipOperIDGERANFCMPSetText},
        {"cdsTipOperIDORIGDESTOPSetText", &TfrmTipOper::cdsTipOperIDORIGDESTOPSetText},
    };
    return table;
}

const std::map<std::string_view, BeforePesqHandler>& beforePesqHandlers() {
    static const std::map<std::string_view, BeforePesqHandler> table = {
        {"btpPesqSetorBeforePesq", &TfrmTipOper::btpPesqSetorBeforePesq},
        {"btnPesqPrecoBeforePesq", &TfrmTipOper::btnPesqPrecoBeforePesq},
        {"btnPesqTpBonifBeforePesq", &TfrmTipOper::btnPesqTpBonifBeforePesq},
        {"btpFornecedorBeforePesq", &TfrmTipOper::btpFornecedorBeforePesq},
    };
    return table;
}

template <class Map> auto lookup(const Map& map, std::string_view name) -> typename Map::mapped_type {
    auto it = map.find(name);
    return it == map.end() ? nullptr : it->second;
}

// Handlers the base form wires itself (toolbar, pages, form events) or that the screen binds in code.
bool boundElsewhere(std::string_view name) {
    static const std::set<std::string_view> names = {
        "FormCreate",        "FormShow",          "FormClose",         "netTipOperBeforeConnect",
        "dtsPadraoStateChange",
        // The toolbar, its menu items and the page control call the base form's virtual handlers,
        // which the screen overrides.
        "sbtIncluirClick",   "sbtAlterarClick",   "sbtExcluirClick",   "sbtProcurarClick",
        "sbtVerificarClick", "sbtCancelarClick",  "sbtConfirmarClick", "pgcPadraoChange"};
    return names.count(name) != 0;
}

} // namespace

std::vector<std::string> unboundHandlers() {
    std::vector<std::string> missing;
    for (const auto& name : screen::definition().handlerNames()) {
        const std::string_view n = name;
        if (boundElsewhere(n) || lookup(senderHandlers(), n) || lookup(dataSetHandlers(), n) ||
            lookup(keyDownHandlers(), n) || lookup(keyPressHandlers(), n) || lookup(getTextHandlers(), n) ||
            lookup(setTextHandlers(), n) || lookup(beforePesqHandlers(), n))
            continue;
        missing.push_back(name);
    }
    return missing;
}

void TfrmTipOper::bindHandlers() {
    const auto& d = screen::definition();

    for (const auto& c : d.controls) {
        tk::Control* control = this->control(c.name);
        for (const auto& [event, name] : c.events) {
            if (event == "OnKeyDown") {
                if (auto h = lookup(keyDownHandlers(), name))
                    control->onKeyDown = [this, h](tk::Control& s, std::uint16_t& key, tk::ShiftState shift) {
                        (this->*h)(s, key, shift);
                    };
                continue;
            }
            if (event == "OnKeyPress") {
                if (auto h = lookup(keyPressHandlers(), name))
                    control->onKeyPress = [this, h](tk::Control& s, char& key) { (this->*h)(s, key); };
                continue;
            }
            if (event == "OnBeforePesq") {
                if (auto* search = dynamic_cast<frm::TBtnPesquisa*>(control))
                    if (auto h = lookup(beforePesqHandlers(), name))
                        search->onBeforePesq = [this, h](tk::Component& s, bool& allow) { (this->*h)(s, allow); };
                continue;
            }
            auto h = lookup(senderHandlers(), name);
            if (!h) continue;
            auto fn = [this, h](tk::Control& s) { (this->*h)(s); };
            if (event == "OnClick") control->onClick = fn;
            else if (event == "OnChange") control->onChange = fn;
            else if (event == "OnEnter") control->onEnter = fn;
            else if (event == "OnExit") control->onExit = fn;
            else if (event == "OnColExit") {
                if (auto* grid = dynamic_cast<tk::TDBGrid*>(control)) grid->onColExit = fn;
            } else if (event == "OnAfterPesq") {
                if (auto* search = dynamic_cast<frm::TBtnPesquisa*>(control))
                    search->onAfterPesq = [this, h](tk::Component& s) { (this->*h)(s); };
            }
        }
    }

    for (const auto& ds : d.dataSets) {
        tk::DataSet* set = dataSet(ds.name);
        for (const auto& [event, name] : ds.events) {
            auto h = lookup(dataSetHandlers(), name);
            if (!h) continue;
            auto fn = [this, h](tk::DataSet& s) { (this->*h)(s); };
            if (event == "AfterOpen") set->afterOpen = fn;
            else if (event == "AfterInsert") set->afterInsert = fn;
            else if (event == "OnNewRecord") set->onNewRecord = fn;
            else if (event == "BeforePost") set->beforePost = fn;
            else if (event == "AfterPost") set->afterPost = fn;
            else if (event == "AfterDelete") set->afterDelete = fn;
            else if (event == "AfterScroll") set->afterScroll = fn;
            else if (event == "AfterCancel") set->afterCancel = fn;
        }
        for (const auto& f : ds.fields)
            for (const auto& [event, name] : f.events) {
                tk::Field& field = set->fieldByName(f.name);
                if (event == "OnGetText") {
                    if (auto h = lookup(getTextHandlers(), name))
                        field.onGetText = [this, h](tk::Field& s, std::string& text, bool display) {
                            (this->*h)(s, text, display);
                        };
                } else if (event == "OnSetText") {
                    if (auto h = lookup(setTextHandlers(), name))
                        field.onSetText = [this, h](tk::Field& s, const std::string& text) { (this->*h)(s, text); };
                }
            }
    }

    // The rows of a local query reach its search list through a dataset of the query's name; the text
    // handlers of the query's fields are bound there.
    for (const auto& q : d.queries) {
        tk::DataSet* rows = dataSet(q.name);
        if (!rows) continue;
        for (const auto& f : q.fields) {
            const auto event = f.events.find("OnGetText");
            if (event == f.events.end()) continue;
            auto h = lookup(getTextHandlers(), event->second);
            if (!h) continue;
            rows->fieldByName(f.name).onGetText = [this, h](tk::Field& s, std::string& text, bool display) {
                (this->*h)(s, text, display);
            };
        }
    }

    dtsPadrao.onStateChange = [this](tk::DataSource& s) { dtsPadraoStateChange(s); };
    netTipOper.BeforeConnect = [this](lib::TNetConnection&) { netTipOperBeforeConnect(*this); };
}

} // namespace Cli_ger06600
