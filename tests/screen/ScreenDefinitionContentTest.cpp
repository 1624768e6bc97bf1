// What the compiled-in definition of the operation-type screen holds: the facts other parts of the
// module rely on by name (catalogue bytes, field order, bindings, containers, handlers, SQL texts).

#include "screen/Embedded.h"

#include <algorithm>
#include <cctype>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <iterator>
#include <optional>
#include <set>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

using namespace screen;
using ::testing::ElementsAre;
using ::testing::ElementsAreArray;
using ::testing::UnorderedElementsAre;

namespace {

const Definition& def() {
    return definition();
}

std::vector<std::string> words(const std::string& text) {
    std::istringstream in(text);
    return {std::istream_iterator<std::string>(in), std::istream_iterator<std::string>()};
}

std::vector<std::string> childNames(std::string_view parent) {
    std::vector<std::string> out;
    for (const Control* c : def().children(parent))
        out.push_back(c->name);
    return out;
}

// Every handler of TfrmTipOper that the resource binds; a misspelt name on either side fails.
const std::vector<std::string> kScreenHandlers =
    words("FormCreate FormShow FormClose netTipOperBeforeConnect panFiltroEnter panFiltroExit "
          "cbbEntSaidExit cbbEntSaidChange pgcPadraoChange dtsPadraoStateChange sbtIncluirClick "
          "sbtAlterarClick sbtExcluirClick sbtConfirmarClick sbtCancelarClick sbtVerificarClick "
          "sbtProcurarClick cdsTipOperAfterOpen cdsTipOperAfterInsert cdsTipOperNewRecord "
          "cdsTipOperBeforePost cdsTipOperAfterPost cdsTipOperAfterDelete cdsTipOperAfterScroll "
          "cdsTipOperIDGERANFCMPGetText cdsTipOperIDGERANFCMPSetText cdsTipOperIDORIGDESTOPGetText "
          "cdsTipOperIDORIGDESTOPSetText dcbIdOrigDestOpChange dbcIdGeraNFCmpKeyDown dbeCdTipoOperExit "
          "dckIdUtilVencClick dckVencObriClick dckIdGeraVencClick dckInfCPFClick dckAtuaEstClick "
          "dbcBrindeTpOperClick dckEstornoCancClick dbcNfAjusteClick dbcUtCtrlAIDFClick "
          "dbcInfNumeNfClick dckNotaDevoClick dckNotaPrestServClick dckUtlEmisNFSeClick "
          "dckIDNFIMPORTACAOClick dckIDNFIMPORTACAOINDClick dckSugQtdTotDevClick dckDocDevoClick "
          "rbtListaFClick rbtNenhumClick rbtTEncargoClick rbtEncargoClick btpDocOrigemClick "
          "btnPesqEncargoClick dbeSetorChange dbeSetorExit dbePrecoChange dbePrecoExit "
          "btpPesqSetorBeforePesq btpPesqSetorAfterPesq btnPesqPrecoBeforePesq btnPesqPrecoAfterPesq "
          "dbeCdFornePadrChange dbeCdFornePadrEnter dbeCdFornePadrExit btpFornecedorBeforePesq "
          "btpFornecedorAfterPesq qryFornecedorNRINSJURFORNGetText dbeBonificacaoChange "
          "dbeBonificacaoExit btnPesqTpBonifBeforePesq btnPesqTpBonifAfterPesq "
          "cdsMensTipoOperNewRecord cdsMensTipoOperBeforePost cdsMensTipoOperAfterPost "
          "cdsMensTipoOperAfterCancel cdsMensTipoOperAfterDelete dbgMensagemColExit dbgMensagemKeyDown "
          "dbgMensagemKeyPress");

} // namespace

