// The loader builds any maintenance screen from its definition: a small screen written here, not the
// operation-type screen, shows that nothing in it is particular to one screen.

#include "frm/ScreenLoader.h"

#include "frm/BtnPesquisa.h"
#include "frm/FrmPadrao.h"
#include "screen/ScreenDefinition.h"
#include "toolkit/Application.h"
#include "toolkit/ComboBox.h"
#include "toolkit/DBCheckBox.h"
#include "toolkit/DBEdit.h"
#include "toolkit/Panel.h"

#include <functional>
#include <gtest/gtest.h>

namespace {

struct Tela : frm::TfrmPadrao {
    Tela() : frm::TfrmPadrao("frmTela") {}
    std::vector<std::string> log;
    std::function<void(tk::Component&)> connectionBeforeConnect;

    void FormShow(tk::Component&) override { log.push_back("FormShow"); }
    void panFiltroExit(tk::Component& sender) { log.push_back("exit " + sender.name()); }
    void cdsDadosAfterScroll(tk::DataSet& set) { log.push_back("scroll " + std::to_string(set.recNo())); }
    void cdsDadosNOMEGetText(tk::Field& field, std::string& text, bool) {
        text = "[" + field.asString() + "]";
    }
    void btpBuscaBeforePesq(tk::Component&, bool& allow) {
        log.push_back("beforePesq");
        allow = false;
    }
    void netTelaBeforeConnect(tk::Component&) { log.push_back("beforeConnect"); }
};

const tk::Handlers& handlers() {
    static const tk::Handlers table{
        tk::Handlers::entry<Tela>("FormShow", &Tela::FormShow),
        tk::Handlers::entry<Tela>("panFiltroExit", &Tela::panFiltroExit),
        tk::Handlers::entry<Tela>("cdsDadosAfterScroll", &Tela::cdsDadosAfterScroll),
        tk::Handlers::entry<Tela>("cdsDadosNOMEGetText", &Tela::cdsDadosNOMEGetText),
        tk::Handlers::entry<Tela>("btpBuscaBeforePesq", &Tela::btpBuscaBeforePesq),
        tk::Handlers::entry<Tela>("netTelaBeforeConnect", &Tela::netTelaBeforeConnect),
    };
    return table;
}

screen::FieldDef field(std::string name, int size, std::string label = {}) {
    screen::FieldDef f;
    f.name = std::move(name);
    f.size = size;
    f.label = std::move(label);
    return f;
}

screen::Control control(std::string name, std::string type, std::string parent = {}) {
    screen::Control c;
    c.name = std::move(name);
    c.type = std::move(type);
    c.parent = std::move(parent);
    return c;
}

screen::Definition definition() {
    screen::Definition d;
    d.form.name = "frmTela";
    d.form.caption = "Tela de teste";
    d.form.screenCode = "TST00001";
    d.form.events = {{"OnShow", "FormShow"}};
    d.connection.name = "netTela";
    d.connection.events = {{"BeforeConnect", "netTelaBeforeConnect"}};
    d.catalogues["msgPadrao"] = {"Ok|Tudo certo"};

    screen::DataSetDef set;
    set.name = "cdsDados";
    set.fields = {field("CODIGO", 2, "Código"), field("NOME", 20, "Nome"), field("ATIVO", 1)};
    set.fields[1].events = {{"OnGetText", "cdsDadosNOMEGetText"}};
    set.indexFields = "CODIGO";
    set.events = {{"AfterScroll", "cdsDadosAfterScroll"}};
    d.dataSets = {set};
    screen::QueryDef query;
    query.name = "qryBusca";
    query.fields = {field("CHAVE", 5)};
    d.queries = {query};
    d.dataSources = {{"dtsPadrao", "cdsDados", true, {}}, {"dtsBusca", "qryBusca", false, {}}};

    auto panel = control("panFiltro", "TPanel");
    panel.caption = "";
    panel.events = {{"OnExit", "panFiltroExit"}};
    // The search button names an edit that comes after it.
    auto search = control("btpBusca", "TBtnPesquisa", "panFiltro");
    search.title = "Busca";
    search.emptyError = "Nada a buscar";
    search.searchDataSource = "dtsBusca";
    search.associate = "dbeNome";
    search.events = {{"OnBeforePesq", "btpBuscaBeforePesq"}};
    auto edit = control("dbeNome", "TDBEdit", "panFiltro");
    edit.dataSource = "dtsPadrao";
    edit.field = "NOME";
    edit.maxLength = 10;
    edit.geometry = screen::Geometry{4, 8, 120, 21};
    auto box = control("dckAtivo", "TDBCheckBox");
    box.dataSource = "dtsPadrao";
    box.field = "ATIVO";
    box.valueChecked = "1";
    box.valueUnchecked = "0";
    auto combo = control("cbbTipo", "TComboBox");
    combo.items = {"A", "B"};
    combo.itemIndex = 1;
    auto print = control("sbtImprimir", "TSpeedButton");
    print.inherited = true;
    print.enabled = false;
    d.controls = {panel, search, edit, box, combo, print};
    return d;
}

TEST(ScreenLoader, BuildsTheComponentsAndBindsTheHandlersByName) {
    tk::Application app;
    tk::Application::Scope scope(app);
    Tela tela;
    frm::buildScreen(tela, definition(), handlers(),
                     {{"netTela", {{"BeforeConnect", &tela.connectionBeforeConnect}}}});

    EXPECT_EQ(tela.caption(), "Tela de teste");
    EXPECT_EQ(tela.lblCodTela.caption(), "TST00001");
    EXPECT_EQ(tela.msgPadrao.Msg("Ok"), "Tudo certo");
    tk::DataSet& set = *tela.dataSet("cdsDados");
    EXPECT_EQ(set.fieldByName("CODIGO").displayLabel, "Código");
    EXPECT_EQ(set.indexFieldName(), "CODIGO");
    EXPECT_EQ(tela.dtsPadrao.dataSet(), &set);
    ASSERT_NE(tela.dataSource("dtsBusca"), nullptr);
    EXPECT_EQ(tela.dataSource("dtsBusca")->dataSet(), tela.dataSet("qryBusca"))
        << "a query's rows, by its name";

    auto& edit = tela.get<tk::TDBEdit>("dbeNome");
    EXPECT_EQ(edit.parent(), tela.control("panFiltro"));
    EXPECT_EQ(edit.fieldName(), "NOME");
    EXPECT_EQ(edit.maxLength(), 10);
    EXPECT_EQ(edit.bounds(), (tk::Bounds{4, 8, 120, 21}));
    auto& box = tela.get<tk::TDBCheckBox>("dckAtivo");
    EXPECT_EQ(box.valueChecked(), "1");
    EXPECT_EQ(box.valueUnchecked(), "0");
    EXPECT_EQ(tela.get<tk::TComboBox>("cbbTipo").itemIndex(), 1);
    auto& search = tela.get<frm::TBtnPesquisa>("btpBusca");
    EXPECT_EQ(search.Associate, &edit);
    EXPECT_EQ(search.Title, "Busca");
    EXPECT_EQ(search.DataSource, tela.dataSource("dtsBusca"));
    EXPECT_FALSE(tela.sbtImprimir.enabled()) << "an inherited control takes what the definition sets";
    EXPECT_TRUE(tela.sbtIncluir.enabled());

    // Every event named runs the screen's handler of that name.
    set.setData({{{"CODIGO", "string", 2}, {"NOME", "string", 20}, {"ATIVO", "string", 1}},
                 {{std::string("01"), std::string("Ana"), std::string("1")}}});
    EXPECT_EQ(set.fieldByName("NOME").text(), "[Ana]");
    EXPECT_TRUE(box.checked());
    tela.show();
    tela.setFocus(&edit);
    tela.setFocus(&box);
    search.click();
    tela.connectionBeforeConnect(tela);
    EXPECT_EQ(tela.log, (std::vector<std::string>{"scroll 1", "FormShow", "exit panFiltro", "beforePesq",
                                                  "beforeConnect"}));
    EXPECT_TRUE(frm::unboundHandlers(definition(), handlers()).empty());
}

TEST(ScreenLoader, AHandlerTheListLacksIsListedAndLeftUnbound) {
    tk::Application app;
    tk::Application::Scope scope(app);
    const tk::Handlers few{tk::Handlers::entry<Tela>("FormShow", &Tela::FormShow)};
    Tela tela;
    frm::buildScreen(tela, definition(), few,
                     {{"netTela", {{"BeforeConnect", &tela.connectionBeforeConnect}}}});
    EXPECT_EQ(frm::unboundHandlers(definition(), few),
              (std::vector<std::string>{"btpBuscaBeforePesq", "cdsDadosAfterScroll", "cdsDadosNOMEGetText",
                                        "netTelaBeforeConnect", "panFiltroExit"}));
    EXPECT_FALSE(tela.control("panFiltro")->onExit);
    EXPECT_FALSE(tela.connectionBeforeConnect);
}

TEST(ScreenLoader, ADefinitionThatDoesNotFitThePlatformIsRefused) {
    struct Case {
        const char* what;
        std::function<void(screen::Definition&)> spoil;
    };
    const std::vector<Case> cases{
        {"a property the kind does not take", [](screen::Definition& d) { d.controls[4].maxLength = 3; }},
        {"a data source the screen lacks",
         [](screen::Definition& d) { d.controls[2].dataSource = "dtsNada"; }},
        {"an associate the screen lacks", [](screen::Definition& d) { d.controls[1].associate = "dbeNada"; }},
        {"an event the kind does not have",
         [](screen::Definition& d) { d.controls[0].events["OnColExit"] = "x"; }},
        {"a handler whose arguments do not fit",
         [](screen::Definition& d) { d.dataSets[0].events["AfterScroll"] = "panFiltroExit"; }},
        {"an event of a component the screen does not offer",
         [](screen::Definition& d) { d.connection.events["BeforeConnect"] = "netTelaBeforeConnect"; }},
        {"an inherited control the base form lacks",
         [](screen::Definition& d) { d.controls[5].name = "sbtNada"; }},
        {"a kind nobody registered", [](screen::Definition& d) { d.controls[3].type = "TBotaoMagico"; }},
        {"a data source over nothing", [](screen::Definition& d) { d.dataSources[1].dataSet = "qryNada"; }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        tk::Application app;
        tk::Application::Scope scope(app);
        screen::Definition d = definition();
        c.spoil(d);
        Tela tela;
        EXPECT_THROW(frm::buildScreen(tela, d, handlers()), std::invalid_argument);
    }
}

} // namespace
