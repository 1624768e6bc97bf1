// Include and alter, and what a new operation type holds before the user touches it.

#include "lib/Consiste.h"
#include "shell/TfrmTipOper.h"
#include "shell/Toolkit.h"

namespace Cli_ger06600 {

void TfrmTipOper::sbtIncluirClick(tk::Component& Sender) {
    if (pgcPadrao.activePage() != tshMensagem) {
        frm::TfrmPadrao::sbtIncluirClick(Sender);
        return;
    }
    // On the message page include acts on the lines of the current operation type.
    dbgMensagem->setOption("dgEditing", true);
    cdsMensTipoOper.insert();
    ControlaBotoes();
    cdsMensTipoOper.fieldByName("CDMENSAGEM").focusControl();
}

void TfrmTipOper::sbtAlterarClick(tk::Component& Sender) {
    if (pgcPadrao.activePage() != tshMensagem) {
        frm::TfrmPadrao::sbtAlterarClick(Sender);
        return;
    }
    dbgMensagem->setOption("dgEditing", true);
    cdsMensTipoOper.edit();
    ControlaBotoes();
    cdsMensTipoOper.fieldByName("CDMENSAGEM").focusControl();
}

void TfrmTipOper::cdsTipOperNewRecord(tk::DataSet&) {
    Vd_IdOrigDestOP();
    Vd_IdOperDevoNF();
    // Each assignment shows at once, so the click handlers of the boxes run in this order.
    static const std::pair<const char*, const char*> defaults[] = {
        {"IDINFCPFCNPJNF", "N"},   {"IDUTCUSORIGEST", "N"},  {"IDNFPRESTSERV", "N"},  {"IDNFIMPORTACAO", "N"},
        {"IDTIPOOPERELE", "N"},    {"IDNFRETIND", "N"},      {"IDCONTCONFORIG", "S"}, {"IDDESCIMPRECCOFI", "N"},
        {"IDOPTRIANGULAR", "N"},   {"IDENTRTERCEIRO", "N"},  {"IDREMESSAINDU", "N"},  {"IDBLOQFECHADIANF", "S"},
        {"IDCALCDIFALDENT", "N"},  {"DSOPERENCRATPL", "N"},  {"IDBLOQPRESTTPOP", "N"}, {"IDCALCVALFRETE", "N"},
        {"IDCONSLISPRECO", "N"},   {"IDNFIMPORTACAOIND", "N"}, {"IDBLOQNFFORAMES", "N"},
    };
    for (const auto& [field, value] : defaults) cdsTipOper.fieldByName(field).setAsString(value);
}

void TfrmTipOper::Vd_IdOrigDestOP() {
    tk::Field& field = cdsTipOper.fieldByName("IDORIGDESTOP");
    if (Consiste::EmptyString(field.asString())) field.setAsString(cbbEntSaid->itemIndex() == 0 ? "F" : "C");
}

void TfrmTipOper::Vd_IdOperDevoNF() {
    tk::Field& field = cdsTipOper.fieldByName("IDOPERDEVONF");
    if (Consiste::EmptyString(field.asString())) field.setAsString("N");
}

void TfrmTipOper::cdsTipOperAfterInsert(tk::DataSet&) {
    if (tshFormulario.enabled()) dbeCdTipoOper->setFocus();
}

} // namespace Cli_ger06600