TEST(ScreenCatalogue, HoldsTheThirtyFourLinesInOrderByteForByte) {
    const std::vector<std::string> expected = {
        "F|Fornecedor",
        "L|Filial",
        "C|Cliente",
        "S|Sim",
        "N|N\xC3\xA3o",
        "Verif_Server|Verificando registros no servidor...",
        "Atual_Server|Atualizando registros no servidor...",
        "Nome_inf|Nome deve ser informado.",
        "TipoOper|Tipo de Opera\xC3\xA7\xC3\xA3o",
        "N_TipoOper|N\xC3\xA3o h\xC3\xA1 tipo de opera\xC3\xA7\xC3\xA3o cadastrado.",
        "CDTIPOCUSTO_cad|Tipo de Custo n\xC3\xA3o cadastrado.",
        "CDPRECO_cad|Tabela de Pre\xC3\xA7o n\xC3\xA3o cadastrada.",
        "CdTipoOper_inf|C\xC3\xB3\x64igo deve ser informado. ",
        "TipoOPer_jc|Tipo de opera\xC3\xA7\xC3\xA3o j\xC3\xA1 cadastrado.",
        "DocOrig_Inf|Documento Origem deve ser informado.",
        "0|Origem",
        "1|Destino",
        "Sim|Sim",
        "N\xC3\xA3o|N\xC3\xA3o",
        "Forn_Cad|Fornecedor n\xC3\xA3o cadastrado.",
        "Forn_inf|Fornecedor padr\xC3\xA3o deve ser informado.",
        "Desc_inf|Descri\xC3\xA7\xC3\xA3o da opera\xC3\xA7\xC3\xA3o deve ser informada.",
        "UtilDocOrig_Inf|Aten\xC3\xA7\xC3\xA3o! Tipo de opera\xC3\xA7\xC3\xA3o de estorno de cancelamento "
        "deve utilizar "
        "documento de origem.",
        "EstornoCancDogObg|Opera\xC3\xA7\xC3\xA3o bloqueada! Tipo de opera\xC3\xA7\xC3\xA3o de estorno de "
        "cancelamento deve "
        "utilizar documento de origem obrigat\xC3\xB3rio.",
        "DocOrig_max|Aten\xC3\xA7\xC3\xA3o! S\xC3\xB3 s\xC3\xA3o cadastrados at\xC3\xA9 no m\xC3\xA1ximo 6 "
        "tipos de "
        "opera\xC3\xA7\xC3\xA3o distintos como documento de origem.",
        "Despesa_Acessoria|Opera\xC3\xA7\xC3\xA3o bloqueada! Existe parametriza\xC3\xA7\xC3\xA3o de despesa "
        "acess\xC3\xB3ria. Favor verificar controle fiscal.",
        "Compra|Compra/Bonifica\xC3\xA7\xC3\xA3o",
        "Venda|Venda/Bonifica\xC3\xA7\xC3\xA3o",
        "Enc|Encargo",
        "N_Enc|Encargo n\xC3\xA3o cadastrado",
        "Enc_Inf|Encargo deve ser informado.",
        "Bonif_Cad|Tipo de opera\xC3\xA7\xC3\xA3o para bonifica\xC3\xA7\xC3\xA3o n\xC3\xA3o cadastrada.",
        "Cod_Inf|C\xC3\xB3\x64igo deve ser informado.",
        "Desc_Mens|Descri\xC3\xA7\xC3\xA3o deve ser informada.",
    };
    EXPECT_THAT(def().catalogue("msgPadrao"), ElementsAreArray(expected));
}

