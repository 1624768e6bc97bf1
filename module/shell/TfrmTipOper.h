#pragma once

// The operation-type maintenance screen. Every method named after a component and an event is that
// component's handler, bound by name from the screen definition; the other methods are the screen's
// routines. Handlers run to completion on the screen's client thread; errors leave them as
// exceptions (the library's silent abort for a rule the user must correct).
//
// The definitions are split by concern: shell/ (creation, connection, closing), record/ (loading,
// new records, saving), rules/ (display and enablement), messages/ (the message lines).

#include "frm/BtnPesquisa.h"
#include "frm/FrmPadrao.h"
#include "lib/AdoIbQuery.h"
#include "lib/Messages.h"
#include "lib/NetConnection.h"
#include "shell/Toolkit.h"
#include "shell/UnitGlobals.h"
#include "toolkit/DataSet.h"
#include "toolkit/Forward.h"
#include "toolkit/Handlers.h"
#include "toolkit/Keys.h"
#include "toolkit/Application.h"
#include "wire/Packet.h"

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <nlohmann/json.hpp>
#include <optional>
#include <utility>
#include <string>
#include <vector>

namespace lib {
class SessionPool;
}

// The datasets and the controls the handlers use, each named once.
// clang-format off
#define TFRMTIPOPER_DATASETS(X)                                                                          \
    X(cdsTipOper) X(cdsMensTipoOper) X(cdsCusto) X(cdsPreco) X(cdsVdCusto) X(cdsVdPreco) X(cdsBonificacao) \
    X(cdsVdBonif)

#define TFRMTIPOPER_CONTROLS(X)                                                                          \
    X(tk::TPanel, panFiltro) X(tk::TComboBox, cbbEntSaid) X(tk::TTabSheet, tshMensagem)                  \
    X(tk::TDBGrid, dbgMensagem) X(tk::TLabel, lblOrigDest) X(tk::TLabel, lblCodigo)                      \
    X(tk::TDBEdit, dbeCdTipoOper) X(tk::TDBEdit, dbeNmRazsocForn) X(tk::TDBComboBox, dcbIdOrigDestOp)    \
    X(tk::TGroupBox, grbFornePadr) X(tk::TGroupBox, grbDocOrigem) X(tk::TRadioButton, rbtTodosF)         \
    X(tk::TRadioButton, rbtListaF) X(tk::TRadioButton, rbtTEncargo) X(tk::TRadioButton, rbtEncargo)      \
    X(tk::TRadioButton, rbtNenhum) X(frm::TBtnPesquisa, btpDocOrigem) X(frm::TBtnPesquisa, btnPesqEncargo) \
    X(tk::Control, Bevel2) X(tk::Control, lblFornePadr) X(tk::Control, dbeCdFornePadr)                   \
    X(tk::Control, btpFornecedor) X(tk::Control, lblDsNmOper) X(tk::Control, dbeNmOper)                  \
    X(tk::TDBCheckBox, dbcEmiss) X(tk::TDBCheckBox, dckDocDevo) X(tk::TDBCheckBox, dckOrigObrig)          \
    X(tk::TDBCheckBox, dckPesqLista) X(tk::TDBCheckBox, dckDocOrigRelac) X(tk::TDBCheckBox, dckContabNFOrigem) \
    X(tk::TDBCheckBox, dckContabImpProd) X(tk::TDBCheckBox, dckInfCPF) X(tk::TDBCheckBox, dbcNfAjuste)    \
    X(tk::TDBCheckBox, dckNotaDevo) X(tk::TDBCheckBox, dckSugQtdTotDev) X(tk::TDBCheckBox, dckEstornoCanc) \
    X(tk::TDBCheckBox, dckNotaPrestServ) X(tk::TDBCheckBox, dckUtLocPrestServ)                           \
    X(tk::TDBCheckBox, dckRealAprovAuto) X(tk::TDBCheckBox, dckAtuaEst) X(tk::TDBCheckBox, dckIDUtCusOrigEst) \
    X(tk::TDBCheckBox, dckIdUtilVenc) X(tk::TDBCheckBox, dckVencObri) X(tk::TDBCheckBox, dckIdGeraVenc)  \
    X(tk::TDBCheckBox, dbcIdGeraVenNf) X(tk::TDBCheckBox, dbcInfNumeNf) X(tk::TDBCheckBox, dbcUtCtrlAIDF) \
    X(tk::TDBCheckBox, dckUtlEmisNFSe) X(tk::TDBCheckBox, dckImpProdEmis) X(tk::TDBCheckBox, dckGeraNFTrans) \
    X(tk::TDBCheckBox, dbcAltDsEmis) X(tk::TDBCheckBox, dckGeraDup) X(tk::TDBCheckBox, dckSerieAuto)      \
    X(tk::TDBCheckBox, dckIDNFIMPORTACAO) X(tk::TDBCheckBox, dckIDNFIMPORTACAOIND)                       \
    X(tk::TDBCheckBox, dckAltDtRefAprov) X(tk::TDBCheckBox, dckObrDtRefFat) X(tk::TDBCheckBox, dckContSomenImpo) \
    X(tk::TDBCheckBox, dckIdBloqNfFechDia) X(tk::TDBCheckBox, dckConsAnaConc)                            \
    X(tk::TDBCheckBox, dckRemeInsuAprov) X(tk::TDBCheckBox, dckPortCatSP)
