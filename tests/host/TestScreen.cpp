#include "TestScreen.h"

#include "toolkit/Application.h"
#include "toolkit/ComboBox.h"
#include "toolkit/DBEdit.h"
#include "toolkit/DataSet.h"
#include "toolkit/Form.h"
#include "toolkit/Label.h"
#include "toolkit/MemberSink.h"
#include "toolkit/PageControl.h"
#include "toolkit/Panel.h"
#include "toolkit/SpeedButton.h"
#include "toolkit/TabSheet.h"

#include <stdexcept>

namespace hosttest {

namespace {

struct TestUnit : tk::UnitState {
    bool boStCriado = false;
    std::string stDocOrigem;
    void describe(tk::MemberSink& out) const override {
        out.boolean("boStCriado", boStCriado);
        out.text("stDocOrigem", stDocOrigem);
        out.integer("outro", 1);
    }
};

TestUnit& testUnit() {
    return tk::Application::current().unit<TestUnit>(kTestUnit);
}

void setResult(tk::Form& form, const std::string& text) {
    form.get<tk::TLabel>("lblResultado").setCaption(text);
}

tk::DialogRows listRows() {
    tk::DialogRows rows;
    rows.fields = {"CODIGO", "NOME"};
    rows.labels = {"Código", "Nome"};
    rows.rows = {{"E-01", "Compra"}, {"E-05", "Devolução"}, {"S-02", "Venda"}};
    rows.keys = {"E-01", "E-05", "S-02"};
    return rows;
}

std::unique_ptr<tk::Form> buildForm(const std::shared_ptr<Journal>& journal) {
    auto owned = std::make_unique<tk::Form>(kTestForm);
    tk::Form& form = *owned;
    form.setCaption("Tela de Teste");
    auto& panel = form.add<tk::TPanel>("panFiltro");
    auto& combo = form.add<tk::TComboBox>("cbbTipo", &panel);
    combo.setItems({"Entrada", "Saída"});
    combo.setItemIndex(0);
    combo.onChange = [](tk::Control& c) {
        testUnit().stDocOrigem = static_cast<tk::TComboBox&>(c).itemIndex() == 0 ? "E" : "S";
    };
    form.add<tk::TLabel>("lblResultado").setBounds(tk::Bounds{8, 40, 200, 13});
    auto& pages = form.add<tk::TPageControl>("pgcTeste");
    auto& first = form.add<tk::TTabSheet>("tshUm", &pages);
    first.setCaption("Um");
    form.add<tk::TTabSheet>("tshDois", &pages).setCaption("Dois");
    pages.setActivePage(&first);

    auto& set = form.addDataSet("cdsDados");
    set.addField("NOME", 20, "Nome");
    auto& source = form.addDataSource("dtsDados", &set);
    auto& edit = form.add<tk::TDBEdit>("dbeNome");
    edit.setDataSource(&source);
    edit.setDataField("NOME");

    auto button = [&](const char* name, std::function<void(tk::Form&)> action) -> tk::TSpeedButton& {
        auto& b = form.add<tk::TSpeedButton>(name);
        b.setCaption(name);
        b.onClick = [&form, action](tk::Control&) { action(form); };
        return b;
    };
    button("sbtPergunta", [](tk::Form& f) {
        auto& app = tk::Application::current();
        app.shown().push_back("Deseja excluir o registro?");
        const int answer = app.dialogs().confirm("Excl", "Deseja excluir o registro?", tk::kAnswerNo);
        setResult(f, answer == tk::kAnswerYes ? "sim" : answer == tk::kAnswerNo ? "não" : "cancelado");
    });
    button("sbtAborta", [](tk::Form& f) {
        auto& app = tk::Application::current();
        app.shown().push_back("Código deve ser informado.");
        app.dialogs().error("Código deve ser informado.");
        setResult(f, "depois do erro");
        throw tk::SilentAbort();
    });
    button("sbtFalha",
           [](tk::Form&) { throw std::runtime_error("Falha de teste no servidor de aplicação"); });
    button("sbtLista", [](tk::Form& f) {
        auto picked = tk::Application::current().dialogs().pickMany("Documentos|Nenhum documento",
                                                                    "Nenhum documento", listRows(), {"E-05"});
        std::string text = picked ? "" : "cancelado";
        if (picked)
            for (const auto& k : *picked)
                text += (text.empty() ? "" : ",") + k;
        setResult(f, text);
    });
    button("sbtUm", [](tk::Form& f) {
        auto row = tk::Application::current().dialogs().pickOne("Encargos", "Nenhum encargo", listRows());
        setResult(f, row ? "linha " + std::to_string(*row) : "cancelado");
    });
    button("sbtProcura", [](tk::Form& f) {
        auto row = tk::Application::current().dialogs().search("Procurar", listRows());
        setResult(f, row ? "linha " + std::to_string(*row) : "cancelado");
    });
    button("sbtEspera", [journal](tk::Form& f) {
        auto& app = tk::Application::current();
        app.showWait(6, "Verificando registros no servidor...");
        journal->add("espera iniciada");
        if (journal->release.valid()) journal->release.wait();
        app.hideWait();
        setResult(f, "fim da espera");
    });
    button("sbtCache", [](tk::Form&) { tk::Application::current().notifyCacheStale({"TIPOOPERAC"}); });
    button("sbtDesabilitado", [](tk::Form& f) { setResult(f, "não devia rodar"); }).setEnabled(false);
    auto& locked = form.add<tk::TPanel>("panBloqueado");
    locked.setEnabled(false);
    auto& inside = form.add<tk::TSpeedButton>("sbtDentro", &locked);
    inside.onClick = [&form](tk::Control&) { setResult(form, "não devia rodar"); };

    form.onClose = [journal](tk::Form&, tk::CloseAction& action) {
        journal->add("FormClose " + testUnit().stDocOrigem);
        testUnit().boStCriado = false;
        action = tk::CloseAction::Free;
    };
    wire::DataPacket packet;
    packet.fields = {{"NOME", "string", 20}};
    packet.rows = {{std::string("Ana")}, {std::string("Bruno")}};
    set.setData(packet);
    return owned;
}

// The test screen as a package: the entry points the host calls, with the journal of what ran.
class TestPackage final : public tk::ScreenPackage {
public:
    explicit TestPackage(std::shared_ptr<Journal> journal) : journal_(std::move(journal)) {}

    void initialize() override {
        testUnit().boStCriado = false;
        journal_->add("Initialize");
    }
    void finalize() override {
        journal_->add("Finalize " + testUnit().stDocOrigem);
        testUnit().stDocOrigem.clear();
    }
    void open() override {
        auto& app = tk::Application::current();
        if (testUnit().boStCriado) {
            if (tk::Form* f = screen()) f->show();
            return;
        }
        auto form = buildForm(journal_);
        tk::Form& ref = *form;
        app.adoptForm(std::move(form));
        ref.create();
        ref.show();
        ref.setFocus(ref.control("cbbTipo"));
        testUnit().boStCriado = true;
    }
    tk::Form* screen() override {
        for (const auto& f : tk::Application::current().forms())
            if (f->name() == kTestForm) return f.get();
        return nullptr;
    }
    const tk::UnitState* unit() override {
        auto& app = tk::Application::current();
        return app.hasUnit(kTestUnit) ? &testUnit() : nullptr;
    }

private:
    std::shared_ptr<Journal> journal_;
};

} // namespace

host::ScreenModule testModule(std::shared_ptr<Journal> journal) {
    return std::make_shared<TestPackage>(std::move(journal));
}

} // namespace hosttest