TEST(ScreenRecord, HasTheEightyTwoFieldsInRecordOrder) {
    // The order is a contract: the list of empty fields sent with every save walks it.
    const std::vector<std::string> order =
        words("IDUTCUSORIGEST IDTPIJURFORN NRINSJURFORN IDINFCPFCNPJNF CDFORNECEDPADR DSOPERNFAVISTA "
              "NMRAZSOCFORN IDGERADUPLI IDPERALTDSEM IDPERNUMENF IDUTILEMISNF CDTIPOOPER NMTIPOOPER "
              "IDGERANFCMP IDENTRSAIDOP IDORIGDESTOP IDGERAVENC IDUTILVENC CDEXTIPOOPER NMTIPOCUSTO "
              "DSOPERNFORIG IDUTLLISTORI IDNFORIGOBRI IDOPERDEVONF IDATUESTTPOP CDTIPOCUSTO "
              "CDPRECOBASE DSPRECOBASE IDDCORIGRELAC IDSERIEAUTO IDCONSCTBRAT IDUTILVENCOBR "
              "IDGERAVENCNFAP IDUTGERNFTRAN IDCONSPARFIS IDNOTADEVO IDBRINDETPOPER IDUTILNFSE "
              "IDCOAVRIMPVRPROD IDNFPRESTSERV IDNFESTCANC IDNFAJUSTE IDCONTABOPER IDUTCTRLAIDF "
              "IDNFIMPORTACAO IDTIPOOPERELE IDOPERDEVOOL IDOBRDTREFFAT IDALTDTREFAPROV IDCONTSOMENIMPO "
              "IDNFRETIND IDCONTCONFORIG IDDESCIMPRECCOFI IDREMESSAINDU IDOPTRIANGULAR IDENTRTERCEIRO "
              "IDCMPVNDBONI IDUTLOCPRESTSERV IDBLOQFECHADIANF IDCALCDIFALDENT IDCONSANACONC "
              "IDREMEINSUAPROV IDESTVRESTCTBDEVVEND IDNFDEBITO IDAPROVAUTOPS IDBONIFICACAO "
              "IDREGESPECIAL IDESTORNONFCE IDREARATMANNF CDEVENTOSNCM IDNTRANSCREICMS DSOPERENCRATPL "
              "CDTIPOOPERBONIF NMBONIFICACAO IDBLOQPRESTTPOP IDCALCVALFRETE IDNFSTMANUAL "
              "IDIMPDSPRODEMIS IDCONSLISPRECO IDNFIMPORTACAOIND IDBLOQNFFORAMES IDSUGQTDTOTDEV");
    const auto& record = def().dataSet("cdsTipOper");
    EXPECT_THAT(record.fieldNames(), ElementsAreArray(order));

    struct Row {
        int number;
        const char* name;
        int size;
        const char* label;
        bool visible;
    };
    for (const Row& row :
         {Row{1, "IDUTCUSORIGEST", 1, "", false}, Row{3, "NRINSJURFORN", 20, "", false},
          Row{5, "CDFORNECEDPADR", 21, "", false}, Row{12, "CDTIPOOPER", 2, "Código", true},
          Row{13, "NMTIPOOPER", 30, "Nome", true}, Row{14, "IDGERANFCMP", 1, "Gera Nota para Compra", false},
          Row{16, "IDORIGDESTOP", 1, "Origem/Destino", false}, Row{20, "NMTIPOCUSTO", 50, "", false},
          Row{21, "DSOPERNFORIG", 30, "", false}, Row{70, "CDEVENTOSNCM", 12, "", false},
          Row{72, "DSOPERENCRATPL", 300, "", false}, Row{73, "CDTIPOOPERBONIF", 40, "", false},
          Row{80, "IDNFIMPORTACAOIND", 1, "", true}, Row{81, "IDBLOQNFFORAMES", 1, "", true},
          Row{82, "IDSUGQTDTOTDEV", 1, "", true}}) {
        const FieldDef& f = record.fields.at(static_cast<std::size_t>(row.number - 1));
        EXPECT_EQ(f.name, row.name) << "#" << row.number;
        EXPECT_EQ(f.size, row.size) << row.name;
        EXPECT_EQ(f.label, row.label) << row.name;
        EXPECT_EQ(f.visible, row.visible) << row.name;
    }
    const auto visible = std::count_if(record.fields.begin(), record.fields.end(),
                                       [](const FieldDef& f) { return f.visible; });
    EXPECT_EQ(visible, 5);
    EXPECT_TRUE(record.field("IDGERADUPLI").fixedChar);
    EXPECT_TRUE(record.field("IDCONSPARFIS").fixedChar);
    EXPECT_EQ(record.field("IDOPERDEVONF").origin, "DARIVEDAR.TIPOOPERAC.IDOPERDEVONF");
}

TEST(ScreenRecord, EveryBoundFieldNamesAControlBoundBackToIt) {
    const auto& record = def().dataSet("cdsTipOper");
    int checkBoxes = 0;
    for (const FieldDef& f : record.fields) {
        if (f.control.empty()) continue;
        const Control& c = def().control(f.control);
        EXPECT_EQ(c.dataSource, "dtsPadrao") << f.name;
        EXPECT_EQ(c.field, f.name) << f.name;
        if (c.type == "TDBCheckBox") {
            ++checkBoxes;
            EXPECT_EQ(f.size, 1) << f.name;
            EXPECT_EQ(c.valueChecked, "S") << c.name;
            EXPECT_EQ(c.valueUnchecked, "N") << c.name;
            EXPECT_EQ(c.parent, "grbForm") << c.name << ": option boxes stand in the option group";
        }
    }
    EXPECT_EQ(checkBoxes, 61);
    for (const char* unbound :
         {"IDTPIJURFORN", "CDFORNECEDPADR", "IDENTRSAIDOP", "DSOPERNFORIG", "IDCONTABOPER", "DSOPERENCRATPL"})
        EXPECT_EQ(record.field(unbound).control, "") << unbound;
}