// clang-format on

namespace Cli_ger06600 {

class TfrmTipOper : public frm::TfrmPadrao {
public:
    explicit TfrmTipOper(UnitGlobals& unit);
    ~TfrmTipOper() override;

    // Creation, showing and closing.
    void FormCreate(tk::Component& Sender) override;
    void FormShow(tk::Component& Sender) override;
    void FormClose(tk::Component& Sender, tk::CloseAction& Action) override;
    void netTipOperBeforeConnect(tk::Component& Sender);

    // The two coded fields.
    void cdsTipOperIDGERANFCMPGetText(tk::Field& Sender, std::string& Text, bool DisplayText);
    void cdsTipOperIDGERANFCMPSetText(tk::Field& Sender, const std::string& Text);
    void cdsTipOperIDORIGDESTOPGetText(tk::Field& Sender, std::string& Text, bool DisplayText);
    void cdsTipOperIDORIGDESTOPSetText(tk::Field& Sender, const std::string& Text);

    // Loading, filtering and refresh.
    std::string GetEntSaid();
    void panFiltroEnter(tk::Component& Sender);
    void panFiltroExit(tk::Component& Sender);
    void cdsTipOperAfterOpen(tk::DataSet& DataSet);
    void sbtVerificarClick(tk::Component& Sender) override;
    void sbtProcurarClick(tk::Component& Sender) override;
    void pgcPadraoChange(tk::Component& Sender) override;

    // Entering insert or edit; the defaults of a new record.
    void sbtIncluirClick(tk::Component& Sender) override;
    void sbtAlterarClick(tk::Component& Sender) override;
    void cdsTipOperNewRecord(tk::DataSet& DataSet);
    void cdsTipOperAfterInsert(tk::DataSet& DataSet);
    void Vd_IdOrigDestOP();
    void Vd_IdOperDevoNF();

    // Checks and completions before a record is stored.
    void cdsTipOperBeforePost(tk::DataSet& DataSet);
    void Vd_CdTipoOper(bool boTestaVazio);
    void dbeCdTipoOperExit(tk::Component& Sender);

    // Reference checks (cost type, price table, bonus operation type, default supplier).
    void Vd_custo();
    void Vd_preco();
    void Vd_TpOpBonif();
    void Vd_Fornecedor(bool boTestaVazio);

    // Saving, deleting and cancelling.
    void sbtConfirmarClick(tk::Component& Sender) override;
    void cdsTipOperAfterPost(tk::DataSet& DataSet);
    void sbtExcluirClick(tk::Component& Sender) override;
    void cdsTipOperAfterDelete(tk::DataSet& DataSet);
    void sbtCancelarClick(tk::Component& Sender) override;

    // Display and enablement.
    void cdsTipOperAfterScroll(tk::DataSet& DataSet);
    // What a record move recomputes on the form page, without the reload of the record's messages.
    void ShowRecordRules();
    void AlterCheck();
    void FixaDoc();
    void HabilitaGeraNFTrans();
    void dtsPadraoStateChange(tk::DataSource& Sender);
    void ControlaBotoes();

