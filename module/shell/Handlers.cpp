// The screen's handlers by name: the one list from which the definition's events are bound and the
// unbound handlers are found. A handler the definition names must be listed here, and the loader
// binds it to the event only if it takes that event's arguments.

#include "frm/ScreenLoader.h"
#include "screen/Embedded.h"
#include "shell/TfrmTipOper.h"

// clang-format off
#define TFRMTIPOPER_HANDLERS(X)                                                                         \
    /* Creation, showing, closing and the connection. */                                               \
    X(FormCreate) X(FormShow) X(FormClose) X(netTipOperBeforeConnect)                                   \
    /* The toolbar and the pages, extending the base form's handlers. */                                \
    X(sbtIncluirClick) X(sbtAlterarClick) X(sbtExcluirClick) X(sbtProcurarClick) X(sbtVerificarClick)   \
    X(sbtCancelarClick) X(sbtConfirmarClick) X(pgcPadraoChange)                                          \
    /* Loading, the record and its coded fields. */                                                     \
    X(panFiltroEnter) X(panFiltroExit) X(dtsPadraoStateChange)                                           \
    X(cdsTipOperAfterOpen) X(cdsTipOperAfterInsert) X(cdsTipOperNewRecord) X(cdsTipOperBeforePost)       \
    X(cdsTipOperAfterPost) X(cdsTipOperAfterDelete) X(cdsTipOperAfterScroll) X(dbeCdTipoOperExit)         \
    X(cdsTipOperIDGERANFCMPGetText) X(cdsTipOperIDGERANFCMPSetText)                                      \
    X(cdsTipOperIDORIGDESTOPGetText) X(cdsTipOperIDORIGDESTOPSetText)                                    \
    /* The origin-document list and the charge list. */                                                 \
    X(btpDocOrigemClick) X(rbtListaFClick) X(dckDocDevoClick) X(rbtNenhumClick) X(rbtTEncargoClick)       \
    X(rbtEncargoClick) X(btnPesqEncargoClick)                                                            \
    /* The message lines. */                                                                            \
    X(cdsMensTipoOperNewRecord) X(cdsMensTipoOperBeforePost) X(cdsMensTipoOperAfterPost)                  \
    X(cdsMensTipoOperAfterCancel) X(cdsMensTipoOperAfterDelete) X(dbgMensagemColExit)                     \
    X(dbgMensagemKeyDown) X(dbgMensagemKeyPress)                                                         \
    /* The per-kind form page and the origin/destination. */                                            \
    X(cbbEntSaidExit) X(cbbEntSaidChange) X(dcbIdOrigDestOpChange) X(dbcIdGeraNFCmpKeyDown)               \
    /* The click rules between option flags. */                                                         \
    X(dckIdUtilVencClick) X(dckVencObriClick) X(dckIdGeraVencClick) X(dckInfCPFClick) X(dckAtuaEstClick)  \
    X(dbcBrindeTpOperClick) X(dckEstornoCancClick) X(dbcNfAjusteClick) X(dbcUtCtrlAIDFClick)              \
    X(dbcInfNumeNfClick) X(dckNotaDevoClick) X(dckNotaPrestServClick) X(dckUtlEmisNFSeClick)              \
    X(dckIDNFIMPORTACAOClick) X(dckIDNFIMPORTACAOINDClick) X(dckSugQtdTotDevClick)                        \
    /* Code edits and the search buttons of the references. */                                          \
    X(dbeSetorExit) X(dbePrecoExit) X(dbeSetorChange) X(dbePrecoChange) X(btpPesqSetorBeforePesq)         \
    X(btpPesqSetorAfterPesq) X(btnPesqPrecoBeforePesq) X(btnPesqPrecoAfterPesq) X(dbeBonificacaoExit)     \
    X(dbeBonificacaoChange) X(btnPesqTpBonifBeforePesq) X(btnPesqTpBonifAfterPesq)                       \
    X(dbeCdFornePadrExit) X(dbeCdFornePadrChange) X(dbeCdFornePadrEnter) X(btpFornecedorBeforePesq)       \
    X(btpFornecedorAfterPesq) X(qryFornecedorNRINSJURFORNGetText)
// clang-format on

namespace Cli_ger06600 {

const tk::Handlers& TfrmTipOper::handlers() {
#define TFRMTIPOPER_ENTRY(name) tk::Handlers::entry<TfrmTipOper>(#name, &TfrmTipOper::name),
    static const tk::Handlers table{TFRMTIPOPER_HANDLERS(TFRMTIPOPER_ENTRY)};
#undef TFRMTIPOPER_ENTRY
    return table;
}

std::vector<std::string> unboundHandlers() {
    return frm::unboundHandlers(screen::definition(), TfrmTipOper::handlers());
}

bool TfrmTipOper::build() {
    frm::buildScreen(*this, screen::definition(), handlers(),
                     {{"netTipOper", {{"BeforeConnect", &netTipOperBeforeConnect_}}}});
    return true;
}

TfrmTipOper::TfrmTipOper(UnitGlobals& unit)
    : frm::TfrmPadrao(screen::definition().form.name), built_(build()),
#define TFRMTIPOPER_DATASET(name) name(*dataSet(#name)),
      TFRMTIPOPER_DATASETS(TFRMTIPOPER_DATASET)
#undef TFRMTIPOPER_DATASET
          dtsMensTipoOper(*dataSource("dtsMensTipoOper")),
      unit_(unit) {
    const auto& d = screen::definition();
    msgTrabalho.setLines(d.catalogue("msgTrabalho"));
    netTipOper.setServerName(d.connection.serverName);
    netTipOper.setThrowException(d.connection.throwException);
    netTipOper.BeforeConnect = [this](lib::TNetConnection&) {
        if (netTipOperBeforeConnect_) netTipOperBeforeConnect_(*this);
    };
#define TFRMTIPOPER_RESOLVE(Type, name) name = &get<Type>(#name);
    TFRMTIPOPER_CONTROLS(TFRMTIPOPER_RESOLVE)
#undef TFRMTIPOPER_RESOLVE
}

TfrmTipOper::~TfrmTipOper() {
    if (unit_.frmTipOper == this) unit_.formAlive = false;
}

} // namespace Cli_ger06600