TEST(ScreenControls, CaptionsTextsAndItemsAreExact) {
    struct Row {
        const char* control;
        const char* caption;
    };
    for (const Row& row :
         {Row{"dckDocDevo", "Utiliza Documento Origem"}, Row{"grbDocOrigem", " Documento Origem "},
          Row{"tshMensagem", "Mensagem"}, Row{"dckBonificacao", "Compra/Venda/Bonificação"},
          Row{"lblEntSaid", "Entrada/Saída"}, Row{"grbFornePadr", "Fornecedor Padrão"},
          Row{"grbEncargoPLiquido", "Encargo para Rateio por Peso Líquido"}, Row{"lblFornePadr", "Inscrição"},
          Row{"lblBonificacao", "T.O. Bonificação"}, Row{"lblOrigDest", "Origem/Destino"},
          Row{"lblCodigoSNCM", "Código evento (NSCM - Anvisa)"}, Row{"lblCodTela", "GER06600"},
          Row{"rbtTodosF", "Todos"}, Row{"rbtNenhum", "Nenhum"},
          Row{"dbcInfNumeNf", "Permite Informar Nº NF no Lançamento"},
          Row{"dckIdBloqNfFechDia", "Bloqueia Fechamento do Dia com NF's não Emitidas/Transmitidas"}})
        EXPECT_EQ(def().control(row.control).caption, row.caption) << row.control;

    EXPECT_THAT(def().control("cbbEntSaid").items, ElementsAre("Entrada", "Saída"));
    EXPECT_THAT(def().control("dbcIdGeraNFCmp").items, ElementsAre("Sim", "Não"));
    EXPECT_THAT(def().control("dcbIdOrigDestOp").items, ElementsAre("Fornecedor", "Cliente", "Filial"));
    EXPECT_EQ(def().control("dbCodigoSNCM").maxLength, 2);
    EXPECT_EQ(def().dataSet("cdsTipOper").field("CDEVENTOSNCM").size, 12);
}

TEST(ScreenControls, InitialStatesOfTheResource) {
    struct Row {
        const char* control;
        std::optional<bool> enabled;
        std::optional<bool> checked;
    };
    for (const Row& row : {Row{"grbDocOrigem", std::nullopt, std::nullopt},
                           Row{"rbtTodosF", std::nullopt, true},
                           Row{"rbtListaF", std::nullopt, false},
                           Row{"btpDocOrigem", false, std::nullopt},
                           Row{"grbEncargoPLiquido", std::nullopt, std::nullopt},
                           Row{"rbtTEncargo", std::nullopt, false},
                           Row{"rbtEncargo", std::nullopt, false},
                           Row{"rbtNenhum", std::nullopt, true},
                           Row{"btnPesqEncargo", false, std::nullopt},
                           Row{"tshMensagem", false, std::nullopt},
                           Row{"sbtImprimir", false, std::nullopt},
                           Row{"mnuListagem", false, std::nullopt},
                           Row{"mnuIncluir", false, std::nullopt},
                           Row{"mnuExcluir", false, std::nullopt},
                           Row{"mnuAlterar", std::nullopt, std::nullopt},
                           Row{"btpPesqSetor", false, std::nullopt},
                           Row{"btnPesqPreco", false, std::nullopt},
                           Row{"btnPesqTpBonif", false, std::nullopt},
                           Row{"btpFornecedor", false, std::nullopt},
                           Row{"dbeNmRazsocForn", false, std::nullopt}}) {
        const Control& c = def().control(row.control);
        EXPECT_EQ(c.enabled, row.enabled) << row.control;
        EXPECT_EQ(c.checked, row.checked) << row.control;
    }
    for (const char* display : {"dbeNmSetor", "dbeValor", "dbeBonif"}) {
        const Control& c = def().control(display);
        EXPECT_FALSE(c.isEnabled()) << display;
        EXPECT_EQ(c.readOnly, true) << display;
        EXPECT_EQ(c.tabStop, false) << display;
    }
    for (const char* name :
         {"sbtImprimir", "mnuListagem", "dbgPadrao", "pgcPadrao", "tshFormulario", "dbnPadrao"})
        EXPECT_TRUE(def().control(name).inherited) << name;
    EXPECT_FALSE(def().control("tshMensagem").inherited);
    EXPECT_EQ(def().control("cbbEntSaid").itemIndex, 0);
}