    // The origin-document list and the charge list.
    void btpDocOrigemClick(tk::Component& Sender);
    void rbtListaFClick(tk::Component& Sender);
    void dckDocDevoClick(tk::Component& Sender);
    void rbtNenhumClick(tk::Component& Sender);
    void rbtTEncargoClick(tk::Component& Sender);
    void rbtEncargoClick(tk::Component& Sender);
    void btnPesqEncargoClick(tk::Component& Sender);

    // The message lines of the current operation type.
    void cdsMensTipoOperNewRecord(tk::DataSet& DataSet);
    void cdsMensTipoOperBeforePost(tk::DataSet& DataSet);
    void cdsMensTipoOperAfterPost(tk::DataSet& DataSet);
    void cdsMensTipoOperAfterDelete(tk::DataSet& DataSet);
    void cdsMensTipoOperAfterCancel(tk::DataSet& DataSet);
    void Vd_Mensagem(bool boTestaVazio);
    void Vd_Descricao(bool boTestaVazio);
    void dbgMensagemColExit(tk::Component& Sender);
    void dbgMensagemKeyDown(tk::Component& Sender, std::uint16_t& Key, tk::ShiftState Shift);
    void dbgMensagemKeyPress(tk::Component& Sender, char& Key);

    // The per-kind form page and the origin/destination.
    void cbbEntSaidExit(tk::Component& Sender);
    void cbbEntSaidChange(tk::Component& Sender);
    void dcbIdOrigDestOpChange(tk::Component& Sender);
    void dbcIdGeraNFCmpKeyDown(tk::Component& Sender, std::uint16_t& Key, tk::ShiftState Shift);

    // The click rules between option flags.
    void dckIdUtilVencClick(tk::Component& Sender);
    void dckVencObriClick(tk::Component& Sender);
    void dckIdGeraVencClick(tk::Component& Sender);
    void dckInfCPFClick(tk::Component& Sender);
    void dckAtuaEstClick(tk::Component& Sender);
    void dbcBrindeTpOperClick(tk::Component& Sender);
    void dckEstornoCancClick(tk::Component& Sender);
    void dbcNfAjusteClick(tk::Component& Sender);
    void dbcUtCtrlAIDFClick(tk::Component& Sender);
    void dbcInfNumeNfClick(tk::Component& Sender);
    void dckNotaDevoClick(tk::Component& Sender);
    void dckNotaPrestServClick(tk::Component& Sender);
    void dckUtlEmisNFSeClick(tk::Component& Sender);
    void dckIDNFIMPORTACAOClick(tk::Component& Sender);
    void dckIDNFIMPORTACAOINDClick(tk::Component& Sender);
    void dckSugQtdTotDevClick(tk::Component& Sender);

    // Code edits and search buttons of the cost type and the price table.
    void dbeSetorExit(tk::Component& Sender);
    void dbePrecoExit(tk::Component& Sender);
    void dbeSetorChange(tk::Component& Sender);
    void dbePrecoChange(tk::Component& Sender);
    void btpPesqSetorBeforePesq(tk::Component& Sender, bool& AllowPesq);
    void btpPesqSetorAfterPesq(tk::Component& Sender);
    void btnPesqPrecoBeforePesq(tk::Component& Sender, bool& AllowPesq);
    void btnPesqPrecoAfterPesq(tk::Component& Sender);

    // Code edit and search button of the bonus operation type.
    void dbeBonificacaoExit(tk::Component& Sender);
    void dbeBonificacaoChange(tk::Component& Sender);
    void btnPesqTpBonifBeforePesq(tk::Component& Sender, bool& AllowPesq);
    void btnPesqTpBonifAfterPesq(tk::Component& Sender);

    // Registration edit and search button of the default supplier.
    void dbeCdFornePadrExit(tk::Component& Sender);
    void dbeCdFornePadrChange(tk::Component& Sender);
    void dbeCdFornePadrEnter(tk::Component& Sender);
    void btpFornecedorBeforePesq(tk::Component& Sender, bool& AllowPesq);
    void btpFornecedorAfterPesq(tk::Component& Sender);
    void qryFornecedorNRINSJURFORNGetText(tk::Field& Sender, std::string& Text, bool DisplayText);

    // The empty fields of the record last validated ("NAME|NAME|"), sent with every save.
    std::string stCampoNull;