TEST(ScreenControls, SearchButtons) {
    struct Row {
        const char* button;
        const char* title;
        const char* associate;
        const char* source;
        const char* empty;
    };
    for (const Row& row :
         {Row{"btpPesqSetor", "Tipo de Custo", "dbeSetor", "dtsBtnCusto", nullptr},
          Row{"btnPesqPreco", "Tabela Preço", "dbePreco", "dtsBtnPreco", nullptr},
          Row{"btnPesqTpBonif", "Tipo de Operação", "dbeBonificacao", "dtsBtnBonificacao", nullptr},
          Row{"btpFornecedor", "Fornecedor", "dbeCdFornePadr", "dtsFornecedor",
              "Não há fornecedor cadastrado."},
          Row{"btpDocOrigem", nullptr, "rbtListaF", "dtsPesqDocOrigem", nullptr},
          Row{"btnPesqEncargo", nullptr, "rbtEncargo", "dtsPesqEncargo", nullptr}}) {
        const Control& c = def().control(row.button);
        EXPECT_EQ(c.type, "TBtnPesquisa");
        EXPECT_EQ(c.hint, "Pesquisar") << row.button;
        EXPECT_EQ(c.title, row.title ? std::optional<std::string>(row.title) : std::nullopt) << row.button;
        EXPECT_EQ(c.associate, row.associate) << row.button;
        EXPECT_EQ(c.searchDataSource, row.source) << row.button;
        EXPECT_EQ(c.emptyError, row.empty ? std::optional<std::string>(row.empty) : std::nullopt)
            << row.button;
        // A button searches either through its Before/AfterPesq pair or entirely in its click handler.
        EXPECT_NE(c.handler("OnClick").empty(), c.handler("OnBeforePesq").empty()) << row.button;
    }
}

TEST(ScreenControls, ContainersHoldOnlyWhatTheyShould) {
    // A control inside a disabled container cannot be operated, so membership is part of behaviour.
    EXPECT_THAT(childNames("panFiltro"), ElementsAre("lblEntSaid", "cbbEntSaid"));
    EXPECT_THAT(childNames("grbFornePadr"), ElementsAre("lblFornePadr", "dbeCdFornePadr", "btpFornecedor",
                                                        "dbeNmRazsocForn", "lblDsNmOper", "dbeNmOper"));
    EXPECT_THAT(childNames("grbDocOrigem"), ElementsAre("rbtTodosF", "rbtListaF", "btpDocOrigem"));
    EXPECT_THAT(childNames("grbEncargoPLiquido"),
                UnorderedElementsAre("rbtTEncargo", "rbtEncargo", "rbtNenhum", "btnPesqEncargo"));
    EXPECT_THAT(childNames("panSNCM"), ElementsAre("lblCodigoSNCM", "dbCodigoSNCM"));
    EXPECT_THAT(childNames("pgcPadrao"), ElementsAre("tshFolhaDados", "tshFormulario", "tshMensagem"));
    for (const char* beside : {"dckDocDevo", "dckInfCPF", "grbFornePadr", "grbDocOrigem", "panSNCM"})
        EXPECT_EQ(def().control(beside).parent, "grbForm") << beside;
    EXPECT_EQ(def().control("grbForm").parent, "tshFormulario");

    std::string chain;
    for (const Control* c = &def().control("dbgMensagem"); !c->parent.empty(); c = &def().control(c->parent))
        chain += c->parent + "/";
    EXPECT_EQ(chain, "sbxMensagem/panMensagem/tshMensagem/pgcPadrao/");
}