    // The texts of working together (conflicts, where-used), apart from the screen's own catalogue.
    lib::TMessages msgTrabalho;

    // The connection to the application server.
    lib::TNetConnection netTipOper;

    // The unit's globals of this client.
    UnitGlobals& unit() const { return unit_; }

    // The screen's handlers by name, from which its definition's events are bound.
    static const tk::Handlers& handlers();

private:
    // Builds the screen from its definition before the members below look its components up.
    bool build();
    // Where the definition binds the connection's before-connect handler (the connection is no
    // component of the screen model, so it calls this one).
    std::function<void(tk::Component&)> netTipOperBeforeConnect_;
    bool built_;

public:
    // Datasets and data sources of the screen.
#define TFRMTIPOPER_DATASET(name) tk::DataSet& name;
    TFRMTIPOPER_DATASETS(TFRMTIPOPER_DATASET)
#undef TFRMTIPOPER_DATASET
    tk::DataSource& dtsMensTipoOper;

    // Controls the handlers use, resolved once by name after the screen is built.
#define TFRMTIPOPER_CONTROL(Type, name) Type* name = nullptr;
    TFRMTIPOPER_CONTROLS(TFRMTIPOPER_CONTROL)
#undef TFRMTIPOPER_CONTROL

    // The local queries on the host's database connection, built from the definition on first use.
    lib::TADOIBQuery& query(std::string_view name);
    // Runs a local query and loads its rows into the dataset of the same name (its search list).
    lib::TADOIBQuery& openQuery(std::string_view name);
    // A check box of the screen by name.
    tk::TDBCheckBox& box(std::string_view name) const;

private:
    // Sends one operation to the application server and returns the payload (answer checked).
    nlohmann::json serverCall(const std::string& op, nlohmann::json params);
    // Loads a packet payload into a client dataset, replacing its rows.
    static void assignPacket(tk::DataSet& dataSet, const nlohmann::json& payload);
    void kindArrangementForPanFiltroExit();
    void resetDocOrigemControls();
    void clearDocOrigem();
    void setToolbarFor(tk::DataSetState state, bool hasEntries);
    // Sends every pending change of the record list in one packet; false when the server refused it
    // because another user changed or removed a record meanwhile (the conflict is then resolved).
    bool sendRecordChanges();
    void sendRecordPacket(const wire::ChangePacket& packet);

    // A change the server refused as a conflict, with the keys its history is read by.
    struct PendingChange {
        wire::Change change;
        std::string code, kind, line;
    };
    // One list of the screen as the conflict resolution sees it.
    struct ConflictTarget {
        tk::DataSet& set;
        std::vector<std::string> keyFields;
        bool line;                                          // message lines, edited in the grid
        std::function<nlohmann::json()> fetch;              // the stored rows
        std::function<void(const nlohmann::json&)> load;    // shows them, dropping pending changes
        std::function<void(const wire::ChangePacket&)> send; // sends changes that were not in conflict
    };
    // Shows the stored version, asks which to keep for each change in conflict, and re-applies the
    // user's values as acts when they keep theirs.
    void resolveConflict(const ConflictTarget& target, const wire::ChangePacket& refused);
    tk::ConflictChoice askConflict(tk::DataSet& set, const PendingChange& mine, const std::optional<wire::Row>& theirs,
                                   bool line);
    void reapply(tk::DataSet& set, const wire::Row& mine, bool line);
    // Who changed this operation type (or one of its message lines) last, and when; empty when unknown.
    std::pair<std::string, std::string> lastChange(const std::string& code, const std::string& kind,
                                                   const std::string& line);
    std::string fieldLabel(tk::DataSet& set, const std::string& field);
    std::string valueText(tk::DataSet& set, const std::string& field, const std::string& value);
    ConflictTarget recordTarget();
    ConflictTarget lineTarget();
    // The operation types that reference the current one, asked about before it is deleted.
    void askWhereUsed();
    lib::SessionPool& database();

    UnitGlobals& unit_;
    std::shared_ptr<lib::SessionPool> database_;
    std::map<std::string, std::unique_ptr<lib::TADOIBQuery>, std::less<>> queries_;
};

// Handler names the definition binds that this build of the screen does not provide.
std::vector<std::string> unboundHandlers();

} // namespace Cli_ger06600