TEST(ScreenControls, GridsShowTheirColumnsAndMessagesGridStartsReadOnly) {
    const Control& messages = def().control("dbgMensagem");
    EXPECT_EQ(messages.dataSource, "dtsMensTipoOper");
    ASSERT_EQ(messages.columns.size(), 2U);
    EXPECT_EQ(messages.columns[0].field, "CDMENSAGEM");
    EXPECT_EQ(messages.columns[0].title, "Código");
    EXPECT_EQ(messages.columns[0].width, 54);
    EXPECT_EQ(messages.columns[1].field, "DSMENSAGEM");
    EXPECT_EQ(messages.columns[1].title, "Descrição");
    EXPECT_EQ(messages.columns[1].width, 500);
    EXPECT_THAT(messages.options,
                UnorderedElementsAre("dgTitles", "dgColumnResize", "dgColLines", "dgRowLines", "dgTabs",
                                     "dgConfirmDelete", "dgCancelOnExit"));
    const Control& records = def().control("dbgPadrao");
    ASSERT_EQ(records.columns.size(), 2U);
    EXPECT_EQ(records.columns[0].field, "CDTIPOOPER");
    EXPECT_EQ(records.columns[0].width, 40);
    EXPECT_EQ(records.columns[1].field, "NMTIPOOPER");
    EXPECT_EQ(records.columns[1].width, 271);
}

TEST(ScreenHandlers, EveryBoundHandlerIsOneOfTheScreensAndEachIsBound) {
    std::vector<std::string> expected = kScreenHandlers;
    std::sort(expected.begin(), expected.end());
    EXPECT_THAT(def().handlerNames(), ElementsAreArray(expected));
}

TEST(ScreenHandlers, BindingsThatShareOrNameHandlers) {
    std::set<std::tuple<std::string, std::string, std::string>> bound;
    for (const auto& b : def().handlerBindings())
        bound.emplace(b.component, b.event, b.handler);
    const std::vector<std::tuple<std::string, std::string, std::string>> expected = {
        {"frmTipOper", "OnCreate", "FormCreate"},
        {"frmTipOper", "OnShow", "FormShow"},
        {"frmTipOper", "OnClose", "FormClose"},
        {"netTipOper", "BeforeConnect", "netTipOperBeforeConnect"},
        {"rbtTodosF", "OnClick", "rbtListaFClick"},
        {"rbtListaF", "OnClick", "rbtListaFClick"},
        {"dckDocDevo", "OnClick", "dckDocDevoClick"},
        {"dckIDUtCusOrigEst", "OnClick", "dckDocDevoClick"},
        {"dbeSetor", "OnChange", "dbeSetorChange"},
        {"dbeSetor", "OnExit", "dbeSetorExit"},
        {"btpPesqSetor", "OnBeforePesq", "btpPesqSetorBeforePesq"},
        {"btpPesqSetor", "OnAfterPesq", "btpPesqSetorAfterPesq"},
        {"dbgMensagem", "OnColExit", "dbgMensagemColExit"},
        {"dbgMensagem", "OnKeyPress", "dbgMensagemKeyPress"},
        {"panFiltro", "OnEnter", "panFiltroEnter"},
        {"cbbEntSaid", "OnExit", "cbbEntSaidExit"},
        {"dbcIdGeraNFCmp", "OnKeyDown", "dbcIdGeraNFCmpKeyDown"},
        {"dtsPadrao", "OnStateChange", "dtsPadraoStateChange"},
        {"cdsTipOperIDORIGDESTOP", "OnGetText", "cdsTipOperIDORIGDESTOPGetText"},
        {"qryFornecedorNRINSJURFORN", "OnGetText", "qryFornecedorNRINSJURFORNGetText"},
        {"cdsMensTipoOper", "AfterCancel", "cdsMensTipoOperAfterCancel"},
        {"pgcPadrao", "OnChange", "pgcPadraoChange"},
    };
    for (const auto& b : expected)
        EXPECT_TRUE(bound.contains(b)) << std::get<0>(b) << "." << std::get<1>(b) << " -> " << std::get<2>(b);

    // The sixteen option boxes run a click handler named after themselves ...
    for (const char* box :
         {"dckIdUtilVenc", "dckVencObri", "dckIdGeraVenc", "dckInfCPF", "dckAtuaEst", "dbcBrindeTpOper",
          "dckEstornoCanc", "dbcNfAjuste", "dbcUtCtrlAIDF", "dbcInfNumeNf", "dckNotaDevo", "dckNotaPrestServ",
          "dckUtlEmisNFSe", "dckIDNFIMPORTACAO", "dckIDNFIMPORTACAOIND", "dckSugQtdTotDev"})
        EXPECT_EQ(def().control(box).handler("OnClick"), std::string(box) + "Click");
    // ... and these have none, so a change of their check sets nothing else off.
    for (const char* box :
         {"dckOrigObrig", "dckPesqLista", "dbcIdGeraVenNf", "dckUtLocPrestServ", "dckImpProdEmis"})
        EXPECT_EQ(def().control(box).handler("OnClick"), "") << box;
}

TEST(ScreenDataSets, ProvidersFieldsMasksAndSources) {
    const auto& record = def().dataSet("cdsTipOper");
    EXPECT_EQ(record.provider, "dspTipOper");
    EXPECT_EQ(record.indexName, "cdsTipOperIndex1");
    EXPECT_EQ(record.indexFields, "CDTIPOOPER");
    EXPECT_EQ(record.events.size(), 7U);

    const auto& messages = def().dataSet("cdsMensTipoOper");
    EXPECT_EQ(messages.provider, "");
    EXPECT_THAT(messages.fieldNames(),
                ElementsAre("NRMENSTPOPER", "CDMENSAGEM", "CDTIPOOPER", "IDENTRSAIDOP", "DSMENSAGEM"));
    EXPECT_EQ(messages.field("CDMENSAGEM").size, 3);
    EXPECT_EQ(messages.field("DSMENSAGEM").size, 120);
    EXPECT_EQ(messages.events.size(), 5U);

    struct Row {
        const char* dataSet;
        const char* provider;
        const char* code;
        const char* mask;
    };
    for (const Row& row : {Row{"cdsCusto", "dspBtnCusto", "CDTIPOCUSTO", "99;1; "},
                           Row{"cdsPreco", "dspBtnPreco", "CDPRECOBASE", "99;1; "},
                           Row{"cdsVdCusto", "dspVdCusto", "CDTIPOCUSTO", ""},
                           Row{"cdsVdPreco", "dspVdPreco", "CDPRECOBASE", ""},
                           Row{"cdsBonificacao", "dspBtnBonificacao", "CDTIPOOPER", ""},
                           Row{"cdsVdBonif", "dspVdBonif", "CDTIPOOPER", ""}}) {
        const auto& ds = def().dataSet(row.dataSet);
        EXPECT_EQ(ds.provider, row.provider) << row.dataSet;
        EXPECT_EQ(ds.fields.at(0).name, row.code) << row.dataSet;
        EXPECT_EQ(ds.fields.at(0).size, 2) << row.dataSet;
        EXPECT_EQ(ds.fields.at(0).editMask, row.mask) << row.dataSet;
    }

    struct Source {
        const char* name;
        const char* dataSet;
    };
    for (const Source& s :
         {Source{"dtsPadrao", "cdsTipOper"}, Source{"dtsMensTipoOper", "cdsMensTipoOper"},
          Source{"dtsBtnCusto", "cdsCusto"}, Source{"dtsBtnPreco", "cdsPreco"},
          Source{"dtsBtnBonificacao", "cdsBonificacao"}, Source{"dtsFornecedor", "qryFornecedor"},
          Source{"dtsPesqDocOrigem", "qryPesqDocOrigem"}, Source{"dtsPesqEncargo", "qryPesqEncargo"}})
        EXPECT_EQ(def().dataSource(s.name).dataSet, s.dataSet);
    EXPECT_TRUE(def().dataSource("dtsPadrao").inherited);
}

TEST(ScreenQueries, DialectTextsLineByLine) {
    struct Counts {
        const char* query;
        std::size_t generic, oracle, mssql, ib;
    };
    for (const Counts& c :
         {Counts{"qryVdTipoOper", 7, 0, 0, 0}, Counts{"qryFornecedor", 4, 0, 0, 0},
          Counts{"qryPesqDocOrigem", 11, 10, 10, 10}, Counts{"qryPesqEncargo", 7, 6, 6, 6}}) {
        const QueryDef& q = def().query(c.query);
        EXPECT_EQ(q.lines(Dialect::Generic).size(), c.generic) << c.query;
        EXPECT_EQ(q.lines(Dialect::Oracle).size(), c.oracle) << c.query;
        EXPECT_EQ(q.lines(Dialect::MsSql).size(), c.mssql) << c.query;
        EXPECT_EQ(q.lines(Dialect::InterBase).size(), c.ib) << c.query;
    }

    const QueryDef& doc = def().query("qryPesqDocOrigem");
    EXPECT_EQ(doc.sql[4], "   (IDENTRSAIDOP||'-'||CDTIPOOPER) AS OPERACAO");
    EXPECT_EQ(doc.sqlMssql[4], "   (IDENTRSAIDOP+'-'+CDTIPOOPER) AS OPERACAO");
    EXPECT_EQ(doc.sql[7], "");
    EXPECT_EQ(doc.sql[10], " ");
    for (std::size_t i = 0; i < 10; ++i) {
        EXPECT_EQ(doc.sqlOracle[i], doc.sql[i]) << i;
        EXPECT_EQ(doc.sqlIb[i], doc.sql[i]) << i;
        if (i != 4) {
            EXPECT_EQ(doc.sqlMssql[i], doc.sql[i]) << i;
        }
    }

    const QueryDef& charges = def().query("qryPesqEncargo");
    EXPECT_EQ(charges.sql[2], " WHERE((CDENCARGO = :P_CDENCARGO) OR (:P_TCDENCARGO = 'T')) ");
    EXPECT_THAT(std::vector(charges.sql.begin() + 4, charges.sql.end()), ElementsAre(" ", " ", " "));
    EXPECT_THAT(std::vector(charges.sqlIb.begin() + 4, charges.sqlIb.end()), ElementsAre(" ", " "));

    const QueryDef& duplicate = def().query("qryVdTipoOper");
    EXPECT_FALSE(duplicate.hasText(Dialect::MsSql));
    EXPECT_EQ(duplicate.effectiveText(Dialect::MsSql), duplicate.text(Dialect::Generic));
    EXPECT_EQ(duplicate.text(Dialect::Generic),
              "SELECT\n   CDTIPOOPER\nFROM\n   TIPOOPERAC\nWHERE\n"
              "   CDTIPOOPER = :P_CDTIPOOPER AND\n   IDENTRSAIDOP = :P_IDENTRSAID");
}

TEST(ScreenQueries, DeclaredParametersAreExactlyThoseTheTextsUse) {
    for (const QueryDef& q : def().queries)
        for (const Dialect dialect :
             {Dialect::Generic, Dialect::Oracle, Dialect::MsSql, Dialect::InterBase}) {
            if (!q.hasText(dialect)) continue;
            const std::string text = q.text(dialect);
            std::set<std::string> used;
            for (std::size_t at = text.find(':'); at != std::string::npos; at = text.find(':', at + 1)) {
                std::size_t end = at + 1;
                while (end < text.size() &&
                       (std::isalnum(static_cast<unsigned char>(text[end])) || text[end] == '_'))
                    ++end;
                used.insert(text.substr(at + 1, end - at - 1));
            }
            EXPECT_EQ(used, std::set<std::string>(q.parameters.begin(), q.parameters.end()))
                << q.name << " " << dialectKey(dialect);
        }
    const auto& suppliers = def().query("qryFornecedor");
    EXPECT_EQ(suppliers.field("NRINSJURFORN").events.at("OnGetText"), "qryFornecedorNRINSJURFORNGetText");
    EXPECT_TRUE(suppliers.field("CDFORNECED").required);
    EXPECT_FALSE(suppliers.field("CDFORNECED").visible);
    EXPECT_EQ(def().query("qryPesqDocOrigem").field("NMTIPOOPER").displayWidth, 35);
}

TEST(ScreenForm, AttributesAndConnection) {
    const FormDef& form = def().form;
    EXPECT_EQ(form.name, "frmTipOper");
    EXPECT_EQ(form.className, "TfrmTipOper");
    EXPECT_EQ(form.caption, "Tipo de Operação");
    EXPECT_EQ(form.screenCode, "GER06600");
    EXPECT_EQ(form.helpContext, 12406600);
    EXPECT_EQ(form.helpFile, "GerHelp.hlp");
    EXPECT_EQ(form.activeControl, "cbbEntSaid");
    EXPECT_EQ(def().connection.serverName, "Ger06600.rdmTipOper");
    EXPECT_FALSE(def().connection.throwException);
}
